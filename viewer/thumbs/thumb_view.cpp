// The thumbnail window (class "ZLTHUMBVIEW"): its grid, painting,
// scrolling, the pen, the right button and the hardware keys.  The
// commands are in thumb_commands.cpp.
#include "viewer/thumbs/thumb_view.h"

#include <algorithm>

#include "imaging/pixels/pixels.h"
#include "platform/emulator.h"
#include "viewer/app/functions.h"
#include "viewer/app/state.h"
#include "viewer/app/view.h"
#include "viewer/app/windows.h"
#include "viewer/browse/file_list.h"
#include "viewer/settings/settings.h"

namespace zelmo {

using namespace ce;

ThumbViewState gThumbView;

namespace {

constexpr COLORREF kMarkColour = RGB(255, 0, 0);
constexpr COLORREF kCaptionColour = RGB(0xC0, 0xC0, 0xC0);

int Built() { return std::clamp<int>(gShared.thumbnailProgress, 0, gFiles.live.files.count); }
int Visible() { return gThumbView.layout.rows * gThumbView.layout.columns; }
int Columns() { return std::max(gThumbView.layout.columns, 1); }

void LayOutView(HWND hwnd) {
  RECT client;
  GetClientRect(hwnd, &client);
  gThumbView.layout = ComputeThumbnailLayout(client.right, client.bottom, gView.thumbWidth, gView.thumbHeight,
                                             gSettings.options.thumbNames);
}

void ShowFirst(HWND hwnd, int64_t first) {
  // The last built item stays reachable; upper bound first, then 0.
  const int64_t last = std::max<int64_t>(Built() - Visible() + Columns() - 1, 0);
  first = std::max<int64_t>(std::min(first, last), 0);
  gThumbView.first = static_cast<int>(first - first % Columns());
  const int built = std::max(Built(), 1);
  SetScrollPos(hwnd, SB_VERT, static_cast<int>(int64_t{gThumbView.first} * 100 / built), TRUE);
  InvalidateRect(hwnd, nullptr, FALSE);
}

void DrawEdges(HDC dc, const RECT& cell) {
  HGDIOBJ old = SelectObject(dc, GetStockObject(WHITE_PEN));
  const POINT light[3] = {{cell.left, cell.bottom - 1}, {cell.left, cell.top}, {cell.right - 1, cell.top}};
  Polyline(dc, light, 3);
  SelectObject(dc, GetStockObject(BLACK_PEN));
  const POINT dark[3] = {{cell.right - 1, cell.top}, {cell.right - 1, cell.bottom - 1}, {cell.left, cell.bottom - 1}};
  Polyline(dc, dark, 3);
  SelectObject(dc, old);
}

void DrawCell(HDC dc, HDC memory, int k) {
  const ThumbnailLayout& l = gThumbView.layout;
  const int x = (k % Columns()) * l.cellWidth, y = (k / Columns()) * l.cellHeight;
  const RECT cell{x, y, x + l.cellWidth, y + l.cellHeight};
  FillRect(dc, &cell, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
  const int position = gThumbView.first + k;
  const int tw = gView.thumbWidth, th = gView.thumbHeight;
  const int left = x + l.margin, top = y + 4;
  const EntryList& files = gFiles.live.files;
  if (position < files.count) {
    const int32_t storage = static_cast<size_t>(position) < files.order.size() ? files.order[position] : -1;
    if (const ThumbnailEntry* entry = BuiltEntry(storage)) {
      const quillon::PageRecord& picture = entry->picture;
      if (picture.data) {
        DrawThumbnailPicture(dc, memory, picture, left, top);
        if (HasFilmMark(picture)) ImageList_Draw(gView.videoIcons, 0, dc, left + 2, y + th - 14, ILD_NORMAL);
      } else {
        ImageList_Draw(gView.badIcons, 0, dc, left + (tw - 32) / 2, top + (th - 32) / 2, ILD_NORMAL);
      }
      const bool marked = gThumbView.mode == kThumbEditMode
                              ? static_cast<size_t>(storage) < gThumbView.selected.size() && gThumbView.selected[storage]
                              : storage == gThumbView.current;
      if (marked) {
        HPEN pen = CreatePen(PS_SOLID, 1, kMarkColour);
        HGDIOBJ oldPen = SelectObject(dc, pen), oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, left - 1, top - 1, left + tw + 1, top + th + 1);
        SelectObject(dc, oldBrush);
        SelectObject(dc, oldPen);
        DeleteObject(pen);
      }
    }
    if (gSettings.options.thumbNames) {
      if (const char16_t* name = EntryName(files, position)) {
        RECT caption{x + 2, top + th, x + l.cellWidth - 2, y + l.cellHeight};
        HGDIOBJ oldFont = gThumbView.font ? SelectObject(dc, gThumbView.font) : nullptr;
        SetBkMode(dc, OPAQUE);
        SetBkColor(dc, kCaptionColour);
        SetTextColor(dc, RGB(0, 0, 0));
        DrawText(dc, name, -1, &caption, DT_CENTER | DT_BOTTOM | DT_SINGLELINE | DT_NOPREFIX);
        if (oldFont) SelectObject(dc, oldFont);
      }
    }
  }
  DrawEdges(dc, cell);
}

void Paint(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT client;
  GetClientRect(hwnd, &client);
  HBRUSH gray = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
  if (!gThumbs.entries) {
    FillRect(dc, &client, gray);
    EndPaint(hwnd, &ps);
    return;
  }
  HPALETTE old = gThumbs.palette ? SelectPalette(dc, gThumbs.palette, FALSE) : nullptr;
  if (old) RealizePalette(dc);
  const ThumbnailLayout& l = gThumbView.layout;
  const RECT below{0, l.rows * l.cellHeight, client.right, client.bottom};
  const RECT right{Columns() * l.cellWidth, 0, client.right, l.rows * l.cellHeight};
  if (below.bottom > below.top) FillRect(dc, &below, gray);
  if (right.right > right.left) FillRect(dc, &right, gray);
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ oldBitmap = gView.thumbCell ? SelectObject(memory, gView.thumbCell) : nullptr;
  for (int k = 0; k < Visible(); ++k) {
    const RECT cell{(k % Columns()) * l.cellWidth, (k / Columns()) * l.cellHeight,
                    (k % Columns() + 1) * l.cellWidth, (k / Columns() + 1) * l.cellHeight};
    RECT overlap;
    if (IntersectRect(&overlap, &cell, &ps.rcPaint)) DrawCell(dc, memory, k);
  }
  if (oldBitmap) SelectObject(memory, oldBitmap);
  DeleteDC(memory);
  if (old) SelectPalette(dc, old, FALSE);
  EndPaint(hwnd, &ps);
}

void OnScroll(HWND hwnd, WPARAM wParam) {
  int64_t first = gThumbView.first;
  switch (LOWORD(wParam)) {
    case SB_LINEUP: first -= Columns(); break;
    case SB_LINEDOWN: first += Columns(); break;
    case SB_PAGEUP: first -= Visible(); break;
    case SB_PAGEDOWN: first += Visible(); break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: first = int64_t{HIWORD(wParam)} * Built() / 100; break;
    default: return;
  }
  ShowFirst(hwnd, first);
  if (LOWORD(wParam) == SB_THUMBTRACK) UpdateWindow(hwnd);
}

void PopUpMenu(HWND hwnd, POINT at) {
  HMENU menu = gThumbView.menus[gThumbView.mode == kThumbEditMode ? 1 : 0];
  HMENU popup = menu ? GetSubMenu(menu, 0) : nullptr;
  if (!popup) return;
  const UINT sortItems[3] = {40105, 40107, 40106};
  CheckMenuRadioItem(popup, 40105, 40107, sortItems[std::clamp(gSettings.sortOrder, 0, 2)], MF_BYCOMMAND);
  ClientToScreen(hwnd, &at);
  const int command = static_cast<int>(
      TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD, at.x, at.y, 0, hwnd, nullptr));
  if (command > 0) PostMessage(hwnd, WM_COMMAND, static_cast<WPARAM>(command), 0);
}

// The display position under a point; -1 outside the cells.
int ItemAt(int x, int y) {
  const ThumbnailLayout& l = gThumbView.layout;
  if (x < 0 || y < 0 || l.cellWidth <= 0 || l.cellHeight <= 0) return -1;
  const int column = x / l.cellWidth, row = y / l.cellHeight;
  if (column >= Columns() || row >= l.rows) return -1;
  return gThumbView.first + row * Columns() + column;
}

void OnTap(HWND hwnd, int x, int y) {
  SHRGINFO gesture{sizeof(SHRGINFO), hwnd, POINT{x, y}, SHRG_RETURNCMD};
  if (SHRecognizeGesture(&gesture) == GN_CONTEXTMENU) {
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    PopUpMenu(hwnd, POINT{x, y});
    return;
  }
  const int position = ItemAt(x, y);
  if (position < 0) return;
  if (position >= Built()) {
    MessageBeep(0);
    return;
  }
  const EntryList& files = gFiles.live.files;
  const int32_t storage = static_cast<size_t>(position) < files.order.size() ? files.order[position] : -1;
  const ThumbnailEntry* entry = BuiltEntry(storage);
  if (!entry || !entry->picture.data) return;
  gThumbView.current = storage;
  if (gThumbView.mode == kThumbEditMode) ThumbViewCommand(hwnd, 40055);
  else ThumbViewCommand(hwnd, 40005);
}

void OnKey(HWND hwnd, WPARAM key) {
  const ButtonLayout& buttons = gDevice.buttons;
  for (int i = 0; i < buttons.count && buttons.buttons && i < static_cast<int>(kKeyBlockSize); ++i) {
    if (buttons.buttons[i].key != LOWORD(key)) continue;
    if (const int command = CommandOfFunction(gSettings.thumbKeys[static_cast<size_t>(i)]))
      PostMessage(hwnd, WM_COMMAND, static_cast<WPARAM>(command), 0);
    return;
  }
}

LRESULT OnCreate(HWND hwnd) {
  gThumbView.window = hwnd;
  gThumbView.menus[0] = LoadMenu(gApp.instance, u"THUMB_MENU");
  gThumbView.menus[1] = LoadMenu(gApp.instance, u"THUMB_MENU1");
  LOGFONT lf{};
  lf.lfHeight = -10;
  lf.lfWeight = FW_NORMAL;
  const std::u16string face = u"Tahoma";
  std::copy(face.begin(), face.end(), lf.lfFaceName);
  gThumbView.font = CreateFontIndirect(&lf);
  gThumbView.selected.assign(static_cast<size_t>(std::max(gThumbs.count, 0)), 0);
  gThumbView.first = 0;
  gThumbView.mode = kThumbViewMode;
  if (gThumbView.menus[0]) CeSetMenuBar(hwnd, gThumbView.menus[0]);
  SetScrollRange(hwnd, SB_VERT, 0, 100, FALSE);
  SHFullScreen(hwnd, SHFS_HIDESIPBUTTON);
  LayOutView(hwnd);
  return 0;
}

void OnDestroy() {
  for (HMENU& menu : gThumbView.menus) {
    if (menu) DestroyMenu(menu);
    menu = nullptr;
  }
  if (gThumbView.font) DeleteObject(gThumbView.font);
  gThumbView = ThumbViewState{};
  LogMilestone("thumbnail view closed");
}

}  // namespace

void ThumbnailListChanged() {
  gThumbView.selected.assign(static_cast<size_t>(std::max(gThumbs.count, 0)), 0);
  gThumbView.first = 0;
  if (gThumbView.current >= gThumbs.count) gThumbView.current = -1;
  if (gThumbView.window) InvalidateRect(gThumbView.window, nullptr, FALSE);
  RefreshStrip();
}

int32_t DisplayPositionOf(int32_t storageIndex) {
  const EntryList& files = gFiles.live.files;
  for (int32_t i = 0; i < files.count && static_cast<size_t>(i) < files.order.size(); ++i)
    if (files.order[static_cast<size_t>(i)] == storageIndex) return i;
  return -1;
}

LRESULT ThumbViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE: return OnCreate(hwnd);
    case WM_SIZE:
      LayOutView(hwnd);
      return 0;
    case WM_SETFOCUS:
      SHFullScreen(hwnd, SHFS_HIDESIPBUTTON);
      LayOutView(hwnd);
      return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: Paint(hwnd); return 0;
    case WM_VSCROLL: OnScroll(hwnd, wParam); return 0;
    case WM_LBUTTONDOWN: OnTap(hwnd, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); return 0;
    case WM_LBUTTONDBLCLK: {
      const int position = ItemAt(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      if (gThumbView.mode == kThumbEditMode && position >= 0 && position < Built() &&
          static_cast<size_t>(position) < gFiles.live.files.order.size()) {
        gThumbView.current = gFiles.live.files.order[static_cast<size_t>(position)];
        ThumbViewCommand(hwnd, 40005);
      }
      return 0;
    }
    case WM_RBUTTONDOWN: PopUpMenu(hwnd, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}); return 0;
    case WM_KEYDOWN: OnKey(hwnd, wParam); return 0;
    case WM_COMMAND: ThumbViewCommand(hwnd, LOWORD(wParam)); return 0;
    case WM_DESTROY: OnDestroy(); return 0;
    default: return DefWindowProc(hwnd, msg, wParam, lParam);
  }
}

void ShowThumbnailItem(HWND hwnd, int position) {
  if (position < gThumbView.first || position >= gThumbView.first + Visible())
    ShowFirst(hwnd, position - position % Columns());
  else InvalidateRect(hwnd, nullptr, FALSE);
}

}  // namespace zelmo
