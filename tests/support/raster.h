// Pictures as the peers and the library show them: gray or RGB samples, top
// line first, compared pixel for pixel, by PSNR, or by a recorded digest.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/core/page.h"

namespace testutil {

struct Raster {
  int32_t result = -1;  // the decode's answer: 0 or an error
  int width = 0;
  int height = 0;
  int channels = 0;  // 1 gray, 3 RGB
  int warnings = 0;  // peers: warnings about the data
  std::vector<uint8_t> pixels;
  uint32_t Rgb(size_t pixel) const;  // 0xRRGGBB, gray widened
};

// A binary PNM (P4 and P5 as gray, P6) or a PNG (as RGB); width 0 when it
// cannot be read.
Raster ReadImage(const std::string& path);
// A decoded page (run lists, pixels of any depth): bilevel pages and pages
// of 8-bit gray as gray, the rest through their palette as RGB.
Raster PageRaster(const quillon::PageRecord& page);
// A page decoded to its display form (the source itself is left as it is).
Raster DecodedRaster(quillon::PageRecord* page, int32_t flags = 0);
// Every page through the library: open, extract, decode to the display form.
Raster FileRaster(const std::string& path, int32_t index = 0, int32_t flags = 0);

// Coded bytes (a JPEG stream, say) decoded by the library: ConvertPage of a
// page over `data` to its display form.
Raster DecodeBytes(const std::vector<uint8_t>& data, int compression, int32_t flags = 0,
                   void* decoderContext = nullptr);

// RGB samples reduced to 5-6-5 and widened again by repeating their top
// bits, as a 16-bpp page shows them.
Raster Widened565(Raster raster);

// Equal sizes and every sample within `tolerance` (gray against RGB as
// three equal samples); the first pixel that differs in the message.
::testing::AssertionResult SamePixels(const Raster& expected, const Raster& actual, int tolerance = 0);
// Peak signal-to-noise ratio in dB over all samples, 99 when equal, 0 when
// the sizes differ.
double Psnr(const Raster& a, const Raster& b);

// The digest recorded under `name` in tests/data/digests.txt equals the
// picture's.  With QUILLON_UPDATE_DIGESTS=1 in the environment the picture's
// digest is recorded instead (with `peer`, the library or reference it was
// checked against) and the change printed.
::testing::AssertionResult MatchesDigest(const std::string& name, const Raster& raster,
                                         const std::string& peer);

}  // namespace testutil
