// The dialog manager: dialogs built from templates, modal and modeless, the
// dialog class, item access, and keyboard handling inside dialogs.
#include <algorithm>
#include <cstdio>

#include "platform/controls/controls.h"
#include "platform/gdi/gdi_internal.h"

namespace ce {

using namespace internal;

namespace internal {

// The bundled face at 11 pixels, made once per run of the emulator.
HFONT DialogFont() {
  static std::mutex lock;
  static HFONT font = nullptr;
  std::lock_guard<std::mutex> lk(lock);
  bool alive;
  {
    std::lock_guard<std::mutex> g(Gdi().lock);
    alive = font && FindFont(font);
  }
  if (!alive) {
    LOGFONT lf{};
    lf.lfHeight = -11;
    lf.lfWeight = FW_NORMAL;
    font = CreateFontIndirect(&lf);
  }
  return font;
}

void FreeControlState(HWND hwnd) {
  void* state = nullptr;
  void (*release)(void*) = nullptr;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Window* w = FindWindowLocked(hwnd);
    if (!w) return;
    state = w->control;
    release = w->controlFree;
    w->control = nullptr;
    w->controlFree = nullptr;
  }
  if (state && release) release(state);
}

DWORD WindowStyle(HWND hwnd) { return static_cast<DWORD>(GetWindowLong(hwnd, GWL_STYLE)); }

bool WideScreen() { return GetSystemMetrics(SM_CXSCREEN) > 240; }

void PlaceDialog(HWND dlg, const RECT& rect) {
  SetWindowPos(dlg, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  RECT client;
  GetClientRect(dlg, &client);
  POINT delta;
  std::vector<HWND> children;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Window* w = FindWindowLocked(dlg);
    if (!w) return;
    POINT offset{std::max<LONG>(0, (client.right - w->layout.cx) / 2),
                 std::max<LONG>(0, (client.bottom - w->layout.cy) / 2)};
    delta = POINT{offset.x - w->layoutOffset.x, offset.y - w->layoutOffset.y};
    w->layoutOffset = offset;
    children = w->children;
  }
  if (delta.x == 0 && delta.y == 0) return;
  for (HWND c : children) {
    RECT r;
    GetWindowRect(c, &r);
    POINT p{r.left, r.top};
    ScreenToClient(dlg, &p);
    SetWindowPos(c, nullptr, p.x + delta.x, p.y + delta.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void FillWorkArea(HWND dlg) {
  RECT area{0, kTaskBarHeight, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  PlaceDialog(dlg, area);
}

HWND CreateDialogFromTemplate(const DialogTemplate& t, HWND parent, DLGPROC proc, LPARAM param) {
  bool wide = t.hasWide && WideScreen();
  int cx = wide ? t.wideCx : t.cx, cy = wide ? t.wideCy : t.cy;
  bool child = (t.style & WS_CHILD) != 0;
  if (child && !parent) return nullptr;
  int x = t.x, y = t.y;
  if (!child && (t.placement == DialogPlacement::kCenter || (t.style & DS_CENTER))) {
    // Over the parent, or the screen when there is none or it is too small.
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (parent) {
      RECT pr;
      GetWindowRect(parent, &pr);
      if (pr.right - pr.left >= cx && pr.bottom - pr.top >= cy) area = pr;
    }
    x = area.left + (area.right - area.left - cx) / 2;
    y = area.top + (area.bottom - area.top - cy) / 2;
  }
  // Full screen: the area below the task bar, the layout centred in it.
  int width = cx, height = cy;
  POINT offset{0, 0};
  if (!child && t.placement == DialogPlacement::kFullScreen) {
    x = 0;
    y = kTaskBarHeight;
    width = GetSystemMetrics(SM_CXSCREEN);
    height = GetSystemMetrics(SM_CYSCREEN) - kTaskBarHeight;
    RECT insets = ComputeInsets(t.style, t.exStyle);
    offset = POINT{std::max<LONG>(0, (width - insets.left - insets.right - cx) / 2),
                   std::max<LONG>(0, (height - insets.top - insets.bottom - cy) / 2)};
  }
  DWORD style = t.style & ~WS_VISIBLE;
  style = child ? (style & ~WS_POPUP) | WS_CHILD : (style & ~WS_CHILD) | WS_POPUP;
  HWND dlg = CreateWindowEx(t.exStyle, u"#32770", t.title.c_str(), style, x, y, width, height,
                            parent, nullptr, nullptr, nullptr);
  if (!dlg) return nullptr;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Window* w = FindWindowLocked(dlg);
    w->isDialog = true;
    w->dialogProc = proc;
    w->layout = SIZE{cx, cy};
    w->layoutOffset = offset;
  }
  HFONT font = DialogFont();
  SendMessage(dlg, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  HWND firstTab = nullptr;
  for (const DialogItem& item : t.items) {
    bool moved = wide && item.moves;
    HWND c = CreateWindowEx(item.exStyle, item.className.c_str(), item.text.c_str(),
                            item.style | WS_CHILD, offset.x + (moved ? item.wx : item.x),
                            offset.y + (moved ? item.wy : item.y), moved ? item.wcx : item.cx,
                            moved ? item.wcy : item.cy, dlg,
                            reinterpret_cast<HMENU>(static_cast<intptr_t>(item.id)), nullptr,
                            nullptr);
    if (!c) {
      ReportResourceProblem(t.name.empty() ? ToUtf8(t.title) : t.name,
                            "line " + std::to_string(item.line) + ": no control of class \"" +
                                ToUtf8(item.className) + "\": " + item.source);
      DestroyWindow(dlg);
      return nullptr;
    }
    SendMessage(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (!firstTab && (item.style & WS_TABSTOP) && !(item.style & WS_DISABLED)) firstTab = c;
  }
  BOOL focusDefault = proc ? proc(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTab), param) : TRUE;
  if (!IsWindow(dlg)) return nullptr;
  if (t.style & WS_VISIBLE) ShowWindow(dlg, SW_SHOW);
  if (focusDefault && firstTab && IsWindowVisible(dlg)) SetFocus(firstTab);
  return dlg;
}

intptr_t RunModalDialog(const DialogTemplate& t, HWND parent, DLGPROC proc, LPARAM param) {
  HWND owner = nullptr;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    if (Window* p = FindWindowLocked(parent)) owner = RootLocked(p)->handle;
  }
  bool reenable = owner && IsWindowEnabled(owner);
  DialogTemplate shown = t;
  shown.style |= WS_VISIBLE;
  HWND dlg = CreateDialogFromTemplate(shown, owner, proc, param);
  if (!dlg) return -1;
  if (reenable) EnableWindow(owner, FALSE);
  intptr_t result = RunModalLoop(dlg);
  if (reenable) EnableWindow(owner, TRUE);
  if (IsWindow(dlg)) DestroyWindow(dlg);
  if (owner && IsWindow(owner) && IsWindowVisible(owner)) SetForegroundWindow(owner);
  return result;
}

intptr_t RunModalLoop(HWND dlg) {
  // The plain loop: the dialog's keys are handled by its controls.
  intptr_t result = 0;
  for (;;) {
    {
      std::lock_guard<std::mutex> lk(Sys().lock);
      Window* w = FindWindowLocked(dlg);
      if (!w) break;
      if (w->dialogEnded) {
        result = w->endValue;
        break;
      }
    }
    MSG msg;
    if (!GetMessage(&msg, nullptr, 0, 0)) {
      // Passed on to the program's own loop.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
  return result;
}

// The dialog a control belongs to, and the one in front that ends with
// Enter and Escape (a property sheet rather than its page).
namespace {

HWND DialogOf(HWND hwnd, bool outermost) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  HWND found = nullptr;
  for (Window* w = FindWindowLocked(hwnd); w; w = FindWindowLocked(w->parent)) {
    if (!w->isDialog) continue;
    found = w->handle;
    if (!outermost) break;
  }
  return found;
}

HWND DefaultButton(HWND dialog) {
  for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    WCHAR cls[16];
    GetClassName(c, cls, 16);
    if (Lower(cls) == u"button" && (WindowStyle(c) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) return c;
  }
  return nullptr;
}

}  // namespace

bool DialogNavigationKey(HWND hwnd, int vk) {
  HWND dialog = DialogOf(hwnd, false);
  if (!dialog) return false;
  switch (vk) {
    case VK_TAB: {
      HWND next = GetNextDlgTabItem(dialog, GetFocus(), GetKeyState(VK_SHIFT) < 0);
      if (!next) return true;
      SetFocus(next);
      WCHAR cls[8];
      GetClassName(next, cls, 8);
      if (Lower(cls) == u"edit") SendMessage(next, EM_SETSEL, 0, -1);
      return true;
    }
    case VK_RETURN:
    case VK_ESCAPE: {
      HWND front = DialogOf(hwnd, true);
      HWND button = vk == VK_ESCAPE ? GetDlgItem(front, IDCANCEL) : DefaultButton(front);
      // Enter on a push button presses that one.
      HWND focus = GetFocus();
      WCHAR cls[8] = {};
      GetClassName(focus, cls, 8);
      DWORD kind = WindowStyle(focus) & BS_TYPEMASK;
      if (vk == VK_RETURN && GetParent(focus) == front && Lower(cls) == u"button" &&
          (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON))
        button = focus;
      int id = vk == VK_ESCAPE ? IDCANCEL : button ? GetDlgCtrlID(button) : IDOK;
      if (button && !IsWindowEnabled(button)) return true;
      PostMessage(front, WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(id), BN_CLICKED),
                  reinterpret_cast<LPARAM>(button));
      return true;
    }
    default: return false;
  }
}

LRESULT DialogClassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  DLGPROC proc = nullptr;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Window* w = FindWindowLocked(hwnd);
    if (w) {
      proc = w->dialogProc;
      if (msg != WM_INITDIALOG) w->dialogResult = 0;
    }
  }
  if (proc && msg != WM_INITDIALOG) {
    BOOL handled = proc(hwnd, msg, wParam, lParam);
    if (handled) {
      if (msg == WM_CTLCOLORBTN || msg == WM_CTLCOLORSTATIC) return handled;
      return GetWindowLongPtr(hwnd, DWL_MSGRESULT);
    }
  }
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(hwnd, &r);
      FillRect(reinterpret_cast<HDC>(wParam), &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      return 1;
    }
    case WM_CLOSE:
      PostMessage(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      return 0;
    default: return DefWindowProc(hwnd, msg, wParam, lParam);
  }
}

}  // namespace internal

// ---------------------------------------------------------------------------
// The dialog API

intptr_t DialogBoxParam(HINSTANCE, LPCWSTR templateName, HWND parent, DLGPROC proc, LPARAM param) {
  DialogTemplate t;
  if (!LoadDialogTemplate(templateName, &t)) {
    SetLastError(ERROR_RESOURCE_NOT_FOUND);
    return -1;
  }
  return RunModalDialog(t, parent, proc, param);
}

HWND CreateDialogParam(HINSTANCE, LPCWSTR templateName, HWND parent, DLGPROC proc, LPARAM param) {
  DialogTemplate t;
  if (!LoadDialogTemplate(templateName, &t)) {
    SetLastError(ERROR_RESOURCE_NOT_FOUND);
    return nullptr;
  }
  return CreateDialogFromTemplate(t, parent, proc, param);
}

BOOL EndDialog(HWND dialog, intptr_t result) {
  DWORD thread;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Window* w = FindWindowLocked(dialog);
    if (!w || !w->isDialog) return FALSE;
    w->dialogEnded = true;
    w->endValue = result;
    thread = w->thread;
    // Wake the modal loop.
    PostLocked(thread, MSG{nullptr, WM_NULL, 0, 0, 0, POINT{0, 0}});
  }
  return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* d = FindWindowLocked(dialog);
  if (!d) return nullptr;
  for (HWND c : d->children) {
    Window* w = FindWindowLocked(c);
    if (w && static_cast<int>(w->childId) == id) return c;
  }
  return nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* w = FindWindowLocked(hwnd);
  return w && w->parent ? static_cast<int>(w->childId) : 0;
}

LRESULT SendDlgItemMessage(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND item = GetDlgItem(dialog, id);
  return item ? SendMessage(item, msg, wParam, lParam) : 0;
}

BOOL SetDlgItemText(HWND dialog, int id, LPCWSTR text) {
  HWND item = GetDlgItem(dialog, id);
  return item ? SetWindowText(item, text) : FALSE;
}

UINT GetDlgItemText(HWND dialog, int id, LPWSTR buffer, int capacity) {
  HWND item = GetDlgItem(dialog, id);
  if (!item) {
    if (buffer && capacity > 0) buffer[0] = 0;
    return 0;
  }
  return static_cast<UINT>(GetWindowText(item, buffer, capacity));
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
  char text[16];
  if (isSigned) std::snprintf(text, sizeof(text), "%d", static_cast<int>(value));
  else std::snprintf(text, sizeof(text), "%u", value);
  std::u16string wide = ToU16(text);
  return SetDlgItemText(dialog, id, wide.c_str());
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned) {
  WCHAR text[64];
  GetDlgItemText(dialog, id, text, 64);
  size_t i = 0;
  while (text[i] == u' ') ++i;
  bool negative = false;
  if (isSigned && text[i] == u'-') {
    negative = true;
    ++i;
  }
  int64_t value = 0;
  size_t digits = 0;
  for (; text[i] >= u'0' && text[i] <= u'9'; ++i, ++digits) {
    value = value * 10 + (text[i] - u'0');
    if (value > 0xFFFFFFFFll) break;
  }
  while (text[i] == u' ') ++i;
  bool ok = digits > 0 && text[i] == 0 &&
            (isSigned ? value <= (negative ? 2147483648ll : 2147483647ll) : value <= 0xFFFFFFFFll);
  if (translated) *translated = ok ? TRUE : FALSE;
  if (!ok) return 0;
  return static_cast<UINT>(negative ? -value : value);
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
  return SendDlgItemMessage(dialog, id, BM_SETCHECK, check, 0) == 0 && GetDlgItem(dialog, id);
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
  return static_cast<UINT>(SendDlgItemMessage(dialog, id, BM_GETCHECK, 0, 0));
}

BOOL CheckRadioButton(HWND dialog, int firstId, int lastId, int checkId) {
  if (!IsWindow(dialog)) return FALSE;
  for (int id = firstId; id <= lastId; ++id) {
    SendDlgItemMessage(dialog, id, BM_SETCHECK, id == checkId ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  return TRUE;
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
  std::vector<HWND> tabs;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Window* d = FindWindowLocked(dialog);
    if (!d) return nullptr;
    for (HWND c : d->children) {
      Window* w = FindWindowLocked(c);
      if (w && (w->style & WS_TABSTOP) && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED))
        tabs.push_back(c);
    }
  }
  if (tabs.empty()) return nullptr;
  auto it = std::find(tabs.begin(), tabs.end(), control);
  if (it == tabs.end()) return tabs.front();
  size_t i = static_cast<size_t>(it - tabs.begin());
  return tabs[(i + (previous ? tabs.size() - 1 : 1)) % tabs.size()];
}

BOOL IsDialogMessage(HWND dialog, MSG* msg) {
  // The controls handle these keys themselves; this only spares the
  // program's loop the dispatch.
  if (!msg || msg->message != WM_KEYDOWN) return FALSE;
  if (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd)) return FALSE;
  int vk = static_cast<int>(msg->wParam);
  if (vk != VK_TAB && vk != VK_RETURN && vk != VK_ESCAPE) return FALSE;
  return DialogNavigationKey(msg->hwnd, vk) ? TRUE : FALSE;
}

}  // namespace ce
