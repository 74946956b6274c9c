// The Huffman lookups of a decoder state checked against the table they
// were built from, walked code by code: the code tables and whichever
// extras were built.  Shared by the table tests and the JPEG fuzz target.
#pragma once

#include <cstdint>

#include "imaging/codecs/jpeg.h"

namespace testutil {

// The code at the top of the `count` low bits of `bits`: (length << 8 |
// symbol), or 0; canonical codes assigned length by length.
inline uint32_t ReferenceCode(const int32_t* counts, const int32_t* symbols, uint32_t bits, uint32_t count) {
  uint32_t code = 0;
  int32_t k = 0;
  for (uint32_t length = 1; length <= 16 && length <= count; ++length) {
    const uint32_t top = (bits >> (count - length)) & ((1u << length) - 1);
    if (top >= code && top - code < static_cast<uint32_t>(counts[length - 1]))
      return length << 8 | (symbols[k + static_cast<int32_t>(top - code)] & 255);
    k += counts[length - 1];
    code = (code + static_cast<uint32_t>(counts[length - 1])) << 1;
  }
  return 0;
}

// True when every lookup of `slot` says what the table says.  A table
// whose codes overflow their lengths must give empty lookups.
inline bool LookupsMatchTable(const quillon::JpegDecoderState& state, int slot) {
  const quillon::JpegHuffmanLookup& l = state.lookups[slot];
  const int32_t* counts = state.huffmanCounts[slot];
  const int32_t* symbols = state.huffmanSymbols[slot];
  bool valid = true;
  int32_t total = 0;
  for (uint32_t length = 1, code = 0; length <= 16; ++length) {
    code += static_cast<uint32_t>(counts[length - 1]);
    total += counts[length - 1];
    if (code > (1u << length)) valid = false;
    code <<= 1;
  }
  valid = valid && total <= 256;
  auto reference = [&](uint32_t bits, uint32_t count) {
    return valid ? ReferenceCode(counts, symbols, bits, count) : 0;
  };
  const bool ac = slot >= 4;
  const uint32_t shortBits = ac ? 8 : 6, longBits = ac ? 16 : 12;
  for (uint32_t p = 0; p < (1u << longBits); ++p) {
    uint32_t e = l.shortTable[p >> (longBits - shortBits)];
    if (!e) e = l.longTable[p];
    if (e != reference(p, longBits)) return false;
  }
  // A code and its value bits within the first 12 bits of i: the value, or
  // false when they reach past.
  auto whole = [&](uint32_t i, uint32_t e, uint32_t size, int32_t* value) {
    const uint32_t length = e >> 8;
    if (!e || length + size > 12) return false;
    const uint32_t bits = size ? (i >> (12 - length - size)) & ((1u << size) - 1) : 0;
    *value = !size ? 0 : bits < (1u << (size - 1)) ? static_cast<int32_t>(bits) - (1 << size) + 1 : static_cast<int32_t>(bits);
    return true;
  };
  for (uint32_t i = 0; i < 4096 && (l.fastAc || l.fastDc); ++i) {
    const uint32_t e = reference(i, 12), length = e >> 8;
    int32_t value, fastAc = 0, fastDc = 0;
    if (whole(i, e, e & 255, &value)) fastDc = value * 16 + static_cast<int32_t>(length + (e & 255));
    if (e && (e & 255) == 0) {
      fastAc = static_cast<int32_t>(length);  // end of block
    } else if (whole(i, e, e & 15, &value) && (e & 15) && value >= -128 && value <= 127) {
      fastAc = value * 256 + static_cast<int32_t>((e & 0xF0) + length + (e & 15));
    }
    if ((l.fastAc && l.fastAc[i] != fastAc) || (l.fastDc && l.fastDc[i] != fastDc)) return false;
  }
  for (uint32_t i = 0; l.skipAc && i < (1u << 14); ++i) {
    uint32_t used = 0, advance = 0, end = 0;
    for (int n = 0; n < 3 && !end; ++n) {
      const uint32_t available = 14 - used;
      const uint32_t e = available ? reference(i & ((1u << available) - 1), available) : 0;
      const uint32_t length = e >> 8, run = (e >> 4) & 15, size = e & 15;
      if (!e || length + size > available) break;
      used += length + size;
      if (size) advance += run + 1;
      else if (run == 15) advance += 16;
      else end = 1;
    }
    if (l.skipAc[i] != (used ? used | advance << 5 | end << 12 : 0)) return false;
  }
  return true;
}

}  // namespace testutil
