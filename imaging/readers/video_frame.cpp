// ExtractVideoFrame: one Motion-JPEG frame of a clip, read into an owned
// buffer; the clip's shared decoder state goes with it.
#include "imaging/core/bytes.h"
#include "imaging/core/files.h"
#include "imaging/readers/readers.h"
#include "imaging/readers/video.h"

namespace quillon {

int32_t ExtractVideoFrame(ImageFile* file, PageRecord* page, int32_t index) {
  page->decoderContext = file->jpegState;
  page->compression = kMotionJpeg;
  page->stripCount = 0;
  page->layoutFlags = kLayoutTopDown;
  page->photometric = 0;
  page->fillOrderReversed = 0;
  page->planes = 1;
  const uint32_t size = file->frameSizes[index];
  uint64_t at = file->pageOffsets[index];
  if (file->fileType == kFileAvi) at += 8;  // past the chunk's own header
  page->data = AllocateBytes(SizeSum(size, 8));
  if (!page->data) return kErrMemory;
  page->dataOwnership = kOwnedByPage;
  const int64_t got = ReadAt(file->fileHandle, at, page->data, size);
  page->dataSize = static_cast<uint32_t>(got > 0 ? got : 0);
  page->dataOffset = 0;
  // Some writers put one pad byte in front of the frame.
  if (file->fileType == kFileAvi && page->dataSize > 0 && page->data[0] != 0xFF) {
    page->dataOffset = 1;
    page->dataSize -= 1;
  }
  const Bytes frame{page->data + page->dataOffset, page->dataSize};
  int32_t r = ReadJpegFrameHeader(frame, 2, page);
  if (r != kOk) {
    FreePage(page);
    return r;
  }
  return kOk;
}

}  // namespace quillon
