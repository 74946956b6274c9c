// The run-length schemes (PackBits, PCX, BMP RLE4/RLE8): the row coders'
// greedy splits, the decoders on hand-made streams and their corner cases,
// round trips (LZW's too) at every depth each scheme holds, and what they
// refuse.
#include "support/suite.h"

#include "imaging/codecs/runlength.h"

namespace {

Bytes Code(uint8_t* (*coder)(const uint8_t*, uint8_t*, uint32_t), const Bytes& row) {
  Bytes out(2 * row.size() + 8, 0xEE);
  out.resize(static_cast<size_t>(coder(row.data(), out.data(), static_cast<uint32_t>(row.size())) - out.data()));
  return out;
}

Bytes Pcx(const Bytes& row, uint32_t count, uint32_t stride) {
  Bytes out(2 * count + 8, 0xEE);
  out.resize(static_cast<size_t>(PcxRow(row.data(), out.data(), count, stride) - out.data()));
  return out;
}

// A recipe page of `bytes` in `code`: PCX and PackBits top line first in
// lines of RowBytes, BMP RLE bottom line first in padded lines.
PageRecord Recipe(int code, int32_t width, int32_t height, int bpp, const Bytes& bytes) {
  PageRecord page = CodedPage(bytes, code, width, height, bpp);
  if (code == kBmpRle) {
    page.bytesPerLine = BytesPerLine(width, bpp);
    page.layoutFlags = kLayoutBottomUp | kLayoutBmp;
  }
  return page;
}

// The decoded page's rows, RowBytes each, top line first.
Bytes Rows(const PageRecord& page) { return testpix::PackedRows(testpix::ReadPage(page)); }

Bytes DecodedRows(int code, int32_t width, int32_t height, int bpp, const Bytes& bytes) {
  PageRecord page = Recipe(code, width, height, bpp, bytes);
  Page out;
  EXPECT_EQ(Decode(&page, out), kOk);
  return out->data ? Rows(out.record) : Bytes{};
}

}  // namespace

TEST(RunLengthRows, PackBitsSplitsGreedily) {
  EXPECT_EQ(Code(PackBitsRow, {0x41, 0x41, 0x41, 0x42}), (Bytes{0xFE, 0x41, 0x00, 0x42}));
  EXPECT_EQ(Code(PackBitsRow, {0x41, 0x42, 0x43, 0x44}), (Bytes{0x02, 0x41, 0x42, 0x43, 0x00, 0x44}));
  EXPECT_EQ(Code(PackBitsRow, {0x41, 0x43, 0x43}), (Bytes{0x00, 0x41, 0xFF, 0x43}));
  EXPECT_EQ(Code(PackBitsRow, Bytes(300, 0x7A)), (Bytes{0x81, 0x7A, 0x81, 0x7A, 0xD5, 0x7A}));
  // 129 equal bytes: 128 in one run, the last one as a literal.
  EXPECT_EQ(Code(PackBitsRow, Bytes(129, 5)), (Bytes{0x81, 5, 0x00, 5}));
  EXPECT_EQ(Code(PackBitsRow, {9}), (Bytes{0x00, 9}));
  EXPECT_EQ(Code(PackBitsRow, {}), Bytes{});
  // 299 different bytes as 128 + 128 + 43, then the last byte alone.
  Bytes row(300);
  for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>(i * 7);
  const Bytes code = Code(PackBitsRow, row);
  ASSERT_EQ(code.size(), 300u + 4);
  EXPECT_EQ((Bytes{code[0], code[129], code[258], code[302]}), (Bytes{0x7F, 0x7F, 42, 0x00}));
  // The greedy split's worst case: single literals between pairs.
  Bytes worst;
  for (int i = 0; i < 100; ++i) worst.insert(worst.end(), {uint8_t(i), uint8_t(i + 100), uint8_t(i + 100)});
  EXPECT_EQ(Code(PackBitsRow, worst).size(), worst.size() / 3 * 4);
  EXPECT_LE(Code(PackBitsRow, worst).size(), RowCoderWorstCase(worst.size()));
}

TEST(RunLengthRows, PcxRunsOf63AndBytesThatLookLikeCounts) {
  EXPECT_EQ(Pcx(Bytes(100, 0x20), 100, 1), (Bytes{0xFF, 0x20, 0xE5, 0x20}));
  EXPECT_EQ(Pcx({0xC5}, 1, 1), (Bytes{0xC1, 0xC5}));
  EXPECT_EQ(Pcx({0x41}, 1, 1), (Bytes{0x41}));
  EXPECT_EQ(Pcx(Bytes(63, 7), 63, 1), (Bytes{0xFF, 7}));
  EXPECT_EQ(Pcx(Bytes(64, 7), 64, 1), (Bytes{0xFF, 7, 7}));
  // Every third byte: one plane of a 24-bit row.
  const Bytes rgb = {1, 2, 3, 1, 5, 6, 9, 8, 9};
  EXPECT_EQ(Pcx(rgb, 3, 3), (Bytes{0xC2, 1, 9}));
  EXPECT_EQ(Pcx(Bytes(rgb.begin() + 2, rgb.end()), 3, 3), (Bytes{3, 6, 9}));
}

TEST(RunLengthRows, BmpRle8AndRle4) {
  EXPECT_EQ(Code(Rle8Row, {0x41, 0x42, 0x43, 0x44, 0x44}), (Bytes{0x00, 0x03, 0x41, 0x42, 0x43, 0x00, 0x02, 0x44}));
  // Fewer than three literal bytes are single-pixel runs; a row's last
  // byte after a literal stretch stands alone.
  EXPECT_EQ(Code(Rle8Row, {1, 2, 3, 3}), (Bytes{1, 1, 1, 2, 2, 3}));
  EXPECT_EQ(Code(Rle8Row, {1, 2, 2}), (Bytes{1, 1, 2, 2}));
  EXPECT_EQ(Code(Rle8Row, {1, 2}), (Bytes{1, 1, 1, 2}));
  EXPECT_EQ(Code(Rle8Row, Bytes(600, 9)), (Bytes{255, 9, 255, 9, 90, 9}));
  EXPECT_EQ(Code(Rle8Row, Bytes(256, 9)), (Bytes{255, 9, 1, 9}));
  // RLE4 counts are pixels, two to a byte.
  EXPECT_EQ(Code(Rle4Row, {0x12, 0x12, 0x12}), (Bytes{6, 0x12}));
  EXPECT_EQ(Code(Rle4Row, {0x12}), (Bytes{2, 0x12}));
  EXPECT_EQ(Code(Rle4Row, {0x12, 0x34}), (Bytes{2, 0x12, 2, 0x34}));
  EXPECT_EQ(Code(Rle4Row, {0x12, 0x34, 0x56}), (Bytes{0x00, 4, 0x12, 0x34, 2, 0x56}));
  EXPECT_EQ(Code(Rle4Row, {0x12, 0x34, 0x56, 0x78}), (Bytes{0x00, 6, 0x12, 0x34, 0x56, 0x00, 2, 0x78}));
  EXPECT_EQ(Code(Rle4Row, Bytes(300, 0xAB)), (Bytes{254, 0xAB, 254, 0xAB, 92, 0xAB}));
}

TEST(RunLengthRows, SwapRedBlueTouchesOnlyTheOuterBytesOfItsPixels) {
  std::mt19937 rng(3);
  for (uint32_t pixels = 0; pixels <= 41; ++pixels) {  // around the eight-pixel blocks
    Bytes data(3 * pixels + 5);
    for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
    Bytes expected = data;
    for (uint32_t i = 0; i < pixels; ++i) std::swap(expected[3 * i], expected[3 * i + 2]);
    Bytes copy(data.size(), 0xEE);
    CopySwappingRedBlue(data.data(), copy.data(), pixels);
    EXPECT_TRUE(std::equal(copy.begin(), copy.begin() + 3 * pixels, expected.begin())) << pixels;
    EXPECT_EQ(copy[3 * pixels], 0xEE) << pixels;
    SwapRedBlue(data.data(), pixels);
    EXPECT_EQ(data, expected) << pixels;
  }
}

TEST(RunLengthDecode, PcxPaddingByteRunsAcrossLinesAndPlanes) {
  // 3 pixels of 8 bits with one padding byte a line (scan line 4 bytes).
  const Bytes stream = {1, 2, 3, 0x0E, 0xC2, 4, 5, 0x0E};
  PageRecord padded = Recipe(kPcxRle, 3, 2, 8, stream);
  padded.bytesPerLine = 4;
  Page out;
  ASSERT_EQ(Decode(&padded, out), kOk);
  EXPECT_EQ(Rows(out.record), (Bytes{1, 2, 3, 4, 4, 5}));
  EXPECT_EQ(out->bytesPerLine, 4u);
  // A run of 7 over two lines of 3, then a run that reaches past the page.
  EXPECT_EQ(DecodedRows(kPcxRle, 3, 3, 8, {0xC7, 9, 0xFF, 1}), (Bytes{9, 9, 9, 9, 9, 9, 9, 1, 1}));
  // 4 planes of 2 bytes for 9 pixels, plane p holding bit p of pixel x = x
  // (mod 16).
  const Bytes code = {0x55, 0x00, 0x33, 0x00, 0x0F, 0x00, 0x00, 0x80};
  PageRecord planar = Recipe(kPcxRle, 9, 1, 4, code);
  planar.planes = 4;
  planar.bytesPerLine = 8;
  Page four;
  ASSERT_EQ(Decode(&planar, four), kOk);
  EXPECT_EQ(Rows(four.record), (Bytes{0x01, 0x23, 0x45, 0x67, 0x80}));
  // Planes shorter than the width leave the missing pixels 0.
  Bytes bgr(3 * 4, 0xAA);
  const Bytes planes = {1, 2, 3, 4, 5, 6};  // red 1 2, green 3 4, blue 5 6
  PcxPlanesToBgr(planes.data(), 2, bgr.data(), 4);
  EXPECT_EQ(bgr, (Bytes{5, 3, 1, 6, 4, 2, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}));
}

TEST(RunLengthDecode, PcxZeroCountAndShortDataFail) {
  const Bytes zeroCount = {0xC0, 5, 1, 2, 3, 4}, shortData = {1, 2, 3, 4, 0xC3};
  PageRecord zero = Recipe(kPcxRle, 4, 1, 8, zeroCount);
  PageRecord cut = Recipe(kPcxRle, 4, 2, 8, shortData);
  Page out;
  EXPECT_EQ(Decode(&zero, out), kErrDecompress);
  EXPECT_EQ(out->data, nullptr);
  EXPECT_EQ(Decode(&cut, out, kFlagKeepPartial), kErrDecompress);
}

TEST(RunLengthDecode, BmpCodesThatLeaveThePageWriteNothingOutside) {
  // Bottom line first.  A run that fills a line, then end of line: no line
  // skipped; 24-bit runs and literals.
  EXPECT_EQ(DecodedRows(kBmpRle, 4, 2, 8, {4, 7, 0, 0, 2, 8, 0, 0, 0, 1}), (Bytes{8, 8, 0, 0, 7, 7, 7, 7}));
  EXPECT_EQ(DecodedRows(kBmpRle, 2, 2, 24, {2, 1, 2, 3, 0, 0, 0, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0, 0, 0, 0, 1}),
            (Bytes{4, 5, 6, 7, 8, 9, 1, 2, 3, 1, 2, 3}));
  // Width 3 at 4 bits: a run of 4 pixels spills one onto the next line,
  // which the end of line absorbs; an absolute run at an odd x goes pixel
  // by pixel, its third pixel past the top line's end ending the decoding.
  EXPECT_EQ(DecodedRows(kBmpRle, 3, 2, 4, {4, 0x12, 0, 0, 1, 0x50, 0, 3, 0x67, 0x80, 0, 1}),
            (Bytes{0x56, 0x70, 0x12, 0x10}));
  // Deltas far right and far up, runs past the top line, absolute runs
  // longer than the data (lines of 3 pixels, rows listed top first).
  const std::pair<Bytes, Bytes> cases[] = {
      {{0, 2, 200, 0, 2, 5, 0, 1}, {0, 0, 0, 5, 5, 0, 0, 0, 0}},  // delta past the edge: next line
      {{0, 2, 1, 200, 3, 5}, {0, 0, 0, 0, 0, 0, 0, 0, 0}},        // delta above the top
      {{255, 6}, Bytes(9, 6)},                                    // run past the top line
      {{0, 9, 1, 2, 3, 4, 5}, {0, 0, 0, 5, 0, 0, 1, 2, 3}},       // absolute cut by the data
      {{0, 200, 1, 2, 3}, {0, 0, 0, 0, 0, 0, 1, 2, 3}},
      {{0, 3, 1, 2, 3}, {0, 0, 0, 0, 0, 0, 1, 2, 3}},  // its pad byte past the data
  };
  for (const auto& [stream, rows] : cases) EXPECT_EQ(DecodedRows(kBmpRle, 3, 3, 8, stream), rows);
}

TEST(RunLengthDecode, PackBitsRunsAcrossRowsAndClippedAtThePageEnd) {
  // 0x80 is skipped; the repeat of 5 spans rows of 3.
  EXPECT_EQ(DecodedRows(kPackBits, 3, 3, 8, {0x80, 0x01, 1, 2, 0xFC, 9, 0x00, 4}), (Bytes{1, 2, 9, 9, 9, 9, 9, 4, 0}));
  EXPECT_EQ(DecodedRows(kPackBits, 2, 2, 8, {0x02, 1, 2, 3, 0x81, 7}), (Bytes{1, 2, 3, 7}));
  // Data that ends early without an overrun is not an error.
  EXPECT_EQ(DecodedRows(kPackBits, 2, 2, 8, {0x01, 5, 6}), (Bytes{5, 6, 0, 0}));
}

TEST(RunLengthDecode, PackBitsOverrunFailsUnlessPartialResultsAreKept) {
  // Rows of 16 bilevel pixels; the literal of row 2 runs past the data.
  const Bytes stream = {0x01, 0x0F, 0xFF, 0x03, 0xF0};
  PageRecord page = Recipe(kPackBits, 16, 3, 1, stream);
  Page failed, kept;
  EXPECT_EQ(Decode(&page, failed), kErrDecompress);
  EXPECT_EQ(failed->data, nullptr);
  ASSERT_EQ(Decode(&page, kept, kFlagKeepPartial), kOk);
  // Row 1 decoded, the half-decoded row 2 and row 3 empty lines.
  uint8_t** lines = LinePointers(kept.record);
  EXPECT_EQ(Bytes(lines[0], lines[0] + 6), (Bytes{0, 4, 12, 0, 0, 0}));
  EXPECT_EQ(Bytes(lines[1], lines[1] + 4), Bytes(4, 0));
  EXPECT_EQ(Bytes(lines[2], lines[2] + 4), Bytes(4, 0));
}

namespace {

struct Scheme {
  int code;
  int bpp;
};

class RunLengthRoundTrip : public ::testing::TestWithParam<Scheme> {};

}  // namespace

// Every run-length and LZW coding at every depth it holds.
TEST_P(RunLengthRoundTrip, EveryWidthPatternAndLineOrder) {
  const Scheme s = GetParam();
  for (int32_t width : {1, 2, 7, 9, 33, 130, 301})
    for (int32_t height : {1, 5})
      for (Pattern pattern : {Pattern::kNoise, Pattern::kRuns, Pattern::kGradient, Pattern::kConstant,
                              Pattern::kAlternating})
        for (bool bottomUp : {false, true}) {
          SCOPED_TRACE("width " + std::to_string(width) + " height " + std::to_string(height) + " pattern " +
                       std::to_string(static_cast<int>(pattern)) + (bottomUp ? " bottom-up" : ""));
          const Image image = testpix::Patterned(width, height, s.bpp, pattern, static_cast<uint32_t>(width));
          Page original, encoded, decoded;
          testpix::MakePage(image, original.get(), nullptr, bottomUp);
          encoded->compression = static_cast<int8_t>(s.code);
          ASSERT_EQ(ConvertPage(original.get(), encoded.get(), 0), kOk);
          ASSERT_EQ(encoded->compression, s.code);
          ASSERT_EQ(encoded->dataOwnership, kOwnedByPage);
          // Bilevel TIFF rows are coded white-is-one; a TIFF page's
          // photometric is the file's, here BlackIsZero, as the TIFF writer
          // records it and the reader hands it back.
          if (s.code == kLzwTiff && s.bpp == 1) encoded->photometric = 1;
          ASSERT_EQ(Decode(encoded.get(), decoded), kOk);
          ASSERT_TRUE(testpix::SameImage(image, testpix::ReadPage(decoded.record)));
        }
  // The rows that expand most: single literals between pairs (PackBits,
  // BMP), bytes of 0xC0 and more standing alone (PCX).
  if (s.bpp != 8 || s.code == kLzwTiff || s.code == kLzwGif) return;
  const Image worst = testpix::Patterned(3000, 3, 8, Pattern::kAlternating, 0);
  Page original, encoded, decoded;
  testpix::MakePage(worst, original.get());
  encoded->compression = static_cast<int8_t>(s.code);
  ASSERT_EQ(ConvertPage(original.get(), encoded.get(), 0), kOk);
  EXPECT_GT(encoded->dataSize, 3000u * 3);
  ASSERT_EQ(Decode(encoded.get(), decoded), kOk);
  EXPECT_TRUE(testpix::SameImage(worst, testpix::ReadPage(decoded.record)));
}

INSTANTIATE_TEST_SUITE_P(Schemes, RunLengthRoundTrip,
                         ::testing::Values(Scheme{kPackBits, 1}, Scheme{kPackBits, 4}, Scheme{kPackBits, 8},
                                           Scheme{kPackBits, 24}, Scheme{kPcxRle, 1}, Scheme{kPcxRle, 4},
                                           Scheme{kPcxRle, 8}, Scheme{kPcxRle, 24}, Scheme{kBmpRle, 4},
                                           Scheme{kBmpRle, 8}, Scheme{kLzwTiff, 1}, Scheme{kLzwTiff, 4},
                                           Scheme{kLzwTiff, 8}, Scheme{kLzwTiff, 24}, Scheme{kLzwGif, 1},
                                           Scheme{kLzwGif, 4}, Scheme{kLzwGif, 8}),
                         [](const auto& info) {
                           return std::string(info.param.code == kPackBits ? "PackBits"
                                              : info.param.code == kPcxRle ? "Pcx"
                                              : info.param.code == kBmpRle ? "BmpRle"
                                              : info.param.code == kLzwTiff ? "LzwTiff"
                                                                            : "LzwGif") +
                                  std::to_string(info.param.bpp);
                         });

TEST(RunLengthEncode, BmpRle4OddWidthCodesItsPaddingPixelAsZero) {
  // The source's unused low nibble holds garbage; the page decodes back
  // with it cleared and every pixel in place.
  const Bytes rows = {0x12, 0x34, 0x5F, 0x67, 0x89, 0xAF, 0xBB, 0xBB, 0xBF};
  Page original, encoded, decoded;
  testpix::MakePage(testpix::ReadBuffer(rows.data(), 3, 5, 3, 4), original.get());
  for (int y = 0; y < 3; ++y) original->data[y * original->bytesPerLine + 2] |= 0x0F;
  encoded->compression = kBmpRle;
  ASSERT_EQ(ConvertPage(original.get(), encoded.get(), 0), kOk);
  ASSERT_EQ(Decode(encoded.get(), decoded), kOk);
  EXPECT_EQ(Rows(decoded.record), (Bytes{0x12, 0x34, 0x50, 0x67, 0x89, 0xA0, 0xBB, 0xBB, 0xB0}));
}

TEST(RunLengthEncode, EncodersOnlyReadTheirSource) {
  // A bottom-up 24-bit page in a file's read-only view, past its start.
  OpenedFile f(SamplePath("photo24.bmp"));
  Page page;
  ASSERT_EQ(f.Extract(page.get()), kOk);
  ASSERT_EQ(page->dataOwnership, kOwnedByView);
  const PageRecord source = page.record;
  const Image image = testpix::ReadPage(source);
  for (int code : {int{kPackBits}, int{kPcxRle}, int{kLzwTiff}}) {
    PageRecord encoded = source;
    encoded.compression = static_cast<int8_t>(code);
    const int32_t result = code == kPackBits ? EncodePackBits(&source, &encoded)
                           : code == kPcxRle ? EncodePcx(&source, &encoded)
                                             : EncodeLzw(&source, &encoded, kLzwVariantTiff);
    ASSERT_EQ(result, kOk) << code;
    Page decoded;
    ASSERT_EQ(Decode(&encoded, decoded), kOk) << code;
    EXPECT_TRUE(testpix::SameImage(image, testpix::ReadPage(decoded.record))) << code;
    Release(encoded.data);
  }
}

TEST(RunLengthEncode, UnsupportedDepthsAndShortSourcesAreRefused) {
  Page original;
  testpix::MakePixelPage(testpix::Uniform(8, 2, 8, 1), original.get());
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

TEST(RunLengthEncode, EveryEncoderTakesAPageWithoutLineOrderFlagsAsBottomLineFirst) {
  // The same picture stored top line first (flag 0x08) and bottom line
  // first with no order flag at all codes the same stream.
  struct Coder {
    int code;
    std::vector<int> depths;
  };
  const Coder coders[] = {{kPackBits, {1, 4, 8, 24}}, {kPcxRle, {1, 4, 8, 24}}, {kBmpRle, {4, 8}},
                          {kLzwTiff, {1, 4, 8, 24}},  {kLzwGif, {1, 4, 8}},     {kJpeg, {8, 24}}};
  for (const Coder& coder : coders)
    for (int bpp : coder.depths) {
      const Image image = testpix::Noise(37, 11, bpp, static_cast<uint32_t>(coder.code * 31 + bpp));
      Page topDown, unflagged, a, b;
      testpix::MakePage(image, topDown.get());
      testpix::MakePage(image, unflagged.get(), nullptr, true);
      topDown->layoutFlags = kLayoutTopDown;
      unflagged->layoutFlags = 0;
      a->compression = b->compression = static_cast<int8_t>(coder.code);
      ASSERT_EQ(ConvertPage(topDown.get(), a.get(), 0), kOk) << coder.code << " " << bpp;
      ASSERT_EQ(ConvertPage(unflagged.get(), b.get(), 0), kOk) << coder.code << " " << bpp;
      EXPECT_EQ(Bytes(a->data, a->data + a->dataSize), Bytes(b->data, b->data + b->dataSize))
          << coder.code << " " << bpp;
    }
}

TEST(RunLengthDecode, FastPathsEqualThePlainOnesOnWholeAndCutStreams) {
  // PackBits and TIFF LZW pages, whole and cut (kept partial), through the
  // fast paths and the plain ones: bilevel pages decoded straight to a
  // bitmap against their run lists painted, every page decoded into a
  // caller's buffer of stale bytes against a fresh decode, and the LZW
  // predictor folded into the decode against the predictor undone after it.
  std::mt19937 rng(5);
  for (int code : {int{kPackBits}, int{kLzwTiff}})
    for (int bpp : {1, 8, 24})
      for (int trial = 0; trial < 8; ++trial) {
        const int32_t width = 1 + static_cast<int32_t>(rng() % 300), height = 1 + static_cast<int32_t>(rng() % 30);
        const Image image = bpp == 1 ? testpix::Drawing(width, height, rng())
                                     : testpix::Patterned(width, height, bpp, Pattern(trial % 5), rng());
        Page original, coded;
        testpix::MakePage(image, original.get());
        coded->compression = static_cast<int8_t>(code);
        ASSERT_EQ(ConvertPage(original.get(), coded.get(), 0), kOk);
        Bytes stream(coded->data, coded->data + coded->dataSize);
        if (trial % 2) stream.resize(rng() % stream.size());
        PageRecord source = CodedPage(stream, code, width, height, bpp);
        const bool predictor = code == kLzwTiff && bpp != 1 && trial % 4 == 1;
        if (predictor) source.layoutFlags |= kLayoutPredictor;
        const std::string what = std::to_string(code) + "/" + std::to_string(bpp) + "/" + std::to_string(trial);
        Page plain, stale;
        ASSERT_EQ(Decode(&source, plain, kFlagKeepPartial), kOk) << what;
        Bytes dirty(plain->dataSize + 64, 0xA5);
        if (bpp == 1) {
          Page bitmap;
          bitmap->compression = kUncompressed;
          ASSERT_EQ(ConvertPage(&source, bitmap.get(), kFlagKeepPartial), kOk) << what;
          // The decoder's own run lists, before any inversion, painted.
          Page runs;
          runs.record = source;
          ASSERT_EQ(code == kPackBits ? DecodePackBits(&source, runs.get(), kFlagKeepPartial)
                                      : DecodeLzw(&source, runs.get(), kLzwVariantTiff, kFlagKeepPartial),
                    kOk);
          EXPECT_EQ(bitmap->photometric, runs->photometric) << what;
          EXPECT_TRUE(SameImage(testpix::ReadPage(runs.record), testpix::ReadPage(bitmap.record))) << what;
          // Run lists made inverted as they are decoded against the plain
          // decoder's runs inverted after, byte for byte.
          for (int8_t photometric : {int8_t{0}, int8_t{1}}) {
            PageRecord flipped = source;
            flipped.photometric = photometric;
            Page after, fused;
            after.record = flipped;
            ASSERT_EQ(code == kPackBits ? DecodePackBits(&flipped, after.get(), kFlagKeepPartial)
                                        : DecodeLzw(&flipped, after.get(), kLzwVariantTiff, kFlagKeepPartial),
                      kOk);
            if (after->photometric == 1) InvertRunLines(after.get());
            fused->compression = kRunLists;
            ASSERT_EQ(ConvertPage(&flipped, fused.get(), kFlagKeepPartial), kOk) << what;
            EXPECT_EQ(fused->photometric, 0) << what;
            for (int32_t y = 0; y < height; ++y) {
              const uint8_t* a = LinePointers(after.record)[y];
              const uint8_t* b = LinePointers(fused.record)[y];
              EXPECT_EQ(Bytes(a, a + RunLineLength(a) + 2), Bytes(b, b + RunLineLength(b) + 2)) << what << " y " << y;
            }
          }
          dirty.assign(bitmap->dataSize, 0xA5);
          stale->data = dirty.data();
          stale->dataSize = static_cast<uint32_t>(dirty.size());
          stale->compression = kUncompressed;
          ASSERT_EQ(ConvertPage(&source, stale.get(), kFlagKeepPartial | kFlagIntoDestination), kOk) << what;
          EXPECT_EQ(Bytes(stale->data, stale->data + stale->dataSize), Bytes(bitmap->data, bitmap->data + bitmap->dataSize))
              << what;
        } else {
          stale->data = dirty.data();
          stale->dataSize = static_cast<uint32_t>(dirty.size());
          stale->compression = kUncompressed;
          ASSERT_EQ(ConvertPage(&source, stale.get(), kFlagKeepPartial | kFlagIntoDestination), kOk) << what;
          EXPECT_EQ(Bytes(stale->data, stale->data + plain->dataSize), Bytes(plain->data, plain->data + plain->dataSize))
              << what;
          if (predictor) {
            source.layoutFlags &= ~kLayoutPredictor;
            Page undone;
            ASSERT_EQ(Decode(&source, undone, kFlagKeepPartial), kOk) << what;
            UndoHorizontalPredictor(undone.get());
            EXPECT_EQ(Bytes(undone->data, undone->data + undone->dataSize), Bytes(plain->data, plain->data + plain->dataSize))
                << what;
          }
        }
        if (stale->data == dirty.data()) stale->data = nullptr;  // the buffer is the test's
      }
}

TEST(RunLengthDecode, PackBitsRunListsEqualTheirRowsMadeIntoRunsOnRandomStreamsAndTheLetter) {
  // Bilevel PackBits straight to run lists, with the vector loop and
  // without, in both polarities, against the same data decoded to rows and
  // each finished row made into runs, byte for byte; rows the data does not
  // finish are empty lines and white rows.  Random streams (items crossing
  // rows, repeats of white, black and mixed bytes, no-ops, cut anywhere)
  // over widths about word edges, and the sample letter.
  auto check = [](const Bytes& stream, int32_t width, int32_t height, const std::string& what) {
    const uint32_t rowBytes = RowBytes(width, 1);
    Bytes expected(RunLineWorstCase(width));
    for (bool vector : {false, true})
      for (int8_t photometric : {int8_t{0}, int8_t{1}}) {
        SetPackBitsVectorLoops(vector);
        PageRecord source = CodedPage(stream, kPackBits, width, height, 1);
        source.photometric = photometric;
        Page runs, rows;
        runs.record = rows.record = source;
        ASSERT_EQ(DecodePackBits(&source, runs.get(), kFlagKeepPartial, false, true), kOk) << what;
        ASSERT_EQ(DecodePackBits(&source, rows.get(), kFlagKeepPartial, true), kOk) << what;
        for (int32_t y = 0; y < height; ++y) {
          const uint8_t* line = LinePointers(runs.record)[y];
          const uint8_t* row = rows->data + static_cast<uint64_t>(y) * rows->bytesPerLine;
          if (RunLineLength(line) == 0) {
            EXPECT_EQ(Bytes(row, row + rowBytes), Bytes(rowBytes, 0xFF)) << what << " y " << y;
            continue;
          }
          const uint32_t n = PackedRowToRuns(width, expected.data(), row, photometric == 1);
          ASSERT_EQ(Bytes(line, line + n), Bytes(expected.data(), expected.data() + n))
              << what << " vector " << vector << " photometric " << int{photometric} << " y " << y;
        }
      }
    SetPackBitsVectorLoops(true);
  };
  std::mt19937 rng(27);
  auto byte = [&] { const uint32_t r = rng() % 4; return static_cast<uint8_t>(r == 0 ? 0x00 : r == 1 ? 0xFF : rng()); };
  for (int32_t width : {1, 7, 8, 9, 63, 64, 65, 127, 129, 200, 511, 513, 1025})
    for (int trial = 0; trial < 4; ++trial) {
      const int32_t height = 1 + static_cast<int32_t>(rng() % 12);
      const uint64_t want = uint64_t{RowBytes(width, 1)} * static_cast<uint32_t>(height) * (4 + rng() % 4) / 6 + 1;
      Bytes stream;
      for (uint64_t bytes = 0; bytes < want;) {
        const uint32_t kind = rng() % 5;
        if (kind < 2) {
          const uint32_t n = 1 + rng() % (kind ? 9 : 128);
          stream.push_back(static_cast<uint8_t>(n - 1));
          for (uint32_t k = 0; k < n; ++k) stream.push_back(byte());
          bytes += n;
        } else if (kind < 4) {
          const uint32_t n = 2 + rng() % (kind == 2 ? 8 : 127);
          stream.push_back(static_cast<uint8_t>(1 - static_cast<int32_t>(n)));
          stream.push_back(byte());
          bytes += n;
        } else {
          stream.push_back(0x80);
        }
      }
      if (trial == 3) stream.resize(rng() % (stream.size() + 1));
      check(stream, width, height, "width " + std::to_string(width) + " trial " + std::to_string(trial));
    }
  testutil::OpenedFile letter(SamplePath("letter-g4.tif"));
  Page page, bitmap;
  ASSERT_EQ(letter.Extract(page.get()), kOk);
  bitmap->compression = kUncompressed;
  ASSERT_EQ(ConvertPage(page.get(), bitmap.get(), 0), kOk);
  const uint32_t rowBytes = RowBytes(bitmap->width, 1);
  Bytes stream(RowCoderWorstCase(rowBytes) * static_cast<uint32_t>(bitmap->height));
  uint8_t* end = stream.data();
  for (int32_t y = 0; y < bitmap->height; ++y)
    end = PackBitsRow(bitmap->data + static_cast<uint64_t>(y) * bitmap->bytesPerLine, end, rowBytes);
  stream.resize(static_cast<size_t>(end - stream.data()));
  check(stream, bitmap->width, bitmap->height, "letter");
}

TEST(RunLengthDecode, PackBitsColourRowsAreTheSameWithTheVectorLoopAndWithout) {
  // 24-bit rows put into the page's colour order 16 pixels at a time, over
  // widths about those steps, whole and cut.
  std::mt19937 rng(24);
  for (int32_t width : {1, 5, 15, 16, 17, 21, 22, 23, 37, 38, 300}) {
    const int32_t height = 5;
    Page original, coded;
    testpix::MakePage(testpix::Patterned(width, height, 24, Pattern(width % 5), rng()), original.get());
    coded->compression = kPackBits;
    ASSERT_EQ(ConvertPage(original.get(), coded.get(), 0), kOk);
    Bytes stream(coded->data, coded->data + coded->dataSize);
    if (width % 2) stream.resize(rng() % stream.size());
    PageRecord source = CodedPage(stream, kPackBits, width, height, 24);
    Page portable, vector;
    SetPackBitsVectorLoops(false);
    ASSERT_EQ(Decode(&source, portable, kFlagKeepPartial), kOk);
    SetPackBitsVectorLoops(true);
    ASSERT_EQ(Decode(&source, vector, kFlagKeepPartial), kOk);
    EXPECT_EQ(Bytes(vector->data, vector->data + vector->dataSize), Bytes(portable->data, portable->data + portable->dataSize))
        << "width " << width;
  }
}
