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

void LimitMemory() {
  static bool done = false;
  if (!done) {
    quillon::SetAllocationLimit(uint64_t{256} << 20);
    done = true;
  }
}

}  // namespace fuzz
