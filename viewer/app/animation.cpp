// "Play / Pause" and the animation of multi-frame images: timer 2 steps
// through the pages, GIF and FLI/FLC frames drawn over the frame before.
#include "imaging/core/page.h"
#include "platform/emulator.h"
#include "viewer/app/main_window.h"
#include "viewer/app/page_load.h"
#include "viewer/app/state.h"
#include "viewer/app/view.h"
#include "viewer/settings/settings.h"
#include "viewer/video/video.h"

namespace zelmo {

using namespace ce;

void PlayPause() {
  const quillon::ImageFile& file = gView.file;
  if (!ImageLoaded() || !gView.fileOpen || file.pageCount < 2) {
    MessageBeep(0);
    return;
  }
  if (gShared.videoPlaying || gShared.animating) {
    gShared.videoPlaying = 0;
    gShared.animating = 0;
    LogMilestone("animation stopped");
    return;
  }
  // With that option clips go straight to the screen, played by the
  // video job; otherwise their frames animate like any other pages.
  const bool clip = file.fileType == quillon::kFileAvi || file.fileType == quillon::kFileQuickTime;
  if (clip && gSettings.options.directScreenVideo) {
    StartVideo(gApp.mainWindow);
    return;
  }
  gShared.animating = 1;
  LogMilestone("animation started");
}

void AnimationStep(HWND hwnd) {
  if (!gShared.animating) return;
  if (!ImageLoaded() || !gView.fileOpen || gView.file.pageCount < 1) {
    gShared.animating = 0;
    return;
  }
  const int next = (gView.pageNumber + 1) % gView.file.pageCount;
  const int type = gView.file.fileType;
  const bool over = gView.page.bitsPerPixel != 1 && next != 0 &&
                    (type == quillon::kFileGif || type == quillon::kFileFli);
  if (!over) FreeCurrentPage();
  gView.pageNumber = next;
  if (LoadPage(true) != quillon::kOk) {
    // The load has ended the animation; the area shows no page.
    InvalidateRect(hwnd, nullptr, FALSE);
    UpdateZoomWindow(true, false);
    LogMilestone("animation stopped");
    return;
  }
  // Frames may differ in depth and colours from the one before.
  RebuildPalette();
  RebuildViewBitmap();
  RenderView(true);
  UpdateZoomWindow(true, false);
  LogMilestone("frame %d shown", next);
}

}  // namespace zelmo
