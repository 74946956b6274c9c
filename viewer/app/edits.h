// The commands that change the current page in memory (the file stays as
// it is) or the way it is turned on the screen.
#pragma once

#include "platform/ce.h"

namespace zelmo {

// Invert, the flips, to gray, darken and lighten: one in-place transform
// of the page, shown at once.  Beeps without an image; a failure shows its
// message with the command's name as caption.
void EditImage(int command, int transform);
// "Rotate View" by 90, 180 or 270 degrees; a bilevel page is turned in its
// data instead.
void RotateView(ce::HWND hwnd, int degrees);
// "Rotate Image": the page's data turned by 90, 180 or 270 degrees.
void RotateImage(int command, int degrees);
// The scale-to-gray option on or off.
void ToggleScaleToGray();

}  // namespace zelmo
