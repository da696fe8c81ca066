#pragma once

// Small helpers shared by the benchmarks.

#include <benchmark/benchmark.h>

#include <cstdint>

#include "bench/alloc_counter.h"

namespace skyfault::bench {

// Reports `allocations` made over the run as a per-iteration counter
// ("allocs"), beside the time.
inline void ReportAllocations(benchmark::State& state, std::uint64_t allocations) {
    state.counters["allocs"] =
        benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
}

// Reports `exchanges` with the server over the run as a per-iteration
// counter ("exchanges").
inline void ReportExchanges(benchmark::State& state, std::uint64_t exchanges) {
    state.counters["exchanges"] =
        benchmark::Counter(static_cast<double>(exchanges), benchmark::Counter::kAvgIterations);
}

}  // namespace skyfault::bench
