// Fills, rectangles, polylines, focus rectangles, pixels and blits.  Every
// write is clipped to the target's rectangles, which keep it inside the
// surface.
#include <algorithm>
#include <cstdlib>

#include "platform/gdi/gdi_internal.h"

namespace ce {

using namespace internal;

namespace internal {

namespace {

uint32_t Apply(uint32_t dst, uint32_t src, int op) {
  switch (op) {
    case kOpXor: return dst ^ src;
    case kOpAnd: return dst & src;
    case kOpOr: return dst | src;
    default: return src;
  }
}

bool InClip(const Target& t, int x, int y) {
  for (const RECT& r : t.clip) {
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
  }
  return false;
}

void Plot(const Target& t, int x, int y, uint32_t raw, int op) {
  x += t.origin.x;
  y += t.origin.y;
  if (!InClip(t, x, y)) return;
  uint32_t v = op == kOpCopy ? raw : Apply(ReadRaw(t.surface, x, y), raw, op);
  WriteRaw(t.surface, x, y, v);
}

// Bresenham from a to b, without the end point.
void Line(const Target& t, POINT a, POINT b, uint32_t raw) {
  int dx = std::abs(b.x - a.x), sx = a.x < b.x ? 1 : -1;
  int dy = -std::abs(b.y - a.y), sy = a.y < b.y ? 1 : -1;
  int err = dx + dy;
  int x = a.x, y = a.y;
  while (x != b.x || y != b.y) {
    Plot(t, x, y, raw, kOpCopy);
    int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
}

const Brush* DcBrush(const Target& t) {
  Brush* b = FindBrush(t.dc->brush ? t.dc->brush : Gdi().stock[WHITE_BRUSH]);
  return b;
}

const Pen* DcPen(const Target& t) {
  return FindPen(t.dc->pen ? t.dc->pen : Gdi().stock[BLACK_PEN]);
}

}  // namespace

void FillRaw(const Target& t, RECT r, uint32_t raw, int op) {
  OffsetRect(&r, t.origin.x, t.origin.y);
  for (const RECT& c : t.clip) {
    RECT x;
    if (!IntersectRect(&x, &r, &c)) continue;
    for (int y = x.top; y < x.bottom; ++y) {
      for (int px = x.left; px < x.right; ++px) {
        uint32_t v = op == kOpCopy ? raw : Apply(ReadRaw(t.surface, px, y), raw, op);
        WriteRaw(t.surface, px, y, v);
      }
    }
  }
}

}  // namespace internal

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
  if (!rect) return 0;
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Target t;
  const Brush* b = FindBrush(brush);
  if (!b || !ResolveTarget(hdc, &t)) return 0;
  if (!b->hollow) FillRaw(t, *rect, ColorToRaw(t.surface, ResolveColor(t, b->color)), kOpCopy);
  return 1;
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Target t;
  if (!ResolveTarget(hdc, &t)) return FALSE;
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  const Pen* pen = DcPen(t);
  const Brush* brush = DcBrush(t);
  bool outline = pen && !pen->hollow;
  if (brush && !brush->hollow) {
    RECT inner = outline ? RECT{left + 1, top + 1, right - 1, bottom - 1}
                         : RECT{left, top, right - 1, bottom - 1};
    FillRaw(t, inner, ColorToRaw(t.surface, ResolveColor(t, brush->color)), kOpCopy);
  }
  if (outline && right > left && bottom > top) {
    uint32_t raw = ColorToRaw(t.surface, ResolveColor(t, pen->color));
    FillRaw(t, RECT{left, top, right, top + 1}, raw, kOpCopy);
    FillRaw(t, RECT{left, bottom - 1, right, bottom}, raw, kOpCopy);
    FillRaw(t, RECT{left, top, left + 1, bottom}, raw, kOpCopy);
    FillRaw(t, RECT{right - 1, top, right, bottom}, raw, kOpCopy);
  }
  return TRUE;
}

BOOL Polyline(HDC hdc, const POINT* points, int count) {
  if (!points || count < 2) return FALSE;
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Target t;
  if (!ResolveTarget(hdc, &t)) return FALSE;
  const Pen* pen = DcPen(t);
  if (!pen || pen->hollow) return TRUE;
  uint32_t raw = ColorToRaw(t.surface, ResolveColor(t, pen->color));
  for (int i = 0; i + 1 < count; ++i) Line(t, points[i], points[i + 1], raw);
  return TRUE;
}

BOOL DrawFocusRect(HDC hdc, const RECT* rect) {
  if (!rect) return FALSE;
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Target t;
  if (!ResolveTarget(hdc, &t)) return FALSE;
  uint32_t ones = AllOnes(*t.surface.format);
  const RECT& r = *rect;
  if (r.right <= r.left || r.bottom <= r.top) return TRUE;
  // Every other pixel of the frame, each exactly once, so that drawing the
  // same rectangle again restores what was there.
  for (int x = r.left; x < r.right; ++x) {
    if (((x - r.left) & 1) == 0) Plot(t, x, r.top, ones, kOpXor);
    if (r.bottom - 1 > r.top && ((x - r.left + r.bottom - 1 - r.top) & 1) == 0)
      Plot(t, x, r.bottom - 1, ones, kOpXor);
  }
  for (int y = r.top + 1; y < r.bottom - 1; ++y) {
    if (((y - r.top) & 1) == 0) Plot(t, r.left, y, ones, kOpXor);
    if (r.right - 1 > r.left && ((r.right - 1 - r.left + y - r.top) & 1) == 0)
      Plot(t, r.right - 1, y, ones, kOpXor);
  }
  return TRUE;
}

BOOL InvertRect(HDC hdc, const RECT* rect) {
  if (!rect) return FALSE;
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Target t;
  if (!ResolveTarget(hdc, &t)) return FALSE;
  FillRaw(t, *rect, AllOnes(*t.surface.format), kOpXor);
  return TRUE;
}

namespace {

bool DestinationOnly(const Target& t, RECT r, DWORD rop) {
  uint32_t raw = 0;
  int op = kOpCopy;
  switch (rop) {
    case BLACKNESS: raw = ColorToRaw(t.surface, 0); break;
    case WHITENESS: raw = ColorToRaw(t.surface, RGB(255, 255, 255)); break;
    case DSTINVERT:
      raw = AllOnes(*t.surface.format);
      op = kOpXor;
      break;
    case PATCOPY:
    case PATINVERT: {
      const Brush* b = DcBrush(t);
      if (!b || b->hollow) return true;
      raw = ColorToRaw(t.surface, ResolveColor(t, b->color));
      op = rop == PATINVERT ? kOpXor : kOpCopy;
      break;
    }
    default: return false;
  }
  FillRaw(t, r, raw, op);
  return true;
}

}  // namespace

BOOL PatBlt(HDC hdc, int x, int y, int width, int height, DWORD rop) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Target t;
  if (!ResolveTarget(hdc, &t)) return FALSE;
  return DestinationOnly(t, RECT{x, y, x + width, y + height}, rop) ? TRUE : FALSE;
}

BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY,
            DWORD rop) {
  if (width <= 0 || height <= 0) return TRUE;
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Target d;
  if (!ResolveTarget(dst, &d)) return FALSE;
  if (DestinationOnly(d, RECT{x, y, x + width, y + height}, rop)) return TRUE;
  int op;
  switch (rop) {
    case SRCCOPY: op = kOpCopy; break;
    case SRCINVERT: op = kOpXor; break;
    case SRCAND: op = kOpAnd; break;
    case SRCPAINT: op = kOpOr; break;
    default: return FALSE;
  }
  Target s;
  if (!ResolveTarget(src, &s)) return FALSE;
  // The part of the destination rectangle that can be written at all.
  RECT area{x + d.origin.x, y + d.origin.y, x + d.origin.x + width, y + d.origin.y + height};
  RECT bound{0, 0, 0, 0};
  for (const RECT& c : d.clip) {
    RECT in;
    if (IntersectRect(&in, &area, &c)) UnionRect(&bound, &bound, &in);
  }
  if (IsRectEmpty(&bound)) return TRUE;
  // Copy the source first: source and destination may be the same surface.
  int bw = bound.right - bound.left, bh = bound.bottom - bound.top;
  std::vector<uint32_t> pixels(static_cast<size_t>(bw) * bh);
  std::vector<uint8_t> present(pixels.size(), 0);
  RawConverter convert(s.surface, d.surface, !(d.dc && d.dc->backgroundPalette));
  for (int j = 0; j < bh; ++j) {
    int sy = srcY + s.origin.y + (bound.top - area.top) + j;
    if (sy < 0 || sy >= s.surface.height) continue;
    for (int i = 0; i < bw; ++i) {
      int sx = srcX + s.origin.x + (bound.left - area.left) + i;
      if (sx < 0 || sx >= s.surface.width) continue;
      pixels[static_cast<size_t>(j) * bw + i] = convert(ReadRaw(s.surface, sx, sy));
      present[static_cast<size_t>(j) * bw + i] = 1;
    }
  }
  for (const RECT& c : d.clip) {
    RECT in;
    if (!IntersectRect(&in, &bound, &c)) continue;
    for (int py = in.top; py < in.bottom; ++py) {
      for (int px = in.left; px < in.right; ++px) {
        size_t k = static_cast<size_t>(py - bound.top) * bw + (px - bound.left);
        if (!present[k]) continue;
        uint32_t v = op == kOpCopy ? pixels[k] : Apply(ReadRaw(d.surface, px, py), pixels[k], op);
        WriteRaw(d.surface, px, py, v);
      }
    }
  }
  return TRUE;
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Target t;
  if (!ResolveTarget(hdc, &t)) return CLR_INVALID;
  int sx = x + t.origin.x, sy = y + t.origin.y;
  if (!InClip(t, sx, sy)) return CLR_INVALID;
  uint32_t raw = ColorToRaw(t.surface, ResolveColor(t, color));
  WriteRaw(t.surface, sx, sy, raw);
  return RawToColor(t.surface, raw);
}

COLORREF GetPixel(HDC hdc, int x, int y) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Target t;
  if (!ResolveTarget(hdc, &t)) return CLR_INVALID;
  int sx = x + t.origin.x, sy = y + t.origin.y;
  if (!InClip(t, sx, sy)) return CLR_INVALID;
  return RawToColor(t.surface, ReadRaw(t.surface, sx, sy));
}

}  // namespace ce
