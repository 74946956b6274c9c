// LZW files end to end: OpenImageFile, ExtractPage and ConvertPage (and
// `quillon render`) on GIF and TIFF files made by general tools, every GIF
// frame against giflib and every TIFF page against libtiff.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/core/core.h"
#include "support/pnm.h"
#include "support/rle_lzw_pages.h"
#include "support/test_util.h"

using namespace quillon;
using namespace testutil;

namespace {

using Bytes = std::vector<uint8_t>;

void ExpectSameRgb(const Rgb& ours, const Rgb& reference, const std::string& what) {
  std::string where;
  int worst = MaxDifference(ours, reference, 0, &where);
  EXPECT_EQ(worst, 0) << what << " " << ours.width << "x" << ours.height << " vs "
                      << reference.width << "x" << reference.height << " " << where;
}

// Every frame of a GIF through the reader and the decoder, against giflib.
void ExpectGifFramesMatch(const std::string& path, int32_t frames) {
  OpenedFile f(path);
  ASSERT_EQ(f.result, kOk) << path;
  ASSERT_EQ(f.file.pageCount, frames) << path;
  const Bytes file = ReadFileBytes(path);
  for (int32_t i = 0; i < frames; ++i) {
    Page page;
    ASSERT_EQ(ExtractPage(&f.file, page.get(), i), kOk) << path << " frame " << i;
    EXPECT_EQ(page->compression, kLzwGif);
    Page decoded;
    ASSERT_EQ(DecodeToPixels(page.get(), &decoded), kOk) << path << " frame " << i;
    ExpectSameRgb(PageToRgb(decoded.record), GiflibRgb(file, i),
                  path + " frame " + std::to_string(i));
  }
}

// Page `directory` of a TIFF through the reader and the decoder, against
// libtiff's rows.
void ExpectTiffPageMatches(const std::string& path, int32_t directory, int code) {
  OpenedFile f(path);
  ASSERT_EQ(f.result, kOk) << path;
  Page page;
  ASSERT_EQ(ExtractPage(&f.file, page.get(), directory), kOk) << path;
  EXPECT_EQ(page->compression, code) << path;
  Page decoded;
  ASSERT_EQ(DecodeToPixels(page.get(), &decoded), kOk) << path;
  const PageRecord& r = decoded.record;
  const uint32_t rowBytes = RowBytes(r.width, r.bitsPerPixel);
  Bytes expected = LibtiffDecode(path, directory);
  ASSERT_EQ(expected.size(), static_cast<size_t>(rowBytes) * r.height) << path;
  if (r.bitsPerPixel == 24)
    for (int32_t y = 0; y < r.height; ++y)
      SwapRedBlue(expected.data() + static_cast<size_t>(y) * rowBytes, static_cast<uint32_t>(r.width));
  if (r.bitsPerPixel == 1 && r.photometric == 1)
    for (uint8_t& b : expected) b = static_cast<uint8_t>(~b);
  Page reference;
  MakeDecodedPage(r.width, r.height, r.bitsPerPixel, expected, &reference);
  EXPECT_EQ(PageRows(r), PageRows(reference.record)) << path;
}

}  // namespace

TEST(LzwFiles, EveryGifFrameMatchesGiflib) {
  ExpectGifFramesMatch(DataPath("lzw/bilevel.gif"), 1);
  ExpectGifFramesMatch(DataPath("lzw/chart16.gif"), 1);
  ExpectGifFramesMatch(DataPath("lzw/photo-interlaced.gif"), 1);
  ExpectGifFramesMatch(DataPath("lzw/pillow.gif"), 1);
  ExpectGifFramesMatch(DataPath("lzw/anim.gif"), 3);
  ExpectGifFramesMatch(SamplePath("chart.gif"), 1);
  ExpectGifFramesMatch(SamplePath("photo-interlaced.gif"), 1);
  ExpectGifFramesMatch(SamplePath("spinner.gif"), 4);
}

TEST(LzwFiles, EveryLzwTiffPageMatchesLibtiff) {
  for (const char* name : {"lzw-gray.tif", "lzw-gray-pred-strips.tif", "lzw-rgb-strips.tif",
                           "lzw-rgb-pred.tif", "lzw-bilevel-strips.tif", "lzw-palette4.tif"})
    ExpectTiffPageMatches(DataPath(std::string("lzw/") + name), 0, kLzwTiff);
  ExpectTiffPageMatches(SamplePath("scan-lzw.tif"), 0, kLzwTiff);
  ExpectTiffPageMatches(SamplePath("pages-bigendian.tif"), 2, kLzwTiff);
}

TEST(LzwFiles, RenderShowsGifAndLzwTiffPages) {
  TempDir dir;
  for (const char* name : {"lzw/chart16.gif", "lzw/photo-interlaced.gif"}) {
    const std::string out = dir.Path("out.ppm");
    const std::string command = std::string(QUILLON_TOOL) + " render '" + DataPath(name) +
                                "' --out '" + out + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    ExpectSameRgb(ReadPnm(out), GiflibRgb(ReadFileBytes(DataPath(name)), 0), name);
  }
  // A gray LZW page with the predictor: its pixels are the gray levels.
  const std::string path = SamplePath("scan-lzw.tif");
  const std::string out = dir.Path("scan.ppm");
  const std::string command =
      std::string(QUILLON_TOOL) + " render '" + path + "' --out '" + out + "' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  Rgb ours = ReadPnm(out);
  Bytes gray = LibtiffDecode(path);
  Rgb reference;
  reference.width = ours.width;
  reference.height = ours.height;
  for (uint8_t v : gray) reference.pixels.insert(reference.pixels.end(), {v, v, v});
  ExpectSameRgb(ours, reference, path);
}
