// The imaging core's operations: opening, page extraction and the
// compression conversion through which every decoded or encoded page passes.
#pragma once

#include <cstdint>

#include "imaging/core/page.h"

namespace quillon {

// Opens `path`, identifies its format from the first bytes and records the
// page table.  `file` is zeroed first.  0 or an ImagingError.
int32_t OpenImageFile(const char16_t* path, ImageFile* file,
                      int32_t reserved = 0);

// Fills `page` with page `index` of an open file.  GIF and FLI/FLC frames
// after the first continue from the record that received the previous one.
int32_t ExtractPage(ImageFile* file, PageRecord* page, int32_t index);

// The geometry of page `index` (size, depth, compression, resolution, as
// ExtractPage gives them) at the cost of reading its headers: pages that
// extraction would gather, convert or decode are not, and no buffer the
// size of the page is allocated.  `page` is filled as a fresh record and
// holds no data or tables afterwards.  0 or an ImagingError (-8 for a page
// larger than the library holds).
int32_t ReadPageGeometry(ImageFile* file, PageRecord* page, int32_t index);

// Converts `source` into `destination->compression` (set by the caller):
// decode into an intermediate page (run lists for 1 bpp, pixels otherwise),
// then encode.  `flags` are ConversionFlags, or the JPEG quality 0..2 when
// the target is JPEG.
int32_t ConvertPage(PageRecord* source, PageRecord* destination,
                    int32_t flags);

// The two conversions that live in the core.
int32_t DecodeUncompressed(PageRecord* source, PageRecord* intermediate,
                           int32_t flags);
int32_t EncodeUncompressed(const PageRecord* intermediate,
                           PageRecord* destination);

// Reverses the order of the lines of a decoded page (run-list line pointers
// or whole uncompressed lines).  0, -1 or -6.
int32_t ReverseLineOrder(PageRecord* page);

// Inverts every line of a run-list page in place.
void InvertRunLines(PageRecord* page);

}  // namespace quillon
