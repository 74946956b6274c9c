// The handheld platform's graphics device interface: device contexts for
// windows, the screen, memory and sections; bitmaps, palettes, brushes,
// pens and fonts; fills, rectangles, polylines, blits and text.
#pragma once

#include "platform/ce_base.h"

namespace ce {

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};
struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;  // negative: rows top-down
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};
constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_BITFIELDS = 3;
constexpr UINT DIB_RGB_COLORS = 0;
// The colour table holds 16-bit indexes into the DC's selected palette.
constexpr UINT DIB_PAL_COLORS = 1;

struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  void* bmBits;
};

struct PALETTEENTRY {
  BYTE peRed;
  BYTE peGreen;
  BYTE peBlue;
  BYTE peFlags;
};
struct LOGPALETTE {
  WORD palVersion;  // 0x300
  WORD palNumEntries;
  PALETTEENTRY palPalEntry[1];
};

constexpr int LF_FACESIZE = 32;
struct LOGFONT {
  LONG lfHeight;  // negative: character height in pixels
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  WCHAR lfFaceName[LF_FACESIZE];
};
constexpr LONG FW_NORMAL = 400;
constexpr LONG FW_BOLD = 700;

struct TEXTMETRIC {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
  LONG tmWeight;
};

// Device contexts.
HDC GetDC(HWND hwnd);  // null: the whole screen, over every window
HDC GetWindowDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC hdc);
HDC CreateCompatibleDC(HDC hdc);
BOOL DeleteDC(HDC hdc);

constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int NUMCOLORS = 24;
constexpr int RASTERCAPS = 38;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;
constexpr int SIZEPALETTE = 104;
constexpr int RC_PALETTE = 0x0100;
int GetDeviceCaps(HDC hdc, int index);

// Objects.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits,
                         HANDLE section, DWORD offset);
HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height);
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
// A bitmap resource (24 bits per pixel).
HBITMAP LoadBitmap(HINSTANCE instance, LPCWSTR name);
HBRUSH CreateSolidBrush(COLORREF color);
constexpr int PS_SOLID = 0;
constexpr int PS_DASH = 1;
constexpr int PS_NULL = 5;
HPEN CreatePen(int style, int width, COLORREF color);
HFONT CreateFontIndirect(const LOGFONT* font);
HPALETTE CreatePalette(const LOGPALETTE* palette);
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object);
BOOL DeleteObject(HGDIOBJ object);
int GetObject(HGDIOBJ object, int size, void* out);
HGDIOBJ GetCurrentObject(HDC hdc, UINT kind);
constexpr UINT OBJ_PEN = 1;
constexpr UINT OBJ_BRUSH = 2;
constexpr UINT OBJ_PAL = 5;
constexpr UINT OBJ_FONT = 6;
constexpr UINT OBJ_BITMAP = 7;

constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int HOLLOW_BRUSH = NULL_BRUSH;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int NULL_PEN = 8;
constexpr int SYSTEM_FONT = 13;
constexpr int DEFAULT_PALETTE = 15;
HGDIOBJ GetStockObject(int kind);

constexpr int COLOR_SCROLLBAR = 0;
constexpr int COLOR_BACKGROUND = 1;
constexpr int COLOR_ACTIVECAPTION = 2;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWFRAME = 6;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;
constexpr int COLOR_BTNHIGHLIGHT = 20;
COLORREF GetSysColor(int index);
HBRUSH GetSysColorBrush(int index);

// Palettes.
HPALETTE SelectPalette(HDC hdc, HPALETTE palette, BOOL forceBackground);
// On a palette display the selected palette is loaded into the hardware
// palette entry for entry (identity), so that indexes written straight into
// screen memory show its colours.  Returns the entries loaded.
UINT RealizePalette(HDC hdc);
UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* entries);
UINT SetPaletteEntries(HPALETTE palette, UINT start, UINT count, const PALETTEENTRY* entries);
UINT GetSystemPaletteEntries(HDC hdc, UINT start, UINT count, PALETTEENTRY* entries);
UINT GetNearestPaletteIndex(HPALETTE palette, COLORREF color);

// Drawing.
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD PATCOPY = 0x00F00021;
constexpr DWORD PATINVERT = 0x005A0049;
constexpr DWORD DSTINVERT = 0x00550009;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;
BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY,
            DWORD rop);
BOOL PatBlt(HDC hdc, int x, int y, int width, int height, DWORD rop);
int FillRect(HDC hdc, const RECT* rect, HBRUSH brush);
BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom);
BOOL Polyline(HDC hdc, const POINT* points, int count);
BOOL DrawFocusRect(HDC hdc, const RECT* rect);
BOOL InvertRect(HDC hdc, const RECT* rect);
COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color);
COLORREF GetPixel(HDC hdc, int x, int y);
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

// Text.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;
COLORREF SetTextColor(HDC hdc, COLORREF color);
COLORREF GetTextColor(HDC hdc);
COLORREF SetBkColor(HDC hdc, COLORREF color);
COLORREF GetBkColor(HDC hdc);
int SetBkMode(HDC hdc, int mode);
int GetBkMode(HDC hdc);

constexpr UINT DT_TOP = 0x0000;
constexpr UINT DT_LEFT = 0x0000;
constexpr UINT DT_CENTER = 0x0001;
constexpr UINT DT_RIGHT = 0x0002;
constexpr UINT DT_VCENTER = 0x0004;
constexpr UINT DT_BOTTOM = 0x0008;
constexpr UINT DT_WORDBREAK = 0x0010;
constexpr UINT DT_SINGLELINE = 0x0020;
constexpr UINT DT_NOCLIP = 0x0100;
constexpr UINT DT_CALCRECT = 0x0400;
constexpr UINT DT_NOPREFIX = 0x0800;
// Returns the height of the text drawn; count -1 = up to the terminator.
int DrawText(HDC hdc, LPCWSTR text, int count, RECT* rect, UINT format);
constexpr UINT ETO_OPAQUE = 0x0002;
constexpr UINT ETO_CLIPPED = 0x0004;
BOOL ExtTextOut(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCWSTR text,
                UINT count, const int* spacing);
BOOL GetTextExtentPoint32(HDC hdc, LPCWSTR text, int count, SIZE* size);
BOOL GetTextMetrics(HDC hdc, TEXTMETRIC* metrics);

}  // namespace ce
