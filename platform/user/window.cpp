// Window classes, creation and destruction, visibility, placement, z-order
// and the window's own data.
#include <algorithm>

#include "platform/kernel/internal.h"

namespace ce {

using namespace internal;

namespace internal {

Window* FindWindowLocked(HWND hwnd) {
  uint32_t id = HandleId(hwnd);
  if (id == 0) return nullptr;
  auto it = Sys().windows.find(id);
  return it == Sys().windows.end() ? nullptr : it->second.get();
}

DWORD WindowThread(HWND hwnd) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* w = FindWindowLocked(hwnd);
  return w ? w->thread : 0;
}

RECT WindowScreenRect(const Window* w) {
  RECT r = w->rect;
  if (w->parent) {
    if (Window* p = FindWindowLocked(w->parent)) {
      RECT pc = ClientScreenRect(p);
      OffsetRect(&r, pc.left, pc.top);
    }
  }
  return r;
}

RECT ClientScreenRect(const Window* w) {
  RECT r = WindowScreenRect(w);
  r.left += w->insets.left;
  r.top += w->insets.top;
  r.right -= w->insets.right;
  r.bottom -= w->insets.bottom;
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

bool IsVisibleLocked(const Window* w) {
  while (w) {
    if (!(w->style & WS_VISIBLE) || w->destroying) return false;
    if (!w->parent) return true;
    w = FindWindowLocked(w->parent);
  }
  return false;
}

bool IsEnabledLocked(const Window* w) {
  while (w) {
    if (w->style & WS_DISABLED) return false;
    if (!w->parent) return true;
    w = FindWindowLocked(w->parent);
  }
  return false;
}

Window* RootLocked(Window* w) {
  while (w && w->parent) w = FindWindowLocked(w->parent);
  return w;
}


// Non-client widths: a one-pixel border and the window's own scroll bars.
// Top-level windows have no caption: their title is shown by the task bar.
RECT ComputeInsets(DWORD style, DWORD exStyle) {
  RECT r{0, 0, 0, 0};
  bool border = ((style & WS_BORDER) && !(style & WS_DLGFRAME)) ||
                (exStyle & WS_EX_CLIENTEDGE);
  if (border) r = RECT{1, 1, 1, 1};
  if (style & WS_VSCROLL) r.right += 13;
  if (style & WS_HSCROLL) r.bottom += 13;
  return r;
}

void BumpZ() { ++Sys().zGeneration; }

}  // namespace internal

namespace {

// Front of its band: topmost windows stay in front of the others, and the
// desktop stays at the back.
void PlaceTopLocked(Window* w) {
  auto& z = Sys().zorder;
  z.erase(std::remove(z.begin(), z.end(), w->handle), z.end());
  size_t at = 0;
  if (!(w->exStyle & WS_EX_TOPMOST)) {
    while (at < z.size()) {
      Window* o = FindWindowLocked(z[at]);
      if (!o || !(o->exStyle & WS_EX_TOPMOST)) break;
      ++at;
    }
  }
  z.insert(z.begin() + static_cast<long>(at), w->handle);
  // Owned windows float above their owner.
  std::vector<HWND> owned;
  for (HWND h : z) {
    Window* o = FindWindowLocked(h);
    if (o && o->owner == w->handle) owned.push_back(h);
  }
  for (auto it = owned.rbegin(); it != owned.rend(); ++it) {
    if (Window* o = FindWindowLocked(*it)) PlaceTopLocked(o);
  }
  BumpZ();
}

void PlaceBottomLocked(Window* w) {
  auto& z = Sys().zorder;
  z.erase(std::remove(z.begin(), z.end(), w->handle), z.end());
  size_t at = z.size();
  if (at > 0 && z.back() == Sys().desktop) --at;
  z.insert(z.begin() + static_cast<long>(at), w->handle);
  BumpZ();
}

void UnlinkLocked(Window* w) {
  if (w->parent) {
    if (Window* p = FindWindowLocked(w->parent)) {
      auto& c = p->children;
      c.erase(std::remove(c.begin(), c.end(), w->handle), c.end());
    }
  } else {
    auto& z = Sys().zorder;
    z.erase(std::remove(z.begin(), z.end(), w->handle), z.end());
  }
  BumpZ();
}

// The next window to be in front after `gone` leaves: its owner when that
// can take it, else the front-most visible, enabled top-level window.
HWND NextActiveLocked(HWND gone) {
  Window* g = FindWindowLocked(gone);
  if (g && g->owner) {
    Window* o = FindWindowLocked(g->owner);
    if (o && IsVisibleLocked(o) && !o->destroying) return o->handle;
  }
  for (HWND h : Sys().zorder) {
    Window* w = FindWindowLocked(h);
    if (!w || h == gone || w->shell || w->destroying) continue;
    if (IsVisibleLocked(w) && !(w->style & WS_DISABLED) && !(w->exStyle & WS_EX_NOACTIVATE))
      return h;
  }
  return nullptr;
}

void DestroyTree(HWND hwnd);

}  // namespace

// ---------------------------------------------------------------------------
// Classes

ATOM RegisterClass(const WNDCLASS* wc) {
  if (!wc || !wc->lpfnWndProc || !wc->lpszClassName || IS_INTRESOURCE(wc->lpszClassName))
    return 0;
  auto cls = std::make_unique<WindowClass>();
  cls->name = wc->lpszClassName;
  cls->style = wc->style;
  cls->proc = wc->lpfnWndProc;
  cls->windowExtra = std::clamp(wc->cbWndExtra, 0, 1024);
  cls->instance = wc->hInstance;
  cls->icon = wc->hIcon;
  cls->background = wc->hbrBackground;
  std::lock_guard<std::mutex> lk(Sys().lock);
  std::u16string key = Lower(cls->name);
  if (Sys().classes.count(key)) {
    SetLastError(1410);  // class already exists
    return 0;
  }
  Sys().classes[key] = std::move(cls);
  return static_cast<ATOM>(0xC000 + Sys().classes.size());
}

BOOL UnregisterClass(LPCWSTR className, HINSTANCE) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  std::u16string key = Lower(FromW(className));
  auto it = Sys().classes.find(key);
  if (it == Sys().classes.end() || it->second->system) return FALSE;
  for (auto& [id, w] : Sys().windows) {
    if (w->cls == it->second.get()) return FALSE;  // still in use
  }
  Sys().classes.erase(it);
  return TRUE;
}

BOOL GetClassInfo(HINSTANCE, LPCWSTR className, WNDCLASS* wc) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  auto it = Sys().classes.find(Lower(FromW(className)));
  if (it == Sys().classes.end() || !wc) return FALSE;
  const WindowClass& c = *it->second;
  *wc = WNDCLASS{};
  wc->style = c.style;
  wc->lpfnWndProc = c.proc;
  wc->cbWndExtra = c.windowExtra;
  wc->hInstance = c.instance;
  wc->hIcon = c.icon;
  wc->hbrBackground = c.background;
  wc->lpszClassName = className;
  return TRUE;
}

// ---------------------------------------------------------------------------
// Creation and destruction

HWND CreateWindowEx(DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x,
                    int y, int width, int height, HWND parent, HMENU menuOrId,
                    HINSTANCE instance, void* param) {
  DWORD thread = GetCurrentThreadId();
  HWND hwnd;
  WNDPROC proc;
  CREATESTRUCT cs{};
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    auto it = Sys().classes.find(Lower(FromW(className)));
    if (it == Sys().classes.end()) {
      SetLastError(1407);  // class not found
      return nullptr;
    }
    Window* parentWindow = parent ? FindWindowLocked(parent) : nullptr;
    if ((style & WS_CHILD) && !parentWindow) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    auto w = std::make_unique<Window>();
    w->id = Sys().nextWindowId++;
    w->handle = MakeHandle<HWND>(w->id);
    w->cls = it->second.get();
    w->proc = w->cls->proc;
    w->text = FromW(title);
    w->style = style;
    w->exStyle = exStyle;
    w->thread = thread;
    w->instance = instance;
    w->extra.assign(static_cast<size_t>(w->cls->windowExtra), 0);
    const DeviceModel& dev = *Sys().device;
    if (style & WS_CHILD) {
      w->parent = parent;
      w->childId = reinterpret_cast<uintptr_t>(menuOrId);
      if (x == CW_USEDEFAULT) x = y = 0;
      if (width == CW_USEDEFAULT) width = height = 0;
    } else {
      if (parentWindow) w->owner = RootLocked(parentWindow)->handle;
      // Default placement is the work area below the task bar.
      if (x == CW_USEDEFAULT) {
        x = 0;
        y = 26;
      }
      if (width == CW_USEDEFAULT) {
        width = dev.width;
        height = dev.height - 26;
      }
    }
    w->rect = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
    w->insets = ComputeInsets(style, exStyle);
    w->style &= ~WS_VISIBLE;  // shown below, after WM_CREATE
    hwnd = w->handle;
    proc = w->proc;
    Window* raw = w.get();
    Sys().windows[w->id] = std::move(w);
    if (style & WS_CHILD) {
      parentWindow->children.push_back(hwnd);
    } else {
      PlaceTopLocked(raw);
    }
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hMenu = menuOrId;
    cs.hwndParent = parent;
    cs.x = x;
    cs.y = y;
    cs.cx = width;
    cs.cy = height;
    cs.style = static_cast<LONG>(style);
    cs.lpszName = title;
    cs.lpszClass = className;
    cs.dwExStyle = exStyle;
  }
  if (proc(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  if (!IsWindow(hwnd)) return nullptr;
  RECT client;
  GetClientRect(hwnd, &client);
  SendMessage(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
  SendMessage(hwnd, WM_MOVE, 0, MAKELPARAM(x, y));
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    if (Window* w = FindWindowLocked(hwnd)) w->created = true;
  }
  if (style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
  return IsWindow(hwnd) ? hwnd : nullptr;
}

namespace {

void DestroyTree(HWND hwnd) {
  SendMessage(hwnd, WM_DESTROY, 0, 0);
  std::vector<HWND> children;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    if (Window* w = FindWindowLocked(hwnd)) children = w->children;
  }
  for (HWND c : children) {
    {
      std::lock_guard<std::mutex> lk(Sys().lock);
      Window* w = FindWindowLocked(c);
      if (!w || w->destroying) continue;
      w->destroying = true;
    }
    DestroyTree(c);
  }
  SendMessage(hwnd, WM_NCDESTROY, 0, 0);
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* w = FindWindowLocked(hwnd);
  if (!w) return;
  UnlinkLocked(w);
  DropWindowReferencesLocked(hwnd);
  auto& t = Sys().timers;
  t.erase(std::remove_if(t.begin(), t.end(), [&](const Timer& x) { return x.hwnd == hwnd; }),
          t.end());
  auto& hk = Sys().hotkeys;
  hk.erase(std::remove_if(hk.begin(), hk.end(), [&](const HotKey& x) { return x.hwnd == hwnd; }),
           hk.end());
  Sys().windows.erase(w->id);
}

}  // namespace

BOOL DestroyWindow(HWND hwnd) {
  LRESULT r;
  if (MarshalToOwner(hwnd, kCallDestroy, 0, 0, &r)) return static_cast<BOOL>(r);
  std::vector<HWND> owned;
  HWND activate = nullptr;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Window* w = FindWindowLocked(hwnd);
    if (!w || w->destroying || w->shell) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    w->destroying = true;
    if (w->style & WS_VISIBLE) {
      RECT r = WindowScreenRect(w);
      w->style &= ~WS_VISIBLE;
      BumpZ();
      InvalidateScreenRectLocked(r);
    }
    for (HWND h : Sys().zorder) {
      Window* o = FindWindowLocked(h);
      if (o && o->owner == hwnd) owned.push_back(h);
    }
    if (!w->parent && Sys().foreground == hwnd) activate = NextActiveLocked(hwnd);
  }
  for (HWND h : owned) DestroyWindow(h);
  DestroyTree(hwnd);
  if (activate && IsWindow(activate)) {
    SetForegroundWindow(activate);
  } else {
    std::lock_guard<std::mutex> lk(Sys().lock);
    if (Sys().foreground == nullptr) UpdateTaskBarLocked();
  }
  return TRUE;
}

BOOL IsWindow(HWND hwnd) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  return FindWindowLocked(hwnd) != nullptr;
}

BOOL IsWindowVisible(HWND hwnd) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* w = FindWindowLocked(hwnd);
  return w && IsVisibleLocked(w);
}

BOOL IsWindowEnabled(HWND hwnd) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* w = FindWindowLocked(hwnd);
  return w && !(w->style & WS_DISABLED);
}

BOOL IsChild(HWND parent, HWND hwnd) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* w = FindWindowLocked(hwnd);
  while (w && w->parent) {
    if (w->parent == parent) return TRUE;
    w = FindWindowLocked(w->parent);
  }
  return FALSE;
}

// ---------------------------------------------------------------------------
// Visibility, enabling, placement

BOOL ShowWindow(HWND hwnd, int command) {
  LRESULT r;
  if (MarshalToOwner(hwnd, kCallShow, static_cast<WPARAM>(command), 0, &r))
    return static_cast<BOOL>(r);
  bool show = command != SW_HIDE && command != SW_MINIMIZE;
  bool wasVisible;
  bool activate = false;
  HWND next = nullptr;
  bool hadFocus = false;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Window* w = FindWindowLocked(hwnd);
    if (!w || w->destroying) return FALSE;
    wasVisible = (w->style & WS_VISIBLE) != 0;
    if (show && !wasVisible) {
      w->style |= WS_VISIBLE;
      BumpZ();
      InvalidateWindowLocked(w, nullptr, true, true);
      activate = !w->parent && !w->shell && command != SW_SHOWNA &&
                 !(w->exStyle & WS_EX_NOACTIVATE);
    } else if (!show && wasVisible) {
      RECT sr = WindowScreenRect(w);
      w->style &= ~WS_VISIBLE;
      BumpZ();
      InvalidateScreenRectLocked(sr);
      if (!w->parent && Sys().foreground == hwnd) next = NextActiveLocked(hwnd);
      for (Window* f = FindWindowLocked(Sys().focus); f; f = FindWindowLocked(f->parent)) {
        if (f == w) hadFocus = true;
      }
    }
  }
  if (show && !wasVisible) SendMessage(hwnd, WM_SHOWWINDOW, TRUE, 0);
  if (!show && wasVisible) SendMessage(hwnd, WM_SHOWWINDOW, FALSE, 0);
  if (activate) SetForegroundWindow(hwnd);
  if (next) SetForegroundWindow(next);
  if (hadFocus && !next) {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Sys().focus = nullptr;
  }
  return wasVisible ? TRUE : FALSE;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  LRESULT r;
  if (MarshalToOwner(hwnd, kCallEnable, static_cast<WPARAM>(enable), 0, &r))
    return static_cast<BOOL>(r);
  bool wasDisabled;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Window* w = FindWindowLocked(hwnd);
    if (!w) return FALSE;
    wasDisabled = (w->style & WS_DISABLED) != 0;
    if (wasDisabled == !enable) return wasDisabled;
    if (enable) w->style &= ~WS_DISABLED;
    else w->style |= WS_DISABLED;
    InvalidateWindowLocked(w, nullptr, true, true);
    if (!enable && Sys().capture == hwnd) Sys().capture = nullptr;
  }
  SendMessage(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
  return wasDisabled;
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  struct Args {
    HWND after;
    int x, y, cx, cy;
    UINT flags;
  } args{insertAfter, x, y, cx, cy, flags};
  LRESULT r;
  if (MarshalToOwner(hwnd, kCallSetPos, 0, reinterpret_cast<LPARAM>(&args), &r))
    return static_cast<BOOL>(r);
  bool sized = false, moved = false, activate = false;
  RECT client{};
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Window* w = FindWindowLocked(hwnd);
    if (!w || w->destroying) return FALSE;
    RECT old = w->rect;
    RECT nr = old;
    if (!(flags & SWP_NOMOVE)) OffsetRect(&nr, x - old.left, y - old.top);
    if (!(flags & SWP_NOSIZE)) {
      nr.right = nr.left + std::max(cx, 0);
      nr.bottom = nr.top + std::max(cy, 0);
    }
    moved = nr.left != old.left || nr.top != old.top;
    sized = (nr.right - nr.left) != (old.right - old.left) ||
            (nr.bottom - nr.top) != (old.bottom - old.top);
    bool visible = IsVisibleLocked(w);
    if (moved || sized) {
      if (visible) InvalidateScreenRectLocked(WindowScreenRect(w));
      w->rect = nr;
      BumpZ();
      if (visible) InvalidateWindowLocked(w, nullptr, true, true);
    }
    if (!(flags & SWP_NOZORDER) && !w->parent) {
      if (insertAfter == HWND_TOPMOST) {
        w->exStyle |= WS_EX_TOPMOST;
        PlaceTopLocked(w);
      } else if (insertAfter == HWND_NOTOPMOST) {
        w->exStyle &= ~WS_EX_TOPMOST;
        PlaceTopLocked(w);
      } else if (insertAfter == HWND_TOP) {
        PlaceTopLocked(w);
      } else if (insertAfter == HWND_BOTTOM) {
        PlaceBottomLocked(w);
      } else if (FindWindowLocked(insertAfter)) {
        auto& z = Sys().zorder;
        z.erase(std::remove(z.begin(), z.end(), hwnd), z.end());
        auto at = std::find(z.begin(), z.end(), insertAfter);
        z.insert(at == z.end() ? z.end() : at + 1, hwnd);
        BumpZ();
      }
      if (visible) InvalidateWindowLocked(w, nullptr, true, true);
      activate = visible && !(flags & SWP_NOACTIVATE) && insertAfter != HWND_BOTTOM &&
                 !w->shell;
    } else if (!(flags & SWP_NOZORDER) && w->parent) {
      if (Window* p = FindWindowLocked(w->parent)) {
        auto& c = p->children;
        c.erase(std::remove(c.begin(), c.end(), hwnd), c.end());
        if (insertAfter == HWND_BOTTOM) c.push_back(hwnd);
        else c.insert(c.begin(), hwnd);
        BumpZ();
        if (visible) InvalidateWindowLocked(w, nullptr, true, true);
      }
    }
    client = RECT{0, 0, std::max<LONG>(0, nr.right - nr.left - w->insets.left - w->insets.right),
                  std::max<LONG>(0, nr.bottom - nr.top - w->insets.top - w->insets.bottom)};
  }
  if (moved) SendMessage(hwnd, WM_MOVE, 0, MAKELPARAM(x, y));
  if (sized) SendMessage(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
  if (flags & SWP_SHOWWINDOW) ShowWindow(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
  if (flags & SWP_HIDEWINDOW) ShowWindow(hwnd, SW_HIDE);
  if (activate) {
    bool isForeground;
    {
      std::lock_guard<std::mutex> lk(Sys().lock);
      isForeground = Sys().foreground == hwnd;
    }
    if (!isForeground) SetForegroundWindow(hwnd);
  }
  return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL) {
  return SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL BringWindowToTop(HWND hwnd) {
  return SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

namespace internal {
void BringToFrontLocked(Window* w) {
  if (!w->parent) PlaceTopLocked(w);
}
}  // namespace internal

}  // namespace ce
