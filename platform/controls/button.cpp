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

// Its own state only: a disabled parent (the main window during a print job)
// does not grey its children.
bool Enabled(HWND hwnd) { return IsWindowEnabled(hwnd) != FALSE; }

// Owner-drawn buttons: the parent draws, on every paint (the whole button)
// and at every press and release (the selected state changed).
void DrawOwned(HWND hwnd, HDC dc, UINT action, bool pushed) {
  RECT r;
  GetClientRect(hwnd, &r);
  DRAWITEMSTRUCT di{ODT_BUTTON, static_cast<UINT>(GetDlgCtrlID(hwnd)), 0, action,
                    (pushed ? ODS_SELECTED : 0u) | (Enabled(hwnd) ? 0u : ODS_DISABLED) |
                        (GetFocus() == hwnd ? ODS_FOCUS : 0u),
                    hwnd, dc, r, 0};
  SendMessage(GetParent(hwnd), WM_DRAWITEM, static_cast<WPARAM>(di.CtlID),
              reinterpret_cast<LPARAM>(&di));
}

// A 13-pixel ring: the half widths of its rows.
constexpr int kRing[13] = {2, 4, 5, 5, 6, 6, 6, 6, 6, 5, 5, 4, 2};

void Paint(HWND hwnd, HDC dc) {
  ButtonState* s = ControlState<ButtonState>(hwnd);
  RECT r;
  GetClientRect(hwnd, &r);
  DWORD kind = Kind(hwnd);
  bool enabled = Enabled(hwnd);
  if (kind == BS_OWNERDRAW) {
    DrawOwned(hwnd, dc, ODA_DRAWENTIRE, s->pushed);
    return;
  }
  COLORREF ink = enabled ? RGB(0, 0, 0) : kDisabledColor;
  std::u16string text = WindowTextOf(hwnd);
  bool focused = GetFocus() == hwnd;
  if (kind == BS_GROUPBOX) {
    FillSolid(dc, r, RGB(255, 255, 255));
    RECT frame{r.left, r.top + 6, r.right, r.bottom};
    FrameSolid(dc, frame, ink, 1);
    HGDIOBJ old = SelectObject(dc, ControlFont(hwnd));
    SIZE sz;
    GetTextExtentPoint32(dc, text.c_str(), static_cast<int>(text.size()), &sz);
    SelectObject(dc, old);
    RECT label{r.left + 6, r.top, r.left + 10 + sz.cx, r.top + 13};
    FillSolid(dc, label, RGB(255, 255, 255));
    label.left += 2;
    DrawLabel(dc, hwnd, text, label, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX, enabled);
  } else if (IsCheck(kind) || IsRadio(kind)) {
    FillSolid(dc, r, RGB(255, 255, 255));
    constexpr int box = 13;
    int top = (r.bottom - box) / 2;
    RECT b{r.left, top, r.left + box, top + box};
    if (IsRadio(kind)) {
      for (int row = 0; row < box; ++row) {
        int half = kRing[row];
        RECT inside{b.left + 6 - half + 1, b.top + row, b.left + 7 + half - 1, b.top + row + 1};
        FillSolid(dc, inside, enabled ? RGB(255, 255, 255) : kFaceColor);
        SetPixel(dc, b.left + 6 - half, b.top + row, ink);
        SetPixel(dc, b.left + 6 + half, b.top + row, ink);
        if (row == 0 || row == box - 1) {
          RECT edge{b.left + 6 - half, b.top + row, b.left + 7 + half, b.top + row + 1};
          FillSolid(dc, edge, ink);
        }
      }
      if (s->check == BST_CHECKED) {
        RECT dot{b.left + 4, b.top + 4, b.left + 9, b.top + 9};
        FillSolid(dc, dot, ink);
        RECT bar{b.left + 5, b.top + 3, b.left + 8, b.top + 10};
        FillSolid(dc, bar, ink);
        RECT cross{b.left + 3, b.top + 5, b.left + 10, b.top + 8};
        FillSolid(dc, cross, ink);
      }
    } else {
      FillSolid(dc, b, enabled ? RGB(255, 255, 255) : kFaceColor);
      FrameSolid(dc, b, ink, 1);
      if (s->check == BST_CHECKED) {
        // A tick two pixels thick.
        static const POINT kTick[] = {{3, 6}, {5, 8}, {9, 4}};
        HPEN p = CreatePen(PS_SOLID, 1, ink);
        HGDIOBJ op = SelectObject(dc, p);
        for (int shift = 0; shift < 2; ++shift) {
          POINT pts[3];
          for (int i = 0; i < 3; ++i) pts[i] = POINT{b.left + kTick[i].x, b.top + kTick[i].y + shift};
          Polyline(dc, pts, 3);
        }
        SelectObject(dc, op);
        DeleteObject(p);
      } else if (s->check == BST_INDETERMINATE) {
        RECT in{b.left + 3, b.top + 3, b.right - 3, b.bottom - 3};
        FillSolid(dc, in, kDisabledColor);
      }
    }
    RECT label{r.left + box + 5, r.top, r.right, r.bottom};
    DrawLabel(dc, hwnd, text, label, DT_LEFT | DT_VCENTER | DT_SINGLELINE, enabled);
    if (focused) {
      RECT f = label;
      f.left -= 2;
      DrawFocusRect(dc, &f);
    }
  } else {
    bool pushed = s->pushed || (s->check & BST_PUSHED);
    FillSolid(dc, r, pushed ? RGB(0, 0, 0) : kFaceColor);
    FrameSolid(dc, r, RGB(0, 0, 0), kind == BS_DEFPUSHBUTTON ? 2 : 1);
    DrawLabel(dc, hwnd, text, r, DT_CENTER | DT_VCENTER | DT_SINGLELINE, enabled,
              pushed ? RGB(255, 255, 255) : RGB(0, 0, 0));
    if (focused && !pushed) {
      RECT f = r;
      InflateRect(&f, -3, -3);
      DrawFocusRect(dc, &f);
    }
  }
}

// The pen held a button down or let it go: owner-drawn buttons are drawn
// by their parent at once, the others repaint.
void SetPushed(HWND hwnd, ButtonState* s, bool pushed) {
  if (s->pushed == pushed) return;
  s->pushed = pushed;
  if (Kind(hwnd) == BS_OWNERDRAW) {
    HDC dc = GetDC(hwnd);
    DrawOwned(hwnd, dc, ODA_SELECT, pushed);
    ReleaseDC(hwnd, dc);
  } else {
    InvalidateRect(hwnd, nullptr, FALSE);
  }
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
      if (Kind(hwnd) == BS_GROUPBOX || !Enabled(hwnd)) return 0;
      if (GetFocus() != hwnd) SetFocus(hwnd);
      ButtonState* s = ControlState<ButtonState>(hwnd);
      s->tracking = true;
      SetCapture(hwnd);
      SetPushed(hwnd, s, true);
      return 0;
    }
    case WM_MOUSEMOVE: {
      ButtonState* s = ControlState<ButtonState>(hwnd);
      if (!s->tracking) return 0;
      RECT r;
      GetClientRect(hwnd, &r);
      SetPushed(hwnd, s, PtInRect(&r, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}) != 0);
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
      SetPushed(hwnd, s, false);
      if (inside) Click(hwnd);
      return 0;
    }
    case WM_KEYDOWN:
      if (wParam == VK_SPACE) {
        if (Enabled(hwnd) && Kind(hwnd) != BS_GROUPBOX) Click(hwnd);
        return 0;
      }
      return DefWindowProc(hwnd, msg, wParam, lParam);
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
