// TIFF files as general tools write them beyond plain strips: bilevel data
// stored least significant bit first, tiles (cut at the right and bottom
// edges, or missing) and 16-bit samples in either byte order.  Each variant
// is made by tiffcp from a file libtiff wrote, and the library's decode and
// the tool's render are compared with libtiff's decode.
#include "support/suite.h"

namespace {

enum class Base { kBilevel, kPalette, kGray, kRgb, kGray16, kRgb16 };
struct Variant { Base base; std::string options; };  // tiffcp's options

constexpr int kWidth = 203, kHeight = 141;  // no tile size divides them

// The picture of a base.  16-bit samples hold v * 257 moved by up to 128
// either way, so that rounding to the nearest 8-bit level gives v back.
Raster Picture(Base base) {
  if (base == Base::kBilevel) return testpix::ToRaster(testpix::Drawing(kWidth, kHeight, 5));
  if (base == Base::kPalette) return testpix::ToRaster(testpix::Patterned(kWidth, kHeight, 4, Pattern::kRuns, 7));
  Raster picture = TestPicture(kWidth, kHeight);
  if (base == Base::kGray || base == Base::kGray16) {
    picture.channels = 1;
    for (size_t i = 0; i < picture.pixels.size() / 3; ++i) picture.pixels[i] = picture.pixels[3 * i + 1];
    picture.pixels.resize(picture.pixels.size() / 3);
  }
  return picture;
}

Bytes BaseFile(Base base) {
  const Raster picture = Picture(base);
  const bool wide = base == Base::kGray16 || base == Base::kRgb16;
  TiffSpec spec{kWidth, kHeight, wide ? 16 : 8, picture.channels, picture.channels == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK,
                COMPRESSION_NONE};
  Bytes rows = picture.pixels;
  if (base == Base::kBilevel) {
    spec.bitsPerSample = 1;
    spec.photometric = PHOTOMETRIC_MINISWHITE;
    rows = testpix::PackedRows(testpix::Drawing(kWidth, kHeight, 5), true);
  } else if (base == Base::kPalette) {
    spec.bitsPerSample = 4;
    spec.photometric = PHOTOMETRIC_PALETTE;
    for (int i = 0; i < 48; ++i) PutLE16(spec.colourMap, spec.colourMap.size(), (i % 16) * 0x1111u);
    rows = testpix::PackedRows(testpix::Patterned(kWidth, kHeight, 4, Pattern::kRuns, 7));
  } else if (wide) {
    rows.clear();
    for (size_t i = 0; i < picture.pixels.size(); ++i)
      PutLE16(rows, rows.size(), static_cast<uint32_t>(std::clamp(picture.pixels[i] * 257 + static_cast<int>(i * 37 % 257) - 128, 0, 65535)));
  }
  return TiffEncode(spec, rows);
}

class TiffVariants : public ::testing::TestWithParam<Variant> {};

}  // namespace

TEST_P(TiffVariants, DecodeAndRenderLikeLibtiff) {
  const Variant v = GetParam();
  TempDir dir;
  const std::string path = dir.Path("variant.tif");
  const RunResult made = Shell("tiffcp " + v.options + " " + dir.Write("base.tif", BaseFile(v.base)) + " " + path);
  ASSERT_EQ(made.status, 0) << made.output;
  // 16-bit pages against the 8-bit picture they were made from; libtiff
  // cuts 16-bit gray to its high byte.
  const Raster expected = v.base == Base::kGray16 || v.base == Base::kRgb16 ? Picture(v.base) : TiffRgba(ReadFileBytes(path));
  const Raster ours = FileRaster(path);
  const RunResult run = Tool({"render", path, "--out", dir.Path("render.ppm")});
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_TRUE(SamePixels(ours, ReadImage(dir.Path("render.ppm"))));
  // libtiff smooths subsampled chroma where we replicate it: this picture's
  // strips come to 33 dB as well.
  if (v.options.find("jpeg") != std::string::npos)
    EXPECT_GE(Psnr(expected, ours), v.base == Base::kRgb && v.options.find("jpeg:r") == std::string::npos ? 32 : 38);
  else
    EXPECT_TRUE(SamePixels(expected, ours));
}

std::vector<Variant> Variants() {
  std::vector<Variant> all;
  const std::string tiles = " -t -w 64 -l 48";
  for (const char* coding : {"none", "packbits", "lzw", "zip", "g3", "g3:2d", "g4"}) {
    all.push_back({Base::kBilevel, std::string("-f lsb2msb -c ") + coding});
    all.push_back({Base::kBilevel, std::string("-c ") + coding + tiles});
  }
  all.insert(all.end(), {{Base::kBilevel, "-f lsb2msb -c lzw" + tiles}, {Base::kPalette, "-c packbits" + tiles}, {Base::kRgb, "-c jpeg:r" + tiles}});
  for (const char* coding : {"none", "lzw:2", "zip:2", "jpeg"}) {
    all.push_back({Base::kGray, std::string("-c ") + coding + tiles});
    all.push_back({Base::kRgb, std::string("-c ") + coding + tiles});
  }
  for (Base base : {Base::kGray16, Base::kRgb16})
    for (const char* coding : {"none", "packbits", "lzw:2", "zip:2"})
      for (const char* order : {"-B", "-L"}) {
        all.push_back({base, std::string(order) + " -c " + coding});
        if (order[1] == 'B') all.push_back({base, std::string(order) + " -c " + coding + tiles});
      }
  return all;
}
INSTANTIATE_TEST_SUITE_P(Tiffcp, TiffVariants, ::testing::ValuesIn(Variants()),
                         [](const auto& info) { return TestName(std::to_string(static_cast<int>(info.param.base)) + info.param.options); });

TEST(TiffVariants, TilesOfAnyWidthMissingTilesAndHostileSizes) {
  // 12-pixel tiles (not whole bytes when bilevel) over a 30 x 20 page; the
  // last of the nine is missing and leaves its corner white, or black.
  TempDir dir;
  for (int bpp : {1, 8}) {
    Image page = bpp == 1 ? testpix::Drawing(30, 20, 3) : testpix::Noise(30, 20, 8, 3);
    std::vector<uint8_t> tiles;
    std::vector<uint32_t> offsets;
    for (int ty = 0; ty < 24; ty += 8)
      for (int tx = 0; tx < 36; tx += 12) {
        offsets.push_back(ty == 16 && tx == 24 ? 0xFFFFFF00u : static_cast<uint32_t>(8 + tiles.size()));
        Image tile(12, 8, bpp);
        for (int y = 0; y < 8; ++y)
          for (int x = 0; x < 12; ++x) tile.at(x, y) = tx + x < 30 && ty + y < 20 ? page.at(tx + x, ty + y) : 0;
        const std::vector<uint8_t> rows = testpix::PackedRows(tile, bpp == 1);  // bilevel: ink is 1
        tiles.insert(tiles.end(), rows.begin(), rows.end());
      }
    auto tiled = [&](uint32_t width, uint32_t length) {
      return BuildTiff({BilevelDirectory(30, 20, 1, tiles).Set(kTagBitsPerSample, kTiffShort, {static_cast<uint32_t>(bpp)})
                            .Set(kTagPhotometric, kTiffShort, {bpp == 1 ? 0u : 1u}).Set(kTagTileWidth, kTiffLong, {width})
                            .Set(kTagTileLength, kTiffLong, {length}).Set(kTagTileOffsets, kTiffLong, offsets)
                            .Set(kTagTileByteCounts, kTiffLong, std::vector<uint32_t>(9, static_cast<uint32_t>(tiles.size() / 8)))});
    };
    for (int y = 16; y < 20; ++y)
      for (int x = 24; x < 30; ++x) page.at(x, y) = bpp == 1 ? 1 : 0;
    EXPECT_TRUE(SamePixels(testpix::ToRaster(page), FileRaster(dir.Write("t.tif", tiled(12, 8))))) << bpp;
    EXPECT_EQ(FileRaster(dir.Write("t.tif", tiled(0, 8))).result, kErrBadHeader);
    EXPECT_EQ(FileRaster(dir.Write("t.tif", tiled(12, 4000))).result, kErrBadHeader);
  }
}
