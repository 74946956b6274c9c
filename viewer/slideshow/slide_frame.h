// A decoded page made into a slide: turned upright and, when it helps,
// a quarter turn; fitted and centred on a frame of the screen's size; at the
// screen's depth and, on palette displays, in the show's colours; with the
// file's name inverted into its top.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/core/page.h"
#include "platform/ce.h"

namespace zelmo {

// The screen a slide is made for.
struct SlideScreen {
  int width;
  int height;
  int depth;  // 4, 8 or 16
  bool twelveBit;  // a 16-bit display that shows 4 bits a channel
  bool rotateForBestFit;
};

// Conversion flags a page of this width is decoded with: JPEG pages from
// 640 pixels on at half size, beyond 2048 at an eighth, colour as 16 bits.
int32_t SlideDecodeFlags(int32_t pageWidth);

// Brings a 4-bit or deeper picture to the screen's depth in place: on an
// 8-bit display the 3-3-2 colour cube, on the 4-bit panel the gray levels,
// 12-bit displays dithered.  0 or an ImagingError.
int32_t ToScreenDepth(quillon::PageRecord* frame, const SlideScreen& screen);

// Makes `frame` (left empty on failure) from a decoded page of 2 bits per
// pixel or more; the page may be turned and flipped on the way.  With a
// font, the name is drawn into the top tenth.  0 or an ImagingError.
// On an 8-bit display the frame's indexes are those of the 3-3-2 colour
// cube (its palette), on the 4-bit gray panel gray levels.
int32_t BuildSlideFrame(quillon::PageRecord* page, quillon::PageRecord* frame,
                        const SlideScreen& screen, ce::HFONT captionFont, const char16_t* name);

// The name in `font`, white on black, centred in a width x height 1-bit
// picture, top line first, lines `stride` bytes apart, 1 bits where the
// letters are.  Empty when it cannot be drawn.
std::vector<uint8_t> DrawCaptionMask(ce::HFONT font, const char16_t* name, int width, int height,
                                     uint32_t* stride);

// Flips every bit of each frame pixel under a set mask bit (the mask's
// lines from the frame's top).
void InvertUnderMask(quillon::PageRecord* frame, const uint8_t* mask, uint32_t stride, int height);

}  // namespace zelmo
