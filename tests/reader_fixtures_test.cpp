// Files written by general tools, rendered by `quillon render` and compared
// pixel for pixel with the tools' own decodes (tests/data/reader).
#include "support/suite.h"

TEST(ReaderFixtures, RenderEqualsTheToolsOwnDecode) {
  TempDir dir;
  // 5-5-5 sources are held as 5-6-5 pages: green is widened from six bits,
  // the references from five.
  for (const std::string& name : DataFiles("reader", {".bmp", ".tif", ".tga"})) {
    const RunResult run = Tool({"render", DataPath(name), "--out", dir.Path("out.ppm")});
    ASSERT_EQ(run.status, 0) << name << ": " << run.errors;
    const int tolerance = name == "reader/bmp16-555.bmp" || name == "reader/tga16.tga" ? 2 : 0;
    const Raster reference = ReadImage(DataPath(name.substr(0, name.rfind('.')) + ".ppm"));
    EXPECT_TRUE(SamePixels(reference, ReadImage(dir.Path("out.ppm")), tolerance)) << name;
  }
}

