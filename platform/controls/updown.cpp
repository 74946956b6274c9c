// The up-down control ("msctls_updown32"): an up and a down arrow beside a
// buddy edit that shows the position.  A tap on an arrow sends UDN_DELTAPOS,
// moves the position within the range, writes the number into the buddy
// (whose EN_CHANGE follows) and sends WM_VSCROLL with SB_THUMBPOSITION; at
// an end of the range only UDN_DELTAPOS is sent.  Holding an arrow repeats
// after 400 ms every 100 ms.
#include <algorithm>
#include <string>

#include "platform/controls/controls.h"

namespace ce {

using namespace internal;

namespace {

constexpr uintptr_t kRepeatTimer = 1;
constexpr UINT kFirstRepeatMs = 400;
constexpr UINT kRepeatMs = 100;

struct UpDownState {
  int lower = 100;  // the platform's default range runs from 100 down to 0
  int upper = 0;
  int pos = 0;
  HWND buddy = nullptr;
  int pressed = -1;  // 0 the up arrow, 1 the down arrow
};

UpDownState* State(HWND hwnd) { return ControlState<UpDownState>(hwnd); }
bool BuddyInt(HWND hwnd) { return (WindowStyle(hwnd) & UDS_SETBUDDYINT) != 0; }

int Clamp(const UpDownState* s, int v) {
  return std::clamp(v, std::min(s->lower, s->upper), std::max(s->lower, s->upper));
}

void WriteBuddy(HWND hwnd) {
  UpDownState* s = State(hwnd);
  if (!s->buddy || !BuddyInt(hwnd)) return;
  std::u16string text = ToU16(std::to_string(s->pos));
  SetWindowText(s->buddy, text.c_str());
}

// The buddy's number, when it holds one.
bool ReadBuddy(HWND hwnd, int* value) {
  UpDownState* s = State(hwnd);
  if (!s->buddy || !BuddyInt(hwnd)) return false;
  std::u16string text = WindowTextOf(s->buddy);
  if (text.empty() || text.size() > 10) return false;
  long long v = 0;
  size_t i = text[0] == u'-' ? 1 : 0;
  if (i == text.size()) return false;
  for (; i < text.size(); ++i) {
    if (text[i] < u'0' || text[i] > u'9') return false;
    v = v * 10 + (text[i] - u'0');
  }
  *value = static_cast<int>(text[0] == u'-' ? -v : v);
  return true;
}

void Step(HWND hwnd, int arrow) {
  UpDownState* s = State(hwnd);
  int typed;
  if (ReadBuddy(hwnd, &typed)) s->pos = Clamp(s, typed);
  // The up arrow moves towards the upper end of the range.
  int delta = (arrow == 0) == (s->upper >= s->lower) ? 1 : -1;
  NMUPDOWN nm{};
  nm.iPos = s->pos;
  nm.iDelta = delta;
  if (NotifyParentNm(hwnd, UDN_DELTAPOS, &nm.hdr) != 0 || !IsWindow(hwnd)) return;
  s = State(hwnd);
  int lo = std::min(s->lower, s->upper), hi = std::max(s->lower, s->upper);
  int next = s->pos + delta;
  if (next < lo || next > hi) {
    if (!(WindowStyle(hwnd) & UDS_WRAP)) return;
    next = next < lo ? hi : lo;
  }
  if (next == s->pos) return;
  s->pos = next;
  WriteBuddy(hwnd);
  if (!IsWindow(hwnd)) return;
  SendMessage(GetParent(hwnd), WM_VSCROLL,
              MAKEWPARAM(SB_THUMBPOSITION, static_cast<unsigned>(State(hwnd)->pos)),
              reinterpret_cast<LPARAM>(hwnd));
}

int ArrowAt(HWND hwnd, POINT p) {
  RECT r;
  GetClientRect(hwnd, &r);
  if (!PtInRect(&r, p)) return -1;
  return p.y < r.bottom / 2 ? 0 : 1;
}

void Paint(HWND hwnd, HDC dc) {
  UpDownState* s = State(hwnd);
  RECT r;
  GetClientRect(hwnd, &r);
  bool enabled = IsWindowEnabled(hwnd) && IsWindowEnabled(GetParent(hwnd));
  int half = r.bottom / 2;
  DrawArrowBox(dc, RECT{r.left, r.top, r.right, half}, 0, enabled, s->pressed == 0);
  DrawArrowBox(dc, RECT{r.left, half, r.right, r.bottom}, 1, enabled, s->pressed == 1);
}

// UDS_ALIGNRIGHT: the arrows take the right end of the buddy.
void Attach(HWND hwnd, HWND buddy) {
  UpDownState* s = State(hwnd);
  s->buddy = buddy;
  if (!buddy || !(WindowStyle(hwnd) & (UDS_ALIGNRIGHT | UDS_ALIGNLEFT))) return;
  HWND parent = GetParent(hwnd);
  RECT b, me;
  GetWindowRect(buddy, &b);
  GetWindowRect(hwnd, &me);
  POINT at{b.left, b.top};
  ScreenToClient(parent, &at);
  int w = me.right - me.left, bw = b.right - b.left, h = b.bottom - b.top;
  bool right = (WindowStyle(hwnd) & UDS_ALIGNRIGHT) != 0;
  MoveWindow(buddy, right ? at.x : at.x + w, at.y, std::max(0, bw - w), h, TRUE);
  MoveWindow(hwnd, right ? at.x + bw - w : at.x, at.y, w, h, TRUE);
}

}  // namespace

namespace internal {

LRESULT UpDownProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE:
      if (WindowStyle(hwnd) & UDS_AUTOBUDDY) Attach(hwnd, GetWindow(hwnd, GW_HWNDPREV));
      return 0;
    case WM_NCDESTROY: FreeControlState(hwnd); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      Paint(hwnd, dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case UDM_SETRANGE:
      State(hwnd)->upper = static_cast<int16_t>(LOWORD(static_cast<uintptr_t>(lParam)));
      State(hwnd)->lower = static_cast<int16_t>(HIWORD(static_cast<uintptr_t>(lParam)));
      State(hwnd)->pos = Clamp(State(hwnd), State(hwnd)->pos);
      return 0;
    case UDM_GETRANGE:
      return MAKELRESULT(static_cast<unsigned>(State(hwnd)->upper) & 0xFFFF,
                         static_cast<unsigned>(State(hwnd)->lower) & 0xFFFF);
    case UDM_SETRANGE32:
      State(hwnd)->lower = static_cast<int>(static_cast<intptr_t>(wParam));
      State(hwnd)->upper = static_cast<int>(lParam);
      State(hwnd)->pos = Clamp(State(hwnd), State(hwnd)->pos);
      return 0;
    case UDM_GETRANGE32:
      if (wParam) *reinterpret_cast<int*>(wParam) = State(hwnd)->lower;
      if (lParam) *reinterpret_cast<int*>(lParam) = State(hwnd)->upper;
      return 0;
    case UDM_SETPOS:
    case UDM_SETPOS32: {
      UpDownState* s = State(hwnd);
      int old = s->pos;
      int want = msg == UDM_SETPOS ? static_cast<int16_t>(LOWORD(static_cast<uintptr_t>(lParam)))
                                   : static_cast<int>(lParam);
      s->pos = Clamp(s, want);
      WriteBuddy(hwnd);
      return old;
    }
    case UDM_GETPOS:
    case UDM_GETPOS32: {
      UpDownState* s = State(hwnd);
      int typed;
      bool failed = false;
      if (s->buddy && BuddyInt(hwnd)) {
        if (ReadBuddy(hwnd, &typed)) s->pos = Clamp(s, typed);
        else failed = true;
      }
      if (msg == UDM_GETPOS32) {
        if (lParam) *reinterpret_cast<BOOL*>(lParam) = failed ? TRUE : FALSE;
        return s->pos;
      }
      return MAKELRESULT(static_cast<unsigned>(s->pos) & 0xFFFF, failed ? 1u : 0u);
    }
    case UDM_SETBUDDY: {
      HWND old = State(hwnd)->buddy;
      Attach(hwnd, reinterpret_cast<HWND>(wParam));
      return reinterpret_cast<LRESULT>(old);
    }
    case UDM_GETBUDDY: return reinterpret_cast<LRESULT>(State(hwnd)->buddy);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      if (!IsWindowEnabled(hwnd)) return 0;
      int arrow = ArrowAt(hwnd, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      if (arrow < 0) return 0;
      State(hwnd)->pressed = arrow;
      SetCapture(hwnd);
      InvalidateRect(hwnd, nullptr, FALSE);
      Step(hwnd, arrow);
      if (IsWindow(hwnd)) SetTimer(hwnd, kRepeatTimer, kFirstRepeatMs, nullptr);
      return 0;
    }
    case WM_TIMER: {
      UpDownState* s = State(hwnd);
      if (wParam != kRepeatTimer || s->pressed < 0) return 0;
      POINT p;
      GetCursorPos(&p);
      ScreenToClient(hwnd, &p);
      if (ArrowAt(hwnd, p) == s->pressed) Step(hwnd, s->pressed);
      if (IsWindow(hwnd)) SetTimer(hwnd, kRepeatTimer, kRepeatMs, nullptr);
      return 0;
    }
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED: {
      UpDownState* s = State(hwnd);
      if (s->pressed < 0) return 0;
      s->pressed = -1;
      KillTimer(hwnd, kRepeatTimer);
      if (GetCapture() == hwnd) ReleaseCapture();
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    }
    case WM_ENABLE: InvalidateRect(hwnd, nullptr, FALSE); return 0;
    default: return DefWindowProc(hwnd, msg, wParam, lParam);
  }
}

}  // namespace internal

}  // namespace ce
