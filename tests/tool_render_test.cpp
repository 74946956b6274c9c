// quillon render's view options, end to end: scale-to-gray levels of a
// bilevel page, turned and fitted views.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/builders.h"
#include "support/pnm.h"
#include "support/test_util.h"

namespace {

int Render(const std::string& input, const std::string& output, const std::string& options) {
  std::string command = std::string(QUILLON_TOOL) + " render '" + input + "' --out '" + output +
                        "' " + options + " 2>&1";
  return std::system(command.c_str());
}

}  // namespace

TEST(ToolRender, ScaleToGrayLevelsOfABilevelPage) {
  testutil::TempDir dir;
  // Four 2 x 2 blocks with 2, 1, 3 and 4 white pixels (1 = white).
  testutil::TiffDirectory d = testutil::BilevelDirectory(8, 2, 1, {0xAF, 0x4B});
  for (auto& f : d.fields)
    if (f.tag == 262) f.values = {1};
  std::string tif = dir.Write("blocks.tif", testutil::BuildTiff({d}, false));
  std::string out = dir.Path("gray.pgm");
  ASSERT_EQ(Render(tif, out, "--scale 50 --gray"), 0);
  testutil::Rgb gray = testutil::ReadPnm(out);
  ASSERT_EQ(gray.width, 4);
  ASSERT_EQ(gray.height, 1);
  const int expected[4] = {0x80, 0x44, 0xC0, 0xFF};
  for (int x = 0; x < 4; ++x) EXPECT_EQ(gray.pixels[3 * x], expected[x]) << x;
}

TEST(ToolRender, TurnedAndFittedViews) {
  testutil::TempDir dir;
  const std::string photo = testutil::DataPath("reader/tif24.tif");  // 23 x 17
  std::string out = dir.Path("v.ppm");
  ASSERT_EQ(Render(photo, out, "--rotate 90"), 0);
  testutil::Rgb turned = testutil::ReadPnm(out);
  testutil::Rgb plain = testutil::ReadPnm(testutil::DataPath("reader/tif24.ppm"));
  ASSERT_EQ(turned.width, 17);
  ASSERT_EQ(turned.height, 23);
  // A quarter turn clockwise: source (x, y) lands at (16 - y, x).
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 23; ++x)
      for (int c = 0; c < 3; ++c)
        ASSERT_EQ(turned.pixels[3 * (x * 17 + (16 - y)) + c], plain.pixels[3 * (y * 23 + x) + c]);
  ASSERT_EQ(Render(photo, out, "--scale 200"), 0);
  EXPECT_EQ(testutil::ReadPnm(out).width, 46);
  ASSERT_EQ(Render(photo, out, "--fit 10x10"), 0);
  testutil::Rgb fitted = testutil::ReadPnm(out);
  EXPECT_LE(fitted.width, 10);
  EXPECT_LE(fitted.height, 10);
  EXPECT_GE(fitted.width, 9);
  EXPECT_NE(Render(photo, out, "--scale 900"), 0);
  EXPECT_NE(Render(photo, out, "--rotate 45"), 0);
}
