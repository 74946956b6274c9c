// The pen on the main window: taps on the strip, the toolbar and the
// image, tap-and-hold with its label and menu, panning, the navigator drag
// on the strip and the rectangle selection.
#include <algorithm>

#include "platform/emulator.h"
#include "viewer/app/functions.h"
#include "viewer/app/main_window.h"
#include "viewer/app/page_load.h"
#include "viewer/app/state.h"
#include "viewer/app/view.h"
#include "viewer/browse/file_list.h"
#include "viewer/settings/settings.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr DWORD kPenSampleMs = 50;
constexpr DWORD kSelectPollMs = 20;
constexpr int kEdgeNudge = 20;
constexpr int kLabelLift = 32;  // the label's point above the tap
constexpr int kLabelRise = 22;  // the box above that point
constexpr int kLabelPad = 3;
constexpr COLORREF kLabelBackground = 0x00FFFF;

enum class Band { kImage, kStrip, kToolbar };

Band BandAt(int y) {
  if (gView.fullScreen) return Band::kImage;
  const int view = gView.areaTop + gView.areaHeight;
  if (gSettings.options.comboView && y > view && y < view + gView.thumbHeight + 17) return Band::kStrip;
  return y > LowerBoundary() ? Band::kToolbar : Band::kImage;
}

bool Centred() { return gView.marginX != 0 && gView.marginY != 0; }

bool PenDown() { return PenIsDown(); }

POINT PointOf(const MSG& m) { return POINT{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)}; }

// The file of a strip cell, or -1 beyond the list.
int StripIndexAt(int x) {
  const int64_t index = int64_t{gView.firstThumbShown} + x / std::max(gView.thumbWidth, 1);
  return x >= 0 && index < gFiles.live.files.count ? static_cast<int>(index) : -1;
}

// The current file's cell: the page fitted into it as its thumbnail shows
// it stands for the whole page; a point on it becomes the view's centre.
void NavigatorDrag(HWND hwnd, int cellX, POINT point) {
  const ViewFrame frame = CurrentFrame();
  const OverviewGeometry cell = ComputeOverview(frame.shownWidth, frame.shownHeight, gView.thumbWidth, gView.thumbHeight);
  if (cell.step == 0) return;
  const int cellY = gView.areaTop + gView.areaHeight;
  SetCapture(hwnd);
  bool moved = true, up = false;
  while (!up) {
    up = TakePenMessages(hwnd, &point, &moved);
    if (moved) {
      ViewPosition p = CurrentPosition();
      NavigateTo(point.x - cellX, point.y - cellY, cell, frame, &p);
      ApplyPosition(p);
      RenderView(false);
      moved = false;
    }
    if (up || !PenDown()) break;
    Sleep(kPenSampleMs);
  }
  RenderView(true);
  RefreshStrip();
  ReleaseCapture();
}

void StripTap(HWND hwnd, int x, int y) {
  const int index = StripIndexAt(x);
  if (index < 0) {
    MessageBeep(0);
    return;
  }
  if (index != gFiles.currentIndex) {
    const char16_t* name = EntryName(gFiles.live.files, index);
    if (!name || !SetCurrentFile(gSettings.curDir, name)) return;
    gFiles.currentIndex = index;
    PostMessage(hwnd, WM_OPENCURRENTFILE, 0, 0);
    return;
  }
  if (ImageLoaded() && !Centred())
    NavigatorDrag(hwnd, (index - gView.firstThumbShown) * gView.thumbWidth, POINT{x, y});
}

// The pen drags the page; past the area's edges the pointer is put back
// 20 pixels so that the drag can go on.
void Pan(HWND hwnd, int x, int y) {
  const ViewFrame frame = CurrentFrame();
  const ViewPosition start = CurrentPosition();
  POINT from{x, y}, point{x, y};
  SetCapture(hwnd);
  bool up = false, moved = false;
  while (!up) {
    up = TakePenMessages(hwnd, &point, &moved);
    if (moved) {
      int nudgeX = point.x < 0 ? kEdgeNudge : point.x > gView.areaWidth ? -kEdgeNudge : 0;
      int nudgeY = point.y < gView.areaTop ? kEdgeNudge : point.y > gView.areaTop + gView.areaHeight ? -kEdgeNudge : 0;
      if ((nudgeX || nudgeY) && !up) {
        POINT cursor;
        GetCursorPos(&cursor);
        SetCursorPos(cursor.x + nudgeX, cursor.y + nudgeY);
        from.x += nudgeX;
        from.y += nudgeY;
        point.x += nudgeX;
        point.y += nudgeY;
      }
      ViewPosition p = start;
      PanTo(frame, start, from.x - point.x, from.y - point.y, &p);
      ApplyPosition(p);
      RenderView(false);
      moved = false;
    }
    if (up || !PenDown()) break;
    Sleep(kPenSampleMs);
  }
  RenderView(true);
  ReleaseCapture();
}

}  // namespace

bool PenIsDown() { return (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0; }

bool TakePenMessages(HWND hwnd, POINT* point, bool* moved) {
  MSG m;
  while (PeekMessage(&m, hwnd, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    if (m.message == WM_MOUSEMOVE || m.message == WM_LBUTTONUP) {
      *point = PointOf(m);
      *moved = true;
    }
    if (m.message == WM_LBUTTONUP) return true;
  }
  return false;
}

int LowerBoundary() {
  const int view = gView.areaTop + gView.areaHeight;
  return gSettings.options.comboView ? view + gView.thumbHeight + 17 : view;
}

void ShowLabel(HWND hwnd, const std::u16string& text, POINT at) {
  HDC screen = GetDC(nullptr);
  HGDIOBJ oldFont = gView.menuFont ? SelectObject(screen, gView.menuFont) : nullptr;
  SIZE size{};
  GetTextExtentPoint32(screen, text.c_str(), static_cast<int>(text.size()), &size);
  POINT corner = at, edge{gView.areaWidth, 0};
  ClientToScreen(hwnd, &corner);
  ClientToScreen(hwnd, &edge);
  const int width = size.cx + 2 * kLabelPad, height = size.cy + 2 * kLabelPad;
  const int left = std::max(std::min<int>(corner.x, edge.x - width), 0);
  const int top = std::max<int>(corner.y - kLabelRise, 0);
  // The screen under the box comes back when the pen is lifted.
  HDC saved = CreateCompatibleDC(screen);
  HBITMAP under = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ oldBitmap = SelectObject(saved, under);
  BitBlt(saved, 0, 0, width, height, screen, left, top, SRCCOPY);
  HBRUSH yellow = CreateSolidBrush(kLabelBackground);
  HGDIOBJ oldBrush = SelectObject(screen, yellow);
  HGDIOBJ oldPen = SelectObject(screen, GetStockObject(BLACK_PEN));
  Rectangle(screen, left, top, left + width, top + height);
  SetBkMode(screen, TRANSPARENT);
  SetTextColor(screen, RGB(0, 0, 0));
  ExtTextOut(screen, left + kLabelPad, top + kLabelPad, 0, nullptr, text.c_str(), static_cast<UINT>(text.size()), nullptr);
  SelectObject(screen, oldPen);
  SelectObject(screen, oldBrush);
  DeleteObject(yellow);
  LogMilestone("label at %d,%d size %dx%d", left, top, width, height);
  for (;;) {
    MSG m;
    if (PeekMessage(&m, nullptr, 0, 0, PM_NOREMOVE)) {
      if (m.message == WM_LBUTTONUP || m.message == WM_QUIT) break;
      if (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessage(&m);
      }
      continue;
    }
    if (!PenDown()) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kSelectPollMs, QS_ALLINPUT);
  }
  BitBlt(screen, left, top, width, height, saved, 0, 0, SRCCOPY);
  SelectObject(saved, oldBitmap);
  DeleteObject(under);
  DeleteDC(saved);
  if (oldFont) SelectObject(screen, oldFont);
  ReleaseDC(nullptr, screen);
  LogMilestone("label gone");
}

void OnHold(HWND hwnd, int x, int y) {
  const POINT lifted{x, y - kLabelLift};
  switch (BandAt(y)) {
    case Band::kStrip:
      if (const char16_t* name = EntryName(gFiles.live.files, StripIndexAt(x))) ShowLabel(hwnd, name, lifted);
      return;
    case Band::kToolbar:
      if (int command = ToolbarCommandAt(x)) {
        std::u16string name = LoadText(static_cast<unsigned>(command));
        ShowLabel(hwnd, name.substr(0, 64), lifted);
      }
      return;
    case Band::kImage: {
      // The menu takes the pen from here: the window sees it lifted.
      mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
      POINT at{x, y};
      ClientToScreen(hwnd, &at);
      TrackPopupMenu(gApp.tapHoldMenu, TPM_CENTERALIGN, at.x, at.y, 0, hwnd, nullptr);
      return;
    }
  }
}

void OnPenDown(HWND hwnd, int x, int y) {
  if (gShared.videoPlaying) {
    gShared.videoPlaying = 0;
    return;
  }
  SHRGINFO gesture{sizeof(SHRGINFO), hwnd, POINT{x, y}, SHRG_RETURNCMD};
  if (SHRecognizeGesture(&gesture) == GN_CONTEXTMENU) {
    OnHold(hwnd, x, y);
    return;
  }
  switch (BandAt(y)) {
    case Band::kStrip: StripTap(hwnd, x, y); return;
    case Band::kToolbar:
      if (int command = ToolbarCommandAt(x)) PostMessage(hwnd, WM_COMMAND, static_cast<WPARAM>(command), 0);
      return;
    case Band::kImage:
      if (ImageLoaded() && !Centred()) Pan(hwnd, x, y);
      return;
  }
}

RECT SelectRectangle(HWND hwnd) {
  RECT result{};
  HDC dc = GetDC(hwnd);
  SetCapture(hwnd);
  // Pen messages still waiting, for whichever window, belong to the
  // stroke that chose the command; it ends first, the next one draws.
  MSG m;
  while (PeekMessage(&m, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
  }
  while (PenDown()) {
    Sleep(kSelectPollMs);
    while (PeekMessage(&m, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
  }
  const int top = gView.areaTop, bottom = gView.areaTop + gView.areaHeight;
  auto clampPoint = [&](POINT p) {
    return POINT{std::clamp<LONG>(p.x, 0, gView.areaWidth), std::clamp<LONG>(p.y, top, bottom)};
  };
  bool anchored = false;
  POINT anchor{};
  RECT shown{};
  for (;;) {
    if (!PeekMessage(&m, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
      // Closing the window ends the selection with nothing chosen.
      if (PeekMessage(&m, hwnd, WM_CLOSE, WM_CLOSE, PM_NOREMOVE) || GetCapture() != hwnd) {
        if (anchored) DrawFocusRect(dc, &shown);
        break;
      }
      // Windows uncovered meanwhile (by a closing menu) are painted with
      // the rectangle lifted off, and it is put back after.
      if (PeekMessage(&m, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE)) {
        if (anchored) DrawFocusRect(dc, &shown);
        while (PeekMessage(&m, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessage(&m);
        if (anchored) DrawFocusRect(dc, &shown);
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, kSelectPollMs, QS_MOUSE | QS_PAINT);
      continue;
    }
    if (m.hwnd != hwnd ||
        (m.message != WM_LBUTTONDOWN && m.message != WM_MOUSEMOVE && m.message != WM_LBUTTONUP))
      continue;
    const POINT p = clampPoint(PointOf(m));
    if (anchored) DrawFocusRect(dc, &shown);
    if (!anchored) {
      anchor = p;
      anchored = true;
    }
    shown = RECT{std::min(anchor.x, p.x), std::min(anchor.y, p.y), std::max(anchor.x, p.x), std::max(anchor.y, p.y)};
    if (m.message == WM_LBUTTONUP) {
      result = shown;
      break;
    }
    DrawFocusRect(dc, &shown);
  }
  ReleaseCapture();
  ReleaseDC(hwnd, dc);
  return result;
}

}  // namespace zelmo
