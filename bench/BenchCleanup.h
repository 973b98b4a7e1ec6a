#pragma once

#include <functional>
#include <vector>

// What a benchmark leaves standing (a window, a folder) goes before the application does.
inline std::vector<std::function<void()>>& BenchmarkEnds() {
    static std::vector<std::function<void()>> ends;
    return ends;
}

inline void AtBenchmarkEnd(std::function<void()> end) {
    BenchmarkEnds().push_back(std::move(end));
}
