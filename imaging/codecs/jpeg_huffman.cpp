// Huffman lookups: canonical codes (T.81 Annex C) turned into direct tables
// indexed by the next bits of the stream.
#include <cstring>

#include "imaging/codecs/jpeg.h"

namespace quillon {

namespace {

constexpr uint32_t kDcShortBits = 6, kDcLongBits = 12;
constexpr uint32_t kAcShortBits = 8, kAcLongBits = 16;
constexpr uint32_t kFastAcBits = 12;
constexpr uint32_t kSkipAcBits = 14;
constexpr int kSkipAcSymbols = 3;

void FreeLookup(JpegHuffmanLookup* lookup) {
  if (lookup->owned) {
    Release(lookup->shortTable);
    Release(lookup->skipAc);
  }
  *lookup = JpegHuffmanLookup{};
}

// Sign extension of T.81 F.2.2.1 for `size` bits read as `bits`.
int32_t Extend(uint32_t bits, uint32_t size) {
  return bits < (1u << (size - 1)) ? static_cast<int32_t>(bits) - (1 << size) + 1
                                   : static_cast<int32_t>(bits);
}

// The code at the top of the `available` low bits of `bits`: (length << 8
// | symbol), or 0 when no whole code lies there.
uint32_t CodeAt(const JpegHuffmanLookup& lookup, uint32_t bits, uint32_t available) {
  if (available == 0) return 0;
  const uint32_t top16 = (bits << (16 - available)) & 0xFFFF;
  uint32_t entry = lookup.shortTable[top16 >> 8];
  if (entry == 0) entry = lookup.longTable[top16];
  return entry != 0 && (entry >> 8) <= available ? entry : 0;
}

// Up to kSkipAcSymbols coefficients (code and value bits) read past from
// kSkipAcBits bits: bits used | coefficients advanced << 5 | end of block
// << 11.
uint16_t SkipEntry(const JpegHuffmanLookup& lookup, uint32_t bits) {
  uint32_t used = 0, advance = 0, end = 0;
  for (int symbolCount = 0; symbolCount < kSkipAcSymbols && !end; ++symbolCount) {
    const uint32_t available = kSkipAcBits - used;
    const uint32_t entry = CodeAt(lookup, bits & ((1u << available) - 1), available);
    if (!entry) break;
    const uint32_t length = entry >> 8, run = (entry >> 4) & 15, size = entry & 15;
    if (length + size > available) break;
    used += length + size;
    if (size) advance += run + 1;
    else if (run == 15) advance += 16;
    else end = 1;
  }
  return static_cast<uint16_t>(used ? used | advance << 5 | end << 12 : 0);
}

// Builds one slot.  A table whose counts overflow the code space keeps
// empty lookups, so that every code read through it fails.
int32_t BuildSlot(JpegDecoderState* state, int slot) {
  JpegHuffmanLookup* lookup = &state->lookups[slot];
  FreeLookup(lookup);
  const bool ac = slot >= 4;
  const uint32_t shortBits = ac ? kAcShortBits : kDcShortBits;
  const uint32_t longBits = ac ? kAcLongBits : kDcLongBits;
  const uint64_t shortSize = uint64_t{1} << shortBits, longSize = uint64_t{1} << longBits;
  const uint64_t fastSize = ac ? uint64_t{1} << kFastAcBits : 0;
  const uint64_t skipSize = ac ? uint64_t{1} << kSkipAcBits : 0;
  const uint64_t entries = shortSize + longSize + fastSize;
  // The skip table apart: no single block grows past what a decode under
  // a tight memory cap could allocate before it was added.
  auto* block = static_cast<uint16_t*>(Allocate(entries * sizeof(uint16_t)));
  auto* skip = ac ? static_cast<uint16_t*>(Allocate(skipSize * sizeof(uint16_t))) : nullptr;
  if (!block || (ac && !skip)) {
    Release(block);
    Release(skip);
    return kErrMemory;
  }
  lookup->shortTable = block;
  lookup->longTable = block + shortSize;
  lookup->fastAc = ac ? reinterpret_cast<int16_t*>(block + shortSize + longSize) : nullptr;
  lookup->skipAc = skip;
  lookup->owned = 1;
  for (int32_t& m : lookup->maxCode) m = -1;

  const int32_t* counts = state->huffmanCounts[slot];
  const int32_t* symbols = state->huffmanSymbols[slot];
  int32_t total = 0;
  for (int i = 0; i < 16; ++i) total += counts[i];
  if (total > 256) return kOk;
  for (int i = 0; i < total; ++i) lookup->values[i] = static_cast<uint8_t>(symbols[i]);

  // Canonical assignment: consecutive codes within a length, shifted left
  // by one at each longer length.
  uint32_t code = 0;
  int32_t k = 0;
  bool valid = true;
  for (uint32_t length = 1; length <= 16; ++length) {
    lookup->valueOffset[length] = k - static_cast<int32_t>(code);
    for (int32_t i = 0; i < counts[length - 1]; ++i, ++k, ++code) {
      // More codes of a length than it has room for: no table at all, and
      // nothing written past the lookups.
      if (code >= (1u << length)) {
        valid = false;
        break;
      }
      const uint32_t symbol = symbols[k] & 255;
      const uint16_t entry = static_cast<uint16_t>(length << 8 | symbol);
      if (length <= shortBits) {
        const uint32_t first = code << (shortBits - length);
        for (uint32_t j = 0; j < (1u << (shortBits - length)); ++j)
          lookup->shortTable[first + j] = entry;
      } else if (length <= longBits) {
        const uint32_t first = code << (longBits - length);
        for (uint32_t j = 0; j < (1u << (longBits - length)); ++j)
          lookup->longTable[first + j] = entry;
      }
    }
    if (!valid) break;
    lookup->maxCode[length] = counts[length - 1] ? static_cast<int32_t>(code) - 1 : -1;
    code <<= 1;
  }
  if (!valid) {
    std::memset(block, 0, entries * sizeof(uint16_t));
    if (skip) std::memset(skip, 0, skipSize * sizeof(uint16_t));
    for (int32_t& m : lookup->maxCode) m = -1;
    return kOk;
  }

  // Whole coefficients: a code and its value bits within the first
  // kFastAcBits bits, the value small enough to sit above run and length.
  for (uint32_t i = 0; ac && i < fastSize; ++i) {
    uint16_t entry = lookup->shortTable[i >> (kFastAcBits - kAcShortBits)];
    if (!entry) entry = lookup->longTable[i << (kAcLongBits - kFastAcBits)];
    if (!entry) continue;
    const uint32_t length = entry >> 8, symbol = entry & 255;
    const uint32_t run = symbol >> 4, size = symbol & 15;
    if (symbol == 0 && length <= kFastAcBits) {
      lookup->fastAc[i] = static_cast<int16_t>(length);  // end of block: no value, no run
      continue;
    }
    if (size == 0 || length + size > kFastAcBits) continue;
    const uint32_t bits = (i >> (kFastAcBits - length - size)) & ((1u << size) - 1);
    const int32_t value = Extend(bits, size);
    if (value < -128 || value > 127) continue;
    lookup->fastAc[i] =
        static_cast<int16_t>(value * 256 + static_cast<int32_t>(run * 16 + length + size));
  }
  for (uint32_t i = 0; ac && i < skipSize; ++i) lookup->skipAc[i] = SkipEntry(*lookup, i);
  return kOk;
}

}  // namespace

int32_t BuildHuffmanLookup(JpegDecoderState* state) {
  for (int slot = 0; slot < 8; ++slot) {
    if (!state->huffmanPresent[slot]) continue;
    if (!state->huffmanDirty[slot] && state->lookups[slot].shortTable) continue;
    int32_t result = BuildSlot(state, slot);
    if (result != kOk) return result;
    state->huffmanDirty[slot] = 0;
  }
  return kOk;
}

void FreeHuffmanLookup(JpegDecoderState* state) {
  for (JpegHuffmanLookup& lookup : state->lookups) FreeLookup(&lookup);
  state->currentDc = state->currentAc = nullptr;
}

}  // namespace quillon
