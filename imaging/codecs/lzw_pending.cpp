// Placeholder until the LZW codec lands: the conversion answers -6, its
// answer for a code it cannot handle.
#include "imaging/codecs/codecs.h"

namespace quillon {

int32_t DecodeLzw(PageRecord*, PageRecord*, int, int32_t) { return kErrParameter; }
int32_t EncodeLzw(const PageRecord*, PageRecord*, int) { return kErrParameter; }

}  // namespace quillon
