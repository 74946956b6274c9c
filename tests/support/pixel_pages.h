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

// Each maker first releases what the page held.
// Uncompressed page (lines BytesPerLine apart, owned buffer, dataSize
// exactly height x stride).  4- and 8-bpp pages get `palette` (768 bytes)
// or a gray ramp.
void MakePixelPage(const Image& image, quillon::PageRecord* page,
                   const uint8_t* palette = nullptr);
// Bilevel page as run lists (CompressionCode 11), built with the core's
// row encoder.
void MakeRunListPage(const Image& image, quillon::PageRecord* page);
// Either form, by depth: run lists for 1 bpp, pixels otherwise.
void MakePage(const Image& image, quillon::PageRecord* page,
              const uint8_t* palette = nullptr);

// Reads a decoded page (pixels, packed 1 bpp or run lists) back.
Image ReadPage(const quillon::PageRecord& page);
// Reads `height` lines of packed pixels `stride` bytes apart.
Image ReadBuffer(const uint8_t* data, uint32_t stride, int32_t width,
                 int32_t height, int bpp);

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
