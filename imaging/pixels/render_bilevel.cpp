// The bilevel renderer: draws run lists straight into packed 1-bpp output,
// or through two packed work lines into 4-bpp scale-to-gray levels.
// Reduction lets black win, so a black run never vanishes however far the
// page is reduced.
#include <algorithm>
#include <cstring>

#include "imaging/pixels/pixels_internal.h"
#include "imaging/pixels/render_internal.h"

namespace quillon::pixels {

namespace {

// Beyond 4:1 vertically every other source line is skipped.
constexpr uint32_t kSkipStep = 1024;

// Output byte of two scale-to-gray pixels, indexed by four work bits of the
// upper line (high half) and the four below them (low half).
constexpr auto kFold = [] {
  struct Table {
    uint8_t v[256];
  } t{};
  auto whites = [](int bits) { return (bits & 1) + ((bits >> 1) & 1); };
  for (int i = 0; i < 256; ++i) {
    int first = whites(i >> 6) + whites((i >> 2) & 3);
    int second = whites((i >> 4) & 3) + whites(i & 3);
    t.v[i] = static_cast<uint8_t>((kScaleToGrayIndex[first] << 4) |
                                  kScaleToGrayIndex[second]);
  }
  return t;
}();

// Paints a source line's black runs into a packed row.
struct LinePainter {
  uint32_t srcX;
  uint32_t limit;             // srcX + covered source pixels
  const uint32_t* position;   // source offset -> output bit; null at 1:1
  uint64_t outWidth;          // output bits of a line

  void Paint(const uint8_t* line, uint8_t* row) const {
    ForEachBlackRun(line, static_cast<int32_t>(limit), [&](uint32_t x0, uint32_t x1) {
      if (x1 <= srcX) return;
      const uint32_t a = std::max(x0, srcX) - srcX, b = x1 - srcX;
      if (!position) {
        ClearBits(row, a, b - a);
        return;
      }
      const uint32_t start = position[a];
      const uint64_t n = std::max<uint32_t>(1, position[b] - start);
      ClearBits(row, start, static_cast<uint32_t>(std::min<uint64_t>(n, outWidth - start)));
    });
  }
};

// Output lines are the caller's lines, or pairs of work lines folded into
// one scale-to-gray line each.
struct GrayFolder {
  const RenderRequest* request;
  bool topDown;
  uint8_t* work;
  uint32_t workStride;
  int64_t pair = -1;

  uint8_t* Line(uint64_t j) {
    const int64_t p = static_cast<int64_t>(j >> 1);
    if (p != pair) {
      Finish();
      pair = p;
      std::memset(work, 0xFF, 2 * static_cast<size_t>(workStride));
    }
    return work + (j & 1) * workStride;
  }

  void Finish() {
    if (pair < 0) return;
    uint8_t* out = OutputLine(*request, static_cast<uint64_t>(pair), topDown);
    const uint64_t rowBytes = OutputRowBytes(request->dstWidth, 4);
    const uint8_t* upper = work;
    const uint8_t* lower = work + workStride;
    uint64_t k = 0;
    for (uint32_t i = 0; i < workStride && k < rowBytes; ++i) {
      out[k++] = kFold.v[(upper[i] & 0xF0) | (lower[i] >> 4)];
      if (k < rowBytes)
        out[k++] = kFold.v[((upper[i] & 0x0F) << 4) | (lower[i] & 0x0F)];
    }
    if (k < rowBytes) std::memset(out + k, 0xFF, rowBytes - k);
    pair = -1;
  }
};

struct DirectLines {
  const RenderRequest* request;
  bool topDown;
  uint8_t* Line(uint64_t j) { return OutputLine(*request, j, topDown); }
  void Finish() {}
};

// Walks the source lines from srcY and paints each into the output line it
// falls on: enlarging repeats a line, reducing ANDs several into one.
template <typename Lines>
void DrawLines(uint8_t* const* lines, uint32_t srcY, uint64_t count,
               uint32_t yStep, uint64_t outLines, const LinePainter& painter,
               Lines& out) {
  if (yStep <= kUnitStep) {
    uint64_t position = 0;
    for (uint64_t j = 0; j < outLines; ++j, position += yStep) {
      const uint64_t s = position >> 8;
      if (s >= count) break;
      painter.Paint(lines[srcY + s], out.Line(j));
    }
  } else {
    const bool skip = yStep > kSkipStep;
    uint64_t j = 0, accumulator = 0;
    for (uint64_t s = 0; s < count; ++s) {
      if (!skip || s % 2 == 0) painter.Paint(lines[srcY + s], out.Line(j));
      accumulator += kUnitStep;
      if (accumulator >= yStep) {
        accumulator -= yStep;
        if (++j >= outLines) break;
      }
    }
  }
  out.Finish();
}

}  // namespace

int32_t RenderBilevel(const PageRecord& page, const RenderRequest& r,
                      bool topDown) {
  const uint32_t width = static_cast<uint32_t>(page.width);
  const uint32_t height = static_cast<uint32_t>(page.height);
  const uint32_t srcX = static_cast<uint32_t>(r.srcX);
  const uint32_t srcY = static_cast<uint32_t>(r.srcY);
  if (srcY >= height || srcX >= width) return kOk;

  // Scale-to-gray draws the page at twice the size into the work lines.
  const bool gray = r.dstBitsPerPixel == 4;
  const uint32_t xStep = gray ? static_cast<uint32_t>(r.xStep) / 2
                              : static_cast<uint32_t>(r.xStep);
  const uint32_t yStep = gray ? static_cast<uint32_t>(r.yStep) / 2
                              : static_cast<uint32_t>(r.yStep);
  const uint64_t outWidth = static_cast<uint64_t>(r.dstWidth) * (gray ? 2 : 1);
  const uint64_t outLines = static_cast<uint64_t>(r.dstHeight) * (gray ? 2 : 1);
  // Every source pixel and line that lands inside the output is drawn,
  // the partly covered last ones included.
  const uint32_t covered = static_cast<uint32_t>(
      std::min<uint64_t>((outWidth * xStep + 255) / 256, width - srcX));
  const uint64_t count =
      std::min<uint64_t>((outLines * yStep + 255) / 256, height - srcY);

  Scratch positions;
  uint64_t outBits = covered;  // output bits the painted runs can reach
  if (xStep != kUnitStep) {
    positions.p = Allocate(SizeProduct(covered + 1, sizeof(uint32_t)));
    if (!positions.p) return kErrMemory;
    uint32_t* position = positions.as<uint32_t>();
    for (uint32_t a = 0; a <= covered; ++a)
      position[a] = static_cast<uint32_t>(static_cast<uint64_t>(a) * 256 / xStep);
    outBits = std::min<uint64_t>(position[covered] + 1, outWidth);
  }
  const LinePainter painter{srcX, srcX + covered, positions.as<uint32_t>(), outWidth};
  uint8_t* const* lines = LinePointers(page);

  if (!gray) {
    const uint64_t rowBytes = OutputRowBytes(r.dstWidth, 1);
    for (uint64_t j = 0; j < static_cast<uint64_t>(r.dstHeight); ++j)
      std::memset(OutputLine(r, j, topDown), 0xFF, rowBytes);
    DirectLines out{&r, topDown};
    DrawLines(lines, srcY, count, yStep, outLines, painter, out);
    return kOk;
  }
  const uint32_t workStride = static_cast<uint32_t>((outBits + 31) / 32 * 4);
  Scratch work(2 * static_cast<uint64_t>(workStride));
  if (!work.p) return kErrMemory;
  GrayFolder out{&r, topDown, work.as<uint8_t>(), workStride};
  DrawLines(lines, srcY, count, yStep, outLines, painter, out);
  return kOk;
}

}  // namespace quillon::pixels
