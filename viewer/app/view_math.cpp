// The view's arithmetic.  Integer divisions round toward zero, as the
// handheld's did; products are taken in 64 bits so that a large page at a
// small scale cannot wrap them.
#include "viewer/app/view_math.h"

#include <algorithm>

namespace zelmo {

namespace {

// Within 0..high, the upper bound applied first: a page narrower than the
// view ends at 0.
int32_t Within(int64_t value, int64_t high) {
  return static_cast<int32_t>(std::max<int64_t>(std::min(value, high), 0));
}

int32_t ToInt(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

}  // namespace

bool ComputeViewPosition(int mode, const ViewFrame& f, int32_t customView, ViewPosition* v) {
  if (f.areaWidth <= 0 || f.areaHeight <= 0) return false;
  const int64_t w = f.shownWidth, h = f.shownHeight, aw = f.areaWidth, ah = f.areaHeight;
  switch (mode) {
    case 40031: {
      // The page point at the area's centre stays there.
      const int64_t cx = (aw - v->marginX) / 2;
      const int64_t x = v->srcX + cx * v->scale / 256 - cx;
      v->srcX = w <= aw ? 0 : Within(x, w - aw);
      const int64_t cy = (ah - v->marginY) / 2;
      int64_t y = v->srcY + cy * v->scale / 256 - cy;
      if (ah + y > h) y = h - ah;
      v->srcY = h <= ah || y < 0 ? 0 : ToInt(y);
      v->scale = kUnitScale;
      return true;
    }
    case 40032:
      v->srcX = v->srcY = 0;
      v->scale = ToInt(std::max<int64_t>(w * 256 / aw, kMinScale));
      return true;
    case 40033:
      v->srcX = v->srcY = 0;
      v->scale = ToInt(std::max<int64_t>(std::max(w * 256 / aw, h * 256 / ah), kMinScale));
      return true;
    case 40042: {
      // A hand-edited CustomView of 0 must not divide by zero.
      const int32_t percent = customView >= 5 && customView <= 800 ? customView : kDefaultCustomView;
      v->srcX = v->srcY = 0;
      v->scale = 25600 / percent;
      return true;
    }
    default: return false;
  }
}

void ComputeMargins(const ViewFrame& f, ViewPosition* v) {
  const int64_t scale = std::max(v->scale, 1);
  const int64_t shownW = int64_t{f.shownWidth} * 256 / scale;
  const int64_t shownH = int64_t{f.shownHeight} * 256 / scale;
  v->marginX = shownW > f.areaWidth ? 0 : ToInt((f.areaWidth - shownW) / 2);
  v->marginY = shownH > f.areaHeight ? 0 : ToInt((f.areaHeight - shownH) / 2);
}

void ZoomStep(bool out, const ViewFrame& f, ViewPosition* v) {
  const int64_t old = std::max(v->scale, 1);
  int64_t percent = 25600 / old;
  if (out) {
    percent = percent * 9 / 10;
    if (percent < 2) ++percent;
  } else {
    percent = percent >= 10 ? percent * 11 / 10 : percent + 1;
  }
  percent = std::max<int64_t>(percent, 1);
  int64_t scale = std::max<int64_t>(25600 / percent, kMinScale);
  // Below 1 % a step out would come back at 1 %: it stays where it is.
  if (out && scale < old) scale = old;
  const int64_t w = f.shownWidth, h = f.shownHeight;
  const int64_t cx = f.areaWidth / 2 - v->marginX, cy = f.areaHeight / 2 - v->marginY;
  int64_t x = v->srcX + cx * old / 256 - cx * scale / 256;
  int64_t y = v->srcY + cy * old / 256 - cy * scale / 256;
  const int64_t spanX = f.areaWidth - 2 * int64_t{v->marginX};
  const int64_t spanY = f.areaHeight - 2 * int64_t{v->marginY};
  if ((w - x) * 256 / scale < spanX) x = w - spanX * scale / 256;
  if ((h - y) * 256 / scale < spanY) y = h - spanY * scale / 256;
  v->srcX = x < 0 || v->marginX != 0 ? 0 : ToInt(x);
  v->srcY = y < 0 || v->marginY != 0 ? 0 : ToInt(y);
  v->scale = ToInt(scale);
}

void PanTo(const ViewFrame& f, const ViewPosition& start, int32_t dx, int32_t dy, ViewPosition* v) {
  const int64_t scale = start.scale;
  if (start.marginX == 0)
    v->srcX = Within(start.srcX + int64_t{dx} * scale / 256, f.shownWidth - int64_t{f.areaWidth} * scale / 256);
  if (start.marginY == 0)
    v->srcY = Within(start.srcY + int64_t{dy} * scale / 256, f.shownHeight - int64_t{f.areaHeight} * scale / 256);
}

void ZoomToRectangle(const WindowRect& r, const ViewFrame& f, ViewPosition* v) {
  if (f.areaWidth <= 0 || f.areaHeight <= 0) return;
  const int64_t old = v->scale;
  const int64_t scale = std::max<int64_t>(
      std::max((int64_t{r.right} - r.left) * old / f.areaWidth, (int64_t{r.bottom} - r.top) * old / f.areaHeight),
      kMinScale);
  const int64_t x = v->srcX + ((int64_t{r.left} + r.right) / 2 - v->marginX) * old / 256 -
                    (f.areaWidth * scale / 256) / 2;
  const int64_t y = v->srcY + ((int64_t{r.top} + r.bottom) / 2 - v->marginY) * old / 256 -
                    (f.areaHeight * scale / 256) / 2;
  v->srcX = Within(x, f.shownWidth - f.areaWidth * scale / 256);
  v->srcY = Within(y, f.shownHeight - f.areaHeight * scale / 256);
  v->scale = ToInt(scale);
}

bool RegionUnder(const WindowRect& rect, const ViewFrame& f, const ViewPosition& v, PageRegion* region) {
  const int64_t right = f.areaWidth - int64_t{v.marginX}, bottom = f.areaHeight - int64_t{v.marginY};
  const int64_t l = std::max(rect.left, v.marginX), t = std::max(rect.top, v.marginY);
  if (l > right || t > bottom) return false;
  const int64_t r = std::min<int64_t>(rect.right, right), b = std::min<int64_t>(rect.bottom, bottom);
  const int64_t x = std::max<int64_t>(v.srcX + (l - v.marginX) * v.scale / 256, 0);
  const int64_t y = std::max<int64_t>(v.srcY + (t - v.marginY) * v.scale / 256, 0);
  const int64_t width = std::min<int64_t>((r - l) * v.scale / 256, f.shownWidth - x);
  const int64_t height = std::min<int64_t>((b - t) * v.scale / 256, f.shownHeight - y);
  if (width < 1 || height < 1) return false;
  *region = PageRegion{ToInt(x), ToInt(y), ToInt(width), ToInt(height)};
  return true;
}

OverviewGeometry ComputeOverview(int32_t shownWidth, int32_t shownHeight, int32_t clientWidth,
                                 int32_t clientHeight) {
  OverviewGeometry o;
  if (clientWidth <= 0 || clientHeight <= 0 || shownWidth <= 0 || shownHeight <= 0) return o;
  const int64_t step = std::max(int64_t{shownWidth} * 256 / clientWidth, int64_t{shownHeight} * 256 / clientHeight);
  // A page smaller than an eighth of the window gets no overview.
  if (step < kMinScale || step > INT32_MAX) return o;
  const int64_t width = int64_t{shownWidth} * 256 / step, height = int64_t{shownHeight} * 256 / step;
  if (width < 1 || height < 1) return o;
  o.step = static_cast<int32_t>(step);
  o.width = static_cast<int32_t>(width);
  o.height = static_cast<int32_t>(height);
  o.offsetX = (clientWidth - o.width) / 2;
  o.offsetY = (clientHeight - o.height) / 2;
  return o;
}

WindowRect OverviewViewRectangle(const OverviewGeometry& o, const ViewFrame& f, const ViewPosition& v) {
  if (o.step <= 0) return {};
  const int64_t scale = v.scale;
  const int64_t left = int64_t{v.srcX} * 256 / o.step;
  const int64_t top = int64_t{f.areaHeight} * scale / 256 < f.shownHeight ? int64_t{v.srcY} * 256 / o.step : 0;
  const int64_t width = std::min<int64_t>(((f.areaWidth * scale) & ~int64_t{0xFF}) / o.step, o.width);
  const int64_t height = std::min<int64_t>(((f.areaHeight * scale) & ~int64_t{0xFF}) / o.step, o.height);
  return WindowRect{ToInt(o.offsetX + left), ToInt(o.offsetY + top), ToInt(o.offsetX + left + width),
                    ToInt(o.offsetY + top + height)};
}

void NavigateTo(int32_t px, int32_t py, const OverviewGeometry& o, const ViewFrame& f, ViewPosition* v) {
  if (o.step <= 0) return;
  const int64_t scale = v->scale;
  // The horizontal step serves both directions.
  const int64_t vw = (f.areaWidth - 2 * int64_t{v->marginX}) * scale / 256;
  const int64_t vh = (f.areaHeight - 2 * int64_t{v->marginY}) * scale / 256;
  const int64_t x = px < 0 ? 0 : (int64_t{px} - o.offsetX) * o.step / 256 - vw / 2;
  const int64_t y = py < 0 ? 0 : (int64_t{py} - o.offsetY) * o.step / 256 - vh / 2;
  v->srcX = Within(x, f.shownWidth - vw);
  v->srcY = Within(y, f.shownHeight - vh);
}

}  // namespace zelmo
