// The benchmark program's entry point when no other benchmark file supplies
// one (a shared entry point with a summary of its own takes precedence).
#include <benchmark/benchmark.h>

__attribute__((weak)) int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
