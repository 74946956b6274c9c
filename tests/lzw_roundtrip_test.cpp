// LZW encoding: encode then decode gives the page back for both variants at
// every depth; libtiff and giflib read what the encoder writes, including
// pages long enough to clear the string table many times.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/core/core.h"
#include "support/rle_lzw_pages.h"
#include "support/test_util.h"

using namespace quillon;
using namespace testutil;

namespace {

using Bytes = std::vector<uint8_t>;

// The codes of an encoded stream, read with the decoders' width rule: clear
// code 2^m, the width growing when the next code reaches 2^width (GIF) or
// 2^width - 1 (TIFF).
std::vector<uint32_t> StreamCodes(const Bytes& data, bool gif) {
  std::vector<uint32_t> codes;
  const size_t start = gif ? 2 : 0;
  const int m = gif ? data[1] : 8;
  const uint32_t clear = 1u << m, early = gif ? 0 : 1;
  int width = m + 1;
  uint32_t next = clear + 2;
  bool first = true;
  uint64_t bit = 0;
  const uint64_t bits = (data.size() - start) * 8;
  while (bit + width <= bits) {
    uint32_t code = 0;
    for (int k = 0; k < width; ++k, ++bit) {
      const uint8_t byte = data[start + bit / 8];
      const uint32_t b = gif ? (byte >> (bit % 8)) & 1 : (byte >> (7 - bit % 8)) & 1;
      code = gif ? code | (b << k) : (code << 1) | b;
    }
    codes.push_back(code);
    if (code == clear + 1) break;
    if (code == clear) {
      width = m + 1;
      next = clear + 2;
      first = true;
      continue;
    }
    if (!first && next < 4096 && ++next == (1u << width) - early && width < 12) ++width;
    first = false;
  }
  return codes;
}

// A GIF file around an encoded GIF-variant page: its minimum code size and
// code stream in sub-blocks of 255 bytes.
Bytes GifFile(const PageRecord& page) {
  const int colours = 1 << (page.bitsPerPixel == 1 ? 1 : page.bitsPerPixel);
  Bytes f = {'G', 'I', 'F', '8', '9', 'a'};
  auto u16 = [&](uint32_t v) { f.insert(f.end(), {uint8_t(v), uint8_t(v >> 8)}); };
  u16(static_cast<uint32_t>(page.width));
  u16(static_cast<uint32_t>(page.height));
  int tableBits = page.bitsPerPixel == 1 ? 1 : page.bitsPerPixel;
  f.insert(f.end(), {static_cast<uint8_t>(0x80 | (tableBits - 1)), 0, 0});
  for (int i = 0; i < colours; ++i) f.insert(f.end(), {uint8_t(i), uint8_t(i), uint8_t(i)});
  f.push_back(',');
  u16(0);
  u16(0);
  u16(static_cast<uint32_t>(page.width));
  u16(static_cast<uint32_t>(page.height));
  f.push_back(0);
  f.push_back(page.data[1]);
  for (uint32_t at = 2; at < page.dataSize; at += 255) {
    uint32_t n = std::min<uint32_t>(255, page.dataSize - at);
    f.push_back(static_cast<uint8_t>(n));
    f.insert(f.end(), page.data + at, page.data + at + n);
  }
  f.push_back(0);
  f.push_back(';');
  return f;
}

}  // namespace

TEST(LzwRoundTrip, BothVariantsEveryDepthWidthAndLineOrder) {
  const Pattern patterns[] = {Pattern::kNoise, Pattern::kRuns, Pattern::kGradient,
                              Pattern::kConstant};
  for (int variant : {int{kLzwVariantTiff}, int{kLzwVariantGif}})
    for (int bpp : {1, 4, 8, 24}) {
      if (variant == kLzwVariantGif && bpp == 24) continue;
      for (int32_t width : {1, 3, 8, 9, 31, 257})
        for (int32_t height : {1, 6})
          for (Pattern pattern : patterns)
            for (bool bottomUp : {false, true}) {
              SCOPED_TRACE("variant " + std::to_string(variant) + " bpp " + std::to_string(bpp) +
                           " width " + std::to_string(width) + " height " + std::to_string(height) +
                           (bottomUp ? " bottom-up" : ""));
              const Bytes rows = PatternRows(width, height, bpp, pattern, 3);
              Page original;
              MakeDecodedPage(width, height, bpp, rows, &original, bottomUp);
              Page encoded;
              encoded->compression = static_cast<int8_t>(variant == kLzwVariantTiff ? kLzwTiff : kLzwGif);
              ASSERT_EQ(ConvertPage(original.get(), encoded.get(), 0), kOk);
              // Bilevel TIFF rows are coded white-is-one; a TIFF page's
              // photometric is the file's, here BlackIsZero, as the TIFF
              // writer records it and the reader hands it back.
              if (variant == kLzwVariantTiff && bpp == 1) encoded->photometric = 1;
              Page decoded;
              ASSERT_EQ(DecodeToPixels(encoded.get(), &decoded), kOk);
              EXPECT_EQ(MaskPadding(PageRows(decoded.record), width, height, bpp),
                        MaskPadding(rows, width, height, bpp));
            }
    }
}

TEST(LzwRoundTrip, GifBilevelPagesStartWithThreeBitCodes) {
  const Bytes rows = PatternRows(40, 30, 1, Pattern::kRuns, 1);
  Page original;
  MakeDecodedPage(40, 30, 1, rows, &original);
  Page encoded;
  encoded->compression = kLzwGif;
  ASSERT_EQ(ConvertPage(original.get(), encoded.get(), 0), kOk);
  Bytes data(encoded->data, encoded->data + encoded->dataSize);
  ASSERT_GE(data.size(), 3u);
  EXPECT_EQ(data[0], 0);  // not interlaced
  EXPECT_EQ(data[1], 2);  // minimum code size: clear 4, end 5
  EXPECT_EQ(data[2] & 7, 4);
  std::vector<uint32_t> codes = StreamCodes(data, true);
  ASSERT_GE(codes.size(), 3u);
  EXPECT_EQ(codes.front(), 4u);
  EXPECT_EQ(codes.back(), 5u);
}

TEST(LzwRoundTrip, TheEndCodeHasTheWidthTheDecoderExpects) {
  // Pages of every length up to a few hundred codes: some end just where
  // the last code's table entry widens the codes.
  for (int variant : {int{kLzwVariantTiff}, int{kLzwVariantGif}})
    for (int bpp : {1, 8})
      for (int32_t width = 1; width <= 1100; width += (bpp == 8 ? 1 : 7)) {
        const Bytes rows = PatternRows(width, 1, bpp, Pattern::kNoise, static_cast<uint32_t>(width));
        Page original;
        MakeDecodedPage(width, 1, bpp, rows, &original);
        Page encoded;
        encoded->compression = static_cast<int8_t>(variant == kLzwVariantTiff ? kLzwTiff : kLzwGif);
        ASSERT_EQ(ConvertPage(original.get(), encoded.get(), 0), kOk);
        const bool gif = variant == kLzwVariantGif;
        std::vector<uint32_t> codes =
            StreamCodes(Bytes(encoded->data, encoded->data + encoded->dataSize), gif);
        const uint32_t clear = gif ? (bpp == 1 ? 4u : 256u) : 256u;
        ASSERT_FALSE(codes.empty());
        EXPECT_EQ(codes.front(), clear);
        EXPECT_EQ(codes.back(), clear + 1) << variant << " bpp " << bpp << " width " << width;
      }
}

TEST(LzwPeers, GiflibReadsTheGifTheEncoderWrites) {
  for (int bpp : {1, 4, 8})
    for (Pattern pattern : {Pattern::kNoise, Pattern::kRuns}) {
      // Noise at 8 bits fills the table about every 4000 codes.
      const int32_t width = 401, height = 150;
      Bytes rows = PatternRows(width, height, bpp, pattern, 9);
      Page original;
      MakeDecodedPage(width, height, bpp, rows, &original);
      Page encoded;
      encoded->compression = kLzwGif;
      ASSERT_EQ(ConvertPage(original.get(), encoded.get(), 0), kOk);
      Bytes file = GifFile(encoded.record);
      std::vector<Bytes> images = GiflibDecode(file);
      ASSERT_EQ(images.size(), 1u) << bpp;
      // Back to packed rows to compare.
      Bytes packed(rows.size(), 0);
      const uint32_t rowBytes = RowBytes(width, bpp);
      for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
          uint8_t v = images[0][static_cast<size_t>(y) * width + x];
          uint8_t* row = packed.data() + static_cast<size_t>(y) * rowBytes;
          if (bpp == 1) row[x >> 3] |= static_cast<uint8_t>((v & 1) << (7 - (x & 7)));
          else if (bpp == 4) row[x >> 1] |= static_cast<uint8_t>((x & 1) ? v : v << 4);
          else row[x] = v;
        }
      EXPECT_EQ(packed, MaskPadding(rows, width, height, bpp)) << bpp;
    }
}

TEST(LzwPeers, LibtiffReadsTheLzwTheEncoderWrites) {
  TempDir dir;
  for (int bpp : {1, 4, 8, 24}) {
    const int32_t width = 517, height = 61;
    const Bytes rows = PatternRows(width, height, bpp, Pattern::kNoise, 7);
    Page original;
    MakeDecodedPage(width, height, bpp, rows, &original);
    Page encoded;
    encoded->compression = kLzwTiff;
    ASSERT_EQ(ConvertPage(original.get(), encoded.get(), 0), kOk);
    const std::string path = dir.Path("lzw" + std::to_string(bpp) + ".tif");
    const Bytes expected = LibtiffDecodeRawStrip(path, width, height, bpp, COMPRESSION_LZW,
                                                 encoded->data, encoded->dataSize);
    EXPECT_EQ(MaskPadding(expected, width, height, bpp), MaskPadding(rows, width, height, bpp))
        << bpp;
  }
}

TEST(LzwRoundTrip, IncompressiblePagesFitTheirOutput) {
  // Noise costs about 12 bits a byte once the table is full.
  const int32_t width = 2000, height = 40;
  for (int variant : {int{kLzwVariantTiff}, int{kLzwVariantGif}}) {
    const Bytes rows = PatternRows(width, height, 8, Pattern::kNoise, 21);
    Page original;
    MakeDecodedPage(width, height, 8, rows, &original);
    Page encoded;
    encoded->compression = static_cast<int8_t>(variant == kLzwVariantTiff ? kLzwTiff : kLzwGif);
    ASSERT_EQ(ConvertPage(original.get(), encoded.get(), 0), kOk);
    EXPECT_GT(encoded->dataSize, static_cast<uint32_t>(width * height));
    Page decoded;
    ASSERT_EQ(DecodeToPixels(encoded.get(), &decoded), kOk);
    EXPECT_EQ(PageRows(decoded.record), rows);
  }
  Page original;
  MakeDecodedPage(4, 1, 24, Bytes(12, 1), &original);
  PageRecord out = original.record;
  EXPECT_EQ(EncodeLzw(original.get(), &out, kLzwVariantGif), kErrParameter);
}
