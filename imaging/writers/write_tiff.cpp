// Single-strip little-endian TIFF files: header, directory, the values
// that do not fit in an entry (the extra area), image data; each further
// page appends its directory, extra area and data, linked from the
// directory before.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/scratch.h"
#include "imaging/core/tiff_tags.h"
#include "imaging/writers/output.h"
#include "imaging/writers/writers.h"

namespace quillon {

namespace {

constexpr const char* kCopyright = "Written with the Quillon imaging library";

struct Entry {
  uint16_t tag;
  uint16_t type;
  uint32_t count;
  uint32_t value;  // the value itself, or an offset into the extra area
  bool inExtra;    // value is an extra-area offset, moved when the layout is known
};

uint32_t TiffCompression(int code) {
  switch (code) {
    case kUncompressed: return 1;
    case kG3OneD:
    case kG3TwoD: return 3;
    case kG4: return 4;
    case kPackBits: return 32773;
    case kModifiedHuffman: return 2;
    case kLzwTiff: return 5;
    case kJpeg: return 7;
    default: return 0;
  }
}

// Uncompressed rows top line first, unpadded; colour as red, green, blue;
// each goes through `row` (rowBytes long).
void WriteRows(const PageRecord* page, uint32_t rowBytes, uint8_t* row, Output& out);

// Where the last directory of the file keeps its link to the next one, or
// 0 when the pages already written do not read back as a chain.
uint64_t LastLink(FileHandle handle, int32_t pages) {
  uint8_t b[8];
  const Bytes read{b, sizeof b};
  if (ReadAt(handle, 0, b, 8) != 8 || !read.Equals(0, "II*\0", 4)) return 0;
  uint64_t ifd = read.LE32(4);
  for (int32_t k = 0; k < pages && ifd != 0; ++k) {
    if (ReadAt(handle, ifd, b, 2) != 2) return 0;
    const uint64_t link = ifd + 2 + 12 * static_cast<uint64_t>(read.LE16(0));
    if (ReadAt(handle, link, b, 4) != 4) return 0;
    ifd = read.LE32(0);
    if (ifd == 0) return k + 1 == pages ? link : 0;
  }
  return 0;
}

}  // namespace

int32_t WriteTiff(ImageFile* file, const PageRecord* page, HeaderArea& area, Output& out) {
  const int bpp = page->bitsPerPixel;
  const int code = page->compression;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24) return kErrParameter;
  if (TiffCompression(code) == 0 || (code == kJpeg && bpp != 8 && bpp != 24)) return kErrParameter;
  if ((code == kG3OneD || code == kG3TwoD || code == kG4 || code == kModifiedHuffman) && bpp != 1)
    return kErrParameter;
  if (page->width < 1 || page->height < 1) return kErrParameter;
  const uint32_t height = static_cast<uint32_t>(page->height);
  const uint32_t rowBytes = RowBytes(page->width, bpp);
  if (code == kUncompressed && (page->bytesPerLine < rowBytes ||
                                SizeProduct(page->bytesPerLine, height - 1) + rowBytes > page->dataSize))
    return kErrParameter;
  const uint64_t imageBytes = code == kUncompressed ? SizeProduct(rowBytes, height) : page->dataSize;
  if (imageBytes > UINT32_MAX - 65536) return kErrParameter;
  // The row work area is had before anything is written.
  Scratch<uint8_t> row(code == kUncompressed ? rowBytes : 0);
  if (code == kUncompressed && !row) return kErrMemory;

  // The extra area is built from offset 0 and moved behind the directory.
  std::vector<uint8_t> extra;
  auto put = [&](uint32_t at, const void* data, size_t n) {
    if (extra.size() < at + n) extra.resize(at + n, 0);
    std::memcpy(extra.data() + at, data, n);
  };
  auto align = [&](uint32_t to) {
    while (extra.size() % to) extra.push_back(0);
    return static_cast<uint32_t>(extra.size());
  };

  // Photometric: fax codings keep the page's polarity (white runs are
  // white); packed rows hold 1 for white, BlackIsZero; JPEG data is YCbCr
  // or gray; other depths are palette images.
  uint32_t photometric;
  const bool fax = code == kG3OneD || code == kG3TwoD || code == kG4 || code == kModifiedHuffman;
  if (bpp == 1) photometric = fax ? static_cast<uint32_t>(page->photometric) : 1u - (page->photometric & 1);
  else if (code == kJpeg) photometric = bpp == 24 ? 6 : 1;
  else if (bpp == 24) photometric = 2;
  else photometric = 3;

  std::vector<Entry> entries;
  entries.push_back({kTagNewSubfileType, kTiffLong, 1, 0, false});
  entries.push_back({kTagImageWidth, kTiffLong, 1, static_cast<uint32_t>(page->width), false});
  entries.push_back({kTagImageLength, kTiffLong, 1, height, false});
  const uint32_t commentLength = static_cast<uint32_t>(strnlen(page->comment, 127));
  if (commentLength) {
    put(0, page->comment, commentLength + 1);
    extra[commentLength] = 0;
    entries.push_back({kTagImageDescription, kTiffAscii, commentLength + 1, 0, true});
  }
  if (bpp == 24) {
    // Three samples of 8 bits, so that every reader takes the pixels apart.
    uint32_t at = align(2);
    const uint16_t eights[3] = {8, 8, 8};
    put(at, eights, 6);
    entries.push_back({kTagBitsPerSample, kTiffShort, 3, at, true});
  } else {
    entries.push_back({kTagBitsPerSample, kTiffLong, 1, static_cast<uint32_t>(bpp), false});
  }
  entries.push_back({kTagCompression, kTiffLong, 1, TiffCompression(code), false});
  entries.push_back({kTagPhotometric, kTiffLong, 1, photometric, false});
  entries.push_back({kTagFillOrder, kTiffLong, 1, page->fillOrderReversed == 1 ? 2u : 1u, false});
  entries.push_back({kTagStripOffsets, kTiffLong, 1, 0, false});  // set below
  entries.push_back({kTagSamplesPerPixel, kTiffLong, 1, bpp == 24 ? 3u : 1u, false});
  entries.push_back({kTagRowsPerStrip, kTiffLong, 1, height, false});
  entries.push_back({kTagStripByteCounts, kTiffLong, 1, static_cast<uint32_t>(imageBytes), false});
  uint32_t at = align(4);
  const uint32_t xr[2] = {static_cast<uint32_t>(page->xResolution), 1};
  const uint32_t yr[2] = {static_cast<uint32_t>(page->yResolution), 1};
  put(at, xr, 8);
  put(at + 8, yr, 8);
  entries.push_back({kTagXResolution, kTiffRational, 1, at, true});
  entries.push_back({kTagYResolution, kTiffRational, 1, at + 8, true});
  if (code == kG3TwoD) entries.push_back({kTagT4Options, kTiffLong, 1, 1, false});
  entries.push_back({kTagResolutionUnit, kTiffLong, 1, 2, false});
  at = static_cast<uint32_t>(extra.size());
  put(at, kLibraryBanner.data(), kLibraryBanner.size());
  extra.push_back(0);
  entries.push_back({kTagSoftware, kTiffAscii, static_cast<uint32_t>(kLibraryBanner.size() + 1), at, true});
  if ((bpp == 4 || bpp == 8) && code != kJpeg) {
    at = align(2);
    const uint32_t n = 1u << bpp;
    std::vector<uint16_t> map(3 * n, 0);
    for (uint32_t i = 0; i < n && page->palette; ++i) {
      map[i] = static_cast<uint16_t>(page->palette[3 * i + 2] * 257);
      map[n + i] = static_cast<uint16_t>(page->palette[3 * i + 1] * 257);
      map[2 * n + i] = static_cast<uint16_t>(page->palette[3 * i] * 257);
    }
    put(at, map.data(), map.size() * 2);
    entries.push_back({kTagColorMap, kTiffShort, 3 * n, at, true});
  }
  if (code == kJpeg && bpp == 24) {
    // The encoder subsamples chrominance 2 x 2.
    entries.push_back({kTagYCbCrSubsampling, kTiffShort, 2, 2 | (2u << 16), false});
  }
  at = static_cast<uint32_t>(extra.size());
  put(at, kCopyright, std::strlen(kCopyright) + 1);
  entries.push_back({kTagCopyright, kTiffAscii, static_cast<uint32_t>(std::strlen(kCopyright) + 1), at, true});
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });

  // A further page goes at the end of the file (on a word boundary, where
  // TIFF wants directories), its offsets moved by as much.
  uint64_t link = 0, shift = 0;
  if (file->pageCount > 0) {
    link = LastLink(file->fileHandle, file->pageCount);
    const int64_t end = Seek(file->fileHandle, 0, 2);
    if (link == 0 || end < 8) return kErrParameter;
    if (end % 2) out.Put("", 1);
    shift = static_cast<uint64_t>(end + end % 2) - 8;
  }
  const uint32_t n = static_cast<uint32_t>(entries.size());
  const uint32_t extraAt = 14 + 12 * n;
  const uint32_t imageAt = extraAt + static_cast<uint32_t>(extra.size());
  if (shift + imageAt + imageBytes > UINT32_MAX) return kErrParameter;
  area.Bytes(0, "II", 2);
  area.Le16(2, 42);
  area.Le32(4, 8);
  area.Le16(8, n);
  for (uint32_t i = 0; i < n; ++i) {
    Entry e = entries[i];
    if (e.tag == kTagStripOffsets) e.value = static_cast<uint32_t>(imageAt + shift);
    if (e.inExtra) e.value += static_cast<uint32_t>(extraAt + shift);
    const uint32_t p = 10 + 12 * i;
    area.Le16(p, e.tag);
    area.Le16(p + 2, e.type);
    area.Le32(p + 4, e.count);
    if (e.type == 3 && e.count <= 2 && !e.inExtra) {
      area.Le16(p + 8, e.value & 0xFFFF);
      area.Le16(p + 10, e.value >> 16);
    } else {
      area.Le32(p + 8, e.value);
    }
  }
  area.Le32(10 + 12 * n, 0);
  area.Bytes(extraAt, extra.data(), static_cast<uint32_t>(extra.size()));
  if (area.overflow) return kErrParameter;
  if (link) out.Put(area.p + 8, imageAt - 8);  // no second header
  else out.Put(area.p, imageAt);
  if (code != kUncompressed) out.Put(PageBytes(page), page->dataSize);
  else WriteRows(page, rowBytes, row.data(), out);
  if (link && !out.failed) {
    // The directory before points at this one only once it is complete.
    uint8_t pointer[4];
    PutLE32(pointer, static_cast<uint32_t>(shift + 8));
    out.failed = Seek(file->fileHandle, static_cast<int64_t>(link), 0) < 0 ||
                 Write(file->fileHandle, pointer, 4) != 4 ||
                 Seek(file->fileHandle, 0, 2) < 0;
  }
  return kOk;
}

namespace {

void WriteRows(const PageRecord* page, uint32_t rowBytes, uint8_t* row, Output& out) {
  const uint32_t height = static_cast<uint32_t>(page->height);
  const int bpp = page->bitsPerPixel;
  const bool bottomUp = page->layoutFlags & kLayoutBottomUp;
  for (uint32_t k = 0; k < height; ++k) {
    const uint32_t y = bottomUp ? height - 1 - k : k;
    const uint8_t* src = PageBytes(page) + static_cast<uint64_t>(y) * page->bytesPerLine;
    std::copy(src, src + rowBytes, row);
    if (bpp == 24)
      for (uint32_t x = 0; x + 2 < rowBytes; x += 3) std::swap(row[x], row[x + 2]);
    out.Put(row, rowBytes);
  }
}

}  // namespace

}  // namespace quillon
