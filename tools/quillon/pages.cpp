#include "tools/quillon/pages.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "imaging/core/files.h"
#include "tools/quillon/tool.h"

namespace quillon_tool {

int MemoryFile() { return memfd_create("quillon", MFD_CLOEXEC); }

bool CopyToStandardOutput(int fd) {
  std::vector<char> buffer(1 << 16);
  if (lseek(fd, 0, SEEK_SET) != 0) return false;
  for (;;) {
    const ssize_t n = read(fd, buffer.data(), buffer.size());
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(1, buffer.data() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno != EINTR) return false;
      if (w > 0) done += w;
    }
  }
}

namespace {

// Standard input copied into a file in memory, or -1 (with errno; EFBIG
// past the allocation limit).
int ReadStandardInput() {
  const int fd = MemoryFile();
  if (fd < 0) return -1;
  std::vector<char> buffer(1 << 16);
  uint64_t total = 0;
  for (;;) {
    const ssize_t n = read(0, buffer.data(), buffer.size());
    if (n == 0) return fd;
    if (n < 0 && errno == EINTR) continue;
    total += n > 0 ? static_cast<uint64_t>(n) : 0;
    if (n < 0 || total > quillon::AllocationLimit() || write(fd, buffer.data(), static_cast<size_t>(n)) != n) {
      const int error = n < 0 ? errno : total > quillon::AllocationLimit() ? EFBIG : errno;
      close(fd);
      errno = error;
      return -1;
    }
  }
}

}  // namespace

File::File(const std::string& name) {
  std::string path = name;
  if (IsStandardStream(name)) {
    memory_ = ReadStandardInput();
    if (memory_ < 0) {
      result_ = quillon::kErrIo;
      reason_ = errno == EFBIG ? "larger than the library holds" : std::strerror(errno);
      return;
    }
    path = "/proc/self/fd/" + std::to_string(memory_);
  }
  result_ = quillon::OpenImageFile(quillon::Utf8ToUtf16(path).c_str(), &file_);
  if (result_ == quillon::kErrIo && memory_ < 0) reason_ = OpenFailure(name);
}

File::~File() {
  quillon::FreePage(&frame_.record);
  if (file_.accessMode != quillon::kAccessClosed) quillon::CloseImageFile(&file_);
  if (memory_ >= 0) close(memory_);
}

std::string OpenFailure(const std::string& name) {
  struct stat st;
  if (::stat(name.c_str(), &st) != 0) return std::strerror(errno);
  if (S_ISDIR(st.st_mode)) return "is a directory";
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  close(fd);
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
