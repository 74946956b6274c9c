// Peer comparisons printed after a benchmark run: each registered line names
// a peer's benchmark and ours, and the summary shows the times and how many
// times faster ours are (peer time / our time).
#pragma once

#include <benchmark/benchmark.h>

#include <string>
#include <utility>
#include <vector>

namespace bench {

struct Comparison {
  std::string label;  // e.g. "text page, G4"
  std::string peer;   // the peer's benchmark name
  // (column label, our benchmark name)
  std::vector<std::pair<std::string, std::string>> ours;
};

// Adds a line to the summary.  Call before the benchmarks run (from a
// registration function or a static initialiser).
void AddComparison(Comparison comparison);

// Adds the "min" statistic (the fastest repetition) to a benchmark; the
// summary prefers it when the run is repeated.
benchmark::internal::Benchmark* Fastest(benchmark::internal::Benchmark* b);

}  // namespace bench
