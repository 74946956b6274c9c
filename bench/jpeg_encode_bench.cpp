// JPEG encoding against libjpeg-turbo's compressor (its libjpeg API,
// 4:2:0, SIMD) on the same 2048 x 1536 page, at our three qualities and
// the peer's qualities with the same tables (75, 50, 25; at 75 it rounds
// the halved entries where we truncate), colour and gray.  The peer runs
// once with its default accurate integer transform and once with the fast
// one, the AAN transform that ours is.  Both read the page's Blue, Green,
// Red lines in place and write into fresh memory.
#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/core/core.h"
#include "support/compare.h"
#include "support/lzw_compare.h"
#include "support/photo_picture.h"

namespace {

using namespace quillon;

constexpr int kWidth = 2048, kHeight = 1536;

enum class Kind { kColour, kGray };

// The picture as the pixels of a page: 24-bpp Blue, Green, Red lines, or
// its green samples as an 8-bpp gray page (2048 x 3 and 2048 bytes a line,
// already multiples of 4).
struct BenchPage {
  std::vector<uint8_t> pixels;
};

BenchPage MakePage(Kind kind) {
  BenchPage p;
  const std::vector<uint8_t> rgb = bench::PhotoPicture(kWidth, kHeight);
  for (size_t i = 0; i < rgb.size(); i += 3) {
    if (kind == Kind::kGray) p.pixels.push_back(rgb[i + 1]);
    else p.pixels.insert(p.pixels.end(), {rgb[i + 2], rgb[i + 1], rgb[i]});
  }
  return p;
}

const BenchPage& Picture(Kind kind) {
  if (kind == Kind::kGray) {
    static const BenchPage gray = MakePage(Kind::kGray);
    return gray;
  }
  static const BenchPage colour = MakePage(Kind::kColour);
  return colour;
}

PageRecord SourceRecord(Kind kind) {
  const BenchPage& page = Picture(kind);
  PageRecord r{};
  r.width = kWidth;
  r.height = kHeight;
  r.bitsPerPixel = kind == Kind::kColour ? 24 : 8;
  r.bytesPerLine = BytesPerLine(kWidth, r.bitsPerPixel);
  r.data = const_cast<uint8_t*>(page.pixels.data());
  r.dataSize = static_cast<uint32_t>(page.pixels.size());
  r.dataOwnership = kOwnedByView;
  r.compression = kUncompressed;
  r.layoutFlags = kLayoutTopDown;
  r.xResolution = r.yResolution = 300;
  return r;
}

// One peer compression into memory it allocates; the stream's size.
size_t PeerEncode(Kind kind, int quality, J_DCT_METHOD method) {
  const BenchPage& page = Picture(kind);
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = kWidth;
  info.image_height = kHeight;
  info.input_components = kind == Kind::kColour ? 3 : 1;
  info.in_color_space = kind == Kind::kColour ? JCS_EXT_BGR : JCS_GRAYSCALE;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  info.dct_method = method;
  jpeg_start_compress(&info, TRUE);
  const size_t stride = static_cast<size_t>(kWidth) * info.input_components;
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(page.pixels.data() + stride * info.next_scanline);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  free(out);
  return size;
}

void Ours(benchmark::State& state, Kind kind, int quality) {
  size_t size = 0;
  for (auto _ : state) {
    PageRecord source = SourceRecord(kind);
    PageRecord out{};
    out.compression = kJpeg;
    if (ConvertPage(&source, &out, quality) != kOk) return state.SkipWithError("encode failed");
    size = out.dataSize;
    benchmark::DoNotOptimize(out.data);
    FreePage(&out);
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
  state.counters["coded_KB"] = static_cast<double>(size) / 1024;
}

void Peer(benchmark::State& state, Kind kind, int quality, J_DCT_METHOD method) {
  size_t size = 0;
  for (auto _ : state) size = PeerEncode(kind, quality, method);
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
  state.counters["coded_KB"] = static_cast<double>(size) / 1024;
}

// Ours and the peer (default and fast transform) taking turns within each
// iteration, timed by the thread's CPU time, so that a busy machine slows
// both alike: peer / ours on the means and on the fastest iterations.
void SideBySide(benchmark::State& state, Kind kind, int quality, int peerQuality) {
  double ours = 0, peer = 0, fast = 0, oursBest = 1e9, peerBest = 1e9, fastBest = 1e9;
  for (auto _ : state) {
    const double t0 = bench::ThreadSeconds();
    PageRecord source = SourceRecord(kind);
    PageRecord out{};
    out.compression = kJpeg;
    if (ConvertPage(&source, &out, quality) != kOk) return state.SkipWithError("encode failed");
    FreePage(&out);
    const double t1 = bench::ThreadSeconds();
    PeerEncode(kind, peerQuality, JDCT_ISLOW);
    const double t2 = bench::ThreadSeconds();
    PeerEncode(kind, peerQuality, JDCT_IFAST);
    const double t3 = bench::ThreadSeconds();
    ours += t1 - t0;
    peer += t2 - t1;
    fast += t3 - t2;
    oursBest = std::min(oursBest, t1 - t0);
    peerBest = std::min(peerBest, t2 - t1);
    fastBest = std::min(fastBest, t3 - t2);
    state.SetIterationTime(t1 - t0);
  }
  state.counters["peer/ours"] = peer / ours;
  state.counters["fast/ours"] = fast / ours;
  state.counters["best"] = peerBest / oursBest;
  state.counters["best_fast"] = fastBest / oursBest;
  // The closing table reads the peer's time (its faster mode) from this counter.
  state.counters["peer_ms"] = 1000 * std::min(peer, fast) / static_cast<double>(state.iterations());
}

bool Register() {
  bench::Fastest(benchmark::RegisterBenchmark("jpeg-encode/side-by-side/colour/q1", SideBySide, Kind::kColour, 1, 50))
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  bench::Fastest(benchmark::RegisterBenchmark("jpeg-encode/side-by-side/gray/q1", SideBySide, Kind::kGray, 1, 50))
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  struct Case {
    Kind kind;
    int quality;      // ours
    int peerQuality;  // the peer's with the same tables
  };
  const Case cases[] = {{Kind::kColour, 0, 75}, {Kind::kColour, 1, 50}, {Kind::kColour, 2, 25}, {Kind::kGray, 1, 50}};
  for (const Case& c : cases) {
    const std::string label = std::string(c.kind == Kind::kColour ? "4:2:0" : "gray") + " quality " +
                              std::to_string(c.quality) + " (peer " + std::to_string(c.peerQuality) + ")";
    const std::string prefix = "jpeg-encode/" + std::string(c.kind == Kind::kColour ? "colour" : "gray") + "/q" +
                               std::to_string(c.quality) + "/";
    bench::Fastest(benchmark::RegisterBenchmark((prefix + "ours").c_str(), Ours, c.kind, c.quality))
        ->Unit(benchmark::kMillisecond);
    bench::Fastest(benchmark::RegisterBenchmark((prefix + "peer").c_str(), Peer, c.kind, c.peerQuality, JDCT_ISLOW))
        ->Unit(benchmark::kMillisecond);
    bench::Fastest(
        benchmark::RegisterBenchmark((prefix + "peer-fast").c_str(), Peer, c.kind, c.peerQuality, JDCT_IFAST))
        ->Unit(benchmark::kMillisecond);
    bench::AddComparison({"encode " + label, prefix + "peer", {{"ours", prefix + "ours"}}});
    bench::AddComparison({"encode " + label + ", peer fast DCT", prefix + "peer-fast", {{"ours", prefix + "ours"}}});
  }
  return true;
}

const bool registered = Register();

}  // namespace
