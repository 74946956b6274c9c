// Files written by general tools, rendered by `quillon render` and compared
// pixel for pixel with the tools' own decodes (tests/data/reader), and the
// tool's outputs and exit codes.
#include "support/suite.h"

TEST(ReaderFixtures, RenderEqualsTheToolsOwnDecode) {
  TempDir dir;
  // 5-5-5 sources are held as 5-6-5 pages: green is widened from six bits,
  // the references from five.
  for (const char* name :
       {"bmp1.bmp", "bmp4.bmp", "bmp8.bmp", "bmp8-v5.bmp", "bmp16-555.bmp", "bmp16-565.bmp", "bmp24.bmp", "bmp32.bmp",
        "os2-8.bmp", "os2-24.bmp", "tif1-miniswhite.tif", "tif1-minisblack.tif", "tif1-be-strips.tif", "tif4-gray.tif",
        "tif4-palette.tif", "tif8-gray.tif", "tif8-miniswhite.tif", "tif8-palette.tif", "tif8-palette-be.tif",
        "tif24.tif", "tif24-strips.tif", "tif24-be-strips.tif", "tif24-deflate.tif", "tif8-deflate-pred.tif",
        "tga8-gray.tga", "tga8-gray-rle.tga", "tga8-mapped.tga", "tga16.tga", "tga24.tga", "tga24-top.tga",
        "tga24-rle.tga", "tga32.tga", "tga32-rle.tga"}) {
    const std::string stem = DataPath("reader/" + std::string(name).substr(0, std::string(name).rfind('.')));
    const RunResult run = Tool("render " + Quote(DataPath(std::string("reader/") + name)) + " --out " + Quote(dir.Path("out.ppm")));
    ASSERT_EQ(run.status, 0) << name << ": " << run.output;
    const int tolerance = std::string(name) == "bmp16-555.bmp" || std::string(name) == "tga16.tga" ? 2 : 0;
    EXPECT_TRUE(SamePixels(ReadImage(stem + ".ppm"), ReadImage(dir.Path("out.ppm")), tolerance)) << name;
  }
}

TEST(ReaderFixtures, RenderWritesEveryOutputTypeAndReportsErrors) {
  TempDir dir;
  const std::string input = Quote(DataPath("reader/tif24.tif"));
  for (const char* ext : {".png", ".ppm", ".pgm", ".pbm"}) {
    EXPECT_EQ(Tool("render " + input + " --out " + Quote(dir.Path(std::string("x") + ext))).status, 0) << ext;
    EXPECT_EQ(ReadImage(dir.Path(std::string("x") + ext)).width, 23) << ext;
  }
  // Usage errors exit 2; library errors 1 with the library's message.
  EXPECT_EQ(Tool("render " + input + " --out " + Quote(dir.Path("x.xyz"))).status, 1);
  EXPECT_EQ(Tool("render " + input).status, 2);
  const RunResult page = Tool("render " + input + " --page 2 --out " + Quote(dir.Path("y.ppm")));
  EXPECT_EQ(page.status, 1);
  EXPECT_NE(page.output.find("Page not found"), std::string::npos);
}
