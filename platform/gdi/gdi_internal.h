// GDI internals: pixel formats, surfaces (screen memory and bitmaps), device
// contexts and the object table.  One lock guards every GDI object and every
// pixel GDI writes.  Lock order: the GDI lock may be taken first and the
// system lock inside it, never the other way round.
#pragma once

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/kernel/internal.h"

namespace ce::internal {

// ---------------------------------------------------------------------------
// Pixel formats

enum class PixelKind : uint8_t {
  kIndexed,  // 1/4/8 bpp with a colour table
  kDevice8,  // 8 bpp indexes of the hardware palette
  kGray4,  // 4 bpp gray levels of the gray panel (0 black .. 15 white)
  kRgb555,
  kRgb565,
  kRgb24,
  kRgb32,
};

struct PixelFormat {
  PixelKind kind = PixelKind::kRgb565;
  int bpp = 16;
  int colorCount = 0;
  RGBQUAD colors[256] = {};
  // Palette-relative sections: entry i of the colour table is entry
  // paletteIndex[i] of the logical palette it was made with.
  bool paletteRelative = false;
  uint16_t paletteIndex[256] = {};
};

// A rectangle of pixels: screen memory (through the device's layout) or a
// bitmap in host memory (rows `stride` bytes apart from the top row).
struct Surface {
  int width = 0;
  int height = 0;
  bool screen = false;
  uint8_t* top = nullptr;
  ptrdiff_t stride = 0;
  const PixelFormat* format = nullptr;
};

// ---------------------------------------------------------------------------
// Screen memory

struct ScreenState {
  int width = 0;
  int height = 0;
  int depth = 16;
  int orientation = 0;
  uint32_t flags = 0;
  size_t rowBytes = 0;
  int rows = 0;
  uint32_t* memory = nullptr;  // word-aligned: the viewer stores 32-bit words
  size_t size = 0;
  PixelFormat format;
  RGBQUAD hardware[256] = {};  // the palette display's hardware palette
  uint64_t paletteGeneration = 1;
};

ScreenState& Screen();
void SetupScreen(const DeviceModel& device);
// The default hardware palette, the platform's: the twenty static colours
// at 0-9 and 246-255 (black at 0, white at 255, the exact grays 0x808080
// and 0xC0C0C0), a 6 x 6 x 6 colour cube and a ramp of grays between.
RGBQUAD SystemColor(int index);

inline ScreenLocation Locate(const ScreenState& s, int x, int y) {
  switch (s.orientation) {
    case 270: {
      size_t col = static_cast<size_t>(s.height - 1 - y);
      return ScreenLocation{static_cast<size_t>(x) * s.rowBytes + col * s.depth / 8, 0};
    }
    case 90: {
      size_t row = static_cast<size_t>(s.width - 1 - x);
      size_t bit = static_cast<size_t>(y) * s.depth;
      // Two pixels per byte with the even one in the low nibble.
      return ScreenLocation{row * s.rowBytes + bit / 8, s.depth < 8 ? static_cast<int>(bit % 8) : 0};
    }
    default: {
      size_t bit = static_cast<size_t>(x) * s.depth;
      int shift = s.depth < 8 ? 8 - s.depth - static_cast<int>(bit % 8) : 0;
      return ScreenLocation{static_cast<size_t>(y) * s.rowBytes + bit / 8, shift};
    }
  }
}

// ---------------------------------------------------------------------------
// Raw pixel access and colour conversion

uint32_t ReadRaw(const Surface& s, int x, int y);
void WriteRaw(const Surface& s, int x, int y, uint32_t raw);
COLORREF RawToColor(const Surface& s, uint32_t raw);
// Nearest representable value of a colour (COLORREF without palette flags).
uint32_t ColorToRaw(const Surface& s, COLORREF color);
uint32_t AllOnes(const PixelFormat& f);
int NearestColor(const RGBQUAD* table, int count, COLORREF color);

// Converts source raw values to destination raw values, remembering
// colours it has matched.
class RawConverter {
 public:
  // `identity`: palette-relative pixels name hardware entries as they are
  // (a palette realised in front); else they go by colour.
  RawConverter(const Surface& src, const Surface& dst, bool identity = true);
  uint32_t operator()(uint32_t raw);

 private:
  const Surface& src_;
  const Surface& dst_;
  enum class Mode { kSame, kPaletteToDevice, kDeviceToPalette, kViaColor } mode_;
  std::vector<int32_t> reverse_;
  std::map<uint32_t, uint32_t> memo_;
};

// ---------------------------------------------------------------------------
// Objects

struct Bitmap {
  int width = 0;
  int height = 0;
  uint8_t* buffer = nullptr;  // owned, zero-filled
  size_t size = 0;
  uint8_t* top = nullptr;
  ptrdiff_t stride = 0;
  PixelFormat format;
  HDC selectedInto = nullptr;
  bool section = false;
};

struct Brush {
  COLORREF color = 0;
  bool hollow = false;
};

struct Pen {
  COLORREF color = 0;
  bool hollow = false;
};

struct Font {
  LOGFONT logFont{};
  int pixelHeight = 12;  // character (em) height
  bool bold = false;
};

struct Palette {
  std::vector<PALETTEENTRY> entries;
};

enum class DcKind : uint8_t { kWindow, kScreen, kMemory };

struct Dc {
  DcKind kind = DcKind::kMemory;
  HWND hwnd = nullptr;
  bool clientArea = true;
  bool paintClip = false;
  RECT paint{};  // screen coordinates, when paintClip
  HBITMAP bitmap = nullptr;
  HPEN pen = nullptr;
  HBRUSH brush = nullptr;
  HFONT font = nullptr;
  HPALETTE palette = nullptr;
  // Realised while its window was behind: its colours map to the nearest
  // of the hardware palette instead of naming its entries.
  bool backgroundPalette = false;
  COLORREF textColor = 0x000000;
  COLORREF bkColor = 0xFFFFFF;
  int bkMode = OPAQUE;
  uint64_t clipGeneration = 0;
  std::vector<RECT> clip;
  POINT origin{};
};

struct GdiState {
  std::mutex lock;
  uint32_t nextId = 1;
  std::map<uint32_t, std::unique_ptr<Bitmap>> bitmaps;
  std::map<uint32_t, Brush> brushes;
  std::map<uint32_t, Pen> pens;
  std::map<uint32_t, Font> fonts;
  std::map<uint32_t, Palette> palettes;
  std::map<uint32_t, Dc> dcs;
  HGDIOBJ stock[16] = {};
  HBITMAP defaultBitmap = nullptr;  // 1 x 1 monochrome, as in a new memory DC
  std::map<int, HBRUSH> sysBrushes;
};

GdiState& Gdi();
bool IsStock(HGDIOBJ object);
Bitmap* FindBitmap(HGDIOBJ h);
Brush* FindBrush(HGDIOBJ h);
Pen* FindPen(HGDIOBJ h);
Font* FindFont(HGDIOBJ h);
Palette* FindPalette(HGDIOBJ h);
Dc* FindDc(HDC h);

// What a drawing call draws on: the surface, the DC origin on it, and the
// rectangles (surface coordinates) it may touch.  Needs the GDI lock.
struct Target {
  Dc* dc = nullptr;
  Surface surface;
  POINT origin{};
  std::vector<RECT> clip;
};
bool ResolveTarget(HDC hdc, Target* t);
Surface BitmapSurface(Bitmap& b);
Surface ScreenSurface();
// The colour a COLORREF means in this DC (palette flags resolved).
COLORREF ResolveColor(const Target& t, COLORREF c);
void FillRaw(const Target& t, RECT r, uint32_t raw, int op);
enum RawOp { kOpCopy = 0, kOpXor = 1, kOpAnd = 2, kOpOr = 3 };

// A DC for a window's client area (or whole window), optionally clipped to
// a rectangle of the client area; released with ReleaseDC.
HDC CreateWindowDc(HWND hwnd, bool client, const RECT* clientClip);

// Text (text.cpp): advance width and line metrics of a font, glyph drawing.
struct FontMetrics {
  int ascent;
  int descent;
  int height;
  int averageWidth;
};
FontMetrics MeasureFont(const Font& font);
int MeasureRun(const Font& font, std::u16string_view text);
void DrawRun(const Target& t, const Font& font, int x, int baseline, std::u16string_view text,
             COLORREF color);
const Font& DcFont(const Target& t);
void ResetText();

}  // namespace ce::internal
