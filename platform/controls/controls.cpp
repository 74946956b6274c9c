// The table of system window classes and helpers every control shares.
#include "platform/controls/controls.h"

#include <algorithm>

#include "platform/gdi/gdi_internal.h"

namespace ce::internal {

namespace {

struct SystemClass {
  const char16_t* name;
  WNDPROC proc;
  UINT style;
  int background;  // stock brush, or -1 for none
};

// One row per class; later controls add theirs here.
constexpr SystemClass kSystemClasses[] = {
    {u"button", ButtonProc, CS_DBLCLKS, -1},
    {u"static", StaticProc, 0, -1},
    {u"edit", EditProc, CS_DBLCLKS, -1},
    {u"scrollbar", ScrollBarProc, CS_DBLCLKS, -1},
    {u"combobox", ComboBoxProc, 0, -1},
    {u"#combolist", ComboListProc, 0, -1},
    {u"SysListView32", ListViewProc, CS_DBLCLKS, -1},
    {u"msctls_updown32", UpDownProc, 0, -1},
    {u"#32770", DialogClassProc, 0, WHITE_BRUSH},
    {u"HHTaskBar", TaskBarProc, 0, -1},
    {u"DesktopExplorerWindow", DesktopProc, 0, -1},
    {u"#32768", MenuPopupProc, 0, -1},
};

}  // namespace

void RegisterSystemClasses() {
  for (const SystemClass& c : kSystemClasses) {
    WNDCLASS wc{};
    wc.style = c.style;
    wc.lpfnWndProc = c.proc;
    wc.lpszClassName = c.name;
    if (c.background >= 0) wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(c.background));
    RegisterClass(&wc);
    std::lock_guard<std::mutex> lk(Sys().lock);
    auto it = Sys().classes.find(Lower(c.name));
    if (it != Sys().classes.end()) it->second->system = true;
  }
}

void NotifyParent(HWND control, WORD code) {
  HWND parent = GetParent(control);
  if (!parent) return;
  int id = GetDlgCtrlID(control);
  SendMessage(parent, WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(id), code),
              reinterpret_cast<LPARAM>(control));
}

LRESULT NotifyParentNm(HWND control, UINT code, NMHDR* header) {
  header->hwndFrom = control;
  header->idFrom = static_cast<uintptr_t>(GetDlgCtrlID(control));
  header->code = code;
  HWND parent = GetParent(control);
  if (!parent) return 0;
  return SendMessage(parent, WM_NOTIFY, header->idFrom, reinterpret_cast<LPARAM>(header));
}

void FillSolid(HDC dc, const RECT& r, COLORREF color) {
  HBRUSH b = CreateSolidBrush(color);
  FillRect(dc, &r, b);
  DeleteObject(b);
}

void FrameSolid(HDC dc, const RECT& r, COLORREF color, int width) {
  for (int k = 0; k < width; ++k) {
    RECT edges[4] = {{r.left + k, r.top + k, r.right - k, r.top + k + 1},
                     {r.left + k, r.bottom - k - 1, r.right - k, r.bottom - k},
                     {r.left + k, r.top + k, r.left + k + 1, r.bottom - k},
                     {r.right - k - 1, r.top + k, r.right - k, r.bottom - k}};
    for (const RECT& e : edges) FillSolid(dc, e, color);
  }
}

void DrawArrowBox(HDC dc, const RECT& r, int direction, bool enabled, bool pressed) {
  FillSolid(dc, r, pressed ? kDisabledColor : kFaceColor);
  FrameSolid(dc, r, RGB(0, 0, 0), 1);
  COLORREF ink = enabled ? (pressed ? RGB(255, 255, 255) : RGB(0, 0, 0)) : kDisabledColor;
  int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
  int size = std::max(1, std::min<int>(4, std::min(r.right - r.left, r.bottom - r.top) / 3));
  for (int i = 0; i < size; ++i) {
    RECT line;
    int lead = size / 2;
    switch (direction) {
      case 0: line = RECT{cx - i, cy - lead + i, cx + i + 1, cy - lead + i + 1}; break;
      case 1: line = RECT{cx - i, cy + lead - i, cx + i + 1, cy + lead - i + 1}; break;
      case 2: line = RECT{cx - lead + i, cy - i, cx - lead + i + 1, cy + i + 1}; break;
      default: line = RECT{cx + lead - i, cy - i, cx + lead - i + 1, cy + i + 1}; break;
    }
    FillSolid(dc, line, ink);
  }
}

void DrawLabel(HDC dc, HWND control, const std::u16string& text, RECT r, UINT format,
               bool enabled, COLORREF ink) {
  HGDIOBJ old = SelectObject(dc, ControlFont(control));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, enabled ? ink : kDisabledColor);
  DrawText(dc, text.c_str(), static_cast<int>(text.size()), &r, format);
  SelectObject(dc, old);
}

std::u16string WindowTextOf(HWND hwnd) {
  int n = GetWindowTextLength(hwnd);
  std::u16string s(static_cast<size_t>(std::max(n, 0)) + 1, u'\0');
  int got = GetWindowText(hwnd, s.data(), n + 1);
  s.resize(static_cast<size_t>(std::max(got, 0)));
  return s;
}

HFONT ControlFont(HWND control) {
  HFONT f = reinterpret_cast<HFONT>(SendMessage(control, WM_GETFONT, 0, 0));
  return f ? f : static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
}

}  // namespace ce::internal
