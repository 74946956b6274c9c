// Placeholder until the run-length codecs land: the conversion answers -6,
// its answer for a code it cannot handle.
#include "imaging/codecs/codecs.h"

namespace quillon {

int32_t DecodePackBits(PageRecord*, PageRecord*, int32_t) { return kErrParameter; }
int32_t DecodePcx(PageRecord*, PageRecord*, int32_t) { return kErrParameter; }
int32_t DecodeBmpRle(PageRecord*, PageRecord*, int32_t) { return kErrParameter; }
int32_t EncodePackBits(const PageRecord*, PageRecord*) { return kErrParameter; }
int32_t EncodePcx(const PageRecord*, PageRecord*) { return kErrParameter; }
int32_t EncodeBmpRle(const PageRecord*, PageRecord*) { return kErrParameter; }

}  // namespace quillon
