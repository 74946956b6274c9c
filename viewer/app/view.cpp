// The main view's display pipeline: the logical palette, the view bitmap
// (a top-down section the size of the image area), rendering into it with
// the 12-bit display paths, drawing it, and the view modes and zoom steps
// over it.
#include "viewer/app/view.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/pixels/palettes.h"
#include "imaging/pixels/pixels.h"
#include "platform/emulator.h"
#include "viewer/app/state.h"
#include "viewer/settings/settings.h"

namespace zelmo {

using namespace ce;
using quillon::RenderRequest;

namespace {

bool TwelveBitPath() {
  return gSettings.options.optimize12Bit && gView.page.bitsPerPixel >= 16;
}

// Depth of the view bitmap for the current page.
int ViewDepth() {
  const int depth = gView.page.bitsPerPixel;
  if (depth == 1) return gSettings.options.scaleToGray ? 4 : 1;
  if (depth >= 9 && gSettings.options.optimize12Bit && gApp.displayDepth < 16) return gApp.displayDepth;
  return depth;
}

HPALETTE MakePalette(const uint8_t* bgr, int count) {
  struct {
    LOGPALETTE head;
    PALETTEENTRY more[255];
  } p{};
  p.head.palVersion = 0x300;
  p.head.palNumEntries = static_cast<WORD>(count);
  PALETTEENTRY* entries = p.head.palPalEntry;
  for (int i = 0; i < count; ++i) entries[i] = PALETTEENTRY{bgr[3 * i + 2], bgr[3 * i + 1], bgr[3 * i], 0};
  return CreatePalette(&p.head);
}

// The page rendered at its own depth into a buffer of its own, reduced to
// the display's depth with error diffusion and copied into the section.
void RenderReduced(const RenderRequest& request) {
  const quillon::PageRecord& page = gView.page;
  quillon::PageRecord work{};
  if (!MakeWorkPage(&work, request.dstWidth, request.dstHeight, page.bitsPerPixel, nullptr)) return;
  RenderRequest into = request;
  into.dstBits = work.data;
  into.dstBytesPerLine = work.bytesPerLine;
  if (quillon::RenderPage(&page, &into, 1) == quillon::kOk &&
      quillon::ConvertBitDepth(&work, gApp.displayDepth, quillon::kDitherDiffusion) == quillon::kOk) {
    const uint32_t row = std::min(work.bytesPerLine, request.dstBytesPerLine);
    for (int32_t y = 0; y < request.dstHeight; ++y)
      std::memcpy(request.dstBits + static_cast<uint64_t>(y) * request.dstBytesPerLine,
                  work.data + static_cast<uint64_t>(y) * work.bytesPerLine, row);
  }
  quillon::FreePage(&work);
}

// The section's pixels dithered in place for a display that keeps 4 bits
// of each channel.
void DitherTwelveBit(const RenderRequest& request, int depth) {
  quillon::PageRecord view{};
  view.width = request.dstWidth;
  view.height = request.dstHeight;
  view.bitsPerPixel = static_cast<int8_t>(depth);
  view.planes = 1;
  view.bytesPerLine = request.dstBytesPerLine;
  view.dataSize = request.dstBytesPerLine * static_cast<uint32_t>(request.dstHeight);
  view.data = request.dstBits;
  view.dataOwnership = quillon::kOwnedNone;
  view.layoutFlags = quillon::kLayoutTopDown;
  quillon::ConvertBitDepth(&view, quillon::kTarget12Bit, quillon::kDitherDiffusion);
}

}  // namespace

bool MakeWorkPage(quillon::PageRecord* work, int32_t width, int32_t height, int depth, const uint8_t* palette) {
  *work = quillon::PageRecord{};
  const uint32_t stride = quillon::BytesPerLine(width, depth);
  const uint64_t size = quillon::SizeProduct(stride, static_cast<uint32_t>(std::max(height, 0)));
  if (stride == 0 || size == 0 || size > UINT32_MAX) return false;
  work->data = static_cast<uint8_t*>(quillon::Allocate(size));
  if (!work->data) return false;
  work->width = width;
  work->height = height;
  work->bitsPerPixel = static_cast<int8_t>(depth);
  work->planes = 1;
  work->bytesPerLine = stride;
  work->dataSize = static_cast<uint32_t>(size);
  work->dataOwnership = quillon::kOwnedByPage;
  work->layoutFlags = quillon::kLayoutTopDown;
  if (palette && (depth == 4 || depth == 8)) {
    work->palette = static_cast<uint8_t*>(quillon::Allocate(768));
    if (work->palette) std::memcpy(work->palette, palette, 768);
  }
  return true;
}

bool ImageLoaded() { return gView.pageLoaded && gView.page.data != nullptr; }

int DisplayedRotation() { return ImageLoaded() && gView.page.bitsPerPixel == 1 ? 0 : gView.rotation; }

ViewFrame CurrentFrame() {
  ViewFrame f;
  f.areaWidth = gView.areaWidth;
  f.areaHeight = gView.areaHeight;
  if (ImageLoaded()) {
    const bool turned = DisplayedRotation() == 90 || DisplayedRotation() == 270;
    f.shownWidth = turned ? gView.page.height : gView.page.width;
    f.shownHeight = turned ? gView.page.width : gView.page.height;
  }
  return f;
}

ViewPosition CurrentPosition() {
  ViewPosition p;
  p.srcX = gView.render.srcX;
  p.srcY = gView.render.srcY;
  p.scale = gView.render.xStep >= kMinScale ? gView.render.xStep : kUnitScale;
  p.marginX = gView.marginX;
  p.marginY = gView.marginY;
  return p;
}

void ApplyPosition(ViewPosition p) {
  ComputeMargins(CurrentFrame(), &p);
  gView.render.srcX = p.srcX;
  gView.render.srcY = p.srcY;
  gView.render.xStep = gView.render.yStep = p.scale;
  gView.marginX = p.marginX;
  gView.marginY = p.marginY;
}

RECT ImageRectangle() {
  const ViewFrame f = CurrentFrame();
  const ViewPosition p = CurrentPosition();
  const int64_t across = (int64_t{f.shownWidth} - p.srcX) * 256 / p.scale;
  const int64_t down = (int64_t{f.shownHeight} - p.srcY) * 256 / p.scale;
  const int32_t width = static_cast<int32_t>(std::clamp<int64_t>(across, 0, f.areaWidth - 2 * int64_t{p.marginX}));
  const int32_t height = static_cast<int32_t>(std::clamp<int64_t>(down, 0, f.areaHeight - 2 * int64_t{p.marginY}));
  const int32_t top = gView.areaTop + p.marginY;
  return RECT{p.marginX, top, p.marginX + width, top + height};
}

void ComputeView(int mode) {
  if (!ImageLoaded()) return;
  ViewPosition p = CurrentPosition();
  if (ComputeViewPosition(mode, CurrentFrame(), gSettings.customView, &p)) ApplyPosition(p);
}

void SetMode(int mode) { gView.mode = mode; }

int PreferredMode() { return gView.snapMode ? gView.snapMode : gSettings.defView; }

void ZoomStepView(bool out) {
  if (!ImageLoaded()) {
    MessageBeep(0);
    return;
  }
  ViewPosition p = CurrentPosition();
  ZoomStep(out, CurrentFrame(), &p);
  ApplyPosition(p);
  SetMode(0);
  RenderView(true);
}

void ZoomToWindowRectangle(const RECT& rect) {
  if (!ImageLoaded()) return;
  ViewPosition p = CurrentPosition();
  ZoomToRectangle(WindowRect{rect.left, rect.top - gView.areaTop, rect.right, rect.bottom - gView.areaTop},
                  CurrentFrame(), &p);
  ApplyPosition(p);
  SetMode(p.scale == kUnitScale ? 40031 : 0);
  RenderView(true);
}

void RebuildPalette() {
  if (gView.palette) DeleteObject(gView.palette);
  gView.palette = nullptr;
  if (!ImageLoaded()) return;
  const quillon::PageRecord& page = gView.page;
  const int depth = page.bitsPerPixel;
  if (depth == 4 || depth == 8) {
    const uint8_t* colours = page.palette ? page.palette
                             : depth == 4 ? quillon::kGrayRamp4.data()
                                          : quillon::kGrayRamp8.data();
    gView.palette = MakePalette(colours, 1 << depth);
  } else if (depth == 1 && gSettings.options.scaleToGray) {
    gView.palette = MakePalette(quillon::kScaleToGrayPalette.data(), 16);
  } else if (depth >= 9 && gSettings.options.optimize12Bit && gApp.displayDepth == 8) {
    gView.palette = MakePalette(quillon::kColorCube332.data(), 256);
  } else if (depth >= 9 && gSettings.options.optimize12Bit && gApp.displayDepth == 4) {
    gView.palette = MakePalette(quillon::kGrayRamp4.data(), 16);
  }
}

void RebuildViewBitmap() {
  if (gView.viewBitmap) DeleteObject(gView.viewBitmap);
  gView.viewBitmap = nullptr;
  gView.render.dstBits = nullptr;
  if (gView.render.xStep < kMinScale || gView.render.yStep < kMinScale) gView.render.xStep = gView.render.yStep = kUnitScale;
  if (!ImageLoaded() || gView.areaWidth <= 0 || gView.areaHeight <= 0) return;
  const int depth = ViewDepth();
  std::vector<uint8_t>& block = gView.bitmapHeader;
  std::fill(block.begin(), block.end(), 0);
  BITMAPINFOHEADER h{};
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = gView.areaWidth;
  h.biHeight = -gView.areaHeight;
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(depth);
  uint8_t* table = block.data() + sizeof(h);
  UINT usage = DIB_RGB_COLORS;
  if (depth == 16) {
    h.biCompression = BI_BITFIELDS;
    const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(table, masks, sizeof(masks));
  } else if (depth == 1) {
    const RGBQUAD colours[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    std::memcpy(table, colours, sizeof(colours));
  } else if (depth == 4 || depth == 8) {
    usage = DIB_PAL_COLORS;
    for (uint16_t i = 0; i < 256; ++i) std::memcpy(table + 2 * i, &i, 2);
  }
  std::memcpy(block.data(), &h, sizeof(h));
  HDC dc = GetDC(gApp.mainWindow);
  HPALETTE old = gView.palette ? SelectPalette(dc, gView.palette, FALSE) : nullptr;
  void* bits = nullptr;
  gView.viewBitmap = CreateDIBSection(dc, reinterpret_cast<const BITMAPINFO*>(block.data()), usage, &bits, nullptr, 0);
  if (old) SelectPalette(dc, old, FALSE);
  ReleaseDC(gApp.mainWindow, dc);
  if (!gView.viewBitmap) return;
  gView.render.dstBits = static_cast<uint8_t*>(bits);
  gView.render.dstWidth = gView.areaWidth;
  gView.render.dstHeight = gView.areaHeight;
  gView.render.dstBytesPerLine = quillon::BytesPerLine(gView.areaWidth, depth);
  gView.render.dstBitsPerPixel = gSettings.options.scaleToGray ? 4 : 0;
}

void RenderView(bool repaint) {
  if (ImageLoaded() && gView.viewBitmap && gView.render.dstBits) {
    gView.render.rotation = static_cast<uint32_t>(DisplayedRotation());
    if (TwelveBitPath() && gApp.displayDepth < 16) {
      RenderReduced(gView.render);
    } else {
      quillon::RenderPage(&gView.page, &gView.render, 1);
      if (TwelveBitPath() && gApp.displayDepth == 16) DitherTwelveBit(gView.render, gView.page.bitsPerPixel);
    }
    if (repaint)
      LogMilestone("view %d%% at %d,%d", 25600 / std::max(gView.render.xStep, 1), gView.render.srcX,
                   gView.render.srcY);
  }
  if (repaint) InvalidateRect(gApp.mainWindow, nullptr, FALSE);
  else DrawViewNow();
  UpdateZoomWindow(false, false);
}

void DrawViewNow() {
  if (!ImageLoaded() || !gView.viewBitmap) return;
  const RECT r = ImageRectangle();
  HDC dc = GetDC(gApp.mainWindow);
  HPALETTE old = nullptr;
  if (gView.palette) {
    old = SelectPalette(dc, gView.palette, FALSE);
    RealizePalette(dc);
  }
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ oldBitmap = SelectObject(memory, gView.viewBitmap);
  BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, memory, 0, 0, SRCCOPY);
  SelectObject(memory, oldBitmap);
  DeleteDC(memory);
  if (old) SelectPalette(dc, old, FALSE);
  ReleaseDC(gApp.mainWindow, dc);
}

void ReView() {
  const int mode = PreferredMode();
  ComputeView(mode);
  SetMode(mode);
  RenderView(true);
  UpdateZoomWindow(true, true);
}

void RefreshStrip() {
  if (!gSettings.options.comboView || gView.fullScreen || !gApp.mainWindow) return;
  RECT band{0, gView.areaTop + gView.areaHeight, gView.areaWidth,
            gView.areaTop + gView.areaHeight + gView.thumbHeight + 1};
  InvalidateRect(gApp.mainWindow, &band, FALSE);
}

}  // namespace zelmo
