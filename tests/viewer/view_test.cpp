// The main window's arithmetic and tables without a window: view modes,
// zoom steps, panning, zoom to a rectangle, the region under a rectangle,
// the navigator's overview, toolbar slots, hardware buttons of every model,
// and the decisions of load-page.
#include <gtest/gtest.h>

#include <algorithm>

#include "imaging/core/page.h"
#include "platform/emulator.h"
#include "viewer/app/device.h"
#include "viewer/app/functions.h"
#include "viewer/app/main_window.h"
#include "viewer/app/page_load.h"
#include "viewer/app/state.h"
#include "viewer/app/view.h"
#include "viewer/app/view_math.h"
#include "viewer/browse/file_list.h"
#include "viewer/settings/settings.h"

namespace {

using namespace zelmo;

ViewFrame Frame(int areaWidth, int areaHeight, int width, int height) {
  ViewFrame f;
  f.areaWidth = areaWidth;
  f.areaHeight = areaHeight;
  f.shownWidth = width;
  f.shownHeight = height;
  return f;
}

ViewPosition At(int x, int y, int scale) {
  ViewPosition v;
  v.srcX = x;
  v.srcY = y;
  v.scale = scale;
  return v;
}

// The page pixel at window point (x, y) of the area.
int64_t PageX(const ViewPosition& v, int x) { return v.srcX + int64_t{x - v.marginX} * v.scale / 256; }

TEST(ViewArithmetic, ViewModes) {
  // A 480 x 640 page fitted into a 240 x 296 area.
  const ViewFrame tall = Frame(240, 296, 480, 640);
  ViewPosition v = At(30, 40, 256);
  ASSERT_TRUE(ComputeViewPosition(40033, tall, 25, &v));
  ComputeMargins(tall, &v);
  EXPECT_EQ(v.scale, 553);
  EXPECT_EQ(v.marginX, 9);
  EXPECT_EQ(v.srcX + v.srcY, 0);
  ASSERT_TRUE(ComputeViewPosition(40032, tall, 25, &v));
  EXPECT_EQ(v.scale, 512);
  ASSERT_TRUE(ComputeViewPosition(40042, tall, 25, &v));
  EXPECT_EQ(v.scale, 1024);
  // A custom percentage the settings never allow falls back to 25 %.
  for (int custom : {0, -3, 900}) {
    ASSERT_TRUE(ComputeViewPosition(40042, tall, custom, &v));
    EXPECT_EQ(v.scale, 1024) << custom;
  }
  EXPECT_FALSE(ComputeViewPosition(40034, tall, 25, &v));
  // 100 % keeps the page point at the area's centre where it was.
  const ViewFrame big = Frame(240, 296, 2000, 2000);
  v = At(100, 50, 512);
  ComputeMargins(big, &v);
  const int64_t centre = PageX(v, 120);
  ASSERT_TRUE(ComputeViewPosition(40031, big, 25, &v));
  EXPECT_EQ(v.scale, 256);
  EXPECT_EQ(PageX(v, 120), centre);
  // A page narrower than the area is not scrolled at 100 %.
  v = At(100, 0, 512);
  ASSERT_TRUE(ComputeViewPosition(40031, Frame(240, 296, 200, 2000), 25, &v));
  EXPECT_EQ(v.srcX, 0);
}

TEST(ViewArithmetic, ZoomSteps) {
  const ViewFrame big = Frame(240, 296, 4000, 4000);
  auto percentAfter = [&](int scale, bool out, int steps) {
    ViewPosition v = At(0, 0, scale);
    for (int i = 0; i < steps; ++i) ZoomStep(out, big, &v);
    return 25600 / v.scale;
  };
  EXPECT_EQ(percentAfter(256, false, 1), 110);
  EXPECT_EQ(percentAfter(256, false, 2), 121);
  EXPECT_EQ(percentAfter(256, true, 1), 90);
  EXPECT_EQ(percentAfter(5120, false, 1), 6);
  EXPECT_EQ(percentAfter(12800, true, 1), 2);
  EXPECT_EQ(percentAfter(256, false, 40), 800);
  // Zooming out from below 1 % never zooms in.
  ViewPosition tiny = At(0, 0, 40000);
  ZoomStep(true, Frame(240, 296, 100000, 100000), &tiny);
  EXPECT_EQ(tiny.scale, 40000);
  // The area's centre stays on the same page point.
  ViewPosition v = At(1000, 1000, 256);
  const int64_t centre = PageX(v, 120);
  ZoomStep(false, big, &v);
  EXPECT_NEAR(PageX(v, 120), centre, 1);
  // Near the page's right end the view is pulled back to show no blank.
  v = At(4000 - 240, 0, 256);
  ZoomStep(true, big, &v);
  EXPECT_LE(v.srcX + int64_t{240} * v.scale / 256, 4000);
}

// Every rotation: the frame is the page as displayed, and a pan ends at the
// displayed page's edges whichever way it goes.
TEST(ViewArithmetic, PanLimitsAtEveryRotation) {
  quillon::PageRecord& page = gView.page;
  uint8_t byte = 0;
  page = quillon::PageRecord{};
  page.width = 1000;
  page.height = 600;
  page.bitsPerPixel = 24;
  page.data = &byte;
  gView.pageLoaded = true;
  gView.areaWidth = 240;
  gView.areaHeight = 193;
  for (int rotation : {0, 90, 180, 270}) {
    gView.rotation = rotation;
    const ViewFrame f = CurrentFrame();
    const bool turned = rotation % 180 != 0;
    EXPECT_EQ(f.shownWidth, turned ? 600 : 1000);
    ViewPosition start = At(100, 100, 256), v = start;
    PanTo(f, start, 5000, 5000, &v);
    EXPECT_EQ(v.srcX, f.shownWidth - 240);
    EXPECT_EQ(v.srcY, f.shownHeight - 193);
    PanTo(f, start, -5000, -5000, &v);
    EXPECT_EQ(v.srcX + v.srcY, 0);
    // A direction with a margin does not move.
    start.marginY = 5;
    v = start;
    PanTo(f, start, 10, 10, &v);
    EXPECT_EQ(v.srcX, 110);
    EXPECT_EQ(v.srcY, 100);
  }
  // Bilevel pages are turned in their data, never by the renderer.
  page.bitsPerPixel = 1;
  EXPECT_EQ(CurrentFrame().shownWidth, 1000);
  ResetProcessState();
}

TEST(ViewArithmetic, ZoomToRectangleAndTheRegionUnderIt) {
  const ViewFrame f = Frame(240, 193, 1000, 1000);
  ViewPosition v = At(100, 100, 256);
  ZoomToRectangle(WindowRect{40, 40, 160, 100}, f, &v);
  EXPECT_EQ(v.scale, 128);
  // The rectangle's centre, page point (200, 170), is the area's centre.
  EXPECT_EQ(v.srcX + 120 * 128 / 256, 200);
  EXPECT_EQ(v.srcY + 96 * 128 / 256, 170);
  // Clamped by the page as displayed: 400 wide once turned.
  v = At(160, 0, 256);
  ZoomToRectangle(WindowRect{200, 0, 240, 193}, Frame(240, 193, 400, 2000), &v);
  EXPECT_EQ(v.scale, 256);
  EXPECT_EQ(v.srcX, 400 - 240);

  PageRegion r;
  ViewPosition margins = At(0, 0, 512);
  margins.marginX = 20;
  margins.marginY = 10;
  const ViewFrame small = Frame(240, 193, 400, 300);
  EXPECT_FALSE(RegionUnder(WindowRect{0, 0, 15, 100}, small, margins, &r));  // the left band
  EXPECT_FALSE(RegionUnder(WindowRect{225, 0, 239, 100}, small, margins, &r));  // the right band
  ASSERT_TRUE(RegionUnder(WindowRect{10, 30, 60, 500}, small, margins, &r));
  EXPECT_EQ(r.x, 0);
  EXPECT_EQ(r.y, 40);
  EXPECT_EQ(r.width, 80);
  EXPECT_EQ(r.height, 300 - 40);  // cut at the page's end
}

TEST(ViewArithmetic, TheNavigatorsOverviewAndDrag) {
  const OverviewGeometry o = ComputeOverview(1728, 2200, 74, 74);
  EXPECT_EQ(o.step, 7610);
  EXPECT_EQ(o.width, 58);
  EXPECT_EQ(o.height, 74);
  EXPECT_EQ(o.offsetX, 8);
  EXPECT_EQ(o.offsetY, 0);
  EXPECT_EQ(ComputeOverview(4, 4, 74, 74).step, 0);  // smaller than an eighth of the window
  // The view's rectangle: 240 x 193 window pixels at 100 %.
  const ViewFrame f = Frame(240, 193, 1728, 2200);
  ViewPosition v = At(761, 0, 256);
  const WindowRect rect = OverviewViewRectangle(o, f, v);
  EXPECT_EQ(rect.left, 8 + 25);
  EXPECT_EQ(rect.right - rect.left, 240 * 256 / 7610);
  EXPECT_EQ(rect.bottom - rect.top, 193 * 256 / 7610);
  // Dragged past the right edge the view stops at the page's border; a
  // negative position puts the origin at 0.
  NavigateTo(500, 30, o, f, &v);
  EXPECT_EQ(v.srcX, 1728 - 240);
  NavigateTo(-3, -3, o, f, &v);
  EXPECT_EQ(v.srcX + v.srcY, 0);
}

// 640 pixels: two rows of 26; each of the 52 slots acts on its function.
TEST(ToolbarSlots, EverySlotOfTheWideToolbarActsOnItsFunction) {
  gApp.screenWidth = 640;
  gApp.buttonsPerRow = 26;
  gApp.toolbarRows = 2;
  std::copy(std::begin(kToolbar640), std::end(kToolbar640), gSettings.toolBars.begin());
  for (int row = 0; row < 2; ++row) {
    gApp.currentRow = row;
    for (int i = 0; i < 26; ++i)
      EXPECT_EQ(ToolbarCommandAt(i * 24 + 23), kFunctionTable[kToolbar640[row * 26 + i]]) << row << " " << i;
    EXPECT_EQ(ToolbarCommandAt(26 * 24 + 2), 0);  // right of the last slot
  }
  gApp.currentRow = 0;
  EXPECT_EQ(ToolbarCommandAt(0), 40075);
  // A code beyond the table acts as, and shows, "Undefined".
  gSettings.toolBars[1] = 200;
  EXPECT_EQ(ToolbarCodeAt(1), 57);
  EXPECT_EQ(ToolbarCommandAt(30), 40116);
  // 240 pixels: x = 100 is slot 4 of the current row.
  gApp.buttonsPerRow = 10;
  gApp.currentRow = 3;
  EXPECT_EQ(ToolbarSlotAt(100), 34);
  ResetProcessState();
}

// The strip's first thumbnail stays inside the list, the upper bound first.
TEST(Strip, TheFirstThumbnailStaysInTheList) {
  gView.thumbsPerRow = 3;
  gFiles.live.files.count = 2;
  EXPECT_EQ(ClampFirstThumbnail(5), 0);
  gFiles.live.files.count = 10;
  EXPECT_EQ(ClampFirstThumbnail(9), 7);
  EXPECT_EQ(ClampFirstThumbnail(-4), 0);
  ResetProcessState();
}

// Each model's buttons, as the emulator presents them, post their MainKeys
// and FullscreenKeys functions; the first button with a key wins.
TEST(Buttons, EveryModelsButtonsActAsTheirAssignments) {
  for (const ce::DeviceModel& model : ce::DeviceModels()) {
    SCOPED_TRACE(model.alias);
    gDevice.buttons = ChooseButtonLayout(model.deviceIndex, model.width > 240);
    gApp.screenWidth = model.width;
    gSettings = DefaultSettings();
    ASSERT_EQ(gDevice.buttons.count, model.buttonCount);
    for (int i = 0; i < model.buttonCount; ++i) {
      const int key = model.buttonKeys[i];
      if (std::find(model.buttonKeys, model.buttonKeys + i, key) != model.buttonKeys + i) continue;
      EXPECT_EQ(CommandForKey(key, false), kFunctionTable[kDefaultMainKeys[i]]) << i;
      EXPECT_EQ(CommandForKey(key, true), kFunctionTable[kDefaultFullscreenKeys[i]]) << i;
    }
    EXPECT_EQ(CommandForKey(0x41, false), 0);
  }
  gDevice.buttons = ChooseButtonLayout(10, false);  // a J580: Action is 0x86
  gSettings = DefaultSettings();
  EXPECT_EQ(CommandForKey(0x86, false), 40104);
  gSettings.mainKeys[0] = 57;
  EXPECT_EQ(CommandForKey(0x26, false), 40116);
  gSettings.mainKeys[0] = 99;  // beyond the table: "Undefined" too
  EXPECT_EQ(CommandForKey(0x26, false), 40116);
  ResetProcessState();
}

TEST(LoadPage, FaxAspectAndDecodingFlags) {
  quillon::PageRecord fax{};
  fax.bitsPerPixel = 1;
  fax.width = 1728;
  fax.height = 1100;
  EXPECT_TRUE(NeedsAspectCorrection(fax));  // no resolution, a short fax page
  fax.height = 2200;
  EXPECT_FALSE(NeedsAspectCorrection(fax));
  fax.xResolution = 204;
  fax.yResolution = 98;
  EXPECT_TRUE(NeedsAspectCorrection(fax));
  fax.yResolution = 196;
  EXPECT_FALSE(NeedsAspectCorrection(fax));

  Settings s;
  quillon::PageRecord page{};
  page.bitsPerPixel = 24;
  const struct {
    int width;
    bool reduced;
    int jpegSize;
    int expected;
  } cases[] = {{639, true, 0, 0}, {640, true, 3, 32}, {2048, true, 0, 32}, {2049, true, 0, 64},
               {4000, false, 0, 0}, {100, false, 1, 32}, {100, false, 2, 64}, {100, false, 3, 128}};
  s.options.jpeg16Bpp = false;
  s.options.ignoreErrors = false;
  for (const auto& c : cases) {
    page.width = c.width;
    s.options.jpegReducedLoad = c.reduced;
    s.jpegSize = c.jpegSize;
    EXPECT_EQ(DecodeFlags(page, quillon::kFileJfif, false, s), c.expected) << c.width;
  }
  EXPECT_EQ(DecodeFlags(page, quillon::kFileAvi, true, s), 2 | 1);
  s.options.jpeg16Bpp = s.options.ignoreErrors = true;
  EXPECT_EQ(DecodeFlags(page, quillon::kFileGif, true, s), 2 | 1 | 4);
}

}  // namespace
