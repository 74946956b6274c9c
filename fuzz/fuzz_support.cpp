#include "fuzz/fuzz_support.h"

#include <cstring>

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

}  // namespace fuzz
