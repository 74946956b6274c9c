// Bit-depth and colour conversion: promotions, repacking, reductions with
// both methods and the 12-bit dithering.
#include "support/suite.h"

namespace {

uint32_t R(uint32_t rgb) { return rgb >> 16; }
uint32_t G(uint32_t rgb) { return (rgb >> 8) & 0xFF; }
uint32_t B(uint32_t rgb) { return rgb & 0xFF; }
uint32_t Word(uint32_t r5, uint32_t g6, uint32_t b5) { return (r5 << 11) | (g6 << 5) | b5; }

// Converts a fresh page built from `image` and reads the result back.
Image Convert(const Image& image, int target, int method, const uint8_t* palette = nullptr,
              Page* keep = nullptr) {
  Page local;
  Page& page = keep ? *keep : local;
  testpix::MakePage(image, page.get(), palette);
  EXPECT_EQ(ConvertBitDepth(page.get(), target, method), kOk);
  return testpix::ReadPage(page.record);
}

Image Gray(int32_t width, int32_t height, uint32_t value) { return testpix::Uniform(width, height, 24, value * 0x010101u); }

}  // namespace

TEST(BitDepthPromotion, BilevelInBothFormsBecomesBlackAndWhite) {
  const Image bilevel = testpix::Noise(37, 9, 1, 3);
  for (int target : {4, 8, 16, 24})
    for (bool runLists : {false, true}) {
      Page page;
      runLists ? testpix::MakeRunListPage(bilevel, page.get()) : testpix::MakePixelPage(bilevel, page.get());
      ASSERT_EQ(ConvertBitDepth(page.get(), target, kDitherDiffusion), kOk);
      EXPECT_EQ(page->compression, kUncompressed);
      EXPECT_EQ(page->bytesPerLine, BytesPerLine(37, target));
      Image expected(37, 9, target);
      const uint32_t white = target == 4 ? 15u : target == 8 ? 255u : target == 16 ? 0xFFFFu : 0xFFFFFFu;
      for (size_t i = 0; i < expected.px.size(); ++i) expected.px[i] = bilevel.px[i] ? white : 0;
      EXPECT_TRUE(SameImage(expected, testpix::ReadPage(page.record))) << target << (runLists ? " from run lists" : "");
      const uint8_t* palette = target == 4 ? kStandard16Palette.data() : target == 8 ? kColorCube332.data() : nullptr;
      if (palette) {
        EXPECT_EQ(0, std::memcmp(page->palette, palette, 768));
      }
      else EXPECT_EQ(page->palette, nullptr);
    }
}

TEST(BitDepthPromotion, IndexedPagesTakeTheirPalettesColours) {
  std::vector<uint8_t> palette = testpix::ColourfulPalette(11);
  for (int from : {2, 4, 8}) {
    const Image source = testpix::Noise(13, 5, from, 20 + from);
    for (int target : {16, 24}) {
      if (from == 2 && target == 24) continue;
      Image expected(13, 5, target);
      for (size_t i = 0; i < expected.px.size(); ++i) {
        const uint32_t c = testpix::PaletteColour(palette.data(), source.px[i]);
        expected.px[i] = target == 24 ? c : Word(R(c) >> 3, G(c) >> 2, B(c) >> 3);
      }
      EXPECT_TRUE(SameImage(expected, Convert(source, target, 0, palette.data()))) << from << " -> " << target;
    }
  }
  // 2 -> 4 copies each index into a nibble and keeps the palette.
  const Image two = testpix::Noise(11, 3, 2, 5);
  Page page;
  EXPECT_EQ(Convert(two, 4, 0, palette.data(), &page).px, two.px);
  EXPECT_EQ(0, std::memcmp(page->palette, palette.data(), 768));
  // 4 and 2 bits to 8 spread the indexes, not the colours, over the gray
  // ramp: reversed when entry 0 is the lighter colour.
  for (int from : {2, 4}) {
    const uint32_t top = from == 2 ? 3 : 15, step = from == 2 ? 85 : 17;
    const Image source = testpix::Noise(9, 4, from, 8);
    for (bool lightFirst : {false, true}) {
      palette[0] = lightFirst ? 0xF0 : 0;
      Image expected(9, 4, 8);
      for (size_t i = 0; i < expected.px.size(); ++i) expected.px[i] = step * (lightFirst ? top - source.px[i] : source.px[i]);
      Page eight;
      EXPECT_TRUE(SameImage(expected, Convert(source, 8, 0, palette.data(), &eight)));
      EXPECT_EQ(0, std::memcmp(eight->palette, kGrayRamp8.data(), 768));
    }
  }
}

TEST(BitDepthRepacking, SixteenToTwentyFourZeroesTheLowBits) {
  const Image rgb = testpix::Noise(21, 6, 24, 1);
  Page page;
  const Image packed = Convert(rgb, 16, 0, nullptr, &page);
  ASSERT_EQ(ConvertBitDepth(page.get(), 24, 0), kOk);
  const Image back = testpix::ReadPage(page.record);
  for (size_t i = 0; i < rgb.px.size(); ++i) {
    EXPECT_EQ(packed.px[i], Word(R(rgb.px[i]) >> 3, G(rgb.px[i]) >> 2, B(rgb.px[i]) >> 3));
    EXPECT_EQ(back.px[i], rgb.px[i] & 0xF8FCF8u) << i;
  }
}

TEST(BitDepthReduction, ThresholdMakesRunListsWith128Black) {
  Image gray = testpix::Noise(40, 7, 8, 9);
  gray.at(0, 0) = 128;
  gray.at(1, 0) = 129;
  Page page;
  const Image bilevel = Convert(gray, 1, kDitherNearest, nullptr, &page);
  EXPECT_EQ(page->compression, kRunLists);
  EXPECT_EQ(page->palette, nullptr);
  for (size_t i = 0; i < gray.px.size(); ++i) ASSERT_EQ(bilevel.px[i], gray.px[i] > 128 ? 1u : 0u) << i;
}

TEST(BitDepthReduction, DiffusionSendsSevenThreeFiveAndOneSixteenthsOfHalfTheResidue) {
  // A 3 x 3 page of 100: the first pixel is black and passes half its
  // residue of 100 (50) on: 43 right, 7 below-right, 31 below (nothing
  // below-left of the first column); 143 on its right is white and passes
  // half its residue of 15 on; the last pixel of a line passes nothing on.
  Image dots(3, 3, 1);
  dots.px = {0, 1, 0, 1, 0, 1, 0, 1, 1};
  EXPECT_TRUE(SameImage(dots, Convert(Gray(3, 3, 100), 1, kDitherDiffusion)));
  // White stays white; 128 is not above the threshold and leaves nothing;
  // 129's residue of 1 halves to nothing; one pixel wide never diffuses.
  EXPECT_TRUE(SameImage(testpix::Uniform(30, 8, 1, 1), Convert(Gray(30, 8, 255), 1, kDitherDiffusion)));
  EXPECT_TRUE(SameImage(testpix::Uniform(30, 8, 1, 0), Convert(Gray(30, 8, 128), 1, kDitherDiffusion)));
  EXPECT_TRUE(SameImage(testpix::Uniform(30, 8, 1, 1), Convert(Gray(30, 8, 129), 1, kDitherDiffusion)));
  EXPECT_TRUE(SameImage(testpix::Uniform(1, 8, 1, 0), Convert(Gray(1, 8, 100), 1, kDitherDiffusion)));
  // The 128s below a last pixel stay black.
  Image last(2, 2, 24);
  last.px = {0, 120 * 0x010101u, 128 * 0x010101u, 128 * 0x010101u};
  EXPECT_TRUE(SameImage(testpix::Uniform(2, 2, 1, 0), Convert(last, 1, kDitherDiffusion)));
}

// Larger pages, by digests recorded after they were checked against a
// whole-image model of the rules: Floyd-Steinberg's 7/3/5/1 sixteenths
// (to 1, 4 and 8 bits and the 12-bit dither) and the nearest levels.
TEST(BitDepthReduction, LargerPagesMatchTheirDigests) {
  Image gradient(64, 12, 24);
  for (int32_t y = 0; y < 12; ++y)
    for (int32_t x = 0; x < 64; ++x) gradient.at(x, y) = ((x * 4 + y) & 0xFF) * 0x010101u;
  const Image colour = testpix::Noise(33, 11, 24, 77);
  const std::vector<uint8_t> palette = testpix::ColourfulPalette(6);
  struct Case {
    std::string name;
    Image image;
    int target, method;
  };
  std::vector<Case> cases = {{"dither12-24", testpix::Noise(27, 9, 24, 12), kTarget12Bit, kDitherNearest},
                             {"dither12-16", testpix::Noise(15, 5, 16, 8), kTarget12Bit, kDitherDiffusion}};
  for (int target : {1, 4, 8}) {
    cases.push_back({"gradient-to-" + std::to_string(target), gradient, target, kDitherDiffusion});
    cases.push_back({"colour-to-" + std::to_string(target), colour, target, kDitherDiffusion});
    for (int from : {4, 8, 16, 24})
      if (target == 1 || (target == 4 && from != 4) || from >= 16)
        cases.push_back({"nearest-" + std::to_string(from) + "-to-" + std::to_string(target),
                         testpix::Noise(19, 5, from, 30 + from), target, kDitherNearest});
  }
  for (const Case& c : cases) {
    Page page;
    Convert(c.image, c.target, c.method, palette.data(), &page);
    EXPECT_TRUE(MatchesDigest("depth-" + c.name, PageRaster(page.record), "7/3/5/1 weights and nearest levels, modelled"));
  }
}

TEST(BitDepthReduction, MethodFlavoursAndTheNarrowGreen) {
  // Red 32, green 4, blue 24: gray 16 with six green bits, 14 with five.
  const Image pixel = testpix::Uniform(1, 1, 16, Word(4, 1, 3));
  EXPECT_EQ(Convert(pixel, 4, kDitherNearest).px[0], 0u);
  EXPECT_EQ(Convert(pixel, 4, kDitherDiffusion).px[0], 1u);
  // Method 1 diffuses for 8 -> 4 only.
  const Image gray = testpix::Noise(25, 6, 8, 2);
  EXPECT_TRUE(SameImage(Convert(gray, 4, kDitherDiffusion), Convert(gray, 4, 1)));
  EXPECT_TRUE(SameImage(Convert(gray, 1, kDitherNearest), Convert(gray, 1, 1)));
}

TEST(BitDepthDither12, InPlaceBelowTheTopFourBits) {
  Page page;
  testpix::MakePixelPage(testpix::Noise(27, 9, 24, 12), page.get());
  uint8_t* data = page->data;
  ASSERT_EQ(ConvertBitDepth(page.get(), kTarget12Bit, kDitherNearest), kOk);
  EXPECT_EQ(page->data, data);
  EXPECT_EQ(page->bitsPerPixel, 24);
  // Channels that are multiples of 16 carry no residue: unchanged.
  const Image even = testpix::Uniform(10, 4, 16, Word(0x60 >> 3, 0xA0 >> 2, 0x30 >> 3));
  EXPECT_TRUE(SameImage(even, Convert(even, kTarget12Bit, kDitherDiffusion)));
}

TEST(BitDepthConversion, UnconvertedPairsAndFailuresLeaveThePageAlone) {
  const int pairs[][2] = {{8, 8}, {4, 4}, {24, 2}, {2, 24}, {2, 1}, {1, 2}, {16, 16}, {8, 12}, {1, 12}, {4, 32}};
  for (const auto& pair : pairs) {
    Page page;
    testpix::MakePage(testpix::Noise(6, 3, pair[0], 1), page.get());
    const PageRecord before = page.record;
    const Image pixels = testpix::ReadPage(page.record);
    EXPECT_EQ(ConvertBitDepth(page.get(), pair[1], kDitherDiffusion), kOk);
    EXPECT_TRUE(testpix::SameRecord(before, page.record)) << pair[0] << pair[1];
    EXPECT_TRUE(SameImage(pixels, testpix::ReadPage(page.record)));
  }
  // Short of memory: -1, nothing changed, nothing leaked.
  Page page;
  testpix::MakePixelPage(testpix::Noise(600, 400, 24, 3), page.get());
  const PageRecord before = page.record;
  const uint64_t limit = AllocationLimit();
  SetAllocationLimit(5000);
  for (int target : {1, 4, 8, 12, 16})
    for (int method : {0, 2}) EXPECT_EQ(ConvertBitDepth(page.get(), target, method), kErrMemory) << target;
  SetAllocationLimit(limit);
  EXPECT_TRUE(testpix::SameRecord(before, page.record));
  // Data that is not decoded, or shorter than the geometry says: -6.
  page->compression = kPackBits;
  EXPECT_EQ(ConvertBitDepth(page.get(), 16, 0), kErrParameter);
  page->compression = kUncompressed;
  page->dataSize -= 1;
  EXPECT_EQ(ConvertBitDepth(page.get(), 16, 0), kErrParameter);
  page->dataSize += 1;
}
