// The thumbnail window's commands, the main window's "Toggle Thumbnail
// View" and "Refresh Thumbnails", the job's messages to the main window and
// the combo strip's cells.
#include <algorithm>
#include <string>

#include "imaging/core/files.h"
#include "imaging/pixels/pixels.h"
#include "platform/emulator.h"
#include "viewer/app/main_window.h"
#include "viewer/app/page_load.h"
#include "viewer/app/state.h"
#include "viewer/app/view.h"
#include "viewer/app/worker.h"
#include "viewer/browse/file_list.h"
#include "viewer/dialogs/browse_dialogs.h"
#include "viewer/dialogs/dialog_common.h"
#include "viewer/dialogs/file_commands.h"
#include "viewer/dialogs/info_dialogs.h"
#include "viewer/settings/settings.h"
#include "viewer/thumbs/thumb_view.h"
#include "viewer/thumbs/thumbnails.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr unsigned kDeleteQuestion = 810, kCopyFailed = 5040, kDeleteFailed = 5041;
constexpr unsigned kNoneSelected = 5042, kDeleteSelected = 5043, kSomeNotCopied = 5044, kCopyCaption = 5045;
constexpr unsigned kDeleteCaption = 40076;
constexpr COLORREF kViewRectangleColour = 0xFF0000;

std::u16string NameOf(int32_t storage) {
  const EntryList& files = gFiles.live.files;
  if (storage < 0 || static_cast<size_t>(storage) >= files.records.size()) return {};
  const size_t offset = files.records[static_cast<size_t>(storage)].nameOffset;
  if (offset >= files.pool.size()) return {};
  return std::u16string(files.pool.data() + offset);
}

bool PathOf(int32_t storage, std::u16string* path) {
  const std::u16string name = NameOf(storage);
  return !name.empty() && JoinPath(gSettings.curDir, name, path);
}

bool HasPicture(int32_t storage) {
  const ThumbnailEntry* entry = BuiltEntry(storage);
  return entry && entry->picture.data;
}

// The chosen files: the selection in EDIT mode, else the current item.
std::vector<int32_t> ChosenFiles() {
  std::vector<int32_t> chosen;
  const EntryList& files = gFiles.live.files;
  if (gThumbView.mode != kThumbEditMode) {
    if (gThumbView.current >= 0) chosen.push_back(gThumbView.current);
    return chosen;
  }
  for (int32_t i = 0; i < files.count && static_cast<size_t>(i) < files.order.size(); ++i) {
    const int32_t s = files.order[static_cast<size_t>(i)];
    if (static_cast<size_t>(s) < gThumbView.selected.size() && gThumbView.selected[static_cast<size_t>(s)])
      chosen.push_back(s);
  }
  return chosen;
}

// Opens the item in the main window as a tap in VIEW mode does.
void OpenInMainWindow(int32_t storage) {
  const int32_t position = DisplayPositionOf(storage);
  const std::u16string name = NameOf(storage);
  if (position < 0 || name.empty() || !SetCurrentFile(gSettings.curDir, name)) return;
  gFiles.currentIndex = position;
  gView.firstThumbShown = ClampFirstThumbnail(position);
  if (gView.stripScrollBar) SetScrollPos(gView.stripScrollBar, SB_CTL, gView.firstThumbShown, TRUE);
  PostMessage(gApp.mainWindow, WM_OPENCURRENTFILE, 0, 0);
  SetForegroundWindow(gApp.mainWindow);
}

// The main window lets go of a file it shows before the file is deleted.
void ReleaseIfShown(const std::u16string& path) {
  if (gView.currentPath != path) return;
  FreeCurrentPage();
  CloseCurrentFile();
  InvalidateRect(gApp.mainWindow, nullptr, FALSE);
}

void Delete(HWND hwnd) {
  const bool edit = gThumbView.mode == kThumbEditMode;
  const std::vector<int32_t> chosen = ChosenFiles();
  if (edit && chosen.empty()) {
    ShowText(hwnd, kNoneSelected, LoadText(kDeleteCaption), MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  if (!edit && (chosen.empty() || !HasPicture(chosen[0]))) return;
  const int answer = edit ? ShowText(hwnd, kDeleteSelected, LoadText(kDeleteCaption), MB_YESNO | MB_ICONQUESTION)
                          : ShowText(hwnd, kDeleteQuestion, NameOf(chosen[0]), MB_YESNO | MB_ICONQUESTION);
  if (answer != IDYES) return;
  StopThumbnailJob();
  std::u16string failed;
  for (int32_t storage : chosen) {
    std::u16string path;
    if (!PathOf(storage, &path)) continue;
    ReleaseIfShown(path);
    if (!DeleteFile(path.c_str())) {
      if (failed.empty()) failed = NameOf(storage);
      continue;
    }
    FreeThumbnail(storage);
    if (static_cast<size_t>(storage) < gThumbView.selected.size()) gThumbView.selected[static_cast<size_t>(storage)] = 0;
    LogMilestone("deleted %s", quillon::Utf16ToUtf8(NameOf(storage)).c_str());
  }
  InvalidateRect(hwnd, nullptr, FALSE);
  RefreshStrip();
  if (!failed.empty()) ShowText(hwnd, kDeleteFailed, failed, MB_OK | MB_ICONEXCLAMATION);
}

void Copy(HWND hwnd) {
  const bool edit = gThumbView.mode == kThumbEditMode;
  const std::vector<int32_t> chosen = ChosenFiles();
  if (edit && chosen.empty()) {
    ShowText(hwnd, kNoneSelected, LoadText(kCopyCaption), MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  if (!edit && (chosen.empty() || !HasPicture(chosen[0]))) {
    MessageBeep(0);
    return;
  }
  if (gCopyFolder.empty()) gCopyFolder = gSettings.curDir;
  std::u16string folder = gCopyFolder;
  if (FolderDialog(&folder, true) != IDOK) return;
  gCopyFolder = folder;
  HCURSOR cursor = SetCursor(LoadCursor(nullptr, IDC_WAIT));
  int failures = 0;
  for (int32_t storage : chosen) {
    std::u16string from, to;
    const std::u16string name = NameOf(storage);
    if (!PathOf(storage, &from) || !JoinPath(folder, name, &to) || !CopyFile(from.c_str(), to.c_str(), TRUE)) {
      ++failures;
      continue;
    }
    LogMilestone("copied %s", quillon::Utf16ToUtf8(to).c_str());
  }
  SetCursor(cursor);
  if (failures == 0) return;
  if (!edit) {
    ShowText(hwnd, kCopyFailed, NameOf(chosen[0]), MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  const std::u16string format = LoadText(kSomeNotCopied), caption = LoadText(kCopyCaption);
  const std::string narrow = quillon::Utf16ToUtf8(format);
  const std::u16string text = Format(narrow.c_str(), failures);
  MessageBox(hwnd, text.c_str(), caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

// Both windows act on the one sort order (0 name, 1 size, 2 date); the
// current items follow their files.
void SortBy(HWND hwnd, int order) {
  if (gSettings.sortOrder == order) return;
  const std::u16string current = CurrentFileName();
  gSettings.sortOrder = order;
  SortLive();
  KeepCurrentFile(current);
  InvalidateRect(hwnd, nullptr, FALSE);
  if (gApp.mainWindow) InvalidateRect(gApp.mainWindow, nullptr, FALSE);
  LogMilestone("thumbnails sorted %d", order);
}

void MoveCurrent(HWND hwnd, int target, bool open) {
  const EntryList& files = gFiles.live.files;
  if (target < 0 || target >= files.count || static_cast<size_t>(target) >= files.order.size()) {
    MessageBeep(0);
    return;
  }
  gThumbView.current = files.order[static_cast<size_t>(target)];
  ShowThumbnailItem(hwnd, target);
  if (open && HasPicture(gThumbView.current)) OpenInMainWindow(gThumbView.current);
}

void SetAll(HWND hwnd, uint8_t value) {
  std::fill(gThumbView.selected.begin(), gThumbView.selected.end(), value);
  InvalidateRect(hwnd, nullptr, FALSE);
}

void SetMode(HWND hwnd, int mode) {
  gThumbView.mode = mode;
  if (mode == kThumbEditMode) std::fill(gThumbView.selected.begin(), gThumbView.selected.end(), 0);
  if (HMENU bar = gThumbView.menus[mode == kThumbEditMode ? 1 : 0]) CeSetMenuBar(hwnd, bar);
  InvalidateRect(hwnd, nullptr, FALSE);
  LogMilestone("thumbnail view %s mode", mode == kThumbEditMode ? "EDIT" : "VIEW");
}

void StartIrda(const std::u16string* path) { StartProgramNamed(u"irsquirt.exe", path ? path->c_str() : nullptr); }

// The rectangle of the main view on the current file's strip cell.
void DrawViewRectangle(HDC dc, int left, int top) {
  if (!ImageLoaded()) return;
  const ViewFrame frame = CurrentFrame();
  const OverviewGeometry cell = ComputeOverview(frame.shownWidth, frame.shownHeight, gView.thumbWidth, gView.thumbHeight);
  if (cell.step == 0) return;
  const WindowRect v = OverviewViewRectangle(cell, frame, CurrentPosition());
  HPEN pen = CreatePen(PS_SOLID, 1, kViewRectangleColour);
  HGDIOBJ oldPen = SelectObject(dc, pen), oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  Rectangle(dc, left + v.left, top + v.top, left + v.right, top + v.bottom);
  SelectObject(dc, GetStockObject(WHITE_PEN));
  Rectangle(dc, left + v.left + 1, top + v.top + 1, left + v.right - 1, top + v.bottom - 1);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
}

}  // namespace

void ThumbViewCommand(HWND hwnd, int command) {
  const int32_t current = gThumbView.current;
  const int position = DisplayPositionOf(current);
  std::u16string path;
  switch (command) {
    case 40097: SetMode(hwnd, kThumbEditMode); break;
    case 40098: SetMode(hwnd, kThumbViewMode); break;
    case 40101: SetAll(hwnd, 1); break;
    case 40102: SetAll(hwnd, 0); break;
    case 40055:
      if (static_cast<size_t>(current) < gThumbView.selected.size()) {
        gThumbView.selected[static_cast<size_t>(current)] ^= 1;
        LogMilestone("thumbnail %s %s", quillon::Utf16ToUtf8(NameOf(current)).c_str(),
                     gThumbView.selected[static_cast<size_t>(current)] ? "selected" : "cleared");
      }
      InvalidateRect(hwnd, nullptr, FALSE);
      break;
    case 40105: SortBy(hwnd, 0); break;
    case 40106: SortBy(hwnd, 2); break;
    case 40107: SortBy(hwnd, 1); break;
    case 40085: MoveCurrent(hwnd, 0, true); break;
    case 40086: MoveCurrent(hwnd, gFiles.live.files.count - 1, true); break;
    case 40067: MoveCurrent(hwnd, position < 0 ? gFiles.live.files.count - 1 : position - 1, false); break;
    case 40068: MoveCurrent(hwnd, position + 1, false); break;
    case 40012:
      if (PathOf(current, &path)) ShowFileInformation(path);
      break;
    case 40076: Delete(hwnd); break;
    case 40082: Copy(hwnd); break;
    case 40084:
      if (HasPicture(current) && PathOf(current, &path)) StartIrda(&path);
      break;
    case 40103: StartIrda(nullptr); break;
    case 40006: DestroyWindow(hwnd); break;
    case 40045: SetForegroundWindow(gApp.mainWindow); break;
    case 40011: StartHelp(u"Thumbnails"); break;
    case 40005:
      if (HasPicture(current)) OpenInMainWindow(current);
      break;
    default: break;
  }
}

LRESULT OnThumbnailMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_THUMBNAILJOBSTART) return PrepareThumbnailJob(reinterpret_cast<ThumbnailJobRecord*>(lParam));
  const int position = static_cast<int>(wParam);
  if (HWND view = gThumbView.window) {
    const int visible = gThumbView.layout.rows * gThumbView.layout.columns;
    if (position >= gThumbView.first && position < gThumbView.first + visible) InvalidateRect(view, nullptr, FALSE);
  }
  if (position >= gView.firstThumbShown && position <= gView.firstThumbShown + gView.thumbsPerRow) RefreshStrip();
  return 0;
}

void PaintThumbnailStrip(HDC dc, int bandTop) {
  const int tw = gView.thumbWidth, th = gView.thumbHeight, top = bandTop + 1;
  const EntryList& files = gFiles.live.files;
  const bool usable = gThumbs.entries && !gShared.refresh;
  // The image's palette stays realised: on palette displays the cells go
  // by colour (DrawThumbnailPicture).
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ oldBitmap = gView.thumbCell ? SelectObject(memory, gView.thumbCell) : nullptr;
  HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  for (int i = 0; i <= gView.thumbsPerRow; ++i) {
    const int left = tw * i;
    const int64_t index = int64_t{gView.firstThumbShown} + i;
    const int32_t storage = index < files.count && static_cast<size_t>(index) < files.order.size()
                                ? files.order[static_cast<size_t>(index)]
                                : -1;
    const ThumbnailEntry* entry = usable ? BuiltEntry(storage) : nullptr;
    const quillon::PageRecord* picture = entry ? &entry->picture : nullptr;
    const bool drawn = picture && picture->data && DrawThumbnailPicture(dc, memory, *picture, left, top);
    if (drawn) {
      if (HasFilmMark(*picture)) ImageList_Draw(gView.videoIcons, 0, dc, left + 2, top + th - 18, ILD_NORMAL);
      if (index == gFiles.currentIndex) DrawViewRectangle(dc, left, top);
    } else {
      const RECT cell{left, top, left + tw, top + th};
      FillRect(dc, &cell, white);
      // The bad-file mark only on files built and unreadable.
      if (entry && !picture->data) ImageList_Draw(gView.badIcons, 0, dc, left + (tw - 32) / 2, top + (th - 32) / 2, ILD_NORMAL);
    }
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, left, top - 1, left + tw + 1, top + th + 1);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
  }
  if (oldBitmap) SelectObject(memory, oldBitmap);
  DeleteDC(memory);
}

bool DrawThumbnailPicture(HDC dc, HDC cell, const quillon::PageRecord& picture, int x, int y) {
  const int tw = gView.thumbWidth, th = gView.thumbHeight, depth = gApp.displayDepth;
  if (picture.width != tw || picture.height != th || picture.bitsPerPixel != depth) return false;
  quillon::RenderRequest request{};
  request.xStep = request.yStep = quillon::kUnitStep;
  request.dstWidth = tw;
  request.dstHeight = th;
  request.dstBytesPerLine = quillon::BytesPerLine(tw, depth);
  if (depth == 16 || !picture.palette) {
    request.dstBits = static_cast<uint8_t*>(gView.thumbCellBits);
    if (!request.dstBits || quillon::RenderPage(&picture, &request, 0) != quillon::kOk) return false;
    return BitBlt(dc, x, y, tw, th, cell, 0, 0, SRCCOPY);
  }
  // Palette displays: a section with the picture's own colours, which the
  // screen shows through whatever palette is realised.
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
  } info{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = tw;
  info.header.biHeight = -th;
  info.header.biPlanes = 1;
  info.header.biBitCount = static_cast<WORD>(depth);
  for (int i = 0; i < 256; ++i)
    info.colours[i] = RGBQUAD{picture.palette[3 * i], picture.palette[3 * i + 1], picture.palette[3 * i + 2], 0};
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(dc, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
  bool drawn = false;
  if (section && bits) {
    request.dstBits = static_cast<uint8_t*>(bits);
    if (quillon::RenderPage(&picture, &request, 0) == quillon::kOk) {
      HDC memory = CreateCompatibleDC(dc);
      HGDIOBJ old = SelectObject(memory, section);
      drawn = BitBlt(dc, x, y, tw, th, memory, 0, 0, SRCCOPY);
      SelectObject(memory, old);
      DeleteDC(memory);
    }
  }
  if (section) DeleteObject(section);
  return drawn;
}

void ToggleThumbnailView(HWND mainWindow) {
  if (!AskForThumbnails(mainWindow)) return;
  if (gThumbView.window) {
    SetForegroundWindow(gThumbView.window);
  } else {
    HWND view = CreateWindowEx(0, u"ZLTHUMBVIEW", u"Zelmo - Thumbnails", WS_VISIBLE | WS_VSCROLL, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, gApp.instance, nullptr);
    if (!view) return;
    SHFullScreen(view, SHFS_HIDESIPBUTTON);
    SetForegroundWindow(view);
    SetFocus(view);
  }
  // A build still running goes on; otherwise the job keeps a valid cache
  // or builds what is missing.
  if (!gShared.thumbnailJob && gSettings.options.thumbnailsEnabled && !gApp.glimpse) StartJob(kJobThumbnails);
  LogMilestone("thumbnail view shown");
}

void RefreshThumbnails(HWND mainWindow) {
  if (gShared.thumbnailJob) return;
  FreeAllThumbnails();
  ComputeThumbnailSize();
  CreateThumbnailCell();
  if (gSettings.options.comboView && !gView.fullScreen) {
    SHFullScreen(mainWindow, SHFS_SHOWTASKBAR | SHFS_HIDESIPBUTTON);
    MoveWindow(mainWindow, 0, kTaskBarHeight, gApp.screenWidth, gApp.screenHeight - kTaskBarHeight, TRUE);
  }
  RECT client;
  GetClientRect(mainWindow, &client);
  LayOut(client.right, client.bottom);
  if (ImageLoaded()) {
    RebuildViewBitmap();
    RenderView(false);
  }
  gShared.abortFlag = 1;
  const int count = CountEntries(gSettings.curDir);
  if (gFiles.live.files.count == 0 || count != gFiles.entryCountAtScan) {
    ScanFolders(gSettings.curDir);
    ScanFiles(gSettings.curDir, FilterPattern(gSettings.dirFilter), true);
    const std::u16string current = CurrentFileName(), item = NameOf(gThumbView.current);
    Publish();
    KeepCurrentFile(current);
    gFiles.entryCount = gFiles.entryCountAtScan = count;
    // The view's current item follows its file into the new listing.
    gThumbView.current = -1;
    const EntryList& files = gFiles.live.files;
    for (int32_t i = 0; !item.empty() && i < files.count && static_cast<size_t>(i) < files.order.size(); ++i)
      if (const char16_t* name = EntryName(files, i); name && item == name) gThumbView.current = files.order[static_cast<size_t>(i)];
  }
  InvalidateRect(mainWindow, nullptr, FALSE);
  gShared.refresh = 1;
  StartJob(kJobThumbnails);
}

}  // namespace zelmo
