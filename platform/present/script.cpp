// The headless script language: pen taps, holds and drags, keys, typed
// text, waits, screenshots, message-box answers and expectations.
#include <algorithm>
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

// Keys held by keydown repeat while the script waits, as a held button does:
// after 500 ms, every 100 ms.
struct HeldKeys {
  std::vector<std::pair<int, Clock::time_point>> keys;  // key, next repeat
  void Pause(int ms) {
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      auto next = end;
      for (auto& k : keys) next = std::min(next, k.second);
      std::this_thread::sleep_until(next);
      if (next >= end) return;
      for (auto& k : keys) {
        if (k.second > Clock::now()) continue;
        InjectKey(k.first, true);
        k.second += std::chrono::milliseconds(100);
      }
    }
  }
};

// The gestures beyond taps and keys, and waiting for a logged line:
//   rtap X Y                      right button down and up
//   drag X1 Y1 X2 Y2 MS [STEPS]   pen down, STEPS moves over MS, pen up
//   keydown KEY | keyup KEY       a button held down (repeating) and let go
//   wait-log TEXT [MS]            until a --log line holds TEXT (10 s); a TEXT
//                                 that ends in a number is quoted
// Returns an error message, or "" when the line ran.
std::string RunMoreOfTheScript(const std::vector<std::string>& w, HeldKeys* held, size_t* logSeen) {
  const std::string& cmd = w[0];
  int n[6] = {};
  size_t numbers = 0;
  while (numbers < 6 && numbers + 1 < w.size() && Int(w[numbers + 1], &n[numbers])) ++numbers;
  if (cmd == "rtap") {
    if (numbers < 2) return "rtap needs X Y";
    InjectPen(PenAction::kRightDown, n[0], n[1]);
    InjectPen(PenAction::kRightUp, n[0], n[1]);
  } else if (cmd == "drag") {
    if (numbers < 5 || n[4] < 0) return "drag needs X1 Y1 X2 Y2 MS [STEPS]";
    int steps = numbers >= 6 ? n[5] : std::max(1, n[4] / 30);  // a sample every 20-50 ms
    if (steps < 1 || steps > 10000) return "drag takes 1 to 10000 steps";
    InjectPen(PenAction::kDown, n[0], n[1]);
    for (int i = 1; i <= steps; ++i) {
      held->Pause(n[4] / steps);
      InjectPen(PenAction::kMove, n[0] + (n[2] - n[0]) * i / steps, n[1] + (n[3] - n[1]) * i / steps);
    }
    InjectPen(PenAction::kUp, n[2], n[3]);
  } else if (cmd == "keydown" || cmd == "keyup") {
    int vk = w.size() >= 2 ? KeyCode(w[1]) : -1;
    if (vk < 0) return "unknown key " + (w.size() >= 2 ? w[1] : std::string());
    auto& keys = held->keys;
    keys.erase(std::remove_if(keys.begin(), keys.end(), [&](const auto& k) { return k.first == vk; }),
               keys.end());
    if (cmd == "keydown") keys.emplace_back(vk, Clock::now() + std::chrono::milliseconds(500));
    InjectKey(vk, cmd == "keydown");
  } else {  // wait-log
    int ms = 10000;
    size_t words = w.size();
    if (words >= 3 && Int(w.back(), &ms)) --words;
    std::string text;
    for (size_t i = 1; i < words; ++i) text += (i > 1 ? " " : "") + w[i];
    if (text.empty() || ms < 0) return "wait-log needs TEXT [MS]";
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      std::vector<std::string> log = EventLog();
      if (*logSeen > log.size()) *logSeen = 0;  // the log was cleared
      for (size_t i = *logSeen; i < log.size(); ++i) {
        if (log[i].find(text) == std::string::npos) continue;
        *logSeen = i + 1;
        return "";
      }
      if (Clock::now() >= end) return "nothing logged \"" + text + "\" within " + std::to_string(ms) + " ms";
      held->Pause(5);
    }
  }
  return "";
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
  size_t logSeen = 0;
  HeldKeys held;
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
    if (cmd == "tap" || cmd == "down" || cmd == "hold" || cmd == "key" || cmd == "type" ||
        cmd == "rtap" || cmd == "drag" || cmd == "keydown" || cmd == "keyup")
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
      held.Pause(ms);
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
      held.Pause(ms);
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
    } else if (cmd == "rtap" || cmd == "drag" || cmd == "keydown" || cmd == "keyup" || cmd == "wait-log") {
      std::string error = RunMoreOfTheScript(w, &held, &logSeen);
      if (!error.empty()) return fail(error);
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
