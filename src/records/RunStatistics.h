#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What the quality engineer asks of the records: yield, the checks and parameters that fail
// most, and how capable the process is for one measured parameter against the script's limits.
// Plain data and arithmetic; the stores answer the queries.

// Which runs a statistic looks at. Days as "2026-12-01", both ends included; empty: any.
struct StatsFilter_T {
    std::string from, to;
    std::string deviceKind, stand, scriptVersion;
};

// A run has a verdict on the station when it passed or failed; aborted, silent, script-error
// and incomplete runs tell nothing about the station and count apart.
struct YieldLine_T {
    std::string name;
    int64_t total = 0, passed = 0;
};

struct YieldReport_T {
    int64_t runs = 0, passed = 0;  // runs with a verdict
    int64_t unfinished = 0;        // runs without one
    // Serials with a run with a verdict, and those whose first such run passed. Runs with no
    // serial cannot be told apart and are left out of these two.
    int64_t serials = 0, firstPassed = 0;
    std::vector<YieldLine_T> checks;  // per check title: checks with a verdict and passed ones
};

struct ParetoLine_T {
    std::string check, parameter;  // parameter empty in the list by check
    int64_t failures = 0;
};

struct CapabilityPoint_T {
    std::string startedAt;
    double value = 0;
};

struct HistogramBin_T {
    double from = 0, to = 0;  // [from, to)
    int64_t count = 0;
};

struct Capability_T {
    std::string script, parameter;
    int64_t count = 0;     // numeric values found
    int64_t skipped = 0;   // rows of the parameter whose value is not a number
    double mean = 0, sigma = 0, min = 0, max = 0;  // sigma: of the sample (n - 1)
    // The limits of the latest row, when they are finite numbers.
    std::optional<double> low, high;
    // Only with both limits finite and different and a spread to measure against.
    std::optional<double> cp, cpk;
    // The values over time, oldest first; a long series keeps each stretch's lowest and highest.
    std::vector<CapabilityPoint_T> values;
    // Every value counted in bins of one width, lowest first; the empty ones left out.
    std::vector<HistogramBin_T> histogram;
};

// Mean and spread of a stream of values without keeping them (Welford), and their histogram.
//
// The bins are of a width 2^k, aligned to its multiples, and at most kHistogramBins of them
// span the values: the smallest such width is taken, widened (neighbours merged) as the values
// spread. The bins therefore depend only on the values, not on the order they come in, and
// both stores draw the same histogram.
class TRunningStats {
public:
    static constexpr size_t kHistogramBins = 64;
    void Add(double v);
    int64_t Count() const { return n_; }
    double Mean() const { return mean_; }
    // Of the sample; 0 below two values.
    double Sigma() const;
    double Min() const { return min_; }
    double Max() const { return max_; }
    std::vector<HistogramBin_T> Histogram() const;

private:
    int64_t n_ = 0;
    double mean_ = 0, m2_ = 0, min_ = 0, max_ = 0;
    static size_t BinAt(double offset, size_t bins);
    double width_ = 1.0 / (1 << 20);
    double first_ = 0;            // floor(min / width): the first bin's index
    std::vector<int64_t> bins_;  // counts from first_ on
};

// A measured value or limit as the results table wrote it ("220.25", "220,25"); nothing for a
// text that is not one finite number.
std::optional<double> ParseMeasured(std::string_view text);

// Count, mean, sigma, extremes from the stream, and Cp, Cpk where the limits allow:
// Cp = (high - low) / 6 sigma, Cpk = min(high - mean, mean - low) / 3 sigma.
void FillCapability(Capability_T& c, const TRunningStats& s);

// One parameter's rows gathered into its capability, in whatever order they come: the runs of
// the filter are numbered in time order (0 .. runs-1), and a row names its run's number. The run
// chart cuts the runs into equal stretches, each keeping its lowest and highest value (the
// earlier run on a tie); the limits are those of the latest run's row.
class TCapabilityBuilder {
public:
    TCapabilityBuilder(size_t runs, size_t maxPoints);
    void Add(uint32_t at, std::string_view measured, std::string_view low, std::string_view high) {
        Add(at, ParseMeasured(measured), low, high);
    }
    // The value already read (nothing: the row's text is not a number).
    void Add(uint32_t at, std::optional<double> value, std::string_view low, std::string_view high);
    // `startedAt(at)`: the start time of run number `at`.
    template <class StartedAt>
    void Finish(Capability_T& c, StartedAt startedAt) const {
        for (const auto& [at, value] : Points()) c.values.push_back({startedAt(at), value});
        c.skipped = skipped_;
        c.low = ParseMeasured(low_);
        c.high = ParseMeasured(high_);
        FillCapability(c, stats_);
    }

    // The run chart's points so far: run number and value, in time order.
    std::vector<std::pair<uint32_t, double>> Points() const;

private:
    static constexpr uint32_t kNone = UINT32_MAX;
    struct Extreme {
        uint32_t at = kNone;
        double value = 0;
    };
    size_t runs_;
    std::vector<Extreme> lows_, highs_;
    TRunningStats stats_;
    int64_t latest_ = -1, skipped_ = 0;
    std::string low_, high_;
};

// The day bounds of a filter are "YYYY-MM-DD" dates of the calendar.
bool IsStatsDay(const std::string& day);

// What a run's script is matched by: the name as the tag gives it ("./scn/one.ini"), or its
// file name alone after a "/" or "\\"; letter case counts on either store. The patterns are
// LIKE patterns with '!' escaping the wildcards, or GLOB patterns for the stand's file (its
// LIKE ignores the case of Latin letters).
std::vector<std::string> ScriptMatchBinds(const std::string& script, bool glob = false);
// The same match made on a script name already read.
bool ScriptMatches(std::string_view stored, std::string_view script);



// Text for the terminal (UTF-8) and JSON of the three reports.
std::string FormatYield(const YieldReport_T& r, const StatsFilter_T& f);
std::string YieldJson(const YieldReport_T& r);
std::string FormatPareto(const std::vector<ParetoLine_T>& byCheck, const std::vector<ParetoLine_T>& byParameter);
std::string ParetoJson(const std::vector<ParetoLine_T>& byCheck, const std::vector<ParetoLine_T>& byParameter);
std::string FormatCapability(const Capability_T& c);
std::string CapabilityJson(const Capability_T& c);

// The tables of the statistics window as CSV for a spreadsheet of a Russian desktop: ';'
// between fields, a decimal comma, CR LF; UTF-8 here, written out in Windows-1251.
std::string YieldCsv(const YieldReport_T& r);
std::string ParetoCsv(const std::vector<ParetoLine_T>& lines, bool byParameter);
std::string CapabilityCsv(const Capability_T& c);

// A number for the window and its files: `digits` significant digits, a decimal comma.
std::string StatsNumber(double v, int digits = 4);
// part of whole in per cent with one decimal ("60,0"), "-" without a whole.
std::string StatsPercent(int64_t part, int64_t whole);
