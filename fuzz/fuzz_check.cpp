// Arbitrary bytes as a script for the script checker: every finding points at a line of the
// file, and the JSON of the findings is whole.
#include <cstddef>
#include <cstdint>
#include <string>

#include "execution/ScriptCheck.h"
#include "platform/IniFile.h"

namespace {
void Check(bool ok) {
    if (!ok) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // The EEPROM file's own reading is fuzz_ini's; here it only has to answer for sections.
    static const platform::IniFile pzu = [] {
        platform::IniFile f;
        f.LoadBytes("[a]\r\nData=1\r\n[b]\r\n");
        return f;
    }();
    ScriptCheckOptions_T options;
    options.pzu = &pzu;
    options.dataDir = "/nonexistent-data";
    const auto findings = CheckScript(bytes, "f.ini", options);
    size_t lines = 1;
    for (char c : bytes) lines += c == '\n' || c == '\r';
    for (const ScriptFinding_T& f : findings) {
        Check(f.line >= 1 && static_cast<size_t>(f.line) <= lines);
        Check(!f.code.empty() && !f.text.empty());
        Check(FormatFinding(f).find(f.text) != std::string::npos);
    }
    const std::string json = FindingsJson(findings);
    Check(json.front() == '[' && json.find(']', json.size() - 2) != std::string::npos);
    // Nothing raw may break the JSON: no control byte but the layout's own line breaks.
    for (char c : json) Check(static_cast<unsigned char>(c) >= 0x20 || c == '\n');
    return 0;
}
