// JPEG cross-checks: the peer decoder (libjpeg-turbo through its libjpeg
// API), our decoder through ConvertPage, and the measures that compare
// them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace testutil {

// Pixels top line first, no padding: RGB triplets or gray bytes.
struct Image {
  int32_t result = -1;  // ours: ConvertPage's result; peer: 0 or -1
  int width = 0;
  int height = 0;
  int channels = 0;  // 1 gray, 3 RGB
  int warnings = 0;  // peer: warnings about the stream (corrupt data, ...)
  std::vector<uint8_t> pixels;
};

// libjpeg-turbo with the accurate integer transform and without fancy
// upsampling (djpeg -dct int -nosmooth), scaled by 1 / denominator.
Image PeerDecode(const std::vector<uint8_t>& jpeg, int denominator = 1);

// The one-eighth picture the decoder should give, made from the peer's
// coefficients: each block's DC as its sample (DC x q0 / 8 + 128), each
// chroma DC over the luma blocks it covers, YCbCr to RGB in floating point.
Image DcReference(const std::vector<uint8_t>& jpeg);

// Each 2 x 2 group of `image` averaged (the last column and line repeated
// for odd sizes).
Image Halve(const Image& image);

// The quantised coefficients of a stream as the peer reads them, without
// decoding: per component its blocks in raster order (the grid padded to
// whole MCUs), each in natural order, and its quantisation table in
// natural order.
struct Coefficients {
  int result = -1;  // 0 or -1
  int mcusWide = 0, mcusHigh = 0;
  struct Component {
    int identifier = 0;
    int horizontal = 0, vertical = 0;  // sampling factors
    int blocksWide = 0, blocksHigh = 0;
    std::vector<std::array<int16_t, 64>> blocks;
    std::array<uint16_t, 64> quant{};
  };
  std::vector<Component> components;
};
Coefficients PeerCoefficients(const std::vector<uint8_t>& jpeg);

// Our decode of a whole stream through ConvertPage with `flags`.  16-bpp
// results are widened to RGB by bit replication unless `raw16` asks for
// the 5-6-5 words (two bytes a pixel, little-endian) as they are.
Image OurDecode(const std::vector<uint8_t>& jpeg, int32_t flags, bool raw16 = false);

// libtiff's decode of a TIFF file's first page (its RGBA interface), as
// RGB (3 channels) or gray (1: the red samples).
Image PeerTiffDecode(const std::string& path, int channels);

// Encoding through the peer, for streams the fixtures do not cover.
struct EncodeOptions {
  int quality = 85;
  int horizontal = 2, vertical = 2;  // luminance sampling factors
  bool gray = false;
  bool progressive = false;
  int restartBlocks = 0;     // restart interval in MCUs, 0 = none
  bool longDcCodes = false;  // a luminance DC table with codes of 13 to 16 bits
  bool optimize = false;     // tables fitted to the picture
  // A progressive script for gray pictures: {Ss, Se, Ah, Al} per scan.
  std::vector<std::array<int, 4>> grayScans;
};
std::vector<uint8_t> PeerEncode(const Image& rgb, const EncodeOptions& options);

// A picture of `width` x `height` with smooth colour, texture and edges.
Image TestPicture(int width, int height);

// The stream without its DHT segments.
std::vector<uint8_t> WithoutHuffmanTables(const std::vector<uint8_t>& jpeg);

// Peak signal-to-noise ratio in dB over all samples (99 when equal).
double Psnr(const Image& a, const Image& b);
// Largest absolute sample difference.
int MaxDifference(const Image& a, const Image& b);

// 24-bit RGB to the library's 5-6-5 words (as bytes, little-endian).
std::vector<uint8_t> PackRgb565(const Image& rgb);

// A test fixture of tests/data/jpeg.
std::vector<uint8_t> JpegFixture(const std::string& name);

}  // namespace testutil
