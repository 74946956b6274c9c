// Direct writes into screen memory, as the slide show and video playback
// make them: a frame's rectangle copied to the screen unscaled, stretched
// along one axis (the cube transitions), or darkened whole (the fades of a
// 16-bit display), each through the screen-memory layout of the model.
// Frames are uncompressed pages at the display's depth (4 bits: two pixels
// a byte, the first in the high nibble; 8: palette indexes; 16: 5-6-5).
// Every rectangle is clipped to the screen and to the frame, and every
// pixel left is written, whatever its width; nothing else is touched.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/core/page.h"
#include "viewer/app/state.h"

namespace zelmo {

// Screen memory as a writer sees it.
struct ScreenTarget {
  uint8_t* memory = nullptr;  // null: nothing is written
  size_t size = 0;  // bytes of memory
  int width = 0;  // the logical screen
  int height = 0;
  int depth = 0;  // 4, 8 or 16; no other depth is written
  DeviceProfile layout{};  // pitch, orientation and flags
};

// The running model's screen memory, through the frame-buffer address of
// its profile; a target that writes nothing on an unknown model.
ScreenTarget DeviceScreenTarget();

// The frame's width x height rectangle at (srcX, srcY) to the screen at
// (dstX, dstY).
void ScreenBlit(const ScreenTarget& screen, const quillon::PageRecord& frame, int dstX, int dstY,
                int srcX, int srcY, int width, int height);

// The same rectangle turned a quarter to the left: frame pixel
// (srcX + i, srcY + j) lands on logical screen pixel (dstY + j,
// screen.height - 1 - dstX - i).  Positions count in the turned screen,
// screen.height wide and screen.width high, and are clipped to it.
void ScreenBlitTurned(const ScreenTarget& screen, const quillon::PageRecord& frame, int dstX, int dstY,
                      int srcX, int srcY, int width, int height);

// A width x height screen rectangle at (dstX, dstY) filled from the frame
// at (srcX, srcY), stretched along one axis with 8.8 fixed-point steps
// (source pixels per screen pixel x 256): with yStep 256, screen pixel i of
// line j takes source pixel (srcX + i * xStep / 256, srcY + j); otherwise
// line j takes source line srcY + j * yStep / 256 pixel for pixel.
void ScreenBlitScaled(const ScreenTarget& screen, const quillon::PageRecord& frame, int dstX,
                      int dstY, int srcX, int srcY, int width, int height, int xStep, int yStep);

// A 5-6-5 pixel with each channel, widened to 8 bits, reduced by
// 17 * level (not below 0) and packed again.
uint16_t DarkenedPixel(uint16_t pixel, int level);

// The whole 16-bit frame to the screen at (0, 0), darkened to `level`
// (0..15).  Writes nothing at other depths.
void ScreenBlitDarkened(const ScreenTarget& screen, const quillon::PageRecord& frame, int level);

}  // namespace zelmo
