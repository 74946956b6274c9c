#pragma once

namespace zelmo {

// Stops the thumbnail job, then frees the thumbnail cache.
void FreeAllThumbnails();

}  // namespace zelmo
