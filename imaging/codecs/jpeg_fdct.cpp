// JPEG encoder arithmetic: the AAN forward DCT, the rounding quantiser, the
// canonical Huffman codes of Annex K.3 and the coding of one block.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <utility>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "imaging/codecs/jpeg_encode.h"

namespace quillon {

namespace {

constexpr std::array<uint8_t, 4096> MakeCategoryTable() {
  std::array<uint8_t, 4096> table{};
  for (uint32_t v = 1; v < 4096; ++v) {
    uint8_t bits = 0;
    for (uint32_t rest = v; rest; rest >>= 1) ++bits;
    table[v] = bits;
  }
  return table;
}

// AAN constants in 8-bit fixed point; M is their product, shifted without
// rounding.
constexpr int32_t kC6 = 98;          // 0.382683433 = cos(6 pi / 16)
constexpr int32_t kC2MinusC6 = 139;  // 0.541196100
constexpr int32_t kC4 = 181;         // 0.707106781
constexpr int32_t kC2PlusC6 = 334;   // 1.306562965
inline int32_t M(int32_t x, int32_t c) { return (x * c) >> 8; }

// One row or column: d[0], d[step], ... d[7 x step].
inline void Butterfly(int32_t* d, int step) {
  const int32_t t0 = d[0] + d[7 * step], t7 = d[0] - d[7 * step];
  const int32_t t1 = d[step] + d[6 * step], t6 = d[step] - d[6 * step];
  const int32_t t2 = d[2 * step] + d[5 * step], t5 = d[2 * step] - d[5 * step];
  const int32_t t3 = d[3 * step] + d[4 * step], t4 = d[3 * step] - d[4 * step];
  // Even part.
  const int32_t t10 = t0 + t3, t13 = t0 - t3, t11 = t1 + t2, t12 = t1 - t2;
  d[0] = t10 + t11;
  d[4 * step] = t10 - t11;
  const int32_t z1 = M(t12 + t13, kC4);
  d[2 * step] = t13 + z1;
  d[6 * step] = t13 - z1;
  // Odd part: the rotation of u10 and u12 shares z5.
  const int32_t u10 = t4 + t5, u11 = t5 + t6, u12 = t6 + t7;
  const int32_t z5 = M(u10 - u12, kC6);
  const int32_t z2 = M(u10, kC2MinusC6) + z5;
  const int32_t z4 = M(u12, kC2PlusC6) + z5;
  const int32_t z3 = M(u11, kC4);
  const int32_t z11 = t7 + z3, z13 = t7 - z3;
  d[5 * step] = z13 + z2;
  d[3 * step] = z13 - z2;
  d[step] = z11 + z4;
  d[7 * step] = z11 - z4;
}

// The transform's passes run over eight rows or columns at once, lane by
// lane, so that the compiler keeps them in vector registers; the same body
// is compiled for the baseline and for AVX2 machines.
[[gnu::always_inline]] inline void ColumnPasses(int32_t* block) {
  for (int column = 0; column < 8; ++column) Butterfly(block + column, 8);
}
[[gnu::always_inline]] inline void Transpose(int32_t* block) {
  for (int r = 0; r < 8; ++r)
    for (int c = r + 1; c < 8; ++c) std::swap(block[8 * r + c], block[8 * c + r]);
}
[[gnu::always_inline]] inline void TransformBody(int32_t* block) {
  Transpose(block);
  ColumnPasses(block);  // the rows
  Transpose(block);
  ColumnPasses(block);
}
[[gnu::always_inline]] inline void QuantiseBody(const JpegQuantiser& quantiser, int32_t* block) {
  for (int i = 0; i < 64; ++i) {
    const int32_t c = block[i], d = quantiser.divisor[i];
    // (|c| + d / 2) / d, the sign put back: halves round away from zero.
    const uint64_t n = static_cast<uint32_t>(std::abs(c) + d / 2);
    const int32_t q = static_cast<int32_t>((n * quantiser.reciprocal[i]) >> 32);
    block[i] = c < 0 ? -q : q;
  }
}
[[gnu::always_inline]] inline uint64_t CodeReadyBody(int32_t* block, const JpegQuantiser& quantiser,
                                                    int32_t* zigzag) {
  TransformBody(block);
  QuantiseBody(quantiser, block);
  for (int k = 0; k < 64; ++k) zigzag[k] = block[kNaturalOfZigzag[k]];
  uint64_t nonzero = 0;
  for (int k = 0; k < 64; ++k) nonzero |= static_cast<uint64_t>(zigzag[k] != 0) << k;
  return nonzero;
}

uint64_t PrepareBlockPortable(int32_t* block, const JpegQuantiser& quantiser, int32_t* zigzag) {
  return CodeReadyBody(block, quantiser, zigzag);
}
#if defined(__x86_64__)
[[gnu::target("avx2"), gnu::always_inline]] inline void TransposeAvx2(int32_t* block) {
  __m256i r[8], t[8];
  #pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) r[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 8 * i));
  #pragma GCC unroll 8
  for (int i = 0; i < 8; i += 2) {
    t[i] = _mm256_unpacklo_epi32(r[i], r[i + 1]);
    t[i + 1] = _mm256_unpackhi_epi32(r[i], r[i + 1]);
  }
  #pragma GCC unroll 8
  for (int i = 0; i < 8; i += 4) {
    r[i] = _mm256_unpacklo_epi64(t[i], t[i + 2]);
    r[i + 1] = _mm256_unpackhi_epi64(t[i], t[i + 2]);
    r[i + 2] = _mm256_unpacklo_epi64(t[i + 1], t[i + 3]);
    r[i + 3] = _mm256_unpackhi_epi64(t[i + 1], t[i + 3]);
  }
  #pragma GCC unroll 8
  for (int i = 0; i < 4; ++i) {
    t[i] = _mm256_permute2x128_si256(r[i], r[i + 4], 0x20);
    t[i + 4] = _mm256_permute2x128_si256(r[i], r[i + 4], 0x31);
  }
  #pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) _mm256_storeu_si256(reinterpret_cast<__m256i*>(block + 8 * i), t[i]);
}

// The transform as above; the quantiser eight coefficients at a time:
// (n x reciprocal) >> 32 is the high half of n x its low 32 bits, plus n
// where bit 32 is set.
[[gnu::target("avx2")]] uint64_t PrepareBlockAvx2(int32_t* block, const JpegQuantiser& quantiser,
                                                   int32_t* zigzag) {
  TransposeAvx2(block);
  ColumnPasses(block);  // the rows
  TransposeAvx2(block);
  ColumnPasses(block);
  #pragma GCC unroll 8
  for (int i = 0; i < 64; i += 8) {
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + i));
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(quantiser.divisor + i));
    const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(quantiser.reciprocalLow + i));
    const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(quantiser.reciprocalHigh + i));
    const __m256i n = _mm256_add_epi32(_mm256_abs_epi32(c), _mm256_srli_epi32(d, 1));
    const __m256i even = _mm256_srli_epi64(_mm256_mul_epu32(n, low), 32);
    const __m256i odd = _mm256_mul_epu32(_mm256_srli_epi64(n, 32), _mm256_srli_epi64(low, 32));
    const __m256i q = _mm256_add_epi32(_mm256_blend_epi32(even, odd, 0xAA), _mm256_and_si256(n, high));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(block + i), _mm256_sign_epi32(q, c));
  }
  #pragma GCC unroll 64
  for (int k = 0; k < 64; ++k) zigzag[k] = block[kNaturalOfZigzag[k]];
  uint64_t zero = 0;
  #pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(zigzag + 8 * i));
    const __m256i equal = _mm256_cmpeq_epi32(v, _mm256_setzero_si256());
    zero |= static_cast<uint64_t>(_mm256_movemask_ps(_mm256_castsi256_ps(equal))) << (8 * i);
  }
  return ~zero;
}
#endif

bool Avx2Present() {
#if defined(__x86_64__)
  __builtin_cpu_init();  // this may run among the static initialisers
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}
const bool kAvx2Present = Avx2Present();
std::atomic<int> gVectorUnit{static_cast<int>(JpegVectorUnit::kBest)};

// 0x80 in every byte of x that is zero.
constexpr uint32_t ZeroBytes(uint32_t x) { return (x - 0x01010101u) & ~x & 0x80808080u; }

}  // namespace

void SetJpegVectorUnit(JpegVectorUnit unit) {
  gVectorUnit.store(static_cast<int>(unit), std::memory_order_relaxed);
}

bool JpegUsesAvx2(JpegVectorUnit unit) {
  if (unit == JpegVectorUnit::kBest)
    unit = static_cast<JpegVectorUnit>(gVectorUnit.load(std::memory_order_relaxed));
  return unit != JpegVectorUnit::kPortable && kAvx2Present;
}

uint64_t PrepareBlock(int32_t* block, const JpegQuantiser& quantiser, int32_t* zigzag,
                      JpegVectorUnit unit) {
#if defined(__x86_64__)
  if (JpegUsesAvx2(unit)) return PrepareBlockAvx2(block, quantiser, zigzag);
#endif
  return PrepareBlockPortable(block, quantiser, zigzag);
}

const std::array<uint8_t, 64> kLuminanceQuantK1 = {
    16, 11, 10, 16, 24,  40,  51,  61,   //
    12, 12, 14, 19, 26,  58,  60,  55,   //
    14, 13, 16, 24, 40,  57,  69,  56,   //
    14, 17, 22, 29, 51,  87,  80,  62,   //
    18, 22, 37, 56, 68,  109, 103, 77,   //
    24, 35, 55, 64, 81,  104, 113, 92,   //
    49, 64, 78, 87, 103, 121, 120, 101,  //
    72, 92, 95, 98, 112, 100, 103, 99,
};
const std::array<uint8_t, 64> kChrominanceQuantK2 = {
    17, 18, 24, 47, 99, 99, 99, 99,  //
    18, 21, 26, 66, 99, 99, 99, 99,  //
    24, 26, 56, 99, 99, 99, 99, 99,  //
    47, 66, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,
};

const std::array<uint8_t, 4096> kJpegCategory = MakeCategoryTable();

uint8_t ScaleQuantEntry(uint8_t entry, int32_t quality) {
  int32_t v = entry;
  if (quality == 0) v /= 2;
  else if (quality == 2) v *= 2;
  return static_cast<uint8_t>(std::clamp(v, 1, 255));
}

void EmitPendingBytes(JpegBitWriter* writer) {
  uint8_t* out = writer->out + writer->size;
  // Four bytes at once while none of them is 0xFF.
  while (writer->count >= 32) {
    const uint32_t word = static_cast<uint32_t>(writer->bits >> (writer->count - 32));
    if (ZeroBytes(~word)) break;
    const uint32_t big = __builtin_bswap32(word);
    std::memcpy(out, &big, 4);
    out += 4;
    writer->count -= 32;
  }
  while (writer->count >= 8) {
    writer->count -= 8;
    const uint8_t byte = static_cast<uint8_t>(writer->bits >> writer->count);
    *out++ = byte;
    if (byte == 0xFF) *out++ = 0;  // stuffed: no marker inside the data
  }
  writer->size = static_cast<uint64_t>(out - writer->out);
}

void FlushBits(JpegBitWriter* writer) {
  EmitPendingBytes(writer);
  if (writer->count > 0) {
    const int32_t pad = 8 - writer->count;
    PutBits(writer, (1u << pad) - 1, pad);
    EmitPendingBytes(writer);
  }
  writer->bits = 0;
}

void ForwardDct(int32_t* block) { TransformBody(block); }

void PrepareEncoderQuant(JpegDecoderState* state, int table, JpegQuantiser* quantiser) {
  int32_t natural[64];
  Dezigzag(state->quant[table], natural);
  for (int i = 0; i < 64; ++i) {
    const int32_t divisor =
        std::max<int32_t>(1, static_cast<int32_t>((int64_t{natural[i]} * kAanScale[i]) >> 11));
    state->quant[table][i] = divisor;
    quantiser->divisor[i] = divisor;
    // Exact for dividends below 2^16 while the divisor is below 2^16.
    quantiser->reciprocal[i] = (uint64_t{1} << 32) / static_cast<uint32_t>(divisor) + 1;
    quantiser->reciprocalLow[i] = static_cast<uint32_t>(quantiser->reciprocal[i]);
    quantiser->reciprocalHigh[i] = quantiser->reciprocal[i] >> 32 ? ~0u : 0u;
  }
  state->quantPresent[table] = 2;
}

void Quantise(const JpegQuantiser& quantiser, int32_t* block) { QuantiseBody(quantiser, block); }

void BuildHuffmanCodes(int which, JpegHuffmanCode* codes) {
  *codes = JpegHuffmanCode{};
  const JpegStandardTable& table = kJpegStandardTables[which];
  uint32_t code = 0;
  int at = 0;
  for (int length = 1; length <= 16; ++length) {
    for (int i = 0; i < table.counts[length - 1] && at < table.symbolCount; ++i, ++at) {
      const uint8_t symbol = table.symbols[at];
      codes->code[symbol] = static_cast<uint16_t>(code++);
      codes->length[symbol] = static_cast<uint8_t>(length);
    }
    code <<= 1;
  }
}

int32_t EncodeHuffmanBlock(const int32_t* zigzag, uint64_t nonzero, int32_t predictor,
                           const JpegHuffmanCode& dc, const JpegHuffmanCode& ac,
                           JpegBitWriter* writer) {
  // A negative value is sent as value + 2^s - 1, its low s bits.
  auto coded = [](int32_t value, uint32_t* bits) {
    const uint32_t magnitude = static_cast<uint32_t>(std::abs(value));
    const uint32_t size = kJpegCategory[std::min<uint32_t>(magnitude, 4095)];
    *bits = static_cast<uint32_t>(value < 0 ? value - 1 : value) & ((1u << size) - 1);
    return size;
  };
  uint32_t bits;
  const uint32_t dcSize = coded(zigzag[0] - predictor, &bits);
  PutBits(writer, static_cast<uint32_t>(dc.code[dcSize]) << dcSize | bits, dc.length[dcSize] + static_cast<int32_t>(dcSize));

  // The AC coefficients that are not zero, by the bits of `nonzero`.
  int32_t last = 0;
  for (uint64_t rest = nonzero & ~uint64_t{1}; rest != 0; rest &= rest - 1) {
    const int32_t k = __builtin_ctzll(rest);
    int32_t run = k - last - 1;
    for (; run >= 16; run -= 16) PutBits(writer, ac.code[0xF0], ac.length[0xF0]);
    const uint32_t size = coded(zigzag[k], &bits);
    const uint32_t symbol = static_cast<uint32_t>(run) << 4 | size;
    PutBits(writer, static_cast<uint32_t>(ac.code[symbol]) << size | bits, ac.length[symbol] + static_cast<int32_t>(size));
    last = k;
  }
  if (last < 63) PutBits(writer, ac.code[0x00], ac.length[0x00]);
  return zigzag[0];
}

}  // namespace quillon
