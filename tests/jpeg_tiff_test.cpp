// JPEG inside TIFF (compression 7 as libtiff writes it): abbreviated strips
// decoded with the page's tables stream, each strip's lines in place,
// against libtiff's own decode.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/core/core.h"
#include "imaging/core/readers.h"
#include "imaging/core/tiff.h"
#include "support/jpeg_peer.h"
#include "support/test_util.h"

using namespace quillon;
using testutil::Image;

namespace {

// The page of a TIFF file as the striped-JPEG convention hands it over:
// strips as the directory gives them, the JPEGTables field's bytes as
// data + dataOffset and dataSize.
struct TiffJpegPage {
  std::vector<uint8_t> file;
  testutil::Page page;
  int32_t result;
  explicit TiffJpegPage(const std::string& name)
      : file(testutil::JpegFixture(name)) {
    const Bytes f{file.data(), file.size()};
    const bool big = TiffBigEndian(f);
    const uint32_t directory = f.U32(4, big);
    result = ReadTiffDirectory(file.data(), static_cast<uint32_t>(file.size()), directory, page.get());
    // The reader hands JPEG strips over as the decoder takes them: strip
    // tables even for one strip, the JPEGTables bytes at data + dataOffset.
    (void)big;
  }
};

Image Decode(TiffJpegPage& tiff, int32_t flags) {
  Image image;
  testutil::Page out;
  out->compression = kUncompressed;
  image.result = ConvertPage(tiff.page.get(), out.get(), flags);
  if (image.result != kOk) return image;
  image.width = out->width;
  image.height = out->height;
  image.channels = out->bitsPerPixel / 8;  // 16 bpp: the words' two bytes
  for (int y = 0; y < out->height; ++y)
    for (int x = 0; x < out->width; ++x) {
      const uint8_t* p = out->data + y * out->bytesPerLine + x * image.channels;
      if (image.channels == 3) image.pixels.insert(image.pixels.end(), {p[2], p[1], p[0]});
      else image.pixels.insert(image.pixels.end(), p, p + image.channels);
    }
  return image;
}

struct Case {
  const char* name;
  int channels;
};

TEST(JpegTiff, StripsDecodeWithTheSharedTables) {
  for (const Case& c : {Case{"tiff-strips.tif", 3}, Case{"tiff-one-strip.tif", 3},
                        Case{"tiff-gray-strips.tif", 1}, Case{"tiff-rgb-strips.tif", 3}}) {
    TiffJpegPage tiff(c.name);
    ASSERT_EQ(tiff.result, kOk) << c.name;
    ASSERT_EQ(tiff.page->compression, kJpeg);
    const Image ours = Decode(tiff, 0);
    ASSERT_EQ(ours.result, kOk) << c.name;
    EXPECT_EQ(ours.width, 112);
    EXPECT_EQ(ours.height, 80);
    const Image theirs = testutil::PeerTiffDecode(testutil::DataPath("jpeg/" + std::string(c.name)), c.channels);
    ASSERT_EQ(theirs.result, 0);
    // libtiff upsamples chroma by interpolation; we replicate it.
    EXPECT_GE(testutil::Psnr(ours, theirs), 38) << c.name;

    const Image half = Decode(tiff, kFlagJpegHalf);
    ASSERT_EQ(half.result, kOk);
    EXPECT_EQ(half.width, 56);
    EXPECT_EQ(half.height, 40);
    EXPECT_GE(testutil::Psnr(half, testutil::Halve(theirs)), 36) << c.name;
    const Image eighth = Decode(tiff, kFlagJpegEighth | kFlagJpeg16Bpp);
    ASSERT_EQ(eighth.result, kOk);
    EXPECT_EQ(eighth.width, 14);
    EXPECT_EQ(eighth.height, 10);
  }
}

TEST(JpegTiff, StripsWithoutTablesOrCutShort) {
  TiffJpegPage tiff("tiff-strips.tif");
  ASSERT_EQ(tiff.result, kOk);
  const Image full = Decode(tiff, 0);
  ASSERT_EQ(full.result, kOk);

  // Strip 3 of 5 cut to a few bytes: the first three strips stay.
  ASSERT_EQ(tiff.page->stripCount, 5);
  const uint32_t kept = tiff.page->stripByteCounts[2];
  tiff.page->stripByteCounts[2] = 40;
  EXPECT_EQ(Decode(tiff, 0).result, kErrDecompress);
  const Image partial = Decode(tiff, kFlagKeepPartial);
  ASSERT_EQ(partial.result, kOk);
  const size_t row = 112 * 3;
  EXPECT_EQ(std::vector<uint8_t>(partial.pixels.begin(), partial.pixels.begin() + 32 * row),
            std::vector<uint8_t>(full.pixels.begin(), full.pixels.begin() + 32 * row));
  for (size_t i = 48 * row; i < partial.pixels.size(); ++i) ASSERT_EQ(partial.pixels[i], 0) << i;
  tiff.page->stripByteCounts[2] = kept;

  // A tables stream that holds a whole picture is not taken for tables.
  const std::vector<uint8_t> other = testutil::JpegFixture("gray.jpg");
  const uint32_t tablesOffset = tiff.page->dataOffset, tablesSize = tiff.page->dataSize;
  tiff.file.insert(tiff.file.end(), other.begin(), other.end());
  tiff.page->data = tiff.file.data();
  tiff.page->dataOffset = static_cast<uint32_t>(tiff.file.size() - other.size());
  tiff.page->dataSize = static_cast<uint32_t>(other.size());
  EXPECT_NE(Decode(tiff, 0).result, kOk);
  // No tables at all.
  tiff.page->dataSize = 0;
  EXPECT_NE(Decode(tiff, 0).result, kOk);
  tiff.page->dataOffset = tablesOffset;
  tiff.page->dataSize = tablesSize;
  EXPECT_EQ(Decode(tiff, 0).pixels, full.pixels);
}

}  // namespace
