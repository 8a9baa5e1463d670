// Median latencies: a benchmark loop whose every iteration times one batch of
// calls; the median batch time per call is reported as "median_ns", beside
// the mean Google Benchmark gives.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace qmdc_bench {

// fn() returns false when a call failed; the benchmark then stops with an error.
template <class Fn>
void MedianPerCall(benchmark::State& state, int batch, Fn fn) {
    std::vector<double> samples;
    samples.reserve(1 << 16);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < batch; ++i) {
            if (!fn()) {
                state.SkipWithError("a call failed");
                return;
            }
        }
        const auto stop = std::chrono::steady_clock::now();
        if (samples.size() < samples.capacity()) {
            samples.push_back(std::chrono::duration<double, std::nano>(stop - start).count());
        }
    }
    state.SetItemsProcessed(state.iterations() * batch);
    if (samples.empty()) return;
    std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
    state.counters["median_ns"] = samples[samples.size() / 2] / batch;
}

}  // namespace qmdc_bench
