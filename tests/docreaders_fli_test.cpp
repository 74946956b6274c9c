// FLI/FLC animations: frames decoded one over the other in the record's
// frame buffer and palette, every chunk type, and damaged chunks.
#include "support/suite.h"

namespace {

constexpr int kW = 37, kH = 23;  // an odd width: lines are padded in the record

using Pixels = std::vector<uint8_t>;  // width x height, one byte a pixel

// The frame a record holds, without the line padding.
Pixels FramePixels(const PageRecord& page) { return testpix::PackedRows(testpix::ReadPage(page)); }

Pixels Picture(uint32_t seed, int runs) {
  Pixels p(kW * kH);
  std::mt19937 random(seed);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      p[y * kW + x] = static_cast<uint8_t>(runs ? (x / runs + y * 3) % 50 : random() % 256);
  return p;
}

// `base` with a few rectangles and single pixels changed, and some lines
// (including the last column) untouched.
Pixels Changed(Pixels p, uint32_t seed) {
  std::mt19937 random(seed);
  for (int k = 0; k < 4; ++k) {
    int x0 = static_cast<int>(random() % kW), y0 = static_cast<int>(random() % (kH - 3));
    uint8_t v = static_cast<uint8_t>(random());
    for (int y = y0; y < y0 + 3; ++y)
      for (int x = x0; x < std::min(kW, x0 + 9); ++x) p[y * kW + x] = static_cast<uint8_t>(v + x);
  }
  p[5 * kW + kW - 1] ^= 0x5A;  // the last pixel of a line
  p[17 * kW + 3] ^= 0xFF;
  return p;
}

// A palette of `entries` RGB triplets and the record palette (BGR) it makes.
std::vector<uint8_t> Rgb(int entries, uint32_t seed) { return testpix::PackedRows(testpix::Noise(3 * entries, 1, 8, seed)); }
void Apply(std::vector<uint8_t>& bgr, const std::vector<uint8_t>& rgb, int first, int scale) {
  for (size_t i = 0; i < rgb.size(); ++i) bgr[3 * first + i + 2 - 2 * (i % 3)] = static_cast<uint8_t>(rgb[i] / scale * scale);
}

struct Expected {
  Pixels pixels;
  std::vector<uint8_t> palette;
};

// Seven frames that use every chunk type; `expected` receives what each
// should show.
std::vector<FliFrame> Animation(bool flc, std::vector<Expected>& expected) {
  const Pixels a = Picture(1, 4), b = Changed(a, 2), c = Changed(b, 3), d = Picture(4, 0),
               e = Picture(5, 7);
  const std::vector<uint8_t> full = Rgb(256, 6), part = Rgb(10, 7);
  std::vector<uint8_t> palette(768, 0);
  const int scale = flc ? 1 : 4;
  Apply(palette, full, 0, scale);
  std::vector<FliFrame> frames;
  frames.push_back({{{static_cast<uint16_t>(flc ? 4 : 11), FliPalette(full, 0, !flc)},
                     {15, FliByteRun(a, kW, kH)}}});
  expected.push_back({a, palette});
  frames.push_back({{{12, FliByteDelta(a, b, kW, kH)}}});
  expected.push_back({b, palette});
  frames.push_back({{{7, FliWordDelta(b, c, kW, kH)}}});
  expected.push_back({c, palette});
  frames.push_back({{{11, FliPalette(part, 10, true)}, {16, d}}, true});
  Apply(palette, part, 10, 4);
  expected.push_back({d, palette});
  frames.push_back({{{13, {}}}});
  expected.push_back({Pixels(kW * kH, 0), palette});
  frames.push_back({{{18, Pixels(40, 0xAB)}, {15, FliByteRun(e, kW, kH)}}});
  expected.push_back({e, palette});
  frames.push_back({});
  expected.push_back({e, palette});
  return frames;
}

void ExpectFrame(const PageRecord& page, const Expected& e) {
  EXPECT_EQ(std::tuple(page.width, page.height, page.bitsPerPixel, page.compression, page.bytesPerLine, page.dataOffset),
            std::tuple(kW, kH, 8, kUncompressed, BytesPerLine(kW, 8), 0u));
  EXPECT_EQ(FramePixels(page), e.pixels);
  ASSERT_NE(page.palette, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(page.palette, page.palette + 768), e.palette);
}

// A file of one frame that starts black, then one frame of `chunk`.
std::vector<uint8_t> OneChunk(int width, int height, uint16_t type, const std::vector<uint8_t>& body) {
  return BuildFli(width, height, {FliFrame{{{13, {}}}}, FliFrame{{{type, body}}}});
}

// Frame 1 of `file`, decoded over frame 0.
Pixels SecondFrame(const std::vector<uint8_t>& file) {
  OpenedFile f(file);
  Page page;
  EXPECT_EQ(f.Extract(page.get(), 0), kOk);
  EXPECT_EQ(f.Extract(page.get(), 1), kOk);
  return FramePixels(page.record);
}

}  // namespace

TEST(Fli, FramesAreDecodedOverThePreviousOne) {
  for (bool flc : {true, false}) {
    SCOPED_TRACE(flc ? "FLC" : "FLI");
    std::vector<Expected> expected;
    OpenedFile f(BuildFli(kW, kH, Animation(flc, expected), flc));
    ASSERT_EQ(f->fileType, kFileFli);
    ASSERT_EQ(f->pageCount, 7);
    Page page;
    for (int32_t i = 0; i < 7; ++i) {
      SCOPED_TRACE(i);
      ASSERT_EQ(f.Extract(page.get(), i), kOk);
      ExpectFrame(page.record, expected[i]);
    }
    // Starting again from frame 0 in a fresh record.
    Page again;
    ASSERT_EQ(f.Extract(again.get(), 0), kOk);
    ExpectFrame(again.record, expected[0]);
  }
}

TEST(Fli, ALaterFrameInAnEmptyRecordDecodesTheFramesBefore) {
  std::vector<Expected> expected;
  OpenedFile f(BuildFli(kW, kH, Animation(true, expected)));
  for (int32_t i : {2, 5}) {
    Page page;
    ASSERT_EQ(f.Extract(page.get(), i), kOk);
    ExpectFrame(page.record, expected[i]);
  }
  // A record that holds something else is not a frame to continue.
  Page other;
  other->data = static_cast<uint8_t*>(Allocate(16));
  other->dataOwnership = kOwnedByPage;
  other->width = 4, other->height = 4, other->bitsPerPixel = 8;
  other->palette = static_cast<uint8_t*>(Allocate(768));
  EXPECT_EQ(f.Extract(other.get(), 3), kErrParameter);
  EXPECT_EQ(other->width, 4);
}

TEST(Fli, ByteRunsCrossLineEnds) {
  // Width 8: a run of 10 fills line 0 and the first two pixels of line 1,
  // whose own runs then fill the rest of it.
  const std::vector<uint8_t> body = {1, 10, 5, 2, static_cast<uint8_t>(-3), 1, 2, 3, 3, 9,
                                     1, 8,  7};
  const Pixels expected = {5, 5, 5, 5, 5, 5, 5, 5,  //
                           5, 5, 1, 2, 3, 9, 9, 9,  //
                           7, 7, 7, 7, 7, 7, 7, 7};
  EXPECT_EQ(SecondFrame(OneChunk(8, 3, 15, body)), expected);
}

TEST(Fli, ByteDeltaSkipsCopiesAndRepeats) {
  // Width 8, line 1 only: skip 1 and copy two bytes, skip 2 and repeat one
  // three times.
  const Pixels expected = {0, 0, 0, 0, 0, 0, 0, 0,  //
                           0, 5, 6, 0, 0, 9, 9, 9,  //
                           0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(SecondFrame(OneChunk(8, 3, 12, {1, 0, 1, 0, 2, 1, 2, 5, 6, 2, static_cast<uint8_t>(-3), 9})), expected);
}

TEST(Fli, WordDeltaCountsOnlyLinesWithPackets) {
  // Width 7, three lines with packets; the skip word before the second
  // is not a line of its own.  The second line sets its last pixel by the
  // last-byte word; the third writes a pair of which only the first pixel
  // lies inside the line.
  std::vector<uint8_t> body;
  auto word = [&](uint32_t w) { body.push_back(static_cast<uint8_t>(w)), body.push_back(static_cast<uint8_t>(w >> 8)); };
  word(3);                                       // lines
  word(1), body.insert(body.end(), {2, 1, 0x11, 0x22});  // y 0: pixels 2, 3
  word(0x10000 - 3);                             // skip three lines: y 4
  word(0x8000 | 0x77);                           // its last pixel
  word(1), body.insert(body.end(), {0, static_cast<uint8_t>(-2), 0x33, 0x44});
  word(1), body.insert(body.end(), {6, 1, 0x55, 0x66});  // y 5
  Pixels expected(7 * 8, 0);
  expected[2] = 0x11, expected[3] = 0x22;
  for (int x = 0; x < 4; ++x) expected[4 * 7 + x] = x % 2 ? 0x44 : 0x33;
  expected[4 * 7 + 6] = 0x77;
  expected[5 * 7 + 6] = 0x55;
  EXPECT_EQ(SecondFrame(OneChunk(7, 8, 7, body)), expected);
}

// Chunks and frames with sizes that lie and deltas that point outside the
// frame are inputs of the open fuzz target (fuzz/regressions/open/flc-*).
TEST(Fli, OtherDepthsAndNoSizeAreNoFrames) {
  Page page;
  EXPECT_EQ(OpenedFile(BuildFli(kW, kH, {FliFrame{}}, true, 16)).Extract(page.get()), kErrUnsupported);
  EXPECT_EQ(OpenedFile(BuildFli(0, kH, {FliFrame{}})).Extract(page.get()), kErrBadHeader);
  EXPECT_EQ(page->data, nullptr);
}
