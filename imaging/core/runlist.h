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

// Writes one run as PutRun does, without a branch: the second byte is
// written whatever the length, so the line must go on for at least one more
// byte after it (every line ends in a run and three zero bytes).
inline uint8_t* PutRunAhead(uint8_t* out, uint32_t run) {
  const uint32_t two = run >= 128;
  out[0] = static_cast<uint8_t>(two ? 0x80 | (run >> 8) : run);
  out[1] = static_cast<uint8_t>(run);
  return out + 1 + two;
}

// One line of runs built from its pixels in order, given as stretches of
// one colour or as words of packed pixels.  `last` is the bit of the
// pixel before the next one given (white's at the start); a run ends
// wherever a pixel's bit differs from the one before it.  The builder may
// write a byte past its position, always one the rest of the line then
// writes, so a line never takes more room than RunLineWorstCase.
struct RunLineBuilder {
  uint8_t* out = nullptr;
  uint32_t runStart = 0;  // where the current run began
  uint64_t last = 1;

  void Start(uint8_t* at, bool inverted) {
    out = at;
    runStart = 0;
    last = inverted ? 0 : 1;
  }
  // Pixels from x on have the colour of `bit` (0 or 1).
  void Solid(uint32_t x, uint64_t bit) {
    if (bit != last) {
      out = PutRunAhead(out, x - runStart);
      runStart = x;
      last = bit;
    }
  }
  // `count` pixels (1..64) from x, the first in the lowest bit of `word`;
  // bits above `count` are ignored.
  void Bits(uint32_t x, uint64_t word, uint32_t count) {
    if (const uint64_t changes = ChangesIn(word, count)) Changes(x, changes);
  }
  // The pixels of such a word that differ from the one before them, as set
  // bits; the word's last pixel becomes `last`.
  uint64_t ChangesIn(uint64_t word, uint32_t count) {
    uint64_t changes = word ^ ((word << 1) | last);
    last = (word >> (count - 1)) & 1;
    if (count < 64) changes &= (uint64_t{1} << count) - 1;
    return changes;
  }
  // Ends the line at `width` pixels; returns the position after it.
  uint8_t* Finish(uint32_t width) {
    out = PutRun(out, width - runStart);
    out[0] = out[1] = out[2] = 0;
    return out + 3;
  }
  // A run ends at x + each set bit of `changes` (not 0).  Only the first
  // can be long: the others begin and end inside the word, one byte each.
  void Changes(uint32_t x, uint64_t changes) {
    uint32_t at = x + static_cast<uint32_t>(__builtin_ctzll(changes));
    changes &= changes - 1;
    uint8_t* o = PutRunAhead(out, at - runStart);
    while (changes) {
      const uint32_t next = x + static_cast<uint32_t>(__builtin_ctzll(changes));
      changes &= changes - 1;
      *o++ = static_cast<uint8_t>(next - at);
      at = next;
    }
    out = o;
    runStart = at;
  }
};

// Reverses the bits of each byte: packed pixels (first pixel in the top
// bit) loaded as a little-endian word come out with the first pixel lowest.
inline uint64_t PixelsLowFirst(uint64_t word) {
  word = ((word >> 1) & 0x5555555555555555ull) | ((word & 0x5555555555555555ull) << 1);
  word = ((word >> 2) & 0x3333333333333333ull) | ((word & 0x3333333333333333ull) << 2);
  return ((word >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((word & 0x0F0F0F0F0F0F0F0Full) << 4);
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
