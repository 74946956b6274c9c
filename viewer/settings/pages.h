// What the sheet's pages share: the page protocol (fill when shown, read
// back when left or applied, nothing on reset) and small control helpers.
#pragma once

#include <string>

#include "platform/ce.h"

namespace zelmo {

struct PageHandlers {
  void (*fill)(ce::HWND page);
  // Stores the controls into the settings and makes them take effect.
  void (*readBack)(ce::HWND page);
};

// Handles a page's WM_NOTIFY: set-active fills, kill-active reads back and
// answers 0, apply reads back, takes effect and saves.  TRUE when handled.
ce::BOOL PageNotify(ce::HWND page, ce::LPARAM lParam, const PageHandlers& handlers, const char* name);
// WM_INITDIALOG of every page: the shell's full-screen initialisation.
void InitPage(ce::HWND page);

void SetCheck(ce::HWND page, int id, bool on);
bool Checked(ce::HWND page, int id);
void SetNumberText(ce::HWND page, int id, long long value);
void AddItems(ce::HWND page, int id, const char16_t* const* items, int count);
// The selected row of a drop-down list; `fallback` with none.
int Selected(ce::HWND page, int id, int fallback);
void Select(ce::HWND page, int id, int row);
// The first checked of the radio buttons first..last as an index, or -1.
int FirstChecked(ce::HWND page, int first, int last);

// A list view's single column, or two, over the width less 26 pixels.
void AddListColumns(ce::HWND list, const char16_t* first, const char16_t* second);
int ListSelection(ce::HWND list);
void SelectListItem(ce::HWND list, int item);
ce::LPARAM ListItemData(ce::HWND list, int item);
// The name of a function's command (string-table entry of its command).
std::u16string FunctionName(int code);

// The pages' dialog procedures.
ce::BOOL ToolbarPageProc(ce::HWND page, ce::UINT message, ce::WPARAM wParam, ce::LPARAM lParam);
ce::BOOL ButtonPageProc(ce::HWND page, ce::UINT message, ce::WPARAM wParam, ce::LPARAM lParam);

}  // namespace zelmo
