// Row fix-ups shared by the TIFF paths: colour order and the horizontal
// predictor.
#include "imaging/codecs/codecs.h"

namespace quillon {

void SwapRedBlue(uint8_t* row, uint32_t pixelCount) {
  for (uint32_t x = 0; x < pixelCount; ++x) {
    uint8_t t = row[3 * x];
    row[3 * x] = row[3 * x + 2];
    row[3 * x + 2] = t;
  }
}

// Undoes TIFF horizontal differencing in place on rows RowBytes apart:
// every sample from the second pixel on has the same sample of its left
// neighbour added, modulo 256.  Other depths have no byte-wise predictor
// and are left as they are.
void UndoHorizontalPredictor(PageRecord* page) {
  const int bpp = page->bitsPerPixel;
  if ((bpp != 8 && bpp != 24) || page->width < 2) return;
  const uint32_t step = bpp / 8;
  const uint32_t rowBytes = RowBytes(page->width, bpp);
  const uint64_t rows = page->dataSize / (rowBytes ? rowBytes : 1);
  const uint64_t height = static_cast<uint64_t>(page->height) < rows
                              ? static_cast<uint64_t>(page->height)
                              : rows;
  uint8_t* base = page->data + page->dataOffset;
  for (uint64_t y = 0; y < height; ++y) {
    uint8_t* row = base + y * rowBytes;
    for (uint32_t i = step; i < rowBytes; ++i)
      row[i] = static_cast<uint8_t>(row[i] + row[i - step]);
  }
}

}  // namespace quillon
