// Until printing, thumbnails and video exist, their jobs end at once; each
// of those units replaces its function here with the real job in its own
// file.
#include "viewer/app/jobs.h"
#include "viewer/thumbs/thumbnails.h"

namespace zelmo {

void RunPrintJob(ce::HWND) {}
void BuildThumbnails() {}
// Replaced by the thumbnail cache's own, with BuildThumbnails.
void FreeAllThumbnails() {}
void PlayVideo() {}

}  // namespace zelmo
