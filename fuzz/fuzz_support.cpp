#include "fuzz/fuzz_support.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/core/core.h"
#include "imaging/core/runlist.h"

namespace fuzz {

uint32_t Touch(const quillon::PageRecord& page) {
  uint32_t sum = 0;
  if (page.palette)
    for (int i = 0; i < 768; ++i) sum += page.palette[i];
  if (!page.data) return sum;
  if (page.compression == quillon::kRunLists && page.bitsPerPixel == 1) {
    uint8_t** lines = quillon::LinePointers(page);
    for (int32_t y = 0; y < page.height; ++y) {
      const uint8_t* p = lines[y];
      for (;;) {
        uint32_t white = quillon::GetRun(p);
        uint32_t black = quillon::GetRun(p);
        sum += white + black;
        if (black == 0) break;
      }
    }
    return sum;
  }
  // Striped pages hold their bytes in the strips (JPEG pages keep their
  // shared tables at data + dataOffset); others in one block.
  const bool striped = page.stripCount >= 1 && page.stripOffsets && page.stripByteCounts;
  for (int32_t s = 0; striped && s < page.stripCount; ++s)
    for (uint32_t i = 0; i < page.stripByteCounts[s]; ++i) sum += page.data[page.stripOffsets[s] + i];
  if (striped && page.compression != quillon::kJpeg) return sum;
  const uint8_t* p = page.data + page.dataOffset;
  for (uint32_t i = 0; i < page.dataSize; ++i) sum += p[i];
  return sum;
}

void Wrap(quillon::PageRecord* page, const uint8_t* bytes, size_t size) {
  page->data = static_cast<uint8_t*>(quillon::Allocate(size + 1));
  if (page->data && size) std::memcpy(page->data, bytes, size);
  page->dataSize = static_cast<uint32_t>(size);
  page->dataOffset = 0;
  page->dataOwnership = quillon::kOwnedByPage;
}

void SplitIntoStrips(quillon::PageRecord* page, int strips) {
  page->rowsPerStrip = page->height;
  if (strips < 2) return;
  page->stripCount = strips;
  page->stripOffsets = quillon::AllocateArray<uint32_t>(strips);
  page->stripByteCounts = quillon::AllocateArray<uint32_t>(strips);
  if (!page->stripOffsets || !page->stripByteCounts) {
    page->stripCount = 0;
    return;
  }
  page->rowsPerStrip = (page->height + strips - 1) / strips;
  const uint32_t piece = page->dataSize / static_cast<uint32_t>(strips);
  for (int s = 0; s < strips; ++s) {
    page->stripOffsets[s] = piece * static_cast<uint32_t>(s);
    page->stripByteCounts[s] = s == strips - 1 ? page->dataSize - piece * static_cast<uint32_t>(s) : piece;
  }
}

void LimitMemory() {
  static bool done = false;
  if (!done) {
    quillon::SetAllocationLimit(uint64_t{256} << 20);
    done = true;
  }
}

void CheckDecodePaths(quillon::PageRecord* source, const quillon::PageRecord& decoded, int32_t flags) {
  using namespace quillon;
  const bool bilevel = decoded.bitsPerPixel == 1;
  // The display form again, into a buffer of stale bytes.
  PageRecord again{};
  again.compression = kUncompressed;
  std::vector<uint8_t> stale;
  if (!bilevel) {
    stale.assign(decoded.dataSize, 0xA5);
    again.data = stale.data();
    again.dataSize = decoded.dataSize;
    if (ConvertPage(source, &again, flags | kFlagIntoDestination) != kOk) std::abort();
    if (again.dataSize != decoded.dataSize ||
        std::memcmp(again.data + again.dataOffset, decoded.data + decoded.dataOffset, decoded.dataSize) != 0)
      std::abort();
    if (again.data != stale.data()) FreePage(&again);
    Release(again.palette);
    return;
  }
  // Bilevel: a bitmap, fresh and into stale bytes, against the runs painted.
  const uint32_t rowBytes = RowBytes(decoded.width, 1), stride = BytesPerLine(decoded.width, 1);
  std::vector<uint8_t> painted(rowBytes + 1);
  for (int into = 0; into < 2; ++into) {
    PageRecord bitmap{};
    bitmap.compression = kUncompressed;
    if (into) {
      stale.assign(static_cast<size_t>(stride) * static_cast<uint32_t>(decoded.height), 0xA5);
      bitmap.data = stale.data();
      bitmap.dataSize = static_cast<uint32_t>(stale.size());
    }
    if (ConvertPage(source, &bitmap, flags | (into ? kFlagIntoDestination : 0)) != kOk) std::abort();
    // Run lists come inverted where the page needs it (and say photometric
    // 0), but for the empty lines of rows the data did not finish; the
    // bitmap keeps the bits and says photometric 1.
    if (bitmap.bytesPerLine != stride || decoded.photometric != 0) std::abort();
    uint8_t** lines = LinePointers(decoded);
    for (int32_t y = 0; y < decoded.height; ++y) {
      const uint8_t* row = bitmap.data + static_cast<uint64_t>(y) * stride;
      const uint8_t flip = bitmap.photometric == 1 && RunLineLength(lines[y]) != 0 ? 0xFF : 0;
      RunsToRow(lines[y], decoded.width, painted.data());
      for (uint32_t i = 0; i < rowBytes; ++i) {
        uint8_t mask = 0xFF;
        if (i + 1 == rowBytes && decoded.width % 8) mask = static_cast<uint8_t>(0xFF << (8 - decoded.width % 8));
        if (((row[i] ^ flip ^ painted[i]) & mask) != 0 || (row[i] | mask) != 0xFF) std::abort();
      }
      for (uint32_t i = rowBytes; i < stride; ++i)
        if (row[i] != 0) std::abort();
    }
    if (bitmap.data != stale.data()) FreePage(&bitmap);
  }
}

}  // namespace fuzz
