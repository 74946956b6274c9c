// The property sheet: a modal dialog filling the screen below the task bar
// (with the Done button), its pages above a row of tabs along the bottom
// edge.  Tabs are as wide as their titles and scroll with two arrows at the
// right end when they do not fit.  A page is made when it is first shown
// (WM_INITDIALOG), hears PSN_SETACTIVE when shown and PSN_KILLACTIVE when
// left (a nonzero answer keeps it).  Done applies every page made so far in
// page order (PSN_APPLY, whatever each answers) and closes the sheet;
// closing it any other way sends PSN_RESET instead.
#include <algorithm>

#include "platform/ce_shell.h"
#include "platform/controls/controls.h"

namespace ce {

using namespace internal;

namespace {

constexpr int kTabPadding = 12;
constexpr int kArrowWidth = 14;

struct Page {
  PROPSHEETPAGE info;
  std::u16string title;
  HWND hwnd = nullptr;
};

struct Sheet {
  std::vector<Page> pages;
  int current = -1;
  int firstTab = 0;  // the first tab shown in the row
  bool ended = false;
  HWND hwnd = nullptr;
};

Sheet* SheetOf(HWND hwnd) { return reinterpret_cast<Sheet*>(GetWindowLongPtr(hwnd, DWL_USER)); }

RECT TabRow(HWND hwnd) {
  RECT r;
  GetClientRect(hwnd, &r);
  r.top = std::max<LONG>(0, r.bottom - kSheetTabHeight);
  return r;
}

RECT PageArea(HWND hwnd) {
  RECT r;
  GetClientRect(hwnd, &r);
  r.bottom = TabRow(hwnd).top;
  return r;
}

int TabWidth(HWND hwnd, const std::u16string& title) {
  HDC dc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(dc, ControlFont(hwnd));
  SIZE size{0, 0};
  GetTextExtentPoint32(dc, title.c_str(), static_cast<int>(title.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  return size.cx + kTabPadding;
}

// The tabs' rectangles from the first one shown (those before it are left
// off), and whether the scroll arrows are needed.
std::vector<RECT> TabRects(HWND hwnd, const Sheet& s, bool* arrows) {
  RECT row = TabRow(hwnd);
  int total = 0;
  std::vector<int> widths;
  for (const Page& p : s.pages) {
    widths.push_back(TabWidth(hwnd, p.title));
    total += widths.back();
  }
  *arrows = total > row.right - row.left;
  std::vector<RECT> rects(s.pages.size(), RECT{0, 0, 0, 0});
  int x = row.left;
  for (size_t i = static_cast<size_t>(s.firstTab); i < s.pages.size(); ++i) {
    rects[i] = RECT{x, row.top, x + widths[i], row.bottom};
    x += widths[i];
  }
  return rects;
}

RECT ArrowRect(HWND hwnd, int which) {
  RECT row = TabRow(hwnd);
  int right = row.right - (which == 0 ? kArrowWidth : 0);
  return RECT{right - kArrowWidth, row.top + 2, right, row.bottom - 2};
}

// Whether tab i lies wholly in the room the arrows leave.
bool TabShown(HWND hwnd, const Sheet& s, int i) {
  bool arrows;
  std::vector<RECT> rects = TabRects(hwnd, s, &arrows);
  int limit = arrows ? ArrowRect(hwnd, 0).left : TabRow(hwnd).right;
  return i >= s.firstTab && rects[static_cast<size_t>(i)].right <= limit;
}

void PaintTabs(HWND hwnd, HDC dc, const Sheet& s) {
  RECT row = TabRow(hwnd);
  FillSolid(dc, row, kFaceColor);
  RECT line{row.left, row.top, row.right, row.top + 1};
  FillSolid(dc, line, RGB(0, 0, 0));
  bool arrows;
  std::vector<RECT> rects = TabRects(hwnd, s, &arrows);
  int limit = arrows ? ArrowRect(hwnd, 0).left : row.right;
  for (size_t i = static_cast<size_t>(s.firstTab); i < s.pages.size(); ++i) {
    RECT t = rects[i];
    if (t.left >= limit) break;
    t.right = std::min<LONG>(t.right, limit);
    bool current = static_cast<int>(i) == s.current;
    RECT face{t.left, t.top, t.right, t.bottom - 1};
    FillSolid(dc, face, current ? RGB(255, 255, 255) : kFaceColor);
    FrameSolid(dc, t, RGB(0, 0, 0), 1);
    if (current) {
      // Open towards the page it shows.
      RECT join{t.left + 1, t.top, t.right - 1, t.top + 1};
      FillSolid(dc, join, RGB(255, 255, 255));
    }
    DrawLabel(dc, hwnd, s.pages[i].title, t, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX,
              true);
  }
  if (arrows) {
    DrawArrowBox(dc, ArrowRect(hwnd, 0), 2, s.firstTab > 0, false);
    DrawArrowBox(dc, ArrowRect(hwnd, 1), 3, !TabShown(hwnd, s, static_cast<int>(s.pages.size()) - 1),
                 false);
  }
}

LRESULT NotifyPage(HWND sheet, const Page& page, UINT code) {
  if (!page.hwnd) return 0;
  PSHNOTIFY nm{};
  nm.hdr.hwndFrom = sheet;
  nm.hdr.idFrom = 0;
  nm.hdr.code = code;
  return SendMessage(page.hwnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&nm));
}

bool MakePage(HWND sheet, Page& page) {
  DialogTemplate t;
  if (!LoadDialogTemplate(page.info.pszTemplate, &t)) return false;
  t.style = (t.style & ~(WS_POPUP | WS_VISIBLE)) | WS_CHILD;
  page.hwnd = CreateDialogFromTemplate(t, sheet, page.info.pfnDlgProc,
                                       reinterpret_cast<LPARAM>(&page.info));
  if (!page.hwnd) return false;
  PlaceDialog(page.hwnd, PageArea(sheet));
  return true;
}

void Reveal(HWND hwnd, Sheet& s, int i) {
  if (i < s.firstTab) s.firstTab = i;
  while (s.firstTab < i && !TabShown(hwnd, s, i)) ++s.firstTab;
  RECT row = TabRow(hwnd);
  InvalidateRect(hwnd, &row, FALSE);
}

void ShowPage(HWND hwnd, Sheet& s, int i) {
  if (i < 0 || i >= static_cast<int>(s.pages.size()) || i == s.current) return;
  if (s.current >= 0) {
    Page& old = s.pages[static_cast<size_t>(s.current)];
    if (NotifyPage(hwnd, old, PSN_KILLACTIVE) != 0) return;
  }
  Page& page = s.pages[static_cast<size_t>(i)];
  if (!page.hwnd && !MakePage(hwnd, page)) {
    MessageBeep(0);
    return;
  }
  if (s.current >= 0) ShowWindow(s.pages[static_cast<size_t>(s.current)].hwnd, SW_HIDE);
  s.current = i;
  NotifyPage(hwnd, page, PSN_SETACTIVE);
  ShowWindow(page.hwnd, SW_SHOW);
  HWND first = GetNextDlgTabItem(page.hwnd, nullptr, FALSE);
  SetFocus(first ? first : page.hwnd);
  Reveal(hwnd, s, i);
}

void End(HWND hwnd, Sheet& s, bool apply) {
  if (s.ended) return;
  if (apply) {
    if (s.current >= 0 && NotifyPage(hwnd, s.pages[static_cast<size_t>(s.current)], PSN_KILLACTIVE) != 0)
      return;
    for (const Page& p : s.pages) NotifyPage(hwnd, p, PSN_APPLY);
  } else {
    for (const Page& p : s.pages) NotifyPage(hwnd, p, PSN_RESET);
  }
  s.ended = true;
  EndDialog(hwnd, apply ? 1 : 0);
}

void PenDown(HWND hwnd, Sheet& s, POINT p) {
  RECT row = TabRow(hwnd);
  if (!PtInRect(&row, p)) return;
  bool arrows;
  std::vector<RECT> rects = TabRects(hwnd, s, &arrows);
  if (arrows) {
    RECT left = ArrowRect(hwnd, 0), right = ArrowRect(hwnd, 1);
    if (p.x >= left.left) {
      int last = static_cast<int>(s.pages.size()) - 1;
      if (PtInRect(&left, p) && s.firstTab > 0) --s.firstTab;
      if (PtInRect(&right, p) && !TabShown(hwnd, s, last)) ++s.firstTab;
      InvalidateRect(hwnd, &row, FALSE);
      return;
    }
  }
  for (size_t i = static_cast<size_t>(s.firstTab); i < rects.size(); ++i) {
    if (PtInRect(&rects[i], p)) ShowPage(hwnd, s, static_cast<int>(i));
  }
}

LRESULT FindTab(HWND hwnd, Sheet& s, TapTarget* t) {
  for (size_t i = 0; i < s.pages.size(); ++i) {
    if (Lower(s.pages[i].title) != Lower(t->text)) continue;
    RECT target;
    bool arrows;
    std::vector<RECT> rects = TabRects(hwnd, s, &arrows);
    if (TabShown(hwnd, s, static_cast<int>(i))) {
      target = rects[i];
      t->final = true;
    } else {
      target = ArrowRect(hwnd, static_cast<int>(i) < s.firstTab ? 0 : 1);
      t->final = false;
    }
    POINT p{(target.left + target.right) / 2, (target.top + target.bottom) / 2};
    ClientToScreen(hwnd, &p);
    t->point = p;
    return 1;
  }
  return 0;
}

BOOL SheetProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) {
    SetWindowLongPtr(hwnd, DWL_USER, lParam);
    return FALSE;
  }
  Sheet* s = SheetOf(hwnd);
  if (!s) return FALSE;
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      PaintTabs(hwnd, dc, *s);
      EndPaint(hwnd, &ps);
      return TRUE;
    }
    case WM_LBUTTONDOWN: PenDown(hwnd, *s, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}); return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) End(hwnd, *s, true);
      else if (LOWORD(wParam) == IDCANCEL) End(hwnd, *s, false);
      return TRUE;
    case WM_CLOSE: End(hwnd, *s, false); return TRUE;
    case kFindTapTarget:
      SetWindowLongPtr(hwnd, DWL_MSGRESULT, FindTab(hwnd, *s, reinterpret_cast<TapTarget*>(lParam)));
      return TRUE;
    default: return FALSE;
  }
}

}  // namespace

intptr_t PropertySheet(const PROPSHEETHEADER* header) {
  if (!header || (header->dwSize != 40 && header->dwSize != sizeof(PROPSHEETHEADER)) ||
      !(header->dwFlags & PSH_PROPSHEETPAGE) || !header->ppsp || header->nPages == 0 ||
      header->nPages > 64)
    return -1;
  Sheet sheet;
  for (UINT i = 0; i < header->nPages; ++i) {
    Page page;
    page.info = header->ppsp[i];
    DialogTemplate t;
    if (!LoadDialogTemplate(page.info.pszTemplate, &t)) return -1;
    page.title = (page.info.dwFlags & PSP_USETITLE) ? FromW(page.info.pszTitle) : t.title;
    sheet.pages.push_back(page);
  }
  HWND owner = nullptr;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    if (Window* p = FindWindowLocked(header->hwndParent)) owner = RootLocked(p)->handle;
  }
  DialogTemplate frame;
  frame.title = FromW(header->pszCaption);
  frame.style = WS_POPUP;
  frame.placement = DialogPlacement::kFullScreen;
  frame.cx = GetSystemMetrics(SM_CXSCREEN);
  frame.cy = GetSystemMetrics(SM_CYSCREEN) - kTaskBarHeight;
  HWND hwnd = CreateDialogFromTemplate(frame, owner, SheetProc, reinterpret_cast<LPARAM>(&sheet));
  if (!hwnd) return -1;
  sheet.hwnd = hwnd;
  SHINITDLGINFO shell{SHIDIM_FLAGS, hwnd, SHIDIF_DONEBUTTON};
  SHInitDialog(&shell);
  bool reenable = owner && IsWindowEnabled(owner);
  if (reenable) EnableWindow(owner, FALSE);
  ShowWindow(hwnd, SW_SHOW);
  if ((header->dwFlags & PSH_USECALLBACK) && header->pfnCallback)
    header->pfnCallback(hwnd, PSCB_INITIALIZED, 0);
  ShowPage(hwnd, sheet, std::min<int>(static_cast<int>(header->nStartPage), static_cast<int>(header->nPages) - 1));
  intptr_t result = sheet.current >= 0 ? RunModalLoop(hwnd) : -1;
  // Left by the program's end or a lost window: the pages hear a reset.
  if (IsWindow(hwnd) && !sheet.ended) End(hwnd, sheet, false);
  if (reenable) EnableWindow(owner, TRUE);
  if (IsWindow(hwnd)) DestroyWindow(hwnd);
  if (owner && IsWindow(owner) && IsWindowVisible(owner)) SetForegroundWindow(owner);
  return result;
}

}  // namespace ce
