// The document and animation formats end to end: `quillon info` names them
// and `quillon render` shows their pages as they were made (an animation's
// frames each over the one before).
#include "support/suite.h"

TEST(DocReadersRender, EveryFormatRendersTheirPixels) {
  TempDir dir;
  const Image pseg = testpix::Drawing(70, 33, 40), small = testpix::Drawing(41, 20, 41);
  const Image one = testpix::Drawing(1728, 90, 50), two = testpix::Drawing(1728, 61, 51);
  auto fax = [](const Image& p, int compression, int rows) {
    return FaxStrips(testpix::PackedRows(p, true), p.width, p.height, compression, rows, true);
  };
  // The second page of an IOCA document uncompressed, the first G4 with the
  // bits of each byte in reverse order.
  IocaPage raw{small.width, small.height, 200, 200, 0x03, -1, testpix::PackedRows(small, true)};
  IocaPage g4{two.width, two.height, 200, 200, 0x82, 1, fax(two, COMPRESSION_CCITTFAX4, 0)[0], 300};
  // AWD bands, one of them split by a table sector.
  std::vector<std::vector<AwdBand>> bands(2);
  for (int p = 0; p < 2; ++p) {
    const Image& picture = p ? two : one;
    const auto strips = fax(picture, COMPRESSION_CCITTFAX4, 74);
    for (size_t s = 0; s < strips.size(); ++s)
      bands[p].push_back({std::min(74, picture.height - 74 * static_cast<int>(s)), strips[s]});
  }
  const WinFax10Page w1{one.width, one.height, true, fax(one, COMPRESSION_CCITTFAX4, 0)[0]};
  const WinFax10Page w2{two.width, two.height, false, fax(two, COMPRESSION_CCITTFAX3, 0)[0]};
  // An animation's second frame, decoded over the first, in its palette.
  std::vector<uint8_t> first(45), second(45);
  for (int i = 0; i < 45; ++i) first[i] = static_cast<uint8_t>(i % 3), second[i] = i % 5 == 0 ? 2 : first[i];
  const Bytes rgb = {10, 20, 30, 200, 100, 50, 255, 255, 0};
  const Bytes fli = BuildFli(9, 5, {FliFrame{{{4, FliPalette(rgb, 0, false)}, {15, FliByteRun(first, 9, 5)}}},
                                    FliFrame{{{7, FliWordDelta(first, second, 9, 5)}}}});
  Raster frame{0, 9, 5, 3, 0, {}};
  for (uint8_t index : second) frame.pixels.insert(frame.pixels.end(), rgb.begin() + 3 * index, rgb.begin() + 3 * index + 3);
  struct Case {
    std::string name;
    Bytes bytes;
    int page;
    Raster expected;
    const char* type;
  };
  const Case cases[] = {
      {"page.pseg", BuildPseg(70, 33, {{0, 0, 70, testpix::PackedRows(pseg, true)}}), 1, testpix::ToRaster(pseg), "PSEG"},
      {"doc.ica", BuildIoca({g4, raw}), 2, testpix::ToRaster(small), "IOCA"},
      {"doc.ica", BuildIoca({g4, raw}), 1, testpix::ToRaster(two), "IOCA"},
      {"fax.fax", BuildWinFax10({w1, w2}), 1, testpix::ToRaster(one), "WinFAX"},
      {"fax.fax", BuildWinFax10({w1, w2}), 2, testpix::ToRaster(two), "WinFAX"},
      {"fax.awd", BuildAwd(bands, {{0, 5}, false}).bytes, 2, testpix::ToRaster(two), "AWD"},
      {"small.cal", ReadFileBytes(DataPath("docreaders/small-200.cal")), 1,
       ReadImage(DataPath("docreaders/small-200.pbm")), "CALS"},
      {"clip.flc", fli, 2, frame, "FLI"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + " page " + std::to_string(c.page));
    const std::string input = dir.Write(c.name, c.bytes), output = dir.Path("page.ppm");
    EXPECT_NE(Tool("info " + Quote(input)).output.find(c.type), std::string::npos);
    const RunResult run = Tool("render " + Quote(input) + " --page " + std::to_string(c.page) + " --out " + Quote(output));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(SamePixels(c.expected, ReadImage(output)));
  }
}
