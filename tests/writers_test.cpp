// File writing: what the writers refuse, TIFF fields as libtiff reads them,
// and saves that fail without harming the file they would replace.  The
// peers read every type at every depth in the save matrix.
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

// WriteImage's answer for `page` in a new file of `fileType`.
int32_t Written(const TempDir& dir, int fileType, Page& page) {
  ImageFile file;
  EXPECT_EQ(CreateOutputFile(Wide(dir.Path("w.out")).c_str(), &file, 0, fileType), kOk);
  const int32_t result = WriteImage(&file, page.get());
  Close(file.fileHandle);
  return result;
}

}  // namespace

TEST(Writers, WrongCompressionSecondPagesAndInexactNamesAreRefused) {
  TempDir dir;
  EXPECT_EQ(FindSaveType("tiff g4"), -1);
  Page page;
  MakePage(page, 4, 4, 8);
  EXPECT_EQ(Written(dir, kFileGif, page), kErrParameter);  // GIF needs LZW data
  EXPECT_EQ(Written(dir, kFileCals, page), kErrParameter);
  ImageFile file;
  ASSERT_EQ(CreateOutputFile(Wide(dir.Path("two.bmp")).c_str(), &file, 0, kFileWindowsBmp), kOk);
  EXPECT_EQ(WriteImage(&file, page.get()), kOk);
  EXPECT_EQ(WriteImage(&file, page.get()), kErrParameter);
  EXPECT_EQ(file.pageCount, 1);
  Close(file.fileHandle);
}

// A line whose work area the allocation limit refuses fails with -1
// before anything is written.
TEST(Writers, LinesBeyondTheAllocationLimit) {
  TempDir dir;
  Page page;
  MakePage(page, 30000, 1, 24);
  for (int type : {kFileWindowsBmp, kFileTiff}) {
    const uint64_t limit = AllocationLimit();
    SetAllocationLimit(65536);  // the header area, not a line of 90000 bytes
    EXPECT_EQ(Written(dir, type, page), kErrMemory) << type;
    SetAllocationLimit(limit);
    EXPECT_EQ(std::filesystem::file_size(dir.Path("w.out")), 0u) << type;
  }
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
  const Bytes junk = {0x00, 0x01, 0x02};
  PageRecord damaged = CodedPage(junk, kModifiedHuffman, 64, 64);
  EXPECT_NE(SavePage(Wide(target).c_str(), &damaged, bmp, 0), kOk);
  EXPECT_EQ(ReadFileBytes(target), old);
  const auto entries = std::distance(std::filesystem::directory_iterator(dir.Path("")), {});
  EXPECT_EQ(entries, 1) << "no temporary file is left beside the target";
  Page page;
  MakePage(page, 64, 64, 24);

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
