// The "Settings" sheet, whose eight pages edit the settings block, and the
// "Associate File Types" dialog, which registers the viewer for file types.
#pragma once

#include "platform/ce.h"

namespace zelmo {

// "Preferences...": the sheet, run modally over the main window (outside
// full-screen view), then the settings saved.
void PreferencesCommand(ce::HWND hwnd);
// The sheet itself; the settings are saved by each page as it is left.
void ShowPreferences(ce::HWND hwnd);

// "File Associations...": IDOK after "Register", IDCANCEL otherwise.
intptr_t FileAssociationsCommand(ce::HWND hwnd);
// Writes the document class and the extension keys of the ticked types
// (bit i for check box 1001 + i) under the registry's class root.
void RegisterFileTypes(unsigned ticked);

}  // namespace zelmo
