// RenderView (whole pages into pictures of their own) and the composition
// of animated GIF frames.
#include "support/suite.h"

TEST(RenderView, EveryRotationOfEveryDepth) {
  for (int bpp : {1, 4, 8, 16, 24})
    for (int rotation : {0, 90, 180, 270}) {
      Image image = testpix::Noise(13, 8, bpp, static_cast<uint32_t>(bpp + rotation));
      Page page, view;
      testpix::MakePage(image, page.get());
      ViewOptions options;
      options.rotation = rotation;
      ASSERT_EQ(RenderView(page.get(), options, view.get()), kOk);
      EXPECT_EQ(view->compression, kUncompressed);
      EXPECT_TRUE(SameImage(Turned(image, rotation), testpix::ReadPage(view.record))) << bpp << " bpp, " << rotation;
      if (bpp == 4 || bpp == 8) {
        EXPECT_EQ(0, std::memcmp(view->palette, page->palette, 768));
      }
      // The page itself is not touched.
      EXPECT_TRUE(SameImage(image, testpix::ReadPage(page.record)));
    }
}

TEST(RenderView, ScaledAndScaleToGray) {
  EXPECT_EQ(StepForPercent(100), 256);
  EXPECT_EQ(StepForPercent(25), 1024);
  EXPECT_EQ(StepForPercent(800), 32);
  EXPECT_EQ(StepForPercent(801), 0);
  EXPECT_EQ(StepForPercent(0), 0);
  EXPECT_EQ(StepToFit(1728, 2200, 240, 320), 1844);   // 1728 * 256 / 240, rounded up
  EXPECT_EQ(StepToFit(1728, 2200, 1000, 320), 1760);  // 2200 * 256 / 320
  EXPECT_EQ(StepToFit(10, 10, 1000, 1000), 32);
  EXPECT_EQ(StepToFit(0, 10, 100, 100), 0);
  Image checker(100, 60, 1);
  for (int32_t y = 0; y < 60; ++y)
    for (int32_t x = 0; x < 100; ++x) checker.at(x, y) = (x + y) % 2;
  Page page, view;
  testpix::MakeRunListPage(checker, page.get());
  page->xResolution = 200;
  page->yResolution = 100;
  ViewOptions options;
  options.xStep = options.yStep = StepForPercent(50);
  options.scaleToGray = true;
  options.rotation = 90;
  ASSERT_EQ(RenderView(page.get(), options, view.get()), kOk);
  EXPECT_EQ(view->bitsPerPixel, 4);
  EXPECT_EQ(0, std::memcmp(view->palette, kScaleToGrayPalette.data(), 768));
  EXPECT_TRUE(SameImage(testpix::Uniform(30, 50, 4, 8), testpix::ReadPage(view.record)));
  EXPECT_EQ(view->xResolution, 50);
  EXPECT_EQ(view->yResolution, 100);
  // Too small for one output pixel, or an unknown rotation.
  Page refused;
  options.xStep = 100000;
  EXPECT_EQ(RenderView(page.get(), options, refused.get()), kErrParameter);
  options.xStep = 256;
  options.rotation = 45;
  EXPECT_EQ(RenderView(page.get(), options, refused.get()), kErrParameter);
  EXPECT_EQ(refused->data, nullptr);
}

TEST(ComposeGifFrame, TransparencyDisposalAndPlacement) {
  for (int bpp : {4, 8}) {
    Image screen = testpix::Uniform(12, 9, bpp, 3);
    Image frame = testpix::Noise(5, 4, bpp, 7);
    frame.at(0, 0) = 9;
    Page screenPage, framePage;
    testpix::MakePixelPage(screen, screenPage.get());
    testpix::MakePixelPage(frame, framePage.get());
    screenPage->backgroundIndex = 6;
    framePage->frameLeft = 7;  // odd: nibbles of 4-bpp screens shift
    framePage->frameTop = 5;
    framePage->transparentIndex = 9;
    framePage->frameDisposal = 0x01;  // transparency, no disposal
    ASSERT_EQ(ComposeGifFrame(screenPage.get(), framePage.get()), kOk);
    Image expected = screen;
    for (int32_t y = 0; y < 4; ++y)
      for (int32_t x = 0; x < 5; ++x)
        if (frame.at(x, y) != 9) expected.at(7 + x, 5 + y) = frame.at(x, y);
    EXPECT_TRUE(SameImage(expected, testpix::ReadPage(screenPage.record))) << bpp;
    EXPECT_EQ(testpix::ReadPage(screenPage.record).at(7, 5), 3u);

    // Disposal 2 restores the background first (3 too, on 8-bpp screens).
    for (int disposal : {2, 3}) {
      framePage->frameDisposal = static_cast<uint8_t>(disposal << 2);
      framePage->frameLeft = 0;
      framePage->frameTop = 0;
      testpix::MakePixelPage(screen, screenPage.get());
      screenPage->backgroundIndex = 6;
      ASSERT_EQ(ComposeGifFrame(screenPage.get(), framePage.get()), kOk);
      Image disposed = disposal == 2 || bpp == 8 ? testpix::Uniform(12, 9, bpp, 6) : screen;
      for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 5; ++x) disposed.at(x, y) = frame.at(x, y);
      EXPECT_TRUE(SameImage(disposed, testpix::ReadPage(screenPage.record))) << bpp << " " << disposal;
      FreePage(screenPage.get());
    }
    testpix::MakePixelPage(screen, screenPage.get());
    // Outside the screen, negative positions, other depths of frame: -6.
    for (auto [left, top] : {std::pair{8, 0}, {0, 6}, {-1, 0}, {0, -1}, {INT32_MAX, 0}}) {
      framePage->frameLeft = left;
      framePage->frameTop = top;
      EXPECT_EQ(ComposeGifFrame(screenPage.get(), framePage.get()), kErrParameter);
    }
    EXPECT_TRUE(SameImage(screen, testpix::ReadPage(screenPage.record)));
  }
  Page deep, eight;
  testpix::MakePixelPage(testpix::Noise(6, 6, 24, 1), deep.get());
  testpix::MakePixelPage(testpix::Noise(2, 2, 8, 1), eight.get());
  Image before = testpix::ReadPage(deep.record);
  EXPECT_EQ(ComposeGifFrame(deep.get(), eight.get()), kOk);
  EXPECT_TRUE(SameImage(before, testpix::ReadPage(deep.record)));
  Page four;
  testpix::MakePixelPage(testpix::Noise(6, 6, 4, 1), four.get());
  EXPECT_EQ(ComposeGifFrame(four.get(), eight.get()), kErrParameter);
}
