// LZW (TIFF strips, GIF images) and PackBits decoding, ours against libtiff
// (TIFFReadEncodedStrip on the same in-memory TIFF, opened once) and giflib
// (DGifSlurp of the same file bytes).  Ours starts from the page record the
// readers build (GIF: including the copy of its sub-blocks) and ends with
// the page as the display takes it; giflib from its open call.
#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "support/compare.h"
#include "support/fax_pages.h"
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
  int channels;  // 0: the bilevel business letter
  bool chart;
  uint16_t compression;
  uint16_t predictor;
  uint32_t rowsPerStrip;
};

const TiffCase kTiffCases[] = {
    {"LZW TIFF gray 1600x1200 pred 2, 16 rows/strip", 1600, 1200, 1, false, COMPRESSION_LZW, 2, 16},
    {"LZW TIFF gray 1600x1200, one strip", 1600, 1200, 1, false, COMPRESSION_LZW, 1, 1200},
    {"LZW TIFF RGB 1024x768, 8 rows/strip", 1024, 768, 3, false, COMPRESSION_LZW, 1, 8},
    {"LZW TIFF RGB 1024x768 pred 2, 8 rows/strip", 1024, 768, 3, false, COMPRESSION_LZW, 2, 8},
    {"LZW TIFF chart 2000x1500, one strip", 2000, 1500, 1, true, COMPRESSION_LZW, 1, 1500},
    {"PackBits chart 2000x1500, 32 rows/strip", 2000, 1500, 1, true, COMPRESSION_PACKBITS, 1, 32},
    {"PackBits RGB 1024x768, 8 rows/strip", 1024, 768, 3, false, COMPRESSION_PACKBITS, 1, 8},
    {"PackBits RGB 2048x1536, 8 rows/strip", 2048, 1536, 3, false, COMPRESSION_PACKBITS, 1, 8},
    {"PackBits 1-bpp letter 1728x2200", 1728, 2200, 0, false, COMPRESSION_PACKBITS, 1, 0},
    {"LZW 1-bpp letter 1728x2200", 1728, 2200, 0, false, COMPRESSION_LZW, 1, 0},
};

std::vector<uint8_t> TiffBytes(const TiffCase& c) {
  if (c.channels == 0) {
    const BilevelPage page = TextPage();
    return testutil::TiffEncode({page.width, page.height, 1, 1, PHOTOMETRIC_MINISWHITE, c.compression, 1,
                                 static_cast<int>(c.rowsPerStrip)},
                                page.rows);
  }
  const std::vector<uint8_t> pixels =
      c.chart ? ChartPicture(c.width, c.height) : PhotoPicture(c.width, c.height, c.channels);
  return testutil::TiffEncode({c.width, c.height, 8, c.channels, c.channels == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK,
                               c.compression, c.predictor, static_cast<int>(c.rowsPerStrip)},
                              pixels);
}

// Ours from the page record the TIFF reader builds, as the display wants
// it: pixels, and bilevel pages as run lists (`bitmap` false) or packed
// rows.  A caller converting page after page hands its last page back (the
// flag to decode into it), so its buffer stays warm.
void OursTiff(benchmark::State& state, const TiffCase* c, bool bitmap) {
  testutil::OpenedFile file(TiffBytes(*c));
  testutil::Page page;
  if (file.Extract(page.get()) != quillon::kOk) return state.SkipWithError("no page");
  std::vector<uint8_t> kept(static_cast<size_t>(c->width) * c->height * std::max(c->channels, 1) + 4096);
  const std::string caseName = std::string(c->name) + (c->channels ? "" : bitmap ? ", to a bitmap" : ", to runs");
  TimeIterations(state, caseName, Side::kOurs, [&] {
    PageRecord source = page.record;
    PageRecord decoded = source;
    decoded.compression = static_cast<int8_t>(c->channels == 0 && !bitmap ? quillon::kRunLists : quillon::kUncompressed);
    int32_t flags = 0;
    if (decoded.compression == quillon::kUncompressed) {
      decoded.data = kept.data();
      decoded.dataSize = static_cast<uint32_t>(kept.size());
      flags = quillon::kFlagIntoDestination;
    }
    if (quillon::ConvertPage(&source, &decoded, flags) != quillon::kOk) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(decoded.data);
    if (decoded.data != kept.data()) quillon::Release(decoded.data);
    quillon::Release(decoded.palette);
  });
  state.SetBytesProcessed(state.iterations() * int64_t{c->width} * c->height * std::max(c->channels, 1));
}

// libtiff on the file opened once (ours does not open it either), every
// strip read with TIFFReadEncodedStrip into a kept page buffer or a fresh
// one each time; the table takes the faster.
void PeerTiff(benchmark::State& state, const TiffCase* c, bool fresh) {
  const std::vector<uint8_t> file = TiffBytes(*c);
  MemoryFile memory{&file};
  TIFF* tif = OpenMemoryTiff(&memory, "rm");
  if (!tif) return state.SkipWithError("libtiff cannot open the file");
  const tmsize_t stripSize = TIFFStripSize(tif);
  const tstrip_t strips = TIFFNumberOfStrips(tif);
  const tmsize_t pageSize = stripSize * static_cast<tmsize_t>(strips);
  uint8_t* kept = static_cast<uint8_t*>(_TIFFmalloc(pageSize));
  TimeIterations(state, std::string(c->name) + (fresh ? " (libtiff, fresh buffer)" : ""), Side::kPeer, [&] {
    uint8_t* page = fresh ? static_cast<uint8_t*>(_TIFFmalloc(pageSize)) : kept;
    for (tstrip_t i = 0; i < strips; ++i)
      if (TIFFReadEncodedStrip(tif, i, page + static_cast<size_t>(i) * stripSize, stripSize) < 0)
        state.SkipWithError("libtiff failed");
    benchmark::DoNotOptimize(page);
    if (fresh) _TIFFfree(page);
  });
  _TIFFfree(kept);
  TIFFClose(tif);
  state.SetBytesProcessed(state.iterations() * int64_t{c->width} * c->height * std::max(c->channels, 1));
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
    const std::string prefix = std::string(c.name) + "/";
    if (c.channels == 0) {
      Fastest(benchmark::RegisterBenchmark((prefix + "quillon runs").c_str(), OursTiff, &c, false))
          ->UseManualTime()->Unit(benchmark::kMillisecond);
      Fastest(benchmark::RegisterBenchmark((prefix + "quillon bitmap").c_str(), OursTiff, &c, true))
          ->UseManualTime()->Unit(benchmark::kMillisecond);
    } else {
      Fastest(benchmark::RegisterBenchmark((prefix + "quillon").c_str(), OursTiff, &c, true))
          ->UseManualTime()->Unit(benchmark::kMillisecond);
    }
    Fastest(benchmark::RegisterBenchmark((prefix + "libtiff").c_str(), PeerTiff, &c, false))
        ->UseManualTime()->Unit(benchmark::kMillisecond);
    Fastest(benchmark::RegisterBenchmark((prefix + "libtiff fresh").c_str(), PeerTiff, &c, true))
        ->UseManualTime()->Unit(benchmark::kMillisecond);
  }
  for (const GifCase& c : kGifCases) {
    Fastest(benchmark::RegisterBenchmark((std::string(c.name) + "/quillon").c_str(), OursGif, &c))
        ->UseManualTime()->Unit(benchmark::kMillisecond);
    Fastest(benchmark::RegisterBenchmark((std::string(c.name) + "/giflib").c_str(), PeerGif, &c))
        ->UseManualTime()->Unit(benchmark::kMillisecond);
  }
  return 0;
}

const int kRegistered = Register();

}  // namespace

}  // namespace bench
