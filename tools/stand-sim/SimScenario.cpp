#include "SimScenario.h"

#include "link/CommandCatalogue.h"
#include "link/StationCodec.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"

namespace sim {

size_t AnswerDataLength(uint8_t code) { return ReplyDataLength(code); }

namespace {

// "parity" is none, even or odd (or N, E, O); "stop_bits" 1 or 2.
bool ReadLine(const platform::IniFile& ini, const std::string& section, LineTime_T& line, std::string& error) {
    line.baud = ini.ReadInteger(section, "baud", line.baud);
    const std::string parity = ini.ReadString(section, "parity", line.parity ? "even" : "none");
    if (parity == "none" || parity == "N" || parity == "n") {
        line.parity = false;
    } else if (parity == "even" || parity == "odd" || parity == "E" || parity == "O" || parity == "e" || parity == "o") {
        line.parity = true;
    } else {
        error = "[" + section + "] parity=" + parity + ": нужно none, even или odd";
        return false;
    }
    line.stopBits = ini.ReadInteger(section, "stop_bits", line.stopBits);
    if (line.baud < 0 || (line.stopBits != 1 && line.stopBits != 2)) {
        error = "[" + section + "]: скорость не может быть отрицательной, стоповых битов 1 или 2";
        return false;
    }
    return true;
}

}  // namespace

bool LoadScenario(const std::string& path, Scenario_T& s, std::string& error) {
    platform::IniFile ini;
    if (!ini.Load(path)) {
        if (platform::IsRegularFile(path) || platform::IsDirectory(path)) {
            error = "Не удалось прочитать сценарий " + path;
            return false;
        }
        error = "Сценарий " + path + " не найден";
        return false;
    }
    s.echo = ini.ReadInteger("station", "echo", s.echo) != 0;
    s.delayMs = ini.ReadInteger("station", "delay_ms", s.delayMs);
    s.silent = ini.ReadInteger("station", "silent", s.silent) != 0;
    s.badCrc = ini.ReadInteger("station", "bad_crc", s.badCrc) != 0;
    s.garbage = HexTextToBytes(ini.ReadString("station", "garbage", ""));
    s.splitAt = ini.ReadInteger("station", "split_at", s.splitAt);
    s.twoFrames = ini.ReadInteger("station", "two_frames", s.twoFrames) != 0;
    s.i2cFail = ini.ReadInteger("station", "i2c_fail", s.i2cFail) != 0;
    const auto silentBlock = HexTextToBytes(ini.ReadString("station", "silent_block", ""));
    if (silentBlock.size() == 1) s.silentBlock = silentBlock[0];
    if (silentBlock.size() == 2) s.silentBlock = silentBlock[0] << 8 | silentBlock[1];
    if (silentBlock.size() > 2) {
        error = "[station] silent_block: нужен адрес ПЗУ, например 00 40";
        return false;
    }
    s.silentBlockTimes = ini.ReadInteger("station", "silent_block_times", s.silentBlockTimes);
    s.clearAfterPolls = ini.ReadInteger("station", "clear_after_polls", s.clearAfterPolls);
    s.scale = static_cast<uint8_t>(ini.ReadInteger("station", "scale", s.scale));
    s.logicalNumber = static_cast<uint16_t>(ini.ReadInteger("station", "logical_number", s.logicalNumber));
    s.eepromVersion = ini.ReadInteger("station", "eeprom_version", s.eepromVersion);
    const auto versions = HexTextToBytes(ini.ReadString("station", "versions", ""));
    if (versions.size() == 4) s.versions = versions;
    for (const std::string& line : ini.ReadSectionLines("answers")) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const auto code = HexTextToBytes(line.substr(0, eq));
        if (code.size() == 1) s.answers[code[0]] = HexTextToBytes(line.substr(eq + 1));
    }
    s.inputs = static_cast<uint8_t>(ini.ReadInteger("modules", "inputs", s.inputs) & 0x0F);
    return ReadLine(ini, "station", s.stationLine, error) && ReadLine(ini, "modules", s.modulesLine, error);
}

}  // namespace sim
