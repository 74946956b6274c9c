// The page walks that OpenImageFile runs over a mapped file to fill
// pageOffsets and pageCount.  Each reads only inside the view.
#pragma once

#include <cstdint>

#include "imaging/core/bytes.h"
#include "imaging/core/page.h"

namespace quillon {

constexpr int32_t kPageTableSize = 4096;

int32_t WalkTiff(ImageFile* file, const Bytes& view);
int32_t WalkGif(ImageFile* file, const Bytes& view);
int32_t WalkIoca(ImageFile* file, const Bytes& view);
// Microsoft AWD (and Pocket Powerpoint): defined with the AWD reader.
int32_t WalkAwd(ImageFile* file, const Bytes& view);
int32_t WalkWinFax10(ImageFile* file, const Bytes& view);

}  // namespace quillon
