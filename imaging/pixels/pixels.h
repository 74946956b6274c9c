// Pixel operations on decoded pages: bit-depth and colour conversion, the
// in-place transforms, cropping and resizing, display rendering and the
// composition of animation frames.
//
// Decoded pages come in two forms: bilevel pages as run lists
// (CompressionCode 11), every other depth as uncompressed pixels
// (CompressionCode 0, lines bytesPerLine apart, top line first).
#pragma once

#include <cstdint>

#include "imaging/core/page.h"
#include "imaging/pixels/palettes.h"

namespace quillon {

// ---------------------------------------------------------------------------
// Bit-depth and colour conversion

enum DitherMethod : int32_t {
  kDitherNearest = 0,    // "Best Colors"
  kDitherDiffusion = 2,  // "Error Diffusion" (Floyd-Steinberg)
};

// Target depth that dithers a 16- or 24-bpp page in place for displays that
// keep only the top 4 bits of each channel; the depth stays as it is.
constexpr int32_t kTarget12Bit = 12;

// Converts `page` to `targetBitsPerPixel` in place.  Promotions read packed
// rows or run lists; reductions to 1 bpp produce run lists.  0 on success
// and for pairs of depths that are not converted (page unchanged); -1 when
// memory is short, -6 for data that is not decoded or not as large as its
// geometry says, -7 for a bilevel result wider than a run can be (page
// unchanged in every failure).
int32_t ConvertBitDepth(PageRecord* page, int32_t targetBitsPerPixel,
                        int32_t ditherMethod);

// ---------------------------------------------------------------------------
// Transforms

enum TransformCode : int32_t {
  kRotateClockwise = 1,  // argument1: the angle (always a quarter turn)
  kConvertDepth = 2,     // argument1: target depth, argument2: DitherMethod
  kInvert = 4,
  kFlipHorizontal = 5,
  kFlipVertical = 6,
  kToGray = 7,
  kLighten = 9,
  kDarken = 10,
  kDoubleLines = 11,
};

// Applies one transform in place.  0, -1 (memory), -6 (no such transform, or
// a page form or depth it does not take), -7 (a bilevel result wider than
// 32767).  The page changes only on success.
int32_t TransformPage(PageRecord* page, int32_t code, int32_t argument1,
                      int32_t argument2);

struct CropRectangle {
  int32_t left;
  int32_t top;
  int32_t width;
  int32_t height;
};

// Replaces the page by the rectangle's contents.  -6 when the rectangle is
// empty or reaches outside the page.
int32_t CropPage(PageRecord* page, const CropRectangle& rectangle);

constexpr int32_t kMaxResizeDimension = 32767;

// Fills `newPage` with a copy of the page scaled to newWidth x newHeight
// (nearest neighbour; bilevel pages keep their thin black lines), with
// buffers of its own.  `page` is not changed.  -6 for sizes outside
// 1..32767 or enlargements beyond the renderer's 8:1.
int32_t ResizePage(const PageRecord* page, PageRecord* newPage,
                   int32_t newWidth, int32_t newHeight);

// ---------------------------------------------------------------------------
// Display rendering

constexpr int32_t kMinRenderStep = 32;  // 8:1 enlargement
constexpr int32_t kUnitStep = 256;      // 1:1

// The argument block of RenderPage.
struct RenderRequest {
  int32_t srcX;  // origin of the region, in source pixels after rotation
  int32_t srcY;
  int32_t xStep;  // source pixels per output pixel in 1/256, at least 32
  int32_t yStep;
  int32_t dstWidth;  // output size, at least 1 x 1
  int32_t dstHeight;
  uint32_t dstBytesPerLine;  // output stride
  uint32_t rotation;         // 0, 90, 180, 270 (clockwise view rotation)
  uint8_t* dstBits;          // dstHeight x dstBytesPerLine bytes
  uint8_t dstBitsPerPixel;   // bilevel pages: 4 = scale-to-gray, else 1 bpp
};

// Draws a region of a decoded page into the request's buffer.  The output
// has the page's own layout (bilevel: packed 1 bpp, 1 = white, or 4-bpp
// scale-to-gray indexes into kScaleToGrayPalette).  topDown 0 puts output
// line 0 at the end of the buffer.  Bilevel pages ignore `rotation`.
// Whatever the request says, nothing outside the page is read and nothing
// outside dstHeight x dstBytesPerLine is written.  0; -6 for steps below 32,
// no buffer, an empty output, a stride shorter than one output line, a
// negative origin, a depth other than 1, 4, 8, 16, 24, a bilevel page not in
// run lists, a rotation other than the four; -1 when memory is short.
int32_t RenderPage(const PageRecord* page, const RenderRequest* request,
                   int32_t topDown);

// Depth of RenderPage's output for a page: its own, or for bilevel pages
// 1, or 4 with scale-to-gray.
int32_t RenderOutputDepth(const PageRecord& page, bool scaleToGray);

// Options of RenderView: what `quillon render` and other whole-page callers
// want from RenderPage.
struct ViewOptions {
  int32_t xStep = kUnitStep;  // 25600 / percent
  int32_t yStep = kUnitStep;
  int32_t rotation = 0;       // 0, 90, 180, 270, bilevel pages included
  bool scaleToGray = false;   // bilevel pages only
};

// Renders the whole page into `view`, a new uncompressed top-down page of
// RenderOutputDepth with buffers of its own (4 and 8 bpp: a palette; scale-
// to-gray: kScaleToGrayPalette).  Bilevel pages are turned on a copy of
// their run lists.  0, -1, -6 (as RenderPage, or a page smaller than one
// output pixel at these steps).  Release `view` with FreePage.
int32_t RenderView(const PageRecord* page, const ViewOptions& options,
                   PageRecord* view);

// 8.8 step that shows `percent` % (100 -> 256); 0 for percentages outside
// 1..800.
int32_t StepForPercent(int32_t percent);
// The one 8.8 step (for both directions) that fits a width x height page
// into boxWidth x boxHeight, keeping its proportions; at least 32 (8:1).
// 0 for empty sizes.  Turned views pass the page's size exchanged.
int32_t StepToFit(int32_t width, int32_t height, int32_t boxWidth,
                  int32_t boxHeight);

// ---------------------------------------------------------------------------
// Rows as people see them

// Row `y`, counted from the top of the picture, of a decoded 4-, 8-, 16- or
// 24-bpp page as 8-bit samples: Red, Green, Blue, or with `gray` one sample
// a pixel (the palette entry's first byte; without a palette the index).
// Palettes are expanded, 5-6-5 words widened by repeating their top bits,
// bottom-up pages read upright.  The caller has checked that the page's
// data holds its rows.
void PictureRow(const PageRecord& page, int32_t y, bool gray, uint8_t* out);
// Whether every entry of a 4- or 8-bpp page's palette is a gray.
bool HasGrayPalette(const PageRecord& page);

// Draws one decoded GIF frame (frameLeft, frameTop, frameDisposal,
// transparentIndex) into a 4- or 8-bpp logical-screen page of the same
// depth.  -6 when the frame lies outside the screen or the pages do not
// match; screens of other depths are left unchanged (0).
int32_t ComposeGifFrame(PageRecord* screenPage, const PageRecord* framePage);

}  // namespace quillon
