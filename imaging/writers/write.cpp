// The output file, WriteImage's dispatch and the save sequence.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "imaging/core/core.h"
#include "imaging/pixels/pixels.h"
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
  // The formats hold one block of data; striped pages go through the
  // conversion first.
  if (page->stripCount >= 2 || (page->stripCount == 1 && page->stripOffsets)) return kErrParameter;
  HeaderArea area;
  area.p = static_cast<uint8_t*>(Allocate(HeaderArea::kSize));
  if (!area.p) return kErrMemory;
  Output out{file->fileHandle};
  int32_t result;
  try {
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
  } catch (const std::bad_alloc&) {
    result = kErrMemory;  // reported, never thrown to the caller
  }
  Release(area.p);
  if (result == kOk && (out.failed || area.overflow)) result = out.failed ? kErrIo : kErrParameter;
  if (result == kOk) ++file->pageCount;
  return result;
}

int32_t AppendPage(ImageFile* file, PageRecord* page, int saveType, int32_t quality) {
  if (saveType < 0 || saveType >= kSaveTypeCount) return kErrParameter;
  if (!SaveTypeAccepts(saveType, page->bitsPerPixel)) return kErrBitDepth;
  const SaveType& type = kSaveTypes[saveType];
  if (file->fileType != type.fileType) return kErrParameter;
  int32_t result = kOk;

  // Pages still in strips (as read from a file) are decoded first: strips
  // of a coded page are no single stream.  So are 8-bpp pages bound for
  // JPEG whose palette is not the gray ramp: JPEG codes 8-bpp pages as gray
  // levels, so they are taken to their colours first.
  const bool striped = page->stripCount >= 2 || (page->stripCount == 1 && page->stripOffsets);
  const bool colours = type.compression == kJpeg && page->bitsPerPixel == 8 && !IsGrayRamp(page->palette);
  PageRecord decoded{}, converted{};
  const PageRecord* source = page;
  if (striped || (colours && page->compression != kUncompressed)) {
    decoded.compression = static_cast<int8_t>(page->bitsPerPixel == 1 ? kRunLists : kUncompressed);
    result = ConvertPage(page, &decoded, 0);
    source = &decoded;
  } else if (colours) {
    result = CopyDecodedPage(page, &decoded);
    source = &decoded;
  }
  if (result == kOk && colours) result = ConvertBitDepth(&decoded, 24, kDitherNearest);
  const PageRecord* written = source;
  if (result == kOk && source->compression != type.compression) {
    converted.compression = type.compression;
    result = ConvertPage(const_cast<PageRecord*>(source), &converted,
                         type.compression == kJpeg ? quality : 0);
    written = &converted;
  }
  if (result == kOk) result = WriteImage(file, written, 0);
  FreePage(&converted);
  FreePage(&decoded);
  return result;
}

int32_t SavePage(const char16_t* path, PageRecord* page, int saveType, int32_t quality) {
  if (saveType < 0 || saveType >= kSaveTypeCount) return kErrParameter;
  if (!SaveTypeAccepts(saveType, page->bitsPerPixel)) return kErrBitDepth;

  // The page is written beside the target under a temporary name, and
  // renamed over it only once everything succeeded.
  ReplacingSave save;
  if (!BeginReplacingSave(path, &save)) return kErrIo;
  ImageFile file{};
  file.fileHandle = save.handle;
  file.accessMode = kAccessRead;
  file.fileType = kSaveTypes[saveType].fileType;
  const int32_t result = AppendPage(&file, page, saveType, quality);
  if (result != kOk) {
    AbandonReplacingSave(&save);
    return result;
  }
  return CommitReplacingSave(&save) ? kOk : kErrIo;
}

bool IsGrayRamp(const uint8_t* palette) {
  if (!palette) return true;
  for (int i = 0; i < 256; ++i)
    if (palette[3 * i] != i || palette[3 * i + 1] != i || palette[3 * i + 2] != i) return false;
  return true;
}

int32_t CopyDecodedPage(const PageRecord* page, PageRecord* copy) {
  *copy = *page;
  copy->compression = kUncompressed;
  copy->stripCount = 0;
  copy->stripOffsets = copy->stripByteCounts = nullptr;
  copy->palette = nullptr;
  const uint64_t size = SizeProduct(page->bytesPerLine, static_cast<uint32_t>(page->height));
  if (page->compression != kUncompressed || size > page->dataSize) {
    copy->data = nullptr;
    return kErrParameter;
  }
  copy->data = static_cast<uint8_t*>(Allocate(size));
  copy->palette = page->palette ? static_cast<uint8_t*>(Allocate(768)) : nullptr;
  if (!copy->data || (page->palette && !copy->palette)) {
    FreePage(copy);
    return kErrMemory;
  }
  std::memcpy(copy->data, page->data + page->dataOffset, size);
  if (page->palette) std::memcpy(copy->palette, page->palette, 768);
  copy->dataOffset = 0;
  copy->dataSize = static_cast<uint32_t>(size);
  copy->dataOwnership = kOwnedByPage;
  return kOk;
}

}  // namespace quillon
