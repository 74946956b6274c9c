// Fax encoding: exact round trips through our decoders, libtiff's decode of
// our output, and the coded form of the simple cases.
#include <gtest/gtest.h>

#include <tiff.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/core/core.h"
#include "imaging/core/runlist.h"
#include "support/fax_support.h"
#include "support/test_util.h"

using namespace quillon;
using testutil::BitString;

namespace {

// Packed rows (1 = white) from a pixel rule.
std::vector<uint8_t> Rows(int32_t width, int32_t height,
                          const std::function<bool(int32_t, int32_t)>& black) {
  const uint32_t rowBytes = RowBytes(width, 1);
  std::vector<uint8_t> rows(static_cast<size_t>(rowBytes) * height, 0xFF);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      if (black(x, y)) rows[y * rowBytes + x / 8] &= static_cast<uint8_t>(~(0x80 >> (x % 8)));
  return rows;
}

enum class Coding { kG3, kMh, kG4 };

struct Encoded {
  int32_t result;
  std::vector<uint8_t> bytes;
};

Encoded Encode(const PageRecord& runs, Coding coding) {
  testutil::Page out;
  out.record = runs;
  out->data = nullptr;
  out->dataOwnership = 0;
  int32_t result = coding == Coding::kG4 ? EncodeG4(&runs, out.get())
                                         : EncodeFaxOneD(&runs, out.get(), coding == Coding::kMh);
  Encoded e{result, {}};
  if (result == kOk) {
    EXPECT_EQ(out->dataOwnership, kOwnedByPage);
    EXPECT_EQ(out->fillOrderReversed, 0);
    e.bytes.assign(out->data, out->data + out->dataSize);
  }
  return e;
}

int Code(Coding coding) {
  switch (coding) {
    case Coding::kG3: return kG3OneD;
    case Coding::kMh: return kModifiedHuffman;
    default: return kG4;
  }
}

// Encodes, decodes with our decoder and checks every line's runs; then
// lets libtiff decode the same bytes and checks every pixel.
void RoundTrip(const PageRecord& runs, const char* what) {
  const std::vector<uint8_t> painted = testutil::PaintRows(runs);
  for (Coding coding : {Coding::kG3, Coding::kMh, Coding::kG4}) {
    SCOPED_TRACE(std::string(what) + " coding " + std::to_string(Code(coding)));
    Encoded e = Encode(runs, coding);
    ASSERT_EQ(e.result, kOk);
    testutil::FaxPage coded;
    testutil::SetFaxBytes(coded, e.bytes, Code(coding), runs.width, runs.height);
    testutil::Page back;
    back->compression = kRunLists;
    if (e.bytes.empty()) {
      // Nothing coded (no lines, no EOL): the decoder still makes a page.
      back.record = coded.record;
      ASSERT_EQ(coding == Coding::kMh ? DecodeModifiedHuffman(&coded.record, back.get(), 0)
                                      : kErrParameter,
                kOk);
    } else {
      ASSERT_EQ(ConvertPage(&coded.record, back.get(), 0), kOk);
    }
    ASSERT_TRUE(testutil::RunLinesValid(back.record));
    for (int32_t y = 0; y < runs.height; ++y)
      ASSERT_EQ(testutil::LineRuns(back.record, y), testutil::LineRuns(runs, y)) << "line " << y;
    if (runs.width == 0 || runs.height == 0) continue;  // no such TIFF
    const int tiffCompression = coding == Coding::kG4   ? COMPRESSION_CCITTFAX4
                                : coding == Coding::kMh ? COMPRESSION_CCITTRLE
                                                        : COMPRESSION_CCITTFAX3;
    EXPECT_EQ(testutil::LibtiffDecodeCoded(e.bytes, tiffCompression, 0, runs.width, runs.height),
              painted);
  }
}

void RoundTripRows(int32_t width, int32_t height, const std::vector<uint8_t>& rows,
                   const char* what) {
  testutil::Page runs;
  testutil::MakeRunListPage(runs.get(), width, height, rows);
  ASSERT_TRUE(testutil::RunLinesValid(runs.record));
  RoundTrip(runs.record, what);
}

}  // namespace

TEST(FaxEncode, RoundTripsOfVariedPages) {
  auto none = [](int32_t, int32_t) { return false; };
  auto all = [](int32_t, int32_t) { return true; };
  RoundTripRows(1728, 6, Rows(1728, 6, none), "blank");
  RoundTripRows(1728, 6, Rows(1728, 6, all), "black");
  RoundTripRows(97, 9, Rows(97, 9, [](int32_t x, int32_t y) { return (x + y) % 2 == 0; }),
                "alternating single pixels");
  RoundTripRows(97, 9, Rows(97, 9, [](int32_t x, int32_t) { return x % 2 == 1; }),
                "columns");
  // Runs of every length around the make-up codes, up to 5999 pixels.
  RoundTripRows(6000, 8, Rows(6000, 8, [](int32_t x, int32_t y) {
                  const int32_t cuts[8] = {2560, 2561, 2559, 3000, 5120, 64, 1727, 5999};
                  return y % 2 ? x >= cuts[y] : x < cuts[y];
                }), "long runs");
  RoundTripRows(0, 3, {}, "width 0");
  RoundTripRows(1, 5, Rows(1, 5, [](int32_t, int32_t y) { return y % 2 == 0; }), "width 1");
  RoundTripRows(40, 0, {}, "height 0");
  std::mt19937 random(17);
  RoundTripRows(517, 40, Rows(517, 40, [&](int32_t, int32_t) { return random() % 2 == 0; }),
                "random pixels");
  // Random runs: lengths 1..300, so that every terminating and the low
  // make-up codes occur in both colours.
  std::vector<uint8_t> rows;
  {
    bool black = false;
    int32_t left = 0;
    rows = Rows(1999, 30, [&](int32_t x, int32_t) {
      if (x == 0) black = random() % 2, left = 0;
      if (left == 0) {
        black = !black;
        left = 1 + static_cast<int32_t>(random() % (random() % 4 ? 64 : 300));
      }
      --left;
      return black;
    });
  }
  RoundTripRows(1999, 30, rows, "random runs");
}

TEST(FaxEncode, RoundTripOfAFixturePage) {
  testutil::FaxPage page;
  ASSERT_TRUE(testutil::LoadFaxTiff(testutil::DataPath("fax/dither-g3-2d.tif"), page));
  testutil::Page runs;
  runs->compression = kRunLists;
  ASSERT_EQ(ConvertPage(&page.record, runs.get(), 0), kOk);
  RoundTrip(runs.record, "dither");
}

TEST(FaxEncode, G4EncodingOfADecodedG3TwoDPageDecodesTheSame) {
  // libtiff's G3 2-D coding and our G4 coding of one page meet in the
  // same run lists; so does the conversion G3 2-D -> G4 -> run lists.
  testutil::FaxPage g3;
  ASSERT_TRUE(testutil::LoadFaxTiff(testutil::DataPath("fax/text-g3-2d.tif"), g3));
  testutil::Page fromG3;
  fromG3->compression = kRunLists;
  ASSERT_EQ(ConvertPage(&g3.record, fromG3.get(), 0), kOk);

  testutil::FaxPage again;
  ASSERT_TRUE(testutil::LoadFaxTiff(testutil::DataPath("fax/text-g3-2d.tif"), again));
  testutil::Page g4;
  g4->compression = kG4;
  ASSERT_EQ(ConvertPage(&again.record, g4.get(), 0), kOk);
  EXPECT_EQ(g4->compression, kG4);
  testutil::Page fromG4;
  fromG4->compression = kRunLists;
  ASSERT_EQ(ConvertPage(g4.get(), fromG4.get(), 0), kOk);
  for (int32_t y = 0; y < fromG3->height; ++y)
    ASSERT_EQ(testutil::LineRuns(fromG4.record, y), testutil::LineRuns(fromG3.record, y)) << y;
}

// ---------------------------------------------------------------------------
// The coded form of simple pages

namespace {

std::vector<uint8_t> EncodeRows(int32_t width, int32_t height, const std::vector<uint8_t>& rows,
                                Coding coding) {
  testutil::Page runs;
  testutil::MakeRunListPage(runs.get(), width, height, rows);
  return Encode(runs.record, coding).bytes;
}

const char* kEol = "000000000001";

}  // namespace

TEST(FaxEncode, WhiteLineInG3IsEolMakeupAndTerminatingZero) {
  auto none = [](int32_t, int32_t) { return false; };
  BitString expected;
  expected.Add(kEol).Add("010011011").Add("00110101");
  for (int i = 0; i < 6; ++i) expected.Add(kEol);  // RTC
  EXPECT_EQ(EncodeRows(1728, 1, Rows(1728, 1, none), Coding::kG3), expected.bytes);
}

TEST(FaxEncode, ModifiedHuffmanLinesAreByteAlignedWithoutEol) {
  // Ten pixels: white 3 (1000), black 7 (00011) = 9 bits, padded.
  auto rule = [](int32_t x, int32_t) { return x >= 3; };
  BitString expected;
  expected.Add("1000 00011").AlignToByte().Add("1000 00011").AlignToByte();
  EXPECT_EQ(EncodeRows(10, 2, Rows(10, 2, rule), Coding::kMh), expected.bytes);
}

TEST(FaxEncode, LineStartingBlackBeginsWithWhiteZero) {
  auto rule = [](int32_t x, int32_t) { return x < 2; };  // black 2, white 6
  BitString mh;
  mh.Add("00110101").Add("11").Add("1110");
  EXPECT_EQ(EncodeRows(8, 1, Rows(8, 1, rule), Coding::kMh), mh.bytes);
  // G4 against the white reference: b1 = 8, a1 = 0 -> horizontal mode with
  // a0a1 = 0 (white) and a1a2 = 2 (black), then a1 = 8 = b1: V0; EOFB.
  BitString g4;
  g4.Add("001").Add("00110101").Add("11").Add("1").Add(kEol).Add(kEol);
  EXPECT_EQ(EncodeRows(8, 1, Rows(8, 1, rule), Coding::kG4), g4.bytes);
}

TEST(FaxEncode, BlankG4PageIsOneBitPerLine) {
  auto none = [](int32_t, int32_t) { return false; };
  BitString expected;
  expected.Add("11111111").Add(kEol).Add(kEol);
  EXPECT_EQ(EncodeRows(1728, 8, Rows(1728, 8, none), Coding::kG4), expected.bytes);
  EXPECT_EQ(expected.bytes, (std::vector<uint8_t>{0xFF, 0x00, 0x10, 0x01}));
}

TEST(FaxEncode, LongRunUsesTheLargestMakeupFirst) {
  auto none = [](int32_t, int32_t) { return false; };
  // 3000 = 2560 + 384 + 56.
  BitString expected;
  expected.Add("000000011111").Add("00110111").Add("01011001").AlignToByte();
  EXPECT_EQ(EncodeRows(3000, 1, Rows(3000, 1, none), Coding::kMh), expected.bytes);
}

TEST(FaxEncode, MalformedRunListsAreRepairedNotOverrun) {
  // Hand-made lines of width 10: runs past the width, a zero-length run in
  // the middle, a line that stops short.
  const std::vector<std::vector<uint8_t>> lines = {
      {3, 20, 0, 0, 0},          // black passes the width: clipped at 10
      {2, 3, 0, 4, 0, 0, 0},     // W2 B3 W0 B4: the black runs join, then white
      {4, 0, 0, 0},              // white 4 only: the rest is white
      {0x80, 200, 5, 0, 0, 0},   // a two-byte white run longer than the line
  };
  const std::vector<std::vector<uint32_t>> expected = {{3, 7}, {2, 7, 1}, {10}, {10}};
  std::vector<uint8_t> buffer(lines.size() * sizeof(uint8_t*));
  std::vector<size_t> at;
  for (const auto& l : lines) {
    at.push_back(buffer.size());
    buffer.insert(buffer.end(), l.begin(), l.end());
  }
  PageRecord runs{};
  runs.width = 10;
  runs.height = static_cast<int32_t>(lines.size());
  runs.bitsPerPixel = 1;
  runs.compression = kRunLists;
  runs.data = buffer.data();
  runs.dataSize = static_cast<uint32_t>(buffer.size());
  for (size_t i = 0; i < lines.size(); ++i)
    reinterpret_cast<uint8_t**>(buffer.data())[i] = buffer.data() + at[i];
  for (Coding coding : {Coding::kG3, Coding::kMh, Coding::kG4}) {
    Encoded e = Encode(runs, coding);
    ASSERT_EQ(e.result, kOk);
    testutil::FaxPage coded;
    testutil::SetFaxBytes(coded, e.bytes, Code(coding), runs.width, runs.height);
    testutil::Page back;
    back->compression = kRunLists;
    ASSERT_EQ(ConvertPage(&coded.record, back.get(), 0), kOk);
    for (int32_t y = 0; y < runs.height; ++y)
      EXPECT_EQ(testutil::LineRuns(back.record, y), expected[y]) << "line " << y;
  }
}

TEST(FaxEncode, RefusesPagesThatAreNotRunLists) {
  PageRecord runs{};
  runs.width = 40000;
  runs.height = 1;
  testutil::Page out;
  EXPECT_EQ(EncodeG4(&runs, out.get()), kErrParameter);
  runs.width = 10;
  runs.height = 2;  // lines but no data
  EXPECT_EQ(EncodeFaxOneD(&runs, out.get(), 0), kErrParameter);
  EXPECT_EQ(out->data, nullptr);
}
