#include "imaging/readers/identify_walks.h"

#include "imaging/readers/tiff.h"

namespace quillon {

namespace {

bool AllocatePageTable(ImageFile* file, uint64_t entries) {
  file->pageOffsets = AllocateArray<uint32_t>(entries == 0 ? 1 : entries);
  return file->pageOffsets != nullptr;
}

// Skips GIF data sub-blocks from `at` up to and past the zero-length one.
// Returns false when the chain runs off the end of the file.
bool SkipSubBlocks(const Bytes& view, uint64_t& at) {
  while (at < view.n) {
    uint8_t length = view.U8(at);
    at += 1 + static_cast<uint64_t>(length);
    if (length == 0) return true;
  }
  return false;
}

}  // namespace

// TIFF: the chain of image file directories.
int32_t WalkTiff(ImageFile* file, const Bytes& view) {
  if (!AllocatePageTable(file, kPageTableSize)) return kErrMemory;
  const bool big = TiffBigEndian(view);
  const uint64_t fileSize = view.n;
  int32_t count = 0;
  int32_t result = kOk;
  uint64_t offset = view.U32(4, big);
  while (offset != 0 && offset < fileSize && count < kPageTableSize) {
    // A chain that loops back ends at the first repeated directory.
    bool seen = false;
    for (int32_t k = 0; k < count && !seen; ++k)
      seen = file->pageOffsets[k] == offset;
    if (seen) break;
    file->pageOffsets[count++] = static_cast<uint32_t>(offset);
    uint64_t available = fileSize - offset < 3072 ? fileSize - offset : 3072;
    if (available < 60) break;
    uint32_t n = view.U16(offset, big);
    if (12 * static_cast<uint64_t>(n) + 2 > available || n < 5 || n > 256) {
      result = kErrBadHeader;
      break;
    }
    offset = view.U32(offset + 2 + 12 * static_cast<uint64_t>(n), big);
  }
  file->pageCount = count;
  return result;
}

// GIF: entry 0 = 0, entry k = the first block after frame k - 1's image
// data, one more entry = the file size.
int32_t WalkGif(ImageFile* file, const Bytes& view) {
  if (!AllocatePageTable(file, kPageTableSize)) return kErrMemory;
  uint32_t* table = file->pageOffsets;
  const uint64_t fileSize = view.n;
  int32_t entries = 1;
  table[0] = 0;
  uint64_t at = 13;
  uint8_t flags = view.U8(10);
  if (flags & 0x80) at += 3 * (uint64_t{2} << (flags & 7));
  for (;;) {
    uint8_t c = at < fileSize ? view.U8(at) : 0;
    if (at < fileSize && c == '!') {
      at += 2;  // introducer and label
      if (!SkipSubBlocks(view, at)) {
        // A truncated extension ends the scan like any other damage.
        table[entries - 1] = static_cast<uint32_t>(fileSize);
        file->pageCount = entries - 1;
        return kOk;
      }
      continue;
    }
    if (at < fileSize && c == ',') {
      uint8_t packed = view.U8(at + 9);
      at += 10;
      if (packed & 0x80) at += 3 * (uint64_t{2} << (packed & 7));
      at += 1;  // LZW minimum code size
      bool complete = SkipSubBlocks(view, at);
      // A frame whose data runs off the end still counts: its reader reports
      // the damage when the page is extracted.
      if (complete && at < fileSize && view.U8(at) != ';' &&
          entries < kPageTableSize - 1) {
        table[entries++] = static_cast<uint32_t>(at);
        continue;
      }
      table[entries++] = static_cast<uint32_t>(fileSize);
      file->pageCount = entries - 1;
      return kOk;
    }
    // Anything else: the last recorded start becomes the end entry.
    table[entries - 1] = static_cast<uint32_t>(fileSize);
    file->pageCount = entries - 1;
    return kOk;
  }
}

// IOCA: every Begin Page structured field.
int32_t WalkIoca(ImageFile* file, const Bytes& view) {
  if (!AllocatePageTable(file, kPageTableSize)) return kErrMemory;
  int32_t count = 0;
  uint64_t at = 0;
  while (view.Has(at, 6) && view.U8(at + 2) == 0xD3 && count < kPageTableSize) {
    if (view.U8(at + 3) == 0xA8 && view.U8(at + 4) == 0xAF)
      file->pageOffsets[count++] = static_cast<uint32_t>(at);
    uint32_t length = view.BE16(at);
    if (length == 0) break;  // a zero length would never advance
    at += length;
  }
  file->pageCount = count;
  return kOk;
}

// WinFAX 10: 128-byte page headers chained by the data size at 116..119.
int32_t WalkWinFax10(ImageFile* file, const Bytes& view) {
  int32_t declared = view.U8(101);
  if (!AllocatePageTable(file, static_cast<uint64_t>(declared))) return kErrMemory;
  int32_t count = 0;
  uint64_t at = 0;
  while (count < declared && at < view.n) {
    file->pageOffsets[count++] = static_cast<uint32_t>(at);
    at += 128 + static_cast<uint64_t>(view.LE32(at + 116));
  }
  file->pageCount = count;
  return kOk;
}

}  // namespace quillon
