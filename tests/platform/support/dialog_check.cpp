#include "support/dialog_check.h"

#include <algorithm>
#include <map>
#include <set>

#include "platform/kernel/resource_internal.h"

namespace emu {

using namespace ce;
using namespace ce::internal;

namespace {

// Narrow layouts fit a 240 x 320 screen below the task bar, wide ones a
// 320 x 240 screen; pages leave room for the sheet's tabs.
constexpr SIZE kNarrow{240, 294};
constexpr SIZE kWide{320, 214};
constexpr const char* kClasses[] = {"button", "static", "edit", "combobox", "syslistview32",
                                    "msctls_updown32", "scrollbar"};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

bool Fits(int cx, int cy, SIZE limit) { return cx > 0 && cy > 0 && cx <= limit.cx && cy <= limit.cy; }

bool Inside(int x, int y, int cx, int cy, int width, int height) {
  return x >= 0 && y >= 0 && cx >= 0 && cy >= 0 && x + cx <= width && y + cy <= height;
}

void CheckOne(const std::string& path, const DialogTemplate& t, bool twin, bool hasTwin,
              std::vector<std::string>* out) {
  auto problem = [&](const std::string& what) { out->push_back(path + ": " + what); };
  bool page = (t.style & WS_CHILD) != 0;
  SIZE narrow = kNarrow, wide = kWide;
  if (page) {
    narrow.cy -= kSheetTabHeight;
    wide.cy -= kSheetTabHeight;
  }
  if (!page && t.placement == DialogPlacement::kAt) problem("says neither FULLSCREEN nor CENTER, nor is it a page");
  std::set<int> ids;
  for (const DialogItem& item : t.items) {
    std::string id = std::to_string(item.id);
    if (item.id != -1 && !ids.insert(item.id).second) problem("control id " + id + " is used twice");
    std::string cls = Lower(ToUtf8(item.className));
    if (std::none_of(std::begin(kClasses), std::end(kClasses), [&](const char* c) { return cls == c; }))
      problem("control " + id + " has the unknown class " + cls);
    if (!Inside(item.x, item.y, item.cx, item.cy, t.cx, t.cy)) problem("control " + id + " lies outside the layout");
    if (t.hasWide && !(item.moves ? Inside(item.wx, item.wy, item.wcx, item.wcy, t.wideCx, t.wideCy)
                                  : Inside(item.x, item.y, item.cx, item.cy, t.wideCx, t.wideCy)))
      problem("control " + id + " lies outside the wide layout");
  }
  std::string size = std::to_string(t.cx) + " x " + std::to_string(t.cy);
  if (twin) {
    if (!Fits(t.cx, t.cy, wide)) problem("the wide twin's " + size + " does not fit " +
                                         std::to_string(wide.cx) + " x " + std::to_string(wide.cy));
    return;
  }
  if (!Fits(t.cx, t.cy, narrow))
    problem("the layout's " + size + " does not fit " + std::to_string(narrow.cx) + " x " + std::to_string(narrow.cy));
  if (t.hasWide && !Fits(t.wideCx, t.wideCy, wide))
    problem("the wide layout does not fit " + std::to_string(wide.cx) + " x " + std::to_string(wide.cy));
  if (!t.hasWide && !hasTwin && !Fits(t.cx, t.cy, wide)) problem("needs a wide layout (WIDE) or a wide twin");
}

}  // namespace

std::vector<std::string> CheckDialogTemplates(std::span<const ResourceFile> files,
                                              const std::vector<DialogUse>& uses) {
  std::vector<std::string> out;
  std::map<std::string, DialogTemplate> templates;  // by lower-case resource name
  for (const ResourceFile& f : files) {
    std::string path = f.path;
    if (path.rfind("dialogs/", 0) != 0) continue;
    DialogTemplate t;
    std::string error;
    if (!ParseDialog(f, &t, &error)) {
      out.push_back(path + ": " + error);
      continue;
    }
    std::string name = Lower(path.substr(8, path.rfind('.') - 8));
    bool twin = std::any_of(uses.begin(), uses.end(), [&](const DialogUse& u) { return Lower(u.wideTwin) == name; });
    bool hasTwin = std::any_of(uses.begin(), uses.end(),
                               [&](const DialogUse& u) { return Lower(u.resource) == name && !u.wideTwin.empty(); });
    CheckOne(path, t, twin, hasTwin, &out);
    templates[name] = std::move(t);
  }
  for (const DialogUse& u : uses) {
    for (const std::string& name : {u.resource, u.wideTwin}) {
      if (name.empty()) continue;
      auto it = templates.find(Lower(name));
      if (it == templates.end()) {
        out.push_back("dialog " + name + " is shown but has no readable template in dialogs/");
        continue;
      }
      for (int id : u.controls) {
        bool found = std::any_of(it->second.items.begin(), it->second.items.end(),
                                 [&](const DialogItem& item) { return item.id == id; });
        if (!found) out.push_back("dialog " + name + " has no control " + std::to_string(id));
      }
    }
  }
  return out;
}

}  // namespace emu
