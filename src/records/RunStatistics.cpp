#include "records/RunStatistics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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
    if (n_ == 1) {
        min_ = max_ = v;
    } else {
        min_ = std::min(min_, v);
        max_ = std::max(max_, v);
    }
    const double delta = v - mean_;
    mean_ += delta / static_cast<double>(n_);
    m2_ += delta * (v - mean_);
}

double TRunningStats::Sigma() const { return n_ < 2 ? 0 : std::sqrt(m2_ / static_cast<double>(n_ - 1)); }

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
