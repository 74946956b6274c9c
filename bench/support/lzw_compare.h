// Our codecs against the peer libraries, case by case: each benchmark times
// its iterations by hand (Google Benchmark's manual time) and remembers the
// mean; at exit the cases measured on both sides are printed with the ratio
// peer time / our time (above 1: ours is faster).
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

namespace bench {

enum class Side { kOurs, kPeer };

void RecordTime(const std::string& caseName, Side side, double secondsPerIteration);

// Runs `work` once per iteration, timing each call.
template <typename Work>
void TimeIterations(benchmark::State& state, const std::string& caseName, Side side, Work work) {
  double total = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    work();
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(elapsed.count());
    total += elapsed.count();
  }
  if (state.iterations() > 0) RecordTime(caseName, side, total / static_cast<double>(state.iterations()));
}

}  // namespace bench
