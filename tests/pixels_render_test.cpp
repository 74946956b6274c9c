// RenderPage: sampling with the four view rotations, the bilevel renderer
// and scale-to-gray, and the safety of any request.
#include "support/suite.h"

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
  bool Untouched() const { return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == kMarker; }); }
  Image Read() const {
    return testpix::ReadBuffer(request.dstBits, request.dstBytesPerLine, request.dstWidth, request.dstHeight, depth);
  }
  // Renders `page` from (x, y) at `step` (both directions), top line first.
  Image Render(Page& page, int32_t x, int32_t y, int32_t step, uint32_t rotation = 0) {
    request.srcX = x;
    request.srcY = y;
    request.xStep = request.yStep = step;
    request.rotation = rotation;
    EXPECT_EQ(RenderPage(page.get(), &request, 1), kOk);
    EXPECT_TRUE(GuardsIntact());
    return Read();
  }
};

// Pictures appended one below the other, for one digest.
void Append(Raster& all, const Image& image) {
  const Raster r = testpix::ToRaster(image);
  all.width = r.width, all.channels = r.channels, all.height += r.height;
  all.pixels.insert(all.pixels.end(), r.pixels.begin(), r.pixels.end());
}

}  // namespace

// Every depth, rotation, step and origin, by digests recorded after they
// were checked against the sampling table (output (i, j) shows the source
// pixel the rotation names; only pixels whose whole footprint lies inside
// the page are drawn, the others keep the marker).  Bottom-up output is
// the same lines in the opposite order.
TEST(RenderSampling, FourRotationsAtEveryDepthAndStep) {
  for (int bpp : {4, 8, 16, 24}) {
    Raster all{0, 0, 0, 0, 0, {}};
    for (uint32_t rotation : {0u, 90u, 180u, 270u})
      for (int32_t step : {256, 512, 128, 384, 96, 32})
        for (auto [sx, sy] : {std::pair{0, 0}, {1, 2}, {3, 1}}) {
          Page page;
          testpix::MakePixelPage(testpix::Noise(11, 7, bpp, static_cast<uint32_t>(bpp + step)), page.get());
          Output out(23, 9, bpp), up(23, 9, bpp);
          out.request.srcX = up.request.srcX = sx;
          out.request.srcY = up.request.srcY = sy;
          out.request.xStep = up.request.xStep = step;
          out.request.yStep = up.request.yStep = step == 96 ? 300 : step;
          out.request.rotation = up.request.rotation = rotation;
          ASSERT_EQ(RenderPage(page.get(), &out.request, 1), kOk);
          ASSERT_EQ(RenderPage(page.get(), &up.request, 0), kOk);
          ASSERT_TRUE(out.GuardsIntact());
          ASSERT_TRUE(SameImage(Mirrored(out.Read(), false, true), up.Read())) << bpp << " " << rotation << " " << step;
          Append(all, out.Read());
        }
    EXPECT_TRUE(MatchesDigest("render-sampling-" + std::to_string(bpp), all, "the sampling table, modelled"));
  }
}

TEST(RenderRequests, RefusedWithInvalidParameter) {
  Page colour, bilevel, packed, twoBits;
  testpix::MakePixelPage(testpix::Noise(8, 8, 8, 1), colour.get());
  testpix::MakeRunListPage(testpix::Noise(8, 8, 1, 1), bilevel.get());
  testpix::MakePixelPage(testpix::Noise(8, 8, 1, 1), packed.get());
  testpix::MakePixelPage(testpix::Noise(8, 8, 2, 1), twoBits.get());
  auto result = [](Page& page, auto change) {
    Output out(8, 8, page->bitsPerPixel == 1 ? 1 : page->bitsPerPixel);
    change(out.request);
    const int32_t code = RenderPage(page.get(), &out.request, 1);
    if (code != kOk) {
      EXPECT_TRUE(out.Untouched());
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
  EXPECT_EQ(result(bilevel, [](RenderRequest& r) { r.dstBitsPerPixel = 4, r.dstWidth = 9; }), kErrParameter)
      << "four bits a pixel need five bytes";
  EXPECT_EQ(result(packed, same), kErrParameter);
  EXPECT_EQ(result(twoBits, same), kErrParameter);
  // A region entirely outside the page draws nothing.
  Output out(8, 8, 8);
  out.request.srcX = 8;
  EXPECT_EQ(RenderPage(colour.get(), &out.request, 1), kOk);
  EXPECT_TRUE(out.Untouched());
}

TEST(RenderRequests, NoRequestWritesOutsideItsBuffer) {
  std::mt19937 random(5);
  auto pick = [&](std::initializer_list<int32_t> values) { return *(values.begin() + random() % values.size()); };
  Page pages[6];
  const int depths[] = {1, 1, 4, 8, 16, 24};
  for (int k = 0; k < 6; ++k) testpix::MakePage(testpix::Noise(37, 23, depths[k], k), pages[k].get());
  for (int trial = 0; trial < 3000; ++trial) {
    const int k = static_cast<int>(random() % 6);
    const int depth = k == 0 ? 4 : depths[k];  // page 0: scale-to-gray
    const int32_t width = pick({1, 2, 3, 7, 16, 41, 80}), height = pick({1, 2, 5, 17, 60});
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
    const bool valid = stride >= needed && out.request.srcX >= 0 && out.request.srcY >= 0 && out.request.xStep >= 32;
    EXPECT_EQ(result, valid ? kOk : kErrParameter) << "trial " << trial;
    ASSERT_TRUE(out.GuardsIntact()) << "trial " << trial;
  }
}

TEST(RenderBilevel, FullSizeOffsetsAndEnlargement) {
  const Image image = testpix::Noise(45, 20, 1, 6);
  Page page;
  testpix::MakeRunListPage(image, page.get());
  // 1:1 from (5, 3): the page where it reaches, white beyond it; rotation
  // is not the bilevel renderer's business.
  Image expected(50, 20, 1);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 50; ++x) expected.at(x, y) = x + 5 < 45 && y + 3 < 20 ? image.at(x + 5, y + 3) : 1;
  EXPECT_TRUE(SameImage(expected, Output(50, 20, 1).Render(page, 5, 3, kUnitStep)));
  EXPECT_TRUE(SameImage(expected, Output(50, 20, 1).Render(page, 5, 3, kUnitStep, 90)));
  // Twice the size, bottom-up: every pixel becomes a 2 x 2 block.
  Output twice(90, 40, 1);
  twice.request.xStep = twice.request.yStep = 128;
  ASSERT_EQ(RenderPage(page.get(), &twice.request, 0), kOk);
  Image doubled(90, 40, 1);
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 90; ++x) doubled.at(x, 39 - y) = image.at(x / 2, y / 2);
  EXPECT_TRUE(SameImage(doubled, twice.Read()));
}

TEST(RenderBilevel, ReductionLetsBlackWin) {
  // 10:1: one-pixel lines survive wherever their source line is drawn;
  // beyond 4:1 every other source line is skipped.
  Image lines = testpix::Uniform(300, 200, 1, 1);
  for (int32_t y = 0; y < 200; ++y) lines.at(137, y) = 0;  // vertical
  for (int32_t x = 0; x < 300; ++x) lines.at(x, 84) = 0;   // drawn (even)
  for (int32_t x = 0; x < 150; ++x) lines.at(x, 151) = 0;  // skipped (odd)
  Page linePage;
  testpix::MakeRunListPage(lines, linePage.get());
  Image small(30, 20, 1);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 30; ++x) small.at(x, y) = !(x == 13 || y == 8);
  EXPECT_TRUE(SameImage(small, Output(30, 20, 1).Render(linePage, 0, 0, 2560)));
  // Mostly white noise at several reductions and origins, by the digest
  // recorded after it was checked against the renderer's rules modelled
  // from the pixels (a black run [a, b) clears output pixels from
  // a * 256 / xStep for at least one pixel).
  Image image = testpix::Noise(160, 90, 1, 2);
  for (size_t i = 0; i < image.px.size(); ++i) image.px[i] = image.px[i] || i % 3 == 0;
  Page page;
  testpix::MakeRunListPage(image, page.get());
  Raster all{0, 0, 0, 0, 0, {}};
  for (int32_t step : {300, 512, 700, 1024, 1025, 1900, 4000})
    for (auto [sx, sy] : {std::pair{0, 0}, {3, 5}}) {
      Output out(40, 30, 1);
      out.request.yStep = step + 40;
      out.request.xStep = step;
      out.request.srcX = sx;
      out.request.srcY = sy;
      ASSERT_EQ(RenderPage(page.get(), &out.request, 1), kOk);
      Append(all, out.Read());
    }
  EXPECT_TRUE(MatchesDigest("render-bilevel-reductions", all, "the bilevel renderer's rules, modelled"));
}

TEST(RenderBilevel, ScaleToGrayCountsWhitesOfEachBlock) {
  // Every 2 x 2 pattern on its own: 0, 1, 2, 3, 4 whites give levels 0, 4,
  // 8, 7, 15.
  const uint32_t levels[5] = {0, 4, 8, 7, 15};
  for (int pattern = 0; pattern < 16; ++pattern) {
    Image block(2, 2, 1);
    for (int i = 0; i < 4; ++i) block.px[i] = (pattern >> i) & 1;
    Page page;
    testpix::MakeRunListPage(block, page.get());
    EXPECT_EQ(Output(1, 1, 4).Render(page, 0, 0, 512).px[0], levels[__builtin_popcount(pattern)]) << pattern;
  }
  // A checkerboard is 8 everywhere.
  Image checker(64, 32, 1);
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 64; ++x) checker.at(x, y) = (x + y) % 2;
  Page page;
  testpix::MakeRunListPage(checker, page.get());
  EXPECT_TRUE(SameImage(testpix::Uniform(32, 16, 4, 8), Output(32, 16, 4).Render(page, 0, 0, 512)));
  // A noisy page from an even origin, odd output width, past the page's
  // edges (white there; beyond the last line nothing is drawn), bottom-up:
  // the digest recorded after it was checked block by block.
  testpix::MakeRunListPage(testpix::Noise(41, 27, 1, 13), page.get());
  Output out(23, 15, 4);
  out.request.srcX = 2;
  out.request.srcY = 4;
  out.request.xStep = out.request.yStep = 512;
  ASSERT_EQ(RenderPage(page.get(), &out.request, 0), kOk);
  EXPECT_TRUE(out.GuardsIntact());
  EXPECT_TRUE(MatchesDigest("render-scale-to-gray", testpix::ToRaster(out.Read()), "the 2 x 2 block counts"));
}
