// Compressed pages of the run-length and LZW codecs built straight from file
// bytes (as the page readers lay them out), reference pixels, and the peer
// libraries' decodes of the same data.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/page.h"
#include "support/pnm.h"
#include "support/test_util.h"

namespace testutil {

// A compressed page and the buffers it points at (not owned by the record:
// dataOwnership 0, strip tables and palette in the vectors below).  Never
// passed to FreePage.
struct SourcePage {
  quillon::PageRecord record{};
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> offsets, counts;
  std::vector<uint8_t> palette;  // 768 bytes Blue, Green, Red, or empty

  SourcePage() = default;
  SourcePage(const SourcePage&) = delete;
  SourcePage& operator=(const SourcePage&) = delete;
  // Points the record at this object's own buffers.
  void Attach();
};
using SourcePtr = std::unique_ptr<SourcePage>;

// The PCX page whose 128-byte header starts at `header` and whose data runs
// to `end` (a DCX page ends where the next one starts).
SourcePtr PcxSource(const std::vector<uint8_t>& file, size_t header, size_t end);
// The pages of a DCX file.
std::vector<SourcePtr> DcxSources(const std::vector<uint8_t>& file);
// A Windows BMP with RLE4 or RLE8 data (code 13).
SourcePtr BmpRleSource(const std::vector<uint8_t>& file);
// Every image of a GIF file (code 9): descriptor packed byte, minimum code
// size, the sub-blocks' payloads.  The depth follows the colour table that
// applies (1, 4 or 8); 1-bpp frames keep index 1 white.
std::vector<SourcePtr> GifSources(const std::vector<uint8_t>& file);
// The raw strips of a TIFF page read through libtiff (code 6 or 8), with
// the fields the TIFF reader fills.
SourcePtr TiffRawSource(const std::string& path);

// libtiff's decode of every strip, concatenated: rows as stored (RowBytes
// apart, 24-bpp in Red, Green, Blue, 1-bpp with the file's polarity).
std::vector<uint8_t> LibtiffDecode(const std::string& path, int directory = 0);
// libtiff's decode of `data` written as the one strip of a TIFF at `path`
// (TIFF compression code `tiffCompression`, bilevel and gray BlackIsZero):
// rows as stored, 24-bpp turned to Blue, Green, Red like the library's.
std::vector<uint8_t> LibtiffDecodeRawStrip(const std::string& path, int32_t width, int32_t height,
                                           int bpp, uint16_t tiffCompression,
                                           const uint8_t* data, uint32_t size);
// `rows` with the bits past the width in the last byte of every row
// cleared, which no coding has to keep.
std::vector<uint8_t> MaskPadding(std::vector<uint8_t> rows, int32_t width, int32_t height, int bpp);
// giflib's decode (DGifSlurp) of every image: palette indexes, width x
// height, top line first.
std::vector<std::vector<uint8_t>> GiflibDecode(const std::vector<uint8_t>& file);
// giflib's decode of image `index` as colours through its colour table
// (the local one, else the global one).
Rgb GiflibRgb(const std::vector<uint8_t>& file, int index);

// A decoded page (code 0 at 4, 8 or 24 bpp; code 11 at 1 bpp, 1 = white)
// through `palette` (768 bytes Blue, Green, Red; the page's own when null).
Rgb PageToRgb(const quillon::PageRecord& page, const uint8_t* palette = nullptr);
// The decoded page's lines as packed rows of RowBytes bytes, top line
// first (1-bpp rows painted from the runs; padding bits cleared).
std::vector<uint8_t> PageRows(const quillon::PageRecord& page);

// ConvertPage into code 0 (code 11 for 1 bpp).
int32_t DecodeToPixels(quillon::PageRecord* source, Page* decoded, int32_t flags = 0);
// An uncompressed page over `rows` (RowBytes apart packed into the
// BytesPerLine stride), or run lists for 1 bpp; owned by `page`.
void MakeDecodedPage(int32_t width, int32_t height, int bitsPerPixel,
                     const std::vector<uint8_t>& rows, Page* page,
                     bool bottomUp = false);

// Test pictures as packed rows (RowBytes apart): the kinds of content that
// exercise different paths of the coders.
enum class Pattern { kNoise, kRuns, kGradient, kConstant, kAlternating };
std::vector<uint8_t> PatternRows(int32_t width, int32_t height, int bitsPerPixel,
                                 Pattern pattern, uint32_t seed);

}  // namespace testutil
