#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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
};

// Mean and spread of a stream of values without keeping them (Welford).
class TRunningStats {
public:
    void Add(double v);
    int64_t Count() const { return n_; }
    double Mean() const { return mean_; }
    // Of the sample; 0 below two values.
    double Sigma() const;
    double Min() const { return min_; }
    double Max() const { return max_; }

private:
    int64_t n_ = 0;
    double mean_ = 0, m2_ = 0, min_ = 0, max_ = 0;
};

// A measured value or limit as the results table wrote it ("220.25", "220,25"); nothing for a
// text that is not one finite number.
std::optional<double> ParseMeasured(std::string_view text);

// Count, mean, sigma, extremes from the stream, and Cp, Cpk where the limits allow:
// Cp = (high - low) / 6 sigma, Cpk = min(high - mean, mean - low) / 3 sigma.
void FillCapability(Capability_T& c, const TRunningStats& s);

// Text for the terminal (UTF-8) and JSON of the three reports.
std::string FormatYield(const YieldReport_T& r, const StatsFilter_T& f);
std::string YieldJson(const YieldReport_T& r);
std::string FormatPareto(const std::vector<ParetoLine_T>& byCheck, const std::vector<ParetoLine_T>& byParameter);
std::string ParetoJson(const std::vector<ParetoLine_T>& byCheck, const std::vector<ParetoLine_T>& byParameter);
std::string FormatCapability(const Capability_T& c);
std::string CapabilityJson(const Capability_T& c);
