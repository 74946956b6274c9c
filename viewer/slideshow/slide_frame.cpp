// BuildSlideFrame and its parts: the fit, the depth and colours of the
// screen, and the caption.
#include "viewer/slideshow/slide_frame.h"

#include <algorithm>
#include <cstring>

#include "imaging/pixels/pixels.h"

namespace zelmo {

using namespace ce;
using quillon::PageRecord;

namespace {

// The nearest of `levels` equally spaced levels over 0..255.
int NearestLevel(int value, int levels) { return (value * (levels - 1) + 127) / 255; }

// Palette entry i of a frame; a frame without a palette is gray.
void EntryOf(const PageRecord& frame, int i, int* blue, int* green, int* red) {
  if (frame.palette) {
    *blue = frame.palette[3 * i], *green = frame.palette[3 * i + 1], *red = frame.palette[3 * i + 2];
    return;
  }
  *blue = *green = *red = frame.bitsPerPixel == 4 ? 17 * (i & 15) : i;
}

// Index of every palette entry in the 3-3-2 colour cube (nearest in each
// channel, which is the nearest colour of the cube).
void CubeTable(const PageRecord& frame, uint8_t* table) {
  for (int i = 0; i < 256; ++i) {
    int b, g, r;
    EntryOf(frame, i, &b, &g, &r);
    table[i] = static_cast<uint8_t>(NearestLevel(r, 8) << 5 | NearestLevel(g, 8) << 2 | NearestLevel(b, 4));
  }
}

// The gray level (of sixteen) nearest to every palette entry.
void GrayTable(const PageRecord& frame, uint8_t* table) {
  for (int i = 0; i < 256; ++i) {
    int b, g, r;
    EntryOf(frame, i, &b, &g, &r);
    table[i] = static_cast<uint8_t>(((b + 2 * g + r) / 4 + 8) / 17);
  }
}

// Rewrites a 4- or 8-bit frame's indexes through `table` into `depth` (the
// same, or 8 from 4) with a palette of its own copied from `palette`.
int32_t Remap(PageRecord* frame, const uint8_t* table, int depth, const quillon::PaletteTable& palette) {
  const int from = frame->bitsPerPixel, width = frame->width, height = frame->height;
  const uint32_t stride = quillon::BytesPerLine(width, depth);
  const uint64_t size = quillon::SizeProduct(stride, static_cast<uint64_t>(height));
  auto* newPalette = static_cast<uint8_t*>(quillon::Allocate(768));
  uint8_t* out = from == depth ? frame->data : static_cast<uint8_t*>(quillon::Allocate(size));
  if (!newPalette || !out) {
    quillon::Release(newPalette);
    if (out != frame->data) quillon::Release(out);
    return quillon::kErrMemory;
  }
  std::memcpy(newPalette, palette.data(), 768);
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = frame->data + static_cast<size_t>(y) * frame->bytesPerLine;
    uint8_t* line = out + static_cast<size_t>(y) * stride;
    if (from == 8) {
      for (int x = 0; x < width; ++x) line[x] = table[in[x]];
    } else if (depth == 8) {
      for (int x = 0; x < width; ++x) line[x] = table[(in[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
    } else {
      for (int x = 0; x < (width + 1) / 2; ++x)
        line[x] = static_cast<uint8_t>(table[in[x] >> 4] << 4 | table[in[x] & 15]);
    }
  }
  if (out != frame->data) {
    if (frame->dataOwnership == quillon::kOwnedByPage) quillon::Release(frame->data);
    frame->data = out;
    frame->bytesPerLine = stride;
    frame->dataSize = static_cast<uint32_t>(size);
    frame->dataOwnership = quillon::kOwnedByPage;
    frame->bitsPerPixel = static_cast<int8_t>(depth);
  }
  quillon::Release(frame->palette);
  frame->palette = newPalette;
  return quillon::kOk;
}

// Black around the picture: pixel value 0 is black in every frame at a
// display's depth (5-6-5, the cube, the gray ramp), whatever the page's
// own palette holds at 0 and wherever dithering spread into the margins.
void ClearAround(PageRecord* frame, int left, int top, int right, int bottom) {
  const int depth = frame->bitsPerPixel;
  for (int y = 0; y < frame->height; ++y) {
    uint8_t* line = frame->data + static_cast<size_t>(y) * frame->bytesPerLine;
    const bool inside = y >= top && y < bottom;
    for (int x = 0; x < frame->width; ++x) {
      if (inside && x >= left && x < right) {
        x = right - 1;
        continue;
      }
      if (depth == 4) line[x >> 1] &= (x & 1) ? 0xF0 : 0x0F;
      else std::memset(line + static_cast<size_t>(x) * (depth / 8), 0, static_cast<size_t>(depth / 8));
    }
  }
}

}  // namespace

// The frame at the display's depth.  An 8-bit display shows every slide
// in the colour cube, so the cube is realised once for the whole show; the
// gray panel shows indexes as gray levels.
int32_t ToScreenDepth(PageRecord* frame, const SlideScreen& screen) {
  const int display = screen.depth;
  uint8_t table[256];
  int32_t r = quillon::kOk;
  if (display == 8) {
    if (frame->bitsPerPixel >= 16) {
      r = quillon::ConvertBitDepth(frame, 8, quillon::kDitherDiffusion);
    } else {
      CubeTable(*frame, table);
      r = Remap(frame, table, 8, quillon::kColorCube332);
    }
  } else if (frame->bitsPerPixel != display || screen.twelveBit) {
    const bool dither = screen.twelveBit && frame->bitsPerPixel >= display;
    r = quillon::ConvertBitDepth(frame, dither ? quillon::kTarget12Bit : display, quillon::kDitherDiffusion);
    // Dithering keeps a deeper frame's depth: pack it for the display.
    if (r == quillon::kOk && frame->bitsPerPixel != display)
      r = quillon::ConvertBitDepth(frame, display, quillon::kDitherNearest);
  } else if (display == 4) {
    GrayTable(*frame, table);
    r = Remap(frame, table, 4, quillon::kGrayRamp4);
  }
  if (r == quillon::kOk && frame->bitsPerPixel != display) r = quillon::kErrBitDepth;
  return r;
}

int32_t SlideDecodeFlags(int32_t pageWidth) {
  if (pageWidth < 640) return quillon::kFlagJpeg16Bpp;
  if (pageWidth <= 2048) return quillon::kFlagJpeg16Bpp | quillon::kFlagJpegHalf;
  return quillon::kFlagJpeg16Bpp | quillon::kFlagJpegEighth;
}

int32_t BuildSlideFrame(PageRecord* page, PageRecord* frame, const SlideScreen& screen, HFONT captionFont,
                        const char16_t* name) {
  *frame = PageRecord{};
  const int W = screen.width, H = screen.height;
  if (W <= 0 || H <= 0 || page->width <= 0 || page->height <= 0 || !page->data) return quillon::kErrParameter;
  // Bilevel pages are not shown.
  if (page->bitsPerPixel < 2 || page->compression != quillon::kUncompressed) return quillon::kErrBitDepth;
  int32_t r;
  if (page->layoutFlags & quillon::kLayoutBottomUp) {
    if ((r = quillon::TransformPage(page, quillon::kFlipVertical, 0, 0)) != quillon::kOk) return r;
    page->layoutFlags = static_cast<int8_t>((page->layoutFlags & ~quillon::kLayoutBottomUp) | quillon::kLayoutTopDown);
  }
  if (screen.rotateForBestFit && page->width > page->height && W < H &&
      (r = quillon::TransformPage(page, quillon::kRotateClockwise, 90, 0)) != quillon::kOk)
    return r;

  // One step for both directions fits the whole page; a page smaller than
  // an eighth of the screen is shown at the renderer's largest, 8:1.
  const int64_t step = std::max<int64_t>({static_cast<int64_t>(page->width) * 256 / W,
                                          static_cast<int64_t>(page->height) * 256 / H, quillon::kMinRenderStep});
  if (step > INT32_MAX) return quillon::kErrParameter;
  const int pictureWidth = static_cast<int>(page->width * int64_t{256} / step);
  const int pictureHeight = static_cast<int>(page->height * int64_t{256} / step);
  const int depth = page->bitsPerPixel;
  const uint32_t stride = quillon::BytesPerLine(W, depth);
  const uint64_t size = quillon::SizeProduct(stride, static_cast<uint64_t>(H));
  if (stride == 0 || size > UINT32_MAX) return quillon::kErrMemory;
  auto* data = static_cast<uint8_t*>(quillon::Allocate(size));
  uint8_t* palette = depth <= 8 && page->palette ? static_cast<uint8_t*>(quillon::Allocate(768)) : nullptr;
  if (!data || (depth <= 8 && page->palette && !palette)) {
    quillon::Release(data);
    quillon::Release(palette);
    return quillon::kErrMemory;
  }
  if (palette) std::memcpy(palette, page->palette, 768);

  // Centred; two 4-bit pixels share a byte, so their offset is even.
  int dx = pictureWidth < W ? (W - pictureWidth) / 2 : 0;
  if (depth == 4) dx &= ~1;
  const int dy = pictureHeight < H ? (H - pictureHeight) / 2 : 0;
  const int right = std::min(W, dx + pictureWidth), bottom = std::min(H, dy + pictureHeight);
  quillon::RenderRequest request{};
  request.xStep = request.yStep = static_cast<int32_t>(step);
  request.dstWidth = W - dx;
  request.dstHeight = bottom - dy;
  request.dstBytesPerLine = stride;
  request.dstBits = data + static_cast<size_t>(dy) * stride + static_cast<size_t>(dx) * depth / 8;
  r = quillon::RenderPage(page, &request, 1);
  if (r != quillon::kOk) {
    quillon::Release(data);
    quillon::Release(palette);
    return r;
  }
  frame->width = W;
  frame->height = H;
  frame->data = data;
  frame->dataSize = static_cast<uint32_t>(size);
  frame->bytesPerLine = stride;
  frame->palette = palette;
  frame->compression = quillon::kUncompressed;
  frame->bitsPerPixel = static_cast<int8_t>(depth);
  frame->planes = 1;
  frame->layoutFlags = quillon::kLayoutTopDown;
  frame->dataOwnership = quillon::kOwnedByPage;
  if ((r = ToScreenDepth(frame, screen)) != quillon::kOk) {
    quillon::FreePage(frame);
    *frame = PageRecord{};
    return r;
  }
  ClearAround(frame, dx, dy, right, bottom);
  if (captionFont && name && H / 10 > 0) {
    uint32_t maskStride = 0;
    std::vector<uint8_t> mask = DrawCaptionMask(captionFont, name, W, H / 10, &maskStride);
    if (!mask.empty()) InvertUnderMask(frame, mask.data(), maskStride, H / 10);
  }
  return quillon::kOk;
}

std::vector<uint8_t> DrawCaptionMask(HFONT font, const char16_t* name, int width, int height, uint32_t* stride) {
  std::vector<uint8_t> mask;
  if (width <= 0 || height <= 0) return mask;
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colors[2];
  } info{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = width;
  info.header.biHeight = -height;
  info.header.biPlanes = 1;
  info.header.biBitCount = 1;
  info.colors[1] = RGBQUAD{255, 255, 255, 0};
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP section = dc ? CreateDIBSection(dc, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits,
                                          nullptr, 0)
                       : nullptr;
  if (section && bits) {
    HGDIOBJ oldBitmap = SelectObject(dc, section);
    HGDIOBJ oldFont = SelectObject(dc, font);
    RECT all{0, 0, width, height};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    DrawText(dc, name, -1, &all, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    *stride = quillon::BytesPerLine(width, 1);
    const auto* first = static_cast<const uint8_t*>(bits);
    mask.assign(first, first + static_cast<size_t>(*stride) * height);
  }
  if (section) DeleteObject(section);
  if (dc) DeleteDC(dc);
  return mask;
}

void InvertUnderMask(PageRecord* frame, const uint8_t* mask, uint32_t stride, int height) {
  const int depth = frame->bitsPerPixel;
  if (!frame->data || (depth != 4 && depth != 8 && depth != 16 && depth != 24)) return;
  const int width = static_cast<int>(std::min<int64_t>(frame->width, static_cast<int64_t>(stride) * 8));
  const int rows = std::min(height, frame->height);
  uint8_t* pixels = frame->data + frame->dataOffset;
  for (int y = 0; y < rows; ++y) {
    const uint8_t* bits = mask + static_cast<size_t>(y) * stride;
    uint8_t* line = pixels + static_cast<size_t>(y) * frame->bytesPerLine;
    for (int x = 0; x < width; ++x) {
      if (!(bits[x >> 3] & (0x80 >> (x & 7)))) continue;
      if (depth == 4) {
        line[x >> 1] ^= (x & 1) ? 0x0F : 0xF0;
        continue;
      }
      for (int b = 0; b < depth / 8; ++b) line[static_cast<size_t>(x) * (depth / 8) + b] ^= 0xFF;
    }
  }
}

}  // namespace zelmo
