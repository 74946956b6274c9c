#include "viewer/dialogs/browse_dialogs.h"

#include <algorithm>
#include <cstring>

#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "imaging/pixels/pixels.h"
#include "imaging/writers/writers.h"
#include "platform/emulator.h"
#include "viewer/app/state.h"
#include "viewer/app/view.h"
#include "viewer/browse/file_list.h"
#include "viewer/dialogs/dialog_common.h"
#include "viewer/settings/settings.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr int kList = 1100, kTypes = 1010, kPreviewCheck = 1001, kDimensions = 1071, kSizeText = 1072;
constexpr int kPathButton = 1050, kPreviewBox = 1051, kSortButton = 1052, kName = 1040, kHelp = 40011;
constexpr UINT kFirstLevel = 1024, kFirstSort = 1124;
constexpr unsigned kSaveAsCaption = 131, kEnterName = 811, kOverwrite = 812;
constexpr int kPreviewEdge = 120;
constexpr uint32_t kFolderBit = 0x80000000u;
constexpr const char16_t* kSortNames[] = {u"Name", u"Size", u"Date"};

enum class Kind { kOpen, kSave, kFolder, kCopy };

struct Browser {
  Kind kind = Kind::kOpen;
  std::u16string folder;
  std::u16string* result = nullptr;
  HBITMAP picture = nullptr;
  int pictureWidth = 0, pictureHeight = 0;
  bool previewFailed = false;
};

// The dialogs are modal and the user-interface thread shows one at a time.
Browser* gBrowser = nullptr;

bool ShowsFiles(const Browser& b) { return b.kind == Kind::kOpen || b.kind == Kind::kSave; }

void ScanFor(Browser& b) {
  ScanFolders(b.folder);
  switch (b.kind) {
    case Kind::kOpen: ScanFiles(b.folder, FilterPattern(gSettings.dirFilter), true); break;
    case Kind::kSave: ScanFiles(b.folder, u"*.*", false); break;
    default: break;
  }
}

int ListWidth(HWND list) {
  RECT r;
  GetClientRect(list, &r);
  return r.right - r.left;
}

void AddColumns(HWND list, bool files) {
  const int width = ListWidth(list);
  struct {
    const char16_t* title;
    int width;
  } columns[] = {{u"Name", files ? width * 2 / 3 : width - 4}, {u"Size", 60}, {u"Date", 140}};
  for (int i = 0; i < (files ? 3 : 1); ++i) {
    LVCOLUMN c{};
    c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    c.cx = columns[i].width;
    c.pszText = const_cast<char16_t*>(columns[i].title);
    c.iSubItem = i;
    ListView_InsertColumn(list, i, &c);
  }
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
  if (gView.systemIcons) ListView_SetImageList(list, gView.systemIcons, LVSIL_SMALL);
}

// Folders first (item data with the top bit set), then the files.
void FillList(HWND dialog, const Browser& b) {
  HWND list = GetDlgItem(dialog, kList);
  ListView_DeleteAllItems(list);
  const EntryList& folders = gFiles.staging.folders;
  int row = 0;
  for (int i = 0; i < folders.count; ++i) {
    const EntryRecord* e = EntryAt(folders, i);
    if (!e) continue;
    InsertListItem(list, row++, EntryName(folders, i), e->icon, static_cast<LPARAM>(kFolderBit | static_cast<uint32_t>(i)));
  }
  if (ShowsFiles(b)) {
    const EntryList& files = gFiles.staging.files;
    for (int i = 0; i < files.count; ++i) {
      const EntryRecord* e = EntryAt(files, i);
      if (!e) continue;
      const int at = InsertListItem(list, row++, EntryName(files, i), e->icon, i);
      SetListCell(list, at, 1, SizeText(e->size));
      SetListCell(list, at, 2, DateText(FILETIME{e->createdLow, e->createdHigh}));
    }
  }
  InvalidateRect(GetDlgItem(dialog, kPathButton), nullptr, FALSE);
}

void Refill(HWND dialog, Browser& b) {
  ScanFor(b);
  FillList(dialog, b);
}

// Item data of the selected row; false without a selection.
bool SelectedRow(HWND dialog, LPARAM* data) {
  HWND list = GetDlgItem(dialog, kList);
  const int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
  if (row < 0) return false;
  LVITEM item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (!ListView_GetItem(list, &item)) return false;
  *data = item.lParam;
  return true;
}

bool IsFolderRow(LPARAM data) { return (static_cast<uint32_t>(data) & kFolderBit) != 0; }
int RowIndex(LPARAM data) { return static_cast<int>(static_cast<uint32_t>(data) & ~kFolderBit); }

void OpenFolderRow(HWND dialog, Browser& b, LPARAM data) {
  const char16_t* name = EntryName(gFiles.staging.folders, RowIndex(data));
  if (!name) return;
  std::u16string next;
  if (!JoinPath(b.folder, name, &next)) {
    ReportLongPath(dialog, name);
    return;
  }
  b.folder = next;
  Refill(dialog, b);
}

// ---------------------------------------------------------------------------
// Preview

void DropPicture(Browser& b) {
  if (b.picture) DeleteObject(b.picture);
  b.picture = nullptr;
}

HBITMAP MakeSection24(int width, int height, void** bits) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(header);
  header.biWidth = width;
  header.biHeight = -height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  return CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&header), DIB_RGB_COLORS, bits, nullptr, 0);
}

// The decoded page scaled to fit the preview box, as a 24-bpp picture.
HBITMAP PreviewPicture(const quillon::PageRecord& page, int* width, int* height) {
  const int64_t step = std::max<int64_t>({(int64_t{page.width} * 256 + kPreviewEdge - 1) / kPreviewEdge,
                                          (int64_t{page.height} * 256 + kPreviewEdge - 1) / kPreviewEdge,
                                          quillon::kMinRenderStep});
  const int w = static_cast<int>(std::clamp<int64_t>(page.width * 256 / step, 1, kPreviewEdge));
  const int h = static_cast<int>(std::clamp<int64_t>(page.height * 256 / step, 1, kPreviewEdge));
  quillon::PageRecord work{};
  MakeWorkPage(&work, w, h, page.bitsPerPixel, page.palette);
  quillon::RenderRequest r{};
  r.xStep = r.yStep = static_cast<int32_t>(step);
  r.dstWidth = w;
  r.dstHeight = h;
  r.dstBits = work.data;
  r.dstBytesPerLine = work.bytesPerLine;
  r.dstBitsPerPixel = 1;
  HBITMAP picture = nullptr;
  void* bits = nullptr;
  if (work.data && quillon::RenderPage(&page, &r, 1) == quillon::kOk &&
      quillon::ConvertBitDepth(&work, 24, quillon::kDitherNearest) == quillon::kOk && work.bitsPerPixel == 24 &&
      (picture = MakeSection24(w, h, &bits)) != nullptr) {
    const uint32_t stride = quillon::BytesPerLine(w, 24);
    for (int y = 0; y < h; ++y)
      std::memcpy(static_cast<uint8_t*>(bits) + static_cast<size_t>(y) * stride,
                  work.data + work.dataOffset + static_cast<size_t>(y) * work.bytesPerLine,
                  std::min(stride, work.bytesPerLine));
  }
  quillon::FreePage(&work);
  *width = w;
  *height = h;
  return picture;
}

void Preview(HWND dialog, Browser& b, int fileIndex) {
  DropPicture(b);
  b.previewFailed = false;
  SetDlgItemText(dialog, kDimensions, u"");
  SetDlgItemText(dialog, kSizeText, u"");
  std::u16string path;
  const char16_t* name = EntryName(gFiles.staging.files, fileIndex);
  const EntryRecord* entry = EntryAt(gFiles.staging.files, fileIndex);
  if (!name || !entry || !JoinPath(b.folder, name, &path)) return;
  HCURSOR cursor = SetCursor(LoadCursor(nullptr, IDC_WAIT));
  quillon::ImageFile file{};
  quillon::PageRecord page{}, small{};
  int32_t result = quillon::OpenImageFile(path.c_str(), &file);
  if (result == quillon::kOk) result = quillon::ExtractPage(&file, &page, 0);
  if (result == quillon::kOk) {
    SetDlgItemText(dialog, kDimensions, Format("%d x %d", page.width, page.height).c_str());
    SetDlgItemText(dialog, kSizeText, SizeText(entry->size).c_str());
    small.compression = static_cast<int8_t>(page.bitsPerPixel < 2 ? quillon::kRunLists : quillon::kUncompressed);
    int32_t flags = page.width < 720 ? 1 : 129;
    if (page.width > 240 && page.width < 720) flags |= 32;
    if (gSettings.options.ignoreErrors) flags |= 4;
    result = quillon::ConvertPage(&page, &small, page.bitsPerPixel < 2 ? 0 : flags);
  }
  if (result == quillon::kOk) b.picture = PreviewPicture(small, &b.pictureWidth, &b.pictureHeight);
  b.previewFailed = !b.picture;
  if (result != quillon::kOk) {
    SetDlgItemText(dialog, kDimensions, u"");
    SetDlgItemText(dialog, kSizeText, u"");
  }
  quillon::FreePage(&small);
  quillon::FreePage(&page);
  quillon::CloseImageFile(&file);
  SetCursor(cursor);
  InvalidateRect(GetDlgItem(dialog, kPreviewBox), nullptr, FALSE);
  LogMilestone("preview %s %s", quillon::Utf16ToUtf8(name).c_str(), b.previewFailed ? "failed" : "shown");
}

// ---------------------------------------------------------------------------
// Drawing the owner-drawn buttons

void DrawArrowButton(const DRAWITEMSTRUCT& d, const std::u16string& text) {
  RECT r = d.rcItem;
  FillRect(d.hDC, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  if (d.itemState & ODS_SELECTED) {
    HGDIOBJ old = SelectObject(d.hDC, GetStockObject(NULL_BRUSH));
    Rectangle(d.hDC, r.left, r.top, r.right, r.bottom);
    SelectObject(d.hDC, old);
  }
  RECT label{r.left + 3, r.top, r.right - 18, r.bottom};
  SetBkMode(d.hDC, TRANSPARENT);
  DrawText(d.hDC, text.c_str(), -1, &label, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SIZE size{};
  GetTextExtentPoint32(d.hDC, text.c_str(), static_cast<int>(text.size()), &size);
  const int arrowX = std::min<int>(r.left + 5 + size.cx, r.right - 17);
  if (gView.arrowIcons) ImageList_Draw(gView.arrowIcons, 0, d.hDC, arrowX, r.top + (r.bottom - r.top - 16) / 2, ILD_TRANSPARENT);
}

std::u16string LastComponent(const std::u16string& folder) {
  if (folder.empty() || folder == u"\\") return gApp.rootName.empty() ? u"My Device" : gApp.rootName;
  std::u16string f = folder;
  while (f.size() > 1 && f.back() == u'\\') f.pop_back();
  const size_t cut = f.rfind(u'\\');
  return cut == std::u16string::npos ? f : f.substr(cut + 1);
}

void DrawPreviewBox(const DRAWITEMSTRUCT& d, const Browser& b) {
  RECT r = d.rcItem;
  FillRect(d.hDC, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  HGDIOBJ old = SelectObject(d.hDC, GetStockObject(NULL_BRUSH));
  Rectangle(d.hDC, r.left, r.top, r.right, r.bottom);
  SelectObject(d.hDC, old);
  if (b.picture) {
    HDC memory = CreateCompatibleDC(d.hDC);
    HGDIOBJ previous = SelectObject(memory, b.picture);
    BitBlt(d.hDC, r.left + (r.right - r.left - b.pictureWidth) / 2, r.top + (r.bottom - r.top - b.pictureHeight) / 2,
           b.pictureWidth, b.pictureHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    return;
  }
  if (b.previewFailed && gView.badIcons) {
    int cx = 16, cy = 16;
    ImageList_GetIconSize(gView.badIcons, &cx, &cy);
    ImageList_Draw(gView.badIcons, 0, d.hDC, (r.left + r.right - cx) / 2, (r.top + r.bottom - cy) / 2, ILD_TRANSPARENT);
  }
}

// ---------------------------------------------------------------------------
// Pop-ups

// The chosen item's number comes back to the dialog as a message.
void ShowPopupUnder(HWND dialog, int button, HMENU menu) {
  RECT r;
  GetWindowRect(GetDlgItem(dialog, button), &r);
  const UINT chosen = static_cast<UINT>(TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD, r.left,
                                                       r.bottom, 0, dialog, nullptr));
  DestroyMenu(menu);
  if (chosen) PostMessage(dialog, chosen, 0, 0);
}

void PathPopup(HWND dialog, const Browser& b) {
  HMENU menu = CreatePopupMenu();
  for (const PathLevel& level : PathLevels(b.folder))
    AppendMenu(menu, MF_STRING, level.item, LastComponent(level.folder).c_str());
  ShowPopupUnder(dialog, kPathButton, menu);
}

void SortPopup(HWND dialog) {
  HMENU menu = CreatePopupMenu();
  for (UINT i = 0; i < 3; ++i)
    AppendMenu(menu, MF_STRING | (static_cast<int>(i) == gSettings.sortOrder ? MF_CHECKED : 0), kFirstSort + i,
               kSortNames[i]);
  ShowPopupUnder(dialog, kSortButton, menu);
}

void GoToLevel(HWND dialog, Browser& b, UINT item) {
  for (const PathLevel& level : PathLevels(b.folder)) {
    if (static_cast<UINT>(level.item) != item || level.folder == b.folder) continue;
    b.folder = level.folder;
    Refill(dialog, b);
    return;
  }
}

// ---------------------------------------------------------------------------
// Ending

void EndBrowser(HWND dialog, Browser& b, intptr_t result) {
  if (b.kind == Kind::kOpen) gFiles.entryCountAtScan = CountEntries(b.folder);
  ListView_SetImageList(GetDlgItem(dialog, kList), nullptr, LVSIL_SMALL);
  DropPicture(b);
  EndDialog(dialog, result);
}

void OpenOk(HWND dialog, Browser& b) {
  LPARAM data = 0;
  if (!SelectedRow(dialog, &data)) {
    std::u16string folder = b.folder;
    if (folder.empty() || folder.back() != u'\\') folder += u'\\';
    *b.result = folder;
    gFiles.currentIndex = -1;
    EndBrowser(dialog, b, IDOK);
    return;
  }
  if (IsFolderRow(data)) {
    MessageBeep(0);
    return;
  }
  const char16_t* name = EntryName(gFiles.staging.files, RowIndex(data));
  std::u16string path;
  if (!name || !JoinPath(b.folder, name, &path)) {
    ReportLongPath(dialog, name ? name : u"");
    return;
  }
  *b.result = path;
  gFiles.currentIndex = RowIndex(data);
  EndBrowser(dialog, b, IDOK);
}

void SaveOk(HWND dialog, Browser& b) {
  const std::u16string caption = LoadText(kSaveAsCaption);
  const std::u16string name = ItemText(dialog, kName, 256);
  if (name.empty()) {
    ShowText(dialog, kEnterName, caption, MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  std::u16string path;
  if (name.find(u'\\') != std::u16string::npos) {
    if (name.size() > kMaxPathChars) {
      ReportLongPath(dialog, caption);
      return;
    }
    path = name;
  } else if (!JoinPath(b.folder, name, &path)) {
    ReportLongPath(dialog, caption);
    return;
  }
  if (GetFileAttributes(path.c_str()) != INVALID_FILE_ATTRIBUTES &&
      ShowText(dialog, kOverwrite, name, MB_YESNO | MB_ICONQUESTION) != IDYES)
    return;
  const LRESULT type = SendDlgItemMessage(dialog, kTypes, CB_GETCURSEL, 0, 0);
  if (type >= 0 && type < quillon::kSaveTypeCount) gSettings.saveType = static_cast<int32_t>(type);
  *b.result = path;
  EndBrowser(dialog, b, IDOK);
}

void Ok(HWND dialog, Browser& b) {
  switch (b.kind) {
    case Kind::kOpen: OpenOk(dialog, b); return;
    case Kind::kSave: SaveOk(dialog, b); return;
    default:
      *b.result = b.folder;
      EndBrowser(dialog, b, IDOK);
      return;
  }
}

// ---------------------------------------------------------------------------
// The dialog procedure

void InitBrowser(HWND dialog, Browser& b) {
  InitFullScreen(dialog, false);
  HWND types = GetDlgItem(dialog, kTypes);
  if (b.kind == Kind::kOpen) {
    CheckDlgButton(dialog, kPreviewCheck, gSettings.options.openPreview ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemText(dialog, kDimensions, u"");
    SetDlgItemText(dialog, kSizeText, u"");
    for (const FileFilter& f : kFileFilters) SendMessage(types, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(f.name));
    const int filter = gSettings.dirFilter >= 0 && gSettings.dirFilter < kFileFilterCount ? gSettings.dirFilter : 0;
    SendMessage(types, CB_SETCURSEL, static_cast<WPARAM>(filter), 0);
  } else if (b.kind == Kind::kSave) {
    for (const quillon::SaveType& t : quillon::kSaveTypes)
      SendMessage(types, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(t.name).c_str()));
    const int type = gSettings.saveType >= 0 && gSettings.saveType < quillon::kSaveTypeCount ? gSettings.saveType : 0;
    SendMessage(types, CB_SETCURSEL, static_cast<WPARAM>(type), 0);
    SendDlgItemMessage(dialog, kName, EM_LIMITTEXT, 255, 0);
  }
  AddColumns(GetDlgItem(dialog, kList), ShowsFiles(b));
  // Always a fresh scan: the staging lists may hold another folder's or
  // another filter's listing, which the dialog would show and publish.
  Refill(dialog, b);
  LogMilestone("dialog %s shown", b.kind == Kind::kOpen ? "Open" : b.kind == Kind::kSave ? "Save As" : "folder");
}

BOOL OnNotify(HWND dialog, Browser& b, const NMHDR* h) {
  if (h->idFrom != kList) return FALSE;
  const auto* nm = reinterpret_cast<const NMLISTVIEW*>(h);
  LPARAM data = 0;
  switch (h->code) {
    case NM_CLICK:
      if (SelectedRow(dialog, &data) && IsFolderRow(data)) OpenFolderRow(dialog, b, data);
      return TRUE;
    case NM_DBLCLK:
      PostMessage(dialog, WM_COMMAND, IDOK, 0);
      return TRUE;
    case LVN_ITEMCHANGED:
      if (b.kind == Kind::kOpen && (nm->uNewState & LVIS_SELECTED) && IsDlgButtonChecked(dialog, kPreviewCheck) &&
          SelectedRow(dialog, &data) && !IsFolderRow(data))
        Preview(dialog, b, RowIndex(data));
      return TRUE;
    default: return FALSE;
  }
}

BOOL OnCommandItem(HWND dialog, Browser& b, int id, int code) {
  switch (id) {
    case IDOK:
    case kPreviewBox: Ok(dialog, b); return TRUE;
    case IDCANCEL: EndBrowser(dialog, b, IDCANCEL); return TRUE;
    case kPathButton: PathPopup(dialog, b); return TRUE;
    case kSortButton: SortPopup(dialog); return TRUE;
    case kHelp: StartHelp(u"Save"); return TRUE;
    case kPreviewCheck:
      gSettings.options.openPreview = IsDlgButtonChecked(dialog, kPreviewCheck) == BST_CHECKED;
      return TRUE;
    case kName:
      if (code == EN_SETFOCUS) SHSipPreference(dialog, SIP_UP);
      if (code == EN_KILLFOCUS) SHSipPreference(dialog, SIP_DOWN);
      return TRUE;
    case kTypes: {
      if (code != CBN_SELCHANGE) return TRUE;
      const LRESULT row = SendDlgItemMessage(dialog, kTypes, CB_GETCURSEL, 0, 0);
      if (row < 0) return TRUE;
      if (b.kind == Kind::kOpen) {
        gSettings.dirFilter = static_cast<int32_t>(row);
        ScanFiles(b.folder, FilterPattern(gSettings.dirFilter), true);
        FillList(dialog, b);
      } else {
        gSettings.saveType = static_cast<int32_t>(row);
      }
      return TRUE;
    }
    default: return FALSE;
  }
}

BOOL BrowserProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    gBrowser = reinterpret_cast<Browser*>(lParam);
    InitBrowser(dialog, *gBrowser);
    return TRUE;
  }
  if (!gBrowser) return FALSE;
  Browser& b = *gBrowser;
  if (message >= kFirstLevel + 2 && message < kFirstLevel + kMaxPathLevels + 1) {
    GoToLevel(dialog, b, message);
    return TRUE;
  }
  if (message >= kFirstSort && message <= kFirstSort + 2) {
    gSettings.sortOrder = static_cast<int32_t>(message - kFirstSort);
    SortStaging();
    FillList(dialog, b);
    InvalidateRect(GetDlgItem(dialog, kSortButton), nullptr, FALSE);
    return TRUE;
  }
  switch (message) {
    case WM_NOTIFY: return OnNotify(dialog, b, reinterpret_cast<const NMHDR*>(lParam));
    case WM_COMMAND: return OnCommandItem(dialog, b, LOWORD(wParam), HIWORD(wParam));
    case WM_DRAWITEM: {
      const auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (d->CtlID == kPathButton) DrawArrowButton(*d, LastComponent(b.folder));
      else if (d->CtlID == kSortButton) DrawArrowButton(*d, kSortNames[std::clamp(gSettings.sortOrder, 0, 2)]);
      else if (d->CtlID == kPreviewBox) DrawPreviewBox(*d, b);
      else return FALSE;
      return TRUE;
    }
    default: return FALSE;
  }
}

intptr_t RunBrowser(Kind kind, const char16_t* resource, std::u16string* path) {
  Browser b;
  b.kind = kind;
  b.folder = path->empty() ? u"\\" : *path;
  if (b.folder.size() > 1 && b.folder.back() == u'\\') b.folder.pop_back();
  b.result = path;
  Browser* outer = gBrowser;
  const intptr_t result = ShowDialog(resource, BrowserProc, reinterpret_cast<LPARAM>(&b));
  DropPicture(b);
  gBrowser = outer;
  return result;
}

}  // namespace

std::vector<PathLevel> PathLevels(const std::u16string& folder) {
  std::vector<PathLevel> levels;
  std::u16string f = folder;
  while (f.size() > 1 && f.back() == u'\\') f.pop_back();
  int item = static_cast<int>(kFirstLevel) + 1;
  while (!f.empty() && f != u"\\" && item < static_cast<int>(kFirstLevel) + kMaxPathLevels) {
    levels.push_back({f, item++});
    f = FolderOf(f);
  }
  levels.push_back({u"\\", item});
  return levels;
}

intptr_t OpenDialog(std::u16string* path) { return RunBrowser(Kind::kOpen, u"123", path); }
intptr_t SaveAsDialog(std::u16string* path) { return RunBrowser(Kind::kSave, u"128", path); }
intptr_t FolderDialog(std::u16string* folder, bool copy) {
  return RunBrowser(copy ? Kind::kCopy : Kind::kFolder, copy ? u"130" : u"122", folder);
}

}  // namespace zelmo
