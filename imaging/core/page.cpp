// Line sizes, memory, page and file release, and the code tables' texts.
#include "imaging/core/page.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>

namespace quillon {

namespace {

constexpr const char* kCompressionNames[] = {
    "Uncompressed",  // 0
    "G3 1-D",        // 1
    "G3 2-D",        // 2
    "G4",            // 3
    "IBM MMR",       // 4
    "PCX (RLE)",     // 5
    "Packbits",      // 6
    "Huffman",       // 7
    "LZW",           // 8
    "LZW",           // 9
    "JPEG",          // 10
    "Run-Length",    // 11
    "HP PCL",        // 12
    "Run-Length",    // 13
    "Flick",         // 14
    "Flate",         // 15
    "Motion-JPEG",   // 16
};
static_assert(std::size(kCompressionNames) == kCompressionCodeCount);

constexpr const char* kFileTypeNames[] = {
    "Windows BMP",        // 0
    "OS/2 BMP",           // 1
    "Windows 2bp",        // 2
    "PCX",                // 3
    "DCX",                // 4
    "TIFF",               // 5
    "JFIF",               // 6
    "IOCA",               // 7
    "Microsoft AWD",      // 8
    "Targa",              // 9
    "PDF",                // 10
    "GIF",                // 11
    "PNG",                // 12
    "PSEG",               // 13
    "WinFAX",             // 14
    "BitFAX",             // 15
    "CALS",               // 16
    "Quicklinks II FAX",  // 17
    "Pocket Powerpoint",  // 18
    "FLI/FLC Animation",  // 19
    "AVI",                // 20
    "QuickTime",          // 21
    "WinFAX 10",          // 22
};
static_assert(std::size(kFileTypeNames) == kFileTypeCodeCount);

struct ErrorText {
  int32_t code;
  const char* text;
};
constexpr ErrorText kErrorTexts[] = {
#define QUILLON_ERROR_TEXT(name, value, text) {value, text},
    QUILLON_IMAGING_ERRORS(QUILLON_ERROR_TEXT)
#undef QUILLON_ERROR_TEXT
};
static_assert(std::size(kErrorTexts) == kImagingErrorCount);

std::atomic<uint64_t> gAllocationLimit{uint64_t{1} << 30};

}  // namespace

const char* ErrorMessage(int32_t code) {
  for (const ErrorText& e : kErrorTexts)
    if (e.code == code) return e.text;
  return nullptr;
}

const char* CompressionName(int code) {
  if (code < 0 || code >= kCompressionCodeCount) return "";
  return kCompressionNames[code];
}

const char* FileTypeName(int code) {
  if (code < 0 || code >= kFileTypeCodeCount) return "";
  return kFileTypeNames[code];
}

uint32_t BytesPerLine(int32_t width, int bitsPerPixel) {
  if (width < 0) return 0;
  uint64_t w = static_cast<uint32_t>(width);
  uint64_t n;
  switch (bitsPerPixel) {
    case 1: n = ((w + 31) / 8) & ~uint64_t{3}; break;
    case 2: n = ((w + 3) / 4 + 3) & ~uint64_t{3}; break;
    case 4: n = ((w + 1) / 2 + 3) & ~uint64_t{3}; break;
    case 8: n = (w + 3) & ~uint64_t{3}; break;
    case 16: n = (2 * w + 3) & ~uint64_t{3}; break;
    case 24: n = (3 * (w + 1)) & ~uint64_t{3}; break;
    default: return 0;
  }
  // A length the page record's 32-bit fields cannot carry is no length.
  return n > UINT32_MAX ? 0 : static_cast<uint32_t>(n);
}

uint32_t RowBytes(int32_t width, int bitsPerPixel) {
  if (width < 0) return 0;
  uint64_t w = static_cast<uint32_t>(width);
  uint64_t n;
  switch (bitsPerPixel) {
    case 1: n = (w + 7) / 8; break;
    case 2: n = (w + 3) / 4; break;
    case 4: n = (w + 1) / 2; break;
    case 8: n = w; break;
    case 16: n = 2 * w; break;
    case 24: n = 3 * w; break;
    default: return 0;
  }
  return n > UINT32_MAX ? 0 : static_cast<uint32_t>(n);
}

void SetAllocationLimit(uint64_t bytes) { gAllocationLimit = bytes; }
uint64_t AllocationLimit() { return gAllocationLimit; }

// Zero-filled memory from the heap: blocks freed by one decode are handed
// to the next, which costs a clearing pass instead of fresh pages faulted in.
void* Allocate(uint64_t size) {
  if (size > gAllocationLimit) return nullptr;
  return std::calloc(1, size ? size : 1);
}

void* AllocateUncleared(uint64_t size) {
  if (size > gAllocationLimit) return nullptr;
  return std::malloc(size ? size : 1);
}

void Release(void* pointer) {
  if (!pointer || pointer == reinterpret_cast<void*>(~uintptr_t{0})) return;
  std::free(pointer);
}

int32_t FreePage(PageRecord* page) {
  bool released = false;
  if (page->data && page->dataOwnership == kOwnedByPage) {
    Release(page->data);
    released = true;
  }
  page->data = nullptr;
  // Every palette a page holds is its own, whatever its depth: releasing it
  // only for 4 and 8 bpp would leak the palettes some readers give deeper
  // pages.
  if (page->palette) {
    Release(page->palette);
    page->palette = nullptr;
    released = true;
  }
  if (page->stripOffsets) {
    Release(page->stripOffsets);
    page->stripOffsets = nullptr;
    released = true;
  }
  if (page->stripByteCounts) {
    Release(page->stripByteCounts);
    page->stripByteCounts = nullptr;
    released = true;
  }
  page->stripCount = 0;
  return released ? kOk : kErrParameter;
}

uint8_t* MakeGrayPalette(int bitsPerPixel) {
  uint8_t* palette = static_cast<uint8_t*>(Allocate(768));
  if (!palette) return nullptr;
  int step = bitsPerPixel == 8 ? 1 : 17;
  for (int i = 0; i < 256; ++i)
    std::memset(palette + 3 * i, (i * step) & 0xFF, 3);
  return palette;
}

void SwapPaletteOrder(uint8_t* palette) {
  for (int i = 0; i < 256; ++i) std::swap(palette[3 * i], palette[3 * i + 2]);
}

}  // namespace quillon
