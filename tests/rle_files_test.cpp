// Run-length files end to end: OpenImageFile, ExtractPage and ConvertPage
// (and `quillon render`) on PCX, DCX, run-length BMP and PackBits TIFF files
// made by general tools, against the tools' own decodes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
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

// Page `index` of `path` decoded to pixels (run lists for 1 bpp).
int32_t DecodeFilePage(const std::string& path, int32_t index, Page* decoded,
                       int* compression = nullptr) {
  OpenedFile f(path);
  if (f.result != kOk) return f.result;
  Page page;
  int32_t result = ExtractPage(&f.file, page.get(), index);
  if (result != kOk) return result;
  if (compression) *compression = page->compression;
  return DecodeToPixels(page.get(), decoded);
}

void ExpectSameRgb(const Rgb& ours, const Rgb& reference, const std::string& what) {
  std::string where;
  int worst = MaxDifference(ours, reference, 0, &where);
  EXPECT_EQ(worst, 0) << what << " " << ours.width << "x" << ours.height << " vs "
                      << reference.width << "x" << reference.height << " " << where;
}

}  // namespace

TEST(RleFiles, PcxDcxAndBmpFixturesMatchTheToolsDecode) {
  struct Case {
    const char* file;
    int32_t page;
    const char* reference;
    int code;
  };
  const Case cases[] = {
      {"pcx1.pcx", 0, "pcx1.ppm", kPcxRle},        {"pcx8.pcx", 0, "pcx8.ppm", kPcxRle},
      {"pcx24.pcx", 0, "pcx24.ppm", kPcxRle},      {"pcx4planes.pcx", 0, "pcx4planes.ppm", kPcxRle},
      {"pages.dcx", 0, "pages-0.ppm", kPcxRle},    {"pages.dcx", 1, "pages-1.ppm", kPcxRle},
      {"pages.dcx", 2, "pages-2.ppm", kPcxRle},    {"rle8-chart.bmp", 0, "rle8-chart.ppm", kBmpRle},
      {"rle8-photo.bmp", 0, "rle8-photo.ppm", kBmpRle}, {"rle8-delta.bmp", 0, "rle8-delta.ppm", kBmpRle},
      {"rle4.bmp", 0, "rle4.ppm", kBmpRle},
  };
  for (const Case& c : cases) {
    const std::string what = std::string(c.file) + " page " + std::to_string(c.page);
    Page decoded;
    int code = -1;
    ASSERT_EQ(DecodeFilePage(DataPath(std::string("rle/") + c.file), c.page, &decoded, &code), kOk)
        << what;
    EXPECT_EQ(code, c.code) << what;
    ExpectSameRgb(PageToRgb(decoded.record), ReadPnm(DataPath(std::string("rle/") + c.reference)),
                  what);
  }
}

TEST(RleFiles, SamplesMatchTheDigestsOfTheToolsDecode) {
  // Lines "file page width height crc32" of ImageMagick's decode.
  std::ifstream list(DataPath("rle/sample-digests.txt"));
  std::string line;
  int checked = 0;
  while (std::getline(list, line)) {
    std::istringstream in(line);
    std::string file, digest;
    int32_t page = 0, width = 0, height = 0;
    in >> file >> page >> width >> height >> digest;
    Page decoded;
    ASSERT_EQ(DecodeFilePage(SamplePath(file), page, &decoded), kOk) << line;
    Rgb ours = PageToRgb(decoded.record);
    EXPECT_EQ(ours.width, width) << line;
    EXPECT_EQ(ours.height, height) << line;
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08lx",
                  crc32(0, ours.pixels.data(), static_cast<uInt>(ours.pixels.size())));
    EXPECT_EQ(std::string(hex), digest) << line;
    ++checked;
  }
  EXPECT_EQ(checked, 6);
}

TEST(RleFiles, PackBitsTiffsMatchLibtiff) {
  for (const std::string& path :
       {DataPath("rle/packbits-bilevel.tif"), DataPath("rle/packbits-gray.tif"),
        DataPath("rle/packbits-rgb-strips.tif"), SamplePath("chart-packbits.tif")}) {
    Page decoded;
    int code = -1;
    ASSERT_EQ(DecodeFilePage(path, 0, &decoded, &code), kOk) << path;
    EXPECT_EQ(code, kPackBits) << path;
    const PageRecord& r = decoded.record;
    const uint32_t rowBytes = RowBytes(r.width, r.bitsPerPixel);
    Bytes expected = LibtiffDecode(path);
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
}

TEST(RleFiles, RenderShowsEveryRunLengthFixture) {
  TempDir dir;
  const std::pair<const char*, const char*> cases[] = {
      {"rle/pcx24.pcx", "rle/pcx24.ppm"},
      {"rle/pcx4planes.pcx", "rle/pcx4planes.ppm"},
      {"rle/rle8-chart.bmp", "rle/rle8-chart.ppm"},
      {"rle/rle4.bmp", "rle/rle4.ppm"},
  };
  for (const auto& [file, reference] : cases) {
    const std::string out = dir.Path("out.ppm");
    const std::string command = std::string(QUILLON_TOOL) + " render '" + DataPath(file) +
                                "' --out '" + out + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    ExpectSameRgb(ReadPnm(out), ReadPnm(DataPath(reference)), file);
  }
  const std::string out = dir.Path("page3.ppm");
  const std::string command = std::string(QUILLON_TOOL) + " render '" + DataPath("rle/pages.dcx") +
                              "' --page 3 --out '" + out + "' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  ExpectSameRgb(ReadPnm(out), ReadPnm(DataPath("rle/pages-2.ppm")), "pages.dcx page 3");
}
