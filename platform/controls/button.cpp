// The "button" control: push buttons, check boxes, radio buttons, group
// boxes and owner-drawn buttons.
#include <algorithm>

#include "platform/controls/controls.h"
#include "platform/gdi/gdi_internal.h"

namespace ce {

using namespace internal;

namespace {

struct ButtonState {
  UINT check = BST_UNCHECKED;
  bool pushed = false;  // pen down inside
  bool tracking = false;
};

DWORD Kind(HWND hwnd) { return WindowStyle(hwnd) & BS_TYPEMASK; }

bool IsCheck(DWORD kind) {
  return kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX || kind == BS_3STATE ||
         kind == BS_AUTO3STATE;
}
bool IsRadio(DWORD kind) { return kind == BS_RADIOBUTTON || kind == BS_AUTORADIOBUTTON; }

std::u16string Text(HWND hwnd) {
  WCHAR buf[256];
  GetWindowText(hwnd, buf, 256);
  return buf;
}

void Frame(HDC dc, RECT r, HGDIOBJ pen) {
  HGDIOBJ ob = SelectObject(dc, GetStockObject(NULL_BRUSH));
  HGDIOBJ op = SelectObject(dc, pen);
  Rectangle(dc, r.left, r.top, r.right, r.bottom);
  SelectObject(dc, op);
  SelectObject(dc, ob);
}

void Paint(HWND hwnd, HDC dc) {
  ButtonState* s = ControlState<ButtonState>(hwnd);
  RECT r;
  GetClientRect(hwnd, &r);
  DWORD kind = Kind(hwnd);
  // Its own state only: a disabled parent (the main window during a print
  // job) takes the input but does not grey its children.
  bool enabled = IsWindowEnabled(hwnd) != FALSE;
  if (kind == BS_OWNERDRAW) {
    DRAWITEMSTRUCT di{ODT_BUTTON, static_cast<UINT>(GetDlgCtrlID(hwnd)), 0, ODA_DRAWENTIRE,
                      (s->pushed ? ODS_SELECTED : 0u) | (enabled ? 0u : ODS_DISABLED) |
                          (GetFocus() == hwnd ? ODS_FOCUS : 0u),
                      hwnd, dc, r, 0};
    SendMessage(GetParent(hwnd), WM_DRAWITEM, static_cast<WPARAM>(di.CtlID),
                reinterpret_cast<LPARAM>(&di));
    return;
  }
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  HGDIOBJ oldFont = SelectObject(dc, ControlFont(hwnd));
  SetBkMode(dc, TRANSPARENT);
  COLORREF ink = enabled ? RGB(0, 0, 0) : GetSysColor(COLOR_GRAYTEXT);
  SetTextColor(dc, ink);
  std::u16string text = Text(hwnd);
  if (kind == BS_GROUPBOX) {
    TEXTMETRIC tm;
    GetTextMetrics(dc, &tm);
    RECT frame{r.left, r.top + tm.tmHeight / 2, r.right, r.bottom};
    Frame(dc, frame, GetStockObject(BLACK_PEN));
    SIZE sz;
    GetTextExtentPoint32(dc, text.c_str(), static_cast<int>(text.size()), &sz);
    RECT label{r.left + 6, r.top, r.left + 10 + sz.cx, r.top + tm.tmHeight};
    FillRect(dc, &label, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    label.left += 2;
    DrawText(dc, text.c_str(), -1, &label, DT_LEFT | DT_SINGLELINE);
  } else if (IsCheck(kind) || IsRadio(kind)) {
    int box = 12;
    int top = (r.bottom - box) / 2;
    RECT b{r.left + 1, top, r.left + 1 + box, top + box};
    HBRUSH pen = CreateSolidBrush(ink);
    if (IsRadio(kind)) {
      // A round mark drawn as a filled octagon outline.
      static const POINT kRing[] = {{4, 0}, {8, 0}, {11, 3}, {11, 8}, {8, 11},
                                    {3, 11}, {0, 8}, {0, 3}, {4, 0}};
      POINT pts[9];
      for (int i = 0; i < 9; ++i) pts[i] = POINT{b.left + kRing[i].x, b.top + kRing[i].y};
      HPEN p = CreatePen(PS_SOLID, 1, ink);
      HGDIOBJ op = SelectObject(dc, p);
      Polyline(dc, pts, 9);
      SelectObject(dc, op);
      DeleteObject(p);
      if (s->check == BST_CHECKED) {
        RECT dot{b.left + 3, b.top + 3, b.left + 9, b.top + 9};
        FillRect(dc, &dot, pen);
      }
    } else {
      Frame(dc, b, GetStockObject(enabled ? BLACK_PEN : WHITE_PEN));
      if (!enabled) FillRect(dc, &b, GetSysColorBrush(COLOR_BTNFACE));
      if (s->check == BST_CHECKED) {
        static const POINT kTick[] = {{2, 6}, {4, 8}, {9, 3}};
        POINT pts[3];
        HPEN p = CreatePen(PS_SOLID, 1, ink);
        HGDIOBJ op = SelectObject(dc, p);
        for (int shift = 0; shift < 2; ++shift) {
          for (int i = 0; i < 3; ++i) pts[i] = POINT{b.left + kTick[i].x, b.top + kTick[i].y + shift};
          Polyline(dc, pts, 3);
        }
        SelectObject(dc, op);
        DeleteObject(p);
      } else if (s->check == BST_INDETERMINATE) {
        RECT in{b.left + 3, b.top + 3, b.right - 3, b.bottom - 3};
        FillRect(dc, &in, GetSysColorBrush(COLOR_BTNSHADOW));
      }
    }
    DeleteObject(pen);
    RECT label{r.left + box + 6, r.top, r.right, r.bottom};
    DrawText(dc, text.c_str(), -1, &label, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  } else {
    bool pushed = s->pushed || (s->check & BST_PUSHED);
    if (pushed) {
      FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      SetTextColor(dc, RGB(255, 255, 255));
    }
    Frame(dc, r, GetStockObject(BLACK_PEN));
    if (kind == BS_DEFPUSHBUTTON) {
      RECT inner = r;
      InflateRect(&inner, -1, -1);
      Frame(dc, inner, GetStockObject(pushed ? WHITE_PEN : BLACK_PEN));
    }
    DrawText(dc, text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  SelectObject(dc, oldFont);
}

// A click: auto check boxes toggle, auto radio buttons take the check from
// the others of their group, and the parent hears BN_CLICKED.
void Click(HWND hwnd) {
  DWORD kind = Kind(hwnd);
  ButtonState* s = ControlState<ButtonState>(hwnd);
  if (kind == BS_AUTOCHECKBOX) {
    s->check = s->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
  } else if (kind == BS_AUTO3STATE) {
    s->check = (s->check + 1) % 3;
  } else if (kind == BS_AUTORADIOBUTTON) {
    HWND parent = GetParent(hwnd);
    // The group runs from the last WS_GROUP control at or before this one to
    // the next WS_GROUP control.
    std::vector<HWND> siblings;
    for (HWND c = GetWindow(hwnd, GW_HWNDFIRST); c; c = GetWindow(c, GW_HWNDNEXT))
      siblings.push_back(c);
    auto at = std::find(siblings.begin(), siblings.end(), hwnd) - siblings.begin();
    long first = at;
    while (first > 0 && !(WindowStyle(siblings[static_cast<size_t>(first)]) & WS_GROUP)) --first;
    for (size_t i = static_cast<size_t>(first); i < siblings.size(); ++i) {
      HWND c = siblings[i];
      if (i > static_cast<size_t>(first) && (WindowStyle(c) & WS_GROUP)) break;
      if (c != hwnd && Kind(c) == BS_AUTORADIOBUTTON) SendMessage(c, BM_SETCHECK, BST_UNCHECKED, 0);
    }
    (void)parent;
    s->check = BST_CHECKED;
  }
  InvalidateRect(hwnd, nullptr, FALSE);
  NotifyParent(hwnd, BN_CLICKED);
}

}  // namespace

namespace internal {

LRESULT ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
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
    case BM_GETCHECK: return ControlState<ButtonState>(hwnd)->check & 3;
    case BM_SETCHECK: {
      ButtonState* s = ControlState<ButtonState>(hwnd);
      if (s->check != (wParam & 3)) {
        s->check = static_cast<UINT>(wParam & 3);
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      return 0;
    }
    case BM_GETSTATE: {
      ButtonState* s = ControlState<ButtonState>(hwnd);
      return s->check | (s->pushed ? BST_PUSHED : 0) | (GetFocus() == hwnd ? BST_FOCUS : 0);
    }
    case BM_SETSTATE:
      ControlState<ButtonState>(hwnd)->pushed = wParam != 0;
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case BM_CLICK: Click(hwnd); return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      if (Kind(hwnd) == BS_GROUPBOX) return 0;
      ButtonState* s = ControlState<ButtonState>(hwnd);
      s->pushed = true;
      s->tracking = true;
      SetCapture(hwnd);
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    }
    case WM_MOUSEMOVE: {
      ButtonState* s = ControlState<ButtonState>(hwnd);
      if (!s->tracking) return 0;
      RECT r;
      GetClientRect(hwnd, &r);
      bool inside = PtInRect(&r, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      if (inside != s->pushed) {
        s->pushed = inside;
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      return 0;
    }
    case WM_LBUTTONUP: {
      ButtonState* s = ControlState<ButtonState>(hwnd);
      if (!s->tracking) return 0;
      s->tracking = false;
      ReleaseCapture();
      RECT r;
      GetClientRect(hwnd, &r);
      bool inside = PtInRect(&r, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      s->pushed = false;
      InvalidateRect(hwnd, nullptr, FALSE);
      if (inside) Click(hwnd);
      return 0;
    }
    case WM_ENABLE:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_SETTEXT: {
      LRESULT r = DefWindowProc(hwnd, msg, wParam, lParam);
      InvalidateRect(hwnd, nullptr, FALSE);
      return r;
    }
    case WM_GETDLGCODE: return 0;
    default: return DefWindowProc(hwnd, msg, wParam, lParam);
  }
}

}  // namespace internal

}  // namespace ce
