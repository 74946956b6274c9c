// The viewer's own file dialogs: Open (folders and files, type filter,
// sort order, preview), Save As (folders and files, name, format) and the
// folder dialogs ("Select Folder", "Copy Image").  All browse through the
// staging lists of the folder listing.
#pragma once

#include <string>
#include <vector>

#include "platform/ce.h"

namespace zelmo {

// Open: `*path` holds the start folder and receives the result, the chosen
// file's full path or the folder shown with a trailing backslash.  IDOK
// (the current file index set to the file's row among the files, -1 for a
// folder) or IDCANCEL.
intptr_t OpenDialog(std::u16string* path);
// Save As: `*path` holds the start folder and receives the new file's path;
// SaveType is set on IDOK.
intptr_t SaveAsDialog(std::u16string* path);
// The folder dialogs: `*folder` is where browsing starts and receives the
// folder chosen; `copy` shows the "Copy Image" variant.
intptr_t FolderDialog(std::u16string* folder, bool copy);

// The path pop-up's levels of a folder: the folder itself first, the root
// ("\") last; at most kMaxPathLevels, the deepest ancestors left out.
constexpr int kMaxPathLevels = 99;
struct PathLevel {
  std::u16string folder;  // the level's full path
  int item;  // 1024 + level
};
std::vector<PathLevel> PathLevels(const std::u16string& folder);

}  // namespace zelmo
