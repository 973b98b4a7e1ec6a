#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

// The sample a fraction of the way through the sorted samples (0.5: the median).
inline double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5)];
}
