#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/ProgramSettings.h"

// What the start window makes of the settings file, without any window: the device kind, the
// globals, the channels' port names and flags.
struct DeviceKind_T {
    const char* section;  // name in the settings file
    const char* label;    // value of TypeDevice after resolution
    const char* caption;  // radio item caption
};

inline constexpr std::array<DeviceKind_T, 5> kDeviceKinds = {{
    {"FullTest", "Плата", "Проверка платы ПЧ"},
    {"CurzTest", "Вх.контр.платы", "Входной контроль платы ПЧ   "},
    {"Block", "Блок", "Блок ПЧ"},
    {"Drossel", "Дроссель", "Дроссель"},
    {"Stantion", "Станция", "Станция Волтар / КАЛВЕ"},
}};

// Channel and test-window values that the start window sets only when the file has a [port]
// section; otherwise the windows keep what they had.
struct PortFlags_T {
    std::string stationPort;  // channel 1
    std::string standPort;    // channel 2
    int32_t stationRts = 0;
    int32_t standRts = 0;
    bool echo = false;
    int32_t monitor = 0;
};

struct StartResolution_T {
    std::array<bool, 5> radioEnabled{};
    int radioIndex = 2;
    std::string typeDevice;  // after resolution
    std::string stationMode;
    std::string packet;
    int32_t nPacket = 1;
    int32_t constructionOld = 0;
    bool versionsRead = false;
    uint16_t vCP = 0, vKK = 0, vRG = 0, vIzm = 0, vPzu = 0;
    bool portsRead = false;
    bool terminate = false;  // kind "None": "Недоступно в данной версии", then the program ends
};

// `ports` holds the flags the windows have now; they change only when the file has [port].
StartResolution_T ResolveStart(const ProgramSettings_T& s, PortFlags_T& ports);

// "Проверка станции": the package values always come from [Stantion]; the label is the
// kind's at the radio index.
struct StationCheck_T {
    std::string typeDevice;
    std::string stationMode = "ВОЛТАР";
    std::string packet;
    int32_t nPacket = 1;
};
StationCheck_T PressStationCheck(const ProgramSettings_T& s, int radioIndex);

inline constexpr const char* kUnavailableMessage = "Недоступно в данной версии";
