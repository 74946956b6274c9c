// Default processing of window messages.
#include <algorithm>

#include "platform/controls/controls.h"

namespace ce {

using namespace internal;

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      HBRUSH brush;
      {
        std::lock_guard<std::mutex> lk(Sys().lock);
        Window* w = FindWindowLocked(hwnd);
        if (!w) return 0;
        brush = w->cls->background;
      }
      if (!brush) return 0;
      RECT r;
      GetClientRect(hwnd, &r);
      FillRect(reinterpret_cast<HDC>(wParam), &r, brush);
      return 1;
    }
    case WM_SETTEXT: {
      std::lock_guard<std::mutex> lk(Sys().lock);
      Window* w = FindWindowLocked(hwnd);
      if (!w) return FALSE;
      w->text = FromW(reinterpret_cast<LPCWSTR>(lParam));
      if (!w->parent) UpdateTaskBarLocked();
      return TRUE;
    }
    case WM_GETTEXT: {
      std::lock_guard<std::mutex> lk(Sys().lock);
      Window* w = FindWindowLocked(hwnd);
      auto* out = reinterpret_cast<LPWSTR>(lParam);
      if (!w || !out || wParam == 0) return 0;
      size_t n = std::min<size_t>(wParam - 1, w->text.size());
      std::copy_n(w->text.data(), n, out);
      out[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH: {
      std::lock_guard<std::mutex> lk(Sys().lock);
      Window* w = FindWindowLocked(hwnd);
      return w ? static_cast<LRESULT>(w->text.size()) : 0;
    }
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_KEYDOWN: DialogNavigationKey(hwnd, static_cast<int>(wParam)); return 0;
    case WM_SETFONT: {
      {
        std::lock_guard<std::mutex> lk(Sys().lock);
        Window* w = FindWindowLocked(hwnd);
        if (!w) return 0;
        w->font = reinterpret_cast<HFONT>(wParam);
      }
      if (lParam) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    }
    case WM_GETFONT: {
      std::lock_guard<std::mutex> lk(Sys().lock);
      Window* w = FindWindowLocked(hwnd);
      return w ? reinterpret_cast<LRESULT>(w->font) : 0;
    }
    default: return 0;
  }
}

}  // namespace ce
