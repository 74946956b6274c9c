// The table of system window classes and helpers every control shares.
#include "platform/controls/controls.h"

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

HFONT ControlFont(HWND control) {
  HFONT f = reinterpret_cast<HFONT>(SendMessage(control, WM_GETFONT, 0, 0));
  return f ? f : static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
}

}  // namespace ce::internal
