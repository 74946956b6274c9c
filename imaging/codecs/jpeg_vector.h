// Pieces of the JPEG decoder's vector code that the baseline build and the
// AVX2 build (jpeg_avx2.cpp, compiled for AVX2 and called only on machines
// that have it) both compile.  They have internal linkage, so that no copy
// compiled for AVX2 can stand in for the baseline's at link time.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillon {

namespace {

// The butterfly of one 8-point transform, in place.
template <typename Ops, typename V>
inline void Butterfly(V& v0, V& v1, V& v2, V& v3, V& v4, V& v5, V& v6, V& v7) {
  using O = Ops;
  // Even part.
  const V t10 = O::Add(v0, v4), t11 = O::Sub(v0, v4);
  const V t13 = O::Add(v2, v6);
  const V t12 = O::Sub(O::M362(O::Sub(v2, v6)), t13);
  const V e0 = O::Add(t10, t13), e3 = O::Sub(t10, t13);
  const V e1 = O::Add(t11, t12), e2 = O::Sub(t11, t12);
  // Odd part.
  const V z13 = O::Add(v5, v3), z10 = O::Sub(v5, v3);
  const V z11 = O::Add(v1, v7), z12 = O::Sub(v1, v7);
  const V o7 = O::Add(z11, z13);
  const V z5 = O::M473(O::Add(z10, z12));
  const V o6 = O::Sub(O::Add(O::MMinus669(z10), z5), o7);
  const V o5 = O::Sub(O::M362(O::Sub(z11, z13)), o6);
  const V o4 = O::Add(O::Sub(O::M277(z12), z5), o5);
  v0 = O::Add(e0, o7);
  v7 = O::Sub(e0, o7);
  v1 = O::Add(e1, o6);
  v6 = O::Sub(e1, o6);
  v2 = O::Add(e2, o5);
  v5 = O::Sub(e2, o5);
  v4 = O::Add(e3, o4);
  v3 = O::Sub(e3, o4);
}

template <typename Ops, typename V>
inline void Butterfly(V* v) {
  Butterfly<Ops>(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
}

#if defined(__SSE2__)

// Blue, green and red bytes of 16 pixels to 48 bytes B, G, R, B, ...
[[gnu::always_inline]] inline void Store24(__m128i b, __m128i g, __m128i r, uint8_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i bgLo = _mm_unpacklo_epi8(b, g), bgHi = _mm_unpackhi_epi8(b, g);
  const __m128i rLo = _mm_unpacklo_epi8(r, zero), rHi = _mm_unpackhi_epi8(r, zero);
  // Four pixels of B, G, R, 0 each; then each 64-bit half squeezed to six
  // bytes and the two halves joined into twelve.
  const __m128i lowPixel = _mm_set1_epi64x(0x0000000000FFFFFF);
  const __m128i highPixel = _mm_set1_epi64x(0x00FFFFFF00000000);
  const __m128i lowHalf = _mm_set_epi64x(0, -1), highHalf = _mm_set_epi64x(-1, 0);
  auto squeeze = [&](__m128i p) {
    const __m128i q = _mm_or_si128(_mm_and_si128(p, lowPixel),
                                   _mm_srli_epi64(_mm_and_si128(p, highPixel), 8));
    return _mm_or_si128(_mm_and_si128(q, lowHalf),
                        _mm_srli_si128(_mm_and_si128(q, highHalf), 2));
  };
  const __m128i a = squeeze(_mm_unpacklo_epi16(bgLo, rLo));
  const __m128i c = squeeze(_mm_unpackhi_epi16(bgLo, rLo));
  const __m128i d = squeeze(_mm_unpacklo_epi16(bgHi, rHi));
  const __m128i e = squeeze(_mm_unpackhi_epi16(bgHi, rHi));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(a, _mm_slli_si128(c, 12)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16),
                   _mm_or_si128(_mm_srli_si128(c, 4), _mm_slli_si128(d, 8)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32),
                   _mm_or_si128(_mm_srli_si128(d, 8), _mm_slli_si128(e, 4)));
}

#endif  // __SSE2__

}  // namespace

// AVX2 builds, in jpeg_avx2.cpp.  Two blocks as InverseDctPair does, with
// the AAN factors `aan` (natural order, 16 bits).
void InverseDctPairAvx2(const int16_t* aan, const int16_t* quantA, int16_t* blockA, uint8_t* outA,
                        uint32_t strideA, const int16_t* quantB, int16_t* blockB, uint8_t* outB,
                        uint32_t strideB);
// A 24-bit colour row as ConvertRowYcc converts it, 32 pixels at a time;
// returns how many pixels it wrote (the rest are the caller's).
int32_t ConvertRowYcc24Avx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int32_t width,
                            int32_t chromaShift, uint8_t* out);
// A 24-bit half-size row as ConvertRowYccHalf converts it, likewise.
int32_t ConvertRowYccHalf24Avx2(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb0,
                                const uint8_t* cb1, const uint8_t* cr0, const uint8_t* cr1,
                                int32_t width, int32_t chromaPairs, uint8_t* out);

}  // namespace quillon
