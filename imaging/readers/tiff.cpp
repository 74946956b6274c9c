#include "imaging/readers/tiff.h"

namespace quillon {

uint32_t TiffTypeSize(uint32_t type) {
  switch (type) {
    case kTiffByte:
    case kTiffAscii:
    case kTiffSByte:
    case kTiffUndefined:
      return 1;
    case kTiffShort:
    case kTiffSShort:
      return 2;
    case kTiffLong:
    case kTiffSLong:
      return 4;
    case kTiffRational:
      return 8;
    default:
      return 0;
  }
}

TiffEntry ReadTiffEntry(const Bytes& file, uint64_t offset, bool bigEndian) {
  TiffEntry e{};
  e.tag = file.U16(offset, bigEndian);
  e.type = file.U16(offset + 2, bigEndian);
  e.count = file.U32(offset + 4, bigEndian);
  uint32_t field = file.U32(offset + 8, bigEndian);
  if (e.count >= 2) {
    e.value = field;
  } else {
    switch (e.type) {
      case kTiffShort:
      case kTiffSShort:
        e.value = file.U16(offset + 8, bigEndian);
        break;
      case kTiffAscii:
      case kTiffLong:
      case kTiffSLong:
      case kTiffRational:
        e.value = field;
        break;
      case kTiffByte:
      case kTiffUndefined:
        e.value = file.U8(offset + 8);
        break;
      default:
        e.value = 0;
        break;
    }
  }
  uint64_t bytes = static_cast<uint64_t>(e.count) * TiffTypeSize(e.type);
  e.dataAt = bytes <= 4 ? offset + 8 : field;
  return e;
}

uint32_t TiffArrayValue(const Bytes& file, const TiffEntry& entry, uint32_t k,
                        bool bigEndian) {
  if (entry.type == kTiffShort || entry.type == kTiffSShort)
    return file.U16(entry.dataAt + 2 * static_cast<uint64_t>(k), bigEndian);
  return file.U32(entry.dataAt + 4 * static_cast<uint64_t>(k), bigEndian);
}

}  // namespace quillon
