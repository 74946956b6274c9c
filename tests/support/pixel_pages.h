// Small reference images for the pixel-operation tests: one value per
// pixel, built into pages of either form and read back from them, so that
// expected results can be computed pixel by pixel, independently of the
// library's line loops.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/core/page.h"
#include "support/raster.h"

namespace testpix {

// Pixel values: 1 bpp 0 = black, 1 = white; 2, 4, 8 bpp palette indexes;
// 16 bpp the 5-6-5 word; 24 bpp 0xRRGGBB.
struct Image {
  int32_t width = 0;
  int32_t height = 0;
  int bpp = 8;
  std::vector<uint32_t> px;

  Image() = default;
  Image(int32_t w, int32_t h, int depth)
      : width(w), height(h), bpp(depth), px(static_cast<size_t>(w) * h) {}
  uint32_t& at(int32_t x, int32_t y) { return px[static_cast<size_t>(y) * width + x]; }
  uint32_t at(int32_t x, int32_t y) const { return px[static_cast<size_t>(y) * width + x]; }
};

// Deterministic pseudo-random pixels of the depth's range.
Image Noise(int32_t width, int32_t height, int bpp, uint32_t seed);
// Every pixel the same value.
Image Uniform(int32_t width, int32_t height, int bpp, uint32_t value);
// Rows of bytes that exercise the different paths of the coders, read as
// pixels of `bpp`.
enum class Pattern { kNoise, kRuns, kGradient, kConstant, kAlternating };
Image Patterned(int32_t width, int32_t height, int bpp, Pattern pattern, uint32_t seed);
// A bilevel drawing (1 = white): frame, diagonal, box, stripes and speckle,
// so that a fax coder meets runs of every length.
Image Drawing(int32_t width, int32_t height, uint32_t seed);
// The pixels packed into rows of RowBytes (or `stride`) bytes, bilevel
// pixels inverted when `inkIsOne`.
std::vector<uint8_t> PackedRows(const Image& image, bool inkIsOne = false, uint32_t stride = 0);
// As a raster: bilevel pages black and white, 8 bpp as gray levels, 16 and
// 24 bpp as colours.
testutil::Raster ToRaster(const Image& image);

// Each maker first releases what the page held.
// Uncompressed page (lines BytesPerLine apart, owned buffer, dataSize
// exactly height x stride).  4- and 8-bpp pages get `palette` (768 bytes)
// or a gray ramp.  Bottom-up pages store their last line first.
void MakePixelPage(const Image& image, quillon::PageRecord* page,
                   const uint8_t* palette = nullptr, bool bottomUp = false);
// Bilevel page as run lists (CompressionCode 11), built with the core's
// row encoder; bottom-up pages list their last line first.
void MakeRunListPage(const Image& image, quillon::PageRecord* page, bool bottomUp = false);
// A run-list page of hand-written lines, each followed by three zero bytes.
void MakeRunLines(const std::vector<std::vector<uint8_t>>& lines, int32_t width, quillon::PageRecord* page);
// Either form, by depth: run lists for 1 bpp, pixels otherwise.
void MakePage(const Image& image, quillon::PageRecord* page,
              const uint8_t* palette = nullptr, bool bottomUp = false);

// Reads a decoded page (pixels in either line order, packed 1 bpp or run
// lists) back.
Image ReadPage(const quillon::PageRecord& page);
// Reads `height` lines of packed pixels `stride` bytes apart.
Image ReadBuffer(const uint8_t* data, uint32_t stride, int32_t width,
                 int32_t height, int bpp);

// The image turned clockwise by `rotation` (a multiple of 90), mirrored
// left to right or top to bottom.
Image Turned(const Image& image, int rotation);
Image Mirrored(const Image& image, bool horizontal, bool vertical);

// The run lengths of every line of a run-list page, white first; a failure
// is recorded when a line's runs do not add up to the width or a run but a
// first white one is empty.
std::vector<std::vector<uint32_t>> RunLengths(const quillon::PageRecord& page);

// Equality with the first differing pixel in the failure message.
::testing::AssertionResult SameImage(const Image& expected, const Image& actual);

// The fields a pixel operation may change are the same (buffers compared
// by address).
::testing::AssertionResult SameRecord(const quillon::PageRecord& a,
                                      const quillon::PageRecord& b);

// Palette entry i as 0xRRGGBB.
uint32_t PaletteColour(const uint8_t* palette, uint32_t index);
// A palette of distinct, unordered colours with entry 0 black.
std::vector<uint8_t> ColourfulPalette(uint32_t seed);

}  // namespace testpix
