// LZW (TIFF strips, GIF images) and PackBits decoding, ours against libtiff
// (TIFFReadEncodedStrip on the same in-memory TIFF) and giflib (DGifSlurp of
// the same file bytes).  Both sides start from the file in memory: ours from
// the page record the readers build (GIF: including the copy of its
// sub-blocks), the peers from their open call.
#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "support/lzw_compare.h"
#include "support/lzw_pages.h"
#include "support/support.h"

namespace bench {

namespace {

using quillon::PageRecord;

struct TiffCase {
  const char* name;
  int32_t width;
  int32_t height;
  int channels;
  bool chart;
  uint16_t compression;
  uint16_t predictor;
  uint32_t rowsPerStrip;
};

const TiffCase kTiffCases[] = {
    {"LZW TIFF gray 1600x1200 pred 2, 16 rows/strip", 1600, 1200, 1, false, COMPRESSION_LZW, 2, 16},
    {"LZW TIFF gray 1600x1200, one strip", 1600, 1200, 1, false, COMPRESSION_LZW, 1, 1200},
    {"LZW TIFF RGB 1024x768, 8 rows/strip", 1024, 768, 3, false, COMPRESSION_LZW, 1, 8},
    {"LZW TIFF chart 2000x1500, one strip", 2000, 1500, 1, true, COMPRESSION_LZW, 1, 1500},
    {"PackBits chart 2000x1500, 32 rows/strip", 2000, 1500, 1, true, COMPRESSION_PACKBITS, 1, 32},
    {"PackBits RGB 1024x768, 8 rows/strip", 1024, 768, 3, false, COMPRESSION_PACKBITS, 1, 8},
};

std::vector<uint8_t> TiffBytes(const TiffCase& c) {
  const std::vector<uint8_t> pixels =
      c.chart ? ChartPicture(c.width, c.height) : PhotoPicture(c.width, c.height, c.channels);
  return testutil::TiffEncode({c.width, c.height, 8, c.channels, c.channels == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK,
                               c.compression, c.predictor, static_cast<int>(c.rowsPerStrip)},
                              pixels);
}

void OursTiff(benchmark::State& state, const TiffCase* c) {
  // The page as the TIFF reader builds it from the file.
  testutil::OpenedFile file(TiffBytes(*c));
  testutil::Page page;
  if (file.Extract(page.get()) != quillon::kOk) return state.SkipWithError("no page");
  TimeIterations(state, c->name, Side::kOurs, [&] {
    PageRecord source = page.record;
    PageRecord decoded = source;
    int32_t result = c->compression == COMPRESSION_LZW
                         ? quillon::DecodeLzw(&source, &decoded, quillon::kLzwVariantTiff, 0)
                         : quillon::DecodePackBits(&source, &decoded, 0);
    if (result != quillon::kOk) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(decoded.data);
    quillon::Release(decoded.data);
  });
  state.SetBytesProcessed(state.iterations() * int64_t{c->width} * c->height * c->channels);
}

void PeerTiff(benchmark::State& state, const TiffCase* c) {
  const std::vector<uint8_t> file = TiffBytes(*c);
  TimeIterations(state, c->name, Side::kPeer, [&] {
    if (LibtiffDecodeStrips(file) <= 0) state.SkipWithError("libtiff failed");
  });
  state.SetBytesProcessed(state.iterations() * int64_t{c->width} * c->height * c->channels);
}

struct GifCase {
  const char* name;
  int32_t width;
  int32_t height;
  bool chart;
  bool interlaced;
};

const GifCase kGifCases[] = {
    {"GIF photo 1024x768", 1024, 768, false, false},
    {"GIF photo 1024x768 interlaced", 1024, 768, false, true},
    {"GIF chart 2000x1500", 2000, 1500, true, false},
};

std::vector<uint8_t> GifBytes(const GifCase& c) {
  std::vector<uint8_t> palette;
  for (int i = 0; i < 256; ++i) palette.insert(palette.end(), 3, static_cast<uint8_t>(i));
  return testutil::GifEncode(c.chart ? ChartPicture(c.width, c.height) : PhotoPicture(c.width, c.height, 1),
                             c.width, c.height, palette, c.interlaced);
}

void OursGif(benchmark::State& state, const GifCase* c) {
  // The GIF reader gathers the image's sub-blocks each time, as viewers do.
  testutil::OpenedFile file(GifBytes(*c));
  TimeIterations(state, c->name, Side::kOurs, [&] {
    testutil::Page source;
    if (file.Extract(source.get()) != quillon::kOk) state.SkipWithError("no image");
    PageRecord decoded = source.record;
    if (quillon::DecodeLzw(source.get(), &decoded, quillon::kLzwVariantGif, 0) != quillon::kOk)
      state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(decoded.data);
    quillon::Release(decoded.data);
  });
  state.SetBytesProcessed(state.iterations() * int64_t{c->width} * c->height);
}

void PeerGif(benchmark::State& state, const GifCase* c) {
  const std::vector<uint8_t> file = GifBytes(*c);
  TimeIterations(state, c->name, Side::kPeer, [&] {
    if (GiflibSlurp(file) <= 0) state.SkipWithError("giflib failed");
  });
  state.SetBytesProcessed(state.iterations() * int64_t{c->width} * c->height);
}

int Register() {
  for (const TiffCase& c : kTiffCases) {
    benchmark::RegisterBenchmark((std::string(c.name) + "/quillon").c_str(), OursTiff, &c)
        ->UseManualTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string(c.name) + "/libtiff").c_str(), PeerTiff, &c)
        ->UseManualTime()->Unit(benchmark::kMillisecond);
  }
  for (const GifCase& c : kGifCases) {
    benchmark::RegisterBenchmark((std::string(c.name) + "/quillon").c_str(), OursGif, &c)
        ->UseManualTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string(c.name) + "/giflib").c_str(), PeerGif, &c)
        ->UseManualTime()->Unit(benchmark::kMillisecond);
  }
  return 0;
}

const int kRegistered = Register();

}  // namespace

}  // namespace bench
