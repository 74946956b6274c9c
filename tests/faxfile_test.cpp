// Headerless G3 fax files (WinFAX, BitFAX, Quicklinks II): built here from
// G3 lines, read back line for line, and damaged before and after the
// first hundred lines.
#include "support/suite.h"

namespace {

constexpr const char* kEol = "000000000001";
constexpr const char* kWhiteLine = "010011011" "00110101";  // 1728 + 0
constexpr const char* kInvalid = "000000001000";             // no code starts so

std::vector<uint8_t> Reversed(const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> out(bytes.size());
  ReverseBits(bytes.data(), out.data(), static_cast<uint32_t>(bytes.size()));
  return out;
}

std::vector<uint8_t> WinFax(const std::vector<uint8_t>& lsbFirst, int fill = 0) {
  std::vector<uint8_t> f(126, 0);
  PutText(f, 0, "WINF");
  if (fill) f.push_back(0xFF), f.insert(f.end(), fill - 1, 0xFF);
  f.insert(f.end(), lsbFirst.begin(), lsbFirst.end());
  return f;
}

// A page of G3 1-D data (bit order as in the files, least significant bit
// first) from the library's encoder, and the runs it stands for.
std::vector<uint8_t> G3Page(Page& runs, int lines, uint32_t seed) {
  testpix::MakeRunListPage(testpix::Drawing(1728, lines, seed), runs.get());
  Page g3;
  g3->compression = kG3OneD;
  EXPECT_EQ(ConvertPage(runs.get(), g3.get(), 0), kOk);
  return Reversed(std::vector<uint8_t>(g3->data, g3->data + g3->dataSize));
}

std::vector<uint8_t> Line(const PageRecord& page, int y) {
  const uint8_t* l = LinePointers(page)[y];
  return std::vector<uint8_t>(l, l + RunLineLength(l));
}

}  // namespace

TEST(FaxFiles, EveryContainerReadsItsLines) {
  Page source;
  std::vector<uint8_t> data = G3Page(source, 40, 7);
  Page second;
  std::vector<uint8_t> data2 = G3Page(second, 12, 8);

  std::vector<uint8_t> bitfax(64, 0);
  PutText(bitfax, 0, "BIT  FAX");
  PutLE16(bitfax, 9, 2);
  PutLE32(bitfax, 16 + 4, static_cast<uint32_t>(data.size()));
  PutLE32(bitfax, 16 + 8, 64);
  PutLE32(bitfax, 32 + 4, static_cast<uint32_t>(data2.size()));
  PutLE32(bitfax, 32 + 8, static_cast<uint32_t>(64 + data.size()));
  bitfax.insert(bitfax.end(), data.begin(), data.end());
  bitfax.insert(bitfax.end(), data2.begin(), data2.end());

  std::vector<uint8_t> quick(64, 0);
  PutText(quick, 0, "QLIIFA");
  PutLE16(quick, 8, 2);
  PutLE32(quick, 32, 64);
  PutLE32(quick, 36, static_cast<uint32_t>(64 + data.size()));
  quick.insert(quick.end(), data.begin(), data.end());
  quick.insert(quick.end(), data2.begin(), data2.end());

  struct File {
    std::string name;
    std::vector<uint8_t> bytes;
    int type, pages;
  };
  const File files[] = {{"w.fxs", WinFax(data), kFileWinFax, 1},
                        {"w.fxr", WinFax(data, 30), kFileWinFax, 1},
                        {"b.fax", bitfax, kFileBitFax, 2},
                        {"q.fax", quick, kFileQuicklinks, 2}};
  for (const File& f : files) {
    SCOPED_TRACE(f.name);
    OpenedFile opened(f.bytes);
    ASSERT_EQ(opened.result, kOk);
    EXPECT_EQ(opened.file.fileType, f.type);
    ASSERT_EQ(opened.file.pageCount, f.pages);
    for (int p = 0; p < f.pages; ++p) {
      Page page;
      ASSERT_EQ(ExtractPage(&opened.file, page.get(), p), kOk);
      const PageRecord& expect = p == 0 ? source.record : second.record;
      EXPECT_EQ(page->compression, kRunLists);
      EXPECT_EQ(page->width, 1728);
      EXPECT_EQ(page->xResolution, 204);
      // The lines, then white ones: the end-of-page codes read as empty
      // lines, and one white line closes the page.
      ASSERT_GE(page->height, expect.height + 1);
      for (int y = 0; y < expect.height; ++y) ASSERT_EQ(Line(page.record, y), Line(expect, y)) << y;
      for (int y = expect.height; y < page->height; ++y)
        EXPECT_EQ(Line(page.record, y), (std::vector<uint8_t>{0x86, 0xC0}));
    }
  }
}

TEST(FaxFiles, DamageBeforeAndAfterTheFirstHundredLines) {
  for (int damagedLine : {50, 150}) {
    BitString g3;
    for (int y = 0; y < 200; ++y) g3.Add(kEol).Add(y == damagedLine ? kInvalid : kWhiteLine);
    OpenedFile f(WinFax(Reversed(g3.bytes)));
    ASSERT_EQ(f.result, kOk);
    Page page;
    int32_t r = ExtractPage(&f.file, page.get(), 0);
    if (damagedLine < 100) {
      EXPECT_EQ(r, kErrDecompress);
    } else {
      ASSERT_EQ(r, kOk);
      EXPECT_EQ(page->height, damagedLine + 1);  // the good lines and the closing one
    }
  }
}

TEST(FaxFiles, ShortLinesEndedByEolAndGarbage) {
  BitString g3;
  g3.Add("1011001110");  // garbage before the first EOL
  for (int y = 0; y < 3; ++y) g3.Add(kEol).Add(kWhiteLine);
  g3.Add(kEol).Add("0111");  // white 2, then the next EOL cuts the line short
  g3.Add(kEol).Add(kWhiteLine);
  OpenedFile f(WinFax(Reversed(g3.bytes)));
  Page page;
  ASSERT_EQ(f.Extract(page.get()), kOk);
  ASSERT_EQ(page->height, 6);
  for (int y = 0; y < page->height; ++y) EXPECT_EQ(Line(page.record, y), (std::vector<uint8_t>{0x86, 0xC0})) << y;
}
