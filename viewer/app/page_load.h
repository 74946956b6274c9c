// Opening the current file and loading its pages for display: the path,
// the open file, load-page with its decoding options, the bilevel
// corrections and the composition of animation frames.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "imaging/core/page.h"
#include "viewer/settings/settings.h"

namespace zelmo {

// The current-file path := `path`, or folder + "\" + name.  A path longer
// than the 255 characters the viewer holds is refused with a message
// captioned with the file's name, and the current path is left alone.
bool SetCurrentPath(std::u16string_view path);
bool SetCurrentFile(std::u16string_view folder, std::u16string_view name);
// The part of a path after its last backslash.
std::u16string FileNameOf(std::u16string_view path);

// The message of an imaging error (string 5000 - code) in a stop box.
void ShowImagingError(int32_t code, const std::u16string& caption);

// Opens the file at the current-file path and shows its current page in
// the default view mode; with `report` an error shows its message with the
// file's name as caption.  0 or the error.
int32_t OpenCurrentFile(bool report);
// Frees what is shown, goes to page 0 and opens the current-file path with
// error messages; the zoom window and the strip follow.
void OpenCurrentFileAsNew();
// Frees the current page; closes the open file.
void FreeCurrentPage();
void CloseCurrentFile();

// Loads page gView.pageNumber of the open file into gView.page, decoded
// for display (run lists for bilevel pages, pixels otherwise); `compose`
// draws an animation frame over the frame shown.  0 or the error, after
// which no page is loaded and the animation has stopped.
int32_t LoadPage(bool compose);

// The conversion flags that decode a page of more than 1 bpp.
int32_t DecodeFlags(const quillon::PageRecord& page, int fileType, bool compose, const Settings& settings);
// A bilevel page whose lines run bottom-up is put top line first, copied
// first when it still lies in the file's read-only view.
int32_t StraightenBilevel(quillon::PageRecord* page);
// Whether a bilevel page is a fax page of half vertical resolution.
bool NeedsAspectCorrection(const quillon::PageRecord& page);
// Replaces the GIF frame by the logical screen it leaves: `previous` (the
// screen shown before, or null) with the frame drawn over it.
int32_t ComposeOnCanvas(const quillon::PageRecord* previous, quillon::PageRecord* frame);

}  // namespace zelmo
