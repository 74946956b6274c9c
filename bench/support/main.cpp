// The one entry point of quillon_bench (every *_bench.cpp only registers its
// benchmarks): runs them with the usual console output, remembers every
// result, and prints the peer comparisons registered with AddComparison.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "support/compare.h"
#include "support/table.h"

namespace bench {

namespace {

std::vector<Comparison>& Comparisons() {
  static std::vector<Comparison> list;
  return list;
}

// Console output as usual, and each benchmark's CPU time per iteration in
// milliseconds: when the run is repeated, the fastest repetition (the "min"
// statistic that benchmarks add with bench::Fastest), else the median, else
// the single result.  CPU time and the minimum are the figures least
// disturbed by other work on a shared machine.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> milliseconds;
  std::map<std::string, int> ranks;
  // The time each benchmark reports (manual-time cases: the thread's CPU
  // time), fastest and median repetition, for the closing table.
  std::map<std::string, Timing> timings;

  static void Keep(Timing& timing, const Run& run, double ms) {
    const bool aggregate = run.run_type == Run::RT_Aggregate;
    if (aggregate && run.aggregate_name == "min") timing.best = ms;
    if (aggregate && run.aggregate_name == "median") timing.median = ms;
    if (!aggregate && run.repetitions <= 1) timing.best = timing.median = ms;
  }

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool aggregate = run.run_type == Run::RT_Aggregate;
      int rank = 0;  // which figure to keep: higher wins
      if (aggregate && run.aggregate_name == "min") rank = 3;
      else if (aggregate && run.aggregate_name == "median") rank = 2;
      else if (!aggregate && run.repetitions <= 1) rank = 1;
      std::string name = run.run_name.str();
      // Manual-time cases carry a suffix of their own.
      const std::string manual = "/manual_time";
      if (name.size() > manual.size() && name.compare(name.size() - manual.size(), manual.size(), manual) == 0)
        name.resize(name.size() - manual.size());
      const double reported = run.GetAdjustedRealTime() *
                              benchmark::GetTimeUnitMultiplier(benchmark::kMillisecond) /
                              benchmark::GetTimeUnitMultiplier(run.time_unit);
      Keep(timings[name], run, reported);
      // Cases that time the peer in the same iterations as ours report its
      // milliseconds in a counter.
      auto peer = run.counters.find("peer_ms");
      if (peer != run.counters.end()) Keep(timings[name + " [peer]"], run, peer->second.value);
      if (rank == 0 || rank < ranks[name]) continue;
      ranks[name] = rank;
      milliseconds[name] =
          run.GetAdjustedCPUTime() *
          benchmark::GetTimeUnitMultiplier(benchmark::kMillisecond) /
          benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
  }
};

void PrintSummary(const std::map<std::string, double>& ms) {
  bool header = false;
  for (const Comparison& c : Comparisons()) {
    auto peer = ms.find(c.peer);
    if (peer == ms.end()) continue;
    if (!header) {
      std::printf("\nAgainst the peer libraries (times per page; x = peer time / ours):\n");
      header = true;
    }
    std::printf("  %-24s peer %8.3f ms", c.label.c_str(), peer->second);
    for (const auto& [column, name] : c.ours) {
      auto ours = ms.find(name);
      if (ours == ms.end() || ours->second <= 0) continue;
      std::printf(" | %s %8.3f ms %5.2fx", column.c_str(), ours->second,
                  peer->second / ours->second);
    }
    std::printf("\n");
  }
}

}  // namespace

void AddComparison(Comparison comparison) {
  Comparisons().push_back(std::move(comparison));
}

benchmark::internal::Benchmark* Fastest(benchmark::internal::Benchmark* b) {
  return b->ComputeStatistics("min", [](const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
  });
}

}  // namespace bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench::RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  bench::PrintSummary(reporter.milliseconds);
  bench::PrintTable(reporter.timings);
  return 0;
}
