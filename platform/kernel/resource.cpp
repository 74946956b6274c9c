// Resources: the files the build embedded from a resource folder, looked up
// by name or number as the platform does — the string table, menus, dialog
// templates, bitmaps (PNG), icons and raw data of any named type.
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "platform/controls/controls.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/kernel/resource_internal.h"

namespace ce {

using namespace internal;

namespace internal {

namespace {

struct Resources {
  std::mutex lock;
  std::vector<ResourceFile> files;
  std::set<std::string> reported;
};

Resources& Res() {
  static Resources* r = new Resources;
  return *r;
}

std::string LowerAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return s;
}

// The stem of a resource file: "bitmaps/STARTUP.png" -> "startup".
std::string Stem(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return LowerAscii(name);
}

std::string Folder(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : LowerAscii(path.substr(0, slash));
}

std::string NameKey(LPCWSTR name) {
  if (!name) return "";
  if (IS_INTRESOURCE(name)) return std::to_string(reinterpret_cast<uintptr_t>(name));
  return LowerAscii(ToUtf8(name));
}

void Report(const std::string& path, const std::string& what) {
  std::lock_guard<std::mutex> lk(Res().lock);
  if (Res().reported.insert(path).second)
    std::fprintf(stderr, "zelmo: resource %s: %s\n", path.c_str(), what.c_str());
}

}  // namespace

const ResourceFile* FindResourceFile(const std::string& folder, LPCWSTR name) {
  std::string key = NameKey(name);
  std::lock_guard<std::mutex> lk(Res().lock);
  for (const ResourceFile& f : Res().files) {
    if (Folder(f.path) == folder && Stem(f.path) == key) return &f;
  }
  return nullptr;
}

const ResourceFile* FindResourceFileByPath(const std::string& path) {
  std::lock_guard<std::mutex> lk(Res().lock);
  for (const ResourceFile& f : Res().files) {
    if (LowerAscii(f.path) == LowerAscii(path)) return &f;
  }
  return nullptr;
}

std::vector<ResourceFile> ResourceFilesIn(const std::string& folder) {
  std::lock_guard<std::mutex> lk(Res().lock);
  std::vector<ResourceFile> out;
  for (const ResourceFile& f : Res().files) {
    if (Folder(f.path) == LowerAscii(folder)) out.push_back(f);
  }
  return out;
}

// ---------------------------------------------------------------------------
// Text resources: tokens, quoted strings with escapes, flag names

bool Tokenize(std::string_view line, std::vector<Token>* out, std::string* error) {
  out->clear();
  size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    if (c == '#') break;
    if (c == '"') {
      std::string text;
      ++i;
      bool closed = false;
      while (i < line.size()) {
        char d = line[i++];
        if (d == '"') {
          closed = true;
          break;
        }
        if (d != '\\') {
          text.push_back(d);
          continue;
        }
        if (i >= line.size()) break;
        char e = line[i++];
        switch (e) {
          case 'n': text.push_back('\n'); break;
          case 't': text.push_back('\t'); break;
          case '"': text.push_back('"'); break;
          case '\\': text.push_back('\\'); break;
          case 'u': {
            if (i + 4 > line.size()) {
              *error = "short \\u escape";
              return false;
            }
            unsigned v = 0;
            for (int k = 0; k < 4; ++k) {
              char h = line[i++];
              v <<= 4;
              if (h >= '0' && h <= '9') v |= static_cast<unsigned>(h - '0');
              else if (h >= 'a' && h <= 'f') v |= static_cast<unsigned>(h - 'a' + 10);
              else if (h >= 'A' && h <= 'F') v |= static_cast<unsigned>(h - 'A' + 10);
              else {
                *error = "bad \\u escape";
                return false;
              }
            }
            text += ToUtf8(std::u16string(1, static_cast<char16_t>(v)));
            break;
          }
          default: *error = std::string("unknown escape \\") + e; return false;
        }
      }
      if (!closed) {
        *error = "unterminated string";
        return false;
      }
      out->push_back(Token{true, text});
      continue;
    }
    size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r' && line[j] != '"')
      ++j;
    out->push_back(Token{false, std::string(line.substr(i, j - i))});
    i = j;
  }
  return true;
}

bool ParseInt(const std::string& s, long long* v) {
  if (s.empty()) return false;
  char* end = nullptr;
  long long r = std::strtoll(s.c_str(), &end, 0);
  if (!end || *end) return false;
  *v = r;
  return true;
}

namespace {

struct FlagName {
  const char* name;
  DWORD value;
};

constexpr FlagName kFlags[] = {
    {"WS_POPUP", WS_POPUP},         {"WS_CHILD", WS_CHILD},
    {"WS_VISIBLE", WS_VISIBLE},     {"WS_DISABLED", WS_DISABLED},
    {"WS_BORDER", WS_BORDER},       {"WS_CAPTION", WS_CAPTION},
    {"WS_VSCROLL", WS_VSCROLL},     {"WS_HSCROLL", WS_HSCROLL},
    {"WS_GROUP", WS_GROUP},         {"WS_TABSTOP", WS_TABSTOP},
    {"WS_EX_TOPMOST", WS_EX_TOPMOST}, {"WS_EX_CLIENTEDGE", WS_EX_CLIENTEDGE},
    {"DS_CENTER", DS_CENTER},
    {"BS_PUSHBUTTON", BS_PUSHBUTTON}, {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON},
    {"BS_CHECKBOX", BS_CHECKBOX},   {"BS_AUTOCHECKBOX", BS_AUTOCHECKBOX},
    {"BS_RADIOBUTTON", BS_RADIOBUTTON}, {"BS_AUTORADIOBUTTON", BS_AUTORADIOBUTTON},
    {"BS_GROUPBOX", BS_GROUPBOX},   {"BS_OWNERDRAW", BS_OWNERDRAW},
    {"BS_3STATE", BS_3STATE},       {"BS_AUTO3STATE", BS_AUTO3STATE},
    {"SS_LEFT", SS_LEFT},           {"SS_CENTER", SS_CENTER},
    {"SS_RIGHT", SS_RIGHT},         {"SS_NOPREFIX", SS_NOPREFIX},
    {"SS_CENTERIMAGE", SS_CENTERIMAGE},
    {"ES_LEFT", ES_LEFT},           {"ES_CENTER", ES_CENTER},
    {"ES_RIGHT", ES_RIGHT},         {"ES_NUMBER", ES_NUMBER},
    {"ES_READONLY", ES_READONLY},   {"ES_AUTOHSCROLL", ES_AUTOHSCROLL},
    {"SBS_HORZ", SBS_HORZ},         {"SBS_VERT", SBS_VERT},
    {"SS_LEFTNOWORDWRAP", SS_LEFTNOWORDWRAP},
    {"CBS_DROPDOWNLIST", CBS_DROPDOWNLIST},
    {"LVS_REPORT", LVS_REPORT},     {"LVS_SINGLESEL", LVS_SINGLESEL},
    {"LVS_SHOWSELALWAYS", LVS_SHOWSELALWAYS}, {"LVS_NOCOLUMNHEADER", LVS_NOCOLUMNHEADER},
    {"UDS_WRAP", UDS_WRAP},         {"UDS_SETBUDDYINT", UDS_SETBUDDYINT},
    {"UDS_ALIGNRIGHT", UDS_ALIGNRIGHT}, {"UDS_ALIGNLEFT", UDS_ALIGNLEFT},
    {"UDS_AUTOBUDDY", UDS_AUTOBUDDY}, {"UDS_ARROWKEYS", UDS_ARROWKEYS},
    {"UDS_NOTHOUSANDS", UDS_NOTHOUSANDS},
};

}  // namespace

bool ParseFlags(const std::string& s, DWORD* out, std::string* error) {
  DWORD v = 0;
  size_t start = 0;
  while (start <= s.size()) {
    size_t bar = s.find('|', start);
    std::string part = s.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
    long long n;
    bool found = false;
    for (const FlagName& f : kFlags) {
      if (part == f.name) {
        v |= f.value;
        found = true;
      }
    }
    if (!found) {
      if (!ParseInt(part, &n) || n < 0 || n > 0xFFFFFFFFll) {
        *error = "unknown flag " + part;
        return false;
      }
      v |= static_cast<DWORD>(n);
    }
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  *out = v;
  return true;
}

std::vector<std::string> Lines(const ResourceFile& f) {
  std::vector<std::string> lines;
  std::string cur;
  for (size_t i = 0; i < f.size; ++i) {
    char c = static_cast<char>(f.data[i]);
    if (c == '\n') {
      lines.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

// ---------------------------------------------------------------------------
// String table

bool ParseStringTable(const ResourceFile& f, std::map<UINT, std::u16string>* out,
                      std::string* error) {
  std::vector<Token> t;
  int number = 0;
  for (const std::string& line : Lines(f)) {
    ++number;
    if (!Tokenize(line, &t, error)) {
      *error = "line " + std::to_string(number) + ": " + *error;
      return false;
    }
    if (t.empty()) continue;
    long long id;
    if (t.size() != 2 || t[0].quoted || !t[1].quoted || !ParseInt(t[0].text, &id) || id < 0 ||
        id > 65535) {
      *error = "line " + std::to_string(number) + ": expected: ID \"text\"";
      return false;
    }
    (*out)[static_cast<UINT>(id)] = ToU16(t[1].text);
  }
  return true;
}

// ---------------------------------------------------------------------------
// Menus

namespace {

constexpr int kMenuNesting = 4;  // menus taking pop-ups from menus that take them ...

bool ParseMenuAt(const ResourceFile& f, HMENU* out, std::string* error, int depth);

// The pop-up titled `title` at the top of menu resource `name`, taken out
// of a fresh copy of that menu.
HMENU BorrowPopup(const std::string& name, const std::u16string& title, std::string* error,
                  int depth) {
  std::u16string wide = ToU16(name);
  const ResourceFile* f = FindResourceFile("menus", wide.c_str());
  if (!f) {
    *error = "no menu " + name;
    return nullptr;
  }
  if (depth >= kMenuNesting) {
    *error = "menus take pop-ups from each other too deeply";
    return nullptr;
  }
  HMENU whole = nullptr;
  if (!ParseMenuAt(*f, &whole, error, depth + 1)) {
    *error = std::string(f->path) + ": " + *error;
    return nullptr;
  }
  HMENU found = nullptr;
  for (int i = 0, n = GetMenuItemCount(whole); i < n && !found; ++i) {
    WCHAR text[128];
    GetMenuString(whole, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
    HMENU sub = GetSubMenu(whole, i);
    if (sub && title == text) {
      found = sub;
      RemoveMenu(whole, static_cast<UINT>(i), MF_BYPOSITION);
    }
  }
  DestroyMenu(whole);
  if (!found) *error = "menu " + name + " has no pop-up \"" + ToUtf8(title) + "\"";
  return found;
}

bool ParseMenuAt(const ResourceFile& f, HMENU* out, std::string* error, int depth) {
  std::vector<HMENU> stack{CreateMenu()};
  std::vector<Token> t;
  int number = 0;
  auto fail = [&](const std::string& what) {
    *error = "line " + std::to_string(number) + ": " + what;
    DestroyMenu(stack.front());
    return false;
  };
  for (const std::string& line : Lines(f)) {
    ++number;
    if (!Tokenize(line, &t, error)) return fail(*error);
    if (t.empty()) continue;
    const std::string& word = t[0].text;
    if (word == "POPUP") {
      bool borrowed = t.size() == 4 && !t[2].quoted && t[2].text == "FROM";
      if ((t.size() != 2 && !borrowed) || !t[1].quoted)
        return fail("expected: POPUP \"text\" [FROM menu]");
      std::u16string text = ToU16(t[1].text);
      HMENU sub = borrowed ? BorrowPopup(t[3].text, text, error, depth) : CreatePopupMenu();
      if (!sub) return fail(*error);
      AppendMenu(stack.back(), MF_POPUP, reinterpret_cast<uintptr_t>(sub), text.c_str());
      if (!borrowed) stack.push_back(sub);
    } else if (word == "END") {
      if (stack.size() < 2) return fail("END without POPUP");
      stack.pop_back();
    } else if (word == "SEPARATOR") {
      AppendMenu(stack.back(), MF_SEPARATOR, 0, nullptr);
    } else if (word == "ITEM") {
      long long id;
      if (t.size() < 3 || !ParseInt(t[1].text, &id) || !t[2].quoted || id < 0 || id > 65535)
        return fail("expected: ITEM id \"text\" [GRAYED] [CHECKED]");
      UINT flags = MF_STRING;
      for (size_t k = 3; k < t.size(); ++k) {
        if (t[k].text == "GRAYED") flags |= MF_GRAYED;
        else if (t[k].text == "CHECKED") flags |= MF_CHECKED;
        else return fail("unknown item flag " + t[k].text);
      }
      std::u16string text = ToU16(t[2].text);
      AppendMenu(stack.back(), flags, static_cast<uintptr_t>(id), text.c_str());
    } else {
      return fail("unknown word " + word);
    }
  }
  if (stack.size() != 1) return fail("POPUP without END");
  *out = stack.front();
  return true;
}

}  // namespace

bool ParseMenu(const ResourceFile& f, HMENU* out, std::string* error) {
  return ParseMenuAt(f, out, error, 0);
}

// ---------------------------------------------------------------------------
// Dialog templates

namespace {

// Four numbers from t[from..from+3] into x, y, cx, cy.
bool Rectangle4(const std::vector<Token>& t, size_t from, int* out) {
  for (size_t k = 0; k < 4; ++k) {
    long long v;
    if (from + k >= t.size() || t[from + k].quoted || !ParseInt(t[from + k].text, &v) ||
        v < -4096 || v > 4096)
      return false;
    out[k] = static_cast<int>(v);
  }
  return true;
}

}  // namespace

bool ParseDialog(const ResourceFile& f, DialogTemplate* out, std::string* error) {
  std::vector<Token> t;
  int number = 0;
  std::string text;
  bool header = false;
  bool wide = false;
  auto fail = [&](const std::string& what) {
    *error = "line " + std::to_string(number) + ": " + what + ": " + text;
    return false;
  };
  // STYLE and EXSTYLE add to what the line starts with; the placement words
  // only on the DIALOG line.
  auto styles = [&](size_t from, DWORD* style, DWORD* exStyle, bool dialog) {
    for (size_t k = from; k < t.size(); ++k) {
      const std::string& w = t[k].text;
      if (dialog && w == "CENTER") {
        out->placement = DialogPlacement::kCenter;
      } else if (dialog && w == "FULLSCREEN") {
        out->placement = DialogPlacement::kFullScreen;
      } else if ((w == "STYLE" || w == "EXSTYLE") && k + 1 < t.size()) {
        DWORD flags = 0;
        if (!ParseFlags(t[k + 1].text, &flags, error)) return false;
        *(w == "STYLE" ? style : exStyle) |= flags;
        ++k;
      } else {
        *error = "unexpected " + w;
        return false;
      }
    }
    return true;
  };
  *out = DialogTemplate{};
  out->name = f.path;
  for (const std::string& line : Lines(f)) {
    ++number;
    text = line;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (!Tokenize(line, &t, error)) return fail(*error);
    if (t.empty()) continue;
    int r[4];
    const std::string& word = t[0].text;
    if (word == "DIALOG") {
      if (header || t.size() < 6 || !Rectangle4(t, 1, r) || !t[5].quoted)
        return fail("expected: DIALOG x y cx cy \"title\"");
      out->x = r[0];
      out->y = r[1];
      out->cx = r[2];
      out->cy = r[3];
      out->title = ToU16(t[5].text);
      out->style = WS_POPUP;
      if (!styles(6, &out->style, &out->exStyle, true)) return fail(*error);
      if (out->style & WS_CHILD) out->style &= ~WS_POPUP;
      header = true;
    } else if (word == "CONTROL") {
      long long id;
      if (!header || wide) return fail("CONTROL outside the narrow layout");
      if (t.size() < 8 || !t[3].quoted || !ParseInt(t[1].text, &id) || id < -1 || id > 65535 ||
          !Rectangle4(t, 4, r))
        return fail("expected: CONTROL id class \"text\" x y cx cy");
      DialogItem item;
      item.id = static_cast<int>(id);
      item.className = ToU16(t[2].text);
      item.text = ToU16(t[3].text);
      item.x = r[0];
      item.y = r[1];
      item.cx = r[2];
      item.cy = r[3];
      item.style = WS_VISIBLE;
      item.line = number;
      item.source = text;
      if (!styles(8, &item.style, &item.exStyle, false)) return fail(*error);
      out->items.push_back(std::move(item));
    } else if (word == "WIDE") {
      long long cx, cy;
      if (!header || wide || t.size() != 3 || !ParseInt(t[1].text, &cx) || !ParseInt(t[2].text, &cy) ||
          cx <= 0 || cy <= 0 || cx > 4096 || cy > 4096)
        return fail("expected: WIDE cx cy, once, after the controls");
      wide = true;
      out->hasWide = true;
      out->wideCx = static_cast<int>(cx);
      out->wideCy = static_cast<int>(cy);
    } else if (word == "MOVE") {
      long long id;
      if (!wide) return fail("MOVE before WIDE");
      if (t.size() != 6 || !ParseInt(t[1].text, &id) || !Rectangle4(t, 2, r))
        return fail("expected: MOVE id x y cx cy");
      DialogItem* found = nullptr;
      for (DialogItem& item : out->items) {
        if (item.id != id) continue;
        if (found) return fail("MOVE names an id that several controls share");
        found = &item;
      }
      if (!found) return fail("MOVE names no control");
      if (found->moves) return fail("the control moves twice");
      found->moves = true;
      found->wx = r[0];
      found->wy = r[1];
      found->wcx = r[2];
      found->wcy = r[3];
    } else {
      return fail("unknown word " + word);
    }
  }
  text.clear();
  if (!header) return fail("no DIALOG line");
  return true;
}

bool LoadDialogTemplate(LPCWSTR name, DialogTemplate* out) {
  const ResourceFile* f = FindResourceFile("dialogs", name);
  if (!f) return false;
  std::string error;
  if (!ParseDialog(*f, out, &error)) {
    Report(f->path, error);
    return false;
  }
  return true;
}

void ReportResourceProblem(const std::string& path, const std::string& what) { Report(path, what); }

// ---------------------------------------------------------------------------
// PNG pictures

bool DecodePng(const uint8_t* data, size_t size, Picture* out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data, size)) return false;
  image.format = PNG_FORMAT_RGB;
  if (image.width == 0 || image.height == 0 || image.width > 8192 || image.height > 8192) {
    png_image_free(&image);
    return false;
  }
  out->width = static_cast<int>(image.width);
  out->height = static_cast<int>(image.height);
  out->rgb.assign(PNG_IMAGE_SIZE(image), 0);
  // Transparent pixels come out over white.
  png_color white{255, 255, 255};
  if (!png_image_finish_read(&image, &white, out->rgb.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  return true;
}

HBITMAP PictureToBitmap(const Picture& p) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = p.width;
  bi.bmiHeader.biHeight = -p.height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bmp) return nullptr;
  size_t stride = (static_cast<size_t>(p.width) * 3 + 3) & ~size_t{3};
  auto* dst = static_cast<uint8_t*>(bits);
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const uint8_t* s = &p.rgb[(static_cast<size_t>(y) * p.width + x) * 3];
      uint8_t* d = dst + y * stride + x * 3;
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
    }
  }
  return bmp;
}

bool LoadPicture(const std::string& folder, LPCWSTR name, Picture* out) {
  const ResourceFile* f = FindResourceFile(folder, name);
  if (!f) return false;
  if (!DecodePng(f->data, f->size, out)) {
    Report(f->path, "not a readable PNG file");
    return false;
  }
  return true;
}

}  // namespace internal

void SetProgramResources(std::span<const ResourceFile> files) {
  std::lock_guard<std::mutex> lk(Res().lock);
  Res().files.assign(files.begin(), files.end());
  Res().reported.clear();
}

HINSTANCE ProgramInstance() { return MakeHandle<HINSTANCE>(0x400); }

HINSTANCE GetModuleHandle(LPCWSTR) { return ProgramInstance(); }

int LoadString(HINSTANCE, UINT id, LPWSTR buffer, int capacity) {
  const ResourceFile* f = FindResourceFileByPath("strings.txt");
  if (!f || !buffer || capacity <= 0) return 0;
  std::map<UINT, std::u16string> table;
  std::string error;
  if (!ParseStringTable(*f, &table, &error)) {
    Report(f->path, error);
    buffer[0] = 0;
    return 0;
  }
  auto it = table.find(id);
  if (it == table.end()) {
    buffer[0] = 0;
    return 0;
  }
  int n = std::min<int>(capacity - 1, static_cast<int>(it->second.size()));
  std::copy_n(it->second.data(), n, buffer);
  buffer[n] = 0;
  return n;
}

HMENU LoadMenu(HINSTANCE, LPCWSTR name) {
  const ResourceFile* f = FindResourceFile("menus", name);
  if (!f) return nullptr;
  HMENU menu = nullptr;
  std::string error;
  if (!ParseMenu(*f, &menu, &error)) {
    Report(f->path, error);
    return nullptr;
  }
  return menu;
}

HBITMAP LoadBitmap(HINSTANCE, LPCWSTR name) {
  Picture p;
  if (!LoadPicture("bitmaps", name, &p)) return nullptr;
  return PictureToBitmap(p);
}

HICON LoadIcon(HINSTANCE, LPCWSTR name) {
  const ResourceFile* f = FindResourceFile("icons", name);
  return f ? reinterpret_cast<HICON>(const_cast<ResourceFile*>(f)) : nullptr;
}

namespace {

// The folder of a resource type: numbered platform types and named ones.
std::string TypeFolder(LPCWSTR type) {
  if (IS_INTRESOURCE(type)) {
    switch (reinterpret_cast<uintptr_t>(type)) {
      case 2: return "bitmaps";
      case 3:
      case 14: return "icons";
      case 4: return "menus";
      case 5: return "dialogs";
      case 10: return "data/rcdata";
      default: return "";
    }
  }
  return "data/" + LowerAscii(ToUtf8(type));
}

}  // namespace

HRSRC FindResource(HINSTANCE, LPCWSTR name, LPCWSTR type) {
  if (!name || !type) return nullptr;
  const ResourceFile* f = FindResourceFile(TypeFolder(type), name);
  if (!f) {
    SetLastError(ERROR_RESOURCE_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HRSRC>(const_cast<ResourceFile*>(f));
}

HGLOBAL LoadResource(HINSTANCE, HRSRC resource) {
  if (!resource) return nullptr;
  return const_cast<uint8_t*>(reinterpret_cast<const ResourceFile*>(resource)->data);
}

void* LockResource(HGLOBAL loaded) { return loaded; }

DWORD SizeofResource(HINSTANCE, HRSRC resource) {
  if (!resource) return 0;
  return static_cast<DWORD>(reinterpret_cast<const ResourceFile*>(resource)->size);
}

}  // namespace ce
