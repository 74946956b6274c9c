// Release of a clip's shared JPEG decoder state.
#include "imaging/codecs/codecs.h"

namespace quillon {

void ReleaseJpegState(JpegDecoderState* state) { Release(state); }

}  // namespace quillon
