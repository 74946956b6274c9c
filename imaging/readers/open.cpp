// OpenImageFile and CloseImageFile: identification, then the page walks
// and clip indexes of the readers; closing releases what they hold.
#include <algorithm>
#include <cstring>
#include <new>

#include "imaging/codecs/codecs.h"
#include "imaging/core/bytes.h"
#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "imaging/core/identify.h"
#include "imaging/readers/identify_walks.h"
#include "imaging/readers/pdf.h"
#include "imaging/readers/pdf_syntax.h"
#include "imaging/readers/video.h"

namespace quillon {

namespace {

// How many of the `declared` pages of a BitFAX or Quicklinks file the data
// holds: each page needs its entry of the table at `table` (`entrySize`
// bytes each) and data of its own, starting within the file and after the
// page before, so that pages never cost more than the file's data.
int32_t FaxPagesHeld(const Bytes& view, int32_t declared, uint64_t table, uint64_t entrySize) {
  const bool bitFax = entrySize == 16;
  uint64_t previous = 0;
  int32_t pages = 0;
  for (; pages < declared; ++pages) {
    const uint64_t entry = table + entrySize * static_cast<uint64_t>(pages);
    if (!view.Has(entry, entrySize)) break;
    const uint64_t offset = bitFax ? view.LE32(entry + 8) : view.LE32(entry);
    if (offset >= view.n || (pages > 0 && offset <= previous)) break;
    previous = offset;
  }
  return pages;
}

// Page tables of the mapped formats, filled from the whole view.
int32_t WalkPages(ImageFile* file, const Bytes& view, const Bytes& probe) {
  switch (file->fileType) {
    case kFileWinFax10:
      return WalkWinFax10(file, view);
    case kFileDcx: {
      // Consecutive non-zero offsets from byte 4, within the probed bytes.
      int32_t count = 0;
      for (uint64_t at = 4; at + 4 <= probe.n && probe.LE32(at) != 0; at += 4)
        ++count;
      file->pageCount = count;
      return kOk;
    }
    case kFileAwd:
    case kFilePocketPowerpoint:
      return WalkAwd(file, view);
    case kFileGif:
      return WalkGif(file, view);
    case kFileTiff:
      return WalkTiff(file, view);
    case kFileBitFax:
      file->pageCount = FaxPagesHeld(view, probe.U8(9) + 256 * probe.U8(10), 16, 16);
      return kOk;
    case kFileQuicklinks:
      file->pageCount = FaxPagesHeld(view, probe.U8(8) + 256 * probe.U8(9), 32, 4);
      return kOk;
    case kFileIoca:
      return WalkIoca(file, view);
    case kFileFli:
      // The published frame count of the header.
      file->pageCount = static_cast<int32_t>(probe.LE16(6));
      return kOk;
    case kFilePdf:
      return IndexPdf(file);
    default:
      return kOk;
  }
}

}  // namespace

int32_t OpenImageFile(const char16_t* path, ImageFile* file,
                      int32_t /*reserved*/) {
  std::memset(file, 0, sizeof *file);
  file->fileHandle = kInvalidHandle;
  FileHandle handle = OpenForRead(path);
  if (handle == kInvalidHandle) return kErrIo;
  file->pageCount = 1;

  uint8_t header[kProbeSize];
  int64_t got = Read(handle, header, sizeof header);
  if (got < static_cast<int64_t>(kMinimumFileSize)) {
    Close(handle);
    return kErrUnknownFormat;
  }
  Bytes probe{header, static_cast<uint64_t>(got)};
  int64_t size = Seek(handle, 0, 2);
  Seek(handle, 0, 0);
  if (size < 0 || size > INT32_MAX) {  // fileSize is a 32-bit field
    Close(handle);
    return size < 0 ? kErrIo : kErrUnsupported;
  }
  file->fileSize = static_cast<int32_t>(size);

  Identified id = IdentifyHeader(handle, probe, static_cast<uint64_t>(size));
  if (id.result != kOk) {
    Close(handle);
    return id.result;
  }
  file->fileType = static_cast<int8_t>(id.type);

  if (id.access == Access::kRead) {
    // Clips are indexed through the open handle and never mapped.
    file->fileHandle = handle;
    file->accessMode = kAccessRead;
    file->pageCount = 0;
    int32_t result;
    try {
      result = file->fileType == kFileAvi ? IndexAvi(file) : IndexQuickTime(file);
    } catch (const std::bad_alloc&) {
      result = kErrMemory;
    }
    if (result != kOk) CloseImageFile(file);
    return result;
  }

  Close(handle);
  uint64_t length = 0;
  uint8_t* view = MapWholeFile(path, &length);
  if (!view) return kErrIo;
  file->view = view;
  file->mappingHandle = static_cast<intptr_t>(length);
  file->accessMode = kAccessMapped;
  // The file may have changed between the probe and the mapping.
  file->fileSize = static_cast<int32_t>(std::min<uint64_t>(length, INT32_MAX));

  int32_t result;
  try {
    result = WalkPages(file, Bytes{view, static_cast<uint64_t>(file->fileSize)}, probe);
  } catch (const std::bad_alloc&) {
    result = kErrMemory;  // reported, never thrown to the caller
  }
  if (result != kOk) {
    CloseImageFile(file);
    return result;
  }
  return kOk;
}

int32_t CloseImageFile(ImageFile* file) {
  if (file->accessMode == kAccessMapped) {
    UnmapView(file->view, static_cast<uint64_t>(file->mappingHandle));
    file->view = nullptr;
    file->mappingHandle = 0;
  } else if (file->accessMode == kAccessRead) {
    Close(file->fileHandle);
    file->fileHandle = kInvalidHandle;
  }
  if (file->jpegState) {
    ReleaseJpegState(file->jpegState);
    file->jpegState = nullptr;
  }
  Release(file->audioChunkOffsets);
  file->audioChunkOffsets = nullptr;
  Release(file->audioChunkSizes);
  file->audioChunkSizes = nullptr;
  Release(file->pageOffsets);
  file->pageOffsets = nullptr;
  Release(file->frameSizes);
  file->frameSizes = nullptr;
  ReleasePdfObjects(file);
  file->accessMode = kAccessClosed;
  return kOk;
}

}  // namespace quillon
