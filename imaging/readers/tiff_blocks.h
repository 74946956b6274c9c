// TIFF pages that the directory reader decodes itself: tiled pages, 16-bit
// samples, Deflate data, plain rows deeper than 1 bpp and bilevel data
// stored least significant bit first.
#pragma once

#include <cstdint>

#include "imaging/core/bytes.h"
#include "imaging/core/page.h"
#include "imaging/readers/tiff.h"

namespace quillon {

// The coding of Deflate (zlib) blocks, which has no CompressionCode.
constexpr int kTiffDeflate = -1;

// How a page's data is cut into blocks and coded, as its directory says.
// Blocks are tiles (left to right, then top to bottom) or strips (a block
// as wide as the page).
struct TiffBlocks {
  TiffEntry offsets{}, counts{};
  bool haveCounts = false;
  bool bigEndian = false;
  uint32_t blockWidth = 0, blockHeight = 0;
  uint32_t blockCount = 0;    // blocks the layout has room for
  bool tiled = false;         // every block holds whole tiles, even past the edges
  int coding = kUncompressed;  // CompressionCode of every block, or kTiffDeflate
  uint32_t bitsPerSample = 1, samples = 1;
  bool predictor = false;  // horizontal differencing (LZW and Deflate)
  bool lsbFirst = false;   // bilevel bytes stored least significant bit first
  bool zeroIsWhite = true;  // bilevel: a stored 0 is white (before any fax coding)
  uint8_t missing = 0;      // the sample byte of parts no block covers (black)
  uint64_t tablesAt = 0;    // JPEG blocks: the shared tables stream
  uint32_t tablesSize = 0;
};

// Decodes every block of `page` (width, height, bitsPerPixel of the result
// already set: 1 or 4 for such samples, 8 for gray, 24 for RGB) into one
// owned buffer of rows of RowBytes, Blue, Green, Red for colour; bilevel
// pages leave with photometric 1 (a stored 0 is white).  Parts of blocks
// past the right and bottom edges are dropped.  0 or an ImagingError; the
// page's buffers are the caller's to release on failure.
int32_t DecodeTiffBlocks(const Bytes& file, const TiffBlocks& blocks, PageRecord* page);

}  // namespace quillon
