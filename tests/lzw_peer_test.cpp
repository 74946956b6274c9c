// LZW pages decoded against the peer libraries: giflib's DGifSlurp and
// libtiff's TIFFReadEncodedStrip on the same files, made by ImageMagick,
// Pillow and tiffcp, and larger ones written by giflib and libtiff here.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <random>
#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/core/core.h"
#include "support/rle_lzw_pages.h"
#include "support/test_util.h"

using namespace quillon;
using namespace testutil;

namespace {

using Bytes = std::vector<uint8_t>;

// Every pixel of a decoded page, one byte each, top line first; bilevel
// pixels are 1 for white.
Bytes Pixels(const PageRecord& page) {
  Bytes rows = PageRows(page), pixels;
  const uint32_t rowBytes = RowBytes(page.width, page.bitsPerPixel);
  for (int32_t y = 0; y < page.height; ++y) {
    const uint8_t* row = rows.data() + static_cast<size_t>(y) * rowBytes;
    for (int32_t x = 0; x < page.width; ++x) {
      switch (page.bitsPerPixel) {
        case 1: pixels.push_back((row[x >> 3] >> (7 - (x & 7))) & 1); break;
        case 4: pixels.push_back((x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4)); break;
        default: pixels.push_back(row[x]);
      }
    }
  }
  return pixels;
}

// Decodes every frame of a GIF and compares it with giflib's decode.
void ExpectGifMatchesGiflib(const Bytes& file, const std::string& what,
                            size_t expectedFrames = 0) {
  std::vector<SourcePtr> frames = GifSources(file);
  std::vector<Bytes> reference = GiflibDecode(file);
  ASSERT_FALSE(frames.empty()) << what;
  ASSERT_EQ(frames.size(), reference.size()) << what;
  if (expectedFrames) {
    EXPECT_EQ(frames.size(), expectedFrames) << what;
  }
  for (size_t i = 0; i < frames.size(); ++i) {
    Page decoded;
    ASSERT_EQ(DecodeToPixels(&frames[i]->record, &decoded), kOk) << what << " frame " << i;
    Bytes expected = reference[i];
    if (frames[i]->record.bitsPerPixel == 1)
      for (uint8_t& v : expected) v = v != 0;
    if (frames[i]->record.bitsPerPixel == 4)
      for (uint8_t& v : expected) v &= 0x0F;
    EXPECT_EQ(Pixels(decoded.record), expected) << what << " frame " << i;
  }
}

// Decodes a TIFF's raw strips and compares the rows with libtiff's.
void ExpectTiffMatchesLibtiff(const std::string& path) {
  SourcePtr source = TiffRawSource(path);
  ASSERT_GT(source->bytes.size(), 0u) << path;
  Page decoded;
  ASSERT_EQ(DecodeToPixels(&source->record, &decoded), kOk) << path;
  Bytes expected = LibtiffDecode(path);
  const PageRecord& r = source->record;
  const uint32_t rowBytes = RowBytes(r.width, r.bitsPerPixel);
  ASSERT_EQ(expected.size(), static_cast<size_t>(rowBytes) * r.height) << path;
  if (r.bitsPerPixel == 24)
    for (int32_t y = 0; y < r.height; ++y)
      SwapRedBlue(expected.data() + static_cast<size_t>(y) * rowBytes, static_cast<uint32_t>(r.width));
  // A page that was inverted to reach 1 = white (WhiteIsZero) differs from
  // the stored bits libtiff returns.
  if (r.bitsPerPixel == 1 && decoded->photometric == 1)
    for (uint8_t& b : expected) b = static_cast<uint8_t>(~b);
  Page reference;
  MakeDecodedPage(r.width, r.height, r.bitsPerPixel, expected, &reference);
  EXPECT_EQ(PageRows(decoded.record), PageRows(reference.record)) << path;
}

// A picture with runs, gradients and noise, so that the string table fills
// and is cleared several times.
Bytes Picture(int32_t width, int32_t height, int channels, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes pixels(static_cast<size_t>(width) * height * channels);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width * channels; ++x) {
      uint8_t v = static_cast<uint8_t>((x / 5 + y / 3) * 9);
      if ((y / 16) % 2) v = static_cast<uint8_t>(rng() >> (24 + (x % 3)));
      pixels[static_cast<size_t>(y) * width * channels + x] = v;
    }
  return pixels;
}

int WriteToVector(GifFileType* gif, const GifByteType* data, int count) {
  auto* out = static_cast<Bytes*>(gif->UserData);
  out->insert(out->end(), data, data + count);
  return count;
}

// A GIF written by giflib: `colours` palette entries, optionally interlaced.
Bytes GiflibGif(int32_t width, int32_t height, int colours, bool interlaced, uint32_t seed) {
  Bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, WriteToVector, &error);
  ColorMapObject* map = GifMakeMapObject(colours, nullptr);
  for (int i = 0; i < colours; ++i)
    map->Colors[i] = {static_cast<GifByteType>(i * 3), static_cast<GifByteType>(i * 5),
                      static_cast<GifByteType>(255 - i)};
  EGifPutScreenDesc(gif, width, height, 8, 0, map);
  EGifPutImageDesc(gif, 0, 0, width, height, interlaced, nullptr);
  Bytes pixels = Picture(width, height, 1, seed);
  for (uint8_t& v : pixels) v = static_cast<uint8_t>(v % colours);
  // giflib writes lines in the order given; interlaced files take them
  // pass by pass.
  std::vector<int32_t> order;
  if (interlaced) {
    const int32_t passes[4][2] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
    for (const auto& p : passes)
      for (int32_t y = p[0]; y < height; y += p[1]) order.push_back(y);
  } else {
    for (int32_t y = 0; y < height; ++y) order.push_back(y);
  }
  for (int32_t y : order) EGifPutLine(gif, pixels.data() + static_cast<size_t>(y) * width, width);
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

// A TIFF written by libtiff with the given compression, predictor and rows
// per strip; bilevel and gray pages WhiteIsZero when asked.
void WriteLibtiff(const std::string& path, int32_t width, int32_t height, int bpp,
                  uint16_t compression, uint16_t predictor, uint32_t rowsPerStrip,
                  bool whiteIsZero) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tif, nullptr);
  const int channels = bpp == 24 ? 3 : 1;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bpp == 24 ? 8 : bpp);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, channels);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
               channels == 3 ? PHOTOMETRIC_RGB
                             : whiteIsZero ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
  if (predictor != 1) TIFFSetField(tif, TIFFTAG_PREDICTOR, predictor);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
  const uint32_t rowBytes = RowBytes(width, bpp);
  Bytes pixels = Picture(static_cast<int32_t>(rowBytes), height, 1, 99);
  for (int32_t y = 0; y < height; ++y)
    TIFFWriteScanline(tif, pixels.data() + static_cast<size_t>(y) * rowBytes, static_cast<uint32_t>(y), 0);
  TIFFClose(tif);
}

}  // namespace

TEST(LzwPeers, GifFilesMatchGiflib) {
  for (const char* name : {"bilevel.gif", "chart16.gif", "photo-interlaced.gif", "pillow.gif"})
    ExpectGifMatchesGiflib(ReadFileBytes(DataPath(std::string("lzw/") + name)), name, 1);
  ExpectGifMatchesGiflib(ReadFileBytes(DataPath("lzw/anim.gif")), "anim.gif", 3);
}

TEST(LzwPeers, SampleGifsMatchGiflib) {
  ExpectGifMatchesGiflib(ReadFileBytes(SamplePath("chart.gif")), "chart.gif", 1);
  ExpectGifMatchesGiflib(ReadFileBytes(SamplePath("photo-interlaced.gif")), "photo-interlaced.gif", 1);
  ExpectGifMatchesGiflib(ReadFileBytes(SamplePath("spinner.gif")), "spinner.gif", 4);
}

TEST(LzwPeers, GifsWrittenByGiflibMatch) {
  // Large enough for the string table to fill and be cleared many times.
  for (int colours : {2, 4, 16, 256})
    for (bool interlaced : {false, true}) {
      Bytes file = GiflibGif(301, 97, colours, interlaced, static_cast<uint32_t>(colours));
      ExpectGifMatchesGiflib(file, std::to_string(colours) + (interlaced ? " interlaced" : ""), 1);
    }
}

TEST(LzwPeers, TiffFilesMatchLibtiff) {
  for (const char* name : {"lzw-gray.tif", "lzw-gray-pred-strips.tif", "lzw-rgb-strips.tif",
                           "lzw-rgb-pred.tif", "lzw-bilevel-strips.tif", "lzw-palette4.tif"})
    ExpectTiffMatchesLibtiff(DataPath(std::string("lzw/") + name));
  ExpectTiffMatchesLibtiff(SamplePath("scan-lzw.tif"));
  ExpectTiffMatchesLibtiff(SamplePath("chart-packbits.tif"));
}

TEST(LzwPeers, TiffsWrittenByLibtiffMatch) {
  TempDir dir;
  int n = 0;
  for (int bpp : {1, 4, 8, 24})
    for (uint16_t compression : {uint16_t{COMPRESSION_LZW}, uint16_t{COMPRESSION_PACKBITS}})
      for (uint16_t predictor : {uint16_t{1}, uint16_t{2}}) {
        if (predictor == 2 && (compression != COMPRESSION_LZW || bpp < 8)) continue;
        for (uint32_t rows : {7u, 1000u}) {
          const std::string path = dir.Path("t" + std::to_string(n++) + ".tif");
          WriteLibtiff(path, 333, 211, bpp, compression, predictor, rows, rows == 7);
          ExpectTiffMatchesLibtiff(path);
        }
      }
}
