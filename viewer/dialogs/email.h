// "Send via Email...": the current image reduced and re-encoded (or the
// file itself) handed to the mail program as an attachment.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/core/page.h"
#include "platform/ce.h"

namespace zelmo {

void EmailCommand(ce::HWND hwnd);

// The attachment's size for EmailSize `reduce` (0 full, 1 a quarter, 2 a
// sixteenth, 3 a sixty-fourth, 4 fit to display): each side at least 1,
// at most 32767, and never enlarged more than eight times.
struct AttachmentSize {
  int32_t width;
  int32_t height;
};
AttachmentSize AttachmentSizeFor(int32_t width, int32_t height, int reduce);

// Writes the attachment of type `type` (EmailType) for `page` under
// "\temp\zelmo.EXT" and sets `*path` to it; with `original` the attachment
// is the file at `currentPath` as it is.  0 or an ImagingError.
int32_t PrepareAttachment(const quillon::PageRecord& page, const std::u16string& currentPath, int reduce, int type,
                          bool original, std::u16string* path);

}  // namespace zelmo
