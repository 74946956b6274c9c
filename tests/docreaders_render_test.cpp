// The document and animation formats end to end: `quillon info` names them
// and `quillon render` shows every page as the library decodes it (an
// animation's frames each over the one before).  The files are the open fuzz
// target's, made by the builders (tests/support), and a CALS file made by
// ImageMagick; the readers' own tests compare their pages with the pictures
// they were made from.
#include "support/suite.h"

TEST(DocReadersRender, EveryFormatRendersItsPagesAsTheLibraryDecodesThem) {
  TempDir dir;
  const std::string corpus = QUILLON_FUZZ "/corpus/open/";
  for (const auto& [input, type] : {std::pair{corpus + "awd", "AWD"}, {corpus + "ioca", "IOCA"}, {corpus + "pseg", "PSEG"},
                                    {corpus + "winfax10", "WinFAX"}, {corpus + "flc", "FLI"},
                                    {DataPath("docreaders/small-200.cal"), "CALS"}}) {
    EXPECT_NE(Tool({"info", input}).output.find(type), std::string::npos) << input;
    OpenedFile f(input);
    ASSERT_GT(f->pageCount, 0) << input;
    for (int32_t page = 0; page < f->pageCount; ++page) {
      const std::string output = dir.Path("page.ppm");
      const RunResult run = Tool({"render", input, "--page", std::to_string(page + 1), "--out", output});
      ASSERT_EQ(run.status, 0) << input << ": " << run.errors;
      EXPECT_TRUE(SamePixels(FileRaster(input, page), ReadImage(output))) << input << " page " << page + 1;
    }
  }
}
