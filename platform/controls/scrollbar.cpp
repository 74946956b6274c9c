// Scroll bars: the window's own (WS_HSCROLL / WS_VSCROLL, drawn in its
// frame) and the "scrollbar" control.  Both share the geometry, drawing and
// tracking below; each sends WM_HSCROLL / WM_VSCROLL to its owner.
#include <algorithm>

#include "platform/gdi/gdi_internal.h"
#include "platform/controls/controls.h"

namespace ce {

using namespace internal;

namespace internal {

namespace {

constexpr int kArrow = 13;

struct Geometry {
  int start;  // along the bar
  int length;
  int thumbStart;
  int thumbLength;
};

Geometry Measure(const RECT& r, const ScrollState& s, bool vertical) {
  Geometry g;
  g.start = vertical ? r.top : r.left;
  g.length = vertical ? r.bottom - r.top : r.right - r.left;
  int arrow = std::min(kArrow, g.length / 2);
  int track = std::max(0, g.length - 2 * arrow);
  int range = s.maxPos - s.minPos;
  int span = range - (s.page > 0 ? static_cast<int>(s.page) - 1 : 0);
  g.thumbLength = s.page > 0 && range >= 0
                      ? std::max(8, static_cast<int>(static_cast<int64_t>(track) * s.page / (range + 1)))
                      : std::min(kArrow, track);
  g.thumbLength = std::min(g.thumbLength, track);
  int pos = s.tracking ? s.trackPos : s.pos;
  int offset = span > 0 ? static_cast<int>(static_cast<int64_t>(std::clamp(pos - s.minPos, 0, span)) *
                                           (track - g.thumbLength) / span)
                        : 0;
  g.thumbStart = g.start + arrow + offset;
  return g;
}

}  // namespace

void DrawScrollBar(HDC dc, RECT r, const ScrollState& s, bool vertical, bool enabled) {
  FillRect(dc, &r, GetSysColorBrush(COLOR_SCROLLBAR));
  Geometry g = Measure(r, s, vertical);
  int arrow = std::min(kArrow, g.length / 2);
  RECT a = vertical ? RECT{r.left, r.top, r.right, r.top + arrow}
                    : RECT{r.left, r.top, r.left + arrow, r.bottom};
  RECT b = vertical ? RECT{r.left, r.bottom - arrow, r.right, r.bottom}
                    : RECT{r.right - arrow, r.top, r.right, r.bottom};
  DrawArrowBox(dc, a, vertical ? 0 : 2, enabled, s.pressed == SB_LINEUP);
  DrawArrowBox(dc, b, vertical ? 1 : 3, enabled, s.pressed == SB_LINEDOWN);
  if (enabled && s.maxPos > s.minPos && g.thumbLength > 0) {
    RECT t = vertical ? RECT{r.left, g.thumbStart, r.right, g.thumbStart + g.thumbLength}
                      : RECT{g.thumbStart, r.top, g.thumbStart + g.thumbLength, r.bottom};
    FillSolid(dc, t, kFaceColor);
    FrameSolid(dc, t, RGB(0, 0, 0), 1);
  }
}

int ScrollHitPart(const RECT& r, const ScrollState& s, bool vertical, POINT p) {
  Geometry g = Measure(r, s, vertical);
  int arrow = std::min(kArrow, g.length / 2);
  int along = (vertical ? p.y : p.x);
  if (along < g.start + arrow) return SB_LINEUP;
  if (along >= g.start + g.length - arrow) return SB_LINEDOWN;
  if (s.maxPos <= s.minPos) return -1;
  if (along < g.thumbStart) return SB_PAGEUP;
  if (along >= g.thumbStart + g.thumbLength) return SB_PAGEDOWN;
  return SB_THUMBTRACK;
}

int ScrollTrackPos(const RECT& r, const ScrollState& s, bool vertical, int delta) {
  Geometry g = Measure(r, s, vertical);
  int arrow = std::min(kArrow, g.length / 2);
  int track = std::max(0, g.length - 2 * arrow);
  int range = s.maxPos - s.minPos;
  int span = range - (s.page > 0 ? static_cast<int>(s.page) - 1 : 0);
  int free = track - g.thumbLength;
  if (span <= 0 || free <= 0) return s.pos;
  int base = static_cast<int>(static_cast<int64_t>(std::clamp(s.pos - s.minPos, 0, span)) * free / span);
  int at = std::clamp(base + delta, 0, free);
  return s.minPos + static_cast<int>((static_cast<int64_t>(at) * span + free / 2) / free);
}

ScrollState ClampScroll(ScrollState s) {
  if (s.maxPos < s.minPos) s.maxPos = s.minPos;
  int top = s.maxPos - (s.page > 0 ? static_cast<int>(s.page) - 1 : 0);
  s.pos = std::clamp(s.pos, s.minPos, std::max(s.minPos, top));
  return s;
}

}  // namespace internal

// ---------------------------------------------------------------------------
// The scroll bar API

namespace {

bool IsControl(int bar) { return bar == SB_CTL; }

}  // namespace

int SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO* info, BOOL redraw) {
  if (!info) return 0;
  if (IsControl(bar))
    return static_cast<int>(SendMessage(hwnd, SBM_SETSCROLLINFO, static_cast<WPARAM>(redraw),
                                        reinterpret_cast<LPARAM>(info)));
  if (bar != SB_HORZ && bar != SB_VERT) return 0;
  int pos;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Window* w = FindWindowLocked(hwnd);
    if (!w) return 0;
    ScrollState& s = w->scroll[bar];
    if (info->fMask & SIF_RANGE) {
      s.minPos = info->nMin;
      s.maxPos = info->nMax;
    }
    if (info->fMask & SIF_PAGE) s.page = info->nPage;
    if (info->fMask & SIF_POS) s.pos = info->nPos;
    s = ClampScroll(s);
    pos = s.pos;
  }
  if (redraw) RedrawFrame(hwnd);
  return pos;
}

BOOL GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* info) {
  if (!info) return FALSE;
  if (IsControl(bar))
    return static_cast<BOOL>(SendMessage(hwnd, SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(info)));
  if (bar != SB_HORZ && bar != SB_VERT) return FALSE;
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* w = FindWindowLocked(hwnd);
  if (!w) return FALSE;
  const ScrollState& s = w->scroll[bar];
  if (info->fMask & SIF_RANGE) {
    info->nMin = s.minPos;
    info->nMax = s.maxPos;
  }
  if (info->fMask & SIF_PAGE) info->nPage = s.page;
  if (info->fMask & SIF_POS) info->nPos = s.pos;
  if (info->fMask & SIF_TRACKPOS) info->nTrackPos = s.tracking ? s.trackPos : s.pos;
  return TRUE;
}

int SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw) {
  int old = GetScrollPos(hwnd, bar);
  SCROLLINFO si{sizeof(SCROLLINFO), SIF_POS, 0, 0, 0, pos, 0};
  SetScrollInfo(hwnd, bar, &si, redraw);
  return old;
}

int GetScrollPos(HWND hwnd, int bar) {
  SCROLLINFO si{sizeof(SCROLLINFO), SIF_POS, 0, 0, 0, 0, 0};
  return GetScrollInfo(hwnd, bar, &si) ? si.nPos : 0;
}

BOOL SetScrollRange(HWND hwnd, int bar, int minPos, int maxPos, BOOL redraw) {
  SCROLLINFO si{sizeof(SCROLLINFO), SIF_RANGE, minPos, maxPos, 0, 0, 0};
  SetScrollInfo(hwnd, bar, &si, redraw);
  return TRUE;
}

BOOL GetScrollRange(HWND hwnd, int bar, int* minPos, int* maxPos) {
  SCROLLINFO si{sizeof(SCROLLINFO), SIF_RANGE, 0, 0, 0, 0, 0};
  if (!GetScrollInfo(hwnd, bar, &si)) return FALSE;
  if (minPos) *minPos = si.nMin;
  if (maxPos) *maxPos = si.nMax;
  return TRUE;
}

// ---------------------------------------------------------------------------
// The "scrollbar" control

namespace internal {

LRESULT ScrollBarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto state = [&](ScrollState* out, DWORD* style) {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Window* w = FindWindowLocked(hwnd);
    if (!w) return false;
    *out = w->scroll[0];
    *style = w->style;
    return true;
  };
  auto store = [&](const ScrollState& s) {
    std::lock_guard<std::mutex> lk(Sys().lock);
    if (Window* w = FindWindowLocked(hwnd)) w->scroll[0] = ClampScroll(s);
  };
  ScrollState s;
  DWORD style;
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      if (state(&s, &style)) {
        RECT r;
        GetClientRect(hwnd, &r);
        DrawScrollBar(dc, r, s, (style & SBS_VERT) != 0, !(style & WS_DISABLED));
      }
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND: return 1;
    case SBM_SETPOS: {
      if (!state(&s, &style)) return 0;
      int old = s.pos;
      s.pos = static_cast<int>(wParam);
      store(s);
      if (lParam) InvalidateRect(hwnd, nullptr, FALSE);
      return old;
    }
    case SBM_GETPOS: return state(&s, &style) ? s.pos : 0;
    case SBM_SETRANGE: {
      if (!state(&s, &style)) return 0;
      s.minPos = static_cast<int>(wParam);
      s.maxPos = static_cast<int>(lParam);
      store(s);
      InvalidateRect(hwnd, nullptr, FALSE);
      return s.pos;
    }
    case SBM_GETRANGE:
      if (!state(&s, &style)) return 0;
      if (wParam) *reinterpret_cast<int*>(wParam) = s.minPos;
      if (lParam) *reinterpret_cast<int*>(lParam) = s.maxPos;
      return 0;
    case SBM_SETSCROLLINFO: {
      const auto* info = reinterpret_cast<const SCROLLINFO*>(lParam);
      if (!info || !state(&s, &style)) return 0;
      if (info->fMask & SIF_RANGE) {
        s.minPos = info->nMin;
        s.maxPos = info->nMax;
      }
      if (info->fMask & SIF_PAGE) s.page = info->nPage;
      if (info->fMask & SIF_POS) s.pos = info->nPos;
      store(s);
      if (wParam) InvalidateRect(hwnd, nullptr, FALSE);
      state(&s, &style);
      return s.pos;
    }
    case SBM_GETSCROLLINFO: {
      auto* info = reinterpret_cast<SCROLLINFO*>(lParam);
      if (!info || !state(&s, &style)) return FALSE;
      if (info->fMask & SIF_RANGE) {
        info->nMin = s.minPos;
        info->nMax = s.maxPos;
      }
      if (info->fMask & SIF_PAGE) info->nPage = s.page;
      if (info->fMask & SIF_POS) info->nPos = s.pos;
      if (info->fMask & SIF_TRACKPOS) info->nTrackPos = s.tracking ? s.trackPos : s.pos;
      return TRUE;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      if (!state(&s, &style)) return 0;
      bool vertical = (style & SBS_VERT) != 0;
      RECT r;
      GetClientRect(hwnd, &r);
      POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      int part = ScrollHitPart(r, s, vertical, p);
      if (part < 0) return 0;
      s.pressed = part;
      s.tracking = part == SB_THUMBTRACK;
      s.trackPos = s.pos;
      store(s);
      SetCapture(hwnd);
      {
        std::lock_guard<std::mutex> lk(Sys().lock);
        if (Window* w = FindWindowLocked(hwnd)) w->userData = vertical ? p.y : p.x;
      }
      InvalidateRect(hwnd, nullptr, FALSE);
      if (part != SB_THUMBTRACK) {
        SendMessage(GetParent(hwnd), vertical ? WM_VSCROLL : WM_HSCROLL,
                    MAKEWPARAM(static_cast<unsigned>(part), static_cast<unsigned>(s.pos)),
                    reinterpret_cast<LPARAM>(hwnd));
      }
      return 0;
    }
    case WM_MOUSEMOVE: {
      if (!state(&s, &style) || !s.tracking) return 0;
      bool vertical = (style & SBS_VERT) != 0;
      RECT r;
      GetClientRect(hwnd, &r);
      int start;
      {
        std::lock_guard<std::mutex> lk(Sys().lock);
        Window* w = FindWindowLocked(hwnd);
        start = w ? static_cast<int>(w->userData) : 0;
      }
      int delta = (vertical ? GET_Y_LPARAM(lParam) : GET_X_LPARAM(lParam)) - start;
      int pos = ScrollTrackPos(r, s, vertical, delta);
      if (pos != s.trackPos) {
        s.trackPos = pos;
        store(s);
        InvalidateRect(hwnd, nullptr, FALSE);
        SendMessage(GetParent(hwnd), vertical ? WM_VSCROLL : WM_HSCROLL,
                    MAKEWPARAM(SB_THUMBTRACK, static_cast<unsigned>(pos)),
                    reinterpret_cast<LPARAM>(hwnd));
      }
      return 0;
    }
    case WM_LBUTTONUP: {
      if (!state(&s, &style) || s.pressed < 0) return 0;
      bool vertical = (style & SBS_VERT) != 0;
      ReleaseCapture();
      bool tracked = s.tracking;
      int pos = s.trackPos;
      s.tracking = false;
      s.pressed = -1;
      store(s);
      HWND parent = GetParent(hwnd);
      UINT m = vertical ? WM_VSCROLL : WM_HSCROLL;
      if (tracked)
        SendMessage(parent, m, MAKEWPARAM(SB_THUMBPOSITION, static_cast<unsigned>(pos)),
                    reinterpret_cast<LPARAM>(hwnd));
      SendMessage(parent, m, MAKEWPARAM(SB_ENDSCROLL, 0), reinterpret_cast<LPARAM>(hwnd));
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    }
    case WM_ENABLE: InvalidateRect(hwnd, nullptr, FALSE); return 0;
    default: return DefWindowProc(hwnd, msg, wParam, lParam);
  }
}

}  // namespace internal

}  // namespace ce
