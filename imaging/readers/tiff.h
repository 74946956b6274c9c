// TIFF directory entries: the byte-order helpers shared by the directory
// walk, the page reader and the Exif reader of the JPEG decoder.
#pragma once

#include <cstdint>

#include "imaging/core/bytes.h"
#include "imaging/core/tiff_tags.h"

namespace quillon {

// One 12-byte directory entry: tag 0..1, type 2..3, count 4..7, value 8..11.
struct TiffEntry {
  uint32_t tag;
  uint32_t type;
  uint32_t count;  // the whole 32-bit field, in the file's byte order
  uint32_t value;  // the entry's value by the rule below
  uint64_t dataAt;  // where the entry's data lies: inline or at its offset
};

// Size in bytes of one value of a field type (0 for unknown types).
uint32_t TiffTypeSize(uint32_t type);

// Reads the entry at `offset`.  value: a count of 2 or more gives the 32-bit
// value field (an offset); otherwise SHORT gives the 16-bit value, ASCII,
// LONG and RATIONAL the 32-bit value, BYTE the first byte, other types 0.
TiffEntry ReadTiffEntry(const Bytes& file, uint64_t offset, bool bigEndian);

// The k-th value of an entry's SHORT or LONG array (other types read as
// LONG), bounded by the file.
uint32_t TiffArrayValue(const Bytes& file, const TiffEntry& entry, uint32_t k,
                        bool bigEndian);

inline bool TiffBigEndian(const Bytes& file) { return file.U8(0) == 'M'; }

}  // namespace quillon
