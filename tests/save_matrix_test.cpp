// Every save type at every depth, through `quillon convert`: a depth the
// type holds is written, read back by our reader and opened by the peers
// (ImageMagick, Pillow, and libtiff for TIFF) with the same pixels; any
// other depth is refused with the Save As message.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/writers/writers.h"
#include "support/pnm.h"
#include "support/test_util.h"

namespace {

struct Source {
  int bpp;
  const char* fixture;    // in tests/data/reader
  const char* reference;  // its decode by a general tool
};
const Source kSources[] = {{1, "tif1-miniswhite.tif", "tif1-miniswhite.ppm"},
                           {4, "tif4-palette.tif", "tif4-palette.ppm"},
                           {8, "tif8-palette.tif", "tif8-palette.ppm"},
                           {16, "bmp16-565.bmp", "bmp16-565.ppm"},
                           {24, "tif24.tif", "tif24.ppm"}};

std::string Shell(const std::string& command, int* status) {
  std::string output;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  char buffer[512];
  size_t n;
  while (p && (n = fread(buffer, 1, sizeof buffer, p)) > 0) output.append(buffer, n);
  int s = p ? pclose(p) : -1;
  *status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
  return output;
}

double Psnr(const testutil::Rgb& a, const testutil::Rgb& b) {
  if (a.width != b.width || a.height != b.height || a.pixels.empty()) return 0;
  double sum = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    double d = static_cast<double>(a.pixels[i]) - b.pixels[i];
    sum += d * d;
  }
  if (sum == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 * a.pixels.size() / sum);
}

// How close a written file must come to the source: exact for lossless
// types, a small tolerance where 5-6-5 pixels are stored as 5-5-5, and a
// PSNR floor for JPEG.
bool Matches(const testutil::Rgb& got, const testutil::Rgb& want, const quillon::SaveType& type,
             int bpp, std::string* detail) {
  if (type.compression == quillon::kJpeg) {
    double p = Psnr(got, want);
    *detail = std::to_string(static_cast<int>(p)) + " dB";
    return p >= 20;  // the 23 x 17 fixtures are all edges; photos reach 36+
  }
  std::string where;
  int worst = testutil::MaxDifference(got, want, bpp == 16 ? 8 : 0, &where);
  *detail = worst < 0 ? "size differs" : worst == 0 ? "exact" : "within " + std::to_string(worst);
  return worst >= 0 && worst <= (bpp == 16 ? 8 : 0);
}

}  // namespace

TEST(SaveMatrix, EveryTypeAtEveryDepth) {
  testutil::TempDir dir;
  const std::string tool = QUILLON_TOOL;
  std::string table = "\nsave type               1 bpp     4 bpp     8 bpp     16 bpp    24 bpp\n";
  for (int t = 0; t < quillon::kSaveTypeCount; ++t) {
    const quillon::SaveType& type = quillon::kSaveTypes[t];
    char name[32];
    std::snprintf(name, sizeof name, "%-22s", type.name);
    table += name;
    const std::string extension = std::string(type.pattern).substr(2);
    for (const Source& s : kSources) {
      SCOPED_TRACE(std::string(type.name) + " at " + std::to_string(s.bpp) + " bpp");
      const std::string out = dir.Path("out-" + std::to_string(t) + "-" + std::to_string(s.bpp) + "." + extension);
      int status;
      std::string said = Shell(tool + " convert '" + testutil::DataPath(std::string("reader/") + s.fixture) +
                                 "' '" + out + "' --type '" + type.name + "'",
                             &status);
      if (!quillon::SaveTypeAccepts(t, s.bpp)) {
        EXPECT_EQ(status, 1);
        EXPECT_NE(said.find(quillon::kDepthRefusedText), std::string::npos) << said;
        table += "  refused ";
        continue;
      }
      ASSERT_EQ(status, 0) << said;
      const testutil::Rgb want = testutil::ReadPnm(testutil::DataPath(std::string("reader/") + s.reference));
      std::string detail, cell = "  ok";

      // Our own reader.
      std::string ours = dir.Path("ours.ppm");
      Shell(tool + " render '" + out + "' --out '" + ours + "'", &status);
      EXPECT_EQ(status, 0);
      EXPECT_TRUE(Matches(testutil::ReadPnm(ours), want, type, s.bpp, &detail)) << "ours: " << detail;

      // ImageMagick.  It takes the 1 bits of a bilevel PCX as black whatever
      // the palette says, where Pillow and our reader take them as white;
      // there it is only asked to open the file.
      const bool pcx = type.fileType == quillon::kFilePcx || type.fileType == quillon::kFileDcx;
      std::string im = dir.Path("im.ppm");
      Shell("convert '" + out + "' -depth 8 'PPM:" + im + "'", &status);
      EXPECT_EQ(status, 0);
      if (!(pcx && s.bpp == 1)) {
        EXPECT_TRUE(Matches(testutil::ReadPnm(im), want, type, s.bpp, &detail)) << "ImageMagick: " << detail;
      }

      // Pillow, which has no CALS reader and reads an 8-bit PCX page only at
      // the start of a file (so not inside a DCX file).
      const bool pillowReads = type.fileType != quillon::kFileCals &&
                               !(type.fileType == quillon::kFileDcx && s.bpp == 8);
      if (pillowReads) {
        std::string pil = dir.Path("pil.ppm");
        Shell("/usr/bin/python3 -c \"from PIL import Image; Image.open('" + out +
                "').convert('RGB').save('" + pil + "')\"",
            &status);
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(Matches(testutil::ReadPnm(pil), want, type, s.bpp, &detail)) << "Pillow: " << detail;
        cell += "+P";
      }
      // libtiff.
      if (type.fileType == quillon::kFileTiff) {
        std::string rgba = dir.Path("rgba.tif"), lt = dir.Path("lt.ppm");
        Shell("tiff2rgba '" + out + "' '" + rgba + "'", &status);
        EXPECT_EQ(status, 0);
        Shell("convert '" + rgba + "' -alpha off -depth 8 'PPM:" + lt + "'", &status);
        EXPECT_TRUE(Matches(testutil::ReadPnm(lt), want, type, s.bpp, &detail)) << "libtiff: " << detail;
        cell += "+T";
      }
      cell.resize(10, ' ');
      table += cell;
    }
    table += "\n";
  }
  std::printf("%s(ok: read back by our reader and ImageMagick; +P Pillow; +T libtiff)\n", table.c_str());
}
