// Display rendering: a fax page held as run lists into a 240 x 320
// scale-to-gray view, and a 2048 x 1536 photo into a 240 x 320 view packed
// to 16 bpp.  Times are per render (milliseconds).  Target: under 5 ms per
// fax render.
//
// For comparison, the fax view is also made the plain way: unpack the
// whole page to packed rows and count the white pixels of each block.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/core/core.h"
#include "imaging/core/runlist.h"
#include "imaging/pixels/pixels.h"

namespace {

using namespace quillon;

constexpr int32_t kFaxWidth = 1728, kFaxHeight = 2200;
constexpr int32_t kViewWidth = 240, kViewHeight = 320;

uint32_t Next(uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

// A typed letter: 12-point text lines in the margins of a fax page, words
// of glyph-sized strokes and bowls, a letterhead rule and a signature.
struct FaxPage {
  PageRecord page{};
  FaxPage() {
    const uint32_t stride = BytesPerLine(kFaxWidth, 1);
    std::vector<uint8_t> bits(static_cast<size_t>(stride) * kFaxHeight, 0xFF);
    auto black = [&](int32_t x, int32_t y) {
      if (x >= 0 && y >= 0 && x < kFaxWidth && y < kFaxHeight)
        bits[static_cast<size_t>(y) * stride + x / 8] &= static_cast<uint8_t>(~(0x80 >> (x % 8)));
    };
    auto box = [&](int32_t x0, int32_t y0, int32_t w, int32_t h) {
      for (int32_t y = y0; y < y0 + h; ++y)
        for (int32_t x = x0; x < x0 + w; ++x) black(x, y);
    };
    uint32_t state = 1;
    box(160, 150, 1400, 4);  // letterhead rule
    for (int32_t line = 0; line < 48; ++line) {
      const int32_t base = 260 + line * 38;
      int32_t x = 160 + (line % 7 == 0 ? 60 : 0);
      const int32_t end = line % 9 == 8 ? 900 : 1560;
      while (x < end) {
        const int32_t letters = 2 + static_cast<int32_t>(Next(state) % 9);
        for (int32_t i = 0; i < letters && x < end; ++i, x += 17) {
          const uint32_t shape = Next(state);
          const int32_t top = base - (shape & 1 ? 26 : 18);
          box(x + 2, top, 3, base - top);                           // stem
          if (shape & 2) box(x + 2, base - 18, 11, 3);              // arch
          if (shape & 4) box(x + 11, base - 18, 3, 18);             // second stem
          if (shape & 8) box(x + 2, base - 3, 11, 3);               // foot
          if ((shape & 48) == 48) box(x + 5, base + 1, 3, 7);       // descender
        }
        x += 14;  // word space
      }
    }
    for (int32_t i = 0; i < 400; ++i) box(1100 + i, 2060 + (i * i / 97) % 40, 3, 3);
    page.width = kFaxWidth;
    page.height = kFaxHeight;
    page.bitsPerPixel = 1;
    page.compression = kRunLists;
    page.dataOwnership = kOwnedByPage;
    page.data = static_cast<uint8_t*>(Allocate(RunListWorstCase(kFaxWidth, kFaxHeight)));
    uint8_t* out = page.data + kFaxHeight * sizeof(uint8_t*);
    for (int32_t y = 0; y < kFaxHeight; ++y) {
      LinePointers(page)[y] = out;
      out += PackedRowToRuns(kFaxWidth, out, bits.data() + static_cast<size_t>(y) * stride);
    }
    page.dataSize = static_cast<uint32_t>(out - page.data);
  }
  ~FaxPage() { FreePage(&page); }
};

const FaxPage& Fax() {
  static const FaxPage fax;
  return fax;
}

// The whole page fitted into the view, keeping its proportions.
int32_t FitStep(int32_t width, int32_t height) {
  return StepToFit(width, height, kViewWidth, kViewHeight);
}

void BM_FaxScaleToGray(benchmark::State& state) {
  const PageRecord& page = Fax().page;
  std::vector<uint8_t> view(BytesPerLine(kViewWidth, 4) * kViewHeight);
  RenderRequest request{};
  request.xStep = request.yStep = FitStep(kFaxWidth, kFaxHeight);
  request.dstWidth = kViewWidth;
  request.dstHeight = kViewHeight;
  request.dstBytesPerLine = BytesPerLine(kViewWidth, 4);
  request.dstBits = view.data();
  request.dstBitsPerPixel = 4;
  for (auto _ : state) {
    if (RenderPage(&page, &request, 1) != kOk) state.SkipWithError("RenderPage failed");
    benchmark::DoNotOptimize(view.data());
  }
}
BENCHMARK(BM_FaxScaleToGray)->Unit(benchmark::kMillisecond);

void BM_FaxBilevel(benchmark::State& state) {
  const PageRecord& page = Fax().page;
  std::vector<uint8_t> view(BytesPerLine(kViewWidth, 1) * kViewHeight);
  RenderRequest request{};
  request.xStep = request.yStep = FitStep(kFaxWidth, kFaxHeight);
  request.dstWidth = kViewWidth;
  request.dstHeight = kViewHeight;
  request.dstBytesPerLine = BytesPerLine(kViewWidth, 1);
  request.dstBits = view.data();
  for (auto _ : state) {
    if (RenderPage(&page, &request, 1) != kOk) state.SkipWithError("RenderPage failed");
    benchmark::DoNotOptimize(view.data());
  }
}
BENCHMARK(BM_FaxBilevel)->Unit(benchmark::kMillisecond);

// The plain way: every line unpacked, then each view pixel counts the white
// pixels of the 2 x 2 block at its sampling position.
void BM_FaxScaleToGrayUnpackFirst(benchmark::State& state) {
  const PageRecord& page = Fax().page;
  const uint32_t rowBytes = RowBytes(kFaxWidth, 1);
  std::vector<uint8_t> rows(static_cast<size_t>(rowBytes) * kFaxHeight);
  std::vector<uint8_t> view(BytesPerLine(kViewWidth, 4) * kViewHeight);
  const int32_t step = FitStep(kFaxWidth, kFaxHeight);
  const uint8_t levels[5] = {0, 4, 8, 7, 15};
  auto white = [&](int32_t x, int32_t y) {
    return x < kFaxWidth && y < kFaxHeight &&
           (rows[static_cast<size_t>(y) * rowBytes + x / 8] >> (7 - x % 8)) & 1;
  };
  for (auto _ : state) {
    for (int32_t y = 0; y < kFaxHeight; ++y)
      RunsToRow(LinePointers(page)[y], kFaxWidth, rows.data() + static_cast<size_t>(y) * rowBytes);
    for (int32_t j = 0; j < kViewHeight; ++j)
      for (int32_t i = 0; i < kViewWidth; ++i) {
        const int32_t x = i * step / 256, y = j * step / 256;
        const int n = white(x, y) + white(x + 1, y) + white(x, y + 1) + white(x + 1, y + 1);
        uint8_t& b = view[static_cast<size_t>(j) * BytesPerLine(kViewWidth, 4) + i / 2];
        b = static_cast<uint8_t>(i % 2 ? (b & 0xF0) | levels[n] : (levels[n] << 4) | (b & 0x0F));
      }
    benchmark::DoNotOptimize(view.data());
  }
}
BENCHMARK(BM_FaxScaleToGrayUnpackFirst)->Unit(benchmark::kMillisecond);

struct Photo {
  PageRecord page{};
  Photo() {
    page.width = 2048;
    page.height = 1536;
    page.bitsPerPixel = 24;
    page.bytesPerLine = BytesPerLine(2048, 24);
    page.dataSize = page.bytesPerLine * 1536;
    page.dataOwnership = kOwnedByPage;
    page.data = static_cast<uint8_t*>(Allocate(page.dataSize));
    uint32_t state = 7;
    for (int32_t y = 0; y < 1536; ++y)
      for (int32_t x = 0; x < 2048; ++x) {
        uint8_t* p = page.data + static_cast<size_t>(y) * page.bytesPerLine + 3 * x;
        p[0] = static_cast<uint8_t>(x / 8);
        p[1] = static_cast<uint8_t>(y / 6);
        p[2] = static_cast<uint8_t>((x + y) / 14 + Next(state) % 16);
      }
  }
  ~Photo() { FreePage(&page); }
};

// args: rotation (90 fills the portrait view), then 0 = render only,
// 1 = packed to 16 bpp, 2 = dithered for a 12-bit display.
void BM_Photo16BitView(benchmark::State& state) {
  static const Photo photo;
  const uint32_t rotation = static_cast<uint32_t>(state.range(0));
  const bool turned = rotation == 90;
  const int32_t step = turned ? FitStep(1536, 2048) : FitStep(2048, 1536);
  RenderRequest request{};
  request.xStep = request.yStep = step;
  request.rotation = rotation;
  request.dstWidth = kViewWidth;
  request.dstHeight = std::min(kViewHeight, (turned ? 2048 : 1536) * 256 / step);
  request.dstBytesPerLine = BytesPerLine(kViewWidth, 24);
  std::vector<uint8_t> view(static_cast<size_t>(request.dstBytesPerLine) * request.dstHeight);
  request.dstBits = view.data();
  for (auto _ : state) {
    if (RenderPage(&photo.page, &request, 1) != kOk) state.SkipWithError("RenderPage failed");
    if (state.range(1) != 0) {
      PageRecord frame{};
      frame.width = request.dstWidth;
      frame.height = request.dstHeight;
      frame.bitsPerPixel = 24;
      frame.bytesPerLine = request.dstBytesPerLine;
      frame.dataSize = static_cast<uint32_t>(view.size());
      frame.data = view.data();
      const int32_t target = state.range(1) == 1 ? 16 : kTarget12Bit;
      if (ConvertBitDepth(&frame, target, kDitherDiffusion) != kOk)
        state.SkipWithError("ConvertBitDepth failed");
      if (frame.data != view.data()) FreePage(&frame);
    }
    benchmark::DoNotOptimize(view.data());
  }
}
BENCHMARK(BM_Photo16BitView)
    ->ArgsProduct({{0, 90}, {0, 1, 2}})
    ->ArgNames({"rotation", "output"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
