// Programs started by name.  None of them runs: every start is logged, and
// the help viewer, the infrared sender and the mail programs do what the
// emulator offers in their place.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/devices/files_internal.h"
#include "platform/kernel/resource_internal.h"

namespace ce {

using namespace internal;

namespace {

std::u16string BaseName(std::u16string_view path) {
  size_t slash = path.find_last_of(u"\\/");
  return Lower(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

// The path in `-attach "path"` or a bare command line.
std::u16string Attachment(std::u16string_view line) {
  std::u16string s(line);
  size_t at = s.find(u"-attach");
  if (at != std::u16string::npos) s = s.substr(at + 7);
  size_t b = s.find_first_not_of(u' ');
  if (b == std::u16string::npos) return u"";
  s = s.substr(b);
  if (!s.empty() && s[0] == u'"') {
    size_t e = s.find(u'"', 1);
    return s.substr(1, e == std::u16string::npos ? std::u16string::npos : e - 1);
  }
  while (!s.empty() && s.back() == u' ') s.pop_back();
  return s;
}

// Copies a device file into a device folder, keeping its name.
void CopyInto(const std::u16string& file, const char16_t* folder) {
  std::string from = DeviceToHost(file);
  std::string dir = DeviceToHost(folder);
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  std::filesystem::copy_file(from, dir + "/" + std::filesystem::path(from).filename().string(),
                             std::filesystem::copy_options::overwrite_existing, ec);
}

// file:///path#topic, the page's host path with what a URL cannot hold
// escaped.
std::string FileUrl(const std::string& host, const std::string& topic) {
  std::string url = "file://";
  for (unsigned char c : host) {
    if (std::isalnum(c) || std::strchr("/-._~", c)) {
      url.push_back(static_cast<char>(c));
    } else {
      char hex[4];
      std::snprintf(hex, sizeof(hex), "%%%02X", c);
      url += hex;
    }
  }
  return topic.empty() ? url : url + "#" + topic;
}

// The help viewer: "file:zlv.htm#topic" names a page in \Windows.  The
// desktop's browser opens it at the topic when there is one.
void ShowHelp(const std::u16string& line) {
  std::u16string link = line.rfind(u"file:", 0) == 0 ? line.substr(5) : line;
  size_t hash = link.find(u'#');
  std::u16string page = link.substr(0, hash);
  std::string topic = hash == std::u16string::npos ? "" : ToUtf8(link.substr(hash + 1));
  LogEvent("help " + ToUtf8(link));
  if (page.find(u'\\') == std::u16string::npos) page = u"\\Windows\\" + page;
  std::string host = DeviceToHost(page);
  const PresenterHooks* hooks = Hooks();
  if (!hooks || !hooks->openOnDesktop) return;  // headless: the log line is all
  std::error_code ec;
  if (!std::filesystem::exists(host, ec)) {
    LogEvent("help: no page " + ToUtf8(page));
  } else if (!hooks->openOnDesktop(FileUrl(host, topic), false)) {
    LogEvent("help: no desktop browser to show " + ToUtf8(page));
  }
}

}  // namespace

namespace internal {

void InstallHelpPages() {
  for (const ResourceFile& f : ResourceFilesIn("help")) {
    std::string path = f.path;
    std::string name = path.substr(path.rfind('/') + 1);
    std::u16string device = u"\\Windows\\" + ToU16(name);
    if (IsWriteProtected(device)) continue;
    std::string host = DeviceToHost(device);
    struct stat st;
    if (::stat(host.c_str(), &st) == 0 && st.st_mtime >= f.modified) continue;
    std::string temporary = host + ".new";
    FILE* out = std::fopen(temporary.c_str(), "wb");
    if (!out) continue;
    bool ok = std::fwrite(f.data, 1, f.size, out) == f.size;
    ok = std::fclose(out) == 0 && ok;
    // The installed page carries the embedded one's time, so that a later
    // start compares like with like.
    timespec times[2] = {{f.modified, 0}, {f.modified, 0}};
    if (ok) ok = ::utimensat(AT_FDCWD, temporary.c_str(), times, 0) == 0 &&
                 ::rename(temporary.c_str(), host.c_str()) == 0;
    if (!ok) ::unlink(temporary.c_str());
  }
}

}  // namespace internal

BOOL CreateProcess(LPCWSTR application, LPCWSTR commandLine, void*, void*, BOOL, DWORD, void*,
                   LPCWSTR, void*, PROCESS_INFORMATION* info) {
  std::u16string app = FromW(application);
  std::u16string line = FromW(commandLine);
  LogEvent("launch " + ToUtf8(app) + " " + ToUtf8(line));
  if (info) *info = PROCESS_INFORMATION{nullptr, nullptr, 0x100, 0x104};
  std::u16string name = BaseName(app);
  const PresenterHooks* hooks = Hooks();
  if (name == u"peghelp.exe") {
    ShowHelp(line);
  } else if (name == u"tmail.exe" || name == u"pmail.exe") {
    std::u16string file = Attachment(line);
    if (!file.empty()) {
      bool handed = hooks && hooks->openOnDesktop && hooks->openOnDesktop(DeviceToHost(file), true);
      if (!handed) CopyInto(file, u"\\Outbox");
    }
  } else if (name == u"irsquirt.exe") {
    std::u16string file = Attachment(line);
    if (!file.empty()) CopyInto(file, u"\\IrDA Outbox");
  }
  return TRUE;
}

DWORD GetModuleFileName(HINSTANCE, LPWSTR buffer, DWORD capacity) {
  std::u16string name;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    name = ToU16(Sys().config.moduleName);
  }
  if (!buffer || capacity == 0) return 0;
  DWORD n = std::min<DWORD>(capacity - 1, static_cast<DWORD>(name.size()));
  std::copy_n(name.data(), n, buffer);
  buffer[n] = 0;
  return n;
}

}  // namespace ce
