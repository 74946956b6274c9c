// Row fix-ups shared by the TIFF paths: colour order and the horizontal
// predictor, apart and (24-bit LZW strips) in one pass.
#include <bit>
#include <cstring>
#include <utility>

#include "imaging/codecs/codecs.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QUILLON_SHUFFLE 1
#endif
// The SSE2 builds need SSE2 without a target of their own.
#if defined(__x86_64__) || (defined(__i386__) && defined(__SSE2__))
#define QUILLON_ROWS_SSE2 1
#endif

namespace quillon {

namespace {

constexpr uint64_t Byte(int k) { return uint64_t{0xFF} << (8 * k); }

}  // namespace

void SwapRedBlue(uint8_t* row, uint32_t pixelCount) {
  uint32_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // Eight pixels are three little-endian words; bytes i and i + 2 of a
    // pixel swap inside a word by 16-bit shifts, or across two words.
    for (; i + 8 <= pixelCount; i += 8, row += 24) {
      uint64_t w0, w1, w2;
      std::memcpy(&w0, row, 8);
      std::memcpy(&w1, row + 8, 8);
      std::memcpy(&w2, row + 16, 8);
      const uint64_t n0 = (w0 & ~(Byte(0) | Byte(2) | Byte(3) | Byte(5) | Byte(6))) |
                          ((w0 >> 16) & (Byte(0) | Byte(3))) |
                          ((w0 << 16) & (Byte(2) | Byte(5))) | ((w1 << 48) & Byte(6));
      const uint64_t n1 =
          (w1 & ~(Byte(0) | Byte(1) | Byte(3) | Byte(4) | Byte(6) | Byte(7))) |
          ((w1 >> 16) & (Byte(1) | Byte(4))) | ((w1 << 16) & (Byte(3) | Byte(6))) |
          ((w0 >> 48) & Byte(0)) | ((w2 << 48) & Byte(7));
      const uint64_t n2 = (w2 & ~(Byte(1) | Byte(2) | Byte(4) | Byte(5) | Byte(7))) |
                          ((w2 >> 16) & (Byte(2) | Byte(5))) |
                          ((w2 << 16) & (Byte(4) | Byte(7))) | ((w1 >> 48) & Byte(1));
      std::memcpy(row, &n0, 8);
      std::memcpy(row + 8, &n1, 8);
      std::memcpy(row + 16, &n2, 8);
    }
  }
  for (; i < pixelCount; ++i, row += 3) std::swap(row[0], row[2]);
}

namespace {

void CopySwappingPortable(const uint8_t* from, uint8_t* to, uint32_t pixelCount) {
  std::memcpy(to, from, static_cast<uint64_t>(pixelCount) * 3);
  SwapRedBlue(to, pixelCount);
}

#ifdef QUILLON_SHUFFLE
// Sixteen pixels are three 16-byte vectors; each output vector gathers its
// bytes from at most two input vectors (pshufb gives 0 for indexes with the
// top bit set, so the pieces are ORed together).
struct SwapMasks {
  int8_t m[3][3][16];
};
constexpr SwapMasks kSwapMasks = [] {
  SwapMasks t{};
  for (int o = 0; o < 3; ++o)
    for (int v = 0; v < 3; ++v)
      for (int k = 0; k < 16; ++k) {
        const int j = 16 * o + k, from = j - j % 3 + (2 - j % 3);
        t.m[o][v][k] = static_cast<int8_t>(from / 16 == v ? from % 16 : -128);
      }
  return t;
}();

__attribute__((target("ssse3"))) void CopySwappingShuffle(const uint8_t* from, uint8_t* to,
                                                          uint32_t pixelCount) {
  auto mask = [](int o, int v) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(kSwapMasks.m[o][v]));
  };
  const __m128i m00 = mask(0, 0), m01 = mask(0, 1), m10 = mask(1, 0), m11 = mask(1, 1), m12 = mask(1, 2),
                m21 = mask(2, 1), m22 = mask(2, 2);
  uint32_t i = 0;
  for (; i + 16 <= pixelCount; i += 16, from += 48, to += 48) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 32));
    const __m128i o0 = _mm_or_si128(_mm_shuffle_epi8(a, m00), _mm_shuffle_epi8(b, m01));
    const __m128i o1 = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, m10), _mm_shuffle_epi8(b, m11)),
                                    _mm_shuffle_epi8(c, m12));
    const __m128i o2 = _mm_or_si128(_mm_shuffle_epi8(b, m21), _mm_shuffle_epi8(c, m22));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), o0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 16), o1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 32), o2);
  }
  CopySwappingPortable(from, to, pixelCount - i);
}

// Set while the library's statics are made, which may come before the
// compiler's own processor check has run: it is asked for first.
const bool kHaveShuffle = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3") != 0;
}();
#endif

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

#ifdef QUILLON_ROWS_SSE2

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

void CopySwappingRedBlue(const uint8_t* from, uint8_t* to, uint32_t pixelCount) {
#ifdef QUILLON_SHUFFLE
  if (kHaveShuffle) return CopySwappingShuffle(from, to, pixelCount);
#endif
  CopySwappingPortable(from, to, pixelCount);
}

// Undoes TIFF horizontal differencing in place on rows RowBytes apart:
// every sample from the second pixel on has the same sample of its left
// neighbour added, modulo 256.  Other depths have no byte-wise predictor
// and are left as they are.
void UndoHorizontalPredictor(PageRecord* page) {
  const int bpp = page->bitsPerPixel;
  if ((bpp != 8 && bpp != 24) || page->width < 2) return;
  const uint32_t step = bpp / 8;
  const uint32_t rowBytes = RowBytes(page->width, bpp);
  const uint64_t rows = page->dataSize / (rowBytes ? rowBytes : 1);
  const uint64_t height = static_cast<uint64_t>(page->height) < rows
                              ? static_cast<uint64_t>(page->height)
                              : rows;
  uint8_t* base = page->data + page->dataOffset;
  for (uint64_t y = 0; y < height; ++y) UndoRowDifferencing(base + y * rowBytes, rowBytes, step);
}

void UndoRowDifferencing(uint8_t* row, uint32_t bytes, uint32_t samples) {
  if (samples == 0 || bytes <= samples) return;
  // Running sums kept in registers: each byte waits only on an addition,
  // not on the store of its neighbour.
  if (samples == 1) {
    uint8_t sum = row[0];
    for (uint32_t i = 1; i < bytes; ++i) row[i] = sum = static_cast<uint8_t>(sum + row[i]);
  } else if (samples == 3) {
    uint8_t a = row[0], b = row[1], c = row[2];
    for (uint32_t i = 3; i + 2 < bytes; i += 3) {
      row[i] = a = static_cast<uint8_t>(a + row[i]);
      row[i + 1] = b = static_cast<uint8_t>(b + row[i + 1]);
      row[i + 2] = c = static_cast<uint8_t>(c + row[i + 2]);
    }
  } else {
    for (uint32_t i = samples; i < bytes; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - samples]);
  }
}

void UndoDifferencingToBgr(uint8_t* row, uint32_t rowBytes, RowsBuild build) {
#ifdef QUILLON_ROWS_SSE2
  if ((build == RowsBuild::kBest || build == RowsBuild::kSsse3) && kHaveShuffle) return UndoSsse3(row, rowBytes);
  if (build != RowsBuild::kPortable) return UndoSse2(row, rowBytes);
#endif
  (void)build;
  FinishPortable(row, rowBytes, 0, 0, 0, 0);
}

}  // namespace quillon
