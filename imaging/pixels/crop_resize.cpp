// CropPage and ResizePage: both render the page into a new buffer at its
// own depth; bilevel results are packed rows turned back into run lists.
#include <cstring>

#include "imaging/core/core.h"
#include "imaging/pixels/pixels.h"
#include "imaging/pixels/pixels_internal.h"

namespace quillon {

namespace {

using namespace pixels;

bool Renderable(const PageRecord& page) {
  switch (page.bitsPerPixel) {
    case 1: return HasRunLists(page);
    case 4: case 8: case 16: case 24: return HasPixels(page);
    default: return false;
  }
}

}  // namespace

int32_t CropPage(PageRecord* page, const CropRectangle& rect) {
  if (!page || !Renderable(*page)) return kErrParameter;
  if (rect.left < 0 || rect.top < 0 || rect.width < 1 || rect.height < 1 ||
      int64_t{rect.left} + rect.width > page->width ||
      int64_t{rect.top} + rect.height > page->height)
    return kErrParameter;
  const int bpp = page->bitsPerPixel;
  const uint32_t stride = StrideFor(rect.width, bpp);
  if (stride == 0) return kErrParameter;
  const uint64_t size = SizeProduct(static_cast<uint32_t>(rect.height) + 1ull, stride);
  if (size > UINT32_MAX) return kErrMemory;
  Scratch buffer(size);
  if (!buffer.p) return kErrMemory;
  RenderRequest request{};
  request.srcX = rect.left;
  request.srcY = rect.top;
  request.xStep = request.yStep = kUnitStep;
  request.dstWidth = rect.width;
  request.dstHeight = rect.height;
  request.dstBytesPerLine = stride;
  request.dstBits = buffer.as<uint8_t>();
  request.dstBitsPerPixel = 1;
  int32_t result = RenderPage(page, &request, 1);
  if (result != kOk) return result;

  if (bpp != 1) {
    InstallPixels(page, buffer.Take(), stride, static_cast<uint32_t>(size), bpp);
    page->width = rect.width;
    page->height = rect.height;
    return kOk;
  }
  // The packed rows go through the compression conversion to become run
  // lists again.  They are already top-down with 1 = white, so nothing may
  // flip or invert them on the way.
  PageRecord packed = *page;
  packed.width = rect.width;
  packed.height = rect.height;
  packed.data = buffer.as<uint8_t>();
  packed.dataOffset = 0;
  packed.dataSize = static_cast<uint32_t>(size);
  packed.bytesPerLine = stride;
  packed.compression = kUncompressed;
  packed.photometric = 0;
  packed.layoutFlags = kLayoutTopDown;
  packed.fillOrderReversed = 0;
  packed.stripCount = 0;
  packed.stripOffsets = packed.stripByteCounts = nullptr;
  packed.palette = nullptr;
  packed.dataOwnership = kOwnedNone;
  PageRecord converted{};
  converted.compression = kRunLists;
  result = ConvertPage(&packed, &converted, 0);
  if (result != kOk) return result;
  page->width = rect.width;
  page->height = rect.height;
  InstallRunLists(page, converted.data, converted.dataSize);
  return kOk;
}

int32_t ResizePage(const PageRecord* page, PageRecord* newPage,
                   int32_t newWidth, int32_t newHeight) {
  if (!page || !newPage || !Renderable(*page)) return kErrParameter;
  if (newWidth < 1 || newWidth > kMaxResizeDimension || newHeight < 1 ||
      newHeight > kMaxResizeDimension)
    return kErrParameter;
  const uint64_t xStep = static_cast<uint64_t>(page->width) * 256 / newWidth;
  const uint64_t yStep = static_cast<uint64_t>(page->height) * 256 / newHeight;
  if (xStep < kMinRenderStep || yStep < kMinRenderStep || xStep > INT32_MAX ||
      yStep > INT32_MAX)
    return kErrParameter;
  const int bpp = page->bitsPerPixel;
  const uint32_t stride = StrideFor(newWidth, bpp);
  if (stride == 0) return kErrParameter;
  const uint64_t size = SizeProduct(static_cast<uint32_t>(newHeight), stride);
  if (size > UINT32_MAX) return kErrMemory;
  Scratch buffer(size);
  if (!buffer.p) return kErrMemory;
  uint8_t* palette = nullptr;
  if ((bpp == 4 || bpp == 8) && page->palette) {
    palette = static_cast<uint8_t*>(Allocate(768));
    if (!palette) return kErrMemory;
    std::memcpy(palette, page->palette, 768);
  }
  RenderRequest request{};
  request.xStep = static_cast<int32_t>(xStep);
  request.yStep = static_cast<int32_t>(yStep);
  request.dstWidth = newWidth;
  request.dstHeight = newHeight;
  request.dstBytesPerLine = stride;
  request.dstBits = buffer.as<uint8_t>();
  request.dstBitsPerPixel = 1;
  int32_t result = RenderPage(page, &request, 1);

  // Bilevel: the packed rows become run lists in a buffer sized for the
  // worst case of the new size.
  RunListWriter writer;
  if (result == kOk && bpp == 1) {
    result = writer.Open(newWidth, newHeight);
    if (result == kOk)
      for (int32_t y = 0; y < newHeight; ++y)
        writer.Put(y, buffer.as<uint8_t>() + static_cast<uint64_t>(y) * stride);
  }
  if (result != kOk) {
    Release(palette);
    return result;
  }
  // A full copy of the record, sharing nothing with the page.
  *newPage = *page;
  newPage->width = newWidth;
  newPage->height = newHeight;
  newPage->stripCount = 0;
  newPage->stripOffsets = newPage->stripByteCounts = nullptr;
  newPage->palette = palette;
  newPage->layoutFlags = kLayoutTopDown;
  newPage->dataOwnership = kOwnedNone;
  if (bpp == 1)
    InstallRunLists(newPage, writer.data, writer.Used());
  else
    InstallPixels(newPage, buffer.Take(), stride, static_cast<uint32_t>(size), bpp);
  return kOk;
}

}  // namespace quillon
