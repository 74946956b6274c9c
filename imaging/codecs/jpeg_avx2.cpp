// The JPEG decoder's AVX2 builds: the inverse DCT of two blocks at once and
// 24-bit colour rows 32 pixels at a time.  Each 128-bit half of a register
// does what the SSE2 code does for one block or 16 pixels, with the same
// integers, so that the output is the same bytes.  This file is compiled
// for AVX2 and its code runs only where the machine has it; it includes no
// header with inline code of external linkage.
#include "imaging/codecs/jpeg_vector.h"

#if defined(__AVX2__)
#include <immintrin.h>

namespace quillon {

namespace {

struct Avx2Ops {
  using V = __m256i;
  static V Add(V a, V b) { return _mm256_add_epi16(a, b); }
  static V Sub(V a, V b) { return _mm256_sub_epi16(a, b); }
  static V Mul(V x, int remainder) {
    return _mm256_mulhi_epi16(x, _mm256_set1_epi16(static_cast<int16_t>(remainder * 256)));
  }
  static V M362(V x) { return _mm256_add_epi16(x, Mul(x, 106)); }
  static V M473(V x) { return _mm256_add_epi16(_mm256_add_epi16(x, x), Mul(x, -39)); }
  static V M277(V x) { return _mm256_add_epi16(x, Mul(x, 21)); }
  static V MMinus669(V x) {
    return _mm256_sub_epi16(Mul(x, 99), _mm256_add_epi16(_mm256_add_epi16(x, x), x));
  }
};

// Two 8 x 8 transposes, one per half.
[[gnu::always_inline]] inline void Transpose2(__m256i* r) {
  __m256i a[8], b[8];
  #pragma GCC unroll 8
  for (int i = 0; i < 8; i += 2) {
    a[i] = _mm256_unpacklo_epi16(r[i], r[i + 1]);
    a[i + 1] = _mm256_unpackhi_epi16(r[i], r[i + 1]);
  }
  #pragma GCC unroll 8
  for (int i = 0; i < 8; i += 4) {
    b[i] = _mm256_unpacklo_epi32(a[i], a[i + 2]);
    b[i + 1] = _mm256_unpackhi_epi32(a[i], a[i + 2]);
    b[i + 2] = _mm256_unpacklo_epi32(a[i + 1], a[i + 3]);
    b[i + 3] = _mm256_unpackhi_epi32(a[i + 1], a[i + 3]);
  }
  #pragma GCC unroll 8
  for (int i = 0; i < 4; ++i) {
    r[2 * i] = _mm256_unpacklo_epi64(b[i], b[i + 4]);
    r[2 * i + 1] = _mm256_unpackhi_epi64(b[i], b[i + 4]);
  }
}

[[gnu::always_inline]] inline __m256i Join(const int16_t* low, const int16_t* high) {
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(high)), 1);
}

// Byte shuffles that interleave 16 blue, green and red bytes into 48
// bytes B, G, R, B, ...: for each 16-byte part of the output and each
// channel, the pixel its bytes come from (0x80: none).
struct alignas(16) Interleave {
  uint8_t index[3][3][16];
};
constexpr Interleave kInterleave = [] {
  Interleave t{};
  for (int part = 0; part < 3; ++part)
    for (int channel = 0; channel < 3; ++channel)
      for (int j = 0; j < 16; ++j) {
        const int at = 16 * part + j;
        t.index[part][channel][j] = static_cast<uint8_t>(at % 3 == channel ? at / 3 : 0x80);
      }
  return t;
}();

// 32 pixels, blue, green and red bytes with pixels 0-15 in the low half,
// to 96 bytes.
[[gnu::always_inline]] inline void Store24x32(__m256i b, __m256i g, __m256i r, uint8_t* out) {
  #pragma GCC unroll 8
  for (int part = 0; part < 3; ++part) {
    auto mask = [&](int channel) {
      return _mm256_broadcastsi128_si256(
          _mm_load_si128(reinterpret_cast<const __m128i*>(kInterleave.index[part][channel])));
    };
    const __m256i bytes = _mm256_or_si256(
        _mm256_or_si256(_mm256_shuffle_epi8(b, mask(0)), _mm256_shuffle_epi8(g, mask(1))),
        _mm256_shuffle_epi8(r, mask(2)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * part), _mm256_castsi256_si128(bytes));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 48 + 16 * part), _mm256_extracti128_si256(bytes, 1));
  }
}

}  // namespace

void InverseDctPairAvx2(const int16_t* aan, const int16_t* quantA, int16_t* blockA, uint8_t* outA,
                        uint32_t strideA, const int16_t* quantB, int16_t* blockB, uint8_t* outB,
                        uint32_t strideB) {
  __m256i v[8];
  #pragma GCC unroll 8
  for (int r = 0; r < 8; ++r) {
    const __m256i scale =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(aan + 8 * r)));
    const __m256i scaled = _mm256_mulhi_epi16(
        _mm256_mullo_epi16(Join(blockA + 8 * r, blockB + 8 * r), Join(quantA + 8 * r, quantB + 8 * r)),
        scale);
    v[r] = _mm256_add_epi16(scaled, scaled);
  }
  #pragma GCC unroll 8
  for (int i = 0; i < 4; ++i) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(blockA) + i, _mm256_setzero_si256());
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(blockB) + i, _mm256_setzero_si256());
  }
  Butterfly<Avx2Ops>(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);  // columns
  Transpose2(v);
  Butterfly<Avx2Ops>(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);  // rows
  Transpose2(v);
  #pragma GCC unroll 8
  for (int r = 0; r < 8; r += 2) {
    const __m256i bytes =
        _mm256_xor_si256(_mm256_packs_epi16(_mm256_srai_epi16(v[r], 5), _mm256_srai_epi16(v[r + 1], 5)),
                         _mm256_set1_epi8(static_cast<char>(0x80)));
    const __m128i a = _mm256_castsi256_si128(bytes), b = _mm256_extracti128_si256(bytes, 1);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(outA + r * strideA), a);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(outA + (r + 1) * strideA), _mm_srli_si128(a, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(outB + r * strideB), b);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(outB + (r + 1) * strideB), _mm_srli_si128(b, 8));
  }
}

int32_t ConvertRowYcc24Avx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int32_t width,
                            int32_t chromaShift, uint8_t* out) {
  const __m256i bias = _mm256_set1_epi16(128);
  const __m256i weights = _mm256_set1_epi32(1409 << 16 | 2925);
  // Sixteen pixels of 16-bit Y, Cb, Cr to red, green, blue as YccToRgb8.
  auto convert = [&](__m256i vy, __m256i vcb, __m256i vcr, __m256i* r, __m256i* g, __m256i* b) {
    const __m256i dcr = _mm256_sub_epi16(vcr, bias), dcb = _mm256_sub_epi16(vcb, bias);
    *r = _mm256_add_epi16(vy, _mm256_mulhi_epi16(_mm256_slli_epi16(dcr, 4), _mm256_set1_epi16(5742)));
    *b = _mm256_add_epi16(vy, _mm256_mulhi_epi16(_mm256_slli_epi16(dcb, 4), _mm256_set1_epi16(7258)));
    const __m256i ecr = _mm256_sub_epi16(bias, vcr), ecb = _mm256_sub_epi16(bias, vcb);
    const __m256i lo = _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(ecr, ecb), weights), 12);
    const __m256i hi = _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(ecr, ecb), weights), 12);
    *g = _mm256_add_epi16(vy, _mm256_packs_epi32(lo, hi));
  };
  auto widen = [](__m256i v, int half) {
    return _mm256_cvtepu8_epi16(half ? _mm256_extracti128_si256(v, 1) : _mm256_castsi256_si128(v));
  };
  int32_t x = 0;
  for (; x + 32 <= width; x += 32) {
    __m256i vcb, vcr;
    if (chromaShift) {
      const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + x / 2));
      const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + x / 2));
      vcb = _mm256_set_m128i(_mm_unpackhi_epi8(c, c), _mm_unpacklo_epi8(c, c));
      vcr = _mm256_set_m128i(_mm_unpackhi_epi8(d, d), _mm_unpacklo_epi8(d, d));
    } else {
      vcb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cb + x));
      vcr = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cr + x));
    }
    const __m256i vy = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y + x));
    __m256i r[2], g[2], b[2];
    for (int half = 0; half < 2; ++half)
      convert(widen(vy, half), widen(vcb, half), widen(vcr, half), &r[half], &g[half], &b[half]);
    // Packing works within halves: pixels 0-7, 16-23 | 8-15, 24-31 put back
    // in order.
    const __m256i pb = _mm256_permute4x64_epi64(_mm256_packus_epi16(b[0], b[1]), 0xD8);
    const __m256i pg = _mm256_permute4x64_epi64(_mm256_packus_epi16(g[0], g[1]), 0xD8);
    const __m256i pr = _mm256_permute4x64_epi64(_mm256_packus_epi16(r[0], r[1]), 0xD8);
    Store24x32(pb, pg, pr, out + 3 * x);
  }
  return x;
}

int32_t ConvertRowYccHalf24Avx2(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb0,
                                const uint8_t* cb1, const uint8_t* cr0, const uint8_t* cr1,
                                int32_t width, int32_t chromaPairs, uint8_t* out) {
  const __m256i bias = _mm256_set1_epi16(128), zero = _mm256_setzero_si256();
  const __m256i low = _mm256_set1_epi16(0xFF);
  auto load = [](const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); };
  // Sixteen sums of neighbouring bytes, in order.
  auto pairSums = [&](const uint8_t* p) {
    const __m256i v = load(p);
    return _mm256_add_epi16(_mm256_and_si256(v, low), _mm256_srli_epi16(v, 8));
  };
  auto chroma = [&](const uint8_t* c0, const uint8_t* c1, int32_t at) {
    if (chromaPairs)
      return _mm256_srli_epi16(_mm256_add_epi16(pairSums(c0 + 2 * at), pairSums(c1 + 2 * at)), 2);
    const __m256i a = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c0 + at)));
    const __m256i b = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c1 + at)));
    return _mm256_srli_epi16(_mm256_add_epi16(a, b), 1);
  };
  // (a * wa + b * wb) >> 12 in 32 bits, as the SSE2 code's Weighted.
  auto weighted = [](__m256i a, __m256i b, int32_t wa, int32_t wb) {
    const __m256i weights = _mm256_set1_epi32(wb << 16 | wa);
    const __m256i lo = _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), weights), 12);
    const __m256i hi = _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), weights), 12);
    return _mm256_packs_epi32(lo, hi);
  };
  const __m256i greenWeights = _mm256_set1_epi32(1409 << 16 | 2925);
  int32_t x = 0;
  for (; x + 32 <= width; x += 32) {
    __m256i r[2], g[2], b[2];
#pragma GCC unroll 2
    for (int half = 0; half < 2; ++half) {
      const int32_t at = x + 16 * half;
      const __m256i sum = _mm256_add_epi16(pairSums(y0 + 2 * at), pairSums(y1 + 2 * at));
      const __m256i cb = chroma(cb0, cb1, at), cr = chroma(cr0, cr1, at);
      r[half] = weighted(sum, _mm256_sub_epi16(cr, bias), 1024, 5742);
      b[half] = weighted(sum, _mm256_sub_epi16(cb, bias), 1024, 7258);
      const __m256i ecr = _mm256_sub_epi16(bias, cr), ecb = _mm256_sub_epi16(bias, cb);
      const __m256i lo =
          _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(ecr, ecb), greenWeights),
                           _mm256_slli_epi32(_mm256_unpacklo_epi16(sum, zero), 10));
      const __m256i hi =
          _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(ecr, ecb), greenWeights),
                           _mm256_slli_epi32(_mm256_unpackhi_epi16(sum, zero), 10));
      g[half] = _mm256_packs_epi32(_mm256_srai_epi32(lo, 12), _mm256_srai_epi32(hi, 12));
    }
    Store24x32(_mm256_permute4x64_epi64(_mm256_packus_epi16(b[0], b[1]), 0xD8),
               _mm256_permute4x64_epi64(_mm256_packus_epi16(g[0], g[1]), 0xD8),
               _mm256_permute4x64_epi64(_mm256_packus_epi16(r[0], r[1]), 0xD8), out + 3 * x);
  }
  return x;
}

}  // namespace quillon

#endif  // __AVX2__
