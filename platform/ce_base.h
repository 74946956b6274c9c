// The handheld platform's basic types, handles, geometry records and the
// helpers that pack and unpack message parameters.  Names and values are the
// platform's own so that programs written for it read as they would there.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ce {

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using UINT = uint32_t;
using INT = int;
using BOOL = int;
using WCHAR = char16_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using COLORREF = uint32_t;
using ATOM = uint16_t;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

// Handles are opaque; every handle value is even so that bit 0 stays free
// (the platform uses it to ask for the topmost owned window).
struct HWND__;
struct HDC__;
struct HMENU__;
struct HINSTANCE__;
struct HBITMAP__;
struct HBRUSH__;
struct HPEN__;
struct HFONT__;
struct HPALETTE__;
struct HKEY__;
struct HICON__;
struct HCURSOR__;
struct HRSRC__;
struct HIMAGELIST__;
using HWND = HWND__*;
using HDC = HDC__*;
using HMENU = HMENU__*;
using HINSTANCE = HINSTANCE__*;
using HBITMAP = HBITMAP__*;
using HBRUSH = HBRUSH__*;
using HPEN = HPEN__*;
using HFONT = HFONT__*;
using HPALETTE = HPALETTE__*;
using HKEY = HKEY__*;
using HICON = HICON__*;
using HCURSOR = HCURSOR__*;
using HRSRC = HRSRC__*;
using HIMAGELIST = HIMAGELIST__*;
using HGDIOBJ = void*;
using HANDLE = void*;
using HGLOBAL = void*;
using HLOCAL = void*;

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~uintptr_t{0});

struct POINT {
  LONG x;
  LONG y;
};
struct SIZE {
  LONG cx;
  LONG cy;
};
struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

// ---------------------------------------------------------------------------
// Parameter packing

constexpr WORD LOWORD(uintptr_t v) { return static_cast<WORD>(v & 0xFFFF); }
constexpr WORD HIWORD(uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
constexpr BYTE LOBYTE(uintptr_t v) { return static_cast<BYTE>(v & 0xFF); }
constexpr LPARAM MAKELPARAM(unsigned low, unsigned high) {
  return static_cast<LPARAM>(static_cast<DWORD>((low & 0xFFFF) | ((high & 0xFFFF) << 16)));
}
constexpr WPARAM MAKEWPARAM(unsigned low, unsigned high) {
  return static_cast<WPARAM>(static_cast<DWORD>((low & 0xFFFF) | ((high & 0xFFFF) << 16)));
}
constexpr LRESULT MAKELRESULT(unsigned low, unsigned high) {
  return static_cast<LRESULT>(MAKELPARAM(low, high));
}
// Pen coordinates are signed 16-bit values.
constexpr int GET_X_LPARAM(LPARAM v) { return static_cast<int16_t>(v & 0xFFFF); }
constexpr int GET_Y_LPARAM(LPARAM v) { return static_cast<int16_t>((v >> 16) & 0xFFFF); }

// Colour values hold red in the low byte and blue in the third byte.
constexpr COLORREF RGB(unsigned r, unsigned g, unsigned b) {
  return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16);
}
constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }
// A colour that names an entry of the selected logical palette.
constexpr COLORREF PALETTEINDEX(unsigned i) { return 0x01000000u | (i & 0xFFFF); }
constexpr COLORREF PALETTERGB(unsigned r, unsigned g, unsigned b) {
  return 0x02000000u | RGB(r, g, b);
}

// Resource names: a value below 0x10000 is a number, not a string.
inline LPCWSTR MAKEINTRESOURCE(unsigned id) {
  return reinterpret_cast<LPCWSTR>(static_cast<uintptr_t>(id & 0xFFFF));
}
inline bool IS_INTRESOURCE(LPCWSTR name) {
  return (reinterpret_cast<uintptr_t>(name) >> 16) == 0;
}

// Rectangle helpers.
BOOL SetRect(RECT* r, int left, int top, int right, int bottom);
BOOL SetRectEmpty(RECT* r);
BOOL IsRectEmpty(const RECT* r);
BOOL PtInRect(const RECT* r, POINT p);
BOOL OffsetRect(RECT* r, int dx, int dy);
BOOL InflateRect(RECT* r, int dx, int dy);
BOOL IntersectRect(RECT* out, const RECT* a, const RECT* b);
BOOL UnionRect(RECT* out, const RECT* a, const RECT* b);
BOOL EqualRect(const RECT* a, const RECT* b);

// Last-error codes.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_WRITE_PROTECT = 19;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_RESOURCE_NOT_FOUND = 1814;
DWORD GetLastError();
void SetLastError(DWORD code);

}  // namespace ce
