// The slide show: the command that starts it, the full-screen SlideWindow
// that takes the tap or key that stops it, and the job on the WorkerThread
// that shows every file of the listing through the transition effects.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ce.h"
#include "viewer/slideshow/slide_frame.h"
#include "viewer/slideshow/transition.h"

namespace zelmo {

// What the job works from, copied on the user-interface thread: by the
// command before the job is posted, and for each further pass of a looping
// show while the job waits.  The job reads no other shared state.
struct SlideShow {
  ce::HWND window = nullptr;  // the SlideWindow, while a show is on
  ce::HWND mainWindow = nullptr;
  ce::HWND scrollBar = nullptr;  // the main window's strip scroll bar
  bool fullScreen = false;  // the main window's, when the show began
  int rotation = 0;  // its view rotation then
  std::u16string folder;
  std::vector<std::u16string> names;  // the listing in display order
  int32_t delay = 2000;  // SlideDelay, milliseconds
  int effect = kEffectNone;
  int speed = 1;
  bool showNames = true;
  bool loop = true;
  SlideScreen screen{};
};

extern SlideShow gSlideShow;

// Command 40071 on the main window.
void StartSlideShow(ce::HWND mainWindow);

// The passes over the listing: each file that reads as a picture of 2 bits
// per pixel or more becomes a slide brought in by the transition, and
// stays `delay` milliseconds counted from the transition's start.  Returns
// when the stop flag is set or, without looping, after one pass; the
// number of slides shown.
int ShowSlides(SlideShow& show, const Stage& stage, ce::HFONT captionFont);

}  // namespace zelmo
