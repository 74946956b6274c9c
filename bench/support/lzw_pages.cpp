#include "support/lzw_pages.h"

#include <gif_lib.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace bench {

using namespace quillon;

std::vector<uint8_t> PhotoPicture(int32_t width, int32_t height, int channels) {
  std::vector<uint8_t> p(static_cast<size_t>(width) * height * channels);
  std::mt19937 rng(7);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      for (int c = 0; c < channels; ++c) {
        double v = 128 + 60 * std::sin(x * 0.013 + c) * std::cos(y * 0.021 - c) +
                   40 * std::sin((x + y) * 0.004 * (c + 1));
        if ((x / 97 + y / 61) % 5 == 0) v = 230 - (c * 40);  // flat patches
        v += static_cast<int>(rng() % 5) - 2;                 // sensor noise
        p[(static_cast<size_t>(y) * width + x) * channels + c] =
            static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
      }
  return p;
}

std::vector<uint8_t> ChartPicture(int32_t width, int32_t height) {
  std::vector<uint8_t> p(static_cast<size_t>(width) * height, 15);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      uint8_t& v = p[static_cast<size_t>(y) * width + x];
      if (x % 200 > 40 && x % 200 < 120 && y > height - (x / 200 + 2) * height / 12) v = 1 + (x / 200) % 6;
      if (y % 100 == 0 || x % 300 == 0) v = 0;
    }
  return p;
}

std::vector<uint8_t> LibtiffFile(const std::vector<uint8_t>& pixels, int32_t width,
                                 int32_t height, int channels, uint16_t compression,
                                 uint16_t predictor, uint32_t rowsPerStrip) {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillon-bench-XXXXXX").string();
  std::vector<char> path(pattern.begin(), pattern.end());
  path.push_back('\0');
  int fd = mkstemp(path.data());
  if (fd < 0) return {};
  close(fd);
  TIFF* tif = TIFFOpen(path.data(), "w");
  std::vector<uint8_t> bytes;
  if (tif) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, channels);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, channels == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    if (predictor != 1) TIFFSetField(tif, TIFFTAG_PREDICTOR, predictor);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    const size_t row = static_cast<size_t>(width) * channels;
    for (int32_t y = 0; y < height; ++y)
      TIFFWriteScanline(tif, const_cast<uint8_t*>(pixels.data()) + y * row, static_cast<uint32_t>(y), 0);
    TIFFClose(tif);
    std::ifstream in(path.data(), std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::remove(path.data());
  return bytes;
}

namespace {

int WriteToVector(GifFileType* gif, const GifByteType* data, int count) {
  auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
  out->insert(out->end(), data, data + count);
  return count;
}

struct MemoryFile {
  const std::vector<uint8_t>* bytes;
  uint64_t at = 0;
};

int ReadGif(GifFileType* gif, GifByteType* data, int count) {
  auto* m = static_cast<MemoryFile*>(gif->UserData);
  size_t n = std::min<size_t>(static_cast<size_t>(count), m->bytes->size() - m->at);
  std::memcpy(data, m->bytes->data() + m->at, n);
  m->at += n;
  return static_cast<int>(n);
}

tmsize_t TiffRead(thandle_t h, void* data, tmsize_t size) {
  auto* m = static_cast<MemoryFile*>(h);
  if (m->at >= m->bytes->size()) return 0;
  size_t n = std::min<size_t>(static_cast<size_t>(size), m->bytes->size() - m->at);
  std::memcpy(data, m->bytes->data() + m->at, n);
  m->at += n;
  return static_cast<tmsize_t>(n);
}
tmsize_t TiffWrite(thandle_t, void*, tmsize_t) { return 0; }
toff_t TiffSeek(thandle_t h, toff_t offset, int whence) {
  auto* m = static_cast<MemoryFile*>(h);
  if (whence == SEEK_SET) m->at = offset;
  if (whence == SEEK_CUR) m->at += offset;
  if (whence == SEEK_END) m->at = m->bytes->size() + offset;
  return m->at;
}
int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t h) { return static_cast<MemoryFile*>(h)->bytes->size(); }

TIFF* OpenMemoryTiff(MemoryFile* m) {
  return TIFFClientOpen("memory", "rm", m, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize,
                        nullptr, nullptr);
}

}  // namespace

std::vector<uint8_t> GiflibFile(const std::vector<uint8_t>& pixels, int32_t width,
                                int32_t height, bool interlaced) {
  std::vector<uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, WriteToVector, &error);
  if (!gif) return out;
  ColorMapObject* map = GifMakeMapObject(256, nullptr);
  for (int i = 0; i < 256; ++i)
    map->Colors[i] = {static_cast<GifByteType>(i), static_cast<GifByteType>(i),
                      static_cast<GifByteType>(i)};
  EGifPutScreenDesc(gif, width, height, 8, 0, map);
  EGifPutImageDesc(gif, 0, 0, width, height, interlaced, nullptr);
  std::vector<int32_t> order;
  const int32_t passes[4][2] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
  for (int p = 0; p < (interlaced ? 4 : 1); ++p)
    for (int32_t y = interlaced ? passes[p][0] : 0; y < height; y += interlaced ? passes[p][1] : 1)
      order.push_back(y);
  for (int32_t y : order)
    EGifPutLine(gif, const_cast<uint8_t*>(pixels.data()) + static_cast<size_t>(y) * width, width);
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

void MakeTiffPage(const std::vector<uint8_t>& file, TiffPage* page) {
  MemoryFile m{&file};
  TIFF* tif = OpenMemoryTiff(&m);
  if (!tif) return;
  uint32_t width = 0, height = 0, rows = 0;
  uint16_t bits = 8, samples = 1, compression = 1, predictor = 1, photometric = 1;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  if (compression == COMPRESSION_LZW) TIFFGetFieldDefaulted(tif, TIFFTAG_PREDICTOR, &predictor);
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows);
  uint64_t* offsets = nullptr;
  uint64_t* counts = nullptr;
  TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets);
  TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts);
  const tstrip_t strips = TIFFNumberOfStrips(tif);
  for (tstrip_t i = 0; i < strips && offsets && counts; ++i) {
    page->offsets.push_back(static_cast<uint32_t>(offsets[i]));
    page->counts.push_back(static_cast<uint32_t>(counts[i]));
  }
  TIFFClose(tif);
  PageRecord& r = page->record;
  r.width = static_cast<int32_t>(width);
  r.height = static_cast<int32_t>(height);
  r.bitsPerPixel = static_cast<int8_t>(bits * samples);
  r.compression = static_cast<int8_t>(compression == COMPRESSION_LZW ? kLzwTiff : kPackBits);
  r.photometric = static_cast<int8_t>(photometric);
  r.rowsPerStrip = static_cast<int32_t>(std::min(rows, height));
  r.layoutFlags = static_cast<int8_t>(kLayoutTopDown | (predictor == 2 ? kLayoutPredictor : 0));
  r.bytesPerLine = RowBytes(r.width, r.bitsPerPixel);
  r.data = const_cast<uint8_t*>(file.data());
  r.dataOwnership = kOwnedByView;
  uint64_t total = 0;
  for (uint32_t c : page->counts) total += c;
  r.dataSize = static_cast<uint32_t>(total);
  if (page->offsets.size() == 1) {
    r.dataOffset = page->offsets[0];
  } else {
    r.stripCount = static_cast<int32_t>(page->offsets.size());
    r.stripOffsets = page->offsets.data();
    r.stripByteCounts = page->counts.data();
  }
}

bool MakeGifPage(const std::vector<uint8_t>& file, std::vector<uint8_t>* buffer,
                 PageRecord* page) {
  const size_t size = file.size();
  if (size < 13) return false;
  size_t at = 13;
  int bpp = (file[10] & 7) + 1;
  if (file[10] & 0x80) at += 3u << bpp;
  while (at < size && file[at] == '!') {  // extensions
    at += 2;
    while (at < size && file[at] != 0) at += file[at] + 1u;
    ++at;
  }
  if (at + 11 > size || file[at] != ',') return false;
  const uint8_t packed = file[at + 9];
  *page = PageRecord{};
  page->width = file[at + 5] | (file[at + 6] << 8);
  page->height = file[at + 7] | (file[at + 8] << 8);
  at += 10;
  if (packed & 0x80) {
    bpp = (packed & 7) + 1;
    at += 3u << bpp;
  }
  if (at >= size) return false;
  buffer->resize(size + 8);
  uint8_t* out = buffer->data();
  size_t n = 0;
  out[n++] = packed;
  out[n++] = file[at++];
  while (at < size && file[at] != 0) {
    size_t block = file[at];
    if (at + 1 + block > size) return false;
    std::memcpy(out + n, file.data() + at + 1, block);
    n += block;
    at += block + 1;
  }
  page->bitsPerPixel = static_cast<int8_t>(bpp == 1 ? 1 : bpp <= 4 ? 4 : 8);
  page->compression = kLzwGif;
  page->data = out;
  page->dataSize = static_cast<uint32_t>(n);
  page->layoutFlags = kLayoutTopDown;
  page->bytesPerLine = BytesPerLine(page->width, page->bitsPerPixel);
  return true;
}

int64_t LibtiffDecodeStrips(const std::vector<uint8_t>& file) {
  MemoryFile m{&file};
  TIFF* tif = OpenMemoryTiff(&m);
  if (!tif) return -1;
  const tmsize_t stripSize = TIFFStripSize(tif);
  const tstrip_t strips = TIFFNumberOfStrips(tif);
  // A page of its own, as a caller keeping the decoded page needs.
  auto* page = static_cast<uint8_t*>(_TIFFmalloc(stripSize * static_cast<tmsize_t>(strips)));
  int64_t total = page ? 0 : -1;
  for (tstrip_t i = 0; page && i < strips; ++i) {
    tmsize_t n = TIFFReadEncodedStrip(tif, i, page + static_cast<size_t>(i) * stripSize, stripSize);
    if (n < 0) break;
    total += n;
  }
  _TIFFfree(page);
  TIFFClose(tif);
  return total;
}

int64_t GiflibSlurp(const std::vector<uint8_t>& file) {
  MemoryFile m{&file};
  int error = 0;
  GifFileType* gif = DGifOpen(&m, ReadGif, &error);
  if (!gif) return -1;
  int64_t pixels = -1;
  if (DGifSlurp(gif) == GIF_OK && gif->ImageCount > 0)
    pixels = static_cast<int64_t>(gif->SavedImages[0].ImageDesc.Width) *
             gif->SavedImages[0].ImageDesc.Height;
  DGifCloseFile(gif, &error);
  return pixels;
}

}  // namespace bench
