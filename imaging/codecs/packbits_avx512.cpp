// Vector builds of two PackBits loops.  Bilevel rows to runs: a word's
// change positions are gathered in order with one byte compression and
// their differences stored as one-byte runs in one whole-register store,
// and the bits of each byte are reversed with one affine step (packed rows
// of the other codecs' bilevel pages too).  24-bit rows: 16 pixels put in
// the page's colour order with one byte permutation.
#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>

#include "imaging/codecs/codec_rows.h"
#include "imaging/codecs/codecs.h"
#include "imaging/codecs/runlength.h"
#include "imaging/core/runlist.h"

#if defined(__x86_64__)
#include <immintrin.h>
// Only what follows is built for these processors; the shared headers above
// keep the portable build of their inline functions (clang takes the same
// features as an attribute on each function, up to the pop at the end).
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,bmi,bmi2,lzcnt,popcnt,gfni"))), apply_to = function)
#else
#pragma GCC target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,bmi,bmi2,lzcnt,popcnt,gfni")
#endif
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
         __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("gfni") &&
         __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
}();

std::atomic<bool> gAllowed{true};

struct Lanes {
  alignas(64) uint8_t at[64];      // lane i holds i
  alignas(64) uint8_t next[64];    // lane i picks lane i + 1
  alignas(64) uint8_t before[64];  // lane i picks lane i - 1
};
constexpr Lanes kLanes = [] {
  Lanes l{};
  for (int i = 0; i < 64; ++i) {
    l.at[i] = static_cast<uint8_t>(i);
    l.next[i] = static_cast<uint8_t>(i < 63 ? i + 1 : 63);
    l.before[i] = static_cast<uint8_t>(i > 0 ? i - 1 : 0);
  }
  return l;
}();

// GCC 12 takes the undefined upper half of a register cast for an
// uninitialised value.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

struct VectorChanges {
  // The 8 bytes at `from`, loaded straight into a vector register.
  static uint64_t LoadLowFirst(const uint8_t* from) {
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(from));
    return static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_gf2p8affine_epi64_epi8(v, _mm_set1_epi64x(0x8040201008040201ll), 0)));
  }
  // The lowest `count` (1..64) bits of `bits`.
  static uint64_t KeepLow(uint64_t bits, uint32_t count) { return _bzhi_u64(bits, count); }
  static uint64_t LowFirst(uint64_t word) {
    const __m128i v = _mm_cvtsi64_si128(static_cast<long long>(word));
    return static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_gf2p8affine_epi64_epi8(v, _mm_set1_epi64x(0x8040201008040201ll), 0)));
  }
  // The runs end at the word's change positions, gathered in order: each
  // is the gap to the change before it, below 64 but for the first, which
  // takes two bytes (written on its own) when it is 128 or more.
  static void Changes(RunLineBuilder& line, uint32_t x, uint64_t changes) {
    const __m512i at = _mm512_maskz_compress_epi8(changes, _mm512_load_si512(kLanes.at));
    const uint32_t first = x + static_cast<uint32_t>(_tzcnt_u64(changes)) - line.runStart;
    uint64_t n = static_cast<uint64_t>(_mm_popcnt_u64(changes));
    __m512i gaps;
    uint8_t* o = line.out;
    if (__builtin_expect(first < 128 && n <= 32, 1)) {
      // Most words: at most 32 runs, on half registers.
      const __m256i at32 = _mm512_castsi512_si256(at);
      const __m256i start = _mm256_set1_epi8(static_cast<char>(line.runStart - x));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(o),
                          _mm256_sub_epi8(at32, _mm256_mask_permutexvar_epi8(start, ~uint32_t{1}, _mm256_load_si256(reinterpret_cast<const __m256i*>(kLanes.before)), at32)));
      line.out = o + n;
      line.runStart = x + 63 - static_cast<uint32_t>(_lzcnt_u64(changes));
      return;
    }
    if (first < 128) {
      // Lane 0 is measured from the run's start, taken modulo 256.
      const __m512i start = _mm512_set1_epi8(static_cast<char>(line.runStart - x));
      gaps = _mm512_sub_epi8(at, _mm512_mask_permutexvar_epi8(start, ~uint64_t{1}, _mm512_load_si512(kLanes.before), at));
    } else {
      o = PutRunAhead(o, first);
      gaps = _mm512_sub_epi8(_mm512_maskz_permutexvar_epi8(~uint64_t{0}, _mm512_load_si512(kLanes.next), at), at);
      --n;
    }
    _mm512_storeu_si512(o, gaps);  // the lanes past n are written over later
    line.out = o + n;
    line.runStart = x + 63 - static_cast<uint32_t>(_lzcnt_u64(changes));
  }
};

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// Lane j of 48 (16 pixels) takes the byte at the other end of its pixel.
struct SwapOrder {
  alignas(64) uint8_t lane[64];
};
constexpr SwapOrder kSwapOrder = [] {
  SwapOrder s{};
  for (int j = 0; j < 64; ++j) s.lane[j] = static_cast<uint8_t>(j < 48 ? j - j % 3 + 2 - j % 3 : j);
  return s;
}();

}  // namespace

void CopySwappingRedBlueVector(const uint8_t* from, uint8_t* to, uint32_t pixelCount) {
  const __m512i order = _mm512_load_si512(kSwapOrder.lane);
  uint64_t left = 3 * uint64_t{pixelCount};
  // Whole 64-byte moves while they stay inside the row (the 16 bytes past
  // each 48 are written again by the next), masked ones at the end.
  for (; left >= 64; left -= 48, from += 48, to += 48)
    _mm512_storeu_si512(to, _mm512_maskz_permutexvar_epi8(~uint64_t{0}, order, _mm512_loadu_si512(from)));
  constexpr uint64_t kWhole = (uint64_t{1} << 48) - 1;
  for (; left >= 48; left -= 48, from += 48, to += 48)
    _mm512_mask_storeu_epi8(to, kWhole, _mm512_maskz_permutexvar_epi8(kWhole, order, _mm512_maskz_loadu_epi8(kWhole, from)));
  const uint64_t mask = _bzhi_u64(~uint64_t{0}, static_cast<uint32_t>(left));
  _mm512_mask_storeu_epi8(to, mask, _mm512_maskz_permutexvar_epi8(mask, order, _mm512_maskz_loadu_epi8(mask, from)));
}

uint32_t codec::PackedRowToRunsVector(int32_t width, uint8_t* output, const uint8_t* row, bool inverted) {
  if (width <= 0) return PackedRowToRuns(width, output, row, inverted);
  const uint32_t w = static_cast<uint32_t>(width);
  const uint32_t byteCount = (w + 7) / 8;
  RunLineBuilder line;
  line.Start(output, inverted);
  for (uint32_t base = 0; base < w; base += 64) {
    const uint32_t at = base / 8;
    const uint64_t word =
        static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_maskz_loadu_epi8(_bzhi_u32(0xFFFF, std::min(byteCount - at, 8u)), row + at)));
    if (word == 0 - line.last) continue;  // a whole word of the last pixel's colour
    if (const uint64_t changes = line.ChangesIn(VectorChanges::LowFirst(word), std::min(w - base, 64u)))
      VectorChanges::Changes(line, base, changes);
  }
  return static_cast<uint32_t>(line.Finish(w) - output);
}

codec::RunsProgress codec::UnpackPackBitsRunsVector(const uint8_t* in, uint64_t size, codec::RunListWriter& runs, int32_t firstLine,
                                      int32_t lines, int32_t& done) {
  return codec::UnpackRunsWith<VectorChanges>(in, size, runs, firstLine, lines, done);
}

void SetPackBitsVectorLoops(bool allowed) { gAllowed.store(allowed, std::memory_order_relaxed); }
bool PackBitsVectorLoops() { return kHaveVector && gAllowed.load(std::memory_order_relaxed); }

#else

void SetPackBitsVectorLoops(bool) {}
bool PackBitsVectorLoops() { return false; }
void CopySwappingRedBlueVector(const uint8_t* from, uint8_t* to, uint32_t pixelCount) {
  CopySwappingRedBlue(from, to, pixelCount);
}
uint32_t codec::PackedRowToRunsVector(int32_t width, uint8_t* output, const uint8_t* row, bool inverted) {
  return PackedRowToRuns(width, output, row, inverted);
}

#endif

}  // namespace quillon

#if defined(__x86_64__) && defined(__clang__)
#pragma clang attribute pop
#endif
