// Identification and opening: the header tests, their order, the page walks
// and what they do with damaged files.
#include "support/suite.h"

namespace {

struct Opened {
  int32_t result;
  int type;
  int pages;
  std::vector<uint32_t> offsets;  // pageOffsets, when the format has them
};

Opened Open(const Bytes& bytes, int offsetsToCopy = 0) {
  OpenedFile f(bytes);
  Opened o{f.result, f->fileType, f->pageCount, {}};
  if (f.result == kOk && f->pageOffsets) o.offsets.assign(f->pageOffsets, f->pageOffsets + offsetsToCopy);
  return o;
}

Bytes Bmp(uint32_t infoSize) {
  Bytes b(80, 0);
  PutText(b, 0, "BM");
  PutLE32(b, 2, 80);
  PutLE32(b, 14, infoSize);
  return b;
}

// A GIF of `frames` 2 x 2 images, each with a graphic-control extension.
Bytes Gif(int frames) {
  Bytes b;
  PutText(b, 0, "GIF89a");
  b.insert(b.end(), {2, 0, 2, 0, 0x80, 0, 0, 0, 40, 80, 120, 160, 200});  // two colours
  for (int f = 0; f < frames; ++f)
    b.insert(b.end(), {0x21, 0xF9, 4, 0, 10, 0, 0, 0, ',', 0, 0, 0, 0, 2, 0, 2, 0, 0, 2, 2, 0x4C, 0x01, 0});
  b.push_back(';');
  b.resize(std::max<size_t>(b.size(), 60), 0);  // identification wants 50 bytes
  return b;
}

Bytes Blank(std::initializer_list<std::pair<size_t, std::string>> texts, size_t size = 1200, uint8_t fill = 0x20) {
  Bytes b(size, fill);
  for (const auto& [at, text] : texts) PutText(b, at, text);
  return b;
}

}  // namespace

TEST(Identify, ShortFilesAreRejectedWhateverTheirContent) {
  Bytes tiff = BuildTiff({BilevelDirectory(8, 8, 1, Bytes(8, 0xFF))});
  tiff.resize(49);
  EXPECT_EQ(Open(tiff).result, kErrUnknownFormat);
  EXPECT_EQ(Open({}).result, kErrUnknownFormat);
  TempDir dir;
  EXPECT_EQ(OpenedFile(dir.Path("no-such-file.tif")).result, kErrIo);
}

TEST(Identify, BmpInfoHeaderSizes) {
  EXPECT_EQ(Open(Bmp(40)).type, kFileWindowsBmp);
  for (uint32_t os2 : {12, 108, 124}) EXPECT_EQ(Open(Bmp(os2)).type, kFileOs2Bmp) << os2;
  for (uint32_t bad : {0, 16}) EXPECT_EQ(Open(Bmp(bad)).result, kErrUnknownFormat) << bad;
}

// The directory walks of multi-page files in both byte orders: the samples.
TEST(Identify, TiffDirectoriesOfTooFewEntriesFailToOpen) {
  TiffDirectory small;
  small.fields = {{kTagImageWidth, kTiffLong, {8}, {}}, {kTagImageLength, kTiffLong, {8}, {}}, {kTagBitsPerSample, kTiffShort, {1}, {}}, {kTagCompression, kTiffShort, {1}, {}}};
  Bytes bytes = BuildTiff({BilevelDirectory(8, 8, 1, Bytes(8, 0)), small});
  bytes.resize((bytes.size() + 3) / 4 * 4 + 64, 0);  // room for a full 60-byte read
  EXPECT_EQ(Open(bytes).result, kErrBadHeader);
}

TEST(Identify, TiffChainsThatLoopOrLeaveTheFileEnd) {
  Bytes bytes = BuildTiff({BilevelDirectory(8, 8, 1, Bytes(8, 0))});
  const uint32_t first = bytes[4] | (bytes[5] << 8);
  const size_t next = first + 2 + 12 * (bytes[first] | (bytes[first + 1] << 8));
  // Next directory = the first one again, or beyond the end: one page.
  for (uint32_t link : {first, 0x7FFFFFF0u}) {
    PutLE32(bytes, next, link);
    Opened o = Open(bytes);
    EXPECT_EQ(o.result, kOk);
    EXPECT_EQ(o.pages, 1);
  }
  // First directory beyond the end: no pages, no read outside the file.
  PutLE32(bytes, 4, static_cast<uint32_t>(bytes.size() + 100));
  Opened o = Open(bytes);
  EXPECT_EQ(o.result, kOk);
  EXPECT_EQ(o.pages, 0);
}

TEST(Identify, GifFrameScanStopsAtTheFirstThingThatIsNoFrame) {
  const uint32_t frame1 = 13 + 6 + 23;  // after frame 0's data sub-blocks
  Bytes one = Gif(1), three = Gif(3);
  Opened o = Open(one, 2);
  ASSERT_EQ(o.result, kOk);
  EXPECT_EQ(o.type, kFileGif);
  EXPECT_EQ(o.offsets, (std::vector<uint32_t>{0, static_cast<uint32_t>(one.size())}));
  o = Open(three, 4);
  EXPECT_EQ(o.pages, 3);
  EXPECT_EQ(o.offsets[1], frame1);
  EXPECT_EQ(o.offsets[3], three.size());
  // A stray byte where frame 1 should start: one frame, the file's end as
  // its end entry.
  Bytes damaged = Gif(2);
  damaged[frame1] = 'x';
  o = Open(damaged, 2);
  EXPECT_EQ(o.pages, 1);
  EXPECT_EQ(o.offsets[1], damaged.size());
  // Sub-blocks that run off the end of the file stop the scan cleanly.
  Bytes truncated = Gif(2);
  truncated.resize(frame1 + 20);
  truncated.back() = 200;
  o = Open(truncated, 3);
  EXPECT_EQ(o.pages, 2);
  EXPECT_EQ(o.offsets[2], truncated.size());
}

TEST(Identify, DcxCountsNonZeroOffsetsWithinTheProbe) {
  Bytes b(8192, 0);
  PutLE32(b, 0, 0x3ADE68B1);
  PutLE32(b, 4, 1024);
  PutLE32(b, 8, 2048);
  Opened o = Open(b);
  EXPECT_EQ(o.type, kFileDcx);
  EXPECT_EQ(o.pages, 2);
  for (size_t at = 4; at < b.size(); at += 4) PutLE32(b, at, 5000);
  EXPECT_EQ(Open(b).pages, (4096 - 4) / 4);
}

TEST(Identify, FliSizeFieldMayBeALittleShort) {
  Bytes b(300, 0);
  PutLE16(b, 4, 0xAF12);  // FLC
  PutLE16(b, 6, 7);       // frames
  // {size field, magic, identified}: at most the file size, at least 128.
  const uint32_t cases[][3] = {{300, 0xAF12, 1}, {299, 0xAF11, 1}, {301, 0xAF11, 0}, {100, 0xAF11, 0}};
  for (const auto& c : cases) {
    PutLE32(b, 0, c[0]);
    PutLE16(b, 4, c[1]);
    Opened o = Open(b);
    EXPECT_EQ(o.result, c[2] ? kOk : kErrUnknownFormat) << c[0];
    if (c[2]) {
      EXPECT_EQ(o.type, kFileFli);
      EXPECT_EQ(o.pages, 7);
    }
  }
}

TEST(Identify, HeaderSignaturesOfEveryFormat) {
  const std::string compound("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8), root("R\0o\0o\0t\0", 8);
  Bytes pseg = Blank({});
  pseg[0] = 'Z', pseg[1] = 0, pseg[2] = 16, pseg[17] = 'Z';
  Bytes tga(100, 0);
  tga[2] = 2;
  Bytes tgaBad = tga;
  tgaBad[2] = 4;
  // Page counts end where the tables stop holding pages at increasing offsets:
  // BitFAX declares 259 with three in its table at 16, Quicklinks four at 32.
  Bytes bitfax = Blank({{0, "BIT  FAX"}, {9, "\x03\x01"}}), quick = Blank({{0, "QLIIFA"}, {8, std::string("\x04\x00", 2)}});
  for (uint32_t k = 0; k < 4; ++k) {
    if (k < 3) PutLE32(bitfax, 16 + 16 * k + 8, 400 + 100 * k);
    PutLE32(quick, 32 + 4 * k, 400 + 100 * k);
  }
  struct Case {
    const char* what;
    Bytes bytes;
    int type;  // or the error when negative
    int pages;  // -1: not checked
  };
  const Case cases[] = {
      {"CALS", Blank({{0, "srcdocid: NONE"}, {768, "rtype: 1"}}), kFileCals, -1},
      {"CALS type 2", Blank({{0, "srcdocid: NONE"}, {768, "rtype: 2"}}), kErrUnsupported,-1},
      {"JFIF", Blank({{0, "\xFF\xD8\xFF"}}), kFileJfif, -1},
      {"PCX", Blank({{0, "\x0A\x05\x01"}}), kFilePcx, -1},
      {"AWD without AWPI", Blank({{0, compound}, {600, root}}), kFileAwd, 0},
      {"Pocket PowerPoint", Blank({{0, compound}, {600, root}, {60, "\x02"}}), kFilePocketPowerpoint, -1},
      {"PSEG", pseg, kFilePseg, -1},
      {"BitFAX", bitfax, kFileBitFax, 3},
      {"WinFAX", Blank({{0, "WINF"}}), kFileWinFax, -1},
      {"WinFAX by number", Blank({{0, "\x0B\x23\x64\xC0"}}), kFileWinFax, -1},
      {"Quicklinks II", quick, kFileQuicklinks, 4},
      {"PDF without a table", Blank({{0, "%PDF-1.4"}}), kFilePdf, 0},
      {"AVI without streams", Blank({{0, "RIFF"}, {8, "AVI LIST"}}), kErrUnsupported,-1},
      {"Targa", tga, kFileTarga, -1},
      {"Targa type 4", tgaBad, kErrUnknownFormat,-1},
  };
  for (const Case& c : cases) {
    Opened o = Open(c.bytes);
    EXPECT_EQ(c.type < 0 ? o.result : o.type, c.type) << c.what;
    if (c.pages >= 0) {
      EXPECT_EQ(o.pages, c.pages) << c.what;
    }
  }
  EXPECT_NE(Open(Blank({{0, "\x0A\x06\x01"}})).type, kFilePcx) << "PCX version 6";
}

// The page walks of WinFAX 10, IOCA and AWD files: the readers' tests, on
// files of several pages.
TEST(Identify, AnIocaFieldOfLengthZeroEndsTheWalk) {
  // Structured fields chained by their lengths; two Begin Page fields.
  Bytes ioca(120, 0);
  size_t at = 0;
  for (uint32_t type : {0xA8A8u, 0xA8AFu, 0xA9AFu, 0xA8AFu, 0xA9A8u}) {
    PutBE16(ioca, at, 20);
    ioca[at + 2] = 0xD3;
    PutBE16(ioca, at + 3, type);
    at += 20;
  }
  EXPECT_EQ(Open(ioca, 2).offsets, (std::vector<uint32_t>{20, 60}));
  PutBE16(ioca, 40, 0);  // instead of looping
  EXPECT_EQ(Open(ioca).pages, 1);
}

TEST(Identify, RandomBytesIdentifyAsNothing) {
  std::mt19937 rng(20261206);
  int unknown = 0;
  for (int i = 0; i < 200; ++i) {
    Bytes r(64 + rng() % 5000);
    for (uint8_t& c : r) c = static_cast<uint8_t>(rng());
    const int32_t result = Open(r).result;
    EXPECT_LE(result, 0);
    unknown += result == kErrUnknownFormat;
  }
  EXPECT_GE(unknown, 195);
}
