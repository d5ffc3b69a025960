#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/IniFile.h"

// A test script: checks (title<N>) chained by NextTitle, steps chained by Next, loaded once
// into memory. Section and key names match without case; values are taken as they stand.
class TScript {
public:
    // Loads the whole file; a missing or unreadable file reads as an empty script.
    bool Open(const std::string& path);
    void LoadBytes(std::string_view cp1251);
    bool Loaded() const { return loaded_; }
    const std::string& Path() const { return path_; }

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue = "") const;
    int ReadInteger(const std::string& section, const std::string& key, int defaultValue) const;
    bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;
    bool HasSection(const std::string& section) const { return ini_.HasSection(section); }
    const platform::IniFile& Ini() const { return ini_; }

    // The list of checks in chain order.
    struct CheckList_T {
        std::vector<std::string> names;     // Titl of each check (one line each)
        std::vector<std::string> sections;  // the section of each line
        bool brokenChain = false;           // NextTitle led back to a section already listed
        std::string brokenAt;               // that section
        bool tickSingle = false;            // exactly one line: it is ticked at once
    };
    CheckList_T BuildCheckList() const;

    // One entry per ticked line, in list order (every ticked check, however many).
    struct RunEntry_T {
        int number = 0;   // N of title<N>
        int oneStep = 0;  // OneStep of the check
        int line = 0;     // its line in the list of checks
    };
    std::vector<RunEntry_T> MakeRunTable(const std::vector<bool>& ticked) const;

    // N of "title<N>": the digits after "title", 0 when there are none.
    static int CheckNumber(const std::string& section);

private:
    platform::IniFile ini_;
    bool loaded_ = false;
    std::string path_;
};

// The five fields of a parameter line: name, minimum, maximum, control value, buffer index.
// Commas or blanks separate fields; a field in double quotes may hold both ("" is a quote).
// Missing fields are empty; fields beyond the fifth are ignored.
std::array<std::string, 5> ParseParameterLine(const std::string& line);
// The same splitting, every field.
std::vector<std::string> SplitCommaText(const std::string& line);
