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
constexpr uint32_t kFastDcBits = 12;
static_assert(kFastDcBits == kDcLongBits);

void FreeLookup(JpegHuffmanLookup* lookup) {
  if (lookup->owned) {
    Release(lookup->shortTable);
    Release(lookup->fastAc);
    Release(lookup->skipAc);
    Release(lookup->fastDc);
  } else if (lookup->users) {
    --*lookup->users;
  }
  *lookup = JpegHuffmanLookup{};
}

// Sign extension of T.81 F.2.2.1 for `size` bits read as `bits`.
int32_t Extend(uint32_t bits, uint32_t size) {
  return bits < (1u << (size - 1)) ? static_cast<int32_t>(bits) - (1 << size) + 1
                                   : static_cast<int32_t>(bits);
}

// Builds the code lookups of one table into an empty `lookup`; the AC
// extras come later, as a scan needs them.  A table whose counts overflow
// the code space keeps empty lookups, so that every code read through it
// fails.
int32_t BuildCodes(JpegHuffmanLookup* lookup, bool ac, const int32_t* counts, const int32_t* symbols) {
  const uint32_t shortBits = ac ? kAcShortBits : kDcShortBits;
  const uint32_t longBits = ac ? kAcLongBits : kDcLongBits;
  const uint64_t shortSize = uint64_t{1} << shortBits, longSize = uint64_t{1} << longBits;
  const uint64_t entries = shortSize + longSize;
  // Not cleared: the long table is read only under the short table's empty
  // entries, and those parts are cleared once the short codes are in.
  auto* block = static_cast<uint16_t*>(AllocateUncleared(entries * sizeof(uint16_t)));
  if (!block) return kErrMemory;
  lookup->shortTable = block;
  lookup->longTable = block + shortSize;
  lookup->owned = 1;
  for (int32_t& m : lookup->maxCode) m = -1;
  std::memset(block, 0, shortSize * sizeof(uint16_t));

  int32_t total = 0;
  for (int i = 0; i < 16; ++i) total += counts[i];
  if (total > 256) {
    std::memset(block, 0, entries * sizeof(uint16_t));
    return kOk;
  }
  for (int i = 0; i < total; ++i) lookup->values[i] = static_cast<uint8_t>(symbols[i]);

  // Canonical assignment: consecutive codes within a length, shifted left
  // by one at each longer length.
  uint32_t code = 0;
  int32_t k = 0;
  bool valid = true;
  for (uint32_t length = 1; length <= 16; ++length) {
    if (length == shortBits + 1) {
      // Canonical codes grow with their length: the short ones are all in.
      const uint32_t span = 1u << (longBits - shortBits);
      for (uint32_t top = 0; top < shortSize; ++top)
        if (!lookup->shortTable[top]) std::memset(lookup->longTable + top * span, 0, span * sizeof(uint16_t));
    }
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
    for (int32_t& m : lookup->maxCode) m = -1;
  }
  return kOk;
}

// The code at the top of `bits` (`count` of them) when it is whole:
// (length << 8 | symbol), else 0.
uint32_t CodeAtTop(const JpegHuffmanLookup& lookup, uint32_t bits, uint32_t count) {
  uint32_t entry = lookup.shortTable[bits >> (count - kAcShortBits)];
  if (!entry) entry = lookup.longTable[(bits << (kAcLongBits - count)) & 0xFFFF];
  return entry != 0 && (entry >> 8) <= count ? entry : 0;
}

// Whole coefficients: a code and its value bits within the first
// kFastAcBits bits, the value small enough to sit above run and length.
int32_t BuildFastAc(JpegHuffmanLookup* lookup) {
  constexpr uint32_t size = 1u << kFastAcBits;
  auto* fast = static_cast<int16_t*>(AllocateUncleared(size * sizeof(int16_t)));
  if (!fast) return kErrMemory;
  for (uint32_t i = 0; i < size; ++i) {
    fast[i] = 0;
    const uint32_t entry = CodeAtTop(*lookup, i, kFastAcBits);
    if (!entry) continue;
    const uint32_t length = entry >> 8, symbol = entry & 255;
    const uint32_t run = symbol >> 4, bitCount = symbol & 15;
    if (symbol == 0) {
      fast[i] = static_cast<int16_t>(length);  // end of block: no value, no run
      continue;
    }
    if (bitCount == 0 || length + bitCount > kFastAcBits) continue;
    const uint32_t bits = (i >> (kFastAcBits - length - bitCount)) & ((1u << bitCount) - 1);
    const int32_t value = Extend(bits, bitCount);
    if (value < -128 || value > 127) continue;
    fast[i] = static_cast<int16_t>(value * 256 + static_cast<int32_t>(run * 16 + length + bitCount));
  }
  lookup->fastAc = fast;
  return kOk;
}

// Whole DC differences: a code and its value bits within the first
// kFastDcBits bits, as value << 4 | total length.
int32_t BuildFastDc(JpegHuffmanLookup* lookup) {
  constexpr uint32_t size = 1u << kFastDcBits;
  auto* fast = static_cast<int16_t*>(AllocateUncleared(size * sizeof(int16_t)));
  if (!fast) return kErrMemory;
  for (uint32_t i = 0; i < size; ++i) {
    fast[i] = 0;
    uint32_t entry = lookup->shortTable[i >> (kFastDcBits - kDcShortBits)];
    if (!entry) entry = lookup->longTable[i];  // kFastDcBits == kDcLongBits
    const uint32_t length = entry >> 8, bitCount = entry & 255;
    if (!entry || length + bitCount > kFastDcBits) continue;
    const int32_t value =
        bitCount ? Extend((i >> (kFastDcBits - length - bitCount)) & ((1u << bitCount) - 1), bitCount) : 0;
    fast[i] = static_cast<int16_t>(value * 16 + static_cast<int32_t>(length + bitCount));
  }
  lookup->fastDc = fast;
  return kOk;
}

// Up to kSkipAcSymbols coefficients (code and value bits) read past from
// kSkipAcBits bits: bits used | coefficients advanced << 5 | end of block
// << 12.  First, for every kSkipAcBits-bit pattern, the one coefficient at
// its top (bits | advance << 5 | end << 12, its code's length << 16, or 0
// when it is not whole), filled code by code; the entry of a pattern then
// chains the coefficients found at the top of what each leaves, the bits
// past the pattern read as zeros, which no whole coefficient depends on.
// Patterns that differ only in the first coefficient's value bits read the
// same after it: their entries are computed once and copied.
int32_t BuildSkipAc(JpegHuffmanLookup* lookup) {
  constexpr uint32_t size = 1u << kSkipAcBits;
  auto* skip = static_cast<uint16_t*>(AllocateUncleared(size * sizeof(uint16_t)));
  auto* first = static_cast<uint32_t*>(AllocateUncleared(size * sizeof(uint32_t)));
  if (!skip || !first) {
    Release(skip);
    Release(first);
    return kErrMemory;
  }
  // Codes come in aligned ranges of patterns, in order.
  for (uint32_t i = 0; i < size;) {
    const uint32_t entry = CodeAtTop(*lookup, i, kSkipAcBits);
    const uint32_t length = entry >> 8, run = (entry >> 4) & 15, bitCount = entry & 15;
    uint32_t one = 0;
    if (entry && length + bitCount <= kSkipAcBits) {
      const uint32_t advance = bitCount ? run + 1 : run == 15 ? 16 : 0;
      one = (length + bitCount) | advance << 5 | (bitCount == 0 && run != 15) << 12 | length << 16;
    }
    const uint32_t span = entry ? 1u << (kSkipAcBits - length) : 1;
    for (uint32_t k = 0; k < span; ++k) first[i + k] = one;
    i += span;
  }
  for (uint32_t i = 0; i < size;) {
    const uint32_t head = first[i];
    const uint32_t period = head ? 1u << (kSkipAcBits - (head & 31)) : 1;
    for (uint32_t j = i; j < i + period; ++j) {
      uint32_t used = 0, advance = 0, end = 0;
      for (int symbolCount = 0; symbolCount < kSkipAcSymbols && !end; ++symbolCount) {
        const uint32_t one = first[(j << used) & (size - 1)];
        const uint32_t bits = one & 31;
        if (!one || bits > kSkipAcBits - used) break;
        used += bits;
        advance += (one >> 5) & 127;
        end = (one >> 12) & 1;
      }
      skip[j] = static_cast<uint16_t>(used ? used | advance << 5 | end << 12 : 0);
    }
    // The same entries again for every other value of the first
    // coefficient's value bits.
    const uint32_t repeats = head ? 1u << ((head & 31) - (head >> 16)) : 1;
    for (uint32_t r = 1; r < repeats; ++r)
      std::memcpy(skip + i + r * period, skip + i, period * sizeof(uint16_t));
    i += period * repeats;
  }
  Release(first);
  lookup->skipAc = skip;
  return kOk;
}

// Lookups built once per table definition on each thread: a decode that
// meets a table the thread has built before borrows its lookups, counted
// in `users` while it holds them.  Decodes release their states on the
// thread that made them.
struct CachedTable {
  uint8_t ac;
  int32_t counts[16];
  int32_t symbols[256];
  JpegHuffmanLookup lookup;  // owned by the cache
  uint32_t users;
};

struct LookupCache {
  CachedTable tables[4];
  uint32_t next;  // where a new table goes when it is free
  ~LookupCache() {
    for (CachedTable& t : tables) FreeLookup(&t.lookup);
  }
};

thread_local LookupCache gLookupCache;

bool SameTable(const CachedTable& t, bool ac, const int32_t* counts, const int32_t* symbols) {
  if (!t.lookup.shortTable || t.ac != ac || std::memcmp(t.counts, counts, sizeof t.counts) != 0) return false;
  int32_t total = 0;
  for (int i = 0; i < 16; ++i) total += counts[i];
  // Past 256 codes the lookups are empty, whatever the symbols.
  return total > 256 || std::memcmp(t.symbols, symbols, sizeof(int32_t) * static_cast<uint32_t>(total)) == 0;
}

// The thread's entry for a table, built when it is new; null when every
// entry is in use.
int32_t CachedEntry(bool ac, const int32_t* counts, const int32_t* symbols, CachedTable** entry) {
  LookupCache& cache = gLookupCache;
  *entry = nullptr;
  for (CachedTable& t : cache.tables) {
    if (SameTable(t, ac, counts, symbols)) {
      *entry = &t;
      return kOk;
    }
  }
  for (uint32_t n = 0; n < 4; ++n) {
    const uint32_t k = (cache.next + n) % 4;
    CachedTable& t = cache.tables[k];
    if (t.users) continue;
    FreeLookup(&t.lookup);
    t.ac = ac;
    std::memcpy(t.counts, counts, sizeof t.counts);
    std::memcpy(t.symbols, symbols, sizeof t.symbols);
    if (int32_t result = BuildCodes(&t.lookup, ac, counts, symbols); result != kOk) {
      FreeLookup(&t.lookup);
      return result;
    }
    cache.next = (k + 1) % 4;
    *entry = &t;
    return kOk;
  }
  return kOk;
}

CachedTable* EntryOf(const JpegHuffmanLookup& lookup) {
  for (CachedTable& t : gLookupCache.tables)
    if (lookup.users == &t.users) return &t;
  return nullptr;
}

// The lookups of one slot: the thread's (when `cached`) or the state's own.
int32_t BuildSlot(JpegDecoderState* state, int slot, bool cached) {
  JpegHuffmanLookup* lookup = &state->lookups[slot];
  FreeLookup(lookup);
  const bool ac = slot >= 4;
  const int32_t* counts = state->huffmanCounts[slot];
  const int32_t* symbols = state->huffmanSymbols[slot];
  if (cached) {
    CachedTable* entry;
    if (int32_t result = CachedEntry(ac, counts, symbols, &entry); result != kOk) return result;
    if (entry) {
      *lookup = entry->lookup;
      lookup->owned = 0;
      lookup->users = &entry->users;
      ++entry->users;
      return kOk;
    }
  }
  return BuildCodes(lookup, ac, counts, symbols);
}

}  // namespace

int32_t BuildHuffmanLookup(JpegDecoderState* state, uint32_t acExtras) {
  for (int slot = 0; slot < 8; ++slot) {
    if (!state->huffmanPresent[slot]) continue;
    JpegHuffmanLookup& lookup = state->lookups[slot];
    const bool fast = slot >= 4 && (acExtras & kJpegFastAc) && !lookup.fastAc;
    const bool skip = (acExtras & kJpegSkipAc) && (slot >= 4 ? !lookup.skipAc : !lookup.fastDc);
    // A lookup borrowed from a clip's tables is built again, whole, when
    // it lacks an extra.
    if (state->huffmanDirty[slot] || !lookup.shortTable || ((fast || skip) && !lookup.owned && !lookup.users)) {
      if (int32_t result = BuildSlot(state, slot, (acExtras & kJpegCachedLookups) != 0); result != kOk)
        return result;
      state->huffmanDirty[slot] = 0;
    }
    // The extras of a cached table go into the cache, for its next users.
    CachedTable* entry = lookup.users ? EntryOf(lookup) : nullptr;
    JpegHuffmanLookup* target = entry ? &entry->lookup : &lookup;
    if (slot >= 4 && (acExtras & kJpegFastAc) && !target->fastAc) {
      if (int32_t result = BuildFastAc(target); result != kOk) return result;
    }
    if (slot >= 4 && (acExtras & kJpegSkipAc) && !target->skipAc) {
      if (int32_t result = BuildSkipAc(target); result != kOk) return result;
    }
    if (slot < 4 && (acExtras & kJpegSkipAc) && !target->fastDc) {
      if (int32_t result = BuildFastDc(target); result != kOk) return result;
    }
    if (entry) {
      lookup.fastAc = entry->lookup.fastAc;
      lookup.skipAc = entry->lookup.skipAc;
      lookup.fastDc = entry->lookup.fastDc;
    }
  }
  return kOk;
}

void FreeHuffmanLookup(JpegDecoderState* state) {
  for (JpegHuffmanLookup& lookup : state->lookups) FreeLookup(&lookup);
  state->currentDc = state->currentAc = nullptr;
}

}  // namespace quillon
