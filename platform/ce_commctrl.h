// The drop-down list, the common controls (report-mode list views,
// up-downs) and the property sheet, with the platform's messages,
// notifications and records.
#pragma once

#include "platform/ce_base.h"
#include "platform/ce_user.h"

namespace ce {

// ---------------------------------------------------------------------------
// Drop-down lists ("combobox" with CBS_DROPDOWNLIST)

constexpr DWORD CBS_DROPDOWN = 0x0002;
constexpr DWORD CBS_DROPDOWNLIST = 0x0003;
constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_DELETESTRING = 0x0144;
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_GETLBTEXT = 0x0148;
constexpr UINT CB_GETLBTEXTLEN = 0x0149;
constexpr UINT CB_INSERTSTRING = 0x014A;
constexpr UINT CB_RESETCONTENT = 0x014B;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr UINT CB_SHOWDROPDOWN = 0x014F;
constexpr UINT CB_GETITEMDATA = 0x0150;
constexpr UINT CB_SETITEMDATA = 0x0151;
constexpr UINT CB_GETDROPPEDSTATE = 0x0157;
constexpr UINT CB_FINDSTRINGEXACT = 0x0158;
constexpr LRESULT CB_ERR = -1;

// ---------------------------------------------------------------------------
// Report-mode list views

inline LPCWSTR const WC_LISTVIEW = u"SysListView32";
constexpr DWORD LVS_REPORT = 0x0001;
constexpr DWORD LVS_SINGLESEL = 0x0004;
constexpr DWORD LVS_SHOWSELALWAYS = 0x0008;
constexpr DWORD LVS_NOCOLUMNHEADER = 0x4000;
constexpr DWORD LVS_EX_FULLROWSELECT = 0x0020;

constexpr UINT LVM_GETIMAGELIST = 0x1002;
constexpr UINT LVM_SETIMAGELIST = 0x1003;
constexpr UINT LVM_GETITEMCOUNT = 0x1004;
constexpr UINT LVM_DELETEITEM = 0x1008;
constexpr UINT LVM_DELETEALLITEMS = 0x1009;
constexpr UINT LVM_GETNEXTITEM = 0x100C;
constexpr UINT LVM_GETITEMRECT = 0x100E;
constexpr UINT LVM_ENSUREVISIBLE = 0x1013;
constexpr UINT LVM_GETCOLUMNWIDTH = 0x101D;
constexpr UINT LVM_SETCOLUMNWIDTH = 0x101E;
constexpr UINT LVM_GETTOPINDEX = 0x1027;
constexpr UINT LVM_GETCOUNTPERPAGE = 0x1028;
constexpr UINT LVM_SETITEMSTATE = 0x102B;
constexpr UINT LVM_GETITEMSTATE = 0x102C;
constexpr UINT LVM_SETEXTENDEDLISTVIEWSTYLE = 0x1036;
constexpr UINT LVM_GETEXTENDEDLISTVIEWSTYLE = 0x1037;
constexpr UINT LVM_GETITEM = 0x104B;
constexpr UINT LVM_SETITEM = 0x104C;
constexpr UINT LVM_INSERTITEM = 0x104D;
constexpr UINT LVM_FINDITEM = 0x1053;
constexpr UINT LVM_INSERTCOLUMN = 0x1061;
constexpr UINT LVM_GETITEMTEXT = 0x1073;
constexpr UINT LVM_SETITEMTEXT = 0x1074;

constexpr WPARAM LVSIL_NORMAL = 0;
constexpr WPARAM LVSIL_SMALL = 1;

constexpr UINT LVIF_TEXT = 0x0001;
constexpr UINT LVIF_IMAGE = 0x0002;
constexpr UINT LVIF_PARAM = 0x0004;
constexpr UINT LVIF_STATE = 0x0008;
constexpr UINT LVIS_FOCUSED = 0x0001;
constexpr UINT LVIS_SELECTED = 0x0002;
constexpr UINT LVNI_ALL = 0x0000;
constexpr UINT LVNI_FOCUSED = 0x0001;
constexpr UINT LVNI_SELECTED = 0x0002;
constexpr UINT LVIR_BOUNDS = 0;
constexpr UINT LVFI_STRING = 0x0002;

struct LVITEM {
  UINT mask;
  int iItem;
  int iSubItem;
  UINT state;
  UINT stateMask;
  LPWSTR pszText;
  int cchTextMax;
  int iImage;
  LPARAM lParam;
  int iIndent;
};

constexpr UINT LVCF_FMT = 0x0001;
constexpr UINT LVCF_WIDTH = 0x0002;
constexpr UINT LVCF_TEXT = 0x0004;
constexpr UINT LVCF_SUBITEM = 0x0008;
constexpr int LVCFMT_LEFT = 0x0000;
constexpr int LVCFMT_RIGHT = 0x0001;
constexpr int LVCFMT_CENTER = 0x0002;

struct LVCOLUMN {
  UINT mask;
  int fmt;
  int cx;
  LPWSTR pszText;
  int cchTextMax;
  int iSubItem;
};

struct LVFINDINFO {
  UINT flags;
  LPCWSTR psz;
  LPARAM lParam;
};

// What LVN_ITEMCHANGED, NM_CLICK and NM_DBLCLK carry.
struct NMLISTVIEW {
  NMHDR hdr;
  int iItem;
  int iSubItem;
  UINT uNewState;
  UINT uOldState;
  UINT uChanged;
  POINT ptAction;
  LPARAM lParam;
};

inline int ListView_InsertColumn(HWND list, int at, const LVCOLUMN* column) {
  return static_cast<int>(SendMessage(list, LVM_INSERTCOLUMN, static_cast<WPARAM>(at),
                                      reinterpret_cast<LPARAM>(column)));
}
inline int ListView_InsertItem(HWND list, const LVITEM* item) {
  return static_cast<int>(SendMessage(list, LVM_INSERTITEM, 0, reinterpret_cast<LPARAM>(item)));
}
inline BOOL ListView_SetItem(HWND list, const LVITEM* item) {
  return static_cast<BOOL>(SendMessage(list, LVM_SETITEM, 0, reinterpret_cast<LPARAM>(item)));
}
inline BOOL ListView_GetItem(HWND list, LVITEM* item) {
  return static_cast<BOOL>(SendMessage(list, LVM_GETITEM, 0, reinterpret_cast<LPARAM>(item)));
}
inline BOOL ListView_DeleteItem(HWND list, int item) {
  return static_cast<BOOL>(SendMessage(list, LVM_DELETEITEM, static_cast<WPARAM>(item), 0));
}
inline BOOL ListView_DeleteAllItems(HWND list) {
  return static_cast<BOOL>(SendMessage(list, LVM_DELETEALLITEMS, 0, 0));
}
inline int ListView_GetItemCount(HWND list) {
  return static_cast<int>(SendMessage(list, LVM_GETITEMCOUNT, 0, 0));
}
inline int ListView_GetNextItem(HWND list, int start, UINT flags) {
  return static_cast<int>(SendMessage(list, LVM_GETNEXTITEM, static_cast<WPARAM>(start), flags));
}
inline void ListView_SetItemState(HWND list, int item, UINT state, UINT mask) {
  LVITEM it{};
  it.state = state;
  it.stateMask = mask;
  SendMessage(list, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&it));
}
inline BOOL ListView_EnsureVisible(HWND list, int item, BOOL partialOk) {
  return static_cast<BOOL>(
      SendMessage(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(item), partialOk));
}
inline HIMAGELIST ListView_SetImageList(HWND list, HIMAGELIST images, WPARAM which) {
  return reinterpret_cast<HIMAGELIST>(
      SendMessage(list, LVM_SETIMAGELIST, which, reinterpret_cast<LPARAM>(images)));
}
inline void ListView_SetExtendedListViewStyle(HWND list, DWORD style) {
  SendMessage(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(style));
}

// ---------------------------------------------------------------------------
// Up-down controls

inline LPCWSTR const UPDOWN_CLASS = u"msctls_updown32";
constexpr DWORD UDS_WRAP = 0x0001;
constexpr DWORD UDS_SETBUDDYINT = 0x0002;
constexpr DWORD UDS_ALIGNRIGHT = 0x0004;
constexpr DWORD UDS_ALIGNLEFT = 0x0008;
constexpr DWORD UDS_AUTOBUDDY = 0x0010;
constexpr DWORD UDS_ARROWKEYS = 0x0020;
constexpr DWORD UDS_NOTHOUSANDS = 0x0080;

// UDM_SETRANGE: lParam = MAKELPARAM(upper, lower); the up arrow moves
// towards the upper end.
constexpr UINT UDM_SETRANGE = 0x0465;
constexpr UINT UDM_GETRANGE = 0x0466;
constexpr UINT UDM_SETPOS = 0x0467;
constexpr UINT UDM_GETPOS = 0x0468;
constexpr UINT UDM_SETBUDDY = 0x0469;
constexpr UINT UDM_GETBUDDY = 0x046A;
constexpr UINT UDM_SETRANGE32 = 0x046F;
constexpr UINT UDM_GETRANGE32 = 0x0470;
constexpr UINT UDM_SETPOS32 = 0x0471;
constexpr UINT UDM_GETPOS32 = 0x0472;

// UDN_DELTAPOS: a nonzero answer keeps the position.
struct NMUPDOWN {
  NMHDR hdr;
  int iPos;
  int iDelta;
};

// ---------------------------------------------------------------------------
// Property sheets

constexpr DWORD PSP_DEFAULT = 0x0000;
constexpr DWORD PSP_USETITLE = 0x0008;
constexpr DWORD PSH_PROPSHEETPAGE = 0x0008;
constexpr DWORD PSH_USECALLBACK = 0x0100;
constexpr DWORD PSH_MAXIMIZE = 0x2000;
constexpr UINT PSCB_INITIALIZED = 1;

struct PROPSHEETPAGE;
using LPFNPSPCALLBACK = UINT (*)(HWND, UINT, PROPSHEETPAGE*);
using PFNPROPSHEETCALLBACK = int (*)(HWND, UINT, LPARAM);

struct PROPSHEETPAGE {
  DWORD dwSize;
  DWORD dwFlags;
  HINSTANCE hInstance;
  LPCWSTR pszTemplate;
  HICON hIcon;
  LPCWSTR pszTitle;
  DLGPROC pfnDlgProc;
  LPARAM lParam;
  LPFNPSPCALLBACK pfnCallback;
  UINT* pcRefParent;
};

// dwSize is the platform's 40 bytes or the size of this record.
struct PROPSHEETHEADER {
  DWORD dwSize;
  DWORD dwFlags;
  HWND hwndParent;
  HINSTANCE hInstance;
  HICON hIcon;
  LPCWSTR pszCaption;
  UINT nPages;
  UINT nStartPage;
  const PROPSHEETPAGE* ppsp;
  PFNPROPSHEETCALLBACK pfnCallback;
};

// What a page's WM_NOTIFY carries (PSN_*).
struct PSHNOTIFY {
  NMHDR hdr;
  LPARAM lParam;
};

// Modal: full screen below the task bar with the Done button, the pages
// above a row of tabs.  Returns 1 after Done, 0 when closed otherwise, -1
// when the sheet cannot be shown.
intptr_t PropertySheet(const PROPSHEETHEADER* header);

}  // namespace ce
