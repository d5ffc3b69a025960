#include "link/CommandCatalogue.h"
#include "platform/LocalTime.h"

#include <ctime>

size_t ReplyDataLength(uint8_t code) {
    switch (code) {
        case 0x73: return 29;
        case 0x77: return 1;
        case 0x7A: return 15;
        case 0x7C: return 29;
        case 0x7F: return 14;
        case 0xE1: return 35;
        case 0xE3: return 15;
        case 0xE5: return 1;
        case 0xE9: return 12;
        case 0xEB: return 17;
        case 0xED: return 7;
        case 0xEF: return 28;
        default: return 0;
    }
}

LocalDateTime_T SystemLocalTime() {
    const std::time_t now = std::time(nullptr);
    const std::tm tm = platform::LocalTime(now);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string HexParam(unsigned value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string s;
    do {
        s.insert(s.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    while (s.size() < 2) s.insert(s.begin(), '0');
    return s;
}

std::string HexWord(unsigned value) {
    return HexParam((value >> 8) & 0xFF) + " " + HexParam(value & 0xFF);
}

std::string SetpointCommand(const SetpointValues_T& v, const ClockFn& clock) {
    const LocalDateTime_T t = clock();
    const std::string params = HexWord(v.rotationSpeed) + " " + HexParam(v.instantTrip & 0xFF) +
                               " " + HexParam(t.hour & 0xFF) + " " + HexParam(t.minute & 0xFF) +
                               " " + HexParam(t.day & 0xFF) + " " + HexParam(t.month & 0xFF) +
                               " " + HexWord(static_cast<unsigned>(t.year)) + " " +
                               HexParam(v.construction & 0xFF) + " " +
                               HexWord(v.transformerVoltage) + " " + HexWord(v.package);
    return std::string(cmd::kSetpointHead) + " " + params;
}

std::vector<std::string> SendAllCommands(const std::string& setpointCommand) {
    return {cmd::kState, cmd::kPassport, cmd::kPowerOff, setpointCommand, cmd::kB1,
            cmd::kEepromRead00};
}
