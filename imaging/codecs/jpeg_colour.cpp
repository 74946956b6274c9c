// YCbCr to Blue-Green-Red (24 bpp) or 5-6-5 (16 bpp) rows, with chroma
// replicated over the pixels it covers, at full, half and one-eighth size.
//
// red   = (Y * 4096 + (Cr - 128) * 5742) >> 12
// green = (Y * 4096 + (128 - Cr) * 2925 + (128 - Cb) * 1409) >> 12
// blue  = (Y * 4096 + (Cb - 128) * 7258) >> 12
// clamped to 0..255 through the state's tables (indexes modulo 2048).  The
// SSE2 path computes the same integers and saturates, which the tables'
// ranges make identical.
#include <cstring>

#include "imaging/codecs/jpeg_decode.h"
#include "imaging/codecs/jpeg_vector.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillon {

namespace {

inline void PutPixel(const JpegDecoderState* state, int32_t r, int32_t g,
                     int32_t b, uint8_t* out, int32_t x, int32_t bitsPerPixel) {
  if (bitsPerPixel == 24) {
    out[3 * x] = state->clamp24[b & 0x7FF];
    out[3 * x + 1] = state->clamp24[g & 0x7FF];
    out[3 * x + 2] = state->clamp24[r & 0x7FF];
  } else {
    const uint32_t v = state->clampRed[r & 0x7FF] | state->clampGreen[g & 0x7FF] |
                       state->clampBlue[b & 0x7FF];
    out[2 * x] = static_cast<uint8_t>(v);
    out[2 * x + 1] = static_cast<uint8_t>(v >> 8);
  }
}

// yScaled is Y * 4096 (or the 2 x 2 sum * 1024 at half size).
inline void PutYcc(const JpegDecoderState* state, int32_t yScaled, int32_t cb,
                   int32_t cr, uint8_t* out, int32_t x, int32_t bitsPerPixel) {
  const int32_t r = (yScaled + (cr - 128) * 5742) >> 12;
  const int32_t g = (yScaled + (128 - cr) * 2925 + (128 - cb) * 1409) >> 12;
  const int32_t b = (yScaled + (cb - 128) * 7258) >> 12;
  PutPixel(state, r, g, b, out, x, bitsPerPixel);
}

inline uint8_t Clamp255(int32_t v) {
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

inline void PutRgb(uint8_t r, uint8_t g, uint8_t b, uint8_t* out, int32_t x,
                   int32_t bitsPerPixel) {
  if (bitsPerPixel == 24) {
    out[3 * x] = b;
    out[3 * x + 1] = g;
    out[3 * x + 2] = r;
  } else {
    const uint32_t v = ((r & 0xF8u) << 8) | ((g & 0xFCu) << 3) | (b >> 3);
    out[2 * x] = static_cast<uint8_t>(v);
    out[2 * x + 1] = static_cast<uint8_t>(v >> 8);
  }
}

#if defined(__SSE2__)

// Eight pixels of 16-bit red, green, blue (any range) to 5-6-5 words.
inline __m128i Pack565(__m128i r, __m128i g, __m128i b) {
  const __m128i zero = _mm_setzero_si128(), max = _mm_set1_epi16(255);
  r = _mm_min_epi16(_mm_max_epi16(r, zero), max);
  g = _mm_min_epi16(_mm_max_epi16(g, zero), max);
  b = _mm_min_epi16(_mm_max_epi16(b, zero), max);
  r = _mm_slli_epi16(_mm_and_si128(r, _mm_set1_epi16(0xF8)), 8);
  g = _mm_slli_epi16(_mm_and_si128(g, _mm_set1_epi16(0xFC)), 3);
  b = _mm_srli_epi16(b, 3);
  return _mm_or_si128(_mm_or_si128(r, g), b);
}

// Eight pixels: Y (16-bit), Cb and Cr (16-bit, 0..255) to red, green, blue.
inline void YccToRgb8(__m128i y, __m128i cb, __m128i cr, __m128i* r, __m128i* g,
                      __m128i* b) {
  const __m128i bias = _mm_set1_epi16(128);
  const __m128i dcr = _mm_sub_epi16(cr, bias), dcb = _mm_sub_epi16(cb, bias);
  // (d * 5742) >> 12 as the high half of (d << 4) * 5742.
  *r = _mm_add_epi16(y, _mm_mulhi_epi16(_mm_slli_epi16(dcr, 4), _mm_set1_epi16(5742)));
  *b = _mm_add_epi16(y, _mm_mulhi_epi16(_mm_slli_epi16(dcb, 4), _mm_set1_epi16(7258)));
  // ((128 - Cr) * 2925 + (128 - Cb) * 1409) >> 12 in 32 bits.
  const __m128i ecr = _mm_sub_epi16(bias, cr), ecb = _mm_sub_epi16(bias, cb);
  const __m128i weights = _mm_set1_epi32(1409 << 16 | 2925);
  const __m128i lo = _mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(ecr, ecb), weights), 12);
  const __m128i hi = _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(ecr, ecb), weights), 12);
  *g = _mm_add_epi16(y, _mm_packs_epi32(lo, hi));
}

// Sixteen pixels from 16 Y, Cb, Cr bytes.
inline void YccToOutput16(__m128i y, __m128i cb, __m128i cr, uint8_t* out,
                          int32_t bitsPerPixel) {
  const __m128i zero = _mm_setzero_si128();
  __m128i r0, g0, b0, r1, g1, b1;
  YccToRgb8(_mm_unpacklo_epi8(y, zero), _mm_unpacklo_epi8(cb, zero),
            _mm_unpacklo_epi8(cr, zero), &r0, &g0, &b0);
  YccToRgb8(_mm_unpackhi_epi8(y, zero), _mm_unpackhi_epi8(cb, zero),
            _mm_unpackhi_epi8(cr, zero), &r1, &g1, &b1);
  if (bitsPerPixel == 24) {
    Store24(_mm_packus_epi16(b0, b1), _mm_packus_epi16(g0, g1),
            _mm_packus_epi16(r0, r1), out);
  } else {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), Pack565(r0, g0, b0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), Pack565(r1, g1, b1));
  }
}

// Sums of neighbouring bytes: 8 16-bit lanes v[2i] + v[2i + 1].
inline __m128i PairSums(__m128i v) {
  return _mm_add_epi16(_mm_and_si128(v, _mm_set1_epi16(0xFF)), _mm_srli_epi16(v, 8));
}

// (a * wa + b * wb) >> 12 for eight 16-bit pairs, in 32 bits.
inline __m128i Weighted(__m128i a, __m128i b, int32_t wa, int32_t wb) {
  const __m128i weights = _mm_set1_epi32(wb << 16 | wa);
  const __m128i lo = _mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(a, b), weights), 12);
  const __m128i hi = _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(a, b), weights), 12);
  return _mm_packs_epi32(lo, hi);
}

// Half size, eight pixels: 2 x 2 luma sums (0..1020), Cb, Cr.
inline void HalfYccToRgb8(__m128i sum, __m128i cb, __m128i cr, __m128i* r, __m128i* g,
                          __m128i* b) {
  const __m128i bias = _mm_set1_epi16(128);
  *r = Weighted(sum, _mm_sub_epi16(cr, bias), 1024, 5742);
  *b = Weighted(sum, _mm_sub_epi16(cb, bias), 1024, 7258);
  // sum * 1024 + (128 - Cr) * 2925 + (128 - Cb) * 1409, in 32 bits.
  const __m128i weights = _mm_set1_epi32(1409 << 16 | 2925);
  const __m128i ecr = _mm_sub_epi16(bias, cr), ecb = _mm_sub_epi16(bias, cb);
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(ecr, ecb), weights),
                                   _mm_slli_epi32(_mm_unpacklo_epi16(sum, zero), 10));
  const __m128i hi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(ecr, ecb), weights),
                                   _mm_slli_epi32(_mm_unpackhi_epi16(sum, zero), 10));
  *g = _mm_packs_epi32(_mm_srai_epi32(lo, 12), _mm_srai_epi32(hi, 12));
}

inline __m128i Load16(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline __m128i Load8(const uint8_t* p) {
  return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

#endif  // __SSE2__

}  // namespace

void FillBlock(uint8_t* out, uint32_t stride, uint8_t value) {
  uint64_t word = 0x0101010101010101ull * value;
  for (int row = 0; row < 8; ++row) std::memcpy(out + row * stride, &word, 8);
}

void ConvertRowYcc(const JpegDecoderState* state, const uint8_t* y,
                   const uint8_t* cb, const uint8_t* cr, int32_t width,
                   int32_t chromaShift, uint8_t* out, int32_t bitsPerPixel) {
  int32_t x = 0;
#if defined(__x86_64__)
  if (bitsPerPixel == 24 && JpegUsesAvx2(JpegVectorUnit::kBest))
    x = ConvertRowYcc24Avx2(y, cb, cr, width, chromaShift, out);
#endif
#if defined(__SSE2__)
  const int32_t step = bitsPerPixel == 24 ? 48 : 32;
  for (; x + 16 <= width; x += 16) {
    __m128i vcb, vcr;
    if (chromaShift) {
      vcb = Load8(cb + x / 2);
      vcr = Load8(cr + x / 2);
      vcb = _mm_unpacklo_epi8(vcb, vcb);
      vcr = _mm_unpacklo_epi8(vcr, vcr);
    } else {
      vcb = Load16(cb + x);
      vcr = Load16(cr + x);
    }
    YccToOutput16(Load16(y + x), vcb, vcr, out + x / 16 * step, bitsPerPixel);
  }
#endif
  for (; x < width; ++x)
    PutYcc(state, y[x] << 12, cb[x >> chromaShift], cr[x >> chromaShift], out, x,
           bitsPerPixel);
}

void ConvertRowYccHalf(const JpegDecoderState* state, const uint8_t* y0,
                       const uint8_t* y1, const uint8_t* cb0, const uint8_t* cb1,
                       const uint8_t* cr0, const uint8_t* cr1, int32_t width,
                       int32_t chromaPairs, uint8_t* out, int32_t bitsPerPixel) {
  int32_t x = 0;
#if defined(__x86_64__)
  if (bitsPerPixel == 24 && JpegUsesAvx2(JpegVectorUnit::kBest))
    x = ConvertRowYccHalf24Avx2(y0, y1, cb0, cb1, cr0, cr1, width, chromaPairs, out);
#endif
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  // Chroma of eight output pixels from x on.
  auto chroma = [&](const uint8_t* c0, const uint8_t* c1, int32_t at) {
    if (chromaPairs)
      return _mm_srli_epi16(_mm_add_epi16(PairSums(Load16(c0 + 2 * at)),
                                          PairSums(Load16(c1 + 2 * at))), 2);
    return _mm_srli_epi16(_mm_add_epi16(_mm_unpacklo_epi8(Load8(c0 + at), zero),
                                        _mm_unpacklo_epi8(Load8(c1 + at), zero)), 1);
  };
  for (; x + 16 <= width; x += 16) {
    __m128i r[2], g[2], b[2];
    for (int half = 0; half < 2; ++half) {
      const int32_t at = x + 8 * half;
      const __m128i sum = _mm_add_epi16(PairSums(Load16(y0 + 2 * at)), PairSums(Load16(y1 + 2 * at)));
      HalfYccToRgb8(sum, chroma(cb0, cb1, at), chroma(cr0, cr1, at), &r[half], &g[half], &b[half]);
    }
    if (bitsPerPixel == 24) {
      Store24(_mm_packus_epi16(b[0], b[1]), _mm_packus_epi16(g[0], g[1]),
              _mm_packus_epi16(r[0], r[1]), out + 3 * x);
    } else {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * x), Pack565(r[0], g[0], b[0]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * x + 16), Pack565(r[1], g[1], b[1]));
    }
  }
#endif
  for (; x < width; ++x) {
    const int32_t sum = y0[2 * x] + y0[2 * x + 1] + y1[2 * x] + y1[2 * x + 1];
    const int32_t a = chromaPairs ? 2 * x : x, b = chromaPairs ? 2 * x + 1 : x;
    const int32_t cb = (cb0[a] + cb0[b] + cb1[a] + cb1[b]) >> 2;
    const int32_t cr = (cr0[a] + cr0[b] + cr1[a] + cr1[b]) >> 2;
    PutYcc(state, sum * 1024, cb, cr, out, x, bitsPerPixel);
  }
}

void ConvertRowRgb(const uint8_t* r, const uint8_t* g, const uint8_t* b,
                   int32_t width, int32_t chromaShift, uint8_t* out,
                   int32_t bitsPerPixel) {
  for (int32_t x = 0; x < width; ++x)
    PutRgb(r[x], g[x >> chromaShift], b[x >> chromaShift], out, x, bitsPerPixel);
}

void ConvertRowRgbHalf(const uint8_t* r0, const uint8_t* r1, const uint8_t* g0,
                       const uint8_t* g1, const uint8_t* b0, const uint8_t* b1,
                       int32_t width, int32_t chromaPairs, uint8_t* out,
                       int32_t bitsPerPixel) {
  for (int32_t x = 0; x < width; ++x) {
    const int32_t red = (r0[2 * x] + r0[2 * x + 1] + r1[2 * x] + r1[2 * x + 1]) >> 2;
    const int32_t a = chromaPairs ? 2 * x : x, c = chromaPairs ? 2 * x + 1 : x;
    const int32_t green = (g0[a] + g0[c] + g1[a] + g1[c]) >> 2;
    const int32_t blue = (b0[a] + b0[c] + b1[a] + b1[c]) >> 2;
    PutRgb(Clamp255(red), Clamp255(green), Clamp255(blue), out, x, bitsPerPixel);
  }
}

void GrayRowHalf(const uint8_t* y0, const uint8_t* y1, int32_t width, uint8_t* out) {
  int32_t x = 0;
#if defined(__SSE2__)
  for (; x + 16 <= width; x += 16) {
    const __m128i lo = _mm_add_epi16(PairSums(Load16(y0 + 2 * x)), PairSums(Load16(y1 + 2 * x)));
    const __m128i hi =
        _mm_add_epi16(PairSums(Load16(y0 + 2 * x + 16)), PairSums(Load16(y1 + 2 * x + 16)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                     _mm_packus_epi16(_mm_srli_epi16(lo, 2), _mm_srli_epi16(hi, 2)));
  }
#endif
  for (; x < width; ++x)
    out[x] = static_cast<uint8_t>((y0[2 * x] + y0[2 * x + 1] + y1[2 * x] + y1[2 * x + 1]) >> 2);
}

}  // namespace quillon
