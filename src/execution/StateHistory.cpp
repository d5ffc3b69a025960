#include "execution/StateHistory.h"

#include <algorithm>

TStateHistory::TStateHistory(size_t capacity) : ring_(std::max<size_t>(capacity, 1)) {}

void TStateHistory::Add(int64_t wallMs, const float* buffPar) {
    Sample_T& s = ring_[head_];
    s.wallMs = wallMs;
    for (size_t k = 0; k < kStateSeries.size(); ++k) s.values[k] = buffPar[kStateSeries[k].buffPar];
    head_ = (head_ + 1) % ring_.size();
    count_ = std::min(count_ + 1, ring_.size());
    ++added_;
}

std::pair<size_t, size_t> TStateHistory::Span(int64_t fromMs, int64_t toMs) const {
    // Samples come in time order (the wall clock may step back when it is set: such a sample
    // simply lands where the search puts it).
    auto lowerBound = [&](int64_t ms, bool after) {
        size_t lo = 0, hi = count_;
        while (lo < hi) {
            const size_t mid = (lo + hi) / 2;
            if (after ? At(mid).wallMs <= ms : At(mid).wallMs < ms)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    };
    const size_t first = lowerBound(fromMs, false);
    return {first, std::max(first, lowerBound(toMs, true))};
}

std::vector<TStateHistory::Sample_T> TStateHistory::Range(int64_t fromMs, int64_t toMs) const {
    const auto [first, last] = Span(fromMs, toMs);
    std::vector<Sample_T> out;
    out.reserve(last - first);
    for (size_t i = first; i < last; ++i) out.push_back(At(i));
    return out;
}

void TStateHistory::Clear() {
    head_ = count_ = 0;
    ++added_;
}

std::vector<std::pair<int64_t, float>> SeriesPoints(const TStateHistory& history, int64_t fromMs, int64_t toMs,
                                                    size_t series, size_t maxPoints) {
    std::vector<std::pair<int64_t, float>> out;
    const auto [first, last] = history.Span(fromMs, toMs);
    if (series >= kStateSeries.size() || first >= last) return out;
    auto point = [&](size_t i) { out.emplace_back(history.At(i).wallMs, history.At(i).values[series]); };
    if (last - first <= maxPoints || maxPoints < 2) {
        out.reserve(last - first);
        for (size_t i = first; i < last; ++i) point(i);
        return out;
    }
    const size_t buckets = maxPoints / 2;
    const int64_t width = std::max<int64_t>(1, (toMs - fromMs + 1 + static_cast<int64_t>(buckets) - 1) /
                                                   static_cast<int64_t>(buckets));
    out.reserve(buckets * 2);
    size_t i = first;
    while (i < last) {
        const int64_t bucket = (history.At(i).wallMs - fromMs) / width;
        size_t lo = i, hi = i;
        for (++i; i < last && (history.At(i).wallMs - fromMs) / width == bucket; ++i) {
            const float v = history.At(i).values[series];
            if (v < history.At(lo).values[series]) lo = i;
            if (v > history.At(hi).values[series]) hi = i;
        }
        point(std::min(lo, hi));
        if (hi != lo) point(std::max(lo, hi));
    }
    return out;
}
