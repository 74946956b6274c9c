// Headerless G3 fax files (WinFAX, BitFAX, Quicklinks II): built here from
// G3 lines, read back line for line, and damaged before and after the
// first hundred lines.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/core/core.h"
#include "imaging/core/runlist.h"
#include "support/test_util.h"

using namespace quillon;
using testutil::OpenedFile;
using testutil::Page;
using testutil::PutLE16;
using testutil::PutLE32;
using testutil::PutText;
using testutil::TempDir;

namespace {

// Writes bit strings MSB first.
struct Bits {
  std::vector<uint8_t> bytes;
  size_t count = 0;
  void Put(const char* code) {
    for (const char* c = code; *c; ++c) {
      if (count % 8 == 0) bytes.push_back(0);
      if (*c == '1') bytes.back() |= static_cast<uint8_t>(0x80 >> (count % 8));
      ++count;
    }
  }
};

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
std::vector<uint8_t> CodedPage(Page& runs, int lines, uint32_t seed) {
  Page packed;
  packed->width = 1728;
  packed->height = lines;
  packed->bitsPerPixel = 1;
  packed->bytesPerLine = BytesPerLine(1728, 1);
  packed->dataSize = packed->bytesPerLine * static_cast<uint32_t>(lines);
  packed->data = static_cast<uint8_t*>(Allocate(packed->dataSize));
  packed->dataOwnership = kOwnedByPage;
  packed->layoutFlags = kLayoutTopDown;
  std::mt19937 rng(seed);
  for (uint32_t i = 0; i < packed->dataSize; ++i)
    packed->data[i] = (rng() % 7 == 0) ? static_cast<uint8_t>(rng()) : 0xFF;
  runs->compression = kRunLists;
  EXPECT_EQ(ConvertPage(packed.get(), runs.get(), 0), kOk);
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
  TempDir dir;
  Page source;
  std::vector<uint8_t> data = CodedPage(source, 40, 7);
  Page second;
  std::vector<uint8_t> data2 = CodedPage(second, 12, 8);

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
    OpenedFile opened(dir.Write(f.name, f.bytes));
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
  TempDir dir;
  for (int damagedLine : {50, 150}) {
    Bits g3;
    for (int y = 0; y < 200; ++y) {
      g3.Put(kEol);
      g3.Put(y == damagedLine ? kInvalid : kWhiteLine);
    }
    OpenedFile f(dir.Write("d.fax", WinFax(Reversed(g3.bytes))));
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
  TempDir dir;
  Bits g3;
  g3.Put("1011001110");  // garbage before the first EOL
  for (int y = 0; y < 3; ++y) {
    g3.Put(kEol);
    g3.Put(kWhiteLine);
  }
  g3.Put(kEol);
  g3.Put("0111");  // white 2, then the next EOL cuts the line short
  g3.Put(kEol);
  g3.Put(kWhiteLine);
  OpenedFile f(dir.Write("s.fax", WinFax(Reversed(g3.bytes))));
  Page page;
  ASSERT_EQ(ExtractPage(&f.file, page.get(), 0), kOk);
  ASSERT_EQ(page->height, 6);
  for (int y = 0; y < page->height; ++y) EXPECT_EQ(Line(page.record, y), (std::vector<uint8_t>{0x86, 0xC0})) << y;

  // Truncated anywhere: a page or an error, never a read outside the file.
  std::vector<uint8_t> whole = WinFax(Reversed(g3.bytes));
  for (size_t cut = 60; cut < whole.size(); ++cut) {
    OpenedFile t(dir.Write("t.fax", std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(cut))));
    if (t.result != kOk) continue;
    Page p;
    EXPECT_LE(ExtractPage(&t.file, p.get(), 0), 0);
  }
}
