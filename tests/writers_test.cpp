// File writing: the save types, each format's bytes, and saves that fail
// without harming the file they would replace.
#include "support/suite.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>
#include <csignal>
#include <filesystem>

namespace {

std::u16string Wide(const std::string& s) { return Utf8ToUtf16(s); }

// An uncompressed page of `bpp` with a recognisable pattern, at 200 dpi.
void MakePage(Page& page, int width, int height, int bpp) {
  testpix::MakePixelPage(testpix::Patterned(width, height, bpp, testpix::Pattern::kGradient, 1), page.get(),
                         testpix::ColourfulPalette(5).data());
  page->xResolution = page->yResolution = 200;
}

// A page of `code` whose data is just the given bytes (the writers frame
// encoded data without looking into it).
void MakeCoded(Page& page, int width, int height, int bpp, int code, const Bytes& bytes) {
  page.record = CodedPage(bytes, code, width, height, bpp);
  page->data = static_cast<uint8_t*>(Allocate(bytes.size()));
  std::memcpy(page->data, bytes.data(), bytes.size());
  page->dataOwnership = kOwnedByPage;
  page->xResolution = page->yResolution = 200;
}

Bytes Written(const TempDir& dir, int fileType, Page& page, int32_t* result) {
  const std::string path = dir.Path("w.out");
  ImageFile file;
  EXPECT_EQ(CreateOutputFile(Wide(path).c_str(), &file, 0, fileType), kOk);
  *result = WriteImage(&file, page.get());
  Close(file.fileHandle);
  return ReadFileBytes(path);
}

}  // namespace

TEST(Writers, BmpIsBottomUpWithFiveFiveFiveWordsAndAPalette) {
  TempDir dir;
  Page page;
  MakePage(page, 3, 2, 16);
  // Pixel (0, 0) white, pixel (0, 1) pure green in 5-6-5.
  page->data[0] = 0xFF, page->data[1] = 0xFF;
  page->data[8] = 0xE0, page->data[9] = 0x07;
  int32_t r;
  const Bytes b = Written(dir, kFileWindowsBmp, page, &r);
  ASSERT_EQ(r, kOk);
  ASSERT_EQ(b.size(), 54u + 2 * 8);
  EXPECT_EQ((Bytes{b[0], b[10], b[14], b[28]}), (Bytes{'B', 54, 40, 16}));
  EXPECT_EQ(b[54] | (b[55] << 8), 0x03E0);  // the last line first
  EXPECT_EQ(b[62] | (b[63] << 8), 0x7FFF);
  Page bilevel;
  testpix::MakePixelPage(testpix::ReadBuffer(Bytes{0xF0, 0, 0, 0, 0x0F}.data(), 4, 8, 2, 1), bilevel.get());
  const Bytes c = Written(dir, kFileWindowsBmp, bilevel, &r);
  ASSERT_EQ(r, kOk);
  EXPECT_EQ(Bytes(c.begin() + 54, c.begin() + 62), (Bytes{0, 0, 0, 0, 255, 255, 255, 0}));
  EXPECT_EQ(c[62], 0x0F);  // the page's last line comes first
  EXPECT_EQ(c[66], 0xF0);
}

TEST(Writers, CalsHeaderRecords) {
  TempDir dir;
  Page page;
  MakeCoded(page, 1728, 2200, 1, kG4, {1, 2, 3});
  int32_t r;
  const Bytes b = Written(dir, kFileCals, page, &r);
  ASSERT_EQ(r, kOk);
  ASSERT_EQ(b.size(), 2051u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 14), "srcdocid: NONE");
  EXPECT_EQ(std::string(b.begin() + 768, b.begin() + 776), "rtype: 1");
  EXPECT_EQ(std::string(b.begin() + 1024, b.begin() + 1046), "rpelcnt: 001728,002200");
  EXPECT_EQ(std::string(b.begin() + 1152, b.begin() + 1165), "rdensty: 0200");
  EXPECT_EQ((Bytes{b[2047], b[2048]}), (Bytes{' ', 1}));
  // The written file opens as CALS with the same geometry.
  OpenedFile f(dir.Path("w.out"));
  EXPECT_EQ(f->fileType, kFileCals);
  Page back;
  ASSERT_EQ(f.Extract(back.get()), kOk);
  EXPECT_EQ((std::vector<int32_t>{back->width, back->height, back->xResolution}), (std::vector<int32_t>{1728, 2200, 200}));
}

TEST(Writers, GifAndPcxFraming) {
  TempDir dir;
  Page gif;
  MakeCoded(gif, 4, 4, 1, kLzwGif, Bytes(300, 0x44));
  int32_t r;
  const Bytes b = Written(dir, kFileGif, gif, &r);
  ASSERT_EQ(r, kOk);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 6), "GIF87a");
  EXPECT_EQ(b[10], 0x80);  // global table of two entries
  EXPECT_EQ(Bytes(b.begin() + 13, b.begin() + 19), (Bytes{0, 0, 0, 255, 255, 255}));
  const size_t descriptor = 19 + 3 + 11 + 1;
  // Code size 2 for 1 bpp; 298 bytes of codes: 255 + 43.
  EXPECT_EQ((Bytes{b[descriptor], b[descriptor + 10], b[descriptor + 11], b[descriptor + 12 + 255], b.back()}),
            (Bytes{',', 2, 255, 43, ';'}));
  Page pcx;
  MakeCoded(pcx, 5, 1, 8, kPcxRle, {0xC5, 9});
  pcx->palette = MakeGrayPalette(8);
  const Bytes p = Written(dir, kFilePcx, pcx, &r);
  ASSERT_EQ(r, kOk);
  ASSERT_EQ(p.size(), 128u + 2 + 769);
  EXPECT_EQ((Bytes{p[128 + 2], p[128 + 3 + 3 * 7]}), (Bytes{0x0C, 7}));
  const Bytes d = Written(dir, kFileDcx, pcx, &r);
  ASSERT_EQ(r, kOk);
  EXPECT_EQ(d[4] | (d[5] << 8), 204);
  EXPECT_EQ(d[204], 10);
}

TEST(Writers, WrongCompressionSecondPagesAndInexactNamesAreRefused) {
  TempDir dir;
  EXPECT_EQ(FindSaveType("tiff g4"), -1);
  Page page;
  MakePage(page, 4, 4, 8);
  int32_t r;
  Written(dir, kFileGif, page, &r);  // GIF needs LZW data
  EXPECT_EQ(r, kErrParameter);
  Written(dir, kFileCals, page, &r);
  EXPECT_EQ(r, kErrParameter);
  ImageFile file;
  ASSERT_EQ(CreateOutputFile(Wide(dir.Path("two.bmp")).c_str(), &file, 0, kFileWindowsBmp), kOk);
  EXPECT_EQ(WriteImage(&file, page.get()), kOk);
  EXPECT_EQ(WriteImage(&file, page.get()), kErrParameter);
  EXPECT_EQ(file.pageCount, 1);
  Close(file.fileHandle);
}

TEST(Writers, TiffFieldsAndRowsAsLibtiffReadsThem) {
  TempDir dir;
  for (int bpp : {1, 4, 8, 24}) {
    Page page;
    MakePage(page, 13, 5, bpp);
    std::strcpy(page->comment, "a comment");
    const std::string path = dir.Path("t" + std::to_string(bpp) + ".tif");
    ASSERT_EQ(SavePage(Wide(path).c_str(), page.get(), FindSaveType("TIFF Uncompressed"), 0), kOk);
    TIFF* t = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(t, nullptr) << bpp;
    uint16_t bits = 0, samples = 0, photometric = 0;
    char* software = nullptr;
    char* description = nullptr;
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetField(t, TIFFTAG_SOFTWARE, &software);
    TIFFGetField(t, TIFFTAG_IMAGEDESCRIPTION, &description);
    EXPECT_EQ(bits, bpp == 24 ? 8 : bpp);
    EXPECT_EQ(samples, bpp == 24 ? 3 : 1);
    EXPECT_EQ(photometric, bpp == 1 ? 1 : bpp == 24 ? 2 : 3);
    EXPECT_STREQ(software, "Quillon 1.0");
    EXPECT_STREQ(description, "a comment");
    TIFFClose(t);
    // libtiff shows the page, and our reader reads the depth and the
    // comment back.
    EXPECT_TRUE(SamePixels(PageRaster(page.record), TiffRgba(ReadFileBytes(path)))) << bpp;
    OpenedFile f(path);
    Page back;
    ASSERT_EQ(f.Extract(back.get()), kOk);
    EXPECT_EQ(back->bitsPerPixel, bpp);
    EXPECT_STREQ(back->comment, "a comment");
  }
}

TEST(Writers, FailedSavesLeaveTheOldFileIntact) {
  TempDir dir;
  const std::string target = dir.Path("keep.bmp");
  const Bytes old = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};
  dir.Write("keep.bmp", old);
  const int bmp = FindSaveType("WIN BMP Uncompressed");
  // A conversion that fails: no partial file, the old one unchanged.
  Page damaged;
  MakeCoded(damaged, 64, 64, 1, kModifiedHuffman, {0x00, 0x01, 0x02});
  EXPECT_NE(SavePage(Wide(target).c_str(), damaged.get(), bmp, 0), kOk);
  EXPECT_EQ(ReadFileBytes(target), old);
  EXPECT_FALSE(std::filesystem::exists(target + ".part"));
  // A temporary file that cannot be created.
  std::filesystem::create_directory(target + ".part");
  Page page;
  MakePage(page, 64, 64, 24);
  EXPECT_EQ(SavePage(Wide(target).c_str(), page.get(), bmp, 0), kErrIo);
  EXPECT_EQ(ReadFileBytes(target), old);
  std::filesystem::remove(target + ".part");
  // The disk filling up half-way through (a file size limit in a child
  // process): the write error is reported, the old file stays.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{1000, 1000};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(SavePage(Wide(target).c_str(), page.get(), bmp, 0) == kErrIo ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadFileBytes(target), old);
  EXPECT_FALSE(std::filesystem::exists(target + ".part"));
  // A depth the type cannot hold.
  EXPECT_EQ(SavePage(Wide(target).c_str(), page.get(), FindSaveType("GIF"), 0), kErrBitDepth);
  EXPECT_EQ(ReadFileBytes(target), old);
  // And a save that succeeds replaces it.
  ASSERT_EQ(SavePage(Wide(target).c_str(), page.get(), bmp, 0), kOk);
  EXPECT_EQ(ReadFileBytes(target).size(), 54u + 64 * 64 * 3);
}

TEST(Writers, PagesStillInStripsAreDecodedBeforeSaving) {
  // A page as the reader hands it over: G4 strips in the file's view.  Saved
  // as one-strip G4 it decodes to the same lines as the original; WriteImage
  // itself refuses strips, the formats hold one block.
  TempDir dir;
  const std::string source = DataPath("fax/text-g4-strips-lsb.tif"), out = dir.Path("one-strip.tif");
  OpenedFile f(source);
  Page page;
  ASSERT_EQ(f.Extract(page.get()), kOk);
  ASSERT_GE(page->stripCount, 2);
  ASSERT_EQ(SavePage(Wide(out).c_str(), page.get(), FindSaveType("TIFF G4"), 0), kOk);
  EXPECT_TRUE(SamePixels(FileRaster(source), FileRaster(out)));
  ImageFile file;
  ASSERT_EQ(CreateOutputFile(Wide(dir.Path("x.tif")).c_str(), &file, 0, kFileTiff), kOk);
  EXPECT_EQ(WriteImage(&file, page.get()), kErrParameter);
  Close(file.fileHandle);
}
