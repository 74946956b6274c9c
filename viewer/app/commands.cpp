// The main window's command dispatch: one handler per command.  Commands
// without a handler yet do nothing.
#include <algorithm>

#include "viewer/app/functions.h"
#include "viewer/app/main_window.h"
#include "viewer/app/state.h"
#include "viewer/browse/file_list.h"
#include "viewer/settings/settings.h"
#include "viewer/slideshow/slide_show.h"

namespace zelmo {

using namespace ce;

namespace {

// Only the toolbar band (the whole screen width, one row high) is redrawn.
void RepaintToolbar(HWND hwnd) {
  int top = ToolbarTop();
  RECT band{0, top, gApp.screenWidth, top + kToolbarHeight};
  InvalidateRect(hwnd, &band, FALSE);
}

void StepToolbarRow(HWND hwnd, int step) {
  int rows = std::max(gApp.toolbarRows, 1);
  gApp.currentRow = ((gApp.currentRow + step) % rows + rows) % rows;
  RepaintToolbar(hwnd);
}

void SetSortOrder(HWND hwnd, int order) {
  if (gSettings.sortOrder == order) return;
  gSettings.sortOrder = order;
  SortLive();
  if (gSettings.options.comboView) InvalidateRect(hwnd, nullptr, FALSE);
}

void Exit(HWND hwnd) {
  gShared.abortFlag = 1;
  DestroyWindow(hwnd);
}

void ScreenCapture(HWND hwnd) {
  UINT delay = static_cast<UINT>(std::clamp(gSettings.captureDelay, 0, 999)) * 1000;
  SetTimer(hwnd, kCaptureTimer, delay, nullptr);
}

}  // namespace

void OnCommand(HWND hwnd, int command) {
  if (gShared.videoPlaying && command != 40069 && command != 40104) {
    MessageBeep(0);
    return;
  }
  switch (command) {
    case 40004: Exit(hwnd); return;
    case 40062: ScreenCapture(hwnd); break;
    case 40071: StartSlideShow(hwnd); return;  // the slide window keeps the focus
    case 40074: StepToolbarRow(hwnd, 1); break;
    case 40075: StepToolbarRow(hwnd, -1); break;
    case 40105: SetSortOrder(hwnd, 0); break;
    case 40106: SetSortOrder(hwnd, 2); break;
    case 40107: SetSortOrder(hwnd, 1); break;
    default: break;
  }
  SetFocus(hwnd);
}

void OnToolbarTap(HWND hwnd, int x) {
  if (x < 0) return;
  int slot = gApp.currentRow * gApp.buttonsPerRow + x / kToolbarButtonWidth;
  if (x / kToolbarButtonWidth >= gApp.buttonsPerRow) return;
  int code = slot < kToolbarSlots ? gSettings.toolBars[static_cast<size_t>(slot)] : kUndefinedFunction;
  PostMessage(hwnd, WM_COMMAND, CommandOfFunction(code), 0);
}

}  // namespace zelmo
