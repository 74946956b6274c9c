// The main window's command dispatch: one handler per command, and the
// handlers of the page, file, view, window and program commands.  The
// image edits are in edits.cpp, play / pause in animation.cpp.  A command
// without a case does nothing.
#include <algorithm>

#include "imaging/core/page.h"
#include "platform/emulator.h"
#include "viewer/app/edits.h"
#include "viewer/app/functions.h"
#include "viewer/app/main_window.h"
#include "viewer/app/page_load.h"
#include "viewer/app/state.h"
#include "viewer/app/view.h"
#include "viewer/browse/file_list.h"
#include "viewer/dialogs/edit_dialogs.h"
#include "viewer/dialogs/email.h"
#include "viewer/dialogs/file_commands.h"
#include "viewer/dialogs/info_dialogs.h"
#include "viewer/print/print.h"
#include "viewer/settings/preferences.h"
#include "viewer/settings/settings.h"
#include "viewer/slideshow/slide_show.h"
#include "viewer/thumbs/thumbnails.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr unsigned kGlimpseQuestion = 5013, kGlimpseCaption = 5014;
constexpr unsigned kThumbnailsQuestion = 5015, kThumbnailsCaption = 5016;

bool Animated(int fileType) { return fileType == quillon::kFileGif || fileType == quillon::kFileFli; }

int PageCount() { return gView.fileOpen ? gView.file.pageCount : 0; }

void StartProgram(const char16_t* program, const char16_t* commandLine) {
  PROCESS_INFORMATION info{};
  if (!CreateProcess(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &info)) return;
  if (info.hProcess) CloseHandle(info.hProcess);
  if (info.hThread) CloseHandle(info.hThread);
}

// Only the toolbar band (the whole screen width, one row high) is redrawn.
void StepToolbarRow(HWND hwnd, int step) {
  const int rows = std::max(gApp.toolbarRows, 1);
  gApp.currentRow = ((gApp.currentRow + step) % rows + rows) % rows;
  const int top = ToolbarTop();
  RECT band{0, top, gApp.screenWidth, top + kToolbarHeight};
  InvalidateRect(hwnd, &band, FALSE);
}

void SetSortOrder(HWND hwnd, int order) {
  if (gSettings.sortOrder == order) return;
  const std::u16string current = CurrentFileName();
  gSettings.sortOrder = order;
  SortLive();
  KeepCurrentFile(current);
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

void CloseImage(HWND hwnd) {
  if (!ImageLoaded()) return;
  FreeCurrentPage();
  if (gView.fileOpen && gView.file.pageCount > 1) CloseCurrentFile();
  InvalidateRect(hwnd, nullptr, FALSE);
  UpdateZoomWindow(true, false);
}

void NextPage() {
  if (gView.pageNumber >= PageCount() - 1) {
    MessageBeep(0);
    return;
  }
  ShowPage(gView.pageNumber + 1, Animated(gView.file.fileType), 0);
}

void PreviousPage() {
  if (gView.pageNumber <= 0 || PageCount() == 0 || Animated(gView.file.fileType)) {
    MessageBeep(0);
    return;
  }
  ShowPage(gView.pageNumber - 1, false, 0);
}

void EndPage(bool last) {
  const int target = last ? PageCount() - 1 : 0;
  if (PageCount() == 0 || gView.pageNumber == target) return;
  ShowPage(target, false, gSettings.defView);
}

void ViewMode(int mode) {
  gView.snapMode = mode;
  ComputeView(mode);
  SetMode(mode);
  if (ImageLoaded()) RenderView(true);
}

void Zoom(bool out) {
  gView.snapMode = 0;
  ZoomStepView(out);
}

// The file at `index` of the list becomes current and opens; with
// thumbnails the strip follows it.
void GoToFile(HWND hwnd, int index, bool stripFollows) {
  const char16_t* name = EntryName(gFiles.live.files, index);
  if (!name || !SetCurrentFile(gSettings.curDir, name)) return;
  gFiles.currentIndex = index;
  if (stripFollows && gSettings.options.thumbnailsEnabled) {
    gView.firstThumbShown = ClampFirstThumbnail(index);
    if (gView.stripScrollBar) SetScrollPos(gView.stripScrollBar, SB_CTL, gView.firstThumbShown, TRUE);
  }
  PostMessage(hwnd, WM_OPENCURRENTFILE, 0, 0);
}

void StepFile(HWND hwnd, int step) {
  const int count = gFiles.live.files.count;
  if (count == 0) return;
  const int current = gFiles.currentIndex < 0 && step < 0 ? count : gFiles.currentIndex;
  const int target = current + step;
  if (target < 0 || target >= count) {
    MessageBeep(0);
    return;
  }
  GoToFile(hwnd, target, true);
}

void EndFile(HWND hwnd, bool last) {
  const int count = gFiles.live.files.count;
  const int target = last ? count - 1 : 0;
  if (count == 0 || gFiles.currentIndex == target) return;
  gView.firstThumbShown = last ? std::max(count - gView.thumbsPerRow, 0) : 0;
  if (gView.stripScrollBar) SetScrollPos(gView.stripScrollBar, SB_CTL, gView.firstThumbShown, TRUE);
  GoToFile(hwnd, target, false);
}

void SendViaIrda() {
  if (!ImageLoaded()) {
    MessageBeep(0);
    return;
  }
  StartProgram(u"irsquirt.exe", gView.currentPath.c_str());
}

// The commands that work on a rectangle the pen draws next.
void WithRectangle(HWND hwnd, bool zoom) {
  if (!ImageLoaded()) {
    MessageBeep(0);
    return;
  }
  MessageBeep(0);
  const RECT rect = SelectRectangle(hwnd);
  if (zoom) ZoomToWindowRectangle(rect);
  else CopyRectangleToClipboard(hwnd, rect);
}

void PlaceBelowTaskBar(HWND hwnd) {
  SHFullScreen(hwnd, SHFS_SHOWTASKBAR | SHFS_HIDESIPBUTTON);
  MoveWindow(hwnd, 0, kTaskBarHeight, gApp.screenWidth, gApp.screenHeight - kTaskBarHeight, TRUE);
}

void Relayout(HWND hwnd) {
  RECT client;
  GetClientRect(hwnd, &client);
  LayOut(client.right, client.bottom);
}

void ToggleFullScreen(HWND hwnd) {
  gView.fullScreen = !gView.fullScreen;
  if (!gView.fullScreen) {
    ShowWindow(gView.stripScrollBar, SW_SHOW);
    PlaceBelowTaskBar(hwnd);
  } else {
    ShowWindow(gView.stripScrollBar, SW_HIDE);
    SHFullScreen(hwnd, SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON);
    RECT frame;
    GetWindowRect(hwnd, &frame);
    MoveWindow(hwnd, 0, 0, gApp.screenWidth, frame.bottom, TRUE);
  }
  Relayout(hwnd);
  if (ImageLoaded()) {
    RebuildViewBitmap();
    int mode = PreferredMode();
    const quillon::PageRecord& page = gView.page;
    if (gView.fullScreen && gSettings.options.autoFullscreen && page.bitsPerPixel > 1) {
      mode = 40033;
      gView.rotation = page.width > page.height && gApp.screenHeight > gApp.screenWidth ? 90 : 0;
    }
    ComputeView(mode);
    SetMode(mode);
    RenderView(false);
    if (gFiles.currentIndex >= 0) RefreshStrip();
  }
  InvalidateRect(hwnd, nullptr, FALSE);
  LogMilestone("full-screen view %s", gView.fullScreen ? "on" : "off");
}

void ToggleComboView(HWND hwnd) {
  if (!AskForThumbnails(hwnd)) return;
  gSettings.options.comboView = !gSettings.options.comboView;
  PlaceBelowTaskBar(hwnd);
  Relayout(hwnd);
  const int y = gSettings.options.comboView ? gView.thumbHeight + gView.areaHeight + 1 : gApp.screenHeight;
  MoveWindow(gView.stripScrollBar, 0, y, gApp.screenWidth, kStripScrollHeight, TRUE);
  if (ImageLoaded()) {
    RebuildViewBitmap();
    ComputeView(gView.mode);
    ApplyPosition(CurrentPosition());
    RenderView(false);
  }
  InvalidateRect(hwnd, nullptr, FALSE);
  LogMilestone("combo view %s", gSettings.options.comboView ? "on" : "off");
}

}  // namespace

bool AskForThumbnails(HWND hwnd) {
  auto ask = [hwnd](unsigned question, unsigned caption) {
    const std::u16string text = LoadText(question), title = LoadText(caption);
    return MessageBox(hwnd, text.c_str(), title.c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
  };
  if (gApp.glimpse) {
    if (!ask(kGlimpseQuestion, kGlimpseCaption)) return false;
    gApp.glimpse = 0;
    gSettings.options.thumbnailsEnabled = true;
    PostMessage(hwnd, WM_COMMAND, 40115, 0);
  } else if (!gSettings.options.thumbnailsEnabled && ask(kThumbnailsQuestion, kThumbnailsCaption)) {
    gSettings.options.thumbnailsEnabled = true;
    PostMessage(hwnd, WM_COMMAND, 40115, 0);
  }
  return true;
}

void ShowPage(int number, bool compose, int mode) {
  FreeCurrentPage();
  gView.pageNumber = number;
  const int32_t result = LoadPage(compose);
  if (result != quillon::kOk) {
    ShowImagingError(result, FileNameOf(gView.currentPath));
    InvalidateRect(gApp.mainWindow, nullptr, FALSE);
    UpdateZoomWindow(true, false);
    return;
  }
  RebuildPalette();
  RebuildViewBitmap();
  if (mode == 0) {
    ReView();
  } else {
    ComputeView(mode);
    SetMode(mode);
    RenderView(true);
    UpdateZoomWindow(true, true);
  }
  LogMilestone("page %d shown", number + 1);
}

void OnCommand(HWND hwnd, int command) {
  if (gShared.videoPlaying && command != 40069 && command != 40104) {
    MessageBeep(0);
    return;
  }
  switch (command) {
    case 40003: AboutCommand(hwnd); break;
    case 40004: Exit(hwnd); return;
    case 40005: OpenCommand(hwnd); break;
    case 40006: CloseImage(hwnd); break;
    case 40007: SaveAsCommand(hwnd); break;
    case 40011: StartProgram(u"peghelp.exe", u"file:zlv.htm#Main_Contents"); break;
    case 40012: ImageInfoCommand(hwnd); break;
    case 40013: PrintCommand(hwnd); return;  // gives the focus to the progress dialog or back
    case 40018: ResizeCommand(hwnd); break;
    case 40019: CropCommand(hwnd); break;
    case 40020: RotateView(hwnd, 90); break;
    case 40021: EditImage(command, quillon::kInvert); break;
    case 40023: EditImage(command, quillon::kFlipVertical); break;
    case 40024: EditImage(command, quillon::kFlipHorizontal); break;
    case 40028: NextPage(); break;
    case 40029: PreviousPage(); break;
    case 40030: GoToPageCommand(hwnd); break;
    case 40031:
    case 40032:
    case 40033:
    case 40042: ViewMode(command); break;
    case 40034: Zoom(false); break;
    case 40035: Zoom(true); break;
    case 40036: ToggleScaleToGray(); break;
    case 40043: ToggleZoomWindow(); break;
    case 40045: ToggleThumbnailView(hwnd); return;  // the thumbnail view keeps the focus
    case 40050: ModifyColorsCommand(hwnd); break;
    case 40052: EditImage(command, quillon::kToGray); break;
    case 40053: EditImage(command, quillon::kDarken); break;
    case 40054: EditImage(command, quillon::kLighten); break;
    case 40040: PreferencesCommand(hwnd); break;
    case 40041: FileAssociationsCommand(hwnd); break;
    case 40062: ScreenCapture(hwnd); break;
    case 40063: EndPage(false); break;
    case 40064: EndPage(true); break;
    case 40065: RotateView(hwnd, 180); break;
    case 40066: RotateView(hwnd, 270); break;
    case 40067: StepFile(hwnd, -1); break;
    case 40068: StepFile(hwnd, 1); break;
    case 40069: PlayPause(); break;
    case 40071: StartSlideShow(hwnd); return;  // the slide window keeps the focus
    case 40073: WithRectangle(hwnd, false); break;
    case 40074: StepToolbarRow(hwnd, 1); break;
    case 40075: StepToolbarRow(hwnd, -1); break;
    case 40076: DeleteFileCommand(hwnd); break;
    case 40082: CopyFileCommand(hwnd); break;
    case 40083: EmailCommand(hwnd); break;
    case 40084: SendViaIrda(); break;
    case 40085: EndFile(hwnd, false); break;
    case 40086: EndFile(hwnd, true); break;
    case 40095: WithRectangle(hwnd, true); break;
    case 40103: StartProgram(u"irsquirt.exe", nullptr); break;
    case 40104: ToggleFullScreen(hwnd); break;
    case 40105: SetSortOrder(hwnd, 0); break;
    case 40106: SetSortOrder(hwnd, 2); break;
    case 40107: SetSortOrder(hwnd, 1); break;
    case 40114: ToggleComboView(hwnd); break;
    case 40115: RefreshThumbnails(hwnd); break;
    case 40116: break;  // "Undefined"
    case 40117: RotateImage(command, 90); break;
    case 40118: RotateImage(command, 180); break;
    case 40119: RotateImage(command, 270); break;
    default: break;
  }
  // The zoom window or a menu may have taken the keys.
  if (IsWindow(hwnd)) SetFocus(hwnd);
}

}  // namespace zelmo
