// Rows of decoded pages as people see them, for programs that write them
// out in picture formats of their own.
#include "imaging/pixels/pixels.h"

namespace quillon {

namespace {

// 5 and 6 bits to 8 by repeating the top bits: white stays 255.
inline uint8_t Widen5(uint32_t v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }
inline uint8_t Widen6(uint32_t v) { return static_cast<uint8_t>((v << 2) | (v >> 4)); }

}  // namespace

bool HasGrayPalette(const PageRecord& page) {
  if ((page.bitsPerPixel != 4 && page.bitsPerPixel != 8) || !page.palette) return false;
  for (int i = 0; i < (1 << page.bitsPerPixel); ++i) {
    const uint8_t* e = page.palette + 3 * i;
    if (e[0] != e[1] || e[1] != e[2]) return false;
  }
  return true;
}

void PictureRow(const PageRecord& page, int32_t y, bool gray, uint8_t* out) {
  const uint32_t w = static_cast<uint32_t>(page.width);
  const bool upsideDown = page.layoutFlags & kLayoutBottomUp;
  const uint64_t line = upsideDown ? static_cast<uint64_t>(page.height - 1 - y) : static_cast<uint64_t>(y);
  const uint8_t* src = page.data + page.dataOffset + line * page.bytesPerLine;
  switch (page.bitsPerPixel) {
    case 24:  // Blue, Green, Red
      for (uint32_t x = 0; x < w; ++x, out += 3, src += 3) out[0] = src[2], out[1] = src[1], out[2] = src[0];
      return;
    case 16:
      for (uint32_t x = 0; x < w; ++x, out += 3) {
        const uint32_t v = src[2 * x] | (src[2 * x + 1] << 8);
        out[0] = Widen5(v >> 11), out[1] = Widen6((v >> 5) & 63), out[2] = Widen5(v & 31);
      }
      return;
    default:  // 4 and 8: palette indexes (without a palette, gray levels)
      for (uint32_t x = 0; x < w; ++x) {
        const uint32_t index = page.bitsPerPixel == 8 ? src[x] : (x % 2 ? src[x / 2] & 15 : src[x / 2] >> 4);
        const uint8_t* e = page.palette ? page.palette + 3 * index : nullptr;
        if (gray) {
          out[x] = e ? e[0] : static_cast<uint8_t>(index);
        } else {
          out[3 * x] = e ? e[2] : static_cast<uint8_t>(index);
          out[3 * x + 1] = e ? e[1] : static_cast<uint8_t>(index);
          out[3 * x + 2] = e ? e[0] : static_cast<uint8_t>(index);
        }
      }
      return;
  }
}

}  // namespace quillon
