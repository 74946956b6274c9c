// Fitting one page into a 240 x 320 view, ours against libvips in the same
// process: both start from the file on disk and end with the view's pixels
// in memory.  Ours opens the file, takes page 0, decodes it to its display
// form (JPEG at the smallest scale that still covers the view) and renders
// it with RenderPage (bilevel pages in scale-to-gray); libvips runs
// vips_thumbnail (shrink-on-load, one thread, no operation cache) and writes
// the result to memory.  Times are the process's CPU time (all its threads).
#include <benchmark/benchmark.h>

#ifdef QUILLON_BENCH_VIPS
#include <tiffio.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "imaging/pixels/pixels.h"
#include "support/compare.h"
#include "support/fax_pages.h"
#include "support/lzw_compare.h"
#include "support/lzw_pages.h"
#include "support/support.h"

// After the other headers: glib defines TRUE and FALSE as macros.
#include <vips/vips.h>

namespace bench {

namespace {

using namespace quillon;

constexpr int32_t kViewWidth = 240, kViewHeight = 320;

struct FitCase {
  const char* name;
  std::string (*make)(const testutil::TempDir& dir);
};

testutil::Raster Photo(int width, int height) {
  testutil::Raster r;
  r.width = width;
  r.height = height;
  r.channels = 3;
  r.pixels = PhotoPicture(width, height, 3);
  return r;
}

const FitCase kCases[] = {
    {"fax G4 1728x2200",
     [](const testutil::TempDir& dir) {
       const BilevelPage page = TextPage();
       return dir.Write("fax.tif", testutil::TiffEncode({page.width, page.height, 1, 1, PHOTOMETRIC_MINISWHITE,
                                                         COMPRESSION_CCITTFAX4},
                                                        page.rows));
     }},
    {"baseline JPEG 2048x1536",
     [](const testutil::TempDir& dir) { return dir.Write("photo.jpg", testutil::JpegEncode(Photo(2048, 1536))); }},
    {"progressive JPEG 2048x1536",
     [](const testutil::TempDir& dir) {
       testutil::JpegOptions options;
       options.progressive = true;
       return dir.Write("progressive.jpg", testutil::JpegEncode(Photo(2048, 1536), options));
     }},
    {"GIF 1024x768",
     [](const testutil::TempDir& dir) {
       std::vector<uint8_t> palette;
       for (int i = 0; i < 256; ++i) palette.insert(palette.end(), 3, static_cast<uint8_t>(i));
       return dir.Write("photo.gif", testutil::GifEncode(PhotoPicture(1024, 768, 1), 1024, 768, palette, false));
     }},
    {"LZW+predictor TIFF 2048x1536",
     [](const testutil::TempDir& dir) {
       return dir.Write("photo.tif", testutil::TiffEncode({2048, 1536, 8, 3, PHOTOMETRIC_RGB, COMPRESSION_LZW, 2, 8},
                                                          PhotoPicture(2048, 1536, 3)));
     }},
};

const std::string& CasePath(const FitCase& c) {
  static testutil::TempDir dir;
  static std::vector<std::pair<const FitCase*, std::string>> made;
  for (const auto& [k, path] : made)
    if (k == &c) return path;
  made.emplace_back(&c, c.make(dir));
  return made.back().second;
}

// The display form at the smallest JPEG scale that still covers the fitted
// size: the fit scale min(240 / width, 320 / height) at most 1/8 or 1/2.
int32_t FitDecodeFlags(const PageRecord& page) {
  if (page.compression != kJpeg) return 0;
  auto atMost = [&](int32_t d) { return page.width >= d * kViewWidth || page.height >= d * kViewHeight; };
  return atMost(8) ? kFlagJpegEighth : atMost(2) ? kFlagJpegHalf : 0;
}

int32_t OursFit(const std::string& path, std::vector<uint8_t>& view) {
  ImageFile file{};
  int32_t r = OpenImageFile(Utf8ToUtf16(path).c_str(), &file);
  PageRecord page{}, shown{};
  if (r == kOk) r = ExtractPage(&file, &page, 0);
  if (r == kOk) {
    shown.compression = page.bitsPerPixel == 1 ? kRunLists : kUncompressed;
    r = ConvertPage(&page, &shown, FitDecodeFlags(page));
  }
  if (r == kOk) {
    RenderRequest request{};
    request.xStep = request.yStep = StepToFit(shown.width, shown.height, kViewWidth, kViewHeight);
    request.dstWidth = std::clamp(shown.width * 256 / request.xStep, 1, kViewWidth);
    request.dstHeight = std::clamp(shown.height * 256 / request.yStep, 1, kViewHeight);
    request.dstBitsPerPixel = shown.bitsPerPixel == 1 ? 4 : static_cast<uint8_t>(shown.bitsPerPixel);
    request.dstBytesPerLine = BytesPerLine(kViewWidth, request.dstBitsPerPixel);
    view.resize(static_cast<size_t>(request.dstBytesPerLine) * kViewHeight);
    request.dstBits = view.data();
    r = RenderPage(&shown, &request, 1);
  }
  FreePage(&shown);
  FreePage(&page);
  CloseImageFile(&file);
  return r;
}

bool VipsFit(const std::string& path) {
  VipsImage* out = nullptr;
  if (vips_thumbnail(path.c_str(), &out, kViewWidth, "height", kViewHeight, nullptr) != 0) {
    vips_error_clear();
    return false;
  }
  size_t size = 0;
  g_free(vips_image_write_to_memory(out, &size));
  g_object_unref(out);
  return size > 0;
}

// Both sides on the process's CPU time: libvips works on threads of its own.
void Ours(benchmark::State& state, const FitCase* c) {
  const std::string& path = CasePath(*c);
  std::vector<uint8_t> view;
  TimeIterations(state, std::string("fit ") + c->name, Side::kOurs, [&] {
    if (OursFit(path, view) != kOk) state.SkipWithError("our fit failed");
    benchmark::DoNotOptimize(view.data());
  }, ProcessSeconds);
}

void Vips(benchmark::State& state, const FitCase* c) {
  static const bool started = [] {
    if (VIPS_INIT("quillon_bench")) return false;
    vips_concurrency_set(1);
    vips_cache_set_max(0);
    return true;
  }();
  if (!started) return state.SkipWithError("libvips did not start");
  const std::string& path = CasePath(*c);
  TimeIterations(state, std::string("fit ") + c->name, Side::kPeer, [&] {
    if (!VipsFit(path)) state.SkipWithError("libvips failed");
  }, ProcessSeconds);
}

int Register() {
  for (const FitCase& c : kCases) {
    const std::string prefix = std::string("fit/") + c.name + "/";
    Fastest(benchmark::RegisterBenchmark((prefix + "quillon").c_str(), Ours, &c))
        ->UseManualTime()->Unit(benchmark::kMillisecond);
    Fastest(benchmark::RegisterBenchmark((prefix + "libvips").c_str(), Vips, &c))
        ->UseManualTime()->Unit(benchmark::kMillisecond);
  }
  return 0;
}

const int kRegistered = Register();

}  // namespace

}  // namespace bench
#endif
