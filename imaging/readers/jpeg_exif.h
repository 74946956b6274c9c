// The Exif block of a JPEG file: its thumbnail and its descriptive texts,
// read through the TIFF directory reader.
#pragma once

#include <cstdint>

#include "imaging/codecs/jpeg.h"
#include "imaging/core/page.h"

namespace quillon {

// The thumbnail of the Exif block whose TIFF header lies at `exifOffset` of
// the stream `data`..`data + size`, as the destination page: a JPEG
// thumbnail decoded (colour as 16 bpp), an uncompressed 24-bpp one packed
// to 16 bpp.
int32_t DecodeExifThumbnail(const uint8_t* data, uint32_t size, uint32_t exifOffset,
                            PageRecord* destination, int32_t flags);
// The texts of the first Exif directory (description, make, ...) into the
// destination's comment, applicationText and plainText.
void CopyExifTexts(const uint8_t* data, uint32_t size, uint32_t exifOffset,
                   PageRecord* destination);

// The two above, for the JPEG decoder.
extern const ExifReader kExifReader;

}  // namespace quillon
