// Exif thumbnails and texts.
#include "imaging/codecs/jpeg_exif.h"

namespace quillon {

int32_t DecodeExifThumbnail(const uint8_t*, uint32_t, uint32_t, PageRecord*, int32_t) {
  return kNoExifThumbnail;
}

void CopyExifTexts(const uint8_t*, uint32_t, uint32_t, PageRecord*) {}

}  // namespace quillon
