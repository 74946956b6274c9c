// Bit-depth and colour conversion: promotions, repacking, reductions with
// both methods, the 12-bit dithering and the fixed palettes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "imaging/pixels/pixels.h"
#include "support/pixel_pages.h"
#include "support/test_util.h"

using namespace quillon;
using testpix::Image;
using testpix::SameImage;

namespace {

uint32_t R(uint32_t rgb) { return rgb >> 16; }
uint32_t G(uint32_t rgb) { return (rgb >> 8) & 0xFF; }
uint32_t B(uint32_t rgb) { return rgb & 0xFF; }
uint32_t GrayOf(uint32_t rgb) { return (B(rgb) + 2 * G(rgb) + R(rgb)) / 4; }
uint32_t Word(uint32_t r5, uint32_t g6, uint32_t b5) { return (r5 << 11) | (g6 << 5) | b5; }

// Floyd-Steinberg as documented, written over a whole error image rather
// than a rolling row: each pixel but the last of its line sends 7/16 of its
// halved residue right, 3/16 below-left, 5/16 below and 1/16 below-right
// (integer parts as the converter takes them).  quantize(values, residues)
// returns the output value.
using Quantizer = std::function<uint32_t(const int* v, int* residue)>;
Image ReferenceDiffusion(const std::vector<std::vector<int>>& channels, int32_t width,
                         int32_t height, int outBpp, const Quantizer& quantize) {
  const size_t c = channels.size();
  std::vector<std::vector<int>> received(c, std::vector<int>((width + 2) * (height + 1)));
  auto at = [&](size_t ch, int32_t x, int32_t y) -> int& {
    return received[ch][static_cast<size_t>(y) * (width + 2) + x + 1];
  };
  Image out(width, height, outBpp);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      int v[3], residue[3];
      for (size_t k = 0; k < c; ++k)
        v[k] = std::clamp(channels[k][static_cast<size_t>(y) * width + x] + at(k, x, y), 0, 255);
      out.at(x, y) = quantize(v, residue);
      if (x == width - 1) continue;
      for (size_t k = 0; k < c; ++k) {
        int h = residue[k] / 2, right = 7 * h / 8, below = 5 * h / 8;
        at(k, x + 1, y) += right;
        at(k, x + 1, y + 1) += h - right;
        at(k, x, y + 1) += below;
        if (x > 0) at(k, x - 1, y + 1) += h - below;
      }
    }
  return out;
}

std::vector<std::vector<int>> GrayChannel(const Image& rgb) {
  std::vector<std::vector<int>> ch(1);
  for (uint32_t v : rgb.px) ch[0].push_back(static_cast<int>(GrayOf(v)));
  return ch;
}

std::vector<std::vector<int>> ColourChannels(const Image& rgb) {
  std::vector<std::vector<int>> ch(3);
  for (uint32_t v : rgb.px) {
    ch[0].push_back(static_cast<int>(B(v)));
    ch[1].push_back(static_cast<int>(G(v)));
    ch[2].push_back(static_cast<int>(R(v)));
  }
  return ch;
}

Image GrayPixels(int32_t width, int32_t height, uint32_t value) {
  return testpix::Uniform(width, height, 24, value * 0x010101u);
}

// Converts a fresh page built from `image` and reads the result back.
Image Convert(const Image& image, int target, int method,
              const uint8_t* palette = nullptr, testutil::Page* keep = nullptr) {
  testutil::Page local;
  testutil::Page& page = keep ? *keep : local;
  testpix::MakePage(image, page.get(), palette);
  EXPECT_EQ(ConvertBitDepth(page.get(), target, method), kOk);
  return testpix::ReadPage(page.record);
}

}  // namespace

TEST(BitDepthPromotion, BilevelInBothFormsBecomesBlackAndWhite) {
  Image bilevel = testpix::Noise(37, 9, 1, 3);
  auto white = [](int depth) {
    return depth == 4 ? 15u : depth == 8 ? 255u : depth == 16 ? 0xFFFFu : 0xFFFFFFu;
  };
  for (int target : {4, 8, 16, 24})
    for (bool runLists : {false, true}) {
      testutil::Page page;
      if (runLists)
        testpix::MakeRunListPage(bilevel, page.get());
      else
        testpix::MakePixelPage(bilevel, page.get());
      ASSERT_EQ(ConvertBitDepth(page.get(), target, kDitherDiffusion), kOk);
      EXPECT_EQ(page->compression, kUncompressed);
      EXPECT_EQ(page->bytesPerLine, BytesPerLine(37, target));
      Image expected(37, 9, target);
      for (size_t i = 0; i < expected.px.size(); ++i)
        expected.px[i] = bilevel.px[i] ? white(target) : 0;
      EXPECT_TRUE(SameImage(expected, testpix::ReadPage(page.record)))
          << target << (runLists ? " from run lists" : " from packed rows");
      if (target == 4) {
        EXPECT_EQ(0, std::memcmp(page->palette, kStandard16Palette.data(), 768));
      } else if (target == 8) {
        EXPECT_EQ(0, std::memcmp(page->palette, kColorCube332.data(), 768));
      } else {
        EXPECT_EQ(page->palette, nullptr);
      }
    }
}

TEST(BitDepthPromotion, IndexedPagesToDeeperFormats) {
  std::vector<uint8_t> palette = testpix::ColourfulPalette(11);
  for (int from : {2, 4, 8}) {
    Image source = testpix::Noise(13, 5, from, 20 + from);
    for (int target : {16, 24}) {
      if (from == 2 && target == 24) continue;
      Image expected(13, 5, target);
      for (size_t i = 0; i < expected.px.size(); ++i) {
        uint32_t c = testpix::PaletteColour(palette.data(), source.px[i]);
        expected.px[i] = target == 24 ? c : Word(R(c) >> 3, G(c) >> 2, B(c) >> 3);
      }
      EXPECT_TRUE(SameImage(expected, Convert(source, target, 0, palette.data())))
          << from << " -> " << target;
    }
  }
  // 2 -> 4 copies each index into a nibble and keeps the palette.
  Image two = testpix::Noise(11, 3, 2, 5);
  testutil::Page page;
  Image four = Convert(two, 4, 0, palette.data(), &page);
  for (size_t i = 0; i < two.px.size(); ++i) EXPECT_EQ(four.px[i], two.px[i]);
  EXPECT_EQ(0, std::memcmp(page->palette, palette.data(), 768));
}

TEST(BitDepthPromotion, FourAndTwoToEightUseIndexesNotColours) {
  std::vector<uint8_t> palette = testpix::ColourfulPalette(4);
  for (int from : {2, 4}) {
    const uint32_t top = from == 2 ? 3 : 15, step = from == 2 ? 85 : 17;
    Image source = testpix::Noise(9, 4, from, 8);
    for (bool lightFirst : {false, true}) {
      palette[0] = lightFirst ? 0xF0 : 0;  // first byte of entry 0
      Image expected(9, 4, 8);
      for (size_t i = 0; i < expected.px.size(); ++i)
        expected.px[i] = step * (lightFirst ? top - source.px[i] : source.px[i]);
      testutil::Page page;
      EXPECT_TRUE(SameImage(expected, Convert(source, 8, 0, palette.data(), &page)));
      EXPECT_EQ(0, std::memcmp(page->palette, kGrayRamp8.data(), 768));
    }
  }
}

TEST(BitDepthRepacking, SixteenAndTwentyFourBits) {
  Image rgb = testpix::Noise(21, 6, 24, 1);
  // 24 -> 16 -> 24 zeroes exactly the low 3 bits of red and blue and the
  // low 2 bits of green.
  testutil::Page page;
  testpix::MakePixelPage(rgb, page.get());
  ASSERT_EQ(ConvertBitDepth(page.get(), 16, 0), kOk);
  Image packed = testpix::ReadPage(page.record);
  ASSERT_EQ(ConvertBitDepth(page.get(), 24, 0), kOk);
  Image back = testpix::ReadPage(page.record);
  for (size_t i = 0; i < rgb.px.size(); ++i) {
    uint32_t v = rgb.px[i];
    EXPECT_EQ(packed.px[i], Word(R(v) >> 3, G(v) >> 2, B(v) >> 3));
    EXPECT_EQ(back.px[i], v & 0xF8FCF8u) << i;
  }
}

TEST(BitDepthReduction, ThresholdMakesRunListsWith128Black) {
  Image gray = testpix::Noise(40, 7, 8, 9);
  gray.at(0, 0) = 128;
  gray.at(1, 0) = 129;
  testutil::Page page;
  Image bilevel = Convert(gray, 1, kDitherNearest, nullptr, &page);
  EXPECT_EQ(page->compression, kRunLists);
  EXPECT_EQ(page->palette, nullptr);
  Image expected(40, 7, 1);
  for (size_t i = 0; i < gray.px.size(); ++i) expected.px[i] = gray.px[i] > 128;
  EXPECT_TRUE(SameImage(expected, bilevel));
  EXPECT_EQ(bilevel.at(0, 0), 0u);
  EXPECT_EQ(bilevel.at(1, 0), 1u);
}

TEST(BitDepthReduction, DiffusionOfUniformPages) {
  // White stays white; 128 is not above the threshold and leaves nothing;
  // 129's residue of 1 halves to nothing; 100 becomes a dot pattern.
  EXPECT_TRUE(SameImage(testpix::Uniform(30, 8, 1, 1),
                        Convert(GrayPixels(30, 8, 255), 1, kDitherDiffusion)));
  EXPECT_TRUE(SameImage(testpix::Uniform(30, 8, 1, 0),
                        Convert(GrayPixels(30, 8, 128), 1, kDitherDiffusion)));
  EXPECT_TRUE(SameImage(testpix::Uniform(30, 8, 1, 1),
                        Convert(GrayPixels(30, 8, 129), 1, kDitherDiffusion)));
  Image dots = Convert(GrayPixels(30, 8, 100), 1, kDitherDiffusion);
  size_t whites = std::count(dots.px.begin(), dots.px.end(), 1u);
  EXPECT_GT(whites, 0u);
  EXPECT_LT(whites, dots.px.size());
  // A page one pixel wide never diffuses: each pixel is the last of its line.
  EXPECT_TRUE(SameImage(testpix::Uniform(1, 8, 1, 0),
                        Convert(GrayPixels(1, 8, 100), 1, kDitherDiffusion)));
}

TEST(BitDepthReduction, LastPixelOfALinePassesNothingOn) {
  // If the last pixel's residue reached the line below, the 128s there
  // would turn white.
  Image gray(2, 2, 24);
  gray.px = {0, 120 * 0x010101u, 128 * 0x010101u, 128 * 0x010101u};
  Image expected(2, 2, 1);
  expected.px = {0, 0, 0, 0};
  EXPECT_TRUE(SameImage(expected, Convert(gray, 1, kDitherDiffusion)));
}

TEST(BitDepthReduction, DiffusionMatchesTheDocumentedWeights) {
  // A gradient and a noisy colour page, against the whole-image reference.
  Image gradient(64, 12, 24);
  for (int32_t y = 0; y < 12; ++y)
    for (int32_t x = 0; x < 64; ++x) gradient.at(x, y) = ((x * 4 + y) & 0xFF) * 0x010101u;
  Image colour = testpix::Noise(33, 11, 24, 77);
  for (const Image* source : {&gradient, &colour}) {
    Image toBilevel = ReferenceDiffusion(GrayChannel(*source), source->width, source->height, 1,
                                         [](const int* v, int* r) {
                                           r[0] = v[0] & 0x7F;
                                           return v[0] > 128 ? 1u : 0u;
                                         });
    EXPECT_TRUE(SameImage(toBilevel, Convert(*source, 1, kDitherDiffusion)));
    Image toGray4 = ReferenceDiffusion(GrayChannel(*source), source->width, source->height, 4,
                                       [](const int* v, int* r) {
                                         r[0] = v[0] & 15;
                                         return static_cast<uint32_t>(v[0] >> 4);
                                       });
    EXPECT_TRUE(SameImage(toGray4, Convert(*source, 4, kDitherDiffusion)));
    Image toCube = ReferenceDiffusion(ColourChannels(*source), source->width, source->height, 8,
                                      [](const int* v, int* r) {
                                        r[0] = v[0] % 64;
                                        r[1] = v[1] % 32;
                                        r[2] = v[2] % 32;
                                        return static_cast<uint32_t>((v[2] / 32) * 32 +
                                                                     (v[1] / 32) * 4 + v[0] / 64);
                                      });
    EXPECT_TRUE(SameImage(toCube, Convert(*source, 8, kDitherDiffusion)));
  }
}

TEST(BitDepthReduction, NearestLevelsFromEveryDepth) {
  std::vector<uint8_t> palette = testpix::ColourfulPalette(6);
  for (int from : {4, 8, 16, 24}) {
    Image source = testpix::Noise(19, 5, from, 30 + from);
    auto colour = [&](uint32_t v) {
      if (from <= 8) return testpix::PaletteColour(palette.data(), v);
      if (from == 24) return v;
      return (((v >> 11) << 3) << 16) | ((((v >> 5) & 63) << 2) << 8) | ((v & 31) << 3);
    };
    Image toBilevel(19, 5, 1), toGray(19, 5, 4), toCube(19, 5, 8);
    for (size_t i = 0; i < source.px.size(); ++i) {
      uint32_t c = colour(source.px[i]);
      toBilevel.px[i] = GrayOf(c) > 128;
      // 16 -> 4 reads green with five bits only.
      toGray.px[i] = (from == 16 ? GrayOf(c & 0xFFF8FF) : GrayOf(c)) >> 4;
      toCube.px[i] = (R(c) & 0xE0) | ((G(c) & 0xE0) >> 3) | (B(c) >> 6);
    }
    EXPECT_TRUE(SameImage(toBilevel, Convert(source, 1, 0, palette.data()))) << from;
    if (from != 4) {
      testutil::Page page;
      EXPECT_TRUE(SameImage(toGray, Convert(source, 4, 0, palette.data(), &page))) << from;
      EXPECT_EQ(0, std::memcmp(page->palette, kGrayRamp4.data(), 768));
    }
    if (from >= 16) {
      testutil::Page page;
      EXPECT_TRUE(SameImage(toCube, Convert(source, 8, 0, nullptr, &page))) << from;
      EXPECT_EQ(0, std::memcmp(page->palette, kColorCube332.data(), 768));
    }
  }
}

TEST(BitDepthReduction, MethodFlavoursAndTheNarrowGreen) {
  // Red 32, green 4, blue 24: gray 16 with six green bits, 14 with five.
  Image pixel = testpix::Uniform(1, 1, 16, Word(4, 1, 3));
  EXPECT_EQ(Convert(pixel, 4, kDitherNearest).px[0], 0u);
  EXPECT_EQ(Convert(pixel, 4, kDitherDiffusion).px[0], 1u);
  // Method 1 diffuses for 8 -> 4 only.
  Image gray = testpix::Noise(25, 6, 8, 2);
  EXPECT_TRUE(SameImage(Convert(gray, 4, kDitherDiffusion), Convert(gray, 4, 1)));
  EXPECT_TRUE(SameImage(Convert(gray, 1, kDitherNearest), Convert(gray, 1, 1)));
}

TEST(BitDepthDither12, InPlaceBelowTheTopFourBits) {
  Image colour = testpix::Noise(27, 9, 24, 12);
  Image expected = ReferenceDiffusion(ColourChannels(colour), 27, 9, 24,
                                      [](const int* v, int* r) {
                                        for (int c = 0; c < 3; ++c) r[c] = v[c] & 15;
                                        return static_cast<uint32_t>(v[0] | (v[1] << 8) | (v[2] << 16));
                                      });
  testutil::Page page;
  testpix::MakePixelPage(colour, page.get());
  uint8_t* data = page->data;
  ASSERT_EQ(ConvertBitDepth(page.get(), kTarget12Bit, kDitherNearest), kOk);
  EXPECT_EQ(page->data, data);
  EXPECT_EQ(page->bitsPerPixel, 24);
  EXPECT_TRUE(SameImage(expected, testpix::ReadPage(page.record)));

  // Channels that are multiples of 16 carry no residue: unchanged.
  Image even = testpix::Uniform(10, 4, 16, Word(0x60 >> 3, 0xA0 >> 2, 0x30 >> 3));
  EXPECT_TRUE(SameImage(even, Convert(even, kTarget12Bit, kDitherDiffusion)));
  // A 16-bpp page dithers its expanded channels and packs them again.
  Image words = testpix::Noise(15, 5, 16, 8);
  std::vector<std::vector<int>> ch(3);
  for (uint32_t v : words.px) {
    ch[0].push_back(static_cast<int>((v & 31) << 3));
    ch[1].push_back(static_cast<int>(((v >> 5) & 63) << 2));
    ch[2].push_back(static_cast<int>((v >> 11) << 3));
  }
  Image packed = ReferenceDiffusion(ch, 15, 5, 16, [](const int* v, int* r) {
    for (int c = 0; c < 3; ++c) r[c] = v[c] & 15;
    return Word(static_cast<uint32_t>(v[2]) >> 3, static_cast<uint32_t>(v[1]) >> 2,
                static_cast<uint32_t>(v[0]) >> 3);
  });
  EXPECT_TRUE(SameImage(packed, Convert(words, kTarget12Bit, kDitherDiffusion)));
}

TEST(BitDepthConversion, UnconvertedPairsLeaveThePageAlone) {
  const int pairs[][2] = {{8, 8}, {4, 4}, {24, 2}, {2, 24}, {2, 1}, {1, 2},
                          {16, 16}, {8, 12}, {1, 12}, {4, 32}};
  for (const auto& pair : pairs) {
    testutil::Page page;
    testpix::MakePage(testpix::Noise(6, 3, pair[0], 1), page.get());
    PageRecord before = page.record;
    Image pixels = testpix::ReadPage(page.record);
    EXPECT_EQ(ConvertBitDepth(page.get(), pair[1], kDitherDiffusion), kOk);
    EXPECT_TRUE(testpix::SameRecord(before, page.record)) << pair[0] << pair[1];
    EXPECT_TRUE(SameImage(pixels, testpix::ReadPage(page.record)));
  }
}

TEST(BitDepthConversion, FailuresLeaveThePageAsItWas) {
  // Short of memory: -1, nothing changed, nothing leaked.
  testutil::Page page;
  testpix::MakePixelPage(testpix::Noise(600, 400, 24, 3), page.get());
  PageRecord before = page.record;
  const uint64_t limit = AllocationLimit();
  SetAllocationLimit(5000);
  for (int target : {1, 4, 8, 12, 16})
    for (int method : {0, 2})
      EXPECT_EQ(ConvertBitDepth(page.get(), target, method), kErrMemory) << target;
  SetAllocationLimit(limit);
  EXPECT_TRUE(testpix::SameRecord(before, page.record));
  // Data that is not decoded, or shorter than the geometry says: -6.
  page->compression = kPackBits;
  EXPECT_EQ(ConvertBitDepth(page.get(), 16, 0), kErrParameter);
  page->compression = kUncompressed;
  page->dataSize -= 1;
  EXPECT_EQ(ConvertBitDepth(page.get(), 16, 0), kErrParameter);
  page->dataSize += 1;
  EXPECT_TRUE(testpix::SameRecord(before, page.record));
}

TEST(FixedPalettes, AsPrintedAndMappingBack) {
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(testpix::PaletteColour(kGrayRamp8.data(), i), i * 0x010101u);
    EXPECT_EQ(testpix::PaletteColour(kGrayRamp4.data(), i), i < 16 ? i * 17 * 0x010101u : 0u);
    // Every cube colour truncates back to its own index.
    uint32_t c = testpix::PaletteColour(kColorCube332.data(), i);
    EXPECT_EQ((R(c) & 0xE0) | ((G(c) & 0xE0) >> 3) | (B(c) >> 6), static_cast<uint32_t>(i));
  }
  EXPECT_EQ(testpix::PaletteColour(kColorCube332.data(), 0xFF), 0xFFFFFFu);
  EXPECT_EQ(testpix::PaletteColour(kColorCube332.data(), 0x2D), 0x246D55u);  // 001 011 01
  const uint32_t standard[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                 0x008080, 0x808080, 0xC0C0C0, 0xFF0000, 0x00FF00, 0xFFFF00,
                                 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(testpix::PaletteColour(kStandard16Palette.data(), i), standard[i]) << i;
  for (int i = 0; i < 256; ++i) {
    uint32_t expected = i == 4 ? 0x444444 : i == 7 ? 0xC0C0C0 : i == 8 ? 0x808080
                      : i == 15 ? 0xFFFFFF : 0;
    EXPECT_EQ(testpix::PaletteColour(kScaleToGrayPalette.data(), i), expected) << i;
  }
}
