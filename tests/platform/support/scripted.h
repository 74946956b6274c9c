// A program run on the emulator by a headless script, in this process, and
// a trace that its window and dialog procedures write.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/ce.h"
#include "platform/emulator.h"

namespace emu {

// Runs `program` on a headless `device` driven by the script file
// `script` (tests/platform/scripts/NAME when it has no folder); returns the
// emulator's status (0, or 3 when the script failed).
int RunScripted(ce::WinMainProc program, const std::string& device, const std::string& script,
                const std::string& root);

// The notifications a dialog procedure saw, one line each, in order.
class Trace {
 public:
  void Add(const std::string& line);
  std::vector<std::string> Lines();
  void Clear();

 private:
  std::mutex lock_;
  std::vector<std::string> lines_;
};

// "COMMAND 1040 EN_CHANGE", "NOTIFY 1090 UDN_DELTAPOS pos=2 delta=1",
// "VSCROLL 1090 THUMBPOSITION 3", ... for WM_COMMAND, WM_NOTIFY (list views,
// up-downs, property pages), WM_HSCROLL / WM_VSCROLL and WM_DRAWITEM
// (press and release only); empty for other messages.
std::string Describe(ce::HWND dialog, ce::UINT msg, ce::WPARAM wParam, ce::LPARAM lParam);

}  // namespace emu
