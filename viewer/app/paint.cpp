// The main window's paint: the image area (the view bitmap inside bands of
// the background colour, or white without a page), the combo view's strip
// band and the toolbar row with the page number on its "Go to page..."
// slots.
#include <algorithm>
#include <string>

#include "viewer/app/functions.h"
#include "viewer/app/main_window.h"
#include "viewer/app/state.h"
#include "viewer/app/view.h"
#include "viewer/settings/settings.h"
#include "viewer/thumbs/thumbnails.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr COLORREF kPageNumberBackground = RGB(0xC0, 0xC0, 0xC0);
constexpr int kGoToPage = 40030;

void Fill(HDC dc, const RECT& r, HBRUSH brush) {
  if (r.right > r.left && r.bottom > r.top) FillRect(dc, &r, brush);
}

HBRUSH White() { return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)); }

HBRUSH Background() {
  static constexpr int kBrushes[3] = {BLACK_BRUSH, GRAY_BRUSH, WHITE_BRUSH};
  return static_cast<HBRUSH>(GetStockObject(kBrushes[std::clamp(gSettings.bkColor, 0, 2)]));
}

void PaintImageArea(HDC dc) {
  const RECT area{0, gView.areaTop, gView.areaWidth, gView.areaTop + gView.areaHeight};
  if (!ImageLoaded()) {
    Fill(dc, area, White());
    return;
  }
  // The margins as the scale gives them now.
  ApplyPosition(CurrentPosition());
  const RECT image = gView.viewBitmap ? ImageRectangle() : RECT{0, area.top, 0, area.top};
  const RECT bands[4] = {{area.left, area.top, area.right, image.top},
                         {area.left, image.bottom, area.right, area.bottom},
                         {area.left, image.top, image.left, image.bottom},
                         {image.right, image.top, area.right, image.bottom}};
  for (const RECT& band : bands) Fill(dc, band, Background());
  if (gView.viewBitmap) {
    HPALETTE old = gView.palette ? SelectPalette(dc, gView.palette, FALSE) : nullptr;
    if (old) RealizePalette(dc);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ oldBitmap = SelectObject(memory, gView.viewBitmap);
    BitBlt(dc, image.left, image.top, image.right - image.left, image.bottom - image.top, memory, 0, 0, SRCCOPY);
    SelectObject(memory, oldBitmap);
    DeleteDC(memory);
    if (old) SelectPalette(dc, old, FALSE);
  }
  if (!IsRectEmpty(&gView.selection)) DrawFocusRect(dc, &gView.selection);
}

// The strip's cells (viewer/thumbs); the line under them belongs to the
// strip too.
void PaintStrip(HDC dc, const RECT& dirty) {
  const int top = gView.areaTop + gView.areaHeight;
  const RECT band{0, top, gView.areaWidth, top + gView.thumbHeight + 1};
  RECT overlap;
  if (!IntersectRect(&overlap, &band, &dirty)) return;
  PaintThumbnailStrip(dc, top);
}

void PaintToolbar(HDC dc, int top) {
  HGDIOBJ oldFont = gView.labelFont ? SelectObject(dc, gView.labelFont) : nullptr;
  const std::string digits = std::to_string(gView.pageNumber + 1);
  const std::u16string number(digits.begin(), digits.end());
  for (int i = 0; i < gApp.buttonsPerRow; ++i) {
    const int code = ToolbarCodeAt(ToolbarSlotAt(i * kToolbarButtonWidth));
    const int x = i * kToolbarButtonWidth;
    ImageList_Draw(gApp.toolbarIcons, code, dc, x, top, ILD_NORMAL);
    if (CommandOfFunction(code) != kGoToPage) continue;
    RECT box{x + 1, top + 2, x + 25, top + 23};
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, kPageNumberBackground);
    SetTextColor(dc, RGB(0, 0, 0));
    DrawText(dc, number.c_str(), -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  if (oldFont) SelectObject(dc, oldFont);
  Fill(dc, RECT{gApp.buttonsPerRow * kToolbarButtonWidth, top, gView.areaWidth, top + kToolbarHeight}, White());
}

}  // namespace

void PaintMainWindow(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  PaintImageArea(dc);
  if (!gView.fullScreen) {
    if (gSettings.options.comboView) PaintStrip(dc, ps.rcPaint);
    PaintToolbar(dc, ToolbarTop());
  }
  EndPaint(hwnd, &ps);
}

}  // namespace zelmo
