// Fax decoding of hand-made code sequences: the cases at the edges of the
// codings (EOL handling, page ends, uncompressed mode, repairs, limits).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/codecs/fax_tables.h"
#include "imaging/core/runlist.h"
#include "support/builders.h"
#include "support/files.h"
#include "support/pixel_pages.h"

using namespace quillon;
using testutil::BitString;
using Runs = std::vector<uint32_t>;

namespace {

std::string Bits(const FaxCodeRow& row) {
  std::string s;
  for (int i = row.length - 1; i >= 0; --i) s += (row.bits >> i) & 1 ? '1' : '0';
  return s;
}
// Terminating codes (0..63) and make-up codes (multiples of 64 up to 1728).
std::string W(int run) { return Bits(kWhiteCodes[run < 64 ? run : 63 + run / 64]); }
std::string B(int run) { return Bits(kBlackCodes[run < 64 ? run : 63 + run / 64]); }

const std::string kEol = "000000000001";
const std::string kH = "001", kP = "0001", kV0 = "1";
const std::string kVL1 = "010", kVL3 = "0000010", kVR1 = "011";

PageRecord Coded(const BitString& bits, int code, int32_t width, int32_t height) {
  return testutil::CodedPage(bits.bytes, code, width, height);
}

struct Decoded {
  int32_t result;
  std::vector<Runs> lines;
};

Decoded Decode(const BitString& bits, int code, int32_t width, int32_t height, int32_t flags = 0) {
  PageRecord page = Coded(bits, code, width, height);
  testutil::Page out;
  Decoded d{testutil::Decode(&page, out, flags), {}};
  if (d.result == kOk) d.lines = testpix::RunLengths(out.record);
  else EXPECT_EQ(out->data, nullptr);
  return d;
}

Runs White(uint32_t width) { return Runs{width}; }

}  // namespace

// ---------------------------------------------------------------------------
// G3 1-D and Modified Huffman

TEST(FaxEdge, G3OneDSkipsGarbageAndFillBeforeEol) {
  BitString b;
  b.Add("1011 0110 111").Add("0000000").Add(kEol).Add(W(5) + B(3) + W(12));
  b.Add("00000").Add(kEol).Add(W(20));
  Decoded d = Decode(b, kG3OneD, 20, 2);
  ASSERT_EQ(d.result, kOk);
  EXPECT_EQ(d.lines[0], (Runs{5, 3, 12}));
  EXPECT_EQ(d.lines[1], White(20));
}

TEST(FaxEdge, G3OneDLineEndedByEolIsPaddedWithWhiteAndTheEolStartsTheNextLine) {
  BitString b;
  b.Add(kEol).Add(W(5) + B(3)).Add(kEol).Add(W(0) + B(20));
  Decoded d = Decode(b, kG3OneD, 20, 2);
  ASSERT_EQ(d.result, kOk);
  EXPECT_EQ(d.lines[0], (Runs{5, 3, 12}));
  EXPECT_EQ(d.lines[1], (Runs{0, 20}));  // a line starting black
}

TEST(FaxEdge, MakeupAndTerminatingZeroMakeOneTwoByteRun) {
  BitString b;
  b.Add(kEol).Add(W(1728) + W(0));
  PageRecord page = Coded(b, kG3OneD, 1728, 1);
  testutil::Page out;
  ASSERT_EQ(testutil::Decode(&page, out), kOk);
  const uint8_t* line = LinePointers(out.record)[0];
  EXPECT_EQ(std::vector<uint8_t>(line, line + 5), (std::vector<uint8_t>{0x86, 0xC0, 0, 0, 0}));
}

TEST(FaxEdge, ModifiedHuffmanLinesStartOnTheNextByte) {
  BitString b;
  b.Add(W(3) + B(7)).Add("1111111").AlignToByte();  // padding bits that would decode
  b.Add(W(0) + B(2) + W(8)).AlignToByte();
  Decoded d = Decode(b, kModifiedHuffman, 10, 2);
  ASSERT_EQ(d.result, kOk);
  EXPECT_EQ(d.lines[0], (Runs{3, 7}));
  EXPECT_EQ(d.lines[1], (Runs{0, 2, 8}));
}

TEST(FaxEdge, OneDimensionalDataEndingEarlyLeavesBlankLines) {
  BitString mh, g3;
  for (int i = 0; i < 3; ++i) {
    mh.Add(W(2) + B(6) + W(2)).AlignToByte();
    g3.Add(kEol).Add(W(2) + B(6) + W(2));
  }
  for (auto [bits, code] : {std::pair{mh, kModifiedHuffman}, std::pair{g3, kG3OneD}}) {
    Decoded d = Decode(bits, code, 10, 6);
    ASSERT_EQ(d.result, kOk) << code;
    for (int y = 0; y < 6; ++y)
      EXPECT_EQ(d.lines[y], y < 3 ? (Runs{2, 6, 2}) : White(10)) << code << " line " << y;
  }
}

TEST(FaxEdge, InvalidCodesAreDamage) {
  // Ten zeros and a one start no code.
  BitString mh;
  mh.Add(W(2) + B(8)).AlignToByte().Add(W(2)).Add("00000000001").Add("0000");
  EXPECT_EQ(Decode(mh, kModifiedHuffman, 10, 2).result, kErrDecompress);
  Decoded partial = Decode(mh, kModifiedHuffman, 10, 2, kFlagKeepPartial);
  ASSERT_EQ(partial.result, kOk);
  EXPECT_EQ(partial.lines[0], (Runs{2, 8}));
  EXPECT_EQ(partial.lines[1], White(10));

  // G3 1-D keeps the runs of the failing line that came before the fault.
  BitString g3;
  g3.Add(kEol).Add(W(2) + B(8)).Add(kEol).Add(W(3) + B(4)).Add("00000000001").Add(kEol);
  EXPECT_EQ(Decode(g3, kG3OneD, 10, 3).result, kErrDecompress);
  Decoded kept = Decode(g3, kG3OneD, 10, 3, kFlagKeepPartial);
  ASSERT_EQ(kept.result, kOk);
  EXPECT_EQ(kept.lines[0], (Runs{2, 8}));
  EXPECT_EQ(kept.lines[1], (Runs{3, 4, 3}));
  EXPECT_EQ(kept.lines[2], White(10));
}

TEST(FaxEdge, G3OneDWithoutAnyEolIsABlankPage) {
  BitString b;
  b.Add(W(2) + B(8) + W(10) + "1011 0111 0101");
  Decoded d = Decode(b, kG3OneD, 10, 2);
  ASSERT_EQ(d.result, kOk);
  EXPECT_EQ(d.lines[0], White(10));
  EXPECT_EQ(d.lines[1], White(10));
}

TEST(FaxEdge, RunsPastTheWidthAreCut) {
  BitString g3;
  g3.Add(kEol).Add(W(4) + B(20)).Add(kEol).Add(W(30));
  Decoded d = Decode(g3, kG3OneD, 10, 2);
  ASSERT_EQ(d.result, kOk);
  EXPECT_EQ(d.lines[0], (Runs{4, 6}));
  EXPECT_EQ(d.lines[1], White(10));
}

TEST(FaxEdge, ZeroLengthRunsInsideALineJoinTheirNeighbours) {
  // White 2, black 3, white 0, black 1, white 4: the black runs join.
  BitString mh;
  mh.Add(W(2) + B(3) + W(0) + B(1) + W(4)).AlignToByte();
  Decoded d = Decode(mh, kModifiedHuffman, 10, 1);
  ASSERT_EQ(d.result, kOk);
  EXPECT_EQ(d.lines[0], (Runs{2, 4, 4}));
}

// ---------------------------------------------------------------------------
// G3 2-D and G4

TEST(FaxEdge, G3TwoDMustStartWithEol) {
  BitString bad;
  bad.Add(W(3)).Add(kEol).Add("1").Add(W(10));
  EXPECT_EQ(Decode(bad, kG3TwoD, 10, 1).result, kErrDecompress);
  // Fill bits before the EOL are fine.
  BitString good;
  good.Add("0000000").Add(kEol).Add("1").Add(W(10));
  Decoded d = Decode(good, kG3TwoD, 10, 1);
  ASSERT_EQ(d.result, kOk);
  EXPECT_EQ(d.lines[0], White(10));
}

TEST(FaxEdge, G3TwoDMixesOneAndTwoDimensionalLines) {
  BitString b;
  b.Add(kEol).Add("1").Add(W(2) + B(5) + W(3));  // 1-D: elements 2, 7, 10
  b.Add(kEol).Add("0").Add(kVR1 + kVL1 + kV0);   // 2-D: 3, 6, then 10
  b.Add(kEol).Add("0").Add(kP + kH + W(1) + B(2) + kV0);
  Decoded d = Decode(b, kG3TwoD, 10, 3);
  ASSERT_EQ(d.result, kOk);
  EXPECT_EQ(d.lines[0], (Runs{2, 5, 3}));
  EXPECT_EQ(d.lines[1], (Runs{3, 3, 4}));
  // Pass: a0 moves below b2 = 6 (white); horizontal: white 1, black 2.
  EXPECT_EQ(d.lines[2], (Runs{7, 2, 1}));
}

TEST(FaxEdge, G4PageEndsWithOrWithoutEofb) {
  BitString lines;
  lines.Add(kH + W(3) + B(4) + kV0).Add(kV0 + kV0 + kV0);
  // With EOFB.
  BitString eofb = lines;
  eofb.Add(kEol).Add(kEol);
  Decoded d = Decode(eofb, kG4, 10, 2);
  ASSERT_EQ(d.result, kOk);
  EXPECT_EQ(d.lines[0], (Runs{3, 4, 3}));
  EXPECT_EQ(d.lines[1], (Runs{3, 4, 3}));
  // Ending exactly with the last line: complete, not damaged.
  Decoded exact = Decode(lines, kG4, 10, 2);
  ASSERT_EQ(exact.result, kOk);
  EXPECT_EQ(exact.lines, d.lines);
  // EOFB before the last line ends the page early, successfully.
  BitString early;
  early.Add(kH + W(3) + B(4) + kV0).Add(kEol).Add(kEol);
  Decoded shortPage = Decode(early, kG4, 10, 3);
  ASSERT_EQ(shortPage.result, kOk);
  EXPECT_EQ(shortPage.lines[1], White(10));
  EXPECT_EQ(shortPage.lines[2], White(10));
}

TEST(FaxEdge, LongRunsOfVerticalZeroCodes) {
  // 200 blank lines are 200 one bits; then lines that copy a line of many
  // changes, again one V0 bit per change.
  BitString b;
  for (int i = 0; i < 200; ++i) b.Add(kV0);
  for (int x = 0; x < 40; ++x) b.Add(kH + W(x == 0 ? 0 : 1) + B(1));
  b.Add(kV0);  // the rest of the line, white
  for (int line = 0; line < 3; ++line)
    for (int i = 0; i < 81; ++i) b.Add(kV0);
  b.Add(kEol).Add(kEol);
  Decoded d = Decode(b, kG4, 100, 204);
  ASSERT_EQ(d.result, kOk);
  for (int y = 0; y < 200; ++y) ASSERT_EQ(d.lines[y], White(100)) << y;
  Runs comb{0};
  for (int x = 0; x < 40; ++x) {
    if (x > 0) comb.push_back(1);
    comb.push_back(1);
  }
  comb.push_back(100 - 79);
  for (int y = 200; y < 204; ++y) EXPECT_EQ(d.lines[y], comb) << y;
}

TEST(FaxEdge, OutputGrowsBeyondItsFirstGuess) {
  // One line of single pixels, then 300 copies of it at one bit per run:
  // the run lists take eight times the coded bytes.
  BitString b;
  for (int i = 0; i < 1000; ++i) b.Add(kH + W(1) + B(1));
  for (int line = 0; line < 300; ++line)
    for (int i = 0; i < 2000; ++i) b.Add(kV0);
  b.Add(kEol).Add(kEol);
  Runs comb;
  for (int i = 0; i < 2000; ++i) comb.push_back(1);
  Decoded d = Decode(b, kG4, 2000, 301);
  ASSERT_EQ(d.result, kOk);
  for (int y = 0; y < 301; ++y) ASSERT_EQ(d.lines[y], comb) << y;
  // When the buffer cannot grow, the page fails with -1 and nothing leaks.
  const uint64_t limit = AllocationLimit();
  SetAllocationLimit(400 << 10);
  EXPECT_EQ(Decode(b, kG4, 2000, 301).result, kErrMemory);
  SetAllocationLimit(limit);
}

TEST(FaxEdge, TwoDimensionalDataEndingBeforeTheLastLineIsDamage) {
  BitString b;
  for (int i = 0; i < 3; ++i) b.Add(kH + W(3) + B(4) + kV0);
  for (int code : {kG4, kG3TwoD}) {
    BitString bits;
    if (code == kG4) {
      bits = b;
    } else {
      for (int i = 0; i < 3; ++i) bits.Add(kEol).Add("0").Add(kH + W(3) + B(4) + kV0);
    }
    EXPECT_EQ(Decode(bits, code, 10, 3).result, kOk) << code;
    EXPECT_EQ(Decode(bits, code, 10, 6).result, kErrDecompress) << code;
    Decoded partial = Decode(bits, code, 10, 6, kFlagKeepPartial);
    ASSERT_EQ(partial.result, kOk) << code;
    for (int y = 0; y < 6; ++y)
      EXPECT_EQ(partial.lines[y], y < 3 ? (Runs{3, 4, 3}) : White(10)) << code << " " << y;
  }
}

TEST(FaxEdge, VerticalModeLeftOfA0IsDamage) {
  BitString b;
  b.Add(kH + W(2) + B(2) + kV0);  // reference: 2, 4, 10
  b.Add(kV0 + kVL3);              // a1 = 2, then b1 - 3 = 1 < a0
  b.Add(kEol).Add(kEol);
  EXPECT_EQ(Decode(b, kG4, 10, 2).result, kErrDecompress);
}

TEST(FaxEdge, HorizontalRunsPastTheWidthAreCut) {
  BitString b;
  b.Add(kH + W(5) + B(20));  // a2 = 25 on a line of 10
  b.Add(kV0 + kV0);          // copies the line above
  Decoded d = Decode(b, kG4, 10, 2);
  ASSERT_EQ(d.result, kOk);
  EXPECT_EQ(d.lines[0], (Runs{5, 5}));
  EXPECT_EQ(d.lines[1], (Runs{5, 5}));
}

TEST(FaxEdge, UncompressedModeInTwoDimensionalLines) {
  const std::string entry = "0000001111";
  // Image patterns: 1 (B), 01 (WB), 001 (WWB), 000001 (WWWWW), then the
  // exit 00000001 (one W) with tag 0: twelve pixels, then V0 to b1 = 16.
  BitString b;
  b.Add(entry).Add("1 01 001 000001").Add("00000001").Add("0").Add(kV0);
  Decoded d = Decode(b, kG4, 16, 1);
  ASSERT_EQ(d.result, kOk);
  EXPECT_EQ(d.lines[0], (Runs{0, 1, 1, 1, 2, 1, 10}));
  // Exit with tag 1: the next run is black; V0 against the white line above
  // ends it at the width.
  BitString black;
  black.Add(entry).Add("0001").Add("0000001").Add("1").Add(kV0);
  Decoded e = Decode(black, kG4, 8, 1);
  ASSERT_EQ(e.result, kOk);
  EXPECT_EQ(e.lines[0], (Runs{3, 5}));
  // The same in a G3 2-D line.
  BitString g3;
  g3.Add(kEol).Add("0").Add(entry).Add("0001").Add("0000001").Add("1").Add(kV0);
  Decoded f = Decode(g3, kG3TwoD, 8, 1);
  ASSERT_EQ(f.result, kOk);
  EXPECT_EQ(f.lines[0], (Runs{3, 5}));
  // Any other extension is damage, and so are pixels past the width.
  BitString other;
  other.Add("0000001110").Add("1111");
  EXPECT_EQ(Decode(other, kG4, 8, 1).result, kErrDecompress);
  BitString wide;
  wide.Add(entry).Add("000001 000001").Add("0000001").Add("0");
  EXPECT_EQ(Decode(wide, kG4, 8, 1).result, kErrDecompress);
}

TEST(FaxEdge, EndlessZeroLengthHorizontalRunsAreDamage) {
  BitString b;
  for (int i = 0; i < 40; ++i) b.Add(kH + W(0) + B(0));
  b.Add(kV0);
  EXPECT_EQ(Decode(b, kG4, 10, 1).result, kErrDecompress);
}

// ---------------------------------------------------------------------------
// Geometry

TEST(FaxEdge, GeometryLimits) {
  BitString b;
  b.Add(kV0);
  for (int code : {kModifiedHuffman, kG3OneD, kG3TwoD, kG4}) {
    EXPECT_EQ(Decode(b, code, 32768, 1).result, kErrUnsupported) << code;
    EXPECT_EQ(Decode(b, code, -1, 1).result, kErrUnsupported) << code;
    EXPECT_EQ(Decode(b, code, 10, -1).result, kErrUnsupported) << code;
    // Width 0: every line is four zero bytes; height 0: an empty page.
    PageRecord page = Coded(b, code, 0, 3);
    testutil::Page out;
    ASSERT_EQ(testutil::Decode(&page, out), kOk);
    for (int y = 0; y < 3; ++y) {
      const uint8_t* line = LinePointers(out.record)[y];
      EXPECT_EQ(std::vector<uint8_t>(line, line + 4), std::vector<uint8_t>(4, 0));
    }
    Decoded none = Decode(b, code, 10, 0);
    EXPECT_EQ(none.result, kOk);
  }
  // The widest page there is decodes.
  BitString widest;
  widest.Add(kV0);
  Decoded d = Decode(widest, kG4, 32767, 1);
  ASSERT_EQ(d.result, kOk);
  EXPECT_EQ(d.lines[0], White(32767));
}
