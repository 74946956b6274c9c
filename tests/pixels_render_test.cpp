// RenderPage: sampling with the four view rotations, the bilevel renderer
// and scale-to-gray, and the safety of any request.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/core/runlist.h"
#include "imaging/pixels/pixels.h"
#include "support/pixel_pages.h"
#include "support/test_util.h"

using namespace quillon;
using testpix::Image;
using testpix::SameImage;

namespace {

constexpr uint8_t kMarker = 0xA5;
constexpr size_t kGuard = 64;

// An output buffer with guard zones on both sides, all filled with the
// marker; the guards must survive every render.
struct Output {
  std::vector<uint8_t> bytes;
  RenderRequest request{};
  int depth;

  Output(int32_t width, int32_t height, int outDepth, uint32_t stride = 0) : depth(outDepth) {
    request.dstWidth = width;
    request.dstHeight = height;
    request.dstBytesPerLine = stride ? stride : BytesPerLine(width, outDepth);
    request.xStep = request.yStep = kUnitStep;
    request.dstBitsPerPixel = static_cast<uint8_t>(outDepth == 4 ? 4 : 0);
    bytes.assign(2 * kGuard + static_cast<size_t>(height) * request.dstBytesPerLine, kMarker);
    request.dstBits = bytes.data() + kGuard;
  }
  bool GuardsIntact() const {
    return std::all_of(bytes.begin(), bytes.begin() + kGuard, [](uint8_t b) { return b == kMarker; }) &&
           std::all_of(bytes.end() - kGuard, bytes.end(), [](uint8_t b) { return b == kMarker; });
  }
  Image Read() const {
    return testpix::ReadBuffer(request.dstBits, request.dstBytesPerLine, request.dstWidth,
                               request.dstHeight, depth);
  }
};

// What the sampling table says: output (i, j) shows the source pixel the
// rotation names; only pixels whose whole footprint lies inside the page
// are drawn, the others keep the marker.
Image ExpectedSampling(const Image& page, const RenderRequest& r, const Image& untouched) {
  Image out = untouched;
  const bool turned = r.rotation == 90 || r.rotation == 270;
  const int64_t across = turned ? page.height : page.width;
  const int64_t down = turned ? page.width : page.height;
  for (int32_t j = 0; j < r.dstHeight; ++j)
    for (int32_t i = 0; i < r.dstWidth; ++i) {
      if ((i + 1) * int64_t{r.xStep} > (across - r.srcX) * 256 ||
          (j + 1) * int64_t{r.yStep} > (down - r.srcY) * 256)
        continue;
      const int64_t u = i * int64_t{r.xStep} / 256, v = j * int64_t{r.yStep} / 256;
      int64_t x, y;
      switch (r.rotation) {
        case 90: x = r.srcY + v, y = page.height - 1 - r.srcX - u; break;
        case 180: x = page.width - 1 - r.srcX - u, y = page.height - 1 - r.srcY - v; break;
        case 270: x = page.width - 1 - r.srcY - v, y = r.srcX + u; break;
        default: x = r.srcX + u, y = r.srcY + v; break;
      }
      out.at(i, j) = page.at(static_cast<int32_t>(x), static_cast<int32_t>(y));
    }
  return out;
}

Image Flipped(const Image& in) {
  Image out = in;
  for (int32_t y = 0; y < in.height; ++y)
    for (int32_t x = 0; x < in.width; ++x) out.at(x, in.height - 1 - y) = in.at(x, y);
  return out;
}

// The bilevel renderer as documented, from the pixels (every source pixel
// and line that lands inside the output is drawn): source line s of
// the region lands on output line floor(s * 256 / yStep) (beyond 4:1 only
// the even ones), or output line j shows source line floor(j * yStep / 256)
// when enlarging; a black run [a, b) clears output pixels from
// a' = floor(a * 256 / xStep) for max(1, floor(b * 256 / xStep) - a').
Image ReferenceBilevel(const Image& page, const RenderRequest& r) {
  Image out = testpix::Uniform(r.dstWidth, r.dstHeight, 1, 1);
  auto ceil256 = [](int64_t v) { return (v + 255) / 256; };
  const int64_t covered = std::min<int64_t>(ceil256(int64_t{r.dstWidth} * r.xStep), page.width - r.srcX);
  auto paint = [&](int32_t sourceLine, int32_t outLine) {
    for (int64_t x = 0; x < covered;) {
      if (page.at(static_cast<int32_t>(r.srcX + x), sourceLine)) {
        ++x;
        continue;
      }
      int64_t end = x;
      while (end < covered && !page.at(static_cast<int32_t>(r.srcX + end), sourceLine)) ++end;
      const int64_t first = x * 256 / r.xStep;
      const int64_t n = std::max<int64_t>(1, end * 256 / r.xStep - first);
      for (int64_t i = first; i < first + n && i < r.dstWidth; ++i) out.at(static_cast<int32_t>(i), outLine) = 0;
      x = end;
    }
  };
  const int64_t count = std::min<int64_t>(ceil256(int64_t{r.yStep} * r.dstHeight), page.height - r.srcY);
  if (r.yStep <= 256) {
    for (int32_t j = 0; j < r.dstHeight; ++j)
      if (int64_t{j} * r.yStep / 256 < count) paint(static_cast<int32_t>(r.srcY + int64_t{j} * r.yStep / 256), j);
  } else {
    for (int64_t s = 0; s < count; ++s) {
      const int64_t j = s * 256 / r.yStep;
      if (j >= r.dstHeight) break;
      if (r.yStep <= 1024 || s % 2 == 0) paint(static_cast<int32_t>(r.srcY + s), static_cast<int32_t>(j));
    }
  }
  return out;
}

// Gray level index by the number of white pixels in a 2 x 2 block.
uint32_t Level(int whites) {
  switch (whites) {
    case 0: return 0;
    case 1: return 4;
    case 2: return 8;
    case 3: return 7;
    default: return 15;
  }
}

}  // namespace

TEST(RenderSampling, FourRotationsAtEveryDepthAndStep) {
  for (int bpp : {4, 8, 16, 24})
    for (uint32_t rotation : {0u, 90u, 180u, 270u})
      for (int32_t step : {256, 512, 128, 384, 96, 32})
        for (auto [sx, sy] : {std::pair{0, 0}, {1, 2}, {3, 1}}) {
          Image image = testpix::Noise(11, 7, bpp, static_cast<uint32_t>(bpp + step));
          testutil::Page page;
          testpix::MakePixelPage(image, page.get());
          Output out(23, 9, bpp);
          Image untouched = out.Read();
          out.request.srcX = sx;
          out.request.srcY = sy;
          out.request.xStep = step;
          out.request.yStep = step == 96 ? 300 : step;
          out.request.rotation = rotation;
          ASSERT_EQ(RenderPage(page.get(), &out.request, 1), kOk);
          EXPECT_TRUE(SameImage(ExpectedSampling(image, out.request, untouched), out.Read()))
              << bpp << " bpp, rotation " << rotation << ", step " << step << ", origin " << sx
              << "," << sy;
          EXPECT_TRUE(out.GuardsIntact());
          // Bottom-up: the same lines in the opposite order.
          Output up(23, 9, bpp);
          up.request = out.request;
          up.request.dstBits = up.bytes.data() + kGuard;
          ASSERT_EQ(RenderPage(page.get(), &up.request, 0), kOk);
          EXPECT_TRUE(SameImage(Flipped(out.Read()), up.Read()));
        }
}

TEST(RenderSampling, HalfTurnOfASmallPageAndTheFlips) {
  Image image(3, 2, 8);
  image.px = {1, 2, 3, 4, 5, 6};
  testutil::Page page;
  testpix::MakePixelPage(image, page.get());
  Output out(3, 2, 8);
  out.request.rotation = 180;
  ASSERT_EQ(RenderPage(page.get(), &out.request, 1), kOk);
  EXPECT_EQ(out.Read().px, (std::vector<uint32_t>{6, 5, 4, 3, 2, 1}));
  // A half turn in the view equals both flips of the page.
  for (int bpp : {4, 8, 16, 24}) {
    Image noise = testpix::Noise(9, 6, bpp, 4);
    testutil::Page flipped, original;
    testpix::MakePixelPage(noise, flipped.get());
    testpix::MakePixelPage(noise, original.get());
    ASSERT_EQ(TransformPage(flipped.get(), kFlipHorizontal, 0, 0), kOk);
    ASSERT_EQ(TransformPage(flipped.get(), kFlipVertical, 0, 0), kOk);
    Output turned(9, 6, bpp);
    turned.request.rotation = 180;
    ASSERT_EQ(RenderPage(original.get(), &turned.request, 1), kOk);
    EXPECT_TRUE(SameImage(testpix::ReadPage(flipped.record), turned.Read())) << bpp;
  }
}

TEST(RenderSampling, FullSizeEqualsPagesDecodedByPeerLibraries) {
  // 24 bpp: the uncompressed RGB TIFF through libtiff.
  TIFF* tiff = TIFFOpen(testutil::SamplePath("photo-rgb.tif").c_str(), "r");
  ASSERT_NE(tiff, nullptr);
  uint32_t width = 0, height = 0;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
  Image photo(static_cast<int32_t>(width), static_cast<int32_t>(height), 24);
  std::vector<uint8_t> scanline(TIFFScanlineSize(tiff));
  for (uint32_t y = 0; y < height; ++y) {
    ASSERT_EQ(TIFFReadScanline(tiff, scanline.data(), y, 0), 1);
    for (uint32_t x = 0; x < width; ++x)
      photo.at(x, y) = (scanline[3 * x] << 16) | (scanline[3 * x + 1] << 8) | scanline[3 * x + 2];
  }
  TIFFClose(tiff);
  // 8 bpp: the GIF chart through giflib.
  int error = 0;
  GifFileType* gif = DGifOpenFileName(testutil::SamplePath("chart.gif").c_str(), &error);
  ASSERT_NE(gif, nullptr);
  ASSERT_EQ(DGifSlurp(gif), GIF_OK);
  const SavedImage& frame = gif->SavedImages[0];
  Image chart(frame.ImageDesc.Width, frame.ImageDesc.Height, 8);
  std::copy(frame.RasterBits, frame.RasterBits + chart.px.size(), chart.px.begin());
  DGifCloseFile(gif, &error);
  // Bilevel: the G4 letter through libtiff, white is zero there.
  tiff = TIFFOpen(testutil::SamplePath("letter-g4.tif").c_str(), "r");
  ASSERT_NE(tiff, nullptr);
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
  Image letter(static_cast<int32_t>(width), static_cast<int32_t>(height), 1);
  scanline.assign(TIFFScanlineSize(tiff), 0);
  for (uint32_t y = 0; y < height; ++y) {
    ASSERT_EQ(TIFFReadScanline(tiff, scanline.data(), y, 0), 1);
    for (uint32_t x = 0; x < width; ++x) letter.at(x, y) = !((scanline[x / 8] >> (7 - x % 8)) & 1);
  }
  TIFFClose(tiff);
  ASSERT_GT(std::count(letter.px.begin(), letter.px.end(), 0u), 1000);

  for (const Image* image : {&photo, &chart, &letter}) {
    testutil::Page page;
    testpix::MakePage(*image, page.get());
    Output out(image->width, image->height, image->bpp);
    ASSERT_EQ(RenderPage(page.get(), &out.request, 1), kOk);
    EXPECT_TRUE(SameImage(*image, out.Read())) << image->bpp;
  }
}

TEST(RenderRequests, RefusedWithInvalidParameter) {
  testutil::Page colour, bilevel, packed, twoBits;
  testpix::MakePixelPage(testpix::Noise(8, 8, 8, 1), colour.get());
  testpix::MakeRunListPage(testpix::Noise(8, 8, 1, 1), bilevel.get());
  testpix::MakePixelPage(testpix::Noise(8, 8, 1, 1), packed.get());
  testpix::MakePixelPage(testpix::Noise(8, 8, 2, 1), twoBits.get());
  auto result = [](testutil::Page& page, auto change) {
    Output out(8, 8, page->bitsPerPixel == 1 ? 1 : page->bitsPerPixel);
    change(out.request);
    int32_t code = RenderPage(page.get(), &out.request, 1);
    if (code != kOk) {
      EXPECT_TRUE(std::all_of(out.bytes.begin(), out.bytes.end(), [](uint8_t b) { return b == kMarker; }));
    }
    return code;
  };
  auto same = [](RenderRequest&) {};
  EXPECT_EQ(result(colour, same), kOk);
  EXPECT_EQ(result(colour, [](RenderRequest& r) { r.xStep = 31; }), kErrParameter);
  EXPECT_EQ(result(colour, [](RenderRequest& r) { r.yStep = 31; }), kErrParameter);
  EXPECT_EQ(result(colour, [](RenderRequest& r) { r.xStep = r.yStep = 32; }), kOk);
  EXPECT_EQ(result(colour, [](RenderRequest& r) { r.dstBits = nullptr; }), kErrParameter);
  EXPECT_EQ(result(colour, [](RenderRequest& r) { r.dstWidth = 0; }), kErrParameter);
  EXPECT_EQ(result(colour, [](RenderRequest& r) { r.dstHeight = -3; }), kErrParameter);
  EXPECT_EQ(result(colour, [](RenderRequest& r) { r.srcX = -1; }), kErrParameter);
  EXPECT_EQ(result(colour, [](RenderRequest& r) { r.srcY = -1; }), kErrParameter);
  EXPECT_EQ(result(colour, [](RenderRequest& r) { r.rotation = 45; }), kErrParameter);
  EXPECT_EQ(result(colour, [](RenderRequest& r) { r.dstBytesPerLine = 7; }), kErrParameter);
  EXPECT_EQ(result(colour, [](RenderRequest& r) { r.dstWidth = 1 << 30; }), kErrParameter);
  EXPECT_EQ(result(bilevel, [](RenderRequest& r) { r.rotation = 45; }), kOk);  // not rotated
  EXPECT_EQ(result(bilevel, [](RenderRequest& r) { r.dstBitsPerPixel = 4; }), kOk);
  EXPECT_EQ(result(bilevel, [](RenderRequest& r) {
              r.dstBitsPerPixel = 4;
              r.dstWidth = 9;  // four bits a pixel need five bytes
            }),
            kErrParameter);
  EXPECT_EQ(result(packed, same), kErrParameter);
  EXPECT_EQ(result(twoBits, same), kErrParameter);
  // A region entirely outside the page draws nothing.
  Output out(8, 8, 8);
  out.request.srcX = 8;
  EXPECT_EQ(RenderPage(colour.get(), &out.request, 1), kOk);
  EXPECT_TRUE(std::all_of(out.bytes.begin(), out.bytes.end(), [](uint8_t b) { return b == kMarker; }));
}

TEST(RenderRequests, NoRequestWritesOutsideItsBuffer) {
  std::mt19937 random(5);
  auto pick = [&](std::initializer_list<int32_t> values) {
    return *(values.begin() + random() % values.size());
  };
  testutil::Page pages[6];
  const int depths[] = {1, 1, 4, 8, 16, 24};
  for (int k = 0; k < 6; ++k) testpix::MakePage(testpix::Noise(37, 23, depths[k], k), pages[k].get());
  for (int trial = 0; trial < 3000; ++trial) {
    const int k = static_cast<int>(random() % 6);
    const int depth = k == 0 ? 4 : depths[k];  // page 0: scale-to-gray
    const int32_t width = pick({1, 2, 3, 7, 16, 41, 80});
    const int32_t height = pick({1, 2, 5, 17, 60});
    const uint32_t needed = static_cast<uint32_t>((int64_t{width} * depth + 7) / 8);
    const uint32_t stride = needed + static_cast<uint32_t>(pick({-1, 0, 0, 1, 5}));
    Output out(width, height, depth, std::max<uint32_t>(stride, 1));
    out.request.dstBytesPerLine = stride;
    out.request.srcX = pick({-1, 0, 1, 5, 20, 36, 37, 40, 1 << 30});
    out.request.srcY = pick({-2, 0, 3, 22, 23, 1000});
    out.request.xStep = pick({31, 32, 33, 100, 255, 256, 257, 511, 512, 1000, 1025, 3000, 100000, INT32_MAX});
    out.request.yStep = pick({32, 77, 128, 256, 300, 513, 1024, 1025, 2049, 65536, INT32_MAX});
    out.request.rotation = static_cast<uint32_t>(pick({0, 90, 180, 270}));
    const int32_t result = RenderPage(pages[k].get(), &out.request, static_cast<int32_t>(random() % 2));
    const bool valid = stride >= needed && out.request.srcX >= 0 && out.request.srcY >= 0 &&
                       out.request.xStep >= 32;
    EXPECT_EQ(result, valid ? kOk : kErrParameter) << "trial " << trial;
    ASSERT_TRUE(out.GuardsIntact()) << "trial " << trial;
  }
}

TEST(RenderBilevel, FullSizeOffsetsEnlargementAndBottomUp) {
  Image image = testpix::Noise(45, 20, 1, 6);
  testutil::Page page;
  testpix::MakeRunListPage(image, page.get());
  // 1:1 from (5, 3): the page where it reaches, white beyond it.
  Output out(50, 20, 1);
  out.request.srcX = 5;
  out.request.srcY = 3;
  ASSERT_EQ(RenderPage(page.get(), &out.request, 1), kOk);
  Image expected(50, 20, 1);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 50; ++x)
      expected.at(x, y) = x + 5 < 45 && y + 3 < 20 ? image.at(x + 5, y + 3) : 1;
  EXPECT_TRUE(SameImage(expected, out.Read()));
  // Twice the size: every pixel becomes a 2 x 2 block.
  Output twice(90, 40, 1);
  twice.request.xStep = twice.request.yStep = 128;
  ASSERT_EQ(RenderPage(page.get(), &twice.request, 0), kOk);
  Image doubled(90, 40, 1);
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 90; ++x) doubled.at(x, 39 - y) = image.at(x / 2, y / 2);
  EXPECT_TRUE(SameImage(doubled, twice.Read()));
  // Rotation is not the bilevel renderer's business.
  Output turned(50, 20, 1);
  turned.request = out.request;
  turned.request.dstBits = turned.bytes.data() + kGuard;
  turned.request.rotation = 90;
  ASSERT_EQ(RenderPage(page.get(), &turned.request, 1), kOk);
  EXPECT_TRUE(SameImage(expected, turned.Read()));
}

TEST(RenderBilevel, ReductionLetsBlackWin) {
  // Mostly white noise at several reductions and origins.
  Image image = testpix::Noise(160, 90, 1, 2);
  for (size_t i = 0; i < image.px.size(); ++i) image.px[i] = image.px[i] || i % 3 == 0;
  testutil::Page page;
  testpix::MakeRunListPage(image, page.get());
  for (int32_t step : {300, 512, 700, 1024, 1025, 1900, 4000})
    for (auto [sx, sy] : {std::pair{0, 0}, {3, 5}}) {
      Output out(40, 30, 1);
      out.request.xStep = step;
      out.request.yStep = step + 40;
      out.request.srcX = sx;
      out.request.srcY = sy;
      ASSERT_EQ(RenderPage(page.get(), &out.request, 1), kOk);
      EXPECT_TRUE(SameImage(ReferenceBilevel(image, out.request), out.Read())) << step;
    }

  // 10:1: one-pixel lines survive wherever their source line is drawn;
  // beyond 4:1 every other source line is skipped.
  Image lines = testpix::Uniform(300, 200, 1, 1);
  for (int32_t y = 0; y < 200; ++y) lines.at(137, y) = 0;        // vertical
  for (int32_t x = 0; x < 300; ++x) lines.at(x, 84) = 0;         // drawn (even)
  for (int32_t x = 0; x < 150; ++x) lines.at(x, 151) = 0;        // skipped (odd)
  testutil::Page linePage;
  testpix::MakeRunListPage(lines, linePage.get());
  Output tenth(30, 20, 1);
  tenth.request.xStep = tenth.request.yStep = 2560;
  ASSERT_EQ(RenderPage(linePage.get(), &tenth.request, 1), kOk);
  Image small(30, 20, 1);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 30; ++x) small.at(x, y) = !(x == 13 || y == 8);
  EXPECT_TRUE(SameImage(small, tenth.Read()));
  EXPECT_TRUE(SameImage(ReferenceBilevel(lines, tenth.request), tenth.Read()));
}

TEST(RenderBilevel, ScaleToGrayCountsWhitesOfEachBlock) {
  // Every 2 x 2 pattern on its own.
  for (int pattern = 0; pattern < 16; ++pattern) {
    Image block(2, 2, 1);
    for (int i = 0; i < 4; ++i) block.px[i] = (pattern >> i) & 1;
    testutil::Page page;
    testpix::MakeRunListPage(block, page.get());
    Output out(1, 1, 4);
    out.request.xStep = out.request.yStep = 512;
    ASSERT_EQ(RenderPage(page.get(), &out.request, 1), kOk);
    EXPECT_EQ(out.Read().px[0], Level(__builtin_popcount(pattern))) << pattern;
  }
  // A checkerboard is 8 everywhere, white 15, black 0.
  Image checker(64, 32, 1);
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 64; ++x) checker.at(x, y) = (x + y) % 2;
  for (auto [image, level] : {std::pair{checker, 8u}, {testpix::Uniform(64, 32, 1, 1), 15u},
                              {testpix::Uniform(64, 32, 1, 0), 0u}}) {
    testutil::Page page;
    testpix::MakeRunListPage(image, page.get());
    Output out(32, 16, 4);
    out.request.xStep = out.request.yStep = 512;
    ASSERT_EQ(RenderPage(page.get(), &out.request, 1), kOk);
    EXPECT_TRUE(SameImage(testpix::Uniform(32, 16, 4, level), out.Read()));
  }
  // A noisy page from an even origin, odd output width, past the page's
  // edges (white there), bottom-up.
  Image noise = testpix::Noise(41, 27, 1, 13);
  testutil::Page page;
  testpix::MakeRunListPage(noise, page.get());
  Output out(23, 15, 4);
  out.request.srcX = 2;
  out.request.srcY = 4;
  out.request.xStep = out.request.yStep = 512;
  ASSERT_EQ(RenderPage(page.get(), &out.request, 0), kOk);
  Image expected(23, 15, 4);
  auto white = [&](int32_t x, int32_t y) { return x >= 41 || y >= 27 ? 1 : static_cast<int>(noise.at(x, y)); };
  for (int32_t j = 0; j < 15; ++j)
    for (int32_t i = 0; i < 23; ++i) {
      int32_t x = 2 + 2 * i, y = 4 + 2 * j;
      if (y >= 27) {  // beyond the last line nothing is drawn: the marker stays
        expected.at(i, 14 - j) = i % 2 ? kMarker & 15 : kMarker >> 4;
        continue;
      }
      expected.at(i, 14 - j) = Level(white(x, y) + white(x + 1, y) + white(x, y + 1) + white(x + 1, y + 1));
    }
  EXPECT_TRUE(SameImage(expected, out.Read()));
  EXPECT_TRUE(out.GuardsIntact());
}
