// The report-mode list view ("SysListView32"): a header row of column
// titles, rows with a small icon, a text per column and 32-bit item data,
// one selected row highlighted across its width, and the window's own
// scroll bars when the rows or the columns do not fit.  Taps select (with
// LVN_ITEMCHANGED, as selections by the program do) and send NM_CLICK on
// the pen-up; double taps send NM_DBLCLK.  An attached image list is never
// destroyed by the list view.
#include <algorithm>

#include "platform/controls/controls.h"

namespace ce {

using namespace internal;

namespace {

constexpr int kHeaderHeight = 16;
constexpr int kRowHeight = 17;
constexpr int kIconWidth = 18;
constexpr int kBarWidth = 13;
constexpr int kLineStep = 10;  // pixels per horizontal line step
constexpr size_t kMaxRows = 1 << 20;

struct Column {
  std::u16string title;
  int width = 50;
  int format = LVCFMT_LEFT;
};

struct Row {
  std::vector<std::u16string> texts;  // one per column at most
  int image = -1;
  LPARAM data = 0;
};

struct ListState {
  std::vector<Column> columns;
  std::vector<Row> rows;
  HIMAGELIST images = nullptr;
  int selected = -1;
  int top = 0;  // first row shown
  int left = 0;  // pixels of columns scrolled off to the left
  DWORD extended = 0;
  int downRow = -2;  // the row a pen-down hit; -2: no tap under way
  int rowHeight = kRowHeight;  // taller, and the icon column wider, for
  int iconWidth = kIconWidth;  // an attached list of larger icons
};

ListState* State(HWND hwnd) { return ControlState<ListState>(hwnd); }
int Count(HWND hwnd) { return static_cast<int>(State(hwnd)->rows.size()); }

int HeaderHeight(HWND hwnd) { return (WindowStyle(hwnd) & LVS_NOCOLUMNHEADER) ? 0 : kHeaderHeight; }

int ColumnsWidth(const ListState* s) {
  int w = 0;
  for (const Column& c : s->columns) w += c.width;
  return w;
}

int PerPage(HWND hwnd) {
  RECT r;
  GetClientRect(hwnd, &r);
  return std::max(1, static_cast<int>(r.bottom - HeaderHeight(hwnd)) / State(hwnd)->rowHeight);
}

// Shows or hides the window's scroll bars as the rows and columns need them
// and keeps their ranges in step.
void UpdateBars(HWND hwnd) {
  ListState* s = State(hwnd);
  RECT wr;
  GetWindowRect(hwnd, &wr);
  DWORD style = WindowStyle(hwnd);
  int border = ((style & WS_BORDER) || (GetWindowLong(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE)) ? 2 : 0;
  int width = wr.right - wr.left - border, height = wr.bottom - wr.top - border - HeaderHeight(hwnd);
  int rows = Count(hwnd), columns = ColumnsWidth(s);
  bool vbar = rows * s->rowHeight > height;
  bool hbar = columns > width - (vbar ? kBarWidth : 0);
  if (hbar && !vbar) vbar = rows * s->rowHeight > height - kBarWidth;
  DWORD want = (style & ~(WS_VSCROLL | WS_HSCROLL)) | (vbar ? WS_VSCROLL : 0) | (hbar ? WS_HSCROLL : 0);
  if (want != style) SetWindowLong(hwnd, GWL_STYLE, static_cast<LONG>(want));
  RECT client;
  GetClientRect(hwnd, &client);
  int page = PerPage(hwnd);
  s->top = std::clamp(s->top, 0, std::max(0, rows - page));
  s->left = std::clamp(s->left, 0, std::max(0, columns - static_cast<int>(client.right)));
  SCROLLINFO v{sizeof(SCROLLINFO), SIF_ALL, 0, std::max(0, rows - 1), static_cast<UINT>(page), s->top, 0};
  SetScrollInfo(hwnd, SB_VERT, &v, vbar);
  SCROLLINFO h{sizeof(SCROLLINFO), SIF_ALL, 0, std::max(0, columns - 1),
               static_cast<UINT>(std::max<LONG>(1, client.right)), s->left, 0};
  SetScrollInfo(hwnd, SB_HORZ, &h, hbar);
  InvalidateRect(hwnd, nullptr, FALSE);
}

RECT RowRect(HWND hwnd, int index) {
  ListState* s = State(hwnd);
  int y = HeaderHeight(hwnd) + (index - s->top) * s->rowHeight;
  return RECT{-s->left, y, ColumnsWidth(s) - s->left, y + s->rowHeight};
}

void Paint(HWND hwnd, HDC dc) {
  ListState* s = State(hwnd);
  RECT r;
  GetClientRect(hwnd, &r);
  bool enabled = IsWindowEnabled(hwnd) != FALSE;
  FillSolid(dc, r, RGB(255, 255, 255));
  int header = HeaderHeight(hwnd);
  for (int i = s->top; i < Count(hwnd); ++i) {
    RECT row = RowRect(hwnd, i);
    if (row.top >= r.bottom) break;
    const Row& it = s->rows[static_cast<size_t>(i)];
    bool chosen = i == s->selected;
    RECT band{r.left, row.top, std::max(r.right, row.right), row.bottom};
    if (chosen) FillSolid(dc, band, kSelectionColor);
    COLORREF ink = chosen ? RGB(255, 255, 255) : RGB(0, 0, 0);
    int x = row.left;
    for (size_t c = 0; c < s->columns.size(); ++c) {
      int w = s->columns[c].width;
      RECT cell{x + 3, row.top, x + w - 2, row.bottom};
      if (c == 0 && s->images) {
        if (it.image >= 0) ImageList_Draw(s->images, it.image, dc, x + 1, row.top, ILD_TRANSPARENT);
        cell.left += s->iconWidth;
      }
      UINT align = s->columns[c].format == LVCFMT_RIGHT    ? DT_RIGHT
                   : s->columns[c].format == LVCFMT_CENTER ? DT_CENTER
                                                            : DT_LEFT;
      if (c < it.texts.size() && cell.right > cell.left)
        DrawLabel(dc, hwnd, it.texts[c], cell, align | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX,
                  enabled, ink);
      x += w;
    }
  }
  if (header > 0) {
    RECT bar{r.left, 0, r.right, header};
    FillSolid(dc, bar, kFaceColor);
    int x = -s->left;
    for (const Column& c : s->columns) {
      RECT cell{x, 0, x + c.width, header};
      FrameSolid(dc, cell, kDisabledColor, 1);
      cell.left += 3;
      DrawLabel(dc, hwnd, c.title, cell, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX, enabled);
      x += c.width;
    }
    RECT line{r.left, header - 1, r.right, header};
    FillSolid(dc, line, kDisabledColor);
  }
}

void Notify(HWND hwnd, UINT code, int item, UINT newState, UINT oldState, POINT at) {
  ListState* s = State(hwnd);
  NMLISTVIEW nm{};
  nm.iItem = item;
  nm.uNewState = newState;
  nm.uOldState = oldState;
  nm.uChanged = code == LVN_ITEMCHANGED ? LVIF_STATE : 0;
  nm.ptAction = at;
  nm.lParam = item >= 0 && item < Count(hwnd) ? s->rows[static_cast<size_t>(item)].data : 0;
  NotifyParentNm(hwnd, code, &nm.hdr);
}

// One selected row at most; every change is told to the parent, the row
// that lost the selection first.
void Select(HWND hwnd, int index) {
  ListState* s = State(hwnd);
  if (index >= Count(hwnd)) index = -1;
  int old = s->selected;
  if (old == index) return;
  s->selected = index;
  InvalidateRect(hwnd, nullptr, FALSE);
  constexpr UINT kOn = LVIS_SELECTED | LVIS_FOCUSED;
  if (old >= 0) Notify(hwnd, LVN_ITEMCHANGED, old, 0, kOn, POINT{0, 0});
  if (index >= 0 && State(hwnd)->selected == index)
    Notify(hwnd, LVN_ITEMCHANGED, index, kOn, 0, POINT{0, 0});
}

void EnsureVisible(HWND hwnd, int index) {
  ListState* s = State(hwnd);
  if (index < 0 || index >= Count(hwnd)) return;
  int page = PerPage(hwnd);
  if (index < s->top) s->top = index;
  else if (index >= s->top + page) s->top = index - page + 1;
  UpdateBars(hwnd);
}

int RowAt(HWND hwnd, POINT p) {
  ListState* s = State(hwnd);
  int header = HeaderHeight(hwnd);
  if (p.y < header) return -2;
  int index = s->top + (p.y - header) / s->rowHeight;
  return index < Count(hwnd) && p.x < ColumnsWidth(s) - s->left ? index : -1;
}

void Scrolled(HWND hwnd, bool vertical, WPARAM wParam) {
  ListState* s = State(hwnd);
  RECT client;
  GetClientRect(hwnd, &client);
  int page = vertical ? PerPage(hwnd) : std::max<int>(1, client.right);
  int step = vertical ? 1 : kLineStep;
  int& at = vertical ? s->top : s->left;
  switch (LOWORD(wParam)) {
    case SB_LINEUP: at -= step; break;
    case SB_LINEDOWN: at += step; break;
    case SB_PAGEUP: at -= page; break;
    case SB_PAGEDOWN: at += page; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: at = HIWORD(wParam); break;
    default: return;
  }
  UpdateBars(hwnd);
}

size_t CopyText(const std::u16string& text, LPWSTR out, int capacity) {
  if (!out || capacity <= 0) return 0;
  size_t n = std::min<size_t>(static_cast<size_t>(capacity) - 1, text.size());
  std::copy_n(text.data(), n, out);
  out[n] = 0;
  return n;
}

void SetText(Row& row, int column, LPCWSTR text) {
  if (column < 0 || column > 255) return;
  if (row.texts.size() <= static_cast<size_t>(column)) row.texts.resize(static_cast<size_t>(column) + 1);
  row.texts[static_cast<size_t>(column)] = FromW(text);
}

LRESULT SetItem(HWND hwnd, const LVITEM* item) {
  ListState* s = State(hwnd);
  if (!item || item->iItem < 0 || item->iItem >= Count(hwnd)) return FALSE;
  Row& row = s->rows[static_cast<size_t>(item->iItem)];
  if (item->mask & LVIF_TEXT) SetText(row, item->iSubItem, item->pszText);
  if (item->iSubItem == 0) {
    if (item->mask & LVIF_IMAGE) row.image = item->iImage;
    if (item->mask & LVIF_PARAM) row.data = item->lParam;
  }
  InvalidateRect(hwnd, nullptr, FALSE);
  if ((item->mask & LVIF_STATE) && (item->stateMask & LVIS_SELECTED)) {
    if (item->state & LVIS_SELECTED) Select(hwnd, item->iItem);
    else if (s->selected == item->iItem) Select(hwnd, -1);
  }
  return TRUE;
}

LRESULT InsertItem(HWND hwnd, const LVITEM* item) {
  ListState* s = State(hwnd);
  if (!item || item->iSubItem != 0 || s->rows.size() >= kMaxRows) return -1;
  int at = std::clamp(item->iItem, 0, Count(hwnd));
  Row row;
  if (item->mask & LVIF_TEXT) SetText(row, 0, item->pszText);
  if (item->mask & LVIF_IMAGE) row.image = item->iImage;
  if (item->mask & LVIF_PARAM) row.data = item->lParam;
  s->rows.insert(s->rows.begin() + at, std::move(row));
  if (s->selected >= at) ++s->selected;
  UpdateBars(hwnd);
  if ((item->mask & LVIF_STATE) && (item->stateMask & LVIS_SELECTED) && (item->state & LVIS_SELECTED))
    Select(hwnd, at);
  return at;
}

LRESULT GetItem(HWND hwnd, LVITEM* item) {
  ListState* s = State(hwnd);
  if (!item || item->iItem < 0 || item->iItem >= Count(hwnd)) return FALSE;
  const Row& row = s->rows[static_cast<size_t>(item->iItem)];
  if (item->mask & LVIF_TEXT) {
    size_t column = static_cast<size_t>(std::max(item->iSubItem, 0));
    CopyText(column < row.texts.size() ? row.texts[column] : u"", item->pszText, item->cchTextMax);
  }
  if (item->mask & LVIF_IMAGE) item->iImage = row.image;
  if (item->mask & LVIF_PARAM) item->lParam = row.data;
  if (item->mask & LVIF_STATE)
    item->state = (item->iItem == s->selected ? LVIS_SELECTED | LVIS_FOCUSED : 0) & item->stateMask;
  return TRUE;
}

int Find(HWND hwnd, int start, const LVFINDINFO* info) {
  ListState* s = State(hwnd);
  if (!info) return -1;
  std::u16string want = Lower(FromW(info->psz));
  for (int i = std::max(start + 1, 0); i < Count(hwnd); ++i) {
    const Row& row = s->rows[static_cast<size_t>(i)];
    if (info->flags & LVFI_STRING) {
      if (!row.texts.empty() && Lower(row.texts[0]) == want) return i;
    } else if (row.data == info->lParam) {
      return i;
    }
  }
  return -1;
}

LRESULT FindTapTarget(HWND hwnd, TapTarget* t) {
  LVFINDINFO info{LVFI_STRING, t->text.c_str(), 0};
  int index = Find(hwnd, -1, &info);
  if (index < 0) return 0;
  ListState* s = State(hwnd);
  RECT client;
  GetClientRect(hwnd, &client);
  int page = PerPage(hwnd);
  if (index >= s->top && index < s->top + page) {
    RECT row = RowRect(hwnd, index);
    int width = s->columns.empty() ? 20 : s->columns[0].width;
    POINT p{std::clamp<int>(row.left + width / 2, 2, std::max<int>(2, client.right - 2)),
            (row.top + row.bottom) / 2};
    ClientToScreen(hwnd, &p);
    t->point = p;
    t->final = true;
    return 1;
  }
  // The vertical bar's arrow towards the row.
  RECT wr;
  GetWindowRect(hwnd, &wr);
  DWORD style = WindowStyle(hwnd);
  int b = ((style & WS_BORDER) || (GetWindowLong(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE)) ? 1 : 0;
  int bottom = wr.bottom - b - ((style & WS_HSCROLL) ? kBarWidth : 0);
  bool up = index < s->top;
  t->point = POINT{wr.right - b - kBarWidth / 2 - 1, up ? wr.top + b + 5 : bottom - 6};
  t->final = false;
  return 1;
}

}  // namespace

namespace internal {

LRESULT ListViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_NCDESTROY: FreeControlState(hwnd); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      Paint(hwnd, dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_SIZE: UpdateBars(hwnd); return 0;
    case LVM_INSERTCOLUMN: {
      ListState* s = State(hwnd);
      const auto* c = reinterpret_cast<const LVCOLUMN*>(lParam);
      if (!c || s->columns.size() >= 255) return -1;
      int at = std::clamp(static_cast<int>(static_cast<intptr_t>(wParam)), 0,
                          static_cast<int>(s->columns.size()));
      Column column;
      if (c->mask & LVCF_TEXT) column.title = FromW(c->pszText);
      if (c->mask & LVCF_WIDTH) column.width = std::clamp(c->cx, 0, 4096);
      if (c->mask & LVCF_FMT) column.format = c->fmt;
      s->columns.insert(s->columns.begin() + at, column);
      for (Row& row : s->rows) {
        if (row.texts.size() > static_cast<size_t>(at))
          row.texts.insert(row.texts.begin() + at, std::u16string());
      }
      UpdateBars(hwnd);
      return at;
    }
    case LVM_SETCOLUMNWIDTH:
    case LVM_GETCOLUMNWIDTH: {
      ListState* s = State(hwnd);
      if (wParam >= s->columns.size()) return msg == LVM_GETCOLUMNWIDTH ? 0 : FALSE;
      if (msg == LVM_GETCOLUMNWIDTH) return s->columns[wParam].width;
      s->columns[wParam].width = std::clamp(static_cast<int>(lParam), 0, 4096);
      UpdateBars(hwnd);
      return TRUE;
    }
    case LVM_INSERTITEM: return InsertItem(hwnd, reinterpret_cast<const LVITEM*>(lParam));
    case LVM_SETITEM: return SetItem(hwnd, reinterpret_cast<const LVITEM*>(lParam));
    case LVM_GETITEM: return GetItem(hwnd, reinterpret_cast<LVITEM*>(lParam));
    case LVM_SETITEMTEXT:
    case LVM_GETITEMTEXT: {
      auto* item = reinterpret_cast<LVITEM*>(lParam);
      if (!item) return 0;
      LVITEM copy = *item;
      copy.iItem = static_cast<int>(static_cast<intptr_t>(wParam));
      copy.mask = LVIF_TEXT;
      if (msg == LVM_SETITEMTEXT) return SetItem(hwnd, &copy);
      if (!GetItem(hwnd, &copy)) return 0;
      return static_cast<LRESULT>(std::char_traits<char16_t>::length(copy.pszText ? copy.pszText : u""));
    }
    case LVM_DELETEITEM: {
      ListState* s = State(hwnd);
      int at = static_cast<int>(static_cast<intptr_t>(wParam));
      if (at < 0 || at >= Count(hwnd)) return FALSE;
      s->rows.erase(s->rows.begin() + at);
      if (s->selected == at) s->selected = -1;
      else if (s->selected > at) --s->selected;
      UpdateBars(hwnd);
      return TRUE;
    }
    case LVM_DELETEALLITEMS: {
      ListState* s = State(hwnd);
      s->rows.clear();
      s->selected = -1;
      s->top = 0;
      UpdateBars(hwnd);
      return TRUE;
    }
    case LVM_GETITEMCOUNT: return Count(hwnd);
    case LVM_GETNEXTITEM: {
      int start = static_cast<int>(static_cast<intptr_t>(wParam));
      if (lParam & (LVNI_SELECTED | LVNI_FOCUSED)) {
        int sel = State(hwnd)->selected;
        return sel > start ? sel : -1;
      }
      return start + 1 < Count(hwnd) ? start + 1 : -1;
    }
    case LVM_SETITEMSTATE: {
      const auto* item = reinterpret_cast<const LVITEM*>(lParam);
      if (!item || !(item->stateMask & LVIS_SELECTED)) return TRUE;
      int at = static_cast<int>(static_cast<intptr_t>(wParam));
      if (item->state & LVIS_SELECTED) {
        if (at < 0 || at >= Count(hwnd)) return FALSE;
        Select(hwnd, at);
      } else if (at < 0 || State(hwnd)->selected == at) {
        Select(hwnd, -1);
      }
      return TRUE;
    }
    case LVM_GETITEMSTATE: {
      int at = static_cast<int>(static_cast<intptr_t>(wParam));
      UINT state = at >= 0 && at == State(hwnd)->selected ? LVIS_SELECTED | LVIS_FOCUSED : 0;
      return static_cast<LRESULT>(state & static_cast<UINT>(lParam));
    }
    case LVM_ENSUREVISIBLE: EnsureVisible(hwnd, static_cast<int>(static_cast<intptr_t>(wParam))); return TRUE;
    case LVM_GETTOPINDEX: return State(hwnd)->top;
    case LVM_GETCOUNTPERPAGE: return PerPage(hwnd);
    case LVM_GETITEMRECT: {
      auto* out = reinterpret_cast<RECT*>(lParam);
      int at = static_cast<int>(static_cast<intptr_t>(wParam));
      if (!out || at < 0 || at >= Count(hwnd)) return FALSE;
      *out = RowRect(hwnd, at);
      return TRUE;
    }
    case LVM_SETIMAGELIST: {
      // Attached, never owned: the program destroys its lists itself.
      if (wParam != LVSIL_SMALL) return 0;
      ListState* s = State(hwnd);
      HIMAGELIST old = s->images;
      s->images = reinterpret_cast<HIMAGELIST>(lParam);
      int cx = 0, cy = 0;
      if (!s->images || !ImageList_GetIconSize(s->images, &cx, &cy)) cx = cy = 0;
      s->rowHeight = std::max(kRowHeight, cy + 1);
      s->iconWidth = std::max(kIconWidth, cx + 2);
      UpdateBars(hwnd);
      InvalidateRect(hwnd, nullptr, FALSE);
      return reinterpret_cast<LRESULT>(old);
    }
    case LVM_GETIMAGELIST: return wParam == LVSIL_SMALL ? reinterpret_cast<LRESULT>(State(hwnd)->images) : 0;
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
      ListState* s = State(hwnd);
      DWORD old = s->extended;
      DWORD mask = wParam ? static_cast<DWORD>(wParam) : 0xFFFFFFFF;
      s->extended = (old & ~mask) | (static_cast<DWORD>(lParam) & mask);
      return old;
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE: return State(hwnd)->extended;
    case LVM_FINDITEM:
      return Find(hwnd, static_cast<int>(static_cast<intptr_t>(wParam)),
                  reinterpret_cast<const LVFINDINFO*>(lParam));
    case WM_VSCROLL:
    case WM_HSCROLL: Scrolled(hwnd, msg == WM_VSCROLL, wParam); return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      if (!IsWindowEnabled(hwnd)) return 0;
      if (GetFocus() != hwnd) SetFocus(hwnd);
      POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      int row = RowAt(hwnd, p);
      if (row == -2) return 0;  // the header
      Select(hwnd, row);
      if (msg == WM_LBUTTONDBLCLK) {
        State(hwnd)->downRow = -2;
        Notify(hwnd, NM_DBLCLK, row, 0, 0, p);
      } else {
        State(hwnd)->downRow = row;
      }
      return 0;
    }
    case WM_LBUTTONUP: {
      ListState* s = State(hwnd);
      int row = s->downRow;
      if (row == -2) return 0;
      s->downRow = -2;
      Notify(hwnd, NM_CLICK, row, 0, 0, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      return 0;
    }
    case WM_KEYDOWN: {
      ListState* s = State(hwnd);
      if (wParam == VK_UP || wParam == VK_DOWN) {
        int to = s->selected + (wParam == VK_DOWN ? 1 : -1);
        if (s->selected < 0) to = 0;
        if (to >= 0 && to < Count(hwnd)) {
          Select(hwnd, to);
          EnsureVisible(hwnd, to);
        }
        return 0;
      }
      return DefWindowProc(hwnd, msg, wParam, lParam);
    }
    case WM_ENABLE:
    case WM_SETFOCUS:
    case WM_KILLFOCUS: InvalidateRect(hwnd, nullptr, FALSE); return 0;
    case kFindTapTarget: return FindTapTarget(hwnd, reinterpret_cast<TapTarget*>(lParam));
    default: return DefWindowProc(hwnd, msg, wParam, lParam);
  }
}

}  // namespace internal

}  // namespace ce
