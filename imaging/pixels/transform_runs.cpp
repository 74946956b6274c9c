// Transforms of bilevel pages held as run lists: rotation through a strip
// of packed rows, mirroring in place, line doubling.  None of them unpacks
// a whole page.
#include <algorithm>
#include <cstring>
#include <utility>

#include "imaging/pixels/pixels_internal.h"
#include "imaging/pixels/transform_internal.h"

namespace quillon::pixels {

namespace {

// Rotation holds at most this much of the new page as packed rows.
constexpr uint32_t kStripBytes = 262144;

inline uint32_t RunBytes(uint32_t run) { return run < 128 ? 1 : 2; }

// The runs of one line, clipped to the width and completed with white when
// they fall short of it, as a plain list: white first, no zero run but a
// leading one (a zero white run inside the line joins its two black
// neighbours).  `encoded` receives the bytes the non-zero runs took.
uint32_t ParseRuns(const uint8_t* line, uint32_t width, uint16_t* runs,
                   uint32_t* encoded) {
  uint32_t count = 0, x = 0;
  *encoded = 0;
  const uint8_t* p = line;
  while (x < width) {
    const uint8_t* at = p;
    uint32_t white = GetRun(p);
    const uint8_t* blackAt = p;
    uint32_t black = GetRun(p);
    if (white) *encoded += static_cast<uint32_t>(blackAt - at);
    white = std::min(white, width - x);
    if (white != 0 || count == 0) runs[count++] = static_cast<uint16_t>(white);
    x += white;
    if (black == 0 || x >= width) break;
    *encoded += static_cast<uint32_t>(p - blackAt);
    black = std::min(black, width - x);
    if (count % 2 == 1)
      runs[count++] = static_cast<uint16_t>(black);
    else
      runs[count - 1] = static_cast<uint16_t>(runs[count - 1] + black);
    x += black;
  }
  if (x < width) {
    if (count % 2 == 1)
      runs[count - 1] = static_cast<uint16_t>(runs[count - 1] + (width - x));
    else
      runs[count++] = static_cast<uint16_t>(width - x);
  }
  return count;
}

// Writes the runs right to left: a line that would start black gains a
// zero-length white run, one that ends in a zero-length run loses it.
// Ends with the two zero bytes of the terminating pair; returns the size.
uint32_t PutMirrored(const uint16_t* runs, uint32_t count, uint8_t* out) {
  uint8_t* p = out;
  if (count % 2 == 0) *p++ = 0;
  for (uint32_t i = count; i-- > 0;) {
    if (i == 0 && runs[0] == 0) break;
    p = PutRun(p, runs[i]);
  }
  *p++ = 0;
  *p++ = 0;
  return static_cast<uint32_t>(p - out);
}

uint32_t MirroredSize(const uint16_t* runs, uint32_t count) {
  uint32_t size = (count % 2 == 0 ? 1 : 0) + 2;
  for (uint32_t i = 0; i < count; ++i)
    if (runs[i]) size += RunBytes(runs[i]);
  return size;
}

}  // namespace

// New line r is old column r read bottom to top: pixel (x, y) lands at
// (newWidth - 1 - y, x).  The new page is built in strips of packed rows.
int32_t RotateRunLists(PageRecord* page) {
  const int32_t width = page->width, height = page->height;
  RunListWriter writer;
  int32_t result = writer.Open(height, width);
  if (result != kOk) return result;
  Scratch strip(kStripBytes);
  if (!strip.p) {
    writer.Abandon();
    return kErrMemory;
  }
  const uint32_t stride = std::max<uint32_t>(BytesPerLine(height, 1), 4);
  const int32_t stripRows = static_cast<int32_t>(kStripBytes / stride);
  uint8_t* rows = strip.as<uint8_t>();
  uint8_t** lines = LinePointers(*page);
  for (int32_t r0 = 0; r0 < width; r0 += stripRows) {
    const uint32_t first = static_cast<uint32_t>(r0);
    const uint32_t n = static_cast<uint32_t>(std::min(stripRows, width - r0));
    std::memset(rows, 0xFF, static_cast<size_t>(n) * stride);
    for (int32_t y = 0; y < height; ++y) {
      const uint32_t column = static_cast<uint32_t>(height - 1 - y);
      const uint8_t keep = static_cast<uint8_t>(~(0x80 >> (column & 7)));
      uint8_t* cell = rows + (column >> 3);
      ForEachBlackRun(lines[y], width, [&](uint32_t x0, uint32_t x1) {
        x0 = std::max(x0, first);
        x1 = std::min(x1, first + n);
        for (uint32_t x = x0; x < x1; ++x) cell[(x - first) * stride] &= keep;
      });
    }
    for (uint32_t i = 0; i < n; ++i)
      writer.Put(r0 + static_cast<int32_t>(i), rows + i * stride);
  }
  std::swap(page->width, page->height);
  InstallRunLists(page, writer.data, writer.Used());
  return kOk;
}

// Each line is reversed in place.  A line keeps room for its non-zero runs,
// one more byte and its terminating pair, which is all a mirrored line
// needs; only a line that fell short of the width (completed with white)
// can need more, and then the page is rebuilt in a new buffer.
int32_t MirrorRunLists(PageRecord* page) {
  const uint32_t width = static_cast<uint32_t>(page->width);
  const int32_t height = page->height;
  if (width == 0) return kOk;
  Scratch runScratch(SizeProduct(width + 2, sizeof(uint16_t)));
  if (!runScratch.p) return kErrMemory;
  uint16_t* runs = runScratch.as<uint16_t>();
  uint8_t** lines = LinePointers(*page);

  bool inPlace = true;
  for (int32_t y = 0; y < height && inPlace; ++y) {
    uint32_t encoded;
    uint32_t count = ParseRuns(lines[y], width, runs, &encoded);
    inPlace = MirroredSize(runs, count) <= encoded + 3;
  }
  if (inPlace) {
    Scratch lineScratch(RunLineWorstCase(page->width) + 4);
    if (!lineScratch.p) return kErrMemory;
    uint8_t* mirrored = lineScratch.as<uint8_t>();
    for (int32_t y = 0; y < height; ++y) {
      uint32_t encoded;
      uint32_t count = ParseRuns(lines[y], width, runs, &encoded);
      std::memcpy(lines[y], mirrored, PutMirrored(runs, count, mirrored));
    }
    return kOk;
  }
  RunListWriter writer;
  int32_t result = writer.Open(page->width, height);
  if (result != kOk) return result;
  uint8_t** newLines = reinterpret_cast<uint8_t**>(writer.data);
  for (int32_t y = 0; y < height; ++y) {
    uint32_t encoded;
    uint32_t count = ParseRuns(lines[y], width, runs, &encoded);
    newLines[y] = writer.out;
    writer.out += PutMirrored(runs, count, writer.out);
    *writer.out++ = 0;  // the slack byte of the terminator
  }
  InstallRunLists(page, writer.data, writer.Used());
  return kOk;
}

// Every line twice, each copy with its three terminating zero bytes; the
// height and the vertical resolution double.
int32_t DoubleRunLines(PageRecord* page) {
  const int32_t height = page->height;
  if (height > INT32_MAX / 2) return kErrParameter;
  uint8_t** lines = LinePointers(*page);
  uint64_t size = SizeProduct(2 * static_cast<uint64_t>(height), sizeof(uint8_t*));
  for (int32_t y = 0; y < height; ++y)
    size = SizeSum(size, 2 * (static_cast<uint64_t>(RunLineLength(lines[y])) + 3));
  size = SizeSum(size, 4);
  if (size > UINT32_MAX) return kErrMemory;
  uint8_t* data = static_cast<uint8_t*>(Allocate(size));
  if (!data) return kErrMemory;
  uint8_t** newLines = reinterpret_cast<uint8_t**>(data);
  uint8_t* out = data + 2 * static_cast<uint64_t>(height) * sizeof(uint8_t*);
  for (int32_t y = 0; y < height; ++y) {
    const uint32_t length = RunLineLength(lines[y]);
    for (int copy = 0; copy < 2; ++copy) {
      newLines[2 * y + copy] = out;
      std::memcpy(out, lines[y], length);
      out += length + 3;  // the buffer is zeroed: the terminator is there
    }
  }
  page->height = 2 * height;
  page->yResolution *= 2;
  InstallRunLists(page, data, static_cast<uint32_t>(out - data));
  return kOk;
}

}  // namespace quillon::pixels
