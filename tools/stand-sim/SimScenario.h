#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

// The time a byte takes on a serial line: a start bit, eight data bits, the parity bit if
// any, the stop bits. Off (baud 0): bytes pass at once, as on a bare pseudo-terminal.
struct LineTime_T {
    int baud = 0;
    bool parity = false;
    int stopBits = 1;
    bool On() const { return baud > 0; }
    double ByteSeconds() const { return On() ? (1 + 8 + (parity ? 1 : 0) + stopBits) / static_cast<double>(baud) : 0; }
};

// How the simulated station and modules behave; read from a scenario INI file.
struct Scenario_T {
    // [station]
    bool echo = false;           // the line returns every request byte (two-wire RS-485)
    int delayMs = 0;             // pause before each answer: the station's processing time
    LineTime_T stationLine;      // baud, parity, stop_bits of the station's line
    bool silent = false;         // no answers at all
    bool badCrc = false;         // answers carry a wrong check
    std::vector<uint8_t> garbage;  // bytes written just before each answer frame
    int splitAt = 0;             // answers written in two parts, cut after this many bytes
    bool twoFrames = false;      // every answer written twice in one write
    bool i2cFail = false;        // EEPROM reads and writes answer 0x0B
    int silentBlock = -1;        // EEPROM address whose reads and writes go unanswered (-1: none)
    int silentBlockTimes = 1;    // how many requests for that address go unanswered
    int clearAfterPolls = 0;     // the N-th state poll answers 77 4D and clears pages A2..AE
    uint8_t scale = 0x80;        // data byte of the 0xE5 answer
    uint16_t logicalNumber = 1;  // reported in 0x7F until programmed
    std::vector<uint8_t> versions = {1, 1, 1, 1};  // CP, KK, RG, IZM in 0x7F
    int eepromVersion = 1;       // firmware version in the EEPROM: chip 0, address 4 holds it + 100
    // [answers] code (hexadecimal) = data bytes (hexadecimal text); replaces the default data.
    std::map<uint8_t, std::vector<uint8_t>> answers;
    // [modules]
    uint8_t inputs = 0;          // module 03 input nibble, bit set = input active
    LineTime_T modulesLine;      // baud, parity, stop_bits of the modules' line
};

// Reads the scenario; a missing file or key keeps the defaults above. False when the file
// exists but cannot be read.
bool LoadScenario(const std::string& path, Scenario_T& scenario, std::string& error);

// Data length of each answer code the station sends.
size_t AnswerDataLength(uint8_t code);

}  // namespace sim
