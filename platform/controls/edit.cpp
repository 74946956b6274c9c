// The "edit" control, single line: a caret moved by Left, Right, Home and
// End, typing through WM_CHAR, Backspace and Delete, a selection that typing
// replaces, a text limit, the read-only and digits-only styles, and the
// change and focus notifications (a change also when the program sets the
// text).
#include <algorithm>

#include "platform/controls/controls.h"

namespace ce {

using namespace internal;

namespace {

struct EditState {
  UINT limit = 30000;
  int anchor = 0;  // the selection runs from the anchor to the caret
  int caret = 0;
  int scroll = 0;  // pixels of text left of the visible part
};

constexpr int kMargin = 2;

int Lo(const EditState* s) { return std::min(s->anchor, s->caret); }
int Hi(const EditState* s) { return std::max(s->anchor, s->caret); }

void Store(HWND hwnd, const std::u16string& text) {
  DefWindowProc(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  InvalidateRect(hwnd, nullptr, FALSE);
  NotifyParent(hwnd, EN_CHANGE);
}

int Width(HDC dc, const std::u16string& text, size_t count) {
  SIZE size{0, 0};
  GetTextExtentPoint32(dc, text.c_str(), static_cast<int>(std::min(count, text.size())), &size);
  return size.cx;
}

void Paint(HWND hwnd, HDC dc) {
  EditState* s = ControlState<EditState>(hwnd);
  RECT r;
  GetClientRect(hwnd, &r);
  DWORD style = WindowStyle(hwnd);
  bool enabled = IsWindowEnabled(hwnd) != FALSE;
  bool readOnly = (style & ES_READONLY) != 0;
  FillSolid(dc, r, readOnly || !enabled ? kFaceColor : RGB(255, 255, 255));
  HGDIOBJ old = SelectObject(dc, ControlFont(hwnd));
  std::u16string text = WindowTextOf(hwnd);
  int n = static_cast<int>(text.size());
  s->caret = std::clamp(s->caret, 0, n);
  s->anchor = std::clamp(s->anchor, 0, n);
  int inner = std::max<int>(1, r.right - r.left - 2 * kMargin);
  int total = Width(dc, text, text.size());
  int caretX = Width(dc, text, static_cast<size_t>(s->caret));
  // Keep the caret in view; a short text keeps its alignment.
  if (total <= inner) {
    UINT align = style & 3;
    s->scroll = align == ES_CENTER ? -(inner - total) / 2 : align == ES_RIGHT ? -(inner - total) : 0;
  } else {
    if (caretX - s->scroll > inner) s->scroll = caretX - inner;
    if (caretX < s->scroll) s->scroll = caretX;
    s->scroll = std::clamp(s->scroll, 0, total - inner);
  }
  int x0 = r.left + kMargin - s->scroll;
  bool focused = GetFocus() == hwnd;
  RECT line{x0, r.top, x0 + total + 1, r.bottom};
  DrawLabel(dc, hwnd, text, line, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX, enabled);
  if (focused && Lo(s) < Hi(s)) {
    // The selection, white on navy.
    int a = Width(dc, text, static_cast<size_t>(Lo(s))), b = Width(dc, text, static_cast<size_t>(Hi(s)));
    RECT sel{x0 + a, r.top + 2, x0 + b, r.bottom - 2};
    FillSolid(dc, sel, kSelectionColor);
    std::u16string part = text.substr(static_cast<size_t>(Lo(s)), static_cast<size_t>(Hi(s) - Lo(s)));
    RECT at{x0 + a, r.top, x0 + b + 1, r.bottom};
    DrawLabel(dc, hwnd, part, at, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX, true,
              RGB(255, 255, 255));
  }
  if (focused && !readOnly && enabled) {
    int x = std::clamp<int>(x0 + caretX, r.left + 1, r.right - 2);
    RECT caret{x, r.top + 3, x + 1, r.bottom - 3};
    FillSolid(dc, caret, RGB(0, 0, 0));
  }
  SelectObject(dc, old);
}

// The caret position nearest to x pixels into the control.
int PositionAt(HWND hwnd, int x) {
  EditState* s = ControlState<EditState>(hwnd);
  std::u16string text = WindowTextOf(hwnd);
  HDC dc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(dc, ControlFont(hwnd));
  int target = x - kMargin + s->scroll, best = 0, bestGap = 1 << 30;
  for (size_t i = 0; i <= text.size(); ++i) {
    int gap = std::abs(Width(dc, text, i) - target);
    if (gap < bestGap) {
      bestGap = gap;
      best = static_cast<int>(i);
    }
  }
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  return best;
}

// Replaces the selection by `insert` (or, with an empty selection and no
// insert, deletes one character before or after the caret).
void Edit(HWND hwnd, const std::u16string& insert, int direction) {
  EditState* s = ControlState<EditState>(hwnd);
  std::u16string text = WindowTextOf(hwnd);
  int n = static_cast<int>(text.size());
  int lo = std::clamp(Lo(s), 0, n), hi = std::clamp(Hi(s), 0, n);
  if (lo == hi && insert.empty()) {
    if (direction < 0 && lo > 0) --lo;
    else if (direction > 0 && hi < n) ++hi;
    if (lo == hi) return;
  }
  if (static_cast<size_t>(n - (hi - lo)) + insert.size() > s->limit) {
    MessageBeep(0);
    return;
  }
  text.replace(static_cast<size_t>(lo), static_cast<size_t>(hi - lo), insert);
  s->anchor = s->caret = lo + static_cast<int>(insert.size());
  Store(hwnd, text);
}

void MoveCaret(HWND hwnd, int to) {
  EditState* s = ControlState<EditState>(hwnd);
  s->anchor = s->caret = std::clamp(to, 0, GetWindowTextLength(hwnd));
  InvalidateRect(hwnd, nullptr, FALSE);
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
      s->anchor = s->caret = static_cast<int>(text.size());
      Store(hwnd, text);
      return TRUE;
    }
    case WM_CHAR: {
      DWORD style = WindowStyle(hwnd);
      if ((style & ES_READONLY) || !IsWindowEnabled(hwnd)) return 0;
      char16_t c = static_cast<char16_t>(wParam);
      if (c == 8) {
        Edit(hwnd, u"", -1);
      } else if (c >= 32) {
        // Digits only: no sign, no separators.
        if ((style & ES_NUMBER) && (c < u'0' || c > u'9')) {
          MessageBeep(0);
          return 0;
        }
        Edit(hwnd, std::u16string(1, c), 0);
      }
      return 0;
    }
    case WM_KEYDOWN: {
      EditState* s = ControlState<EditState>(hwnd);
      switch (wParam) {
        case VK_LEFT: MoveCaret(hwnd, Lo(s) < Hi(s) ? Lo(s) : s->caret - 1); return 0;
        case VK_RIGHT: MoveCaret(hwnd, Lo(s) < Hi(s) ? Hi(s) : s->caret + 1); return 0;
        case VK_HOME: MoveCaret(hwnd, 0); return 0;
        case VK_END: MoveCaret(hwnd, GetWindowTextLength(hwnd)); return 0;
        case VK_DELETE:
          if (!(WindowStyle(hwnd) & ES_READONLY) && IsWindowEnabled(hwnd)) Edit(hwnd, u"", 1);
          return 0;
        default: return DefWindowProc(hwnd, msg, wParam, lParam);
      }
    }
    case EM_LIMITTEXT:
      ControlState<EditState>(hwnd)->limit = wParam ? static_cast<UINT>(wParam) : 30000;
      return 0;
    case EM_SETREADONLY: {
      DWORD style = WindowStyle(hwnd);
      SetWindowLong(hwnd, GWL_STYLE, static_cast<LONG>(wParam ? style | ES_READONLY : style & ~ES_READONLY));
      InvalidateRect(hwnd, nullptr, FALSE);
      return TRUE;
    }
    case EM_SETSEL: {
      // (0, -1) selects everything; a negative start only drops the
      // selection.
      EditState* s = ControlState<EditState>(hwnd);
      int n = GetWindowTextLength(hwnd);
      int a = static_cast<int>(static_cast<intptr_t>(wParam)), b = static_cast<int>(lParam);
      if (a < 0) {
        s->anchor = s->caret;
      } else {
        if (b < 0 || b > n) b = n;
        s->anchor = std::clamp(a, 0, n);
        s->caret = std::clamp(b, 0, n);
      }
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    }
    case EM_GETSEL: {
      EditState* s = ControlState<EditState>(hwnd);
      if (wParam) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(Lo(s));
      if (lParam) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(Hi(s));
      return MAKELRESULT(static_cast<unsigned>(Lo(s)), static_cast<unsigned>(Hi(s)));
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (GetFocus() != hwnd) SetFocus(hwnd);
      MoveCaret(hwnd, PositionAt(hwnd, GET_X_LPARAM(lParam)));
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
