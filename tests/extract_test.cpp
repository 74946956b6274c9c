// Page extraction: the readers' decisions and what they do with damaged or
// hostile headers.  Files are built here from a few lines each.
#include "support/suite.h"

#include <zlib.h>

namespace {

// A file of `bytes`, open, and its page `index`.
struct Extracted {
  OpenedFile file;
  Page page;
  int32_t result;
  explicit Extracted(const Bytes& bytes, int32_t index = 0) : file(bytes) {
    result = file.Extract(page.get(), index);
  }
  PageRecord* operator->() { return page.get(); }
  // The page decoded to its display form, read back as pixel values.
  Image Pixels() {
    Page out;
    EXPECT_EQ(Decode(page.get(), out), kOk);
    return testpix::ReadPage(out.record);
  }
};

// A Windows BMP with a header of `headerSize` bytes, the given palette
// entries (4 bytes each), bit-field masks and rows.
Bytes Bmp(int width, int height, int bpp, uint32_t compression, const std::vector<uint32_t>& palette,
          const Bytes& pixels, uint32_t headerSize = 40, const std::vector<uint32_t>& masks = {}) {
  Bytes b(14 + headerSize, 0);
  PutText(b, 0, "BM");
  PutLE32(b, 14, headerSize);
  PutLE32(b, 18, static_cast<uint32_t>(width));
  PutLE32(b, 22, static_cast<uint32_t>(height));
  PutLE16(b, 26, 1);
  PutLE16(b, 28, static_cast<uint32_t>(bpp));
  PutLE32(b, 30, compression);
  for (size_t i = 0; i < masks.size(); ++i) PutLE32(b, headerSize == 40 ? b.size() : 54 + 4 * i, masks[i]);
  for (uint32_t e : palette) PutLE32(b, b.size(), e);
  PutLE32(b, 10, static_cast<uint32_t>(b.size()));
  b.insert(b.end(), pixels.begin(), pixels.end());
  b.resize(std::max<size_t>(b.size(), 64), 0);
  PutLE32(b, 2, static_cast<uint32_t>(b.size()));
  return b;
}

std::vector<uint32_t> Row(const Image& image, int32_t y) {
  return std::vector<uint32_t>(image.px.begin() + y * image.width, image.px.begin() + (y + 1) * image.width);
}

Bytes Data(const PageRecord* page, size_t n) {
  return Bytes(page->data + page->dataOffset, page->data + page->dataOffset + n);
}

}  // namespace

TEST(Extract, IndexChecksComeBeforeTheReader) {
  OpenedFile f(Bmp(2, 2, 24, 0, {}, Bytes(16, 9)));
  ASSERT_EQ(f.result, kOk);
  Page page;
  EXPECT_EQ(f.Extract(page.get(), 1), kErrPageNotFound);
  EXPECT_EQ(f.Extract(page.get(), -1), kErrPageNotFound);
  EXPECT_EQ(page->data, nullptr);
  ImageFile closed{};
  EXPECT_EQ(ExtractPage(&closed, page.get(), 0), kErrParameter);
}

TEST(Extract, BmpPolarityFollowsThePalette) {
  // Two rows of 8 pixels: 0x0F (four of entry 0, four of entry 1).
  const Bytes rows = {0x0F, 0, 0, 0, 0x0F, 0, 0, 0};
  Extracted dark(Bmp(8, 2, 1, 0, {0x000000, 0xFFFFFF}, rows)), light(Bmp(8, 2, 1, 0, {0xFFFFFF, 0}, rows));
  ASSERT_EQ(dark.result, kOk);
  ASSERT_EQ(light.result, kOk);
  EXPECT_EQ(Row(dark.Pixels(), 0), (std::vector<uint32_t>{0, 0, 0, 0, 1, 1, 1, 1}));
  EXPECT_EQ(Row(light.Pixels(), 0), (std::vector<uint32_t>{1, 1, 1, 1, 0, 0, 0, 0}));
}

// Newer headers and 32-bit pixels: the reader fixtures.
TEST(Extract, BmpOfNegativeHeightIsTopDownAnd32BitsBecome24) {
  // A negative height is a top-down file: the first stored line first.
  Extracted top(Bmp(1, -2, 24, 0, {}, {1, 2, 3, 0, 4, 5, 6, 0}));
  ASSERT_EQ(top.result, kOk);
  EXPECT_EQ(top->height, 2);
  EXPECT_EQ(top->layoutFlags & kLayoutTopDown, kLayoutTopDown);
  EXPECT_EQ(top.Pixels().px[0], 0x030201u);
  // 32 bpp becomes 24 bpp, the fourth byte dropped.
  Extracted deep(Bmp(2, 1, 32, 0, {}, {10, 20, 30, 99, 40, 50, 60, 99}));
  ASSERT_EQ(deep.result, kOk);
  EXPECT_EQ(deep->bitsPerPixel, 24);
  EXPECT_EQ(Data(deep.page.get(), 6), (Bytes{10, 20, 30, 40, 50, 60}));
}

TEST(Extract, Bmp16BitFieldsOtherThan565AreConverted) {
  // One pixel 0x7FFF: white in 5-5-5, also with the 5-5-5 bit fields (whose
  // green mask has the same low byte as 5-6-5's).
  for (const std::vector<uint32_t>& masks : {std::vector<uint32_t>{}, {0x7C00, 0x03E0, 0x001F}}) {
    Extracted plain(Bmp(1, 1, 16, masks.empty() ? 0 : 3, {}, {0xFF, 0x7F, 0, 0}, 40, masks));
    ASSERT_EQ(plain.result, kOk);
    EXPECT_EQ(plain->dataOwnership, kOwnedByPage);
    EXPECT_EQ(plain->data[0] | (plain->data[1] << 8), 0xFFFF);
  }
  // Exact 5-6-5 bit fields stay in the file's bytes.
  Extracted exact(Bmp(1, 1, 16, 3, {}, {0x34, 0x12, 0, 0}, 40, {0xF800, 0x07E0, 0x001F}));
  ASSERT_EQ(exact.result, kOk);
  EXPECT_EQ(exact->dataOwnership, kOwnedByView);
  EXPECT_EQ(exact->data[exact->dataOffset] | (exact->data[exact->dataOffset + 1] << 8), 0x1234);
}

TEST(Extract, Bmp2BitIsFourGrays) {
  Extracted page(Bmp(4, 1, 2, 0, {0xFF0000, 0x00FF00, 0x0000FF, 0x123456}, {0x1B, 0, 0, 0}));
  ASSERT_EQ(page.result, kOk);
  EXPECT_EQ(page->bitsPerPixel, 4);
  EXPECT_EQ(Data(page.page.get(), 2), (Bytes{0x01, 0x23}));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(page->palette[3 * i], 0x55 * i);
}

TEST(Extract, BmpDamagedHeaders) {
  const Bytes bmp = Bmp(4, 4, 24, 0, {}, Bytes(48, 1));
  // {offset, field size, value, result}
  const struct {
    size_t at;
    int size;
    uint32_t value;
    int32_t result;
  } cases[] = {{10, 4, 100000, kErrIo},            // pixel data beyond the end
               {22, 4, 400, kErrIo},               // more rows than the file holds
               {18, 4, 0x7FFFFFFF, kErrBadHeader},
               {30, 4, 4, kErrUnsupported},        // embedded JPEG
               {28, 2, 7, kErrBitDepth}};
  for (const auto& c : cases) {
    Bytes b = bmp;
    c.size == 4 ? PutLE32(b, c.at, c.value) : PutLE16(b, c.at, c.value);
    EXPECT_EQ(Extracted(b).result, c.result) << c.at;
  }
}

// Photometric and colour maps: the reader fixtures and the fax files.
TEST(Extract, TiffStripsInBothByteOrdersAndCutAtTheEnd) {
  // Three strips of one row each, 8-bit gray, in reverse order; the count
  // field of a big-endian file is a whole 32-bit value.
  for (bool big : {false, true}) {
    Extracted page(BuildTiff({BilevelDirectory(2, 3, 1, {10, 20, 30, 40, 50, 60}).Set(kTagBitsPerSample, kTiffShort, {8}).Set(kTagPhotometric, kTiffShort, {1})
                                  .Set(kTagRowsPerStrip, kTiffLong, {1}).Set(kTagStripOffsets, kTiffLong, {12, 10, 8}).Set(kTagStripByteCounts, kTiffShort, {2, 2, 2})}, big));
    ASSERT_EQ(page.result, kOk) << big;
    Page out;
    ASSERT_EQ(Decode(page.page.get(), out), kOk);
    EXPECT_EQ(out->bytesPerLine, 2u);
    EXPECT_EQ(Data(out.get(), 6), (Bytes{50, 60, 30, 40, 10, 20}));
  }
  // A byte count reaching past the end is cut at the end of the file.
  const Bytes bytes = BuildTiff({BilevelDirectory(8, 2, 4, {1, 2, 3, 4}).Set(kTagStripByteCounts, kTiffLong, {5000})});
  Extracted cut(bytes);
  ASSERT_EQ(cut.result, kOk);
  EXPECT_EQ(cut->dataOffset + cut->dataSize, bytes.size());
}

TEST(Extract, TiffRefusals) {
  auto with = [](uint16_t tag, uint16_t type, std::vector<uint32_t> values) {
    return BuildTiff({BilevelDirectory(8, 2, 1, {0, 0}).Set(tag, type, values)});
  };
  EXPECT_EQ(Extracted(with(259, 3, {34712})).result, kErrUnsupported);  // unknown coding
  EXPECT_EQ(Extracted(with(258, 3, {12})).result, kErrUnsupported);
  EXPECT_EQ(Extracted(with(262, 3, {5})).result, kErrUnsupported);  // CMYK
  EXPECT_EQ(Extracted(with(277, 3, {4})).result, kErrUnsupported);  // alpha
  EXPECT_EQ(Extracted(with(262, 3, {2})).result, kErrUnsupported);  // RGB of 1-bit samples
  EXPECT_EQ(Extracted(with(256, 4, {0})).result, kErrBadHeader);
  EXPECT_EQ(Extracted(with(257, 4, {1u << 30})).result, kErrBadHeader);
  // Directory entries claimed beyond the end of the file: the directory
  // walk already refuses it, or the reader does.
  Bytes bytes = with(259, 3, {1});
  const uint32_t dirAt = bytes[4] | (bytes[5] << 8);
  bytes[dirAt] = 200;
  bytes.resize(dirAt + 200);
  EXPECT_EQ(Extracted(bytes).result, kErrBadHeader);
}

TEST(Extract, FaxDataEndingOnAViewPageBoundaryIsCopied) {
  Extracted page(BuildTiff({BilevelDirectory(1728, 10, 3, Bytes(8192, 0x55))}));
  ASSERT_EQ(page.result, kOk);
  EXPECT_EQ(page->dataOwnership, kOwnedByPage);
  EXPECT_EQ(page->dataOffset, 0u);
  EXPECT_EQ(page->dataSize, 8192u);
  EXPECT_EQ(page->data[8192 + 4], 0);
}

TEST(Extract, TargaRunsStopAtThePageEndAndColourMapsAreBoundedOrSkipped) {
  auto tga = [](int type, int depth, int w, int h, Bytes body, int mapLength = 0, int mapFirst = 0) {
    Bytes b(18, 0);
    b[1] = mapLength ? 1 : 0;
    b[2] = static_cast<uint8_t>(type);
    PutLE16(b, 3, static_cast<uint32_t>(mapFirst));
    PutLE16(b, 5, static_cast<uint32_t>(mapLength));
    b[7] = mapLength ? 24 : 0;
    PutLE16(b, 12, static_cast<uint32_t>(w));
    PutLE16(b, 14, static_cast<uint32_t>(h));
    b[16] = static_cast<uint8_t>(depth);
    b[17] = 0x20;
    b.insert(b.end(), body.begin(), body.end());
    b.resize(std::max<size_t>(b.size(), 60), 0);
    return b;
  };
  // Type 11 (8-bit gray, whose levels the reader fixtures check): a repeat
  // packet that would run past the page stops at its end.
  Extracted rle(tga(11, 8, 2, 2, {0xFF, 77, 0x80, 5}));
  ASSERT_EQ(rle.result, kOk);
  EXPECT_EQ(Data(rle.page.get(), 4), Bytes(4, 77));
  // A colour map reaching past entry 255 is refused.
  EXPECT_EQ(Extracted(tga(1, 8, 1, 1, Bytes(800, 0), 100, 200)).result, kErrBadHeader);
  // True-colour images skip a colour map they carry.
  Bytes body(30, 0);
  body[24] = 1, body[25] = 2, body[26] = 3;
  Extracted skip(tga(2, 24, 1, 1, body, 8));
  ASSERT_EQ(skip.result, kOk);
  EXPECT_EQ(Data(skip.page.get(), 3), (Bytes{1, 2, 3}));
}

TEST(Extract, GifBlocksAndFrames) {
  auto gif = [](const std::vector<Bytes>& blocks) {
    Bytes b;
    PutText(b, 0, "GIF89a");
    b.insert(b.end(), {4, 0, 3, 0, 0x81, 2, 0});  // 4 x 3, global table of 4 entries, background 2
    for (int i = 0; i < 12; ++i) b.push_back(static_cast<uint8_t>(i * 20));
    for (const Bytes& block : blocks) b.insert(b.end(), block.begin(), block.end());
    b.push_back(';');
    b.resize(std::max<size_t>(b.size(), 60), 0);
    return b;
  };
  const Bytes image = {',', 0, 0, 0, 0, 2, 0, 1, 0, 0, 2, 3, 1, 2, 3, 0};
  const Bytes comment = {0x21, 0xFE, 5, 'h', 'e', 'l', 'l', 'o', 0};
  const Bytes control = {0x21, 0xF9, 4, 0x09, 50, 0, 3, 0};
  Extracted page(gif({comment, control, image}));
  ASSERT_EQ(page.result, kOk);
  EXPECT_STREQ(page->comment, "hello");
  EXPECT_EQ(std::tuple(page->frameDelay, page->transparentIndex, page->frameDisposal, page->bitsPerPixel,
                       page->screenWidth, page->backgroundIndex),
            std::tuple(50, 3, 0x09, 4, 4, 2));
  EXPECT_EQ(Data(page.page.get(), page->dataSize), (Bytes{0, 2, 1, 2, 3}));
  EXPECT_EQ(page->palette[3 * 1 + 2], 60);  // RGB turned to BGR
  // Extensions of labels the reader has no use for are passed over by their
  // sub-blocks.
  const Bytes unknown = {0x21, 0x42, 3, 'a', 'b', 'c', 2, 'd', 'e', 0};
  Extracted passed(gif({unknown, comment, unknown, image}));
  ASSERT_EQ(passed.result, kOk);
  EXPECT_STREQ(passed->comment, "hello");
  EXPECT_EQ(Data(passed.page.get(), passed->dataSize), (Bytes{0, 2, 1, 2, 3}));
  // A graphic control block of size 5 is damage.
  Extracted rejected(gif({{0x21, 0xF9, 5, 0, 0, 0, 0, 0, 0}, image}));
  EXPECT_EQ(rejected.result, kErrBadHeader);
  EXPECT_EQ(rejected->palette, nullptr);
  // A data sub-block that reaches past the frame.
  Bytes runaway = image;
  runaway[11] = 200;
  EXPECT_LT(Extracted(gif({runaway})).result, 0);
}

// The pages' pixels: the digests of the samples, the run-length fixtures.
TEST(Extract, PcxPaletteIsNoDataAndDcxPagesStayInTheFile) {
  const Bytes pcx = ReadFileBytes(SamplePath("chart8.pcx"));
  Extracted page(pcx);
  ASSERT_EQ(page.result, kOk);
  EXPECT_EQ(page->dataSize, pcx.size() - 128 - 768);  // the 768-byte table is not data
  Extracted second(ReadFileBytes(SamplePath("pages.dcx")), 1);
  ASSERT_EQ(second.result, kOk);
  EXPECT_EQ(second->xResolution, 204);
  // A page offset beyond the file is damage, not a read outside it.
  Bytes dcx = ReadFileBytes(SamplePath("pages.dcx"));
  PutLE32(dcx, 8, 900000);
  EXPECT_EQ(Extracted(dcx, 1).result, kErrBadHeader);
}

TEST(Extract, HugePagesFromTinyFilesAreRefused) {
  // A G4 page of 20000 x 20000 in a file of a few hundred bytes: above the
  // page-size cap, refused before any decoder reserves memory for it.  At
  // the cap itself the page is read.
  EXPECT_EQ(Extracted(BuildTiff({BilevelDirectory(20000, 20000, 4, {0, 1, 2, 3})})).result, kErrBadHeader);
  EXPECT_EQ(Extracted(BuildTiff({BilevelDirectory(16384, 16384, 4, {0, 1, 2, 3})})).result, kOk);
}

namespace {

// A page of palette indexes (0 and 1) in each format that holds two-colour
// pages, with the palette entries `c0` and `c1` (0xRRGGBB).
enum Format { kGif, kBmp, kPcx, kDcx, kTif, kPdf };
Bytes TwoColourFile(int format, const Image& ix, uint32_t c0, uint32_t c1) {
  const uint32_t w = static_cast<uint32_t>(ix.width), h = static_cast<uint32_t>(ix.height);
  const Bytes rows = testpix::PackedRows(ix, false, RowBytes(ix.width, 1));
  Bytes rgb, b = format == kDcx ? Bytes{0xB1, 0x68, 0xDE, 0x3A, 12, 0, 0, 0, 0, 0, 0, 0} : Bytes{};
  for (uint32_t c : {c0, c1}) rgb.insert(rgb.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
  std::vector<uint32_t> map;  // TIFF: all reds, all greens, all blues, 16 bits each
  for (int k = 0; k < 6; ++k) map.push_back(rgb[k % 2 * 3 + k / 2] * 257u);
  char pdf[400];
  uLongf z = compressBound(rows.size());
  std::string flate(z, 0);
  switch (format) {
    case kGif: return GifEncode(Bytes(ix.px.begin(), ix.px.end()), ix.width, ix.height, rgb, false);
    case kBmp: return Bmp(ix.width, ix.height, 1, 0, {c0, c1}, testpix::PackedRows(Mirrored(ix, false, true), false, 4));
    case kPcx: case kDcx:
      b.resize(b.size() + 128);
      for (auto [at, v] : {std::pair{0, 10}, {1, 5}, {2, 1}, {3, 1}, {65, 1}}) b[b.size() - 128 + at] = uint8_t(v);
      PutLE16(b, b.size() - 120, w - 1), PutLE16(b, b.size() - 118, h - 1), PutLE16(b, b.size() - 62, RowBytes(ix.width, 1));
      std::copy(rgb.begin(), rgb.end(), b.end() - 112);
      for (uint8_t v : rows) b.insert(b.end(), {0xC1, v});
      return b;
    case kTif: return BuildTiff({BilevelDirectory(w, h, 1, rows).Set(kTagPhotometric, kTiffShort, {3}).Set(kTagColorMap, kTiffShort, map)});
  }
  compress(reinterpret_cast<Bytef*>(flate.data()), &z, rows.data(), rows.size());
  flate.resize(z);
  std::snprintf(pdf, sizeof pdf, "%%PDF-1.4\n1 0 obj\n<< /Subtype /Image /Width %u /Height %u /BitsPerComponent 1 "
                "/ColorSpace [/Indexed /DeviceRGB 1 <%06X%06X>] /Filter /FlateDecode /Length %lu >>\nstream\n", w, h, c0, c1, z);
  std::string text = pdf + flate + "\nendstream\n" + std::string(600, '%') + "\nendobj\n";
  std::snprintf(pdf, sizeof pdf, "xref\n0 2\n0000000000 65535 f \n0000000009 00000 n \ntrailer\n<< /Size 2 >>\nstartxref\n%zu\n%%%%EOF\n", text.size());
  text += pdf;
  return Bytes(text.begin(), text.end());
}

}  // namespace

// Two-colour pages show the entry of lower luminance (0.299 R + 0.587 G +
// 0.114 B) as black, of two equally light entries entry 0, in every format;
// and a PCX or DCX page keeps its picture when the tool saves it again.
TEST(Extract, TwoColourPalettesShowTheDarkerEntryAsBlack) {
  // Entries 0 and 1 and the one shown black: black and white, dark blue and
  // yellow, red and dark green, dark red and light gray, red and blue, and
  // two equally light colours.
  const uint32_t cases[][3] = {{0x000000, 0xFFFFFF, 0}, {0xFFFFFF, 0x000000, 1}, {0x000080, 0xFFFF00, 0},
                               {0xFFFF00, 0x000080, 1}, {0xFF0000, 0x006400, 1}, {0x006400, 0xFF0000, 0},
                               {0x800000, 0xC8C8C8, 0}, {0xFF0000, 0x0000FF, 1}, {0x01009D, 0x001F00, 0}};
  const Image indexes = testpix::Noise(19, 5, 1, 26);
  TempDir dir;
  for (int format : {kGif, kBmp, kPcx, kDcx, kTif, kPdf})
    for (auto [c0, c1, black] : cases) {
      SCOPED_TRACE(testing::Message() << "format " << format << std::hex << " " << c0 << " " << c1);
      Image shown = indexes;
      for (uint32_t& v : shown.px) v = v == black ? 0 : 1;
      Extracted page(TwoColourFile(format, indexes, c0, c1));
      ASSERT_EQ(page.result, kOk);
      EXPECT_TRUE(SameImage(shown, page.Pixels()));
      if ((format != kPcx && format != kDcx) || black != 1) continue;
      const std::string in = dir.Write(format == kPcx ? "in.pcx" : "in.dcx", TwoColourFile(format, indexes, c0, c1));
      for (const char* out : {"o.tif", "o.pcx", "o.dcx", "o.bmp"}) {
        ASSERT_EQ(Tool({"convert", in, dir.Path(out)}).status, 0);
        EXPECT_TRUE(SamePixels(testpix::ToRaster(shown), FileRaster(dir.Path(out)))) << out;
      }
    }
}
