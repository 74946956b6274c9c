// The long jobs the WorkerThread runs.  Each polls AbortFlag (video: the
// video-playing flag) between items, pages, frames or transition steps and
// returns as soon as it is set.
#pragma once

#include "platform/ce.h"

namespace zelmo {

// Builds the thumbnails of the live file list.
void BuildThumbnails();
// Plays the open AVI or QuickTime clip (viewer/video).
void PlayVideoJob();
// Runs the slide show that command 40071 set up (viewer/slideshow).
void SlideShowJob();

}  // namespace zelmo
