// The "static" control: a line or block of text.
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
      FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      DWORD style = WindowStyle(hwnd);
      WCHAR text[512];
      GetWindowText(hwnd, text, 512);
      HGDIOBJ old = SelectObject(dc, ControlFont(hwnd));
      SetBkMode(dc, TRANSPARENT);
      bool enabled = IsWindowEnabled(hwnd) != FALSE;
      SetTextColor(dc, enabled ? RGB(0, 0, 0) : GetSysColor(COLOR_GRAYTEXT));
      UINT format = (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
      switch (style & 3) {
        case SS_CENTER: format |= DT_CENTER; break;
        case SS_RIGHT: format |= DT_RIGHT; break;
        default: break;
      }
      if (style & SS_CENTERIMAGE) format |= DT_SINGLELINE | DT_VCENTER;
      else format |= DT_WORDBREAK;
      DrawText(dc, text, -1, &r, format);
      SelectObject(dc, old);
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
