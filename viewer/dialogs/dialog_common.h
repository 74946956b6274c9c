// What the viewer's dialogs share: showing a dialog with the dialog-open
// flag set, the shell's full-screen initialisation, help, texts and
// bounded paths.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ce.h"

namespace zelmo {

// Shows dialog `resource` (its wide twin on a large screen) modally over
// the main window with the dialog-open flag set while it is up.
intptr_t ShowDialog(const char16_t* resource, ce::DLGPROC proc, ce::LPARAM param);
// The shell sizes the dialog full screen below the task bar; `done` adds
// the Done button (flag value 17 with the full-screen flag).
void InitFullScreen(ce::HWND dialog, bool done);
// Starts the help viewer on topic `topic` of the viewer's help file.
void StartHelp(const char16_t* topic);
// Starts `program` with `commandLine` (may be null); no result is checked.
void StartProgramNamed(const char16_t* program, const char16_t* commandLine);

// printf into UTF-16.
std::u16string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::u16string Widen(std::string_view text);
std::u16string ItemText(ce::HWND dialog, int id, int capacity = 256);
// A number typed into an edit: digits only; false for anything else.
bool ItemNumber(ce::HWND dialog, int id, int64_t* value);
// A message box with string `textId` and `caption`.
int ShowText(ce::HWND owner, unsigned textId, const std::u16string& caption, ce::UINT flags);

// Size texts of the file lists: "0", "%dB", "%d.%01dK", "%d.%01dM", the
// tenths always one digit.
std::u16string SizeText(uint64_t size);
// "%04d/%02d/%02d %02d:%02d:%02d" of a file time (the device keeps local
// time); empty for a time that does not convert.
std::u16string DateText(const ce::FILETIME& time);

// folder + "\" (unless the folder ends with one) + name; false, and `*out`
// unchanged, when the result would exceed the path limit.
bool JoinPath(std::u16string_view folder, std::u16string_view name, std::u16string* out);
// The folder part of a path, without its last backslash ("\" for a file in
// the root).
std::u16string FolderOf(std::u16string_view path);
// "The path is too long." with `caption`.
void ReportLongPath(ce::HWND owner, const std::u16string& caption);

}  // namespace zelmo

namespace zelmo {

// The JPEG encoder's quality index for JPEGQuality (0 Low, 1 Medium,
// 2 High): the encoder counts the other way (0 finest).
int32_t EncoderQuality();

// A list view row (text, icon, data) inserted at `at`; its index.
int InsertListItem(ce::HWND list, int at, const std::u16string& text, int icon, ce::LPARAM data);
// The text of one column of a list view row.
void SetListCell(ce::HWND list, int item, int column, const std::u16string& text);

}  // namespace zelmo
