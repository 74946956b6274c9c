// Pieces shared by the byte-oriented codecs (run-length and LZW): reading the
// lines of a decoded page in display order, writing run lists line by line,
// and an encoder output buffer that grows instead of overflowing.
#pragma once

#include <cstdint>
#include <cstring>

#include "imaging/codecs/runlength.h"
#include "imaging/core/page.h"
#include "imaging/core/runlist.h"

namespace quillon::codec {

// The order of a page's stored lines, read the same way by every encoder and
// every decoder that writes rows: only pages flagged "top line first" are
// top line first; the rest (bottom-up pages and pages without either flag,
// as a zeroed record has) are bottom line first.
inline bool BottomLineFirst(const PageRecord& page) {
  return (page.layoutFlags & kLayoutTopDown) == 0;
}

// The lines of a decoded (code 0) page, addressed top line first whatever
// the stored order.
struct LineSource {
  const uint8_t* base = nullptr;
  uint32_t stride = 0;
  int32_t height = 0;
  bool bottomUp = false;

  const uint8_t* Line(int32_t y) const {
    int32_t stored = bottomUp ? height - 1 - y : y;
    return base + static_cast<uint64_t>(stored) * stride;
  }
};

// Checks that `height` lines of `rowBytes` bytes at the page's stride lie
// inside its data: a stride of 0 stands for BytesPerLine.  False when the
// stride is shorter than a row or the lines reach past dataSize.
inline bool MakeLineSource(const PageRecord& page, uint32_t rowBytes,
                           bool bottomUp, LineSource* lines) {
  if (page.width < 0 || page.height < 0) return false;
  uint32_t stride = page.bytesPerLine
                        ? page.bytesPerLine
                        : BytesPerLine(page.width, page.bitsPerPixel);
  if (stride < rowBytes) return false;
  if (page.height > 0) {
    uint64_t need = SizeSum(
        SizeProduct(static_cast<uint64_t>(page.height - 1), stride), rowBytes);
    if (!page.data || need > page.dataSize) return false;
  }
  lines->base = page.data ? page.data + page.dataOffset : nullptr;
  lines->stride = stride;
  lines->height = page.height;
  lines->bottomUp = bottomUp;
  return true;
}

// A decoded page's buffer: the caller's (flag 8, when it is large enough: a
// caller converting page after page keeps its pages warm) or a new one,
// not cleared (the decoder writes or clears every byte).  Null without
// memory for `bytes` > 0; `callers` says whose it is.
inline uint8_t* PageBuffer(const PageRecord& destination, int32_t flags, uint64_t bytes, bool* callers) {
  *callers = (flags & kFlagIntoDestination) && destination.data && bytes <= destination.dataSize;
  return *callers ? destination.data : static_cast<uint8_t*>(AllocateUncleared(bytes));
}

// A bilevel line of packed rows `stride` bytes apart as painting its runs
// would give it: the bits past the width set (white), the padding bytes
// clear; a line the data did not finish is white.
inline void FinishPackedLine(uint8_t* line, int32_t width, uint32_t rowBytes, uint32_t stride, bool finished) {
  if (!finished) {
    std::memset(line, 0xFF, rowBytes);
  } else if (rowBytes && width % 8) {
    line[rowBytes - 1] |= static_cast<uint8_t>(0xFF >> (width % 8));
  }
  std::memset(line + rowBytes, 0, stride - rowBytes);
}

// The vector builds store a word's runs as one whole 64-byte register:
// `output` needs this many bytes of room past RunLineWorstCase.
constexpr uint32_t kRunsWrittenAhead = 64;

// PackedRowToRuns, built for processors with the PackBits vector loops
// (PackBitsVectorLoops()); the same bytes.
uint32_t PackedRowToRunsVector(int32_t width, uint8_t* output, const uint8_t* row, bool inverted);

// Run lists written by a decoder: the pointer table, then each line as it
// is finished.  The decoder puts every line (PutEmpty for lines its data
// does not finish), so the buffer is not cleared first.
struct RunListWriter {
  uint8_t* data = nullptr;
  uint8_t* next = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  bool inverted = false;  // rows whose 0 bits are white

  // -7 for bilevel pages wider than a run can be, -1 without memory.
  int32_t Begin(int32_t pageWidth, int32_t pageHeight) {
    if (pageWidth < 0 || pageHeight < 0) return kErrParameter;
    if (pageWidth > kMaxRun) return kErrUnsupported;
    data = static_cast<uint8_t*>(
        AllocateUncleared(SizeSum(RunListWorstCase(pageWidth, pageHeight), kRunsWrittenAhead)));
    if (!data) return kErrMemory;
    width = pageWidth;
    height = pageHeight;
    next = data + static_cast<uint64_t>(pageHeight) * sizeof(uint8_t*);
    return kOk;
  }
  uint8_t** Lines() const { return reinterpret_cast<uint8_t**>(data); }
  // A packed row (1 = white) becomes line y.  Each line is put once.
  void PutRow(int32_t y, const uint8_t* row) {
    Lines()[y] = next;
    next += PackBitsVectorLoops() ? PackedRowToRunsVector(width, next, row, inverted)
                                  : PackedRowToRuns(width, next, row, inverted);
  }
  void PutEmpty(int32_t y) {
    Lines()[y] = next;
    std::memset(next, 0, 4);
    next += 4;
  }
  uint32_t Used() const { return static_cast<uint32_t>(next - data); }
  void Abandon() {
    Release(data);
    data = next = nullptr;
  }
};

// An encoder's output: a buffer that is grown (copied into a larger one)
// whenever the room left is less than the next piece may need.
struct OutputBuffer {
  uint8_t* data = nullptr;
  uint64_t capacity = 0;
  uint64_t used = 0;

  bool Start(uint64_t initial) {
    data = static_cast<uint8_t*>(Allocate(initial));
    capacity = data ? initial : 0;
    used = 0;
    return data != nullptr;
  }
  // Makes room for `more` bytes after `used`.  False without memory.
  bool Reserve(uint64_t more) {
    uint64_t need = SizeSum(used, more);
    if (need <= capacity) return true;
    uint64_t grown = SizeSum(capacity, capacity / 2);
    if (grown < need) grown = need;
    uint8_t* bigger = static_cast<uint8_t*>(Allocate(grown));
    if (!bigger) return false;
    std::memcpy(bigger, data, used);
    Release(data);
    data = bigger;
    capacity = grown;
    return true;
  }
  uint8_t* End() const { return data + used; }
  void Abandon() {
    Release(data);
    data = nullptr;
    capacity = used = 0;
  }
};

// The compressed data of a page as blocks of lines: one block (data +
// dataOffset, dataSize bytes) covering every line, or one per strip covering
// rowsPerStrip lines each.  Strips beyond the last line are ignored; lines
// beyond the last strip belong to no block.
struct DataBlock {
  const uint8_t* bytes = nullptr;
  uint64_t size = 0;
  int32_t firstLine = 0;
  int32_t lineCount = 0;
};

inline int32_t BlockCount(const PageRecord& page) {
  if (page.stripCount < 2 || !page.stripOffsets || !page.stripByteCounts)
    return page.height > 0 ? 1 : 0;
  int64_t perStrip = page.rowsPerStrip > 0 ? page.rowsPerStrip : page.height;
  if (perStrip <= 0) return 0;
  int64_t needed = (static_cast<int64_t>(page.height) + perStrip - 1) / perStrip;
  return static_cast<int32_t>(needed < page.stripCount ? needed : page.stripCount);
}

inline DataBlock GetBlock(const PageRecord& page, int32_t index) {
  DataBlock block;
  if (page.stripCount < 2 || !page.stripOffsets || !page.stripByteCounts) {
    block.bytes = page.data + page.dataOffset;
    block.size = page.dataSize;
    block.lineCount = page.height;
    return block;
  }
  int64_t perStrip = page.rowsPerStrip > 0 ? page.rowsPerStrip : page.height;
  int64_t first = perStrip * index;
  int64_t count = page.height - first < perStrip ? page.height - first : perStrip;
  block.bytes = page.data + page.stripOffsets[index];
  block.size = page.stripByteCounts[index];
  block.firstLine = static_cast<int32_t>(first);
  block.lineCount = static_cast<int32_t>(count);
  return block;
}

}  // namespace quillon::codec
