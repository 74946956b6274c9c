// Focus, activation (the window in front), and pen capture.
#include <algorithm>

#include "platform/kernel/internal.h"

namespace ce {

using namespace internal;

namespace internal {

void DropWindowReferencesLocked(HWND hwnd) {
  System& s = Sys();
  if (s.focus == hwnd) s.focus = nullptr;
  if (s.capture == hwnd) s.capture = nullptr;
  if (s.penTarget == hwnd) s.penTarget = nullptr;
  if (s.lastDownWindow == hwnd) s.lastDownWindow = nullptr;
  if (s.foreground == hwnd) {
    s.foreground = nullptr;
    UpdateTaskBarLocked();
  }
}

}  // namespace internal

HWND SetFocus(HWND hwnd) {
  LRESULT r;
  if (hwnd && MarshalToOwner(hwnd, kCallSetFocus, 0, 0, &r)) return reinterpret_cast<HWND>(r);
  HWND root = nullptr;
  bool activate = false;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    if (hwnd) {
      Window* w = FindWindowLocked(hwnd);
      if (!w || w->destroying) return nullptr;
      root = RootLocked(w)->handle;
      activate = root != Sys().foreground && !RootLocked(w)->shell;
    }
    if (Sys().focus == hwnd) return hwnd;
  }
  if (activate) SetForegroundWindow(root);
  HWND old;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    old = Sys().focus;
    if (old == hwnd) return old;
    Sys().focus = hwnd;
  }
  if (old && IsWindow(old)) SendMessage(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  if (hwnd && IsWindow(hwnd)) SendMessage(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  return old;
}

HWND GetFocus() {
  std::lock_guard<std::mutex> lk(Sys().lock);
  return Sys().focus;
}

BOOL SetForegroundWindow(HWND hwnd) {
  if ((reinterpret_cast<uintptr_t>(hwnd) & 3) == 2 ||
      (reinterpret_cast<uintptr_t>(hwnd) & 3) == 3)
    return RemoteSetForeground(hwnd);
  // Bit 0 asks for the application's topmost owned window.
  bool ownedTop = (reinterpret_cast<uintptr_t>(hwnd) & 1) != 0;
  hwnd = reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(hwnd) & ~uintptr_t{1});
  HWND target, old;
  bool focusInside = false;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Window* w = FindWindowLocked(hwnd);
    if (!w || w->destroying) return FALSE;
    Window* root = RootLocked(w);
    if (root->shell) return FALSE;
    target = root->handle;
    BringToFrontLocked(root);
    if (ownedTop) {
      for (HWND h : Sys().zorder) {
        Window* o = FindWindowLocked(h);
        for (Window* x = o; x && x->owner; x = FindWindowLocked(x->owner)) {
          if (x->owner == root->handle && (o->style & WS_VISIBLE)) {
            target = h;
            break;
          }
        }
        if (target != root->handle) break;
      }
    }
    old = Sys().foreground;
    Sys().foreground = target;
    UpdateTaskBarLocked();
    for (Window* f = FindWindowLocked(Sys().focus); f; f = FindWindowLocked(f->parent)) {
      if (f->handle == target) focusInside = true;
    }
  }
  if (old != target) {
    if (old && IsWindow(old))
      SendMessage(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(target));
    SendMessage(target, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
  }
  if (!focusInside) SetFocus(target);
  return TRUE;
}

HWND GetForegroundWindow() {
  std::lock_guard<std::mutex> lk(Sys().lock);
  return Sys().foreground;
}

HWND SetActiveWindow(HWND hwnd) {
  HWND old = GetForegroundWindow();
  SetForegroundWindow(hwnd);
  return old;
}

HWND GetActiveWindow() { return GetForegroundWindow(); }

HWND SetCapture(HWND hwnd) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  HWND old = Sys().capture;
  if (FindWindowLocked(hwnd)) Sys().capture = hwnd;
  return old;
}

BOOL ReleaseCapture() {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Sys().capture = nullptr;
  return TRUE;
}

HWND GetCapture() {
  std::lock_guard<std::mutex> lk(Sys().lock);
  return Sys().capture;
}

}  // namespace ce
