// Pictures of the LZW and PackBits benchmarks, and the peers' timed decodes
// of files held in memory (the files themselves are written by the test
// support's peer glue).
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <vector>

namespace bench {

// A photo-like picture (smooth shading, edges, a little noise), one byte a
// sample, rows of width * channels bytes.
std::vector<uint8_t> PhotoPicture(int32_t width, int32_t height, int channels);
// A chart-like picture of few values in long runs.
std::vector<uint8_t> ChartPicture(int32_t width, int32_t height);

// A file in memory for libtiff to read, mapped, without copies.
struct MemoryFile {
  const std::vector<uint8_t>* bytes;
  uint64_t at = 0;
};
TIFF* OpenMemoryTiff(MemoryFile* file, const char* mode = "r");
// libtiff: the TIFF opened on the memory, a page buffer from _TIFFmalloc,
// every strip of the first page read into it with TIFFReadEncodedStrip.
// Bytes decoded.
int64_t LibtiffDecodeStrips(const std::vector<uint8_t>& file);
// giflib: DGifOpen on the memory, DGifSlurp, DGifCloseFile.  Pixels decoded.
int64_t GiflibSlurp(const std::vector<uint8_t>& file);

}  // namespace bench
