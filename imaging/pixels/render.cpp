// RenderPage: request checking and the nearest-neighbour renderer of 4-,
// 8-, 16- and 24-bpp pages with the four view rotations.
#include <algorithm>
#include <cstring>

#include "imaging/pixels/pixels.h"
#include "imaging/pixels/pixels_internal.h"
#include "imaging/pixels/render_internal.h"

namespace quillon {

namespace {

using namespace pixels;

// Where the pixels of one output line come from: source pixel v along the
// line (v = floor(i * xStep / 256)) is (x0 + dx * v, y0 + dy * v).
struct SourceWalk {
  int64_t x0, y0;
  int64_t dx, dy;
};

SourceWalk WalkFor(uint32_t rotation, int64_t w, int64_t h, int64_t srcX,
                   int64_t srcY, int64_t u) {
  switch (rotation) {
    case 90: return {srcY + u, h - 1 - srcX, 0, -1};
    case 180: return {w - 1 - srcX, h - 1 - srcY - u, -1, 0};
    case 270: return {w - 1 - srcY - u, srcX, 0, 1};
    default: return {srcX, srcY + u, 1, 0};
  }
}

void RenderLine(const PageRecord& page, const SourceWalk& walk,
                uint32_t xStep, uint64_t pixels, uint8_t* out) {
  const int bpp = page.bitsPerPixel;
  const uint32_t n = static_cast<uint32_t>(bpp / 8);
  // At 1:1 without rotation whole lines are copied.
  if (xStep == kUnitStep && walk.dx == 1) {
    const uint8_t* row = Row(page, static_cast<int32_t>(walk.y0));
    if (bpp != 4) {
      std::memcpy(out, row + n * walk.x0, n * pixels);
      return;
    }
    if (walk.x0 % 2 == 0) {
      std::memcpy(out, row + walk.x0 / 2, pixels / 2);
      if (pixels & 1)
        PutNibble(out, static_cast<uint32_t>(pixels - 1),
                  Nibble(row, static_cast<uint32_t>(walk.x0 + pixels - 1)));
      return;
    }
  }
  if (bpp == 4) {
    uint64_t position = 0;
    for (uint64_t i = 0; i < pixels; ++i, position += xStep) {
      const int64_t v = static_cast<int64_t>(position >> 8);
      const uint8_t* row = Row(page, static_cast<int32_t>(walk.y0 + walk.dy * v));
      PutNibble(out, static_cast<uint32_t>(i),
                Nibble(row, static_cast<uint32_t>(walk.x0 + walk.dx * v)));
    }
    return;
  }
  // Whole-byte pixels: walk the buffer by a signed byte distance.
  const int64_t stepBytes =
      walk.dx * static_cast<int64_t>(n) + walk.dy * static_cast<int64_t>(page.bytesPerLine);
  const uint8_t* origin = Row(page, static_cast<int32_t>(walk.y0)) + n * walk.x0;
  uint64_t position = 0;
  uint8_t* p = out;
  for (uint64_t i = 0; i < pixels; ++i, position += xStep, p += n) {
    const uint8_t* s = origin + stepBytes * static_cast<int64_t>(position >> 8);
    switch (n) {
      case 1: *p = *s; break;
      case 2: p[0] = s[0]; p[1] = s[1]; break;
      default: p[0] = s[0]; p[1] = s[1]; p[2] = s[2]; break;
    }
  }
}

int32_t RenderColour(const PageRecord& page, const RenderRequest& r,
                     bool topDown) {
  const bool turned = r.rotation == 90 || r.rotation == 270;
  // The page as seen after the view rotation.
  const int64_t across = turned ? page.height : page.width;
  const int64_t down = turned ? page.width : page.height;
  if (r.srcX >= across || r.srcY >= down) return kOk;
  const uint64_t pixels = std::min<uint64_t>(
      static_cast<uint64_t>(across - r.srcX) * 256 / static_cast<uint32_t>(r.xStep),
      static_cast<uint64_t>(r.dstWidth));
  const uint64_t lines = std::min<uint64_t>(
      static_cast<uint64_t>(down - r.srcY) * 256 / static_cast<uint32_t>(r.yStep),
      static_cast<uint64_t>(r.dstHeight));
  uint64_t position = 0;
  for (uint64_t j = 0; j < lines; ++j, position += static_cast<uint32_t>(r.yStep)) {
    SourceWalk walk = WalkFor(r.rotation, page.width, page.height, r.srcX,
                              r.srcY, static_cast<int64_t>(position >> 8));
    RenderLine(page, walk, static_cast<uint32_t>(r.xStep), pixels,
               OutputLine(r, j, topDown));
  }
  return kOk;
}

}  // namespace

int32_t RenderOutputDepth(const PageRecord& page, bool scaleToGray) {
  if (page.bitsPerPixel == 1) return scaleToGray ? 4 : 1;
  return page.bitsPerPixel;
}

int32_t RenderPage(const PageRecord* page, const RenderRequest* request,
                   int32_t topDown) {
  if (!page || !request) return kErrParameter;
  const RenderRequest& r = *request;
  if (r.xStep < kMinRenderStep || r.yStep < kMinRenderStep || !r.dstBits ||
      r.dstWidth < 1 || r.dstHeight < 1 || r.srcX < 0 || r.srcY < 0)
    return kErrParameter;
  const int bpp = page->bitsPerPixel;
  const int depth = RenderOutputDepth(*page, r.dstBitsPerPixel == 4);
  if (OutputRowBytes(r.dstWidth, depth) > r.dstBytesPerLine) return kErrParameter;
  switch (bpp) {
    case 1:
      if (!HasRunLists(*page)) return kErrParameter;
      return RenderBilevel(*page, r, topDown != 0);
    case 4: case 8: case 16: case 24:
      if (!HasPixels(*page)) return kErrParameter;
      if (r.rotation != 0 && r.rotation != 90 && r.rotation != 180 &&
          r.rotation != 270)
        return kErrParameter;
      return RenderColour(*page, r, topDown != 0);
    default:
      return kErrParameter;
  }
}

}  // namespace quillon
