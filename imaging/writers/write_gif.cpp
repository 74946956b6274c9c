// GIF87a files of one image; the LZW code stream comes from the GIF variant
// of the encoder, whose first two bytes are the descriptor's packed byte and
// the code size.
#include <algorithm>
#include <cstring>

#include "imaging/writers/output.h"
#include "imaging/writers/writers.h"

namespace quillon {

int32_t WriteGif(ImageFile* file, const PageRecord* page, HeaderArea& area, Output& out) {
  const int bpp = page->bitsPerPixel;
  if (page->compression != kLzwGif || file->pageCount != 0) return kErrParameter;
  if ((bpp != 1 && bpp != 4 && bpp != 8) || page->dataSize < 2) return kErrParameter;
  if (page->width < 1 || page->height < 1 || page->width > 65535 || page->height > 65535)
    return kErrParameter;
  uint32_t at = 0;
  area.Bytes(0, "GIF87a", 6);
  area.Le16(6, static_cast<uint32_t>(page->width));
  area.Le16(8, static_cast<uint32_t>(page->height));
  area.Byte(10, static_cast<uint8_t>((bpp - 1) | 0x80));
  at = 13;
  if (bpp == 1) {
    const uint8_t blackWhite[6] = {0, 0, 0, 255, 255, 255};
    area.Bytes(at, blackWhite, 6);
    at += 6;
  } else {
    for (uint32_t i = 0; i < (1u << bpp); ++i, at += 3) {
      const uint8_t* e = page->palette ? page->palette + 3 * i : nullptr;
      const uint8_t rgb[3] = {e ? e[2] : uint8_t(0), e ? e[1] : uint8_t(0), e ? e[0] : uint8_t(0)};
      area.Bytes(at, rgb, 3);
    }
  }
  // The library's banner as an application extension (its 11 bytes are the
  // identifier and authentication code).
  const uint8_t intro[3] = {0x21, 0xFF, static_cast<uint8_t>(kLibraryBanner.size())};
  area.Bytes(at, intro, 3);
  area.Bytes(at + 3, kLibraryBanner.data(), static_cast<uint32_t>(kLibraryBanner.size()));
  at += 3 + static_cast<uint32_t>(kLibraryBanner.size());
  area.Byte(at++, 0);
  const uint32_t commentLength = static_cast<uint32_t>(strnlen(page->comment, 127));
  if (commentLength) {
    const uint8_t c[3] = {0x21, 0xFE, static_cast<uint8_t>(commentLength)};
    area.Bytes(at, c, 3);
    area.Bytes(at + 3, page->comment, commentLength);
    at += 3 + commentLength;
    area.Byte(at++, 0);
  }
  const uint8_t descriptor[11] = {',', 0, 0, 0, 0,
                                  static_cast<uint8_t>(page->width), static_cast<uint8_t>(page->width >> 8),
                                  static_cast<uint8_t>(page->height), static_cast<uint8_t>(page->height >> 8),
                                  static_cast<uint8_t>(bpp - 1), static_cast<uint8_t>(bpp == 1 ? 2 : bpp)};
  area.Bytes(at, descriptor, 11);
  at += 11;
  out.Put(area.p, at);
  // The code stream in sub-blocks of at most 255 bytes.
  const uint8_t* codes = PageBytes(page) + 2;
  uint64_t left = page->dataSize - 2;
  while (left > 0) {
    uint8_t n = static_cast<uint8_t>(std::min<uint64_t>(left, 255));
    out.Put(&n, 1);
    out.Put(codes, n);
    codes += n;
    left -= n;
  }
  const uint8_t end[2] = {0, ';'};
  out.Put(end, 2);
  return kOk;
}

}  // namespace quillon
