// The JPEG decoder's tables and arithmetic: zig-zag order, AAN factors,
// Huffman lookups mapped back to their codes, clamp tables, the inverse DCT
// and the colour rows against their definitions.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/codecs/jpeg.h"
#include "imaging/codecs/jpeg_decode.h"

using namespace quillon;

namespace {

struct State {
  JpegDecoderState* state = AllocateJpegState();
  ~State() { ReleaseJpegState(state); }
  JpegDecoderState* operator->() { return state; }
};

TEST(JpegTables, ZigzagIsTheDiagonalWalkAndDezigzagInvertsRezigzag) {
  // Walk the anti-diagonals, alternating direction, as T.81 Figure A.6.
  int k = 0;
  for (int d = 0; d < 15; ++d)
    for (int i = 0; i <= d; ++i) {
      const int row = d % 2 ? i : d - i, column = d - row;
      if (row > 7 || column > 7) continue;
      EXPECT_EQ(kZigzagOfNatural[row * 8 + column], k);
      EXPECT_EQ(kNaturalOfZigzag[k], row * 8 + column);
      ++k;
    }
  EXPECT_EQ(k, 64);
  for (int guard = 64; guard < 80; ++guard) EXPECT_EQ(kNaturalOfZigzag[guard], 63);
  int32_t zigzag[64], natural[64], back[64];
  for (int i = 0; i < 64; ++i) zigzag[i] = i * 7 - 100;
  Dezigzag(zigzag, natural);
  Rezigzag(natural, back);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(back[i], zigzag[i]);
  EXPECT_EQ(natural[8], zigzag[2]);
}

TEST(JpegTables, AanFactorsAreTheScaledCosines) {
  const int32_t firstRow[8] = {16384, 22725, 21407, 19266, 16384, 12873, 8867, 4520};
  for (int c = 0; c < 8; ++c) EXPECT_EQ(kAanScale[c], firstRow[c]);
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c) {
      const double s = (r ? std::cos(r * M_PI / 16) * std::sqrt(2.0) : 1.0) *
                       (c ? std::cos(c * M_PI / 16) * std::sqrt(2.0) : 1.0);
      EXPECT_EQ(kAanScale[r * 8 + c], std::lround(16384 * s));
    }
}

// Every code of a table, read through the lookups, gives back its
// length and symbol; the whole-coefficient AC entries agree with the plain
// ones.
void ExpectLookupsDecodeEveryCode(const JpegDecoderState* state, int slot) {
  const JpegHuffmanLookup& l = state->lookups[slot];
  const bool ac = slot >= 4;
  uint32_t code = 0;
  int k = 0;
  for (int length = 1; length <= 16; ++length, code <<= 1) {
    for (int i = 0; i < state->huffmanCounts[slot][length - 1]; ++i, ++code, ++k) {
      const uint32_t symbol = static_cast<uint32_t>(state->huffmanSymbols[slot][k]);
      const uint32_t bits16 = code << (16 - length);  // the code, then zeros
      const uint32_t shortBits = ac ? 8 : 6, longBits = ac ? 16 : 12;
      uint32_t e = l.shortTable[bits16 >> (16 - shortBits)];
      if (length > static_cast<int>(shortBits)) {
        EXPECT_EQ(e, 0u);
        e = length <= static_cast<int>(longBits) ? l.longTable[bits16 >> (16 - longBits)] : 0;
      }
      if (length <= static_cast<int>(longBits)) {
        EXPECT_EQ(e, static_cast<uint32_t>(length << 8) | symbol) << "slot " << slot << " k " << k;
      } else {
        EXPECT_EQ(e, 0u);
        EXPECT_LE(static_cast<int32_t>(code), l.maxCode[length]);
        EXPECT_EQ(l.values[(static_cast<int32_t>(code) + l.valueOffset[length]) & 255], symbol);
      }
    }
  }
  if (!ac) return;
  // Read-past entries against a bit-by-bit canonical decoder.
  auto decode = [&](uint32_t bits, int available, int* used) -> int {
    uint32_t c = 0;
    int first = 0, index = 0;
    for (int length = 1; length <= available; ++length) {
      c = (c << 1) | ((bits >> (available - length)) & 1);
      const int count = state->huffmanCounts[slot][length - 1];
      if (static_cast<int>(c) - first < count) {
        *used = length;
        return state->huffmanSymbols[slot][index + static_cast<int>(c) - first];
      }
      index += count;
      first = (first + count) << 1;
    }
    return -1;
  };
  for (uint32_t i = 0; i < 4096; ++i) {
    const uint32_t skip = l.skipAc[i];
    int used = 0, advance = 0, end = 0, symbols = 0;
    while (symbols < 2 && !end) {
      int length = 0;
      const int symbol = decode(i & ((1u << (12 - used)) - 1), 12 - used, &length);
      if (symbol < 0 || length > 8 || length + (symbol & 15) > 12 - used) break;
      used += length + (symbol & 15);
      // Sequential blocks: a size of 0 ends the block unless it is ZRL.
      advance += (symbol & 15) ? (symbol >> 4) + 1 : (symbol == 0xF0 ? 16 : 0);
      end = (symbol & 15) == 0 && symbol != 0xF0;
      ++symbols;
    }
    ASSERT_EQ(skip, used ? static_cast<uint32_t>(used | advance << 5 | end << 11) : 0u) << i;
  }
  for (uint32_t i = 0; i < 1024; ++i) {
    const int32_t fast = l.fastAc[i];
    if (!fast) continue;
    const uint32_t e = l.shortTable[i >> 2];
    const int32_t length = static_cast<int32_t>(e >> 8), size = static_cast<int32_t>(e & 15);
    ASSERT_EQ(fast & 15, length + size);
    ASSERT_EQ((fast >> 4) & 15, static_cast<int32_t>((e & 255) >> 4));
    const int32_t bits = static_cast<int32_t>(i >> (10 - length - size)) & ((1 << size) - 1);
    const int32_t value = bits < (1 << (size - 1)) ? bits - (1 << size) + 1 : bits;
    ASSERT_EQ(fast >> 8, value);
  }
}

TEST(JpegTables, HuffmanLookupsMapBackToTheirCodes) {
  State s;
  ASSERT_EQ(ReadDht(kJpegStandardDht.data() + 4, kJpegStandardDhtLength - 4, s.state), kOk);
  ASSERT_EQ(BuildHuffmanLookup(s.state), kOk);
  for (int slot : {0, 1, 4, 5}) ExpectLookupsDecodeEveryCode(s.state, slot);

  // A DC table reaching 16 bits, and one AC table filling most lengths.
  std::vector<uint8_t> dht = {0x02, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 2, 2, 1};
  for (int i = 0; i < 12; ++i) dht.push_back(static_cast<uint8_t>(i));
  std::vector<uint8_t> counts = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  dht.push_back(0x13);
  dht.insert(dht.end(), counts.begin(), counts.end());
  for (int i = 0; i < 120; ++i) dht.push_back(static_cast<uint8_t>((i * 37 + 1) & 255));
  ASSERT_EQ(ReadDht(dht.data(), static_cast<uint32_t>(dht.size()), s.state), kOk);
  ASSERT_EQ(BuildHuffmanLookup(s.state), kOk);
  ExpectLookupsDecodeEveryCode(s.state, 2);
  ExpectLookupsDecodeEveryCode(s.state, 7);

  // Counts that overflow the code space leave a table that decodes nothing.
  std::vector<uint8_t> bad = {0x00, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3};
  ASSERT_EQ(ReadDht(bad.data(), static_cast<uint32_t>(bad.size()), s.state), kOk);
  ASSERT_EQ(BuildHuffmanLookup(s.state), kOk);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(s->lookups[0].shortTable[i], 0);
  // Truncated and malformed segments.
  EXPECT_EQ(ReadDht(dht.data(), 20, s.state), kErrBadHeader);
  const uint8_t wrongClass[17] = {0x24};
  EXPECT_EQ(ReadDht(wrongClass, 17, s.state), kErrBadHeader);
}

TEST(JpegTables, RangeLimitAndColourClampTables) {
  State s;
  for (int v = -512; v < 512; ++v)
    EXPECT_EQ(s->rangeLimit[v & 1023], std::clamp(v + 128, 0, 255)) << v;
  s->flags = 0;
  BuildColourTables(s.state);
  s->flags = kFlagJpeg16Bpp;
  BuildColourTables(s.state);
  for (int v = -1536; v < 512; ++v) {
    const int c = std::clamp(v, 0, 255);
    EXPECT_EQ(s->clamp24[v & 2047], c);
    EXPECT_EQ(s->clampRed[v & 2047] | s->clampGreen[v & 2047] | s->clampBlue[v & 2047],
              ((c & 0xF8) << 8) | ((c & 0xFC) << 3) | (c >> 3));
  }
}

TEST(JpegTables, QuantisationTablesArePreparedOnce) {
  State s;
  s->componentCount = 1;
  s->components[0].quantTable = 2;
  for (int i = 0; i < 64; ++i) s->quant[2][i] = 16;
  s->quantPresent[2] = 1;
  PrepareQuantTables(s.state);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(s->quant[2][i], (16 * kAanScale[i]) >> 12);
  PrepareQuantTables(s.state);  // a second frame sharing the tables
  EXPECT_EQ(s->quant[2][1], (16 * kAanScale[1]) >> 12);
  EXPECT_EQ(s->idctQuant[2][0], 128);
}

// The inverse DCT: the DC-only example of its definition, the vector code
// against the portable code, and the transform against a floating-point
// one.
TEST(JpegTables, InverseDct) {
  State s;
  for (int i = 0; i < 64; ++i) {
    s->quant[0][i] = (16 * kAanScale[i]) >> 12;
    s->idctQuant[0][i] = 16 * 8;
  }
  alignas(16) int16_t block[64] = {8};
  uint8_t out[64];
  InverseDct(s.state, block, 0, out, 8);
  for (uint8_t v : out) EXPECT_EQ(v, 144);
  for (int16_t c : block) EXPECT_EQ(c, 0) << "the block is left zeroed";
  EXPECT_EQ(DcSample(s.state, 8, 0), 144);

  // Out of range (the largest DC of 8-bit samples at this table), both
  // paths saturate.
  for (int16_t dc : {int16_t{150}, int16_t{-150}}) {
    alignas(16) int16_t a[64] = {dc}, b[64] = {dc};
    a[1] = b[1] = 30;
    uint8_t fast[64], portable[64];
    InverseDct(s.state, a, 0, fast, 8);
    InverseDctPortable(s->idctQuant[0], b, portable, 8, s->rangeLimit);
    for (int i = 0; i < 64; ++i) {
      EXPECT_EQ(fast[i], dc > 0 ? 255 : 0);
      EXPECT_EQ(portable[i], fast[i]);
    }
  }

  std::mt19937 random(99);
  double worst = 0, total = 0;
  int count = 0;
  for (int trial = 0; trial < 2000; ++trial) {
    alignas(16) int16_t a[64], b[64];
    double coefficient[64];
    // Coefficients of real pictures: samples within a little of 0..255.
    const int spread = trial % 3 == 0 ? 24 : 8;
    for (int i = 0; i < 64; ++i) {
      const int limit = i == 0 ? 50 : (i < 10 ? spread : spread / 4 + 1);
      a[i] = b[i] = static_cast<int16_t>(static_cast<int>(random() % (2 * limit + 1)) - limit);
      coefficient[i] = a[i] * 16.0;
    }
    uint8_t fast[64], portable[64];
    InverseDct(s.state, a, 0, fast, 8);
    InverseDctPortable(s->idctQuant[0], b, portable, 8, s->rangeLimit);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(fast[i], portable[i]) << "trial " << trial << " at " << i;
    // T.81 A.3.3 in floating point.
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        double sum = 0;
        for (int v = 0; v < 8; ++v)
          for (int u = 0; u < 8; ++u)
            sum += (u ? 1 : M_SQRT1_2) * (v ? 1 : M_SQRT1_2) * coefficient[v * 8 + u] *
                   std::cos((2 * x + 1) * u * M_PI / 16) * std::cos((2 * y + 1) * v * M_PI / 16);
        const double exact = std::clamp(sum / 4 + 128, 0.0, 255.0);
        worst = std::max(worst, std::abs(fast[y * 8 + x] - exact));
        total += fast[y * 8 + x] - exact;
        ++count;
      }
  }
  // The fast transform: a few levels at worst, its floors half a level low
  // on average.
  EXPECT_LE(worst, 3.5);
  EXPECT_NEAR(total / count, -0.5, 0.1);
}

// Reference of one colour pixel by the conversion's definition.
void Reference(int y, int cb, int cr, uint8_t* bgr) {
  const int r = (y * 4096 + (cr - 128) * 5742) >> 12;
  const int g = (y * 4096 + (128 - cr) * 2925 + (128 - cb) * 1409) >> 12;
  const int b = (y * 4096 + (cb - 128) * 7258) >> 12;
  bgr[0] = static_cast<uint8_t>(std::clamp(b, 0, 255));
  bgr[1] = static_cast<uint8_t>(std::clamp(g, 0, 255));
  bgr[2] = static_cast<uint8_t>(std::clamp(r, 0, 255));
}

TEST(JpegTables, ColourRowsFollowTheDefinitionAtEveryWidth) {
  State s;
  s->flags = 0;
  BuildColourTables(s.state);
  s->flags = kFlagJpeg16Bpp;
  BuildColourTables(s.state);
  std::mt19937 random(5);
  std::vector<uint8_t> y(80), cb(80), cr(80), y1(80), cb1(80), cr1(80);
  for (int trial = 0; trial < 40; ++trial) {
    for (auto* v : {&y, &cb, &cr, &y1, &cb1, &cr1})
      for (uint8_t& b : *v) b = static_cast<uint8_t>(trial % 4 == 0 ? (random() % 2) * 255 : random());
    for (int width = 1; width <= 40; ++width) {
      for (int shift = 0; shift < 2; ++shift) {
        std::vector<uint8_t> out24(3 * width + 8, 0xEE), out16(2 * width + 8, 0xEE);
        ConvertRowYcc(s.state, y.data(), cb.data(), cr.data(), width, shift, out24.data(), 24);
        ConvertRowYcc(s.state, y.data(), cb.data(), cr.data(), width, shift, out16.data(), 16);
        for (int x = 0; x < width; ++x) {
          uint8_t bgr[3];
          Reference(y[x], cb[x >> shift], cr[x >> shift], bgr);
          ASSERT_EQ(out24[3 * x], bgr[0]) << width << " " << x;
          ASSERT_EQ(out24[3 * x + 1], bgr[1]);
          ASSERT_EQ(out24[3 * x + 2], bgr[2]);
          const int word = out16[2 * x] | out16[2 * x + 1] << 8;
          ASSERT_EQ(word, ((bgr[2] & 0xF8) << 8) | ((bgr[1] & 0xFC) << 3) | (bgr[0] >> 3));
        }
        EXPECT_EQ(out24[3 * width], 0xEE) << "nothing written past the row";
        EXPECT_EQ(out16[2 * width], 0xEE);

        // Half size: 2 x 2 luma sums, chroma of two lines, paired or not.
        std::vector<uint8_t> half(3 * width + 8, 0xEE);
        ConvertRowYccHalf(s.state, y.data(), y1.data(), cb.data(), cb1.data(), cr.data(),
                          cr1.data(), width / 2, shift == 0, half.data(), 24);
        for (int x = 0; x < width / 2; ++x) {
          const int sum = y[2 * x] + y[2 * x + 1] + y1[2 * x] + y1[2 * x + 1];
          const int a = shift == 0 ? 2 * x : x, b = shift == 0 ? 2 * x + 1 : x;
          const int hb = (cb[a] + cb[b] + cb1[a] + cb1[b]) >> 2;
          const int hr = (cr[a] + cr[b] + cr1[a] + cr1[b]) >> 2;
          const int r = (sum * 1024 + (hr - 128) * 5742) >> 12;
          const int g = (sum * 1024 + (128 - hr) * 2925 + (128 - hb) * 1409) >> 12;
          const int bl = (sum * 1024 + (hb - 128) * 7258) >> 12;
          ASSERT_EQ(half[3 * x], std::clamp(bl, 0, 255));
          ASSERT_EQ(half[3 * x + 1], std::clamp(g, 0, 255));
          ASSERT_EQ(half[3 * x + 2], std::clamp(r, 0, 255));
        }
        std::vector<uint8_t> gray(width + 8, 0xEE);
        GrayRowHalf(y.data(), y1.data(), width / 2, gray.data());
        for (int x = 0; x < width / 2; ++x)
          ASSERT_EQ(gray[x], (y[2 * x] + y[2 * x + 1] + y1[2 * x] + y1[2 * x + 1]) >> 2);
        EXPECT_EQ(gray[width / 2], 0xEE);
      }
    }
  }
}

TEST(JpegTables, ColourExtremes) {
  State s;
  BuildColourTables(s.state);
  const uint8_t white[1] = {255}, black[1] = {0}, mid[1] = {128}, strong[1] = {255}, low[1] = {0};
  uint8_t out[3];
  ConvertRowYcc(s.state, white, mid, mid, 1, 0, out, 24);
  EXPECT_EQ(out[0] + out[1] + out[2], 3 * 255);
  ConvertRowYcc(s.state, black, mid, mid, 1, 0, out, 24);
  EXPECT_EQ(out[0] + out[1] + out[2], 0);
  ConvertRowYcc(s.state, mid, mid, strong, 1, 0, out, 24);
  EXPECT_EQ(out[2], 255) << "red clamps through the saturated entries";
  ConvertRowYcc(s.state, black, low, mid, 1, 0, out, 24);
  EXPECT_EQ(out[0], 0) << "blue clamps through the negative entries";
  s->flags = kFlagJpeg16Bpp;
  BuildColourTables(s.state);
  uint8_t word[2];
  ConvertRowYcc(s.state, white, mid, mid, 1, 0, word, 16);
  EXPECT_EQ(word[0] | word[1] << 8, 0xFFFF);
}

}  // namespace
