// The format readers that ExtractPage dispatches to, and the pieces of them
// that other readers reuse.
#pragma once

#include <cstdint>

#include "imaging/core/page.h"

namespace quillon {

// Reads the TIFF directory at `directoryOffset` of the in-memory TIFF file
// `base`..`base + size` into `page` (data = base, dataOwnership 2, unless a
// conversion of the reader gives the page its own buffer).  Used for TIFF
// pages and for the Exif blocks of JPEG files.  0 or an ImagingError.
int32_t ReadTiffDirectory(const uint8_t* base, uint32_t size,
                          uint32_t directoryOffset, PageRecord* page);

}  // namespace quillon
