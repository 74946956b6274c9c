// The main window's file commands that go through the viewer's dialogs:
// Open, Save As, Copy File and Delete File.
#pragma once

#include <string>

#include "platform/ce.h"

namespace zelmo {

void OpenCommand(ce::HWND hwnd);
void SaveAsCommand(ce::HWND hwnd);
void CopyFileCommand(ce::HWND hwnd);
void DeleteFileCommand(ce::HWND hwnd);

// Where files were copied to last; empty until the first copy.
extern std::u16string gCopyFolder;

}  // namespace zelmo
