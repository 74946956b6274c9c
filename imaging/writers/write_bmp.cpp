// Windows BMP files: a 40-byte info header, bottom line first.
#include <algorithm>

#include "imaging/core/scratch.h"
#include "imaging/writers/output.h"

namespace quillon {

int32_t WriteBmp(ImageFile* file, const PageRecord* page, HeaderArea& area, Output& out) {
  const int bpp = page->bitsPerPixel;
  const bool rle = page->compression == kBmpRle;
  if (file->pageCount != 0) return kErrParameter;  // one page per file
  if (page->compression != kUncompressed && !(rle && (bpp == 4 || bpp == 8))) return kErrParameter;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24) return kErrParameter;
  if (page->width < 1 || page->height < 1 || page->width > 65535 || page->height > 65535)
    return kErrParameter;
  const uint32_t stride = BytesPerLine(page->width, bpp);
  const uint32_t rowBytes = RowBytes(page->width, bpp);
  const uint32_t height = static_cast<uint32_t>(page->height);
  if (!rle && (stride == 0 || page->bytesPerLine < rowBytes ||
               SizeProduct(page->bytesPerLine, height - 1) + rowBytes > page->dataSize))
    return kErrParameter;
  const uint32_t paletteBytes = bpp < 16 ? 4u << bpp : 0;
  const uint32_t dataOffset = 54 + paletteBytes;
  const uint64_t imageSize = rle ? page->dataSize : SizeProduct(stride, height);
  if (imageSize > UINT32_MAX - dataOffset) return kErrParameter;  // the header's sizes are 32-bit

  // The line work area is had before anything is written.
  Scratch<uint8_t> line(rle ? 0 : stride);
  if (!rle && !line) return kErrMemory;

  area.Byte(0, 'B');
  area.Byte(1, 'M');
  area.Le32(2, static_cast<uint32_t>(imageSize + dataOffset));
  area.Le32(10, dataOffset);
  area.Le32(14, 40);
  area.Le32(18, static_cast<uint32_t>(page->width));
  area.Le32(22, height);
  area.Le16(26, 1);
  area.Le16(28, static_cast<uint32_t>(bpp));
  area.Le32(30, rle ? (bpp == 4 ? 2 : 1) : 0);
  area.Le32(34, static_cast<uint32_t>(imageSize));
  if (bpp == 1) {
    const uint8_t bw[8] = {0, 0, 0, 0, 255, 255, 255, 0};
    area.Bytes(54, bw, 8);
  } else if (bpp <= 8) {
    for (uint32_t i = 0; i < (1u << bpp); ++i) {
      uint8_t entry[4] = {0, 0, 0, 0};
      if (page->palette) entry[0] = page->palette[3 * i], entry[1] = page->palette[3 * i + 1],
                         entry[2] = page->palette[3 * i + 2];
      area.Bytes(54 + 4 * i, entry, 4);
    }
  }
  out.Put(area.p, dataOffset);
  if (rle) {
    out.Put(PageBytes(page), page->dataSize);
    return kOk;
  }
  // Lines bottom line first; 5-6-5 pixels become the format's 5-5-5.
  const bool bottomUp = page->layoutFlags & kLayoutBottomUp;
  for (uint32_t k = 0; k < height; ++k) {
    uint32_t y = bottomUp ? k : height - 1 - k;
    const uint8_t* src = PageBytes(page) + static_cast<uint64_t>(y) * page->bytesPerLine;
    std::copy(src, src + rowBytes, line.data());
    if (bpp == 16)
      for (uint32_t x = 0; x < static_cast<uint32_t>(page->width); ++x) {
        uint32_t v = line[2 * x] | (line[2 * x + 1] << 8);
        uint32_t w = ((v >> 1) & 0x7FE0) | (v & 0x1F);
        line[2 * x] = static_cast<uint8_t>(w);
        line[2 * x + 1] = static_cast<uint8_t>(w >> 8);
      }
    out.Put(line.data(), stride);
  }
  return kOk;
}

}  // namespace quillon
