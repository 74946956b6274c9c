// The "Settings" sheet and its pages for the display, capture, slide show,
// JPEG, video and thumbnail settings (the toolbar and button editors have
// files of their own).
#include <algorithm>
#include <iterator>

#include "platform/emulator.h"
#include "viewer/app/main_window.h"
#include "viewer/app/state.h"
#include "viewer/app/view.h"
#include "viewer/browse/file_list.h"
#include "viewer/dialogs/browse_dialogs.h"
#include "viewer/dialogs/dialog_common.h"
#include "viewer/dialogs/dialog_table.h"
#include "viewer/settings/pages.h"
#include "viewer/settings/preferences.h"
#include "viewer/settings/settings.h"
#include "viewer/thumbs/thumbnails.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr int kHelp = 40011;
constexpr int kRefreshThumbnails = 40115;
constexpr int kToggleFullScreen = 40104;
constexpr int kViewModes[] = {40033, 40032, 40031, 40042};  // radio buttons 1020..1023
constexpr int32_t kMaxSlideDelay = 3600000;

// A new thumbnail size or shape: "Refresh Thumbnails" is posted once the
// sheet has closed, so that the main window does not take the focus from it.
bool gRefreshThumbnails = false;

int64_t NumberOr(HWND page, int id, int64_t fallback) {
  int64_t value;
  return ItemNumber(page, id, &value) ? value : fallback;
}

// ---------------------------------------------------------------------------
// Preferences

void FillPreferences(HWND page) {
  const Options& o = gSettings.options;
  SetCheck(page, 1003, o.ignoreErrors);
  SetCheck(page, 1004, o.autoRotate);
  SetCheck(page, 1005, o.optimize12Bit);
  SetCheck(page, 1002, o.scaleToGray);
  SetCheck(page, 1006, o.autoFullscreen);
  SetNumberText(page, 1041, gSettings.zoomCX);
  SetNumberText(page, 1042, gSettings.zoomCY);
  SetNumberText(page, 1040, gSettings.customView);
  Select(page, 1010, gSettings.bkColor);
  Select(page, 1011, gSettings.animationRate);
  const int* mode = std::find(std::begin(kViewModes), std::end(kViewModes), gSettings.defView);
  const int radio = mode == std::end(kViewModes) ? 1020 : 1020 + static_cast<int>(mode - kViewModes);
  CheckRadioButton(page, 1020, 1023, radio);
}

void ReadPreferences(HWND page) {
  Options& o = gSettings.options;
  gSettings.bkColor = Selected(page, 1010, gSettings.bkColor);
  const int rate = Selected(page, 1011, gSettings.animationRate);
  if (rate != gSettings.animationRate) {
    gSettings.animationRate = rate;
    const UINT period = 1000 / static_cast<UINT>(rate + 1);
    SetTimer(gApp.mainWindow, kAnimationTimer, period, nullptr);
    LogMilestone("animation timer %u ms", period);
  }
  const bool gray = Checked(page, 1002);
  if (gray != o.scaleToGray) {
    o.scaleToGray = gray;
    if (ImageLoaded() && gView.page.bitsPerPixel == 1) {
      RebuildPalette();
      RebuildViewBitmap();
      RenderView(false);
    }
  }
  o.ignoreErrors = Checked(page, 1003);
  o.autoRotate = Checked(page, 1004);
  o.optimize12Bit = Checked(page, 1005);
  o.autoFullscreen = Checked(page, 1006);
  gSettings.customView = static_cast<int32_t>(std::clamp<int64_t>(NumberOr(page, 1040, gSettings.customView), 5, 800));
  gSettings.zoomCX = static_cast<int32_t>(std::clamp<int64_t>(NumberOr(page, 1041, gSettings.zoomCX), 32, 200));
  gSettings.zoomCY = static_cast<int32_t>(std::clamp<int64_t>(NumberOr(page, 1042, gSettings.zoomCY), 32, 200));
  const int mode = FirstChecked(page, 1020, 1023);
  if (mode >= 0) gSettings.defView = kViewModes[mode];
  if (ImageLoaded()) {
    RebuildViewBitmap();
    RenderView(false);
  }
}

BOOL PreferencesProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr PageHandlers kHandlers{FillPreferences, ReadPreferences};
  switch (message) {
    case WM_INITDIALOG: {
      InitPage(page);
      static const char16_t* const kColors[] = {u"Black", u"Gray", u"White"};
      AddItems(page, 1010, kColors, 3);
      for (int fps = 1; fps <= 10; ++fps)
        SendDlgItemMessage(page, 1011, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Format("%d fps", fps).c_str()));
      SendDlgItemMessage(page, 1040, EM_LIMITTEXT, 4, 0);
      SendDlgItemMessage(page, 1041, EM_LIMITTEXT, 3, 0);
      SendDlgItemMessage(page, 1042, EM_LIMITTEXT, 3, 0);
      return TRUE;
    }
    case WM_NOTIFY: return PageNotify(page, lParam, kHandlers, "Preferences");
    case WM_COMMAND:
      if (LOWORD(wParam) == kHelp) StartHelp(u"prefs");
      return TRUE;
    default: return FALSE;
  }
}

// ---------------------------------------------------------------------------
// Capture

void FillCapture(HWND page) {
  CheckRadioButton(page, 1020, 1023, 1020 + std::clamp(gSettings.captureType, 0, 3));
  SetDlgItemText(page, 1040, gSettings.captureDir.c_str());
  SetDlgItemText(page, 1043, gSettings.captureName.c_str());
  SetNumberText(page, 1041, gSettings.captureDelay);
  SetNumberText(page, 1044, gSettings.captureCount);
  SetCheck(page, 1001, gSettings.capture24bpp != 0);
}

void ReadCapture(HWND page) {
  gSettings.captureType = std::max(FirstChecked(page, 1020, 1023), 0);
  gSettings.captureDelay = static_cast<int32_t>(std::clamp<int64_t>(NumberOr(page, 1041, gSettings.captureDelay), 0, 999));
  gSettings.captureDir = ItemText(page, 1040, static_cast<int>(kSettingsStringChars));
  gSettings.captureName = ItemText(page, 1043, static_cast<int>(kSettingsStringChars));
  gSettings.capture24bpp = Checked(page, 1001) ? 1 : 0;
}

void BrowseCaptureFolder(HWND page) {
  std::u16string folder = ItemText(page, 1040, static_cast<int>(kSettingsStringChars));
  const intptr_t chosen = FolderDialog(&folder, false);
  // The folder dialog belongs to the main window: the sheet comes back to the front.
  SetForegroundWindow(GetParent(page));
  if (chosen == IDOK) SetDlgItemText(page, 1040, folder.c_str());
}

BOOL CaptureProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr PageHandlers kHandlers{FillCapture, ReadCapture};
  switch (message) {
    case WM_INITDIALOG:
      InitPage(page);
      SendDlgItemMessage(page, 1040, EM_LIMITTEXT, kSettingsStringChars, 0);
      SendDlgItemMessage(page, 1043, EM_LIMITTEXT, kSettingsStringChars, 0);
      SendDlgItemMessage(page, 1041, EM_LIMITTEXT, 3, 0);
      SendDlgItemMessage(page, 1090, UDM_SETRANGE32, 1, 120);
      return TRUE;
    case WM_NOTIFY: return PageNotify(page, lParam, kHandlers, "Capture");
    case WM_COMMAND: {
      const int id = LOWORD(wParam), code = HIWORD(wParam);
      if ((id == 1040 || id == 1043) && (code == EN_SETFOCUS || code == EN_KILLFOCUS))
        SHSipPreference(page, code == EN_SETFOCUS ? SIP_UP : SIP_DOWN);
      if (code != BN_CLICKED) return TRUE;
      switch (id) {
        case 1050: BrowseCaptureFolder(page); break;
        case 1052:
          gSettings.captureCount = 0;
          SetDlgItemText(page, 1044, u"0");
          break;
        case kHelp: StartHelp(u"captureprefs"); break;
        default: break;
      }
      return TRUE;
    }
    default: return FALSE;
  }
}

// ---------------------------------------------------------------------------
// Slide Show

void FillSlideShow(HWND page) {
  Select(page, 1010, gSettings.transitionEffect);
  EnableWindow(GetDlgItem(page, 1010), gApp.displayDepth >= 8);
  Select(page, 1011, gSettings.transitionSpeed);
  SetNumberText(page, 1040, gSettings.slideDelay);
  SetCheck(page, 1008, gSettings.options.slideNames);
  SetCheck(page, 1001, gSettings.options.loopSlideShow);
  SetCheck(page, 1003, gSettings.options.rotateSlides);
}

void ReadSlideShow(HWND page) {
  gSettings.transitionEffect = Selected(page, 1010, gSettings.transitionEffect);
  gSettings.transitionSpeed = Selected(page, 1011, gSettings.transitionSpeed);
  gSettings.slideDelay =
      static_cast<int32_t>(std::clamp<int64_t>(NumberOr(page, 1040, gSettings.slideDelay), 0, kMaxSlideDelay));
  gSettings.options.slideNames = Checked(page, 1008);
  gSettings.options.loopSlideShow = Checked(page, 1001);
  gSettings.options.rotateSlides = Checked(page, 1003);
}

BOOL SlideShowProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr PageHandlers kHandlers{FillSlideShow, ReadSlideShow};
  switch (message) {
    case WM_INITDIALOG: {
      InitPage(page);
      static const char16_t* const kEffects[] = {
          u"None",      u"Random",    u"Fade out/in", u"Slide Right", u"Slide Left", u"Slide Up",
          u"Slide Down", u"Wipe Right", u"Wipe Left", u"Wipe Up",     u"Wipe Down",  u"Split Out",
          u"Split In",  u"Cube Up",   u"Cube Down",   u"Cube Left",   u"Cube Right"};
      static const char16_t* const kSpeeds[] = {u"Slow", u"Medium", u"Fast"};
      AddItems(page, 1010, kEffects, 17);
      AddItems(page, 1011, kSpeeds, 3);
      SendDlgItemMessage(page, 1040, EM_LIMITTEXT, 7, 0);
      return TRUE;
    }
    case WM_NOTIFY: return PageNotify(page, lParam, kHandlers, "Slide Show");
    case WM_COMMAND:
      if (LOWORD(wParam) == kHelp) StartHelp(u"slideprefs");
      return TRUE;
    default: return FALSE;
  }
}

// ---------------------------------------------------------------------------
// JPEG

void EnableLoadSize(HWND page) { EnableWindow(GetDlgItem(page, 1011), !Checked(page, 1002)); }

void FillJpeg(HWND page) {
  CheckRadioButton(page, 1020, 1022, 1020 + std::clamp(gSettings.jpegQuality, 0, 2));
  Select(page, 1011, gSettings.jpegSize);
  SetCheck(page, 1001, gSettings.options.jpeg16Bpp);
  SetCheck(page, 1002, gSettings.options.jpegReducedLoad);
  EnableLoadSize(page);
}

void ReadJpeg(HWND page) {
  const int quality = FirstChecked(page, 1020, 1022);
  if (quality >= 0) gSettings.jpegQuality = quality;
  gSettings.jpegSize = Selected(page, 1011, gSettings.jpegSize);
  gSettings.options.jpeg16Bpp = Checked(page, 1001);
  gSettings.options.jpegReducedLoad = Checked(page, 1002);
}

BOOL JpegProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr PageHandlers kHandlers{FillJpeg, ReadJpeg};
  switch (message) {
    case WM_INITDIALOG: {
      InitPage(page);
      static const char16_t* const kSizes[] = {u"Full Size", u"1/4 Size", u"1/64 Size", u"Thumbnail"};
      AddItems(page, 1011, kSizes, 4);
      return TRUE;
    }
    case WM_NOTIFY: return PageNotify(page, lParam, kHandlers, "JPEG");
    case WM_COMMAND:
      if (LOWORD(wParam) == 1002) EnableLoadSize(page);
      if (LOWORD(wParam) == kHelp) StartHelp(u"jpegprefs");
      return TRUE;
    default: return FALSE;
  }
}

// ---------------------------------------------------------------------------
// Video

// Rotation, size and sound only matter when frames go straight to the screen.
void EnableDirectControls(HWND page) {
  const bool direct = Checked(page, 1003);
  for (int id : {1020, 1021, 1023, 1024, 1002}) EnableWindow(GetDlgItem(page, id), direct);
}

void FillVideo(HWND page) {
  Options& o = gSettings.options;
  if (gDevice.index == -1) o.directScreenVideo = false;
  SetCheck(page, 1001, o.playContinuously);
  SetCheck(page, 1002, o.playAudio);
  SetCheck(page, 1003, o.directScreenVideo);
  EnableWindow(GetDlgItem(page, 1003), gDevice.index != -1);
  CheckRadioButton(page, 1020, 1021, gSettings.videoRotate == 1 ? 1021 : 1020);
  CheckRadioButton(page, 1023, 1024, gSettings.videoSize == 0 ? 1023 : 1024);
  EnableDirectControls(page);
}

void ReadVideo(HWND page) {
  Options& o = gSettings.options;
  o.playContinuously = Checked(page, 1001);
  o.playAudio = Checked(page, 1002);
  o.directScreenVideo = Checked(page, 1003) && gDevice.index != -1;
  gSettings.videoRotate = Checked(page, 1021) ? 1 : 0;
  gSettings.videoSize = Checked(page, 1023) ? 0 : 1;
}

BOOL VideoProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr PageHandlers kHandlers{FillVideo, ReadVideo};
  switch (message) {
    case WM_INITDIALOG: InitPage(page); return TRUE;
    case WM_NOTIFY: return PageNotify(page, lParam, kHandlers, "Video");
    case WM_COMMAND:
      if (LOWORD(wParam) == 1003) EnableDirectControls(page);
      if (LOWORD(wParam) == kHelp) StartHelp(u"videoprefs");
      return TRUE;
    default: return FALSE;
  }
}

// ---------------------------------------------------------------------------
// Thumbs

void FillThumbs(HWND page) {
  SetCheck(page, 1001, gSettings.options.thumbNames);
  SetCheck(page, 1002, gSettings.options.thumbnailsEnabled);
  Select(page, 1010, gSettings.thumbSize);
  Select(page, 1011, gSettings.thumbShape);
}

// Without thumbnails the strip goes too: the window takes the screen below
// the task bar and the strip's scroll bar moves out of sight.
void DropThumbnails() {
  HWND main = gApp.mainWindow;
  FreeAllThumbnails();
  InvalidateRect(main, nullptr, FALSE);
  if (!gSettings.options.comboView) return;
  gSettings.options.comboView = false;
  MoveWindow(main, 0, kTaskBarHeight, gApp.screenWidth, gApp.screenHeight - kTaskBarHeight, TRUE);
  MoveWindow(gView.stripScrollBar, 0, gApp.screenHeight, gApp.screenWidth, kStripScrollHeight, TRUE);
  // The window may keep its size: the image area is laid out afresh all the same.
  RECT client;
  GetClientRect(main, &client);
  LayOut(client.right, client.bottom);
  if (ImageLoaded()) {
    RebuildViewBitmap();
    ComputeView(gView.mode);
    ApplyPosition(CurrentPosition());
    RenderView(false);
  }
  LogMilestone("combo view off");
}

void ReadThumbs(HWND page) {
  Options& o = gSettings.options;
  o.thumbNames = Checked(page, 1001);
  const bool enabled = Checked(page, 1002);
  const bool dropped = o.thumbnailsEnabled && !enabled;
  o.thumbnailsEnabled = enabled;
  if (dropped && gFiles.live.files.count > 0) DropThumbnails();
  const int size = Selected(page, 1010, gSettings.thumbSize), shape = Selected(page, 1011, gSettings.thumbShape);
  if (size != gSettings.thumbSize || shape != gSettings.thumbShape) {
    gSettings.thumbSize = size;
    gSettings.thumbShape = shape;
    gRefreshThumbnails = true;
  }
}

BOOL ThumbsProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr PageHandlers kHandlers{FillThumbs, ReadThumbs};
  switch (message) {
    case WM_INITDIALOG: {
      InitPage(page);
      static const char16_t* const kSizes[] = {u"Tiny", u"Small", u"Medium", u"Large"};
      static const char16_t* const kShapes[] = {u"Square", u"Landscape", u"Portrait"};
      AddItems(page, 1010, kSizes, 4);
      AddItems(page, 1011, kShapes, 3);
      return TRUE;
    }
    case WM_NOTIFY: return PageNotify(page, lParam, kHandlers, "Thumbs");
    case WM_COMMAND:
      if (LOWORD(wParam) == kHelp) StartHelp(u"thumbprefs");
      return TRUE;
    default: return FALSE;
  }
}

// ---------------------------------------------------------------------------
// The sheet

struct PageEntry {
  const char16_t* title;
  const char16_t* resource;
  DLGPROC proc;
};

constexpr PageEntry kPages[] = {
    {u"Preferences", u"PREFS", PreferencesProc},
    {u"Capture", u"CAPSETTINGS", CaptureProc},
    {u"Slide Show", u"SLIDESHOW", SlideShowProc},
    {u"JPEG", u"PREFS2", JpegProc},
    {u"Icons", u"TOOLBARS", ToolbarPageProc},
    {u"Video", u"VIDPREFS", VideoProc},
    {u"Thumbs", u"THUMBS", ThumbsProc},
    {u"Buttons", u"BUTTONS", ButtonPageProc},
};

int SheetCallback(HWND, UINT message, LPARAM) {
  if (message == PSCB_INITIALIZED) LogMilestone("dialog Settings shown");
  return 0;
}

}  // namespace

void ShowPreferences(HWND hwnd) {
  PROPSHEETPAGE pages[std::size(kPages)];
  for (size_t i = 0; i < std::size(kPages); ++i)
    pages[i] = PROPSHEETPAGE{sizeof(PROPSHEETPAGE), PSP_USETITLE, gApp.instance, DialogResource(kPages[i].resource),
                             nullptr, kPages[i].title, kPages[i].proc, static_cast<LPARAM>(i), nullptr, nullptr};
  const PROPSHEETHEADER header{40, PSH_PROPSHEETPAGE | PSH_USECALLBACK | PSH_MAXIMIZE,
                               hwnd, gApp.instance, nullptr, u"Settings", std::size(kPages), 0, pages,
                               SheetCallback};
  gRefreshThumbnails = false;
  gView.dialogOpen = true;
  PropertySheet(&header);
  gView.dialogOpen = false;
  if (gRefreshThumbnails) PostMessage(hwnd, WM_COMMAND, kRefreshThumbnails, 0);
  SHFullScreen(hwnd, SHFS_HIDESIPBUTTON);
  Sleep(50);
  InvalidateRect(hwnd, nullptr, FALSE);
  LogMilestone("dialog Settings closed");
}

void PreferencesCommand(HWND hwnd) {
  if (gView.fullScreen) {
    SendMessage(hwnd, WM_COMMAND, kToggleFullScreen, 0);
    ShowPreferences(hwnd);
    SendMessage(hwnd, WM_COMMAND, kToggleFullScreen, 0);
  } else {
    ShowPreferences(hwnd);
  }
  SaveSettings();
}

}  // namespace zelmo
