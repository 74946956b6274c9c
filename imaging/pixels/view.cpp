// RenderView: a whole page rendered into a page record of its own, for
// callers that want a picture rather than a window (the command-line tool,
// previews).
#include <algorithm>
#include <cstring>
#include <utility>

#include "imaging/pixels/pixels.h"
#include "imaging/pixels/pixels_internal.h"

namespace quillon {

namespace {

using namespace pixels;

// An independent copy of a run-list page: the line pointers are moved to
// the new buffer.
int32_t CopyRunLists(const PageRecord& page, PageRecord* copy) {
  uint8_t* data = static_cast<uint8_t*>(Allocate(page.dataSize));
  if (!data) return kErrMemory;
  std::memcpy(data, page.data + page.dataOffset, page.dataSize);
  uint8_t** lines = reinterpret_cast<uint8_t**>(data);
  const uint8_t* base = page.data + page.dataOffset;
  for (int32_t y = 0; y < page.height; ++y) lines[y] = data + (lines[y] - base);
  *copy = page;
  copy->data = data;
  copy->dataOffset = 0;
  copy->dataOwnership = kOwnedByPage;
  copy->palette = nullptr;
  copy->stripCount = 0;
  copy->stripOffsets = copy->stripByteCounts = nullptr;
  return kOk;
}

// The bilevel renderer does not rotate: the view turns a copy of the page.
int32_t TurnRunLists(PageRecord* page, int32_t rotation) {
  int32_t result = kOk;
  if (rotation == 90 || rotation == 270) {
    result = TransformPage(page, kRotateClockwise, 90, 0);
    std::swap(page->xResolution, page->yResolution);
  }
  if (result == kOk && (rotation == 180 || rotation == 270)) {
    result = TransformPage(page, kFlipHorizontal, 0, 0);
    if (result == kOk) result = TransformPage(page, kFlipVertical, 0, 0);
  }
  return result;
}

int32_t Render(const PageRecord& page, const ViewOptions& options,
               PageRecord* view) {
  const bool bilevel = page.bitsPerPixel == 1;
  const int32_t rotation = bilevel ? 0 : options.rotation;
  const bool turned = rotation == 90 || rotation == 270;
  if (options.xStep < kMinRenderStep || options.yStep < kMinRenderStep)
    return kErrParameter;
  const uint64_t across = static_cast<uint32_t>(turned ? page.height : page.width);
  const uint64_t down = static_cast<uint32_t>(turned ? page.width : page.height);
  const uint64_t width = across * 256 / static_cast<uint32_t>(options.xStep);
  const uint64_t height = down * 256 / static_cast<uint32_t>(options.yStep);
  if (width < 1 || height < 1 || width > INT32_MAX || height > INT32_MAX)
    return kErrParameter;
  const int depth = RenderOutputDepth(page, options.scaleToGray);
  const uint32_t stride = StrideFor(static_cast<int32_t>(width), depth);
  if (stride == 0) return kErrParameter;
  const uint64_t size = SizeProduct(height, stride);
  if (size > UINT32_MAX) return kErrMemory;
  Scratch buffer(size);
  if (!buffer.p) return kErrMemory;
  uint8_t* palette = nullptr;
  if (depth == 4 || depth == 8) {
    palette = static_cast<uint8_t*>(Allocate(768));
    if (!palette) return kErrMemory;
    std::memcpy(palette, bilevel ? kScaleToGrayPalette.data() : PaletteOf(page), 768);
  }
  RenderRequest request{};
  request.xStep = options.xStep;
  request.yStep = options.yStep;
  request.dstWidth = static_cast<int32_t>(width);
  request.dstHeight = static_cast<int32_t>(height);
  request.dstBytesPerLine = stride;
  request.rotation = static_cast<uint32_t>(rotation);
  request.dstBits = buffer.as<uint8_t>();
  request.dstBitsPerPixel = static_cast<uint8_t>(bilevel ? depth : 0);
  int32_t result = RenderPage(&page, &request, 1);
  if (result != kOk) {
    Release(palette);
    return result;
  }
  *view = PageRecord{};
  view->width = request.dstWidth;
  view->height = request.dstHeight;
  const int32_t xResolution = turned ? page.yResolution : page.xResolution;
  const int32_t yResolution = turned ? page.xResolution : page.yResolution;
  view->xResolution = static_cast<int32_t>(int64_t{xResolution} * 256 / options.xStep);
  view->yResolution = static_cast<int32_t>(int64_t{yResolution} * 256 / options.yStep);
  view->layoutFlags = kLayoutTopDown;
  view->palette = palette;
  InstallPixels(view, buffer.Take(), stride, static_cast<uint32_t>(size), depth);
  return kOk;
}

}  // namespace

int32_t StepForPercent(int32_t percent) {
  if (percent < 1 || percent > 800) return 0;
  return 25600 / percent;
}

int32_t StepToFit(int32_t width, int32_t height, int32_t boxWidth,
                  int32_t boxHeight) {
  if (width < 1 || height < 1 || boxWidth < 1 || boxHeight < 1) return 0;
  // Rounded up, so that the whole page lands inside the box.
  const int64_t across = (int64_t{width} * 256 + boxWidth - 1) / boxWidth;
  const int64_t down = (int64_t{height} * 256 + boxHeight - 1) / boxHeight;
  return static_cast<int32_t>(std::clamp<int64_t>(std::max(across, down), kMinRenderStep, INT32_MAX));
}

int32_t RenderView(const PageRecord* page, const ViewOptions& options,
                   PageRecord* view) {
  if (!page || !view) return kErrParameter;
  const int32_t rotation = options.rotation;
  if (rotation != 0 && rotation != 90 && rotation != 180 && rotation != 270)
    return kErrParameter;
  if (page->bitsPerPixel != 1 || rotation == 0) return Render(*page, options, view);
  if (!HasRunLists(*page)) return kErrParameter;
  PageRecord turned{};
  int32_t result = CopyRunLists(*page, &turned);
  if (result != kOk) return result;
  result = TurnRunLists(&turned, rotation);
  if (result == kOk) result = Render(turned, options, view);
  Release(turned.data);
  return result;
}

}  // namespace quillon
