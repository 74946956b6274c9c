// The vector build of the loop that decodes bilevel PackBits rows to runs:
// a word's change positions are gathered in order with one byte
// compression and their differences stored as one-byte runs in one masked
// store, and the bits of each byte are reversed with one affine step.
#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>

#include "imaging/codecs/codec_rows.h"
#include "imaging/core/runlist.h"

#if defined(__x86_64__)
#include <immintrin.h>
// Only what follows is built for these processors; the shared headers above
// keep the portable build of their inline functions.
#pragma GCC target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,bmi,bmi2,lzcnt,popcnt,gfni")
#endif

#include "imaging/codecs/packbits_runs.h"

namespace quillon {

#if defined(__x86_64__)

namespace {

// Set while the library's statics are made, which may come before the
// compiler's own processor check has run: it is asked for first.
const bool kHaveVector = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi") &&
         __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("gfni") &&
         __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
}();

std::atomic<bool> gAllowed{true};

struct Lanes {
  alignas(64) uint8_t at[64];    // lane i holds i
  alignas(64) uint8_t next[64];  // lane i picks lane i + 1
};
constexpr Lanes kLanes = [] {
  Lanes l{};
  for (int i = 0; i < 64; ++i) {
    l.at[i] = static_cast<uint8_t>(i);
    l.next[i] = static_cast<uint8_t>(i < 63 ? i + 1 : 63);
  }
  return l;
}();

struct VectorChanges {
  static uint64_t LowFirst(uint64_t word) {
    const __m128i v = _mm_cvtsi64_si128(static_cast<long long>(word));
    return static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_gf2p8affine_epi64_epi8(v, _mm_set1_epi64x(0x8040201008040201ll), 0)));
  }
  // The first run may be long and is written on its own; the rest are the
  // gaps between the word's change positions, below 64.
  static void Changes(RunLineBuilder& line, uint32_t x, uint64_t changes) {
    uint8_t* o = PutRunAhead(line.out, x + static_cast<uint32_t>(_tzcnt_u64(changes)) - line.runStart);
    const __m512i at = _mm512_maskz_compress_epi8(changes, _mm512_load_si512(kLanes.at));
    const __m512i gaps = _mm512_sub_epi8(_mm512_maskz_permutexvar_epi8(~uint64_t{0}, _mm512_load_si512(kLanes.next), at), at);
    const uint64_t n = static_cast<uint64_t>(_mm_popcnt_u64(changes)) - 1;
    _mm512_mask_storeu_epi8(o, _bzhi_u64(~uint64_t{0}, static_cast<uint32_t>(n)), gaps);
    line.out = o + n;
    line.runStart = x + 63 - static_cast<uint32_t>(_lzcnt_u64(changes));
  }
};

}  // namespace

codec::RunsProgress codec::UnpackPackBitsRunsVector(const uint8_t* in, uint64_t size, codec::RunListWriter& runs, int32_t firstLine,
                                      int32_t lines, int32_t& done) {
  return codec::UnpackRunsWith<VectorChanges>(in, size, runs, firstLine, lines, done);
}

void SetPackBitsVectorRuns(bool allowed) { gAllowed.store(allowed, std::memory_order_relaxed); }
bool PackBitsVectorRuns() { return kHaveVector && gAllowed.load(std::memory_order_relaxed); }

#else

void SetPackBitsVectorRuns(bool) {}
bool PackBitsVectorRuns() { return false; }

#endif

}  // namespace quillon
