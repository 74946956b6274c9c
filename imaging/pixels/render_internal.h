// Pieces shared by the colour and the bilevel renderers.
#pragma once

#include <cstdint>

#include "imaging/core/page.h"
#include "imaging/pixels/pixels.h"

namespace quillon::pixels {

// Bytes of `width` output pixels, without the 32-bit arithmetic of
// RowBytes (requests may name widths whose lines exceed 4 GB).
inline uint64_t OutputRowBytes(int32_t width, int bitsPerPixel) {
  return (static_cast<uint64_t>(width) * static_cast<uint64_t>(bitsPerPixel) + 7) / 8;
}

// Output line j: from the start of the buffer, or from its end upward for
// bottom-up bitmaps.
inline uint8_t* OutputLine(const RenderRequest& request, uint64_t j,
                           bool topDown) {
  uint64_t line = topDown ? j : static_cast<uint64_t>(request.dstHeight) - 1 - j;
  return request.dstBits + line * request.dstBytesPerLine;
}

// The bilevel renderer: run lists to packed 1-bpp output or, with
// dstBitsPerPixel 4, to scale-to-gray levels.  The request has been
// checked.  0 or -1.
int32_t RenderBilevel(const PageRecord& page, const RenderRequest& request,
                      bool topDown);

}  // namespace quillon::pixels
