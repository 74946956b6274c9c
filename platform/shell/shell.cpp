// The Pocket PC shell: the task bar "HHTaskBar" (title of the window in
// front, the time, the Done box, the menu bar drop-down), the desktop behind
// every window, full-screen state per window, dialog initialisation, the
// input panel's state and the tap-and-hold recogniser.  The task bar and the
// desktop belong to the shell's own thread.
#include <algorithm>
#include <thread>

#include "platform/controls/controls.h"
#include "platform/gdi/gdi_internal.h"

namespace ce {

using namespace internal;

namespace {

constexpr UINT kShellQuit = WM_APP + 1;
constexpr UINT kClockTimer = 1;
constexpr COLORREF kTaskBarColor = RGB(16, 40, 120);

// Window fullScreen bits.
constexpr DWORD kHideTaskBar = 0x1;

struct ShellState {
  HANDLE thread = nullptr;
  DWORD threadId = 0;
  HFONT titleFont = nullptr;
};

ShellState& Shell() {
  static ShellState* state = new ShellState;
  return *state;
}

std::u16string ClockText() {
  std::string fixed;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    fixed = Sys().config.clock;
  }
  if (!fixed.empty()) return ToU16(fixed);
  SYSTEMTIME t;
  GetLocalTime(&t);
  char buf[16];
  std::snprintf(buf, sizeof(buf), "%d:%02d", t.wHour % 24, t.wMinute % 60);
  return ToU16(buf);
}

struct Front {
  HWND hwnd = nullptr;
  std::u16string title;
  bool done = false;
  HMENU menu = nullptr;
};

Front FrontWindow() {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Front f;
  Window* w = FindWindowLocked(Sys().foreground);
  if (!w) return f;
  f.hwnd = w->handle;
  f.title = w->text;
  f.done = w->doneButton;
  f.menu = w->menuBar;
  return f;
}

// Task bar parts: the start flag, the title, the time and the Done box.
RECT DoneBox(int width) { return RECT{width - 62, 4, width - 40, 22}; }

void PaintTaskBar(HWND hwnd, HDC dc) {
  RECT r;
  GetClientRect(hwnd, &r);
  HBRUSH bg = CreateSolidBrush(kTaskBarColor);
  FillRect(dc, &r, bg);
  DeleteObject(bg);
  // The start flag: four coloured squares.
  static const COLORREF kFlag[4] = {RGB(230, 60, 40), RGB(60, 180, 60), RGB(40, 110, 230),
                                    RGB(240, 200, 40)};
  for (int i = 0; i < 4; ++i) {
    RECT q{5 + (i % 2) * 8, 6 + (i / 2) * 8, 12 + (i % 2) * 8, 13 + (i / 2) * 8};
    HBRUSH b = CreateSolidBrush(kFlag[i]);
    FillRect(dc, &q, b);
    DeleteObject(b);
  }
  Front f = FrontWindow();
  HGDIOBJ oldFont = SelectObject(dc, Shell().titleFont);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  RECT title{26, 0, r.right - 66, kTaskBarHeight};
  std::u16string text = f.title;
  if (f.menu) text += u" \u25BE";
  DrawText(dc, text.c_str(), -1, &title, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  RECT clock{r.right - 40, 0, r.right - 3, kTaskBarHeight};
  std::u16string time = ClockText();
  DrawText(dc, time.c_str(), -1, &clock, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
  if (f.done) {
    RECT box = DoneBox(r.right);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(WHITE_PEN));
    Rectangle(dc, box.left, box.top, box.right, box.bottom);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DrawText(dc, u"ok", -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  SelectObject(dc, oldFont);
}

DWORD ShellThread(void*) {
  const DeviceModel& d = CurrentDevice();
  LOGFONT lf{};
  lf.lfHeight = -12;
  lf.lfWeight = FW_BOLD;
  Shell().titleFont = CreateFontIndirect(&lf);
  HWND desktop = CreateWindowEx(WS_EX_NOACTIVATE, u"DesktopExplorerWindow", u"Desktop",
                                WS_POPUP, 0, 0, d.width, d.height, nullptr, nullptr, nullptr,
                                nullptr);
  HWND bar = CreateWindowEx(WS_EX_TOPMOST | WS_EX_NOACTIVATE, u"HHTaskBar", u"", WS_POPUP, 0, 0,
                            d.width, kTaskBarHeight, nullptr, nullptr, nullptr, nullptr);
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    for (HWND h : {desktop, bar}) {
      if (Window* w = FindWindowLocked(h)) w->shell = true;
    }
    Sys().desktop = desktop;
    Sys().taskBar = bar;
    if (FindWindowLocked(desktop)) {
      auto& z = Sys().zorder;
      z.erase(std::remove(z.begin(), z.end(), desktop), z.end());
      z.push_back(desktop);
    }
  }
  ShowWindow(desktop, SW_SHOWNA);
  ShowWindow(bar, SW_SHOWNA);
  MSG msg;
  while (GetMessage(&msg, nullptr, 0, 0)) {
    if (msg.message == kShellQuit && !msg.hwnd) break;
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
  return 0;
}

}  // namespace

namespace internal {

LRESULT TaskBarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE: {
      bool fixed;
      {
        std::lock_guard<std::mutex> lk(Sys().lock);
        fixed = !Sys().config.clock.empty();
      }
      if (!fixed) SetTimer(hwnd, kClockTimer, 20000, nullptr);
      return 0;
    }
    case WM_TIMER: InvalidateRect(hwnd, nullptr, FALSE); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      PaintTaskBar(hwnd, dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_LBUTTONDOWN: {
      int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
      RECT r;
      GetClientRect(hwnd, &r);
      Front f = FrontWindow();
      RECT box = DoneBox(r.right);
      if (f.done && PtInRect(&box, POINT{x, y})) {
        PostMessage(f.hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      } else if (f.menu && x >= 26 && x < r.right - 66) {
        // The window's menu bar drops down from its title.
        TrackPopupMenu(f.menu, TPM_LEFTALIGN | TPM_TOPALIGN, 26, kTaskBarHeight, 0, f.hwnd,
                       nullptr);
      }
      return 0;
    }
    default: return DefWindowProc(hwnd, msg, wParam, lParam);
  }
}

LRESULT DesktopProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(hwnd, &r);
      HBRUSH b = CreateSolidBrush(RGB(208, 216, 232));
      FillRect(reinterpret_cast<HDC>(wParam), &r, b);
      DeleteObject(b);
      return 1;
    }
    default: return DefWindowProc(hwnd, msg, wParam, lParam);
  }
}

void UpdateTaskBarLocked() {
  System& s = Sys();
  Window* bar = FindWindowLocked(s.taskBar);
  if (!bar) return;
  bool hide = false;
  if (Window* f = FindWindowLocked(s.foreground)) {
    Window* root = RootLocked(f);
    hide = (f->fullScreen & kHideTaskBar) || (root && (root->fullScreen & kHideTaskBar));
  }
  bool visible = (bar->style & WS_VISIBLE) != 0;
  if (hide && visible) {
    bar->style &= ~WS_VISIBLE;
    ++s.zGeneration;
    InvalidateScreenRectLocked(WindowScreenRect(bar));
  } else if (!hide && !visible) {
    bar->style |= WS_VISIBLE;
    ++s.zGeneration;
    InvalidateWindowLocked(bar, nullptr, true, false);
  } else if (visible) {
    InvalidateWindowLocked(bar, nullptr, false, false);
  }
}

void StartShell() {
  ShellState& s = Shell();
  s.thread = CreateThread(nullptr, 0, ShellThread, nullptr, 0, &s.threadId);
  // The task bar exists before the program starts looking for it.
  for (int i = 0; i < 2000; ++i) {
    {
      std::lock_guard<std::mutex> lk(Sys().lock);
      if (Sys().taskBar && Sys().desktop) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void StopShell() {
  ShellState& s = Shell();
  if (!s.thread) return;
  PostThreadMessage(s.threadId, kShellQuit, 0, 0);
  WaitForSingleObject(s.thread, 5000);
  CloseHandle(s.thread);
  s.thread = nullptr;
  if (s.titleFont) DeleteObject(s.titleFont);
  s.titleFont = nullptr;
}

}  // namespace internal

// ---------------------------------------------------------------------------
// Shell calls

BOOL SHFullScreen(HWND hwnd, DWORD state) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* w = FindWindowLocked(hwnd);
  if (!w) return FALSE;
  if (state & SHFS_HIDETASKBAR) w->fullScreen |= kHideTaskBar;
  if (state & SHFS_SHOWTASKBAR) w->fullScreen &= ~kHideTaskBar;
  UpdateTaskBarLocked();
  return TRUE;
}

BOOL SHInitDialog(SHINITDLGINFO* info) {
  if (!info || !(info->dwMask & SHIDIM_FLAGS) || !IsWindow(info->hDlg)) return FALSE;
  // A property page asks for its sheet, which already fills the screen.
  HWND dlg = info->hDlg;
  bool page;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Window* w = FindWindowLocked(dlg);
    page = w && w->parent;
    if (page) dlg = RootLocked(w)->handle;
  }
  if (!page && (info->dwFlags & (SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_FULLSCREENNOMENUBAR)))
    FillWorkArea(dlg);
  std::lock_guard<std::mutex> lk(Sys().lock);
  if (Window* w = FindWindowLocked(dlg)) {
    if (info->dwFlags & SHIDIF_DONEBUTTON) w->doneButton = true;
    else if (!page) w->doneButton = false;
    if (info->dwFlags & SHIDIF_FULLSCREENNOMENUBAR) w->menuBar = nullptr;
  }
  UpdateTaskBarLocked();
  return TRUE;
}

BOOL CeSetMenuBar(HWND hwnd, HMENU menu) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* w = FindWindowLocked(hwnd);
  if (!w) return FALSE;
  w->menuBar = menu;
  UpdateTaskBarLocked();
  return TRUE;
}

BOOL SHSipPreference(HWND, int state) {
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Sys().sipPreference = static_cast<DWORD>(state);
  }
  LogEvent("sip preference " + std::to_string(state));
  return TRUE;
}

BOOL SipSetInfo(SIPINFO* info) {
  if (!info || info->cbSize != sizeof(SIPINFO)) return FALSE;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Sys().sipInfo = *info;
  }
  LogEvent("sip info flags=" + std::to_string(info->fdwFlags) +
           " top=" + std::to_string(info->rcSipRect.top));
  return TRUE;
}

BOOL SipGetInfo(SIPINFO* info) {
  if (!info || info->cbSize != sizeof(SIPINFO)) return FALSE;
  std::lock_guard<std::mutex> lk(Sys().lock);
  *info = Sys().sipInfo;
  info->cbSize = sizeof(SIPINFO);
  return TRUE;
}

BOOL SHHandleWMSettingChange(HWND, WPARAM, LPARAM, SHACTIVATEINFO*) { return TRUE; }

// Tap-and-hold: watches the pen without taking its messages; a ring of dots
// grows around the tap meanwhile and is taken away again.  The time counts
// from the pen-down itself, so a window that takes the pen-down late still
// sees a hold as a hold, also one that has already ended.
DWORD SHRecognizeGesture(SHRGINFO* info) {
  if (!info || info->cbSize < sizeof(SHRGINFO)) return 0;
  POINT start;
  int hold;
  Clock::time_point begin;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    const System& s = Sys();
    hold = s.config.holdMilliseconds;
    start = s.pressPos;
    begin = s.pressDown;
    if (s.pressStrayed) return 0;
    if (!s.penDown) {
      bool held = s.pressUp - s.pressDown >= std::chrono::milliseconds(hold);
      return held ? GN_CONTEXTMENU : 0;
    }
  }
  constexpr int kDots = 8;
  static const POINT kRing[kDots] = {{0, -9}, {6, -6}, {9, 0}, {6, 6},
                                     {0, 9},  {-6, 6}, {-9, 0}, {-6, -6}};
  struct Saved {
    int x, y;
    uint32_t raw;
  };
  std::vector<Saved> saved;
  auto drawDot = [&](int k) {
    std::lock_guard<std::mutex> lk(Gdi().lock);
    Surface s = ScreenSurface();
    uint32_t red = ColorToRaw(s, RGB(220, 0, 0));
    for (int dy = -1; dy <= 1; ++dy) {
      for (int dx = -1; dx <= 1; ++dx) {
        int x = start.x + kRing[k].x + dx, y = start.y + kRing[k].y + dy;
        if (x < 0 || y < 0 || x >= s.width || y >= s.height) continue;
        saved.push_back(Saved{x, y, ReadRaw(s, x, y)});
        WriteRaw(s, x, y, red);
      }
    }
  };
  DWORD result = 0;
  int shown = 0;
  for (;;) {
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin).count();
    {
      std::lock_guard<std::mutex> lk(Sys().lock);
      const System& s = Sys();
      if (s.pressStrayed) break;
      if (!s.penDown) {
        if (s.pressUp - s.pressDown >= std::chrono::milliseconds(hold)) result = GN_CONTEXTMENU;
        break;
      }
    }
    if (elapsed >= hold) {
      result = GN_CONTEXTMENU;
      break;
    }
    int due = static_cast<int>(elapsed * kDots / std::max(hold, 1));
    while (shown < std::min(due, kDots)) drawDot(shown++);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  {
    std::lock_guard<std::mutex> lk(Gdi().lock);
    Surface s = ScreenSurface();
    for (auto it = saved.rbegin(); it != saved.rend(); ++it) WriteRaw(s, it->x, it->y, it->raw);
  }
  return result;
}

}  // namespace ce
