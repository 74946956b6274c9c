// Bit reading and Huffman decoding of JPEG entropy-coded data, shared by
// the baseline and progressive decoders (inline: they sit in the inner
// loops).
#pragma once

#include <cstdint>
#include <cstring>

#include "imaging/codecs/jpeg.h"

namespace quillon {

// Reads one scan's cleaned data.  Bits are kept left-aligned in a 64-bit
// window; loads never start past `end`, and the 8 zero bytes the cleaning
// leaves after each scan make the bits past the end read as zeros.
struct JpegBitReader {
  const uint8_t* data;  // the cleaned buffer
  uint64_t end;         // one past the scan's last byte
  uint64_t position;    // next byte to load
  uint64_t bits;
  int32_t count;  // valid bits at the top of `bits`
};

inline void StartBitReader(JpegBitReader* reader, const uint8_t* data,
                           uint32_t start, uint32_t end) {
  *reader = JpegBitReader{data, end, start, 0, 0};
}

// Tops the window up to at least 56 valid bits.
inline void Refill(JpegBitReader* r) {
  const uint64_t at = r->position < r->end ? r->position : r->end;
  uint64_t word;
  std::memcpy(&word, r->data + at, 8);
  r->bits |= __builtin_bswap64(word) >> r->count;
  r->position += static_cast<uint32_t>(63 - r->count) >> 3;
  r->count |= 56;
}

// Bits consumed since the start of the buffer.
inline uint64_t BitsConsumed(const JpegBitReader& r) {
  return r.position * 8 - static_cast<uint64_t>(r.count);
}

// True when the reader has taken bits past the end of the scan's data.
inline bool Overran(const JpegBitReader& r) { return BitsConsumed(r) > r.end * 8; }

// Restart: the encoder padded to a byte boundary before the marker.
inline void AlignToByte(JpegBitReader* r) {
  const int32_t drop = r->count & 7;
  r->bits <<= drop;
  r->count -= drop;
}

inline uint32_t PeekBits(const JpegBitReader& r, int32_t n) {
  return static_cast<uint32_t>(r.bits >> (64 - n));
}
inline void SkipBits(JpegBitReader* r, int32_t n) {
  r->bits <<= n;
  r->count -= n;
}

// `n` (1..16) bits as an unsigned number.
inline int32_t ReceiveBits(JpegBitReader* r, int32_t n) {
  if (r->count < 16) Refill(r);
  const int32_t v = static_cast<int32_t>(PeekBits(*r, n));
  SkipBits(r, n);
  return v;
}

// T.81 F.2.2.1: `size` (1..16) bits as a signed value.
inline int32_t ReceiveExtend(JpegBitReader* r, int32_t size) {
  const int32_t v = static_cast<int32_t>(PeekBits(*r, size));
  SkipBits(r, size);
  return v < (1 << (size - 1)) ? v - (1 << size) + 1 : v;
}

// A DC symbol (category) or -1; needs 16 valid bits.
inline int32_t DecodeDcSymbol(JpegBitReader* r, const JpegHuffmanLookup& t) {
  uint32_t e = t.shortTable[r->bits >> 58];
  if (e == 0) e = t.longTable[r->bits >> 52];
  if (e != 0) {
    SkipBits(r, static_cast<int32_t>(e >> 8));
    return static_cast<int32_t>(e & 255);
  }
  // Codes of 13 to 16 bits, length by length (T.81 F.2.2.3).
  for (int32_t length = 13; length <= 16; ++length) {
    const int32_t code = static_cast<int32_t>(PeekBits(*r, length));
    if (code <= t.maxCode[length]) {
      SkipBits(r, length);
      return t.values[(code + t.valueOffset[length]) & 255];
    }
  }
  return -1;
}

// An AC symbol or -1; needs 16 valid bits.
inline int32_t DecodeAcSymbol(JpegBitReader* r, const JpegHuffmanLookup& t) {
  uint32_t e = t.shortTable[r->bits >> 56];
  if (e == 0) {
    e = t.longTable[r->bits >> 48];
    if (e == 0) return -1;
  }
  SkipBits(r, static_cast<int32_t>(e >> 8));
  return static_cast<int32_t>(e & 255);
}

// The DC difference of one block added to its predictor, kept to 16 bits.
inline bool DecodeDc(JpegBitReader* r, const JpegHuffmanLookup& dc,
                     int32_t* predictor) {
  Refill(r);
  const int32_t size = DecodeDcSymbol(r, dc);
  if (size < 0 || size > 16) return false;
  if (size) *predictor = static_cast<int16_t>(*predictor + ReceiveExtend(r, size));
  return true;
}

// One sequential block (T.81 F.2.2) into `block` (natural order, zeroed
// beforehand).  Returns -1 for a code that is not in the tables, 1 when the
// block has no AC coefficient, else 0.
inline int32_t DecodeBlock(JpegBitReader* r, int16_t* block,
                           const JpegHuffmanLookup& dc,
                           const JpegHuffmanLookup& ac, int32_t* predictor) {
  if (!DecodeDc(r, dc, predictor)) return -1;
  block[0] = static_cast<int16_t>(*predictor);
  int32_t k = 1;
  while (k < 64) {
    if (r->count < 32) Refill(r);
    const int32_t fast = ac.fastAc[r->bits >> 52];
    if (fast != 0) {
      SkipBits(r, fast & 15);
      if ((fast & 0xFFF0) == 0) break;  // end of block
      k += (fast >> 4) & 15;
      block[kNaturalOfZigzag[k]] = static_cast<int16_t>(fast >> 8);
      ++k;
      continue;
    }
    const int32_t symbol = DecodeAcSymbol(r, ac);
    if (symbol < 0) return -1;
    const int32_t run = symbol >> 4, size = symbol & 15;
    if (size) {
      k += run;
      block[kNaturalOfZigzag[k]] = static_cast<int16_t>(ReceiveExtend(r, size));
      ++k;
    } else if (run == 15) {
      k += 16;
    } else {
      break;
    }
  }
  return k == 1 ? 1 : 0;
}

// The DC of one sequential block; its AC codes are read past.  Needs the
// DC table's fastDc and the AC table's skipAc.
inline bool DecodeBlockDcOnly(JpegBitReader* r, const JpegHuffmanLookup& dc,
                              const JpegHuffmanLookup& ac, int32_t* predictor) {
  Refill(r);
  // Code and value bits in one read where they are short.
  const int32_t whole = dc.fastDc[r->bits >> 52];
  if (whole != 0) {
    SkipBits(r, whole & 15);
    *predictor = static_cast<int16_t>(*predictor + (whole >> 4));
  } else if (!DecodeDc(r, dc, predictor)) {
    return false;
  }
  int32_t k = 1;
  while (k < 64) {
    if (r->count < 14) Refill(r);
    // Up to three coefficients at a time while they belong to this block.
    const uint32_t skip = ac.skipAc[r->bits >> 50];
    if (skip != 0 && k + static_cast<int32_t>((skip >> 5) & 127) < 64) {
      SkipBits(r, skip & 31);
      if (skip & 0x1000) break;
      k += (skip >> 5) & 127;
      continue;
    }
    if (r->count < 32) Refill(r);
    const int32_t symbol = DecodeAcSymbol(r, ac);
    if (symbol < 0) return false;
    const int32_t run = symbol >> 4, size = symbol & 15;
    if (size) {
      SkipBits(r, size);
      k += run + 1;
    } else if (run == 15) {
      k += 16;
    } else {
      break;
    }
  }
  return true;
}

}  // namespace quillon
