// The device's files: "\" is the device folder, "\Host\..." the host's own
// absolute paths.  Names are found case-insensitively; searches match * and
// ? case-insensitively and never return "." or "..".  The imaging library's
// path hook uses the same mapping.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>

#include "imaging/core/files.h"
#include "platform/devices/files_internal.h"
#include "platform/devices/virtual_printer.h"
#include "platform/kernel/kernel_objects.h"

namespace ce {

using namespace internal;

namespace internal {

namespace {

struct FileState {
  std::mutex lock;
  std::string root;  // host folder of "\"
  std::vector<std::string> readOnly;  // host folders
  std::vector<int> missingCom;
  std::map<const void*, size_t> views;
};

FileState& Files() {
  static FileState* s = new FileState;
  return *s;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  return Lower(ToU16(a)) == Lower(ToU16(b));
}

// The entry of `folder` whose name equals `name` ignoring case (the exact
// name first); the name itself when none does.
std::string ResolveComponent(const std::string& folder, const std::string& name) {
  std::string exact = folder + "/" + name;
  struct stat st;
  if (lstat(exact.c_str(), &st) == 0) return name;
  DIR* dir = opendir(folder.empty() ? "/" : folder.c_str());
  if (!dir) return name;
  std::string found = name;
  while (dirent* e = readdir(dir)) {
    if (EqualNoCase(e->d_name, name)) {
      found = e->d_name;
      break;
    }
  }
  closedir(dir);
  return found;
}

std::vector<std::string> Components(std::u16string_view path) {
  std::vector<std::string> parts;
  std::string cur;
  std::string utf8 = ToUtf8(path);
  for (size_t i = 0; i <= utf8.size(); ++i) {
    if (i == utf8.size() || utf8[i] == '\\' || utf8[i] == '/') {
      if (cur == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!cur.empty() && cur != ".") {
        parts.push_back(cur);
      }
      cur.clear();
    } else {
      cur.push_back(utf8[i]);
    }
  }
  return parts;
}

std::string DefaultRoot() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && *xdg) return std::string(xdg) + "/zelmo/device";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.local/share/zelmo/device";
}

std::string PathHook(std::u16string_view path) { return DeviceToHost(path); }

bool ReadOnlyHook(std::u16string_view path) { return IsWriteProtected(path); }

constexpr const char* kEmulatorFolder = ".emulator";

}  // namespace

std::string DeviceRoot() {
  std::lock_guard<std::mutex> lk(Files().lock);
  return Files().root;
}

std::string EmulatorFolder() { return DeviceRoot() + "/" + kEmulatorFolder; }

std::string PrintoutPath(const std::string& name) {
  std::string folder = DeviceToHost(u"\\Printouts");
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return folder + "/" + name;
}

bool IsWriteProtected(std::u16string_view path) {
  std::vector<std::string> folders;
  {
    std::lock_guard<std::mutex> lk(Files().lock);
    folders = Files().readOnly;
  }
  if (folders.empty()) return false;
  std::string host = DeviceToHost(path);
  for (const std::string& f : folders) {
    if (host == f || host.rfind(f + "/", 0) == 0) return true;
  }
  return false;
}

std::string DeviceToHost(std::u16string_view path) {
  std::vector<std::string> parts = Components(path);
  std::string base;
  size_t first = 0;
  if (!parts.empty() && EqualNoCase(parts[0], "Host")) {
    base = "";
    first = 1;
  } else {
    base = DeviceRoot();
  }
  std::string host = base;
  for (size_t i = first; i < parts.size(); ++i) host += "/" + ResolveComponent(host, parts[i]);
  return host.empty() ? "/" : host;
}

std::u16string HostToDevice(const std::string& hostPath) {
  std::error_code ec;
  std::filesystem::path abs = std::filesystem::absolute(hostPath, ec).lexically_normal();
  std::string s = abs.string();
  std::string root = DeviceRoot();
  std::string device;
  if (!root.empty() && (s == root || s.rfind(root + "/", 0) == 0)) {
    device = s.substr(root.size());
  } else {
    device = "/Host" + s;
  }
  if (device.empty()) device = "/";
  std::replace(device.begin(), device.end(), '/', '\\');
  return ToU16(device);
}

bool MatchPattern(std::u16string_view pattern, std::u16string_view name) {
  std::u16string p = Lower(pattern), n = Lower(name);
  if (p == u"*.*") return true;  // every name, with or without a dot
  size_t pi = 0, ni = 0, star = std::u16string::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == u'?' || p[pi] == n[ni])) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == u'*') {
      star = pi++;
      mark = ni;
    } else if (star != std::u16string::npos) {
      pi = star + 1;
      ni = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == u'*') ++pi;
  return pi == p.size();
}

FILETIME ToFileTime(int64_t seconds, int64_t nanos) {
  // Device file times are local time.
  time_t t = static_cast<time_t>(seconds);
  std::tm tm;
  localtime_r(&t, &tm);
  int64_t local = seconds + tm.tm_gmtoff;
  int64_t units = local * 10000000 + nanos / 100 + 116444736000000000LL;
  if (units < 0) units = 0;
  return FILETIME{static_cast<DWORD>(units), static_cast<DWORD>(static_cast<uint64_t>(units) >> 32)};
}

bool HostTimes(const std::string& host, int fd, FILETIME* creation, FILETIME* access, FILETIME* write) {
  struct statx sx;
  int r = fd >= 0 ? statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &sx)
                  : statx(AT_FDCWD, host.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx);
  if (r != 0) return false;
  // The birth time where the file system keeps one, else the last write.
  const statx_timestamp& born = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_mtime;
  if (creation) *creation = ToFileTime(born.tv_sec, born.tv_nsec);
  if (access) *access = ToFileTime(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
  if (write) *write = ToFileTime(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
  return true;
}

bool SetupDeviceFolder(const EmulatorConfig& config, std::string* error) {
  std::string root = config.root.empty() ? DefaultRoot() : config.root;
  std::error_code ec;
  std::filesystem::path abs = std::filesystem::absolute(root, ec).lexically_normal();
  root = abs.string();
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  bool fresh = !std::filesystem::exists(root, ec);
  std::filesystem::create_directories(root, ec);
  if (ec) {
    if (error) *error = "cannot create the device folder " + root + ": " + ec.message();
    return false;
  }
  for (const char* folder : {"My Documents", "temp", "Windows", kEmulatorFolder}) {
    std::filesystem::create_directories(root + "/" + folder, ec);
  }
  if (fresh && !config.samples.empty()) {
    for (const auto& e : std::filesystem::directory_iterator(config.samples, ec)) {
      if (!e.is_regular_file()) continue;
      if (e.path().extension() == ".md") continue;
      std::filesystem::copy_file(e.path(), root + "/My Documents/" + e.path().filename().string(),
                                 std::filesystem::copy_options::skip_existing, ec);
    }
  }
  {
    std::lock_guard<std::mutex> lk(Files().lock);
    Files().root = root;
    Files().missingCom = config.missingComPorts;
    Files().readOnly.clear();
  }
  std::vector<std::string> readOnly;
  for (const std::string& folder : config.readOnly) readOnly.push_back(DeviceToHost(ToU16(folder)));
  {
    std::lock_guard<std::mutex> lk(Files().lock);
    Files().readOnly = readOnly;
  }
  quillon::SetPathHook(PathHook);
  quillon::SetReadOnlyHook(ReadOnlyHook);
  return true;
}

void StopFiles() {
  quillon::SetPathHook(nullptr);
  quillon::SetReadOnlyHook(nullptr);
  std::lock_guard<std::mutex> lk(Files().lock);
  for (auto& [view, size] : Files().views) munmap(const_cast<void*>(view), size);
  Files().views.clear();
}

}  // namespace internal

// ---------------------------------------------------------------------------
// Open files

namespace {

struct FileRecord {
  int fd = -1;
  std::string host;
  // A serial port's job for the virtual printer: it ends with the handle.
  PrintoutJob* printer = nullptr;
  std::mutex printerLock;
  ~FileRecord() {
    if (fd >= 0) ::close(fd);
    EndPrintoutJob(printer);
  }
};

struct FindRecord {
  std::vector<WIN32_FIND_DATA> entries;
  size_t next = 0;
};

struct MappingRecord {
  std::shared_ptr<FileRecord> file;
  uint64_t size = 0;
};

// "COM1:" .. "COM4:"; 0 for any other name.
int ComPort(std::u16string_view path) {
  std::u16string p = Lower(path);
  if (p.size() == 5 && p.compare(0, 3, u"com") == 0 && p[4] == u':' && p[3] >= u'1' && p[3] <= u'4')
    return p[3] - u'0';
  return 0;
}

void SetErrno() {
  switch (errno) {
    case ENOENT: SetLastError(ERROR_FILE_NOT_FOUND); break;
    case ENOTDIR: SetLastError(ERROR_PATH_NOT_FOUND); break;
    case EEXIST: SetLastError(ERROR_FILE_EXISTS); break;
    case EACCES:
    case EPERM: SetLastError(ERROR_ACCESS_DENIED); break;
    default: SetLastError(ERROR_ACCESS_DENIED); break;
  }
}

HANDLE OpenHost(const std::string& host, int flags) {
  int fd;
  do {
    fd = ::open(host.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    SetErrno();
    return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  auto r = std::make_shared<FileRecord>();
  r->fd = fd;
  r->host = host;
  return AddObject(ObjectKind::kFile, r);
}

std::shared_ptr<FileRecord> File(HANDLE h) { return Lookup<FileRecord>(h, ObjectKind::kFile); }

}  // namespace

HANDLE CreateFile(LPCWSTR path, DWORD access, DWORD, void*, DWORD disposition, DWORD, HANDLE) {
  if (!path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (int port = ComPort(path)) {
    // The serial ports append what is written to \COMn.prn.
    {
      std::lock_guard<std::mutex> lk(Files().lock);
      const auto& missing = Files().missingCom;
      if (std::find(missing.begin(), missing.end(), port) != missing.end()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
      }
    }
    const std::string name = "COM" + std::to_string(port);
    HANDLE h = OpenHost(PrintoutPath(name + ".prn"), O_WRONLY | O_CREAT | O_APPEND);
    if (h != INVALID_HANDLE_VALUE) File(h)->printer = BeginPrintoutJob(name.c_str());
    return h;
  }
  if (((access & GENERIC_WRITE) || disposition != OPEN_EXISTING) && IsWriteProtected(path)) {
    // Opening an existing file for reading only is all a protected card allows.
    bool readExisting = !(access & GENERIC_WRITE) && disposition == OPEN_ALWAYS &&
                        ::access(DeviceToHost(path).c_str(), F_OK) == 0;
    if (!readExisting) {
      SetLastError(ERROR_WRITE_PROTECT);
      return INVALID_HANDLE_VALUE;
    }
    disposition = OPEN_EXISTING;
  }
  int flags = (access & GENERIC_WRITE) ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
  switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
  }
  return OpenHost(DeviceToHost(path), flags);
}

HANDLE CreateFileForMapping(LPCWSTR path, DWORD access, DWORD share, void* security,
                            DWORD disposition, DWORD flags, HANDLE templateFile) {
  return CreateFile(path, access & GENERIC_READ, share, security, disposition, flags, templateFile);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* done, void*) {
  if (done) *done = 0;
  auto f = File(file);
  if (!f || (!buffer && count)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  size_t total = 0;
  while (total < count) {
    ssize_t n = ::read(f->fd, static_cast<uint8_t*>(buffer) + total, count - total);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SetErrno();
      return FALSE;
    }
    if (n == 0) break;
    total += static_cast<size_t>(n);
  }
  if (done) *done = static_cast<DWORD>(total);
  return TRUE;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* done, void*) {
  if (done) *done = 0;
  auto f = File(file);
  if (!f || (!buffer && count)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  size_t total = 0;
  while (total < count) {
    ssize_t n = ::write(f->fd, static_cast<const uint8_t*>(buffer) + total, count - total);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetErrno();
      return FALSE;
    }
    total += static_cast<size_t>(n);
  }
  if (done) *done = static_cast<DWORD>(total);
  if (f->printer) {
    std::lock_guard<std::mutex> lk(f->printerLock);
    FeedPrintoutJob(f->printer, buffer, total);
  }
  return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
  auto f = File(file);
  if (!f) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  int64_t d = distanceHigh ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                                  static_cast<uint32_t>(distance))
                           : static_cast<int64_t>(distance);
  int whence = method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : SEEK_SET;
  off_t r = ::lseek(f->fd, static_cast<off_t>(d), whence);
  if (r < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(r) >> 32);
  return static_cast<DWORD>(r);
}

DWORD GetFileSize(HANDLE file, DWORD* sizeHigh) {
  auto f = File(file);
  struct stat st;
  if (!f || fstat(f->fd, &st) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  if (sizeHigh) *sizeHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) >> 32);
  return static_cast<DWORD>(st.st_size);
}

BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite) {
  auto f = File(file);
  if (!f) return FALSE;
  return HostTimes(f->host, f->fd, creation, lastAccess, lastWrite) ? TRUE : FALSE;
}

BOOL FlushFileBuffers(HANDLE file) {
  auto f = File(file);
  return f && ::fsync(f->fd) == 0;
}

// Fails a change under a --read-only folder as a write-protected card does.
bool Protected(LPCWSTR path) {
  if (!path || !IsWriteProtected(path)) return false;
  SetLastError(ERROR_WRITE_PROTECT);
  return true;
}

BOOL DeleteFile(LPCWSTR path) {
  if (!path || Protected(path)) return FALSE;
  std::string host = DeviceToHost(path);
  struct stat st;
  if (lstat(host.c_str(), &st) != 0 || S_ISDIR(st.st_mode) || ::unlink(host.c_str()) != 0) {
    SetErrno();
    return FALSE;
  }
  return TRUE;
}

BOOL CopyFile(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
  if (!from || !to) return FALSE;
  HANDLE in = CreateFile(from, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return FALSE;
  HANDLE out = CreateFile(to, GENERIC_WRITE, 0, nullptr, failIfExists ? CREATE_NEW : CREATE_ALWAYS,
                          0, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    CloseHandle(in);
    return FALSE;
  }
  std::vector<uint8_t> buf(1 << 16);
  BOOL ok = TRUE;
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(in, buf.data(), static_cast<DWORD>(buf.size()), &n, nullptr)) {
      ok = FALSE;
      break;
    }
    if (n == 0) break;
    DWORD w = 0;
    if (!WriteFile(out, buf.data(), n, &w, nullptr) || w != n) {
      ok = FALSE;
      break;
    }
  }
  CloseHandle(in);
  CloseHandle(out);
  return ok;
}

BOOL MoveFile(LPCWSTR from, LPCWSTR to) {
  if (!from || !to || Protected(from) || Protected(to)) return FALSE;
  std::string a = DeviceToHost(from), b = DeviceToHost(to);
  struct stat st;
  if (lstat(b.c_str(), &st) == 0) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  if (::rename(a.c_str(), b.c_str()) != 0) {
    SetErrno();
    return FALSE;
  }
  return TRUE;
}

BOOL CreateDirectory(LPCWSTR path, void*) {
  if (Protected(path)) return FALSE;
  if (!path || ::mkdir(DeviceToHost(path).c_str(), 0777) != 0) {
    if (path) SetErrno();
    return FALSE;
  }
  return TRUE;
}

BOOL RemoveDirectory(LPCWSTR path) {
  if (Protected(path)) return FALSE;
  if (!path || ::rmdir(DeviceToHost(path).c_str()) != 0) {
    if (path) SetErrno();
    return FALSE;
  }
  return TRUE;
}

DWORD GetFileAttributes(LPCWSTR path) {
  if (!path) return INVALID_FILE_ATTRIBUTES;
  struct stat st;
  if (::stat(DeviceToHost(path).c_str(), &st) != 0) {
    SetErrno();
    return INVALID_FILE_ATTRIBUTES;
  }
  return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : 0;
}

// ---------------------------------------------------------------------------
// Searches

HANDLE FindFirstFile(LPCWSTR pattern, WIN32_FIND_DATA* data) {
  if (!pattern || !data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::u16string p(pattern);
  size_t slash = p.find_last_of(u"\\/");
  std::u16string folder = slash == std::u16string::npos ? u"\\" : p.substr(0, slash);
  std::u16string mask = slash == std::u16string::npos ? p : p.substr(slash + 1);
  std::string host = DeviceToHost(folder.empty() ? u"\\" : folder);
  auto record = std::make_shared<FindRecord>();
  DIR* dir = opendir(host.c_str());
  if (!dir) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  // "\" shows the device's own files and "Host", the way to the host's,
  // as a storage card shows; the emulator's folder stays out of sight.
  const bool deviceRoot = host == DeviceRoot();
  std::vector<std::pair<std::string, std::string>> names;  // shown, host path
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (deviceRoot && (EqualNoCase(name, kEmulatorFolder) || EqualNoCase(name, "Host"))) continue;
    names.emplace_back(name, host + "/" + name);
  }
  closedir(dir);
  if (deviceRoot) names.emplace_back("Host", "/");
  for (const auto& [name, full] : names) {
    std::u16string wide = ToU16(name);
    if (!MatchPattern(mask, wide) || wide.size() >= MAX_PATH) continue;
    struct stat st;
    if (::stat(full.c_str(), &st) != 0) continue;
    WIN32_FIND_DATA d{};
    d.dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : 0;
    uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    d.nFileSizeLow = static_cast<DWORD>(size);
    d.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    HostTimes(full, -1, &d.ftCreationTime, &d.ftLastAccessTime, &d.ftLastWriteTime);
    std::copy(wide.begin(), wide.end(), d.cFileName);
    record->entries.push_back(d);
  }
  // Directory order on the host is arbitrary: present names in order.
  std::sort(record->entries.begin(), record->entries.end(),
            [](const WIN32_FIND_DATA& a, const WIN32_FIND_DATA& b) {
              return Lower(a.cFileName) < Lower(b.cFileName);
            });
  if (record->entries.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  *data = record->entries[0];
  record->next = 1;
  return AddObject(ObjectKind::kFind, record);
}

BOOL FindNextFile(HANDLE find, WIN32_FIND_DATA* data) {
  auto r = Lookup<FindRecord>(find, ObjectKind::kFind);
  if (!r || !data) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (r->next >= r->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *data = r->entries[r->next++];
  return TRUE;
}

BOOL FindClose(HANDLE find) {
  ObjectKind kind;
  if (!Lookup<FindRecord>(find, ObjectKind::kFind)) return FALSE;
  return RemoveObject(find, &kind) ? TRUE : FALSE;
}

// ---------------------------------------------------------------------------
// Read-only mapping of a whole file

HANDLE CreateFileMapping(HANDLE file, void*, DWORD, DWORD, DWORD, LPCWSTR) {
  auto f = File(file);
  struct stat st;
  if (!f || fstat(f->fd, &st) != 0) return nullptr;
  auto m = std::make_shared<MappingRecord>();
  m->file = f;
  m->size = static_cast<uint64_t>(st.st_size);
  return AddObject(ObjectKind::kMapping, m);
}

void* MapViewOfFile(HANDLE mapping, DWORD, DWORD, DWORD, size_t) {
  auto m = Lookup<MappingRecord>(mapping, ObjectKind::kMapping);
  if (!m || m->size == 0) return nullptr;
  void* view = mmap(nullptr, m->size, PROT_READ, MAP_PRIVATE, m->file->fd, 0);
  if (view == MAP_FAILED) return nullptr;
  std::lock_guard<std::mutex> lk(Files().lock);
  Files().views[view] = m->size;
  return view;
}

BOOL UnmapViewOfFile(const void* view) {
  std::lock_guard<std::mutex> lk(Files().lock);
  auto it = Files().views.find(view);
  if (it == Files().views.end()) return FALSE;
  munmap(const_cast<void*>(view), it->second);
  Files().views.erase(it);
  return TRUE;
}

}  // namespace ce
