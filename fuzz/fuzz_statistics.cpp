// Measured values as the results table stores them, one per line, read as numbers and summed up
// into a capability with its histogram, then written out as text, JSON and CSV. Checks that the
// statistics hold together whatever the values: every value counted once in the bins, the bins
// in order, the mean between the extremes.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "records/RunStatistics.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TRunningStats stats;
    Capability_T c;
    c.script = "s.ini";
    c.parameter = "U";
    size_t at = 0, line = 0;
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view value = text.substr(at, end - at);
        if (line == 0) {
            c.low = ParseMeasured(value);
        } else if (line == 1) {
            c.high = ParseMeasured(value);
        } else if (const auto v = ParseMeasured(value)) {
            Check(std::isfinite(*v));
            stats.Add(*v);
            c.values.push_back({"2026-12-01T10:00:00.000+03:00", *v});
        } else {
            ++c.skipped;
        }
        ++line;
        at = end + 1;
    }
    FillCapability(c, stats);
    int64_t counted = 0;
    double previous = -INFINITY;
    for (const HistogramBin_T& b : c.histogram) {
        Check(b.count > 0 && b.from >= previous);
        previous = b.from;
        counted += b.count;
    }
    Check(counted == c.count);
    Check(c.histogram.size() <= TRunningStats::kHistogramBins);
    if (c.count > 0) Check(c.min <= c.max);
    (void)FormatCapability(c);
    (void)CapabilityJson(c);
    (void)CapabilityCsv(c);
    return 0;
}
