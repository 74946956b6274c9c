// Windows and OS/2 BMP pages.
//
// A BMP page normally stays in the view, bottom line first.  Depths the
// library does not hold directly are converted into an owned buffer: 2 bpp
// widens to 4, 5-5-5 and other bit-field layouts become 5-6-5, 32 bpp drops
// its fourth byte.
#include <bit>
#include <cstring>

#include "imaging/readers/readers.h"

namespace quillon {

namespace {

enum class Header {
  kCore,     // 12 bytes: 16-bit sizes, 3-byte palette entries
  kWindows,  // 40, 52, 56, 108, 124: 32-bit sizes, bit fields, 4-byte entries
  kOs2v2,    // other sizes up to 64: OS/2 2.x, 4-byte entries
};

struct BmpLayout {
  Header header;
  uint32_t headerSize;
  int32_t width;
  int32_t height;  // magnitude
  bool topDown;
  int bitsPerPixel;
  uint32_t compression;  // the file's own field
  uint32_t masks[3];     // red, green, blue bit fields (16 and 32 bpp)
};

struct Channel {
  uint32_t mask;
  int shift;
  uint32_t maximum;
};

Channel MakeChannel(uint32_t mask) {
  if (mask == 0) return {0, 0, 1};
  int shift = std::countr_zero(mask);
  uint32_t maximum = mask >> shift;
  return {mask, shift, maximum};
}

// A channel value scaled to 0..255.
inline uint32_t Scale(const Channel& c, uint32_t v) {
  return ((v & c.mask) >> c.shift) * 255 / c.maximum;
}

// 1-bpp polarity from the two palette entries (Blue, Green, Red).
int8_t BilevelPolarity(const Bytes& f, uint64_t paletteAt, int entrySize) {
  auto colour = [&](uint64_t at) { return EntryColour{f.U8(at + 2), f.U8(at + 1), f.U8(at)}; };
  return TwoColourPhotometric(colour(paletteAt), colour(paletteAt + static_cast<uint64_t>(entrySize)));
}

int32_t ReadPalette(const Bytes& f, uint64_t at, int entrySize, int entries,
                    PageRecord* page) {
  page->palette = AllocateBytes(768);
  if (!page->palette) return kErrMemory;
  for (int i = 0; i < entries && i < 256; ++i) {
    uint64_t e = at + static_cast<uint64_t>(i) * entrySize;
    page->palette[3 * i] = f.U8(e);
    page->palette[3 * i + 1] = f.U8(e + 1);
    page->palette[3 * i + 2] = f.U8(e + 2);
  }
  return kOk;
}

// Builds an owned copy of the pixels in a depth the library holds.
int32_t ConvertPixels(const BmpLayout& bmp, const uint8_t* pixels,
                      uint32_t sourceStride, PageRecord* page) {
  const int32_t w = bmp.width, h = bmp.height;
  int target = bmp.bitsPerPixel == 32 ? 24 : bmp.bitsPerPixel == 2 ? 4 : 16;
  uint32_t stride = BytesPerLine(w, target);
  uint64_t size = SizeProduct(stride, static_cast<uint32_t>(h));
  uint8_t* out = AllocateBytes(size);
  if (!out) return kErrMemory;
  const Channel r = MakeChannel(bmp.masks[0]), g = MakeChannel(bmp.masks[1]),
                b = MakeChannel(bmp.masks[2]);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* src = pixels + static_cast<uint64_t>(y) * sourceStride;
    uint8_t* dst = out + static_cast<uint64_t>(y) * stride;
    switch (bmp.bitsPerPixel) {
      case 2:
        for (int32_t x = 0; x < w; ++x) {
          uint8_t v = (src[x / 4] >> (6 - 2 * (x % 4))) & 3;
          dst[x / 2] |= static_cast<uint8_t>(x % 2 ? v : v << 4);
        }
        break;
      case 16:
        for (int32_t x = 0; x < w; ++x) {
          uint32_t v = src[2 * x] | (src[2 * x + 1] << 8);
          uint32_t word = ((Scale(r, v) & 0xF8) << 8) | ((Scale(g, v) & 0xFC) << 3) |
                          (Scale(b, v) >> 3);
          dst[2 * x] = static_cast<uint8_t>(word);
          dst[2 * x + 1] = static_cast<uint8_t>(word >> 8);
        }
        break;
      case 32:
        for (int32_t x = 0; x < w; ++x) {
          uint32_t v = src[4 * x] | (src[4 * x + 1] << 8) | (src[4 * x + 2] << 16) |
                       (static_cast<uint32_t>(src[4 * x + 3]) << 24);
          dst[3 * x] = static_cast<uint8_t>(Scale(b, v));
          dst[3 * x + 1] = static_cast<uint8_t>(Scale(g, v));
          dst[3 * x + 2] = static_cast<uint8_t>(Scale(r, v));
        }
        break;
    }
  }
  page->data = out;
  page->dataOffset = 0;
  page->dataOwnership = kOwnedByPage;
  page->bitsPerPixel = static_cast<int8_t>(target);
  page->bytesPerLine = stride;
  page->dataSize = static_cast<uint32_t>(size);
  return kOk;
}

int32_t ReadBmp(ImageFile* file, PageRecord* page, const BmpLayout& bmp, bool geometry) {
  const Bytes f{file->view, static_cast<uint64_t>(file->fileSize)};
  const int bpp = bmp.bitsPerPixel;
  if (int32_t r = CheckPageSize(bmp.width, bmp.height, bpp); r != kOk) return r;
  if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 &&
      bpp != 32)
    return kErrBitDepth;

  // The run-length and bit-field codes differ between the two families:
  // Windows 1 = RLE8, 2 = RLE4, 3 = bit fields; OS/2 1, 2, and 4 = RLE24.
  bool rle = false;
  bool bitFields = false;
  const bool windows = bmp.header == Header::kWindows;
  switch (bmp.compression) {
    case 0: break;
    case 1: rle = bpp == 8; break;
    case 2: rle = bpp == 4; break;
    case 3: bitFields = windows && (bpp == 16 || bpp == 32); break;
    case 4: rle = !windows && bpp == 24; break;
    default: break;
  }
  if (bmp.compression != 0 && !rle && !bitFields) return kErrUnsupported;
  if (rle && bmp.topDown) return kErrUnsupported;  // run-length data is bottom-up

  const uint64_t offset = f.LE32(10);
  if (offset >= f.n) return kErrIo;
  page->width = bmp.width;
  page->height = bmp.height;
  page->compression = static_cast<int8_t>(rle ? kBmpRle : kUncompressed);
  page->bitsPerPixel = static_cast<int8_t>(bpp);
  page->planes = 1;
  page->dataSize = static_cast<uint32_t>(f.n - offset);
  page->bytesPerLine = bpp == 32 ? static_cast<uint32_t>(bmp.width) * 4
                                 : BytesPerLine(bmp.width, bpp);
  page->data = file->view + offset;
  page->dataOffset = 0;
  page->layoutFlags = static_cast<int8_t>(
      bmp.topDown ? kLayoutTopDown : (kLayoutBottomUp | kLayoutBmp));
  page->dataOwnership = kOwnedByView;
  page->stripCount = 0;
  page->photometric = 0;
  page->fillOrderReversed = 0;
  uint32_t pels = f.LE32(38), pelsY = f.LE32(42);
  page->xResolution = bmp.header == Header::kCore ? 0 : static_cast<int32_t>((pels * 254 + 5000) / 10000);
  page->yResolution = bmp.header == Header::kCore ? 0 : static_cast<int32_t>((pelsY * 254 + 5000) / 10000);
  if (!rle && SizeProduct(page->bytesPerLine, static_cast<uint32_t>(bmp.height)) >
                  page->dataSize)
    return kErrIo;  // shorter than its pixel data

  const bool core = bmp.header == Header::kCore;
  const uint64_t paletteAt = 14 + static_cast<uint64_t>(bmp.headerSize) +
                             (bitFields && bmp.headerSize == 40 ? 12 : 0);
  const int entrySize = core ? 3 : 4;
  if (bpp == 1) page->photometric = BilevelPolarity(f, paletteAt, entrySize);
  if (bpp == 4 || bpp == 8) {
    int entries = 1 << bpp;
    uint32_t used = core ? 0 : f.LE32(46);
    if (used > 0 && used < static_cast<uint32_t>(entries)) entries = static_cast<int>(used);
    int32_t r = ReadPalette(f, paletteAt, entrySize, entries, page);
    if (r != kOk) return r;
  }
  if (bpp == 2) {
    page->palette = MakeGrayPalette(2);
    if (!page->palette) return kErrMemory;
    for (int i = 0; i < 4; ++i) std::memset(page->palette + 3 * i, 0x55 * i, 3);
  }

  BmpLayout conv = bmp;
  bool convert = bpp == 2 || bpp == 32;
  if (bpp == 16) {
    if (!bitFields) {
      conv.masks[0] = 0x7C00, conv.masks[1] = 0x03E0, conv.masks[2] = 0x001F;
    }
    // Only the exact 5-6-5 layout stays in the view.
    convert = !(conv.masks[0] == 0xF800 && conv.masks[1] == 0x07E0 &&
                conv.masks[2] == 0x001F);
  }
  if (bpp == 32 && !bitFields) {
    conv.masks[0] = 0x00FF0000, conv.masks[1] = 0x0000FF00, conv.masks[2] = 0x000000FF;
  }
  if (bitFields && (conv.masks[0] == 0 || conv.masks[1] == 0 || conv.masks[2] == 0)) {
    FreePage(page);
    return kErrBadHeader;
  }
  if (convert && geometry) {
    page->bitsPerPixel = static_cast<int8_t>(bpp == 32 ? 24 : bpp == 2 ? 4 : 16);
    page->bytesPerLine = BytesPerLine(bmp.width, page->bitsPerPixel);
  } else if (convert) {
    int32_t r = ConvertPixels(conv, file->view + offset, page->bytesPerLine, page);
    if (r != kOk) {
      page->data = nullptr;
      FreePage(page);
      return r;
    }
  }
  return kOk;
}

BmpLayout WindowsLayout(const Bytes& f, Header header) {
  BmpLayout bmp{};
  bmp.header = header;
  bmp.headerSize = f.LE32(14);
  bmp.width = static_cast<int32_t>(f.LE32(18));
  int32_t height = static_cast<int32_t>(f.LE32(22));
  bmp.topDown = height < 0;
  bmp.height = height == INT32_MIN ? 0 : (height < 0 ? -height : height);
  bmp.bitsPerPixel = f.U8(28) * f.U8(26);
  bmp.compression = f.LE32(30);
  bmp.masks[0] = f.LE32(54);
  bmp.masks[1] = f.LE32(58);
  bmp.masks[2] = f.LE32(62);
  return bmp;
}

}  // namespace

int32_t ReadWindowsBmp(ImageFile* file, PageRecord* page, int32_t /*index*/, bool geometry) {
  const Bytes f{file->view, static_cast<uint64_t>(file->fileSize)};
  return ReadBmp(file, page, WindowsLayout(f, Header::kWindows), geometry);
}

// Identified as OS/2: the 12-byte core header, OS/2 2.x headers, and the
// newer Windows headers (52, 56, 108, 124 bytes) whose palettes follow the
// header with 4-byte entries.
int32_t ReadOs2Bmp(ImageFile* file, PageRecord* page, int32_t /*index*/, bool geometry) {
  const Bytes f{file->view, static_cast<uint64_t>(file->fileSize)};
  uint32_t headerSize = f.LE32(14);
  if (headerSize == 12) {
    BmpLayout bmp{};
    bmp.header = Header::kCore;
    bmp.headerSize = 12;
    bmp.width = static_cast<int32_t>(f.LE16(18));
    bmp.height = static_cast<int32_t>(f.LE16(20));
    bmp.bitsPerPixel = f.U8(22) * f.U8(24);
    return ReadBmp(file, page, bmp, geometry);
  }
  bool windows = headerSize == 40 || headerSize == 52 || headerSize == 56 ||
                 headerSize == 108 || headerSize == 124;
  return ReadBmp(file, page,
                 WindowsLayout(f, windows ? Header::kWindows : Header::kOs2v2), geometry);
}

}  // namespace quillon
