// The photograph-like picture of the JPEG benchmarks: smooth colour fields,
// a texture of interpolated noise, fine grain and a few hard edges, so that
// a 2048 x 1536 picture carries about as many coefficients at quality 85 as
// a camera picture.  Red, green, blue triplets, top line first.
#pragma once

#include <cstdint>
#include <vector>

namespace bench {

std::vector<uint8_t> PhotoPicture(int width, int height);

}  // namespace bench
