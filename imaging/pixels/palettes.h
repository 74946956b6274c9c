// The fixed palettes that depth conversion and display rendering install.
// Each is kept as the colours are usually printed; the 768-byte tables
// (256 triplets Blue, Green, Red) are derived from them at compile time.
#pragma once

#include <array>
#include <cstdint>

namespace quillon {

using PaletteTable = std::array<uint8_t, 768>;

struct Bgr {
  uint8_t blue;
  uint8_t green;
  uint8_t red;
};

// The standard sixteen colours, (blue, green, red).
constexpr Bgr kStandard16Colors[16] = {
    {0, 0, 0},       {0, 0, 128},   {0, 128, 0},   {0, 128, 128},
    {128, 0, 0},     {128, 0, 128}, {128, 128, 0}, {128, 128, 128},
    {192, 192, 192}, {0, 0, 255},   {0, 255, 0},   {0, 255, 255},
    {255, 0, 0},     {255, 0, 255}, {255, 255, 0}, {255, 255, 255},
};

// Levels of the 3-3-2 colour cube: three bits of red and green, two of blue.
constexpr uint8_t kCubeLevels8[8] = {0, 36, 73, 109, 146, 182, 219, 255};
constexpr uint8_t kCubeLevels4[4] = {0, 85, 170, 255};

// Scale-to-gray: the output index and the gray it shows, by the number of
// white pixels (0..4) in a 2 x 2 block.
constexpr uint8_t kScaleToGrayIndex[5] = {0, 4, 8, 7, 15};
constexpr uint8_t kScaleToGrayShade[5] = {0x00, 0x44, 0x80, 0xC0, 0xFF};

namespace palette_detail {

constexpr void Put(PaletteTable& t, int i, Bgr c) {
  t[3 * i] = c.blue;
  t[3 * i + 1] = c.green;
  t[3 * i + 2] = c.red;
}

constexpr PaletteTable GrayRamp(int count, int step) {
  PaletteTable t{};
  for (int i = 0; i < count; ++i) {
    uint8_t v = static_cast<uint8_t>(i * step);
    Put(t, i, {v, v, v});
  }
  return t;
}

constexpr PaletteTable ColorCube() {
  PaletteTable t{};
  for (int i = 0; i < 256; ++i)
    Put(t, i, {kCubeLevels4[i & 3], kCubeLevels8[(i >> 2) & 7],
               kCubeLevels8[(i >> 5) & 7]});
  return t;
}

constexpr PaletteTable Standard16() {
  PaletteTable t{};
  for (int i = 0; i < 16; ++i) Put(t, i, kStandard16Colors[i]);
  return t;
}

constexpr PaletteTable ScaleToGray() {
  PaletteTable t{};
  for (int n = 0; n < 5; ++n) {
    uint8_t v = kScaleToGrayShade[n];
    Put(t, kScaleToGrayIndex[n], {v, v, v});
  }
  return t;
}

}  // namespace palette_detail

// Entry i = (i, i, i).
inline constexpr PaletteTable kGrayRamp8 = palette_detail::GrayRamp(256, 1);
// Entry i = (17 i, 17 i, 17 i) for the sixteen 4-bpp levels; no higher entry.
inline constexpr PaletteTable kGrayRamp4 = palette_detail::GrayRamp(16, 17);
// Index bits rrrgggbb.
inline constexpr PaletteTable kColorCube332 = palette_detail::ColorCube();
inline constexpr PaletteTable kStandard16Palette = palette_detail::Standard16();
// The display palette of scale-to-gray output: black but for the four
// levels above it.
inline constexpr PaletteTable kScaleToGrayPalette = palette_detail::ScaleToGray();

}  // namespace quillon
