// Raw pixel access on screen memory and bitmaps, and the conversions between
// colours and the raw values of every pixel format.
#include <algorithm>
#include <climits>

#include "platform/gdi/gdi_internal.h"

namespace ce::internal {

RGBQUAD SystemColor(int index) {
  // The twenty static colours: ten at the bottom, ten at the top.
  static constexpr uint8_t kStatic[20][3] = {
      {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
      {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
      {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
      {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
  index &= 0xFF;
  const uint8_t* c;
  uint8_t rgb[3];
  if (index < 10 || index >= 246) {
    c = kStatic[index < 10 ? index : index - 236];
  } else if (index < 226) {
    // A 6 x 6 x 6 colour cube, blue fastest.
    int k = index - 10;
    rgb[0] = static_cast<uint8_t>(k / 36 * 51);
    rgb[1] = static_cast<uint8_t>(k / 6 % 6 * 51);
    rgb[2] = static_cast<uint8_t>(k % 6 * 51);
    c = rgb;
  } else {
    // Twenty grays between the cube's.
    uint8_t v = static_cast<uint8_t>((index - 225) * 255 / 21);
    rgb[0] = rgb[1] = rgb[2] = v;
    c = rgb;
  }
  return RGBQUAD{c[2], c[1], c[0], 0};
}

namespace {

uint32_t ReadBits(const uint8_t* p, int bpp, int shift) {
  switch (bpp) {
    case 1: return (*p >> shift) & 1;
    case 2: return (*p >> shift) & 3;
    case 4: return (*p >> shift) & 15;
    case 8: return *p;
    case 16: return static_cast<uint32_t>(p[0] | (p[1] << 8));
    case 24: return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
    default: return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16) | (p[3] << 24));
  }
}

void WriteBits(uint8_t* p, int bpp, int shift, uint32_t v) {
  switch (bpp) {
    case 1:
    case 2:
    case 4: {
      uint8_t mask = static_cast<uint8_t>(((1u << bpp) - 1) << shift);
      *p = static_cast<uint8_t>((*p & ~mask) | ((v << shift) & mask));
      break;
    }
    case 8: *p = static_cast<uint8_t>(v); break;
    case 16:
      p[0] = static_cast<uint8_t>(v);
      p[1] = static_cast<uint8_t>(v >> 8);
      break;
    case 24:
      p[0] = static_cast<uint8_t>(v);
      p[1] = static_cast<uint8_t>(v >> 8);
      p[2] = static_cast<uint8_t>(v >> 16);
      break;
    default:
      p[0] = static_cast<uint8_t>(v);
      p[1] = static_cast<uint8_t>(v >> 8);
      p[2] = static_cast<uint8_t>(v >> 16);
      p[3] = static_cast<uint8_t>(v >> 24);
      break;
  }
}

}  // namespace

uint32_t ReadRaw(const Surface& s, int x, int y) {
  const int bpp = s.format->bpp;
  if (s.screen) {
    const ScreenState& sc = Screen();
    ScreenLocation at = Locate(sc, x, y);
    uint32_t v = ReadBits(reinterpret_cast<const uint8_t*>(sc.memory) + at.byte, bpp, at.shift);
    if ((sc.flags & kScreenComplemented) && bpp < 8) v = ((1u << bpp) - 1) - v;
    return v;
  }
  const uint8_t* row = s.top + y * s.stride;
  size_t bit = static_cast<size_t>(x) * bpp;
  int shift = bpp < 8 ? 8 - bpp - static_cast<int>(bit % 8) : 0;
  return ReadBits(row + bit / 8, bpp, shift);
}

void WriteRaw(const Surface& s, int x, int y, uint32_t raw) {
  const int bpp = s.format->bpp;
  if (s.screen) {
    const ScreenState& sc = Screen();
    ScreenLocation at = Locate(sc, x, y);
    if ((sc.flags & kScreenComplemented) && bpp < 8) raw = ((1u << bpp) - 1) - raw;
    WriteBits(reinterpret_cast<uint8_t*>(sc.memory) + at.byte, bpp, at.shift, raw);
    return;
  }
  uint8_t* row = s.top + y * s.stride;
  size_t bit = static_cast<size_t>(x) * bpp;
  int shift = bpp < 8 ? 8 - bpp - static_cast<int>(bit % 8) : 0;
  WriteBits(row + bit / 8, bpp, shift, raw);
}

COLORREF RawToColor(const Surface& s, uint32_t raw) {
  const PixelFormat& f = *s.format;
  switch (f.kind) {
    case PixelKind::kIndexed: {
      if (raw >= static_cast<uint32_t>(f.colorCount)) return 0;
      const RGBQUAD& q = f.colors[raw];
      return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    case PixelKind::kDevice8: {
      const RGBQUAD& q = Screen().hardware[raw & 0xFF];
      return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    case PixelKind::kGray4: {
      unsigned v = (raw & 15) * 17;
      return RGB(v, v, v);
    }
    case PixelKind::kRgb555: {
      unsigned r = (raw >> 10) & 31, g = (raw >> 5) & 31, b = raw & 31;
      return RGB((r << 3) | (r >> 2), (g << 3) | (g >> 2), (b << 3) | (b >> 2));
    }
    case PixelKind::kRgb565: {
      unsigned r = (raw >> 11) & 31, g = (raw >> 5) & 63, b = raw & 31;
      return RGB((r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2));
    }
    case PixelKind::kRgb24:
    case PixelKind::kRgb32:
      return RGB((raw >> 16) & 0xFF, (raw >> 8) & 0xFF, raw & 0xFF);
  }
  return 0;
}

int NearestColor(const RGBQUAD* table, int count, COLORREF color) {
  int r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
  int best = 0;
  int bestDistance = INT_MAX;
  for (int i = 0; i < count; ++i) {
    int dr = table[i].rgbRed - r, dg = table[i].rgbGreen - g, db = table[i].rgbBlue - b;
    int d = dr * dr * 3 + dg * dg * 4 + db * db * 2;
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
      if (d == 0) break;
    }
  }
  return best;
}

uint32_t ColorToRaw(const Surface& s, COLORREF color) {
  const PixelFormat& f = *s.format;
  unsigned r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
  switch (f.kind) {
    case PixelKind::kIndexed:
      return f.colorCount > 0 ? static_cast<uint32_t>(NearestColor(f.colors, f.colorCount, color))
                              : 0;
    case PixelKind::kDevice8:
      return static_cast<uint32_t>(NearestColor(Screen().hardware, 256, color));
    case PixelKind::kGray4: {
      unsigned luma = (r * 299 + g * 587 + b * 114 + 500) / 1000;
      return (luma + 8) / 17;
    }
    case PixelKind::kRgb555: return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
    case PixelKind::kRgb565: return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
    case PixelKind::kRgb24:
    case PixelKind::kRgb32: return (r << 16) | (g << 8) | b;
  }
  return 0;
}

uint32_t AllOnes(const PixelFormat& f) {
  return f.bpp >= 32 ? 0xFFFFFFFFu : (1u << f.bpp) - 1;
}

namespace {

bool SameFormat(const PixelFormat& a, const PixelFormat& b) {
  if (a.kind != b.kind || a.bpp != b.bpp) return false;
  if (a.kind != PixelKind::kIndexed) return true;
  if (a.colorCount != b.colorCount) return false;
  return std::memcmp(a.colors, b.colors, sizeof(RGBQUAD) * a.colorCount) == 0;
}

}  // namespace

RawConverter::RawConverter(const Surface& src, const Surface& dst, bool identity)
    : src_(src), dst_(dst) {
  const PixelFormat& s = *src.format;
  const PixelFormat& d = *dst.format;
  if (SameFormat(s, d)) {
    mode_ = Mode::kSame;
  } else if (s.kind == PixelKind::kIndexed && s.paletteRelative && d.kind == PixelKind::kDevice8 &&
             identity) {
    // Palette-relative pixels name entries of the realised palette, which a
    // palette display holds entry for entry.
    mode_ = Mode::kPaletteToDevice;
  } else if (s.kind == PixelKind::kDevice8 && d.kind == PixelKind::kIndexed && d.paletteRelative) {
    mode_ = Mode::kDeviceToPalette;
    reverse_.assign(256, -1);
    for (int i = d.colorCount - 1; i >= 0; --i) reverse_[d.paletteIndex[i] & 0xFF] = i;
  } else {
    mode_ = Mode::kViaColor;
  }
}

uint32_t RawConverter::operator()(uint32_t raw) {
  switch (mode_) {
    case Mode::kSame: return raw;
    case Mode::kPaletteToDevice:
      return raw < static_cast<uint32_t>(src_.format->colorCount)
                 ? src_.format->paletteIndex[raw] & 0xFFu
                 : 0;
    case Mode::kDeviceToPalette:
      if (reverse_[raw & 0xFF] >= 0) return static_cast<uint32_t>(reverse_[raw & 0xFF]);
      break;
    case Mode::kViaColor: break;
  }
  auto it = memo_.find(raw);
  if (it != memo_.end()) return it->second;
  uint32_t v = ColorToRaw(dst_, RawToColor(src_, raw));
  if (memo_.size() < 65536) memo_.emplace(raw, v);
  return v;
}

}  // namespace ce::internal
