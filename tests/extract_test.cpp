// Page extraction: the readers' decisions and what they do with damaged or
// hostile headers.  Files are built here from a few lines each.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/core.h"
#include "imaging/core/runlist.h"
#include "support/builders.h"
#include "support/test_util.h"

using namespace quillon;
using testutil::OpenedFile;
using testutil::Page;
using testutil::PutBE16;
using testutil::PutBE32;
using testutil::PutLE16;
using testutil::PutLE32;
using testutil::PutText;
using testutil::TempDir;

namespace {

// Opens `bytes` and extracts page `index` into `page`.
int32_t Extract(const TempDir& dir, const std::vector<uint8_t>& bytes, Page& page,
                int index = 0) {
  std::string path = dir.Write("page.bin", bytes);
  OpenedFile f(path);
  if (f.result != kOk) return f.result;
  int32_t r = ExtractPage(&f.file, page.get(), index);
  // Pages whose data stays in the view must not outlive the file here.
  if (r == kOk && page->dataOwnership == kOwnedByView) {
    uint64_t n = page->dataOffset + static_cast<uint64_t>(page->dataSize);
    uint8_t* copy = static_cast<uint8_t*>(Allocate(n + 1));
    std::memcpy(copy, page->data, n);
    if (page->stripCount >= 2) {
      uint64_t end = 0;
      for (int s = 0; s < page->stripCount; ++s)
        end = std::max<uint64_t>(end, page->stripOffsets[s] + page->stripByteCounts[s]);
      Release(copy);
      copy = static_cast<uint8_t*>(Allocate(end + 1));
      std::memcpy(copy, page->data, end);
    }
    page->data = copy;
    page->dataOwnership = kOwnedByPage;
  }
  return r;
}

// A Windows BMP with a 40-byte header (or `headerSize`), `bpp` bits, the
// given palette entries (4 bytes each) and rows.
std::vector<uint8_t> Bmp(int width, int height, int bpp, uint32_t compression,
                         const std::vector<uint32_t>& palette,
                         const std::vector<uint8_t>& pixels, uint32_t headerSize = 40,
                         const std::vector<uint32_t>& masks = {}) {
  std::vector<uint8_t> b(14 + headerSize, 0);
  b[0] = 'B', b[1] = 'M';
  PutLE32(b, 14, headerSize);
  PutLE32(b, 18, static_cast<uint32_t>(width));
  PutLE32(b, 22, static_cast<uint32_t>(height));
  PutLE16(b, 26, 1);
  PutLE16(b, 28, static_cast<uint32_t>(bpp));
  PutLE32(b, 30, compression);
  size_t at = 14 + headerSize;
  if (!masks.empty()) {
    if (headerSize == 40) {
      for (uint32_t m : masks) PutLE32(b, b.size(), m);
      at = b.size();
    } else {
      for (size_t i = 0; i < masks.size(); ++i) PutLE32(b, 54 + 4 * i, masks[i]);
    }
  }
  for (uint32_t e : palette) PutLE32(b, b.size(), e);
  PutLE32(b, 10, static_cast<uint32_t>(b.size()));
  (void)at;
  b.insert(b.end(), pixels.begin(), pixels.end());
  while (b.size() < 64) b.push_back(0);
  PutLE32(b, 2, static_cast<uint32_t>(b.size()));
  return b;
}

std::vector<std::vector<int>> Bits(const PageRecord& page) {
  std::vector<std::vector<int>> rows;
  std::vector<uint8_t> row(RowBytes(page.width, 1) + 1);
  for (int y = 0; y < page.height; ++y) {
    RunsToRow(LinePointers(page)[y], page.width, row.data());
    std::vector<int> r;
    for (int x = 0; x < page.width; ++x) r.push_back((row[x / 8] >> (7 - x % 8)) & 1);
    rows.push_back(r);
  }
  return rows;
}

int32_t Decode(PageRecord* source, Page& out) {
  out->compression = static_cast<int8_t>(source->bitsPerPixel == 1 ? kRunLists : kUncompressed);
  return ConvertPage(source, out.get(), 0);
}

}  // namespace

TEST(Extract, IndexChecksComeBeforeTheReader) {
  TempDir dir;
  std::vector<uint8_t> bmp = Bmp(2, 2, 24, 0, {}, std::vector<uint8_t>(16, 9));
  std::string path = dir.Write("a.bmp", bmp);
  OpenedFile f(path);
  ASSERT_EQ(f.result, kOk);
  Page page;
  EXPECT_EQ(ExtractPage(&f.file, page.get(), 1), kErrPageNotFound);
  EXPECT_EQ(ExtractPage(&f.file, page.get(), -1), kErrPageNotFound);
  EXPECT_EQ(page->data, nullptr);
  ImageFile closed{};
  EXPECT_EQ(ExtractPage(&closed, page.get(), 0), kErrParameter);
}

TEST(Extract, BmpPolarityFollowsThePalette) {
  TempDir dir;
  // Two rows of 8 pixels: 0x0F (four of entry 0, four of entry 1).
  std::vector<uint8_t> rows = {0x0F, 0, 0, 0, 0x0F, 0, 0, 0};
  for (bool entry0White : {false, true}) {
    uint32_t black = 0x000000, white = 0xFFFFFF;
    Page page;
    ASSERT_EQ(Extract(dir, Bmp(8, 2, 1, 0, {entry0White ? white : black,
                                             entry0White ? black : white}, rows), page),
              kOk);
    Page out;
    ASSERT_EQ(Decode(page.get(), out), kOk);
    std::vector<int> expect = entry0White ? std::vector<int>{1, 1, 1, 1, 0, 0, 0, 0}
                                          : std::vector<int>{0, 0, 0, 0, 1, 1, 1, 1};
    EXPECT_EQ(Bits(out.record)[0], expect) << entry0White;
  }
}

TEST(Extract, BmpNewerHeadersTopDownAnd32Bits) {
  TempDir dir;
  // 124-byte header, 8 bpp: the palette follows the header with 4-byte
  // entries.
  std::vector<uint32_t> palette(256, 0);
  palette[1] = 0x123456;
  Page page;
  ASSERT_EQ(Extract(dir, Bmp(4, 1, 8, 0, palette, {1, 0, 1, 0}, 124), page), kOk);
  ASSERT_NE(page->palette, nullptr);
  EXPECT_EQ(page->palette[3], 0x56);
  EXPECT_EQ(page->palette[5], 0x12);

  // A negative height is a top-down file.
  std::vector<uint8_t> two = {1, 2, 3, 0, 4, 5, 6, 0};  // 1 x 2, 24 bpp
  Page top;
  ASSERT_EQ(Extract(dir, Bmp(1, -2, 24, 0, {}, two), top), kOk);
  EXPECT_EQ(top->height, 2);
  EXPECT_EQ(top->layoutFlags & kLayoutTopDown, kLayoutTopDown);
  Page topOut;
  ASSERT_EQ(Decode(top.get(), topOut), kOk);
  EXPECT_EQ(topOut->data[0], 1);  // first stored line first

  // 32 bpp becomes 24 bpp, the fourth byte dropped.
  Page deep;
  ASSERT_EQ(Extract(dir, Bmp(2, 1, 32, 0, {}, {10, 20, 30, 99, 40, 50, 60, 99}), deep), kOk);
  EXPECT_EQ(deep->bitsPerPixel, 24);
  EXPECT_EQ(std::vector<uint8_t>(deep->data, deep->data + 6),
            (std::vector<uint8_t>{10, 20, 30, 40, 50, 60}));
}

TEST(Extract, Bmp16BitLayouts) {
  TempDir dir;
  // One pixel 0x7FFF: white in 5-5-5.
  std::vector<uint8_t> px = {0xFF, 0x7F, 0, 0};
  Page plain;
  ASSERT_EQ(Extract(dir, Bmp(1, 1, 16, 0, {}, px), plain), kOk);
  EXPECT_EQ(plain->dataOwnership, kOwnedByPage);
  EXPECT_EQ(plain->data[0] | (plain->data[1] << 8), 0xFFFF);
  // Bit fields with the 5-5-5 green mask 0x03E0 (whose low byte is the same
  // as 5-6-5's) are converted too.
  Page fields555;
  ASSERT_EQ(Extract(dir, Bmp(1, 1, 16, 3, {}, px, 40, {0x7C00, 0x03E0, 0x001F}), fields555), kOk);
  EXPECT_EQ(fields555->data[0] | (fields555->data[1] << 8), 0xFFFF);
  // Exact 5-6-5 bit fields stay in the file's bytes.
  std::vector<uint8_t> px565 = {0x34, 0x12, 0, 0};
  Page fields565;
  std::string path = dir.Write("565.bmp", Bmp(1, 1, 16, 3, {}, px565, 40, {0xF800, 0x07E0, 0x001F}));
  OpenedFile f(path);
  ASSERT_EQ(ExtractPage(&f.file, fields565.get(), 0), kOk);
  EXPECT_EQ(fields565->dataOwnership, kOwnedByView);
  EXPECT_EQ(fields565->data[0] | (fields565->data[1] << 8), 0x1234);
  FreePage(fields565.get());
}

TEST(Extract, Bmp2BitIsFourGrays) {
  TempDir dir;
  Page page;
  ASSERT_EQ(Extract(dir, Bmp(4, 1, 2, 0, {0xFF0000, 0x00FF00, 0x0000FF, 0x123456}, {0x1B, 0, 0, 0}), page),
            kOk);
  EXPECT_EQ(page->bitsPerPixel, 4);
  EXPECT_EQ(page->data[0], 0x01);
  EXPECT_EQ(page->data[1], 0x23);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(page->palette[3 * i], 0x55 * i);
}

TEST(Extract, BmpDamagedHeaders) {
  TempDir dir;
  std::vector<uint8_t> bmp = Bmp(4, 4, 24, 0, {}, std::vector<uint8_t>(48, 1));
  Page page;
  std::vector<uint8_t> past = bmp;
  PutLE32(past, 10, 100000);  // pixel data beyond the end
  EXPECT_EQ(Extract(dir, past, page), kErrIo);
  std::vector<uint8_t> tall = bmp;
  PutLE32(tall, 22, 400);  // more rows than the file holds
  EXPECT_EQ(Extract(dir, tall, page), kErrIo);
  std::vector<uint8_t> huge = bmp;
  PutLE32(huge, 18, 0x7FFFFFFF);
  EXPECT_EQ(Extract(dir, huge, page), kErrBadHeader);
  std::vector<uint8_t> jpeg = bmp;
  PutLE32(jpeg, 30, 4);  // embedded JPEG
  EXPECT_EQ(Extract(dir, jpeg, page), kErrUnsupported);
  std::vector<uint8_t> depth = bmp;
  PutLE16(depth, 28, 7);
  EXPECT_EQ(Extract(dir, depth, page), kErrBitDepth);
}

TEST(Extract, TiffPolarityPaletteAndStrips) {
  TempDir dir;
  // Uncompressed WhiteIsZero bilevel keeps photometric 1 for the conversion;
  // the same page as G4 leaves the polarity to the decoder (0).
  testutil::TiffDirectory d = testutil::BilevelDirectory(8, 2, 1, {0xF0, 0x0F});
  Page raw;
  ASSERT_EQ(Extract(dir, testutil::BuildTiff({d}, false), raw), kOk);
  EXPECT_EQ(raw->photometric, 1);
  Page rawOut;
  ASSERT_EQ(Decode(raw.get(), rawOut), kOk);
  EXPECT_EQ(Bits(rawOut.record)[0], (std::vector<int>{0, 0, 0, 0, 1, 1, 1, 1}));
  EXPECT_EQ(rawOut->photometric, 0);
  testutil::TiffDirectory g4 = testutil::BilevelDirectory(8, 2, 4, {0, 1, 2, 3});
  Page fax;
  ASSERT_EQ(Extract(dir, testutil::BuildTiff({g4}, false), fax), kOk);
  EXPECT_EQ(fax->photometric, 0);
  EXPECT_EQ(fax->compression, kG4);

  // ColorMap red entry 0 = 0xFF00 gives third byte 0xFF.
  testutil::TiffDirectory pal;
  pal.image = {0, 1};
  std::vector<uint32_t> map(3 * 16, 0);
  map[0] = 0xFF00;
  map[16 + 1] = 0x8000;
  pal.fields = {{256, 4, {4}, {}}, {257, 4, {1}, {}}, {258, 3, {4}, {}},
                {259, 3, {1}, {}}, {262, 3, {3}, {}}, {273, 4, {}, {}},
                {278, 4, {1}, {}}, {279, 4, {}, {}}, {320, 3, map, {}}};
  for (bool big : {false, true}) {
    Page page;
    ASSERT_EQ(Extract(dir, testutil::BuildTiff({pal}, big), page), kOk);
    ASSERT_NE(page->palette, nullptr);
    EXPECT_EQ(page->palette[2], 0xFF);
    EXPECT_EQ(page->palette[0], 0);
    EXPECT_EQ(page->palette[4], 0x80);
  }
}

TEST(Extract, TiffStripsInBothByteOrdersAndCutAtTheEnd) {
  TempDir dir;
  // Three strips of one row each, 8-bit gray; the count field of a
  // big-endian file is a whole 32-bit value.
  for (bool big : {false, true}) {
    testutil::TiffDirectory d;
    d.image = {10, 20, 30, 40, 50, 60};
    d.fields = {{256, 4, {2}, {}}, {257, 4, {3}, {}}, {258, 3, {8}, {}},
                {259, 3, {1}, {}}, {262, 3, {1}, {}}, {278, 4, {1}, {}}};
    std::vector<uint8_t> bytes = testutil::BuildTiff({d}, big);
    // Strip tables pointing into the image data, rows in reverse order.
    uint32_t image = 8;
    d.fields.push_back({273, 4, {image + 4, image + 2, image}, {}});
    d.fields.push_back({279, 3, {2, 2, 2}, {}});
    bytes = testutil::BuildTiff({d}, big);
    Page page;
    ASSERT_EQ(Extract(dir, bytes, page), kOk) << big;
    Page out;
    ASSERT_EQ(Decode(page.get(), out), kOk);
    EXPECT_EQ(out->bytesPerLine, 2u);
    EXPECT_EQ(std::vector<uint8_t>(out->data, out->data + 6),
              (std::vector<uint8_t>{50, 60, 30, 40, 10, 20}));
  }
  // A byte count reaching past the end is cut at the end of the file.
  testutil::TiffDirectory g4 = testutil::BilevelDirectory(8, 2, 4, {1, 2, 3, 4});
  for (auto& f : g4.fields)
    if (f.tag == 279) f.values = {5000};
  std::vector<uint8_t> bytes = testutil::BuildTiff({g4}, false);
  Page cut;
  ASSERT_EQ(Extract(dir, bytes, cut), kOk);
  EXPECT_EQ(cut->dataOffset + cut->dataSize, bytes.size());
}

TEST(Extract, TiffRefusals) {
  TempDir dir;
  auto with = [](uint16_t tag, uint16_t type, std::vector<uint32_t> values) {
    testutil::TiffDirectory d = testutil::BilevelDirectory(8, 2, 1, {0, 0});
    for (auto& f : d.fields)
      if (f.tag == tag) f.values = values, f.type = type;
    bool found = false;
    for (auto& f : d.fields) found = found || f.tag == tag;
    if (!found) d.fields.push_back({tag, type, values, {}});
    return testutil::BuildTiff({d}, false);
  };
  Page page;
  EXPECT_EQ(Extract(dir, with(259, 3, {34712}), page), kErrUnsupported);  // unknown coding
  EXPECT_EQ(Extract(dir, with(258, 3, {16}), page), kErrUnsupported);
  EXPECT_EQ(Extract(dir, with(262, 3, {5}), page), kErrUnsupported);   // CMYK
  EXPECT_EQ(Extract(dir, with(277, 3, {4}), page), kErrUnsupported);   // alpha
  EXPECT_EQ(Extract(dir, with(262, 3, {2}), page), kErrUnsupported);   // RGB of 1-bit samples
  EXPECT_EQ(Extract(dir, with(256, 4, {0}), page), kErrBadHeader);
  EXPECT_EQ(Extract(dir, with(257, 4, {1u << 30}), page), kErrBadHeader);
  // Directory entries claimed beyond the end of the file.
  std::vector<uint8_t> bytes = with(259, 3, {1});
  uint32_t dirAt = bytes[4] | (bytes[5] << 8);
  bytes[dirAt] = 200;
  bytes.resize(dirAt + 200);
  std::string path = dir.Write("t.tif", bytes);
  OpenedFile f(path);
  // The directory walk already refuses it, or the reader does.
  if (f.result == kOk) {
    EXPECT_EQ(ExtractPage(&f.file, page.get(), 0), kErrBadHeader);
  } else {
    EXPECT_EQ(f.result, kErrBadHeader);
  }
}

TEST(Extract, FaxDataEndingOnAViewPageBoundaryIsCopied) {
  TempDir dir;
  std::vector<uint8_t> image(8192, 0x55);
  testutil::TiffDirectory d = testutil::BilevelDirectory(1728, 10, 3, image);
  std::string path = dir.Write("g3.tif", testutil::BuildTiff({d}, false));
  OpenedFile f(path);
  ASSERT_EQ(f.result, kOk);
  Page page;
  ASSERT_EQ(ExtractPage(&f.file, page.get(), 0), kOk);
  EXPECT_EQ(page->dataOwnership, kOwnedByPage);
  EXPECT_EQ(page->dataOffset, 0u);
  EXPECT_EQ(page->dataSize, 8192u);
  EXPECT_EQ(page->data[8192 + 4], 0);
}

TEST(Extract, TargaGrayRunLengthAndColourMaps) {
  TempDir dir;
  auto tga = [](int type, int depth, int w, int h, std::vector<uint8_t> body,
                int mapFirst = 0, int mapLength = 0, int mapBits = 0) {
    std::vector<uint8_t> b(18, 0);
    b[1] = mapLength ? 1 : 0;
    b[2] = static_cast<uint8_t>(type);
    PutLE16(b, 3, static_cast<uint32_t>(mapFirst));
    PutLE16(b, 5, static_cast<uint32_t>(mapLength));
    b[7] = static_cast<uint8_t>(mapBits);
    PutLE16(b, 12, static_cast<uint32_t>(w));
    PutLE16(b, 14, static_cast<uint32_t>(h));
    b[16] = static_cast<uint8_t>(depth);
    b[17] = 0x20;
    b.insert(b.end(), body.begin(), body.end());
    while (b.size() < 60) b.push_back(0);
    return b;
  };
  // Type 3: 8-bit gray samples keep their levels.
  Page gray;
  ASSERT_EQ(Extract(dir, tga(3, 8, 3, 1, {0, 128, 255}), gray), kOk);
  EXPECT_EQ(gray->bitsPerPixel, 8);
  EXPECT_EQ(gray->palette[3 * 128], 128);
  // Type 11: a repeat packet that would run past the page stops at its end.
  Page rle;
  ASSERT_EQ(Extract(dir, tga(11, 8, 2, 2, {0xFF, 77, 0x80, 5}), rle), kOk);
  EXPECT_EQ(std::vector<uint8_t>(rle->data, rle->data + 4), (std::vector<uint8_t>(4, 77)));
  // A colour map reaching past entry 255 is refused.
  Page mapped;
  EXPECT_EQ(Extract(dir, tga(1, 8, 1, 1, std::vector<uint8_t>(800, 0), 200, 100, 24), mapped),
            kErrBadHeader);
  // True-colour images skip a colour map they carry.
  std::vector<uint8_t> body(30, 0);
  body[24] = 1, body[25] = 2, body[26] = 3;
  Page skip;
  ASSERT_EQ(Extract(dir, tga(2, 24, 1, 1, body, 0, 8, 24), skip), kOk);
  EXPECT_EQ(std::vector<uint8_t>(skip->data + skip->dataOffset, skip->data + skip->dataOffset + 3),
            (std::vector<uint8_t>{1, 2, 3}));
}

TEST(Extract, GifBlocksAndFrames) {
  TempDir dir;
  auto gif = [](std::vector<uint8_t> blocks) {
    std::vector<uint8_t> b;
    PutText(b, 0, "GIF89a");
    PutLE16(b, 6, 4);
    PutLE16(b, 8, 3);
    b.push_back(0x81);  // global table of 4 entries
    b.push_back(2);
    b.push_back(0);
    for (int i = 0; i < 12; ++i) b.push_back(static_cast<uint8_t>(i * 20));
    b.insert(b.end(), blocks.begin(), blocks.end());
    b.push_back(';');
    while (b.size() < 60) b.push_back(0);
    return b;
  };
  std::vector<uint8_t> image = {',', 0, 0, 0, 0, 2, 0, 1, 0, 0, 2, 3, 1, 2, 3, 0};
  std::vector<uint8_t> comment = {0x21, 0xFE, 5, 'h', 'e', 'l', 'l', 'o', 0};
  std::vector<uint8_t> control = {0x21, 0xF9, 4, 0x09, 50, 0, 3, 0};
  std::vector<uint8_t> blocks = comment;
  blocks.insert(blocks.end(), control.begin(), control.end());
  blocks.insert(blocks.end(), image.begin(), image.end());
  Page page;
  ASSERT_EQ(Extract(dir, gif(blocks), page), kOk);
  EXPECT_STREQ(page->comment, "hello");
  EXPECT_EQ(page->frameDelay, 50);
  EXPECT_EQ(page->transparentIndex, 3);
  EXPECT_EQ(page->frameDisposal, 0x09);
  EXPECT_EQ(page->bitsPerPixel, 4);
  EXPECT_EQ(page->screenWidth, 4);
  EXPECT_EQ(page->backgroundIndex, 2);
  EXPECT_EQ(std::vector<uint8_t>(page->data, page->data + page->dataSize),
            (std::vector<uint8_t>{0, 2, 1, 2, 3}));
  EXPECT_EQ(page->palette[3 * 1 + 2], 60);  // RGB turned to BGR

  // A graphic control block of size 5 is damage.
  std::vector<uint8_t> bad = {0x21, 0xF9, 5, 0, 0, 0, 0, 0, 0};
  bad.insert(bad.end(), image.begin(), image.end());
  Page rejected;
  EXPECT_EQ(Extract(dir, gif(bad), rejected), kErrBadHeader);
  EXPECT_EQ(rejected->palette, nullptr);
  // A data sub-block that reaches past the frame.
  std::vector<uint8_t> runaway = image;
  runaway[11] = 200;
  Page truncated;
  EXPECT_LT(Extract(dir, gif(runaway), truncated), 0);
}

TEST(Extract, PcxAndDcxPages) {
  TempDir dir;
  auto pcx = [](int bits, int planes, int w, int h, std::vector<uint8_t> body) {
    std::vector<uint8_t> b(128, 0);
    b[0] = 10, b[1] = 5, b[2] = 1, b[3] = static_cast<uint8_t>(bits);
    PutLE16(b, 8, static_cast<uint32_t>(w - 1));
    PutLE16(b, 10, static_cast<uint32_t>(h - 1));
    PutLE16(b, 12, 300);
    PutLE16(b, 14, 300);
    b[65] = static_cast<uint8_t>(planes);
    PutLE16(b, 66, static_cast<uint32_t>((w * bits + 7) / 8));
    b.insert(b.end(), body.begin(), body.end());
    return b;
  };
  std::vector<uint8_t> body = {0xC2, 7};
  body.push_back(0x0C);
  for (int i = 0; i < 256; ++i) body.insert(body.end(), {static_cast<uint8_t>(i), 0, 0});
  std::vector<uint8_t> file = pcx(8, 1, 2, 1, body);
  Page page;
  ASSERT_EQ(Extract(dir, file, page), kOk);
  EXPECT_EQ(page->dataSize, 3u);  // the 768-byte table is not data
  EXPECT_EQ(page->palette[3 * 9 + 2], 9);
  EXPECT_EQ(page->xResolution, 300);

  // DCX: two pages.
  std::vector<uint8_t> dcx(16, 0);
  PutLE32(dcx, 0, 0x3ADE68B1);
  std::vector<uint8_t> p1 = pcx(1, 1, 8, 1, {0xC1, 0xF0});
  std::vector<uint8_t> p2 = pcx(1, 1, 16, 1, {0xC2, 0x0F});
  PutLE32(dcx, 4, 16);
  PutLE32(dcx, 8, static_cast<uint32_t>(16 + p1.size()));
  dcx.insert(dcx.end(), p1.begin(), p1.end());
  dcx.insert(dcx.end(), p2.begin(), p2.end());
  Page second;
  ASSERT_EQ(Extract(dir, dcx, second, 1), kOk);
  EXPECT_EQ(second->width, 16);
  EXPECT_EQ(second->dataSize, 2u);
  // A page offset beyond the file is damage, not a read outside it.
  PutLE32(dcx, 8, 900000);
  Page gone;
  EXPECT_EQ(Extract(dir, dcx, gone, 1), kErrBadHeader);
}

TEST(Extract, HugePagesFromTinyFilesAreRefused) {
  TempDir dir;
  // A G4 page of 20000 x 20000 in a file of a few hundred bytes: above the
  // page-size cap, refused before any decoder reserves memory for it.
  testutil::TiffDirectory d = testutil::BilevelDirectory(20000, 20000, 4, {0, 1, 2, 3});
  Page page;
  EXPECT_EQ(Extract(dir, testutil::BuildTiff({d}, false), page), kErrBadHeader);
  // At the cap itself the page is read.
  testutil::TiffDirectory edge = testutil::BilevelDirectory(16384, 16384, 4, {0, 1, 2, 3});
  Page ok;
  EXPECT_EQ(Extract(dir, testutil::BuildTiff({edge}, false), ok), kOk);
}
