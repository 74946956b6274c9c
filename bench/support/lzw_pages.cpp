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

namespace {

int TiffMap(thandle_t h, void** base, toff_t* size) {
  auto* m = static_cast<MemoryFile*>(h);
  *base = const_cast<uint8_t*>(m->bytes->data());
  *size = m->bytes->size();
  return 1;
}
void TiffUnmap(thandle_t, void*, toff_t) {}

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

}  // namespace

TIFF* OpenMemoryTiff(MemoryFile* m, const char* mode) {
  return TIFFClientOpen("memory", mode, m, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize, TiffMap, TiffUnmap);
}

int64_t LibtiffDecodeStrips(const std::vector<uint8_t>& file) {
  MemoryFile m{&file};
  TIFF* tif = OpenMemoryTiff(&m, "rm");
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
