// CropPage and ResizePage at every depth, bilevel pages included.
#include "support/suite.h"

namespace {

Image Part(const Image& image, const CropRectangle& r) {
  Image out(r.width, r.height, image.bpp);
  for (int32_t y = 0; y < r.height; ++y)
    for (int32_t x = 0; x < r.width; ++x) out.at(x, y) = image.at(r.left + x, r.top + y);
  return out;
}

}  // namespace

TEST(Crop, RectanglesOfEveryDepth) {
  for (int bpp : {1, 4, 8, 16, 24})
    for (CropRectangle r : {CropRectangle{0, 0, 19, 11}, {3, 2, 7, 5}, {1, 0, 1, 11}, {18, 10, 1, 1}}) {
      Image image = testpix::Noise(19, 11, bpp, static_cast<uint32_t>(bpp));
      Page page;
      testpix::MakePage(image, page.get());
      ASSERT_EQ(CropPage(page.get(), r), kOk) << bpp;
      EXPECT_TRUE(SameImage(Part(image, r), testpix::ReadPage(page.record)))
          << bpp << " bpp, " << r.left << "," << r.top << " " << r.width << "x" << r.height;
      if (bpp == 1) {
        EXPECT_EQ(page->compression, kRunLists);
      } else {
        EXPECT_EQ(page->dataSize, (r.height + 1) * BytesPerLine(r.width, bpp));
        EXPECT_NE(page->palette == nullptr, bpp == 4 || bpp == 8);
      }
    }
}

TEST(Crop, DecodedBilevelPagesAreNotInvertedOrFlippedAgain) {
  // Run lists are white-is-one and top line first whatever the record's
  // photometric and layout flag still say (a page from a bottom-up file
  // keeps its flag): the crop must not invert or flip them.
  Image image = testpix::Noise(30, 12, 1, 3);
  Page page;
  testpix::MakeRunListPage(image, page.get());
  page->photometric = 1;
  page->layoutFlags = kLayoutBottomUp;
  const CropRectangle r{4, 2, 20, 9};
  ASSERT_EQ(CropPage(page.get(), r), kOk);
  EXPECT_TRUE(SameImage(Part(image, r), testpix::ReadPage(page.record)));
}

TEST(Crop, RectanglesOutsideThePageAreRefused) {
  Page page;
  testpix::MakePixelPage(testpix::Noise(10, 8, 8, 1), page.get());
  PageRecord before = page.record;
  for (CropRectangle r : {CropRectangle{0, 0, 11, 8}, {0, 0, 10, 9}, {-1, 0, 5, 5}, {0, -1, 5, 5},
                          {5, 0, 0, 3}, {2, 2, 3, -1}, {INT32_MAX, 0, 2, 2}, {1, 1, INT32_MAX, 1}})
    EXPECT_EQ(CropPage(page.get(), r), kErrParameter) << r.left << "," << r.top << " " << r.width;
  EXPECT_TRUE(testpix::SameRecord(before, page.record));
}

TEST(Resize, NearestNeighbourColourPages) {
  for (int bpp : {4, 8, 16, 24})
    for (auto [w, h] : {std::pair{7, 5}, {31, 4}, {3, 29}, {60, 40}}) {
      Image image = testpix::Noise(17, 13, bpp, 5);
      Page page, resized;
      testpix::MakePixelPage(image, page.get());
      ASSERT_EQ(ResizePage(page.get(), resized.get(), w, h), kOk);
      const int64_t xs = 17 * 256 / w, ys = 13 * 256 / h;
      Image expected(w, h, bpp);
      for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
          expected.at(x, y) = image.at(static_cast<int32_t>(x * xs / 256), static_cast<int32_t>(y * ys / 256));
      EXPECT_TRUE(SameImage(expected, testpix::ReadPage(resized.record))) << bpp << " " << w << "x" << h;
      // Buffers of its own: the source is intact and both release cleanly.
      EXPECT_NE(resized->data, page->data);
      if (bpp <= 8) {
        EXPECT_NE(resized->palette, page->palette);
        EXPECT_EQ(0, std::memcmp(resized->palette, page->palette, 768));
      }
      EXPECT_TRUE(SameImage(image, testpix::ReadPage(page.record)));
    }
}

TEST(Resize, BilevelPagesKeepTheirLines) {
  Image image = testpix::Uniform(400, 300, 1, 1);
  for (int32_t y = 0; y < 300; ++y) image.at(201, y) = 0;
  for (int32_t x = 0; x < 400; ++x) image.at(x, 100) = 0;
  Page page, small, large;
  testpix::MakeRunListPage(image, page.get());
  ASSERT_EQ(ResizePage(page.get(), small.get(), 40, 30), kOk);
  EXPECT_EQ(small->compression, kRunLists);
  Image reduced = testpix::ReadPage(small.record);
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 40; ++x) EXPECT_EQ(reduced.at(x, y), !(x == 20 || y == 10)) << x << "," << y;
  // Enlarged three times (steps of 85): line 100 fills whole lines, wider
  // than a one-byte run; column 201 becomes output pixels 201 * 256 / 85
  // up to 202 * 256 / 85.
  ASSERT_EQ(ResizePage(page.get(), large.get(), 1200, 900), kOk);
  Image enlarged = testpix::ReadPage(large.record);
  for (int32_t y = 0; y < 900; ++y)
    for (int32_t x = 0; x < 1200; ++x) {
      const bool black = y * 85 / 256 == 100 || (x >= 605 && x < 608);
      ASSERT_EQ(enlarged.at(x, y), black ? 0u : 1u) << x << "," << y;
    }
  EXPECT_LE(large->dataSize, RunListWorstCase(1200, 900));
}

TEST(Resize, SizeLimits) {
  Page page, out;
  testpix::MakeRunListPage(testpix::Noise(4096, 2, 1, 1), page.get());
  EXPECT_EQ(ResizePage(page.get(), out.get(), 32768, 2), kErrParameter);
  EXPECT_EQ(ResizePage(page.get(), out.get(), 0, 2), kErrParameter);
  EXPECT_EQ(ResizePage(page.get(), out.get(), 100, 32768), kErrParameter);
  EXPECT_EQ(ResizePage(page.get(), out.get(), 32767, 2), kOk);
  EXPECT_EQ(out->width, 32767);
  FreePage(out.get());
  // Beyond eight times the steps fall below the renderer's limit.
  EXPECT_EQ(ResizePage(page.get(), out.get(), 4096, 17), kErrParameter);
  EXPECT_EQ(out->data, nullptr);
}
