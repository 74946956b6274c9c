// Fax decoding of hand-made code sequences: the cases at the edges of the
// codings (EOL handling, page ends, uncompressed mode, repairs, limits).
#include "support/suite.h"

#include "imaging/codecs/fax_tables.h"

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
  return CodedPage(bits.bytes, code, width, height);
}

struct Decoded {
  int32_t result;
  std::vector<Runs> lines;
};

Decoded Decode(const BitString& bits, int code, int32_t width, int32_t height, int32_t flags = 0) {
  PageRecord page = Coded(bits, code, width, height);
  Page out;
  Decoded d{Decode(&page, out, flags), {}};
  if (d.result == kOk) d.lines = testpix::RunLengths(out.record);
  else EXPECT_EQ(out->data, nullptr);
  return d;
}

Runs White(uint32_t width) { return Runs{width}; }

// A hand-made code sequence and what it decodes to: the result, and the
// runs of every line when the page decodes (for damage, when listed, the
// lines the keep-partial flag keeps).
struct Sequence {
  const char* rule;
  std::string bits;
  int code;
  int32_t width, height;
  int32_t flags;
  int32_t result;
  std::vector<Runs> lines;
};

class FaxSequence : public ::testing::TestWithParam<Sequence> {};

std::string Lines(int count, const std::string& line) {
  std::string s;
  for (int i = 0; i < count; ++i) s += line;
  return s;
}

const std::string kUncompressed = "0000001111";  // entry into uncompressed mode

std::vector<Sequence> Sequences() {
  return {
      // G3 1-D and Modified Huffman.
      {"G3OneDSkipsGarbageAndFillBeforeEol", "1011 0110 111 0000000" + kEol + W(5) + B(3) + W(12) + "00000" + kEol + W(20),
       kG3OneD, 20, 2, 0, kOk, {{5, 3, 12}, {20}}},
      {"G3OneDLinesEndedByEolArePaddedWithWhite", kEol + W(5) + B(3) + kEol + W(0) + B(20), kG3OneD, 20, 2, 0, kOk,
       {{5, 3, 12}, {0, 20}}},
      {"ModifiedHuffmanLinesStartOnTheNextByte", W(3) + B(7) + "1111111|" + W(0) + B(2) + W(8) + "|",
       kModifiedHuffman, 10, 2, 0, kOk, {{3, 7}, {0, 2, 8}}},
      {"ModifiedHuffmanDataEndingEarlyLeavesBlankLines", Lines(3, W(2) + B(6) + W(2) + "|"), kModifiedHuffman, 10, 5,
       0, kOk, {{2, 6, 2}, {2, 6, 2}, {2, 6, 2}, {10}, {10}}},
      {"G3OneDDataEndingEarlyLeavesBlankLines", Lines(3, kEol + W(2) + B(6) + W(2)), kG3OneD, 10, 5, 0, kOk,
       {{2, 6, 2}, {2, 6, 2}, {2, 6, 2}, {10}, {10}}},
      // Ten zeros and a one start no code; G3 1-D keeps the runs of the
      // failing line that came before the fault.
      {"ModifiedHuffmanInvalidCodeIsDamageKeepingTheLinesBefore", W(2) + B(8) + "|" + W(2) + "00000000001 0000",
       kModifiedHuffman, 10, 2, 0, kErrDecompress, {{2, 8}, {10}}},
      {"G3OneDInvalidCodeIsDamageKeepingTheRunsBefore", kEol + W(2) + B(8) + kEol + W(3) + B(4) + "00000000001" + kEol,
       kG3OneD, 10, 3, 0, kErrDecompress, {{2, 8}, {3, 4, 3}, {10}}},
      {"G3OneDWithoutAnyEolIsABlankPage", W(2) + B(8) + W(10) + "1011 0111 0101", kG3OneD, 10, 2, 0, kOk, {{10}, {10}}},
      {"MakeupAndTerminatingZeroMakeOneRun", kEol + W(1728) + W(0), kG3OneD, 1728, 1, 0, kOk, {{1728}}},
      {"RunsPastTheWidthAreCut", kEol + W(4) + B(20) + kEol + W(30), kG3OneD, 10, 2, 0, kOk, {{4, 6}, {10}}},
      // White 2, black 3, white 0, black 1, white 4: the black runs join.
      {"ZeroLengthRunsInsideALineJoinTheirNeighbours", W(2) + B(3) + W(0) + B(1) + W(4) + "|", kModifiedHuffman, 10, 1,
       0, kOk, {{2, 4, 4}}},
      // G3 2-D and G4.
      {"G3TwoDMustStartWithEol", W(3) + kEol + "1" + W(10), kG3TwoD, 10, 1, 0, kErrDecompress, {}},
      {"G3TwoDMayHaveFillBeforeItsFirstEol", "0000000" + kEol + "1" + W(10), kG3TwoD, 10, 1, 0, kOk, {{10}}},
      // 1-D elements 2, 7, 10; 2-D 3, 6, then 10; a pass below b2 = 6, then
      // horizontal white 1, black 2.
      {"G3TwoDMixesOneAndTwoDimensionalLines",
       kEol + "1" + W(2) + B(5) + W(3) + kEol + "0" + kVR1 + kVL1 + kV0 + kEol + "0" + kP + kH + W(1) + B(2) + kV0,
       kG3TwoD, 10, 3, 0, kOk, {{2, 5, 3}, {3, 3, 4}, {7, 2, 1}}},
      {"G4PageEndsWithEofb", kH + W(3) + B(4) + kV0 + kV0 + kV0 + kV0 + kEol + kEol, kG4, 10, 2, 0, kOk,
       {{3, 4, 3}, {3, 4, 3}}},
      {"G4PageMayEndExactlyWithItsLastLine", kH + W(3) + B(4) + kV0 + kV0 + kV0 + kV0, kG4, 10, 2, 0, kOk,
       {{3, 4, 3}, {3, 4, 3}}},
      {"G4EofbBeforeTheLastLineEndsThePageEarly", kH + W(3) + B(4) + kV0 + kEol + kEol, kG4, 10, 3, 0, kOk,
       {{3, 4, 3}, {10}, {10}}},
      {"G4DataEndingBeforeTheLastLineIsDamageKeepingItsLines", Lines(3, kH + W(3) + B(4) + kV0), kG4, 10, 5, 0,
       kErrDecompress, {{3, 4, 3}, {3, 4, 3}, {3, 4, 3}, {10}, {10}}},
      {"G3TwoDPageMayEndExactlyWithItsLastLine", Lines(3, kEol + "0" + kH + W(3) + B(4) + kV0), kG3TwoD, 10, 3, 0,
       kOk, {{3, 4, 3}, {3, 4, 3}, {3, 4, 3}}},
      {"G3TwoDDataEndingBeforeTheLastLineIsDamageKeepingItsLines", Lines(3, kEol + "0" + kH + W(3) + B(4) + kV0),
       kG3TwoD, 10, 5, 0, kErrDecompress, {{3, 4, 3}, {3, 4, 3}, {3, 4, 3}, {10}, {10}}},
      // Reference 2, 4, 10; a1 = 2, then b1 - 3 = 1 < a0.
      {"VerticalModeLeftOfA0IsDamage", kH + W(2) + B(2) + kV0 + kV0 + kVL3 + kEol + kEol, kG4, 10, 2, 0, kErrDecompress,
       {}},
      {"HorizontalRunsPastTheWidthAreCut", kH + W(5) + B(20) + kV0 + kV0, kG4, 10, 2, 0, kOk, {{5, 5}, {5, 5}}},
      {"EndlessZeroLengthHorizontalRunsAreDamage", Lines(40, kH + W(0) + B(0)) + kV0, kG4, 10, 1, 0, kErrDecompress,
       {}},
      // Image patterns 1 (B), 01 (WB), 001 (WWB), 000001 (WWWWW), then the
      // exit 00000001 (one W) with tag 0: twelve pixels, then V0 to b1 = 16.
      {"UncompressedModeInTwoDimensionalLines", kUncompressed + "1 01 001 000001 00000001 0" + kV0, kG4, 16, 1, 0, kOk,
       {{0, 1, 1, 1, 2, 1, 10}}},
      // Exit with tag 1: the next run is black; V0 against the white line
      // above ends it at the width.
      {"UncompressedModeExitWithABlackRun", kUncompressed + "0001 0000001 1" + kV0, kG4, 8, 1, 0, kOk, {{3, 5}}},
      {"UncompressedModeInG3TwoDLines", kEol + "0" + kUncompressed + "0001 0000001 1" + kV0, kG3TwoD, 8, 1, 0, kOk,
       {{3, 5}}},
      {"OtherExtensionsAreDamage", "0000001110 1111", kG4, 8, 1, 0, kErrDecompress, {}},
      {"UncompressedPixelsPastTheWidthAreDamage", kUncompressed + "000001 000001 0000001 0", kG4, 8, 1, 0,
       kErrDecompress, {}},
  };
}

}  // namespace

TEST_P(FaxSequence, DecodesAsTheCodingSays) {
  const Sequence& s = GetParam();
  BitString bits;
  bits.Add(s.bits);
  const Decoded d = Decode(bits, s.code, s.width, s.height, s.flags);
  ASSERT_EQ(d.result, s.result);
  if (s.result == kOk || !s.lines.empty()) {
    EXPECT_EQ(s.result == kOk ? d.lines : Decode(bits, s.code, s.width, s.height, kFlagKeepPartial).lines, s.lines);
  }
}

INSTANTIATE_TEST_SUITE_P(Codings, FaxSequence, ::testing::ValuesIn(Sequences()),
                         [](const auto& info) { return std::string(info.param.rule); });

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
    Page out;
    ASSERT_EQ(Decode(&page, out), kOk);
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
