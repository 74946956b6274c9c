// The zoom window: a small navigator owned by the main window, showing the
// whole page reduced to fit with a rectangle round the part the main view
// shows; dragging the rectangle moves the view.
#include <algorithm>
#include <cstring>

#include "imaging/pixels/palettes.h"
#include "imaging/pixels/pixels.h"
#include "viewer/app/main_window.h"
#include "viewer/app/state.h"
#include "viewer/app/view.h"
#include "viewer/app/windows.h"
#include "viewer/settings/settings.h"
#include "viewer/thumbs/thumbnails.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr int kFallbackSize = 64;
constexpr COLORREF kFrameColour = 0xFF0000;  // blue: red lives in the low byte
constexpr DWORD kPenSampleMs = 50;

ZoomWindowState& Zoom() { return gView.zoom; }

HBRUSH BackgroundBrush() {
  static constexpr int kBrushes[3] = {BLACK_BRUSH, GRAY_BRUSH, WHITE_BRUSH};
  return static_cast<HBRUSH>(GetStockObject(kBrushes[std::clamp(gSettings.bkColor, 0, 2)]));
}

void DeleteOverview() {
  if (Zoom().overview) DeleteObject(Zoom().overview);
  Zoom().overview = nullptr;
  Zoom().geometry = OverviewGeometry{};
}

// A section for the overview: palette-relative colours at 4 and 8 bpp
// unless `colours` (a converted page's own) is given.
HBITMAP MakeSection(int width, int height, int depth, const uint8_t* colours, void** bits) {
  struct {
    BITMAPINFOHEADER header;
    uint8_t table[1024];
  } info{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = width;
  info.header.biHeight = -height;
  info.header.biPlanes = 1;
  info.header.biBitCount = static_cast<WORD>(depth);
  UINT usage = DIB_RGB_COLORS;
  if (depth == 16) {
    info.header.biCompression = BI_BITFIELDS;
    const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(info.table, masks, sizeof(masks));
  } else if (depth == 1) {
    const uint8_t bw[8] = {0, 0, 0, 0, 255, 255, 255, 0};
    std::memcpy(info.table, bw, sizeof(bw));
  } else if ((depth == 4 || depth == 8) && colours) {
    for (int i = 0; i < (1 << depth); ++i) std::memcpy(info.table + 4 * i, colours + 3 * i, 3);
  } else if (depth == 4 || depth == 8) {
    usage = DIB_PAL_COLORS;
    for (uint16_t i = 0; i < 256; ++i) std::memcpy(info.table + 2 * i, &i, 2);
  }
  HDC dc = GetDC(gApp.mainWindow);
  HPALETTE old = gView.palette ? SelectPalette(dc, gView.palette, FALSE) : nullptr;
  if (old) RealizePalette(dc);
  HBITMAP section = CreateDIBSection(dc, reinterpret_cast<const BITMAPINFO*>(&info), usage, bits, nullptr, 0);
  if (old) SelectPalette(dc, old, FALSE);
  ReleaseDC(gApp.mainWindow, dc);
  return section;
}

void CopyRows(const quillon::PageRecord& from, uint8_t* to, uint32_t stride) {
  const uint32_t row = std::min(from.bytesPerLine, stride);
  for (int32_t y = 0; y < from.height; ++y)
    std::memcpy(to + static_cast<uint64_t>(y) * stride, from.data + static_cast<uint64_t>(y) * from.bytesPerLine, row);
}

void BuildZoomOverview(int width, int height) {
  DeleteOverview();
  if (width <= 0 || height <= 0 || !ImageLoaded()) return;
  const ViewFrame frame = CurrentFrame();
  const OverviewGeometry g = ComputeOverview(frame.shownWidth, frame.shownHeight, width, height);
  if (g.step == 0) return;
  const quillon::PageRecord& page = gView.page;
  const bool gray = page.bitsPerPixel == 1 && gSettings.options.scaleToGray;
  const int pageDepth = page.bitsPerPixel == 1 ? (gray ? 4 : 1) : page.bitsPerPixel;
  quillon::RenderRequest r{};
  r.xStep = r.yStep = g.step;
  r.dstWidth = g.width;
  r.dstHeight = g.height;
  r.rotation = static_cast<uint32_t>(DisplayedRotation());
  r.dstBitsPerPixel = static_cast<uint8_t>(gray ? 4 : 1);
  void* bits = nullptr;
  if (pageDepth <= gApp.displayDepth) {
    Zoom().overview = MakeSection(g.width, g.height, pageDepth, nullptr, &bits);
    if (!Zoom().overview) return;
    r.dstBits = static_cast<uint8_t*>(bits);
    r.dstBytesPerLine = quillon::BytesPerLine(g.width, pageDepth);
    quillon::RenderPage(&page, &r, 1);
  } else {
    // Rendered at the page's depth (lines padded to 4 bytes), then reduced
    // to the display's with error diffusion.
    quillon::PageRecord work{};
    MakeWorkPage(&work, g.width, g.height, pageDepth, page.palette);
    r.dstBits = work.data;
    r.dstBytesPerLine = work.bytesPerLine;
    if (work.data && quillon::RenderPage(&page, &r, 1) == quillon::kOk &&
        quillon::ConvertBitDepth(&work, gApp.displayDepth, quillon::kDitherDiffusion) == quillon::kOk) {
      const int depth = work.bitsPerPixel;
      const uint8_t* colours = work.palette ? work.palette
                               : depth == 4 ? quillon::kGrayRamp4.data()
                                            : quillon::kGrayRamp8.data();
      Zoom().overview = MakeSection(g.width, g.height, depth, colours, &bits);
      if (Zoom().overview) CopyRows(work, static_cast<uint8_t*>(bits), quillon::BytesPerLine(g.width, depth));
    }
    quillon::FreePage(&work);
    if (!Zoom().overview) return;
  }
  Zoom().geometry = g;
  Zoom().render = r;
}

void DrawNavigator(HWND hwnd, HDC dc) {
  RECT client;
  GetClientRect(hwnd, &client);
  if (!ImageLoaded()) {
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    return;
  }
  const OverviewGeometry& g = Zoom().geometry;
  if (!Zoom().overview) {
    FillRect(dc, &client, BackgroundBrush());
    return;
  }
  const RECT picture{g.offsetX, g.offsetY, g.offsetX + g.width, g.offsetY + g.height};
  const RECT bands[4] = {{0, 0, client.right, picture.top},
                         {0, picture.bottom, client.right, client.bottom},
                         {0, picture.top, picture.left, picture.bottom},
                         {picture.right, picture.top, client.right, picture.bottom}};
  for (const RECT& band : bands)
    if (band.right > band.left && band.bottom > band.top) FillRect(dc, &band, BackgroundBrush());
  HPALETTE old = gView.palette ? SelectPalette(dc, gView.palette, FALSE) : nullptr;
  if (old) RealizePalette(dc);
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ oldBitmap = SelectObject(memory, Zoom().overview);
  BitBlt(dc, picture.left, picture.top, g.width, g.height, memory, 0, 0, SRCCOPY);
  SelectObject(memory, oldBitmap);
  DeleteDC(memory);
  if (old) SelectPalette(dc, old, FALSE);
  const WindowRect v = OverviewViewRectangle(g, CurrentFrame(), CurrentPosition());
  HPEN frame = CreatePen(PS_SOLID, 1, kFrameColour);
  HGDIOBJ oldPen = SelectObject(dc, frame);
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  Rectangle(dc, v.left, v.top, v.right, v.bottom);
  SelectObject(dc, GetStockObject(WHITE_PEN));
  Rectangle(dc, v.left + 1, v.top + 1, v.right - 1, v.bottom - 1);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(frame);
}

void Drag(HWND hwnd, int x, int y) {
  if (!ImageLoaded() || !Zoom().overview || (gView.marginX != 0 && gView.marginY != 0)) return;
  SetCapture(hwnd);
  const ViewFrame frame = CurrentFrame();
  POINT point{x, y};
  bool moved = true, up = false;
  while (!up) {
    up = TakePenMessages(hwnd, &point, &moved);
    if (moved) {
      ViewPosition p = CurrentPosition();
      NavigateTo(point.x, point.y, Zoom().geometry, frame, &p);
      ApplyPosition(p);
      RenderView(false);
      HDC dc = GetDC(hwnd);
      DrawNavigator(hwnd, dc);
      ReleaseDC(hwnd, dc);
      moved = false;
    }
    if (up || !PenIsDown()) break;
    Sleep(kPenSampleMs);
  }
  // The strip's picture of the page shows the view's rectangle too.
  RefreshStrip();
  ReleaseCapture();
}

void OnPaletteChanged(HWND hwnd) {
  if (!gView.palette) return;
  HDC dc = GetDC(hwnd);
  HPALETTE old = SelectPalette(dc, gView.palette, FALSE);
  if (RealizePalette(dc) > 0) InvalidateRect(hwnd, nullptr, FALSE);
  SelectPalette(dc, old, FALSE);
  ReleaseDC(hwnd, dc);
}

}  // namespace

LRESULT ZoomWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE:
      Zoom().window = hwnd;
      Zoom().render.xStep = Zoom().render.yStep = kUnitScale;
      return 0;
    case WM_DESTROY:
      Zoom().window = nullptr;
      DeleteOverview();
      return 0;
    case WM_SIZE:
      BuildZoomOverview(LOWORD(static_cast<uintptr_t>(lParam)), HIWORD(static_cast<uintptr_t>(lParam)));
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      DrawNavigator(hwnd, dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND: return 0;
    case WM_CHAR: PostMessage(gApp.mainWindow, msg, wParam, lParam); return 0;
    case WM_LBUTTONDOWN: Drag(hwnd, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); return 0;
    case WM_QUERYNEWPALETTE: OnPaletteChanged(hwnd); return TRUE;
    case WM_PALETTECHANGED:
      if (reinterpret_cast<HWND>(wParam) != hwnd) OnPaletteChanged(hwnd);
      return 0;
    default: return DefWindowProc(hwnd, msg, wParam, lParam);
  }
}

void ToggleZoomWindow() {
  if (Zoom().window) {
    DestroyWindow(Zoom().window);
    return;
  }
  HWND main = gApp.mainWindow;
  RECT frame;
  GetWindowRect(main, &frame);
  POINT top{0, gView.areaTop};
  ClientToScreen(main, &top);
  const bool onScreen = gApp.screenWidth > 0 && top.y >= 0 && top.y < gApp.screenHeight;
  const int x = onScreen ? 0 : frame.left, y = onScreen ? top.y : frame.top;
  const int width = gSettings.zoomCX < frame.right - frame.left ? gSettings.zoomCX : kFallbackSize;
  const int height = gSettings.zoomCY < frame.bottom - frame.top ? gSettings.zoomCY : kFallbackSize;
  HWND zoom = CreateWindowEx(0, u"ZLZOOMCLASS", u"", WS_VISIBLE | WS_BORDER, x, y, width, height, main, nullptr,
                             gApp.instance, nullptr);
  if (zoom) SetWindowPos(zoom, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
}

void UpdateZoomWindow(bool rebuild, bool refreshThumbnail) {
  if (refreshThumbnail) {
    RefreshCurrentThumbnail();
    RefreshStrip();
  }
  HWND zoom = Zoom().window;
  if (!zoom) return;
  if (rebuild) {
    RECT client;
    GetClientRect(zoom, &client);
    BuildZoomOverview(client.right, client.bottom);
  }
  InvalidateRect(zoom, nullptr, FALSE);
}

void CloseZoomWindow() {
  if (Zoom().window) DestroyWindow(Zoom().window);
}

}  // namespace zelmo
