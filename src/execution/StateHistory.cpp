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

std::vector<TStateHistory::Sample_T> TStateHistory::Range(int64_t fromMs, int64_t toMs) const {
    // Samples come in time order (the wall clock may step back when it is set: such a sample
    // simply lands where the search puts it).
    size_t lo = 0, hi = count_;
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (At(mid).wallMs < fromMs)
            lo = mid + 1;
        else
            hi = mid;
    }
    std::vector<Sample_T> out;
    for (size_t i = lo; i < count_ && At(i).wallMs <= toMs; ++i) out.push_back(At(i));
    return out;
}

void TStateHistory::Clear() {
    head_ = count_ = 0;
    ++added_;
}

std::vector<std::pair<int64_t, float>> SeriesPoints(const std::vector<TStateHistory::Sample_T>& samples,
                                                    size_t series, size_t maxPoints) {
    std::vector<std::pair<int64_t, float>> out;
    if (series >= kStateSeries.size() || samples.empty()) return out;
    if (samples.size() <= maxPoints || maxPoints < 2) {
        out.reserve(samples.size());
        for (const auto& s : samples) out.emplace_back(s.wallMs, s.values[series]);
        return out;
    }
    const size_t buckets = maxPoints / 2;
    out.reserve(buckets * 2);
    for (size_t b = 0; b < buckets; ++b) {
        const size_t from = samples.size() * b / buckets, to = samples.size() * (b + 1) / buckets;
        if (from >= to) continue;
        size_t lo = from, hi = from;
        for (size_t i = from; i < to; ++i) {
            if (samples[i].values[series] < samples[lo].values[series]) lo = i;
            if (samples[i].values[series] > samples[hi].values[series]) hi = i;
        }
        const size_t first = std::min(lo, hi), second = std::max(lo, hi);
        out.emplace_back(samples[first].wallMs, samples[first].values[series]);
        if (second != first) out.emplace_back(samples[second].wallMs, samples[second].values[series]);
    }
    return out;
}
