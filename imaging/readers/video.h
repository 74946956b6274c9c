// AVI and QuickTime clips with Motion-JPEG video: the frame and sound index
// built when the file is opened, and the extraction of one frame.
#pragma once

#include <cstdint>

#include "imaging/core/page.h"

namespace quillon {

// Both run on a file opened for reading (accessMode 2, fileHandle set).
int32_t IndexAvi(ImageFile* file);
int32_t IndexQuickTime(ImageFile* file);
int32_t ExtractVideoFrame(ImageFile* file, PageRecord* page, int32_t index);

// Sound rates close to the usual ones are taken as those.
int32_t SnapSampleRate(int32_t rate);

}  // namespace quillon
