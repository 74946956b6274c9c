// Helpers shared by the pixel operations: checked access to a page's lines,
// colour arithmetic, palettes and the run-list writer.
#pragma once

#include <cstdint>
#include <cstring>

#include "imaging/core/page.h"
#include "imaging/core/runlist.h"
#include "imaging/pixels/palettes.h"

namespace quillon::pixels {

// Stride of a new buffer of `width` pixels, or 0 when a line of that many
// pixels does not fit the 16-bit stride rule (or the depth is unknown).
inline uint32_t StrideFor(int32_t width, int bitsPerPixel) {
  uint32_t stride = BytesPerLine(width, bitsPerPixel);
  return stride >= RowBytes(width, bitsPerPixel) && width >= 0 ? stride : 0;
}

// True when the page is uncompressed and its buffer holds every line its
// geometry names: the last line needs only its own bytes.
inline bool HasPixels(const PageRecord& page) {
  if (page.compression != kUncompressed || page.width < 0 || page.height < 0)
    return false;
  const uint32_t rowBytes = RowBytes(page.width, page.bitsPerPixel);
  if (rowBytes == 0 && page.width > 0) return false;
  if (page.width == 0 || page.height == 0) return true;
  if (!page.data || page.bytesPerLine < rowBytes) return false;
  uint64_t need = SizeSum(
      SizeProduct(static_cast<uint32_t>(page.height - 1), page.bytesPerLine),
      rowBytes);
  return need <= page.dataSize;
}

// True when the page is bilevel in run-list form with a whole pointer table.
inline bool HasRunLists(const PageRecord& page) {
  if (page.compression != kRunLists || page.bitsPerPixel != 1) return false;
  if (page.width < 0 || page.width > kMaxRun || page.height < 0) return false;
  if (page.height == 0) return true;
  return page.data &&
         SizeProduct(static_cast<uint32_t>(page.height), sizeof(uint8_t*)) <=
             page.dataSize;
}

inline uint8_t* Row(const PageRecord& page, int32_t y) {
  return page.data + page.dataOffset +
         static_cast<uint64_t>(y) * page.bytesPerLine;
}

// Gray level of a colour.
inline uint8_t Gray(uint32_t blue, uint32_t green, uint32_t red) {
  return static_cast<uint8_t>((blue + 2 * green + red) / 4);
}

// 5-6-5 word to 8-bit channels (low bits zero) and back.
inline void Expand565(uint32_t v, uint8_t* bgr) {
  bgr[0] = static_cast<uint8_t>((v << 3) & 0xFF);
  bgr[1] = static_cast<uint8_t>((v >> 3) & 0xFC);
  bgr[2] = static_cast<uint8_t>((v >> 8) & 0xF8);
}
inline uint16_t Pack565(uint32_t blue, uint32_t green, uint32_t red) {
  return static_cast<uint16_t>(((red & 0xF8) << 8) | ((green & 0xFC) << 3) |
                               (blue >> 3));
}
inline uint16_t Load16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline void Store16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

// Index of the 3-3-2 cube entry whose levels are the top bits of a colour.
inline uint8_t CubeIndex(uint32_t blue, uint32_t green, uint32_t red) {
  return static_cast<uint8_t>((red & 0xE0) | ((green & 0xE0) >> 3) |
                              (blue >> 6));
}

// A 4-bpp pixel (high nibble first).
inline uint8_t Nibble(const uint8_t* row, uint32_t x) {
  uint8_t b = row[x >> 1];
  return (x & 1) ? (b & 0x0F) : (b >> 4);
}
inline void PutNibble(uint8_t* row, uint32_t x, uint8_t v) {
  uint8_t& b = row[x >> 1];
  b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | (v & 0x0F))
              : static_cast<uint8_t>((b & 0x0F) | (v << 4));
}

// The palette a page's indexes refer to; pages that lack one are read as
// gray ramps of their depth.
const uint8_t* PaletteOf(const PageRecord& page);

// A new 768-byte palette holding `table`, or null.
uint8_t* NewPalette(const PaletteTable& table);

// Installs a new uncompressed buffer: releases the old data when owned and
// sets data, dataOffset, bytesPerLine, dataSize, dataOwnership, depth.
void InstallPixels(PageRecord* page, uint8_t* data, uint32_t stride,
                   uint32_t size, int bitsPerPixel);

// Installs a new run-list buffer of `used` bytes the same way.
void InstallRunLists(PageRecord* page, uint8_t* data, uint32_t used);

// Makes the pixels writable in place: data that lies in a file's read-only
// view is copied into a buffer of the page's own.  0 or -1.
int32_t OwnPixels(PageRecord* page);

// The page's palette, given one of its own first when it has none.  Null
// when memory is short.
uint8_t* WritablePalette(PageRecord* page);

// Replaces the page's palette (null to drop it).
void InstallPalette(PageRecord* page, uint8_t* palette);

// Builds a run-list buffer line by line from packed rows (1 = white).
struct RunListWriter {
  uint8_t* data = nullptr;
  uint8_t* out = nullptr;
  int32_t width = 0;

  // Sized for the worst case of `width` x `height`.  -1 or -7 (too wide).
  int32_t Open(int32_t lineWidth, int32_t height);
  void Put(int32_t y, const uint8_t* row) {
    reinterpret_cast<uint8_t**>(data)[y] = out;
    out += PackedRowToRuns(width, out, row);
  }
  uint32_t Used() const { return static_cast<uint32_t>(out - data); }
  void Abandon() {
    Release(data);
    data = out = nullptr;
  }
};

// Calls paint(x0, x1) for every black run [x0, x1) of a line, clipped to
// `width`; stops at the terminating pair or at the width.
template <typename Paint>
inline void ForEachBlackRun(const uint8_t* line, int32_t width, Paint paint) {
  const uint32_t w = static_cast<uint32_t>(width);
  uint32_t x = 0;
  while (x < w) {
    x += GetRun(line);
    uint32_t black = GetRun(line);
    if (black == 0 || x >= w) return;
    uint32_t end = black < w - x ? x + black : w;
    paint(x, end);
    x = end;
  }
}

// Buffers released on every path of a conversion.
struct Scratch {
  void* p = nullptr;
  Scratch() = default;
  explicit Scratch(uint64_t size) : p(Allocate(size)) {}
  ~Scratch() { Release(p); }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  template <typename T>
  T* as() const { return static_cast<T*>(p); }
  // Hands the buffer over; it is no longer released here.
  uint8_t* Take() {
    uint8_t* q = static_cast<uint8_t*>(p);
    p = nullptr;
    return q;
  }
};

}  // namespace quillon::pixels
