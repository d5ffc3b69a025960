// Arbitrary bytes as an INI file: through the profile layer (reads, section lines, writes and
// erasures, checked against each other) and through the serial manager's TIni.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Cp1251.h"
#include "platform/IniFile.h"
#include "rsmanager/Ini.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    platform::IniFile ini;
    ini.LoadBytes(bytes);
    const auto sections = ini.Sections();
    for (const std::string& section : sections) {
        Check(ini.HasSection(section));
        for (const std::string& line : ini.ReadSectionLines(section)) {
            // Every "key=value" line that a section lists can be read back by its key.
            const size_t eq = line.find('=');
            // Lines that are not entries ("[" without "]", no key) are listed but not keys.
            if (eq == std::string::npos || eq == 0 || line[0] == '[') continue;
            std::string key = line.substr(0, eq);
            while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
            if (key.empty()) continue;
            // Found means: not the default, whichever default is asked for.
            Check(ini.ReadString(section, key, "a") != "a" ||
                  ini.ReadString(section, key, "b") != "b");
            (void)ini.ReadInteger(section, key, 0);
        }
    }

    // A write is always readable afterwards, whatever surrounded it; an erase removes it.
    const std::string section = sections.empty() ? "Birka" : sections.back();
    ini.WriteString(section, "Operator", "Иванов");
    Check(ini.ReadString(section, "Operator", "") == "Иванов");
    ini.WriteString("Новая", "1", "значение");
    Check(ini.ReadString("новая", "1", "") == "значение");
    ini.EraseSection("новая");
    Check(!ini.HasSection("Новая"));

    const TIni tini = TIni::FromBytes(bytes);
    (void)tini.ReadString("port_setting", "port", "COM1");
    (void)tini.ReadNumber("port_setting", "baud_rate", 9600);
    (void)TIni::ParseNumber(std::string_view(bytes).substr(0, 64));
    (void)platform::Utf8ToCp1251(platform::Cp1251ToUtf8(bytes));
    (void)platform::Utf8ToCp1251(bytes);
    return 0;
}
