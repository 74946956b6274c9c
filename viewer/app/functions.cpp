// Default toolbar layouts by screen width.
#include "viewer/app/functions.h"

namespace zelmo {

std::span<const uint8_t> DefaultToolbarLayout(int width) {
  switch (width) {
    case 240: return kToolbar240;
    case 320: return kToolbar320;
    case 480: return kToolbar480;
    case 640: return kToolbar640;
    default: return kToolbarOther;
  }
}

}  // namespace zelmo
