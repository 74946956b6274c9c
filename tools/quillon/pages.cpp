#include "tools/quillon/pages.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "imaging/core/files.h"

namespace quillon_tool {

File::File(const std::string& name) {
  std::u16string path = quillon::Utf8ToUtf16(name);
  result_ = quillon::OpenImageFile(path.c_str(), &file_);
}

File::~File() {
  quillon::FreePage(&frame_.record);
  if (file_.accessMode != quillon::kAccessClosed) quillon::CloseImageFile(&file_);
}

std::string OpenFailure(const std::string& name) {
  struct stat st;
  if (::stat(name.c_str(), &st) != 0) return std::strerror(errno);
  if (S_ISDIR(st.st_mode)) return "is a folder";
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  return "";
}

std::string SaveFailure(const std::string& name, int error) {
  struct stat st;
  if (::stat(name.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return OpenFailure(name);
  return std::strerror(error);
}

int32_t ExtractPageOf(File& file, int32_t index, OwnedPage& page) {
  quillon::ImageFile* f = file.get();
  quillon::FreePage(&page.record);
  page.record = quillon::PageRecord{};
  if (index < 0 || index >= f->pageCount) return quillon::kErrPageNotFound;
  if (f->fileType != quillon::kFileFli) return quillon::ExtractPage(f, &page.record, index);

  // Each frame is drawn on top of the previous one, in the same record:
  // go on from the frame held, or start again from the first.
  quillon::PageRecord& frame = file.frame_.record;
  if (file.frameIndex_ < 0 || index < file.frameIndex_) {
    quillon::FreePage(&frame);
    frame = quillon::PageRecord{};
    file.frameIndex_ = -1;
  }
  while (file.frameIndex_ < index) {
    int32_t r = quillon::ExtractPage(f, &frame, file.frameIndex_ + 1);
    if (r != quillon::kOk) {
      quillon::FreePage(&frame);
      frame = quillon::PageRecord{};
      file.frameIndex_ = -1;
      return r;
    }
    ++file.frameIndex_;
  }
  uint8_t* palette = nullptr;
  if (frame.palette) {
    palette = static_cast<uint8_t*>(quillon::Allocate(768));
    if (!palette) return quillon::kErrMemory;
    std::memcpy(palette, frame.palette, 768);
  }
  page.record = frame;
  page.record.dataOwnership = quillon::kOwnedByView;
  page.record.palette = palette;
  return quillon::kOk;
}

int32_t LoadDisplayPage(File& file, int32_t index, int32_t flags, OwnedPage& page) {
  OwnedPage source;
  int32_t r = ExtractPageOf(file, index, source);
  if (r != quillon::kOk) return r;
  quillon::FreePage(&page.record);
  page.record = quillon::PageRecord{};
  const quillon::PageRecord& s = source.record;
  const bool plain = s.compression == quillon::kUncompressed && s.bitsPerPixel != 1 &&
                     s.stripCount < 2 && !s.stripOffsets &&
                     !(s.layoutFlags & quillon::kLayoutBottomUp);
  if (plain) {
    // Already what a decode would give: one copy of a large page is enough.
    page.record = s;
    source.record = quillon::PageRecord{};
    return quillon::kOk;
  }
  page.record.compression = static_cast<int8_t>(
      s.bitsPerPixel == 1 ? quillon::kRunLists : quillon::kUncompressed);
  r = quillon::ConvertPage(&source.record, &page.record, flags);
  if (r != quillon::kOk) page.record = quillon::PageRecord{};
  return r;
}

}  // namespace quillon_tool
