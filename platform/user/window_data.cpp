// Window geometry, relations and lookup, text and the window's own data.
#include <algorithm>

#include "platform/kernel/internal.h"

namespace ce {

using namespace internal;

// ---------------------------------------------------------------------------
// Geometry

BOOL GetClientRect(HWND hwnd, RECT* rect) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* w = FindWindowLocked(hwnd);
  if (!w || !rect) return FALSE;
  RECT c = ClientScreenRect(w);
  *rect = RECT{0, 0, c.right - c.left, c.bottom - c.top};
  return TRUE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* w = FindWindowLocked(hwnd);
  if (!w || !rect) return FALSE;
  *rect = WindowScreenRect(w);
  return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* point) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* w = FindWindowLocked(hwnd);
  if (!w || !point) return FALSE;
  RECT c = ClientScreenRect(w);
  point->x += c.left;
  point->y += c.top;
  return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* point) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* w = FindWindowLocked(hwnd);
  if (!w || !point) return FALSE;
  RECT c = ClientScreenRect(w);
  point->x -= c.left;
  point->y -= c.top;
  return TRUE;
}

int MapWindowPoints(HWND from, HWND to, POINT* points, UINT count) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  POINT a{0, 0}, b{0, 0};
  if (Window* f = FindWindowLocked(from)) {
    RECT c = ClientScreenRect(f);
    a = POINT{c.left, c.top};
  }
  if (Window* t = FindWindowLocked(to)) {
    RECT c = ClientScreenRect(t);
    b = POINT{c.left, c.top};
  }
  int dx = a.x - b.x, dy = a.y - b.y;
  for (UINT i = 0; points && i < count; ++i) {
    points[i].x += dx;
    points[i].y += dy;
  }
  return MAKELPARAM(static_cast<unsigned>(dx), static_cast<unsigned>(dy));
}

// ---------------------------------------------------------------------------
// Relations and lookup

HWND GetParent(HWND hwnd) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* w = FindWindowLocked(hwnd);
  if (!w) return nullptr;
  return w->parent ? w->parent : w->owner;
}

HWND GetWindow(HWND hwnd, UINT relation) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* w = FindWindowLocked(hwnd);
  if (!w) return nullptr;
  if (relation == GW_OWNER) return w->owner;
  if (relation == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
  const std::vector<HWND>* list = &Sys().zorder;
  if (w->parent) {
    Window* p = FindWindowLocked(w->parent);
    if (!p) return nullptr;
    list = &p->children;
  }
  auto it = std::find(list->begin(), list->end(), hwnd);
  switch (relation) {
    case GW_HWNDFIRST: return list->empty() ? nullptr : list->front();
    case GW_HWNDLAST: return list->empty() ? nullptr : list->back();
    case GW_HWNDNEXT:
      return (it == list->end() || it + 1 == list->end()) ? nullptr : *(it + 1);
    case GW_HWNDPREV: return (it == list->end() || it == list->begin()) ? nullptr : *(it - 1);
    default: return nullptr;
  }
}

namespace internal {

HWND FindLocalWindow(const std::u16string* className, const std::u16string* title) {
  std::u16string cls = className ? Lower(*className) : u"";
  std::lock_guard<std::mutex> lk(Sys().lock);
  for (HWND h : Sys().zorder) {
    Window* w = FindWindowLocked(h);
    if (!w || w->destroying) continue;
    if (className && Lower(w->cls->name) != cls) continue;
    if (title && w->text != *title) continue;
    return h;
  }
  return nullptr;
}

}  // namespace internal

HWND FindWindow(LPCWSTR className, LPCWSTR title) {
  std::u16string cls = FromW(className);
  std::u16string name = FromW(title);
  HWND local = FindLocalWindow(className ? &cls : nullptr, title ? &name : nullptr);
  if (local) return local;
  // A window of another emulator process on the same device folder.
  return RemoteFindWindow(cls, title ? &name : nullptr);
}

HWND GetDesktopWindow() {
  std::lock_guard<std::mutex> lk(Sys().lock);
  return Sys().desktop;
}

// ---------------------------------------------------------------------------
// Text and window data

BOOL SetWindowText(HWND hwnd, LPCWSTR text) {
  return SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : u"")) != 0;
}

int GetWindowText(HWND hwnd, LPWSTR buffer, int capacity) {
  if (!buffer || capacity <= 0) return 0;
  buffer[0] = 0;
  return static_cast<int>(
      SendMessage(hwnd, WM_GETTEXT, static_cast<WPARAM>(capacity), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLength(HWND hwnd) {
  return static_cast<int>(SendMessage(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

int GetClassName(HWND hwnd, LPWSTR buffer, int capacity) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* w = FindWindowLocked(hwnd);
  if (!w || !buffer || capacity <= 0) return 0;
  int n = std::min<int>(capacity - 1, static_cast<int>(w->cls->name.size()));
  std::copy_n(w->cls->name.data(), n, buffer);
  buffer[n] = 0;
  return n;
}

intptr_t GetWindowLongPtr(HWND hwnd, int index) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* w = FindWindowLocked(hwnd);
  if (!w) return 0;
  if (w->isDialog && index >= 0) {
    switch (index) {
      case DWL_MSGRESULT: return w->dialogResult;
      case DWL_DLGPROC: return reinterpret_cast<intptr_t>(w->dialogProc);
      case DWL_USER: return w->dialogUser;
      default: return 0;
    }
  }
  switch (index) {
    case GWL_WNDPROC: return reinterpret_cast<intptr_t>(w->proc);
    case GWL_ID: return static_cast<intptr_t>(w->childId);
    case GWL_STYLE: return static_cast<intptr_t>(w->style);
    case GWL_EXSTYLE: return static_cast<intptr_t>(w->exStyle);
    case GWL_USERDATA: return w->userData;
    default:
      if (index >= 0 && static_cast<size_t>(index) + 4 <= w->extra.size()) {
        int32_t v;
        std::copy_n(w->extra.data() + index, 4, reinterpret_cast<uint8_t*>(&v));
        return v;
      }
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
  }
}

intptr_t SetWindowLongPtr(HWND hwnd, int index, intptr_t value) {
  bool restyle = false;
  intptr_t old = 0;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Window* w = FindWindowLocked(hwnd);
    if (!w) return 0;
    if (w->isDialog && index >= 0) {
      switch (index) {
        case DWL_MSGRESULT: old = w->dialogResult; w->dialogResult = value; return old;
        case DWL_DLGPROC:
          old = reinterpret_cast<intptr_t>(w->dialogProc);
          w->dialogProc = reinterpret_cast<DLGPROC>(value);
          return old;
        case DWL_USER: old = w->dialogUser; w->dialogUser = value; return old;
        default: return 0;
      }
    }
    switch (index) {
      case GWL_WNDPROC:
        old = reinterpret_cast<intptr_t>(w->proc);
        if (value) w->proc = reinterpret_cast<WNDPROC>(value);
        return old;
      case GWL_ID: old = static_cast<intptr_t>(w->childId); w->childId = static_cast<uintptr_t>(value); return old;
      case GWL_STYLE:
        old = static_cast<intptr_t>(w->style);
        w->style = (static_cast<DWORD>(value) & ~WS_VISIBLE) | (w->style & WS_VISIBLE);
        restyle = true;
        break;
      case GWL_EXSTYLE:
        old = static_cast<intptr_t>(w->exStyle);
        w->exStyle = static_cast<DWORD>(value);
        restyle = true;
        break;
      case GWL_USERDATA: old = w->userData; w->userData = value; return old;
      default:
        if (index >= 0 && static_cast<size_t>(index) + 4 <= w->extra.size()) {
          int32_t v = static_cast<int32_t>(value), o;
          std::copy_n(w->extra.data() + index, 4, reinterpret_cast<uint8_t*>(&o));
          std::copy_n(reinterpret_cast<const uint8_t*>(&v), 4, w->extra.data() + index);
          return o;
        }
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (restyle) {
      w->insets = ComputeInsets(w->style, w->exStyle);
      BumpZ();
      if (IsVisibleLocked(w)) InvalidateWindowLocked(w, nullptr, true, true);
    }
  }
  return old;
}

LONG GetWindowLong(HWND hwnd, int index) {
  return static_cast<LONG>(GetWindowLongPtr(hwnd, index));
}
LONG SetWindowLong(HWND hwnd, int index, LONG value) {
  return static_cast<LONG>(SetWindowLongPtr(hwnd, index, value));
}

}  // namespace ce
