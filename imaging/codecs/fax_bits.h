// The bit reader and writer that every fax codec shares.
//
// The reader keeps up to 64 unread bits in a word, first bit at the top.
// While eight or more bytes remain it refills with one big-endian load (the
// fast path); near the end it takes one byte at a time and feeds zero bytes
// once the data is used up (the careful path).  Both deliver the same bits,
// so no read ever passes the end of the data and no slack bytes are needed
// after it.  Decoders notice the end through FaxDataLeft / FaxOverrun.
#pragma once

#include <cstdint>
#include <cstring>

#include "imaging/codecs/fax_tables.h"

namespace quillon {

struct FaxBitReader {
  const uint8_t* p;      // next byte to load
  const uint8_t* end;    // end of the coded data
  const uint8_t* start;  // first byte of the coded data
  uint32_t zeros;        // zero bytes fed after the data
  int32_t count;         // bits held in `bits` (at most 63)
  uint64_t bits;         // unread bits, first at bit 63
};

// Slow refill: one byte at a time, zeros past the end.
inline void FaxRefillCareful(FaxBitReader& r) {
  while (r.count <= 48) {
    uint64_t byte = 0;
    if (r.p < r.end)
      byte = *r.p++;
    else
      ++r.zeros;
    r.bits |= byte << (56 - r.count);
    r.count += 8;
  }
}

// Ensures at least 32 bits are held (real or zero).
inline void FaxFill(FaxBitReader& r) {
  if (r.count >= 32) return;
  if (r.end - r.p >= 8) {
    uint64_t word;
    std::memcpy(&word, r.p, 8);
    word = __builtin_bswap64(word);
    // Bits beyond the whole bytes taken are the stream's own next bits, so
    // the next load ORs the same values over them.
    r.bits |= word >> r.count;
    const int32_t take = (63 - r.count) >> 3;
    r.p += take;
    r.count += take * 8;
  } else {
    FaxRefillCareful(r);
  }
}

inline void FaxStart(FaxBitReader& r, const uint8_t* data, uint32_t size) {
  r.start = r.p = data;
  r.end = data ? data + size : data;
  r.zeros = 0;
  r.count = 0;
  r.bits = 0;
  FaxFill(r);
}

// Bits consumed since the start.
inline uint64_t FaxBitPosition(const FaxBitReader& r) {
  return (static_cast<uint64_t>(r.p - r.start) + r.zeros) * 8 -
         static_cast<uint64_t>(r.count);
}
inline uint64_t FaxBitSize(const FaxBitReader& r) {
  return static_cast<uint64_t>(r.end - r.start) * 8;
}
// True while unread coded bits remain.
inline bool FaxDataLeft(const FaxBitReader& r) {
  return r.zeros == 0 || FaxBitPosition(r) < FaxBitSize(r);
}
// True once bits past the end of the data have been consumed.
inline bool FaxOverrun(const FaxBitReader& r) {
  return r.zeros != 0 && FaxBitPosition(r) > FaxBitSize(r);
}

inline uint32_t FaxPeek16(const FaxBitReader& r) {
  return static_cast<uint32_t>(r.bits >> 48);
}
// n <= 32 and no more than the bits held.
inline void FaxSkip(FaxBitReader& r, int32_t n) {
  r.bits <<= n;
  r.count -= n;
}
inline uint32_t FaxTakeBit(FaxBitReader& r) {
  FaxFill(r);
  uint32_t bit = static_cast<uint32_t>(r.bits >> 63);
  FaxSkip(r, 1);
  return bit;
}
// Moves to the start of the next byte unless already there.
inline void FaxAlignToByte(FaxBitReader& r) { FaxSkip(r, r.count & 7); }

// Runs longer than any line are cut here so that sums stay in range.
constexpr int32_t kFaxRunCap = 1 << 24;

// One white run with its make-up codes: the run, or a negative special
// result (EOL, extension, invalid).  Fill bits read as a run of 0.
inline int32_t FaxWhiteRun(FaxBitReader& r) {
  int32_t total = 0;
  for (;;) {
    FaxFill(r);
    const uint32_t w = FaxPeek16(r);
    const FaxPeekEntry e =
        w >= 512 ? kWhiteCodeTable[w >> 7] : kLongCodeTable[w >> 3];
    FaxSkip(r, e.length);
    if (e.run < 64) return e.run < 0 ? e.run : total + e.run;
    if (total < kFaxRunCap) total += e.run;
  }
}

inline int32_t FaxBlackRun(FaxBitReader& r) {
  int32_t total = 0;
  for (;;) {
    FaxFill(r);
    const uint32_t w = FaxPeek16(r);
    const FaxPeekEntry e =
        w >= 4096 ? kBlackCodeTable[w >> 10] : kLongCodeTable[w >> 3];
    FaxSkip(r, e.length);
    if (e.run < 64) return e.run < 0 ? e.run : total + e.run;
    if (total < kFaxRunCap) total += e.run;
  }
}

// True when the next 12 bits are EOL (not consumed).
inline bool FaxAtEol(FaxBitReader& r) {
  FaxFill(r);
  return (FaxPeek16(r) >> 4) == kEolCode.bits;
}

// ---------------------------------------------------------------------------
// Writer: codes are gathered in a word and stored a byte at a time into a
// buffer whose room the encoder has checked for the whole line.

struct FaxBitWriter {
  uint8_t* out;    // next byte
  uint64_t bits;   // pending bits, first at bit 63
  int32_t count;   // pending bits
};

inline void FaxPut(FaxBitWriter& w, uint32_t code, int32_t length) {
  w.bits |= static_cast<uint64_t>(code) << (64 - w.count - length);
  w.count += length;
  if (w.count >= 32) {
    const uint32_t word = static_cast<uint32_t>(w.bits >> 32);
    w.out[0] = static_cast<uint8_t>(word >> 24);
    w.out[1] = static_cast<uint8_t>(word >> 16);
    w.out[2] = static_cast<uint8_t>(word >> 8);
    w.out[3] = static_cast<uint8_t>(word);
    w.out += 4;
    w.bits <<= 32;
    w.count -= 32;
  }
}
inline void FaxPut(FaxBitWriter& w, FaxOutCode code) {
  FaxPut(w, code.bits, code.length);
}
// Writes out every pending whole byte and the last partial byte, zero
// padded; the writer then stands at a byte boundary.
inline void FaxFlush(FaxBitWriter& w) {
  while (w.count > 0) {
    *w.out++ = static_cast<uint8_t>(w.bits >> 56);
    w.bits <<= 8;
    w.count -= 8;
  }
  w.bits = 0;
  w.count = 0;
}

}  // namespace quillon
