// HP PCL raster rows: every line of a bilevel page as one PackBits row
// (compression method 2), dots complemented (PCL prints 1 bits).
#include <cstdio>
#include <cstring>

#include "imaging/codecs/codecs.h"
#include "imaging/codecs/runlength.h"
#include "imaging/core/runlist.h"

namespace quillon {

namespace {

constexpr char kHeader[] = "\x1B*b2M\x1B*r0A";  // PackBits rows, raster at the left edge
constexpr char kTrailer[] = "\x1B*rB";
constexpr uint32_t kRowHeaderMax = 16;  // ESC * b <up to 10 digits> W

}  // namespace

int32_t EncodePclRaster(const PageRecord* source, PageRecord* destination) {
  if (source->bitsPerPixel != 1 || !source->data)
    return kErrParameter;
  const int32_t width = source->width, height = source->height;
  if (width < 0 || height < 0) return kErrParameter;
  const uint32_t rowBytes = RowBytes(width, 1);
  // Every row fits its own buffer, however wide the page: a 9600-dot row
  // at 1200 dpi is 1200 bytes before compression.
  const uint64_t rowWorst = RowCoderWorstCase(rowBytes) + 2;
  const uint64_t size = SizeSum(SizeProduct(static_cast<uint32_t>(height), kRowHeaderMax + rowWorst),
                                sizeof kHeader + sizeof kTrailer);
  uint8_t* out = static_cast<uint8_t*>(Allocate(size));
  uint8_t* row = static_cast<uint8_t*>(Allocate(BytesPerLine(width, 1) + 4));
  uint8_t* packed = static_cast<uint8_t*>(Allocate(rowWorst));
  if (!out || !row || !packed) {
    Release(out);
    Release(row);
    Release(packed);
    return kErrMemory;
  }
  uint64_t at = 0;
  std::memcpy(out, kHeader, sizeof kHeader - 1);
  at += sizeof kHeader - 1;
  uint8_t** lines = LinePointers(*source);
  for (int32_t y = 0; y < height; ++y) {
    RunsToRow(lines[y], width, row);
    for (uint32_t i = 0; i < rowBytes; ++i) row[i] = static_cast<uint8_t>(~row[i]);
    const uint32_t n = static_cast<uint32_t>(PackBitsRow(row, packed, rowBytes) - packed);
    at += static_cast<uint64_t>(std::snprintf(reinterpret_cast<char*>(out + at), kRowHeaderMax + 1,
                                              "\x1B*b%uW", n));
    std::memcpy(out + at, packed, n);
    at += n;
  }
  std::memcpy(out + at, kTrailer, sizeof kTrailer - 1);
  at += sizeof kTrailer - 1;
  Release(row);
  Release(packed);
  destination->data = out;
  destination->dataSize = static_cast<uint32_t>(at);
  destination->dataOffset = 0;
  destination->dataOwnership = kOwnedByPage;
  return kOk;
}

}  // namespace quillon
