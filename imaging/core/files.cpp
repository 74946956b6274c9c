// File primitives over the path hook, and closing an ImageFile.
#include "imaging/core/files.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <time.h>

#include <atomic>
#include <cerrno>
#include <utility>


namespace quillon {

namespace {

std::atomic<PathHook> gPathHook{nullptr};
std::atomic<ReadOnlyHook> gReadOnlyHook{nullptr};

FileHandle OpenHost(const char16_t* path, int flags, mode_t mode = 0) {
  if (!path) return kInvalidHandle;
  ReadOnlyHook readOnly = gReadOnlyHook;
  if (readOnly && (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) && readOnly(path)) {
    errno = EROFS;
    return kInvalidHandle;
  }
  std::string host = HostPath(path);
  if (host.empty()) return kInvalidHandle;
  int fd;
  do {
    fd = ::open(host.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd < 0 ? kInvalidHandle : fd;
}

}  // namespace

void SetPathHook(PathHook hook) { gPathHook = hook; }
void SetReadOnlyHook(ReadOnlyHook hook) { gReadOnlyHook = hook; }

std::string HostPath(std::u16string_view path) {
  PathHook hook = gPathHook;
  return hook ? hook(path) : Utf16ToUtf8(path);
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    uint32_t c = static_cast<uint8_t>(text[i]);
    int extra = c < 0x80 ? 0 : c < 0xC0 ? -1 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    bool ok = extra >= 0 && i + extra < text.size();
    if (ok && extra > 0) {
      c &= 0x3F >> extra;
      for (int k = 1; k <= extra && ok; ++k) {
        uint8_t b = static_cast<uint8_t>(text[i + k]);
        ok = (b & 0xC0) == 0x80;
        c = (c << 6) | (b & 0x3F);
      }
    }
    if (!ok) {  // malformed sequence: one replacement character per byte
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    i += extra + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() &&
        text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

namespace {

// Only regular files are files here: a FIFO, a terminal or another device
// would block or never end.  The open itself must not wait for a FIFO's
// other end, so it is made without blocking, which is then turned off.
FileHandle OpenRegular(const char16_t* path, int flags, mode_t mode = 0) {
  FileHandle fd = OpenHost(path, flags | O_NONBLOCK, mode);
  if (fd == kInvalidHandle) return fd;
  struct stat st{};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return kInvalidHandle;
  }
  int status = fcntl(fd, F_GETFL);
  if (status != -1) fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  return fd;
}

}  // namespace

FileHandle OpenForRead(const char16_t* path) { return OpenRegular(path, O_RDONLY); }

FileHandle OpenForReadWrite(const char16_t* path) {
  FileHandle fd = OpenRegular(path, O_RDWR);
  return fd != kInvalidHandle ? fd : OpenForRead(path);
}

FileHandle CreateForWrite(const char16_t* path) {
  // Readable too, so that pages can be appended.
  const FileHandle fd = OpenRegular(path, O_RDWR | O_CREAT | O_TRUNC, 0666);
  return fd != kInvalidHandle ? fd : OpenRegular(path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
}

int64_t Seek(FileHandle handle, int64_t position, int origin) {
  int whence = origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : SEEK_SET;
  off_t r = ::lseek(handle, static_cast<off_t>(position), whence);
  return r < 0 ? -1 : static_cast<int64_t>(r);
}

int64_t Read(FileHandle handle, void* buffer, uint64_t count) {
  uint8_t* p = static_cast<uint8_t*>(buffer);
  uint64_t done = 0;
  while (done < count) {
    ssize_t n = ::read(handle, p + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<uint64_t>(n);
  }
  return static_cast<int64_t>(done);
}

int64_t Write(FileHandle handle, const void* buffer, uint64_t count) {
  const uint8_t* p = static_cast<const uint8_t*>(buffer);
  uint64_t done = 0;
  while (done < count) {
    ssize_t n = ::write(handle, p + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<uint64_t>(n);
  }
  return static_cast<int64_t>(done);
}

void Close(FileHandle handle) {
  if (handle >= 0) ::close(handle);
}

int64_t ReadAt(FileHandle handle, uint64_t position, void* buffer,
               uint64_t count) {
  uint8_t* p = static_cast<uint8_t*>(buffer);
  uint64_t done = 0;
  while (done < count) {
    ssize_t n = ::pread(handle, p + done, count - done,
                        static_cast<off_t>(position + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<uint64_t>(n);
  }
  return static_cast<int64_t>(done);
}

uint8_t* MapWholeFile(const char16_t* path, uint64_t* length) {
  *length = 0;
  FileHandle fd = OpenForRead(path);
  if (fd == kInvalidHandle) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0 || st.st_size <= 0) {
    ::close(fd);
    return nullptr;
  }
  void* p = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ,
                 MAP_PRIVATE, fd, 0);
  ::close(fd);
  if (p == MAP_FAILED) return nullptr;
  *length = static_cast<uint64_t>(st.st_size);
  return static_cast<uint8_t*>(p);
}

void UnmapView(uint8_t* view, uint64_t length) {
  if (view && length) munmap(view, length);
}

bool BeginReplacingSave(const char16_t* target, ReplacingSave* save) {
  *save = ReplacingSave{};
  if (!target) return false;
  ReadOnlyHook readOnly = gReadOnlyHook;
  if (readOnly && readOnly(target)) {
    errno = EROFS;
    return false;
  }
  save->target = HostPath(target);
  if (save->target.empty()) return false;
  // Only a regular file (or a new name) is replaced: renaming over a device
  // or a FIFO would take it away from everyone else.
  struct stat old{};
  const bool replacing = ::stat(save->target.c_str(), &old) == 0;
  if (replacing && !S_ISREG(old.st_mode)) {
    errno = S_ISDIR(old.st_mode) ? EISDIR : EINVAL;
    return false;
  }
  // A fresh name in the target's folder (rename works only within one file
  // system); O_EXCL and O_NOFOLLOW leave any file or link of that name,
  // planted or the user's own, as it is.
  static std::atomic<uint64_t> counter{0};
  constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  uint64_t seed = static_cast<uint64_t>(getpid()) * 0x9E3779B97F4A7C15u ^
                  reinterpret_cast<uintptr_t>(save);
  for (int attempt = 0; attempt < 100; ++attempt) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t v = seed ^ (static_cast<uint64_t>(now.tv_nsec) << 20) ^
                 static_cast<uint64_t>(now.tv_sec) ^ (++counter * 0xBF58476D1CE4E5B9u);
    std::string name = save->target + ".";
    for (int k = 0; k < 8; ++k, v /= 62) name += kLetters[v % 62];
    name += ".part";
    int fd;
    do {
      fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    // The saved file keeps the mode of the one it replaces, private files
    // private from the first byte on.
    if (replacing) fchmod(fd, old.st_mode & 07777);
    save->handle = fd;
    save->temporary = std::move(name);
    return true;
  }
  errno = EEXIST;
  return false;
}

bool CommitReplacingSave(ReplacingSave* save) {
  if (save->handle == kInvalidHandle) return false;
  bool ok = ::fsync(save->handle) == 0;
  ok = ::close(save->handle) == 0 && ok;
  save->handle = kInvalidHandle;
  ok = ok && ::rename(save->temporary.c_str(), save->target.c_str()) == 0;
  if (!ok) {
    int error = errno;
    ::unlink(save->temporary.c_str());
    errno = error;
  }
  save->temporary.clear();
  return ok;
}

void AbandonReplacingSave(ReplacingSave* save) {
  if (save->handle != kInvalidHandle) ::close(save->handle);
  save->handle = kInvalidHandle;
  if (!save->temporary.empty()) ::unlink(save->temporary.c_str());
  save->temporary.clear();
}

}  // namespace quillon
