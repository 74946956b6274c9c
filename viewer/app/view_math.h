// The arithmetic of the main view and the zoom window over plain numbers:
// view modes, zoom steps, margins, panning, zooming to a rectangle, the
// page region under a rectangle of the window, and the navigator's
// overview.  Scale is the renderer's 8.8 step: source pixels per 256 view
// pixels (256 = 100 %, 32 = 800 %).  Positions are in the displayed page's
// coordinates: its width and height exchanged at 90 and 270 degrees.
#pragma once

#include <cstdint>

namespace zelmo {

constexpr int32_t kMinScale = 32;
constexpr int32_t kUnitScale = 256;
constexpr int32_t kDefaultCustomView = 25;

// The image area and the page as it is displayed.
struct ViewFrame {
  int32_t areaWidth = 0;
  int32_t areaHeight = 0;
  int32_t shownWidth = 0;  // W'
  int32_t shownHeight = 0;  // H'
};

// Where the view stands: the page pixel at the area's top-left corner, the
// scale (the same both ways) and the blank bands left of and above the page
// when it is smaller than the area.
struct ViewPosition {
  int32_t srcX = 0;
  int32_t srcY = 0;
  int32_t scale = kUnitScale;
  int32_t marginX = 0;
  int32_t marginY = 0;
};

// Sets scroll and scale for view mode `mode` (40031 100 %, 40032 fit to
// width, 40033 fit to window, 40042 fit to `customView` %); false, and the
// position unchanged, for any other mode or an empty frame.  A custom
// percentage outside 5..800 counts as 25.
bool ComputeViewPosition(int mode, const ViewFrame& frame, int32_t customView, ViewPosition* view);

// The margins for the view's scale.
void ComputeMargins(const ViewFrame& frame, ViewPosition* view);

// One zoom step in or out (10 % of the percentage, 1 % below 10 %), the
// area's centre kept in place; never beyond 800 %.
void ZoomStep(bool out, const ViewFrame& frame, ViewPosition* view);

// The scroll after the pen moved by (dx, dy) window pixels from where the
// pan began at `start`; a direction with a margin does not move.
void PanTo(const ViewFrame& frame, const ViewPosition& start, int32_t dx, int32_t dy,
           ViewPosition* view);

// A rectangle of the window, ordered (left <= right, top <= bottom).
struct WindowRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

// Zooms so that the rectangle fills the area, centred on it.
void ZoomToRectangle(const WindowRect& r, const ViewFrame& frame, ViewPosition* view);

// The page region (displayed coordinates) under a window rectangle at the
// view's scale; false when the rectangle lies outside the page.
struct PageRegion {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};
bool RegionUnder(const WindowRect& r, const ViewFrame& frame, const ViewPosition& view, PageRegion* region);

// The navigator's overview of the whole page in a client area.
struct OverviewGeometry {
  int32_t step = 0;  // 0: no overview (the page is too small for one)
  int32_t width = 0;
  int32_t height = 0;
  int32_t offsetX = 0;
  int32_t offsetY = 0;
};
OverviewGeometry ComputeOverview(int32_t shownWidth, int32_t shownHeight, int32_t clientWidth,
                                 int32_t clientHeight);

// The view's rectangle on the overview, in client coordinates.
WindowRect OverviewViewRectangle(const OverviewGeometry& o, const ViewFrame& frame, const ViewPosition& view);

// The view's scroll when the navigator's pointer is at (px, py) (16-bit
// pen coordinates: a negative one puts that origin at 0).
void NavigateTo(int32_t px, int32_t py, const OverviewGeometry& o, const ViewFrame& frame, ViewPosition* view);

}  // namespace zelmo
