#include "support/lzw_compare.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>

namespace bench {

namespace {

struct Times {
  double ours = 0;
  double peer = 0;
};

std::map<std::string, Times>& Cases() {
  static std::map<std::string, Times> cases;
  return cases;
}

void PrintRatios() {
  bool header = false;
  for (const auto& [name, t] : Cases()) {
    if (t.ours <= 0 || t.peer <= 0) continue;
    if (!header) {
      std::printf("\nCases timed on both sides (ratio = peer time / ours):\n");
      header = true;
    }
    std::printf("  %-44s ours %9.3f ms  peer %9.3f ms  %5.2fx\n", name.c_str(), t.ours * 1e3,
                t.peer * 1e3, t.peer / t.ours);
  }
  std::fflush(stdout);
}

}  // namespace

void RecordTime(const std::string& caseName, Side side, double secondsPerIteration) {
  // The table is made before the printer is registered, so that it is
  // destroyed after the printer has run.
  Times& t = Cases()[caseName];
  static bool registered = false;
  if (!registered) {
    std::atexit(PrintRatios);
    registered = true;
  }
  (side == Side::kOurs ? t.ours : t.peer) = secondsPerIteration;
}

}  // namespace bench
