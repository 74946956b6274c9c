// File writing: the save types, each format's bytes, and saves that fail
// without harming the file they would replace.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/core/core.h"
#include "imaging/core/runlist.h"
#include "imaging/writers/writers.h"
#include "support/files.h"

using namespace quillon;
using testutil::OpenedFile;
using testutil::Page;
using testutil::TempDir;

namespace {

std::u16string Wide(const std::string& s) { return Utf8ToUtf16(s); }

// An uncompressed page of `bpp` with a recognisable pattern and a palette
// for 4 and 8 bpp.
void MakePage(Page& page, int width, int height, int bpp) {
  page->width = width;
  page->height = height;
  page->bitsPerPixel = static_cast<int8_t>(bpp);
  page->compression = kUncompressed;
  page->bytesPerLine = BytesPerLine(width, bpp);
  page->dataSize = page->bytesPerLine * static_cast<uint32_t>(height);
  page->data = static_cast<uint8_t*>(Allocate(page->dataSize));
  page->dataOwnership = kOwnedByPage;
  page->layoutFlags = kLayoutTopDown;
  page->xResolution = page->yResolution = 200;
  for (uint32_t i = 0; i < page->dataSize; ++i) page->data[i] = static_cast<uint8_t>(i * 7 + i / 13);
  if (bpp == 4 || bpp == 8) {
    page->palette = MakeGrayPalette(8);
    for (int i = 0; i < 768; ++i) page->palette[i] = static_cast<uint8_t>(i * 3);
  }
}

// A page of `code` whose data is just the given bytes (the writers frame
// encoded data without looking into it).
void MakeCoded(Page& page, int width, int height, int bpp, int code, std::vector<uint8_t> bytes) {
  page->width = width;
  page->height = height;
  page->bitsPerPixel = static_cast<int8_t>(bpp);
  page->compression = static_cast<int8_t>(code);
  page->dataSize = static_cast<uint32_t>(bytes.size());
  page->data = static_cast<uint8_t*>(Allocate(bytes.size()));
  std::memcpy(page->data, bytes.data(), bytes.size());
  page->dataOwnership = kOwnedByPage;
  page->xResolution = page->yResolution = 200;
}

std::vector<uint8_t> Written(const TempDir& dir, int fileType, Page& page, int32_t* result) {
  std::string path = dir.Path("w.out");
  ImageFile file;
  EXPECT_EQ(CreateOutputFile(Wide(path).c_str(), &file, 0, fileType), kOk);
  *result = WriteImage(&file, page.get());
  Close(file.fileHandle);
  return testutil::ReadFileBytes(path);
}

}  // namespace

TEST(Writers, DepthsEachSaveTypeHolds) {
  // A type holds a depth only when the mask lists all its bits: 24 bpp needs
  // 0x08 and 0x10, so "GIF" (0x0D) and "WIN BMP RLE" (0x0C) refuse it.
  struct Row {
    const char* type;
    std::vector<int> accepted;
  };
  const Row rows[] = {
      {"TIFF Uncompressed", {1, 4, 8, 24}}, {"TIFF G4", {1}},        {"TIFF JPEG", {8, 24}},
      {"WIN BMP Uncompressed", {1, 4, 8, 16, 24}}, {"WIN BMP RLE", {4, 8}}, {"GIF", {1, 4, 8}},
      {"CALS", {1}},                        {"JPEG JFIF", {8, 24}},  {"DCX", {1, 4, 8, 24}},
  };
  for (const Row& r : rows) {
    int type = FindSaveType(r.type);
    ASSERT_GE(type, 0) << r.type;
    for (int bpp : {1, 4, 8, 16, 24}) {
      bool expect = std::find(r.accepted.begin(), r.accepted.end(), bpp) != r.accepted.end();
      EXPECT_EQ(SaveTypeAccepts(type, bpp), expect) << r.type << " " << bpp;
    }
  }
  EXPECT_EQ(FindSaveType("tiff g4"), -1);  // names are exact
  EXPECT_STREQ(kSaveTypes[0].name, "TIFF Uncompressed");
  EXPECT_STREQ(kSaveTypes[13].name, "JPEG JFIF");
}

TEST(Writers, BmpLayout) {
  TempDir dir;
  Page page;
  MakePage(page, 3, 2, 16);
  // Pixel (0, 0) white, pixel (0, 1) pure green in 5-6-5.
  page->data[0] = 0xFF, page->data[1] = 0xFF;
  page->data[8] = 0xE0, page->data[9] = 0x07;
  int32_t r;
  std::vector<uint8_t> b = Written(dir, kFileWindowsBmp, page, &r);
  ASSERT_EQ(r, kOk);
  ASSERT_EQ(b.size(), 54u + 2 * 8);
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[10], 54);
  EXPECT_EQ(b[14], 40);
  EXPECT_EQ(b[28], 16);
  // Bottom line first, 5-5-5 words.
  EXPECT_EQ(b[54] | (b[55] << 8), 0x03E0);
  EXPECT_EQ(b[62] | (b[63] << 8), 0x7FFF);

  Page bilevel;
  MakePage(bilevel, 8, 2, 1);
  bilevel->data[0] = 0xF0, bilevel->data[4] = 0x0F;
  std::vector<uint8_t> c = Written(dir, kFileWindowsBmp, bilevel, &r);
  ASSERT_EQ(r, kOk);
  EXPECT_EQ(std::vector<uint8_t>(c.begin() + 54, c.begin() + 62),
            (std::vector<uint8_t>{0, 0, 0, 0, 255, 255, 255, 0}));
  EXPECT_EQ(c[62], 0x0F);  // the page's last line comes first
  EXPECT_EQ(c[66], 0xF0);
}

TEST(Writers, CalsHeaderRecords) {
  TempDir dir;
  Page page;
  MakeCoded(page, 1728, 2200, 1, kG4, {1, 2, 3});
  int32_t r;
  std::vector<uint8_t> b = Written(dir, kFileCals, page, &r);
  ASSERT_EQ(r, kOk);
  ASSERT_EQ(b.size(), 2051u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 14), "srcdocid: NONE");
  EXPECT_EQ(std::string(b.begin() + 768, b.begin() + 776), "rtype: 1");
  EXPECT_EQ(std::string(b.begin() + 1024, b.begin() + 1046), "rpelcnt: 001728,002200");
  EXPECT_EQ(std::string(b.begin() + 1152, b.begin() + 1165), "rdensty: 0200");
  EXPECT_EQ(b[2047], ' ');
  EXPECT_EQ(b[2048], 1);
  // The written file opens as CALS with the same geometry.
  OpenedFile f(dir.Path("w.out"));
  ASSERT_EQ(f.result, kOk);
  EXPECT_EQ(f.file.fileType, kFileCals);
  Page back;
  ASSERT_EQ(ExtractPage(&f.file, back.get(), 0), kOk);
  EXPECT_EQ(back->width, 1728);
  EXPECT_EQ(back->height, 2200);
  EXPECT_EQ(back->xResolution, 200);
}

TEST(Writers, GifAndPcxFraming) {
  TempDir dir;
  Page gif;
  MakeCoded(gif, 4, 4, 1, kLzwGif, std::vector<uint8_t>(300, 0x44));
  int32_t r;
  std::vector<uint8_t> b = Written(dir, kFileGif, gif, &r);
  ASSERT_EQ(r, kOk);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 6), "GIF87a");
  EXPECT_EQ(b[10], 0x80);  // global table of two entries
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 13, b.begin() + 19),
            (std::vector<uint8_t>{0, 0, 0, 255, 255, 255}));
  size_t descriptor = 19 + 3 + 11 + 1;
  EXPECT_EQ(b[descriptor], ',');
  EXPECT_EQ(b[descriptor + 10], 2);  // code size 2 for 1 bpp
  EXPECT_EQ(b[descriptor + 11], 255);  // 298 bytes: 255 + 43
  EXPECT_EQ(b[descriptor + 12 + 255], 43);
  EXPECT_EQ(b.back(), ';');

  Page pcx;
  MakeCoded(pcx, 5, 1, 8, kPcxRle, {0xC5, 9});
  pcx->palette = MakeGrayPalette(8);
  std::vector<uint8_t> p = Written(dir, kFilePcx, pcx, &r);
  ASSERT_EQ(r, kOk);
  ASSERT_EQ(p.size(), 128u + 2 + 769);
  EXPECT_EQ(p[128 + 2], 0x0C);
  EXPECT_EQ(p[128 + 3 + 3 * 7], 7);
  std::vector<uint8_t> d = Written(dir, kFileDcx, pcx, &r);
  ASSERT_EQ(r, kOk);
  EXPECT_EQ(d[4] | (d[5] << 8), 204);
  EXPECT_EQ(d[204], 10);
}

TEST(Writers, WrongCompressionAndSecondPagesAreRefused) {
  TempDir dir;
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

TEST(Writers, TiffReadsBackInLibtiff) {
  TempDir dir;
  for (int bpp : {1, 4, 8, 24}) {
    Page page;
    MakePage(page, 13, 5, bpp);
    std::strcpy(page->comment, "a comment");
    std::string path = dir.Path("t" + std::to_string(bpp) + ".tif");
    ASSERT_EQ(SavePage(Wide(path).c_str(), page.get(), FindSaveType("TIFF Uncompressed"), 0), kOk);
    TIFF* t = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(t, nullptr) << bpp;
    uint32_t w = 0, h = 0;
    uint16_t bits = 0, samples = 0, photometric = 0;
    char* software = nullptr;
    char* description = nullptr;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetField(t, TIFFTAG_SOFTWARE, &software);
    TIFFGetField(t, TIFFTAG_IMAGEDESCRIPTION, &description);
    EXPECT_EQ(w, 13u);
    EXPECT_EQ(h, 5u);
    EXPECT_EQ(bits, bpp == 24 ? 8 : bpp);
    EXPECT_EQ(samples, bpp == 24 ? 3 : 1);
    EXPECT_EQ(photometric, bpp == 1 ? 1 : bpp == 24 ? 2 : 3);
    EXPECT_STREQ(software, "Quillon 1.0");
    EXPECT_STREQ(description, "a comment");
    // libtiff's rows equal ours, colour turned to red, green, blue.
    std::vector<uint8_t> row(TIFFScanlineSize(t));
    for (uint32_t y = 0; y < h; ++y) {
      ASSERT_EQ(TIFFReadScanline(t, row.data(), y), 1);
      const uint8_t* ours = page->data + y * page->bytesPerLine;
      for (uint32_t i = 0; i < RowBytes(13, bpp); ++i) {
        uint32_t j = bpp == 24 ? i - i % 3 + 2 - i % 3 : i;
        ASSERT_EQ(row[i], ours[j]) << bpp << " y " << y << " i " << i;
      }
    }
    TIFFClose(t);
    // And our reader reads the same depth back.
    OpenedFile f(path);
    Page back;
    ASSERT_EQ(ExtractPage(&f.file, back.get(), 0), kOk);
    EXPECT_EQ(back->bitsPerPixel, bpp);
    EXPECT_STREQ(back->comment, "a comment");
  }
}

TEST(Writers, FailedSavesLeaveTheOldFileIntact) {
  TempDir dir;
  const std::string target = dir.Path("keep.bmp");
  const std::vector<uint8_t> old = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};
  dir.Write("keep.bmp", old);
  const int bmp = FindSaveType("WIN BMP Uncompressed");

  // A conversion that fails: no partial file, the old one unchanged.
  Page damaged;
  MakeCoded(damaged, 64, 64, 1, kModifiedHuffman, {0x00, 0x01, 0x02});
  int32_t r = SavePage(Wide(target).c_str(), damaged.get(), bmp, 0);
  EXPECT_NE(r, kOk);
  EXPECT_EQ(testutil::ReadFileBytes(target), old);
  EXPECT_FALSE(std::filesystem::exists(target + ".part"));

  // A temporary file that cannot be created.
  std::filesystem::create_directory(target + ".part");
  Page page;
  MakePage(page, 64, 64, 24);
  EXPECT_EQ(SavePage(Wide(target).c_str(), page.get(), bmp, 0), kErrIo);
  EXPECT_EQ(testutil::ReadFileBytes(target), old);
  std::filesystem::remove(target + ".part");

  // The disk filling up half-way through (a file size limit in a child
  // process): the write error is reported, the old file stays.
  pid_t child = fork();
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
  EXPECT_EQ(testutil::ReadFileBytes(target), old);
  EXPECT_FALSE(std::filesystem::exists(target + ".part"));

  // A depth the type cannot hold.
  Page deep;
  MakePage(deep, 4, 4, 24);
  EXPECT_EQ(SavePage(Wide(target).c_str(), deep.get(), FindSaveType("GIF"), 0), kErrBitDepth);
  EXPECT_EQ(testutil::ReadFileBytes(target), old);

  // And a save that succeeds replaces it.
  ASSERT_EQ(SavePage(Wide(target).c_str(), page.get(), bmp, 0), kOk);
  EXPECT_EQ(testutil::ReadFileBytes(target).size(), 54u + 64 * 64 * 3);
}

TEST(Writers, PagesStillInStripsAreDecodedBeforeSaving) {
  // A page as the reader hands it over: G4 strips in the file's view.  Saved
  // as one-strip G4 it must decode to the same lines as the original.
  TempDir dir;
  OpenedFile source(testutil::DataPath("fax/text-g4-strips-lsb.tif"));
  ASSERT_EQ(source.result, kOk);
  Page page;
  ASSERT_EQ(ExtractPage(&source.file, page.get(), 0), kOk);
  ASSERT_GE(page->stripCount, 2);
  const std::string out = dir.Path("one-strip.tif");
  ASSERT_EQ(SavePage(Wide(out).c_str(), page.get(), FindSaveType("TIFF G4"), 0), kOk);

  auto decode = [](const std::string& path, Page& lines) {
    OpenedFile f(path);
    ASSERT_EQ(f.result, kOk);
    Page raw;
    ASSERT_EQ(ExtractPage(&f.file, raw.get(), 0), kOk);
    lines->compression = kRunLists;
    ASSERT_EQ(ConvertPage(raw.get(), lines.get(), 0), kOk);
  };
  Page before, after;
  decode(testutil::DataPath("fax/text-g4-strips-lsb.tif"), before);
  decode(out, after);
  ASSERT_EQ(before->height, after->height);
  for (int y = 0; y < before->height; ++y) {
    const uint8_t* a = LinePointers(before.record)[y];
    const uint8_t* b = LinePointers(after.record)[y];
    ASSERT_EQ(RunLineLength(a), RunLineLength(b)) << y;
    ASSERT_EQ(std::memcmp(a, b, RunLineLength(a)), 0) << y;
  }
  // WriteImage itself refuses strips: the formats hold one block.
  ImageFile file;
  ASSERT_EQ(CreateOutputFile(Wide(dir.Path("x.tif")).c_str(), &file, 0, kFileTiff), kOk);
  EXPECT_EQ(WriteImage(&file, page.get()), kErrParameter);
  Close(file.fileHandle);
}
