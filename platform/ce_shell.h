// The Pocket PC shell calls, common controls (image lists), sound, and the
// emulator's own menu-bar call.
#pragma once

#include "platform/ce_base.h"
#include "platform/ce_gdi.h"

namespace ce {

// ---------------------------------------------------------------------------
// Full-screen control: kept per window, in effect while it is in front.

constexpr DWORD SHFS_SHOWTASKBAR = 0x0001;
constexpr DWORD SHFS_HIDETASKBAR = 0x0002;
constexpr DWORD SHFS_SHOWSIPBUTTON = 0x0004;
constexpr DWORD SHFS_HIDESIPBUTTON = 0x0008;
constexpr DWORD SHFS_SHOWSTARTICON = 0x0010;
constexpr DWORD SHFS_HIDESTARTICON = 0x0020;
BOOL SHFullScreen(HWND hwnd, DWORD state);

// Dialog initialisation.
constexpr DWORD SHIDIM_FLAGS = 0x0001;
constexpr DWORD SHIDIF_DONEBUTTON = 0x0001;
constexpr DWORD SHIDIF_SIZEDLG = 0x0002;
constexpr DWORD SHIDIF_SIZEDLGFULLSCREEN = 0x0004;
constexpr DWORD SHIDIF_SIPDOWN = 0x0008;
constexpr DWORD SHIDIF_FULLSCREENNOMENUBAR = 0x0010;
struct SHINITDLGINFO {
  DWORD dwMask;
  HWND hDlg;
  DWORD dwFlags;
};
// Sizes the dialog to the work area; with the Done flag the task bar shows
// an "ok" box that sends IDOK to the dialog.
BOOL SHInitDialog(SHINITDLGINFO* info);

// Input panel: state only.
constexpr int SIP_UP = 0;
constexpr int SIP_DOWN = 1;
constexpr int SIP_FORCEDOWN = 2;
constexpr int SIP_UNCHANGED = 3;
BOOL SHSipPreference(HWND hwnd, int state);
struct SIPINFO {
  DWORD cbSize;
  DWORD fdwFlags;
  RECT rcVisibleDesktop;
  RECT rcSipRect;
  DWORD dwImDataSize;
  void* pvImData;
};
constexpr DWORD SIPF_ON = 0x0001;
constexpr DWORD SIPF_DOCKED = 0x0002;
BOOL SipSetInfo(SIPINFO* info);
BOOL SipGetInfo(SIPINFO* info);

// Tap-and-hold: 1000 when the pen stays down long enough without moving.
constexpr DWORD SHRG_RETURNCMD = 0x0001;
constexpr DWORD SHRG_NOTIFYPARENT = 0x0002;
constexpr DWORD GN_CONTEXTMENU = 1000;
struct SHRGINFO {
  DWORD cbSize;
  HWND hwndClient;
  POINT ptDown;
  DWORD dwFlags;
};
DWORD SHRecognizeGesture(SHRGINFO* info);

struct SHACTIVATEINFO {
  DWORD cbSize;
  HWND hwndLastFocus;
  UINT fSipUp : 1;
  UINT fSipOnDeactivation : 1;
  UINT fActive : 1;
  UINT fReserved : 29;
};
BOOL SHHandleWMSettingChange(HWND hwnd, WPARAM wParam, LPARAM lParam, SHACTIVATEINFO* info);

// Shell file information: the system's small-icon list and an icon per path.
constexpr UINT SHGFI_ICON = 0x0100;
constexpr UINT SHGFI_SYSICONINDEX = 0x4000;
constexpr UINT SHGFI_SMALLICON = 0x0001;
struct SHFILEINFO {
  HICON hIcon;
  int iIcon;
  DWORD dwAttributes;
  WCHAR szDisplayName[260];
  WCHAR szTypeName[80];
};
// With SHGFI_SYSICONINDEX: returns the system small-icon image list (never
// to be destroyed by the caller) and sets iIcon.
uintptr_t SHGetFileInfo(LPCWSTR path, DWORD attributes, SHFILEINFO* info, UINT size,
                        UINT flags);
// The system icon indexes.
constexpr int kShellIconFolder = 0;
constexpr int kShellIconFile = 1;
constexpr int kShellIconImage = 2;

// The emulator's own shell call: registers a menu bar for a window.  Tapping
// the title in the task bar while that window is in front drops it down;
// the chosen command arrives as WM_COMMAND.  Null removes it.
BOOL CeSetMenuBar(HWND hwnd, HMENU menu);

// ---------------------------------------------------------------------------
// Common controls

constexpr DWORD ICC_LISTVIEW_CLASSES = 0x0001;
constexpr DWORD ICC_UPDOWN_CLASS = 0x0010;
struct INITCOMMONCONTROLSEX {
  DWORD dwSize;
  DWORD dwICC;
};
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init);

constexpr COLORREF CLR_NONE = 0xFFFFFFFF;
constexpr COLORREF CLR_DEFAULT = 0xFF000000;
constexpr UINT ILC_MASK = 0x0001;
constexpr UINT ILC_COLOR = 0x0000;
constexpr UINT ILC_COLOR16 = 0x0010;
constexpr UINT ILC_COLOR24 = 0x0018;
constexpr UINT ILD_NORMAL = 0x0000;
constexpr UINT ILD_TRANSPARENT = 0x0001;
constexpr UINT IMAGE_BITMAP = 0;
constexpr UINT LR_DEFAULTCOLOR = 0;
HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow);
// The bitmap resource is cut into images `cx` wide.  A mask colour of
// CLR_NONE keeps every pixel; CLR_DEFAULT takes the top-left pixel's colour.
HIMAGELIST ImageList_LoadImage(HINSTANCE instance, LPCWSTR name, int cx, int grow,
                               COLORREF mask, UINT type, UINT flags);
inline HIMAGELIST ImageList_LoadBitmap(HINSTANCE instance, LPCWSTR name, int cx, int grow,
                                       COLORREF mask) {
  return ImageList_LoadImage(instance, name, cx, grow, mask, IMAGE_BITMAP, 0);
}
int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask);
int ImageList_AddMasked(HIMAGELIST list, HBITMAP image, COLORREF mask);
BOOL ImageList_Draw(HIMAGELIST list, int index, HDC hdc, int x, int y, UINT style);
BOOL ImageList_Destroy(HIMAGELIST list);
int ImageList_GetImageCount(HIMAGELIST list);
BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy);

// ---------------------------------------------------------------------------
// Sound

constexpr UINT SND_SYNC = 0x0000;
constexpr UINT SND_ASYNC = 0x0001;
constexpr UINT SND_NODEFAULT = 0x0002;
constexpr UINT SND_MEMORY = 0x0004;
// Plays an in-memory RIFF/WAVE image of 8-bit mono PCM; a null sound stops
// the one playing.  The image must stay valid until stopped.
BOOL sndPlaySound(const void* sound, UINT flags);

}  // namespace ce
