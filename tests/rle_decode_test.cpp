// Run-length decoders: files made by general tools decoded pixel-exact
// against the tools' own decode, the streams' corner cases, and damaged
// streams that must end cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/codecs/runlength.h"
#include "imaging/core/core.h"
#include "imaging/core/runlist.h"
#include "support/rle_lzw_pages.h"
#include "support/test_util.h"

using namespace quillon;
using namespace testutil;

namespace {

using Bytes = std::vector<uint8_t>;

void ExpectSameRgb(const Rgb& actual, const Rgb& expected, const std::string& what) {
  ASSERT_EQ(actual.width, expected.width) << what;
  ASSERT_EQ(actual.height, expected.height) << what;
  ASSERT_EQ(actual.pixels.size(), expected.pixels.size()) << what;
  for (size_t i = 0; i < actual.pixels.size(); i += 3) {
    if (actual.pixels[i] != expected.pixels[i] || actual.pixels[i + 1] != expected.pixels[i + 1] ||
        actual.pixels[i + 2] != expected.pixels[i + 2]) {
      size_t p = i / 3;
      ADD_FAILURE() << what << ": first difference at x " << p % actual.width << " y "
                    << p / actual.width;
      return;
    }
  }
}

// A recipe page of `bytes` in `code`.
SourcePtr Recipe(int code, int32_t width, int32_t height, int bpp, Bytes bytes) {
  auto s = std::make_unique<SourcePage>();
  s->record.compression = static_cast<int8_t>(code);
  s->record.width = width;
  s->record.height = height;
  s->record.bitsPerPixel = static_cast<int8_t>(bpp);
  s->record.planes = 1;
  s->record.bytesPerLine = code == kBmpRle ? BytesPerLine(width, bpp) : RowBytes(width, bpp);
  s->record.layoutFlags = code == kBmpRle ? (kLayoutBottomUp | kLayoutBmp) : kLayoutTopDown;
  s->bytes = std::move(bytes);
  s->Attach();
  return s;
}

// Decodes `source` cut at every length and with bits flipped: every result
// is one of `allowed`, and nothing is read or written out of bounds (the
// sanitizer build checks that).
void ExpectDamageEndsCleanly(const SourcePage& source, std::vector<int32_t> allowed) {
  const Bytes& whole = source.bytes;
  for (size_t cut = 0; cut <= whole.size(); ++cut) {
    // A copy of exactly `cut` bytes, so reading past it is caught.
    std::unique_ptr<uint8_t[]> part(new uint8_t[cut]);
    std::copy(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(cut), part.get());
    PageRecord r = source.record;
    r.data = part.get();
    r.dataSize = static_cast<uint32_t>(cut);
    r.stripCount = 0;
    for (int32_t flags : {0, int32_t{kFlagKeepPartial}}) {
      Page out;
      int32_t result = DecodeToPixels(&r, &out, flags);
      EXPECT_NE(std::find(allowed.begin(), allowed.end(), result), allowed.end())
          << "cut at " << cut << " flags " << flags << " gave " << result;
      if (result != kOk) {
        EXPECT_EQ(out->data, nullptr);
      }
    }
  }
  std::mt19937 rng(static_cast<uint32_t>(whole.size()));
  for (int trial = 0; trial < 200 && !whole.empty(); ++trial) {
    Bytes damaged = whole;
    for (int k = 0; k < 3; ++k)
      damaged[rng() % damaged.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
    PageRecord r = source.record;
    r.data = damaged.data();
    r.stripCount = 0;
    Page out;
    int32_t result = DecodeToPixels(&r, &out, 0);
    EXPECT_NE(std::find(allowed.begin(), allowed.end(), result), allowed.end()) << result;
  }
}

}  // namespace

TEST(PcxDecode, FilesMatchTheToolsDecode) {
  for (const char* name : {"pcx1", "pcx8", "pcx24", "pcx4planes"}) {
    Bytes file = ReadFileBytes(DataPath(std::string("rle/") + name + ".pcx"));
    ASSERT_GT(file.size(), 128u) << name;
    SourcePtr source = PcxSource(file, 0, file.size());
    Page decoded;
    ASSERT_EQ(DecodeToPixels(&source->record, &decoded), kOk) << name;
    EXPECT_EQ(decoded->layoutFlags, kLayoutTopDown);
    ExpectSameRgb(PageToRgb(decoded.record),
                  ReadPnm(DataPath(std::string("rle/") + name + ".ppm")), name);
  }
}

TEST(PcxDecode, DcxPagesMatchTheToolsDecode) {
  Bytes file = ReadFileBytes(DataPath("rle/pages.dcx"));
  std::vector<SourcePtr> pages = DcxSources(file);
  ASSERT_EQ(pages.size(), 3u);
  for (size_t i = 0; i < pages.size(); ++i) {
    Page decoded;
    ASSERT_EQ(DecodeToPixels(&pages[i]->record, &decoded), kOk) << i;
    ExpectSameRgb(PageToRgb(decoded.record),
                  ReadPnm(DataPath("rle/pages-" + std::to_string(i) + ".ppm")),
                  "page " + std::to_string(i));
  }
}

TEST(PcxDecode, PaddingByteOfEachLineIsDiscarded) {
  // 3 pixels of 8 bits with one padding byte a line (scan line 4 bytes).
  SourcePtr s = Recipe(kPcxRle, 3, 2, 8, {1, 2, 3, 0x0E, 0xC2, 4, 5, 0x0E});
  s->record.bytesPerLine = 4;
  Page out;
  ASSERT_EQ(DecodeToPixels(&s->record, &out), kOk);
  EXPECT_EQ(PageRows(out.record), (Bytes{1, 2, 3, 4, 4, 5}));
  EXPECT_EQ(out->bytesPerLine, 4u);
}

TEST(PcxDecode, RunsCarryOnIntoTheNextLinesAndStopAtThePageEnd) {
  // A run of 7 over two lines of 3, then a run that reaches past the page.
  SourcePtr s = Recipe(kPcxRle, 3, 3, 8, {0xC7, 9, 0xFF, 1});
  Page out;
  ASSERT_EQ(DecodeToPixels(&s->record, &out), kOk);
  EXPECT_EQ(PageRows(out.record), (Bytes{9, 9, 9, 9, 9, 9, 9, 1, 1}));
}

TEST(PcxDecode, ZeroCountAndShortDataFail) {
  Page out;
  SourcePtr zero = Recipe(kPcxRle, 4, 1, 8, {0xC0, 5, 1, 2, 3, 4});
  EXPECT_EQ(DecodeToPixels(&zero->record, &out), kErrDecompress);
  EXPECT_EQ(out->data, nullptr);
  SourcePtr shortData = Recipe(kPcxRle, 4, 2, 8, {1, 2, 3, 4, 0xC3});
  EXPECT_EQ(DecodeToPixels(&shortData->record, &out, kFlagKeepPartial), kErrDecompress);
}

TEST(PcxDecode, PlanarLinesUseTheFilesPlaneLength) {
  // 4 planes of 2 bytes for 9 pixels; plane p has bit p set for pixel x
  // when bit p of x is set, so pixel x decodes to x (mod 16).
  const int32_t width = 9;
  Bytes line(8, 0);
  for (int32_t x = 0; x < width; ++x)
    for (int p = 0; p < 4; ++p)
      if ((x >> p) & 1) line[p * 2 + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
  Bytes packed(5, 0);
  PcxPlanesToPacked4(line.data(), 2, packed.data(), width);
  EXPECT_EQ(packed, (Bytes{0x01, 0x23, 0x45, 0x67, 0x80}));
  // Through the decoder, with the file's line of 8 bytes.
  Bytes code;
  for (uint8_t b : line) {
    if (b >= 0xC0) code.push_back(0xC1);
    code.push_back(b);
  }
  SourcePtr s = Recipe(kPcxRle, width, 1, 4, code);
  s->record.planes = 4;
  s->record.bytesPerLine = 8;
  Page out;
  ASSERT_EQ(DecodeToPixels(&s->record, &out), kOk);
  EXPECT_EQ(PageRows(out.record), (Bytes{0x01, 0x23, 0x45, 0x67, 0x80}));
  // Planes shorter than the width leave the missing pixels 0.
  Bytes bgr(3 * 4, 0xAA);
  const Bytes planes = {1, 2, 3, 4, 5, 6};  // red 1 2, green 3 4, blue 5 6
  PcxPlanesToBgr(planes.data(), 2, bgr.data(), 4);
  EXPECT_EQ(bgr, (Bytes{5, 3, 1, 6, 4, 2, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}));
}

TEST(PcxDecode, DamagedStreamsEndCleanly) {
  for (const char* name : {"pcx1", "pcx24", "pcx4planes"}) {
    Bytes file = ReadFileBytes(DataPath(std::string("rle/") + name + ".pcx"));
    SourcePtr source = PcxSource(file, 0, file.size());
    ExpectDamageEndsCleanly(*source, {kOk, kErrDecompress});
  }
}

TEST(BmpRleDecode, FilesMatchTheToolsDecode) {
  for (const char* name : {"rle8-chart", "rle8-photo", "rle8-delta", "rle4"}) {
    Bytes file = ReadFileBytes(DataPath(std::string("rle/") + name + ".bmp"));
    ASSERT_GT(file.size(), 54u) << name;
    SourcePtr source = BmpRleSource(file);
    Page decoded;
    ASSERT_EQ(DecodeToPixels(&source->record, &decoded), kOk) << name;
    EXPECT_EQ(decoded->layoutFlags, kLayoutTopDown);
    ExpectSameRgb(PageToRgb(decoded.record),
                  ReadPnm(DataPath(std::string("rle/") + name + ".ppm")), name);
  }
}

TEST(BmpRleDecode, RunThatFillsALineThenEndOfLineSkipsNoLine) {
  // Bottom line first: 4 x 2 pixels.
  SourcePtr s = Recipe(kBmpRle, 4, 2, 8, {4, 7, 0, 0, 2, 8, 0, 0, 0, 1});
  Page out;
  ASSERT_EQ(DecodeToPixels(&s->record, &out), kOk);
  EXPECT_EQ(PageRows(out.record), (Bytes{8, 8, 0, 0, 7, 7, 7, 7}));
}

TEST(BmpRleDecode, CodesThatLeaveThePageWriteNothingOutside) {
  // Delta far right and far up, runs past the top line, absolute runs
  // longer than the data: the page keeps what lies inside.  Lines of 3
  // pixels are 4 long with their padding.
  struct Case {
    Bytes stream;
    Bytes rows;  // top line first
  };
  const std::vector<Case> cases = {
      {{0, 2, 200, 0, 2, 5, 0, 1}, {0, 0, 0, 5, 5, 0, 0, 0, 0}},  // delta past the edge: next line
      {{0, 2, 1, 200, 3, 5}, {0, 0, 0, 0, 0, 0, 0, 0, 0}},        // delta above the top
      {{255, 6}, {6, 6, 6, 6, 6, 6, 6, 6, 6}},                    // run past the top line
      {{0, 9, 1, 2, 3, 4, 5}, {0, 0, 0, 5, 0, 0, 1, 2, 3}},       // absolute cut by the data
      {{0, 200, 1, 2, 3}, {0, 0, 0, 0, 0, 0, 1, 2, 3}},
      {{0, 3, 1, 2, 3}, {0, 0, 0, 0, 0, 0, 1, 2, 3}},  // its pad byte past the data
  };
  for (const Case& c : cases) {
    SourcePtr s = Recipe(kBmpRle, 3, 3, 8, c.stream);
    Page out;
    ASSERT_EQ(DecodeToPixels(&s->record, &out), kOk);
    EXPECT_EQ(PageRows(out.record), c.rows);
  }
}

TEST(BmpRleDecode, Rle4PixelsAndTheOddWidthSpill) {
  // Width 3: a run of 4 pixels spills one onto the next line, which the
  // end of line absorbs; an absolute run at an odd x goes pixel by pixel.
  SourcePtr s = Recipe(kBmpRle, 3, 2, 4, {4, 0x12, 0, 0, 1, 0x50, 0, 3, 0x67, 0x80, 0, 1});
  Page out;
  ASSERT_EQ(DecodeToPixels(&s->record, &out), kOk);
  // Top line: 5, then 6 7 from the absolute run (its third pixel 8 passes
  // the top line's end and ends decoding).  Bottom line: 1 2 1.
  EXPECT_EQ(PageRows(out.record), (Bytes{0x56, 0x70, 0x12, 0x10}));
}

TEST(BmpRleDecode, Rle24RunsAndLiterals) {
  // 2 x 2, Blue, Green, Red as stored.
  SourcePtr s = Recipe(kBmpRle, 2, 2, 24,
                       {2, 1, 2, 3, 0, 0, 0, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0, 0, 0, 0, 1});
  Page out;
  ASSERT_EQ(DecodeToPixels(&s->record, &out), kOk);
  // The absolute run of 3 pixels keeps the first 2 on the 2-pixel line.
  EXPECT_EQ(PageRows(out.record), (Bytes{4, 5, 6, 7, 8, 9, 1, 2, 3, 1, 2, 3}));
}

TEST(BmpRleDecode, DamagedStreamsEndCleanly) {
  for (const char* name : {"rle8-chart", "rle8-delta", "rle4"}) {
    Bytes file = ReadFileBytes(DataPath(std::string("rle/") + name + ".bmp"));
    SourcePtr source = BmpRleSource(file);
    ExpectDamageEndsCleanly(*source, {kOk});
  }
}

TEST(PackBitsDecode, NoOperationAndRunsAcrossRows) {
  // 0x80 is skipped; the repeat of 5 spans rows of 3.
  SourcePtr s = Recipe(kPackBits, 3, 3, 8, {0x80, 0x01, 1, 2, 0xFC, 9, 0x00, 4});
  Page out;
  ASSERT_EQ(DecodeToPixels(&s->record, &out), kOk);
  EXPECT_EQ(out->bytesPerLine, 3u);
  EXPECT_EQ(PageRows(out.record), (Bytes{1, 2, 9, 9, 9, 9, 9, 4, 0}));
}

TEST(PackBitsDecode, CountsLongerThanThePageAreClipped) {
  SourcePtr s = Recipe(kPackBits, 2, 2, 8, {0x02, 1, 2, 3, 0x81, 7});
  Page out;
  ASSERT_EQ(DecodeToPixels(&s->record, &out), kOk);
  EXPECT_EQ(out->dataSize, 4u);
  EXPECT_EQ(PageRows(out.record), (Bytes{1, 2, 3, 7}));
}

TEST(PackBitsDecode, OverrunFailsUnlessPartialResultsAreKept) {
  // Rows of 16 bilevel pixels; the literal of row 2 runs past the data.
  const Bytes stream = {0x01, 0x0F, 0xFF, 0x03, 0xF0};
  SourcePtr s = Recipe(kPackBits, 16, 3, 1, stream);
  Page failed;
  EXPECT_EQ(DecodeToPixels(&s->record, &failed), kErrDecompress);
  EXPECT_EQ(failed->data, nullptr);
  Page kept;
  ASSERT_EQ(DecodeToPixels(&s->record, &kept, kFlagKeepPartial), kOk);
  // Row 1 decoded, the half-decoded row 2 and row 3 empty lines.
  ASSERT_EQ(kept->compression, kRunLists);
  uint8_t** lines = LinePointers(kept.record);
  EXPECT_EQ(Bytes(lines[0], lines[0] + 6), (Bytes{0, 4, 12, 0, 0, 0}));
  EXPECT_EQ(Bytes(lines[1], lines[1] + 4), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(Bytes(lines[2], lines[2] + 4), (Bytes{0, 0, 0, 0}));
  // Data that ends early without an overrun is not an error.
  SourcePtr early = Recipe(kPackBits, 2, 2, 8, {0x01, 5, 6});
  Page out;
  ASSERT_EQ(DecodeToPixels(&early->record, &out), kOk);
  EXPECT_EQ(PageRows(out.record), (Bytes{5, 6, 0, 0}));
}

TEST(PackBitsDecode, TiffFilesMatchLibtiff) {
  for (const char* name : {"packbits-bilevel", "packbits-gray", "packbits-rgb-strips"}) {
    const std::string path = DataPath(std::string("rle/") + name + ".tif");
    SourcePtr source = TiffRawSource(path);
    ASSERT_GT(source->bytes.size(), 0u) << name;
    Page decoded;
    ASSERT_EQ(DecodeToPixels(&source->record, &decoded), kOk) << name;
    Bytes expected = LibtiffDecode(path);
    const int bpp = source->record.bitsPerPixel;
    const uint32_t rowBytes = RowBytes(source->record.width, bpp);
    for (size_t y = 0; bpp == 24 && y < static_cast<size_t>(source->record.height); ++y)
      SwapRedBlue(expected.data() + y * rowBytes, static_cast<uint32_t>(source->record.width));
    Bytes actual = PageRows(decoded.record);
    if (bpp == 1 && decoded->photometric == 1) {
      // libtiff returns the stored bits; the page holds 1 = white.
      for (uint8_t& b : expected) b = static_cast<uint8_t>(~b);
    }
    Page reference;
    MakeDecodedPage(source->record.width, source->record.height, bpp, expected, &reference);
    EXPECT_EQ(actual, PageRows(reference.record)) << name;
  }
}

TEST(PackBitsDecode, DamagedStreamsEndCleanly) {
  SourcePtr source = TiffRawSource(DataPath("rle/packbits-gray.tif"));
  ExpectDamageEndsCleanly(*source, {kOk, kErrDecompress});
  SourcePtr bilevel = TiffRawSource(DataPath("rle/packbits-bilevel.tif"));
  ExpectDamageEndsCleanly(*bilevel, {kOk, kErrDecompress});
}
