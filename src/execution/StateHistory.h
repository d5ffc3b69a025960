#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// The station's measured values from its state answers over the last minutes, for the plots.
// A fixed ring of samples: the window thread adds one per state answer and reads a time range
// when it redraws.
struct StateSeries_T {
    int buffPar;       // where the state answer's decoder puts the value
    const char* name;  // as the converter page labels it
    bool speed;        // on the speed axis (right) rather than the values' axis
};

inline constexpr std::array<StateSeries_T, 16> kStateSeries{{
    {5, "Uвх A", false},    {6, "Uвх B", false},    {7, "Uвх C", false},    {8, "Uвых AB", false},
    {9, "Uвых BC", false},  {10, "Uвых CA", false}, {11, "Iвых A", false},  {12, "Iвых B", false},
    {13, "Iвых C", false},  {4, "Обороты", true},   {14, "Байт 8", false},  {15, "Байт 9", false},
    {17, "U1 рег.", false}, {18, "U2 рег.", false}, {19, "I1 рег.", false}, {20, "I2 рег.", false},
}};

class TStateHistory {
public:
    struct Sample_T {
        int64_t wallMs;
        std::array<float, kStateSeries.size()> values;
    };

    // Ten minutes of answers at twenty a second.
    explicit TStateHistory(size_t capacity = 12000);

    // One state answer: the series' values picked from the decoder's buffer.
    void Add(int64_t wallMs, const float* buffPar);
    // Samples with wallMs in [fromMs, toMs], oldest first.
    std::vector<Sample_T> Range(int64_t fromMs, int64_t toMs) const;
    // The same as positions [first, last) for At(), without copying the samples.
    std::pair<size_t, size_t> Span(int64_t fromMs, int64_t toMs) const;
    // The i-th sample held, 0 the oldest.
    const Sample_T& At(size_t i) const { return ring_[(head_ + ring_.size() - count_ + i) % ring_.size()]; }
    size_t Size() const { return count_; }
    size_t Capacity() const { return ring_.size(); }
    // Grows by one with every sample: a redraw with nothing new can be skipped.
    uint64_t Version() const { return added_; }
    void Clear();

private:

    std::vector<Sample_T> ring_;
    size_t head_ = 0;   // where the next sample goes
    size_t count_ = 0;
    uint64_t added_ = 0;
};

// One series of the samples with wallMs in [fromMs, toMs] as (time, value) points for a plot
// at most maxPoints wide: when there are more samples, the stretch is cut into maxPoints / 2
// equal spans of time and each gives its lowest and highest value in the order they came, so
// a short spike stays visible and a stretch drawn again gives the same points where it had
// samples before.
std::vector<std::pair<int64_t, float>> SeriesPoints(const TStateHistory& history, int64_t fromMs, int64_t toMs,
                                                    size_t series, size_t maxPoints);
