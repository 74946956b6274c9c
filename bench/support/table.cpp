#include "support/table.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace bench {

namespace {

// One measured pair: our benchmark against the fastest of the peer's.
struct Pair {
  const char* ours;
  std::vector<const char*> peers;
};

struct Row {
  const char* label;
  const char* peer;
  const char* today;  // measured on the code before (bench/README.md)
  const char* target;
  std::vector<Pair> pairs;  // shown as a range when there are several
};

#define FAX(page, what)                                                                      \
  Pair{"fax/" page "/G4/" what, {"fax/" page "/G4/libtiff"}},                                \
      Pair{"fax/" page "/G3-2D/" what, {"fax/" page "/G3-2D/libtiff"}},                      \
      Pair{"fax/" page "/G3-1D/" what, {"fax/" page "/G3-1D/libtiff"}},                      \
      Pair{"fax/" page "/MH/" what, {"fax/" page "/MH/libtiff"}}
#define TIFF(name, ours) \
  Pair { name "/" ours, { name "/libtiff", name "/libtiff fresh" } }
#define FIT(name) \
  Pair { "fit/" name "/quillon", { "fit/" name "/libvips" } }
// Ours and the peer taking turns in one benchmark (the peer in a counter).
#define TURNS(name) \
  Pair { name, { name " [peer]" } }
#define JPEG(variant, denominator) TURNS("BM_JpegDecode/variant:" #variant "/denom:" #denominator "/fresh:0/peerfast:1")

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {"G4 / G3 / MH to run lists", "libtiff", "2.93-3.71x", ">= 2x", {FAX("text", "runs")}},
      {"  dense dithered page", "libtiff", "0.98-1.74x", "keep", {FAX("dense", "runs")}},
      {"fax decode + paint to a bitmap", "libtiff", "1.63-1.73x", ">= 1.2x", {FAX("text", "rows")}},
      {"  dense dithered page", "libtiff", "0.70-0.96x", ">= 1.2x", {FAX("dense", "rows")}},
      {"PackBits 1-bpp page to a bitmap", "libtiff", "0.04x", ">= 1x",
       {TIFF("PackBits 1-bpp letter 1728x2200", "quillon bitmap")}},
      {"PackBits 1-bpp page to runs", "libtiff", "0.05x", ">= 1x",
       {TIFF("PackBits 1-bpp letter 1728x2200", "quillon runs")}},
      {"PackBits RGB photo 1024x768", "libtiff", "0.29x", ">= 1x",
       {TIFF("PackBits RGB 1024x768, 8 rows/strip", "quillon")}},
      {"PackBits RGB photo 2048x1536", "libtiff", "0.25x", ">= 1x",
       {TIFF("PackBits RGB 2048x1536, 8 rows/strip", "quillon")}},
      {"LZW 1-bpp page to a bitmap", "libtiff", "0.26x", ">= 1x",
       {TIFF("LZW 1-bpp letter 1728x2200", "quillon bitmap")}},
      {"LZW 1-bpp page to runs", "libtiff", "0.30x", ">= 1x", {TIFF("LZW 1-bpp letter 1728x2200", "quillon runs")}},
      {"LZW RGB", "libtiff", "1.78x", "keep", {TIFF("LZW TIFF RGB 1024x768, 8 rows/strip", "quillon")}},
      {"LZW RGB + predictor", "libtiff", "1.90x", "keep", {TIFF("LZW TIFF RGB 1024x768 pred 2, 8 rows/strip", "quillon")}},
      {"LZW 8-bit (one strip / predictor)", "libtiff", "2.31-3.91x", "keep",
       {TIFF("LZW TIFF gray 1600x1200, one strip", "quillon"),
        TIFF("LZW TIFF gray 1600x1200 pred 2, 16 rows/strip", "quillon")}},
      {"baseline JPEG 4:2:0 full", "turbo", "0.88x", ">= 1.1x", {JPEG(0, 1)}},
      {"baseline JPEG 4:2:0 1/2", "turbo", "0.88x", ">= 1x", {JPEG(0, 2)}},
      {"baseline JPEG 4:2:0 1/8", "turbo", "1.55x", ">= 2x", {JPEG(0, 8)}},
      {"progressive JPEG 1/8", "turbo", "15.3x", ">= 10x", {JPEG(3, 8)}},
      {"JPEG encoder 4:2:0", "turbo", "0.28-0.31x", ">= 0.8x", {TURNS("jpeg-encode/side-by-side/colour/q1")}},
      {"JPEG encoder gray", "turbo", "0.41-0.42x", ">= 0.8x", {TURNS("jpeg-encode/side-by-side/gray/q1")}},
      {"GIF", "giflib", "4.94-34.03x", "keep",
       {Pair{"GIF photo 1024x768/quillon", {"GIF photo 1024x768/giflib"}},
        Pair{"GIF photo 1024x768 interlaced/quillon", {"GIF photo 1024x768 interlaced/giflib"}},
        Pair{"GIF chart 2000x1500/quillon", {"GIF chart 2000x1500/giflib"}}}},
      {"fit to 240x320: fax", "libvips", "14.46x", ">= 5x", {FIT("fax G4 1728x2200")}},
      {"fit: progressive JPEG", "libvips", "10.51x", ">= 5x", {FIT("progressive JPEG 2048x1536")}},
      {"fit: GIF", "libvips", "12.59x", ">= 5x", {FIT("GIF 1024x768")}},
      {"fit: baseline JPEG 4:2:0", "libvips", "3.94x", ">= 5x", {FIT("baseline JPEG 2048x1536")}},
      {"fit: LZW + predictor TIFF", "libvips", "3.64x", ">= 5x", {FIT("LZW+predictor TIFF 2048x1536")}},
  };
  return rows;
}

// Peer time / ours for one pair, and the spread of the two: how far the
// median repetition lies above the fastest, the larger of the two sides.
bool Measure(const std::map<std::string, Timing>& t, const Pair& pair, double* ratio, double* spread) {
  auto ours = t.find(pair.ours);
  if (ours == t.end() || ours->second.best <= 0) return false;
  const Timing* peer = nullptr;
  for (const char* name : pair.peers) {
    auto p = t.find(name);
    if (p != t.end() && p->second.best > 0 && (!peer || p->second.best < peer->best)) peer = &p->second;
  }
  if (!peer) return false;
  *ratio = peer->best / ours->second.best;
  *spread = std::max(ours->second.median / ours->second.best, peer->median / peer->best) - 1;
  return true;
}

}  // namespace

void PrintTable(const std::map<std::string, Timing>& timings) {
  std::printf("\n%-36s %-8s %-12s %-8s %-16s %s\n", "case (best of the repetitions)", "peer", "today", "target",
              "now (peer/ours)", "spread");
  for (const Row& row : Rows()) {
    double low = 1e300, high = 0, spread = 0;
    for (const Pair& pair : row.pairs) {
      double ratio, s;
      if (!Measure(timings, pair, &ratio, &s)) continue;
      low = std::min(low, ratio);
      high = std::max(high, ratio);
      spread = std::max(spread, s);
    }
    if (high == 0) continue;  // not run (filtered out, or a peer missing)
    char now[40];
    if (high - low < 0.05) std::snprintf(now, sizeof now, "%.2fx", low);
    else std::snprintf(now, sizeof now, "%.2f-%.2fx", low, high);
    std::printf("%-36s %-8s %-12s %-8s %-16s %.1f%%\n", row.label, row.peer, row.today, row.target, now,
                100 * spread);
  }
  std::printf("turbo: libjpeg-turbo in its fastest mode (fast integer transform, no fancy upsampling, "
              "Blue-Green-Red out).\nThumbnails of the 50-file folder: scripts/bench-thumbnails.\n");
  std::fflush(stdout);
}

}  // namespace bench
