// Invalid regions (one bounding rectangle per window), WM_PAINT through
// BeginPaint/EndPaint, WM_ERASEBKGND, the non-client frame, and the visible
// parts of a window that its DCs may draw on.
#include <algorithm>

#include "platform/gdi/gdi_internal.h"

namespace ce {

using namespace internal;

namespace internal {

namespace {

// r minus cut, as up to four rectangles.
void Subtract(std::vector<RECT>& rects, const RECT& cut) {
  std::vector<RECT> out;
  for (const RECT& r : rects) {
    RECT x;
    if (!IntersectRect(&x, &r, &cut)) {
      out.push_back(r);
      continue;
    }
    if (r.top < x.top) out.push_back(RECT{r.left, r.top, r.right, x.top});
    if (x.bottom < r.bottom) out.push_back(RECT{r.left, x.bottom, r.right, r.bottom});
    if (r.left < x.left) out.push_back(RECT{r.left, x.top, x.left, x.bottom});
    if (x.right < r.right) out.push_back(RECT{x.right, x.top, r.right, x.bottom});
  }
  rects.swap(out);
}

}  // namespace

std::vector<RECT> VisibleRectsLocked(const Window* w, bool client) {
  std::vector<RECT> rects;
  if (!IsVisibleLocked(w)) return rects;
  const ScreenState& s = Screen();
  RECT base = client ? ClientScreenRect(w) : WindowScreenRect(w);
  RECT screen{0, 0, s.width, s.height};
  if (!IntersectRect(&base, &base, &screen)) return rects;
  for (const Window* p = FindWindowLocked(w->parent); p; p = FindWindowLocked(p->parent)) {
    RECT pc = ClientScreenRect(p);
    if (!IntersectRect(&base, &base, &pc)) return rects;
  }
  rects.push_back(base);
  // Children are never painted over by their parent.
  for (HWND c : w->children) {
    const Window* cw = FindWindowLocked(c);
    if (cw && (cw->style & WS_VISIBLE)) Subtract(rects, WindowScreenRect(cw));
  }
  // Siblings in front, at every level up to the top-level window.
  const Window* cur = w;
  while (cur->parent) {
    const Window* p = FindWindowLocked(cur->parent);
    if (!p) break;
    for (HWND sib : p->children) {
      if (sib == cur->handle) break;
      const Window* sw = FindWindowLocked(sib);
      if (sw && (sw->style & WS_VISIBLE)) Subtract(rects, WindowScreenRect(sw));
    }
    cur = p;
  }
  for (HWND h : Sys().zorder) {
    if (h == cur->handle) break;
    const Window* o = FindWindowLocked(h);
    if (o && (o->style & WS_VISIBLE) && !o->destroying) Subtract(rects, WindowScreenRect(o));
  }
  return rects;
}

void InvalidateWindowLocked(Window* w, const RECT* clientRect, bool erase, bool children) {
  RECT c = ClientScreenRect(w);
  RECT full{0, 0, c.right - c.left, c.bottom - c.top};
  RECT r = full;
  if (clientRect) IntersectRect(&r, clientRect, &full);
  if (!clientRect) w->frameDirty = true;
  if (!IsRectEmpty(&r)) {
    UnionRect(&w->update, &w->update, &r);
    w->erasePending = w->erasePending || erase;
  }
  if (!IsRectEmpty(&r) || w->frameDirty) {
    w->updatePending = true;
    WakeThreadLocked(w->thread);
  }
  if (!children) return;
  for (HWND h : w->children) {
    Window* cw = FindWindowLocked(h);
    if (!cw || !(cw->style & WS_VISIBLE)) continue;
    if (clientRect) {
      RECT cr = WindowScreenRect(cw);
      OffsetRect(&cr, -c.left, -c.top);
      RECT x;
      if (!IntersectRect(&x, &cr, &r)) continue;
    }
    InvalidateWindowLocked(cw, nullptr, erase, true);
  }
}

void InvalidateScreenRectLocked(const RECT& screen) {
  for (auto& [id, w] : Sys().windows) {
    if (!IsVisibleLocked(w.get())) continue;
    RECT wr = WindowScreenRect(w.get());
    RECT x;
    if (!IntersectRect(&x, &wr, &screen)) continue;
    RECT c = ClientScreenRect(w.get());
    if (!EqualRect(&x, &c) || w->insets.left || w->insets.top || w->insets.right ||
        w->insets.bottom)
      w->frameDirty = true;
    RECT inClient;
    if (IntersectRect(&inClient, &x, &c)) {
      OffsetRect(&inClient, -c.left, -c.top);
      UnionRect(&w->update, &w->update, &inClient);
      w->erasePending = true;
    }
    w->updatePending = true;
    WakeThreadLocked(w->thread);
  }
}

}  // namespace internal

namespace {

// The one-pixel border and the window's own scroll bars.
void DrawFrame(HWND hwnd) {
  RECT wr;
  DWORD style;
  ScrollState scroll[2];
  RECT insets;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Window* w = FindWindowLocked(hwnd);
    if (!w) return;
    wr = WindowScreenRect(w);
    style = w->style;
    insets = w->insets;
    scroll[0] = w->scroll[0];
    scroll[1] = w->scroll[1];
  }
  if (!insets.left && !insets.top && !insets.right && !insets.bottom) return;
  HDC dc = GetWindowDC(hwnd);
  int width = wr.right - wr.left, height = wr.bottom - wr.top;
  if (insets.left) {
    HGDIOBJ old = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, 0, 0, width, height);
    SelectObject(dc, old);
  }
  bool enabled = !(style & WS_DISABLED);
  int b = insets.left ? 1 : 0;
  if (style & WS_VSCROLL) {
    RECT r{width - b - 13, b, width - b, height - b - ((style & WS_HSCROLL) ? 13 : 0)};
    DrawScrollBar(dc, r, scroll[SB_VERT], true, enabled);
  }
  if (style & WS_HSCROLL) {
    RECT r{b, height - b - 13, width - b - ((style & WS_VSCROLL) ? 13 : 0), height - b};
    DrawScrollBar(dc, r, scroll[SB_HORZ], false, enabled);
  }
  if ((style & WS_VSCROLL) && (style & WS_HSCROLL)) {
    RECT corner{width - b - 13, height - b - 13, width - b, height - b};
    FillRect(dc, &corner, GetSysColorBrush(COLOR_BTNFACE));
  }
  ReleaseDC(hwnd, dc);
}

}  // namespace

namespace internal {
void RedrawFrame(HWND hwnd) { DrawFrame(hwnd); }
}  // namespace internal

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  if (!hwnd) {
    // The whole screen: every window, the task bar included.
    const ScreenState& s = Screen();
    InvalidateScreenRectLocked(RECT{0, 0, s.width, s.height});
    return TRUE;
  }
  Window* w = FindWindowLocked(hwnd);
  if (!w) return FALSE;
  InvalidateWindowLocked(w, rect, erase != FALSE, false);
  return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* w = FindWindowLocked(hwnd);
  if (!w) return FALSE;
  if (!rect) {
    w->update = RECT{0, 0, 0, 0};
    w->updatePending = false;
    w->erasePending = false;
    w->frameDirty = false;
    return TRUE;
  }
  // A bounding box can only shrink when the rectangle covers whole sides.
  RECT u = w->update;
  if (rect->left <= u.left && rect->right >= u.right) {
    if (rect->top <= u.top) u.top = std::max(u.top, rect->bottom);
    if (rect->bottom >= u.bottom) u.bottom = std::min(u.bottom, rect->top);
  }
  if (rect->top <= u.top && rect->bottom >= u.bottom) {
    if (rect->left <= u.left) u.left = std::max(u.left, rect->right);
    if (rect->right >= u.right) u.right = std::min(u.right, rect->left);
  }
  w->update = IsRectEmpty(&u) ? RECT{0, 0, 0, 0} : u;
  if (IsRectEmpty(&w->update) && !w->frameDirty) {
    w->updatePending = false;
    w->erasePending = false;
  }
  return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, RECT* rect, BOOL) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* w = FindWindowLocked(hwnd);
  if (!w) return FALSE;
  if (rect) *rect = w->update;
  return !IsRectEmpty(&w->update);
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
  if (!ps) return nullptr;
  *ps = PAINTSTRUCT{};
  RECT paint;
  bool erase, frame;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Window* w = FindWindowLocked(hwnd);
    if (!w) return nullptr;
    paint = w->update;
    erase = w->erasePending;
    frame = w->frameDirty;
    w->update = RECT{0, 0, 0, 0};
    w->updatePending = false;
    w->erasePending = false;
    w->frameDirty = false;
  }
  if (frame) DrawFrame(hwnd);
  HDC dc = CreateWindowDc(hwnd, true, &paint);
  ps->hdc = dc;
  ps->rcPaint = paint;
  ps->fErase = TRUE;
  if (erase && !IsRectEmpty(&paint)) {
    ps->fErase = SendMessage(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? FALSE : TRUE;
  }
  return dc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
  if (!ps) return FALSE;
  ReleaseDC(hwnd, ps->hdc);
  return TRUE;
}

BOOL UpdateWindow(HWND hwnd) {
  bool pending;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Window* w = FindWindowLocked(hwnd);
    if (!w) return FALSE;
    pending = w->updatePending && IsVisibleLocked(w);
  }
  if (pending) SendMessage(hwnd, WM_PAINT, 0, 0);
  return TRUE;
}

}  // namespace ce
