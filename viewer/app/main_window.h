// The main window: its creation, geometry, painting and life cycle, the
// command dispatch, and opening the current file.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ce.h"

namespace zelmo {

// Creates the main window with everything it draws with; false on failure.
bool CreateMainWindow(int show);

// Thumbnail width, height and thumbnails per row from ThumbSize and
// ThumbShape.
void ComputeThumbnailSize();

// Top of the toolbar band in the window's client area.
int ToolbarTop();

// WM_COMMAND: one handler per command.
void OnCommand(ce::HWND hwnd, int command);
// A plain tap on the toolbar at x.
void OnToolbarTap(ce::HWND hwnd, int x);

// Opens the file at the current-file path; with `report` an error shows the
// library's message with the file's name as caption.  0 or the error.
int32_t OpenCurrentFile(bool report);
// Closes what is open, goes to page 0 and opens the current-file path with
// error messages.
void OpenCurrentFileAsNew();
// Closes the open file, if any.
void CloseCurrentFile();
// The message of an imaging error (string 5000 - code) in a stop box.
void ShowImagingError(int32_t code, const std::u16string& caption);

}  // namespace zelmo
