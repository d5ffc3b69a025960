#include "execution/ScriptCheck.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "execution/Script.h"
#include "execution/StepInterpreter.h"
#include "link/StationCodec.h"
#include "platform/Cp1251.h"
#include "platform/IniFile.h"
#include "platform/Json.h"
#include "platform/Paths.h"
#include "records/TestTag.h"

namespace {

using Entry = platform::IniFile::Entry_T;
using Severity = ScriptFinding_T::Severity;

enum class Type { Text, Int, Bool, Name, Command, Number };
struct KeyRule {
    const char* name;
    Type type;
    int def;  // what the program reads when the value is not of the type
};

const KeyRule kCheckKeys[] = {{"Titl", Type::Text, 0},    {"Text", Type::Text, 0},   {"NextTitle", Type::Name, 0},
                              {"OneStep", Type::Int, 0},  {"Prot", Type::Bool, 0},   {"PrOffTimer", Type::Int, 2},
                              {"Init", Type::Bool, 0}};
const KeyRule kStepKeys[] = {
    {"Text", Type::Text, 0},          {"ClickTimer", Type::Int, 0},    {"Repeat", Type::Name, 0},
    {"Stimul", Type::Text, 0},        {"NumFunction", Type::Int, 0},   {"ReadModuleInputs", Type::Int, -1},
    {"NumCombin", Type::Int, 0},      {"MessageText1", Type::Text, 0}, {"MessageValue1", Type::Int, 0},
    {"MessageText2", Type::Text, 0},  {"MessageValue2", Type::Int, 0}, {"Action", Type::Int, 0},
    {"ShowMessage", Type::Int, 0},    {"TextProt", Type::Text, 0},     {"ShowPicture", Type::Text, 0},
    {"PrOffTimer", Type::Int, 2},     {"Init", Type::Bool, 1},         {"KeyExit", Type::Int, 2},
    {"Control", Type::Bool, 0},       {"ReWritePzu", Type::Name, 0},   {"MaxRepeat", Type::Int, 0},
    {"Send", Type::Command, 0},       {"SendUst", Type::Command, 0},   {"SendUst1", Type::Command, 0},
    {"Next", Type::Name, 0}};
const KeyRule kInfoKeys[] = {
    {"version", Type::Text, 0}, {"device", Type::Text, 0}, {"desc", Type::Text, 0}, {"arc_dir", Type::Text, 0}};
const KeyRule kShapeKeys[] = {{"K_U_IN", Type::Number, 0}, {"K_I_OUT", Type::Number, 0}, {"K_U_OUT", Type::Number, 0}};
const KeyRule kVersionKeys[] = {{"vCP", Type::Int, 0}, {"vKK", Type::Int, 0}, {"vRG", Type::Int, 0},
                                {"vIzm", Type::Int, 0}, {"vPzu", Type::Int, 0}};

constexpr int kMaxChecks = 19;
constexpr int kBuffParEntries = 2005;
constexpr const char* kEndStep = "endprov";

enum class Kind { Check, Step, Info, Shape, Version };

// Names compare as the INI reader compares them: without case, Cyrillic included.
std::string Fold(const std::string& utf8) {
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        std::string s = utf8;
        for (char& c : s)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return s;
    }
    std::string s = platform::Utf8ToCp1251(utf8);
    for (char& c : s) c = static_cast<char>(platform::Cp1251ToLower(static_cast<unsigned char>(c)));
    return s;
}

std::string Q(const std::string& s) { return "«" + s + "»"; }

size_t Levenshtein(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

// "Parameter12" → 12; 0 when the name is not the key followed by a number the program would
// read (no leading zero).
int NumberedKey(const std::string& folded, const char* prefix) {
    const size_t n = std::char_traits<char>::length(prefix);
    if (folded.size() <= n || folded.compare(0, n, prefix) != 0 || folded[n] == '0' || folded.size() - n > 6) return 0;
    int k = 0;
    for (size_t i = n; i < folded.size(); ++i) {
        if (folded[i] < '0' || folded[i] > '9') return 0;
        k = k * 10 + (folded[i] - '0');
    }
    return k;
}

bool ValidUtf8WithMultibyte(std::string_view s) {
    bool multibyte = false;
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t n = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : 9;
        if (n == 9 || (n == 1 && c < 0xC2) || i + n >= s.size() + (n ? 0 : 1)) return false;
        for (size_t k = 1; k <= n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        multibyte = multibyte || n > 0;
        i += n + 1;
    }
    return multibyte;
}

class Checker {
public:
    Checker(std::string_view bytes, std::string file, const ScriptCheckOptions_T& options)
        : bytes_(bytes), file_(std::move(file)), options_(options) {}

    std::vector<ScriptFinding_T> Run() {
        Encoding();
        Index();
        for (Section_T* section : order_) {
            Section_T& s = *section;
            Keys(s);
            if (s.kind == Kind::Step) Step(s);
        }
        Catalogue();
        Checks();
        Unreached();
        std::stable_sort(out_.begin(), out_.end(),
                         [](const ScriptFinding_T& a, const ScriptFinding_T& b) { return a.line < b.line; });
        return std::move(out_);
    }

private:
    struct Section_T {
        std::string name;    // as first written
        std::string folded;  // as the reader compares it
        bool reached = false;       // by the step chain of some check
        bool linksChecked = false;  // its Next and Repeat were looked at
        int line = 0;
        Kind kind = Kind::Step;
        std::map<std::string, const Entry*> first;  // folded key name → the line the program reads
    };

    void Add(int line, Severity severity, const char* code, const std::string& text) {
        out_.push_back({file_, line, severity, code, text});
    }
    // `key` is one of this file's literals (never a built name): each is folded once.
    const Entry* Key(const Section_T& s, const char* key) const {
        thread_local std::unordered_map<const char*, std::string> folded;
        auto f = folded.find(key);
        if (f == folded.end()) f = folded.emplace(key, Fold(key)).first;
        const auto it = s.first.find(f->second);
        return it == s.first.end() ? nullptr : it->second;
    }
    std::string Value(const Section_T& s, const char* key) const {
        const Entry* e = Key(s, key);
        return e ? e->value : std::string();
    }
    // The key's line, else the section's.
    int LineOf(const Section_T& s, const char* key) const {
        const Entry* e = Key(s, key);
        return e ? e->line : s.line;
    }
    std::optional<int> Int(const Section_T& s, const char* key) const {
        const Entry* e = Key(s, key);
        return e ? platform::ParseDecimalInt(e->value) : std::nullopt;
    }
    Section_T* Find(const std::string& name) {
        const auto it = sections_.find(Fold(name));
        return it == sections_.end() ? nullptr : &it->second;
    }

    void Encoding() {
        if (bytes_.substr(0, 3) == "\xEF\xBB\xBF" || ValidUtf8WithMultibyte(bytes_))
            Add(1, Severity::Error, "encoding-utf8",
                "файл в кодировке UTF-8, а программа читает сценарии в Windows-1251: русские тексты и имена "
                "будут искажены; сохраните файл в Windows-1251");
        // Line ends: the first line whose end differs from the first line's.
        int line = 1;
        std::string firstEnd;
        for (size_t i = 0; i < bytes_.size(); ++i) {
            if (bytes_[i] == '\0') {
                Add(line, Severity::Warning, "nul-byte",
                    "нулевой байт: программа не читает файл дальше этого места");
                break;
            }
            if (bytes_[i] != '\r' && bytes_[i] != '\n') continue;
            std::string end = bytes_[i] == '\r' && i + 1 < bytes_.size() && bytes_[i + 1] == '\n' ? "\r\n"
                                                                                                : std::string(1, bytes_[i]);
            if (firstEnd.empty()) {
                firstEnd = end;
            } else if (end != firstEnd && !mixedReported_) {
                mixedReported_ = true;
                Add(line, Severity::Warning, "line-ends",
                    "концы строк смешаны (" + std::string(firstEnd == "\r\n" ? "CR LF" : firstEnd == "\n" ? "LF" : "CR") +
                        " и " + (end == "\r\n" ? "CR LF" : end == "\n" ? "LF" : "CR") +
                        "): так файл правили разными редакторами; сохраните его с CR LF");
            }
            i += end.size() - 1;
            ++line;
        }
    }

    void Index() {
        entries_ = platform::IniFile::EntriesOf(bytes_);
        Section_T* current = nullptr;  // keys follow their header
        for (const Entry& e : entries_) {
            if (e.kind == Entry::Other) {
                Add(e.line, Severity::Warning, "syntax",
                    "строка " + Q(e.value) + " не читается: это не заголовок секции [имя] и не ключ имя=значение");
                continue;
            }
            if (e.kind == Entry::Key && e.section.empty()) {
                Add(e.line, Severity::Warning, "key-outside",
                    "ключ " + e.name + " стоит до первой секции и не читается");
                continue;
            }
            if (e.kind == Entry::Section) {
                const std::string folded = Fold(e.section);
                const auto it = sections_.find(folded);
                if (it != sections_.end()) {
                    current = &it->second;
                    Add(e.line, Severity::Warning, "duplicate-section",
                        "секция [" + e.section + "] уже была в строке " + std::to_string(it->second.line) +
                            "; программа читает обе как одну, из повторенных ключей действует первый");
                    continue;
                }
                Section_T s;
                s.name = e.section;
                s.line = e.line;
                s.kind = folded.compare(0, 5, "title") == 0 ? Kind::Check
                         : folded == "info"                 ? Kind::Info
                         : folded == Fold("COEFFICIENT_OF_SHAPE") ? Kind::Shape
                         : folded == "version"              ? Kind::Version
                                                            : Kind::Step;
                s.folded = folded;
                current = &sections_.emplace(folded, std::move(s)).first->second;
                order_.push_back(current);
                continue;
            }
            Section_T& s = *current;
            const std::string key = Fold(e.name);
            const auto seen = s.first.find(key);
            if (seen != s.first.end()) {
                Add(e.line, Severity::Warning, "duplicate-key",
                    "ключ " + e.name + " уже задан в строке " + std::to_string(seen->second->line) +
                        " секции [" + s.name + "]; программа читает первое значение");
            } else {
                s.first.emplace(key, &e);
            }
        }
    }

    static std::pair<const KeyRule*, size_t> Rules(Kind kind) {
        switch (kind) {
            case Kind::Check: return {kCheckKeys, std::size(kCheckKeys)};
            case Kind::Step: return {kStepKeys, std::size(kStepKeys)};
            case Kind::Info: return {kInfoKeys, std::size(kInfoKeys)};
            case Kind::Shape: return {kShapeKeys, std::size(kShapeKeys)};
            case Kind::Version: return {kVersionKeys, std::size(kVersionKeys)};
        }
        return {nullptr, 0};
    }

    // The section kind's keys by their folded names.
    static const std::unordered_map<std::string, const KeyRule*>& Known(Kind kind) {
        static const auto all = [] {
            std::map<Kind, std::unordered_map<std::string, const KeyRule*>> m;
            for (Kind k : {Kind::Check, Kind::Step, Kind::Info, Kind::Shape, Kind::Version}) {
                const auto [rules, count] = Rules(k);
                for (size_t i = 0; i < count; ++i) m[k][Fold(rules[i].name)] = &rules[i];
            }
            return m;
        }();
        return all.at(kind);
    }

    // Unknown keys, and values the program would read otherwise than written.
    void Keys(const Section_T& s) {
        const auto [rules, count] = Rules(s.kind);
        const auto& known = Known(s.kind);
        for (const auto& [folded, e] : s.first) {
            const auto it = known.find(folded);
            const KeyRule* rule = it == known.end() ? nullptr : it->second;
            if (!rule && s.kind == Kind::Step &&
                (NumberedKey(folded, "parameter") > 0 || NumberedKey(folded, "maska") > 0))
                continue;
            if (!rule) {
                Unknown(s, *e, rules, count);
                continue;
            }
            if (rule->type != Type::Int && rule->type != Type::Bool) continue;
            const auto v = platform::ParseDecimalInt(e->value);  // digits read the same in both codes
            if (rule->type == Type::Int && !v)
                Add(e->line, Severity::Error, "type",
                    "значение " + Q(e->value) + " ключа " + e->name + " не целое число; программа прочтёт " +
                        std::to_string(rule->def));
            if (rule->type == Type::Bool && (!v || (*v != 0 && *v != 1)))
                Add(e->line, Severity::Error, "type",
                    "ключ " + e->name + " принимает 0 или 1, здесь " + Q(e->value));
        }
    }

    void Unknown(const Section_T& s, const Entry& e, const KeyRule* rules, size_t count) {
        const std::string folded = Fold(e.name);
        std::string nearest;
        size_t best = 3;
        for (size_t i = 0; i < count; ++i) {
            // The distance is at least the difference in length: far longer names need no count.
            const std::string name = Fold(rules[i].name);
            if (folded.size() + 3 <= name.size() || name.size() + 3 <= folded.size()) continue;
            const size_t d = Levenshtein(folded, name);
            if (d < best && d < folded.size()) best = d, nearest = rules[i].name;
        }
        if (s.kind == Kind::Step && nearest.empty())
            for (const char* numbered : {"Parameter", "Maska"}) {
                const std::string head = Fold(numbered);
                if (folded.size() > head.size() && Levenshtein(folded.substr(0, head.size()), head) <= 2 &&
                    std::isdigit(static_cast<unsigned char>(folded.back())))
                    nearest = std::string(numbered) + "<N>";
            }
        if (s.kind == Kind::Step && nearest.empty() &&
            (folded.compare(0, 9, "parameter") == 0 || folded.compare(0, 5, "maska") == 0))
            nearest = folded[0] == 'p' ? "Parameter<N> без нулей впереди" : "Maska<N> без нулей впереди";
        Add(e.line, Severity::Warning, "unknown-key",
            "неизвестный ключ " + e.name + " в секции [" + s.name + "]: программа его не читает" +
                (nearest.empty() ? std::string() : " (может быть, " + nearest + "?)"));
    }

    void Step(const Section_T& s) {
        const auto numCombin = Int(s, "NumCombin");
        const auto action = Int(s, "Action");
        if (numCombin && (*numCombin < 1 || *numCombin > 17))
            Add(LineOf(s, "NumCombin"), Severity::Error, "range",
                "NumCombin=" + std::to_string(*numCombin) + ": комбинаций стенда 1..17, шаг ничего не переключит");
        if (action && (*action < 0 || *action > 4))
            Add(LineOf(s, "Action"), Severity::Error, "range",
                "Action=" + std::to_string(*action) + ": действий с контакторами 1..4 (0 — никакого)");
        if (numCombin && action && *action > 0)
            Add(LineOf(s, "NumCombin"), Severity::Warning, "no-effect",
                "NumCombin не действует: при Action шаг выполняет действие с контакторами");
        const auto numFunction = Int(s, "NumFunction");
        static const std::set<int> kFunctions = {0, 1, 2, 3, 4, 5, 6, 8, 9, 10};
        if (numFunction && !kFunctions.count(*numFunction))
            Add(LineOf(s, "NumFunction"), Severity::Error, "num-function",
                "NumFunction=" + std::to_string(*numFunction) + ": встроенные расчёты 1, 2, 3, 4, 5, 6, 8, 9, 10");
        for (const char* key : {"PrOffTimer", "KeyExit", "ShowMessage"}) {
            const auto v = Int(s, key);
            if (v && *v != 0 && *v != 1)
                Add(LineOf(s, key), Severity::Warning, "no-effect",
                    std::string(key) + "=" + std::to_string(*v) + " ничего не меняет: действуют 0 и 1");
        }
        if (Key(s, "MaxRepeat") && Value(s, "Repeat").empty())
            Add(LineOf(s, "MaxRepeat"), Severity::Warning, "no-effect", "MaxRepeat без Repeat ничего не меняет");
        if (numFunction == 2) {
            double stimul = 0;
            if (!ParseNumber(Value(s, "Stimul"), stimul) || std::trunc(stimul) == 0)
                Add(Key(s, "Stimul") ? LineOf(s, "Stimul") : LineOf(s, "NumFunction"), Severity::Error, "stimul",
                    "расчёт 2 (NumFunction=2) делит на Stimul, а Stimul " +
                        (Key(s, "Stimul") ? Q(Value(s, "Stimul")) + " не ненулевое целое число" : std::string("не задан")));
        }
        if (Int(s, "ShowMessage") == 1 && Value(s, "MessageText2").empty())
            Add(LineOf(s, "ShowMessage"), Severity::Error, "message-text",
                "ShowMessage=1 без MessageText2: оператору будет задан пустой вопрос");
        Picture(s);
        Pzu(s);
        Parameters(s);
        Commands(s);
    }

    void Picture(const Section_T& s) {
        const std::string picture = Value(s, "ShowPicture");
        if (picture.empty() || picture == "None") return;
        const int line = LineOf(s, "ShowPicture");
        if (picture[0] != '\\') {
            Add(line, Severity::Error, "picture-path",
                "ShowPicture=" + picture + ": имя рисунка пишется от папки data и начинается с \\ (например \\stand.bmp)");
            return;
        }
        if (!options_.dataDir.empty() &&
            !platform::IsRegularFile(platform::NormalizePath(options_.dataDir + "/" + picture)))
            Add(line, Severity::Error, "picture-missing",
                "рисунка " + picture + " нет в папке " + options_.dataDir + ": шаг остановит проверку");
    }

    void Pzu(const Section_T& s) {
        const std::string section = Value(s, "ReWritePzu");
        if (section.empty() || !options_.pzu) return;
        const int line = LineOf(s, "ReWritePzu");
        if (!options_.pzu->HasSection(section))
            Add(line, Severity::Error, "pzu-section",
                "ReWritePzu=" + section + ": в pzu.ini нет такой секции; шаг отправит FF и будет ждать 65535");
        else if (!platform::ParseDecimalInt(platform::Utf8ToCp1251(options_.pzu->ReadString(section, "Data", ""))))
            Add(line, Severity::Warning, "pzu-data",
                "ReWritePzu=" + section + ": у секции pzu.ini нет целого Data; шаг отправит FF и будет ждать 65535");
    }

    void Parameters(const Section_T& s) {
        const bool control = Int(s, "Control") == 1;
        // Rows are read from 1 to the first that is absent or empty.
        int read = 0;
        for (;; ++read) {
            const auto it = s.first.find("parameter" + std::to_string(read + 1));
            if (it == s.first.end() || it->second->value.empty()) break;
        }
        for (const auto& [folded, e] : s.first) {
            if (const int m = NumberedKey(folded, "maska"); m > 0) {
                if (m > read)
                    Add(e->line, Severity::Warning, "mask-without-row",
                        e->name + " без строки Parameter" + std::to_string(m) + ": маска ни к чему не относится");
                else if (!platform::ParseDecimalInt(platform::Utf8ToCp1251(e->value)))
                    Add(e->line, Severity::Error, "type",
                        "значение " + Q(e->value) + " ключа " + e->name + " не целое число; программа прочтёт -1");
                continue;
            }
            const int k = NumberedKey(folded, "parameter");
            if (k == 0 || e->value.empty()) continue;
            if (k > read) {
                Add(e->line, Severity::Warning, "parameter-gap",
                    e->name + " никогда не читается: строки читаются подряд от Parameter1 до первой пропущенной (Parameter" +
                        std::to_string(read + 1) + ")");
                continue;
            }
            ParameterLine(*e, control);
        }
    }

    void ParameterLine(const Entry& e, bool control) {
        const std::vector<std::string> fields = SplitCommaText(e.value);
        const std::string what = e.name + ": ";
        if (fields.size() != 5) {
            Add(e.line, Severity::Error, "parameter-fields",
                what + "нужно пять полей (имя, минимум, максимум, контрольное значение, индекс буфера), здесь " +
                    std::to_string(fields.size()));
            if (fields.size() < 5) return;
        }
        if (fields[0].find_first_of(" ,\t") != std::string::npos)
            Add(e.line, Severity::Error, "parameter-name",
                what + "имя " + Q(fields[0]) + " с пробелом или запятой сдвинет столбцы строки результатов");
        // Bounds matter only where the row is judged.
        const Severity judged = control ? Severity::Error : Severity::Warning;
        double low = 0, high = 0;
        const bool lowOk = ParseNumber(fields[1], low), highOk = ParseNumber(fields[2], high);
        if (!lowOk) Add(e.line, judged, "parameter-number", what + "минимум " + Q(fields[1]) + " не число");
        if (!highOk) Add(e.line, judged, "parameter-number", what + "максимум " + Q(fields[2]) + " не число");
        if (lowOk && highOk && low > high)
            Add(e.line, judged, "parameter-bounds",
                what + "минимум " + fields[1] + " больше максимума " + fields[2] + ": строка не пройдёт никогда");
        double index = 0;
        if (!ParseNumber(fields[4], index) || index != std::trunc(index) || index < 0 || index > kBuffParEntries)
            Add(e.line, Severity::Error, "parameter-index",
                what + "индекс буфера " + Q(fields[4]) + " должен быть целым от 0 (строка оператора) до " +
                    std::to_string(kBuffParEntries));
    }

    // Hexadecimal bytes of a command key; false (and a finding) when the text is not that form.
    bool CommandBytes(const Section_T& s, const char* key, std::vector<uint8_t>& bytes) {
        const Entry* e = Key(s, key);
        if (!e || e->value.empty()) return false;
        size_t p = 0;
        const std::string& v = e->value;
        while (p < v.size()) {
            while (p < v.size() && (v[p] == ' ' || v[p] == '\t')) ++p;
            size_t q = p;
            while (q < v.size() && v[q] != ' ' && v[q] != '\t') ++q;
            if (q == p) break;
            const std::string token = v.substr(p, q - p);
            if (token.size() != 2 || HexDigitValue(token[0]) < 0 || HexDigitValue(token[1]) < 0) {
                Add(e->line, Severity::Error, "command-form",
                    std::string(key) + ": " + Q(token) +
                        " не байт: команда пишется байтами из двух шестнадцатеричных цифр через пробел");
                return false;
            }
            bytes.push_back(static_cast<uint8_t>(HexDigitValue(token[0]) * 16 + HexDigitValue(token[1])));
            p = q;
        }
        return true;
    }

    void Commands(const Section_T& s) {
        std::vector<uint8_t> send, ust, ust1;
        const bool sendOk = CommandBytes(s, "Send", send);
        const bool ustOk = CommandBytes(s, "SendUst", ust);
        const bool ust1Ok = CommandBytes(s, "SendUst1", ust1);
        const bool hasUst = !Value(s, "SendUst").empty();
        const bool rewrite = !Value(s, "ReWritePzu").empty();
        if (hasUst) {
            if (!Value(s, "Send").empty())
                Add(LineOf(s, "Send"), Severity::Warning, "no-effect",
                    "Send не отправляется: шаг с SendUst отправляет команду уставок с часами");
            if (rewrite)
                Add(LineOf(s, "ReWritePzu"), Severity::Warning, "no-effect",
                    "байт ReWritePzu не уходит: шаг с SendUst отправляет команду уставок с часами");
            // "00 0f a9", SendUst, six clock bytes, SendUst1: the length 0x0f counts a9 and the rest.
            if (ustOk && (ust1Ok || Value(s, "SendUst1").empty())) {
                const size_t payload = 1 + ust.size() + 6 + ust1.size();
                if (payload != 0x0f)
                    Add(LineOf(s, "SendUst"), Severity::Error, "command-length",
                        "команда уставок с часами объявляет 15 байтов (a9, SendUst, 6 байтов часов, SendUst1), а в ней " +
                            std::to_string(payload) + ": SendUst и SendUst1 вместе должны дать 8 байтов");
            }
            return;
        }
        if (!Value(s, "SendUst1").empty())
            Add(LineOf(s, "SendUst1"), Severity::Warning, "no-effect", "SendUst1 без SendUst не отправляется");
        if (!sendOk) return;
        const int line = LineOf(s, "Send");
        if (send.size() < 2) {
            Add(line, Severity::Error, "command-length", "Send: команда начинается с двух байтов длины");
            return;
        }
        const size_t announced = send[0] * 256u + send[1];
        const size_t follows = send.size() - 2 + (rewrite ? 1 : 0);
        if (announced + 6 > kWorkBufferSize)
            Add(line, Severity::Error, "command-size",
                "Send: пакет из " + std::to_string(announced + 6) + " байтов не помещается в рабочий буфер (" +
                    std::to_string(kWorkBufferSize) + ")");
        else if (announced != follows)
            Add(line, Severity::Error, "command-length",
                "Send: байты длины объявляют " + std::to_string(announced) + ", а за ними " + std::to_string(follows) +
                    (rewrite ? " (с байтом ReWritePzu)" : "") +
                    (announced > follows ? "; недостающие уйдут нулями" : "; лишние не уйдут"));
    }

    void Catalogue() {
        const Section_T* info = Find("info");
        if (!info) {
            Add(1, Severity::Warning, "catalogue",
                "нет секции [info]: в каталоге бирки сценарий будет «---- - версия теста 0.00», протоколы — в ./prot/undef/");
        } else {
            if (Value(*info, "device").empty())
                Add(info->line, Severity::Warning, "catalogue", "в [info] нет device: в каталоге бирки будет «----»");
            const std::string version = Value(*info, "version");
            if (ScriptVersionNumber(platform::Utf8ToCp1251(version)) == 0)
                Add(LineOf(*info, "version"), Severity::Warning, "catalogue",
                    "версия " + Q(version) +
                        " читается как 0.00: последние четыре знака должны быть вида 1.05; новейшую версию не отличить");
        }
        if (const Section_T* shape = Find("COEFFICIENT_OF_SHAPE"))
            for (const KeyRule& k : kShapeKeys) {
                const float v = ParseCatalogueFloat(Value(*shape, k.name), NAN);
                if (!Key(*shape, k.name) || std::isnan(v) || v <= 1e-6f)
                    Add(LineOf(*shape, k.name), Severity::Warning, "catalogue",
                        std::string(k.name) +
                            (Key(*shape, k.name) ? " = " + Q(Value(*shape, k.name)) + " не число больше 1e-6"
                                                 : std::string(" не задан")) +
                            ": программа возьмёт 1e-7");
            }
    }

    // The chain of checks from title1, and each check's chain of steps.
    void Checks() {
        Section_T* section = Find("title1");
        if (!section) {
            Add(1, Severity::Error, "no-title1",
                "нет секции [title1]: список проверок будет из одной пустой строки без шагов");
            return;
        }
        std::unordered_set<std::string> listed;
        int count = 0;
        for (;;) {
            listed.insert(Fold(section->name));
            if (++count == kMaxChecks + 1)
                Add(section->line, Severity::Error, "too-many-checks",
                    "больше " + std::to_string(kMaxChecks) + " проверок: проверка [" + section->name +
                        "] и дальнейшие не поместятся в таблицу запуска");
            CheckName(*section);
            StepChain(*section);
            const std::string next = Value(*section, "NextTitle").empty() ? "endtitle" : Value(*section, "NextTitle");
            if (Fold(next) == "endtitle") break;
            const int line = LineOf(*section, "NextTitle");
            if (listed.count(Fold(next))) {
                Add(line, Severity::Error, "title-cycle",
                    "NextTitle=" + next + " ведёт к уже пройденной проверке: цепочка проверок замкнута");
                break;
            }
            Section_T* target = Find(next);
            if (!target) {
                Add(line, Severity::Error, "next-title-unknown",
                    "NextTitle=" + next + ": секции нет; в списке проверок появится пустая строка");
                break;
            }
            section = target;
        }
        for (const Section_T* other : order_) {
            const Section_T& s = *other;
            if (s.kind == Kind::Check && !listed.count(s.folded))
                Add(s.line, Severity::Warning, "title-unreachable",
                    "проверка [" + s.name + "] не входит в цепочку NextTitle от title1 и не попадёт в список");
        }
    }

    void CheckName(const Section_T& s) {
        const std::string& n = s.name;
        const bool digits = n.size() > 5 && n.size() <= 8 &&
                            std::all_of(n.begin() + 5, n.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (!digits || n[5] == '0' || Fold(n).compare(0, 5, "title") != 0)
            Add(s.line, Severity::Error, "title-name",
                "проверка [" + n + "] названа не по правилу title<N> (N от 1 до 999 без нулей впереди): номер проверки " +
                    (TScript::CheckNumber(n) == 0 ? std::string("не прочтётся и запуск на ней закончится")
                                                  : "прочтётся как " + std::to_string(TScript::CheckNumber(n)) +
                                                        " и запустится другая секция"));
    }

    // The targets of a step: its Next and Repeat, as (key, value) pairs.
    std::vector<std::pair<const char*, std::string>> Targets(const Section_T& s) const {
        std::vector<std::pair<const char*, std::string>> t;
        for (const char* key : {"Next", "Repeat"})
            if (!Value(s, key).empty()) t.emplace_back(key, Value(s, key));
        return t;
    }

    void StepChain(const Section_T& check) {
        const auto oneStep = Int(check, "OneStep");
        const std::string first = "step" + std::to_string(oneStep.value_or(0));
        Section_T* start = Find(first);
        if (!start || start->kind != Kind::Step) {
            Add(LineOf(check, "OneStep"), Severity::Error, "one-step-unknown",
                (Key(check, "OneStep") ? "OneStep=" + Value(check, "OneStep") : std::string("OneStep не задан")) +
                    ": проверка [" + check.name + "] начнётся с шага [" + first + "], которого нет");
            return;
        }
        // Every step the check can reach, and for each the steps that lead to it.
        std::vector<Section_T*> reached{start};
        std::unordered_map<const Section_T*, size_t> index{{start, 0}};
        std::vector<std::vector<size_t>> before(1);
        std::vector<size_t> ending;  // steps that end the check, or whose fault is named already
        for (size_t i = 0; i < reached.size(); ++i) {
            Section_T& s = *reached[i];
            if (!s.linksChecked) StepTargets(s);
            bool ends = Value(s, "Next").empty();
            for (const auto& [key, target] : Targets(s)) {
                Section_T* t = target == kEndStep ? nullptr : Find(target);
                if (!t || t->kind != Kind::Step) {
                    ends = true;
                    continue;
                }
                const auto [it, fresh] = index.emplace(t, reached.size());
                if (fresh) {
                    reached.push_back(t);
                    before.emplace_back();
                }
                before[it->second].push_back(i);
            }
            if (ends) ending.push_back(i);
        }
        for (Section_T* s : reached) s->reached = true;
        // Backwards from the ends: what is not met cannot come to endprov.
        std::vector<char> comes(reached.size(), 0);
        for (size_t i : ending) comes[i] = 1;
        for (size_t q = 0; q < ending.size(); ++q)
            for (size_t p : before[ending[q]])
                if (!comes[p]) {
                    comes[p] = 1;
                    ending.push_back(p);
                }
        for (size_t i = 0; i < reached.size(); ++i)
            if (!comes[i]) {
                Add(reached[i]->line, Severity::Error, "no-end",
                    "от шага [" + reached[i]->name + "] проверка [" + check.name +
                        "] не доходит до endprov: шаги Next/Repeat ходят по кругу");
                break;
            }
    }

    void StepTargets(Section_T& s) {
        s.linksChecked = true;
        if (Value(s, "Next").empty())
            Add(s.line, Severity::Error, "next-missing",
                "у шага [" + s.name + "] нет Next: за ним пойдёт шаг без имени, и проверка будет бесконечно опрашивать станцию");
        for (const auto& [key, target] : Targets(s)) {
            if (target == kEndStep) continue;
            const int line = LineOf(s, key);
            if (Fold(target) == kEndStep)
                Add(line, Severity::Error, "endprov-case",
                    std::string(key) + "=" + target + ": конец проверки пишется endprov строчными буквами");
            else if (!Find(target))
                Add(line, Severity::Error, "next-unknown", std::string(key) + "=" + target + ": такой секции нет");
            else if (Find(target)->kind != Kind::Step)
                Add(line, Severity::Error, "next-unknown",
                    std::string(key) + "=" + target + ": это не шаг, а секция проверки или каталога");
        }
    }

    void Unreached() {
        for (Section_T* section : order_) {
            Section_T& s = *section;
            if (s.kind != Kind::Step || s.reached || s.folded == kEndStep || s.folded == "endtitle") continue;
            Add(s.line, Severity::Warning, "step-unreachable", "шаг [" + s.name + "] не достижим ни из одной проверки");
            // Its own links are still worth knowing for the day it is linked in.
            if (!s.linksChecked) StepTargets(s);
        }
    }

    std::string_view bytes_;
    std::string file_;
    const ScriptCheckOptions_T& options_;
    std::vector<Entry> entries_;
    std::unordered_map<std::string, Section_T> sections_;
    std::vector<Section_T*> order_;  // in file order; the map's elements never move
    bool mixedReported_ = false;
    std::vector<ScriptFinding_T> out_;
};

}  // namespace

std::vector<ScriptFinding_T> CheckScript(std::string_view bytes, const std::string& fileName,
                                         const ScriptCheckOptions_T& options) {
    return Checker(bytes, fileName, options).Run();
}

bool CheckScriptFile(const std::string& path, const std::string& shownName, const std::string& dataDir,
                     std::vector<ScriptFinding_T>& findings) {
    std::string bytes;
    if (!platform::IsRegularFile(path) || !platform::ReadFileBytes(path, bytes)) return false;
    ScriptCheckOptions_T options;
    platform::IniFile pzu;
    if (platform::IsDirectory(dataDir)) {
        options.dataDir = dataDir;
        if (pzu.Load(platform::JoinPath(dataDir, "pzu.ini"))) options.pzu = &pzu;
    }
    findings = CheckScript(bytes, shownName, options);
    return true;
}

bool HasErrors(const std::vector<ScriptFinding_T>& findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const ScriptFinding_T& f) { return f.severity == ScriptFinding_T::Error; });
}

std::string FormatFinding(const ScriptFinding_T& f) {
    return f.file + ":" + std::to_string(f.line) + ": " + (f.severity == ScriptFinding_T::Error ? "error" : "warning") +
           ": " + f.text;
}

std::string FindingsJson(const std::vector<ScriptFinding_T>& findings) {
    std::string out = "[";
    for (size_t i = 0; i < findings.size(); ++i) {
        const ScriptFinding_T& f = findings[i];
        out += std::string(i ? "," : "") + "\n  {\"file\": " + platform::JsonString(f.file) +
               ", \"line\": " + std::to_string(f.line) + ", \"severity\": \"" +
               (f.severity == ScriptFinding_T::Error ? "error" : "warning") + "\", \"code\": \"" + f.code +
               "\", \"text\": " + platform::JsonString(f.text) + "}";
    }
    return out + (findings.empty() ? "]\n" : "\n]\n");
}
