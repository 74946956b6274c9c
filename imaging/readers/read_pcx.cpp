// PCX pages and the pages of multi-page DCX files.  The run-length data
// stays in the view; the PCX decoder expands it.
#include <cstring>

#include "imaging/readers/readers.h"

namespace quillon {

int32_t ReadPcx(ImageFile* file, PageRecord* page, int32_t index) {
  const Bytes f{file->view, static_cast<uint64_t>(file->fileSize)};
  uint64_t header = 0;
  uint64_t end = f.n;
  if (file->fileType == kFileDcx) {
    header = f.LE32(4 + 4 * static_cast<uint64_t>(index));
    uint32_t next = index + 1 < 1023 ? f.LE32(8 + 4 * static_cast<uint64_t>(index)) : 0;
    if (next != 0 && next > header && next <= f.n) end = next;
  }
  if (header + 128 > end) return kErrBadHeader;
  const Bytes h = f.From(header);

  const int planes = h.U8(65);
  const int bits = h.U8(3);
  const int bpp = bits * planes;
  const int32_t xMin = static_cast<int32_t>(h.LE16(4)), yMin = static_cast<int32_t>(h.LE16(6));
  const int32_t xMax = static_cast<int32_t>(h.LE16(8)), yMax = static_cast<int32_t>(h.LE16(10));
  if (xMax < xMin || yMax < yMin) return kErrBadHeader;
  // Depths the decoder knows: 1 (one plane), 4 (one plane or four 1-bit
  // planes), 8 and 24 (three 8-bit planes).
  if (!((bits == 1 && (planes == 1 || planes == 4)) || (bits == 4 && planes == 1) ||
        (bits == 8 && (planes == 1 || planes == 3))))
    return kErrBitDepth;

  page->width = xMax - xMin + 1;
  page->height = yMax - yMin + 1;
  if (int32_t r = CheckPageSize(page->width, page->height, bpp); r != kOk) return r;
  page->xResolution = static_cast<int32_t>(h.LE16(12));
  page->yResolution = static_cast<int32_t>(h.LE16(14));
  page->compression = kPcxRle;
  page->planes = static_cast<int8_t>(planes);
  page->bitsPerPixel = static_cast<int8_t>(bpp);
  page->bytesPerLine = h.LE16(66) * static_cast<uint32_t>(planes);
  page->layoutFlags = kLayoutTopDown;
  page->stripCount = 0;
  page->fillOrderReversed = 0;
  page->photometric = 0;
  page->data = file->view;
  page->dataOffset = static_cast<uint32_t>(header + 128);
  page->dataSize = static_cast<uint32_t>(end - header - 128);
  page->dataOwnership = kOwnedByView;
  if (page->bytesPerLine == 0) return kErrBadHeader;

  // A one-plane bilevel page shows the first two entries of the header's
  // palette (Red, Green, Blue).
  if (bpp == 1)
    page->photometric = TwoColourPhotometric({h.U8(16), h.U8(17), h.U8(18)}, {h.U8(19), h.U8(20), h.U8(21)});
  if (bpp == 4 || bpp == 8) {
    page->palette = AllocateBytes(768);
    if (!page->palette) return kErrMemory;
    if (bpp == 8) {
      // The 256-colour table closes the page's data.
      if (page->dataSize < 768) {
        FreePage(page);
        return kErrBadHeader;
      }
      page->dataSize -= 768;
      std::memcpy(page->palette, file->view + page->dataOffset + page->dataSize, 768);
    } else {
      std::memcpy(page->palette, file->view + header + 16, 48);
    }
    SwapPaletteOrder(page->palette);
  }
  return kOk;
}

}  // namespace quillon
