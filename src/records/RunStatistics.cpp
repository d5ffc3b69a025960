#include "records/RunStatistics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/Csv.h"
#include "platform/Json.h"

namespace {

std::string Number(double v, int digits = 4) {
    char b[48];
    std::snprintf(b, sizeof b, "%.*g", digits + 2, v);
    return b;
}

std::string Percent(int64_t part, int64_t whole) {
    if (whole <= 0) return "-";
    char b[16];
    std::snprintf(b, sizeof b, "%.1f %%", 100.0 * static_cast<double>(part) / static_cast<double>(whole));
    return b;
}

std::string Pad(const std::string& s, size_t width) {
    size_t chars = 0;
    for (unsigned char c : s) chars += (c & 0xC0) != 0x80;
    return chars >= width ? s + " " : s + std::string(width - chars, ' ');
}

std::string JsonNumber(const std::optional<double>& v) { return v ? Number(*v, 10) : "null"; }

std::string Range(const StatsFilter_T& f) {
    std::string s = (f.from.empty() ? "начала" : f.from) + " - " + (f.to.empty() ? "сегодня" : f.to);
    if (!f.deviceKind.empty()) s += ", " + f.deviceKind;
    if (!f.stand.empty()) s += ", стенд " + f.stand;
    if (!f.scriptVersion.empty()) s += ", версия сценария " + f.scriptVersion;
    return s;
}

std::string ParetoList(const std::vector<ParetoLine_T>& lines) {
    std::string s = "[";
    for (size_t i = 0; i < lines.size(); ++i) {
        s += std::string(i ? ", " : "") + "{\"check\": " + platform::JsonString(lines[i].check);
        if (!lines[i].parameter.empty()) s += ", \"parameter\": " + platform::JsonString(lines[i].parameter);
        s += ", \"failures\": " + std::to_string(lines[i].failures) + "}";
    }
    return s + "]";
}

}  // namespace

void TRunningStats::Add(double v) {
    ++n_;
    const bool wider = n_ == 1 || v < min_ || v > max_;
    if (n_ == 1) {
        min_ = max_ = v;
    } else {
        min_ = std::min(min_, v);
        max_ = std::max(max_, v);
    }
    const double delta = v - mean_;
    mean_ += delta / static_cast<double>(n_);
    m2_ += delta * (v - mean_);

    // The bins span floor(min / width) .. floor(max / width); they change only with the extremes.
    auto span = [&](double w) { return std::floor(max_ / w) - std::floor(min_ / w) + 1; };
    if (wider) {
        double w = width_;
        // Far from zero a narrow width overflows the index (an infinite or undefined span).
        while (!(span(w) <= static_cast<double>(kHistogramBins))) w *= 2;
        const double first = std::floor(min_ / w);
        std::vector<int64_t> bins(static_cast<size_t>(std::min(span(w), static_cast<double>(kHistogramBins))), 0);
        // Scaling by a power of two is exact: a merged bin holds just the values it would
        // have been given at this width from the start.
        for (size_t i = 0; i < bins_.size(); ++i)
            if (bins_[i]) bins[BinAt(std::floor((first_ + static_cast<double>(i)) * width_ / w) - first, bins.size())] += bins_[i];
        bins_ = std::move(bins);
        width_ = w;
        first_ = first;
    }
    ++bins_[BinAt(std::floor(v / width_) - first_, bins_.size())];
}

size_t TRunningStats::BinAt(double offset, size_t bins) {
    // Offsets are whole numbers below `bins`, but far from zero a double holds only every
    // second or fourth whole number: kept inside whatever the rounding.
    if (!(offset > 0)) return 0;
    return std::min(static_cast<size_t>(std::min(offset, 1e9)), bins - 1);
}

double TRunningStats::Sigma() const { return n_ < 2 ? 0 : std::sqrt(m2_ / static_cast<double>(n_ - 1)); }

std::vector<HistogramBin_T> TRunningStats::Histogram() const {
    std::vector<HistogramBin_T> out;
    for (size_t i = 0; i < bins_.size(); ++i)
        if (bins_[i]) {
            const double index = first_ + static_cast<double>(i);
            out.push_back({index * width_, (index + 1) * width_, bins_[i]});
        }
    return out;
}

TCapabilityBuilder::TCapabilityBuilder(size_t runs, size_t maxPoints)
    : runs_(runs), lows_(std::max<size_t>(1, std::min(maxPoints / 2, runs))), highs_(lows_.size()) {}

void TCapabilityBuilder::Add(uint32_t at, std::optional<double> v, std::string_view low, std::string_view high) {
    if (at >= runs_) return;
    if (static_cast<int64_t>(at) >= latest_) {
        latest_ = at;
        low_.assign(low);
        high_.assign(high);
    }
    if (!v) {
        ++skipped_;
        return;
    }
    stats_.Add(*v);
    const size_t b = static_cast<size_t>(static_cast<uint64_t>(at) * lows_.size() / runs_);
    Extreme& lo = lows_[b];
    Extreme& hi = highs_[b];
    if (lo.at == kNone || *v < lo.value || (*v == lo.value && at < lo.at)) lo = {at, *v};
    if (hi.at == kNone || *v > hi.value || (*v == hi.value && at < hi.at)) hi = {at, *v};
}

std::vector<std::pair<uint32_t, double>> TCapabilityBuilder::Points() const {
    std::vector<std::pair<uint32_t, double>> out;
    for (size_t b = 0; b < lows_.size(); ++b) {
        if (lows_[b].at == kNone) continue;
        const Extreme& first = lows_[b].at <= highs_[b].at ? lows_[b] : highs_[b];
        const Extreme& second = lows_[b].at <= highs_[b].at ? highs_[b] : lows_[b];
        out.emplace_back(first.at, first.value);
        if (second.at != first.at) out.emplace_back(second.at, second.value);
    }
    return out;
}

std::optional<double> ParseMeasured(std::string_view text) {
    char t[64];
    size_t n = 0;
    for (char c : text) {
        if (c == ' ' || c == '\t') continue;
        if (n + 1 >= sizeof t) return std::nullopt;  // no value of the table is that long
        t[n++] = c == ',' ? '.' : c;
    }
    if (n == 0) return std::nullopt;
    t[n] = 0;
    char* end = nullptr;
    const double v = std::strtod(t, &end);
    if (end != t + n || !std::isfinite(v)) return std::nullopt;
    return v;
}

void FillCapability(Capability_T& c, const TRunningStats& s) {
    c.count = s.Count();
    c.mean = s.Mean();
    c.sigma = s.Sigma();
    c.min = s.Min();
    c.max = s.Max();
    c.histogram = s.Histogram();
    c.cp.reset();
    c.cpk.reset();
    if (!c.low || !c.high || *c.low == *c.high || c.count < 2 || !(c.sigma > 0)) return;
    const double lo = std::min(*c.low, *c.high), hi = std::max(*c.low, *c.high);
    c.cp = (hi - lo) / (6 * c.sigma);
    c.cpk = std::min(hi - c.mean, c.mean - lo) / (3 * c.sigma);
}

std::string FormatYield(const YieldReport_T& r, const StatsFilter_T& f) {
    std::string out = "Выход годных, " + Range(f) + "\n";
    out += "  испытаний с итогом: " + std::to_string(r.runs) + ", прошли: " + std::to_string(r.passed) + " (" +
           Percent(r.passed, r.runs) + ")\n";
    out += "  без итога (прерваны, нет связи, ошибка сценария, не завершены): " + std::to_string(r.unfinished) + "\n";
    out += "  станций: " + std::to_string(r.serials) + ", прошли с первого раза: " + std::to_string(r.firstPassed) +
           " (" + Percent(r.firstPassed, r.serials) + ")\n";
    if (!r.checks.empty()) {
        out += "\n" + Pad("Проверка", 40) + Pad("Всего", 8) + Pad("Прошли", 8) + "Доля\n";
        for (const YieldLine_T& l : r.checks)
            out += Pad(l.name, 40) + Pad(std::to_string(l.total), 8) + Pad(std::to_string(l.passed), 8) +
                   Percent(l.passed, l.total) + "\n";
    }
    return out;
}

std::string YieldJson(const YieldReport_T& r) {
    std::string s = "{\"runs\": " + std::to_string(r.runs) + ", \"passed\": " + std::to_string(r.passed) +
                    ", \"unfinished\": " + std::to_string(r.unfinished) + ", \"serials\": " +
                    std::to_string(r.serials) + ", \"first_pass_passed\": " + std::to_string(r.firstPassed) +
                    ", \"checks\": [";
    for (size_t i = 0; i < r.checks.size(); ++i)
        s += std::string(i ? ", " : "") + "{\"check\": " + platform::JsonString(r.checks[i].name) +
             ", \"total\": " + std::to_string(r.checks[i].total) + ", \"passed\": " +
             std::to_string(r.checks[i].passed) + "}";
    return s + "]}\n";
}

std::string FormatPareto(const std::vector<ParetoLine_T>& byCheck, const std::vector<ParetoLine_T>& byParameter) {
    std::string out = "Отказы по проверкам\n";
    if (byCheck.empty()) out += "  нет\n";
    for (const ParetoLine_T& l : byCheck) out += "  " + Pad(std::to_string(l.failures), 8) + l.check + "\n";
    out += "\nОтказы по параметрам\n";
    if (byParameter.empty()) out += "  нет\n";
    for (const ParetoLine_T& l : byParameter)
        out += "  " + Pad(std::to_string(l.failures), 8) + l.check + ": " + l.parameter + "\n";
    return out;
}

std::string ParetoJson(const std::vector<ParetoLine_T>& byCheck, const std::vector<ParetoLine_T>& byParameter) {
    return "{\"by_check\": " + ParetoList(byCheck) + ", \"by_parameter\": " + ParetoList(byParameter) + "}\n";
}

std::string FormatCapability(const Capability_T& c) {
    std::string out = "Параметр " + c.parameter + " сценария " + c.script + "\n";
    out += "  значений: " + std::to_string(c.count);
    if (c.skipped > 0) out += " (не числа: " + std::to_string(c.skipped) + ")";
    out += "\n";
    if (c.count == 0) return out;
    out += "  среднее: " + Number(c.mean) + ", СКО: " + Number(c.sigma) + ", мин.: " + Number(c.min) +
           ", макс.: " + Number(c.max) + "\n";
    out += "  границы: " + (c.low ? Number(*c.low) : std::string("-")) + " .. " +
           (c.high ? Number(*c.high) : std::string("-")) + "\n";
    if (c.cp)
        out += "  Cp: " + Number(*c.cp, 3) + ", Cpk: " + Number(*c.cpk, 3) + "\n";
    else
        out += "  Cp, Cpk: не определены (нужны обе границы, разные, и разброс значений)\n";
    return out;
}

std::string CapabilityJson(const Capability_T& c) {
    std::string s = "{\"script\": " + platform::JsonString(c.script) + ", \"parameter\": " +
                    platform::JsonString(c.parameter) + ", \"count\": " + std::to_string(c.count) +
                    ", \"skipped\": " + std::to_string(c.skipped);
    if (c.count > 0)
        s += ", \"mean\": " + Number(c.mean, 10) + ", \"sigma\": " + Number(c.sigma, 10) + ", \"min\": " +
             Number(c.min, 10) + ", \"max\": " + Number(c.max, 10);
    s += ", \"low\": " + JsonNumber(c.low) + ", \"high\": " + JsonNumber(c.high) + ", \"cp\": " + JsonNumber(c.cp) +
         ", \"cpk\": " + JsonNumber(c.cpk) + ", \"values\": [";
    for (size_t i = 0; i < c.values.size(); ++i)
        s += std::string(i ? ", " : "") + "[" + platform::JsonString(c.values[i].startedAt) + ", " +
             Number(c.values[i].value, 10) + "]";
    return s + "]}\n";
}

bool IsStatsDay(const std::string& day) {
    if (day.size() != 10 || day[4] != '-' || day[7] != '-') return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (day[i] < '0' || day[i] > '9') return false;
    const int year = std::stoi(day.substr(0, 4)), month = std::stoi(day.substr(5, 2)), d = std::stoi(day.substr(8, 2));
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || d < 1) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return d <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

std::vector<std::string> ScriptMatchBinds(const std::string& script, bool glob) {
    std::string escaped;
    for (char ch : script) {
        if (glob && (ch == '*' || ch == '?' || ch == '[')) {
            escaped += std::string("[") + ch + "]";
            continue;
        }
        if (!glob && (ch == '%' || ch == '_' || ch == '!')) escaped += '!';
        escaped += ch;
    }
    const std::string any = glob ? "*" : "%";
    return {script, any + "/" + escaped, any + "\\" + escaped};
}

bool ScriptMatches(std::string_view stored, std::string_view script) {
    if (stored == script) return true;
    if (stored.size() <= script.size() || stored.substr(stored.size() - script.size()) != script) return false;
    const char before = stored[stored.size() - script.size() - 1];
    return before == '/' || before == '\\';
}

namespace {

std::string CsvLine(std::initializer_list<std::string> fields) {
    std::string line;
    bool first = true;
    for (const std::string& f : fields) {
        line += (first ? "" : ";") + platform::CsvField(f);
        first = false;
    }
    return line + "\r\n";
}

int64_t Total(const std::vector<ParetoLine_T>& lines) {
    int64_t n = 0;
    for (const ParetoLine_T& l : lines) n += l.failures;
    return n;
}

}  // namespace

std::string StatsNumber(double v, int digits) {
    char b[48];
    std::snprintf(b, sizeof b, "%.*g", digits, v);
    std::string s = b;
    for (char& c : s)
        if (c == '.') c = ',';
    return s;
}

std::string StatsPercent(int64_t part, int64_t whole) {
    if (whole <= 0) return "-";
    char b[16];
    std::snprintf(b, sizeof b, "%.1f", 100.0 * static_cast<double>(part) / static_cast<double>(whole));
    std::string s = b;
    for (char& c : s)
        if (c == '.') c = ',';
    return s;
}

std::string YieldCsv(const YieldReport_T& r) {
    std::string out = CsvLine({"Проверка", "Всего", "Прошли", "Доля, %"});
    for (const YieldLine_T& l : r.checks)
        out += CsvLine({l.name, std::to_string(l.total), std::to_string(l.passed), StatsPercent(l.passed, l.total)});
    out += CsvLine({"Испытания с итогом", std::to_string(r.runs), std::to_string(r.passed), StatsPercent(r.passed, r.runs)});
    out += CsvLine({"Станции с первого раза", std::to_string(r.serials), std::to_string(r.firstPassed),
                    StatsPercent(r.firstPassed, r.serials)});
    return out;
}

std::string ParetoCsv(const std::vector<ParetoLine_T>& lines, bool byParameter) {
    std::string out = byParameter ? CsvLine({"Проверка", "Параметр", "Отказов", "Доля, %", "Накоплено, %"})
                                  : CsvLine({"Проверка", "Отказов", "Доля, %", "Накоплено, %"});
    const int64_t total = Total(lines);
    int64_t running = 0;
    for (const ParetoLine_T& l : lines) {
        running += l.failures;
        const std::string n = std::to_string(l.failures);
        out += byParameter ? CsvLine({l.check, l.parameter, n, StatsPercent(l.failures, total), StatsPercent(running, total)})
                           : CsvLine({l.check, n, StatsPercent(l.failures, total), StatsPercent(running, total)});
    }
    return out;
}

std::string CapabilityCsv(const Capability_T& c) {
    auto opt = [](const std::optional<double>& v, int digits = 6) { return v ? StatsNumber(*v, digits) : std::string(); };
    const bool any = c.count > 0;
    std::string out = CsvLine({"Сценарий", c.script}) + CsvLine({"Параметр", c.parameter});
    out += CsvLine({"Значений", std::to_string(c.count)}) + CsvLine({"Не числа", std::to_string(c.skipped)});
    out += CsvLine({"Среднее", any ? StatsNumber(c.mean, 8) : ""}) + CsvLine({"СКО", any ? StatsNumber(c.sigma, 8) : ""});
    out += CsvLine({"Минимум", any ? StatsNumber(c.min, 8) : ""}) + CsvLine({"Максимум", any ? StatsNumber(c.max, 8) : ""});
    out += CsvLine({"Нижняя граница", opt(c.low)}) + CsvLine({"Верхняя граница", opt(c.high)});
    out += CsvLine({"Cp", opt(c.cp, 4)}) + CsvLine({"Cpk", opt(c.cpk, 4)});
    out += "\r\n" + CsvLine({"Начато", "Значение"});
    for (const CapabilityPoint_T& p : c.values) out += CsvLine({p.startedAt, StatsNumber(p.value, 8)});
    return out;
}
