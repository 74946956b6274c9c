// Input as the presenters and scripts feed it: the pen (mouse) routed to the
// window under it or to the capture window, double taps, the window scroll
// bars, keys routed to hot keys or the focus window, the asynchronous key
// state, and waiting until everything has settled.
#include <algorithm>
#include <thread>

#include "platform/controls/controls.h"
#include "platform/gdi/gdi_internal.h"

namespace ce {

using namespace internal;

namespace {

constexpr int kDoubleTapMs = 500;
constexpr int kDoubleTapDistance = 4;
constexpr int kHoldDistance = 5;  // tap-and-hold: the pen stays this close

bool IsTransparent(const Window* w) { return Lower(w->cls->name) == u"static"; }

// The deepest visible window under a screen point; null when it, or one of
// its ancestors, is disabled.
Window* WindowAtLocked(POINT p) {
  for (HWND h : Sys().zorder) {
    Window* w = FindWindowLocked(h);
    if (!w || !(w->style & WS_VISIBLE) || w->destroying) continue;
    RECT r = WindowScreenRect(w);
    if (!PtInRect(&r, p)) continue;
    for (;;) {
      RECT c = ClientScreenRect(w);
      if (!PtInRect(&c, p)) break;
      Window* next = nullptr;
      for (HWND ch : w->children) {
        Window* cw = FindWindowLocked(ch);
        if (!cw || !(cw->style & WS_VISIBLE) || IsTransparent(cw)) continue;
        RECT cr = WindowScreenRect(cw);
        if (PtInRect(&cr, p)) {
          next = cw;
          break;
        }
      }
      if (!next) break;
      w = next;
    }
    return IsEnabledLocked(w) ? w : nullptr;
  }
  return nullptr;
}

LPARAM ClientPoint(const Window* w, POINT p) {
  RECT c = ClientScreenRect(w);
  return MAKELPARAM(static_cast<unsigned>(p.x - c.left), static_cast<unsigned>(p.y - c.top));
}

DWORD Tick() {
  return static_cast<DWORD>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - Sys().start).count());
}

void PostTo(const Window* w, UINT msg, WPARAM wParam, LPARAM lParam) {
  PostLocked(w->thread, MSG{w->handle, msg, wParam, lParam, Tick(), Sys().penPos});
}

// The window's own scroll bar under a point, if any.
bool FrameScrollBarLocked(const Window* w, POINT p, int* bar, RECT* barRect) {
  RECT wr = WindowScreenRect(w);
  int b = w->insets.left ? 1 : 0;
  if (w->style & WS_VSCROLL) {
    RECT r{wr.right - b - 13, wr.top + b, wr.right - b,
           wr.bottom - b - ((w->style & WS_HSCROLL) ? 13 : 0)};
    if (PtInRect(&r, p)) {
      *bar = SB_VERT;
      *barRect = r;
      return true;
    }
  }
  if (w->style & WS_HSCROLL) {
    RECT r{wr.left + b, wr.bottom - b - 13, wr.right - b - ((w->style & WS_VSCROLL) ? 13 : 0),
           wr.bottom - b};
    if (PtInRect(&r, p)) {
      *bar = SB_HORZ;
      *barRect = r;
      return true;
    }
  }
  return false;
}

void PenDownLocked(POINT p) {
  System& s = Sys();
  Window* target = s.capture ? FindWindowLocked(s.capture) : WindowAtLocked(p);
  if (!target) return;
  RECT client = ClientScreenRect(target);
  if (!s.capture && !PtInRect(&client, p)) {
    int bar;
    RECT barRect;
    if (!FrameScrollBarLocked(target, p, &bar, &barRect)) return;
    ScrollState st = target->scroll[bar];
    int part = ScrollHitPart(barRect, st, bar == SB_VERT, p);
    if (part < 0) return;
    UINT msg = bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL;
    if (part == SB_THUMBTRACK) {
      s.ncScroll = target->handle;
      s.ncBar = bar;
      s.ncStart = bar == SB_VERT ? p.y : p.x;
      target->scroll[bar].tracking = true;
      target->scroll[bar].trackPos = st.pos;
    } else {
      PostTo(target, msg, MAKEWPARAM(static_cast<unsigned>(part), static_cast<unsigned>(st.pos)), 0);
    }
    return;
  }
  UINT msg = WM_LBUTTONDOWN;
  auto now = Clock::now();
  if ((target->cls->style & CS_DBLCLKS) && s.lastDownWindow == target->handle &&
      now - s.lastDownTime <= std::chrono::milliseconds(kDoubleTapMs) &&
      std::abs(p.x - s.lastDownPos.x) <= kDoubleTapDistance &&
      std::abs(p.y - s.lastDownPos.y) <= kDoubleTapDistance) {
    msg = WM_LBUTTONDBLCLK;
    s.lastDownWindow = nullptr;
  } else {
    s.lastDownWindow = target->handle;
    s.lastDownTime = now;
    s.lastDownPos = p;
  }
  PostTo(target, msg, MK_LBUTTON, ClientPoint(target, p));
}

void NcTrackLocked(POINT p, bool end) {
  System& s = Sys();
  Window* w = FindWindowLocked(s.ncScroll);
  if (!w) {
    s.ncScroll = nullptr;
    return;
  }
  int bar = s.ncBar;
  RECT wr = WindowScreenRect(w);
  int b = w->insets.left ? 1 : 0;
  RECT r = bar == SB_VERT ? RECT{wr.right - b - 13, wr.top + b, wr.right - b,
                                 wr.bottom - b - ((w->style & WS_HSCROLL) ? 13 : 0)}
                          : RECT{wr.left + b, wr.bottom - b - 13,
                                 wr.right - b - ((w->style & WS_VSCROLL) ? 13 : 0), wr.bottom - b};
  ScrollState& st = w->scroll[bar];
  ScrollState base = st;
  base.tracking = false;
  int pos = ScrollTrackPos(r, base, bar == SB_VERT, (bar == SB_VERT ? p.y : p.x) - s.ncStart);
  UINT msg = bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL;
  if (pos != st.trackPos) {
    st.trackPos = pos;
    PostTo(w, msg, MAKEWPARAM(SB_THUMBTRACK, static_cast<unsigned>(pos)), 0);
  }
  if (end) {
    st.tracking = false;
    PostTo(w, msg, MAKEWPARAM(SB_THUMBPOSITION, static_cast<unsigned>(st.trackPos)), 0);
    PostTo(w, msg, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
    s.ncScroll = nullptr;
  }
}

}  // namespace

void InjectPen(PenAction action, int x, int y) {
  POINT p{x, y};
  bool activate = false;
  HWND root = nullptr;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    System& s = Sys();
    s.penPos = p;
    switch (action) {
      case PenAction::kDown: {
        s.penDown = true;
        s.pressPos = p;
        s.pressDown = Clock::now();
        s.pressStrayed = false;
        s.keyDown[VK_LBUTTON] = true;
        Window* target = s.capture ? FindWindowLocked(s.capture) : WindowAtLocked(p);
        if (target) {
          Window* r = RootLocked(target);
          if (r && !r->shell && r->handle != s.foreground && !(r->exStyle & WS_EX_NOACTIVATE)) {
            activate = true;
            root = r->handle;
          }
        }
        break;
      }
      case PenAction::kMove:
        if (!s.penDown) return;
        if (std::abs(p.x - s.pressPos.x) > kHoldDistance || std::abs(p.y - s.pressPos.y) > kHoldDistance)
          s.pressStrayed = true;
        if (s.ncScroll) {
          NcTrackLocked(p, false);
          return;
        }
        if (Window* t = s.capture ? FindWindowLocked(s.capture) : WindowAtLocked(p))
          PostTo(t, WM_MOUSEMOVE, MK_LBUTTON, ClientPoint(t, p));
        return;
      case PenAction::kUp:
        if (std::abs(p.x - s.pressPos.x) > kHoldDistance || std::abs(p.y - s.pressPos.y) > kHoldDistance)
          s.pressStrayed = true;
        s.penDown = false;
        s.pressUp = Clock::now();
        s.keyDown[VK_LBUTTON] = false;
        if (s.ncScroll) {
          NcTrackLocked(p, true);
          return;
        }
        if (Window* t = s.capture ? FindWindowLocked(s.capture) : WindowAtLocked(p))
          PostTo(t, WM_LBUTTONUP, 0, ClientPoint(t, p));
        return;
      case PenAction::kRightDown:
      case PenAction::kRightUp: {
        s.keyDown[VK_RBUTTON] = action == PenAction::kRightDown;
        if (Window* t = s.capture ? FindWindowLocked(s.capture) : WindowAtLocked(p)) {
          PostTo(t, action == PenAction::kRightDown ? WM_RBUTTONDOWN : WM_RBUTTONUP,
                 action == PenAction::kRightDown ? MK_RBUTTON : 0, ClientPoint(t, p));
        }
        return;
      }
    }
  }
  // A tap on a window behind brings it to the front before it sees the tap.
  if (activate) SetForegroundWindow(root);
  std::lock_guard<std::mutex> lk(Sys().lock);
  PenDownLocked(p);
}

void InjectKey(int virtualKey, bool down) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  System& s = Sys();
  int vk = virtualKey & 0xFF;
  const bool repeat = down && s.keyDown[vk];  // a held button repeating
  s.keyDown[vk] = down;
  const HotKey* chosen = nullptr;
  for (const HotKey& h : s.hotkeys) {
    if (h.key != static_cast<UINT>(vk)) continue;
    if (h.id == vk) {
      chosen = &h;
      break;
    }
    if (!chosen) chosen = &h;
  }
  if (chosen) {
    if (down) {
      if (Window* w = FindWindowLocked(chosen->hwnd))
        PostTo(w, WM_HOTKEY, static_cast<WPARAM>(chosen->id),
               MAKELPARAM(chosen->modifiers & 0xFFFF, static_cast<unsigned>(vk)));
    }
    return;
  }
  Window* w = FindWindowLocked(s.focus ? s.focus : s.foreground);
  if (!w) return;
  LPARAM lp = down ? (repeat ? 0x40000001 : 1) : static_cast<LPARAM>(0xC0000001u);
  PostTo(w, down ? WM_KEYDOWN : WM_KEYUP, static_cast<WPARAM>(vk), lp);
}

void InjectChar(char16_t ch) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* w = FindWindowLocked(Sys().focus ? Sys().focus : Sys().foreground);
  if (w) PostTo(w, WM_CHAR, ch, 1);
}

bool WaitIdle(int timeoutMilliseconds) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  DWORD self = GetCurrentThreadId();
  int calm = 0;
  while (Clock::now() < deadline) {
    bool idle = true;
    {
      std::lock_guard<std::mutex> lk(Sys().lock);
      for (auto& [id, q] : Sys().threads) {
        if (!q->alive) continue;
        if (!q->posted.empty() || !q->sent.empty()) idle = false;
      }
      for (auto& [id, w] : Sys().windows) {
        if (w->updatePending && IsVisibleLocked(w.get())) idle = false;
        if (w->thread == self) continue;
        auto it = Sys().threads.find(w->thread);
        if (it != Sys().threads.end() && it->second->alive && !it->second->waiting) idle = false;
      }
    }
    calm = idle ? calm + 1 : 0;
    if (calm >= 3) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

// ---------------------------------------------------------------------------
// Key state, synthetic pen events, cursor

int16_t GetAsyncKeyState(int virtualKey) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  return Sys().keyDown[virtualKey & 0xFF] ? static_cast<int16_t>(0x8000) : 0;
}

int16_t GetKeyState(int virtualKey) { return GetAsyncKeyState(virtualKey); }

void mouse_event(DWORD flags, DWORD dx, DWORD dy, DWORD, uintptr_t) {
  POINT p;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    p = Sys().penPos;
  }
  if (flags & MOUSEEVENTF_ABSOLUTE) p = POINT{static_cast<LONG>(dx), static_cast<LONG>(dy)};
  if (flags & MOUSEEVENTF_MOVE) InjectPen(PenAction::kMove, p.x, p.y);
  if (flags & MOUSEEVENTF_LEFTDOWN) InjectPen(PenAction::kDown, p.x, p.y);
  if (flags & MOUSEEVENTF_LEFTUP) InjectPen(PenAction::kUp, p.x, p.y);
}

BOOL GetCursorPos(POINT* point) {
  if (!point) return FALSE;
  std::lock_guard<std::mutex> lk(Sys().lock);
  *point = Sys().penPos;
  return TRUE;
}

BOOL SetCursorPos(int x, int y) {
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Sys().penPos = POINT{x, y};
  }
  const PresenterHooks* hooks = Hooks();
  if (hooks && hooks->moveCursor) hooks->moveCursor(x, y);
  LogEvent("cursor " + std::to_string(x) + " " + std::to_string(y));
  return TRUE;
}

HCURSOR LoadCursor(HINSTANCE, LPCWSTR name) {
  return reinterpret_cast<HCURSOR>(reinterpret_cast<uintptr_t>(name) << 2);
}

HCURSOR SetCursor(HCURSOR cursor) {
  static const HCURSOR wait = LoadCursor(nullptr, IDC_WAIT);
  static const HCURSOR arrow = LoadCursor(nullptr, IDC_ARROW);
  std::lock_guard<std::mutex> lk(Sys().lock);
  HCURSOR old = Sys().waitCursor ? wait : arrow;
  Sys().waitCursor = cursor == wait ? 1 : 0;
  return old;
}

// ---------------------------------------------------------------------------
// Hot keys

BOOL RegisterHotKey(HWND hwnd, int id, UINT modifiers, UINT virtualKey) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  if (!FindWindowLocked(hwnd)) return FALSE;
  for (HotKey& h : Sys().hotkeys) {
    if (h.hwnd == hwnd && h.id == id) {
      h.modifiers = modifiers;
      h.key = virtualKey & 0xFF;
      return TRUE;
    }
  }
  Sys().hotkeys.push_back(HotKey{hwnd, id, modifiers, virtualKey & 0xFF});
  return TRUE;
}

BOOL UnregisterHotKey(HWND hwnd, int id) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  auto& v = Sys().hotkeys;
  auto it = std::find_if(v.begin(), v.end(), [&](const HotKey& h) { return h.hwnd == hwnd && h.id == id; });
  if (it == v.end()) return FALSE;
  v.erase(it);
  return TRUE;
}

}  // namespace ce

namespace ce {

HWND WindowFromPoint(POINT point) {
  std::lock_guard<std::mutex> lk(internal::Sys().lock);
  Window* w = WindowAtLocked(point);
  return w ? w->handle : nullptr;
}

}  // namespace ce
