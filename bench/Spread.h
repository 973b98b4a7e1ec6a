#pragma once

#include "Percentile.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

// A benchmark's samples as counters: the median under the name, and the spread as name_p10 and
// name_p90.
inline void Spread(benchmark::State& state, const std::string& name,
                   const std::vector<double>& values) {
    state.counters[name] = Percentile(values, 0.5);
    state.counters[name + "_p10"] = Percentile(values, 0.1);
    state.counters[name + "_p90"] = Percentile(values, 0.9);
}

// Each sample of one over the same sample of the other, timed back to back.
inline std::vector<double> Ratios(const std::vector<double>& over,
                                  const std::vector<double>& under) {
    std::vector<double> ratios;
    for (size_t i = 0; i < over.size() && i < under.size(); ++i) {
        ratios.push_back(over[i] / under[i]);
    }
    return ratios;
}
