// Targa pages: colour-mapped, true-colour and gray images, uncompressed or
// run-length coded.  Rows are byte-aligned (RowBytes apart).
#include <algorithm>
#include <cstring>

#include "imaging/readers/readers.h"

namespace quillon {

namespace {

// 5-5-5 to 5-6-5: green's sixth bit repeats its top bit, so that full
// green (and white) stays full.
inline uint16_t FiveFiveFiveTo565(uint32_t v) {
  uint32_t green = (v >> 5) & 0x1F;
  return static_cast<uint16_t>((v & 0x1F) | (((green << 1) | (green >> 4)) << 5) |
                               (((v >> 10) & 0x1F) << 11));
}

// Stores one source pixel of `bytes` bytes as the page's pixel at `out`.
inline void PutPixel(const uint8_t* src, int bytes, uint8_t* out) {
  switch (bytes) {
    case 1: out[0] = src[0]; break;
    case 2: {
      uint16_t w = FiveFiveFiveTo565(src[0] | (src[1] << 8));
      out[0] = static_cast<uint8_t>(w);
      out[1] = static_cast<uint8_t>(w >> 8);
      break;
    }
    default:  // 3 and 4: Blue, Green, Red (the fourth byte is dropped)
      out[0] = src[0];
      out[1] = src[1];
      out[2] = src[2];
      break;
  }
}

int32_t ReadColourMap(const Bytes& f, PageRecord* page) {
  const uint32_t first = f.LE16(3), length = f.LE16(5), entryBits = f.U8(7);
  if (first + length > 256) return kErrBadHeader;
  page->palette = AllocateBytes(768);
  if (!page->palette) return kErrMemory;
  const uint64_t at = 18 + static_cast<uint64_t>(f.U8(0));
  const uint32_t entryBytes = (entryBits + 7) / 8;
  for (uint32_t i = 0; i < length; ++i) {
    uint64_t e = at + static_cast<uint64_t>(i) * entryBytes;
    uint8_t* p = page->palette + 3 * (first + i);
    switch (entryBits) {
      case 15:
      case 16: {
        uint32_t v = f.LE16(e);
        p[0] = static_cast<uint8_t>((v & 0x1F) << 3);
        p[1] = static_cast<uint8_t>(((v >> 5) & 0x1F) << 3);
        p[2] = static_cast<uint8_t>(((v >> 10) & 0x1F) << 3);
        break;
      }
      case 24:
      case 32:
        p[0] = f.U8(e);
        p[1] = f.U8(e + 1);
        p[2] = f.U8(e + 2);
        break;
      default:
        break;  // other entry sizes leave the palette zero
    }
  }
  return kOk;
}

}  // namespace

int32_t ReadTarga(ImageFile* file, PageRecord* page, int32_t /*index*/, bool geometry) {
  const Bytes f{file->view, static_cast<uint64_t>(file->fileSize)};
  const int type = f.U8(2);
  int depth = f.U8(16);
  if (depth == 15) depth = 16;
  page->width = static_cast<int32_t>(f.LE16(12));
  page->height = static_cast<int32_t>(f.LE16(14));
  page->xResolution = page->yResolution = 0;
  page->compression = kUncompressed;
  page->photometric = 0;
  page->fillOrderReversed = 0;
  page->planes = 1;
  page->stripCount = 0;
  page->layoutFlags = static_cast<int8_t>((f.U8(17) & 0x20) ? kLayoutTopDown : kLayoutBottomUp);
  if (page->width < 1 || page->height < 1) return kErrBadHeader;

  const bool mapped = type == 1 || type == 9;
  const bool gray = type == 3 || type == 11;
  if (mapped && depth != 8) return kErrBitDepth;
  if (gray && depth != 8) return kErrBitDepth;
  if (!mapped && !gray && depth != 16 && depth != 24 && depth != 32) return kErrBitDepth;
  const int sourceBytes = depth / 8;
  const int bpp = depth == 32 ? 24 : depth;
  if (int32_t r = CheckPageSize(page->width, page->height, bpp); r != kOk) return r;
  page->bitsPerPixel = static_cast<int8_t>(bpp);
  page->bytesPerLine = RowBytes(page->width, bpp);

  // Gray samples are 8-bit levels with the gray ramp; mapped images read
  // their colour map.  A colour map is skipped whatever the image type.
  if (gray) {
    page->palette = MakeGrayPalette(8);
    if (!page->palette) return kErrMemory;
  } else if (mapped) {
    int32_t r = ReadColourMap(f, page);
    if (r != kOk) {
      FreePage(page);
      return r;
    }
  }
  uint64_t start = 18 + static_cast<uint64_t>(f.U8(0));
  if (f.U8(1) == 1) start += static_cast<uint64_t>(f.LE16(5)) * ((f.U8(7) + 7) / 8);

  const uint64_t rowBytes = page->bytesPerLine;
  const uint64_t size = SizeProduct(rowBytes, static_cast<uint32_t>(page->height));
  page->dataSize = static_cast<uint32_t>(size);
  const bool runLength = type >= 9;
  const bool inView = !runLength && (bpp == 8 || bpp == 24) && depth != 32;
  if (inView && (start > f.n || f.n - start < size)) {
    FreePage(page);
    return kErrIo;
  }
  if (geometry) return kOk;
  if (inView) {
    page->data = file->view;
    page->dataOffset = static_cast<uint32_t>(start);
    page->dataOwnership = kOwnedByView;
    return kOk;
  }

  uint8_t* out = AllocateBytes(size);
  if (!out) {
    FreePage(page);
    return kErrMemory;
  }
  const uint32_t outBytes = static_cast<uint32_t>(bpp / 8);
  const uint64_t pixels = SizeProduct(static_cast<uint32_t>(page->width),
                                      static_cast<uint32_t>(page->height));
  uint64_t at = start, done = 0;
  if (!runLength) {
    for (; done < pixels && at + sourceBytes <= f.n; ++done, at += sourceBytes)
      PutPixel(f.p + at, sourceBytes, out + done * outBytes);
  } else {
    // Packets may run across line ends; decoding stops after the last line
    // or at the end of the file.
    while (done < pixels && at < f.n) {
      const uint8_t header = f.p[at++];
      const uint64_t count = std::min<uint64_t>((header & 0x7F) + 1, pixels - done);
      if (header & 0x80) {
        if (at + sourceBytes > f.n) break;
        for (uint64_t k = 0; k < count; ++k, ++done)
          PutPixel(f.p + at, sourceBytes, out + done * outBytes);
        at += sourceBytes;
      } else {
        for (uint64_t k = 0; k < count && at + sourceBytes <= f.n; ++k, ++done) {
          PutPixel(f.p + at, sourceBytes, out + done * outBytes);
          at += sourceBytes;
        }
      }
    }
  }
  page->data = out;
  page->dataOffset = 0;
  page->dataOwnership = kOwnedByPage;
  return kOk;
}

}  // namespace quillon
