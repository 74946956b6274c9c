// The Icons page: one toolbar row at a time is edited in a list of its
// functions, filled from the list of all functions.
#include <algorithm>
#include <span>

#include "platform/emulator.h"
#include "viewer/app/functions.h"
#include "viewer/app/state.h"
#include "viewer/dialogs/dialog_common.h"
#include "viewer/settings/pages.h"
#include "viewer/settings/settings.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr int kHelp = 40011;
constexpr int kRowEdit = 1040, kRowSpin = 1090, kAllList = 1100, kRowList = 1101;
constexpr int kAdd = 1050, kReset = 1051, kUp = 1053, kDelete = 1054, kDown = 1055;
constexpr unsigned kMaxIcons = 816;
// Codes 0..56: every function but "Undefined", which marks empty slots.
constexpr int kListedFunctions = 57;

int gEditedRow = -1;

HWND Item(HWND page, int id) { return GetDlgItem(page, id); }

int SlotsPerRow() { return std::clamp(gApp.buttonsPerRow, 0, kToolbarSlots); }
int RowCount() { return std::clamp(gApp.toolbarRows, 1, kToolbarSlots / std::max(SlotsPerRow(), 1)); }

void AddFunction(HWND list, int at, int code) { InsertListItem(list, at, FunctionName(code), code, code); }

// The edited list goes back into its row; the slots it does not fill are
// "Undefined".
void StoreRow(HWND page) {
  if (gEditedRow < 0 || gEditedRow >= RowCount()) return;
  HWND list = Item(page, kRowList);
  const int per = SlotsPerRow();
  std::span<uint8_t> row(gSettings.toolBars.data() + gEditedRow * per, static_cast<size_t>(per));
  std::fill(row.begin(), row.end(), kUndefinedFunction);
  const int count = std::min(ListView_GetItemCount(list), per);
  for (int k = 0; k < count; ++k) row[static_cast<size_t>(k)] = static_cast<uint8_t>(std::clamp<LPARAM>(ListItemData(list, k), 0, kUndefinedFunction));
}

void LoadRow(HWND page, int row) {
  HWND list = Item(page, kRowList);
  ListView_DeleteAllItems(list);
  gEditedRow = row;
  const int per = SlotsPerRow();
  int at = 0;
  for (int k = 0; k < per; ++k) {
    const uint8_t code = gSettings.toolBars[static_cast<size_t>(row * per + k)];
    if (code != kUndefinedFunction) AddFunction(list, at++, std::min<int>(code, kUndefinedFunction));
  }
}

// A row number outside the toolbar leaves the edited row as it is, and the
// edit shows its number again.
void OnRowNumber(HWND page) {
  int64_t n;
  if (!ItemNumber(page, kRowEdit, &n) || n < 1) return;
  if (n > RowCount()) {
    if (gEditedRow >= 0) SetNumberText(page, kRowEdit, gEditedRow + 1);
    return;
  }
  if (n - 1 == gEditedRow) return;
  StoreRow(page);
  LoadRow(page, static_cast<int>(n - 1));
}

void StartAtRowOne(HWND page) {
  gEditedRow = -1;
  SetDlgItemText(page, kRowEdit, u"1");
  if (gEditedRow != 0) LoadRow(page, 0);
}

void FillToolbarPage(HWND page) {
  HWND all = Item(page, kAllList);
  ListView_SetImageList(all, gApp.toolbarIcons, LVSIL_SMALL);
  ListView_SetImageList(Item(page, kRowList), gApp.toolbarIcons, LVSIL_SMALL);
  ListView_DeleteAllItems(all);
  for (int code = 0; code < kListedFunctions; ++code) AddFunction(all, code, code);
  SelectListItem(all, 0);
  StartAtRowOne(page);
}

void ReadToolbarPage(HWND page) {
  StoreRow(page);
  ListView_SetImageList(Item(page, kAllList), nullptr, LVSIL_SMALL);
  ListView_SetImageList(Item(page, kRowList), nullptr, LVSIL_SMALL);
  InvalidateRect(gApp.mainWindow, nullptr, FALSE);
}

void AddSelected(HWND page) {
  HWND row = Item(page, kRowList), all = Item(page, kAllList);
  const int count = ListView_GetItemCount(row);
  if (count >= SlotsPerRow()) {
    MessageBeep(0);
    return;
  }
  const int chosen = ListSelection(all);
  if (chosen < 0) return;
  AddFunction(row, count, static_cast<int>(ListItemData(all, chosen)));
  SelectListItem(row, count);
}

void MoveSelected(HWND page, int step) {
  HWND row = Item(page, kRowList);
  const int count = ListView_GetItemCount(row), at = ListSelection(row), to = at + step;
  if (count == 0 || at < 0 || to < 0 || to >= count) {
    MessageBeep(0);
    return;
  }
  const int code = static_cast<int>(ListItemData(row, at));
  ListView_DeleteItem(row, at);
  AddFunction(row, to, code);
  SelectListItem(row, to);
}

void DeleteSelected(HWND page) {
  HWND row = Item(page, kRowList);
  const int count = ListView_GetItemCount(row), at = ListSelection(row);
  if (count == 0 || at < 0) {
    MessageBeep(0);
    return;
  }
  ListView_DeleteItem(row, at);
  if (count > 1) SelectListItem(row, std::min(at, count - 2));
}

void ResetToolbar(HWND page) {
  std::span<const uint8_t> layout = DefaultToolbarLayout(gApp.screenWidth);
  gSettings.toolBars.fill(0);
  std::copy(layout.begin(), layout.end(), gSettings.toolBars.begin());
  StartAtRowOne(page);
}

void InitToolbarPage(HWND page) {
  InitPage(page);
  const std::u16string limit = LoadText(kMaxIcons) + u" = " + Format("%d", gApp.buttonsPerRow);
  SetDlgItemText(page, 1070, limit.c_str());
  SendDlgItemMessage(page, kRowEdit, EM_LIMITTEXT, 2, 0);
  SendDlgItemMessage(page, kRowSpin, UDM_SETRANGE32, 1, static_cast<LPARAM>(RowCount()));
  AddListColumns(Item(page, kAllList), u"Name", nullptr);
  AddListColumns(Item(page, kRowList), u"Name", nullptr);
  gEditedRow = -1;
}

}  // namespace

BOOL ToolbarPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr PageHandlers kHandlers{FillToolbarPage, ReadToolbarPage};
  switch (message) {
    case WM_INITDIALOG: InitToolbarPage(page); return TRUE;
    case WM_NOTIFY:
      if (reinterpret_cast<const NMHDR*>(lParam)->idFrom != 0) return FALSE;
      return PageNotify(page, lParam, kHandlers, "Icons");
    case WM_COMMAND: {
      const int id = LOWORD(wParam), code = HIWORD(wParam);
      if (id == kRowEdit) {
        if (code == EN_CHANGE) OnRowNumber(page);
        return TRUE;
      }
      if (code != BN_CLICKED) return TRUE;
      switch (id) {
        case kAdd: AddSelected(page); break;
        case kUp: MoveSelected(page, -1); break;
        case kDown: MoveSelected(page, 1); break;
        case kDelete: DeleteSelected(page); break;
        case kReset: ResetToolbar(page); break;
        case kHelp: StartHelp(u"iconprefs"); break;
        default: break;
      }
      return TRUE;
    }
    default: return FALSE;
  }
}

}  // namespace zelmo
