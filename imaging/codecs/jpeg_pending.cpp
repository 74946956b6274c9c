// Placeholder until the JPEG decoder lands: the conversion answers -6, its
// answer for a code it cannot handle.
#include "imaging/codecs/codecs.h"

namespace quillon {

int32_t DecodeJpeg(PageRecord*, PageRecord*, int32_t, int) { return kErrParameter; }

}  // namespace quillon
