// Run-length encoders: encode then decode gives the page back at every
// depth each scheme supports, from top-down and bottom-up pages; libtiff
// reads the PackBits the encoder writes; sources are only read.
#include <gtest/gtest.h>
#include <sys/mman.h>
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

struct Scheme {
  int code;
  std::vector<int> depths;
  const char* name;
};

const std::vector<Scheme> kSchemes = {
    {kPackBits, {1, 4, 8, 24}, "PackBits"},
    {kPcxRle, {1, 4, 8, 24}, "PCX"},
    {kBmpRle, {4, 8}, "BMP RLE"},
};

}  // namespace

TEST(RleRoundTrip, EveryDepthWidthAndLineOrder) {
  const Pattern patterns[] = {Pattern::kNoise, Pattern::kRuns, Pattern::kGradient,
                              Pattern::kConstant, Pattern::kAlternating};
  for (const Scheme& scheme : kSchemes)
    for (int bpp : scheme.depths)
      for (int32_t width : {1, 2, 7, 9, 33, 130, 301})
        for (int32_t height : {1, 5})
          for (Pattern pattern : patterns)
            for (bool bottomUp : {false, true}) {
              SCOPED_TRACE(std::string(scheme.name) + " bpp " + std::to_string(bpp) + " width " +
                           std::to_string(width) + " height " + std::to_string(height) +
                           " pattern " + std::to_string(static_cast<int>(pattern)) +
                           (bottomUp ? " bottom-up" : ""));
              const Bytes rows = PatternRows(width, height, bpp, pattern, static_cast<uint32_t>(width));
              Page original;
              MakeDecodedPage(width, height, bpp, rows, &original, bottomUp);
              Page encoded;
              encoded->compression = static_cast<int8_t>(scheme.code);
              ASSERT_EQ(ConvertPage(original.get(), encoded.get(), 0), kOk);
              ASSERT_EQ(encoded->compression, scheme.code);
              ASSERT_EQ(encoded->dataOwnership, kOwnedByPage);
              Page decoded;
              ASSERT_EQ(DecodeToPixels(encoded.get(), &decoded), kOk);
              EXPECT_EQ(MaskPadding(PageRows(decoded.record), width, height, bpp),
                        MaskPadding(rows, width, height, bpp));
            }
}

TEST(RleRoundTrip, WorstCaseRowsFitTheirOutput) {
  // Rows that expand most under each scheme: single literals between pairs
  // (PackBits, BMP), bytes of 0xC0 and more standing alone (PCX).
  const int32_t width = 3000, height = 3;
  Bytes rows = PatternRows(width, height, 8, Pattern::kAlternating, 0);
  for (const Scheme& scheme : kSchemes) {
    Page original;
    MakeDecodedPage(width, height, 8, rows, &original);
    Page encoded;
    encoded->compression = static_cast<int8_t>(scheme.code);
    ASSERT_EQ(ConvertPage(original.get(), encoded.get(), 0), kOk) << scheme.name;
    EXPECT_GT(encoded->dataSize, static_cast<uint32_t>(width * height)) << scheme.name;
    Page decoded;
    ASSERT_EQ(DecodeToPixels(encoded.get(), &decoded), kOk) << scheme.name;
    EXPECT_EQ(PageRows(decoded.record), rows) << scheme.name;
  }
}

TEST(RleRoundTrip, BmpRle4OddWidthCodesItsPaddingPixelAsZero) {
  // The source's unused low nibble holds garbage; the page decodes back
  // with it cleared and every pixel in place.
  const int32_t width = 5, height = 3;
  Bytes rows = {0x12, 0x34, 0x5F, 0x67, 0x89, 0xAF, 0xBB, 0xBB, 0xBF};
  Page original;
  MakeDecodedPage(width, height, 4, rows, &original);
  Page encoded;
  encoded->compression = kBmpRle;
  ASSERT_EQ(ConvertPage(original.get(), encoded.get(), 0), kOk);
  Page decoded;
  ASSERT_EQ(DecodeToPixels(encoded.get(), &decoded), kOk);
  EXPECT_EQ(PageRows(decoded.record), (Bytes{0x12, 0x34, 0x50, 0x67, 0x89, 0xA0, 0xBB, 0xBB, 0xB0}));
}

TEST(RleRoundTrip, EncodersOnlyReadTheirSource) {
  // A 24-bit page in read-only memory, starting past the buffer's start as
  // pages that share a file view do.
  const int32_t width = 37, height = 9;
  const uint32_t stride = BytesPerLine(width, 24);
  const size_t size = 7 + static_cast<size_t>(stride) * height;
  void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(memory, MAP_FAILED);
  auto* bytes = static_cast<uint8_t*>(memory);
  Bytes rows = PatternRows(width, height, 24, Pattern::kGradient, 1);
  for (int32_t y = 0; y < height; ++y)
    std::memcpy(bytes + 7 + static_cast<size_t>(y) * stride, rows.data() + static_cast<size_t>(y) * 3 * width,
                3 * static_cast<size_t>(width));
  ASSERT_EQ(mprotect(memory, size, PROT_READ), 0);
  PageRecord source{};
  source.width = width;
  source.height = height;
  source.bitsPerPixel = 24;
  source.compression = kUncompressed;
  source.data = bytes;
  source.dataOffset = 7;
  source.dataSize = static_cast<uint32_t>(size - 7);
  source.bytesPerLine = stride;
  source.layoutFlags = kLayoutTopDown;
  for (int code : {int{kPackBits}, int{kPcxRle}, int{kLzwTiff}}) {
    PageRecord encoded = source;
    encoded.compression = static_cast<int8_t>(code);
    int32_t result = code == kPackBits ? EncodePackBits(&source, &encoded)
                     : code == kPcxRle ? EncodePcx(&source, &encoded)
                                       : EncodeLzw(&source, &encoded, kLzwVariantTiff);
    ASSERT_EQ(result, kOk) << code;
    Page decoded;
    ASSERT_EQ(DecodeToPixels(&encoded, &decoded), kOk) << code;
    EXPECT_EQ(PageRows(decoded.record), rows) << code;
    Release(encoded.data);
  }
  munmap(memory, size);
}

TEST(RleRoundTrip, UnsupportedDepthsAndShortSourcesAreRefused) {
  Page original;
  MakeDecodedPage(8, 2, 8, Bytes(16, 1), &original);
  original->bitsPerPixel = 16;
  PageRecord out = original.record;
  EXPECT_EQ(EncodePackBits(original.get(), &out), kErrParameter);
  EXPECT_EQ(EncodePcx(original.get(), &out), kErrParameter);
  EXPECT_EQ(EncodeBmpRle(original.get(), &out), kErrParameter);
  original->bitsPerPixel = 24;
  EXPECT_EQ(EncodeBmpRle(original.get(), &out), kErrParameter);
  // Lines that would reach past the data are not read.
  original->bitsPerPixel = 8;
  original->dataSize = 9;
  EXPECT_EQ(EncodePackBits(original.get(), &out), kErrParameter);
  EXPECT_EQ(out.data, original->data);
}

TEST(RlePeers, LibtiffReadsThePackBitsTheEncoderWrites) {
  TempDir dir;
  for (int bpp : {1, 4, 8, 24}) {
    const int32_t width = 213, height = 17;
    const Bytes rows = PatternRows(width, height, bpp, Pattern::kRuns, 5);
    Page original;
    MakeDecodedPage(width, height, bpp, rows, &original);
    Page encoded;
    encoded->compression = kPackBits;
    ASSERT_EQ(ConvertPage(original.get(), encoded.get(), 0), kOk);
    const std::string path = dir.Path("packbits" + std::to_string(bpp) + ".tif");
    const Bytes expected = LibtiffDecodeRawStrip(path, width, height, bpp, COMPRESSION_PACKBITS,
                                                 encoded->data, encoded->dataSize);
    EXPECT_EQ(MaskPadding(expected, width, height, bpp), MaskPadding(rows, width, height, bpp))
        << bpp;
  }
}
