// Menus: menu bars and pop-ups built at run time or loaded from resources,
// item state, and TrackPopupMenu, which the emulator draws and runs modally
// on the calling thread (cascading into sub-menus).
#include <algorithm>
#include <map>

#include "platform/controls/controls.h"
#include "platform/gdi/gdi_internal.h"

namespace ce {

using namespace internal;

namespace {

struct MenuItem {
  UINT flags = 0;
  UINT id = 0;
  HMENU sub = nullptr;
  std::u16string text;
};

struct Menu {
  std::vector<MenuItem> items;
};

struct MenuTable {
  std::mutex lock;
  uint32_t nextId = 1;
  std::map<uint32_t, Menu> menus;
};

MenuTable& Menus() {
  static MenuTable* table = new MenuTable;
  return *table;
}

Menu* FindMenuLocked(HMENU menu) {
  auto it = Menus().menus.find(HandleId(menu));
  return it == Menus().menus.end() ? nullptr : &it->second;
}

HMENU NewMenu() {
  std::lock_guard<std::mutex> lk(Menus().lock);
  uint32_t id = Menus().nextId++;
  Menus().menus[id] = Menu{};
  return MakeHandle<HMENU>(id);
}

// The item an API call names: by position, or by command anywhere below.
MenuItem* ItemLocked(HMENU menu, UINT item, UINT flags) {
  Menu* m = FindMenuLocked(menu);
  if (!m) return nullptr;
  if (flags & MF_BYPOSITION) return item < m->items.size() ? &m->items[item] : nullptr;
  for (MenuItem& it : m->items) {
    if (!(it.flags & MF_POPUP) && !(it.flags & MF_SEPARATOR) && it.id == item) return &it;
  }
  for (MenuItem& it : m->items) {
    if (it.flags & MF_POPUP) {
      if (MenuItem* found = ItemLocked(it.sub, item, flags)) return found;
    }
  }
  return nullptr;
}

void DestroyLocked(HMENU menu) {
  Menu* m = FindMenuLocked(menu);
  if (!m) return;
  std::vector<HMENU> subs;
  for (const MenuItem& it : m->items) {
    if (it.flags & MF_POPUP) subs.push_back(it.sub);
  }
  Menus().menus.erase(HandleId(menu));
  for (HMENU s : subs) DestroyLocked(s);
}

MenuItem MakeItem(UINT flags, uintptr_t idOrPopup, LPCWSTR text) {
  MenuItem it;
  it.flags = flags;
  if (flags & MF_POPUP) it.sub = reinterpret_cast<HMENU>(idOrPopup);
  else it.id = static_cast<UINT>(idOrPopup);
  if (!(flags & MF_SEPARATOR)) it.text = FromW(text);
  return it;
}

}  // namespace

HMENU CreateMenu() { return NewMenu(); }
HMENU CreatePopupMenu() { return NewMenu(); }

BOOL AppendMenu(HMENU menu, UINT flags, uintptr_t idOrPopup, LPCWSTR text) {
  std::lock_guard<std::mutex> lk(Menus().lock);
  Menu* m = FindMenuLocked(menu);
  if (!m) return FALSE;
  m->items.push_back(MakeItem(flags, idOrPopup, text));
  return TRUE;
}

BOOL InsertMenu(HMENU menu, UINT position, UINT flags, uintptr_t idOrPopup, LPCWSTR text) {
  std::lock_guard<std::mutex> lk(Menus().lock);
  Menu* m = FindMenuLocked(menu);
  if (!m) return FALSE;
  size_t at = m->items.size();
  if (flags & MF_BYPOSITION) {
    at = std::min<size_t>(position, m->items.size());
  } else {
    for (size_t i = 0; i < m->items.size(); ++i) {
      if (m->items[i].id == position && !(m->items[i].flags & MF_POPUP)) at = i;
    }
  }
  m->items.insert(m->items.begin() + static_cast<long>(at),
                  MakeItem(flags & ~MF_BYPOSITION, idOrPopup, text));
  return TRUE;
}

namespace {

BOOL Remove(HMENU menu, UINT position, UINT flags, bool destroy) {
  std::lock_guard<std::mutex> lk(Menus().lock);
  Menu* m = FindMenuLocked(menu);
  if (!m) return FALSE;
  for (size_t i = 0; i < m->items.size(); ++i) {
    bool match = (flags & MF_BYPOSITION) ? i == position
                                         : (m->items[i].id == position &&
                                            !(m->items[i].flags & MF_POPUP));
    if (!match) continue;
    HMENU sub = m->items[i].sub;
    m->items.erase(m->items.begin() + static_cast<long>(i));
    if (destroy && sub) DestroyLocked(sub);
    return TRUE;
  }
  return FALSE;
}

}  // namespace

BOOL DeleteMenu(HMENU menu, UINT position, UINT flags) { return Remove(menu, position, flags, true); }
BOOL RemoveMenu(HMENU menu, UINT position, UINT flags) { return Remove(menu, position, flags, false); }

BOOL DestroyMenu(HMENU menu) {
  std::lock_guard<std::mutex> lk(Menus().lock);
  if (!FindMenuLocked(menu)) return FALSE;
  DestroyLocked(menu);
  return TRUE;
}

HMENU GetSubMenu(HMENU menu, int position) {
  std::lock_guard<std::mutex> lk(Menus().lock);
  Menu* m = FindMenuLocked(menu);
  if (!m || position < 0 || static_cast<size_t>(position) >= m->items.size()) return nullptr;
  return m->items[static_cast<size_t>(position)].sub;
}

int GetMenuItemCount(HMENU menu) {
  std::lock_guard<std::mutex> lk(Menus().lock);
  Menu* m = FindMenuLocked(menu);
  return m ? static_cast<int>(m->items.size()) : -1;
}

UINT GetMenuItemID(HMENU menu, int position) {
  std::lock_guard<std::mutex> lk(Menus().lock);
  Menu* m = FindMenuLocked(menu);
  if (!m || position < 0 || static_cast<size_t>(position) >= m->items.size()) return 0xFFFFFFFF;
  const MenuItem& it = m->items[static_cast<size_t>(position)];
  return (it.flags & MF_POPUP) ? 0xFFFFFFFF : it.id;
}

DWORD CheckMenuItem(HMENU menu, UINT item, UINT flags) {
  std::lock_guard<std::mutex> lk(Menus().lock);
  MenuItem* it = ItemLocked(menu, item, flags);
  if (!it) return 0xFFFFFFFF;
  DWORD old = it->flags & MF_CHECKED;
  it->flags = (it->flags & ~MF_CHECKED) | (flags & MF_CHECKED);
  return old;
}

BOOL CheckMenuRadioItem(HMENU menu, UINT first, UINT last, UINT check, UINT flags) {
  std::lock_guard<std::mutex> lk(Menus().lock);
  Menu* m = FindMenuLocked(menu);
  if (!m) return FALSE;
  bool found = false;
  for (size_t i = 0; i < m->items.size(); ++i) {
    MenuItem& it = m->items[i];
    UINT key = (flags & MF_BYPOSITION) ? static_cast<UINT>(i) : it.id;
    if (key < first || key > last) continue;
    if (key == check) {
      it.flags |= MF_CHECKED;
      found = true;
    } else {
      it.flags &= ~MF_CHECKED;
    }
  }
  return found ? TRUE : FALSE;
}

BOOL EnableMenuItem(HMENU menu, UINT item, UINT flags) {
  std::lock_guard<std::mutex> lk(Menus().lock);
  MenuItem* it = ItemLocked(menu, item, flags);
  if (!it) return -1;
  BOOL old = static_cast<BOOL>(it->flags & (MF_GRAYED | MF_DISABLED));
  it->flags = (it->flags & ~(MF_GRAYED | MF_DISABLED)) | (flags & (MF_GRAYED | MF_DISABLED));
  return old;
}

UINT GetMenuState(HMENU menu, UINT item, UINT flags) {
  std::lock_guard<std::mutex> lk(Menus().lock);
  MenuItem* it = ItemLocked(menu, item, flags);
  return it ? (it->flags & ~MF_BYPOSITION) : 0xFFFFFFFF;
}

int GetMenuString(HMENU menu, UINT item, LPWSTR buffer, int capacity, UINT flags) {
  std::lock_guard<std::mutex> lk(Menus().lock);
  MenuItem* it = ItemLocked(menu, item, flags);
  if (!it) return 0;
  if (!buffer || capacity <= 0) return static_cast<int>(it->text.size());
  int n = std::min<int>(capacity - 1, static_cast<int>(it->text.size()));
  std::copy_n(it->text.data(), n, buffer);
  buffer[n] = 0;
  return n;
}

// ---------------------------------------------------------------------------
// TrackPopupMenu

namespace {

constexpr int kSeparatorHeight = 5;
constexpr int kScrollArrowHeight = 12;

struct Level {
  HMENU menu;
  HWND window;
  RECT rect;  // screen
  int selected = -1;
  int first = 0;  // first item shown when the level scrolls
  bool scrolls = false;
  std::vector<MenuItem> items;  // snapshot taken when the level opened
};

struct Tracking {
  std::vector<Level> levels;
  HWND owner = nullptr;
  HFONT font = nullptr;
  int itemHeight = 20;
  UINT result = 0;
  bool done = false;
  bool penInside = false;
};

// The menu font: the system's pop-up font setting, else a bold 12-pixel
// face.
HFONT MenuFont(int* pixelHeight) {
  LOGFONT lf{};
  lf.lfHeight = -12;
  lf.lfWeight = FW_BOLD;
  HKEY key;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"System\\GWE\\Menu\\PopFnt", 0, 0, &key) == ERROR_SUCCESS) {
    DWORD value = 0, size = sizeof(value), type = 0;
    if (RegQueryValueEx(key, u"Ht", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
            ERROR_SUCCESS && size == sizeof(value)) {
      int h = static_cast<int32_t>(value);
      if (h != 0 && std::abs(h) <= 40) lf.lfHeight = -std::abs(h);
    }
    size = sizeof(value);
    if (RegQueryValueEx(key, u"Wt", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
            ERROR_SUCCESS && size == sizeof(value) && value <= 1000)
      lf.lfWeight = static_cast<LONG>(value);
    RegCloseKey(key);
  }
  *pixelHeight = std::abs(static_cast<int>(lf.lfHeight));
  return CreateFontIndirect(&lf);
}

std::vector<MenuItem> Snapshot(HMENU menu) {
  std::lock_guard<std::mutex> lk(Menus().lock);
  Menu* m = FindMenuLocked(menu);
  return m ? m->items : std::vector<MenuItem>{};
}

int Height(const Tracking& t, const MenuItem& it) {
  return (it.flags & MF_SEPARATOR) ? kSeparatorHeight : t.itemHeight;
}

// Top of item `index` in the level's window, or -1 when scrolled away.
int ItemTop(const Tracking& t, const Level& l, size_t index) {
  if (static_cast<int>(index) < l.first) return -1;
  int y = 1 + (l.scrolls ? kScrollArrowHeight : 0);
  for (size_t i = static_cast<size_t>(l.first); i < index && i < l.items.size(); ++i) y += Height(t, l.items[i]);
  int bottom = (l.rect.bottom - l.rect.top) - 1 - (l.scrolls ? kScrollArrowHeight : 0);
  return y + (index < l.items.size() ? Height(t, l.items[index]) : 0) <= bottom ? y : -1;
}

std::u16string Shown(const std::u16string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'&' && i + 1 < text.size()) ++i;
    if (text[i] == u'\t') break;
    out.push_back(text[i]);
  }
  return out;
}

SIZE LevelSize(const Tracking& t, const std::vector<MenuItem>& items) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, t.font);
  int width = 60, height = 2;
  for (const MenuItem& it : items) {
    SIZE s{0, 0};
    std::u16string shown = Shown(it.text);
    GetTextExtentPoint32(dc, shown.c_str(), static_cast<int>(shown.size()), &s);
    width = std::max<int>(width, s.cx + 38);
    height += Height(t, it);
  }
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return SIZE{width, height};
}

void PaintLevel(const Tracking& t, const Level& l, HDC dc) {
  RECT r{0, 0, l.rect.right - l.rect.left, l.rect.bottom - l.rect.top};
  FillSolid(dc, r, RGB(255, 255, 255));
  FrameSolid(dc, r, RGB(0, 0, 0), 1);
  HGDIOBJ oldFont = SelectObject(dc, t.font);
  SetBkMode(dc, TRANSPARENT);
  for (size_t i = 0; i < l.items.size(); ++i) {
    const MenuItem& it = l.items[i];
    int top = ItemTop(t, l, i);
    if (top < 0) continue;
    if (it.flags & MF_SEPARATOR) {
      RECT line{4, top + 2, r.right - 4, top + 3};
      FillSolid(dc, line, kDisabledColor);
      continue;
    }
    RECT row{1, top, r.right - 1, top + t.itemHeight};
    bool grayed = (it.flags & (MF_GRAYED | MF_DISABLED)) != 0;
    bool selected = static_cast<int>(i) == l.selected && !grayed;
    if (selected) FillSolid(dc, row, kSelectionColor);
    SetTextColor(dc, grayed ? kDisabledColor : selected ? RGB(255, 255, 255) : RGB(0, 0, 0));
    RECT text{18, top, r.right - 14, top + t.itemHeight};
    std::u16string label = it.text;
    std::u16string accel;
    if (size_t tab = label.find(u'\t'); tab != std::u16string::npos) {
      accel = label.substr(tab + 1);
      label.resize(tab);
    }
    DrawText(dc, label.c_str(), -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    if (!accel.empty()) DrawText(dc, accel.c_str(), -1, &text, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    if (it.flags & MF_CHECKED) {
      RECT mark{3, top, 17, top + t.itemHeight};
      DrawText(dc, u"\u2713", -1, &mark, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    if (it.flags & MF_POPUP) {
      RECT arrow{r.right - 14, top, r.right - 3, top + t.itemHeight};
      DrawText(dc, u"\u25B8", -1, &arrow, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
  }
  if (l.scrolls) {
    bool more = ItemTop(t, l, l.items.size() - 1) < 0;
    DrawArrowBox(dc, RECT{1, 1, r.right - 1, 1 + kScrollArrowHeight}, 0, l.first > 0, false);
    DrawArrowBox(dc, RECT{1, r.bottom - 1 - kScrollArrowHeight, r.right - 1, r.bottom - 1}, 1, more,
                 false);
  }
  SelectObject(dc, oldFont);
}

Tracking* StateOf(HWND hwnd) {
  return reinterpret_cast<Tracking*>(GetWindowLongPtr(hwnd, GWL_USERDATA));
}

// Opens a level of the menu; the first stays hidden until the tracking
// holds the pen (see TrackPopupMenu).
void OpenLevel(Tracking& t, HMENU menu, int x, int y, UINT flags, int position) {
  if (t.owner)
    SendMessage(t.owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu),
                MAKELPARAM(static_cast<unsigned>(std::max(position, 0)), 0));
  Level l;
  l.menu = menu;
  l.items = Snapshot(menu);
  SIZE size = LevelSize(t, l.items);
  const DeviceModel& d = CurrentDevice();
  if (size.cy > d.height) {
    // Taller than the screen: scroll arrows at the top and the bottom.
    size.cy = d.height;
    l.scrolls = true;
  }
  if (flags & TPM_CENTERALIGN) x -= size.cx / 2;
  else if (flags & TPM_RIGHTALIGN) x -= size.cx;
  if (flags & TPM_VCENTERALIGN) y -= size.cy / 2;
  else if (flags & TPM_BOTTOMALIGN) y -= size.cy;
  x = std::clamp<int>(x, 0, std::max<int>(0, d.width - size.cx));
  y = std::clamp<int>(y, 0, std::max<int>(0, d.height - size.cy));
  l.rect = RECT{x, y, x + size.cx, y + size.cy};
  l.window = CreateWindowEx(WS_EX_TOPMOST | WS_EX_NOACTIVATE, u"#32768", u"", WS_POPUP, x, y,
                            size.cx, size.cy, nullptr, nullptr, nullptr, nullptr);
  SetWindowLongPtr(l.window, GWL_USERDATA, reinterpret_cast<intptr_t>(&t));
  t.levels.push_back(std::move(l));
  if (t.levels.size() > 1) ShowWindow(t.levels.back().window, SW_SHOWNA);
}

void CloseLevelsAbove(Tracking& t, size_t keep) {
  while (t.levels.size() > keep) {
    DestroyWindow(t.levels.back().window);
    t.levels.pop_back();
  }
}

// Where a point falls in a level: an item, a scroll arrow, or nothing.
enum class Part { kNone, kItem, kScrollUp, kScrollDown };

// Level and part under a screen point, deepest level first.
bool HitItem(const Tracking& t, POINT p, size_t* level, int* item, Part* part) {
  for (size_t k = t.levels.size(); k-- > 0;) {
    const Level& l = t.levels[k];
    if (!PtInRect(&l.rect, p)) continue;
    *level = k;
    *item = -1;
    *part = Part::kNone;
    int y = p.y - l.rect.top;
    if (l.scrolls && y < 1 + kScrollArrowHeight) {
      *part = Part::kScrollUp;
      return true;
    }
    if (l.scrolls && y >= (l.rect.bottom - l.rect.top) - 1 - kScrollArrowHeight) {
      *part = Part::kScrollDown;
      return true;
    }
    for (size_t i = 0; i < l.items.size(); ++i) {
      int top = ItemTop(t, l, i);
      if (top < 0 || y < top || y >= top + Height(t, l.items[i])) continue;
      if (!(l.items[i].flags & MF_SEPARATOR)) {
        *item = static_cast<int>(i);
        *part = Part::kItem;
      }
    }
    return true;
  }
  return false;
}

void Select(Tracking& t, size_t level, int item) {
  Level& l = t.levels[level];
  if (l.selected != item) {
    l.selected = item;
    InvalidateRect(l.window, nullptr, FALSE);
  }
}

void ScrollLevel(Tracking& t, size_t level, int by) {
  Level& l = t.levels[level];
  int last = static_cast<int>(l.items.size()) - 1;
  int first = l.first;
  if (by < 0 && first > 0) --first;
  if (by > 0 && ItemTop(t, l, static_cast<size_t>(std::max(last, 0))) < 0) ++first;
  if (first == l.first) return;
  CloseLevelsAbove(t, level + 1);
  t.levels[level].first = first;
  InvalidateRect(t.levels[level].window, nullptr, FALSE);
}

// Chooses an item: a command ends the tracking, a sub-menu opens beside it.
void Choose(Tracking& t, size_t level, int item) {
  if (item < 0) return;
  const MenuItem it = t.levels[level].items[static_cast<size_t>(item)];
  if (it.flags & (MF_GRAYED | MF_DISABLED)) return;
  if (it.flags & MF_POPUP) {
    CloseLevelsAbove(t, level + 1);
    // Copies: opening a level moves the levels in memory.
    const RECT r = t.levels[level].rect;
    const int top = r.top + std::max(0, ItemTop(t, t.levels[level], static_cast<size_t>(item)));
    OpenLevel(t, it.sub, r.right - 2, top, 0, item);
    Level& sub = t.levels.back();
    if (sub.rect.left < r.right - 2 && r.left > 0) {
      // No room on the right: open to the left instead.
      int w = sub.rect.right - sub.rect.left;
      int x = std::max(0, static_cast<int>(r.left) - w + 2);
      OffsetRect(&sub.rect, x - sub.rect.left, 0);
      SetWindowPos(sub.window, nullptr, sub.rect.left, sub.rect.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return;
  }
  t.result = it.id;
  t.done = true;
}

void KeyDown(Tracking& t, int vk) {
  Level& l = t.levels.back();
  int n = static_cast<int>(l.items.size());
  auto step = [&](int dir) {
    for (int k = 1; k <= n; ++k) {
      int i = ((l.selected < 0 ? (dir > 0 ? -1 : 0) : l.selected) + dir * k + n * 2) % n;
      if (!(l.items[static_cast<size_t>(i)].flags & MF_SEPARATOR)) {
        size_t level = t.levels.size() - 1;
        while (i < t.levels[level].first) ScrollLevel(t, level, -1);
        while (ItemTop(t, t.levels[level], static_cast<size_t>(i)) < 0 && i >= t.levels[level].first) {
          int before = t.levels[level].first;
          ScrollLevel(t, level, 1);
          if (t.levels[level].first == before) break;
        }
        Select(t, level, i);
        return;
      }
    }
  };
  switch (vk) {
    case VK_DOWN: if (n) step(1); break;
    case VK_UP: if (n) step(-1); break;
    case VK_RETURN:
    case VK_RIGHT: Choose(t, t.levels.size() - 1, l.selected); break;
    case VK_ESCAPE:
    case VK_LEFT:
      if (t.levels.size() > 1) CloseLevelsAbove(t, t.levels.size() - 1);
      else if (vk == VK_ESCAPE) t.done = true;
      break;
    default: break;
  }
}

// Where to tap for the item reading `text` in this level: the item, or the
// scroll arrow towards it.
LRESULT FindTapTarget(Tracking& t, HWND hwnd, TapTarget* target) {
  for (const Level& l : t.levels) {
    if (l.window != hwnd) continue;
    for (size_t i = 0; i < l.items.size(); ++i) {
      if (l.items[i].flags & MF_SEPARATOR || Shown(l.items[i].text) != target->text) continue;
      int top = ItemTop(t, l, i);
      int x = (l.rect.left + l.rect.right) / 2;
      if (top >= 0) {
        target->point = POINT{x, l.rect.top + top + t.itemHeight / 2};
        target->final = true;
      } else {
        bool up = static_cast<int>(i) < l.first;
        target->point = POINT{x, up ? l.rect.top + 1 + kScrollArrowHeight / 2
                                    : l.rect.bottom - 1 - kScrollArrowHeight / 2};
        target->final = false;
      }
      return 1;
    }
  }
  return 0;
}

}  // namespace

namespace internal {

LRESULT MenuPopupProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Tracking* t = StateOf(hwnd);
  switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      if (t) {
        for (const Level& l : t->levels) {
          if (l.window == hwnd) PaintLevel(*t, l, dc);
        }
      }
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP: {
      if (!t) return 0;
      POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      ClientToScreen(hwnd, &p);
      size_t level;
      int item;
      Part part;
      bool hit = HitItem(*t, p, &level, &item, &part);
      if (msg == WM_LBUTTONDOWN) {
        t->penInside = hit;
        if (!hit) t->done = true;  // a tap outside every open level dismisses them all
        else if (part == Part::kScrollUp || part == Part::kScrollDown)
          ScrollLevel(*t, level, part == Part::kScrollUp ? -1 : 1);
        else Select(*t, level, item);
      } else if (msg == WM_MOUSEMOVE) {
        if (hit && part == Part::kItem) Select(*t, level, item);
      } else if (hit && t->penInside && part == Part::kItem) {
        Choose(*t, level, item);
      }
      return 0;
    }
    case WM_KEYDOWN:
      if (t) KeyDown(*t, static_cast<int>(wParam));
      return 0;
    case kFindTapTarget: return t ? FindTapTarget(*t, hwnd, reinterpret_cast<TapTarget*>(lParam)) : 0;
    default: return DefWindowProc(hwnd, msg, wParam, lParam);
  }
}

}  // namespace internal

BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
  if (GetMenuItemCount(menu) <= 0) return FALSE;
  Tracking t;
  t.owner = owner;
  int pixels = 12;
  t.font = MenuFont(&pixels);
  t.itemHeight = pixels + 8;
  OpenLevel(t, menu, x, y, flags, 0);
  HWND root = t.levels.front().window;
  HWND savedFocus;
  HWND savedCapture = SetCapture(root);
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    savedFocus = Sys().focus;
    Sys().focus = root;  // keys go to the menu without activating it
  }
  // Shown only now that it holds the pen and the keys: a tap that comes as
  // soon as the menu shows reaches it, never the window underneath.
  ShowWindow(root, SW_SHOWNA);
  bool quit = false;
  int quitCode = 0;
  MSG msg;
  while (!t.done) {
    if (!GetMessage(&msg, nullptr, 0, 0)) {
      quit = true;
      quitCode = static_cast<int>(msg.wParam);
      break;
    }
    if (msg.message == WM_KEYDOWN && msg.hwnd == root) {
      KeyDown(t, static_cast<int>(msg.wParam));
      continue;
    }
    DispatchMessage(&msg);
  }
  CloseLevelsAbove(t, 0);
  bool captureAlive = savedCapture && IsWindow(savedCapture);
  bool focusAlive = savedFocus && IsWindow(savedFocus);
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    if (!Sys().focus) Sys().focus = focusAlive ? savedFocus : nullptr;
    if (!Sys().capture) Sys().capture = captureAlive ? savedCapture : nullptr;
  }
  DeleteObject(t.font);
  if (quit) PostQuitMessage(quitCode);
  if (flags & TPM_RETURNCMD) return static_cast<BOOL>(t.result);
  if (t.result && owner && !(flags & TPM_NONOTIFY))
    PostMessage(owner, WM_COMMAND, MAKEWPARAM(t.result, 0), 0);
  return t.result ? TRUE : FALSE;
}

namespace internal {
void ResetMenus() {
  std::lock_guard<std::mutex> lk(Menus().lock);
  Menus().menus.clear();
}
}  // namespace internal

}  // namespace ce
