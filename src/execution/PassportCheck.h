#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The passport check, once per device after its first EEPROM answer: the logical number, the
// board's firmware date and the five software versions against the expected ones.
struct PassportCheck_T {
    enum class FieldColour { Normal, Yellow, Red };

    uint16_t logicalNumber = 0;
    std::array<int, 5> current{};  // CP, KK, RG, IZM, EEPROM firmware
    std::array<FieldColour, 5> colours{};
    std::string boardDate;     // "dd.mm.yyyy"
    std::string firmwareTime;  // "hh:mm"
    std::string message;       // warning or error, empty when all versions match
    bool warning = false;      // old numbering: the station does not fail
    bool stationFailed = false;
    std::string status;        // "Внимание! " + message
    // Protocol lines: {label, value} pairs for label-and-value calls (value empty: a line).
    std::vector<std::pair<std::string, std::string>> protocol;
};

// passport: the 14 bytes of answer 0x7F; eepromVersion: from chip 0, address 0 (-1 unknown).
// firstInRun: the logical-number line goes to the protocol only the first time in a run.
PassportCheck_T CheckPassport(const std::vector<uint8_t>& passport, int eepromVersion,
                              const std::array<int, 5>& expected, const std::array<int, 5>& expectedOld,
                              bool firstInRun);
