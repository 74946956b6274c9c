// The drop-down list ("combobox"): a box showing the chosen item and an
// arrow; a tap drops the list under the box (above it when there is no
// room), at most eight rows with a scroll bar.  A tap on a row chooses it,
// a tap anywhere else closes the list unchanged.  Choices by the pen send
// CBN_SELENDOK and, when the selection changed, CBN_SELCHANGE; selections
// made by the program send nothing.
#include <algorithm>

#include "platform/controls/controls.h"

namespace ce {

using namespace internal;

namespace {

constexpr int kRows = 8;
constexpr int kRowHeight = 16;
constexpr int kArrowWidth = 13;
constexpr size_t kTextCapacity = 256;  // CB_GETLBTEXT writes at most this much

struct ComboItem {
  std::u16string text;
  LPARAM data = 0;
};

struct ComboState {
  std::vector<ComboItem> items;
  int selected = -1;
  HWND list = nullptr;  // while dropped
  int top = 0;  // first row shown in the list
  int pressed = -1;  // the list's scroll arrow held: 0 up, 1 down
};

ComboState* State(HWND hwnd) { return ControlState<ComboState>(hwnd); }

HWND ComboOfList(HWND list) { return reinterpret_cast<HWND>(GetWindowLongPtr(list, GWL_USERDATA)); }

int Count(HWND combo) { return static_cast<int>(State(combo)->items.size()); }
bool Scrolls(HWND combo) { return Count(combo) > kRows; }

void PaintBox(HWND hwnd, HDC dc) {
  ComboState* s = State(hwnd);
  RECT r;
  GetClientRect(hwnd, &r);
  bool enabled = IsWindowEnabled(hwnd) && IsWindowEnabled(GetParent(hwnd));
  FillSolid(dc, r, enabled ? RGB(255, 255, 255) : kFaceColor);
  FrameSolid(dc, r, enabled ? RGB(0, 0, 0) : kDisabledColor, 1);
  RECT arrow{r.right - kArrowWidth, r.top, r.right, r.bottom};
  DrawArrowBox(dc, arrow, 1, enabled, s->list != nullptr);
  if (s->selected >= 0 && s->selected < Count(hwnd)) {
    RECT text{r.left + 3, r.top, arrow.left - 2, r.bottom};
    DrawLabel(dc, hwnd, s->items[static_cast<size_t>(s->selected)].text, text,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX, enabled);
  }
  if (GetFocus() == hwnd) {
    RECT f{r.left + 2, r.top + 2, arrow.left - 1, r.bottom - 2};
    DrawFocusRect(dc, &f);
  }
}

// The list's parts in its client area.
RECT RowsRect(HWND list) {
  RECT r;
  GetClientRect(list, &r);
  InflateRect(&r, -1, -1);
  if (Scrolls(ComboOfList(list))) r.right -= kArrowWidth;
  return r;
}
RECT BarRect(HWND list) {
  RECT r;
  GetClientRect(list, &r);
  InflateRect(&r, -1, -1);
  r.left = r.right - kArrowWidth;
  return r;
}

int VisibleRows(HWND combo) { return std::min(kRows, Count(combo)); }

void PaintList(HWND list, HDC dc) {
  HWND combo = ComboOfList(list);
  ComboState* s = State(combo);
  RECT r;
  GetClientRect(list, &r);
  FillSolid(dc, r, RGB(255, 255, 255));
  FrameSolid(dc, r, RGB(0, 0, 0), 1);
  RECT rows = RowsRect(list);
  for (int i = 0; i < VisibleRows(combo); ++i) {
    int index = s->top + i;
    if (index >= Count(combo)) break;
    RECT row{rows.left, rows.top + i * kRowHeight, rows.right, rows.top + (i + 1) * kRowHeight};
    bool chosen = index == s->selected;
    if (chosen) FillSolid(dc, row, kSelectionColor);
    row.left += 3;
    DrawLabel(dc, combo, s->items[static_cast<size_t>(index)].text, row,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX, true,
              chosen ? RGB(255, 255, 255) : RGB(0, 0, 0));
  }
  if (Scrolls(combo)) {
    ScrollState bar;
    bar.minPos = 0;
    bar.maxPos = Count(combo) - 1;
    bar.page = static_cast<UINT>(kRows);
    bar.pos = s->top;
    bar.pressed = s->pressed < 0 ? -1 : s->pressed == 0 ? SB_LINEUP : SB_LINEDOWN;
    DrawScrollBar(dc, BarRect(list), bar, true, true);
  }
}

void Scroll(HWND combo, int to) {
  ComboState* s = State(combo);
  int top = std::clamp(to, 0, std::max(0, Count(combo) - kRows));
  if (top != s->top) {
    s->top = top;
    if (s->list) InvalidateRect(s->list, nullptr, FALSE);
  }
}

void CloseList(HWND combo) {
  ComboState* s = State(combo);
  HWND list = s->list;
  if (!list) return;
  s->list = nullptr;
  s->pressed = -1;
  if (GetCapture() == list) ReleaseCapture();
  DestroyWindow(list);
  InvalidateRect(combo, nullptr, FALSE);
}

void Drop(HWND combo) {
  ComboState* s = State(combo);
  if (s->list || s->items.empty()) return;
  RECT box;
  GetWindowRect(combo, &box);
  int height = VisibleRows(combo) * kRowHeight + 2;
  int screenH = GetSystemMetrics(SM_CYSCREEN);
  int y = box.bottom;
  if (y + height > screenH && box.top - height >= 0) y = box.top - height;
  y = std::clamp(y, 0, std::max(0, screenH - height));
  // The chosen row in view.
  s->top = std::clamp(s->selected - kRows / 2, 0, std::max(0, Count(combo) - kRows));
  HWND list = CreateWindowEx(WS_EX_TOPMOST | WS_EX_NOACTIVATE, u"#combolist", u"", WS_POPUP,
                             box.left, y, box.right - box.left, height, nullptr, nullptr, nullptr,
                             nullptr);
  if (!list) return;
  SetWindowLongPtr(list, GWL_USERDATA, reinterpret_cast<intptr_t>(combo));
  s->list = list;
  ShowWindow(list, SW_SHOWNA);
  SetCapture(list);
  InvalidateRect(combo, nullptr, FALSE);
}

void Choose(HWND combo, int index) {
  ComboState* s = State(combo);
  bool changed = index != s->selected;
  s->selected = index;
  CloseList(combo);
  NotifyParent(combo, CBN_SELENDOK);
  if (changed) NotifyParent(combo, CBN_SELCHANGE);
}

// A pen-down on the list (capture: anywhere on the screen).
void ListPenDown(HWND list, POINT p) {
  HWND combo = ComboOfList(list);
  ComboState* s = State(combo);
  RECT client;
  GetClientRect(list, &client);
  if (!PtInRect(&client, p)) {
    CloseList(combo);
    return;
  }
  if (Scrolls(combo)) {
    RECT bar = BarRect(list);
    if (PtInRect(&bar, p)) {
      ScrollState st;
      st.maxPos = Count(combo) - 1;
      st.page = static_cast<UINT>(kRows);
      st.pos = s->top;
      switch (ScrollHitPart(bar, st, true, p)) {
        case SB_LINEUP: s->pressed = 0; Scroll(combo, s->top - 1); break;
        case SB_LINEDOWN: s->pressed = 1; Scroll(combo, s->top + 1); break;
        case SB_PAGEUP: Scroll(combo, s->top - kRows); break;
        case SB_PAGEDOWN: Scroll(combo, s->top + kRows); break;
        default: break;
      }
      InvalidateRect(list, nullptr, FALSE);
    }
  }
}

void ListPenUp(HWND list, POINT p) {
  HWND combo = ComboOfList(list);
  ComboState* s = State(combo);
  if (s->pressed >= 0) {
    s->pressed = -1;
    InvalidateRect(list, nullptr, FALSE);
    return;
  }
  RECT rows = RowsRect(list);
  if (!PtInRect(&rows, p)) return;
  int index = s->top + (p.y - rows.top) / kRowHeight;
  if (index >= 0 && index < Count(combo)) Choose(combo, index);
}

int Find(HWND combo, const std::u16string& text) {
  const ComboState* s = State(combo);
  std::u16string want = Lower(text);
  for (size_t i = 0; i < s->items.size(); ++i) {
    if (Lower(s->items[i].text) == want) return static_cast<int>(i);
  }
  return -1;
}

LRESULT FindTapTarget(HWND combo, TapTarget* t) {
  ComboState* s = State(combo);
  int index = Find(combo, t->text);
  if (index < 0) return 0;
  RECT box;
  GetWindowRect(combo, &box);
  t->final = false;
  if (!s->list) {
    t->point = POINT{(box.left + box.right) / 2, (box.top + box.bottom) / 2};
    return 1;
  }
  RECT rows = RowsRect(s->list), bar = BarRect(s->list);
  POINT origin{0, 0};
  ClientToScreen(s->list, &origin);
  if (index < s->top || index >= s->top + kRows) {
    // A scroll arrow towards the row.
    bool up = index < s->top;
    t->point = POINT{origin.x + (bar.left + bar.right) / 2,
                     origin.y + (up ? bar.top + 4 : bar.bottom - 5)};
    return 1;
  }
  t->point = POINT{origin.x + (rows.left + rows.right) / 2,
                   origin.y + rows.top + (index - s->top) * kRowHeight + kRowHeight / 2};
  t->final = true;
  return 1;
}

}  // namespace

namespace internal {

LRESULT ComboBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_DESTROY: CloseList(hwnd); return 0;
    case WM_NCDESTROY: FreeControlState(hwnd); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      PaintBox(hwnd, dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case CB_ADDSTRING:
    case CB_INSERTSTRING: {
      ComboState* s = State(hwnd);
      if (s->items.size() >= 32767) return CB_ERR;
      int at = msg == CB_ADDSTRING ? -1 : static_cast<int>(static_cast<intptr_t>(wParam));
      if (at < 0 || at > Count(hwnd)) at = Count(hwnd);
      s->items.insert(s->items.begin() + at, ComboItem{FromW(reinterpret_cast<LPCWSTR>(lParam)), 0});
      if (s->selected >= at) ++s->selected;
      InvalidateRect(hwnd, nullptr, FALSE);
      return at;
    }
    case CB_DELETESTRING: {
      ComboState* s = State(hwnd);
      int at = static_cast<int>(static_cast<intptr_t>(wParam));
      if (at < 0 || at >= Count(hwnd)) return CB_ERR;
      s->items.erase(s->items.begin() + at);
      if (s->selected == at) s->selected = -1;
      else if (s->selected > at) --s->selected;
      InvalidateRect(hwnd, nullptr, FALSE);
      return Count(hwnd);
    }
    case CB_RESETCONTENT:
      CloseList(hwnd);
      State(hwnd)->items.clear();
      State(hwnd)->selected = -1;
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case CB_SETCURSEL: {
      ComboState* s = State(hwnd);
      int at = static_cast<int>(static_cast<intptr_t>(wParam));
      bool valid = at >= 0 && at < Count(hwnd);
      s->selected = valid ? at : -1;
      InvalidateRect(hwnd, nullptr, FALSE);
      return valid ? at : CB_ERR;
    }
    case CB_GETCURSEL: return State(hwnd)->selected;
    case CB_GETCOUNT: return Count(hwnd);
    case CB_GETLBTEXTLEN:
    case CB_GETLBTEXT: {
      ComboState* s = State(hwnd);
      int at = static_cast<int>(static_cast<intptr_t>(wParam));
      if (at < 0 || at >= Count(hwnd)) return CB_ERR;
      const std::u16string& text = s->items[static_cast<size_t>(at)].text;
      size_t n = std::min(text.size(), kTextCapacity - 1);
      if (msg == CB_GETLBTEXTLEN) return static_cast<LRESULT>(n);
      auto* out = reinterpret_cast<LPWSTR>(lParam);
      if (!out) return CB_ERR;
      std::copy_n(text.data(), n, out);
      out[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case CB_GETITEMDATA:
    case CB_SETITEMDATA: {
      ComboState* s = State(hwnd);
      int at = static_cast<int>(static_cast<intptr_t>(wParam));
      if (at < 0 || at >= Count(hwnd)) return CB_ERR;
      if (msg == CB_GETITEMDATA) return s->items[static_cast<size_t>(at)].data;
      s->items[static_cast<size_t>(at)].data = lParam;
      return TRUE;
    }
    case CB_FINDSTRINGEXACT: return Find(hwnd, FromW(reinterpret_cast<LPCWSTR>(lParam)));
    case CB_SHOWDROPDOWN:
      if (wParam) Drop(hwnd);
      else CloseList(hwnd);
      return TRUE;
    case CB_GETDROPPEDSTATE: return State(hwnd)->list != nullptr;
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH: {
      // The chosen item's text.
      ComboState* s = State(hwnd);
      std::u16string text = s->selected >= 0 ? s->items[static_cast<size_t>(s->selected)].text : u"";
      if (msg == WM_GETTEXTLENGTH) return static_cast<LRESULT>(text.size());
      auto* out = reinterpret_cast<LPWSTR>(lParam);
      if (!out || wParam == 0) return 0;
      size_t n = std::min<size_t>(wParam - 1, text.size());
      std::copy_n(text.data(), n, out);
      out[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case WM_LBUTTONDOWN:
      if (!IsWindowEnabled(hwnd)) return 0;
      if (GetFocus() != hwnd) SetFocus(hwnd);
      if (State(hwnd)->list) CloseList(hwnd);
      else Drop(hwnd);
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE && State(hwnd)->list) {
        CloseList(hwnd);
        return 0;
      }
      return DefWindowProc(hwnd, msg, wParam, lParam);
    case WM_KILLFOCUS: CloseList(hwnd); InvalidateRect(hwnd, nullptr, FALSE); return 0;
    case WM_SETFOCUS:
    case WM_ENABLE: InvalidateRect(hwnd, nullptr, FALSE); return 0;
    case kFindTapTarget: return FindTapTarget(hwnd, reinterpret_cast<TapTarget*>(lParam));
    default: return DefWindowProc(hwnd, msg, wParam, lParam);
  }
}

LRESULT ComboListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      if (ComboOfList(hwnd)) PaintList(hwnd, dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (ComboOfList(hwnd)) ListPenDown(hwnd, p);
      return 0;
    case WM_LBUTTONUP:
      if (ComboOfList(hwnd)) ListPenUp(hwnd, p);
      return 0;
    default: return DefWindowProc(hwnd, msg, wParam, lParam);
  }
}

}  // namespace internal

}  // namespace ce
