// PCX files, and DCX files: a table of page offsets, then PCX pages.
#include "imaging/writers/output.h"

namespace quillon {

int32_t WritePcx(ImageFile* file, const PageRecord* page, HeaderArea& area, Output& out) {
  const int bpp = page->bitsPerPixel;
  // The first page's header follows a table of 50 offsets; the last one
  // stays 0 to end it.
  constexpr int32_t kDcxPages = 49;
  const bool further = file->fileType == kFileDcx && file->pageCount > 0;
  if (page->compression != kPcxRle || (file->pageCount != 0 && !further) || file->pageCount >= kDcxPages)
    return kErrParameter;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24) return kErrParameter;
  if (page->width < 1 || page->height < 1 || page->width > 65536 || page->height > 65536)
    return kErrParameter;
  const int planes = page->planes > 0 ? page->planes : 1;
  // The header counts a plane's line in 16 bits.
  if (page->bytesPerLine / static_cast<uint32_t>(planes) > 0xFFFF) return kErrParameter;
  uint32_t at = 0;
  int64_t pageAt = 0;
  if (further) {
    pageAt = Seek(file->fileHandle, 0, 2);
    if (pageAt < 204 || pageAt > INT32_MAX) return kErrParameter;
  } else if (file->fileType == kFileDcx) {
    area.Le32(0, 0x3ADE68B1);
    area.Le32(4, 204);  // the one page's header follows the table
    at = 204;
  }
  area.Byte(at + 0, 10);
  area.Byte(at + 1, 5);
  area.Byte(at + 2, 1);
  area.Byte(at + 3, static_cast<uint8_t>(bpp / planes));
  area.Le16(at + 8, static_cast<uint32_t>(page->width - 1));
  area.Le16(at + 10, static_cast<uint32_t>(page->height - 1));
  area.Le16(at + 12, static_cast<uint32_t>(page->xResolution) & 0xFFFF);
  area.Le16(at + 14, static_cast<uint32_t>(page->yResolution) & 0xFFFF);
  if (bpp == 4 && page->palette) {
    for (int i = 0; i < 16; ++i) {
      const uint8_t rgb[3] = {page->palette[3 * i + 2], page->palette[3 * i + 1], page->palette[3 * i]};
      area.Bytes(at + 16 + 3 * i, rgb, 3);
    }
  } else if (bpp == 1 && page->photometric == 1) {
    const uint8_t whiteBlack[6] = {255, 255, 255, 0, 0, 0};  // 1 bits are black
    area.Bytes(at + 16, whiteBlack, 6);
  } else {
    const uint8_t blackWhite[6] = {0, 0, 0, 255, 255, 255};
    area.Bytes(at + 16, blackWhite, 6);
  }
  area.Byte(at + 65, static_cast<uint8_t>(planes));
  area.Le16(at + 66, page->bytesPerLine / static_cast<uint32_t>(planes));
  out.Put(area.p, at + 128);
  out.Put(PageBytes(page), page->dataSize);
  if (bpp == 8) {
    uint8_t trailer[769];
    trailer[0] = 0x0C;
    for (int i = 0; i < 256; ++i) {
      const uint8_t* e = page->palette ? page->palette + 3 * i : nullptr;
      trailer[1 + 3 * i] = e ? e[2] : static_cast<uint8_t>(i);
      trailer[2 + 3 * i] = e ? e[1] : static_cast<uint8_t>(i);
      trailer[3 + 3 * i] = e ? e[0] : static_cast<uint8_t>(i);
    }
    out.Put(trailer, sizeof trailer);
  }
  if (further && !out.failed) {
    // Listed in the table only once the page is complete.
    uint8_t offset[4];
    PutLE32(offset, static_cast<uint32_t>(pageAt));
    out.failed = Seek(file->fileHandle, 4 + 4 * static_cast<int64_t>(file->pageCount), 0) < 0 ||
                 Write(file->fileHandle, offset, 4) != 4 || Seek(file->fileHandle, 0, 2) < 0;
  }
  return kOk;
}

}  // namespace quillon
