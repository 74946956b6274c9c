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

constexpr int kItemHeight = 20;
constexpr int kSeparatorHeight = 7;

struct Level {
  HMENU menu;
  HWND window;
  RECT rect;  // screen
  int selected = -1;
  std::vector<MenuItem> items;  // snapshot taken when the level opened
};

struct Tracking {
  std::vector<Level> levels;
  HWND owner = nullptr;
  HFONT font = nullptr;
  UINT result = 0;
  bool done = false;
  bool penInside = false;
};

std::vector<MenuItem> Snapshot(HMENU menu) {
  std::lock_guard<std::mutex> lk(Menus().lock);
  Menu* m = FindMenuLocked(menu);
  return m ? m->items : std::vector<MenuItem>{};
}

int ItemTop(const std::vector<MenuItem>& items, size_t index) {
  int y = 1;
  for (size_t i = 0; i < index && i < items.size(); ++i)
    y += (items[i].flags & MF_SEPARATOR) ? kSeparatorHeight : kItemHeight;
  return y;
}

SIZE LevelSize(const Tracking& t, const std::vector<MenuItem>& items) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, t.font);
  int width = 60;
  for (const MenuItem& it : items) {
    SIZE s{0, 0};
    std::u16string shown;
    for (size_t i = 0; i < it.text.size(); ++i) {
      if (it.text[i] == u'&' && i + 1 < it.text.size()) ++i;
      if (it.text[i] == u'\t') break;
      shown.push_back(it.text[i]);
    }
    GetTextExtentPoint32(dc, shown.c_str(), static_cast<int>(shown.size()), &s);
    width = std::max<int>(width, s.cx + 38);
  }
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return SIZE{width, ItemTop(items, items.size()) + 1};
}

void PaintLevel(const Tracking& t, const Level& l, HDC dc) {
  RECT r{0, 0, l.rect.right - l.rect.left, l.rect.bottom - l.rect.top};
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
  Rectangle(dc, r.left, r.top, r.right, r.bottom);
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  HGDIOBJ oldFont = SelectObject(dc, t.font);
  SetBkMode(dc, TRANSPARENT);
  for (size_t i = 0; i < l.items.size(); ++i) {
    const MenuItem& it = l.items[i];
    int top = ItemTop(l.items, i);
    if (it.flags & MF_SEPARATOR) {
      RECT line{4, top + 3, r.right - 4, top + 4};
      FillRect(dc, &line, GetSysColorBrush(COLOR_BTNSHADOW));
      continue;
    }
    RECT row{1, top, r.right - 1, top + kItemHeight};
    bool grayed = (it.flags & (MF_GRAYED | MF_DISABLED)) != 0;
    bool selected = static_cast<int>(i) == l.selected && !grayed;
    if (selected) FillRect(dc, &row, GetSysColorBrush(COLOR_HIGHLIGHT));
    SetTextColor(dc, grayed ? GetSysColor(COLOR_GRAYTEXT)
                            : selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : RGB(0, 0, 0));
    RECT text{18, top, r.right - 14, top + kItemHeight};
    std::u16string label = it.text;
    std::u16string accel;
    if (size_t tab = label.find(u'\t'); tab != std::u16string::npos) {
      accel = label.substr(tab + 1);
      label.resize(tab);
    }
    DrawText(dc, label.c_str(), -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    if (!accel.empty()) DrawText(dc, accel.c_str(), -1, &text, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    if (it.flags & MF_CHECKED) {
      RECT mark{3, top, 17, top + kItemHeight};
      DrawText(dc, u"\u2713", -1, &mark, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    if (it.flags & MF_POPUP) {
      RECT arrow{r.right - 14, top, r.right - 3, top + kItemHeight};
      DrawText(dc, u"\u25B8", -1, &arrow, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
  }
  SelectObject(dc, oldFont);
}

Tracking* StateOf(HWND hwnd) {
  return reinterpret_cast<Tracking*>(GetWindowLongPtr(hwnd, GWL_USERDATA));
}

// Opens a level of the menu; the first stays hidden until the tracking
// holds the pen (see TrackPopupMenu).
void OpenLevel(Tracking& t, HMENU menu, int x, int y, UINT flags) {
  if (t.owner) SendMessage(t.owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0);
  Level l;
  l.menu = menu;
  l.items = Snapshot(menu);
  SIZE size = LevelSize(t, l.items);
  if (flags & TPM_CENTERALIGN) x -= size.cx / 2;
  else if (flags & TPM_RIGHTALIGN) x -= size.cx;
  if (flags & TPM_VCENTERALIGN) y -= size.cy / 2;
  else if (flags & TPM_BOTTOMALIGN) y -= size.cy;
  const DeviceModel& d = CurrentDevice();
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

// Level and item under a screen point, deepest level first.
bool HitItem(const Tracking& t, POINT p, size_t* level, int* item) {
  for (size_t k = t.levels.size(); k-- > 0;) {
    const Level& l = t.levels[k];
    if (!PtInRect(&l.rect, p)) continue;
    *level = k;
    *item = -1;
    int y = p.y - l.rect.top;
    for (size_t i = 0; i < l.items.size(); ++i) {
      int top = ItemTop(l.items, i);
      int h = (l.items[i].flags & MF_SEPARATOR) ? kSeparatorHeight : kItemHeight;
      if (y >= top && y < top + h) *item = (l.items[i].flags & MF_SEPARATOR) ? -1 : static_cast<int>(i);
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

// Chooses an item: a command ends the tracking, a sub-menu opens beside it.
void Choose(Tracking& t, size_t level, int item) {
  if (item < 0) return;
  const MenuItem it = t.levels[level].items[static_cast<size_t>(item)];
  if (it.flags & (MF_GRAYED | MF_DISABLED)) return;
  if (it.flags & MF_POPUP) {
    CloseLevelsAbove(t, level + 1);
    // Copies: opening a level moves the levels in memory.
    const RECT r = t.levels[level].rect;
    const int top = r.top + ItemTop(t.levels[level].items, static_cast<size_t>(item));
    OpenLevel(t, it.sub, r.right - 2, top, 0);
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
        Select(t, t.levels.size() - 1, i);
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
      bool hit = HitItem(*t, p, &level, &item);
      if (msg == WM_LBUTTONDOWN) {
        t->penInside = hit;
        if (!hit) t->done = true;  // a tap outside dismisses
        else Select(*t, level, item);
      } else if (msg == WM_MOUSEMOVE) {
        if (hit) Select(*t, level, item);
      } else if (hit && t->penInside) {
        Choose(*t, level, item);
      }
      return 0;
    }
    case WM_KEYDOWN:
      if (t) KeyDown(*t, static_cast<int>(wParam));
      return 0;
    default: return DefWindowProc(hwnd, msg, wParam, lParam);
  }
}

}  // namespace internal

BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
  if (GetMenuItemCount(menu) <= 0) return FALSE;
  Tracking t;
  t.owner = owner;
  LOGFONT lf{};
  lf.lfHeight = -12;
  lf.lfWeight = FW_NORMAL;
  t.font = CreateFontIndirect(&lf);
  OpenLevel(t, menu, x, y, flags);
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
