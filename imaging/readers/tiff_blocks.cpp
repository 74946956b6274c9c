// TIFF blocks decoded while the page is read.  Each block (a strip or a
// tile) is decoded on its own by the library's codecs into rows of stored
// samples, its differencing undone, and put in its place in the page:
// 16-bit samples become 8-bit ones, colour becomes Blue, Green, Red and
// bilevel rows are turned so that 0 is white.  Blocks without data leave
// their part of the page white (bilevel) or black.
#include "imaging/readers/tiff_blocks.h"

#include <algorithm>
#include <cstring>

#include "imaging/codecs/codecs.h"
#include "imaging/core/core.h"
#include "imaging/readers/readers.h"

namespace quillon {

namespace {

// Bytes of a block's row of stored samples (up to 48 bits a pixel).
uint32_t BlockRowBytes(const TiffBlocks& b) {
  return static_cast<uint32_t>((uint64_t{b.blockWidth} * b.bitsPerSample * b.samples + 7) / 8);
}

bool IsFax(int coding) {
  return coding == kModifiedHuffman || coding == kG3OneD || coding == kG3TwoD || coding == kG4;
}

// A decoded block: `available` rows of stored samples, `stride` bytes apart.
// Owns what it decoded into.
struct Decoded {
  const uint8_t* rows = nullptr;
  uint32_t stride = 0;
  uint32_t available = 0;
  uint8_t* inflated = nullptr;
  PageRecord page{};
  ~Decoded() {
    Release(inflated);
    FreePage(&page);
  }
};

// Puts `count` bits of `source` (most significant first) at bit `at` of
// `row`, inverted when asked; the row's other bits stay.
void PutBits(uint8_t* row, uint64_t at, const uint8_t* source, uint64_t count, bool invert) {
  const uint8_t flip = invert ? 0xFF : 0;
  const unsigned shift = static_cast<unsigned>(at % 8);
  uint8_t* d = row + at / 8;
  for (uint64_t i = 0; i < count; i += 8, ++source, ++d) {
    const uint64_t left = count - i;
    const uint8_t mask = left >= 8 ? 0xFF : static_cast<uint8_t>(0xFF00u >> left);
    const uint8_t v = static_cast<uint8_t>((*source ^ flip) & mask);
    d[0] = static_cast<uint8_t>((d[0] & ~(mask >> shift)) | (v >> shift));
    const uint8_t spill = static_cast<uint8_t>(mask << (8 - shift));
    if (shift && spill) d[1] = static_cast<uint8_t>((d[1] & ~spill) | static_cast<uint8_t>(v << (8 - shift)));
  }
}

uint32_t Sample16(const uint8_t* at, bool big) {
  return big ? (uint32_t{at[0]} << 8) | at[1] : (uint32_t{at[1]} << 8) | at[0];
}

// Horizontal differencing undone on one row of `values` samples, each the
// sum of itself and the same sample of the pixel before.
void UndoDifferencing(uint8_t* row, uint64_t values, uint32_t samples, uint32_t bits, bool big) {
  if (bits == 8) return UndoRowDifferencing(row, static_cast<uint32_t>(values), samples);
  for (uint64_t i = samples; i < values; ++i) {
    const uint32_t v = (Sample16(row + 2 * i, big) + Sample16(row + 2 * (i - samples), big)) & 0xFFFF;
    row[2 * i + (big ? 0 : 1)] = static_cast<uint8_t>(v >> 8);
    row[2 * i + (big ? 1 : 0)] = static_cast<uint8_t>(v);
  }
}

// A block's coded bytes decoded into `out`.  `in` holds `size` bytes (and,
// for the fax codings, a few zero bytes after them for the decoders' look
// ahead).  JPEG blocks are read from the file with the shared tables.
// `lines` rows are coded: every row of a tile, those of a strip that lie on
// the page.
int32_t DecodeBlock(const Bytes& f, const TiffBlocks& b, const uint8_t* in, uint32_t size, uint32_t offset,
                    uint32_t lines, Decoded* out) {
  const uint32_t rowBytes = BlockRowBytes(b);
  const uint64_t blockBytes = SizeProduct(rowBytes, lines);
  out->stride = rowBytes;
  if (b.coding == kUncompressed) {
    out->rows = in;
    out->available = static_cast<uint32_t>(std::min<uint64_t>(lines, size / rowBytes));
    return kOk;
  }
  if (b.coding == kTiffDeflate) {
    out->inflated = static_cast<uint8_t*>(Allocate(blockBytes));
    if (!out->inflated) return kErrMemory;
    out->rows = out->inflated;
    out->available = static_cast<uint32_t>(InflateInto(in, size, out->inflated, blockBytes) / rowBytes);
    return kOk;
  }
  // The codecs: bytes of stored samples come out of PackBits and LZW as
  // rows of 8-bit "pixels", so that no codec turns colours or undoes
  // differencing on samples it does not know; fax blocks as packed rows
  // (1 = white), JPEG blocks as pixels.
  PageRecord source{};
  uint32_t jpegOffset = offset, jpegSize = size;
  source.data = const_cast<uint8_t*>(in);
  source.dataSize = size;
  source.dataOwnership = kOwnedByView;
  source.layoutFlags = kLayoutTopDown;
  source.compression = static_cast<int8_t>(b.coding);
  source.width = static_cast<int32_t>(b.blockWidth);
  source.height = static_cast<int32_t>(lines);
  source.rowsPerStrip = source.height;
  source.planes = 1;
  if (b.coding == kPackBits || b.coding == kLzwTiff) {
    source.width = static_cast<int32_t>(rowBytes);
    source.bitsPerPixel = 8;
  } else if (IsFax(b.coding)) {
    source.bitsPerPixel = 1;
  } else {  // JPEG
    source.bitsPerPixel = static_cast<int8_t>(b.samples == 3 ? 24 : 8);
    source.data = const_cast<uint8_t*>(f.p);
    source.dataOffset = static_cast<uint32_t>(b.tablesAt);
    source.dataSize = b.tablesSize;
    source.stripCount = 1;
    source.stripOffsets = &jpegOffset;
    source.stripByteCounts = &jpegSize;
  }
  source.bytesPerLine = RowBytes(source.width, source.bitsPerPixel);
  out->page.compression = kUncompressed;
  if (int32_t r = ConvertPage(&source, &out->page, 0); r != kOk) return r;
  const PageRecord& p = out->page;
  if (!p.data || p.bitsPerPixel != source.bitsPerPixel || p.bytesPerLine < source.bytesPerLine)
    return kErrDecompress;
  out->rows = p.data + p.dataOffset;
  out->stride = p.bytesPerLine;
  out->available = static_cast<uint32_t>(std::min<uint64_t>(
      std::min<uint64_t>(static_cast<uint32_t>(std::max(p.height, 0)), lines),
      p.bytesPerLine ? p.dataSize / p.bytesPerLine : 0));
  return kOk;
}

// One row of stored samples put at pixel `x` of a page row, `width` pixels.
void PutRow(const TiffBlocks& b, const uint8_t* source, uint8_t* row, uint32_t x, uint32_t width, bool invert,
            int bitsPerPixel) {
  if (b.bitsPerSample < 8) {
    PutBits(row, uint64_t{x} * b.bitsPerSample, source, uint64_t{width} * b.bitsPerSample, invert);
    return;
  }
  if (b.coding == kJpeg) {
    const uint32_t bytes = static_cast<uint32_t>(bitsPerPixel / 8);
    std::memcpy(row + uint64_t{x} * bytes, source, uint64_t{width} * bytes);
    return;
  }
  const uint32_t s = b.samples;
  uint8_t* d = row + uint64_t{x} * s;
  for (uint32_t i = 0; i < width; ++i, d += s) {
    for (uint32_t c = 0; c < s; ++c) {
      const uint64_t k = uint64_t{i} * s + c;
      // The high byte, rounded: (v + 128) / 257 never passes 255.
      const uint8_t v = b.bitsPerSample == 16 ? static_cast<uint8_t>((Sample16(source + 2 * k, b.bigEndian) + 128) / 257)
                                              : source[k];
      d[s == 3 ? 2 - c : c] = v;  // Red, Green, Blue to Blue, Green, Red
    }
  }
}

}  // namespace

int32_t DecodeTiffBlocks(const Bytes& f, const TiffBlocks& b, PageRecord* page) {
  const uint32_t width = static_cast<uint32_t>(page->width), height = static_cast<uint32_t>(page->height);
  const int bpp = page->bitsPerPixel;
  if (b.blockWidth == 0 || b.blockHeight == 0) return kErrBadHeader;
  if (b.predictor && b.bitsPerSample < 8) return kErrUnsupported;
  const uint32_t stride = RowBytes(page->width, bpp);
  const uint64_t size = SizeProduct(stride, height);
  uint8_t* pixels = static_cast<uint8_t*>(Allocate(size));
  if (!pixels) return kErrMemory;
  // Parts no block covers keep the "missing" byte; bilevel pages need
  // none, 0 being white.
  if (b.missing != 0 && bpp != 1) std::memset(pixels, b.missing, size);
  const bool bilevel = b.bitsPerSample == 1 && b.samples == 1;
  const bool reverse = bilevel && b.lsbFirst && b.coding != kJpeg;
  const uint32_t across = static_cast<uint32_t>((uint64_t{width} + b.blockWidth - 1) / b.blockWidth);
  // Blocks are read from the tables only as far as the file holds them.
  const uint64_t entrySize = b.offsets.type == kTiffShort || b.offsets.type == kTiffSShort ? 2 : 4;
  const uint64_t listed = b.offsets.dataAt < f.n ? (f.n - b.offsets.dataAt) / entrySize : 0;
  const uint64_t blocks = std::min<uint64_t>({b.blockCount, b.offsets.count, listed});
  int32_t result = kOk;
  for (uint64_t k = 0; k < blocks && result == kOk; ++k) {
    const uint32_t x0 = static_cast<uint32_t>(k % across) * b.blockWidth;
    const uint64_t y0 = (k / across) * b.blockHeight;
    if (y0 >= height) break;
    const uint32_t w = std::min(b.blockWidth, width - x0);
    const uint32_t h = static_cast<uint32_t>(std::min<uint64_t>(b.blockHeight, height - y0));
    Decoded decoded;
    uint8_t* copy = nullptr;
    const uint64_t at = TiffArrayValue(f, b.offsets, static_cast<uint32_t>(k), b.bigEndian);
    uint64_t count = at < f.n ? f.n - at : 0;
    if (b.haveCounts && count) {
      count = k < b.counts.count ? std::min<uint64_t>(count, TiffArrayValue(f, b.counts, static_cast<uint32_t>(k), b.bigEndian))
                                 : 0;
    }
    if (count > 0) {
      const uint8_t* in = f.p + at;
      // Bits reversed, and room after the data for the fax decoders.
      if (reverse || IsFax(b.coding)) {
        copy = static_cast<uint8_t*>(Allocate(count + 8));
        if (!copy) {
          result = kErrMemory;
          break;
        }
        if (reverse) ReverseBits(in, copy, static_cast<uint32_t>(count));
        else std::memcpy(copy, in, count);
        in = copy;
      }
      result = DecodeBlock(f, b, in, static_cast<uint32_t>(count), static_cast<uint32_t>(at), b.tiled ? b.blockHeight : h,
                           &decoded);
      if (result != kOk) {
        Release(copy);
        break;
      }
    }
    if (b.predictor && decoded.rows && (b.coding == kLzwTiff || b.coding == kTiffDeflate)) {
      uint8_t* rows = const_cast<uint8_t*>(decoded.rows);
      for (uint32_t y = 0; y < decoded.available; ++y)
        UndoDifferencing(rows + uint64_t{y} * decoded.stride, uint64_t{b.blockWidth} * b.samples, b.samples,
                         b.bitsPerSample, b.bigEndian);
    }
    // Fax rows come out 1 = white; stored rows are put so that 0 is white.
    const bool invert = bilevel && (IsFax(b.coding) == b.zeroIsWhite);
    for (uint32_t y = 0; y < std::min(h, decoded.available); ++y)
      PutRow(b, decoded.rows + uint64_t{y} * decoded.stride, pixels + (y0 + y) * stride, x0, w, invert, bpp);
    Release(copy);  // uncompressed rows may lie in it
  }
  if (result != kOk) {
    Release(pixels);
    return result;
  }
  page->data = pixels;
  page->dataOffset = 0;
  page->dataSize = static_cast<uint32_t>(size);
  page->dataOwnership = kOwnedByPage;
  page->bytesPerLine = stride;
  page->rowsPerStrip = page->height;
  page->stripCount = 0;
  page->compression = kUncompressed;
  page->layoutFlags = kLayoutTopDown;
  page->fillOrderReversed = 0;
  if (bilevel) page->photometric = 1;
  return kOk;
}

}  // namespace quillon
