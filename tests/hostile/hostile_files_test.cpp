// Hostile files: each opens, counts its pages, gives the geometry of every
// page and renders its first or refuses, at the cost of its own data.  The
// library's allocation limit is lowered meanwhile, so that a reader that
// allocates a page before refusing it, or reads geometry by decoding, says
// so by a wrong result; the test's timeout catches work that grows with
// what a header claims.  And pages whose lines pass 64 KiB, at every depth
// of every reader that can declare them, render correctly or are refused.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

#include "hostile/hostile_files.h"
#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "imaging/pixels/pixels.h"
#include "imaging/writers/writers.h"
#include "support/test_util.h"

namespace {

using namespace quillon;
using testutil::OpenedFile;
using testutil::Page;
using testutil::TempDir;

struct LimitAllocations {
  uint64_t old = AllocationLimit();
  explicit LimitAllocations(uint64_t bytes) { SetAllocationLimit(bytes); }
  ~LimitAllocations() { SetAllocationLimit(old); }
};

// Extraction and the decode to the display form.
int32_t Render(ImageFile* file, int32_t index, Page& decoded) {
  Page page;
  int32_t r = ExtractPage(file, page.get(), index);
  if (r != kOk) return r;
  decoded->compression = static_cast<int8_t>(page->bitsPerPixel == 1 ? kRunLists : kUncompressed);
  return ConvertPage(page.get(), decoded.get(), 0);
}

struct Expected {
  int32_t pages;
  int32_t geometryOk;   // pages whose geometry reads; the others are -8
  int32_t firstRender;  // ExtractPage + ConvertPage of page 1
};

TEST(HostileFiles, EachCostsItsDataAndRendersOrRefuses) {
  // Pages of 256 MiB and more are refused for memory (-1), those over the
  // pixel cap as damaged (-8) before anything is allocated for them.
  const std::map<std::string, Expected> expected = {
      {"flc-300-clears.flc", {300, 300, kErrMemory}},
      {"tiff-4096-pages.tif", {4096, 2048, kErrMemory}},
      {"tiff-16384-rgb.tif", {1, 1, kErrMemory}},
      {"pdf-xref-chain.pdf", {0, 0, kErrPageNotFound}},
      {"pdf-4096-missing-objects.pdf", {4096, 4096, kOk}},
      {"quicktime-stsc.mov", {100, 0, kErrBadHeader}},
      {"quicklinks-65535-pages.qlk", {1, 1, kOk}},
      {"avi-zero-movie-list.avi", {0, 0, kErrPageNotFound}},
      {"bmp32-21846-wide.bmp", {1, 1, kOk}},
  };
  TempDir dir;
  LimitAllocations limit(uint64_t{64} << 20);
  for (const hostile::HostileFile& h : hostile::HostileFiles(hostile::Scale::kFull)) {
    SCOPED_TRACE(h.name);
    const std::string path = dir.Write(h.name, h.bytes);
    if (h.sparseSize) {
      ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(h.sparseSize)), 0);
    }
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
    Page decoded;
    EXPECT_EQ(Render(&f.file, 0, decoded), e.firstRender);
    if (h.name == "tiff-4096-pages.tif") {
      Page over;
      EXPECT_EQ(Render(&f.file, 1, over), kErrBadHeader);  // checked before allocating
    }
  }
}

// ---------------------------------------------------------------------------
// Wide pages

constexpr int32_t kHeight = 16;

struct Rgb {
  int r, g, b;
};

// The picture every wide page shows: sharp for lossless formats, smooth
// along the lines for JPEG.
Rgb Pattern(int32_t x, int32_t y, bool gray, bool smooth) {
  Rgb c = smooth ? Rgb{(x >> 9) + (y < 8 ? 0 : 60), 255 - (x >> 9), 128}
                 : Rgb{(x * 7 + y * 29) & 255, ((x * 3 + 91) ^ y) & 255, (x >> 8) & 255};
  return gray ? Rgb{c.r, c.r, c.r} : c;
}

// An owned top-down page of the pattern: 8 bpp with the gray ramp, or 24.
void MakePage(Page& page, int32_t width, int bpp, bool smooth) {
  page->width = width;
  page->height = kHeight;
  page->bitsPerPixel = static_cast<int8_t>(bpp);
  page->compression = kUncompressed;
  page->layoutFlags = kLayoutTopDown;
  page->planes = 1;
  page->bytesPerLine = BytesPerLine(width, bpp);
  page->dataSize = page->bytesPerLine * kHeight;
  page->data = static_cast<uint8_t*>(Allocate(page->dataSize));
  page->dataOwnership = kOwnedByPage;
  if (bpp == 8) page->palette = MakeGrayPalette(8);
  for (int32_t y = 0; y < kHeight; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const Rgb c = Pattern(x, y, bpp == 8, smooth);
      uint8_t* p = page->data + y * page->bytesPerLine;
      if (bpp == 8) p[x] = static_cast<uint8_t>(c.r);
      else p[3 * x] = static_cast<uint8_t>(c.b), p[3 * x + 1] = static_cast<uint8_t>(c.g),
           p[3 * x + 2] = static_cast<uint8_t>(c.r);
    }
}

Rgb PixelOf(const PageRecord& p, int32_t x, int32_t y) {
  const uint8_t* line = p.data + p.dataOffset + static_cast<uint64_t>(y) * p.bytesPerLine;
  switch (p.bitsPerPixel) {
    case 8: {
      const uint8_t* e = p.palette + 3 * line[x];
      return {e[2], e[1], e[0]};
    }
    case 16: {
      const uint32_t v = line[2 * x] | (line[2 * x + 1] << 8);
      return {static_cast<int>((v >> 11) << 3), static_cast<int>(((v >> 5) & 63) << 2),
              static_cast<int>((v & 31) << 3)};
    }
    default: return {line[3 * x + 2], line[3 * x + 1], line[3 * x]};
  }
}

// A little-endian byte builder for hand-made files.
struct Bytes {
  std::vector<uint8_t> b;
  void U8(uint32_t v) { b.push_back(static_cast<uint8_t>(v)); }
  void U16(uint32_t v) { U8(v), U8(v >> 8); }
  void U32(uint32_t v) { U16(v), U16(v >> 16); }
  void Text(const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
};

// BMP at 16 bpp (5-6-5 bit fields or 5-5-5) and 32 bpp, bottom line first.
std::vector<uint8_t> HandBmp(int32_t width, int bpp, bool fields) {
  const uint32_t stride = (static_cast<uint32_t>(width) * bpp / 8 + 3) & ~3u;
  const uint32_t offset = 54 + (fields ? 12 : 0);
  Bytes o;
  o.Text("BM"), o.U32(offset + stride * kHeight), o.U32(0), o.U32(offset);
  o.U32(40), o.U32(width), o.U32(kHeight), o.U16(1), o.U16(bpp), o.U32(fields ? 3 : 0);
  o.U32(stride * kHeight), o.U32(2835), o.U32(2835), o.U32(0), o.U32(0);
  if (fields) o.U32(0xF800), o.U32(0x07E0), o.U32(0x001F);
  for (int32_t y = kHeight - 1; y >= 0; --y) {
    const size_t start = o.b.size();
    for (int32_t x = 0; x < width; ++x) {
      const Rgb c = Pattern(x, y, false, false);
      if (bpp == 32) o.U8(c.b), o.U8(c.g), o.U8(c.r), o.U8(0);
      else if (fields) o.U16(((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3));
      else o.U16(((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3));
    }
    o.b.resize(start + stride, 0);
  }
  return o.b;
}

// Targa: gray (type 3), true colour (type 2) at 16, 24 and 32 bpp, and
// run-length true colour (type 10) in raw packets; top line first.
std::vector<uint8_t> HandTarga(int32_t width, int depth, bool runLength) {
  const bool gray = depth == 8;
  Bytes o;
  o.U8(0), o.U8(0), o.U8(gray ? 3 : runLength ? 10 : 2), o.U16(0), o.U16(0), o.U8(0);
  o.U16(0), o.U16(0), o.U16(width), o.U16(kHeight), o.U8(depth), o.U8(0x20);
  for (int32_t y = 0; y < kHeight; ++y)
    for (int32_t x = 0; x < width; ++x) {
      if (runLength && x % 128 == 0) o.U8(std::min(127, width - x - 1));
      const Rgb c = Pattern(x, y, gray, false);
      if (depth == 8) o.U8(c.r);
      else if (depth == 16) o.U16(((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3));
      else o.U8(c.b), o.U8(c.g), o.U8(c.r);
      if (depth == 32) o.U8(255);
    }
  return o.b;
}

// A PDF image: Flate-coded gray or RGB rows.
std::vector<uint8_t> HandPdf(int32_t width, bool gray) {
  std::vector<uint8_t> rows;
  for (int32_t y = 0; y < kHeight; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const Rgb c = Pattern(x, y, gray, false);
      rows.push_back(static_cast<uint8_t>(c.r));
      if (!gray) rows.push_back(static_cast<uint8_t>(c.g)), rows.push_back(static_cast<uint8_t>(c.b));
    }
  std::vector<uint8_t> packed(compressBound(rows.size()));
  uLongf size = packed.size();
  compress(packed.data(), &size, rows.data(), rows.size());
  Bytes o;
  o.Text("%PDF-1.4\n");
  const size_t object = o.b.size();
  o.Text("1 0 obj\n<< /Type /XObject /Subtype /Image /Width " + std::to_string(width) +
         " /Height 16 /BitsPerComponent 8 /ColorSpace /Device" + (gray ? "Gray" : "RGB") +
         " /Filter /FlateDecode /Length " + std::to_string(size) + " >>\nstream\r\n");
  o.b.insert(o.b.end(), packed.begin(), packed.begin() + static_cast<long>(size));
  o.Text("\nendstream\nendobj\n");
  const size_t xref = o.b.size();
  const std::string at = std::to_string(object);
  o.Text("xref\n0 2\n0000000000 65535 f \n" + std::string(10 - at.size(), '0') + at +
         " 00000 n \ntrailer\n<< /Size 2 >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n");
  return o.b;
}

// The pattern saved by the library's own writers.
std::vector<uint8_t> Saved(const TempDir& dir, const char* type, int32_t width, int bpp, bool smooth) {
  Page page;
  MakePage(page, width, bpp, smooth);
  const std::string path = dir.Path("saved");
  EXPECT_EQ(SavePage(Utf8ToUtf16(path).c_str(), page.get(), FindSaveType(type), 0), kOk) << type;
  return testutil::ReadFileBytes(path);
}

TEST(WidePages, LinesPast64KiBRenderCorrectlyOrAreRefused) {
  TempDir dir;
  struct Case {
    std::string name;
    std::vector<uint8_t> file;
    int32_t width;
    bool gray;
    int tolerance;  // per channel: 5-bit channels and JPEG are not exact
  };
  const int32_t gray = 65534, colour = 21846, words = 32767;
  const std::vector<Case> cases = {
      {"bmp 8", Saved(dir, "WIN BMP Uncompressed", gray, 8, false), gray, true, 0},
      {"bmp rle 8", Saved(dir, "WIN BMP RLE", gray, 8, false), gray, true, 0},
      {"bmp 16 5-6-5", HandBmp(words, 16, true), words, false, 7},
      {"bmp 16 5-5-5", HandBmp(words, 16, false), words, false, 7},
      {"bmp 24", Saved(dir, "WIN BMP Uncompressed", colour, 24, false), colour, false, 0},
      {"bmp 32", HandBmp(colour, 32, false), colour, false, 0},
      {"tiff 8", Saved(dir, "TIFF Uncompressed", gray, 8, false), gray, true, 0},
      {"tiff packbits 8", Saved(dir, "TIFF PackBits", gray, 8, false), gray, true, 0},
      {"tiff 24", Saved(dir, "TIFF Uncompressed", colour, 24, false), colour, false, 0},
      {"tiff lzw 24", Saved(dir, "TIFF LZW", colour, 24, false), colour, false, 0},
      {"pcx 8", Saved(dir, "PCX", gray, 8, false), gray, true, 0},
      {"pcx 24", Saved(dir, "PCX", colour, 24, false), colour, false, 0},
      {"gif 8", Saved(dir, "GIF", gray, 8, false), gray, true, 0},
      {"jpeg 8", Saved(dir, "JPEG JFIF", gray, 8, true), gray, true, 12},
      {"jpeg 24", Saved(dir, "JPEG JFIF", colour, 24, true), colour, false, 12},
      {"targa 8", HandTarga(gray, 8, false), gray, true, 0},
      {"targa 16", HandTarga(words, 16, false), words, false, 7},
      {"targa 24", HandTarga(colour, 24, false), colour, false, 0},
      {"targa 32", HandTarga(colour, 32, false), colour, false, 0},
      {"targa rle 24", HandTarga(colour, 24, true), colour, false, 0},
      {"pdf 8", HandPdf(gray, true), gray, true, 0},
      {"pdf 24", HandPdf(colour, false), colour, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenedFile f(dir.Write("wide", c.file));
    ASSERT_EQ(f.result, kOk);
    Page decoded;
    ASSERT_EQ(Render(&f.file, 0, decoded), kOk);
    ASSERT_EQ(decoded->width, c.width);
    ASSERT_EQ(decoded->height, kHeight);
    ASSERT_GE(decoded->bytesPerLine, RowBytes(c.width, decoded->bitsPerPixel));
    ASSERT_GE(decoded->dataSize, decoded->bytesPerLine * (kHeight - 1) + RowBytes(c.width, decoded->bitsPerPixel));
    const bool bottomUp = decoded->layoutFlags & kLayoutBottomUp;
    for (int32_t y = 0; y < kHeight; ++y)
      for (int32_t x = 0; x < c.width; ++x) {
        const Rgb want = Pattern(x, y, c.gray, c.tolerance > 7);
        const Rgb got = PixelOf(decoded.record, x, bottomUp ? kHeight - 1 - y : y);
        ASSERT_LE(std::abs(got.r - want.r) + std::abs(got.g - want.g) + std::abs(got.b - want.b),
                  3 * c.tolerance) << x << "," << y;
      }
  }

  // Bilevel pages hold runs of at most 32767 pixels: a wider CALS page is
  // refused, a narrower one renders.
  Page bilevel;
  MakePage(bilevel, 30000, 8, false);
  ASSERT_EQ(ConvertBitDepth(bilevel.get(), 1, kDitherNearest), kOk);
  const std::string cals = dir.Path("wide.cal");
  ASSERT_EQ(SavePage(Utf8ToUtf16(cals).c_str(), bilevel.get(), FindSaveType("CALS"), 0), kOk);
  for (const char* width : {"030000", "040000"}) {
    std::vector<uint8_t> bytes = testutil::ReadFileBytes(cals);
    const auto at = std::search(bytes.begin(), bytes.end(), "rpelcnt: ", "rpelcnt: " + 9) + 9;
    std::copy(width, width + 6, at);
    OpenedFile f(dir.Write("wide.cal", bytes));
    ASSERT_EQ(f.result, kOk);
    Page decoded;
    EXPECT_EQ(Render(&f.file, 0, decoded), width[1] == '3' ? kOk : kErrUnsupported) << width;
  }
}

}  // namespace
