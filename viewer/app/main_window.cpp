// The main window: creation with its fonts, scroll bar and thumbnail cell,
// its geometry, the window procedure and the messages that are not pen,
// keys or commands: life cycle, focus, the strip's scroll bar, timers and
// the requests to open or reload a file.
#include "viewer/app/main_window.h"

#include <algorithm>
#include <cstring>

#include "viewer/app/functions.h"
#include "viewer/app/page_load.h"
#include "viewer/app/state.h"
#include "viewer/app/view.h"
#include "viewer/app/windows.h"
#include "viewer/browse/file_list.h"
#include "viewer/dialogs/capture.h"
#include "viewer/settings/registry_values.h"
#include "viewer/settings/settings.h"
#include "viewer/thumbs/thumbnails.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr size_t kBitmapHeaderSize = 3116;
constexpr COLORREF kWhite = RGB(255, 255, 255);

// The display-bitmap header every view bitmap is made from: 240 x 320 at
// 16 bits until a page says otherwise.
void MakeBitmapHeader() {
  gView.bitmapHeader.assign(kBitmapHeaderSize, 0);
  BITMAPINFOHEADER h{};
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = 240;
  h.biHeight = 320;
  h.biPlanes = 1;
  h.biBitCount = 16;
  std::memcpy(gView.bitmapHeader.data(), &h, sizeof(h));
}

// The pop-up menu font of the platform, or Tahoma bold.
HFONT MakeMenuFont() {
  LOGFONT lf{};
  lf.lfHeight = -12;
  lf.lfWeight = FW_BOLD;
  std::u16string face = u"Tahoma";
  HKEY key;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"System\\GWE\\Menu\\PopFnt", 0, KEY_READ, &key) ==
      ERROR_SUCCESS) {
    std::u16string stored;
    if (ReadString(key, u"Nm", LF_FACESIZE - 1, &stored) && !stored.empty()) face = stored;
    int32_t value;
    if (ReadDword(key, u"Ht", &value)) lf.lfHeight = value;
    if (ReadDword(key, u"Wt", &value)) lf.lfWeight = value;
    RegCloseKey(key);
  }
  std::copy(face.begin(), face.end(), lf.lfFaceName);
  return CreateFontIndirect(&lf);
}

HFONT MakeLabelFont() {
  LOGFONT lf{};
  lf.lfHeight = -10;
  lf.lfWeight = FW_NORMAL;
  std::u16string face = u"Tahoma";
  std::copy(face.begin(), face.end(), lf.lfFaceName);
  return CreateFontIndirect(&lf);
}

}  // namespace

void CreateThumbnailCell() {
  if (gView.thumbCell) DeleteObject(gView.thumbCell);
  gView.thumbCell = nullptr;
  gView.thumbCellBits = nullptr;
  struct {
    BITMAPINFOHEADER header;
    uint16_t table[512];
  } info{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = gView.thumbWidth;
  info.header.biHeight = -gView.thumbHeight;
  info.header.biPlanes = 1;
  info.header.biBitCount = static_cast<WORD>(gApp.displayDepth);
  UINT usage = DIB_RGB_COLORS;
  if (gApp.displayDepth == 16) {
    info.header.biCompression = BI_BITFIELDS;
    const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(info.table, masks, sizeof(masks));
  } else if (gApp.displayDepth <= 8) {
    usage = DIB_PAL_COLORS;
    for (int i = 0; i < 256; ++i) info.table[i] = static_cast<uint16_t>(i);
  }
  HDC screen = GetDC(nullptr);
  gView.thumbCell = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&info), usage,
                                     &gView.thumbCellBits, nullptr, 0);
  ReleaseDC(nullptr, screen);
}

namespace {

LRESULT OnCreate(HWND hwnd) {
  gApp.mainWindow = hwnd;
  AllocateFileLists();
  gFiles.currentIndex = -1;
  ComputeThumbnailSize();
  SetRectEmpty(&gView.selection);
  gView.videoIcons = ImageList_LoadBitmap(gApp.instance, u"ILIST_VIDEO", 16, 0, CLR_NONE);
  gView.printIcons = ImageList_LoadBitmap(gApp.instance, u"ILIST_PRINT", 48, 0, kWhite);
  gView.badIcons = ImageList_LoadBitmap(gApp.instance, u"ILIST_BAD", 32, 0, kWhite);
  gView.keyIcons = ImageList_LoadBitmap(gApp.instance, u"ILIST_KEYS", 16, 0, kWhite);
  gView.tapHoldIcons = ImageList_LoadBitmap(gApp.instance, u"ILIST_TAPNHOLD", 8, 0, kWhite);
  RegisterButtonKeys(hwnd);
  gApp.menuBar = LoadMenu(gApp.instance, u"RAVLO2");
  if (gApp.menuBar) CeSetMenuBar(hwnd, gApp.menuBar);
  return 0;
}

void DestroyImageList(HIMAGELIST* list) {
  if (*list) ImageList_Destroy(*list);
  *list = nullptr;
}

void DeleteGdiObject(HGDIOBJ object) {
  if (object) DeleteObject(object);
}

void OnDestroy(HWND hwnd) {
  UnregisterButtonKeys(hwnd);
  FreeFileLists();
  KillTimer(hwnd, kAnimationTimer);
  KillTimer(hwnd, kCaptureTimer);
  for (HIMAGELIST* list : {&gView.videoIcons, &gView.printIcons, &gView.badIcons, &gView.keyIcons,
                           &gView.tapHoldIcons, &gView.arrowIcons, &gApp.toolbarIcons})
    DestroyImageList(list);
  CloseZoomWindow();
  CloseCurrentFile();
  DeleteGdiObject(gView.viewBitmap);
  DeleteGdiObject(gView.palette);
  DeleteGdiObject(gView.thumbCell);
  gView.viewBitmap = nullptr;
  gView.render.dstBits = nullptr;
  gView.palette = nullptr;
  gView.thumbCell = nullptr;
  gView.thumbCellBits = nullptr;
  if (gApp.menuBar) {
    CeSetMenuBar(hwnd, nullptr);
    DestroyMenu(gApp.menuBar);
    gApp.menuBar = nullptr;
  }
  SaveSettings();
  PostQuitMessage(0);
}

// The file name a second start left in the registry.
void OnOpenPassedFile() {
  std::u16string path;
  if (!ReadKeyString(HKEY_LOCAL_MACHINE, kSettingsKey, u"Cmdline", kMaxPathChars, &path) || path.empty())
    return;
  if (SetCurrentPath(path)) OpenCurrentFileAsNew();
}

// The worker asks for the current page again: loaded, shown, navigated.
// wParam: the page to show; lParam: 0, or 1 + the view rotation to show
// it in, in quarter turns.
void OnReloadPage(WPARAM page, LPARAM rotation) {
  if (!gView.fileOpen) return;
  if (rotation >= 1 && rotation <= 4) gView.rotation = static_cast<int>(rotation - 1) * 90;
  const int number = page < static_cast<WPARAM>(gView.file.pageCount) ? static_cast<int>(page) : 0;
  ShowPage(number, false, 0);
}

void OnSetFocus(HWND hwnd) {
  if (gView.palette) {
    HDC dc = GetDC(hwnd);
    HPALETTE old = SelectPalette(dc, gView.palette, FALSE);
    RealizePalette(dc);
    SelectPalette(dc, old, FALSE);
    ReleaseDC(hwnd, dc);
  }
  SHFullScreen(hwnd, SHFS_HIDESIPBUTTON);
}

// The strip's scroll bar moves the first thumbnail shown.
void OnStripScroll(HWND hwnd, WPARAM wParam) {
  int64_t first = gView.firstThumbShown;
  const WORD code = LOWORD(wParam);
  switch (code) {
    case SB_LINELEFT: --first; break;
    case SB_LINERIGHT: ++first; break;
    case SB_PAGELEFT: first -= gView.thumbsPerRow; break;
    case SB_PAGERIGHT: first += gView.thumbsPerRow; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: first = HIWORD(wParam); break;
    default: return;
  }
  gView.firstThumbShown = ClampFirstThumbnail(first);
  if (gView.stripScrollBar) SetScrollPos(gView.stripScrollBar, SB_CTL, gView.firstThumbShown, TRUE);
  RefreshStrip();
  if (code == SB_THUMBTRACK) UpdateWindow(hwnd);
}

void OnTimer(HWND hwnd, WPARAM id) {
  if (id == kCaptureTimer) {
    KillTimer(hwnd, kCaptureTimer);
    TakeCapture();
  } else if (id == kAnimationTimer) {
    AnimationStep(hwnd);
  }
}

}  // namespace

void ComputeThumbnailSize() {
  int edge = ThumbnailEdge(gSettings.thumbSize);
  gView.thumbWidth = gView.thumbHeight = edge;
  if (gSettings.thumbShape == 1) gView.thumbHeight = edge * 3 / 4;
  if (gSettings.thumbShape == 2) gView.thumbWidth = edge * 3 / 4;
  gView.thumbsPerRow = std::max(gApp.screenWidth / gView.thumbWidth, 1);
}

void LayOut(int width, int height) {
  gView.marginX = gView.marginY = 0;
  gView.areaWidth = width;
  gView.areaTop = 0;
  if (gView.fullScreen) {
    gView.areaHeight = height;
  } else if (gSettings.options.comboView) {
    gView.areaHeight = height - gView.thumbHeight - 41;
    if (gView.stripScrollBar)
      MoveWindow(gView.stripScrollBar, 0, height - 40, gApp.screenWidth, kStripScrollHeight, TRUE);
  } else {
    gView.areaHeight = height - kToolbarHeight;
  }
  gView.areaHeight = std::max(gView.areaHeight, 0);
}

int ToolbarTop() {
  if (gSettings.options.comboView) return gView.thumbHeight + gView.areaHeight + 17;
  return gView.areaHeight;
}

bool CreateMainWindow(int show) {
  std::u16string className = LoadText(3);
  std::u16string title = LoadText(1);
  MakeBitmapHeader();
  gView.arrowIcons = ImageList_LoadBitmap(gApp.instance, u"ILIST4_BMP", 16, 8, kWhite);
  SHFILEINFO info{};
  gView.systemIcons = reinterpret_cast<HIMAGELIST>(SHGetFileInfo(
      u"\\Windows\\coredll.dll", 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
  gView.menuFont = MakeMenuFont();
  gView.labelFont = MakeLabelFont();
  HWND hwnd = CreateWindow(className.c_str(), title.c_str(), WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, gApp.instance, nullptr);
  if (!hwnd) return false;
  gView.stripScrollBar =
      CreateWindow(u"scrollbar", u"", WS_CHILD | WS_VISIBLE | SBS_HORZ, 0, gApp.screenHeight,
                   gApp.screenWidth, kStripScrollHeight, hwnd, nullptr, gApp.instance, nullptr);
  // The scroll bar did not exist when the window was first sized.
  RECT client;
  GetClientRect(hwnd, &client);
  LayOut(client.right, client.bottom);
  CreateThumbnailCell();
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);
  InvalidateRect(hwnd, nullptr, FALSE);
  SetForegroundWindow(hwnd);
  SHFullScreen(hwnd, SHFS_HIDESIPBUTTON);
  return true;
}

// Before a pop-up of the menus opens: the scale-to-gray option and the sort
// order are shown checked.
void OnInitMenuPopup(HMENU menu) {
  CheckMenuItem(menu, 40036, MF_BYCOMMAND | (gSettings.options.scaleToGray ? MF_CHECKED : MF_UNCHECKED));
  constexpr UINT kSortCommands[3] = {40105, 40107, 40106};  // SortOrder 0 name, 1 size, 2 date
  for (int order = 0; order < 3; ++order)
    CheckMenuItem(menu, kSortCommands[order],
                  MF_BYCOMMAND | (gSettings.sortOrder == order ? MF_CHECKED : MF_UNCHECKED));
}

LRESULT MainWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE: return OnCreate(hwnd);
    case WM_THUMBNAILJOBSTART:
    case WM_THUMBNAILBUILT: return OnThumbnailMessage(msg, wParam, lParam);
    case WM_SIZE: LayOut(LOWORD(static_cast<uintptr_t>(lParam)), HIWORD(static_cast<uintptr_t>(lParam))); return 0;
    case WM_DESTROY: OnDestroy(hwnd); return 0;
    case WM_PAINT: PaintMainWindow(hwnd); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_SETFOCUS: OnSetFocus(hwnd); return 0;
    case WM_SETTINGCHANGE: SHHandleWMSettingChange(hwnd, wParam, lParam, &gView.activateInfo); return 0;
    case WM_HSCROLL:
    case WM_VSCROLL: OnStripScroll(hwnd, wParam); return 0;
    // A second tap soon after the first is a tap all the same.
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: OnPenDown(hwnd, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); return 0;
    case WM_RBUTTONDOWN: OnHold(hwnd, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); return 0;
    case WM_KEYDOWN: OnKeyDown(hwnd, wParam); return 0;
    case WM_KEYUP: return 0;
    case WM_HOTKEY: OnHotKey(hwnd, wParam, lParam); return 0;
    case WM_COMMAND: OnCommand(hwnd, LOWORD(wParam)); return 0;
    case WM_TIMER: OnTimer(hwnd, wParam); return 0;
    case WM_OPENPASSEDFILE: OnOpenPassedFile(); return 0;
    case WM_OPENCURRENTFILE: OpenCurrentFileAsNew(); return 0;
    case WM_RELOADPAGE: OnReloadPage(wParam, lParam); return 0;
    case WM_INITMENUPOPUP: OnInitMenuPopup(reinterpret_cast<HMENU>(wParam)); return 0;
    default: return DefWindowProc(hwnd, msg, wParam, lParam);
  }
}

}  // namespace zelmo
