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
LRESULT ComboBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT ComboListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT ListViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT UpDownProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
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
// Sends WM_NOTIFY with `header` (its first member an NMHDR, filled here) to
// the parent; returns the parent's answer.
LRESULT NotifyParentNm(HWND control, UINT code, NMHDR* header);

// The controls' look: white ground, light gray buttons with black frames,
// gray for what is disabled.
constexpr COLORREF kFaceColor = RGB(192, 192, 192);
constexpr COLORREF kDisabledColor = RGB(128, 128, 128);
constexpr COLORREF kSelectionColor = RGB(0, 0, 128);
void FillSolid(HDC dc, const RECT& r, COLORREF color);
void FrameSolid(HDC dc, const RECT& r, COLORREF color, int width);
// A light gray box with a frame and a small triangle: 0 up, 1 down, 2 left,
// 3 right; pressed boxes are drawn dark.
void DrawArrowBox(HDC dc, const RECT& r, int direction, bool enabled, bool pressed);
// Text in the control's font; colour by the enabled state.
void DrawLabel(HDC dc, HWND control, const std::u16string& text, RECT r, UINT format,
               bool enabled, COLORREF ink = RGB(0, 0, 0));
std::u16string WindowTextOf(HWND hwnd);

// Where a script taps to reach the item reading `text` of a drop-down list,
// a list view, a property sheet's tabs or an open menu: sent to the control
// (the menu's window) on its own thread.  `point` is on the screen; `final`
// says the tap picks the item, otherwise it opens the list or scrolls
// towards the item; nonzero when the control knows the item.
struct TapTarget {
  std::u16string text;
  POINT point{};
  bool final = false;
};
constexpr UINT kFindTapTarget = 0x03F0;
// The font a control draws with: its WM_SETFONT font or the system font.
HFONT ControlFont(HWND control);

}  // namespace ce::internal

namespace ce::internal {

// Dialog templates: the project's own resource format (resources/README.md)
// or built in memory (message boxes).  Geometry in pixels.  A template holds
// a narrow layout and, optionally, a wide one used on screens wider than 240
// pixels: the wide size and the rectangles of the controls that move.
struct DialogItem {
  int id = 0;
  std::u16string className;
  std::u16string text;
  int x = 0, y = 0, cx = 0, cy = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
  bool moves = false;  // has a wide rectangle
  int wx = 0, wy = 0, wcx = 0, wcy = 0;
  int line = 0;  // where the template says it
  std::string source;
};
enum class DialogPlacement {
  kAt,  // at x, y (in the parent's client area for pages)
  kCenter,  // centred over the parent, or the screen
  kFullScreen,  // the area below the task bar, the layout centred in it
};
struct DialogTemplate {
  std::u16string title;
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  DialogPlacement placement = DialogPlacement::kAt;
  bool hasWide = false;
  int wideCx = 0, wideCy = 0;
  std::vector<DialogItem> items;
  std::string name;  // the resource file, for messages
};
constexpr DWORD DS_CENTER = 0x0800;
// The screen area dialogs fill: below the 26-pixel task bar.
constexpr int kTaskBarHeight = 26;
// The tab row along the bottom of a property sheet.
constexpr int kSheetTabHeight = 20;
// Whether dialogs use their wide layout on this screen.
bool WideScreen();

HWND CreateDialogFromTemplate(const DialogTemplate& t, HWND parent, DLGPROC proc, LPARAM param);
intptr_t RunModalDialog(const DialogTemplate& t, HWND parent, DLGPROC proc, LPARAM param);
// Runs messages until the dialog ends (its EndDialog value) or goes away.
intptr_t RunModalLoop(HWND dialog);
// Moves a dialog (parent coordinates) and centres its layout in it.
void PlaceDialog(HWND dialog, const RECT& rect);
// The whole screen below the task bar.
void FillWorkArea(HWND dialog);
// Tab, Enter and Escape inside a dialog, whichever control has the focus;
// false when the window is in no dialog or the key is none of these.
bool DialogNavigationKey(HWND hwnd, int vk);
// Resource lookups (resource.cpp); failures are reported with the line.
bool LoadDialogTemplate(LPCWSTR name, DialogTemplate* out);
void ReportResourceProblem(const std::string& path, const std::string& what);
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
