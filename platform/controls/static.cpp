// The "static" control: a line or a block of text, left, centred or right
// aligned, wrapped at words unless it is one line.
#include "platform/controls/controls.h"

namespace ce {

using namespace internal;

namespace internal {

LRESULT StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT r;
      GetClientRect(hwnd, &r);
      FillSolid(dc, r, RGB(255, 255, 255));
      DWORD style = WindowStyle(hwnd);
      UINT format = (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
      switch (style & SS_TYPEMASK) {
        case SS_CENTER: format |= DT_CENTER; break;
        case SS_RIGHT: format |= DT_RIGHT; break;
        default: break;
      }
      // Words wrap unless the no-wrap type or the vertical centring asks
      // for one line.
      if ((style & SS_TYPEMASK) == SS_LEFTNOWORDWRAP) format |= DT_SINGLELINE;
      else if (style & SS_CENTERIMAGE) format |= DT_SINGLELINE | DT_VCENTER;
      else format |= DT_WORDBREAK;
      DrawLabel(dc, hwnd, WindowTextOf(hwnd), r, format, IsWindowEnabled(hwnd) != FALSE);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_SETTEXT: {
      LRESULT r = DefWindowProc(hwnd, msg, wParam, lParam);
      InvalidateRect(hwnd, nullptr, FALSE);
      return r;
    }
    case WM_ENABLE: InvalidateRect(hwnd, nullptr, FALSE); return 0;
    default: return DefWindowProc(hwnd, msg, wParam, lParam);
  }
}

}  // namespace internal

}  // namespace ce
