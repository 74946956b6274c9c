// Horizontal differencing of 24-bit rows undone and the colour order turned
// in one pass.
#include "imaging/codecs/lzw_rows.h"

#if defined(__x86_64__) || (defined(__i386__) && defined(__SSE2__))
#include <immintrin.h>
#define QUILLON_ROWS_X86 1
#endif

namespace quillon {

namespace {

// From byte `i` (a pixel's first) on, with the running sums of the pixels
// before it.
void FinishPortable(uint8_t* row, uint32_t rowBytes, uint32_t i, uint8_t r, uint8_t g, uint8_t b) {
  // Running sums in registers: each byte waits on an addition only.
  for (; i + 2 < rowBytes; i += 3) {
    r = static_cast<uint8_t>(r + row[i]);
    g = static_cast<uint8_t>(g + row[i + 1]);
    b = static_cast<uint8_t>(b + row[i + 2]);
    row[i] = b;
    row[i + 1] = g;
    row[i + 2] = r;
  }
}

#ifdef QUILLON_ROWS_X86

// Five pixels (15 bytes) per step, loaded and stored as 16: the 16th byte,
// the next step's first, is stored back as it was.  Each step's bytes are
// loaded before the step before is stored, so that no load waits on a
// store it half overlaps.  Within a step the sums of 1, 2 and 4 pixels to
// the left are added (prefix sums by shifts); the running sums of the
// steps before come in `carry`, every pixel slot holding the same three
// sums, so that the chain from step to step is one addition.  The two
// builds differ in how they copy the step's total (its last pixel) to
// every slot and swap red and blue: masks and shifts, or byte shuffles.
#define QUILLON_UNDO_STEPS(TOTAL, OUT)                                                                  \
  __m128i carry = _mm_setzero_si128();                                                                  \
  uint32_t i = 0;                                                                                       \
  if (rowBytes >= 16) {                                                                                 \
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));                                 \
    for (bool more = true; more; i += 15) {                                                             \
      more = i + 31 <= rowBytes;                                                                        \
      const __m128i following =                                                                         \
          more ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i + 15)) : _mm_setzero_si128(); \
      __m128i p = _mm_add_epi8(v, _mm_slli_si128(v, 3));                                                \
      p = _mm_add_epi8(p, _mm_slli_si128(p, 6));                                                        \
      p = _mm_add_epi8(p, _mm_slli_si128(p, 12));                                                       \
      const __m128i sums = _mm_add_epi8(p, carry);                                                      \
      carry = _mm_add_epi8(carry, TOTAL);                                                               \
      _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), OUT);                                       \
      v = following;                                                                                    \
    }                                                                                                   \
  }                                                                                                     \
  const int32_t last = _mm_cvtsi128_si32(carry);                                                        \
  FinishPortable(row, rowBytes, i, static_cast<uint8_t>(last), static_cast<uint8_t>(last >> 8),         \
                 static_cast<uint8_t>(last >> 16))

inline __m128i TotalSse2(__m128i p) {
  // The last pixel moved to slot 0, then copied to the others.
  __m128i t = _mm_srli_si128(_mm_slli_si128(p, 1), 13);
  t = _mm_or_si128(t, _mm_slli_si128(t, 3));
  t = _mm_or_si128(t, _mm_slli_si128(t, 6));
  return _mm_or_si128(t, _mm_slli_si128(t, 12));
}

void UndoSse2(uint8_t* row, uint32_t rowBytes) {
  const __m128i green = _mm_setr_epi8(0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0);
  const __m128i firsts = _mm_setr_epi8(-1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, 0);
  const __m128i lasts = _mm_setr_epi8(0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0);
  const __m128i next = _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1);
  QUILLON_UNDO_STEPS(
      TotalSse2(p),
      _mm_or_si128(_mm_or_si128(_mm_and_si128(sums, green), _mm_and_si128(_mm_srli_si128(sums, 2), firsts)),
                   _mm_or_si128(_mm_and_si128(_mm_slli_si128(sums, 2), lasts), _mm_and_si128(v, next))));
}

__attribute__((target("ssse3"))) void UndoSsse3(uint8_t* row, uint32_t rowBytes) {
  const __m128i lastPixel = _mm_setr_epi8(12, 13, 14, 12, 13, 14, 12, 13, 14, 12, 13, 14, 12, 13, 14, -1);
  const __m128i swap = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, -1);
  const __m128i next = _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1);
  QUILLON_UNDO_STEPS(_mm_shuffle_epi8(p, lastPixel),
                     _mm_or_si128(_mm_shuffle_epi8(sums, swap), _mm_and_si128(v, next)));
}

#undef QUILLON_UNDO_STEPS

#endif

}  // namespace

void UndoDifferencingToBgr(uint8_t* row, uint32_t rowBytes, RowsBuild build) {
#ifdef QUILLON_ROWS_X86
  static const bool ssse3 = __builtin_cpu_supports("ssse3");
  if ((build == RowsBuild::kBest || build == RowsBuild::kSsse3) && ssse3) return UndoSsse3(row, rowBytes);
  if (build != RowsBuild::kPortable) return UndoSse2(row, rowBytes);
#endif
  (void)build;
  FinishPortable(row, rowBytes, 0, 0, 0, 0);
}

}  // namespace quillon
