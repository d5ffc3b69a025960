// Arbitrary bytes as a test script: the check list, the run table and every parameter line
// of every section, plus the bytes themselves as one parameter line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/IniFile.h"
#include "execution/Script.h"

namespace {
void Check(bool ok) {
    if (!ok) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    TScript script;
    script.LoadBytes(bytes);
    const auto list = script.BuildCheckList();
    Check(list.names.size() == list.sections.size());
    Check(!list.names.empty());
    // A list never repeats a section: the walk stops where the chain comes back.
    Check(list.names.size() <= size + 1);
    const auto table = script.MakeRunTable(std::vector<bool>(list.names.size(), true));
    Check(table.size() <= list.names.size());
    for (const auto& e : table) Check(e.number > 0);

    const platform::IniFile& ini = script.Ini();
    for (const std::string& section : ini.Sections())
        for (const std::string& line : ini.ReadSectionLines(section)) {
            const auto fields = ParseParameterLine(line.substr(line.find('=') + 1));
            for (const auto& f : fields) Check(f.size() <= line.size());
        }
    const auto all = SplitCommaText(bytes);
    size_t total = 0;
    for (const auto& f : all) total += f.size();
    Check(total <= size);
    return 0;
}
