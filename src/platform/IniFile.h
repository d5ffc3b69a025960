#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// INI files the way the stand PCs' profile functions see them: Windows-1251 bytes, section and
// key names without case, the first of two equal keys wins, a missing file reads as empty.
// Names and values cross this interface as UTF-8.
namespace platform {

// Integer text of the profile functions: optional blanks and sign, decimal digits, within
// 32 bits. Anything else is not a number (the caller's default applies).
std::optional<int> ParseDecimalInt(std::string_view text);

class IniFile {
public:
    IniFile();
    ~IniFile();
    IniFile(IniFile&&) noexcept;
    IniFile& operator=(IniFile&&) noexcept;
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    // Replaces the content with the file's bytes. A missing file, a folder or a read error
    // leave the object empty and return false.
    bool Load(const std::string& path);
    void LoadBytes(std::string_view cp1251);

    // Writes the current bytes (Windows-1251, CR LF for every line this class wrote).
    bool Save(const std::string& path) const;
    const std::string& Bytes() const { return text_; }

    bool HasSection(std::string_view section) const;
    // Section names in file order, each once.
    std::vector<std::string> Sections() const;

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;

    // Every line of the section that is neither blank nor a comment, trimmed, in file order
    // (sections of the same name count as one).
    std::vector<std::string> ReadSectionLines(std::string_view section) const;

    // The file's lines as the reader classifies them, for tools that point at a line: every
    // section header, key and unreadable line, with its line number (from 1) and the section
    // it stands in ("" above the first header). Comments and blank lines are left out.
    struct Entry_T {
        enum Kind { Section, Key, Other };
        Kind kind = Other;
        int line = 0;
        std::string section;  // the header's own name for a Section
        std::string name;     // key name (Key)
        std::string value;    // key value, trimmed (Key); the whole line (Other)
    };
    std::vector<Entry_T> Entries() const;
    // The same of bytes that are not kept, without building the lookup (for large files read once).
    static std::vector<Entry_T> EntriesOf(std::string_view cp1251);

    // Replaces the first line of the key in place, or adds "key=value" at the end of the section,
    // or a new section at the end of the file. Everything else in the file stays byte for byte.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    // Removes the section's header and all its lines.
    void EraseSection(std::string_view section);

private:
    struct Line;
    std::vector<Line> Scan() const;
    void Reparse();
    const char* FirstValue(std::string_view section, std::string_view key) const;

    std::string text_;
    struct Lookup;
    std::unique_ptr<Lookup> lookup_;
};

// The profile functions: each call reads the file anew (and a write writes it back at once).
std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue);
int ReadProfileInt(const std::string& path, std::string_view section, std::string_view key,
                   int defaultValue);
std::vector<std::string> ReadProfileSection(const std::string& path, std::string_view section);
bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);
bool EraseProfileSection(const std::string& path, std::string_view section);

}  // namespace platform
