// The system window classes: each control is a window procedure that
// switches on the message, registered under its class name by the table in
// controls.cpp.  A new control is one more procedure and one more row.
#pragma once

#include "platform/kernel/internal.h"

namespace ce::internal {

LRESULT ScrollBarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT DialogClassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT MenuPopupProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT TaskBarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT DesktopProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Scroll bar geometry shared by the control and the window scroll bars.
int ScrollHitPart(const RECT& r, const ScrollState& s, bool vertical, POINT p);
int ScrollTrackPos(const RECT& r, const ScrollState& s, bool vertical, int delta);
ScrollState ClampScroll(ScrollState s);

// Sends WM_COMMAND with a notification code to a control's parent.
void NotifyParent(HWND control, WORD code);
// The font a control draws with: its WM_SETFONT font or the system font.
HFONT ControlFont(HWND control);

}  // namespace ce::internal

namespace ce::internal {

// Dialog templates: the project's own resource format (resources/README.md)
// or built in memory (message boxes).  Geometry in pixels.
struct DialogItem {
  int id = 0;
  std::u16string className;
  std::u16string text;
  int x = 0, y = 0, cx = 0, cy = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
};
struct DialogTemplate {
  std::u16string title;
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  bool center = false;
  std::vector<DialogItem> items;
};
constexpr DWORD DS_CENTER = 0x0800;

HWND CreateDialogFromTemplate(const DialogTemplate& t, HWND parent, DLGPROC proc, LPARAM param);
intptr_t RunModalDialog(const DialogTemplate& t, HWND parent, DLGPROC proc, LPARAM param);
// Resource lookups (resource.cpp).
bool LoadDialogTemplate(LPCWSTR name, DialogTemplate* out);
// The dialog font: the system font at the dialogs' size.
HFONT DialogFont();

// Control state helpers: the state a control keeps behind its window.
template <typename T>
T* ControlState(HWND hwnd) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* w = FindWindowLocked(hwnd);
  if (!w) return nullptr;
  if (!w->control) {
    w->control = new T();
    w->controlFree = [](void* p) { delete static_cast<T*>(p); };
  }
  return static_cast<T*>(w->control);
}
void FreeControlState(HWND hwnd);
DWORD WindowStyle(HWND hwnd);

}  // namespace ce::internal
