// Identification and opening: the header tests, their order, the page walks
// and what they do with damaged files.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "imaging/core/core.h"
#include "support/builders.h"
#include "support/test_util.h"

using namespace quillon;
using testutil::OpenedFile;
using testutil::PutBE16;
using testutil::PutBE32;
using testutil::PutLE16;
using testutil::PutLE32;
using testutil::PutText;
using testutil::TempDir;

namespace {

struct Opened {
  int32_t result;
  int type;
  int pages;
  std::vector<uint32_t> offsets;  // pageOffsets, when the format has them
};

Opened Open(const TempDir& dir, const std::vector<uint8_t>& bytes,
            int offsetsToCopy = 0) {
  std::string path = dir.Write("f.bin", bytes);
  OpenedFile f(path);
  Opened o{f.result, f.file.fileType, f.file.pageCount, {}};
  if (f.result == kOk && f.file.pageOffsets)
    o.offsets.assign(f.file.pageOffsets, f.file.pageOffsets + offsetsToCopy);
  return o;
}

std::vector<uint8_t> Bmp(uint32_t infoSize) {
  std::vector<uint8_t> b(80, 0);
  b[0] = 'B';
  b[1] = 'M';
  PutLE32(b, 2, 80);
  PutLE32(b, 14, infoSize);
  return b;
}

// A GIF of `frames` 2 x 2 images, each with a graphic-control extension.
std::vector<uint8_t> Gif(int frames) {
  std::vector<uint8_t> b;
  PutText(b, 0, "GIF89a");
  PutLE16(b, 6, 2);
  PutLE16(b, 8, 2);
  b.push_back(0x80);  // global colour table of 2 entries
  b.push_back(0);
  b.push_back(0);
  for (int i = 0; i < 6; ++i) b.push_back(static_cast<uint8_t>(i * 40));
  for (int f = 0; f < frames; ++f) {
    for (uint8_t c : {0x21, 0xF9, 4, 0, 10, 0, 0, 0}) b.push_back(c);
    b.push_back(',');
    for (int i = 0; i < 4; ++i) b.push_back(0);
    for (uint8_t c : {2, 0, 2, 0, 0}) b.push_back(c);  // 2 x 2, no local table
    b.push_back(2);                                    // code size
    for (uint8_t c : {2, 0x4C, 0x01, 0}) b.push_back(c);
  }
  b.push_back(';');
  while (b.size() < 60) b.push_back(0);  // identification wants 50 bytes
  return b;
}

}  // namespace

TEST(Identify, ShortFilesAreRejectedWhateverTheirContent) {
  TempDir dir;
  std::vector<uint8_t> tiff = testutil::BuildTiff(
      {testutil::BilevelDirectory(8, 8, 1, std::vector<uint8_t>(8, 0xFF))}, false);
  tiff.resize(49);
  EXPECT_EQ(Open(dir, tiff).result, kErrUnknownFormat);
  EXPECT_EQ(Open(dir, {}).result, kErrUnknownFormat);
  std::string missing = dir.Path("no-such-file.tif");
  OpenedFile f(missing);
  EXPECT_EQ(f.result, kErrIo);
}

TEST(Identify, BmpInfoHeaderSizes) {
  TempDir dir;
  EXPECT_EQ(Open(dir, Bmp(40)).type, kFileWindowsBmp);
  EXPECT_EQ(Open(dir, Bmp(12)).type, kFileOs2Bmp);
  EXPECT_EQ(Open(dir, Bmp(108)).type, kFileOs2Bmp);
  EXPECT_EQ(Open(dir, Bmp(124)).type, kFileOs2Bmp);
  EXPECT_EQ(Open(dir, Bmp(16)).result, kErrUnknownFormat);
  EXPECT_EQ(Open(dir, Bmp(0)).result, kErrUnknownFormat);
}

TEST(Identify, TiffDirectoryWalkInBothByteOrders) {
  TempDir dir;
  for (bool big : {false, true}) {
    std::vector<testutil::TiffDirectory> dirs;
    for (int i = 0; i < 3; ++i)
      dirs.push_back(testutil::BilevelDirectory(16 + i, 4, 1, std::vector<uint8_t>(8, 0xFF)));
    std::vector<uint8_t> bytes = testutil::BuildTiff(dirs, big);
    Opened o = Open(dir, bytes, 3);
    ASSERT_EQ(o.result, kOk) << big;
    EXPECT_EQ(o.type, kFileTiff);
    EXPECT_EQ(o.pages, 3);
    for (uint32_t off : o.offsets) EXPECT_LT(off, bytes.size());
  }
}

TEST(Identify, TiffDirectoryWithTooFewEntriesFailsToOpen) {
  TempDir dir;
  testutil::TiffDirectory small;
  small.fields = {{256, 4, {8}, {}}, {257, 4, {8}, {}}, {258, 3, {1}, {}}, {259, 3, {1}, {}}};
  std::vector<uint8_t> bytes = testutil::BuildTiff(
      {testutil::BilevelDirectory(8, 8, 1, std::vector<uint8_t>(8, 0)), small}, false);
  while (bytes.size() % 4) bytes.push_back(0);
  bytes.resize(bytes.size() + 64, 0);  // room for a full 60-byte read
  EXPECT_EQ(Open(dir, bytes).result, kErrBadHeader);
}

TEST(Identify, TiffChainsThatLoopOrLeaveTheFileEnd) {
  TempDir dir;
  std::vector<uint8_t> bytes = testutil::BuildTiff(
      {testutil::BilevelDirectory(8, 8, 1, std::vector<uint8_t>(8, 0))}, false);
  uint32_t first = bytes[4] | (bytes[5] << 8);
  uint32_t n = bytes[first] | (bytes[first + 1] << 8);
  size_t next = first + 2 + 12 * n;
  // Next directory = the first one again: the walk stops.
  PutLE32(bytes, next, first);
  Opened o = Open(dir, bytes);
  EXPECT_EQ(o.result, kOk);
  EXPECT_EQ(o.pages, 1);
  // Next directory beyond the end: not recorded.
  PutLE32(bytes, next, 0x7FFFFFF0);
  o = Open(dir, bytes);
  EXPECT_EQ(o.result, kOk);
  EXPECT_EQ(o.pages, 1);
  // First directory beyond the end: no pages, no read outside the file.
  PutLE32(bytes, 4, static_cast<uint32_t>(bytes.size() + 100));
  o = Open(dir, bytes);
  EXPECT_EQ(o.result, kOk);
  EXPECT_EQ(o.pages, 0);
}

TEST(Identify, GifFrameScan) {
  TempDir dir;
  std::vector<uint8_t> one = Gif(1);
  Opened o = Open(dir, one, 2);
  ASSERT_EQ(o.result, kOk);
  EXPECT_EQ(o.type, kFileGif);
  EXPECT_EQ(o.pages, 1);
  EXPECT_EQ(o.offsets, (std::vector<uint32_t>{0, static_cast<uint32_t>(one.size())}));

  std::vector<uint8_t> three = Gif(3);
  o = Open(dir, three, 4);
  EXPECT_EQ(o.pages, 3);
  EXPECT_EQ(o.offsets[0], 0u);
  EXPECT_EQ(o.offsets[1], 13u + 6 + 23);  // after frame 0's data sub-blocks
  EXPECT_EQ(o.offsets[3], three.size());

  // A stray byte where frame 1 should start: one frame, the file's end as
  // its end entry.
  std::vector<uint8_t> damaged = Gif(2);
  damaged[13 + 6 + 23] = 'x';
  o = Open(dir, damaged, 2);
  EXPECT_EQ(o.pages, 1);
  EXPECT_EQ(o.offsets[1], damaged.size());

  // Sub-blocks that run off the end of the file stop the scan cleanly.
  std::vector<uint8_t> truncated = Gif(2);
  truncated.resize(13 + 6 + 23 + 20);
  truncated.back() = 200;  // a sub-block length pointing past the end
  o = Open(dir, truncated, 3);
  EXPECT_EQ(o.result, kOk);
  EXPECT_EQ(o.pages, 2);
  EXPECT_EQ(o.offsets[2], truncated.size());
}

TEST(Identify, DcxCountsNonZeroOffsetsWithinTheProbe) {
  TempDir dir;
  std::vector<uint8_t> b(8192, 0);
  PutLE32(b, 0, 0x3ADE68B1);
  PutLE32(b, 4, 1024);
  PutLE32(b, 8, 2048);
  Opened o = Open(dir, b);
  EXPECT_EQ(o.type, kFileDcx);
  EXPECT_EQ(o.pages, 2);
  for (size_t at = 4; at < b.size(); at += 4) PutLE32(b, at, 5000);
  o = Open(dir, b);
  EXPECT_EQ(o.pages, (4096 - 4) / 4);
}

TEST(Identify, FliSizeFieldMayBeALittleShort) {
  TempDir dir;
  std::vector<uint8_t> b(300, 0);
  PutLE32(b, 0, 300);
  PutLE16(b, 4, 0xAF12);  // FLC
  PutLE16(b, 6, 7);       // frames
  Opened o = Open(dir, b);
  EXPECT_EQ(o.type, kFileFli);
  EXPECT_EQ(o.pages, 7);
  PutLE32(b, 0, 299);
  PutLE16(b, 4, 0xAF11);  // FLI
  EXPECT_EQ(Open(dir, b).type, kFileFli);
  PutLE32(b, 0, 301);  // larger than the file: not an animation
  EXPECT_EQ(Open(dir, b).result, kErrUnknownFormat);
  PutLE32(b, 0, 100);  // below 128
  EXPECT_EQ(Open(dir, b).result, kErrUnknownFormat);
}

TEST(Identify, QuickTimeAsCurrentToolsWriteIt) {
  TempDir dir;
  // Until the container index exists, clips identify and then refuse with
  // -7; anything else is -9.
  std::vector<uint8_t> ftyp(64, 0);
  PutBE32(ftyp, 0, 20);
  PutText(ftyp, 4, "ftypqt  ");
  PutText(ftyp, 16, "qt  ");
  PutBE32(ftyp, 20, 8);
  PutText(ftyp, 24, "wide");
  PutBE32(ftyp, 28, 36);
  PutText(ftyp, 32, "moov");
  EXPECT_EQ(Open(dir, ftyp).result, kErrUnsupported);
  std::vector<uint8_t> mp4 = ftyp;
  PutText(mp4, 8, "isom");
  PutText(mp4, 16, "mp41");
  EXPECT_EQ(Open(dir, mp4).result, kErrUnknownFormat);

  std::vector<uint8_t> wide(200, 0);
  PutBE32(wide, 0, 8);
  PutText(wide, 4, "wide");
  PutBE32(wide, 8, 100);
  PutText(wide, 12, "mdat");
  PutBE32(wide, 108, 92);
  PutText(wide, 112, "moov");
  EXPECT_EQ(Open(dir, wide).result, kErrUnsupported);
  PutText(wide, 112, "xxxx");
  EXPECT_EQ(Open(dir, wide).result, kErrUnknownFormat);

  std::vector<uint8_t> classic(64, 0);
  PutBE32(classic, 0, 64);
  PutText(classic, 4, "moov");
  EXPECT_EQ(Open(dir, classic).result, kErrUnsupported);
}

TEST(Identify, HeaderSignaturesOfEveryFormat) {
  TempDir dir;
  auto blank = [] { return std::vector<uint8_t>(1200, 0x20); };

  std::vector<uint8_t> winfax10 = blank();
  winfax10[0] = 0x0B, winfax10[1] = 0x23, winfax10[2] = 0xC8;
  winfax10[101] = 2;
  PutLE32(winfax10, 116, 100);  // page 2's header at 128 + 100
  PutLE32(winfax10, 228 + 116, 100);
  Opened o = Open(dir, winfax10, 2);
  EXPECT_EQ(o.type, kFileWinFax10);
  EXPECT_EQ(o.pages, 2);
  EXPECT_EQ(o.offsets, (std::vector<uint32_t>{0, 228}));

  std::vector<uint8_t> cals = blank();
  PutText(cals, 0, "srcdocid: NONE");
  PutText(cals, 768, "rtype: 1");
  EXPECT_EQ(Open(dir, cals).type, kFileCals);
  PutText(cals, 768, "rtype: 2");
  EXPECT_EQ(Open(dir, cals).result, kErrUnsupported);

  std::vector<uint8_t> jfif = blank();
  jfif[0] = 0xFF, jfif[1] = 0xD8, jfif[2] = 0xFF;
  EXPECT_EQ(Open(dir, jfif).type, kFileJfif);

  std::vector<uint8_t> pcx = blank();
  pcx[0] = 10, pcx[1] = 5, pcx[2] = 1;
  EXPECT_EQ(Open(dir, pcx).type, kFilePcx);
  pcx[1] = 6;
  EXPECT_NE(Open(dir, pcx).type, kFilePcx);

  std::vector<uint8_t> awd = blank();
  const uint8_t compound[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::copy(compound, compound + 8, awd.begin());
  PutText(awd, 600, std::string("R\0o\0o\0t\0", 8));
  EXPECT_EQ(Open(dir, awd).type, kFileAwd);
  EXPECT_EQ(Open(dir, awd).pages, 0);  // no "AWPI": no pages
  awd[60] = 2;
  EXPECT_EQ(Open(dir, awd).type, kFilePocketPowerpoint);

  std::vector<uint8_t> pseg = blank();
  pseg[0] = 'Z', pseg[1] = 0, pseg[2] = 16;
  pseg[17] = 'Z';
  EXPECT_EQ(Open(dir, pseg).type, kFilePseg);

  std::vector<uint8_t> bitfax = blank();
  PutText(bitfax, 0, "BIT  FAX");
  bitfax[9] = 3, bitfax[10] = 1;
  // 259 pages declared; the table at 16 holds three, at increasing offsets.
  for (int k = 0; k < 3; ++k) PutLE32(bitfax, 16 + 16 * k + 8, 400 + 100 * k);
  o = Open(dir, bitfax);
  EXPECT_EQ(o.type, kFileBitFax);
  EXPECT_EQ(o.pages, 3);

  std::vector<uint8_t> winfax = blank();
  PutText(winfax, 0, "WINF");
  EXPECT_EQ(Open(dir, winfax).type, kFileWinFax);
  PutLE32(winfax, 0, 0xC064230B);
  EXPECT_EQ(Open(dir, winfax).type, kFileWinFax);

  std::vector<uint8_t> quick = blank();
  PutText(quick, 0, "QLIIFA");
  quick[8] = 4;
  quick[9] = 0;
  for (int k = 0; k < 4; ++k) PutLE32(quick, 32 + 4 * k, 400 + 100 * k);
  o = Open(dir, quick);
  EXPECT_EQ(o.type, kFileQuicklinks);
  EXPECT_EQ(o.pages, 4);

  // IOCA: structured fields chained by their lengths; two Begin Page fields.
  std::vector<uint8_t> ioca(120, 0);
  size_t at = 0;
  for (uint32_t type : {0xA8A8u, 0xA8AFu, 0xA9AFu, 0xA8AFu, 0xA9A8u}) {
    PutBE16(ioca, at, 20);
    ioca[at + 2] = 0xD3;
    PutBE16(ioca, at + 3, type);
    at += 20;
  }
  o = Open(dir, ioca, 2);
  EXPECT_EQ(o.type, kFileIoca);
  EXPECT_EQ(o.pages, 2);
  EXPECT_EQ(o.offsets, (std::vector<uint32_t>{20, 60}));
  PutBE16(ioca, 40, 0);  // a zero length ends the walk instead of looping
  o = Open(dir, ioca, 1);
  EXPECT_EQ(o.pages, 1);

  std::vector<uint8_t> pdf = blank();
  PutText(pdf, 0, "%PDF-1.4");
  o = Open(dir, pdf);
  EXPECT_EQ(o.type, kFilePdf);
  EXPECT_EQ(o.pages, 0);  // no cross-reference table

  std::vector<uint8_t> avi = blank();
  PutText(avi, 0, "RIFF");
  PutText(avi, 8, "AVI LIST");
  EXPECT_EQ(Open(dir, avi).result, kErrUnsupported);

  std::vector<uint8_t> tga(100, 0);
  tga[2] = 2;
  EXPECT_EQ(Open(dir, tga).type, kFileTarga);
  tga[2] = 4;
  EXPECT_EQ(Open(dir, tga).result, kErrUnknownFormat);
}

TEST(Identify, AwdPagesFollowTheMarker) {
  TempDir dir;
  std::vector<uint8_t> b(3000, 0);
  const uint8_t compound[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::copy(compound, compound + 8, b.begin());
  PutText(b, 600, std::string("R\0o\0o\0t\0", 8));
  PutText(b, 1000, "AWPI");
  size_t at = 1034;  // the first page starts 34 bytes after the marker
  auto band = [&](uint32_t payload) {
    PutLE16(b, at, payload + 12);
    PutLE32(b, at + 6, 0x000A0008);
    PutLE16(b, at + 10, 4);  // band height
    at += payload + 14;
  };
  band(20);
  band(30);
  PutLE16(b, at, 6);  // page separator
  at += 8;
  size_t second = at;
  band(10);
  PutLE16(b, at, 6);
  PutLE32(b, at + 6, 0x000A0008);  // end of document
  Opened o = Open(dir, b, 2);
  EXPECT_EQ(o.type, kFileAwd);
  EXPECT_EQ(o.pages, 2);
  EXPECT_EQ(o.offsets, (std::vector<uint32_t>{1034, static_cast<uint32_t>(second)}));
}

TEST(Identify, TruncatedAndGarbageHeadersEndCleanly) {
  TempDir dir;
  // Every format's header cut at several lengths, and random bytes: opening
  // gives 0 or an error, never a read outside the file (checked by the
  // sanitizer build).
  std::vector<std::vector<uint8_t>> headers = {Gif(3), Bmp(40)};
  headers.push_back(testutil::BuildTiff(
      {testutil::BilevelDirectory(8, 8, 4, std::vector<uint8_t>(20, 0)),
       testutil::BilevelDirectory(9, 9, 4, std::vector<uint8_t>(20, 0))},
      true));
  for (const auto& h : headers)
    for (size_t cut : {size_t{50}, h.size() / 2, h.size() - 1}) {
      std::vector<uint8_t> t(h.begin(), h.begin() + static_cast<long>(std::min(cut, h.size())));
      if (t.size() < 50) t.resize(50, 0);
      Opened o = Open(dir, t);
      EXPECT_LE(o.result, 0);
    }
  std::mt19937 rng(20261206);
  int unknown = 0;
  for (int i = 0; i < 200; ++i) {
    std::vector<uint8_t> r(64 + rng() % 5000);
    for (uint8_t& c : r) c = static_cast<uint8_t>(rng());
    Opened o = Open(dir, r);
    EXPECT_LE(o.result, 0);
    if (o.result == kErrUnknownFormat) ++unknown;
  }
  EXPECT_GE(unknown, 195);  // random bytes identify as nothing
}

TEST(Identify, SamplesNameTheirTypeAndPageCount) {
  struct Expected {
    const char* name;
    int type;
    int pages;
  };
  const Expected samples[] = {
      {"letter-g4.tif", kFileTiff, 1},       {"memo-g3-2page.tif", kFileTiff, 2},
      {"invoice-g3-2d.tif", kFileTiff, 1},   {"scan-lzw.tif", kFileTiff, 1},
      {"photo-rgb.tif", kFileTiff, 1},       {"chart-packbits.tif", kFileTiff, 1},
      {"photo-jpeg.tif", kFileTiff, 1},      {"pages-bigendian.tif", kFileTiff, 3},
      {"photo24.bmp", kFileWindowsBmp, 1},   {"chart4.bmp", kFileWindowsBmp, 1},
      {"chart-rle8.bmp", kFileWindowsBmp, 1}, {"note1.bmp", kFileWindowsBmp, 1},
      {"os2-photo.bmp", kFileOs2Bmp, 1},     {"photo24.pcx", kFilePcx, 1},
      {"chart8.pcx", kFilePcx, 1},           {"pages.dcx", kFileDcx, 3},
      {"photo.tga", kFileTarga, 1},          {"photo-rle.tga", kFileTarga, 1},
      {"drawing.cal", kFileCals, 1},         {"chart.gif", kFileGif, 1},
      {"photo-interlaced.gif", kFileGif, 1}, {"spinner.gif", kFileGif, 4},
      {"photo.jpg", kFileJfif, 1},           {"photo-progressive.jpg", kFileJfif, 1},
      {"camera-exif.jpg", kFileJfif, 1},
  };
  for (const Expected& e : samples) {
    OpenedFile f(testutil::SamplePath(e.name));
    ASSERT_EQ(f.result, kOk) << e.name;
    EXPECT_EQ(f.file.fileType, e.type) << e.name;
    EXPECT_EQ(f.file.pageCount, e.pages) << e.name;
    EXPECT_EQ(f.file.accessMode, kAccessMapped) << e.name;
  }
}
