// The headless script language: pen taps, holds and drags, keys, typed
// text, waits, screenshots, message-box answers and expectations.
#include <cstdio>
#include <fstream>
#include <strings.h>
#include <thread>

#include "platform/gdi/gdi_internal.h"
#include "platform/present/script_checks.h"

namespace ce {

using namespace internal;

namespace {

constexpr int kIdleTimeoutMs = 10000;

// Words, or "quoted text".
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
      ++i;
      continue;
    }
    if (line[i] == '"') {
      size_t j = line.find('"', i + 1);
      if (j == std::string::npos) j = line.size();
      out.push_back(line.substr(i + 1, j - i - 1));
      i = j + 1;
      continue;
    }
    size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
    out.push_back(line.substr(i, j - i));
    i = j;
  }
  return out;
}

// The rest of a line after its command word, without surrounding quotes.
std::string Rest(const std::string& line, const std::string& command) {
  size_t at = line.find(command) + command.size();
  std::string s = line.substr(at);
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.erase(s.begin());
  while (!s.empty() && (s.back() == ' ' || s.back() == '\r')) s.pop_back();
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  return s;
}

bool Int(const std::string& s, int* v) {
  char* end = nullptr;
  long n = std::strtol(s.c_str(), &end, 0);
  if (s.empty() || !end || *end || n < -100000 || n > 100000) return false;
  *v = static_cast<int>(n);
  return true;
}

int KeyCode(const std::string& name) {
  int v;
  if (Int(name, &v)) return v >= 1 && v <= 255 ? v : -1;
  const DeviceModel& d = CurrentDevice();
  for (const KeyBinding& b : KeyMap(d)) {
    if (!strcasecmp(b.hostKey, name.c_str()) || (b.button[0] && !strcasecmp(b.button, name.c_str())))
      return b.virtualKey;
  }
  for (int i = 0; i < d.buttonCount; ++i) {
    if (!strcasecmp(d.buttonNames[i], name.c_str())) return d.buttonKeys[i];
  }
  if (!strcasecmp(name.c_str(), "Backspace")) return VK_BACK;
  if (!strcasecmp(name.c_str(), "Delete")) return VK_DELETE;
  if (!strcasecmp(name.c_str(), "Home")) return VK_HOME;
  if (!strcasecmp(name.c_str(), "End")) return VK_END;
  return -1;
}

// Every visible window's text, message boxes included.
bool TextShown(const std::u16string& text, size_t* boxesSeen) {
  auto boxes = MessageBoxHistory();
  bool found = false;
  for (size_t i = *boxesSeen; i < boxes.size(); ++i) {
    if (boxes[i].text.find(text) != std::u16string::npos ||
        boxes[i].caption.find(text) != std::u16string::npos)
      found = true;
  }
  if (found) {
    *boxesSeen = boxes.size();
    return true;
  }
  std::lock_guard<std::mutex> lk(Sys().lock);
  for (auto& [id, w] : Sys().windows) {
    if (IsVisibleLocked(w.get()) && w->text.find(text) != std::u16string::npos) return true;
  }
  return false;
}

}  // namespace

int RunScript(const std::string& path, bool* quit) {
  *quit = false;
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "zelmo: cannot read the script %s\n", path.c_str());
    return 3;
  }
  std::string line;
  int number = 0;
  size_t boxesSeen = 0;
  auto fail = [&](const std::string& what) {
    std::fprintf(stderr, "zelmo: script %s:%d: %s\n", path.c_str(), number, what.c_str());
    return 3;
  };
  ScriptContext context;
  size_t slash = path.rfind('/');
  context.folder = slash == std::string::npos ? "." : path.substr(0, slash);
  WaitIdle(kIdleTimeoutMs);
  while (std::getline(in, line)) {
    ++number;
    std::vector<std::string> w = Words(line);
    if (w.empty() || w[0][0] == '#') continue;
    const std::string& cmd = w[0];
    // A new interaction starts when the program has dealt with the last.
    if (cmd == "tap" || cmd == "down" || cmd == "hold" || cmd == "key" || cmd == "type")
      WaitIdle(kIdleTimeoutMs);
    int x = 0, y = 0, ms = 0;
    bool point = w.size() >= 3 && Int(w[1], &x) && Int(w[2], &y);
    if (cmd == "tap" || cmd == "down" || cmd == "move" || cmd == "up") {
      if (!point) return fail(cmd + " needs X Y");
      if (cmd == "tap" || cmd == "down") InjectPen(PenAction::kDown, x, y);
      if (cmd == "move") InjectPen(PenAction::kMove, x, y);
      if (cmd == "tap" || cmd == "up") InjectPen(PenAction::kUp, x, y);
    } else if (cmd == "hold") {
      if (!point || w.size() < 4 || !Int(w[3], &ms) || ms < 0) return fail("hold needs X Y MS");
      InjectPen(PenAction::kDown, x, y);
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      InjectPen(PenAction::kUp, x, y);
    } else if (cmd == "key") {
      int vk = w.size() >= 2 ? KeyCode(w[1]) : -1;
      if (vk < 0) return fail("unknown key " + (w.size() >= 2 ? w[1] : std::string()));
      InjectKey(vk, true);
      InjectKey(vk, false);
    } else if (cmd == "type") {
      for (char16_t c : ToU16(Rest(line, cmd))) InjectChar(c);
    } else if (cmd == "wait") {
      if (w.size() < 2 || !Int(w[1], &ms) || ms < 0) return fail("wait needs MS");
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    } else if (cmd == "idle") {
      if (!WaitIdle(kIdleTimeoutMs)) return fail("the program did not settle within 10 s");
    } else if (cmd == "shot") {
      if (w.size() < 2) return fail("shot needs a file name");
      WaitIdle(kIdleTimeoutMs);
      std::string error;
      if (!SaveScreenshot(w[1], &error)) return fail(error);
    } else if (cmd == "answer") {
      std::string a = w.size() >= 2 ? w[1] : "";
      int id = a == "yes" ? IDYES : a == "no" ? IDNO : a == "ok" ? IDOK : a == "cancel" ? IDCANCEL : 0;
      if (!id) return fail("answer takes yes, no, ok or cancel");
      QueueMessageBoxAnswer(id);
    } else if (cmd == "expect-window") {
      if (w.size() < 2) return fail("expect-window needs a class");
      WaitIdle(kIdleTimeoutMs);
      std::u16string cls = ToU16(w[1]);
      std::u16string title = w.size() >= 3 ? ToU16(w[2]) : u"";
      HWND h = FindLocalWindow(&cls, w.size() >= 3 ? &title : nullptr);
      if (!h || !IsWindowVisible(h)) {
        return fail("expected a window of class " + w[1] +
                    (w.size() >= 3 ? " titled \"" + w[2] + "\"" : std::string()) + "; there is none");
      }
    } else if (cmd == "expect-text") {
      std::string text = Rest(line, cmd);
      WaitIdle(kIdleTimeoutMs);
      if (!TextShown(ToU16(text), &boxesSeen)) return fail("expected the text \"" + text + "\"; it is not shown");
    } else if (cmd == "quit") {
      *quit = true;
      return 0;
    } else if (std::string failure; RunControlCommand(w, line, context, &failure)) {
      if (!failure.empty()) return fail(failure);
    } else {
      return fail("unknown command " + cmd);
    }
  }
  return 0;
}

}  // namespace ce
