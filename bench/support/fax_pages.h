// Bilevel pages for the fax benchmarks, and TIFF files held in memory so
// that libtiff reads them without touching the disk.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <vector>

namespace bench {

// Packed rows, most significant bit first, 1 = black (TIFF min-is-white).
struct BilevelPage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rows;  // height x (width + 7) / 8
};

// A 1728 x 2200 business letter at fax resolution: a letterhead, paragraphs
// of ragged text in a bitmap-like font, a table with rules, a signature.
BilevelPage TextPage();
// The same size, covered by a dithered picture: short runs everywhere.
BilevelPage DensePage();

// A TIFF file in memory.
struct MemoryTiff {
  std::vector<uint8_t> bytes;
  uint64_t position = 0;
};

// Opens `file` with libtiff for reading (mode "r": mapped, no copies) or
// writing ("w").
TIFF* OpenMemoryTiff(MemoryTiff& file, const char* mode);

// Codes `page` as one strip with libtiff: TIFF compression 2, 3 or 4;
// Group 3 options for compression 3 (0 = 1-D, 1 = 2-D).
MemoryTiff EncodeWithLibtiff(const BilevelPage& page, int compression,
                             uint32_t group3Options);

// The raw coded bytes of strip 0.
std::vector<uint8_t> RawStrip(MemoryTiff& file);

}  // namespace bench
