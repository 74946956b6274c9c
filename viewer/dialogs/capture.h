// Screen capture: the whole screen saved as a numbered BMP, PCX, GIF or
// JPEG file, read straight from screen memory on the known models and
// copied from the screen's device context elsewhere.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/core/page.h"

namespace zelmo {

// Capture types (CaptureType): extension and the writers' save type.
struct CaptureFormat {
  const char16_t* extension;
  int saveType;  // row of quillon::kSaveTypes
};
constexpr CaptureFormat kCaptureFormats[] = {
    {u"BMP", 7},   // WIN BMP Uncompressed
    {u"PCX", 9},   // PCX
    {u"GIF", 11},  // GIF
    {u"JPG", 13},  // JPEG JFIF
};
constexpr int kCaptureFormatCount = 4;

// The depth a capture of type `type` is written at from a display of
// `displayDepth` bits; the display's own depth when it is kept.
int CaptureDepth(int displayDepth, int type, bool capture24bpp);

// Takes one capture with the capture settings and saves the settings (the
// counter persists).  At launch (no main window yet) it loads the settings
// first and reports a failure on standard error; otherwise a failure shows
// the library's message with the caption "Screen Capture".  Returns 0 or the
// ImagingError of the failure.
int32_t TakeCapture();

// The screen as a bottom-up page of the display's depth (palette below 16
// bits), with buffers of its own.  0 or an ImagingError.
int32_t CaptureScreenPage(quillon::PageRecord* page);

// The name of the next capture: CaptureDir (with a backslash added to the
// setting when it has none) + CaptureName + four-digit counter + extension,
// with the counter advanced past every name that exists already.  Empty
// when the counter runs out.
std::u16string NextCaptureName();

}  // namespace zelmo
