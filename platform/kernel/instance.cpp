// Several emulator processes on one device folder: the first one answers
// the others on a local socket named after the folder, so that a second
// program can find the first one's window by class and title, bring it to
// the front and post it messages.  The registry file is shared besides.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <thread>

#include "platform/devices/files_internal.h"

namespace ce::internal {

namespace {

struct InstanceState {
  std::mutex lock;
  std::string name;  // abstract socket name, without the leading zero
  int listener = -1;
  std::thread thread;
  uint32_t nextProxy = 1;
  std::map<uint32_t, uint64_t> proxies;  // proxy -> the other process's handle
};

InstanceState& Instance() {
  static InstanceState* s = new InstanceState;
  return *s;
}

std::string SocketName(const std::string& root) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (char c : root) {
    h ^= static_cast<uint8_t>(c);
    h *= 1099511628211ull;
  }
  char buf[64];
  std::snprintf(buf, sizeof(buf), "zelmo-device-%016llx", static_cast<unsigned long long>(h));
  return buf;
}

sockaddr_un Address(const std::string& name, socklen_t* length) {
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  size_t n = std::min(name.size(), sizeof(a.sun_path) - 1);
  std::memcpy(a.sun_path + 1, name.data(), n);  // abstract: leading zero
  *length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
  return a;
}

std::string Hex(const std::u16string& s) {
  std::string utf8 = ToUtf8(s), out;
  char b[4];
  for (unsigned char c : utf8) {
    std::snprintf(b, sizeof(b), "%02x", c);
    out += b;
  }
  return out.empty() ? "-" : out;
}

bool Unhex(const std::string& s, std::u16string* out) {
  if (s == "-") {
    out->clear();
    return true;
  }
  if (s.size() % 2) return false;
  std::string bytes;
  for (size_t i = 0; i < s.size(); i += 2) {
    unsigned v;
    if (std::sscanf(s.c_str() + i, "%2x", &v) != 1) return false;
    bytes.push_back(static_cast<char>(v));
  }
  *out = ToU16(bytes);
  return true;
}

bool ReadLine(int fd, std::string* line) {
  line->clear();
  char c;
  while (line->size() < 4096) {
    ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    if (c == '\n') return true;
    line->push_back(c);
  }
  return false;
}

bool WriteAll(int fd, const std::string& s) {
  size_t done = 0;
  while (done < s.size()) {
    ssize_t n = ::write(fd, s.data() + done, s.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// One request, one answer.
std::string Answer(const std::string& request) {
  std::istringstream in(request);
  std::string verb;
  in >> verb;
  if (verb == "find") {
    std::string c, t;
    in >> c >> t;
    std::u16string cls, title;
    if (!Unhex(c, &cls) || !Unhex(t, &title)) return "error";
    HWND h = FindLocalWindow(c == "-" ? nullptr : &cls, t == "-" ? nullptr : &title);
    return h ? "hwnd " + std::to_string(reinterpret_cast<uintptr_t>(h)) : "none";
  }
  if (verb == "post" || verb == "send") {
    unsigned long long h, msg, wp;
    long long lp;
    if (!(in >> h >> msg >> wp >> lp)) return "error";
    HWND hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(h));
    if (!IsWindow(hwnd)) return "fail";
    if (verb == "post") {
      return PostMessage(hwnd, static_cast<UINT>(msg), static_cast<WPARAM>(wp), static_cast<LPARAM>(lp))
                 ? "ok"
                 : "fail";
    }
    return "result " + std::to_string(SendMessage(hwnd, static_cast<UINT>(msg), static_cast<WPARAM>(wp),
                                                  static_cast<LPARAM>(lp)));
  }
  if (verb == "foreground") {
    unsigned long long h;
    if (!(in >> h)) return "error";
    return SetForegroundWindow(reinterpret_cast<HWND>(static_cast<uintptr_t>(h))) ? "ok" : "fail";
  }
  return "error";
}

void Serve(int listener) {
  for (;;) {
    int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR) continue;
      return;  // the listener was shut down
    }
    std::string request;
    if (ReadLine(fd, &request)) WriteAll(fd, Answer(request) + "\n");
    ::close(fd);
  }
}

// Asks the first process; "" when there is none.
std::string Ask(const std::string& request) {
  std::string name;
  {
    std::lock_guard<std::mutex> lk(Instance().lock);
    if (Instance().listener >= 0 || Instance().name.empty()) return "";
    name = Instance().name;
  }
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return "";
  socklen_t length;
  sockaddr_un a = Address(name, &length);
  std::string answer;
  if (::connect(fd, reinterpret_cast<::sockaddr*>(&a), length) == 0 && WriteAll(fd, request + "\n"))
    ReadLine(fd, &answer);
  ::close(fd);
  return answer;
}

bool Remote(HWND hwnd, uint64_t* value) {
  uintptr_t v = reinterpret_cast<uintptr_t>(hwnd);
  if ((v & 2) == 0) return false;
  std::lock_guard<std::mutex> lk(Instance().lock);
  auto it = Instance().proxies.find(static_cast<uint32_t>(v >> 2));
  if (it == Instance().proxies.end()) return false;
  *value = it->second | (v & 1);
  return true;
}

}  // namespace

bool StartInstanceService(const EmulatorConfig&) {
  InstanceState& s = Instance();
  std::lock_guard<std::mutex> lk(s.lock);
  s.name = SocketName(DeviceRoot());
  s.proxies.clear();
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  socklen_t length;
  sockaddr_un a = Address(s.name, &length);
  if (::bind(fd, reinterpret_cast<::sockaddr*>(&a), length) != 0 || ::listen(fd, 8) != 0) {
    ::close(fd);  // another process on this folder answers
    return false;
  }
  s.listener = fd;
  s.thread = std::thread(Serve, fd);
  return true;
}

void StopInstanceService() {
  InstanceState& s = Instance();
  std::thread t;
  {
    std::lock_guard<std::mutex> lk(s.lock);
    if (s.listener >= 0) {
      ::shutdown(s.listener, SHUT_RDWR);
      ::close(s.listener);
      s.listener = -1;
    }
    t = std::move(s.thread);
    s.name.clear();
    s.proxies.clear();
  }
  if (t.joinable()) t.join();
}

HWND RemoteFindWindow(const std::u16string& className, const std::u16string* title) {
  std::string answer = Ask("find " + Hex(className) + " " + (title ? Hex(*title) : std::string("-")));
  if (answer.rfind("hwnd ", 0) != 0) return nullptr;
  uint64_t value = std::strtoull(answer.c_str() + 5, nullptr, 10);
  if (value == 0) return nullptr;
  std::lock_guard<std::mutex> lk(Instance().lock);
  uint32_t id = Instance().nextProxy++;
  Instance().proxies[id] = value;
  return reinterpret_cast<HWND>((static_cast<uintptr_t>(id) << 2) | 2);
}

LRESULT RemoteSendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, bool post) {
  uint64_t value;
  if (!Remote(hwnd, &value)) return 0;
  std::string answer = Ask(std::string(post ? "post " : "send ") + std::to_string(value & ~uint64_t{1}) +
                           " " + std::to_string(msg) + " " + std::to_string(wParam) + " " +
                           std::to_string(lParam));
  if (post) return answer == "ok" ? 1 : 0;
  return answer.rfind("result ", 0) == 0 ? std::strtoll(answer.c_str() + 7, nullptr, 10) : 0;
}

BOOL RemoteSetForeground(HWND hwnd) {
  uint64_t value;
  if (!Remote(hwnd, &value)) return FALSE;
  return Ask("foreground " + std::to_string(value)) == "ok" ? TRUE : FALSE;
}

}  // namespace ce::internal
