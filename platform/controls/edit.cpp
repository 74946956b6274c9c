// The "edit" control, single line: typing through WM_CHAR, a text limit,
// read-only and number-only styles, and the change and focus notifications
// (a change also when the program sets the text).
#include <algorithm>

#include "platform/controls/controls.h"

namespace ce {

using namespace internal;

namespace {

struct EditState {
  UINT limit = 30000;
  int selStart = 0;
  int selEnd = 0;
};

std::u16string Text(HWND hwnd) {
  int n = GetWindowTextLength(hwnd);
  std::u16string s(static_cast<size_t>(n) + 1, u'\0');
  GetWindowText(hwnd, s.data(), n + 1);
  s.resize(static_cast<size_t>(n));
  return s;
}

void Store(HWND hwnd, const std::u16string& text) {
  DefWindowProc(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  InvalidateRect(hwnd, nullptr, FALSE);
  NotifyParent(hwnd, EN_CHANGE);
}

void Paint(HWND hwnd, HDC dc) {
  RECT r;
  GetClientRect(hwnd, &r);
  DWORD style = WindowStyle(hwnd);
  bool enabled = IsWindowEnabled(hwnd) != FALSE;
  bool readOnly = (style & ES_READONLY) != 0;
  FillRect(dc, &r, (readOnly || !enabled) ? GetSysColorBrush(COLOR_BTNFACE)
                                           : static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  HGDIOBJ old = SelectObject(dc, ControlFont(hwnd));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, enabled ? RGB(0, 0, 0) : GetSysColor(COLOR_GRAYTEXT));
  std::u16string text = Text(hwnd);
  RECT inner{r.left + 2, r.top, r.right - 2, r.bottom};
  UINT align = (style & 3) == ES_CENTER ? DT_CENTER : (style & 3) == ES_RIGHT ? DT_RIGHT : DT_LEFT;
  // Keep the end of a long text in view.
  SIZE size;
  GetTextExtentPoint32(dc, text.c_str(), static_cast<int>(text.size()), &size);
  if (size.cx > inner.right - inner.left) {
    inner.left = inner.right - size.cx;
    align = DT_LEFT;
  }
  DrawText(dc, text.c_str(), -1, &inner, align | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  if (GetFocus() == hwnd && !readOnly) {
    int x = align == DT_LEFT ? inner.left + size.cx : align == DT_RIGHT ? inner.right
                                                                         : (inner.left + inner.right + size.cx) / 2;
    x = std::min<int>(x, r.right - 2);
    RECT caret{x, r.top + 3, x + 1, r.bottom - 3};
    FillRect(dc, &caret, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  }
  SelectObject(dc, old);
}

}  // namespace

namespace internal {

LRESULT EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_NCDESTROY: FreeControlState(hwnd); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      Paint(hwnd, dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_SETTEXT: {
      EditState* s = ControlState<EditState>(hwnd);
      std::u16string text = FromW(reinterpret_cast<LPCWSTR>(lParam));
      if (text.size() > s->limit) text.resize(s->limit);
      Store(hwnd, text);
      s->selStart = s->selEnd = static_cast<int>(text.size());
      return TRUE;
    }
    case WM_CHAR: {
      DWORD style = WindowStyle(hwnd);
      if (style & ES_READONLY) return 0;
      EditState* s = ControlState<EditState>(hwnd);
      std::u16string text = Text(hwnd);
      char16_t c = static_cast<char16_t>(wParam);
      bool all = s->selStart == 0 && s->selEnd >= static_cast<int>(text.size()) && s->selEnd > 0;
      if (c == 8) {
        if (all) text.clear();
        else if (!text.empty()) text.pop_back();
      } else if (c >= 32) {
        if ((style & ES_NUMBER) && (c < u'0' || c > u'9')) {
          MessageBeep(0);
          return 0;
        }
        if (all) text.clear();
        if (text.size() >= s->limit) {
          MessageBeep(0);
          return 0;
        }
        text.push_back(c);
      } else {
        return 0;
      }
      s->selStart = s->selEnd = static_cast<int>(text.size());
      Store(hwnd, text);
      return 0;
    }
    case EM_LIMITTEXT: ControlState<EditState>(hwnd)->limit = wParam ? static_cast<UINT>(wParam) : 30000; return 0;
    case EM_SETREADONLY: {
      DWORD style = WindowStyle(hwnd);
      SetWindowLong(hwnd, GWL_STYLE, static_cast<LONG>(wParam ? style | ES_READONLY : style & ~ES_READONLY));
      InvalidateRect(hwnd, nullptr, FALSE);
      return TRUE;
    }
    case EM_SETSEL: {
      EditState* s = ControlState<EditState>(hwnd);
      int n = GetWindowTextLength(hwnd);
      int a = static_cast<int>(static_cast<intptr_t>(wParam)), b = static_cast<int>(lParam);
      if (a < 0) a = b = n;
      if (b < 0 || b > n) b = n;
      s->selStart = std::clamp(a, 0, n);
      s->selEnd = std::clamp(b, 0, n);
      return 0;
    }
    case EM_GETSEL: {
      EditState* s = ControlState<EditState>(hwnd);
      if (wParam) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(s->selStart);
      if (lParam) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(s->selEnd);
      return MAKELRESULT(static_cast<unsigned>(s->selStart), static_cast<unsigned>(s->selEnd));
    }
    case WM_LBUTTONDOWN:
      if (GetFocus() != hwnd) SetFocus(hwnd);
      return 0;
    case WM_SETFOCUS:
      InvalidateRect(hwnd, nullptr, FALSE);
      NotifyParent(hwnd, EN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      InvalidateRect(hwnd, nullptr, FALSE);
      NotifyParent(hwnd, EN_KILLFOCUS);
      return 0;
    case WM_ENABLE: InvalidateRect(hwnd, nullptr, FALSE); return 0;
    case WM_GETDLGCODE: return 0;
    default: return DefWindowProc(hwnd, msg, wParam, lParam);
  }
}

}  // namespace internal

}  // namespace ce
