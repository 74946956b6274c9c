// Bounded reads of file data.  Every header field is untrusted: reads past
// the end of the bytes give 0, and Has() tells a reader whether a field lies
// inside before it relies on it.
#pragma once

#include <cstdint>
#include <cstring>

namespace quillon {

struct Bytes {
  const uint8_t* p = nullptr;
  uint64_t n = 0;

  constexpr bool Has(uint64_t offset, uint64_t length) const {
    return offset <= n && length <= n - offset;
  }
  constexpr uint8_t U8(uint64_t i) const { return i < n ? p[i] : 0; }
  constexpr uint32_t LE16(uint64_t i) const {
    return U8(i) | (static_cast<uint32_t>(U8(i + 1)) << 8);
  }
  constexpr uint32_t BE16(uint64_t i) const {
    return (static_cast<uint32_t>(U8(i)) << 8) | U8(i + 1);
  }
  constexpr uint32_t LE32(uint64_t i) const {
    return LE16(i) | (LE16(i + 2) << 16);
  }
  constexpr uint32_t BE32(uint64_t i) const {
    return (BE16(i) << 16) | BE16(i + 2);
  }
  // Byte order chosen at run time (TIFF "MM" = big-endian).
  constexpr uint32_t U16(uint64_t i, bool bigEndian) const {
    return bigEndian ? BE16(i) : LE16(i);
  }
  constexpr uint32_t U32(uint64_t i, bool bigEndian) const {
    return bigEndian ? BE32(i) : LE32(i);
  }
  // True when the bytes at `i` equal `text` (length `len`).
  bool Equals(uint64_t i, const char* text, uint64_t len) const {
    return Has(i, len) && std::memcmp(p + i, text, len) == 0;
  }
  // First occurrence of `text` at or after `from`, before `limit`; -1 if none.
  int64_t Find(const char* text, uint64_t len, uint64_t from,
               uint64_t limit) const {
    if (limit > n) limit = n;
    if (len == 0 || limit < len) return -1;
    for (uint64_t i = from; i + len <= limit; ++i)
      if (p[i] == static_cast<uint8_t>(text[0]) &&
          std::memcmp(p + i, text, len) == 0)
        return static_cast<int64_t>(i);
    return -1;
  }
  Bytes From(uint64_t offset) const {
    if (offset >= n) return Bytes{p + n, 0};
    return Bytes{p + offset, n - offset};
  }
};

inline void PutLE16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
  PutLE16(p, v);
  PutLE16(p + 2, v >> 16);
}
inline void PutBE16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void PutBE32(uint8_t* p, uint32_t v) {
  PutBE16(p, v >> 16);
  PutBE16(p + 2, v);
}

// The unsigned decimal number of consecutive digits at `position` (stopping
// at the first non-digit or at `limit`); `position` moves one past the
// stopping character.  Saturates instead of overflowing.
uint32_t ReadDecimal(const uint8_t* buffer, uint32_t* position,
                     uint32_t limit);

}  // namespace quillon
