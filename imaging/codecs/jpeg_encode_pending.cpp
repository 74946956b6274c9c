// Placeholder until the JPEG encoder lands: the conversion answers -6, its
// answer for a code it cannot handle.
#include "imaging/codecs/codecs.h"

namespace quillon {

int32_t EncodeJpeg(const PageRecord*, PageRecord*, int32_t) { return kErrParameter; }

}  // namespace quillon
