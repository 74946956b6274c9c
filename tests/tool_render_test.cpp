// quillon render's view options, end to end: scale-to-gray levels of a
// bilevel page, turned and fitted views.
#include "support/suite.h"

namespace {

Raster Render(const std::string& input, const std::string& options, int expectedStatus = 0) {
  TempDir dir;
  const RunResult run = Tool("render " + Quote(input) + " --out " + Quote(dir.Path("out.ppm")) + " " + options);
  EXPECT_EQ(run.status, expectedStatus) << options << ": " << run.output;
  return ReadImage(dir.Path("out.ppm"));
}

}  // namespace

TEST(ToolRender, ScaleToGrayLevelsOfABilevelPage) {
  // Four 2 x 2 blocks with 2, 1, 3 and 4 white pixels (1 = white): levels
  // 0x80, 0x44, 0xC0 and 0xFF.
  TempDir dir;
  const std::string tif = dir.Write("blocks.tif", BuildTiff({BilevelDirectory(8, 2, 1, {0xAF, 0x4B}).Set(262, 3, {1})}));
  const Raster gray = Render(tif, "--scale 50 --gray");
  EXPECT_TRUE(SamePixels(Raster{0, 4, 1, 1, 0, {0x80, 0x44, 0xC0, 0xFF}}, gray));
}

TEST(ToolRender, TurnedAndFittedViews) {
  const std::string photo = DataPath("reader/tif24.tif");  // 23 x 17
  const Raster plain = ReadImage(DataPath("reader/tif24.ppm"));
  // A quarter turn clockwise: source (x, y) lands at (16 - y, x).
  Raster expected{0, 17, 23, 3, 0, std::vector<uint8_t>(17 * 23 * 3)};
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 23; ++x)
      std::copy_n(&plain.pixels[3 * (y * 23 + x)], 3, &expected.pixels[3 * (x * 17 + 16 - y)]);
  EXPECT_TRUE(SamePixels(expected, Render(photo, "--rotate 90")));
  EXPECT_EQ(Render(photo, "--scale 200").width, 46);
  const Raster fitted = Render(photo, "--fit 10x10");
  EXPECT_TRUE(fitted.width >= 9 && fitted.width <= 10 && fitted.height <= 10) << fitted.width << "x" << fitted.height;
  Render(photo, "--scale 900", 2);
  Render(photo, "--rotate 45", 2);
}
