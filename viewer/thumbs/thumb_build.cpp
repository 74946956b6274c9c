// One thumbnail from a decoded page, the decode flags that make large
// JPEG files cheap, and the thumbnail window's grid.
#include <algorithm>
#include <cstring>

#include "imaging/pixels/palettes.h"
#include "imaging/pixels/pixels.h"
#include "viewer/app/page_load.h"
#include "viewer/slideshow/slide_frame.h"
#include "viewer/thumbs/thumbnails.h"

namespace zelmo {

using namespace quillon;

namespace {

constexpr uint16_t kBackground16[3] = {0x0000, 0x7BEF, 0xFFFF};

// The free area around the picture: the background colour at 16 bpp,
// white for scale-to-gray (paper around a fax page), black otherwise.
void FillBackground(uint8_t* data, uint32_t stride, int height, int depth, bool bilevel, int bkColor) {
  const size_t size = static_cast<size_t>(stride) * static_cast<size_t>(height);
  if (bilevel) {
    std::memset(data, 0xFF, size);
  } else if (depth == 16) {
    const uint16_t value = kBackground16[std::clamp(bkColor, 0, 2)];
    for (size_t i = 0; i + 1 < size; i += 2) std::memcpy(data + i, &value, 2);
  }
}

}  // namespace

int32_t ThumbnailDecodeFlags(const PageRecord& page, int fileType, int thumbWidth, bool ignoreErrors) {
  int32_t flags = kFlagJpeg16Bpp;
  if (ignoreErrors) flags |= kFlagKeepPartial;
  const bool jpeg = page.compression == kJpeg || fileType == kFileJfif;
  const int64_t width = page.width, w = std::max(thumbWidth, 1);
  if (jpeg && width >= 8 * w) flags |= kFlagJpegThumbnail;
  else if (jpeg && width >= 2 * w) flags |= kFlagJpegHalf;
  return flags;
}

int32_t BuildThumbnail(PageRecord* page, PageRecord* entry, const ThumbnailTarget& target, bool flip, int rotation) {
  *entry = PageRecord{};
  const int W = target.width, H = target.height;
  if (W <= 0 || H <= 0 || page->width <= 0 || page->height <= 0 || !page->data) return kErrParameter;
  const bool bilevel = page->bitsPerPixel == 1;
  if (bilevel ? page->compression != kRunLists : page->compression != kUncompressed) return kErrBitDepth;
  // A failed doubling leaves the page as it was: the thumbnail is only low.
  if (NeedsAspectCorrection(*page)) TransformPage(page, kDoubleLines, 0, 0);

  const bool turned = rotation == 90 || rotation == 270;
  const int64_t pw = turned ? page->height : page->width, ph = turned ? page->width : page->height;
  const int64_t step = std::max<int64_t>({pw * 256 / W, ph * 256 / H, kMinRenderStep});
  if (step > INT32_MAX) return kErrParameter;
  const int pictureWidth = static_cast<int>(std::min<int64_t>(pw * 256 / step, W));
  const int pictureHeight = static_cast<int>(std::min<int64_t>(ph * 256 / step, H));
  if (pictureWidth <= 0 || pictureHeight <= 0) return kErrParameter;

  const int depth = bilevel ? 4 : page->bitsPerPixel;
  const uint32_t stride = BytesPerLine(W, depth);
  const uint64_t size = SizeProduct(stride, static_cast<uint64_t>(H));
  if (stride == 0 || size > UINT32_MAX) return kErrMemory;
  auto* data = static_cast<uint8_t*>(Allocate(size));
  const bool ownPalette = depth <= 8;
  auto* palette = ownPalette ? static_cast<uint8_t*>(Allocate(768)) : nullptr;
  if (!data || (ownPalette && !palette)) {
    Release(data);
    Release(palette);
    return kErrMemory;
  }
  if (ownPalette) {
    const uint8_t* from = bilevel ? kScaleToGrayPalette.data()
                                  : page->palette ? page->palette
                                                  : (depth == 4 ? kGrayRamp4 : kGrayRamp8).data();
    std::memcpy(palette, from, 768);
  }
  FillBackground(data, stride, H, depth, bilevel, target.bkColor);

  // Centred; two 4-bit pixels share a byte, so their offset is even.
  int dx = (W - pictureWidth) / 2;
  if (depth == 4) dx &= ~1;
  const int dy = (H - pictureHeight) / 2;
  RenderRequest request{};
  request.xStep = request.yStep = static_cast<int32_t>(step);
  request.dstWidth = std::min(pictureWidth, W - dx);
  request.dstHeight = pictureHeight;
  request.dstBytesPerLine = stride;
  request.rotation = static_cast<uint32_t>(rotation);
  request.dstBitsPerPixel = 4;
  request.dstBits = data + static_cast<size_t>(dy) * stride + static_cast<size_t>(dx) * depth / 8;
  int32_t r = RenderPage(page, &request, 1);
  if (r != kOk) {
    Release(data);
    Release(palette);
    return r;
  }
  entry->width = W;
  entry->height = H;
  entry->data = data;
  entry->dataSize = static_cast<uint32_t>(size);
  entry->bytesPerLine = stride;
  entry->palette = palette;
  entry->compression = kUncompressed;
  entry->bitsPerPixel = static_cast<int8_t>(depth);
  entry->planes = 1;
  entry->photometric = 0;
  entry->layoutFlags = kLayoutTopDown;
  entry->dataOwnership = kOwnedByPage;
  if (flip) {
    r = TransformPage(entry, kFlipVertical, 0, 0);
    entry->layoutFlags = static_cast<int8_t>(entry->layoutFlags ^ (kLayoutTopDown | kLayoutBottomUp));
  }
  const SlideScreen screen{W, H, target.displayDepth, target.twelveBit, false};
  if (r == kOk) r = ToScreenDepth(entry, screen);
  // A picture made deeper keeps no palette.
  if (r == kOk && entry->bitsPerPixel > 8 && entry->palette) {
    Release(entry->palette);
    entry->palette = nullptr;
  }
  if (r != kOk) {
    FreePage(entry);
    *entry = PageRecord{};
  }
  return r;
}

ThumbnailLayout ComputeThumbnailLayout(int clientWidth, int clientHeight, int thumbWidth, int thumbHeight,
                                       bool names) {
  ThumbnailLayout l{};
  l.captionHeight = names ? 13 : 7;
  thumbWidth = std::max(thumbWidth, 1);
  thumbHeight = std::max(thumbHeight, 1);
  // A client narrower or lower than one cell still has one.
  l.columns = std::max(clientWidth / (thumbWidth + 3), 1);
  l.rows = std::max(clientHeight / (thumbHeight + l.captionHeight), 1);
  l.margin = std::max((clientWidth - thumbWidth * l.columns) / (2 * l.columns), 0);
  l.cellWidth = thumbWidth + 2 * l.margin;
  l.cellHeight = thumbHeight + l.captionHeight;
  return l;
}

}  // namespace zelmo
