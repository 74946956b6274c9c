#include "support/rle_lzw_pages.h"

#include <gif_lib.h>
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>

#include "imaging/codecs/codecs.h"
#include "imaging/core/bytes.h"
#include "imaging/core/core.h"
#include "imaging/core/runlist.h"

namespace testutil {

using namespace quillon;

void SourcePage::Attach() {
  record.data = bytes.data();
  record.dataOffset = 0;
  record.dataSize = static_cast<uint32_t>(bytes.size());
  record.dataOwnership = kOwnedNone;
  if (!offsets.empty()) {
    record.stripCount = static_cast<int32_t>(offsets.size());
    record.stripOffsets = offsets.data();
    record.stripByteCounts = counts.data();
  }
  record.palette = palette.empty() ? nullptr : palette.data();
}

namespace {

std::vector<uint8_t> SwappedPalette(const uint8_t* rgb, size_t entries) {
  std::vector<uint8_t> bgr(768, 0);
  for (size_t i = 0; i < entries && i < 256; ++i) {
    bgr[3 * i] = rgb[3 * i + 2];
    bgr[3 * i + 1] = rgb[3 * i + 1];
    bgr[3 * i + 2] = rgb[3 * i];
  }
  return bgr;
}

}  // namespace

SourcePtr PcxSource(const std::vector<uint8_t>& file, size_t header, size_t end) {
  auto s = std::make_unique<SourcePage>();
  Bytes b{file.data(), file.size()};
  PageRecord& r = s->record;
  r.compression = kPcxRle;
  r.planes = static_cast<int8_t>(b.U8(header + 65));
  r.bitsPerPixel = static_cast<int8_t>(b.U8(header + 3) * r.planes);
  r.width = static_cast<int32_t>(b.LE16(header + 8) - b.LE16(header + 4) + 1);
  r.height = static_cast<int32_t>(b.LE16(header + 10) - b.LE16(header + 6) + 1);
  r.bytesPerLine = b.LE16(header + 66) * static_cast<uint32_t>(r.planes);
  r.layoutFlags = kLayoutTopDown;
  s->bytes.assign(file.begin() + static_cast<ptrdiff_t>(header + 128),
                  file.begin() + static_cast<ptrdiff_t>(end));
  if (r.bitsPerPixel == 1) r.photometric = b.U8(header + 16) != 0;
  if (r.bitsPerPixel == 8 && s->bytes.size() >= 768) {
    s->palette = SwappedPalette(s->bytes.data() + s->bytes.size() - 768, 256);
    s->bytes.resize(s->bytes.size() - 768);
  }
  if (r.bitsPerPixel == 4) s->palette = SwappedPalette(file.data() + header + 16, 16);
  s->Attach();
  return s;
}

std::vector<SourcePtr> DcxSources(const std::vector<uint8_t>& file) {
  Bytes b{file.data(), file.size()};
  std::vector<uint32_t> offsets;
  for (size_t at = 4; at + 4 <= file.size() && offsets.size() < 1023; at += 4) {
    uint32_t offset = b.LE32(at);
    if (offset == 0) break;
    offsets.push_back(offset);
  }
  std::vector<SourcePtr> pages;
  for (size_t i = 0; i < offsets.size(); ++i) {
    size_t end = i + 1 < offsets.size() ? offsets[i + 1] : file.size();
    pages.push_back(PcxSource(file, offsets[i], end));
  }
  return pages;
}

SourcePtr BmpRleSource(const std::vector<uint8_t>& file) {
  auto s = std::make_unique<SourcePage>();
  Bytes b{file.data(), file.size()};
  PageRecord& r = s->record;
  r.compression = kBmpRle;
  r.width = static_cast<int32_t>(b.LE32(18));
  r.height = static_cast<int32_t>(b.LE32(22));
  r.bitsPerPixel = static_cast<int8_t>(b.LE16(28));
  r.bytesPerLine = BytesPerLine(r.width, r.bitsPerPixel);
  r.layoutFlags = kLayoutBottomUp | kLayoutBmp;
  const uint32_t offset = b.LE32(10);
  const uint32_t colours = b.LE32(46) ? b.LE32(46) : (1u << r.bitsPerPixel);
  s->palette.assign(768, 0);
  for (uint32_t i = 0; i < colours && i < 256; ++i)
    for (int k = 0; k < 3; ++k) s->palette[3 * i + k] = b.U8(54 + 4 * i + k);
  s->bytes.assign(file.begin() + offset, file.end());
  s->Attach();
  return s;
}

std::vector<SourcePtr> GifSources(const std::vector<uint8_t>& file) {
  std::vector<SourcePtr> frames;
  Bytes b{file.data(), file.size()};
  size_t at = 13;
  std::vector<uint8_t> global;
  const uint8_t screenPacked = b.U8(10);
  if (screenPacked & 0x80) {
    size_t n = 3u << ((screenPacked & 7) + 1);
    global.assign(file.begin() + 13, file.begin() + 13 + static_cast<ptrdiff_t>(n));
    at += n;
  }
  auto skipBlocks = [&](size_t p) {
    while (p < file.size() && file[p] != 0) p += file[p] + 1u;
    return p + 1;
  };
  while (at < file.size()) {
    const uint8_t kind = file[at];
    if (kind == 0x3B) break;
    if (kind == 0x21) {
      at = skipBlocks(at + 2);
      continue;
    }
    if (kind != 0x2C) break;
    auto s = std::make_unique<SourcePage>();
    PageRecord& r = s->record;
    r.frameLeft = static_cast<int32_t>(b.LE16(at + 1));
    r.frameTop = static_cast<int32_t>(b.LE16(at + 3));
    r.width = static_cast<int32_t>(b.LE16(at + 5));
    r.height = static_cast<int32_t>(b.LE16(at + 7));
    const uint8_t packed = b.U8(at + 9);
    at += 10;
    std::vector<uint8_t> table = global;
    if (packed & 0x80) {
      size_t n = 3u << ((packed & 7) + 1);
      table.assign(file.begin() + static_cast<ptrdiff_t>(at),
                   file.begin() + static_cast<ptrdiff_t>(at + n));
      at += n;
    }
    const size_t entries = table.size() / 3;
    r.bitsPerPixel = entries <= 2 ? 1 : entries <= 16 ? 4 : 8;
    r.compression = kLzwGif;
    r.layoutFlags = kLayoutTopDown;
    r.bytesPerLine = BytesPerLine(r.width, r.bitsPerPixel);
    s->bytes = {packed, b.U8(at)};
    ++at;
    while (at < file.size() && file[at] != 0) {
      size_t n = file[at];
      s->bytes.insert(s->bytes.end(), file.begin() + static_cast<ptrdiff_t>(at + 1),
                      file.begin() + static_cast<ptrdiff_t>(std::min(at + 1 + n, file.size())));
      at += n + 1;
    }
    ++at;
    if (r.bitsPerPixel != 1) s->palette = SwappedPalette(table.data(), entries);
    s->Attach();
    frames.push_back(std::move(s));
  }
  return frames;
}

SourcePtr TiffRawSource(const std::string& path) {
  auto s = std::make_unique<SourcePage>();
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return s;
  uint32_t width = 0, height = 0, rows = 0;
  uint16_t bits = 1, samples = 1, compression = 1, photometric = 0, predictor = 1;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  if (compression == COMPRESSION_LZW) TIFFGetFieldDefaulted(tif, TIFFTAG_PREDICTOR, &predictor);
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows);
  PageRecord& r = s->record;
  r.width = static_cast<int32_t>(width);
  r.height = static_cast<int32_t>(height);
  r.bitsPerPixel = static_cast<int8_t>(bits * samples);
  r.compression = compression == COMPRESSION_LZW ? kLzwTiff : kPackBits;
  r.rowsPerStrip = static_cast<int32_t>(std::min(rows, height));
  r.layoutFlags = static_cast<int8_t>(kLayoutTopDown | (predictor == 2 ? kLayoutPredictor : 0));
  r.bytesPerLine = RowBytes(r.width, r.bitsPerPixel);
  // The reader stores TIFF's photometric and turns it for raw-like data.
  r.photometric = static_cast<int8_t>(photometric);
  if (r.bitsPerPixel == 1 && r.compression == kPackBits)
    r.photometric = static_cast<int8_t>(1 - photometric);
  const tstrip_t strips = TIFFNumberOfStrips(tif);
  tmsize_t total = 0;
  uint64_t* counts = nullptr;
  TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts);
  for (tstrip_t i = 0; i < strips && counts; ++i) {
    std::vector<uint8_t> raw(static_cast<size_t>(counts[i]));
    tmsize_t n = TIFFReadRawStrip(tif, i, raw.data(), static_cast<tmsize_t>(raw.size()));
    if (n < 0) n = 0;
    s->offsets.push_back(static_cast<uint32_t>(total));
    s->counts.push_back(static_cast<uint32_t>(n));
    s->bytes.insert(s->bytes.end(), raw.begin(), raw.begin() + n);
    total += n;
  }
  TIFFClose(tif);
  if (strips == 1) {
    s->offsets.clear();
    s->counts.clear();
    r.rowsPerStrip = r.height;
  }
  s->Attach();
  return s;
}

std::vector<uint8_t> LibtiffDecode(const std::string& path, int directory) {
  std::vector<uint8_t> out;
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return out;
  if (!TIFFSetDirectory(tif, static_cast<tdir_t>(directory))) {
    TIFFClose(tif);
    return out;
  }
  std::vector<uint8_t> strip(static_cast<size_t>(TIFFStripSize(tif)));
  for (tstrip_t i = 0; i < TIFFNumberOfStrips(tif); ++i) {
    tmsize_t n = TIFFReadEncodedStrip(tif, i, strip.data(), static_cast<tmsize_t>(strip.size()));
    if (n < 0) break;
    out.insert(out.end(), strip.begin(), strip.begin() + n);
  }
  TIFFClose(tif);
  return out;
}

std::vector<uint8_t> LibtiffDecodeRawStrip(const std::string& path, int32_t width, int32_t height,
                                           int bpp, uint16_t tiffCompression,
                                           const uint8_t* data, uint32_t size) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) return {};
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bpp == 24 ? 8 : bpp);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, bpp == 24 ? 3 : 1);
  // Bilevel rows are coded white-is-one: BlackIsZero.
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, bpp == 24 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, tiffCompression);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
  TIFFWriteRawStrip(tif, 0, const_cast<uint8_t*>(data), size);
  TIFFClose(tif);
  std::vector<uint8_t> rows = LibtiffDecode(path);
  if (bpp == 24)
    for (int32_t y = 0; y < height && rows.size() >= static_cast<size_t>(y + 1) * 3 * width; ++y)
      quillon::SwapRedBlue(rows.data() + static_cast<size_t>(y) * 3 * width, static_cast<uint32_t>(width));
  return rows;
}

std::vector<uint8_t> MaskPadding(std::vector<uint8_t> rows, int32_t width, int32_t height, int bpp) {
  const uint32_t rowBytes = quillon::RowBytes(width, bpp);
  uint8_t mask = 0xFF;
  if (bpp == 1 && (width & 7)) mask = static_cast<uint8_t>(0xFF << (8 - (width & 7)));
  if (bpp == 4 && (width & 1)) mask = 0xF0;
  for (int32_t y = 0; y < height && rowBytes; ++y) rows[static_cast<size_t>(y + 1) * rowBytes - 1] &= mask;
  return rows;
}

namespace {

struct MemoryReader {
  const std::vector<uint8_t>* bytes;
  size_t at = 0;
};

int ReadFromMemory(GifFileType* gif, GifByteType* buffer, int count) {
  auto* m = static_cast<MemoryReader*>(gif->UserData);
  size_t n = std::min(static_cast<size_t>(count), m->bytes->size() - m->at);
  std::memcpy(buffer, m->bytes->data() + m->at, n);
  m->at += n;
  return static_cast<int>(n);
}

}  // namespace

std::vector<std::vector<uint8_t>> GiflibDecode(const std::vector<uint8_t>& file) {
  std::vector<std::vector<uint8_t>> images;
  MemoryReader reader{&file};
  int error = 0;
  GifFileType* gif = DGifOpen(&reader, ReadFromMemory, &error);
  if (!gif) return images;
  if (DGifSlurp(gif) == GIF_OK) {
    for (int i = 0; i < gif->ImageCount; ++i) {
      const SavedImage& image = gif->SavedImages[i];
      size_t n = static_cast<size_t>(image.ImageDesc.Width) * image.ImageDesc.Height;
      images.emplace_back(image.RasterBits, image.RasterBits + n);
    }
  }
  DGifCloseFile(gif, &error);
  return images;
}

Rgb GiflibRgb(const std::vector<uint8_t>& file, int index) {
  Rgb rgb;
  MemoryReader reader{&file};
  int error = 0;
  GifFileType* gif = DGifOpen(&reader, ReadFromMemory, &error);
  if (!gif) return rgb;
  if (DGifSlurp(gif) == GIF_OK && index < gif->ImageCount) {
    const SavedImage& image = gif->SavedImages[index];
    const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
    rgb.width = image.ImageDesc.Width;
    rgb.height = image.ImageDesc.Height;
    for (int i = 0; i < rgb.width * rgb.height; ++i) {
      const int v = image.RasterBits[i];
      const GifColorType c = map && v < map->ColorCount ? map->Colors[v] : GifColorType{0, 0, 0};
      rgb.pixels.insert(rgb.pixels.end(), {c.Red, c.Green, c.Blue});
    }
  }
  DGifCloseFile(gif, &error);
  return rgb;
}

std::vector<uint8_t> PageRows(const PageRecord& page) {
  const uint32_t rowBytes = RowBytes(page.width, page.bitsPerPixel);
  std::vector<uint8_t> rows(static_cast<size_t>(rowBytes) * page.height);
  for (int32_t y = 0; y < page.height; ++y) {
    uint8_t* row = rows.data() + static_cast<size_t>(y) * rowBytes;
    if (page.compression == kRunLists) {
      RunsToRow(LinePointers(page)[y], page.width, row);
    } else {
      int32_t stored = (page.layoutFlags & kLayoutTopDown) ? y : page.height - 1 - y;
      std::memcpy(row, page.data + page.dataOffset + static_cast<size_t>(stored) * page.bytesPerLine,
                  rowBytes);
    }
  }
  const int bpp = page.bitsPerPixel;
  if (rowBytes && ((bpp == 1 && (page.width & 7)) || (bpp == 4 && (page.width & 1)))) {
    uint8_t mask = bpp == 1 ? static_cast<uint8_t>(0xFF << (8 - (page.width & 7))) : 0xF0;
    for (int32_t y = 0; y < page.height; ++y) rows[static_cast<size_t>(y + 1) * rowBytes - 1] &= mask;
  }
  return rows;
}

Rgb PageToRgb(const PageRecord& page, const uint8_t* palette) {
  if (!palette) palette = page.palette;
  Rgb rgb;
  rgb.width = page.width;
  rgb.height = page.height;
  std::vector<uint8_t> rows = PageRows(page);
  const uint32_t rowBytes = RowBytes(page.width, page.bitsPerPixel);
  for (int32_t y = 0; y < page.height; ++y) {
    const uint8_t* row = rows.data() + static_cast<size_t>(y) * rowBytes;
    for (int32_t x = 0; x < page.width; ++x) {
      uint8_t r = 0, g = 0, b = 0;
      switch (page.bitsPerPixel) {
        case 1: r = g = b = ((row[x >> 3] >> (7 - (x & 7))) & 1) ? 255 : 0; break;
        case 24: b = row[3 * x]; g = row[3 * x + 1]; r = row[3 * x + 2]; break;
        default: {
          uint32_t index = page.bitsPerPixel == 8 ? row[x]
                           : (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
          if (palette) {
            b = palette[3 * index];
            g = palette[3 * index + 1];
            r = palette[3 * index + 2];
          }
        }
      }
      rgb.pixels.insert(rgb.pixels.end(), {r, g, b});
    }
  }
  return rgb;
}

int32_t DecodeToPixels(PageRecord* source, Page* decoded, int32_t flags) {
  decoded->record = PageRecord{};
  decoded->record.compression =
      static_cast<int8_t>(source->bitsPerPixel == 1 ? kRunLists : kUncompressed);
  return ConvertPage(source, decoded->get(), flags);
}

void MakeDecodedPage(int32_t width, int32_t height, int bitsPerPixel,
                     const std::vector<uint8_t>& rows, Page* page, bool bottomUp) {
  const uint32_t rowBytes = RowBytes(width, bitsPerPixel);
  const uint32_t stride = BytesPerLine(width, bitsPerPixel);
  PageRecord p{};
  p.width = width;
  p.height = height;
  p.bitsPerPixel = static_cast<int8_t>(bitsPerPixel);
  p.compression = kUncompressed;
  p.bytesPerLine = stride;
  p.dataSize = stride * static_cast<uint32_t>(height);
  p.data = static_cast<uint8_t*>(Allocate(p.dataSize));
  p.dataOwnership = kOwnedByPage;
  p.layoutFlags = kLayoutTopDown;
  const bool storeReversed = bottomUp && bitsPerPixel != 1;
  for (int32_t y = 0; y < height; ++y)
    std::memcpy(p.data + static_cast<size_t>(storeReversed ? height - 1 - y : y) * stride,
                rows.data() + static_cast<size_t>(y) * rowBytes, rowBytes);
  if (storeReversed) p.layoutFlags = kLayoutBottomUp | kLayoutBmp;
  if (bitsPerPixel == 4 || bitsPerPixel == 8) p.palette = MakeGrayPalette(bitsPerPixel);
  if (bitsPerPixel != 1) {
    page->record = p;
    return;
  }
  // Bilevel pages are run lists: top line first, or reversed with the
  // bottom-up flags when asked.
  page->record = PageRecord{};
  page->record.compression = kRunLists;
  PageRecord source = p;
  ConvertPage(&source, page->get(), 0);
  FreePage(&source);
  if (bottomUp) {
    ReverseLineOrder(page->get());
    page->record.layoutFlags = kLayoutBottomUp | kLayoutBmp;
  }
}

std::vector<uint8_t> PatternRows(int32_t width, int32_t height, int bitsPerPixel,
                                 Pattern pattern, uint32_t seed) {
  const uint32_t rowBytes = RowBytes(width, bitsPerPixel);
  std::vector<uint8_t> rows(static_cast<size_t>(rowBytes) * height);
  std::mt19937 rng(seed);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = rows.data() + static_cast<size_t>(y) * rowBytes;
    for (uint32_t i = 0; i < rowBytes; ++i) {
      switch (pattern) {
        case Pattern::kNoise: row[i] = static_cast<uint8_t>(rng() >> 24); break;
        case Pattern::kRuns: row[i] = static_cast<uint8_t>(((i + y) / 37) * 0x5B + (i % 101 == 0)); break;
        case Pattern::kGradient: row[i] = static_cast<uint8_t>(i + 3 * y); break;
        case Pattern::kConstant: row[i] = static_cast<uint8_t>(0xC7 + seed); break;
        case Pattern::kAlternating:  // one byte, then a pair, as long as the row
          row[i] = static_cast<uint8_t>(i % 3 == 0 ? i : (i / 3) | 0xC0);
          break;
      }
    }
  }
  return rows;
}

}  // namespace testutil
