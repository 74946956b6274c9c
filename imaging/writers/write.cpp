// The output file, WriteImage's dispatch and the save sequence.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "imaging/core/core.h"
#include "imaging/writers/output.h"
#include "imaging/writers/writers.h"

namespace quillon {

int FindSaveType(std::string_view name) {
  for (int i = 0; i < kSaveTypeCount; ++i)
    if (name == kSaveTypes[i].name) return i;
  return -1;
}

bool SaveTypeAccepts(int type, int bitsPerPixel) {
  if (type < 0 || type >= kSaveTypeCount) return false;
  const SaveType& t = kSaveTypes[type];
  uint8_t need;
  switch (bitsPerPixel) {
    case 1: need = 0x01; break;
    case 4: need = 0x04; break;
    case 8: need = 0x08; break;
    case 16: need = 0x10; break;
    case 24: need = 0x18; break;
    default: return false;
  }
  if ((t.depthMask & need) != need) return false;
  return bitsPerPixel != 16 || t.fileType == kFileWindowsBmp;
}

int32_t CreateOutputFile(const char16_t* path, ImageFile* file, int32_t flags, int fileType) {
  std::memset(file, 0, sizeof *file);
  FileHandle h = kInvalidHandle;
  if (flags & 1) h = OpenForReadWrite(path);
  if (h == kInvalidHandle) h = CreateForWrite(path);
  if (h == kInvalidHandle) return kErrIo;
  file->fileHandle = h;
  file->accessMode = kAccessRead;
  file->fileType = static_cast<int8_t>(fileType);
  file->pageCount = 0;
  return kOk;
}

int32_t WriteImage(ImageFile* file, const PageRecord* page, int32_t /*reserved*/) {
  if (file->accessMode == kAccessClosed || !page->data) return kErrParameter;
  HeaderArea area;
  area.p = static_cast<uint8_t*>(Allocate(HeaderArea::kSize));
  if (!area.p) return kErrMemory;
  Output out{file->fileHandle};
  int32_t result;
  switch (file->fileType) {
    case kFileWindowsBmp: result = WriteBmp(file, page, area, out); break;
    case kFilePcx:
    case kFileDcx: result = WritePcx(file, page, area, out); break;
    case kFileTiff: result = WriteTiff(file, page, area, out); break;
    case kFileJfif:
      result = file->pageCount == 0 && page->compression == kJpeg ? kOk : kErrParameter;
      if (result == kOk) out.Put(PageBytes(page), page->dataSize);
      break;
    case kFileGif: result = WriteGif(file, page, area, out); break;
    case kFileCals: result = WriteCals(file, page, area, out); break;
    default: result = kErrParameter; break;
  }
  Release(area.p);
  if (result == kOk && (out.failed || area.overflow)) result = out.failed ? kErrIo : kErrParameter;
  if (result == kOk) ++file->pageCount;
  return result;
}

int32_t SavePage(const char16_t* path, PageRecord* page, int saveType, int32_t quality) {
  if (saveType < 0 || saveType >= kSaveTypeCount) return kErrParameter;
  if (!SaveTypeAccepts(saveType, page->bitsPerPixel)) return kErrBitDepth;
  const SaveType& type = kSaveTypes[saveType];

  // The page is written beside the target under a temporary name, and
  // renamed over it only once everything succeeded.
  const std::u16string temporaryPath = std::u16string(path) + u".part";
  const std::filesystem::path target = HostPath(path);
  const std::filesystem::path temporary = HostPath(temporaryPath);
  ImageFile file;
  int32_t result = CreateOutputFile(temporaryPath.c_str(), &file, 0, type.fileType);
  if (result != kOk) return result;

  PageRecord converted{};
  const PageRecord* written = page;
  if (page->compression != type.compression) {
    converted.compression = type.compression;
    result = ConvertPage(page, &converted, type.compression == kJpeg ? quality : 0);
    written = &converted;
  }
  if (result == kOk) result = WriteImage(&file, written, 0);
  if (written == &converted) FreePage(&converted);
  if (result == kOk && ::fsync(file.fileHandle) != 0) result = kErrIo;
  Close(file.fileHandle);
  file.accessMode = kAccessClosed;
  std::error_code ec;
  if (result == kOk) {
    std::filesystem::rename(temporary, target, ec);
    if (ec) result = kErrIo;
  }
  if (result != kOk) std::filesystem::remove(temporary, ec);
  return result;
}

}  // namespace quillon
