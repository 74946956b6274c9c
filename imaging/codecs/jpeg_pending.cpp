// Placeholder until the JPEG codec lands: the conversion answers -6, its
// answer for a code it cannot handle.
#include "imaging/codecs/codecs.h"

namespace quillon {

int32_t DecodeJpeg(PageRecord*, PageRecord*, int32_t, int) { return kErrParameter; }
int32_t EncodeJpeg(const PageRecord*, PageRecord*, int32_t) { return kErrParameter; }

}  // namespace quillon
