// Pages saved as "JPEG JFIF" and "TIFF JPEG" (one strip holding the whole
// stream), by the tool and by SavePage, and opened again by the library,
// libjpeg-turbo and libtiff.
#include "support/suite.h"

#include <tiffio.h>

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

// ImageMagick and Pillow read both types in the save matrix; here a
// photograph keeps 36 dB at the finest quality in our reader, libjpeg-turbo
// (without a warning) and libtiff.
TEST(JpegSave, ToolWritesJfifAndTiffJpegThatThePeersRead) {
  TempDir dir;
  const std::string source = SamplePath("photo24.bmp");
  const Raster reference = FileRaster(source);
  ASSERT_EQ(reference.result, kOk);
  const std::string jpg = dir.Path("photo.jpg"), tif = dir.Path("photo.tif");
  for (const auto& [out, type] : {std::pair{jpg, "JPEG JFIF"}, std::pair{tif, "TIFF JPEG"}}) {
    const RunResult run = Tool({"convert", source, out, "--type", type});
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_GE(Psnr(FileRaster(out), reference), 36) << type;
  }
  const Raster peer = JpegDecode(ReadFileBytes(jpg));
  EXPECT_EQ(peer.warnings, 0);
  EXPECT_GE(Psnr(peer, reference), 36);
  ExpectOneStripStream(tif, PHOTOMETRIC_YCBCR);
  EXPECT_GE(Psnr(TiffRgba(ReadFileBytes(tif)), reference), 36);
}

TEST(JpegSave, GrayPagesAndResolutionSurviveBothTypes) {
  TempDir dir;
  const Raster picture = TestPicture(57, 43);
  Image pixels(57, 43, 8);
  for (size_t i = 0; i < pixels.px.size(); ++i) pixels.px[i] = picture.pixels[3 * i + 1];
  const Raster gray = testpix::ToRaster(pixels);
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
