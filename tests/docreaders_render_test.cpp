// The document and animation formats end to end: files opened, their page
// counts, and their pages rendered by `quillon render` compared with the
// pixels they were made from.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/doc_writers.h"
#include "support/docreaders_fax.h"
#include "support/pnm.h"

using testutil::Bilevel;
using testutil::TempDir;

namespace {

// Renders page `page` (from 1) of `input` into `output`; the tool's exit
// status.
int Render(const std::string& input, int page, const std::string& output) {
  std::string command = std::string(QUILLON_TOOL) + " render '" + input + "' --page " +
                        std::to_string(page) + " --out '" + output + "' 2>&1";
  return std::system(command.c_str());
}

// The page count `quillon info` prints for `input`.
std::string InfoLine(const std::string& input) {
  std::string command = std::string(QUILLON_TOOL) + " info '" + input + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  std::string text;
  char buffer[256];
  while (pipe && fgets(buffer, sizeof buffer, pipe)) text += buffer;
  if (pipe) pclose(pipe);
  return text;
}

}  // namespace

TEST(DocReadersRender, PsegAndIocaPagesRenderTheirPixels) {
  TempDir dir;
  const Bilevel picture = testutil::TestDrawing(70, 33, 40);
  const uint32_t rowBytes = (70 + 7) / 8;
  std::string pseg = dir.Write(
      "page.pseg", testutil::BuildPseg(70, 33, {{0, 0, 70, testutil::PackRows(picture, true, rowBytes)}}));
  ASSERT_EQ(Render(pseg, 1, dir.Path("pseg.pbm")), 0);
  Bilevel got = testutil::ReadPbm(dir.Path("pseg.pbm"));
  EXPECT_EQ(got, picture) << testutil::FirstDifference(got, picture);

  // The second page of an IOCA document, uncompressed.
  const Bilevel other = testutil::TestDrawing(41, 20, 41);
  testutil::IocaPage first, second;
  first.width = 8, first.height = 1, first.encoding = 0x03, first.image = {0xF0};
  second.width = other.width, second.height = other.height, second.encoding = 0x03;
  second.image = testutil::PackRows(other, true, (41 + 7) / 8);
  std::string ioca = dir.Write("doc.ica", testutil::BuildIoca({first, second}));
  EXPECT_NE(InfoLine(ioca).find("IOCA"), std::string::npos) << InfoLine(ioca);
  ASSERT_EQ(Render(ioca, 2, dir.Path("ioca.pbm")), 0);
  got = testutil::ReadPbm(dir.Path("ioca.pbm"));
  EXPECT_EQ(got, other) << testutil::FirstDifference(got, other);
}

TEST(DocReadersRender, FliFrameRendersInItsPalette) {
  TempDir dir;
  const int w = 9, h = 5;
  std::vector<uint8_t> first(w * h), second(w * h);
  for (int i = 0; i < w * h; ++i) {
    first[i] = static_cast<uint8_t>(i % 3);
    second[i] = static_cast<uint8_t>(i % 5 == 0 ? 2 : first[i]);
  }
  const std::vector<uint8_t> rgb = {10, 20, 30, 200, 100, 50, 255, 255, 0};
  std::string fli = dir.Write(
      "clip.flc",
      testutil::BuildFli(w, h,
                         {testutil::FliFrame{{{4, testutil::FliPalette(rgb, 0, false)},
                                              {15, testutil::FliByteRun(first, w, h)}}},
                          testutil::FliFrame{{{7, testutil::FliWordDelta(first, second, w, h)}}}}));
  ASSERT_EQ(Render(fli, 2, dir.Path("frame.ppm")), 0);
  testutil::Rgb got = testutil::ReadPnm(dir.Path("frame.ppm"));
  ASSERT_EQ(got.width, w);
  ASSERT_EQ(got.height, h);
  for (int i = 0; i < w * h; ++i)
    for (int c = 0; c < 3; ++c)
      ASSERT_EQ(got.pixels[3 * i + c], rgb[3 * second[i] + c]) << "pixel " << i;
}

TEST(DocReadersRender, FaxDocumentsRenderTheirPixels) {
  TempDir dir;
  using testutil::BitOrder;
  using testutil::FaxCode;
  auto rendered = [&](const std::string& input, int page) {
    std::string out = dir.Path("page" + std::to_string(page) + ".pbm");
    EXPECT_EQ(Render(input, page, out), 0) << input;
    return testutil::ReadPbm(out);
  };

  // CALS, as ImageMagick wrote it.
  for (const char* name : {"small-200", "wide-1200"}) {
    const std::string path = testutil::DataPath(std::string("docreaders/") + name);
    Bilevel reference = testutil::ReadPbm(path + ".pbm"), got = rendered(path + ".cal", 1);
    EXPECT_EQ(got, reference) << name << ": " << testutil::FirstDifference(got, reference);
  }

  // WinFAX 10: a G4 page, then a G3 page.
  const Bilevel one = testutil::TestDrawing(1728, 90, 50), two = testutil::TestDrawing(1728, 61, 51);
  testutil::WinFax10Page a{one.width, one.height, true,
                           testutil::EncodeFax(one, FaxCode::kG4, 90, BitOrder::kLsbFirst)[0]};
  testutil::WinFax10Page b{two.width, two.height, false,
                           testutil::EncodeFax(two, FaxCode::kG3OneD, 61, BitOrder::kLsbFirst)[0]};
  std::string winfax = dir.Write("fax.fax", testutil::BuildWinFax10({a, b}));
  Bilevel got = rendered(winfax, 1);
  EXPECT_EQ(got, one) << testutil::FirstDifference(got, one);
  got = rendered(winfax, 2);
  EXPECT_EQ(got, two) << testutil::FirstDifference(got, two);

  // AWD: the second page's bands, one of them split by a table sector.
  std::vector<std::vector<testutil::AwdBand>> bands;
  for (const Bilevel* p : {&one, &two}) {
    bands.emplace_back();
    auto strips = testutil::EncodeFax(*p, FaxCode::kG4, 74, BitOrder::kLsbFirst);
    for (size_t s = 0; s < strips.size(); ++s)
      bands.back().push_back({std::min(74, p->height - 74 * static_cast<int>(s)), strips[s]});
  }
  testutil::AwdLayout layout;
  layout.tableSectors = {0, 5};
  std::string awd = dir.Write("fax.awd", testutil::BuildAwd(bands, layout).bytes);
  got = rendered(awd, 1);
  EXPECT_EQ(got, one) << testutil::FirstDifference(got, one);
  got = rendered(awd, 2);
  EXPECT_EQ(got, two) << testutil::FirstDifference(got, two);

  // IOCA: G4 with the bits of each byte in reverse order.
  testutil::IocaPage g4;
  g4.width = two.width, g4.height = two.height, g4.bitOrder = 1, g4.imageChunk = 300;
  g4.image = testutil::EncodeFax(two, FaxCode::kG4, 61, BitOrder::kLsbFirst)[0];
  std::string ioca = dir.Write("fax.ica", testutil::BuildIoca({g4}));
  got = rendered(ioca, 1);
  EXPECT_EQ(got, two) << testutil::FirstDifference(got, two);
}
