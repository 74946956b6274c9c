// The one entry point of quillon_bench: every *_bench.cpp only registers
// its benchmarks.
#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
