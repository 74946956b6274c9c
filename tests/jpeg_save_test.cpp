// Pages saved as "JPEG JFIF" and "TIFF JPEG" (one strip holding the whole
// stream), by the tool and by SavePage, and opened again by the library,
// libjpeg-turbo (its library and djpeg), libtiff, ImageMagick and Pillow.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "imaging/writers/writers.h"
#include "support/jpeg_peer.h"
#include "support/test_util.h"

using namespace quillon;
using testutil::Image;
using testutil::Psnr;

namespace {

// Page 1 of a file through the library, as RGB or gray samples; the page
// record's resolution in `dpi`.
Image OurFileDecode(const std::string& path, int* dpi = nullptr) {
  Image image;
  testutil::OpenedFile file(path);
  if (file.result != kOk) return image;
  testutil::Page page, pixels;
  if (ExtractPage(&file.file, page.get(), 0) != kOk) return image;
  if (dpi) dpi[0] = page->xResolution, dpi[1] = page->yResolution;
  pixels->compression = kUncompressed;
  image.result = ConvertPage(page.get(), pixels.get(), 0);
  if (image.result != kOk) return image;
  image.width = pixels->width;
  image.height = pixels->height;
  image.channels = pixels->bitsPerPixel == 8 ? 1 : 3;
  for (int y = 0; y < image.height; ++y) {
    const uint8_t* line = pixels->data + static_cast<size_t>(y) * pixels->bytesPerLine;
    for (int x = 0; x < image.width; ++x) {
      if (image.channels == 1) image.pixels.push_back(line[x]);
      else image.pixels.insert(image.pixels.end(), {line[3 * x + 2], line[3 * x + 1], line[3 * x]});
    }
  }
  return image;
}

// What a command prints on stdout, and its exit status.
std::string Output(const std::string& command, int* status) {
  FILE* p = popen(command.c_str(), "r");
  std::string text;
  char buffer[256];
  size_t n;
  while (p && (n = std::fread(buffer, 1, sizeof buffer, p)) > 0) text.append(buffer, n);
  *status = p ? pclose(p) : -1;
  return text;
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// The TIFF file holds one JPEG-compressed strip that is a whole stream.
void ExpectOneStripStream(const std::string& path, uint16_t photometric) {
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(tif, nullptr);
  uint16_t compression = 0, stored = 0;
  TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &stored);
  EXPECT_EQ(compression, COMPRESSION_JPEG);
  EXPECT_EQ(stored, photometric);
  EXPECT_EQ(TIFFNumberOfStrips(tif), 1u);
  uint64_t* offsets = nullptr;
  uint64_t* counts = nullptr;
  ASSERT_TRUE(TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets));
  ASSERT_TRUE(TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts));
  const std::vector<uint8_t> file = testutil::ReadFileBytes(path);
  ASSERT_LE(offsets[0] + counts[0], file.size());
  const std::vector<uint8_t> strip(file.begin() + static_cast<long>(offsets[0]),
                                   file.begin() + static_cast<long>(offsets[0] + counts[0]));
  TIFFClose(tif);
  ASSERT_GE(strip.size(), 4u);
  EXPECT_EQ(strip[0], 0xFF);
  EXPECT_EQ(strip[1], 0xD8);
  EXPECT_EQ(strip[strip.size() - 2], 0xFF);
  EXPECT_EQ(strip.back(), 0xD9);
  EXPECT_EQ(testutil::PeerDecode(strip).result, 0);
}

}  // namespace

TEST(JpegSave, ToolWritesJfifAndTiffJpegThatEveryReaderOpens) {
  testutil::TempDir dir;
  const std::string source = testutil::SamplePath("photo24.bmp");
  const Image reference = OurFileDecode(source);
  ASSERT_EQ(reference.result, kOk);
  const std::string jpg = dir.Path("photo.jpg"), tif = dir.Path("photo.tif");
  int status = 0;
  for (const auto& [out, type] : {std::pair{jpg, "JPEG JFIF"}, std::pair{tif, "TIFF JPEG"}}) {
    const std::string command = std::string(QUILLON_TOOL) + " convert " + Quoted(source) + " " +
                                Quoted(out) + " --type '" + type + "' 2>&1";
    Output(command, &status);
    ASSERT_EQ(status, 0) << command;
  }

  // The library reads both back; the finest quality keeps 36 dB.
  for (const std::string& path : {jpg, tif}) {
    SCOPED_TRACE(path);
    const Image ours = OurFileDecode(path);
    ASSERT_EQ(ours.result, kOk);
    EXPECT_GE(Psnr(ours, reference), 36);
  }
  // libjpeg-turbo and djpeg read the JFIF file, libtiff the TIFF file.
  const Image peer = testutil::PeerDecode(testutil::ReadFileBytes(jpg));
  ASSERT_EQ(peer.result, 0);
  EXPECT_EQ(peer.warnings, 0);
  EXPECT_GE(Psnr(peer, reference), 36);
  Output("djpeg -outfile /dev/null " + Quoted(jpg) + " 2>&1", &status);
  EXPECT_EQ(status, 0);
  ExpectOneStripStream(tif, PHOTOMETRIC_YCBCR);
  EXPECT_GE(Psnr(testutil::PeerTiffDecode(tif, 3), reference), 36);

  // ImageMagick and Pillow show the picture.
  for (const std::string& path : {jpg, tif}) {
    SCOPED_TRACE(path);
    const std::string psnr =
        Output("compare -metric PSNR " + Quoted(source) + " " + Quoted(path) + " null: 2>&1", &status);
    EXPECT_GE(std::atof(psnr.c_str()), 36) << psnr;
    const std::string pillow = Output(
        "/usr/bin/python3 -c \"import math, sys; from PIL import Image; a = Image.open(sys.argv[1]).convert('RGB'); "
        "b = Image.open(sys.argv[2]); b.load(); "
        "e = sum((x - y) ** 2 for x, y in zip(a.tobytes(), b.convert('RGB').tobytes())) / (3 * a.size[0] * a.size[1]); "
        "print(b.format, b.size[0], b.size[1], 10 * math.log10(255 * 255 / e))\" " +
            Quoted(source) + " " + Quoted(path) + " 2>&1",
        &status);
    EXPECT_EQ(status, 0) << pillow;
    char format[16] = {};
    int width = 0, height = 0;
    double pillowPsnr = 0;
    ASSERT_EQ(std::sscanf(pillow.c_str(), "%15s %d %d %lf", format, &width, &height, &pillowPsnr), 4) << pillow;
    EXPECT_EQ(std::string(format), path == jpg ? "JPEG" : "TIFF");
    EXPECT_EQ(width, reference.width);
    EXPECT_EQ(height, reference.height);
    EXPECT_GE(pillowPsnr, 36);
  }
}

TEST(JpegSave, GrayPagesAndResolutionSurviveBothTypes) {
  testutil::TempDir dir;
  Image picture = testutil::TestPicture(57, 43);
  Image gray = picture;
  gray.channels = 1;
  gray.pixels.clear();
  for (size_t i = 0; i < picture.pixels.size(); i += 3) gray.pixels.push_back(picture.pixels[i + 1]);
  testutil::Page page;
  page->width = gray.width;
  page->height = gray.height;
  page->bitsPerPixel = 8;
  page->xResolution = 200;
  page->yResolution = 100;
  page->bytesPerLine = BytesPerLine(gray.width, 8);
  page->dataSize = page->bytesPerLine * static_cast<uint32_t>(gray.height);
  page->data = static_cast<uint8_t*>(Allocate(page->dataSize));
  page->dataOwnership = kOwnedByPage;
  page->layoutFlags = kLayoutTopDown;
  page->palette = MakeGrayPalette(8);
  for (int y = 0; y < gray.height; ++y)
    for (int x = 0; x < gray.width; ++x)
      page->data[y * page->bytesPerLine + x] = gray.pixels[static_cast<size_t>(y) * gray.width + x];
  for (const char* type : {"JPEG JFIF", "TIFF JPEG"}) {
    SCOPED_TRACE(type);
    const std::string path = dir.Path(std::string("gray") + (type[0] == 'J' ? ".jpg" : ".tif"));
    ASSERT_EQ(SavePage(Utf8ToUtf16(path).c_str(), page.get(), FindSaveType(type), 1), kOk);
    int dpi[2] = {};
    const Image ours = OurFileDecode(path, dpi);
    ASSERT_EQ(ours.result, kOk);
    EXPECT_EQ(ours.channels, 1);
    EXPECT_GE(Psnr(ours, gray), 30);
    if (type[0] == 'J') {
      EXPECT_EQ(dpi[0], 200);
      EXPECT_EQ(dpi[1], 100);
      EXPECT_GE(Psnr(testutil::PeerDecode(testutil::ReadFileBytes(path)), gray), 30);
    } else {
      ExpectOneStripStream(path, PHOTOMETRIC_MINISBLACK);
      EXPECT_GE(Psnr(testutil::PeerTiffDecode(path, 1), gray), 30);
    }
  }
}
