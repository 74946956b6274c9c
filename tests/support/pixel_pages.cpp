#include "support/support.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "imaging/core/runlist.h"

namespace testpix {

using namespace quillon;

namespace {

uint32_t Next(uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

uint32_t Mask(int bpp) {
  return bpp == 24 ? 0xFFFFFFu : (bpp >= 32 ? 0xFFFFFFFFu : (1u << bpp) - 1);
}

void PutPixel(uint8_t* row, int32_t x, int bpp, uint32_t v) {
  if (bpp < 8) {
    const int perByte = 8 / bpp, shift = (perByte - 1 - x % perByte) * bpp;
    uint8_t& b = row[x / perByte];
    b = static_cast<uint8_t>((b & ~(Mask(bpp) << shift)) | (v << shift));
  } else {
    for (int k = 0; k < bpp / 8; ++k) row[bpp / 8 * x + k] = static_cast<uint8_t>(v >> (8 * k));  // blue first
  }
}

uint32_t GetPixel(const uint8_t* row, int32_t x, int bpp) {
  if (bpp < 8) {
    const int perByte = 8 / bpp;
    return (row[x / perByte] >> ((perByte - 1 - x % perByte) * bpp)) & Mask(bpp);
  }
  uint32_t v = 0;
  for (int k = 0; k < bpp / 8; ++k) v |= static_cast<uint32_t>(row[bpp / 8 * x + k]) << (8 * k);
  return v;
}

// A fresh record for a page of `image`'s size and depth.
void Begin(const Image& image, PageRecord* page, int compression, bool bottomUp) {
  FreePage(page);
  *page = PageRecord{};
  page->width = image.width;
  page->height = image.height;
  page->bitsPerPixel = static_cast<int8_t>(image.bpp);
  page->bytesPerLine = BytesPerLine(image.width, image.bpp);
  page->compression = static_cast<int8_t>(compression);
  page->dataOwnership = kOwnedByPage;
  page->layoutFlags = static_cast<int8_t>(bottomUp ? kLayoutBottomUp | kLayoutBmp : kLayoutTopDown);
}

}  // namespace

Image Noise(int32_t width, int32_t height, int bpp, uint32_t seed) {
  Image image(width, height, bpp);
  uint32_t state = seed * 2654435761u + 17;
  for (uint32_t& v : image.px) v = Next(state) & Mask(bpp);
  return image;
}

Image Uniform(int32_t width, int32_t height, int bpp, uint32_t value) {
  Image image(width, height, bpp);
  for (uint32_t& v : image.px) v = value;
  return image;
}

Image Patterned(int32_t width, int32_t height, int bpp, Pattern pattern, uint32_t seed) {
  const uint32_t rowBytes = RowBytes(width, bpp);
  std::vector<uint8_t> rows(static_cast<size_t>(rowBytes) * height);
  for (int32_t y = 0; y < height; ++y)
    for (uint32_t i = 0; i < rowBytes; ++i) {
      uint8_t& b = rows[static_cast<size_t>(y) * rowBytes + i];
      switch (pattern) {
        case Pattern::kNoise: b = static_cast<uint8_t>(Next(seed) >> 16); break;
        case Pattern::kRuns: b = static_cast<uint8_t>(((i + y) / 37) * 0x5B + (i % 101 == 0)); break;
        case Pattern::kGradient: b = static_cast<uint8_t>(i + 3 * y); break;
        case Pattern::kConstant: b = static_cast<uint8_t>(0xC7 + seed); break;
        case Pattern::kAlternating: b = static_cast<uint8_t>(i % 3 == 0 ? i : (i / 3) | 0xC0); break;
      }
    }
  return ReadBuffer(rows.data(), rowBytes, width, height, bpp);
}

Image Drawing(int32_t width, int32_t height, uint32_t seed) {
  Image p(width, height, 1);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const bool frame = x < 3 || y < 2 || x >= width - 3 || y >= height - 2;
      const bool diagonal = std::abs((x * height) / std::max(width, 1) - y) < 2;
      const bool box = x > width / 4 && x < width / 2 && y > height / 3 && y < height / 2;
      const bool stripes = (x / 5 + y / 7) % 4 == 0 && y > height / 2;
      const bool speckle = Next(seed) % 97 == 0;
      p.at(x, y) = !(frame || diagonal || box || stripes || speckle);
    }
  return p;
}

std::vector<uint8_t> PackedRows(const Image& image, bool inkIsOne, uint32_t stride) {
  if (!stride) stride = RowBytes(image.width, image.bpp);
  std::vector<uint8_t> rows(static_cast<size_t>(stride) * image.height);
  for (int32_t y = 0; y < image.height; ++y)
    for (int32_t x = 0; x < image.width; ++x)
      PutPixel(rows.data() + static_cast<size_t>(y) * stride, x, image.bpp, image.at(x, y) ^ (inkIsOne ? 1 : 0));
  return rows;
}

testutil::Raster ToRaster(const Image& image) {
  testutil::Raster r{0, image.width, image.height, image.bpp <= 8 ? 1 : 3, 0, {}};
  for (uint32_t v : image.px) {
    if (image.bpp == 16) v = ((v >> 11) << 19) | (((v >> 5) & 63) << 10) | ((v & 31) << 3);
    if (r.channels == 1) r.pixels.push_back(static_cast<uint8_t>(image.bpp == 1 ? v * 255 : v));
    else r.pixels.insert(r.pixels.end(), {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                                          static_cast<uint8_t>(v)});
  }
  return image.bpp == 16 ? testutil::Widened565(r) : r;
}

void MakePixelPage(const Image& image, PageRecord* page, const uint8_t* palette, bool bottomUp) {
  Begin(image, page, kUncompressed, bottomUp);
  page->dataSize = page->bytesPerLine * static_cast<uint32_t>(image.height);
  page->data = static_cast<uint8_t*>(Allocate(page->dataSize));
  for (int32_t y = 0; y < image.height; ++y)
    for (int32_t x = 0; x < image.width; ++x)
      PutPixel(page->data + (bottomUp ? image.height - 1 - y : y) * page->bytesPerLine, x, image.bpp, image.at(x, y));
  if (image.bpp == 2 || image.bpp == 4 || image.bpp == 8) {
    page->palette = MakeGrayPalette(image.bpp == 8 ? 8 : 4);
    if (palette) std::memcpy(page->palette, palette, 768);
  }
}

void MakeRunListPage(const Image& image, PageRecord* page, bool bottomUp) {
  Begin(image, page, kRunLists, bottomUp);
  page->data = static_cast<uint8_t*>(Allocate(RunListWorstCase(image.width, image.height)));
  uint8_t** lines = LinePointers(*page);
  uint8_t* out = page->data + image.height * sizeof(uint8_t*);
  std::vector<uint8_t> row(RowBytes(image.width, 1) + 1);
  for (int32_t y = 0; y < image.height; ++y) {
    std::fill(row.begin(), row.end(), 0);
    for (int32_t x = 0; x < image.width; ++x) PutPixel(row.data(), x, 1, image.at(x, y));
    lines[bottomUp ? image.height - 1 - y : y] = out;
    out += PackedRowToRuns(image.width, out, row.data());
  }
  page->dataSize = static_cast<uint32_t>(out - page->data);
}

void MakeRunLines(const std::vector<std::vector<uint8_t>>& lines, int32_t width, PageRecord* page) {
  Begin(Image(width, static_cast<int32_t>(lines.size()), 1), page, kRunLists, false);
  page->dataSize = static_cast<uint32_t>(lines.size() * sizeof(uint8_t*));
  for (const auto& line : lines) page->dataSize += static_cast<uint32_t>(line.size() + 3);
  page->data = static_cast<uint8_t*>(Allocate(page->dataSize));
  uint8_t* out = page->data + lines.size() * sizeof(uint8_t*);
  for (size_t y = 0; y < lines.size(); ++y) {
    LinePointers(*page)[y] = out;
    std::memcpy(out, lines[y].data(), lines[y].size());
    out += lines[y].size() + 3;
  }
}

void MakePage(const Image& image, PageRecord* page, const uint8_t* palette, bool bottomUp) {
  image.bpp == 1 ? MakeRunListPage(image, page, bottomUp) : MakePixelPage(image, page, palette, bottomUp);
}

Image ReadBuffer(const uint8_t* data, uint32_t stride, int32_t width, int32_t height, int bpp) {
  Image image(width, height, bpp);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      image.at(x, y) = GetPixel(data + static_cast<size_t>(y) * stride, x, bpp);
  return image;
}

Image ReadPage(const PageRecord& page) {
  if (page.compression != kRunLists) {
    Image image = ReadBuffer(page.data + page.dataOffset, page.bytesPerLine, page.width,
                             page.height, page.bitsPerPixel);
    if (page.layoutFlags & kLayoutBottomUp)
      for (int32_t y = 0; y < page.height / 2; ++y)
        for (int32_t x = 0; x < page.width; ++x) std::swap(image.at(x, y), image.at(x, page.height - 1 - y));
    return image;
  }
  const uint32_t stride = RowBytes(page.width, 1) + 1;
  std::vector<uint8_t> rows(static_cast<size_t>(stride) * page.height + 1);
  for (int32_t y = 0; y < page.height; ++y)
    RunsToRow(LinePointers(page)[y], page.width, rows.data() + y * stride);
  return ReadBuffer(rows.data(), stride, page.width, page.height, 1);
}

Image Turned(const Image& image, int rotation) {
  if (rotation % 360 == 0) return image;
  Image out(image.height, image.width, image.bpp);  // (x, y) lands at (H - 1 - y, x)
  for (int32_t y = 0; y < image.height; ++y)
    for (int32_t x = 0; x < image.width; ++x) out.at(image.height - 1 - y, x) = image.at(x, y);
  return Turned(out, rotation - 90);
}

Image Mirrored(const Image& image, bool horizontal, bool vertical) {
  Image out(image.width, image.height, image.bpp);
  for (int32_t y = 0; y < image.height; ++y)
    for (int32_t x = 0; x < image.width; ++x)
      out.at(horizontal ? image.width - 1 - x : x, vertical ? image.height - 1 - y : y) = image.at(x, y);
  return out;
}

std::vector<std::vector<uint32_t>> RunLengths(const PageRecord& page) {
  std::vector<std::vector<uint32_t>> lines;
  for (int32_t y = 0; y < page.height; ++y) {
    std::vector<uint32_t> runs;
    const uint8_t* p = LinePointers(page)[y];
    uint64_t sum = 0;
    for (uint32_t run = GetRun(p), black;; run = GetRun(p)) {
      runs.push_back(run);
      sum += run;
      if ((black = GetRun(p)) == 0) break;
      runs.push_back(black);
      sum += black;
    }
    if (runs.size() > 1 && runs.back() == 0) runs.pop_back();
    EXPECT_EQ(sum, static_cast<uint64_t>(page.width)) << "line " << y;
    for (size_t i = 1; i < runs.size(); ++i) EXPECT_NE(runs[i], 0u) << "line " << y << " run " << i;
    lines.push_back(std::move(runs));
  }
  return lines;
}

::testing::AssertionResult SameImage(const Image& expected, const Image& actual) {
  if (expected.width != actual.width || expected.height != actual.height || expected.bpp != actual.bpp)
    return ::testing::AssertionFailure() << "expected " << expected.width << "x" << expected.height << "x"
                                         << expected.bpp << ", got " << actual.width << "x" << actual.height << "x"
                                         << actual.bpp;
  for (int32_t y = 0; y < expected.height; ++y)
    for (int32_t x = 0; x < expected.width; ++x)
      if (expected.at(x, y) != actual.at(x, y))
        return ::testing::AssertionFailure() << "first difference at (" << x << ", " << y << "): expected 0x"
                                             << std::hex << expected.at(x, y) << ", got 0x" << actual.at(x, y);
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult SameRecord(const PageRecord& a, const PageRecord& b) {
  if (a.data == b.data && a.palette == b.palette && a.width == b.width && a.height == b.height &&
      a.dataSize == b.dataSize && a.dataOffset == b.dataOffset && a.bytesPerLine == b.bytesPerLine &&
      a.bitsPerPixel == b.bitsPerPixel && a.compression == b.compression && a.dataOwnership == b.dataOwnership &&
      a.photometric == b.photometric && a.yResolution == b.yResolution)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the page record changed";
}

uint32_t PaletteColour(const uint8_t* palette, uint32_t index) {
  const uint8_t* c = palette + 3 * index;
  return c[0] | (c[1] << 8) | (c[2] << 16);
}

std::vector<uint8_t> ColourfulPalette(uint32_t seed) {
  std::vector<uint8_t> palette(768);
  uint32_t state = seed;
  for (size_t i = 3; i < palette.size(); ++i) palette[i] = static_cast<uint8_t>(Next(state));
  return palette;
}

}  // namespace testpix
