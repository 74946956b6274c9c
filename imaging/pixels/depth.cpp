// ConvertBitDepth: the dispatch over pairs of depths, the promotions to
// deeper formats and the repacking between 16 and 24 bpp.  Reductions and
// the 12-bit dithering live in reduce.cpp and dither.cpp.
#include <cstring>

#include "imaging/pixels/depth_internal.h"
#include "imaging/pixels/pixels.h"
#include "imaging/pixels/pixels_internal.h"

namespace quillon {

namespace {

using namespace pixels;

bool Converted(int from, int to) {
  switch (from) {
    case 1: return to == 4 || to == 8 || to == 16 || to == 24;
    case 2: return to == 4 || to == 8 || to == 16;
    case 4: return to == 1 || to == 8 || to == 16 || to == 24;
    case 8: return to == 1 || to == 4 || to == 16 || to == 24;
    case 16: return to == 1 || to == 4 || to == 8 || to == 12 || to == 24;
    case 24: return to == 1 || to == 4 || to == 8 || to == 12 || to == 16;
    default: return false;
  }
}

enum class PaletteAfter { kNone, kKeep, kFixed };

// The common frame of conversions into a new buffer: allocate the lines of
// the target depth (zeroed), convert line by line, then install the buffer
// and the palette.  `convert(source, destination)` does one line.
template <typename ConvertLine>
int32_t Rebuild(PageRecord* page, int target, PaletteAfter after,
                const PaletteTable* fixed, ConvertLine convert) {
  const int32_t width = page->width, height = page->height;
  const uint32_t stride = StrideFor(width, target);
  if (stride == 0 && width > 0) return kErrParameter;
  const uint64_t size = SizeProduct(stride, static_cast<uint32_t>(height));
  if (size > UINT32_MAX) return kErrMemory;
  Scratch buffer(size);
  if (!buffer.p) return kErrMemory;
  uint8_t* palette = nullptr;
  if (after == PaletteAfter::kFixed) {
    palette = NewPalette(*fixed);
    if (!palette) return kErrMemory;
  }
  uint8_t* out = buffer.as<uint8_t>();
  for (int32_t y = 0; y < height; ++y)
    convert(y, out + static_cast<uint64_t>(y) * stride);
  InstallPixels(page, buffer.Take(), stride, static_cast<uint32_t>(size),
                target);
  if (after != PaletteAfter::kKeep) InstallPalette(page, palette);
  return kOk;
}

inline bool WhiteAt(const uint8_t* row, uint32_t x) {
  return row[x >> 3] & (0x80 >> (x & 7));
}

// Bilevel pages are read as packed rows; a page held as run lists is
// unpacked here, one line at a time, so no caller has to unpack it first.
int32_t PromoteBilevel(PageRecord* page, int target) {
  const bool runLists = page->compression == kRunLists;
  if (runLists ? !HasRunLists(*page) : !HasPixels(*page)) return kErrParameter;
  Scratch scratch(RowBytes(page->width, 1) + 4);
  if (!scratch.p) return kErrMemory;
  const PageRecord& source = *page;
  auto rowOf = [&](int32_t y) -> const uint8_t* {
    if (!runLists) return Row(source, y);
    RunsToRow(LinePointers(source)[y], source.width, scratch.as<uint8_t>());
    return scratch.as<uint8_t>();
  };
  const uint32_t width = static_cast<uint32_t>(page->width);
  // The new buffer is zeroed, which is black at every depth: only white
  // pixels are written.
  switch (target) {
    case 4:
      return Rebuild(page, 4, PaletteAfter::kFixed, &kStandard16Palette,
                     [&](int32_t y, uint8_t* out) {
                       const uint8_t* row = rowOf(y);
                       for (uint32_t x = 0; x < width; ++x)
                         if (WhiteAt(row, x)) PutNibble(out, x, 15);
                     });
    case 8:
      return Rebuild(page, 8, PaletteAfter::kFixed, &kColorCube332,
                     [&](int32_t y, uint8_t* out) {
                       const uint8_t* row = rowOf(y);
                       for (uint32_t x = 0; x < width; ++x)
                         if (WhiteAt(row, x)) out[x] = 255;
                     });
    default:  // 16 and 24: every byte of a white pixel is 0xFF
      return Rebuild(page, target, PaletteAfter::kNone, nullptr,
                     [&](int32_t y, uint8_t* out) {
                       const uint8_t* row = rowOf(y);
                       const uint32_t n = static_cast<uint32_t>(target / 8);
                       for (uint32_t x = 0; x < width; ++x)
                         if (WhiteAt(row, x)) std::memset(out + n * x, 0xFF, n);
                     });
  }
}

inline uint32_t IndexAt(const uint8_t* row, uint32_t x, int bitsPerPixel) {
  switch (bitsPerPixel) {
    case 2: return (row[x >> 2] >> (6 - 2 * (x & 3))) & 3;
    case 4: return Nibble(row, x);
    default: return row[x];
  }
}

// 2, 4 and 8 bpp to deeper formats.
int32_t PromoteIndexed(PageRecord* page, int target) {
  const int from = page->bitsPerPixel;
  const uint32_t width = static_cast<uint32_t>(page->width);
  const uint8_t* palette = PaletteOf(*page);
  const PageRecord& source = *page;
  if (target == 4)  // from 2 bpp: the indexes keep their palette
    return Rebuild(page, 4, PaletteAfter::kKeep, nullptr,
                   [&](int32_t y, uint8_t* out) {
                     const uint8_t* row = Row(source, y);
                     for (uint32_t x = 0; x < width; ++x)
                       PutNibble(out, x, static_cast<uint8_t>(IndexAt(row, x, 2)));
                   });
  if (target == 8) {
    // A gray picture built from the index values themselves, reversed when
    // the palette starts light (a white-is-zero palette); the colours are
    // not consulted.
    const uint32_t top = from == 2 ? 3 : 15, step = from == 2 ? 85 : 17;
    const bool reversed = page->palette && page->palette[0] != 0;
    return Rebuild(page, 8, PaletteAfter::kFixed, &kGrayRamp8,
                   [&](int32_t y, uint8_t* out) {
                     const uint8_t* row = Row(source, y);
                     for (uint32_t x = 0; x < width; ++x) {
                       uint32_t i = IndexAt(row, x, from);
                       out[x] = static_cast<uint8_t>(step * (reversed ? top - i : i));
                     }
                   });
  }
  return Rebuild(page, target, PaletteAfter::kNone, nullptr,
                 [&](int32_t y, uint8_t* out) {
                   const uint8_t* row = Row(source, y);
                   for (uint32_t x = 0; x < width; ++x) {
                     const uint8_t* c = palette + 3 * IndexAt(row, x, from);
                     if (target == 16)
                       Store16(out + 2 * x, Pack565(c[0], c[1], c[2]));
                     else
                       std::memcpy(out + 3 * x, c, 3);
                   }
                 });
}

int32_t Repack(PageRecord* page, int target) {
  const uint32_t width = static_cast<uint32_t>(page->width);
  const PageRecord& source = *page;
  if (target == 24)
    return Rebuild(page, 24, PaletteAfter::kNone, nullptr,
                   [&](int32_t y, uint8_t* out) {
                     const uint8_t* row = Row(source, y);
                     for (uint32_t x = 0; x < width; ++x)
                       Expand565(Load16(row + 2 * x), out + 3 * x);
                   });
  return Rebuild(page, 16, PaletteAfter::kNone, nullptr,
                 [&](int32_t y, uint8_t* out) {
                   const uint8_t* row = Row(source, y);
                   for (uint32_t x = 0; x < width; ++x) {
                     const uint8_t* c = row + 3 * x;
                     Store16(out + 2 * x, Pack565(c[0], c[1], c[2]));
                   }
                 });
}

}  // namespace

int32_t ConvertBitDepth(PageRecord* page, int32_t targetBitsPerPixel,
                        int32_t ditherMethod) {
  if (!page) return kErrParameter;
  const int from = page->bitsPerPixel, to = targetBitsPerPixel;
  if (!Converted(from, to)) return kOk;
  if (from == 1) return PromoteBilevel(page, to);
  if (!HasPixels(*page)) return kErrParameter;
  if (to == kTarget12Bit) {  // in place: pixels in a file's view are copied first
    int32_t result = OwnPixels(page);
    return result != kOk ? result : pixels::Dither12Bit(page);
  }
  if (from >= 16 && to >= 16) return Repack(page, to);
  if (to < from) return pixels::Reduce(page, to, ditherMethod);
  return PromoteIndexed(page, to);
}

}  // namespace quillon
