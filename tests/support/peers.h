// The peer libraries, as the tests and the benchmarks use them: libtiff,
// giflib and libjpeg-turbo writing and reading files held in memory.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "support/files.h"
#include "support/raster.h"

namespace testutil {

// --- libtiff ----------------------------------------------------------------

struct TiffSpec {
  int width = 0, height = 0;
  int bitsPerSample = 8, samples = 1;
  int photometric = 1;  // PHOTOMETRIC_*
  int compression = 1;  // COMPRESSION_*
  int predictor = 1;
  int rowsPerStrip = 0;  // 0 = the whole page
  bool lsbFirst = false;  // FillOrder 2
  uint32_t group3Options = 0;
  Bytes colourMap;  // 3 x 2^bits entries of 16 bits for palette pages
};

// libtiff's coding of `rows` (TIFF scanlines, top line first).
Bytes TiffEncode(const TiffSpec& spec, const Bytes& rows);
// A TIFF file around strips that are already coded.
Bytes TiffWithStrips(const TiffSpec& spec, const std::vector<Bytes>& strips);
// The raw (still coded) strips of the first page.
std::vector<Bytes> TiffRawStrips(const Bytes& file);
// libtiff's picture of page `directory` through its RGBA interface.
Raster TiffRgba(const Bytes& file, int directory = 0);
// libtiff's fax coding of packed rows (1 = black), one block per strip.
std::vector<Bytes> FaxStrips(const Bytes& rows, int width, int height, int compression, int rowsPerStrip,
                             bool lsbFirst);
// libtiff's decode of the fax data a reader left in `page` (its strips or
// its one block).
Raster FaxPeerDecode(const quillon::PageRecord& page);

// --- giflib -----------------------------------------------------------------

// Every image of the file (not composed), through the colour table that
// applies to it.
std::vector<Raster> GifFrames(const Bytes& file);
// giflib's file of one image of palette indexes; `palette` holds RGB
// triplets (2, 4, 16 or 256 of them).
Bytes GifEncode(const Bytes& indexes, int width, int height, const Bytes& palette, bool interlaced);

// --- libjpeg-turbo ------------------------------------------------------------

// The accurate integer transform without fancy upsampling (djpeg -dct int
// -nosmooth), scaled by 1 / denominator.
Raster JpegDecode(const Bytes& jpeg, int denominator = 1);

struct JpegOptions {
  int quality = 85;
  int horizontal = 2, vertical = 2;  // luminance sampling factors
  bool gray = false;
  bool progressive = false;
  bool optimize = false;     // tables fitted to the picture
  bool longDcCodes = false;  // a luminance DC table with codes of 13 to 16 bits
  std::vector<std::array<int, 4>> grayScans;  // a progressive script: {Ss, Se, Ah, Al}
};
Bytes JpegEncode(const Raster& rgb, const JpegOptions& options = {});

// The quantised coefficients as the peer reads them: per component its
// blocks in raster order (whole MCUs), each in natural order.
struct JpegCoefficients {
  int result = -1;
  int mcusWide = 0, mcusHigh = 0;
  struct Component {
    int identifier = 0, horizontal = 0, vertical = 0;
    std::vector<std::array<int16_t, 64>> blocks;
    std::array<uint16_t, 64> quant{};
  };
  std::vector<Component> components;
};
JpegCoefficients JpegReadCoefficients(const Bytes& jpeg);

// A photograph-like picture: smooth colour, texture, grain and hard edges.
Raster TestPicture(int width, int height);

}  // namespace testutil
