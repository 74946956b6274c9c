// The row coders of the run-length schemes: the greedy splits on the cases
// that catch faults, and random rows decoded by small reference decoders
// written here from the formats' definitions.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/codecs/runlength.h"

using namespace quillon;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Code(uint8_t* (*coder)(const uint8_t*, uint8_t*, uint32_t), const Bytes& row) {
  Bytes out(2 * row.size() + 8, 0xEE);
  uint8_t* end = coder(row.data(), out.data(), static_cast<uint32_t>(row.size()));
  out.resize(static_cast<size_t>(end - out.data()));
  return out;
}

Bytes Pcx(const Bytes& row, uint32_t count, uint32_t stride) {
  Bytes out(2 * count + 8, 0xEE);
  out.resize(static_cast<size_t>(PcxRow(row.data(), out.data(), count, stride) - out.data()));
  return out;
}

// PackBits as TIFF defines it.
Bytes UnpackBits(const Bytes& code) {
  Bytes out;
  for (size_t i = 0; i < code.size();) {
    int n = static_cast<int8_t>(code[i++]);
    if (n >= 0) {
      out.insert(out.end(), code.begin() + static_cast<ptrdiff_t>(i),
                 code.begin() + static_cast<ptrdiff_t>(i + n + 1));
      i += static_cast<size_t>(n) + 1;
    } else if (n != -128) {
      out.insert(out.end(), static_cast<size_t>(1 - n), code[i++]);
    }
  }
  return out;
}

// PCX run-length coding.
Bytes UnPcx(const Bytes& code) {
  Bytes out;
  for (size_t i = 0; i < code.size(); ++i) {
    if (code[i] >= 0xC0) {
      out.insert(out.end(), code[i] & 0x3F, code[i + 1]);
      ++i;
    } else {
      out.push_back(code[i]);
    }
  }
  return out;
}

// One BMP RLE line (no escapes other than absolute mode); RLE4 counts are
// pixels, two to a byte.
Bytes UnRle(const Bytes& code, bool rle4) {
  std::vector<uint8_t> pixels;
  for (size_t i = 0; i < code.size(); i += 2) {
    uint8_t n = code[i], v = code[i + 1];
    if (n > 0) {
      for (int k = 0; k < n; ++k)
        pixels.push_back(rle4 ? ((k & 1) ? (v & 0x0F) : (v >> 4)) : v);
      continue;
    }
    EXPECT_GE(v, 3) << "only absolute mode escapes inside a row";
    size_t bytes = rle4 ? (v + 1u) / 2 : v;
    for (size_t k = 0; k < v; ++k) {
      uint8_t b = code[i + 2 + (rle4 ? k / 2 : k)];
      pixels.push_back(rle4 ? ((k & 1) ? (b & 0x0F) : (b >> 4)) : b);
    }
    i += bytes + (bytes & 1);
  }
  if (!rle4) return pixels;
  Bytes out((pixels.size() + 1) / 2, 0);
  for (size_t k = 0; k < pixels.size(); ++k)
    out[k / 2] |= static_cast<uint8_t>((k & 1) ? pixels[k] : pixels[k] << 4);
  return out;
}

// Rows that mix runs of every length with literal stretches.
Bytes RandomRow(std::mt19937& rng, size_t length) {
  Bytes row;
  std::uniform_int_distribution<int> kind(0, 3), value(0, 255), run(1, 300);
  while (row.size() < length) {
    int k = kind(rng);
    size_t n = std::min<size_t>(k == 0 ? 1 : k == 1 ? 2 : static_cast<size_t>(run(rng)),
                                length - row.size());
    if (k == 3) {
      for (size_t i = 0; i < n; ++i) row.push_back(static_cast<uint8_t>(value(rng)));
    } else {
      row.insert(row.end(), n, static_cast<uint8_t>(value(rng) | (k == 2 ? 0xC0 : 0)));
    }
  }
  return row;
}

}  // namespace

TEST(PackBitsRow, GreedySplitOfRunsAndLiterals) {
  EXPECT_EQ(Code(PackBitsRow, {0x41, 0x41, 0x41, 0x42}), (Bytes{0xFE, 0x41, 0x00, 0x42}));
  EXPECT_EQ(Code(PackBitsRow, {0x41, 0x42, 0x43, 0x44}),
            (Bytes{0x02, 0x41, 0x42, 0x43, 0x00, 0x44}));
  EXPECT_EQ(Code(PackBitsRow, {0x41, 0x43, 0x43}), (Bytes{0x00, 0x41, 0xFF, 0x43}));
  EXPECT_EQ(Code(PackBitsRow, Bytes(300, 0x7A)),
            (Bytes{0x81, 0x7A, 0x81, 0x7A, 0xD5, 0x7A}));
  // 129 equal bytes: 128 in one run, the last one as a literal.
  EXPECT_EQ(Code(PackBitsRow, Bytes(129, 5)), (Bytes{0x81, 5, 0x00, 5}));
  EXPECT_EQ(Code(PackBitsRow, {9}), (Bytes{0x00, 9}));
  EXPECT_EQ(Code(PackBitsRow, {}), Bytes{});
}

TEST(PackBitsRow, LongLiteralStretchesComeIn128BytePieces) {
  Bytes row(300);
  for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>(i * 7);
  Bytes code = Code(PackBitsRow, row);
  // 299 bytes as 128 + 128 + 43, then the last byte alone.
  ASSERT_EQ(code.size(), 300u + 4);
  EXPECT_EQ(code[0], 0x7F);
  EXPECT_EQ(code[129], 0x7F);
  EXPECT_EQ(code[258], 42);
  EXPECT_EQ(code[302], 0x00);
  EXPECT_EQ(UnpackBits(code), row);
}

TEST(PackBitsRow, RandomRowsDecodeBackWithinTwiceTheirSize) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 400; ++trial) {
    Bytes row = RandomRow(rng, 1 + trial * 3);
    Bytes code = Code(PackBitsRow, row);
    EXPECT_EQ(UnpackBits(code), row);
    EXPECT_LE(code.size(), RowCoderWorstCase(row.size()));
  }
  // The greedy split's worst case: single literals between pairs.
  Bytes worst;
  for (int i = 0; i < 100; ++i) worst.insert(worst.end(), {uint8_t(i), uint8_t(i + 100), uint8_t(i + 100)});
  Bytes code = Code(PackBitsRow, worst);
  EXPECT_EQ(code.size(), worst.size() / 3 * 4);
  EXPECT_EQ(UnpackBits(code), worst);
}

TEST(PcxRow, RunsOf63AndBytesThatLookLikeCounts) {
  EXPECT_EQ(Pcx(Bytes(100, 0x20), 100, 1), (Bytes{0xFF, 0x20, 0xE5, 0x20}));
  EXPECT_EQ(Pcx({0xC5}, 1, 1), (Bytes{0xC1, 0xC5}));
  EXPECT_EQ(Pcx({0x41}, 1, 1), (Bytes{0x41}));
  EXPECT_EQ(Pcx(Bytes(63, 7), 63, 1), (Bytes{0xFF, 7}));
  EXPECT_EQ(Pcx(Bytes(64, 7), 64, 1), (Bytes{0xFF, 7, 7}));
  // Every third byte: one plane of a 24-bit row.
  Bytes rgb = {1, 2, 3, 1, 5, 6, 9, 8, 9};
  EXPECT_EQ(Pcx(rgb, 3, 3), (Bytes{0xC2, 1, 9}));
  EXPECT_EQ(Pcx(Bytes(rgb.begin() + 2, rgb.end()), 3, 3), (Bytes{3, 6, 9}));
}

TEST(PcxRow, RandomRowsDecodeBackWithinTwiceTheirSize) {
  std::mt19937 rng(12);
  for (int trial = 0; trial < 300; ++trial) {
    Bytes row = RandomRow(rng, 1 + trial * 5);
    Bytes code = Pcx(row, static_cast<uint32_t>(row.size()), 1);
    EXPECT_EQ(UnPcx(code), row);
    EXPECT_LE(code.size(), RowCoderWorstCase(row.size()));
  }
}

TEST(Rle8Row, RunsLiteralsAndPadding) {
  EXPECT_EQ(Code(Rle8Row, {0x41, 0x42, 0x43, 0x44, 0x44}),
            (Bytes{0x00, 0x03, 0x41, 0x42, 0x43, 0x00, 0x02, 0x44}));
  // Fewer than three literal bytes are single-pixel runs; a row's last
  // byte after a literal stretch stands alone.
  EXPECT_EQ(Code(Rle8Row, {1, 2, 3, 3}), (Bytes{1, 1, 1, 2, 2, 3}));
  EXPECT_EQ(Code(Rle8Row, {1, 2, 2}), (Bytes{1, 1, 2, 2}));
  EXPECT_EQ(Code(Rle8Row, {1, 2}), (Bytes{1, 1, 1, 2}));
  EXPECT_EQ(Code(Rle8Row, Bytes(600, 9)), (Bytes{255, 9, 255, 9, 90, 9}));
  EXPECT_EQ(Code(Rle8Row, Bytes(256, 9)), (Bytes{255, 9, 1, 9}));
}

TEST(Rle4Row, CountsArePixelsTwoToAByte) {
  EXPECT_EQ(Code(Rle4Row, {0x12, 0x12, 0x12}), (Bytes{6, 0x12}));
  EXPECT_EQ(Code(Rle4Row, {0x12}), (Bytes{2, 0x12}));
  EXPECT_EQ(Code(Rle4Row, {0x12, 0x34}), (Bytes{2, 0x12, 2, 0x34}));
  EXPECT_EQ(Code(Rle4Row, {0x12, 0x34, 0x56}), (Bytes{0x00, 4, 0x12, 0x34, 2, 0x56}));
  EXPECT_EQ(Code(Rle4Row, {0x12, 0x34, 0x56, 0x78}),
            (Bytes{0x00, 6, 0x12, 0x34, 0x56, 0x00, 2, 0x78}));
  EXPECT_EQ(Code(Rle4Row, Bytes(300, 0xAB)), (Bytes{254, 0xAB, 254, 0xAB, 92, 0xAB}));
}

TEST(BmpRowCoders, RandomRowsDecodeBackWithinTwiceTheirSize) {
  std::mt19937 rng(13);
  for (int trial = 0; trial < 300; ++trial) {
    Bytes row = RandomRow(rng, 1 + trial * 4);
    Bytes code8 = Code(Rle8Row, row);
    Bytes code4 = Code(Rle4Row, row);
    EXPECT_EQ(UnRle(code8, false), row);
    EXPECT_EQ(UnRle(code4, true), row);
    EXPECT_LE(code8.size(), RowCoderWorstCase(row.size()));
    EXPECT_LE(code4.size(), RowCoderWorstCase(row.size()));
  }
}

TEST(SwapRedBlue, SwapsTheOuterBytesOfEveryPixel) {
  Bytes row = {1, 2, 3, 4, 5, 6, 7};
  SwapRedBlue(row.data(), 2);
  EXPECT_EQ(row, (Bytes{3, 2, 1, 6, 5, 4, 7}));
  // Every length around the eight-pixel blocks, and nothing past the last
  // pixel touched.
  std::mt19937 rng(3);
  for (uint32_t pixels = 0; pixels <= 41; ++pixels) {
    Bytes data(3 * pixels + 5);
    for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
    Bytes expected = data;
    for (uint32_t i = 0; i < pixels; ++i) std::swap(expected[3 * i], expected[3 * i + 2]);
    SwapRedBlue(data.data(), pixels);
    EXPECT_EQ(data, expected) << pixels;
  }
}
