// Fax decoding: the code tables, pixel-exact decoding of files made by
// libtiff and ImageMagick, fill order, strips, and the coded edge cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/codecs/fax.h"
#include "imaging/codecs/fax_tables.h"
#include "imaging/core/core.h"
#include "imaging/core/runlist.h"
#include "support/fax_support.h"
#include "support/test_util.h"

using namespace quillon;
using testutil::BitString;
using testutil::FaxDataHome;
using testutil::FaxPage;

namespace {

std::string Bits(const FaxCodeRow& row) {
  std::string s;
  for (int i = row.length - 1; i >= 0; --i) s += (row.bits >> i) & 1 ? '1' : '0';
  return s;
}

struct RunResult {
  int16_t value;
  uint32_t bitsUsed;
};

RunResult DecodeRun(const std::string& bits, bool white) {
  BitString b;
  b.Add(bits);
  uint32_t byteIndex = 0;
  int32_t bitIndex = 0;
  int16_t v = white ? DecodeWhiteRun(b.bytes.data(), static_cast<uint32_t>(b.bytes.size()),
                                     &byteIndex, &bitIndex)
                    : DecodeBlackRun(b.bytes.data(), static_cast<uint32_t>(b.bytes.size()),
                                     &byteIndex, &bitIndex);
  return {v, byteIndex * 8 + static_cast<uint32_t>(bitIndex)};
}

// Decodes `page` to run lists through the conversion.
int32_t ToRunLists(FaxPage& page, testutil::Page& out, int32_t flags = 0) {
  out->compression = kRunLists;
  return ConvertPage(&page.record, out.get(), flags);
}

}  // namespace

// ---------------------------------------------------------------------------
// Tables

TEST(FaxTables, EveryOneDCodeDecodesToItsRow) {
  const std::string whiteZero = Bits(kWhiteCodes[0]);
  const std::string blackZero = Bits(kBlackCodes[0]);
  auto check = [](const FaxCodeRow& row, bool white, const std::string& zero) {
    // A make-up code is followed by the terminating code for 0.
    const bool makeup = row.run >= 64;
    const std::string bits = Bits(row) + (makeup ? zero : "");
    const RunResult r = DecodeRun(bits + "1111", white);
    EXPECT_EQ(r.value, row.run) << (white ? "white " : "black ") << bits;
    EXPECT_EQ(r.bitsUsed, bits.size()) << bits;
  };
  for (const FaxCodeRow& row : kWhiteCodes) check(row, true, whiteZero);
  for (const FaxCodeRow& row : kBlackCodes) check(row, false, blackZero);
  for (const FaxCodeRow& row : kExtendedMakeupCodes) {
    check(row, true, whiteZero);
    check(row, false, blackZero);
  }
}

TEST(FaxTables, SpecialCodes) {
  for (bool white : {true, false}) {
    RunResult eol = DecodeRun("000000000001 1", white);
    EXPECT_EQ(eol.value, kFaxEol);
    EXPECT_EQ(eol.bitsUsed, 12u);
    RunResult ext = DecodeRun("000000001011 1", white);
    EXPECT_EQ(ext.value, kFaxExtension1D);
    EXPECT_EQ(ext.bitsUsed, 12u);
    // Twelve or more zeros are fill: one bit, a run of 0.
    RunResult fill = DecodeRun("0000000000000 1", white);
    EXPECT_EQ(fill.value, 0);
    EXPECT_EQ(fill.bitsUsed, 1u);
    // Ten zeros and a one start no code.
    RunResult bad = DecodeRun("00000000001 0", white);
    EXPECT_EQ(bad.value, kFaxInvalid);
    EXPECT_EQ(bad.bitsUsed, 1u);
  }
  // Make-ups add up: 2560 + 2560 + 1728 + 5 (white).
  RunResult sum = DecodeRun(Bits(kExtendedMakeupCodes[12]) + Bits(kExtendedMakeupCodes[12]) +
                                Bits(kWhiteCodes[63 + 27]) + Bits(kWhiteCodes[5]),
                            true);
  EXPECT_EQ(sum.value, 2560 + 2560 + 1728 + 5);
}

TEST(FaxTables, PeekTablesMapBackToTheRows) {
  // Each row's code, placed at the top of a window, finds its own entry.
  for (const FaxCodeRow& row : kWhiteCodes) {
    const uint32_t window = static_cast<uint32_t>(row.bits) << (16 - row.length);
    const FaxPeekEntry e = window >= 512 ? kWhiteCodeTable[window >> 7]
                                         : kLongCodeTable[window >> 3];
    EXPECT_EQ(e.run, row.run);
    EXPECT_EQ(e.length, row.length);
  }
  for (const FaxCodeRow& row : kBlackCodes) {
    const uint32_t window = static_cast<uint32_t>(row.bits) << (16 - row.length);
    const FaxPeekEntry e = window >= 4096 ? kBlackCodeTable[window >> 10]
                                          : kLongCodeTable[window >> 3];
    EXPECT_EQ(e.run, row.run);
    EXPECT_EQ(e.length, row.length);
  }
  const int shifts[] = {0, -1, -2, -3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3};
  for (const FaxCodeRow& row : kTwoDModeCodes) {
    // Every window that starts with the code finds it.
    for (uint32_t rest = 0; rest < (1u << (7 - row.length)); ++rest) {
      const FaxModeEntry e = kTwoDModeTable[(static_cast<uint32_t>(row.bits) << (7 - row.length)) | rest];
      EXPECT_EQ(e.mode, row.run);
      EXPECT_EQ(e.length, row.run == kModeExtension ? 0 : row.length);
      EXPECT_EQ(e.shift, row.run < 20 ? shifts[row.run] : 0);
    }
  }
  EXPECT_EQ(kTwoDModeTable[0].mode, kModeEndOfData);
  // Encoding lookups are the same rows.
  for (int run = 0; run < 64; ++run) {
    EXPECT_EQ(kWhiteTerminating[run].bits, kWhiteCodes[run].bits);
    EXPECT_EQ(kBlackTerminating[run].length, kBlackCodes[run].length);
  }
  EXPECT_EQ(kWhiteMakeup[1728 / 64].bits, 0b010011011);
  EXPECT_EQ(kBlackMakeup[2560 / 64].bits, 0b000000011111);
  EXPECT_EQ(kVerticalCodes[3].bits, 1);
  EXPECT_EQ(kVerticalCodes[0].bits, 0b0000011);  // VR3: b1 - a1 = -3
  EXPECT_EQ(kVerticalCodes[6].bits, 0b0000010);  // VL3
}

TEST(FaxTables, BitReversal) {
  EXPECT_EQ(kBitReverseTable[0x01], 0x80);
  EXPECT_EQ(kBitReverseTable[0xF0], 0x0F);
  for (int b = 0; b < 256; ++b) EXPECT_EQ(kBitReverseTable[kBitReverseTable[b]], b);
  uint8_t bytes[3] = {0x01, 0x02, 0xC0};
  ReverseBits(bytes, bytes, 3);  // in place
  EXPECT_EQ(bytes[0], 0x80);
  EXPECT_EQ(bytes[1], 0x40);
  EXPECT_EQ(bytes[2], 0x03);
}

// ---------------------------------------------------------------------------
// Files made by libtiff and ImageMagick, against libtiff's own decode

class FaxFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(FaxFixture, DecodesPixelExactAgainstLibtiff) {
  const std::string path = testutil::DataPath(std::string("fax/") + GetParam());
  const std::vector<uint8_t> expected = testutil::LibtiffRows(path);
  ASSERT_FALSE(expected.empty());
  // Both colours are present, so the comparison means something.
  ASSERT_NE(std::count(expected.begin(), expected.end(), 0xFF), 0);
  ASSERT_LT(std::count(expected.begin(), expected.end(), 0xFF),
            static_cast<std::ptrdiff_t>(expected.size()) * 9 / 10);
  for (FaxDataHome home : {FaxDataHome::kView, FaxDataHome::kOwned}) {
    FaxPage page;
    ASSERT_TRUE(testutil::LoadFaxTiff(path, page, home));
    testutil::Page out;
    ASSERT_EQ(ToRunLists(page, out), kOk);
    EXPECT_TRUE(testutil::RunLinesValid(out.record));
    EXPECT_EQ(out->layoutFlags, kLayoutTopDown);
    EXPECT_EQ(page.record.fillOrderReversed, 0);
    const std::vector<uint8_t> rows = testutil::PaintRows(out.record);
    ASSERT_EQ(rows.size(), expected.size());
    const uint32_t rowBytes = RowBytes(out->width, 1);
    for (size_t i = 0; i < rows.size(); ++i)
      ASSERT_EQ(rows[i], expected[i]) << "line " << i / rowBytes << " byte " << i % rowBytes;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, FaxFixture,
    ::testing::Values("text-g4.tif", "text-g3-1d.tif", "text-g3-2d.tif",
                      "text-g3-1d-fill-strips.tif", "text-g4-strips-lsb.tif",
                      "text-g3-2d-strips-lsb.tif", "text-mh.tif", "text-mh-strips.tif",
                      "text-fax2tiff.tif", "dither-g4.tif", "dither-g3-2d.tif",
                      "dither-g3-1d.tif", "dither-mh.tif", "long-g4.tif",
                      "long-g3-2d.tif", "long-g3-1d.tif", "long-mh.tif"),
    [](const auto& info) {
      std::string name = info.param;
      for (char& c : name)
        if (c == '-' || c == '.') c = '_';
      return name;
    });

TEST(FaxDecode, AllCodingsOfOnePageGiveTheSameRunLists) {
  const char* names[] = {"text-g3-1d.tif", "text-g3-2d.tif", "text-mh.tif",
                         "text-g4-strips-lsb.tif", "text-fax2tiff.tif"};
  FaxPage g4;
  ASSERT_TRUE(testutil::LoadFaxTiff(testutil::DataPath("fax/text-g4.tif"), g4));
  testutil::Page reference;
  ASSERT_EQ(ToRunLists(g4, reference), kOk);
  for (const char* name : names) {
    FaxPage page;
    ASSERT_TRUE(testutil::LoadFaxTiff(testutil::DataPath(std::string("fax/") + name), page));
    testutil::Page out;
    ASSERT_EQ(ToRunLists(page, out), kOk) << name;
    ASSERT_EQ(out->height, reference->height);
    // Pillow's Modified Huffman file holds the same pixels, coded inverted.
    const bool inverted = page.record.compression == kModifiedHuffman;
    if (inverted) InvertRunLines(out.get());
    for (int32_t y = 0; y < out->height; ++y)
      ASSERT_EQ(testutil::LineRuns(out.record, y), testutil::LineRuns(reference.record, y))
          << name << " line " << y;
  }
}

TEST(FaxDecode, FillOrderReversedEqualsReversedBytes) {
  const std::string path = testutil::DataPath("fax/text-g3-2d-strips-lsb.tif");
  for (FaxDataHome home : {FaxDataHome::kView, FaxDataHome::kOwned}) {
    FaxPage lsb;
    ASSERT_TRUE(testutil::LoadFaxTiff(path, lsb, home));
    ASSERT_EQ(lsb.record.fillOrderReversed, 1);
    const std::vector<uint8_t> viewBefore = lsb.view;
    // The same strips reversed by hand, flag clear.
    FaxPage msb;
    ASSERT_TRUE(testutil::LoadFaxTiff(path, msb, FaxDataHome::kView));
    ReverseBits(msb.view.data(), msb.view.data(), static_cast<uint32_t>(msb.view.size()));
    msb.record.fillOrderReversed = 0;
    testutil::Page a, b;
    ASSERT_EQ(ToRunLists(lsb, a), kOk);
    ASSERT_EQ(ToRunLists(msb, b), kOk);
    EXPECT_EQ(testutil::PaintRows(a.record), testutil::PaintRows(b.record));
    // The source is normalised once: its data now belongs to the page, and
    // data in a file's view is never written.
    EXPECT_EQ(lsb.record.fillOrderReversed, 0);
    EXPECT_EQ(lsb.record.dataOwnership, kOwnedByPage);
    EXPECT_EQ(lsb.view, viewBefore);
    for (int32_t s = 0; s < lsb.record.stripCount; ++s)
      EXPECT_EQ(0, std::memcmp(lsb.record.data + lsb.record.stripOffsets[s],
                               msb.record.data + msb.record.stripOffsets[s],
                               lsb.record.stripByteCounts[s]));
  }
}

TEST(FaxDecode, PhotometricOnePagesAreInvertedByTheConversion) {
  FaxPage page, inverted;
  ASSERT_TRUE(testutil::LoadFaxTiff(testutil::DataPath("fax/text-g4.tif"), page));
  ASSERT_TRUE(testutil::LoadFaxTiff(testutil::DataPath("fax/text-g4.tif"), inverted));
  inverted.record.photometric = 1;
  testutil::Page a, b;
  ASSERT_EQ(ToRunLists(page, a), kOk);
  ASSERT_EQ(ToRunLists(inverted, b), kOk);
  std::vector<uint8_t> rows = testutil::PaintRows(a.record);
  std::vector<uint8_t> flipped = testutil::PaintRows(b.record);
  const uint32_t rowBytes = RowBytes(a->width, 1);
  for (size_t i = 0; i < rows.size(); ++i) {
    uint8_t mask = 0xFF;
    if (i % rowBytes == rowBytes - 1 && a->width % 8) mask = static_cast<uint8_t>(0xFF << (8 - a->width % 8));
    ASSERT_EQ(rows[i], static_cast<uint8_t>(~flipped[i]) & mask) << i;
  }
}
