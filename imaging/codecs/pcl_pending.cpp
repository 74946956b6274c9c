// Placeholder until the PCL raster encoder lands: the conversion answers -6,
// its answer for a code it cannot handle.
#include "imaging/codecs/codecs.h"

namespace quillon {

int32_t EncodePclRaster(const PageRecord*, PageRecord*) { return kErrParameter; }

}  // namespace quillon
