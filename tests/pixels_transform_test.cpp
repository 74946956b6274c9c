// TransformPage: rotation, inversion, mirroring, gray, lighten, darken and
// line doubling, on run lists and on pixels.
#include "support/suite.h"

namespace {

constexpr int kDepths[] = {1, 4, 8, 16, 24};

// The page after the transforms; its form and resolution stay.
Image Transformed(const Image& image, std::initializer_list<int> codes) {
  Page page;
  testpix::MakePage(image, page.get());
  page->xResolution = 204;
  for (int code : codes) EXPECT_EQ(TransformPage(page.get(), code, 90, 0), kOk) << code;
  EXPECT_EQ(page->xResolution, 204);
  EXPECT_EQ(page->compression, image.bpp == 1 ? kRunLists : kUncompressed);
  return testpix::ReadPage(page.record);
}

// The bytes of every line of a run-list page, terminator included, for
// exact comparisons.
std::vector<std::vector<uint8_t>> LineBytes(const PageRecord& page) {
  std::vector<std::vector<uint8_t>> lines;
  for (int32_t y = 0; page.compression == kRunLists && y < page.height; ++y) {
    const uint8_t* line = LinePointers(page)[y];
    lines.emplace_back(line, line + RunLineLength(line) + 2);
  }
  return lines;
}

}  // namespace

TEST(Rotation, TurnsAndFlipsOfAsymmetricPagesAtEveryDepth) {
  for (int bpp : kDepths)
    for (auto [w, h] : {std::pair{7, 4}, {5, 3}, {1, 6}, {16, 9}, {33, 2}, {1, 5}, {8, 5}, {20, 5}}) {
      const Image image = testpix::Noise(w, h, bpp, static_cast<uint32_t>(w * h + bpp));
      SCOPED_TRACE(std::to_string(bpp) + " bpp " + std::to_string(w) + "x" + std::to_string(h));
      EXPECT_TRUE(SameImage(Turned(image, 90), Transformed(image, {kRotateClockwise})));
      EXPECT_TRUE(SameImage(Mirrored(image, true, false), Transformed(image, {kFlipHorizontal})));
      EXPECT_TRUE(SameImage(Mirrored(image, false, true), Transformed(image, {kFlipVertical})));
      EXPECT_TRUE(SameImage(Turned(image, 180), Transformed(image, {kFlipHorizontal, kFlipVertical})));
      EXPECT_TRUE(SameImage(Turned(image, 270), Transformed(image, {kRotateClockwise, kFlipHorizontal, kFlipVertical})));
    }
}

TEST(Rotation, LargeBilevelPageThroughSeveralStrips) {
  // 4000 lines make the new lines 500 bytes: 524 of them per 256 KB strip,
  // so the 1200 new lines need three strips.  Single-pixel noise on the
  // left (the worst case of the run data) and long bars on the right (runs
  // of two bytes).
  Image image = testpix::Noise(1200, 4000, 1, 9);
  for (int32_t y = 0; y < 4000; ++y)
    for (int32_t x = 600; x < 1200; ++x) image.at(x, y) = (x / 150) % 2 || (y / 700) % 2;
  Page page;
  testpix::MakeRunListPage(image, page.get());
  ASSERT_EQ(TransformPage(page.get(), kRotateClockwise, 90, 0), kOk);
  EXPECT_TRUE(SameImage(Turned(image, 90), testpix::ReadPage(page.record)));
  EXPECT_LE(page->dataSize, RunListWorstCase(4000, 1200));
}

TEST(Flips, MirroredRunListsStayWellFormed) {
  // An even number of runs gains a leading zero-length white run.
  Page page;
  testpix::MakeRunLines({{5, 3}, {0, 2, 6}}, 8, page.get());
  ASSERT_EQ(TransformPage(page.get(), kFlipHorizontal, 0, 0), kOk);
  EXPECT_EQ(LineBytes(page.record),
            (std::vector<std::vector<uint8_t>>{{0, 3, 5, 0, 0}, {6, 2, 0, 0}}));
}

TEST(Flips, RunsPastTheWidthAreClippedAndShortLinesCompleted) {
  // Width 300: a black run that overshoots, a line whose runs stop short
  // (the rest is white, and mirrored it needs a two-byte first run, so the
  // page is rebuilt), an all-black line.
  Page page;
  testpix::MakeRunLines({{3, 0x81, 0x40}, {3, 2}, {0, 0x81, 0x2C}}, 300, page.get());
  Image expected(300, 3, 1);
  for (int32_t x = 0; x < 300; ++x) {
    expected.at(299 - x, 0) = x < 3;
    expected.at(299 - x, 1) = !(x == 3 || x == 4);
    expected.at(x, 2) = 0;
  }
  ASSERT_EQ(TransformPage(page.get(), kFlipHorizontal, 0, 0), kOk);
  EXPECT_TRUE(SameImage(expected, testpix::ReadPage(page.record)));
  ASSERT_EQ(TransformPage(page.get(), kDoubleLines, 0, 0), kOk);
  ASSERT_EQ(TransformPage(page.get(), kInvert, 0, 0), kOk);
  EXPECT_EQ(testpix::ReadPage(page.record).at(0, 4), 1u);
}

TEST(Inversion, TwiceIsIdentityAtEveryDepth) {
  for (int bpp : kDepths) {
    Image image = testpix::Noise(11, 4, bpp, 3);
    Page page;
    testpix::MakePage(image, page.get());
    const auto before = LineBytes(page.record);
    ASSERT_EQ(TransformPage(page.get(), kInvert, 0, 0), kOk);
    Image once = testpix::ReadPage(page.record);
    for (size_t i = 0; i < image.px.size(); ++i) {
      if (bpp == 1 || bpp >= 16) {
        EXPECT_EQ(once.px[i], ~image.px[i] & (bpp == 1 ? 1u : bpp == 16 ? 0xFFFFu : 0xFFFFFFu));
      } else {  // the palette is complemented, the pixels stay
        EXPECT_EQ(once.px[i], image.px[i]);
      }
    }
    if (bpp == 4 || bpp == 8) {  // the pages were made with gray ramps
      for (int i = 0; i < 768; ++i)
        EXPECT_EQ(page->palette[i], 255 - (i / 3 * (bpp == 8 ? 1 : 17)) % 256) << i;
    }
    ASSERT_EQ(TransformPage(page.get(), kInvert, 0, 0), kOk);
    EXPECT_TRUE(SameImage(image, testpix::ReadPage(page.record)));
    EXPECT_EQ(before, LineBytes(page.record));
  }
  // A line that starts black loses its leading zero run and gets it back.
  Page page;
  testpix::MakeRunLines({{0, 4, 6}}, 10, page.get());
  ASSERT_EQ(TransformPage(page.get(), kInvert, 0, 0), kOk);
  EXPECT_EQ(LineBytes(page.record)[0], (std::vector<uint8_t>{4, 6, 0, 0}));
  ASSERT_EQ(TransformPage(page.get(), kInvert, 0, 0), kOk);
  EXPECT_EQ(LineBytes(page.record)[0], (std::vector<uint8_t>{0, 4, 6, 0, 0}));
}

TEST(GrayAndShades, ToGrayAtEveryDepth) {
  std::vector<uint8_t> palette = testpix::ColourfulPalette(7);
  auto grayOf = [](uint32_t c) { return ((c & 0xFF) + 2 * ((c >> 8) & 0xFF) + (c >> 16)) / 4; };
  for (int bpp : {4, 8, 16, 24}) {
    Image image = testpix::Noise(10, 3, bpp, 6);
    Page page;
    testpix::MakePixelPage(image, page.get(), palette.data());
    ASSERT_EQ(TransformPage(page.get(), kToGray, 0, 0), kOk);
    Image gray = testpix::ReadPage(page.record);
    for (size_t i = 0; i < image.px.size(); ++i) {
      uint32_t v = image.px[i], c;
      if (bpp <= 8) c = testpix::PaletteColour(palette.data(), v);
      else if (bpp == 24) c = v;
      else c = ((v >> 11) << 19) | (((v >> 5) & 63) << 10) | ((v & 31) << 3);
      if (bpp == 4) {  // the pixels stay, their palette entries turn gray
        EXPECT_EQ(gray.px[i], v);
        EXPECT_EQ(testpix::PaletteColour(page->palette, v), grayOf(c) * 0x010101u);
      } else {
        EXPECT_EQ(gray.px[i], grayOf(c)) << bpp << " at " << i;
      }
    }
    if (bpp != 4) {
      EXPECT_EQ(page->bitsPerPixel, 8);
      EXPECT_EQ(0, std::memcmp(page->palette, kGrayRamp8.data(), 768));
    } else {  // entries past the sixteen are untouched
      EXPECT_EQ(0, std::memcmp(page->palette + 48, palette.data() + 48, 720));
    }
  }
  Page bilevel;
  testpix::MakeRunListPage(testpix::Noise(8, 2, 1, 1), bilevel.get());
  EXPECT_EQ(TransformPage(bilevel.get(), kToGray, 0, 0), kErrParameter);
}

TEST(GrayAndShades, LightenAndDarkenClamp) {
  for (int code : {kLighten, kDarken}) {
    const int delta = code == kLighten ? 17 : -17;
    // Palettes change, pixels stay; 255 stays 255 when lightening.
    for (int bpp : {4, 8}) {
      const Image image = testpix::Noise(6, 2, bpp, 1);
      std::vector<uint8_t> palette = testpix::ColourfulPalette(3);
      palette[3] = 255;
      Page page;
      testpix::MakePixelPage(image, page.get(), palette.data());
      ASSERT_EQ(TransformPage(page.get(), code, 0, 0), kOk);
      EXPECT_TRUE(SameImage(image, testpix::ReadPage(page.record)));
      for (int i = 0; i < 768; ++i)
        EXPECT_EQ(page->palette[i], i < 3 * (1 << bpp) ? std::clamp(palette[i] + delta, 0, 255) : palette[i]) << i;
    }
  }
  // 24 bpp: each channel by 17; 16 bpp by fields, red +1 / -2, green +3 /
  // -4, blue +2 / -2; clamped.
  Image rgb(2, 1, 24), words(3, 1, 16);
  rgb.px = {0xFF0008, 0x10EE80};
  words.px = {(1 << 11) | (62 << 5) | 30, 0xFFFF, 0};
  Image lighter = rgb, darker = rgb, lighterWords = words, darkerWords = words;
  lighter.px = {0xFF1119, 0x21FF91};
  darker.px = {0xEE0000, 0x00DD6F};
  lighterWords.px = {0x17FF, 0xFFFF, 0x0862};
  darkerWords.px = {0x075C, 0xEF7D, 0};
  EXPECT_TRUE(SameImage(lighter, Transformed(rgb, {kLighten})));
  EXPECT_TRUE(SameImage(darker, Transformed(rgb, {kDarken})));
  EXPECT_TRUE(SameImage(lighterWords, Transformed(words, {kLighten})));
  EXPECT_TRUE(SameImage(darkerWords, Transformed(words, {kDarken})));
}

TEST(TransformFailures, RefusedCodesAndFormsLeaveThePageAlone) {
  Page bilevel, gray, packed;
  testpix::MakeRunListPage(testpix::Noise(9, 4, 1, 1), bilevel.get());
  testpix::MakePixelPage(testpix::Noise(9, 4, 8, 1), gray.get());
  testpix::MakePixelPage(testpix::Noise(9, 4, 1, 1), packed.get());  // 1 bpp, code 0
  struct Case {
    Page* page;
    int code;
  };
  const Case cases[] = {{&bilevel, 0},  {&bilevel, 3},       {&bilevel, 8},        {&bilevel, 12},
                        {&bilevel, -1}, {&bilevel, kLighten}, {&bilevel, kDarken}, {&gray, kDoubleLines},
                        {&gray, 3},     {&packed, kRotateClockwise}, {&packed, kInvert},
                        {&packed, kFlipHorizontal}};
  for (const Case& c : cases) {
    PageRecord before = c.page->record;
    Image pixels = testpix::ReadPage(before);
    EXPECT_EQ(TransformPage(c.page->get(), c.code, 90, 0), kErrParameter) << c.code;
    EXPECT_TRUE(testpix::SameRecord(before, c.page->record));
    EXPECT_TRUE(SameImage(pixels, testpix::ReadPage(c.page->record)));
  }
}

TEST(TransformFailures, ShortOfMemoryNothingChanges) {
  Page bilevel, colour;
  testpix::MakeRunListPage(testpix::Noise(500, 300, 1, 2), bilevel.get());
  testpix::MakePixelPage(testpix::Noise(300, 200, 24, 2), colour.get());
  const uint64_t limit = AllocationLimit();
  SetAllocationLimit(50000);
  for (Page* page : {&bilevel, &colour})
    for (int code : {kRotateClockwise, kDoubleLines, kToGray}) {
      const bool bilevelPage = page == &bilevel;
      if (code == (bilevelPage ? kToGray : kDoubleLines)) continue;
      PageRecord before = page->record;
      EXPECT_EQ(TransformPage(page->get(), code, 90, 0), kErrMemory) << code;
      EXPECT_TRUE(testpix::SameRecord(before, page->record));
    }
  SetAllocationLimit(limit);
}

TEST(TransformReadOnlyView, PixelsInAFileViewAreCopiedFirst) {
  // Pixels that lie in a file's read-only view: writing them in place would
  // fault, so the in-place transforms work on a copy of the page's own.
  OpenedFile f(SamplePath("photo24.bmp"));
  const Bytes file(f->view, f->view + f->fileSize);
  for (int code : {kInvert, kFlipHorizontal, kFlipVertical, kLighten, kDarken, kConvertDepth}) {
    Page page, owned;
    ASSERT_EQ(f.Extract(page.get()), kOk);
    ASSERT_EQ(page->dataOwnership, kOwnedByView);
    testpix::MakePixelPage(testpix::ReadPage(page.record), owned.get(), nullptr, true);
    ASSERT_EQ(TransformPage(page.get(), code, kTarget12Bit, kDitherDiffusion), kOk) << code;
    EXPECT_EQ(page->dataOwnership, kOwnedByPage);
    ASSERT_EQ(TransformPage(owned.get(), code, kTarget12Bit, kDitherDiffusion), kOk);
    EXPECT_TRUE(SameImage(testpix::ReadPage(owned.record), testpix::ReadPage(page.record)));
  }
  EXPECT_EQ(Bytes(f->view, f->view + f->fileSize), file);
}

TEST(TransformSequences, RandomRunListEditsMatchTheReference) {
  // Inversion and mirroring grow lines in place; any order of edits must
  // keep every line inside its room and equal to the same edits done on
  // plain pixels.  Doubling the lines doubles the vertical resolution.
  uint32_t state = 99;
  auto next = [&state](uint32_t n) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % n;
  };
  for (int trial = 0; trial < 300; ++trial) {
    Image image = testpix::Noise(1 + static_cast<int32_t>(next(40)), 1 + static_cast<int32_t>(next(12)), 1,
                                 static_cast<uint32_t>(trial));
    if (trial % 3 == 0)  // long runs too
      for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) image.at(x, y) = (x / 9 + y) % 3 != 0;
    Page page;
    testpix::MakeRunListPage(image, page.get());
    int32_t yResolution = page->yResolution = 98;
    for (int step = 0; step < 10; ++step) {
      const int code = std::initializer_list<int>{kRotateClockwise, kInvert, kFlipHorizontal,
                                                  kFlipVertical, kDoubleLines}.begin()[next(5)];
      if (code == kDoubleLines && image.height > 40) continue;
      ASSERT_EQ(TransformPage(page.get(), code, 90, 0), kOk);
      switch (code) {
        case kRotateClockwise: image = Turned(image, 90); break;
        case kInvert: for (uint32_t& v : image.px) v ^= 1; break;
        case kFlipHorizontal: image = Mirrored(image, true, false); break;
        case kFlipVertical: image = Mirrored(image, false, true); break;
        default: {
          Image doubled(image.width, 2 * image.height, 1);
          for (int32_t y = 0; y < doubled.height; ++y)
            for (int32_t x = 0; x < image.width; ++x) doubled.at(x, y) = image.at(x, y / 2);
          image = doubled;
          yResolution *= 2;
        }
      }
      ASSERT_TRUE(SameImage(image, testpix::ReadPage(page.record))) << "trial " << trial << " step " << step;
      ASSERT_EQ(page->yResolution, yResolution);
    }
  }
}
