#pragma once

#include <algorithm>
#include <vector>

// The value below which the share p (0..1) of the samples lie; 0 for none.
inline double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}
