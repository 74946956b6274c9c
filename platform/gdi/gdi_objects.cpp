// GDI objects: sections and bitmaps, brushes, pens, fonts, logical palettes,
// stock objects, selection into DCs, and the hardware palette.
#include <algorithm>
#include <cstdlib>

#include "imaging/core/page.h"
#include "platform/gdi/gdi_internal.h"

namespace ce {

using namespace internal;

namespace internal {

GdiState& Gdi() {
  static GdiState* state = new GdiState;  // never destroyed: see internal.h
  return *state;
}

namespace {

constexpr uint64_t kLargestBitmap = 256ull << 20;

HGDIOBJ NewHandle() { return MakeHandle<HGDIOBJ>(Gdi().nextId++); }

template <typename Map>
auto* FindIn(Map& m, HGDIOBJ h) {
  auto it = m.find(HandleId(h));
  return it == m.end() ? nullptr : &it->second;
}

HBRUSH AddBrush(COLORREF c, bool hollow) {
  HGDIOBJ h = NewHandle();
  Gdi().brushes[HandleId(h)] = Brush{c, hollow};
  return static_cast<HBRUSH>(h);
}

HPEN AddPen(COLORREF c, bool hollow) {
  HGDIOBJ h = NewHandle();
  Gdi().pens[HandleId(h)] = Pen{c, hollow};
  return static_cast<HPEN>(h);
}

HBITMAP AddBitmap(std::unique_ptr<Bitmap> b) {
  HGDIOBJ h = NewHandle();
  Gdi().bitmaps[HandleId(h)] = std::move(b);
  return static_cast<HBITMAP>(h);
}

// A zero-filled bitmap of the given format; null when the size is absurd.
std::unique_ptr<Bitmap> MakeBitmap(int width, int height, bool topDown, const PixelFormat& f) {
  if (width <= 0 || height <= 0 || width > 32767 || height > 32767) return nullptr;
  uint64_t stride = (static_cast<uint64_t>(width) * f.bpp + 31) / 32 * 4;
  uint64_t size = quillon::SizeProduct(stride, static_cast<uint64_t>(height));
  if (size > kLargestBitmap) return nullptr;
  auto b = std::make_unique<Bitmap>();
  b->buffer = static_cast<uint8_t*>(std::calloc(size, 1));
  if (!b->buffer) return nullptr;
  b->width = width;
  b->height = height;
  b->size = size;
  b->format = f;
  if (topDown) {
    b->top = b->buffer;
    b->stride = static_cast<ptrdiff_t>(stride);
  } else {
    b->top = b->buffer + (height - 1) * stride;
    b->stride = -static_cast<ptrdiff_t>(stride);
  }
  return b;
}

void FreeBitmap(Bitmap& b) {
  std::free(b.buffer);
  b.buffer = nullptr;
}

PixelFormat ScreenCompatibleFormat() { return Screen().format; }

}  // namespace

bool IsStock(HGDIOBJ object) {
  for (HGDIOBJ s : Gdi().stock) {
    if (s && s == object) return true;
  }
  if (object == Gdi().defaultBitmap) return true;
  for (auto& [i, b] : Gdi().sysBrushes) {
    if (b == object) return true;
  }
  return false;
}

Bitmap* FindBitmap(HGDIOBJ h) {
  auto it = Gdi().bitmaps.find(HandleId(h));
  return it == Gdi().bitmaps.end() ? nullptr : it->second.get();
}
Brush* FindBrush(HGDIOBJ h) { return FindIn(Gdi().brushes, h); }
Pen* FindPen(HGDIOBJ h) { return FindIn(Gdi().pens, h); }
Font* FindFont(HGDIOBJ h) { return FindIn(Gdi().fonts, h); }
Palette* FindPalette(HGDIOBJ h) { return FindIn(Gdi().palettes, h); }
Dc* FindDc(HDC h) { return FindIn(Gdi().dcs, h); }

Surface BitmapSurface(Bitmap& b) {
  return Surface{b.width, b.height, false, b.top, b.stride, &b.format};
}

void ResetGdi() {
  GdiState& g = Gdi();
  std::lock_guard<std::mutex> lk(g.lock);
  for (auto& [id, b] : g.bitmaps) FreeBitmap(*b);
  g.bitmaps.clear();
  g.brushes.clear();
  g.pens.clear();
  g.fonts.clear();
  g.palettes.clear();
  g.dcs.clear();
  g.sysBrushes.clear();
  std::fill(std::begin(g.stock), std::end(g.stock), nullptr);
  g.stock[WHITE_BRUSH] = AddBrush(RGB(255, 255, 255), false);
  g.stock[LTGRAY_BRUSH] = AddBrush(RGB(192, 192, 192), false);
  g.stock[GRAY_BRUSH] = AddBrush(RGB(128, 128, 128), false);
  g.stock[DKGRAY_BRUSH] = AddBrush(RGB(64, 64, 64), false);
  g.stock[BLACK_BRUSH] = AddBrush(RGB(0, 0, 0), false);
  g.stock[NULL_BRUSH] = AddBrush(0, true);
  g.stock[WHITE_PEN] = AddPen(RGB(255, 255, 255), false);
  g.stock[BLACK_PEN] = AddPen(RGB(0, 0, 0), false);
  g.stock[NULL_PEN] = AddPen(0, true);
  Font system;
  system.logFont.lfHeight = -12;
  system.logFont.lfWeight = FW_NORMAL;
  system.pixelHeight = 12;
  HGDIOBJ font = NewHandle();
  g.fonts[HandleId(font)] = system;
  g.stock[SYSTEM_FONT] = font;
  Palette systemPalette;
  for (int i = 0; i < 256; ++i) {
    RGBQUAD q = SystemColor(i);
    systemPalette.entries.push_back(PALETTEENTRY{q.rgbRed, q.rgbGreen, q.rgbBlue, 0});
  }
  HGDIOBJ pal = NewHandle();
  g.palettes[HandleId(pal)] = systemPalette;
  g.stock[DEFAULT_PALETTE] = pal;
  PixelFormat mono;
  mono.kind = PixelKind::kIndexed;
  mono.bpp = 1;
  mono.colorCount = 2;
  mono.colors[1] = RGBQUAD{255, 255, 255, 0};
  g.defaultBitmap = AddBitmap(MakeBitmap(1, 1, true, mono));
  ResetText();
}

}  // namespace internal

// ---------------------------------------------------------------------------
// Bitmaps

HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE,
                         DWORD) {
  if (bits) *bits = nullptr;
  if (!info) return nullptr;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biPlanes != 1 || h.biWidth <= 0 ||
      h.biHeight == 0 || h.biHeight == INT32_MIN)
    return nullptr;
  PixelFormat f;
  f.bpp = h.biBitCount;
  const uint8_t* table = reinterpret_cast<const uint8_t*>(info) + h.biSize;
  switch (h.biBitCount) {
    case 1:
    case 4:
    case 8: {
      if (h.biCompression != BI_RGB) return nullptr;
      f.kind = PixelKind::kIndexed;
      int count = 1 << h.biBitCount;
      if (h.biClrUsed > 0 && h.biClrUsed < static_cast<DWORD>(count))
        count = static_cast<int>(h.biClrUsed);
      f.colorCount = count;
      std::lock_guard<std::mutex> lk(Gdi().lock);
      if (usage == DIB_PAL_COLORS) {
        // Resolved through the palette selected in the DC now.
        f.paletteRelative = true;
        Dc* dc = FindDc(hdc);
        Palette* pal = FindPalette(dc && dc->palette ? dc->palette : Gdi().stock[DEFAULT_PALETTE]);
        for (int i = 0; i < count; ++i) {
          uint16_t index = static_cast<uint16_t>(table[i * 2] | (table[i * 2 + 1] << 8));
          f.paletteIndex[i] = index;
          if (pal && index < pal->entries.size()) {
            const PALETTEENTRY& e = pal->entries[index];
            f.colors[i] = RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
          }
        }
      } else {
        std::memcpy(f.colors, table, sizeof(RGBQUAD) * static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) f.colors[i].rgbReserved = 0;
      }
      break;
    }
    case 16: {
      f.kind = PixelKind::kRgb555;
      if (h.biCompression == BI_BITFIELDS) {
        uint32_t masks[3];
        std::memcpy(masks, table, sizeof(masks));
        if (masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F) {
          f.kind = PixelKind::kRgb565;
        } else if (!(masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F)) {
          return nullptr;
        }
      } else if (h.biCompression != BI_RGB) {
        return nullptr;
      }
      break;
    }
    case 24:
      if (h.biCompression != BI_RGB) return nullptr;
      f.kind = PixelKind::kRgb24;
      break;
    case 32:
      if (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS) return nullptr;
      f.kind = PixelKind::kRgb32;
      break;
    default: return nullptr;
  }
  bool topDown = h.biHeight < 0;
  int height = topDown ? -h.biHeight : h.biHeight;
  auto b = MakeBitmap(h.biWidth, height, topDown, f);
  if (!b) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  b->section = true;
  if (bits) *bits = b->buffer;
  std::lock_guard<std::mutex> lk(Gdi().lock);
  return AddBitmap(std::move(b));
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  PixelFormat f = ScreenCompatibleFormat();
  if (Dc* dc = FindDc(hdc); dc && dc->kind == DcKind::kMemory) {
    if (Bitmap* b = FindBitmap(dc->bitmap)) f = b->format;
  }
  auto b = MakeBitmap(width, height, true, f);
  return b ? AddBitmap(std::move(b)) : nullptr;
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
  if (planes != 1 || bitsPerPixel != 1) return nullptr;  // monochrome masks only
  PixelFormat mono;
  mono.kind = PixelKind::kIndexed;
  mono.bpp = 1;
  mono.colorCount = 2;
  mono.colors[1] = RGBQUAD{255, 255, 255, 0};
  auto b = MakeBitmap(width, height, true, mono);
  if (!b) return nullptr;
  if (bits) {
    // Rows of the caller's data are padded to 16 bits.
    size_t src = static_cast<size_t>((width + 15) / 16 * 2);
    for (int y = 0; y < height; ++y) {
      std::memcpy(b->top + y * b->stride, static_cast<const uint8_t*>(bits) + y * src,
                  std::min<size_t>(src, static_cast<size_t>(b->stride)));
    }
  }
  std::lock_guard<std::mutex> lk(Gdi().lock);
  return AddBitmap(std::move(b));
}

// ---------------------------------------------------------------------------
// Brushes, pens, fonts, palettes

HBRUSH CreateSolidBrush(COLORREF color) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  return AddBrush(color, false);
}

HPEN CreatePen(int style, int, COLORREF color) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  return AddPen(color, style == PS_NULL);
}

HFONT CreateFontIndirect(const LOGFONT* logFont) {
  if (!logFont) return nullptr;
  Font f;
  f.logFont = *logFont;
  f.logFont.lfFaceName[LF_FACESIZE - 1] = 0;
  f.bold = logFont->lfWeight >= 600;
  LONG h = logFont->lfHeight;
  // A negative height is the character height; a positive one the cell
  // height, of which DejaVu's em takes about six sevenths.
  f.pixelHeight = h < 0 ? -h : h > 0 ? std::max<LONG>(1, h * 6 / 7) : 12;
  f.pixelHeight = std::clamp(f.pixelHeight, 1, 400);
  std::lock_guard<std::mutex> lk(Gdi().lock);
  HGDIOBJ handle = NewHandle();
  Gdi().fonts[HandleId(handle)] = f;
  return static_cast<HFONT>(handle);
}

HPALETTE CreatePalette(const LOGPALETTE* palette) {
  if (!palette || palette->palVersion != 0x300 || palette->palNumEntries == 0 ||
      palette->palNumEntries > 1024)
    return nullptr;
  Palette p;
  p.entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
  std::lock_guard<std::mutex> lk(Gdi().lock);
  HGDIOBJ handle = NewHandle();
  Gdi().palettes[HandleId(handle)] = std::move(p);
  return static_cast<HPALETTE>(handle);
}

UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* entries) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Palette* p = FindPalette(palette);
  if (!p) return 0;
  if (!entries) return static_cast<UINT>(p->entries.size());
  UINT n = 0;
  for (; n < count && start + n < p->entries.size(); ++n) entries[n] = p->entries[start + n];
  return n;
}

UINT SetPaletteEntries(HPALETTE palette, UINT start, UINT count, const PALETTEENTRY* entries) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Palette* p = FindPalette(palette);
  if (!p || !entries || IsStock(palette)) return 0;
  UINT n = 0;
  for (; n < count && start + n < p->entries.size(); ++n) p->entries[start + n] = entries[n];
  return n;
}

UINT GetNearestPaletteIndex(HPALETTE palette, COLORREF color) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Palette* p = FindPalette(palette);
  if (!p) return CLR_INVALID;
  std::vector<RGBQUAD> table;
  for (const PALETTEENTRY& e : p->entries) table.push_back(RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0});
  return static_cast<UINT>(NearestColor(table.data(), static_cast<int>(table.size()), color));
}

HPALETTE SelectPalette(HDC hdc, HPALETTE palette, BOOL) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Dc* dc = FindDc(hdc);
  if (!dc || !FindPalette(palette)) return nullptr;
  HPALETTE old = dc->palette ? dc->palette : static_cast<HPALETTE>(Gdi().stock[DEFAULT_PALETTE]);
  dc->palette = palette;
  dc->backgroundPalette = false;
  return old;
}

namespace {

// Whether a DC realises its palette into the hardware: the foreground
// window and the windows it owns do; memory and screen DCs too.
bool RealisesInFront(const Dc& dc) {
  if (dc.kind != DcKind::kWindow) return true;
  std::lock_guard<std::mutex> lk(Sys().lock);
  HWND front = Sys().foreground;
  Window* w = FindWindowLocked(dc.hwnd);
  if (!front || !w) return true;
  for (Window* r = RootLocked(w); r; r = r->owner ? FindWindowLocked(r->owner) : nullptr) {
    if (r->handle == front) return true;
  }
  return false;
}

// Tells every other top-level window that the hardware palette changed and
// has it repaint with the colours now nearest to its own: windows of this
// thread at once, those of others through their queues.
void BroadcastPaletteChange(HWND cause) {
  std::vector<HWND> windows;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Window* c = FindWindowLocked(cause);
    HWND causeRoot = c ? RootLocked(c)->handle : nullptr;
    for (HWND h : Sys().zorder) {
      Window* w = FindWindowLocked(h);
      if (!w || h == causeRoot || w->destroying) continue;
      InvalidateWindowLocked(w, nullptr, true, true);
      windows.push_back(h);
    }
  }
  const DWORD self = GetCurrentThreadId();
  for (HWND h : windows) {
    if (WindowThread(h) == self) SendMessage(h, WM_PALETTECHANGED, reinterpret_cast<WPARAM>(cause), 0);
    else PostMessage(h, WM_PALETTECHANGED, reinterpret_cast<WPARAM>(cause), 0);
  }
}

}  // namespace

UINT RealizePalette(HDC hdc) {
  HWND cause = nullptr;
  bool changed = false;
  UINT n;
  {
    std::lock_guard<std::mutex> lk(Gdi().lock);
    Dc* dc = FindDc(hdc);
    if (!dc) return 0;
    ScreenState& s = Screen();
    if (s.depth != 8) return 0;
    Palette* p = FindPalette(dc->palette ? dc->palette : Gdi().stock[DEFAULT_PALETTE]);
    if (!p) return 0;
    n = static_cast<UINT>(std::min<size_t>(256, p->entries.size()));
    // Behind: the hardware palette stays; drawing maps to its nearest colours.
    dc->backgroundPalette = !RealisesInFront(*dc);
    if (dc->backgroundPalette) return n;
    for (UINT i = 0; i < n; ++i) {
      const PALETTEENTRY& e = p->entries[i];
      RGBQUAD q{e.peBlue, e.peGreen, e.peRed, 0};
      if (std::memcmp(&q, &s.hardware[i], sizeof q) == 0) continue;
      s.hardware[i] = q;
      changed = true;
    }
    if (!changed) return n;
    ++s.paletteGeneration;
    cause = dc->hwnd;
  }
  BroadcastPaletteChange(cause);
  return n;
}

UINT GetSystemPaletteEntries(HDC, UINT start, UINT count, PALETTEENTRY* entries) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  const ScreenState& s = Screen();
  UINT size = s.depth == 8 ? 256 : s.depth == 4 ? 16 : 0;
  if (!entries) return size;
  UINT n = 0;
  for (; n < count && start + n < size; ++n) {
    UINT i = start + n;
    if (s.depth == 8) {
      const RGBQUAD& q = s.hardware[i];
      entries[n] = PALETTEENTRY{q.rgbRed, q.rgbGreen, q.rgbBlue, 0};
    } else {
      BYTE v = static_cast<BYTE>(i * 17);
      entries[n] = PALETTEENTRY{v, v, v, 0};
    }
  }
  return n;
}

// ---------------------------------------------------------------------------
// Selection and lifetime

HGDIOBJ GetStockObject(int kind) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  if (kind < 0 || kind >= 16) return nullptr;
  return Gdi().stock[kind];
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  GdiState& g = Gdi();
  Dc* dc = FindDc(hdc);
  if (!dc || !object) return nullptr;
  if (Bitmap* b = FindBitmap(object)) {
    if (dc->kind != DcKind::kMemory) return nullptr;
    if (b->selectedInto && b->selectedInto != hdc && object != g.defaultBitmap) return nullptr;
    HBITMAP old = dc->bitmap ? dc->bitmap : static_cast<HBITMAP>(g.defaultBitmap);
    if (Bitmap* ob = FindBitmap(old); ob && old != g.defaultBitmap) ob->selectedInto = nullptr;
    dc->bitmap = static_cast<HBITMAP>(object);
    if (object != g.defaultBitmap) b->selectedInto = hdc;
    return old;
  }
  if (FindBrush(object)) {
    HGDIOBJ old = dc->brush ? dc->brush : g.stock[WHITE_BRUSH];
    dc->brush = static_cast<HBRUSH>(object);
    return old;
  }
  if (FindPen(object)) {
    HGDIOBJ old = dc->pen ? dc->pen : g.stock[BLACK_PEN];
    dc->pen = static_cast<HPEN>(object);
    return old;
  }
  if (FindFont(object)) {
    HGDIOBJ old = dc->font ? dc->font : g.stock[SYSTEM_FONT];
    dc->font = static_cast<HFONT>(object);
    return old;
  }
  if (FindPalette(object)) {
    HGDIOBJ old = dc->palette ? dc->palette : g.stock[DEFAULT_PALETTE];
    dc->palette = static_cast<HPALETTE>(object);
    return old;
  }
  return nullptr;
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT kind) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  GdiState& g = Gdi();
  Dc* dc = FindDc(hdc);
  if (!dc) return nullptr;
  switch (kind) {
    case OBJ_PEN: return dc->pen ? dc->pen : g.stock[BLACK_PEN];
    case OBJ_BRUSH: return dc->brush ? dc->brush : g.stock[WHITE_BRUSH];
    case OBJ_FONT: return dc->font ? dc->font : g.stock[SYSTEM_FONT];
    case OBJ_PAL: return dc->palette ? dc->palette : g.stock[DEFAULT_PALETTE];
    case OBJ_BITMAP: return dc->bitmap ? dc->bitmap : g.defaultBitmap;
    default: return nullptr;
  }
}

BOOL DeleteObject(HGDIOBJ object) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  GdiState& g = Gdi();
  if (!object) return FALSE;
  if (IsStock(object)) return TRUE;
  uint32_t id = HandleId(object);
  if (Bitmap* b = FindBitmap(object)) {
    if (b->selectedInto) return FALSE;  // still selected into a DC
    FreeBitmap(*b);
    g.bitmaps.erase(id);
    return TRUE;
  }
  // DCs that still hold the object fall back to the stock one.
  for (auto& [dcId, dc] : g.dcs) {
    if (dc.brush == object) dc.brush = nullptr;
    if (dc.pen == object) dc.pen = nullptr;
    if (dc.font == object) dc.font = nullptr;
    if (dc.palette == object) dc.palette = nullptr;
  }
  if (g.brushes.erase(id) || g.pens.erase(id) || g.fonts.erase(id) || g.palettes.erase(id))
    return TRUE;
  return FALSE;
}

int GetObject(HGDIOBJ object, int size, void* out) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  if (Bitmap* b = FindBitmap(object)) {
    if (!out) return sizeof(BITMAP);
    if (size < static_cast<int>(sizeof(BITMAP))) return 0;
    BITMAP bm{0, b->width, b->height, static_cast<LONG>(b->stride < 0 ? -b->stride : b->stride),
              1, static_cast<WORD>(b->format.bpp), b->section ? b->buffer : nullptr};
    std::memcpy(out, &bm, sizeof(bm));
    return sizeof(BITMAP);
  }
  if (Font* f = FindFont(object)) {
    if (!out) return sizeof(LOGFONT);
    if (size < static_cast<int>(sizeof(LOGFONT))) return 0;
    std::memcpy(out, &f->logFont, sizeof(LOGFONT));
    return sizeof(LOGFONT);
  }
  if (Palette* p = FindPalette(object)) {
    if (!out || size < 2) return 2;
    WORD n = static_cast<WORD>(p->entries.size());
    std::memcpy(out, &n, 2);
    return 2;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// System colours

COLORREF GetSysColor(int index) {
  switch (index) {
    case COLOR_SCROLLBAR: return RGB(192, 192, 192);
    case COLOR_BACKGROUND: return RGB(0, 128, 128);
    case COLOR_ACTIVECAPTION: return RGB(0, 0, 128);
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWFRAME: return RGB(0, 0, 0);
    case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
    case COLOR_HIGHLIGHT: return RGB(0, 0, 128);
    case COLOR_HIGHLIGHTTEXT: return RGB(255, 255, 255);
    case COLOR_BTNFACE: return RGB(192, 192, 192);
    case COLOR_BTNSHADOW: return RGB(128, 128, 128);
    case COLOR_GRAYTEXT: return RGB(128, 128, 128);
    case COLOR_BTNTEXT: return RGB(0, 0, 0);
    case COLOR_BTNHIGHLIGHT: return RGB(255, 255, 255);
    default: return RGB(0, 0, 0);
  }
}

HBRUSH GetSysColorBrush(int index) {
  COLORREF c = GetSysColor(index);
  std::lock_guard<std::mutex> lk(Gdi().lock);
  auto& m = Gdi().sysBrushes;
  auto it = m.find(index);
  if (it != m.end()) return it->second;
  HBRUSH b = AddBrush(c, false);
  m[index] = b;
  return b;
}

}  // namespace ce
