// The reductions of ConvertBitDepth and the error diffusion they share.
#pragma once

#include <algorithm>
#include <cstdint>

#include "imaging/core/page.h"

namespace quillon::pixels {

// Reduction of a 4-, 8-, 16- or 24-bpp page to 1 bpp (run lists), 4-bpp
// gray or the 3-3-2 colour cube.
int32_t Reduce(PageRecord* page, int target, int32_t ditherMethod);

// Error diffusion below the top 4 bits of each channel, in place.
int32_t Dither12Bit(PageRecord* page);

// clamp(x) = kClamp[1024 + x] for -1024 <= x <= 511: 1024 zeros, the
// identity, 256 bytes of 255.
struct ClampTable {
  uint8_t v[1536];
};
inline constexpr ClampTable kClamp = [] {
  ClampTable t{};
  for (int i = 0; i < 1536; ++i)
    t.v[i] = static_cast<uint8_t>(std::clamp(i - 1024, 0, 255));
  return t;
}();

inline uint8_t Clamp(int32_t x) {
  return kClamp.v[1024 + std::clamp(x, -1024, 511)];
}

// Bytes of the error row: width + 2 entries (two guards) of up to three
// 32-bit channels.
inline uint64_t ErrorRowBytes(int32_t width) {
  return SizeProduct(static_cast<uint64_t>(width) + 2, 12);
}

// One line of Floyd-Steinberg error diffusion (7/16 right, 3/16 below-left,
// 5/16 below, 1/16 below-right; left to right on every line) over C
// channels.  `values` holds C source values per pixel; `error` is the row
// the previous line pushed down (entry x + 1 belongs to pixel x).
// quantize(x, v, residue) turns the clamped values into the output and
// reports, per channel, the bits the target cannot hold.  Residues are
// halved first, so a residue of 1 passes nothing on; the last pixel of a
// line passes nothing on either.
template <int C, typename Quantize>
inline void DiffuseLine(const uint8_t* values, uint32_t width, int32_t* error,
                        Quantize quantize) {
  int32_t carry[C];
  for (int c = 0; c < C; ++c) carry[c] = error[C + c];
  for (uint32_t x = 0; x < width; ++x) {
    uint8_t v[C];
    int32_t residue[C];
    for (int c = 0; c < C; ++c) v[c] = Clamp(values[C * x + c] + carry[c]);
    quantize(x, v, residue);
    if (x + 1 == width) break;
    for (int c = 0; c < C; ++c) {
      const int32_t h = residue[c] >> 1;
      const int32_t right = (7 * h) >> 3, down = (5 * h) >> 3;
      int32_t* e = error + c;
      const int32_t next = e[C * (x + 2)];
      e[C * (x + 2)] = h - right;  // below-right
      carry[c] = next + right;
      if (x > 0) {
        e[C * (x + 1)] += down;    // below
        e[C * x] += h - down;      // below-left
      } else {
        e[C] = down;  // replaces what the line above left for pixel 0
      }
    }
  }
}

}  // namespace quillon::pixels
