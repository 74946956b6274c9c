// The page edits of the menus and the toolbar: in-place transforms of the
// current page, turning the view or the page's data, and scale-to-gray.
#include "viewer/app/edits.h"

#include <utility>

#include "imaging/pixels/pixels.h"
#include "viewer/app/page_load.h"
#include "viewer/app/state.h"
#include "viewer/app/view.h"
#include "viewer/settings/settings.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr int kToGrayCommand = 40052;

void ReportFailure(int32_t result, int command) {
  ShowImagingError(result, LoadText(static_cast<unsigned>(command)));
}

// The page in its new shape, seen in the default view mode.
void ShowTurned() {
  ComputeView(gSettings.defView);
  SetMode(gSettings.defView);
  RenderView(true);
  UpdateZoomWindow(true, true);
}

}  // namespace

void EditImage(int command, int transform) {
  quillon::PageRecord& page = gView.page;
  if (!ImageLoaded()) {
    // To gray only acts on images of more than 1 bpp; the others need one.
    if (command != kToGrayCommand) MessageBeep(0);
    return;
  }
  if (command == kToGrayCommand && page.bitsPerPixel == 1) return;
  const int32_t result = quillon::TransformPage(&page, transform, 0, 0);
  if (result != quillon::kOk) {
    ReportFailure(result, command);
    return;
  }
  if (transform == quillon::kFlipHorizontal || transform == quillon::kFlipVertical) {
    RenderView(true);
  } else {
    // New colours: the palette, and the bitmap whose colours come from it.
    RebuildPalette();
    RebuildViewBitmap();
    RenderView(false);
  }
  UpdateZoomWindow(true, true);
}

void RotateView(HWND hwnd, int degrees) {
  if (ImageLoaded() && gView.page.bitsPerPixel == 1) {
    // The bilevel renderer does not turn: the data is turned instead.
    const WPARAM command = degrees == 90 ? 40117 : degrees == 180 ? 40118 : 40119;
    PostMessage(hwnd, WM_COMMAND, command, 0);
    return;
  }
  gView.rotation = (gView.rotation + degrees) % 360;
  if (ImageLoaded()) ShowTurned();
}

void RotateImage(int command, int degrees) {
  quillon::PageRecord& page = gView.page;
  if (!ImageLoaded()) return;
  HCURSOR cursor = SetCursor(LoadCursor(nullptr, IDC_WAIT));
  int32_t result = quillon::kOk;
  if (degrees == 90 || degrees == 270) {
    result = quillon::TransformPage(&page, quillon::kRotateClockwise, 90, 0);
    if (result == quillon::kOk) std::swap(page.xResolution, page.yResolution);
  }
  if (result == quillon::kOk && (degrees == 180 || degrees == 270)) {
    result = quillon::TransformPage(&page, quillon::kFlipHorizontal, 0, 0);
    if (result == quillon::kOk) result = quillon::TransformPage(&page, quillon::kFlipVertical, 0, 0);
  }
  SetCursor(cursor);
  if (result != quillon::kOk) {
    ReportFailure(result, command);
    return;
  }
  ShowTurned();
}

void ToggleScaleToGray() {
  gSettings.options.scaleToGray = !gSettings.options.scaleToGray;
  if (!ImageLoaded() || gView.page.bitsPerPixel != 1) return;
  RebuildPalette();
  RebuildViewBitmap();
  RenderView(false);
  UpdateZoomWindow(true, false);
}

}  // namespace zelmo
