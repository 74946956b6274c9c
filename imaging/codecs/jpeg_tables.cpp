// JPEG decoder tables: zig-zag order, AAN scale factors, the Annex K.3
// Huffman tables, the range-limit and colour clamp tables, and the
// preparation of the quantisation tables.
#include <algorithm>
#include <cstring>

#include "imaging/codecs/jpeg.h"

namespace quillon {

namespace {

// cos(x) for 0 <= x <= pi/2 by its Taylor series: the AAN factors below are
// derived at compile time from the cosines they stand for.
constexpr double Cosine(double x) {
  double term = 1.0, sum = 1.0;
  for (int n = 1; n < 30; ++n) {
    term *= -x * x / ((2.0 * n - 1.0) * (2.0 * n));
    sum += term;
  }
  return sum;
}

constexpr double kPi = 3.14159265358979323846;
constexpr double kSqrt2 = 1.41421356237309504880;

constexpr std::array<uint8_t, 80> InvertZigzag(const std::array<uint8_t, 64>& z) {
  std::array<uint8_t, 80> natural{};
  for (int i = 0; i < 64; ++i) natural[z[i]] = static_cast<uint8_t>(i);
  for (int k = 64; k < 80; ++k) natural[k] = 63;
  return natural;
}

// s(0) = 1, s(k) = cos(k pi / 16) x sqrt 2; factor(r, c) = 16384 s(r) s(c).
constexpr std::array<int32_t, 64> MakeAanScale() {
  double s[8]{};
  for (int k = 0; k < 8; ++k) s[k] = k == 0 ? 1.0 : Cosine(k * kPi / 16.0) * kSqrt2;
  std::array<int32_t, 64> table{};
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c)
      table[r * 8 + c] = static_cast<int32_t>(16384.0 * s[r] * s[c] + 0.5);
  return table;
}

// T.81 Annex K.3: BITS and HUFFVAL of the four tables (K.3.1, K.3.2).
constexpr uint8_t kDcSymbols[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
constexpr uint8_t kAcLuminanceSymbols[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06,
    0x13, 0x51, 0x61, 0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08,
    0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72,
    0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28,
    0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
    0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59,
    0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75,
    0x76, 0x77, 0x78, 0x79, 0x7a, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89,
    0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3,
    0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
    0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9,
    0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2,
    0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4,
    0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa,
};
constexpr uint8_t kAcChrominanceSymbols[162] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41,
    0x51, 0x07, 0x61, 0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91,
    0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33, 0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1,
    0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26,
    0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44,
    0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58,
    0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74,
    0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87,
    0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a,
    0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4,
    0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7,
    0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda,
    0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4,
    0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa,
};

constexpr std::array<uint8_t, kJpegStandardDhtLength> MakeStandardDht(
    const std::array<JpegStandardTable, 4>& tables) {
  std::array<uint8_t, kJpegStandardDhtLength> segment{};
  segment[0] = 0xFF;
  segment[1] = kMarkerDht;
  segment[2] = static_cast<uint8_t>((kJpegStandardDhtLength - 2) >> 8);
  segment[3] = static_cast<uint8_t>(kJpegStandardDhtLength - 2);
  uint32_t at = 4;
  for (const JpegStandardTable& t : tables) {
    segment[at++] = static_cast<uint8_t>(t.slotByte);
    for (uint8_t c : t.counts) segment[at++] = c;
    for (int i = 0; i < t.symbolCount; ++i) segment[at++] = t.symbols[i];
  }
  return segment;
}

}  // namespace

const std::array<uint8_t, 64> kZigzagOfNatural = {
    0,  1,  5,  6,  14, 15, 27, 28,  //
    2,  4,  7,  13, 16, 26, 29, 42,  //
    3,  8,  12, 17, 25, 30, 41, 43,  //
    9,  11, 18, 24, 31, 40, 44, 53,  //
    10, 19, 23, 32, 39, 45, 52, 54,  //
    20, 22, 33, 38, 46, 51, 55, 60,  //
    21, 34, 37, 47, 50, 56, 59, 61,  //
    35, 36, 48, 49, 57, 58, 62, 63,
};
const std::array<uint8_t, 80> kNaturalOfZigzag = InvertZigzag(kZigzagOfNatural);
const std::array<int32_t, 64> kAanScale = MakeAanScale();

const std::array<JpegStandardTable, 4> kJpegStandardTables = {{
    {0x00, {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}, kDcSymbols, 12},
    {0x10, {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d}, kAcLuminanceSymbols, 162},
    {0x01, {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0}, kDcSymbols, 12},
    {0x11, {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77}, kAcChrominanceSymbols, 162},
}};
const std::array<uint8_t, kJpegStandardDhtLength> kJpegStandardDht =
    MakeStandardDht(kJpegStandardTables);

void Dezigzag(const int32_t* zigzagBlock, int32_t* naturalBlock) {
  for (int i = 0; i < 64; ++i) naturalBlock[i] = zigzagBlock[kZigzagOfNatural[i]];
}

void Rezigzag(const int32_t* naturalBlock, int32_t* zigzagBlock) {
  for (int i = 0; i < 64; ++i) zigzagBlock[kZigzagOfNatural[i]] = naturalBlock[i];
}

// Entries 0..127 hold 128..255, 128..511 hold 255, 512..895 hold 0 and
// 896..1023 hold 0..127: a sample is rangeLimit[(value >> 5) & 1023].
void FillRangeLimit(JpegDecoderState* state) {
  for (int i = 0; i < 1024; ++i) {
    int v = i < 512 ? i + 128 : i - 1024 + 128;
    state->rangeLimit[i] = static_cast<uint8_t>(std::clamp(v, 0, 255));
  }
}

void BuildColourTables(JpegDecoderState* state) {
  if (state->flags & kFlagJpeg16Bpp) {
    for (int v = 0; v < 256; ++v) {
      state->clampRed[v] = static_cast<uint16_t>((v & 0xF8) << 8);
      state->clampGreen[v] = static_cast<uint16_t>((v & 0xFC) << 3);
      state->clampBlue[v] = static_cast<uint16_t>(v >> 3);
    }
    for (int v = 256; v < 512; ++v) {
      state->clampRed[v] = 0xF800;
      state->clampGreen[v] = 0x07E0;
      state->clampBlue[v] = 0x001F;
    }
  } else {
    for (int v = 0; v < 256; ++v) state->clamp24[v] = static_cast<uint8_t>(v);
    std::memset(state->clamp24 + 256, 255, 256);
  }
}

void PrepareQuantTables(JpegDecoderState* state) {
  bool used[16] = {};
  for (int c = 0; c < state->componentCount && c < 4; ++c)
    used[state->components[c].quantTable & 15] = true;
  const bool dcOnly = (state->flags & kFlagJpegThumbnail) != 0;
  for (int slot = 0; slot < 16; ++slot) {
    // 1: as read; 2: already prepared (tables shared by several streams).
    if (!used[slot] || state->quantPresent[slot] != 1) continue;
    state->quantPresent[slot] = 2;
    int32_t natural[64];
    Dezigzag(state->quant[slot], natural);
    for (int i = 0; i < 64; ++i) {
      int64_t q = natural[i];
      if (!dcOnly || i == 0) q = (q * kAanScale[i]) >> 12;
      state->quant[slot][i] = static_cast<int32_t>(q);
      state->idctQuant[slot][i] = static_cast<int16_t>(std::min<int64_t>(q, 32767));
    }
  }
}

}  // namespace quillon
