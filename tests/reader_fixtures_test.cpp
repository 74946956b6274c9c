// Files written by general tools, rendered by `quillon render` and compared
// pixel for pixel with the tools' own decodes (tests/data/reader).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/pnm.h"
#include "support/test_util.h"

namespace {

struct Fixture {
  const char* name;
  int tolerance;  // 0 = pixel-exact
};

// 5-5-5 sources are held as 5-6-5 pages: green is widened from six bits,
// the references from five.
const Fixture kFixtures[] = {
    {"bmp1.bmp", 0},          {"bmp4.bmp", 0},           {"bmp8.bmp", 0},
    {"bmp8-v5.bmp", 0},       {"bmp16-555.bmp", 2},      {"bmp16-565.bmp", 0},
    {"bmp24.bmp", 0},         {"bmp32.bmp", 0},          {"os2-8.bmp", 0},
    {"os2-24.bmp", 0},        {"tif1-miniswhite.tif", 0}, {"tif1-minisblack.tif", 0},
    {"tif1-be-strips.tif", 0}, {"tif4-gray.tif", 0},     {"tif4-palette.tif", 0},
    {"tif8-gray.tif", 0},     {"tif8-miniswhite.tif", 0}, {"tif8-palette.tif", 0},
    {"tif8-palette-be.tif", 0}, {"tif24.tif", 0},        {"tif24-strips.tif", 0},
    {"tif24-be-strips.tif", 0}, {"tif24-deflate.tif", 0}, {"tif8-deflate-pred.tif", 0},
    {"tga8-gray.tga", 0},     {"tga8-gray-rle.tga", 0},  {"tga8-mapped.tga", 0},
    {"tga16.tga", 2},         {"tga24.tga", 0},          {"tga24-top.tga", 0},
    {"tga24-rle.tga", 0},     {"tga32.tga", 0},          {"tga32-rle.tga", 0},
};

std::string Stem(const std::string& name) { return name.substr(0, name.rfind('.')); }

}  // namespace

TEST(ReaderFixtures, RenderEqualsTheToolsOwnDecode) {
  testutil::TempDir dir;
  for (const Fixture& f : kFixtures) {
    SCOPED_TRACE(f.name);
    std::string input = testutil::DataPath(std::string("reader/") + f.name);
    std::string output = dir.Path(Stem(f.name) + ".ppm");
    std::string command = std::string(QUILLON_TOOL) + " render '" + input + "' --out '" +
                          output + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    testutil::Rgb ours = testutil::ReadPnm(output);
    testutil::Rgb reference =
        testutil::ReadPnm(testutil::DataPath("reader/" + Stem(f.name) + ".ppm"));
    ASSERT_GT(reference.width, 0);
    std::string where;
    int worst = testutil::MaxDifference(ours, reference, f.tolerance, &where);
    EXPECT_GE(worst, 0) << "size " << ours.width << "x" << ours.height << " vs "
                        << reference.width << "x" << reference.height;
    EXPECT_LE(worst, f.tolerance) << where;
  }
}

TEST(ReaderFixtures, RenderWritesEveryOutputType) {
  testutil::TempDir dir;
  std::string input = testutil::DataPath("reader/tif24.tif");
  for (const char* ext : {".png", ".ppm", ".pgm", ".pbm"}) {
    std::string out = dir.Path(std::string("x") + ext);
    std::string command = std::string(QUILLON_TOOL) + " render '" + input + "' --out '" + out + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << ext;
    EXPECT_GT(testutil::ReadFileBytes(out).size(), 50u) << ext;
  }
  testutil::Rgb gray = testutil::ReadPnm(dir.Path("x.pgm"));
  EXPECT_EQ(gray.width, 23);
  // Usage errors exit 2; library errors 1 with the library's message.
  std::string bad = std::string(QUILLON_TOOL) + " render '" + input + "' --out '" +
                    dir.Path("x.xyz") + "' 2>/dev/null";
  EXPECT_EQ(WEXITSTATUS(std::system(bad.c_str())), 1);
  std::string noOut = std::string(QUILLON_TOOL) + " render '" + input + "' 2>/dev/null";
  EXPECT_EQ(WEXITSTATUS(std::system(noOut.c_str())), 2);
  std::string page = std::string(QUILLON_TOOL) + " render '" + input + "' --page 2 --out '" +
                     dir.Path("y.ppm") + "' 2>&1";
  FILE* p = popen(page.c_str(), "r");
  char text[256] = {0};
  size_t n = fread(text, 1, sizeof text - 1, p);
  int status = pclose(p);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(std::string(text, n).find("Page not found"), std::string::npos);
}
