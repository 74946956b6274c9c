// Inputs of the LZW and PackBits benchmarks: pictures encoded by the peer
// libraries into in-memory files, the page records our decoders take from
// the same bytes, and the peers' own decodes of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/core/page.h"

namespace bench {

// A photo-like picture (smooth shading, edges, a little noise), one byte a
// sample, rows of width * channels bytes.
std::vector<uint8_t> PhotoPicture(int32_t width, int32_t height, int channels);
// A chart-like picture of few values in long runs.
std::vector<uint8_t> ChartPicture(int32_t width, int32_t height);

// A TIFF file in memory, written by libtiff.
std::vector<uint8_t> LibtiffFile(const std::vector<uint8_t>& pixels, int32_t width,
                                 int32_t height, int channels, uint16_t compression,
                                 uint16_t predictor, uint32_t rowsPerStrip);
// A GIF file in memory, written by giflib; pixel values below 256.
std::vector<uint8_t> GiflibFile(const std::vector<uint8_t>& pixels, int32_t width,
                                int32_t height, bool interlaced);

// The first page of an in-memory TIFF as the TIFF reader lays it out: data
// is the file, the strip tables hold file offsets.  The tables live in the
// vectors.
struct TiffPage {
  quillon::PageRecord record{};
  std::vector<uint32_t> offsets, counts;
};
void MakeTiffPage(const std::vector<uint8_t>& file, TiffPage* page);

// The first image of a GIF file as the GIF reader lays it out (descriptor
// packed byte, minimum code size, the sub-blocks' payloads), into `buffer`.
// False when the file has no image.
bool MakeGifPage(const std::vector<uint8_t>& file, std::vector<uint8_t>* buffer,
                 quillon::PageRecord* page);

// libtiff: the TIFF opened on the memory, a page buffer from _TIFFmalloc,
// every strip of the first page read into it with TIFFReadEncodedStrip.
// Bytes decoded.
int64_t LibtiffDecodeStrips(const std::vector<uint8_t>& file);
// giflib: DGifOpen on the memory, DGifSlurp, DGifCloseFile.  Pixels decoded.
int64_t GiflibSlurp(const std::vector<uint8_t>& file);

}  // namespace bench
