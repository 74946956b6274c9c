// ExtractPage: clears the record, checks the index and dispatches to the
// reader of the file's type.
#include <cstring>
#include <new>

#include "imaging/core/core.h"
#include "imaging/readers/pdf.h"
#include "imaging/readers/readers.h"
#include "imaging/readers/video.h"

namespace quillon {

namespace {

int32_t Dispatch(ImageFile* file, PageRecord* page, int32_t index, bool geometry) {
  switch (file->fileType) {
    case kFileWindowsBmp: return ReadWindowsBmp(file, page, index, geometry);
    case kFileOs2Bmp: return ReadOs2Bmp(file, page, index, geometry);
    case kFilePcx:
    case kFileDcx: return ReadPcx(file, page, index);
    case kFileTiff: return ReadTiff(file, page, index, geometry);
    case kFileWinFax:
    case kFileBitFax:
    case kFileQuicklinks: return ReadFaxFile(file, page, index);
    case kFileJfif: return ReadJfif(file, page, index);
    case kFileTarga: return ReadTarga(file, page, index, geometry);
    case kFileGif: return ReadGif(file, page, index);
    case kFileIoca: return ReadIoca(file, page, index);
    case kFileAwd: return ReadAwd(file, page, index);
    case kFilePseg: return ReadPseg(file, page, index, geometry);
    case kFileCals: return ReadCals(file, page, index);
    case kFileFli: return ReadFli(file, page, index, geometry);
    case kFileWinFax10: return ReadWinFax10(file, page, index);
    case kFilePdf: return ExtractPdfImage(file, page, index, geometry);
    case kFileAvi:
    case kFileQuickTime: return ExtractVideoFrame(file, page, index);
    default:
      return kErrUnknownFormat;  // 2, 12, 18 and unknown codes
  }
}

// Runs the reader; a page larger than the library holds is refused.
int32_t Read(ImageFile* file, PageRecord* page, int32_t index, bool geometry) {
  if (file->accessMode == kAccessClosed) return kErrParameter;
  if (index < 0 || index > file->pageCount - 1) return kErrPageNotFound;
  // Readers size their tables from the data; should memory run out all the
  // same, the failure is reported, never thrown to the caller.
  int32_t result;
  try {
    result = Dispatch(file, page, index, geometry);
  } catch (const std::bad_alloc&) {
    result = kErrMemory;
    FreePage(page);
  }
  if (result != kOk) return result;
  if (SizeProduct(static_cast<uint32_t>(page->width < 0 ? 0 : page->width),
                  static_cast<uint32_t>(page->height < 0 ? 0 : page->height)) > kMaxPagePixels) {
    FreePage(page);
    return kErrBadHeader;
  }
  return kOk;
}

}  // namespace

int32_t ReadPageGeometry(ImageFile* file, PageRecord* page, int32_t index) {
  *page = PageRecord{};
  int32_t result = Read(file, page, index, true);
  FreePage(page);
  page->dataOwnership = kOwnedNone;
  return result;
}

int32_t ExtractPage(ImageFile* file, PageRecord* page, int32_t index) {
  // FLI/FLC frames after the first are drawn over the previous frame, so
  // the record keeps the frame buffer and palette it holds.
  if (!(file->fileType == kFileFli && index > 0)) {
    page->data = nullptr;
    page->palette = nullptr;
  }
  page->stripOffsets = nullptr;
  page->stripByteCounts = nullptr;
  page->comment[0] = page->applicationText[0] = page->plainText[0] = 0;
  int32_t result = Read(file, page, index, false);
  if (result != kOk) return result;
  file->currentPage = index;

  // Fax data that ends exactly on a page boundary of the view gets a copy
  // of its own with five zero bytes after it, so that the bit readers'
  // look-ahead past the last code finds zeros inside the buffer.
  const int code = page->compression;
  if ((code == kG3OneD || code == kG3TwoD || code == kG4) &&
      page->dataOwnership == kOwnedByView && page->stripCount < 2 &&
      page->dataSize % 4096 == 0) {
    uint8_t* copy = static_cast<uint8_t*>(Allocate(SizeSum(page->dataSize, 5)));
    if (!copy) {
      FreePage(page);
      return kErrMemory;
    }
    std::memcpy(copy, page->data + page->dataOffset, page->dataSize);
    page->data = copy;
    page->dataOffset = 0;
    page->dataOwnership = kOwnedByPage;
  }
  return kOk;
}

}  // namespace quillon
