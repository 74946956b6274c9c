// WinFAX 10 pages: a 128-byte page header, then the page's fax data, which
// stays in the view for the fax decoders.
#include "imaging/readers/readers.h"

namespace quillon {

int32_t ReadWinFax10(ImageFile* file, PageRecord* page, int32_t index) {
  const Bytes f{file->view, static_cast<uint64_t>(file->fileSize)};
  if (!file->pageOffsets) return kErrPageNotFound;
  const uint64_t header = file->pageOffsets[index];
  if (!f.Has(header, 128)) return kErrBadHeader;
  const Bytes h = f.From(header);
  page->compression = static_cast<int8_t>(h.U8(7) == 1 ? kG4 : kG3OneD);
  page->bitsPerPixel = 1;
  page->planes = 1;
  page->width = static_cast<int32_t>(h.LE16(3));
  page->height = static_cast<int32_t>(h.LE16(5));
  page->xResolution = page->yResolution = 0;
  page->photometric = 0;
  page->fillOrderReversed = 1;  // the data is stored least significant bit first
  page->layoutFlags = kLayoutTopDown;
  page->stripCount = 0;
  page->bytesPerLine = 0;
  page->data = file->view;
  page->dataOffset = static_cast<uint32_t>(header + 128);
  page->dataOwnership = kOwnedByView;
  // A page whose declared size passes the end of the file keeps what is there.
  const uint64_t declared = h.LE32(116);
  const uint64_t available = f.n - (header + 128);
  page->dataSize = static_cast<uint32_t>(declared < available ? declared : available);
  if (page->width < 1 || page->height < 1) return kErrBadHeader;
  return kOk;
}

}  // namespace quillon
