// The Buttons page: the function of each hardware button, in one of the
// three assignment blocks (main window, full-screen view, thumbnail view).
#include <algorithm>
#include <array>
#include <span>

#include "viewer/app/functions.h"
#include "viewer/app/state.h"
#include "viewer/dialogs/dialog_common.h"
#include "viewer/settings/pages.h"
#include "viewer/settings/settings.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr int kHelp = 40011;
constexpr int kList = 1100, kFunctions = 1010, kFirstSet = 1020, kLastSet = 1022, kDefaults = 1050;

int gSet = 0;  // 0 MainKeys, 1 FullscreenKeys, 2 ThumbKeys

std::array<uint8_t, kKeyBlockSize>& Block() {
  return gSet == 1 ? gSettings.fullscreenKeys : gSet == 2 ? gSettings.thumbKeys : gSettings.mainKeys;
}

std::span<const uint8_t> DefaultBlock() {
  return gSet == 1 ? std::span<const uint8_t>(kDefaultFullscreenKeys)
         : gSet == 2 ? std::span<const uint8_t>(kDefaultThumbKeys)
                     : std::span<const uint8_t>(kDefaultMainKeys);
}

int ButtonCount() { return std::clamp(gDevice.buttons.buttons ? gDevice.buttons.count : 0, 0, 10); }

uint8_t CodeAt(int button) { return std::min(Block()[static_cast<size_t>(button)], kUndefinedFunction); }

void ShowFunction(HWND page, int button) {
  if (button >= 0 && button < ButtonCount()) Select(page, kFunctions, CodeAt(button));
}

// Every row's data and function name from the block in use; the first row
// selected.
void ShowSet(HWND page) {
  HWND list = GetDlgItem(page, kList);
  for (int i = 0; i < ButtonCount(); ++i) {
    LVITEM it{};
    it.mask = LVIF_PARAM;
    it.iItem = i;
    it.lParam = CodeAt(i);
    ListView_SetItem(list, &it);
    SetListCell(list, i, 1, FunctionName(CodeAt(i)));
  }
  if (ButtonCount() > 0) SelectListItem(list, 0);
  ShowFunction(page, 0);
}

void FillButtonPage(HWND page) {
  HWND list = GetDlgItem(page, kList);
  gSet = 0;
  ListView_SetImageList(list, gView.keyIcons, LVSIL_SMALL);
  ListView_DeleteAllItems(list);
  for (int i = 0; i < ButtonCount(); ++i) {
    const HardwareButton& b = gDevice.buttons.buttons[i];
    InsertListItem(list, i, b.name, b.icon, CodeAt(i));
  }
  CheckRadioButton(page, kFirstSet, kLastSet, kFirstSet);
  // A model without buttons has nothing to assign.
  EnableWindow(GetDlgItem(page, kFunctions), ButtonCount() > 0);
  EnableWindow(GetDlgItem(page, kDefaults), ButtonCount() > 0);
  ShowSet(page);
}

void ReadButtonPage(HWND page) { ListView_SetImageList(GetDlgItem(page, kList), nullptr, LVSIL_SMALL); }

// Only the selected button changes; without a selection nothing does.
void Assign(HWND page) {
  HWND list = GetDlgItem(page, kList);
  const int button = ListSelection(list), code = Selected(page, kFunctions, -1);
  if (button < 0 || button >= ButtonCount() || code < 0 || code >= kFunctionCount) return;
  Block()[static_cast<size_t>(button)] = static_cast<uint8_t>(code);
  LVITEM it{};
  it.mask = LVIF_PARAM;
  it.iItem = button;
  it.lParam = code;
  ListView_SetItem(list, &it);
  SetListCell(list, button, 1, FunctionName(code));
}

void RestoreDefaults(HWND page) {
  std::span<const uint8_t> defaults = DefaultBlock();
  std::copy_n(defaults.begin(), std::min<size_t>(static_cast<size_t>(ButtonCount()), defaults.size()), Block().begin());
  ShowSet(page);
}

void InitButtonPage(HWND page) {
  InitPage(page);
  AddListColumns(GetDlgItem(page, kList), u"Button", u"Function");
  for (int code = 0; code < kFunctionCount; ++code)
    SendDlgItemMessage(page, kFunctions, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FunctionName(code).c_str()));
}

}  // namespace

BOOL ButtonPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr PageHandlers kHandlers{FillButtonPage, ReadButtonPage};
  switch (message) {
    case WM_INITDIALOG: InitButtonPage(page); return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->idFrom == kList) {
        const auto* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
        if (header->code == LVN_ITEMCHANGED && (change->uNewState & LVIS_SELECTED)) ShowFunction(page, change->iItem);
        return TRUE;
      }
      return PageNotify(page, lParam, kHandlers, "Buttons");
    }
    case WM_COMMAND: {
      const int id = LOWORD(wParam), code = HIWORD(wParam);
      if (id == kFunctions) {
        if (code == CBN_SELENDOK) Assign(page);
        return TRUE;
      }
      if (code != BN_CLICKED) return TRUE;
      if (id >= kFirstSet && id <= kLastSet) {
        gSet = id - kFirstSet;
        ShowSet(page);
      } else if (id == kDefaults) {
        RestoreDefaults(page);
      } else if (id == kHelp) {
        StartHelp(u"buttonedit");
      }
      return TRUE;
    }
    default: return FALSE;
  }
}

}  // namespace zelmo
