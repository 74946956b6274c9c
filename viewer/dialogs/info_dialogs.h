// "Image Information" (the current file and page, with the page's comment
// to edit, or any file by its path) and the About box.
#pragma once

#include <string>

#include "platform/ce.h"

namespace zelmo {

// "Image Info...": without an image it only beeps.  OK stores the comment
// into the current page.
void ImageInfoCommand(ce::HWND hwnd);
// The same dialog for the file at `path`, page 0 as stored; the comment is
// shown read-only and nothing is stored.
void ShowFileInformation(const std::u16string& path);
// "Copyright Info...": the About box.
void AboutCommand(ce::HWND hwnd);

// The comment edit's text as the page stores it: 8-bit characters (others
// become '?'), at most 127 of them and the terminating zero.
void StoreComment(const std::u16string& text, char (&comment)[128]);

}  // namespace zelmo
