#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The station's command texts, spelled exactly as the stand has always stored them (double
// blanks and trailing blanks included: they carry no meaning but are part of the record).
namespace cmd {

// Service information requests.
inline constexpr const char* kServiceCentral = "00 02 bb 04";
inline constexpr const char* kServiceSwitch = "00 02 bb 01";
inline constexpr const char* kServiceRegulator = "00 02 bb 02";
inline constexpr const char* kServiceMeter = "00 02 bb 03";
inline constexpr const char* kService04B9 = "00 02 04 b9";
inline constexpr const char* kService04B1 = "00 02 04 b1";
inline constexpr const char* kService01B9 = "00 02 01 b9";
inline constexpr const char* kService02B9 = "00 02 02 b9";
inline constexpr const char* kService03B9 = "00 02 03 b9";

inline constexpr const char* kPowerOff = "00 01 a3";           // "Обесточить станцию"
inline constexpr const char* kReadSetpoints = "00 01 a7";      // "Запрос уставок"
inline constexpr const char* kConverterParams = "00 01 a5";    // "Запрос параметров ПЧ"
inline constexpr const char* kState = "00 01 88";              // station state request
inline constexpr const char* kSetpointHead = "00  0F a9 ";     // + 14 parameter bytes
inline constexpr const char* kRotationSpeed = "00  04 ab 01";  // + 2 bytes
inline constexpr const char* kInstantTrip = "00  04 ab 02";    // + 1 byte (announces 2)
inline constexpr const char* kAb03 = "00  04 ab 03";
inline constexpr const char* kAb04 = "00  04 ab 04";
inline constexpr const char* kAb05 = "00  04 ab 05";
inline constexpr const char* kA9Short = "00  04 a9 ";
inline constexpr const char* kMeasure = "00 02 03 75";        // "Замер"
inline constexpr const char* kSwitchTest = "00 02 01 59";     // "Тест коммутатора"
inline constexpr std::array<const char*, 6> kIssueCombination = {
    "00  03 01 57 00", "00  03 01 57 01", "00  03 01 57 02",
    "00  03 01 57 03", "00  03 01 57 04", "00  03 01 57 05"};
inline constexpr const char* kScale = "00  02 02 99";
inline constexpr const char* kService033B = "00  02 03 3b";
inline constexpr const char* kStopTest = "00  02 01 43";      // "Стоп тест"
inline constexpr const char* kSawTest = "00  02 02 3b";       // "Тест ПИЛА"
inline constexpr const char* kSoftReset = "00  01 41";        // "Программный сброс"
inline constexpr const char* kSoftResetToolbar = "00 01 41";  // the same bytes, other spelling
inline constexpr const char* kB1 = "00  01 b1";
inline constexpr const char* kPassport = "00  01 3b";

// EEPROM pages "ПЗУ0".."ПЗУ7": device codes 0xA0 + 2k.
inline constexpr std::array<const char*, 8> kEepromRead40 = {
    "00 05 10 a0 00 40 10", "00 05 10 a2 00 40 10", "00 05 10 a4 00 40 10",
    "00 05 10 a6 00 40 10", "00 05 10 a8 00 40 10", "00 05 10 aa 00 40 10",
    "00 05 10 ac 00 40 10", "00 05 10 ae 00 40 10"};
inline constexpr const char* kEepromRead00 = "00 05 10 a0 00 00 10";
inline constexpr std::array<const char*, 8> kEepromWriteFF = {
    "00 06 15 a0 00 40 01 ff", "00 06 15 a2 00 40 01 ff", "00 06 15 a4 00 40 01 ff",
    "00 06 15 a6 00 40 01 ff", "00 06 15 a8 00 40 01 ff", "00 06 15 aa 00 40 01 ff",
    "00 06 15 ac 00 40 01 ff", "00 06 15 ae 00 40 01 ff"};
inline constexpr std::array<const char*, 8> kEepromWrite = {
    "00 06 15 a0 00 40 01", "00 06 15 a2 00 40 01", "00 06 15 a4 00 40 01",
    "00 06 15 a6 00 40 01", "00 06 15 a8 00 40 01", "00 06 15 aa 00 40 01",
    "00 06 15 ac 00 40 01", "00 06 15 ae 00 40 01"};

// Heads of the commands the test window completes with values from its fields.
inline constexpr const char* kDac = "00 03 02 93 ";
inline constexpr const char* kPwm = "00 03 02 95 ";
inline constexpr std::array<const char*, 5> kPotentiometer = {
    "00 04 03 77 00 ", "00 04 03 77 01 ", "00 04 03 77 02 ", "00 04 03 77 03 ",
    "00 04 03 77 04 "};
inline constexpr const char* kCloseKeys = "00 04 04 47 ";
inline constexpr std::array<const char*, 2> kProtectionReset = {"00 05 02 97 0b 01 00",
                                                                 "00 05 02 97 0b 01 01"};
inline constexpr const char* kClockSetpointHead = "00 0f a9 ";
inline constexpr const char* kLogicalNumberHead = "00  09 19 ";  // + board number, date and time

}  // namespace cmd

// Data bytes (after the code) that each station answer carries; 0 for the answers without
// data and for 0x1A, which carries its own count.
size_t ReplyDataLength(uint8_t code);

// Local date and time, as the setpoint block carries it.
struct LocalDateTime_T {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
using ClockFn = std::function<LocalDateTime_T()>;
// The machine's local time.
LocalDateTime_T SystemLocalTime();

// A value as the parameter text of a command: at least two upper-case hexadecimal digits.
std::string HexParam(unsigned value);
// A 16-bit value as two bytes, high first: "00 FA".
std::string HexWord(unsigned value);

struct SetpointValues_T {
    unsigned rotationSpeed = 250;     // "Обороты"
    unsigned instantTrip = 0;         // "Выкл" 0, "Вкл" 1
    unsigned construction = 0;        // board construction code
    unsigned transformerVoltage = 380;  // "Напряж. трансф-ра"
    unsigned package = 1;             // settings package number
};

// "00  0F a9 " + " " + the 14 parameter bytes, time fields from the clock.
std::string SetpointCommand(const SetpointValues_T& values, const ClockFn& clock = SystemLocalTime);

// The six texts of "Отправить все", in their order.
std::vector<std::string> SendAllCommands(const std::string& setpointCommand);
