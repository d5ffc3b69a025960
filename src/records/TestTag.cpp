#include "records/TestTag.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/Cp1251.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"

// A float key as the INI reader of the scripts takes it: decimal, "." and an optional exponent.
float ReadCatalogueFloat(const platform::IniFile& ini, const char* section, const char* key, float def) {
    return ParseCatalogueFloat(ini.ReadString(section, key, ""), def);
}

float ParseCatalogueFloat(std::string t, float def) {
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.pop_back();
    size_t b = 0;
    while (b < t.size() && (t[b] == ' ' || t[b] == '\t')) ++b;
    t = t.substr(b);
    if (t.empty()) return def;
    for (char c : t)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) return def;
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || !std::isfinite(v)) return def;
    return static_cast<float>(v);
}

namespace {

// Coefficients keep their default unless the file gives a value above 1e-6.
float Coefficient(const platform::IniFile& ini, const char* section, const char* key, float def) {
    const float v = ReadCatalogueFloat(ini, section, key, 0);
    return v > 1e-6f ? v : def;
}

std::vector<std::string> ListValues(const platform::IniFile& ini, const char* section) {
    std::vector<std::string> out;
    for (const std::string& line : ini.ReadSectionLines(section)) {
        const size_t eq = line.find('=');
        out.push_back(eq == std::string::npos ? std::string() : line.substr(eq + 1));
    }
    return out;
}

}  // namespace

Birka_T LoadBirka(const std::string& path) {
    platform::IniFile ini;
    ini.Load(path);
    Birka_T b;
    b.data.Operator = ini.ReadString("Birka", "Operator", "");
    b.data.LastSerialNumber = ini.ReadString("Birka", "SerialNumber", "");
    b.data.LastDesc = ini.ReadString("Birka", "Desc", "");
    b.data.Cause = ini.ReadString("Birka", "Cause", "");
    b.data.FiltredScripts = ini.ReadInteger("Birka", "FiltredScripts", 0) != 0;
    b.savedScriptIndex = ini.ReadInteger("Birka", "id_script", -1);
    b.operators = ListValues(ini, "Operators");
    b.causes = ListValues(ini, "Causes");
    return b;
}

bool SaveBirka(const std::string& path, const user_data_T& d, int scriptIndex,
               const std::vector<std::string>& operators, const std::vector<std::string>& causes) {
    platform::IniFile ini;
    ini.Load(path);
    ini.WriteString("Birka", "Operator", d.Operator);
    if (!d.SerialNumber.empty()) ini.WriteString("Birka", "SerialNumber", d.SerialNumber);
    if (!d.Desc.empty()) ini.WriteString("Birka", "Desc", d.Desc);
    ini.WriteString("Birka", "Cause", d.Cause);
    ini.WriteString("Birka", "id_script", std::to_string(scriptIndex));
    ini.WriteString("Birka", "FiltredScripts", d.FiltredScripts ? "1" : "0");
    ini.EraseSection("Operators");
    for (size_t i = 0; i < operators.size(); ++i) ini.WriteString("Operators", std::to_string(i + 1), operators[i]);
    ini.EraseSection("Causes");
    for (size_t i = 0; i < causes.size(); ++i) ini.WriteString("Causes", std::to_string(i + 1), causes[i]);
    platform::MakeDirectories(platform::ParentDirectory(platform::NormalizePath(path)));
    return ini.Save(path);
}

float ScriptVersionNumber(const std::string& version) {
    // Counted in characters of the file's code page: one byte each.
    if (version.size() < 4) return 0;
    const std::string last = version.substr(version.size() - 4);
    if (last[1] != '.') return 0;
    for (size_t i = 0; i < 4; ++i)
        if (i != 1 && (last[i] < '0' || last[i] > '9')) return 0;
    return std::strtof(last.c_str(), nullptr);
}

std::vector<script_cfg_T> BuildCatalogue(const std::string& scnFolder, const std::string& tkPath, bool newestOnly) {
    platform::IniFile tk;
    tk.Load(tkPath);
    const float tkU = Coefficient(tk, "TK", "TK_U_IN", 1.0f);
    const float tkI = Coefficient(tk, "TK", "TK_I_OUT", 1.0f);
    const float tkUo = Coefficient(tk, "TK", "TK_U_OUT", 1.0f);

    std::vector<script_cfg_T> all;
    for (const std::string& name : platform::ListFiles(scnFolder, "*.ini")) {
        script_cfg_T e;
        e.file = "./scn/" + name;
        platform::IniFile ini;
        ini.Load(platform::JoinPath(scnFolder, name));
        e.version = ini.ReadString("info", "version", "----");
        e.device = ini.ReadString("info", "device", "----");
        e.desc = ini.ReadString("info", "desc", "----");
        e.arc_dir = ini.ReadString("info", "arc_dir", "./prot/undef/");
        auto version = [&](const char* key) { return static_cast<uint16_t>(ini.ReadInteger("version", key, 0)); };
        e.vCP = version("vCP");
        e.vKK = version("vKK");
        e.vRG = version("vRG");
        e.vIzm = version("vIzm");
        e.vPzu = version("vPzu");
        e.K_U_IN = Coefficient(ini, "COEFFICIENT_OF_SHAPE", "K_U_IN", 1e-7f);
        e.K_I_OUT = Coefficient(ini, "COEFFICIENT_OF_SHAPE", "K_I_OUT", 1e-7f);
        e.K_U_OUT = Coefficient(ini, "COEFFICIENT_OF_SHAPE", "K_U_OUT", 1e-7f);
        e.TK_U_IN = tkU;
        e.TK_I_OUT = tkI;
        e.TK_U_OUT = tkUo;
        e.versionNumber = ScriptVersionNumber(platform::Utf8ToCp1251(e.version));
        all.push_back(std::move(e));
    }
    if (!newestOnly) return all;

    std::vector<script_cfg_T> result;
    std::vector<script_cfg_T> remaining = std::move(all);
    while (!remaining.empty()) {
        script_cfg_T best = remaining.front();
        std::vector<script_cfg_T> kept;
        for (size_t i = 1; i < remaining.size(); ++i) {
            if (remaining[i].device != best.device)
                kept.push_back(remaining[i]);
            else if (remaining[i].versionNumber > best.versionNumber)
                best = remaining[i];
        }
        result.push_back(best);
        remaining = std::move(kept);
    }
    return result;
}

std::string FormatFixed(double value, int significant, int decimals) {
    if (!std::isfinite(value)) value = 0;
    // One decimal rounding, half away from zero, at the first of the two limits (significant
    // digits, decimals), as the program has always printed its numbers: 10.25 shows as 10.3.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.25e", std::fabs(value));
    std::string digits = "0";  // a leading zero takes the carry of 9.99 -> 10.0
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') digits.push_back(*p);
    int exponent = (*p == 'e') ? std::atoi(p + 1) + 1 : 1;  // power of ten of digits[0]
    const bool zero = value == 0;
    int keep = std::min(significant + 1, exponent + 1 + decimals);  // counted from digits[0]
    if (keep < 0) keep = 0;
    if (keep < static_cast<int>(digits.size())) {
        const bool up = digits[static_cast<size_t>(keep)] >= '5';
        digits.resize(static_cast<size_t>(keep));
        for (int i = keep - 1; up && i >= 0; --i) {
            if (digits[static_cast<size_t>(i)] == '9') {
                digits[static_cast<size_t>(i)] = '0';
                continue;
            }
            ++digits[static_cast<size_t>(i)];
            break;
        }
    }
    // digits[i] stands for 10^(exponent - i).
    auto digitAt = [&](int power) {
        const int i = exponent - power;
        return i >= 0 && i < static_cast<int>(digits.size()) ? digits[static_cast<size_t>(i)] : '0';
    };
    std::string out;
    for (int power = std::max(exponent, 0); power >= 0; --power) {
        const char d = digitAt(power);
        if (out.empty() && d == '0' && power > 0) continue;
        out.push_back(d);
    }
    if (decimals > 0) {
        out.push_back('.');
        for (int power = -1; power >= -decimals; --power) out.push_back(digitAt(power));
    }
    const bool allZero = out.find_first_not_of("0.") == std::string::npos;
    return (value < 0 && !zero && !allZero ? "-" : "") + out;
}

std::string CatalogueItemText(const script_cfg_T& e) {
    return e.device + " - версия теста " + FormatFixed(e.versionNumber, 3, 2);
}

bool SerialKeyAccepted(char32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    if (c == '.' || c == '_' || c == '-' || c == ' ' || c == '\b' || c == '\t') return true;
    return c >= U'А' && c <= U'я';  // code page 1251 bytes 192..255; "Ё" and "ё" lie outside
}

std::string RemarksToFile(const std::string& memoText) {
    std::string out;
    for (size_t i = 0; i < memoText.size(); ++i) {
        if (memoText[i] == '\r' && i + 1 < memoText.size() && memoText[i + 1] == '\n') {
            out += "<br>";
            ++i;
        } else if (memoText[i] == '\n') {
            out += "<br>";
        } else {
            out.push_back(memoText[i]);
        }
    }
    return out;
}

std::string RemarksFromFile(const std::string& stored) {
    std::string out;
    for (size_t i = 0; i < stored.size();) {
        if (stored.compare(i, 4, "<br>") == 0) {
            out.push_back('\n');
            i += 4;
        } else {
            out.push_back(stored[i++]);
        }
    }
    return out;
}
