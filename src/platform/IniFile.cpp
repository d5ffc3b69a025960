#include "platform/IniFile.h"

#include <SimpleIni.h>

#include <algorithm>
#include <cstdint>
#include <limits>

#include "platform/Cp1251.h"
#include "platform/Paths.h"

namespace platform {

namespace {

// Ordering without case for SimpleIni's maps that folds Cyrillic as well as Latin letters:
// the stand PCs find "[Версия]" under "[версия]" too.
struct Cp1251NoCase {
    bool operator()(const char* l, const char* r) const {
        for (; *l && *r; ++l, ++r) {
            const int a = Cp1251ToLower(static_cast<unsigned char>(*l));
            const int b = Cp1251ToLower(static_cast<unsigned char>(*r));
            if (a != b) return a < b;
        }
        return *r != 0;
    }
};

using Parser = CSimpleIniTempl<char, Cp1251NoCase, SI_ConvertA<char>>;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// A line break inside a written value would split it into lines of its own and change the
// file's structure; it is written as a blank instead.
std::string OneLine(std::string_view utf8) {
    std::string s = Utf8ToCp1251(utf8);
    std::replace(s.begin(), s.end(), '\r', ' ');
    std::replace(s.begin(), s.end(), '\n', ' ');
    std::replace(s.begin(), s.end(), '\0', ' ');
    return s;
}

}  // namespace

std::optional<int> ParseDecimalInt(std::string_view text) {
    std::string_view s = Trim(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty()) return std::nullopt;
    int64_t value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > int64_t{std::numeric_limits<int>::max()} + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int>::max()) return std::nullopt;
    return static_cast<int>(value);
}

struct IniFile::Line {
    enum Kind { Blank, Comment, Section, Key, Other };
    size_t begin = 0;  // first byte of the line
    size_t end = 0;    // one past its last byte, before the line break
    size_t next = 0;   // one past the line break
    Kind kind = Blank;
    // Section or key name and key value, trimmed, as offsets into the text (views would not
    // survive a move of a short text).
    size_t nameAt = 0, nameLength = 0, valueAt = 0, valueLength = 0;
    std::string_view Name(const std::string& text) const { return {text.data() + nameAt, nameLength}; }
    std::string_view Value(const std::string& text) const { return {text.data() + valueAt, valueLength}; }
};

struct IniFile::Lookup {
    Parser parser{false, true, false};
    std::vector<Line> lines;  // the text classified, as of the last change
};

IniFile::IniFile() : lookup_(std::make_unique<Lookup>()) {}
IniFile::~IniFile() = default;
IniFile::IniFile(IniFile&&) noexcept = default;
IniFile& IniFile::operator=(IniFile&&) noexcept = default;

bool IniFile::Load(const std::string& path) {
    std::string bytes;
    const bool ok = ReadFileBytes(path, bytes);
    LoadBytes(bytes);
    return ok;
}

void IniFile::LoadBytes(std::string_view cp1251) {
    text_.assign(cp1251.data(), cp1251.size());
    Reparse();
}

bool IniFile::Save(const std::string& path) const {
    return WriteFileBytes(path, text_);
}

// Splits the text into classified lines by the same rules as the INI library, so that what a
// write edits is exactly what a read finds. A NUL byte ends the readable content (the library
// stops there too); the bytes behind it are kept but never interpreted.
std::vector<IniFile::Line> IniFile::Scan() const {
    std::vector<Line> lines;
    const size_t limit = std::min(text_.find('\0'), text_.size());
    lines.reserve(static_cast<size_t>(std::count(text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(limit), '\n')) + 1);
    size_t pos = 0;
    if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0 && limit >= 3) pos = 3;
    const std::string_view all(text_.data(), limit);
    while (pos < limit) {
        Line line;
        line.begin = pos;
        size_t e = pos;
        while (e < limit && all[e] != '\n' && all[e] != '\r') ++e;
        line.end = e;
        line.next = e;
        if (line.next < limit && all[line.next] == '\r') ++line.next;
        if (line.next < limit && all[line.next] == '\n') ++line.next;

        const std::string_view raw = all.substr(line.begin, line.end - line.begin);
        const std::string_view t = Trim(raw);
        if (t.empty()) {
            line.kind = Line::Blank;
        } else if (t.front() == ';' || t.front() == '#') {
            line.kind = Line::Comment;
        } else if (t.front() == '[') {
            const size_t close = t.find(']');
            if (close == std::string_view::npos) {
                line.kind = Line::Other;
            } else {
                line.kind = Line::Section;
                const std::string_view n = Trim(t.substr(1, close - 1));
                line.nameAt = static_cast<size_t>(n.data() - text_.data());
                line.nameLength = n.size();
            }
        } else {
            const size_t eq = t.find('=');
            const std::string_view key = eq == std::string_view::npos ? t : Trim(t.substr(0, eq));
            if (eq == std::string_view::npos || eq == 0 || key.empty()) {
                line.kind = Line::Other;
            } else {
                line.kind = Line::Key;
                const std::string_view v = Trim(t.substr(eq + 1));
                line.nameAt = static_cast<size_t>(key.data() - text_.data());
                line.nameLength = key.size();
                line.valueAt = static_cast<size_t>(v.data() - text_.data());
                line.valueLength = v.size();
            }
        }
        lines.push_back(line);
        pos = line.next;
    }
    return lines;
}

// The library is handed a canonical copy of the classified lines: it never sees a line that the
// scanner would read differently (a "[" without "]", an empty key, bytes behind a NUL).
void IniFile::Reparse() {
    // The leading line break keeps a key that begins with the bytes of a UTF-8 mark from being
    // taken for the mark itself.
    std::string canonical = "\n";
    canonical.reserve(text_.size() + 16);
    auto lookup = std::make_unique<Lookup>();
    lookup->lines = Scan();
    for (const Line& line : lookup->lines) {
        if (line.kind == Line::Section) {
            canonical.append("[").append(line.Name(text_)).append("]\n");
        } else if (line.kind == Line::Key) {
            canonical.append(line.Name(text_)).append("=").append(line.Value(text_)).append("\n");
        }
    }
    lookup->parser.LoadData(canonical.data(), canonical.size());
    lookup_ = std::move(lookup);
}

bool IniFile::HasSection(std::string_view section) const {
    const std::string s = Utf8ToCp1251(section);
    return lookup_->parser.GetSectionSize(s.c_str()) >= 0;
}

std::vector<std::string> IniFile::Sections() const {
    std::vector<std::string> names;
    std::vector<std::string> seen;
    for (const Line& line : lookup_->lines) {
        if (line.kind != Line::Section) continue;
        const std::string_view name = line.Name(text_);
        const bool dup = std::any_of(seen.begin(), seen.end(), [&](const std::string& s) {
            return Cp1251EqualNoCase(s, name);
        });
        if (dup) continue;
        seen.emplace_back(name);
        names.push_back(Cp1251ToUtf8(name));
    }
    return names;
}

std::vector<IniFile::Entry_T> IniFile::Entries() const {
    std::vector<Entry_T> out;
    out.reserve(lookup_->lines.size());
    std::string section;
    int number = 1;
    size_t counted = 0;  // line breaks are counted up to here
    for (const Line& line : lookup_->lines) {
        // A line number counts CR LF, LF and a lone CR each as one break, as editors do.
        for (; counted < line.begin; ++counted) {
            if (text_[counted] == '\n' || (text_[counted] == '\r' && text_[counted + 1] != '\n')) ++number;
        }
        Entry_T e;
        e.line = number;
        if (line.kind == Line::Section) {
            section = Cp1251ToUtf8(line.Name(text_));
            e.kind = Entry_T::Section;
        } else if (line.kind == Line::Key) {
            e.kind = Entry_T::Key;
            e.name = Cp1251ToUtf8(line.Name(text_));
            e.value = Cp1251ToUtf8(line.Value(text_));
        } else if (line.kind == Line::Other) {
            e.value = Cp1251ToUtf8(Trim(std::string_view(text_).substr(line.begin, line.end - line.begin)));
        } else {
            continue;
        }
        e.section = section;
        out.push_back(std::move(e));
    }
    return out;
}

std::vector<IniFile::Entry_T> IniFile::EntriesOf(std::string_view cp1251) {
    IniFile file;
    file.text_.assign(cp1251.data(), cp1251.size());
    file.lookup_->lines = file.Scan();
    return file.Entries();
}

// The first value of the key in file order (the library's multi-key map keeps them all).
const char* IniFile::FirstValue(std::string_view section, std::string_view key) const {
    const std::string s = Utf8ToCp1251(section);
    const std::string k = Utf8ToCp1251(key);
    Parser::TNamesDepend values;
    if (!lookup_->parser.GetAllValues(s.c_str(), k.c_str(), values) || values.empty())
        return nullptr;
    values.sort(Parser::Entry::LoadOrder());
    return values.front().pItem;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
    const char* v = FirstValue(section, key);
    return v ? Cp1251ToUtf8(v) : std::string(defaultValue);
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int defaultValue) const {
    const char* v = FirstValue(section, key);
    return v ? ParseDecimalInt(v).value_or(defaultValue) : defaultValue;
}

std::vector<std::string> IniFile::ReadSectionLines(std::string_view section) const {
    const std::string s = Utf8ToCp1251(section);
    std::vector<std::string> out;
    bool inside = s.empty();  // lines above the first header form the section without a name
    for (const Line& line : lookup_->lines) {
        if (line.kind == Line::Section) {
            inside = Cp1251EqualNoCase(line.Name(text_), s);
        } else if (inside && (line.kind == Line::Key || line.kind == Line::Other)) {
            out.push_back(Cp1251ToUtf8(
                Trim(std::string_view(text_).substr(line.begin, line.end - line.begin))));
        }
    }
    return out;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    const std::string s = OneLine(section);
    const std::string k = OneLine(key);
    const std::string entry = k + "=" + OneLine(value);
    const std::vector<Line>& lines = lookup_->lines;

    // Sections of the same name read as one, so the key is looked for in all of them.
    bool inside = s.empty();
    const Line* header = nullptr;  // header of the first section of that name
    for (const Line& line : lines) {
        if (line.kind == Line::Section) {
            inside = Cp1251EqualNoCase(line.Name(text_), s);
            if (inside && !header) header = &line;
        } else if (inside && line.kind == Line::Key && Cp1251EqualNoCase(line.Name(text_), k)) {
            text_.replace(line.begin, line.end - line.begin, entry);
            Reparse();
            return;
        }
    }

    if (header) {
        // New key after the last entry line of the first section of that name.
        const Line* after = header;
        for (const Line* p = header + 1; p < lines.data() + lines.size(); ++p) {
            if (p->kind == Line::Section) break;
            if (p->kind == Line::Key || p->kind == Line::Other) after = p;
        }
        std::string insert;
        if (after->next == after->end) insert = "\r\n";  // the line ends the content unbroken
        insert += entry + "\r\n";
        text_.insert(after->next, insert);
    } else {
        const size_t end = std::min(text_.find('\0'), text_.size());
        std::string insert;
        if (end > 0 && text_[end - 1] != '\n' && text_[end - 1] != '\r') insert = "\r\n";
        insert += "[" + s + "]\r\n" + entry + "\r\n";
        text_.insert(end, insert);
    }
    Reparse();
}

void IniFile::EraseSection(std::string_view section) {
    const std::string s = Utf8ToCp1251(section);
    const std::vector<Line>& lines = lookup_->lines;
    // Ranges [from, to) to remove, collected first and cut from the back.
    std::vector<std::pair<size_t, size_t>> cuts;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind != Line::Section || !Cp1251EqualNoCase(lines[i].Name(text_), s)) continue;
        size_t j = i + 1;
        while (j < lines.size() && lines[j].kind != Line::Section) ++j;
        const size_t to = j < lines.size() ? lines[j].begin : lines[j - 1].next;
        cuts.emplace_back(lines[i].begin, to);
        i = j - 1;
    }
    if (cuts.empty()) return;
    for (auto it = cuts.rbegin(); it != cuts.rend(); ++it)
        text_.erase(it->first, it->second - it->first);
    Reparse();
}

std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue) {
    IniFile ini;
    ini.Load(path);
    return ini.ReadString(section, key, defaultValue);
}

int ReadProfileInt(const std::string& path, std::string_view section, std::string_view key,
                   int defaultValue) {
    IniFile ini;
    ini.Load(path);
    return ini.ReadInteger(section, key, defaultValue);
}

std::vector<std::string> ReadProfileSection(const std::string& path, std::string_view section) {
    IniFile ini;
    ini.Load(path);
    return ini.ReadSectionLines(section);
}

bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
    IniFile ini;
    // A folder in place of the file must not be replaced by a file of ours.
    if (!ini.Load(path) && IsDirectory(path)) return false;
    ini.WriteString(section, key, value);
    return ini.Save(path);
}

bool EraseProfileSection(const std::string& path, std::string_view section) {
    IniFile ini;
    if (!ini.Load(path)) return !IsDirectory(path);
    ini.EraseSection(section);
    return ini.Save(path);
}

}  // namespace platform
