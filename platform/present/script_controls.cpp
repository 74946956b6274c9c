// Script commands for dialogs, controls and menus (tap-control, choose,
// select-row, tab, done, menu, popup), the checks of what they show
// (expect-control, expect-checked, expect-enabled, expect-selected), and
// the checks of what the program left behind (expect-file, expect-registry,
// expect-shot).
#include <png.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/controls/controls.h"
#include "platform/devices/files_internal.h"
#include "platform/present/script_checks.h"

namespace ce::internal {

namespace {

constexpr int kIdleMs = 10000;
constexpr int kShotRetryMs = 2000;
constexpr int kMaxSteps = 200;  // taps spent scrolling towards one item

// The text after the first `n` words (quoted words count as one), without
// surrounding quotes.
std::string After(const std::string& line, size_t n) {
  size_t i = 0;
  for (size_t word = 0; word < n; ++word) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i < line.size() && line[i] == '"') {
      size_t close = line.find('"', i + 1);
      i = close == std::string::npos ? line.size() : close + 1;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    }
  }
  std::string rest = line.substr(std::min(i, line.size()));
  while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.erase(rest.begin());
  while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\r' || rest.back() == '\t')) rest.pop_back();
  if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"') rest = rest.substr(1, rest.size() - 2);
  return rest;
}

bool Number(const std::string& s, long long* v) {
  if (s.empty()) return false;
  char* end = nullptr;
  *v = std::strtoll(s.c_str(), &end, 0);
  return end && !*end;
}

void Tap(POINT p) {
  WaitIdle(kIdleMs);
  InjectPen(PenAction::kDown, p.x, p.y);
  InjectPen(PenAction::kUp, p.x, p.y);
  WaitIdle(kIdleMs);
}

// The visible control `id` inside the window in front (a sheet's shown page
// included).
HWND FindControl(int id) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* front = FindWindowLocked(Sys().foreground);
  if (!front) return nullptr;
  std::vector<Window*> todo{front};
  while (!todo.empty()) {
    Window* w = todo.back();
    todo.pop_back();
    for (HWND c : w->children) {
      Window* cw = FindWindowLocked(c);
      if (!cw || !IsVisibleLocked(cw)) continue;
      if (static_cast<int>(cw->childId) == id && !cw->isDialog) return c;
      todo.push_back(cw);
    }
  }
  return nullptr;
}

HWND DeepestMenu() {
  std::lock_guard<std::mutex> lk(Sys().lock);
  for (auto it = Sys().windows.rbegin(); it != Sys().windows.rend(); ++it) {
    Window* w = it->second.get();
    if (Lower(w->cls->name) == u"#32768" && IsVisibleLocked(w)) return w->handle;
  }
  return nullptr;
}

std::u16string ClassOf(HWND hwnd) {
  WCHAR name[32];
  GetClassName(hwnd, name, 32);
  return Lower(name);
}

// Taps towards the item reading `text` until a tap picks it.
bool Reach(HWND (*target)(int), int id, const std::string& text, std::string* failure,
           const std::string& what) {
  for (int step = 0; step < kMaxSteps; ++step) {
    WaitIdle(kIdleMs);
    HWND hwnd = target(id);
    TapTarget t;
    t.text = ToU16(text);
    if (!hwnd || !SendMessage(hwnd, kFindTapTarget, 0, reinterpret_cast<LPARAM>(&t))) {
      *failure = what + " shows no \"" + text + "\"";
      return false;
    }
    Tap(t.point);
    if (t.final) return true;
  }
  *failure = what + ": \"" + text + "\" stays out of reach";
  return false;
}

HWND Front(int) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  return Sys().foreground;
}
HWND Menu(int) { return DeepestMenu(); }

// "Page/Play / Pause" -> "Page", "Play / Pause": a slash with no space on
// either side separates levels.
std::vector<std::string> MenuPath(const std::string& path) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < path.size(); ++i) {
    bool split = path[i] == '/' && i > 0 && i + 1 < path.size() && path[i - 1] != ' ' && path[i + 1] != ' ';
    if (split) parts.emplace_back();
    else parts.back().push_back(path[i]);
  }
  return parts;
}

bool FollowMenu(const std::string& path, std::string* failure) {
  for (const std::string& part : MenuPath(path)) {
    if (!Reach(Menu, 0, part, failure, "the menu")) return false;
  }
  return true;
}

std::string SelectedText(HWND control) {
  if (ClassOf(control) == u"syslistview32") {
    int row = ListView_GetNextItem(control, -1, LVNI_SELECTED);
    if (row < 0) return "";
    WCHAR text[256] = {};
    LVITEM item{};
    item.pszText = text;
    item.cchTextMax = 256;
    SendMessage(control, LVM_GETITEMTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return ToUtf8(text);
  }
  return ToUtf8(WindowTextOf(control));
}

bool ReadPicture(const std::string& path, int* width, int* height, std::vector<uint32_t>* out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  if (image.width == 0 || image.height == 0 || image.width > 4096 || image.height > 4096) {
    png_image_free(&image);
    return false;
  }
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return false;
  *width = static_cast<int>(image.width);
  *height = static_cast<int>(image.height);
  out->resize(rgb.size() / 3);
  for (size_t i = 0; i < out->size(); ++i)
    (*out)[i] = (uint32_t{rgb[3 * i]} << 16) | (uint32_t{rgb[3 * i + 1]} << 8) | rgb[3 * i + 2];
  return true;
}

bool WritePicture(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels) {
  std::vector<uint8_t> rgb(pixels.size() * 3);
  for (size_t i = 0; i < pixels.size(); ++i) {
    rgb[3 * i] = static_cast<uint8_t>(pixels[i] >> 16);
    rgb[3 * i + 1] = static_cast<uint8_t>(pixels[i] >> 8);
    rgb[3 * i + 2] = static_cast<uint8_t>(pixels[i]);
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

std::string Hex(uint32_t rgb) {
  char s[8];
  std::snprintf(s, sizeof(s), "#%06X", rgb & 0xFFFFFF);
  return s;
}

// The screen against a stored picture; on a mismatch the screen and a
// picture of the differences (red over a faded screen) go beside it.
// A screen that differs is taken again for a while: a thread the idle test
// cannot see (a job without windows) may still be drawing on a busy machine.
bool ExpectShot(const std::string& path, int tolerance, std::string* failure) {
  WaitIdle(kIdleMs);
  std::vector<uint32_t> screen = ScreenPixels();
  int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  std::string stem = path.size() > 4 && path.substr(path.size() - 4) == ".png" ? path.substr(0, path.size() - 4) : path;
  std::string actual = stem + ".actual.png", diff = stem + ".diff.png";
  int w = 0, h = 0;
  std::vector<uint32_t> expected;
  if (!ReadPicture(path, &w, &h, &expected)) {
    WritePicture(actual, sw, sh, screen);
    *failure = "cannot read the picture " + path + "; the screen is in " + actual;
    return false;
  }
  if (w != sw || h != sh) {
    WritePicture(actual, sw, sh, screen);
    *failure = path + " is " + std::to_string(w) + "x" + std::to_string(h) + ", the screen " +
               std::to_string(sw) + "x" + std::to_string(sh) + "; the screen is in " + actual;
    return false;
  }
  // Whether pixel i is further from the picture than the tolerance in any colour.
  auto off = [&](size_t i) {
    int worst = 0;
    for (int shift = 0; shift < 24; shift += 8)
      worst = std::max(worst, std::abs(static_cast<int>((screen[i] >> shift) & 255) -
                                       static_cast<int>((expected[i] >> shift) & 255)));
    return worst > tolerance;
  };
  auto matches = [&] {
    for (size_t i = 0; i < screen.size(); ++i)
      if (off(i)) return false;
    return true;
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kShotRetryMs);
  while (!matches() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    WaitIdle(kIdleMs);
    screen = ScreenPixels();
  }
  size_t differing = 0, first = 0;
  std::vector<uint32_t> marks(screen.size());
  for (size_t i = 0; i < screen.size(); ++i) {
    const bool differs = off(i);
    if (differs && differing++ == 0) first = i;
    uint32_t faded = ((screen[i] >> 2) & 0x3F3F3F) + 0xC0C0C0;
    marks[i] = differs ? 0xFF0000 : faded;
  }
  if (differing == 0) return true;
  WritePicture(actual, sw, sh, screen);
  WritePicture(diff, sw, sh, marks);
  int x = static_cast<int>(first % static_cast<size_t>(sw)), y = static_cast<int>(first / static_cast<size_t>(sw));
  *failure = "the screen differs from " + path + " in " + std::to_string(differing) +
             " pixels; the first at (" + std::to_string(x) + ", " + std::to_string(y) + ") is " +
             Hex(screen[first]) + ", expected " + Hex(expected[first]) + "; see " + actual + " and " + diff;
  return false;
}

bool ExpectFile(const std::vector<std::string>& words, std::string* failure) {
  if (words.size() < 2) {
    *failure = "expect-file needs a device path";
    return false;
  }
  std::string host = DeviceToHost(ToU16(words[1]));
  std::error_code ec;
  bool exists = std::filesystem::is_regular_file(host, ec);
  std::string what = words.size() >= 3 ? words[2] : "";
  if (what == "absent") {
    if (exists) *failure = words[1] + " exists";
    return !exists;
  }
  if (!exists) {
    *failure = "there is no file " + words[1];
    return false;
  }
  if (what.empty()) return true;
  long long size = static_cast<long long>(std::filesystem::file_size(host, ec));
  if (what == "size" && words.size() >= 4) {
    long long want;
    if (!Number(words[3], &want)) {
      *failure = "expect-file: size needs a number";
      return false;
    }
    if (size != want) *failure = words[1] + " has " + std::to_string(size) + " bytes, expected " + words[3];
    return size == want;
  }
  if (what == "sha256" && words.size() >= 4) {
    if (size > (1ll << 28)) {
      *failure = words[1] + " is too large to digest";
      return false;
    }
    std::ifstream in(host, std::ios::binary);
    std::vector<uint8_t> data(static_cast<size_t>(size));
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    std::string digest = Sha256Hex(data);
    std::string want = words[3];
    std::transform(want.begin(), want.end(), want.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
    if (digest != want) *failure = words[1] + " has the digest " + digest + ", expected " + want;
    return digest == want;
  }
  *failure = "expect-file takes absent, size N or sha256 HEX";
  return false;
}

bool ExpectRegistry(const std::vector<std::string>& words, const std::string& line, std::string* failure) {
  if (words.size() < 3) {
    *failure = "expect-registry needs KEY VALUE DATA";
    return false;
  }
  std::string key = words[1];
  size_t slash = key.find('\\');
  std::string root = key.substr(0, slash);
  HKEY base = root == "HKLM" || root == "HKEY_LOCAL_MACHINE"  ? HKEY_LOCAL_MACHINE
              : root == "HKCR" || root == "HKEY_CLASSES_ROOT" ? HKEY_CLASSES_ROOT
                                                               : nullptr;
  if (!base) {
    *failure = "expect-registry: the key starts with HKLM or HKCR";
    return false;
  }
  std::u16string sub = ToU16(slash == std::string::npos ? "" : key.substr(slash + 1));
  std::u16string name = ToU16(words[2] == "@" ? "" : words[2]);
  std::string want = After(line, 3);
  HKEY k;
  if (RegOpenKeyEx(base, sub.c_str(), 0, 0, &k) != ERROR_SUCCESS) {
    *failure = "there is no key " + key;
    return false;
  }
  std::vector<uint8_t> data(4096);
  DWORD size = static_cast<DWORD>(data.size()), type = 0;
  LONG status = RegQueryValueEx(k, name.c_str(), nullptr, &type, data.data(), &size);
  RegCloseKey(k);
  if (status != ERROR_SUCCESS) {
    *failure = "the key " + key + " has no value " + words[2];
    return false;
  }
  data.resize(std::min<size_t>(size, data.size()));
  std::string got;
  if (type == REG_SZ) {
    std::u16string text(data.size() / 2, u'\0');
    std::copy_n(data.data(), text.size() * 2, reinterpret_cast<uint8_t*>(text.data()));
    while (!text.empty() && text.back() == 0) text.pop_back();
    got = ToUtf8(text);
  } else if (type == REG_DWORD && data.size() == 4) {
    uint32_t v = uint32_t{data[0]} | (uint32_t{data[1]} << 8) | (uint32_t{data[2]} << 16) | (uint32_t{data[3]} << 24);
    long long n;
    if (Number(want, &n)) want = std::to_string(static_cast<uint32_t>(n));
    got = std::to_string(v);
  } else {
    for (uint8_t b : data) got += Hex(b).substr(5);
    std::transform(want.begin(), want.end(), want.begin(), [](char c) { return static_cast<char>(std::toupper(c)); });
  }
  if (got != want) *failure = key + " " + words[2] + " is \"" + got + "\", expected \"" + want + "\"";
  return got == want;
}

}  // namespace

bool RunControlCommand(const std::vector<std::string>& w, const std::string& line, ScriptContext& ctx,
                       std::string* failure) {
  const std::string& cmd = w[0];
  static const char* const kCommands[] = {
      "tap-control", "choose", "select-row", "tab", "done", "menu", "popup", "expect-control",
      "expect-checked", "expect-enabled", "expect-selected", "expect-file", "expect-registry",
      "expect-shot"};
  if (std::none_of(std::begin(kCommands), std::end(kCommands), [&](const char* c) { return cmd == c; }))
    return false;
  failure->clear();
  if (cmd == "expect-file") return ExpectFile(w, failure), true;
  if (cmd == "expect-registry") return ExpectRegistry(w, line, failure), true;
  if (cmd == "expect-shot") {
    long long tolerance = 0;
    if (w.size() < 2 || (w.size() >= 3 && (!Number(w[2], &tolerance) || tolerance < 0 || tolerance > 255))) {
      *failure = "expect-shot needs FILE.png and a tolerance of 0 to 255";
      return true;
    }
    std::string path = w[1];
    if (!path.empty() && path[0] != '/') path = ctx.folder + "/" + path;
    ExpectShot(path, static_cast<int>(tolerance), failure);
    return true;
  }
  WaitIdle(kIdleMs);
  if (cmd == "done") {
    bool has;
    {
      std::lock_guard<std::mutex> lk(Sys().lock);
      Window* f = FindWindowLocked(Sys().foreground);
      has = f && f->doneButton;
    }
    if (!has) *failure = "the window in front has no Done button";
    else Tap(POINT{GetSystemMetrics(SM_CXSCREEN) - 51, 13});
    return true;
  }
  if (cmd == "menu" || cmd == "popup") {
    std::string path = After(line, 1);
    if (path.empty()) {
      *failure = cmd + " needs the item texts";
      return true;
    }
    if (cmd == "menu") {
      bool has;
      {
        std::lock_guard<std::mutex> lk(Sys().lock);
        Window* f = FindWindowLocked(Sys().foreground);
        has = f && f->menuBar;
      }
      if (!has) {
        *failure = "the window in front has no menu bar";
        return true;
      }
      Tap(POINT{40, 13});  // the title in the task bar
    }
    if (!DeepestMenu()) *failure = "no menu is shown";
    else FollowMenu(path, failure);
    return true;
  }
  if (cmd == "tab") {
    Reach(Front, 0, After(line, 1), failure, "the tab row");
    return true;
  }
  // The rest name a control of the window in front.
  long long id;
  if (w.size() < 2 || !Number(w[1], &id)) {
    *failure = cmd + " needs a control id";
    return true;
  }
  HWND control = FindControl(static_cast<int>(id));
  if (!control) {
    *failure = "the window in front has no control " + w[1];
    return true;
  }
  std::string text = After(line, 2);
  if (cmd == "tap-control") {
    // The centre, or X Y from the control's top left corner.
    RECT r;
    GetWindowRect(control, &r);
    long long x = (r.right - r.left) / 2, y = (r.bottom - r.top) / 2;
    if (w.size() >= 4 && (!Number(w[2], &x) || !Number(w[3], &y))) {
      *failure = "tap-control takes ID [X Y]";
      return true;
    }
    Tap(POINT{r.left + static_cast<LONG>(x), r.top + static_cast<LONG>(y)});
  } else if (cmd == "choose" || cmd == "select-row") {
    Reach(FindControl, static_cast<int>(id), text, failure, "control " + w[1]);
  } else if (cmd == "expect-control" || cmd == "expect-selected") {
    std::string got = cmd == "expect-control" ? ToUtf8(WindowTextOf(control)) : SelectedText(control);
    if (got != text) *failure = "control " + w[1] + " shows \"" + got + "\", expected \"" + text + "\"";
  } else {
    bool want = text == "1";
    if (text != "0" && text != "1") {
      *failure = cmd + " takes 0 or 1";
      return true;
    }
    bool got = cmd == "expect-checked" ? SendMessage(control, BM_GETCHECK, 0, 0) == BST_CHECKED
                                       : IsWindowEnabled(control) != FALSE;
    if (got != want)
      *failure = "control " + w[1] + " is " + (got ? "" : "not ") +
                 (cmd == "expect-checked" ? "checked" : "enabled");
  }
  return true;
}

}  // namespace ce::internal
