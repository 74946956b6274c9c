// TIFF files as general tools write them beyond plain strips: bilevel data
// stored least significant bit first, tiles (cut at the right and bottom
// edges, or missing) and 16-bit samples in either byte order.  Each variant
// is made by tiffcp from a file libtiff wrote, and the library's decode and
// the tool's render are compared with libtiff's decode.
#include "imaging/readers/tiff.h"
#include "support/suite.h"

namespace {

using testutil::Bytes;  // not the library's byte view

enum class Base { kBilevel, kPalette, kGray, kRgb, kGray16, kRgb16 };
struct Variant {
  Base base;
  std::string options;  // tiffcp's
  int droppedTile = -1;  // a tile whose offset is moved past the end of the file
};

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

// Moves the offset of tile `k` past the end of the file.
void DropTile(Bytes& file, uint32_t k) {
  const quillon::Bytes view{file.data(), file.size()};
  const bool big = TiffBigEndian(view);
  const uint32_t dir = view.U32(4, big);
  for (uint32_t i = 0; i < view.U16(dir, big); ++i) {
    const TiffEntry e = ReadTiffEntry(view, dir + 2 + 12 * i, big);
    if (e.tag != kTagTileOffsets) continue;
    if (big) PutBE32(file, e.dataAt + 4 * k, 0xFFFFFF00u);
    else PutLE32(file, e.dataAt + 4 * k, 0xFFFFFF00u);
  }
}

class TiffVariants : public ::testing::TestWithParam<Variant> {};

}  // namespace

TEST_P(TiffVariants, DecodeAndRenderLikeLibtiff) {
  const Variant v = GetParam();
  TempDir dir;
  const std::string path = dir.Path("variant.tif");
  const RunResult made = Shell("tiffcp " + v.options + " " + dir.Write("base.tif", BaseFile(v.base)) + " " + path);
  ASSERT_EQ(made.status, 0) << made.output;
  auto file = ReadFileBytes(path);
  // 16-bit pages against the 8-bit picture they were made from; libtiff
  // cuts 16-bit gray to its high byte.
  Raster expected = v.base == Base::kGray16 || v.base == Base::kRgb16 ? Picture(v.base) : TiffRgba(file);
  if (v.droppedTile >= 0) {
    DropTile(file, static_cast<uint32_t>(v.droppedTile));
    dir.Write("variant.tif", file);
    // The tile's part of the page is white (bilevel) or black.
    const uint8_t fill = v.base == Base::kBilevel ? 255 : 0;
    const int across = (kWidth + 63) / 64, x0 = v.droppedTile % across * 64, y0 = v.droppedTile / across * 48;
    for (int y = y0; y < std::min(y0 + 48, kHeight); ++y)
      for (int x = x0; x < std::min(x0 + 64, kWidth); ++x)
        std::fill_n(expected.pixels.begin() + (static_cast<size_t>(y) * kWidth + x) * expected.channels, expected.channels, fill);
  }
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
  all.push_back({Base::kBilevel, "-f lsb2msb -c lzw" + tiles, 3});
  all.push_back({Base::kPalette, "-c packbits" + tiles});
  all.push_back({Base::kRgb, "-c jpeg:r" + tiles});
  for (const char* coding : {"none", "lzw:2", "zip:2", "jpeg"}) {
    all.push_back({Base::kGray, std::string("-c ") + coding + tiles, coding[0] == 'n' ? 4 : -1});
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
                         [](const auto& info) { return TestName(std::to_string(static_cast<int>(info.param.base)) + info.param.options + std::to_string(info.param.droppedTile + 1)); });

TEST(TiffVariants, TilesOfAnyWidthAndHostileSizes) {
  // 12-pixel tiles (not whole bytes) over a 30 x 20 bilevel page; the last
  // of the nine is missing and leaves its corner white.
  const Image drawing = testpix::Drawing(30, 20, 3);
  std::vector<uint8_t> tiles;
  std::vector<uint32_t> offsets;
  for (int ty = 0; ty < 24; ty += 8)
    for (int tx = 0; tx < 36; tx += 12) {
      offsets.push_back(ty == 16 && tx == 24 ? 0xFFFFFF00u : static_cast<uint32_t>(8 + tiles.size()));
      for (int y = ty; y < ty + 8; ++y)
        for (int x = tx; x < tx + 16; x += 8) {
          uint8_t byte = 0;
          for (int i = 0; i < 8; ++i)  // MinIsWhite: ink is 1
            if (x + i < tx + 12 && x + i < 30 && y < 20 && drawing.at(x + i, y) == 0) byte |= static_cast<uint8_t>(0x80 >> i);
          tiles.push_back(byte);
        }
    }
  auto tiled = [&](uint32_t width, uint32_t length) {
    return BuildTiff({BilevelDirectory(30, 20, 1, tiles).Set(kTagTileWidth, kTiffLong, {width}).Set(kTagTileLength, kTiffLong, {length})
                          .Set(kTagTileOffsets, kTiffLong, offsets).Set(kTagTileByteCounts, kTiffLong, std::vector<uint32_t>(9, 16))});
  };
  Image expected = drawing;
  for (int y = 16; y < 20; ++y)
    for (int x = 24; x < 30; ++x) expected.at(x, y) = 1;
  TempDir dir;
  EXPECT_TRUE(SamePixels(testpix::ToRaster(expected), FileRaster(dir.Write("t.tif", tiled(12, 8)))));
  EXPECT_EQ(FileRaster(dir.Write("t.tif", tiled(0, 8))).result, kErrBadHeader);
  EXPECT_EQ(FileRaster(dir.Write("t.tif", tiled(12, 4000))).result, kErrBadHeader);
}
