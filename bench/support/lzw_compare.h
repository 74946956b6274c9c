// Our codecs against the peer libraries, case by case: each benchmark times
// its iterations by hand (Google Benchmark's manual time, here the thread's
// CPU time) and remembers the mean; at exit the cases measured on both sides are printed with the ratio
// peer time / our time (above 1: ours is faster).
#pragma once

#include <benchmark/benchmark.h>

#include <time.h>

#include <string>

namespace bench {

enum class Side { kOurs, kPeer };

void RecordTime(const std::string& caseName, Side side, double secondsPerIteration);

// The calling thread's CPU time in seconds (kernel time included, so page
// faults count); steadier than wall time on a shared machine.
inline double ThreadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The process's CPU time: for peers that work on threads of their own.
inline double ProcessSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Runs `work` once per iteration, timing each call by `clock`.
template <typename Work>
void TimeIterations(benchmark::State& state, const std::string& caseName, Side side, Work work,
                    double (*clock)() = ThreadSeconds) {
  double total = 0;
  for (auto _ : state) {
    const double start = clock();
    work();
    const double elapsed = clock() - start;
    state.SetIterationTime(elapsed);
    total += elapsed;
  }
  if (state.iterations() > 0) RecordTime(caseName, side, total / static_cast<double>(state.iterations()));
}

}  // namespace bench
