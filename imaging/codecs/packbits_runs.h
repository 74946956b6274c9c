// Bilevel PackBits rows decoded straight to run lists.  The decoding loop is
// a template over the way a word's changes of colour become runs, built
// once for every processor and once more, in packbits_avx512.cpp, for
// processors that compress a word's change positions in one instruction.
// Everything here has internal linkage, so that the two builds never share
// a function.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "imaging/codecs/codec_rows.h"
#include "imaging/codecs/runlength.h"
#include "imaging/core/runlist.h"

namespace quillon::codec {

struct RunsProgress {
  uint64_t written;  // bytes of the block's rows decoded
  bool overrun;      // a literal or a repeat reached past the data
};

// Decodes one block of `lines` rows starting at line `firstLine` into
// `runs`; `done` is raised to one past each line put.  On processors with
// the vector build (and unless SetPackBitsVectorLoops(false)) that build
// runs; both give the same bytes.
RunsProgress UnpackPackBitsRuns(const uint8_t* in, uint64_t size, RunListWriter& runs, int32_t firstLine,
                                int32_t lines, int32_t& done);
RunsProgress UnpackPackBitsRunsVector(const uint8_t* in, uint64_t size, RunListWriter& runs,
                                      int32_t firstLine, int32_t lines, int32_t& done);

namespace {

// The loop shared by both builds: `Emit::Changes(line, x, changes)` turns
// the set bits of a word (pixel x in the lowest) into runs,
// `Emit::LowFirst` reverses the bits of each byte (`LoadLowFirst` those of
// 8 bytes in memory) and `Emit::KeepLow(bits, count)` keeps the lowest
// `count` (1..64) bits.  Repeats of 0x00 or 0xFF (margins, gaps between
// words, rules) only move the position on, or end a run there; other bytes
// are read 64 bits at a time.  Runs carry on from row to row like the bytes
// do; a row the data does not finish is left for the caller to put empty,
// `done` being one past the last line put.
template <typename Emit>
RunsProgress UnpackRunsWith(const uint8_t* in, uint64_t size, RunListWriter& runs, int32_t firstLine,
                            int32_t lines, int32_t& done) {
  const uint32_t w = static_cast<uint32_t>(runs.width);
  const uint32_t rowBytes = (w + 7) / 8;
  if (rowBytes == 0) return {0, false};
  // The writer's state in locals: the bytes written may alias anything.
  uint8_t** const pointers = runs.Lines() + firstLine;
  uint8_t* next = runs.next;
  const bool inverted = runs.inverted;
  RunLineBuilder line;
  line.Start(next, inverted);
  uint64_t i = 0;
  uint32_t o = 0;  // bytes of the row so far
  int32_t y = 0;
  auto stop = [&](bool overrun) -> RunsProgress {
    runs.next = next;
    if (y > 0) done = firstLine + y;
    return {uint64_t{rowBytes} * static_cast<uint32_t>(y) + o, overrun};
  };
  // Moves on by n bytes of the row; a whole row becomes line y.
  auto advance = [&](uint32_t n) {
    o += n;
    if (o == rowBytes) {
      pointers[y++] = next;
      next = line.Finish(w);
      line.Start(next, inverted);
      o = 0;
    }
  };
  // n bytes of the row from pixel x on, read from `from` with `left` bytes
  // of data readable there; bits past the width are not pixels.
  auto bytes = [&](const uint8_t* from, uint64_t left, uint32_t n, uint32_t x) {
    while (n > 0) {
      const uint32_t take = n < 8 ? n : 8;
      uint64_t word = 0;
      if (left >= 8) {
        std::memcpy(&word, from, 8);
        if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
      } else {
        for (uint32_t k = 0; k < take; ++k) word |= uint64_t{from[k]} << (8 * k);
      }
      const uint32_t count = std::min(8 * take, w - x);
      if (count < 64 || word != 0 - line.last) {  // else a whole word of the last pixel's colour
        if (const uint64_t changes = line.ChangesIn(Emit::LowFirst(word), count)) Emit::Changes(line, x, changes);
      }
      from += take;
      left -= take;
      n -= take;
      x += 8 * take;
    }
  };
  while (y < lines && i < size) {
    const int8_t control = static_cast<int8_t>(in[i++]);
    if (control >= 0) {
      uint64_t length = static_cast<uint64_t>(control) + 1;
      // Literals inside the row (a page of text is mostly these), read a
      // word at a time while the data goes on for a word past each.  The
      // word's last pixel is taken from its last byte as stored, which
      // keeps the reversal of the bits off the way to the next word.
      if (length < rowBytes - o && size - i >= length + 7) {
        const uint8_t* from = in + i;
        uint32_t x = 8 * o;
        uint32_t bits = 8 * static_cast<uint32_t>(length);
        i += length;
        o += static_cast<uint32_t>(length);
        for (;;) {
          const uint32_t count = bits < 64 ? bits : 64;
          const uint64_t word = Emit::LoadLowFirst(from);
          const uint64_t changes = Emit::KeepLow(word ^ ((word << 1) | line.last), count);
          line.last = from[count / 8 - 1] & 1;
          if (changes) Emit::Changes(line, x, changes);
          if (bits <= 64) break;
          bits -= 64;
          from += 8;
          x += 64;
        }
        continue;
      }
      const bool overrun = length > size - i;
      if (overrun) length = size - i;
      const uint8_t* from = in + i;
      i += length;
      while (length > 0 && y < lines) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(length, rowBytes - o));
        bytes(from, static_cast<uint64_t>(in + size - from), n, 8 * o);
        from += n;
        length -= n;
        advance(n);
      }
      if (overrun) return stop(true);
    } else if (control != -128) {
      if (i >= size) return stop(true);
      const uint8_t value = in[i++];
      uint32_t length = static_cast<uint32_t>(1 - control);
      if ((value == 0x00 || value == 0xFF) && length <= rowBytes - o) {  // margins and gaps, row ends too
        line.Solid(8 * o, value & 1);
        advance(length);
        continue;
      }
      while (length > 0 && y < lines) {
        const uint32_t n = std::min(length, rowBytes - o);
        if (value == 0x00 || value == 0xFF) {
          line.Solid(8 * o, value & 1);
        } else {
          const uint8_t repeated[8] = {value, value, value, value, value, value, value, value};
          for (uint32_t k = 0; k < n; k += 8) bytes(repeated, 8, std::min(n - k, 8u), 8 * (o + k));
        }
        length -= n;
        advance(n);
      }
    }
  }
  return stop(false);
}

}  // namespace

}  // namespace quillon::codec
