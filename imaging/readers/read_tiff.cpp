// TIFF pages: the directory reader.
//
// The page's data normally stays in the view, still compressed, strip by
// strip.  Tiled pages, 16-bit samples, Deflate data, plain rows deeper than
// 1 bpp and bilevel data stored least significant bit first are decoded
// here into one owned buffer of plain rows (tiff_blocks.cpp).
#include <algorithm>
#include <cstring>

#include "imaging/codecs/codecs.h"
#include "imaging/readers/readers.h"
#include "imaging/readers/tiff.h"
#include "imaging/readers/tiff_blocks.h"

namespace quillon {

namespace {

constexpr int kDeflate = kTiffDeflate;

// TIFF compression -> CompressionCode; kDeflate for zlib data; -2 unknown.
int MapCompression(uint32_t value) {
  switch (value) {
    case 1: return kUncompressed;
    case 2: return kModifiedHuffman;
    case 3: return kG3OneD;
    case 4: return kG4;
    case 5: return kLzwTiff;
    case 6:
    case 7: return kJpeg;
    case 8:
    case 32946: return kDeflate;
    case 32773: return kPackBits;
    default: return -2;
  }
}

void CopyText(const Bytes& f, const TiffEntry& e, char* field) {
  if (e.count == 0) return;
  std::memset(field, 0, 128);
  uint32_t n = e.count < 127 ? e.count : 127;
  for (uint32_t i = 0; i < n && f.Has(e.dataAt + i, 1); ++i)
    field[i] = static_cast<char>(f.U8(e.dataAt + i));
}

int32_t Rational(const Bytes& f, const TiffEntry& e, bool big) {
  if (e.value >= f.n || f.n - e.value < 8) return 0;  // not below size - 8
  uint32_t num = f.U32(e.value, big), den = f.U32(e.value + 4, big);
  if (den == 0) return 0;
  uint64_t v = (static_cast<uint64_t>(num) + den / 2) / den;  // 2039999/10000 is 204
  return v > 65535 ? 0 : static_cast<int32_t>(v);
}

// Gray and palette entries from the ColorMap: 3 x 2^bpp 16-bit values, all
// reds, then greens, then blues; the high byte of each.
int32_t ReadColorMap(const Bytes& f, uint64_t at, bool big, int bpp, PageRecord* page) {
  page->palette = AllocateBytes(768);
  if (!page->palette) return kErrMemory;
  const uint64_t n = uint64_t{1} << bpp;
  for (uint64_t i = 0; i < n; ++i) {
    page->palette[3 * i + 2] = static_cast<uint8_t>(f.U16(at + 2 * i, big) >> 8);
    page->palette[3 * i + 1] = static_cast<uint8_t>(f.U16(at + 2 * (n + i), big) >> 8);
    page->palette[3 * i] = static_cast<uint8_t>(f.U16(at + 2 * (2 * n + i), big) >> 8);
  }
  return kOk;
}

// What the directory says, gathered by the tag pass before any of it is
// applied.
struct TiffFields {
  int compression = kUncompressed;
  uint32_t tiffCompression = 1;
  uint32_t samples = 1, planar = 1, predictor = 1, t4Options = 0, unit = 2;
  uint32_t photometric = 0, rowsPerStrip = 0;
  uint32_t bitsPerSample = 1, tileWidth = 0, tileLength = 0;
  bool whole = false, bitsListed = false, bitsUniform = true, tiled = false;
  TiffEntry offsets{}, counts{}, colorMap{}, xRes{}, yRes{}, tables{};
  bool haveOffsets = false, haveCounts = false, haveColorMap = false, haveX = false, haveY = false,
       haveTables = false;
};

// The tag pass: the page's size, depth, fill order and texts go straight
// into the page, the rest into `t`.
void ReadFields(const Bytes& f, uint64_t directoryOffset, uint32_t n, bool big, PageRecord* page,
                TiffFields& t) {
  for (uint32_t i = 0; i < n; ++i) {
    TiffEntry e = ReadTiffEntry(f, directoryOffset + 2 + 12 * static_cast<uint64_t>(i), big);
    switch (e.tag) {
      case kTagImageWidth: page->width = static_cast<int32_t>(std::min<uint32_t>(e.value, INT32_MAX)); break;
      case kTagImageLength: page->height = static_cast<int32_t>(std::min<uint32_t>(e.value, INT32_MAX)); break;
      case kTagBitsPerSample:
        if (e.count == 1) {
          page->bitsPerPixel = static_cast<int8_t>(std::min<uint32_t>(e.value, 64));
          t.bitsPerSample = e.value;
        } else {
          page->bitsPerPixel = 24;
          t.bitsListed = true;
          t.bitsPerSample = e.count ? TiffArrayValue(f, e, 0, big) : 8;
          for (uint32_t k = 0; k < e.count && k < 8; ++k)
            t.bitsUniform = t.bitsUniform && TiffArrayValue(f, e, k, big) == t.bitsPerSample;
        }
        break;
      case kTagCompression:
        t.compression = MapCompression(e.value);
        t.tiffCompression = e.value;
        break;
      case kTagPhotometric: t.photometric = e.value; break;
      case kTagFillOrder: page->fillOrderReversed = e.value == 2 ? 1 : 0; break;
      case kTagImageDescription: CopyText(f, e, page->comment); break;
      case kTagMake: case kTagSoftware: CopyText(f, e, page->applicationText); break;
      case kTagModel: case kTagCopyright: CopyText(f, e, page->plainText); break;
      case kTagStripOffsets: t.offsets = e; t.haveOffsets = true; break;
      case kTagSamplesPerPixel: t.samples = e.value; break;
      case kTagRowsPerStrip: t.rowsPerStrip = e.value; break;
      case kTagStripByteCounts: t.counts = e; t.haveCounts = true; break;
      case kTagXResolution: t.xRes = e; t.haveX = true; break;
      case kTagYResolution: t.yRes = e; t.haveY = true; break;
      case kTagPlanarConfig: t.planar = e.value; break;
      case kTagT4Options: t.t4Options = e.value; break;
      case kTagResolutionUnit: t.unit = e.value; break;
      case kTagPredictor: t.predictor = e.value; break;
      case kTagColorMap: t.colorMap = e; t.haveColorMap = true; break;
      case kTagTileWidth: t.tileWidth = e.value; break;
      case kTagTileLength: t.tileLength = e.value; break;
      case kTagTileOffsets: t.offsets = e; t.haveOffsets = true; t.tiled = true; break;
      case kTagTileByteCounts: t.counts = e; t.haveCounts = true; break;
      case kTagJpegTables: t.tables = e; t.haveTables = true; break;
      case kTagJpegInterchange:
        t.offsets = e;
        t.offsets.count = 1;
        t.haveOffsets = true;
        break;
      case kTagJpegInterchangeLength:
        t.counts = e;
        t.counts.count = 1;
        t.haveCounts = true;
        break;
      case kTagOneStrip: t.whole = true; break;
      default: break;
    }
  }
}

void ApplyResolution(const Bytes& f, bool big, const TiffFields& t, PageRecord* page) {
  if (t.haveX) page->xResolution = Rational(f, t.xRes, big);
  if (t.haveY) page->yResolution = Rational(f, t.yRes, big);
  if (t.unit == 3) {  // per centimetre
    page->xResolution = static_cast<int32_t>((page->xResolution * 254LL + 50) / 100);
    page->yResolution = static_cast<int32_t>((page->yResolution * 254LL + 50) / 100);
  }
}

// Variants this reader cannot lay out as the library's pixels: kOk, or the
// error.  Settles the depth of RGB pages.
int32_t CheckVariant(TiffFields& t, PageRecord* page) {
  if (t.compression == -2) return kErrUnsupported;
  if (t.photometric == 6 && t.compression == kJpeg) t.photometric = 2;
  if (t.photometric == 2 && t.samples == 3 && page->bitsPerPixel == 8 && !t.bitsListed)
    page->bitsPerPixel = 24;  // one BitsPerSample value standing for all three
  if (t.samples != 1 && t.samples != 3) return kErrUnsupported;
  if (t.samples == 3 && (t.photometric != 2 || t.planar == 2)) return kErrUnsupported;
  if (t.bitsListed && (!t.bitsUniform || (t.bitsPerSample != 8 && t.bitsPerSample != 16))) return kErrBitDepth;
  if (t.photometric > 3) return kErrUnsupported;
  if (t.bitsPerSample == 16) {
    // Gray and RGB samples of 16 bits are read as 8-bit ones.
    if (t.photometric == 3 || (t.compression != kUncompressed && t.compression != kPackBits &&
                               t.compression != kLzwTiff && t.compression != kDeflate))
      return kErrUnsupported;
    page->bitsPerPixel = static_cast<int8_t>(t.samples == 3 ? 24 : 8);
  }
  const int bpp = page->bitsPerPixel;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24) return kErrUnsupported;
  // RGB rows are three bytes a pixel; any other depth would be read as such.
  if (t.photometric == 2 && bpp != 24) return kErrUnsupported;
  // Checked before any buffer the size of the page is gathered.
  if (int32_t r = CheckPageSize(page->width, page->height, bpp); r != kOk) return r;
  if (!t.haveOffsets) return kErrBadHeader;
  if (t.predictor == 3) return kErrUnsupported;
  return kOk;
}

// One block, or the strip tables cut at the end of the file.  On failure
// the page is released.
int32_t ReadStrips(const Bytes& f, bool big, const TiffFields& t, PageRecord* page) {
  const uint32_t fileSize = static_cast<uint32_t>(f.n);
  if (t.offsets.count < 2) {
    page->dataSize = t.haveCounts ? t.counts.value : 0;
    page->rowsPerStrip = page->height;
    page->stripCount = 0;
    page->dataOffset = t.offsets.value;
    if (page->dataSize == 0) page->dataSize = fileSize;
  } else {
    page->stripCount = static_cast<int32_t>(std::min<uint32_t>(t.offsets.count, 65536));
    page->dataOffset = 0;
    page->rowsPerStrip = t.rowsPerStrip == 0 || t.rowsPerStrip > static_cast<uint32_t>(page->height)
                             ? page->height
                             : static_cast<int32_t>(t.rowsPerStrip);
  }
  page->bytesPerLine = RowBytes(page->width, page->bitsPerPixel);

  if (page->stripCount >= 2) {
    page->stripOffsets = AllocateArray<uint32_t>(page->stripCount);
    page->stripByteCounts = AllocateArray<uint32_t>(page->stripCount);
    if (!page->stripOffsets || !page->stripByteCounts) {
      FreePage(page);
      return kErrMemory;
    }
    uint64_t sum = 0;
    for (int32_t s = 0; s < page->stripCount; ++s) {
      uint32_t at = TiffArrayValue(f, t.offsets, static_cast<uint32_t>(s), big);
      uint32_t count = t.haveCounts && static_cast<uint32_t>(s) < t.counts.count
                           ? TiffArrayValue(f, t.counts, static_cast<uint32_t>(s), big)
                           : 0;
      // Strips are cut at the end of the file.
      if (at >= fileSize) count = 0;
      else if (count > fileSize - at) count = fileSize - at;
      page->stripOffsets[s] = at;
      page->stripByteCounts[s] = count;
      sum += count;
    }
    if (sum == 0) {
      FreePage(page);
      return kErrBadHeader;
    }
    page->dataSize = static_cast<uint32_t>(std::min<uint64_t>(sum, UINT32_MAX));
  }
  if (page->stripCount < 2) {
    if (page->dataOffset >= fileSize) page->dataSize = 0;
    else if (page->dataSize > fileSize - page->dataOffset)
      page->dataSize = fileSize - page->dataOffset;
  }
  if (t.predictor == 2) page->layoutFlags |= kLayoutPredictor;
  return kOk;
}

// JPEG strips as current writers make them (compression 7): each strip is
// a stream of its own that may leave its tables to the JPEGTables field.
// The decoder takes the strips from the strip tables, even a single one,
// and the shared tables from data + dataOffset (dataSize 0: none).
int32_t TakeJpegTables(const Bytes& f, const TiffFields& t, PageRecord* page) {
  if (t.compression != kJpeg || t.tiffCompression != 7) return kOk;
  if (page->stripCount < 2) {
    page->stripCount = 1;
    page->stripOffsets = AllocateArray<uint32_t>(1);
    page->stripByteCounts = AllocateArray<uint32_t>(1);
    if (!page->stripOffsets || !page->stripByteCounts) {
      FreePage(page);
      return kErrMemory;
    }
    page->stripOffsets[0] = page->dataOffset;
    page->stripByteCounts[0] = page->dataSize;
  }
  const bool inside = t.haveTables && f.Has(t.tables.dataAt, t.tables.count);
  page->dataOffset = inside ? static_cast<uint32_t>(t.tables.dataAt) : 0;
  page->dataSize = inside ? t.tables.count : 0;
  return kOk;
}

// The page's polarity, and the palette of gray, palette and two-colour
// pages.  On failure the page is released.
int32_t ApplyPhotometric(const Bytes& f, bool big, const TiffFields& t, PageRecord* page) {
  uint32_t photometric = t.photometric;
  const int bpp = page->bitsPerPixel;
  const int code = page->compression;
  if (bpp == 1 && (code == kUncompressed || code == kPackBits) && photometric <= 1)
    photometric = 1 - photometric;  // raw WhiteIsZero bits must be inverted
  if (photometric == 2) {
    photometric = 0;
    page->bitsPerPixel = 24;
  }
  if (photometric <= 1 && (bpp == 4 || bpp == 8)) {
    page->palette = MakeGrayPalette(bpp);
    if (!page->palette) {
      FreePage(page);
      return kErrMemory;
    }
    if (photometric == 0)
      for (int i = 0; i < 768; ++i) page->palette[i] = static_cast<uint8_t>(255 - page->palette[i]);
    photometric = 0;
  }
  if (photometric == 3) {
    if (bpp == 4 || bpp == 8) {
      int32_t r = t.haveColorMap && t.colorMap.value < f.n
                      ? ReadColorMap(f, t.colorMap.value, big, bpp, page)
                      : (page->palette = MakeGrayPalette(bpp)) ? kOk : kErrMemory;
      if (r != kOk) {
        FreePage(page);
        return r;
      }
      photometric = 0;
    } else if (bpp == 1) {
      // A two-entry colour map: all reds, then all greens, then all blues.
      auto entry = [&](uint64_t i) {
        const uint64_t at = t.colorMap.value + 2 * i;
        return EntryColour{f.U16(at, big), f.U16(at + 4, big), f.U16(at + 8, big)};
      };
      photometric = t.haveColorMap ? TwoColourPhotometric(entry(0), entry(1)) : 0;
    } else {
      FreePage(page);
      return kErrUnsupported;
    }
  }
  page->photometric = static_cast<int8_t>(photometric);
  return kOk;
}

// Pages whose blocks are decoded here rather than by the conversion:
// tiles, 16-bit samples and Deflate data have no code of their own, plain
// colour and gray rows are turned and gathered, and bilevel bytes stored
// least significant bit first are turned before any decoder but a fax
// decoder (which reads them as they are) sees them.
bool DecodedHere(const TiffFields& t, const PageRecord* page) {
  const int code = t.compression;
  return t.tiled || t.bitsPerSample == 16 || code == kDeflate ||
         (code == kUncompressed && page->bitsPerPixel > 1) ||
         (page->bitsPerPixel == 1 && page->fillOrderReversed &&
          (code == kUncompressed || code == kPackBits || code == kLzwTiff));
}

// The blocks of such a page, checked so that no block is larger than the
// page it belongs to (or than 1024 pixels a side): the work and memory of
// a page follow its own size.
int32_t LayBlocks(const TiffFields& t, const PageRecord* page, TiffBlocks* b) {
  const uint32_t w = static_cast<uint32_t>(page->width), h = static_cast<uint32_t>(page->height);
  b->tiled = t.tiled;
  if (t.tiled) {
    b->blockWidth = t.tileWidth;
    b->blockHeight = t.tileLength;
    if (b->blockWidth == 0 || b->blockHeight == 0 || b->blockWidth > std::max(w, 1024u) ||
        b->blockHeight > std::max(h, 1024u))
      return kErrBadHeader;
  } else {
    b->blockWidth = w;
    b->blockHeight = t.rowsPerStrip == 0 || t.rowsPerStrip > h || t.whole ? h : t.rowsPerStrip;
  }
  b->bitsPerSample = t.bitsPerSample == 16 ? 16 : page->bitsPerPixel == 24 ? 8 : page->bitsPerPixel;
  b->samples = page->bitsPerPixel == 24 ? 3 : 1;
  if (int32_t r = CheckPageSize(b->blockWidth, b->blockHeight, static_cast<int>(b->bitsPerSample * b->samples));
      r != kOk)
    return r;
  const uint64_t across = (uint64_t{w} + b->blockWidth - 1) / b->blockWidth;
  const uint64_t down = (uint64_t{h} + b->blockHeight - 1) / b->blockHeight;
  b->blockCount = static_cast<uint32_t>(std::min<uint64_t>(across * down, UINT32_MAX));
  b->offsets = t.offsets;
  b->counts = t.counts;
  b->haveCounts = t.haveCounts;
  if (t.whole) b->offsets.count = b->counts.count = 1;
  return kOk;
}

// A page decoded here.  On failure the page is released.
int32_t ReadDecodedPage(const Bytes& f, bool big, const TiffFields& t, PageRecord* page, bool geometry) {
  int coding = t.compression;
  if (coding == kG3OneD && (t.t4Options & 1)) coding = kG3TwoD;
  // Old-style JPEG has no tiles the decoder knows.
  if (coding == kJpeg && t.tiffCompression != 7) return kErrUnsupported;
  TiffBlocks b;
  if (int32_t r = LayBlocks(t, page, &b); r != kOk) return r;
  // The polarity is that of stored rows, which the blocks become.
  page->compression = kUncompressed;
  page->bytesPerLine = RowBytes(page->width, page->bitsPerPixel);
  page->rowsPerStrip = page->height;
  page->stripCount = 0;
  if (int32_t r = ApplyPhotometric(f, big, t, page); r != kOk) return r;
  if (geometry) {
    page->compression = static_cast<int8_t>(coding == kDeflate ? kUncompressed : coding);
    return kOk;
  }
  b.bigEndian = big;
  b.coding = coding;
  b.predictor = t.predictor == 2;
  b.lsbFirst = page->fillOrderReversed != 0;
  b.zeroIsWhite = page->photometric == 1;
  // Black where no block lies: the top of the ramp for WhiteIsZero gray.
  b.missing = t.photometric == 0 && b.samples == 1 && page->bitsPerPixel > 1 ? 0xFF : 0;
  if (coding == kJpeg && t.haveTables && f.Has(t.tables.dataAt, t.tables.count)) {
    b.tablesAt = t.tables.dataAt;
    b.tablesSize = t.tables.count;
  }
  if (int32_t r = DecodeTiffBlocks(f, b, page); r != kOk) {
    FreePage(page);
    return r;
  }
  return kOk;
}
}  // namespace

int32_t ReadTiffDirectory(const uint8_t* base, uint32_t size,
                          uint32_t directoryOffset, PageRecord* page, bool geometry) {
  const Bytes f{base, size};
  const bool big = TiffBigEndian(f);
  page->data = const_cast<uint8_t*>(base);
  page->dataOffset = directoryOffset;
  page->dataOwnership = kOwnedByView;
  page->layoutFlags = kLayoutTopDown;
  page->fillOrderReversed = 0;
  page->photometric = 0;
  page->bitsPerPixel = 1;
  page->compression = kUncompressed;
  page->stripCount = 0;
  page->planes = 1;

  const uint32_t n = f.U16(directoryOffset, big);
  if (n > 256 || !f.Has(directoryOffset, 2 + 12 * static_cast<uint64_t>(n)))
    return kErrBadHeader;
  TiffFields t;
  ReadFields(f, directoryOffset, n, big, page, t);
  ApplyResolution(f, big, t, page);
  if (int32_t r = CheckVariant(t, page); r != kOk) return r;
  if (DecodedHere(t, page)) return ReadDecodedPage(f, big, t, page, geometry);

  page->compression = static_cast<int8_t>(t.compression);
  int32_t r = ReadStrips(f, big, t, page);
  if (r == kOk) r = TakeJpegTables(f, t, page);
  if (r == kOk) r = ApplyPhotometric(f, big, t, page);
  if (r != kOk) return r;
  if (t.whole) {
    page->stripCount = 0;
    page->rowsPerStrip = page->height;
  }
  if (page->compression == kG3OneD && (t.t4Options & 1)) page->compression = kG3TwoD;
  return kOk;
}

int32_t ReadTiff(ImageFile* file, PageRecord* page, int32_t index, bool geometry) {
  return ReadTiffDirectory(file->view, static_cast<uint32_t>(file->fileSize),
                           file->pageOffsets[index], page, geometry);
}

}  // namespace quillon
