#include "execution/Script.h"

#include <algorithm>

#include "platform/Cp1251.h"

bool TScript::Open(const std::string& path) {
    path_ = path;
    loaded_ = true;
    return ini_.Load(path);
}

void TScript::LoadBytes(std::string_view cp1251) {
    ini_.LoadBytes(cp1251);
    loaded_ = true;
}

std::string TScript::ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
    return ini_.ReadString(section, key, defaultValue);
}

int TScript::ReadInteger(const std::string& section, const std::string& key, int defaultValue) const {
    return ini_.ReadInteger(section, key, defaultValue);
}

bool TScript::ReadBool(const std::string& section, const std::string& key, bool defaultValue) const {
    return ini_.ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

int TScript::CheckNumber(const std::string& section) {
    if (section.size() <= 5 || !platform::Cp1251EqualNoCase(section.substr(0, 5), "title")) return 0;
    int n = 0;
    for (size_t i = 5; i < section.size(); ++i) {
        if (section[i] < '0' || section[i] > '9' || n > 100000) return 0;
        n = n * 10 + (section[i] - '0');
    }
    return n;
}

TScript::CheckList_T TScript::BuildCheckList() const {
    CheckList_T list;
    std::string section = "title1";
    std::string name = ReadString(section, "Titl");
    std::vector<std::string> visited;
    auto same = [](const std::string& a, const std::string& b) {
        return platform::Cp1251EqualNoCase(platform::Utf8ToCp1251(a), platform::Utf8ToCp1251(b));
    };
    while (!same(section, "endtitle") || !name.empty()) {
        // A chain that comes back to a listed section would list it for ever.
        if (std::any_of(visited.begin(), visited.end(), [&](const std::string& v) { return same(v, section); })) {
            list.brokenChain = true;
            list.brokenAt = section;
            break;
        }
        visited.push_back(section);
        list.names.push_back(name);
        list.sections.push_back(section);
        section = ReadString(section, "NextTitle", "endtitle");
        name = ReadString(section, "Titl");
    }
    list.tickSingle = list.names.size() == 1;
    return list;
}

std::vector<TScript::RunEntry_T> TScript::MakeRunTable(const std::vector<bool>& ticked) const {
    std::vector<RunEntry_T> table;
    const CheckList_T list = BuildCheckList();
    // The i-th line pairs with the i-th section of the chain.
    for (size_t i = 0; i < ticked.size() && i < list.sections.size(); ++i) {
        if (!ticked[i]) continue;
        const RunEntry_T e{CheckNumber(list.sections[i]), ReadInteger(list.sections[i], "OneStep", 0),
                             static_cast<int>(i)};
        // A check without a number ends the run, as an empty entry would.
        if (e.number == 0) break;
        table.push_back(e);
    }
    return table;
}

std::vector<std::string> SplitCommaText(const std::string& s) {
    std::vector<std::string> out;
    auto blank = [](char c) { return c != '\0' && static_cast<unsigned char>(c) <= ' '; };
    size_t p = 0;
    const size_t n = s.size();
    while (p < n && blank(s[p])) ++p;
    while (p < n && s[p] != '\0') {
        std::string field;
        if (s[p] == '"') {
            ++p;
            while (p < n) {
                if (s[p] == '"') {
                    if (p + 1 < n && s[p + 1] == '"') {
                        field.push_back('"');
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                field.push_back(s[p++]);
            }
        } else {
            const size_t start = p;
            while (p < n && static_cast<unsigned char>(s[p]) > ' ' && s[p] != ',') ++p;
            field = s.substr(start, p - start);
        }
        out.push_back(std::move(field));
        while (p < n && blank(s[p])) ++p;
        if (p < n && s[p] == ',') {
            if (p + 1 == n) out.emplace_back();  // a trailing comma ends with an empty field
            do {
                ++p;
            } while (p < n && blank(s[p]));
        }
    }
    return out;
}

std::array<std::string, 5> ParseParameterLine(const std::string& line) {
    std::array<std::string, 5> f;
    const auto all = SplitCommaText(line);
    for (size_t i = 0; i < f.size() && i < all.size(); ++i) f[i] = all[i];
    return f;
}
