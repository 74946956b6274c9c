// Hostile files open, count their pages, give every page's geometry and
// render their first page or refuse, at the cost of their own data: the
// allocation limit is lowered meanwhile, so that allocating a page before
// refusing it, or reading geometry by decoding, shows as a wrong result,
// and the test's timeout catches work that grows with what headers claim.
// Pages whose lines pass 64 KiB, at the depths each reader can declare,
// render correctly or are refused.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <map>

#include "hostile/hostile_files.h"
#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "imaging/pixels/pixels.h"
#include "imaging/writers/writers.h"
#include "support/support.h"

namespace {

using namespace quillon;
using testutil::OpenedFile;
using testutil::Page;

int32_t Render(ImageFile* file, int32_t index, Page& decoded) {
  Page page;
  int32_t r = ExtractPage(file, page.get(), index);
  decoded->compression = static_cast<int8_t>(page->bitsPerPixel == 1 ? kRunLists : kUncompressed);
  return r != kOk ? r : ConvertPage(page.get(), decoded.get(), 0);
}

TEST(HostileFiles, EachCostsItsDataAndRendersOrRefuses) {
  struct Expected {
    int32_t pages, geometryOk, firstRender;  // pages whose geometry fails give -8
  };
  // Pages of 256 MiB and more are refused for memory (-1) under the limit.
  const std::map<std::string, Expected> expected = {
      {"flc-300-clears.flc", {300, 300, kErrMemory}},
      {"tiff-4096-pages.tif", {4096, 2048, kErrMemory}},
      {"tiff-16384-rgb.tif", {1, 1, kErrMemory}},
      {"pdf-xref-chain.pdf", {0, 0, kErrPageNotFound}},
      {"pdf-4096-missing-objects.pdf", {4096, 4096, kOk}},
      {"quicktime-stsc.mov", {100, 0, kErrBadHeader}},
      {"quicklinks-65535-pages.qlk", {1, 1, kOk}},
      {"avi-zero-movie-list.avi", {0, 0, kErrPageNotFound}},
  };
  testutil::TempDir dir;
  const uint64_t oldLimit = AllocationLimit();
  SetAllocationLimit(uint64_t{64} << 20);
  for (const hostile::HostileFile& h : hostile::HostileFiles(hostile::Scale::kFull)) {
    SCOPED_TRACE(h.name);
    const std::string path = dir.Write(h.name, h.bytes);
    ASSERT_EQ(h.sparseSize ? truncate(path.c_str(), static_cast<off_t>(h.sparseSize)) : 0, 0);
    const Expected& e = expected.at(h.name);
    OpenedFile f(path);
    ASSERT_EQ(f.result, kOk);
    ASSERT_EQ(f.file.pageCount, e.pages);
    int32_t ok = 0;
    for (int32_t i = 0; i < f.file.pageCount; ++i) {
      Page geometry;
      const int32_t r = ReadPageGeometry(&f.file, geometry.get(), i);
      ASSERT_TRUE(r == kOk || r == kErrBadHeader) << i << ": " << r;
      ASSERT_EQ(geometry->data, nullptr);
      ok += r == kOk;
    }
    EXPECT_EQ(ok, e.geometryOk);
    Page first, second;
    EXPECT_EQ(Render(&f.file, 0, first), e.firstRender);
    // Over the pixel cap: refused before anything is allocated.
    EXPECT_EQ(e.geometryOk == 2048 ? Render(&f.file, 1, second) : kErrBadHeader, kErrBadHeader);
  }
  SetAllocationLimit(oldLimit);
}

// ---------------------------------------------------------------------------
// Wide pages: 16 lines of a picture that changes slowly enough for JPEG.

constexpr int32_t kHeight = 16;

struct Rgb {
  int r, g, b;
};

Rgb Pattern(int32_t x, int32_t y, bool gray) {
  const int v = (x >> 9) + 4 * y;
  return gray ? Rgb{v, v, v} : Rgb{v, 255 - v, ((x >> 8) + 3 * y) & 255};
}

Rgb PixelOf(const PageRecord& p, int32_t x, int32_t y) {
  const uint8_t* s = p.data + p.dataOffset + static_cast<uint64_t>(y) * p.bytesPerLine + x * p.bitsPerPixel / 8;
  if (p.bitsPerPixel == 8) return {p.palette[3 * s[0] + 2], p.palette[3 * s[0] + 1], p.palette[3 * s[0]]};
  const uint32_t w = s[0] | s[1] << 8;  // 5-6-5
  if (p.bitsPerPixel == 16) return {int(w >> 11) << 3, int((w >> 5) & 63) << 2, int(w & 31) << 3};
  return {s[2], s[1], s[0]};
}

// An owned top-down page of the pattern: 8 bpp with the gray ramp, 16 or 24.
void MakePage(Page& page, int32_t width, int bpp) {
  *page.get() = PageRecord{nullptr, width, kHeight};
  page->bitsPerPixel = static_cast<int8_t>(bpp == 16 ? 24 : bpp);
  page->layoutFlags = kLayoutTopDown;
  page->bytesPerLine = BytesPerLine(width, page->bitsPerPixel);
  page->dataSize = page->bytesPerLine * kHeight;
  page->data = static_cast<uint8_t*>(Allocate(page->dataSize));
  page->dataOwnership = kOwnedByPage;
  if (bpp == 8) page->palette = MakeGrayPalette(8);
  for (int32_t y = 0; y < kHeight; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const Rgb c = Pattern(x, y, bpp == 8);
      uint8_t* p = page->data + y * page->bytesPerLine + x * page->bitsPerPixel / 8;
      p[0] = static_cast<uint8_t>(bpp == 8 ? c.r : c.b);
      if (bpp != 8) p[1] = static_cast<uint8_t>(c.g), p[2] = static_cast<uint8_t>(c.r);
    }
  if (bpp == 16) ConvertBitDepth(page.get(), 16, kDitherNearest);
}

// The pattern saved by the library's own writers (16 bpp: a 5-5-5 BMP).
std::vector<uint8_t> Saved(const char* type, int32_t width, int bpp) {
  testutil::TempDir dir;
  Page page;
  MakePage(page, width, bpp);
  EXPECT_EQ(SavePage(Utf8ToUtf16(dir.Path("f")).c_str(), page.get(), FindSaveType(type), 0), kOk);
  return testutil::ReadFileBytes(dir.Path("f"));
}

// `head`, then the page's lines unpadded as `bytes` bytes a pixel (Blue,
// Green, Red, and a fourth byte), bottom line first or not.
std::vector<uint8_t> Hand(std::vector<uint8_t> head, int32_t width, int bpp, int bytes, bool bottomUp) {
  Page page;
  MakePage(page, width, bpp);
  for (int32_t k = 0; k < kHeight; ++k) {
    const uint8_t* line = page->data + (bottomUp ? kHeight - 1 - k : k) * page->bytesPerLine;
    for (int32_t x = 0; x < width; ++x)
      for (int i = 0; i < bytes; ++i) head.push_back(i < bpp / 8 ? line[x * bpp / 8 + i] : 0);
  }
  return head;
}

std::vector<uint8_t> Le(std::initializer_list<std::pair<uint32_t, int>> fields) {
  std::vector<uint8_t> b;
  for (auto [v, n] : fields)
    for (int k = 0; k < n; ++k) b.push_back(static_cast<uint8_t>(k < 4 ? v >> 8 * k : 0));
  return b;
}

std::vector<uint8_t> HandPdf(int32_t width, bool gray) {
  std::vector<uint8_t> rows = Hand({}, width, gray ? 8 : 24, gray ? 1 : 3, false);
  for (size_t i = 0; !gray && i < rows.size(); i += 3) std::swap(rows[i], rows[i + 2]);  // RGB
  std::vector<uint8_t> packed(compressBound(rows.size()));
  uLongf size = packed.size();
  compress(packed.data(), &size, rows.data(), rows.size());
  std::string text = "%PDF-1.4\n1 0 obj\n<< /Subtype /Image /Width " + std::to_string(width) +
                     " /Height 16 /BitsPerComponent 8 /ColorSpace /Device" + (gray ? "Gray" : "RGB") +
                     " /Filter /FlateDecode /Length " + std::to_string(size) + " >>\nstream\r\n";
  std::vector<uint8_t> b(text.begin(), text.end());
  b.insert(b.end(), packed.begin(), packed.begin() + static_cast<long>(size));
  text = "\nendstream\nendobj\nxref\n0 2\n0000000000 65535 f \n0000000009 00000 n \n"
         "trailer\n<< /Size 2 >>\nstartxref\n" + std::to_string(b.size() + 18) + "\n%%EOF\n";
  b.insert(b.end(), text.begin(), text.end());
  return b;
}

TEST(WidePages, LinesPast64KiBRenderCorrectlyOrAreRefused) {
  const int32_t gray = 65534, colour = 21846, words = 32767;
  const uint32_t bmp32 = 4 * colour * kHeight;
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    int32_t width;
    int tolerance;  // 5-bit channels and JPEG are not exact
  };
  const Case cases[] = {
      {"bmp 8", Saved("WIN BMP Uncompressed", gray, 8), gray, 0},
      {"bmp rle 8", Saved("WIN BMP RLE", gray, 8), gray, 0},
      {"bmp 16", Saved("WIN BMP Uncompressed", words, 16), words, 8},
      {"bmp 24", Saved("WIN BMP Uncompressed", colour, 24), colour, 0},
      {"bmp 32", Hand(Le({{'B' | 'M' << 8, 2}, {54 + bmp32, 4}, {0, 4}, {54, 4}, {40, 4}, {colour, 4},
                          {kHeight, 4}, {1, 2}, {32, 2}, {0, 24}}), colour, 24, 4, true), colour, 0},
      {"tiff 8", Saved("TIFF PackBits", gray, 8), gray, 0},
      {"tiff 24", Saved("TIFF Uncompressed", colour, 24), colour, 0},
      {"tiff lzw 24", Saved("TIFF LZW", colour, 24), colour, 0},
      {"pcx 8", Saved("PCX", gray, 8), gray, 0},
      {"pcx 24", Saved("PCX", colour, 24), colour, 0},
      {"gif 8", Saved("GIF", gray, 8), gray, 0},
      {"jpeg 8", Saved("JPEG JFIF", gray, 8), gray, 12},
      {"jpeg 24", Saved("JPEG JFIF", colour, 24), colour, 12},
      {"targa 8", Hand(Le({{3 << 16, 3}, {0, 9}, {gray, 2}, {kHeight, 2}, {8 | 0x20 << 8, 2}}), gray, 8, 1, false), gray, 0},
      {"targa 32", Hand(Le({{2 << 16, 3}, {0, 9}, {colour, 2}, {kHeight, 2}, {32 | 0x20 << 8, 2}}), colour, 24, 4, false), colour, 0},
      {"pdf 8", HandPdf(gray, true), gray, 0},
      {"pdf 24", HandPdf(colour, false), colour, 0},
  };
  testutil::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenedFile f(dir.Write("wide", c.file));
    Page decoded;
    ASSERT_EQ(Render(&f.file, 0, decoded), kOk);
    ASSERT_EQ(decoded->width, c.width);
    ASSERT_GE(decoded->dataSize, uint64_t{decoded->bytesPerLine} * kHeight);
    const bool bottomUp = decoded->layoutFlags & kLayoutBottomUp;
    for (int32_t y = 0; y < kHeight; ++y)
      for (int32_t x = 0; x < c.width; ++x) {
        const Rgb want = Pattern(x, y, c.width == gray);
        const Rgb got = PixelOf(decoded.record, x, bottomUp ? kHeight - 1 - y : y);
        ASSERT_LE(std::abs(got.r - want.r) + std::abs(got.g - want.g) + std::abs(got.b - want.b),
                  3 * c.tolerance) << x << "," << y;
      }
  }
  // Bilevel lines hold runs of at most 32767 pixels: a wider CALS page is
  // refused, a narrower one renders.
  Page bilevel;
  MakePage(bilevel, 30000, 8);
  ASSERT_EQ(ConvertBitDepth(bilevel.get(), 1, kDitherNearest), kOk);
  const std::string cals = dir.Path("wide.cal");
  ASSERT_EQ(SavePage(Utf8ToUtf16(cals).c_str(), bilevel.get(), FindSaveType("CALS"), 0), kOk);
  for (const char* width : {"030000", "040000"}) {
    std::vector<uint8_t> bytes = testutil::ReadFileBytes(cals);
    std::copy(width, width + 6, std::search(bytes.begin(), bytes.end(), "rpelcnt: ", "rpelcnt: " + 9) + 9);
    OpenedFile f(dir.Write("wide.cal", bytes));
    Page decoded;
    EXPECT_EQ(Render(&f.file, 0, decoded), width[1] == '3' ? kOk : kErrUnsupported) << width;
  }
}

}  // namespace
