// The dialog manager: dialogs built from templates, modal and modeless, the
// dialog class, item access, and keyboard handling inside dialogs.
#include <algorithm>
#include <cstdio>

#include "platform/controls/controls.h"
#include "platform/gdi/gdi_internal.h"

namespace ce {

using namespace internal;

namespace internal {

HFONT DialogFont() { return static_cast<HFONT>(GetStockObject(SYSTEM_FONT)); }

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

HWND CreateDialogFromTemplate(const DialogTemplate& t, HWND parent, DLGPROC proc, LPARAM param) {
  int x = t.x, y = t.y;
  if (t.center || (t.style & DS_CENTER)) {
    // Over the parent, or the screen when there is none or it is too small.
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (parent) {
      RECT pr;
      GetWindowRect(parent, &pr);
      if (pr.right - pr.left >= t.cx && pr.bottom - pr.top >= t.cy) area = pr;
    }
    x = area.left + (area.right - area.left - t.cx) / 2;
    y = area.top + (area.bottom - area.top - t.cy) / 2;
  }
  DWORD style = (t.style & ~WS_VISIBLE & ~WS_CHILD) | WS_POPUP;
  HWND dlg = CreateWindowEx(t.exStyle, u"#32770", t.title.c_str(), style, x, y, t.cx, t.cy, parent,
                            nullptr, nullptr, nullptr);
  if (!dlg) return nullptr;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Window* w = FindWindowLocked(dlg);
    w->isDialog = true;
    w->dialogProc = proc;
  }
  HFONT font = DialogFont();
  SendMessage(dlg, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  HWND firstTab = nullptr;
  for (const DialogItem& item : t.items) {
    HWND c = CreateWindowEx(item.exStyle, item.className.c_str(), item.text.c_str(),
                            item.style | WS_CHILD, item.x, item.y, item.cx, item.cy, dlg,
                            reinterpret_cast<HMENU>(static_cast<intptr_t>(item.id)), nullptr,
                            nullptr);
    if (!c) continue;
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
  bool quit = false;
  int quitCode = 0;
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
      quit = true;
      quitCode = static_cast<int>(msg.wParam);
      break;
    }
    if (IsDialogMessage(dlg, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
  if (reenable) EnableWindow(owner, TRUE);
  if (IsWindow(dlg)) DestroyWindow(dlg);
  if (owner && IsWindow(owner) && IsWindowVisible(owner)) SetForegroundWindow(owner);
  if (quit) PostQuitMessage(quitCode);
  return result;
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
  if (!msg || msg->message != WM_KEYDOWN) return FALSE;
  if (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd)) return FALSE;
  switch (msg->wParam) {
    case VK_RETURN: {
      int id = IDOK;
      for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if ((WindowStyle(c) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
          WCHAR cls[16];
          GetClassName(c, cls, 16);
          if (Lower(cls) == u"button") id = GetDlgCtrlID(c);
        }
      }
      PostMessage(dialog, WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(id), BN_CLICKED),
                  reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
      return TRUE;
    }
    case VK_ESCAPE:
      PostMessage(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                  reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
      return TRUE;
    case VK_TAB: {
      HWND next = GetNextDlgTabItem(dialog, GetFocus(), GetKeyState(VK_SHIFT) < 0);
      if (next) SetFocus(next);
      return TRUE;
    }
    default: return FALSE;
  }
}

}  // namespace ce
