// The registry: one tree per root kept as a readable text file in the device
// folder, shared with every other emulator process on that folder.  Reads
// reload the file when another process changed it; writes take a lock,
// reload, change and replace the file atomically.  Values keep any type
// with any length.  A damaged file (one that does not parse, or that is no
// regular file under 16 MiB) is set aside with one warning and the registry
// starts empty.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/devices/files_internal.h"

namespace ce {

using namespace internal;

namespace {

struct Value {
  std::u16string name;  // as written
  DWORD type = REG_NONE;
  std::vector<uint8_t> data;
};

struct Key {
  std::u16string path;  // "HKEY_LOCAL_MACHINE\SOFTWARE\..." as written
  std::map<std::u16string, Value> values;  // by lower-case name
};

struct Stamp {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = -1;
  int64_t mtime = 0;
  bool operator==(const Stamp&) const = default;
};

struct RegistryState {
  std::mutex lock;
  std::string file;
  std::string lockFile;
  std::map<std::u16string, Key> keys;  // by lower-case path
  Stamp stamp;
  uint32_t nextHandle = 1;
  std::map<uint32_t, std::u16string> open;  // handle -> lower-case path
};

RegistryState& Reg() {
  static RegistryState* s = new RegistryState;
  return *s;
}

const char16_t* RootName(HKEY root) {
  switch (reinterpret_cast<uintptr_t>(root)) {
    case 0x80000000: return u"HKEY_CLASSES_ROOT";
    case 0x80000001: return u"HKEY_CURRENT_USER";
    case 0x80000002: return u"HKEY_LOCAL_MACHINE";
    case 0x80000003: return u"HKEY_USERS";
    default: return nullptr;
  }
}

// The full path of a key handle or root, "" when unknown.
std::u16string PathOfLocked(HKEY key) {
  if (const char16_t* root = RootName(key)) return root;
  auto it = Reg().open.find(HandleId(key));
  return it == Reg().open.end() ? u"" : it->second;
}

std::u16string Join(const std::u16string& base, LPCWSTR sub) {
  std::u16string out = base;
  std::u16string s = FromW(sub);
  size_t i = 0;
  while (i < s.size()) {
    size_t j = s.find(u'\\', i);
    if (j == std::u16string::npos) j = s.size();
    if (j > i) out += u"\\" + s.substr(i, j - i);
    i = j + 1;
  }
  return out;
}

Stamp StampOf(const std::string& file) {
  struct stat st;
  Stamp s;
  if (::stat(file.c_str(), &st) != 0) return s;
  s.dev = st.st_dev;
  s.ino = st.st_ino;
  s.size = st.st_size;
  s.mtime = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return s;
}

// ---------------------------------------------------------------------------
// The text form

std::string Hex(const std::vector<uint8_t>& d) {
  std::string out;
  char b[4];
  for (size_t i = 0; i < d.size(); ++i) {
    std::snprintf(b, sizeof(b), "%02x", d[i]);
    if (i) out += ',';
    out += b;
  }
  return out;
}

// A terminated UTF-16 string with no other zero and no control characters.
bool PlainString(const Value& v, std::u16string* text) {
  if ((v.type != REG_SZ && v.type != REG_EXPAND_SZ) || v.data.size() < 2 || v.data.size() % 2)
    return false;
  size_t n = v.data.size() / 2;
  std::u16string s(n, u'\0');
  std::memcpy(s.data(), v.data.data(), v.data.size());
  if (s.back() != 0) return false;
  s.pop_back();
  for (char16_t c : s) {
    if (c < 0x20 || (c >= 0xD800 && c < 0xE000)) return false;
  }
  *text = s;
  return true;
}

std::string Quote(const std::u16string& s) {
  std::string out = "\"";
  for (char c : ToUtf8(s)) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string Serialize(const std::map<std::u16string, Key>& keys) {
  std::ostringstream out;
  out << "; Zelmo device registry. Values: \"name\"=dword:XXXXXXXX, =\"text\" (REG_SZ),\n"
         "; or =hex(TYPE):bytes for any type and length. @ is the unnamed value.\n";
  for (const auto& [lower, key] : keys) {
    out << "\n[" << ToUtf8(key.path) << "]\n";
    for (const auto& [lname, v] : key.values) {
      out << (v.name.empty() ? std::string("@") : Quote(v.name)) << "=";
      std::u16string text;
      if (v.type == REG_DWORD && v.data.size() == 4) {
        uint32_t d;
        std::memcpy(&d, v.data.data(), 4);
        char b[16];
        std::snprintf(b, sizeof(b), "dword:%08x", d);
        out << b;
      } else if (v.type == REG_SZ && PlainString(v, &text)) {
        out << Quote(text);
      } else {
        out << "hex(" << v.type << "):" << Hex(v.data);
      }
      out << "\n";
    }
  }
  return out.str();
}

// Parses a quoted string at s[i] (after the quote is checked); false when
// it does not end.
bool Unquote(const std::string& s, size_t* i, std::string* out) {
  if (*i >= s.size() || s[*i] != '"') return false;
  ++*i;
  while (*i < s.size()) {
    char c = s[(*i)++];
    if (c == '"') return true;
    if (c == '\\') {
      if (*i >= s.size()) return false;
      c = s[(*i)++];
      if (c != '\\' && c != '"') return false;
    }
    out->push_back(c);
  }
  return false;
}

bool ParseHexBytes(const std::string& s, std::vector<uint8_t>* out) {
  if (s.empty()) return true;
  size_t i = 0;
  while (i < s.size()) {
    if (i + 2 > s.size()) return false;
    auto nibble = [](char c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    int hi = nibble(s[i]), lo = nibble(s[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out->push_back(static_cast<uint8_t>(hi * 16 + lo));
    i += 2;
    if (i < s.size()) {
      if (s[i] != ',') return false;
      ++i;
      if (i == s.size()) return false;
    }
  }
  return true;
}

bool Parse(const std::string& text, std::map<std::u16string, Key>* keys, int* badLine) {
  std::istringstream in(text);
  std::string line;
  Key* current = nullptr;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    *badLine = number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']' || line.size() < 3) return false;
      std::u16string path = ToU16(line.substr(1, line.size() - 2));
      std::u16string root = path.substr(0, path.find(u'\\'));
      if (root != u"HKEY_CLASSES_ROOT" && root != u"HKEY_CURRENT_USER" &&
          root != u"HKEY_LOCAL_MACHINE" && root != u"HKEY_USERS")
        return false;
      Key& k = (*keys)[Lower(path)];
      k.path = path;
      current = &k;
      continue;
    }
    if (!current) return false;
    Value v;
    size_t i = 0;
    if (line[0] == '@') {
      i = 1;
    } else {
      std::string name;
      if (!Unquote(line, &i, &name)) return false;
      v.name = ToU16(name);
    }
    if (i >= line.size() || line[i] != '=') return false;
    std::string rest = line.substr(i + 1);
    if (rest.rfind("dword:", 0) == 0) {
      std::string digits = rest.substr(6);
      if (digits.size() != 8) return false;
      std::vector<uint8_t> be;
      for (size_t k = 0; k < 8; k += 2) {
        if (!ParseHexBytes(digits.substr(k, 2), &be)) return false;
      }
      v.type = REG_DWORD;
      v.data = {be[3], be[2], be[1], be[0]};
    } else if (!rest.empty() && rest[0] == '"') {
      std::string s;
      size_t j = 0;
      if (!Unquote(rest, &j, &s) || j != rest.size()) return false;
      std::u16string w = ToU16(s);
      w.push_back(0);
      v.type = REG_SZ;
      v.data.resize(w.size() * 2);
      std::memcpy(v.data.data(), w.data(), v.data.size());
    } else if (rest.rfind("hex(", 0) == 0) {
      size_t close = rest.find("):");
      if (close == std::string::npos) return false;
      long long type;
      std::string t = rest.substr(4, close - 4);
      char* end = nullptr;
      type = std::strtoll(t.c_str(), &end, 10);
      if (t.empty() || *end || type < 0 || type > 0xFFFF) return false;
      v.type = static_cast<DWORD>(type);
      if (!ParseHexBytes(rest.substr(close + 2), &v.data)) return false;
    } else {
      return false;
    }
    current->values[Lower(v.name)] = v;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Loading and saving

class FileLock {
 public:
  FileLock(const std::string& path, bool exclusive) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      while (flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0 && errno == EINTR) {
      }
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_ = -1;
};

constexpr off_t kMaxRegistryFile = 16 << 20;

enum class Load { kMissing, kRead, kUnusable };

// Reads the registry file whole.  Anything but a regular file under the
// cap (a folder, a FIFO, a device behind a link) is unusable and never
// read: opening does not wait for a FIFO's writer.
Load ReadRegistryFile(const std::string& path, std::string* text) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? Load::kMissing : Load::kUnusable;
  struct stat st;
  bool usable = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxRegistryFile;
  if (usable) {
    text->resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < text->size()) {
      ssize_t n = ::read(fd, text->data() + done, text->size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    text->resize(done);
  }
  ::close(fd);
  return usable ? Load::kRead : Load::kUnusable;
}

// Reloads the file when it changed since it was read (lock held).
void RefreshLocked() {
  RegistryState& r = Reg();
  Stamp now = StampOf(r.file);
  if (now == r.stamp) return;
  r.stamp = now;
  r.keys.clear();
  std::string text;
  Load load = ReadRegistryFile(r.file, &text);
  if (load == Load::kMissing) return;
  std::map<std::u16string, Key> keys;
  int bad = 0;
  if (load == Load::kRead && Parse(text, &keys, &bad)) {
    r.keys = std::move(keys);
    return;
  }
  std::string what = load == Load::kRead ? "is damaged (line " + std::to_string(bad) + ")"
                                          : "is not a regular file of at most 16 MiB";
  std::string aside = r.file + ".damaged";
  std::error_code ec;
  std::filesystem::remove_all(aside, ec);
  bool kept = ::rename(r.file.c_str(), aside.c_str()) == 0;
  std::fprintf(stderr, "zelmo: the registry file %s %s; %s and the registry starts empty\n",
               r.file.c_str(), what.c_str(),
               kept ? ("it is kept as " + aside).c_str() : "it cannot be set aside");
  r.stamp = StampOf(r.file);
}

// Earlier device folders kept the registry beside the device's files.
void MoveIntoEmulatorFolder() {
  for (const char* name : {"registry.txt", "registry.lock", "registry.txt.damaged"}) {
    std::string from = DeviceRoot() + "/" + name, to = EmulatorFolder() + "/" + name;
    struct stat st;
    if (lstat(from.c_str(), &st) == 0 && lstat(to.c_str(), &st) != 0) ::rename(from.c_str(), to.c_str());
  }
}

void SaveLocked() {
  RegistryState& r = Reg();
  std::string tmp = r.file + ".tmp" + std::to_string(getpid());
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << Serialize(r.keys);
    if (!out) return;
  }
  if (::rename(tmp.c_str(), r.file.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return;
  }
  r.stamp = StampOf(r.file);
}

// Reads the file under a shared lock when another process may have changed
// it.
void Refresh() {
  FileLock fl(Reg().lockFile, false);
  RefreshLocked();
}

// Creates every key along a path (lock held); true when the last was new.
bool CreatePathLocked(const std::u16string& path) {
  bool created = false;
  size_t i = 0;
  while (i <= path.size()) {
    size_t j = path.find(u'\\', i);
    if (j == std::u16string::npos) j = path.size();
    std::u16string prefix = path.substr(0, j);
    if (prefix.find(u'\\') != std::u16string::npos) {
      auto [it, fresh] = Reg().keys.try_emplace(Lower(prefix));
      if (fresh) it->second.path = prefix;
      created = fresh;
    }
    i = j + 1;
  }
  return created;
}

LONG SetValue(const std::u16string& keyPath, LPCWSTR name, DWORD type, const BYTE* data, DWORD size,
              bool erase) {
  RegistryState& r = Reg();
  FileLock fl(r.lockFile, true);
  RefreshLocked();
  auto it = r.keys.find(Lower(keyPath));
  if (it == r.keys.end()) {
    if (erase) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    CreatePathLocked(keyPath);
    it = r.keys.find(Lower(keyPath));
  }
  std::u16string n = FromW(name);
  if (erase) {
    if (!it->second.values.erase(Lower(n))) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
  } else {
    Value v;
    v.name = n;
    v.type = type;
    if (data && size) v.data.assign(data, data + size);
    it->second.values[Lower(n)] = std::move(v);
  }
  SaveLocked();
  return ERROR_SUCCESS;
}

}  // namespace

namespace internal {

bool StartRegistry(const EmulatorConfig&, const DeviceModel& device, std::string*) {
  {
    std::lock_guard<std::mutex> lk(Reg().lock);
    RegistryState& r = Reg();
    MoveIntoEmulatorFolder();
    r.file = EmulatorFolder() + "/registry.txt";
    r.lockFile = EmulatorFolder() + "/registry.lock";
    r.keys.clear();
    r.open.clear();
    r.stamp = Stamp{};
    Refresh();
  }
  // The keys model detection reads, consistent with the chosen model.
  auto setString = [](const char16_t* key, const char16_t* name, const std::string& value) {
    std::u16string w = ToU16(value);
    w.push_back(0);
    std::lock_guard<std::mutex> lk(Reg().lock);
    SetValue(key, name, REG_SZ, reinterpret_cast<const BYTE*>(w.data()),
             static_cast<DWORD>(w.size() * 2), false);
  };
  setString(u"HKEY_LOCAL_MACHINE\\Platform", u"Name",
            device.platformName ? device.platformName : device.oemInfo);
  setString(u"HKEY_LOCAL_MACHINE\\Windows CE Tools", u"Platform", device.platformType);
  return true;
}

void StopRegistry() {
  std::lock_guard<std::mutex> lk(Reg().lock);
  Reg().open.clear();
  Reg().keys.clear();
  Reg().stamp = Stamp{};
}

}  // namespace internal

LONG RegOpenKeyEx(HKEY root, LPCWSTR subKey, DWORD, DWORD, HKEY* result) {
  if (!result) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> lk(Reg().lock);
  std::u16string base = PathOfLocked(root);
  if (base.empty()) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  std::u16string path = Join(base, subKey);
  Refresh();
  if (path.find(u'\\') != std::u16string::npos && !Reg().keys.count(Lower(path)))
    return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
  uint32_t id = Reg().nextHandle++;
  Reg().open[id] = path;
  *result = MakeHandle<HKEY>(id);
  return ERROR_SUCCESS;
}

LONG RegCreateKeyEx(HKEY root, LPCWSTR subKey, DWORD, LPWSTR, DWORD, DWORD, void*, HKEY* result,
                    DWORD* disposition) {
  if (!result) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> lk(Reg().lock);
  std::u16string base = PathOfLocked(root);
  if (base.empty()) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  std::u16string path = Join(base, subKey);
  bool created = false;
  {
    FileLock fl(Reg().lockFile, true);
    RefreshLocked();
    if (path.find(u'\\') != std::u16string::npos && !Reg().keys.count(Lower(path))) {
      created = CreatePathLocked(path);
      SaveLocked();
    }
  }
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  uint32_t id = Reg().nextHandle++;
  Reg().open[id] = path;
  *result = MakeHandle<HKEY>(id);
  return ERROR_SUCCESS;
}

LONG RegQueryValueEx(HKEY key, LPCWSTR name, DWORD*, DWORD* type, BYTE* data, DWORD* size) {
  std::lock_guard<std::mutex> lk(Reg().lock);
  std::u16string path = PathOfLocked(key);
  if (path.empty()) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  Refresh();
  auto k = Reg().keys.find(Lower(path));
  if (k == Reg().keys.end()) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
  auto v = k->second.values.find(Lower(FromW(name)));
  if (v == k->second.values.end()) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
  if (type) *type = v->second.type;
  DWORD length = static_cast<DWORD>(v->second.data.size());
  if (!data) {
    if (size) *size = length;
    return ERROR_SUCCESS;
  }
  if (!size) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
  // A value longer than the buffer is cut to it.
  DWORD n = std::min(*size, length);
  if (n) std::memcpy(data, v->second.data.data(), n);
  *size = n;
  return ERROR_SUCCESS;
}

LONG RegSetValueEx(HKEY key, LPCWSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  if (!data && size) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> lk(Reg().lock);
  std::u16string path = PathOfLocked(key);
  if (path.empty() || path.find(u'\\') == std::u16string::npos)
    return static_cast<LONG>(ERROR_INVALID_HANDLE);
  return SetValue(path, name, type, data, size, false);
}

LONG RegDeleteValue(HKEY key, LPCWSTR name) {
  std::lock_guard<std::mutex> lk(Reg().lock);
  std::u16string path = PathOfLocked(key);
  if (path.empty()) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  return SetValue(path, name, REG_NONE, nullptr, 0, true);
}

LONG RegCloseKey(HKEY key) {
  if (RootName(key)) return ERROR_SUCCESS;
  std::lock_guard<std::mutex> lk(Reg().lock);
  return Reg().open.erase(HandleId(key)) ? ERROR_SUCCESS : static_cast<LONG>(ERROR_INVALID_HANDLE);
}

}  // namespace ce
