// Placeholder until the fax codecs land: the conversion answers -6, its
// answer for a code it cannot handle.
#include "imaging/codecs/codecs.h"

namespace quillon {

int32_t DecodeModifiedHuffman(PageRecord*, PageRecord*, int32_t) { return kErrParameter; }
int32_t DecodeG3OneD(PageRecord*, PageRecord*, int32_t) { return kErrParameter; }
int32_t DecodeG3TwoD(PageRecord*, PageRecord*, int32_t) { return kErrParameter; }
int32_t DecodeG4(PageRecord*, PageRecord*, int32_t) { return kErrParameter; }
int32_t EncodeFaxOneD(const PageRecord*, PageRecord*, int) { return kErrParameter; }
int32_t EncodeG4(const PageRecord*, PageRecord*) { return kErrParameter; }

}  // namespace quillon
