// Dequantisation and the inverse DCT: the separable AAN fast integer
// transform with 8-bit fixed-point constants (Arai, Agui and Nakajima; the
// prepared tables carry its scale factors).
//
// M(x, c) = (x * c) >> 8 is computed as x * k + ((x * (c - 256 k)) >> 8) with
// the remainder below 128, so that the 16-bit SSE2 lanes need no
// pre-shifted operands: 362 = 256 + 106, 473 = 512 - 39, 277 = 256 + 21,
// -669 = -768 + 99.
#include <algorithm>
#include <cstring>

#include "imaging/codecs/jpeg.h"
#include "imaging/codecs/jpeg_vector.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillon {

namespace {

// The AAN factors as the 16-bit multipliers of the dequantisation.
alignas(16) constexpr std::array<int16_t, 64> kAanScale16 = [] {
  std::array<int16_t, 64> table{};
  for (int i = 0; i < 64; ++i) table[i] = static_cast<int16_t>(kAanScale[i]);
  return table;
}();
static_assert(kAanScale[9] == 31521, "the largest factor fits 16 bits");

// Portable lanes: 32-bit integers.
struct ScalarOps {
  using V = int32_t;
  static V Add(V a, V b) { return a + b; }
  static V Sub(V a, V b) { return a - b; }
  static V M362(V x) { return x + ((x * 106) >> 8); }
  static V M473(V x) { return 2 * x + ((x * -39) >> 8); }
  static V M277(V x) { return x + ((x * 21) >> 8); }
  static V MMinus669(V x) { return -3 * x + ((x * 99) >> 8); }
};

#if defined(__SSE2__)

struct VectorOps {
  using V = __m128i;
  static V Add(V a, V b) { return _mm_add_epi16(a, b); }
  static V Sub(V a, V b) { return _mm_sub_epi16(a, b); }
  static V Mul(V x, int remainder) {
    return _mm_mulhi_epi16(x, _mm_set1_epi16(static_cast<int16_t>(remainder * 256)));
  }
  static V M362(V x) { return _mm_add_epi16(x, Mul(x, 106)); }
  static V M473(V x) { return _mm_add_epi16(_mm_add_epi16(x, x), Mul(x, -39)); }
  static V M277(V x) { return _mm_add_epi16(x, Mul(x, 21)); }
  static V MMinus669(V x) {
    return _mm_sub_epi16(Mul(x, 99), _mm_add_epi16(_mm_add_epi16(x, x), x));
  }
};

inline void Transpose8x8(__m128i& r0, __m128i& r1, __m128i& r2, __m128i& r3, __m128i& r4,
                         __m128i& r5, __m128i& r6, __m128i& r7) {
  const __m128i a0 = _mm_unpacklo_epi16(r0, r1), a1 = _mm_unpackhi_epi16(r0, r1);
  const __m128i a2 = _mm_unpacklo_epi16(r2, r3), a3 = _mm_unpackhi_epi16(r2, r3);
  const __m128i a4 = _mm_unpacklo_epi16(r4, r5), a5 = _mm_unpackhi_epi16(r4, r5);
  const __m128i a6 = _mm_unpacklo_epi16(r6, r7), a7 = _mm_unpackhi_epi16(r6, r7);
  const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
  const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
  const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
  const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
  r0 = _mm_unpacklo_epi64(b0, b4);
  r1 = _mm_unpackhi_epi64(b0, b4);
  r2 = _mm_unpacklo_epi64(b1, b5);
  r3 = _mm_unpackhi_epi64(b1, b5);
  r4 = _mm_unpacklo_epi64(b2, b6);
  r5 = _mm_unpackhi_epi64(b2, b6);
  r6 = _mm_unpacklo_epi64(b3, b7);
  r7 = _mm_unpackhi_epi64(b3, b7);
}

// value >> 5, then + 128 with saturation (signed pack, sign flip), two
// rows of eight samples.
inline void StoreRows(__m128i a, __m128i b, uint8_t* out, uint32_t stride) {
  const __m128i bytes = _mm_xor_si128(_mm_packs_epi16(_mm_srai_epi16(a, 5), _mm_srai_epi16(b, 5)),
                                      _mm_set1_epi8(static_cast<char>(0x80)));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), bytes);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + stride), _mm_srli_si128(bytes, 8));
}

// Row r of a block dequantised: (coefficient x 8q) x factor >> 16, doubled.
inline __m128i Dequantise(const __m128i* in, const __m128i* q, int r) {
  const __m128i scaled = _mm_mulhi_epi16(
      _mm_mullo_epi16(_mm_loadu_si128(in + r), _mm_loadu_si128(q + r)),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(kAanScale16.data()) + r));
  return _mm_add_epi16(scaled, scaled);
}

void InverseDctSse2(const int16_t* quant, int16_t* block, uint8_t* out,
                    uint32_t stride) {
  auto* in = reinterpret_cast<__m128i*>(block);
  const auto* q = reinterpret_cast<const __m128i*>(quant);
  __m128i v0 = Dequantise(in, q, 0), v1 = Dequantise(in, q, 1);
  __m128i v2 = Dequantise(in, q, 2), v3 = Dequantise(in, q, 3);
  __m128i v4 = Dequantise(in, q, 4), v5 = Dequantise(in, q, 5);
  __m128i v6 = Dequantise(in, q, 6), v7 = Dequantise(in, q, 7);
  const __m128i zero = _mm_setzero_si128();
  for (int i = 0; i < 8; ++i) _mm_storeu_si128(in + i, zero);
  Butterfly<VectorOps>(v0, v1, v2, v3, v4, v5, v6, v7);  // columns: a lane each
  Transpose8x8(v0, v1, v2, v3, v4, v5, v6, v7);
  Butterfly<VectorOps>(v0, v1, v2, v3, v4, v5, v6, v7);  // rows: a lane each
  Transpose8x8(v0, v1, v2, v3, v4, v5, v6, v7);
  StoreRows(v0, v1, out, stride);
  StoreRows(v2, v3, out + 2 * stride, stride);
  StoreRows(v4, v5, out + 4 * stride, stride);
  StoreRows(v6, v7, out + 6 * stride, stride);
}

#endif  // __SSE2__

}  // namespace

void InverseDctPortable(const int16_t* quant, int16_t* block, uint8_t* out,
                        uint32_t stride, const uint8_t* rangeLimit) {
  int32_t work[64];
  // Columns, dequantised; the products and the column results are kept to
  // 16 bits as the vector code keeps them.
  for (int c = 0; c < 8; ++c) {
    int32_t v[8];
    bool acZero = true;
    for (int r = 0; r < 8; ++r) {
      const int32_t product = static_cast<int16_t>(block[r * 8 + c] * quant[r * 8 + c]);
      v[r] = static_cast<int16_t>(2 * ((product * kAanScale16[r * 8 + c]) >> 16));
      if (r && v[r]) acZero = false;
    }
    if (!acZero) Butterfly<ScalarOps>(v);
    for (int r = 0; r < 8; ++r)
      work[r * 8 + c] = acZero ? v[0] : static_cast<int16_t>(v[r]);
  }
  for (int r = 0; r < 8; ++r) {
    int32_t* v = work + r * 8;
    Butterfly<ScalarOps>(v);
    // The range-limit table, saturating beyond its +-512 as the vector
    // code's packing does.
    for (int c = 0; c < 8; ++c) {
      const int32_t sample = std::clamp(v[c] >> 5, -512, 511);
      out[r * stride + c] = rangeLimit[sample & 1023];
    }
  }
  std::memset(block, 0, 64 * sizeof(int16_t));
}

void InverseDct(const JpegDecoderState* state, int16_t* block, int table,
                uint8_t* out, uint32_t stride) {
#if defined(__SSE2__)
  (void)state->rangeLimit;
  InverseDctSse2(state->idctQuant[table], block, out, stride);
#else
  InverseDctPortable(state->idctQuant[table], block, out, stride, state->rangeLimit);
#endif
}

}  // namespace quillon

namespace quillon {

void InverseDctPair(const JpegDecoderState* state, int16_t* blockA, int tableA, uint8_t* outA,
                    uint32_t strideA, int16_t* blockB, int tableB, uint8_t* outB, uint32_t strideB) {
#if defined(__x86_64__)
  if (JpegUsesAvx2(JpegVectorUnit::kBest)) {
    InverseDctPairAvx2(kAanScale16.data(), state->idctQuant[tableA], blockA, outA, strideA,
                       state->idctQuant[tableB], blockB, outB, strideB);
    return;
  }
#endif
  InverseDct(state, blockA, tableA, outA, strideA);
  InverseDct(state, blockB, tableB, outB, strideB);
}

}  // namespace quillon
