// Files written by general tools, rendered by `quillon render` and compared
// pixel for pixel with the tools' own decodes (tests/data/reader), and the
// tool's outputs and exit codes.
#include "support/suite.h"

TEST(ReaderFixtures, RenderEqualsTheToolsOwnDecode) {
  TempDir dir;
  // 5-5-5 sources are held as 5-6-5 pages: green is widened from six bits,
  // the references from five.
  for (const std::string& name : DataFiles("reader", {".bmp", ".tif", ".tga"})) {
    const RunResult run = Tool("render " + Quote(DataPath(name)) + " --out " + Quote(dir.Path("out.ppm")));
    ASSERT_EQ(run.status, 0) << name << ": " << run.output;
    const int tolerance = name == "reader/bmp16-555.bmp" || name == "reader/tga16.tga" ? 2 : 0;
    const Raster reference = ReadImage(DataPath(name.substr(0, name.rfind('.')) + ".ppm"));
    EXPECT_TRUE(SamePixels(reference, ReadImage(dir.Path("out.ppm")), tolerance)) << name;
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
