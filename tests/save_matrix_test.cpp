// Every save type at every depth, through `quillon convert`: a depth the
// type holds is written, read back by our reader and opened by the peers
// (ImageMagick, Pillow, and libtiff for TIFF) with the same pixels; any
// other depth is refused with the Save As message.
#include "support/suite.h"

namespace {

// How close a written file must come to the source: exact for lossless
// types, a small tolerance where 5-6-5 pixels are stored as 5-5-5, and a
// PSNR floor for JPEG (the 23 x 17 fixtures are all edges; photos reach 36).
::testing::AssertionResult Matches(const std::string& path, const Raster& want, const quillon::SaveType& type,
                                   int bpp) {
  const Raster got = ReadImage(path);
  if (type.compression == quillon::kJpeg)
    return Psnr(got, want) >= 20 ? ::testing::AssertionSuccess()
                                 : ::testing::AssertionFailure() << Psnr(got, want) << " dB";
  return SamePixels(want, got, bpp == 16 ? 8 : 0);
}

}  // namespace

TEST(SaveMatrix, EveryTypeAtEveryDepth) {
  TempDir dir;
  const std::pair<int, const char*> sources[] = {
      {1, "tif1-miniswhite"}, {4, "tif4-palette"}, {8, "tif8-palette"}, {16, "bmp16-565"}, {24, "tif24"}};
  std::string table = "\nsave type               1 bpp     4 bpp     8 bpp     16 bpp    24 bpp\n";
  for (int t = 0; t < quillon::kSaveTypeCount; ++t) {
    const quillon::SaveType& type = quillon::kSaveTypes[t];
    char name[32];
    std::snprintf(name, sizeof name, "%-22s", type.name);
    table += name;
    for (const auto& [bpp, fixture] : sources) {
      SCOPED_TRACE(std::string(type.name) + " at " + std::to_string(bpp) + " bpp");
      const std::string source = DataPath(std::string("reader/") + fixture);
      const std::string out = dir.Path("out-" + std::to_string(t) + "-" + std::to_string(bpp) + "." +
                                       std::string(type.pattern).substr(2));
      const RunResult run = Tool({"convert", source + (bpp == 16 ? ".bmp" : ".tif"), out, "--type", type.name});
      if (!quillon::SaveTypeAccepts(t, bpp)) {
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.errors.find(quillon::kDepthRefusedText), std::string::npos) << run.errors;
        table += "  refused ";
        continue;
      }
      ASSERT_EQ(run.status, 0) << run.errors;
      const Raster want = ReadImage(source + ".ppm");
      std::string cell = "  ok";
      // Our own reader, through the tool.
      EXPECT_EQ(Tool({"render", out, "--out", dir.Path("ours.ppm")}).status, 0);
      EXPECT_TRUE(Matches(dir.Path("ours.ppm"), want, type, bpp)) << "ours";
      // ImageMagick.  It takes the 1 bits of a bilevel PCX as black whatever
      // the palette says, where Pillow and our reader take them as white;
      // there it is only asked to open the file.
      const bool pcx = type.fileType == quillon::kFilePcx || type.fileType == quillon::kFileDcx;
      EXPECT_EQ(Shell("convert " + Quote(out) + " -depth 8 " + Quote("PPM:" + dir.Path("im.ppm"))).status, 0);
      if (!(pcx && bpp == 1)) {
        EXPECT_TRUE(Matches(dir.Path("im.ppm"), want, type, bpp)) << "ImageMagick";
      }
      // Pillow, which has no CALS reader and reads an 8-bit PCX page only at
      // the start of a file (so not inside a DCX file).
      if (type.fileType != quillon::kFileCals && !(type.fileType == quillon::kFileDcx && bpp == 8)) {
        EXPECT_EQ(Shell("/usr/bin/python3 -c \"from PIL import Image; Image.open('" + out + "').convert('RGB').save('" +
                        dir.Path("pil.ppm") + "')\"")
                      .status,
                  0);
        EXPECT_TRUE(Matches(dir.Path("pil.ppm"), want, type, bpp)) << "Pillow";
        cell += "+P";
      }
      // libtiff.
      if (type.fileType == quillon::kFileTiff) {
        EXPECT_EQ(Shell("tiff2rgba " + Quote(out) + " " + Quote(dir.Path("rgba.tif"))).status, 0);
        Shell("convert " + Quote(dir.Path("rgba.tif")) + " -alpha off -depth 8 " + Quote("PPM:" + dir.Path("lt.ppm")));
        EXPECT_TRUE(Matches(dir.Path("lt.ppm"), want, type, bpp)) << "libtiff";
        cell += "+T";
      }
      cell.resize(10, ' ');
      table += cell;
    }
    table += "\n";
  }
  std::printf("%s(ok: read back by our reader and ImageMagick; +P Pillow; +T libtiff)\n", table.c_str());
}
