// ComposeGifFrame: one decoded frame of an animated GIF drawn into the
// logical screen, after the disposal the frame asks for.
#include <cstring>

#include "imaging/pixels/pixels.h"
#include "imaging/pixels/pixels_internal.h"

namespace quillon {

using namespace pixels;

int32_t ComposeGifFrame(PageRecord* screenPage, const PageRecord* framePage) {
  if (!screenPage || !framePage) return kErrParameter;
  const int bpp = screenPage->bitsPerPixel;
  if (bpp != 4 && bpp != 8) return kOk;
  const PageRecord& frame = *framePage;
  if (frame.bitsPerPixel != bpp || !HasPixels(*screenPage) || !HasPixels(frame))
    return kErrParameter;
  if (frame.frameLeft < 0 || frame.frameTop < 0 ||
      int64_t{frame.frameLeft} + frame.width > screenPage->width ||
      int64_t{frame.frameTop} + frame.height > screenPage->height)
    return kErrParameter;
  int32_t result = OwnPixels(screenPage);
  if (result != kOk) return result;

  // Disposal method (bits 4-2 of the packed byte) 2, and 3 on 8-bpp
  // screens, starts from the background.
  const int disposal = (frame.frameDisposal >> 2) & 7;
  if (disposal == 2 || (bpp == 8 && disposal == 3)) {
    const uint8_t background = bpp == 4
        ? static_cast<uint8_t>((screenPage->backgroundIndex & 15) * 0x11)
        : screenPage->backgroundIndex;
    const uint32_t rowBytes = RowBytes(screenPage->width, bpp);
    for (int32_t y = 0; y < screenPage->height; ++y)
      std::memset(Row(*screenPage, y), background, rowBytes);
  }
  const bool transparent = frame.frameDisposal & 1;
  const uint32_t left = static_cast<uint32_t>(frame.frameLeft);
  const uint32_t width = static_cast<uint32_t>(frame.width);
  for (int32_t y = 0; y < frame.height; ++y) {
    const uint8_t* source = Row(frame, y);
    uint8_t* target = Row(*screenPage, frame.frameTop + y);
    if (bpp == 8) {
      if (!transparent) {
        std::memcpy(target + left, source, width);
        continue;
      }
      for (uint32_t x = 0; x < width; ++x)
        if (source[x] != frame.transparentIndex) target[left + x] = source[x];
      continue;
    }
    for (uint32_t x = 0; x < width; ++x) {
      const uint8_t v = Nibble(source, x);
      if (!transparent || v != frame.transparentIndex) PutNibble(target, left + x, v);
    }
  }
  return kOk;
}

}  // namespace quillon
