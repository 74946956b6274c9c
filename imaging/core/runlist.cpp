// Packed rows to run lists and back, and the in-place line inversion.
#include "imaging/core/runlist.h"

#include <bit>
#include <cstring>

namespace quillon {

namespace {

// Skips one run (one or two bytes) and returns its length.
inline uint32_t SkipRun(const uint8_t* line, uint32_t& i) {
  uint32_t v = line[i++];
  if (v & 0x80) v = ((v & 0x7F) << 8) | line[i++];
  return v;
}

}  // namespace

// The row is read 64 bits at a time, its first pixel in the lowest bit;
// a word of the last pixel's colour throughout costs one comparison.
uint32_t PackedRowToRuns(int32_t width, uint8_t* output, const uint8_t* row, bool inverted) {
  if (width <= 0) {
    std::memset(output, 0, 4);
    return 4;
  }
  const uint32_t w = static_cast<uint32_t>(width);
  const uint32_t byteCount = (w + 7) / 8;
  RunLineBuilder line;
  line.Start(output, inverted);
  for (uint32_t base = 0; base < w; base += 64) {
    const uint32_t at = base / 8;
    uint64_t word = 0;
    if (byteCount - at >= 8) {
      std::memcpy(&word, row + at, 8);
      if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    } else {
      for (uint32_t k = 0; at + k < byteCount; ++k) word |= uint64_t{row[at + k]} << (8 * k);
    }
    if (word == 0 - line.last) continue;  // a whole word of the last pixel's colour
    line.Bits(base, PixelsLowFirst(word), w - base < 64 ? w - base : 64);
  }
  return static_cast<uint32_t>(line.Finish(w) - output);
}

void ClearBits(uint8_t* row, uint32_t start, uint32_t count) {
  if (count == 0) return;
  uint32_t end = start + count;  // exclusive
  uint32_t first = start >> 3, last = (end - 1) >> 3;
  uint8_t headMask = static_cast<uint8_t>(0xFF >> (start & 7));
  uint8_t tailMask = static_cast<uint8_t>(0xFF << (7 - ((end - 1) & 7)));
  if (first == last) {
    row[first] &= static_cast<uint8_t>(~(headMask & tailMask));
    return;
  }
  row[first] &= static_cast<uint8_t>(~headMask);
  if (last > first + 1) std::memset(row + first + 1, 0, last - first - 1);
  row[last] &= static_cast<uint8_t>(~tailMask);
}

// Each change of colour sets one bit in a row of words; the pixels are then
// the running parity of those bits (black where it is odd), made a word at a
// time by a prefix XOR and stored as whole words.  A page of short runs
// costs an XOR in a register per run instead of shifting masks into the row.
void RunsToRow(const uint8_t* line, int32_t width, uint8_t* row) {
  if (width <= 0) return;
  const uint32_t w = static_cast<uint32_t>(width);
  const uint32_t rowBytes = RowBytes(width, 1);
  const uint32_t total = rowBytes * 8;  // padding bits stay white
  constexpr uint32_t kMaxWords = (kMaxRun + 63) / 64 + 1;
  uint64_t onStack[kMaxWords];
  const uint32_t words = (total + 63) / 64;
  uint64_t* changes = onStack;
  if (words > kMaxWords) {  // wider than a page of run lists is made
    changes = static_cast<uint64_t*>(Allocate(uint64_t{words} * sizeof(uint64_t)));
    if (!changes) {
      std::memset(row, 0xFF, rowBytes);
      return;
    }
  } else {
    std::memset(changes, 0, words * sizeof(uint64_t));
  }
  // Changes arrive in order; the word being filled stays in a register.
  // Two changes at one place (an empty run inside a line) cancel.
  uint64_t held = 0;
  uint32_t heldWord = 0;
  auto change = [&](uint32_t x) {
    if (x >= total) return;
    if ((x >> 6) != heldWord) {
      changes[heldWord] = held;
      heldWord = x >> 6;
      held = 0;
    }
    held ^= uint64_t{1} << (63 - (x & 63));
  };
  // Runs are added unclipped (each is below 2^15, x stays below 2^31 + 2^15)
  // so that the next position waits on one addition; a run passing the
  // width ends the line there.
  const uint8_t* p = line;
  uint32_t x = 0;
  for (;;) {
    x += GetRun(p);  // white
    if (x >= w) break;
    const uint32_t black = GetRun(p);
    if (black == 0) break;  // a line that stops short is white to its end
    change(x);
    x += black;
    if (x >= w) {
      change(w);  // the padding is white
      break;
    }
    change(x);
  }
  changes[heldWord] = held;
  uint64_t carry = 0;  // all ones when the word starts inside a black run
  uint8_t* out = row;
  for (uint32_t k = 0; k < words; ++k) {
    uint64_t v = changes[k];
    v ^= v >> 1;
    v ^= v >> 2;
    v ^= v >> 4;
    v ^= v >> 8;
    v ^= v >> 16;
    v ^= v >> 32;
    v ^= carry;
    carry = (v & 1) ? ~uint64_t{0} : 0;
    const uint64_t pixels = ~v;
    const uint32_t left = rowBytes - 8 * k;
    if (left >= 8) {
      uint64_t stored = pixels;
      if constexpr (std::endian::native == std::endian::little) stored = __builtin_bswap64(stored);
      std::memcpy(out, &stored, 8);
      out += 8;
    } else {
      for (uint32_t i = 0; i < left; ++i) *out++ = static_cast<uint8_t>(pixels >> (56 - 8 * i));
    }
  }
  if (changes != onStack) Release(changes);
}

uint32_t RunLineLength(const uint8_t* line) {
  uint32_t i = 0;
  for (;;) {
    uint32_t start = i;
    uint32_t white = SkipRun(line, i);
    uint32_t blackAt = i;
    uint32_t black = SkipRun(line, i);
    if (black == 0) return white == 0 ? start : blackAt;
  }
}

void InvertRunLine(uint8_t* line) {
  uint32_t length = RunLineLength(line);
  if (length == 0) return;  // no pixels to swap
  if (line[0] != 0) {
    std::memmove(line + 1, line, length);
    line[0] = 0;
    line[length + 1] = 0;
    line[length + 2] = 0;
  } else {
    std::memmove(line, line + 1, length - 1);
    line[length - 1] = 0;
    line[length] = 0;
    line[length + 1] = 0;
  }
}

}  // namespace quillon
