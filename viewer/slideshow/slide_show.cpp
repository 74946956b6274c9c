// Command 40071, the SlideWindow and SlideShowJob.
#include "viewer/slideshow/slide_show.h"

#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "imaging/pixels/palettes.h"
#include "platform/emulator.h"
#include "viewer/app/jobs.h"
#include "viewer/app/state.h"
#include "viewer/app/windows.h"
#include "viewer/app/worker.h"
#include "viewer/browse/file_list.h"
#include "viewer/settings/settings.h"

namespace zelmo {

using namespace ce;
using quillon::PageRecord;

SlideShow gSlideShow;

namespace {

constexpr UINT kToggleFullscreen = 40104;
// Sent by the job to the SlideWindow, so that the user-interface thread
// reads its own state: the listing again for another pass (lParam: the
// job's SlideShow), and at the end whether the main window's full-screen
// state has to go back (1; the view rotation is restored then).
constexpr UINT kCopyListing = WM_USER + 1;
constexpr UINT kShowEnding = WM_USER + 2;
constexpr size_t kMaxPathChars = 255;  // a path's place holds 256 with its terminator
constexpr uint32_t kEmulatedStepMs = 5;
constexpr uint32_t kFullScreenSettleMs = 250;
constexpr uint32_t kRestoreSettleMs = 100;

void CopyListing(SlideShow* show) {
  show->folder = gSettings.curDir;
  show->names.clear();
  const EntryList& files = gFiles.live.files;
  for (int i = 0; i < files.count; ++i)
    if (const char16_t* name = EntryName(files, i)) show->names.emplace_back(name);
}

// The folder, a backslash unless it ends with one, the name; empty when
// that is longer than a path can be.
std::u16string SlidePath(const std::u16string& folder, const std::u16string& name) {
  std::u16string path = folder;
  if (path.empty() || path.back() != u'\\') path += u'\\';
  if (path.size() + name.size() > kMaxPathChars) return u"";
  return path + name;
}

// Page 0 of the file, decoded; false for a file that cannot be read or
// decoded and for a bilevel page.
bool ReadSlidePage(const std::u16string& path, PageRecord* page) {
  quillon::ImageFile file{};
  if (quillon::OpenImageFile(path.c_str(), &file) != quillon::kOk) return false;
  PageRecord source{};
  int32_t r = quillon::ExtractPage(&file, &source, 0);
  if (r == quillon::kOk && source.bitsPerPixel < 2) r = quillon::kErrBitDepth;
  if (r == quillon::kOk) {
    *page = PageRecord{};
    page->compression = quillon::kUncompressed;
    r = quillon::ConvertPage(&source, page, SlideDecodeFlags(source.width));
    if (r != quillon::kOk) *page = PageRecord{};
  }
  quillon::FreePage(&source);
  quillon::CloseImageFile(&file);
  return r == quillon::kOk;
}

HFONT CreateCaptionFont() {
  LOGFONT lf{};
  lf.lfHeight = -22;
  lf.lfWeight = FW_BOLD;
  const std::u16string face = u"Tahoma";
  face.copy(lf.lfFaceName, LF_FACESIZE - 1);
  return CreateFontIndirect(&lf);
}

// After the show the system's palette is the screen's again, and every
// window repaints in it.
void RealiseSystemPalette(HWND window) {
  HDC dc = GetDC(window);
  if (!dc) return;
  HPALETTE previous = SelectPalette(dc, static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE);
  RealizePalette(dc);
  if (previous) SelectPalette(dc, previous, FALSE);
  ReleaseDC(window, dc);
}

void EndSlideShow(const SlideShow& show, const JobClock& clock) {
  // Without its main window the program is ending; its windows end with it.
  if (!IsWindow(show.mainWindow)) return;
  if (show.screen.depth == 8) RealiseSystemPalette(show.window);
  const bool toggleBack = SendMessage(show.window, kShowEnding, 0, 0) != 0;
  DestroyWindow(show.window);
  // Sent, not posted: the whole screen is invalidated below, after the main
  // window has its own layout back, however late its thread runs.
  if (toggleBack) SendMessage(show.mainWindow, WM_COMMAND, kToggleFullscreen, 0);
  // The scroll bar the show hid comes back with the main window's own mode,
  // whether or not that mode had to be toggled back.
  if (!show.fullScreen && show.scrollBar) ShowWindow(show.scrollBar, SW_SHOW);
  if (toggleBack) WaitUnlessStopped(clock, kRestoreSettleMs, nullptr);
  InvalidateRect(nullptr, nullptr, TRUE);
  InvalidateRect(show.mainWindow, nullptr, TRUE);
}

}  // namespace

void StartSlideShow(HWND mainWindow) {
  if (gDevice.index == -1) {
    MessageBox(mainWindow, LoadText(808).c_str(), LoadText(809).c_str(), MB_OK);
    return;
  }
  if (gFiles.live.files.count <= 0) {
    MessageBox(mainWindow, LoadText(5017).c_str(), LoadText(kJobSlideShow).c_str(), MB_OK);
    return;
  }
  // One show at a time: a button pressed during a show does not start another.
  if (gSlideShow.window && IsWindow(gSlideShow.window)) return;
  SlideShow show;
  show.mainWindow = mainWindow;
  show.scrollBar = gView.stripScrollBar;
  show.fullScreen = gView.fullScreen;
  show.rotation = gView.rotation;
  show.delay = gSettings.slideDelay;
  show.effect = EffectInForce(gSettings.transitionEffect, gApp.displayDepth);
  show.speed = SpeedInForce(gSettings.transitionSpeed);
  show.showNames = gSettings.options.slideNames;
  show.loop = gSettings.options.loopSlideShow;
  show.screen = SlideScreen{gApp.screenWidth, gApp.screenHeight, gApp.displayDepth, gApp.twelveBitDisplay != 0,
                            gSettings.options.rotateSlides};
  CopyListing(&show);
  // Created as a plain window, then laid over the whole screen above every
  // other, the task bar hidden while it is in front.
  HWND window = CreateWindow(u"ZLSLIDECLASS", u"", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, nullptr, nullptr, gApp.instance, nullptr);
  if (!window) return;
  show.window = window;
  gSlideShow = std::move(show);
  SetWindowPos(window, HWND_TOPMOST, 0, 0, gApp.screenWidth, gApp.screenHeight, 0);
  SHFullScreen(window, SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON);
  SetForegroundWindow(window);
  SetFocus(window);
  if (!PostThreadMessage(gApp.workerId, kJobSlideShow, 0, 0)) {
    DestroyWindow(window);
    gSlideShow.window = nullptr;
  }
}

LRESULT SlideWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE: gShared.abortFlag = 0; return 0;
    case WM_SETFOCUS: SHFullScreen(hwnd, SHFS_HIDESIPBUTTON); break;
    case WM_ERASEBKGND: return 1;
    case WM_KEYDOWN:
      if (wParam == static_cast<WPARAM>(VK_RETURN)) gShared.abortFlag = 1;
      return 0;
    case WM_LBUTTONDOWN: gShared.abortFlag = 1; break;
    case kCopyListing: CopyListing(reinterpret_cast<SlideShow*>(lParam)); return 0;
    case kShowEnding:
      if (gView.fullScreen == gSlideShow.fullScreen) return 0;
      gView.rotation = gSlideShow.rotation;
      return 1;
    default: break;
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

int ShowSlides(SlideShow& show, const Stage& stage, HFONT captionFont) {
  auto stopped = [&] { return stage.stop && stage.stop->load() != 0; };
  int shown = 0;
  for (bool first = true; first || (show.loop && !stopped()); first = false) {
    if (!first && show.window) SendMessage(show.window, kCopyListing, 0, reinterpret_cast<LPARAM>(&show));
    // Each pass starts over the screen as it is.
    PageRecord previous{};
    int shownInPass = 0;
    for (size_t i = 0; i < show.names.size() && !stopped(); ++i) {
      const std::u16string path = SlidePath(show.folder, show.names[i]);
      PageRecord page{}, next{};
      if (path.empty() || !ReadSlidePage(path, &page)) continue;
      int32_t r = BuildSlideFrame(&page, &next, show.screen, show.showNames ? captionFont : nullptr,
                                  show.names[i].c_str());
      quillon::FreePage(&page);
      if (r != quillon::kOk) continue;
      // The slide's time counts from the start of its transition.
      const uint32_t start = stage.clock.tickCount(stage.clock.context);
      PlayTransition(stage, show.effect, show.speed, &next, &previous);
      const uint32_t elapsed = stage.clock.tickCount(stage.clock.context) - start;
      if (stopped()) break;
      ++shown;
      ++shownInPass;
      LogMilestone("slide %d %s shown", shown, quillon::Utf16ToUtf8(show.names[i]).c_str());
      if (show.delay > 0 && elapsed < static_cast<uint32_t>(show.delay))
        WaitUnlessStopped(stage.clock, static_cast<uint32_t>(show.delay) - elapsed, stage.stop);
    }
    quillon::FreePage(&previous);
    // A folder with nothing to show is not read again at once.
    if (shownInPass == 0 && show.loop) WaitUnlessStopped(stage.clock, kWaitSliceMs, stage.stop);
  }
  return shown;
}

void SlideShowJob() {
  // The command wrote the record before it posted the job.
  SlideShow show = gSlideShow;
  if (!show.window) return;
  const JobClock clock = PlatformClock();
  const std::atomic<int>* stop = &gShared.abortFlag;
  HFONT font = CreateCaptionFont();
  // The main window goes full screen under the show.
  if (!show.fullScreen) {
    PostMessage(show.mainWindow, WM_COMMAND, kToggleFullscreen, 0);
    if (show.scrollBar) ShowWindow(show.scrollBar, SW_HIDE);
    WaitUnlessStopped(clock, kFullScreenSettleMs, stop);
  }
  SetForegroundWindow(show.window);
  SetFocus(show.window);
  // A palette display shows every slide in the colour cube.
  if (show.screen.depth == 8) RealisePalette(show.window, quillon::kColorCube332.data());
  Stage stage;
  stage.screen = DeviceScreenTarget();
  stage.paletteWindow = show.window;
  stage.clock = clock;
  stage.stop = stop;
  stage.stepMs = kEmulatedStepMs;
  ShowSlides(show, stage, font);
  if (font) DeleteObject(font);
  EndSlideShow(show, clock);
  LogMilestone("slide show ended");
}

}  // namespace zelmo
