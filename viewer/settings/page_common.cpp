#include <algorithm>

#include "platform/emulator.h"
#include "viewer/app/functions.h"
#include "viewer/app/state.h"
#include "viewer/settings/pages.h"
#include "viewer/settings/settings.h"

namespace zelmo {

using namespace ce;

namespace {

// The pages size themselves to the sheet, with the Done button and no menu bar.
constexpr DWORD kPageInitFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLG | SHIDIF_FULLSCREENNOMENUBAR;

}  // namespace

void InitPage(HWND page) {
  SHINITDLGINFO info{};
  info.dwMask = SHIDIM_FLAGS;
  info.hDlg = page;
  info.dwFlags = kPageInitFlags;
  SHInitDialog(&info);
}

BOOL PageNotify(HWND page, LPARAM lParam, const PageHandlers& handlers, const char* name) {
  const auto* header = reinterpret_cast<const NMHDR*>(lParam);
  if (!header) return FALSE;
  switch (header->code) {
    case PSN_SETACTIVE:
      handlers.fill(page);
      LogMilestone("settings page %s shown", name);
      SetWindowLongPtr(page, DWL_MSGRESULT, 0);
      return TRUE;
    case PSN_KILLACTIVE:
      handlers.readBack(page);
      SaveSettings();
      SetWindowLongPtr(page, DWL_MSGRESULT, 0);
      return TRUE;
    case PSN_APPLY:
      handlers.readBack(page);
      SaveSettings();
      SetWindowLongPtr(page, DWL_MSGRESULT, 1);
      return TRUE;
    case PSN_RESET: return TRUE;
    default: return FALSE;
  }
}

void SetCheck(HWND page, int id, bool on) { CheckDlgButton(page, id, on ? BST_CHECKED : BST_UNCHECKED); }

bool Checked(HWND page, int id) { return IsDlgButtonChecked(page, id) == BST_CHECKED; }

void SetNumberText(HWND page, int id, long long value) {
  const std::string digits = std::to_string(value);
  SetDlgItemText(page, id, std::u16string(digits.begin(), digits.end()).c_str());
}

void AddItems(HWND page, int id, const char16_t* const* items, int count) {
  for (int i = 0; i < count; ++i) SendDlgItemMessage(page, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(items[i]));
}

int Selected(HWND page, int id, int fallback) {
  const LRESULT row = SendDlgItemMessage(page, id, CB_GETCURSEL, 0, 0);
  return row == CB_ERR ? fallback : static_cast<int>(row);
}

void Select(HWND page, int id, int row) { SendDlgItemMessage(page, id, CB_SETCURSEL, static_cast<WPARAM>(row), 0); }

int FirstChecked(HWND page, int first, int last) {
  for (int id = first; id <= last; ++id) {
    if (Checked(page, id)) return id - first;
  }
  return -1;
}

void AddListColumns(HWND list, const char16_t* first, const char16_t* second) {
  RECT r;
  GetClientRect(list, &r);
  const int room = std::max<int>(r.right - r.left - 26, 0);
  const char16_t* titles[] = {first, second};
  const int count = second ? 2 : 1;
  for (int i = 0; i < count; ++i) {
    LVCOLUMN c{};
    c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    c.cx = room / count;
    c.pszText = const_cast<char16_t*>(titles[i]);
    c.iSubItem = i;
    ListView_InsertColumn(list, i, &c);
  }
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
}

int ListSelection(HWND list) { return ListView_GetNextItem(list, -1, LVNI_SELECTED); }

void SelectListItem(HWND list, int item) {
  ListView_SetItemState(list, item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(list, item, FALSE);
}

LPARAM ListItemData(HWND list, int item) {
  LVITEM it{};
  it.mask = LVIF_PARAM;
  it.iItem = item;
  return ListView_GetItem(list, &it) ? it.lParam : 0;
}

std::u16string FunctionName(int code) { return LoadText(CommandOfFunction(code)); }

}  // namespace zelmo
