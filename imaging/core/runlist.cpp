// Packed rows to run lists and back, and the in-place line inversion.
#include "imaging/core/runlist.h"

#include <cstring>

namespace quillon {

namespace {

// Number of leading one-bits of a byte (most significant first).
constexpr auto kLeadingOnes = [] {
  struct Table {
    uint8_t v[256];
  } t{};
  for (int b = 0; b < 256; ++b) {
    int n = 0;
    while (n < 8 && (b & (0x80 >> n))) ++n;
    t.v[b] = static_cast<uint8_t>(n);
  }
  return t;
}();

// Skips one run (one or two bytes) and returns its length.
inline uint32_t SkipRun(const uint8_t* line, uint32_t& i) {
  uint32_t v = line[i++];
  if (v & 0x80) v = ((v & 0x7F) << 8) | line[i++];
  return v;
}

}  // namespace

uint32_t PackedRowToRuns(int32_t width, uint8_t* output, const uint8_t* row) {
  uint8_t* out = output;
  if (width <= 0) {
    std::memset(out, 0, 4);
    return 4;
  }
  uint32_t remaining = static_cast<uint32_t>(width);
  const uint32_t byteCount = (remaining + 7) / 8;
  bool white = true;
  uint32_t run = 0;
  uint32_t pos = 0;
  int bit = 0;
  bool ended = false;
  while (pos < byteCount) {
    uint8_t shifted = static_cast<uint8_t>(row[pos] << bit);
    uint8_t v = white ? shifted : static_cast<uint8_t>(~shifted);
    int avail = 8 - bit;
    int n = kLeadingOnes.v[v];
    if (n > avail) n = avail;
    run += static_cast<uint32_t>(n);
    bit += n;
    if (bit == 8) {
      bit = 0;
      ++pos;
    }
    if (n < avail) {  // the colour changes inside this byte
      if (run >= remaining) {
        out = PutRun(out, remaining);
        ended = true;
        break;
      }
      out = PutRun(out, run);
      remaining -= run;
      run = 0;
      white = !white;
    }
  }
  if (!ended) out = PutRun(out, run < remaining ? run : remaining);
  out[0] = out[1] = out[2] = 0;
  return static_cast<uint32_t>(out + 3 - output);
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

// Bits are gathered 64 at a time, white ones set, and stored as whole
// words: a line of many short runs costs a few operations per run instead
// of a read-modify-write of the row per run.
void RunsToRow(const uint8_t* line, int32_t width, uint8_t* row) {
  if (width <= 0) return;
  const uint32_t w = static_cast<uint32_t>(width);
  const uint32_t total = RowBytes(width, 1) * 8;  // padding bits stay white
  uint64_t acc = 0;
  uint32_t held = 0;  // bits in acc, from the top
  uint8_t* out = row;
  auto put = [&](uint32_t count, bool white) {
    while (count > 0) {
      if (held == 0 && count >= 64) {  // whole words at once
        const uint32_t words = count / 64;
        std::memset(out, white ? 0xFF : 0, 8 * words);
        out += 8 * words;
        count -= 64 * words;
        continue;
      }
      const uint32_t take = count < 64 - held ? count : 64 - held;
      if (white) {
        const uint64_t ones = take == 64 ? ~uint64_t{0} : ((uint64_t{1} << take) - 1);
        acc |= ones << (64 - held - take);
      }
      held += take;
      count -= take;
      if (held == 64) {
        for (int k = 0; k < 8; ++k) out[k] = static_cast<uint8_t>(acc >> (56 - 8 * k));
        out += 8;
        acc = 0;
        held = 0;
      }
    }
  };
  const uint8_t* p = line;
  uint32_t x = 0;
  while (x < w) {
    uint32_t white = GetRun(p);
    white = white < w - x ? white : w - x;
    put(white, true);
    x += white;
    if (x >= w) break;
    uint32_t black = GetRun(p);
    if (black == 0) break;
    black = black < w - x ? black : w - x;
    put(black, false);
    x += black;
  }
  put(total - x, true);  // a line that stops short, and the padding, are white
  for (uint32_t k = 0; k < held / 8; ++k) out[k] = static_cast<uint8_t>(acc >> (56 - 8 * k));
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
