// Device contexts: window, screen and memory DCs, what each draws on, and
// the clipping of window DCs to what of the window shows.
#include <algorithm>

#include "platform/gdi/gdi_internal.h"

namespace ce {

using namespace internal;

namespace internal {

Surface ScreenSurface() {
  ScreenState& s = Screen();
  return Surface{s.width, s.height, true, nullptr, 0, &s.format};
}

namespace {

HDC AddDc(const Dc& dc) {
  HDC h = MakeHandle<HDC>(Gdi().nextId++);
  Gdi().dcs[HandleId(h)] = dc;
  return h;
}

std::vector<RECT> Intersect(const std::vector<RECT>& rects, const RECT& with) {
  std::vector<RECT> out;
  for (const RECT& r : rects) {
    RECT x;
    if (IntersectRect(&x, &r, &with)) out.push_back(x);
  }
  return out;
}

}  // namespace

HDC CreateWindowDc(HWND hwnd, bool client, const RECT* clientClip) {
  Dc dc;
  dc.kind = DcKind::kWindow;
  dc.hwnd = hwnd;
  dc.clientArea = client;
  if (clientClip) {
    dc.paintClip = true;
    dc.paint = *clientClip;
  }
  std::lock_guard<std::mutex> lk(Gdi().lock);
  return AddDc(dc);
}

bool ResolveTarget(HDC hdc, Target* t) {
  Dc* dc = FindDc(hdc);
  if (!dc) return false;
  t->dc = dc;
  t->clip.clear();
  switch (dc->kind) {
    case DcKind::kMemory: {
      Bitmap* b = FindBitmap(dc->bitmap ? dc->bitmap : Gdi().defaultBitmap);
      if (!b) return false;
      t->surface = BitmapSurface(*b);
      t->origin = POINT{0, 0};
      t->clip.push_back(RECT{0, 0, b->width, b->height});
      return true;
    }
    case DcKind::kScreen:
      t->surface = ScreenSurface();
      t->origin = POINT{0, 0};
      t->clip.push_back(RECT{0, 0, t->surface.width, t->surface.height});
      return true;
    case DcKind::kWindow: {
      t->surface = ScreenSurface();
      {
        std::lock_guard<std::mutex> lk(Sys().lock);
        Window* w = FindWindowLocked(dc->hwnd);
        if (!w) {
          t->origin = POINT{0, 0};
          return true;  // a window that went away: nothing shows
        }
        if (dc->clipGeneration != Sys().zGeneration) {
          RECT r = dc->clientArea ? ClientScreenRect(w) : WindowScreenRect(w);
          dc->origin = POINT{r.left, r.top};
          dc->clip = VisibleRectsLocked(w, dc->clientArea);
          dc->clipGeneration = Sys().zGeneration;
        }
      }
      t->origin = dc->origin;
      t->clip = dc->clip;
      if (dc->paintClip) {
        RECT p = dc->paint;
        OffsetRect(&p, dc->origin.x, dc->origin.y);
        t->clip = Intersect(t->clip, p);
      }
      t->clip = Intersect(t->clip, RECT{0, 0, t->surface.width, t->surface.height});
      return true;
    }
  }
  return false;
}

COLORREF ResolveColor(const Target& t, COLORREF c) {
  if ((c >> 24) == 1) {
    // PALETTEINDEX: an entry of the DC's logical palette.
    Palette* p = FindPalette(t.dc->palette ? t.dc->palette : Gdi().stock[DEFAULT_PALETTE]);
    unsigned i = c & 0xFFFF;
    if (!p || i >= p->entries.size()) return 0;
    const PALETTEENTRY& e = p->entries[i];
    return RGB(e.peRed, e.peGreen, e.peBlue);
  }
  return c & 0x00FFFFFF;
}

}  // namespace internal

HDC GetDC(HWND hwnd) {
  if (!hwnd) {
    Dc dc;
    dc.kind = DcKind::kScreen;
    std::lock_guard<std::mutex> lk(Gdi().lock);
    return AddDc(dc);
  }
  if (!IsWindow(hwnd)) return nullptr;
  return CreateWindowDc(hwnd, true, nullptr);
}

HDC GetWindowDC(HWND hwnd) {
  if (!hwnd) return GetDC(nullptr);
  if (!IsWindow(hwnd)) return nullptr;
  return CreateWindowDc(hwnd, false, nullptr);
}

int ReleaseDC(HWND, HDC hdc) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Dc* dc = FindDc(hdc);
  if (!dc || dc->kind == DcKind::kMemory) return 0;
  Gdi().dcs.erase(HandleId(hdc));
  return 1;
}

HDC CreateCompatibleDC(HDC) {
  Dc dc;
  dc.kind = DcKind::kMemory;
  std::lock_guard<std::mutex> lk(Gdi().lock);
  return AddDc(dc);
}

BOOL DeleteDC(HDC hdc) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Dc* dc = FindDc(hdc);
  if (!dc) return FALSE;
  if (Bitmap* b = FindBitmap(dc->bitmap)) {
    if (b->selectedInto == hdc) b->selectedInto = nullptr;
  }
  Gdi().dcs.erase(HandleId(hdc));
  return TRUE;
}

int GetDeviceCaps(HDC, int index) {
  const ScreenState& s = Screen();
  switch (index) {
    case HORZRES: return s.width;
    case VERTRES: return s.height;
    case BITSPIXEL: return s.depth;
    case PLANES: return 1;
    case NUMCOLORS: return s.depth <= 8 ? 1 << s.depth : -1;
    case RASTERCAPS: return s.depth == 8 ? RC_PALETTE : 0;
    case SIZEPALETTE: return s.depth == 8 ? 256 : 0;
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    default: return 0;
  }
}

}  // namespace ce
