// Placeholder until the JPEG decoder lands: clips get an empty shared state,
// and their frames then convert to -6 like every JPEG page.
#include "imaging/codecs/codecs.h"

namespace quillon {

int32_t InitMotionJpegTables(ImageFile* file, const uint8_t*, uint32_t) {
  file->jpegState = static_cast<JpegDecoderState*>(Allocate(64));
  return file->jpegState ? kOk : kErrMemory;
}

}  // namespace quillon
