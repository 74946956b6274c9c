// The closing table of quillon_bench: every case against its peer, with the
// ratio measured on the code before this round of speed work ("today") and
// the ratio of this run (peer time / ours, above 1: ours is faster).
#pragma once

#include <map>
#include <string>

namespace bench {

// Per benchmark, the fastest repetition and the median (milliseconds of
// the time the benchmark reports: manual-time cases their thread CPU time).
struct Timing {
  double best = 0;
  double median = 0;
};

void PrintTable(const std::map<std::string, Timing>& timings);

}  // namespace bench
