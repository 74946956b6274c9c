// JFIF pages: the whole file is the JPEG stream; only the frame header is
// read here.
#include "imaging/codecs/jpeg.h"
#include "imaging/readers/readers.h"

namespace quillon {

int32_t ReadJpegFrameHeader(const Bytes& stream, uint64_t start,
                            PageRecord* page) {
  uint64_t at = start;
  uint32_t junk = 0;
  while (at + 4 <= stream.n) {
    uint32_t marker = stream.BE16(at);
    if ((marker & 0xFFFC) == 0) {  // stray zero words are skipped alone
      at += 2;
      continue;
    }
    // Fill bytes before a marker, and junk up to the next 0xFF that starts
    // a marker.
    if (marker == 0xFFFF) {
      ++at;
      continue;
    }
    if ((marker >> 8) != 0xFF || !IsKnownJpegMarker(static_cast<int>(marker & 0xFF))) {
      if (++junk > kJpegJunkLimit) return kErrBadHeader;
      ++at;
      continue;
    }
    if (marker >= 0xFFC0 && marker <= 0xFFC3) {
      // Frame header: length, precision, height, width, components.
      if (!stream.Has(at + 2, 8)) return kErrBadHeader;
      page->height = static_cast<int32_t>(stream.BE16(at + 5));
      page->width = static_cast<int32_t>(stream.BE16(at + 7));
      int components = stream.U8(at + 9);
      if (components == 1) {
        page->bitsPerPixel = 8;
        page->palette = MakeGrayPalette(8);
        if (!page->palette) return kErrMemory;
      } else {
        page->bitsPerPixel = 24;
      }
      return kOk;
    }
    at += 2 + static_cast<uint64_t>(stream.BE16(at + 2));
  }
  return kErrBadHeader;
}

int32_t ReadJfif(ImageFile* file, PageRecord* page, int32_t /*index*/) {
  const Bytes f{file->view, static_cast<uint64_t>(file->fileSize)};
  page->compression = kJpeg;
  page->data = file->view;
  page->dataOffset = 0;
  page->dataSize = static_cast<uint32_t>(f.n);
  page->dataOwnership = kOwnedByView;
  page->layoutFlags = kLayoutTopDown;
  page->stripCount = 0;
  page->photometric = 0;
  page->fillOrderReversed = 0;
  page->planes = 1;
  if (f.n < 3) return kErrBadHeader;
  // Density from a JFIF APP0 segment, when it gives dots per inch or cm.
  if (f.BE16(2) == 0xFFE0 && f.Equals(6, "JFIF", 5)) {
    uint32_t units = f.U8(13), x = f.BE16(14), y = f.BE16(16);
    if (units == 1) {
      page->xResolution = static_cast<int32_t>(x);
      page->yResolution = static_cast<int32_t>(y);
    } else if (units == 2) {
      page->xResolution = static_cast<int32_t>((x * 254 + 50) / 100);
      page->yResolution = static_cast<int32_t>((y * 254 + 50) / 100);
    }
  }
  return ReadJpegFrameHeader(f, 2, page);
}

}  // namespace quillon
