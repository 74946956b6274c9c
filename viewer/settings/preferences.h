// The "Settings" sheet, whose eight pages edit the settings block.
#pragma once

#include "platform/ce.h"

namespace zelmo {

// "Preferences...": the sheet, run modally over the main window (outside
// full-screen view), then the settings saved.
void PreferencesCommand(ce::HWND hwnd);
// The sheet itself; the settings are saved by each page as it is left.
void ShowPreferences(ce::HWND hwnd);

}  // namespace zelmo
