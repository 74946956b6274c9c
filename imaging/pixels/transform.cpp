// TransformPage: the dispatch, and the transforms of uncompressed pages of
// 4, 8, 16 and 24 bpp.  Run-list transforms live in transform_runs.cpp.
#include <algorithm>
#include <cstring>
#include <utility>

#include "imaging/core/core.h"
#include "imaging/pixels/pixels.h"
#include "imaging/pixels/pixels_internal.h"
#include "imaging/pixels/transform_internal.h"

namespace quillon {

namespace {

using namespace pixels;

bool Deep(const PageRecord& page) {
  switch (page.bitsPerPixel) {
    case 4: case 8: case 16: case 24: return true;
    default: return false;
  }
}

// Pixel (x, y) goes to (newWidth - 1 - y, x): the top line becomes the
// right-hand column.  Each source line is read once and written down one
// column of the new buffer.
int32_t RotatePixels(PageRecord* page) {
  const int bpp = page->bitsPerPixel;
  const int32_t width = page->width, height = page->height;
  const uint32_t stride = StrideFor(height, bpp);
  if (stride == 0 && height > 0) return kErrParameter;
  const uint64_t size = SizeProduct(stride, static_cast<uint32_t>(width));
  if (size > UINT32_MAX) return kErrMemory;
  Scratch buffer(size);
  if (!buffer.p) return kErrMemory;
  uint8_t* out = buffer.as<uint8_t>();
  const uint32_t n = static_cast<uint32_t>(bpp / 8);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = Row(*page, y);
    const uint32_t column = static_cast<uint32_t>(height - 1 - y);
    uint8_t* cell = out;
    for (int32_t x = 0; x < width; ++x, cell += stride) {
      if (bpp == 4)
        PutNibble(cell, column, Nibble(row, static_cast<uint32_t>(x)));
      else
        std::memcpy(cell + n * column, row + n * static_cast<uint32_t>(x), n);
    }
  }
  InstallPixels(page, buffer.Take(), stride, static_cast<uint32_t>(size), bpp);
  std::swap(page->width, page->height);
  return kOk;
}

int32_t MirrorPixels(PageRecord* page) {
  const int bpp = page->bitsPerPixel;
  const uint32_t width = static_cast<uint32_t>(page->width);
  const uint32_t n = static_cast<uint32_t>(bpp / 8);
  for (int32_t y = 0; y < page->height; ++y) {
    uint8_t* row = Row(*page, y);
    for (uint32_t x = 0, z = width - 1; x < width / 2; ++x, --z) {
      if (bpp == 4) {
        uint8_t a = Nibble(row, x), b = Nibble(row, z);
        PutNibble(row, x, b);
        PutNibble(row, z, a);
      } else {
        std::swap_ranges(row + n * x, row + n * x + n, row + n * z);
      }
    }
  }
  return kOk;
}

int32_t InvertPixels(PageRecord* page) {
  if (page->bitsPerPixel <= 8) {
    uint8_t* palette = WritablePalette(page);
    if (!palette) return kErrMemory;
    for (int i = 0; i < 768; ++i) palette[i] = static_cast<uint8_t>(255 - palette[i]);
    return kOk;
  }
  const uint32_t rowBytes = RowBytes(page->width, page->bitsPerPixel);
  for (int32_t y = 0; y < page->height; ++y) {
    uint8_t* row = Row(*page, y);
    for (uint32_t i = 0; i < rowBytes; ++i) row[i] = static_cast<uint8_t>(~row[i]);
  }
  return kOk;
}

int32_t GrayPixels(PageRecord* page) {
  const int bpp = page->bitsPerPixel;
  const uint32_t width = static_cast<uint32_t>(page->width);
  if (bpp == 4) {  // the sixteen colours become their own grays
    uint8_t* palette = WritablePalette(page);
    if (!palette) return kErrMemory;
    for (int i = 0; i < 16; ++i) {
      uint8_t* c = palette + 3 * i;
      std::memset(c, Gray(c[0], c[1], c[2]), 3);
    }
    return kOk;
  }
  uint8_t* ramp = NewPalette(kGrayRamp8);
  if (!ramp) return kErrMemory;
  if (bpp == 8) {
    const uint8_t* palette = PaletteOf(*page);
    uint8_t map[256];
    for (int i = 0; i < 256; ++i) {
      const uint8_t* c = palette + 3 * i;
      map[i] = Gray(c[0], c[1], c[2]);
    }
    for (int32_t y = 0; y < page->height; ++y) {
      uint8_t* row = Row(*page, y);
      for (uint32_t x = 0; x < width; ++x) row[x] = map[row[x]];
    }
    InstallPalette(page, ramp);
    return kOk;
  }
  const uint32_t stride = StrideFor(page->width, 8);
  const uint64_t size = SizeProduct(stride, static_cast<uint32_t>(page->height));
  Scratch buffer(SizeSum(size, 4));
  if (!buffer.p || size > UINT32_MAX) {
    Release(ramp);
    return kErrMemory;
  }
  for (int32_t y = 0; y < page->height; ++y) {
    const uint8_t* row = Row(*page, y);
    uint8_t* out = buffer.as<uint8_t>() + static_cast<uint64_t>(y) * stride;
    uint8_t c[3];
    for (uint32_t x = 0; x < width; ++x) {
      if (bpp == 16)
        Expand565(Load16(row + 2 * x), c);
      else
        std::memcpy(c, row + 3 * x, 3);
      out[x] = Gray(c[0], c[1], c[2]);
    }
  }
  InstallPixels(page, buffer.Take(), stride, static_cast<uint32_t>(size), 8);
  InstallPalette(page, ramp);
  return kOk;
}

// step -1 lightens, +1 darkens: 17 levels of 255 a channel, one to four
// steps of the narrower 5-6-5 fields.
int32_t ShadePixels(PageRecord* page, int32_t step) {
  const int bpp = page->bitsPerPixel;
  auto shade = [step](uint8_t v) {
    return static_cast<uint8_t>(std::clamp(v - 17 * step, 0, 255));
  };
  if (bpp <= 8) {
    uint8_t* palette = WritablePalette(page);
    if (!palette) return kErrMemory;
    for (int i = 0; i < 3 * (1 << bpp); ++i) palette[i] = shade(palette[i]);
    return kOk;
  }
  const uint32_t rowBytes = RowBytes(page->width, bpp);
  for (int32_t y = 0; y < page->height; ++y) {
    uint8_t* row = Row(*page, y);
    if (bpp == 24) {
      for (uint32_t i = 0; i < rowBytes; ++i) row[i] = shade(row[i]);
      continue;
    }
    for (uint32_t i = 0; i < rowBytes; i += 2) {
      const int32_t v = Load16(row + i);
      int32_t red = std::clamp((v & 0xF800) - 3968 * step, 0, 63488) & 0xF800;
      int32_t green = std::clamp((v & 0x07E0) - 126 * step, 0, 2016) & 0x07E0;
      int32_t blue = std::clamp((v & 0x1F) - 2 * step, 0, 31);
      Store16(row + i, static_cast<uint16_t>(red + green + blue));
    }
  }
  return kOk;
}

}  // namespace

int32_t TransformPage(PageRecord* page, int32_t code, int32_t argument1,
                      int32_t argument2) {
  if (!page) return kErrParameter;
  if (code == kConvertDepth) return ConvertBitDepth(page, argument1, argument2);
  const bool runs = page->bitsPerPixel == 1 && HasRunLists(*page);
  const bool pixels = Deep(*page) && HasPixels(*page);
  if (!runs && !pixels) return kErrParameter;
  // In-place transforms of pixels that still lie in a file's read-only view
  // work on a copy of their own.
  auto own = [&] { return pixels ? OwnPixels(page) : kOk; };
  int32_t result;
  switch (code) {
    case kRotateClockwise:  // always a quarter turn, whatever the angle says
      return runs ? RotateRunLists(page) : RotatePixels(page);
    case kInvert:
      if (runs) {
        InvertRunLines(page);
        return kOk;
      }
      if (page->bitsPerPixel > 8 && (result = own()) != kOk) return result;
      return InvertPixels(page);
    case kFlipHorizontal:
      if (runs) return MirrorRunLists(page);
      if ((result = own()) != kOk) return result;
      return MirrorPixels(page);
    case kFlipVertical:
      if ((result = own()) != kOk) return result;
      return ReverseLineOrder(page);
    case kToGray:
      if (runs) return kErrParameter;
      if (page->bitsPerPixel == 8 && (result = own()) != kOk) return result;
      return GrayPixels(page);
    case kLighten:
    case kDarken:
      if (runs) return kErrParameter;
      if (page->bitsPerPixel > 8 && (result = own()) != kOk) return result;
      return ShadePixels(page, code == kLighten ? -1 : 1);
    case kDoubleLines:
      return runs ? DoubleRunLines(page) : kErrParameter;
    default:
      return kErrParameter;
  }
}

}  // namespace quillon
