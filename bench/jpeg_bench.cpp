// JPEG decoding against libjpeg-turbo on the same streams in the same run:
// its libjpeg API with default settings (accurate integer transform, fancy
// upsampling, SIMD), and in its fastest mode (fast integer transform, no
// fancy upsampling, Blue-Green-Red out: the same work as ours).  Each
// iteration decodes once with each decoder, alternating, timed by the
// thread's CPU time; the reported time is ours, the counters give the
// peer's time, peer / ours on the means and on the fastest iterations
// (above 1: we are faster).
#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "imaging/core/core.h"
#include "support/compare.h"
#include "support/lzw_compare.h"
#include "support/support.h"
#include "support/photo_picture.h"

namespace {

enum Variant { k420, k444, kGray, kProgressive };

std::vector<uint8_t> Encode(Variant variant) {
  constexpr int kWidth = 2048, kHeight = 1536;
  static const testutil::Raster picture{0, kWidth, kHeight, 3, 0, bench::PhotoPicture(kWidth, kHeight)};
  testutil::JpegOptions options;
  options.gray = variant == kGray;
  options.progressive = variant == kProgressive;
  if (variant == k444) options.horizontal = options.vertical = 1;
  return testutil::JpegEncode(picture, options);
}

const std::vector<uint8_t>& Stream(Variant variant) {
  static const std::vector<uint8_t> streams[4] = {Encode(k420), Encode(k444), Encode(kGray),
                                                  Encode(kProgressive)};
  return streams[variant];
}

// The peer, default settings, scaled by 1 / denominator, into `buffer`, or
// into a fresh one (malloc, as an application would) when null.
void PeerDecode(const std::vector<uint8_t>& jpeg, int denominator, bool fast,
                std::vector<uint8_t>* buffer) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  info.scale_num = 1;
  info.scale_denom = static_cast<unsigned>(denominator);
  if (fast) {
    info.dct_method = JDCT_IFAST;
    info.do_fancy_upsampling = FALSE;
    if (info.num_components == 3) info.out_color_space = JCS_EXT_BGR;
  }
  jpeg_start_decompress(&info);
  const size_t row = static_cast<size_t>(info.output_width) * info.output_components;
  uint8_t* out = nullptr;
  if (buffer) {
    if (buffer->size() < row * info.output_height) buffer->resize(row * info.output_height);
    out = buffer->data();
  } else {
    out = static_cast<uint8_t*>(malloc(row * info.output_height));
  }
  while (info.output_scanline < info.output_height) {
    JSAMPROW line = out + row * info.output_scanline;
    jpeg_read_scanlines(&info, &line, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  if (!buffer) {
    benchmark::DoNotOptimize(out[0]);
    free(out);
  }
}

// Ours through ConvertPage, into a buffer kept from call to call (flag 8),
// as the peer writes into one; without a buffer, into a fresh page as
// viewers get them.
bool OurDecode(const std::vector<uint8_t>& jpeg, int32_t flags, std::vector<uint8_t>* buffer) {
  quillon::PageRecord source{};
  source.data = const_cast<uint8_t*>(jpeg.data());
  source.dataSize = static_cast<uint32_t>(jpeg.size());
  source.dataOwnership = quillon::kOwnedByView;
  source.compression = quillon::kJpeg;
  source.width = 2048;
  source.height = 1536;
  source.bitsPerPixel = 24;
  quillon::PageRecord destination{};
  destination.compression = quillon::kUncompressed;
  if (buffer) {
    destination.data = buffer->data();
    destination.dataSize = static_cast<uint32_t>(buffer->size());
    flags |= quillon::kFlagIntoDestination;
  }
  const int32_t result = quillon::ConvertPage(&source, &destination, flags);
  if (buffer) destination.data = nullptr;
  quillon::FreePage(&destination);
  return result == quillon::kOk;
}

void BM_JpegDecode(benchmark::State& state) {
  const auto variant = static_cast<Variant>(state.range(0));
  const int denominator = static_cast<int>(state.range(1));
  const int32_t flags = denominator == 8 ? quillon::kFlagJpegEighth
                        : denominator == 2 ? quillon::kFlagJpegHalf
                                           : 0;
  const bool fresh = state.range(2) != 0;
  const bool fast = state.range(3) != 0;
  const std::vector<uint8_t>& jpeg = Stream(variant);
  std::vector<uint8_t> ours(2048 * 1536 * 3 + 4096), peer;
  double oursSeconds = 0, peerSeconds = 0, oursBest = 1e9, peerBest = 1e9;
  for (auto _ : state) {
    const double t0 = bench::ThreadSeconds();
    if (!OurDecode(jpeg, flags, fresh ? nullptr : &ours)) state.SkipWithError("decode failed");
    const double t1 = bench::ThreadSeconds();
    PeerDecode(jpeg, denominator, fast, fresh ? nullptr : &peer);
    const double t2 = bench::ThreadSeconds();
    oursSeconds += t1 - t0;
    peerSeconds += t2 - t1;
    oursBest = std::min(oursBest, t1 - t0);
    peerBest = std::min(peerBest, t2 - t1);
    state.SetIterationTime(t1 - t0);
  }
  // The closing table reads the peer's time from this counter.
  state.counters["peer_ms"] = 1000 * peerSeconds / static_cast<double>(state.iterations());
  state.counters["peer/ours"] = peerSeconds / oursSeconds;
  state.counters["best"] = peerBest / oursBest;
  state.counters["kB"] = static_cast<double>(jpeg.size()) / 1024;
}

// Every stream at every size into a kept buffer, against the peer's
// default and fast modes; 4:2:0 at full size also into a fresh page (ours)
// and a fresh malloc buffer (the peer's) each time.
void Cases(benchmark::internal::Benchmark* b) {
  bench::Fastest(b)->ArgNames({"variant", "denom", "fresh", "peerfast"});
  for (int fast : {0, 1})
    for (int variant : {k420, k444, kGray, kProgressive})
      for (int denominator : {1, 2, 8}) b->Args({variant, denominator, 0, fast});
  b->Args({k420, 1, 1, 0});
}

BENCHMARK(BM_JpegDecode)->Apply(Cases)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
