// Reductions of colour and gray pages: to bilevel run lists (threshold or
// diffusion), to 16 gray levels and to the 3-3-2 colour cube.
#include <cstring>

#include "imaging/pixels/depth_internal.h"
#include "imaging/pixels/pixels.h"
#include "imaging/pixels/pixels_internal.h"

namespace quillon::pixels {

namespace {

// Reads line y as Blue, Green, Red triplets.  The 16 -> 4 nearest-level
// conversion reads green with only five bits.
void LoadColours(const PageRecord& page, const uint8_t* palette, int32_t y,
                 bool narrowGreen, uint8_t* bgr) {
  const uint8_t* row = Row(page, y);
  const uint32_t width = static_cast<uint32_t>(page.width);
  switch (page.bitsPerPixel) {
    case 4:
      for (uint32_t x = 0; x < width; ++x)
        std::memcpy(bgr + 3 * x, palette + 3 * Nibble(row, x), 3);
      break;
    case 8:
      for (uint32_t x = 0; x < width; ++x)
        std::memcpy(bgr + 3 * x, palette + 3 * row[x], 3);
      break;
    case 16:
      for (uint32_t x = 0; x < width; ++x) {
        Expand565(Load16(row + 2 * x), bgr + 3 * x);
        if (narrowGreen) bgr[3 * x + 1] &= 0xF8;
      }
      break;
    default:
      std::memcpy(bgr, row, 3 * static_cast<uint64_t>(width));
      break;
  }
}

// The gray of each colour, written over the front of the same line.
void ToGrays(uint8_t* bgr, uint32_t width) {
  for (uint32_t x = 0; x < width; ++x) {
    const uint8_t* c = bgr + 3 * x;
    bgr[x] = Gray(c[0], c[1], c[2]);
  }
}

inline void SetWhite(uint8_t* row, uint32_t x) {
  row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
}

}  // namespace

int32_t Reduce(PageRecord* page, int target, int32_t ditherMethod) {
  const int from = page->bitsPerPixel;
  const int32_t height = page->height;
  const uint32_t width = static_cast<uint32_t>(page->width);
  // 8 -> 4 diffuses for any method but nearest; the others only for 2.
  const bool diffuse = ditherMethod == kDitherDiffusion ||
                       (from == 8 && target == 4 && ditherMethod != 0);
  const bool narrowGreen = from == 16 && target == 4 && !diffuse;
  const uint8_t* palette = PaletteOf(*page);

  Scratch colours(SizeSum(SizeProduct(width, 3), 4));
  Scratch errors(diffuse ? ErrorRowBytes(page->width) : 1);
  Scratch bits(RowBytes(page->width, 1) + 4);
  if (!colours.p || !errors.p || !bits.p) return kErrMemory;
  uint8_t* line = colours.as<uint8_t>();
  int32_t* error = errors.as<int32_t>();

  if (target == 1) {
    RunListWriter writer;
    int32_t result = writer.Open(page->width, height);
    if (result != kOk) return result;
    uint8_t* row = bits.as<uint8_t>();
    for (int32_t y = 0; y < height; ++y) {
      LoadColours(*page, palette, y, narrowGreen, line);
      ToGrays(line, width);
      std::memset(row, 0, RowBytes(page->width, 1));
      if (diffuse) {
        DiffuseLine<1>(line, width, error,
                       [&](uint32_t x, const uint8_t* v, int32_t* residue) {
                         if (v[0] > 128) SetWhite(row, x);
                         residue[0] = v[0] & 0x7F;
                       });
      } else {
        for (uint32_t x = 0; x < width; ++x)
          if (line[x] > 128) SetWhite(row, x);
      }
      writer.Put(y, row);
    }
    InstallRunLists(page, writer.data, writer.Used());
    InstallPalette(page, nullptr);
    return kOk;
  }

  const uint32_t stride = StrideFor(page->width, target);
  if (stride == 0 && width > 0) return kErrParameter;
  const uint64_t size = SizeProduct(stride, static_cast<uint32_t>(height));
  if (size > UINT32_MAX) return kErrMemory;
  Scratch buffer(size);
  uint8_t* newPalette = NewPalette(target == 4 ? kGrayRamp4 : kColorCube332);
  if (!buffer.p || !newPalette) {
    Release(newPalette);
    return kErrMemory;
  }
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* out = buffer.as<uint8_t>() + static_cast<uint64_t>(y) * stride;
    LoadColours(*page, palette, y, narrowGreen, line);
    if (target == 4) {
      ToGrays(line, width);
      if (diffuse) {
        DiffuseLine<1>(line, width, error,
                       [&](uint32_t x, const uint8_t* v, int32_t* residue) {
                         PutNibble(out, x, static_cast<uint8_t>(v[0] >> 4));
                         residue[0] = v[0] & 15;
                       });
      } else {
        for (uint32_t x = 0; x < width; ++x)
          PutNibble(out, x, static_cast<uint8_t>(line[x] >> 4));
      }
    } else if (diffuse) {
      DiffuseLine<3>(line, width, error,
                     [&](uint32_t x, const uint8_t* v, int32_t* residue) {
                       out[x] = CubeIndex(v[0], v[1], v[2]);
                       residue[0] = v[0] & 63;
                       residue[1] = v[1] & 31;
                       residue[2] = v[2] & 31;
                     });
    } else {
      for (uint32_t x = 0; x < width; ++x)
        out[x] = CubeIndex(line[3 * x], line[3 * x + 1], line[3 * x + 2]);
    }
  }
  InstallPixels(page, buffer.Take(), stride, static_cast<uint32_t>(size),
                target);
  InstallPalette(page, newPalette);
  return kOk;
}

int32_t Dither12Bit(PageRecord* page) {
  const uint32_t width = static_cast<uint32_t>(page->width);
  Scratch colours(SizeSum(SizeProduct(width, 3), 4));
  Scratch errors(ErrorRowBytes(page->width));
  if (!colours.p || !errors.p) return kErrMemory;
  uint8_t* line = colours.as<uint8_t>();
  int32_t* error = errors.as<int32_t>();
  const bool wide = page->bitsPerPixel == 24;
  // The low four bits of each channel are what a 4-4-4 display drops.
  for (int32_t y = 0; y < page->height; ++y) {
    uint8_t* row = Row(*page, y);
    LoadColours(*page, nullptr, y, false, line);
    DiffuseLine<3>(line, width, error,
                   [&](uint32_t x, const uint8_t* v, int32_t* residue) {
                     if (wide)
                       std::memcpy(row + 3 * x, v, 3);
                     else
                       Store16(row + 2 * x, Pack565(v[0], v[1], v[2]));
                     for (int c = 0; c < 3; ++c) residue[c] = v[c] & 15;
                   });
  }
  return kOk;
}

}  // namespace quillon::pixels
