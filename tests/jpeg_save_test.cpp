// Pages saved as "JPEG JFIF" and "TIFF JPEG" (one strip holding the whole
// stream), by the tool and by SavePage, and opened again by the library,
// libjpeg-turbo (its library and djpeg), libtiff, ImageMagick and Pillow.
#include "support/suite.h"

#include <tiffio.h>
#include <cstdlib>

namespace {

// The TIFF file holds one JPEG-compressed strip that is a whole stream,
// which libjpeg-turbo reads.
void ExpectOneStripStream(const std::string& path, uint16_t photometric) {
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(tif, nullptr);
  uint16_t compression = 0, stored = 0;
  TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &stored);
  EXPECT_EQ(compression, COMPRESSION_JPEG);
  EXPECT_EQ(stored, photometric);
  EXPECT_EQ(TIFFNumberOfStrips(tif), 1u);
  TIFFClose(tif);
  const std::vector<Bytes> strips = TiffRawStrips(ReadFileBytes(path));
  ASSERT_EQ(strips.size(), 1u);
  ASSERT_GE(strips[0].size(), 4u);
  EXPECT_EQ((Bytes{strips[0][0], strips[0][1], strips[0].end()[-2], strips[0].back()}), (Bytes{0xFF, 0xD8, 0xFF, 0xD9}));
  EXPECT_EQ(JpegDecode(strips[0]).result, 0);
}

}  // namespace

TEST(JpegSave, ToolWritesJfifAndTiffJpegThatEveryReaderOpens) {
  TempDir dir;
  const std::string source = SamplePath("photo24.bmp");
  const Raster reference = FileRaster(source);
  ASSERT_EQ(reference.result, kOk);
  const std::string jpg = dir.Path("photo.jpg"), tif = dir.Path("photo.tif");
  for (const auto& [out, type] : {std::pair{jpg, "JPEG JFIF"}, std::pair{tif, "TIFF JPEG"}}) {
    const RunResult run = Tool("convert " + Quote(source) + " " + Quote(out) + " --type '" + type + "'");
    ASSERT_EQ(run.status, 0) << run.output;
    // The library, ImageMagick and Pillow read both; the finest quality
    // keeps 36 dB.
    EXPECT_GE(Psnr(FileRaster(out), reference), 36) << type;
    const RunResult im = Shell("compare -metric PSNR " + Quote(source) + " " + Quote(out) + " null:");
    EXPECT_GE(std::atof(im.output.c_str()), 36) << im.output;
    const RunResult pillow = Shell(
        "/usr/bin/python3 -c \"import math, sys; from PIL import Image; a = Image.open(sys.argv[1]).convert('RGB'); "
        "b = Image.open(sys.argv[2]); b.load(); "
        "e = sum((x - y) ** 2 for x, y in zip(a.tobytes(), b.convert('RGB').tobytes())) / (3 * a.size[0] * a.size[1]); "
        "print(b.format, b.size[0], b.size[1], 10 * math.log10(255 * 255 / e))\" " +
        Quote(source) + " " + Quote(out));
    char format[16] = {};
    int width = 0, height = 0;
    double pillowPsnr = 0;
    ASSERT_EQ(std::sscanf(pillow.output.c_str(), "%15s %d %d %lf", format, &width, &height, &pillowPsnr), 4)
        << pillow.output;
    EXPECT_EQ(std::string(format), out == jpg ? "JPEG" : "TIFF");
    EXPECT_EQ(width, reference.width);
    EXPECT_EQ(height, reference.height);
    EXPECT_GE(pillowPsnr, 36);
  }
  // libjpeg-turbo and djpeg read the JFIF file, libtiff the TIFF file.
  const Raster peer = JpegDecode(ReadFileBytes(jpg));
  EXPECT_EQ(peer.warnings, 0);
  EXPECT_GE(Psnr(peer, reference), 36);
  EXPECT_EQ(Shell("djpeg -outfile /dev/null " + Quote(jpg)).status, 0);
  ExpectOneStripStream(tif, PHOTOMETRIC_YCBCR);
  EXPECT_GE(Psnr(TiffRgba(ReadFileBytes(tif)), reference), 36);
}

TEST(JpegSave, GrayPagesAndResolutionSurviveBothTypes) {
  TempDir dir;
  const Raster picture = TestPicture(57, 43);
  Raster gray{0, 57, 43, 1, 0, {}};
  for (size_t i = 0; i < picture.pixels.size(); i += 3) gray.pixels.push_back(picture.pixels[i + 1]);
  testpix::Image pixels(57, 43, 8);
  pixels.px.assign(gray.pixels.begin(), gray.pixels.end());
  Page page;
  testpix::MakePixelPage(pixels, page.get());
  page->xResolution = 200;
  page->yResolution = 100;
  for (const char* type : {"JPEG JFIF", "TIFF JPEG"}) {
    SCOPED_TRACE(type);
    const std::string path = dir.Path(std::string("gray") + (type[0] == 'J' ? ".jpg" : ".tif"));
    ASSERT_EQ(SavePage(Utf8ToUtf16(path).c_str(), page.get(), FindSaveType(type), 1), kOk);
    OpenedFile f(path);
    Page back;
    ASSERT_EQ(f.Extract(back.get()), kOk);
    const Raster ours = FileRaster(path);
    EXPECT_EQ(ours.channels, 1);
    EXPECT_GE(Psnr(ours, gray), 30);
    if (type[0] == 'J') {
      EXPECT_EQ(back->xResolution, 200);
      EXPECT_EQ(back->yResolution, 100);
      EXPECT_GE(Psnr(JpegDecode(ReadFileBytes(path)), gray), 30);
    } else {
      ExpectOneStripStream(path, PHOTOMETRIC_MINISBLACK);
      EXPECT_GE(Psnr(TiffRgba(ReadFileBytes(path)), gray), 30);
    }
  }
}
