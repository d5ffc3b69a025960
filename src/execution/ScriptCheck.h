#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {
class IniFile;
}

// What a script writer is told about a test script before any station sees it: broken chains
// of checks and steps, keys the program never reads, values it reads otherwise than meant,
// parameter rows and commands that cannot work. The script is read by the program's own INI
// reader, so a finding is about what a run would do.
struct ScriptFinding_T {
    enum Severity { Error, Warning };
    std::string file;
    int line = 0;  // of the key or section the finding is about (1 for the file as a whole)
    Severity severity = Error;
    std::string code;  // stable short name, for tools ("next-unknown", ...)
    std::string text;  // Russian, for the writer
};

struct ScriptCheckOptions_T {
    // The folder `data` of the working folder, where pictures are looked for; empty: pictures
    // are not looked for.
    std::string dataDir;
    // The EEPROM image file whose sections ReWritePzu names; null: not checked.
    const platform::IniFile* pzu = nullptr;
};

// The findings of a script's bytes (Windows-1251 as on the stand), sorted by line.
std::vector<ScriptFinding_T> CheckScript(std::string_view bytes, const std::string& fileName,
                                         const ScriptCheckOptions_T& options);

// A script file at the stand: pictures and pzu.ini are looked for in `dataDir` (when it is there).
// False when the file cannot be read.
bool CheckScriptFile(const std::string& path, const std::string& shownName, const std::string& dataDir,
                     std::vector<ScriptFinding_T>& findings);

bool HasErrors(const std::vector<ScriptFinding_T>& findings);
// "FILE:LINE: error: text", the form compilers use, so that editors jump to the line.
std::string FormatFinding(const ScriptFinding_T& finding);
// A JSON array of objects {file, line, severity, code, text}.
std::string FindingsJson(const std::vector<ScriptFinding_T>& findings);
