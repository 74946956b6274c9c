// Installing new pixel, run-list and palette buffers in a page.
#include <cstring>

#include "imaging/pixels/pixels_internal.h"

namespace quillon::pixels {

namespace {

constexpr PaletteTable kGrayRamp2 = palette_detail::GrayRamp(4, 85);

}  // namespace

const uint8_t* PaletteOf(const PageRecord& page) {
  if (page.palette) return page.palette;
  switch (page.bitsPerPixel) {
    case 2: return kGrayRamp2.data();
    case 4: return kGrayRamp4.data();
    default: return kGrayRamp8.data();
  }
}

uint8_t* NewPalette(const PaletteTable& table) {
  uint8_t* palette = static_cast<uint8_t*>(Allocate(table.size()));
  if (palette) std::memcpy(palette, table.data(), table.size());
  return palette;
}

void InstallPixels(PageRecord* page, uint8_t* data, uint32_t stride,
                   uint32_t size, int bitsPerPixel) {
  if (page->dataOwnership == kOwnedByPage) Release(page->data);
  page->data = data;
  page->dataOffset = 0;
  page->bytesPerLine = stride;
  page->dataSize = size;
  page->dataOwnership = kOwnedByPage;
  page->compression = kUncompressed;
  page->bitsPerPixel = static_cast<int8_t>(bitsPerPixel);
}

void InstallRunLists(PageRecord* page, uint8_t* data, uint32_t used) {
  InstallPixels(page, data, BytesPerLine(page->width, 1), used, 1);
  page->compression = kRunLists;
  // Run lists are always held with 1 = white.
  page->photometric = 0;
}

int32_t OwnPixels(PageRecord* page) {
  if (page->dataOwnership != kOwnedByView || !page->data) return kOk;
  uint8_t* copy = static_cast<uint8_t*>(Allocate(page->dataSize));
  if (!copy) return kErrMemory;
  std::memcpy(copy, page->data + page->dataOffset, page->dataSize);
  page->data = copy;
  page->dataOffset = 0;
  page->dataOwnership = kOwnedByPage;
  return kOk;
}

uint8_t* WritablePalette(PageRecord* page) {
  if (!page->palette) {
    const uint8_t* ramp = PaletteOf(*page);
    page->palette = static_cast<uint8_t*>(Allocate(768));
    if (page->palette) std::memcpy(page->palette, ramp, 768);
  }
  return page->palette;
}

void InstallPalette(PageRecord* page, uint8_t* palette) {
  if (page->palette != palette) Release(page->palette);
  page->palette = palette;
}

int32_t RunListWriter::Open(int32_t lineWidth, int32_t height) {
  if (lineWidth < 0 || height < 0) return kErrParameter;
  if (lineWidth > kMaxRun) return kErrUnsupported;
  width = lineWidth;
  data = static_cast<uint8_t*>(Allocate(RunListWorstCase(lineWidth, height)));
  if (!data) return kErrMemory;
  out = data + static_cast<uint64_t>(height) * sizeof(uint8_t*);
  return kOk;
}

}  // namespace quillon::pixels
