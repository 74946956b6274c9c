// The run-list form of bilevel pages (CompressionCode 11).
//
// data starts with `height` line pointers into the same buffer, then the
// lines.  A line is a sequence of run lengths of alternating colour, white
// first; 0..127 take one byte, 128..32767 two bytes (0x80 | high, low).
// Three zero bytes end a line: readers stop at the first (white, black) pair
// whose black run is 0, and the third byte is the slack that lets an
// in-place inversion grow the line by one byte.
#pragma once

#include <cstdint>

#include "imaging/core/page.h"

namespace quillon {

constexpr int32_t kMaxRun = 32767;

// Bytes a line of `width` pixels can take in the worst case: alternating
// single pixels starting black (a zero white run, then width runs) plus the
// three terminating bytes.
constexpr uint64_t RunLineWorstCase(int32_t width) {
  return static_cast<uint64_t>(width < 0 ? 0 : width) + 4;
}
// Pointer table plus every line in the worst case, plus the final three
// zero bytes some writers append after the last line.
constexpr uint64_t RunListWorstCase(int32_t width, int32_t height) {
  uint64_t h = static_cast<uint64_t>(height < 0 ? 0 : height);
  return SizeSum(SizeProduct(h, sizeof(uint8_t*) + RunLineWorstCase(width)),
                 4);
}

inline uint8_t** LinePointers(const PageRecord& page) {
  return reinterpret_cast<uint8_t**>(page.data);
}

// Writes one run (one or two bytes) and returns the position after it.
inline uint8_t* PutRun(uint8_t* out, uint32_t run) {
  if (__builtin_expect(run < 128, 1)) {
    *out++ = static_cast<uint8_t>(run);
  } else {
    *out++ = static_cast<uint8_t>(0x80 | ((run >> 8) & 0x7F));
    *out++ = static_cast<uint8_t>(run);
  }
  return out;
}

// Reads one run and advances.
inline uint32_t GetRun(const uint8_t*& p) {
  uint32_t v = *p++;
  if (v & 0x80) v = ((v & 0x7F) << 8) | *p++;
  return v;
}

// Packed row (MSB first, 1 = white; 0 = white when `inverted`) to runs.
// Reads only the row's own (width + 7) / 8 bytes; the runs add up to
// `width` exactly.  Returns the number of bytes written (at most
// RunLineWorstCase(width)).
uint32_t PackedRowToRuns(int32_t width, uint8_t* output, const uint8_t* row, bool inverted = false);

// Runs to a packed row: fills RowBytes(width, 1) bytes with 0xFF and clears
// the black runs.  Runs that pass `width` are clipped, so corrupt lines
// never write outside the row.
void RunsToRow(const uint8_t* line, int32_t width, uint8_t* row);

// Swaps the colours of a line in place by inserting or removing a leading
// zero-length white run; the line keeps a terminating zero pair.
void InvertRunLine(uint8_t* line);

// Length in bytes of a line's runs up to (not including) its terminator.
uint32_t RunLineLength(const uint8_t* line);

// Clears bits [start, start + count) of a packed row (MSB first).  Used by
// every runs-to-row painter; the caller guarantees the span lies in the row.
void ClearBits(uint8_t* row, uint32_t start, uint32_t count);

}  // namespace quillon
