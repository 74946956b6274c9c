// JPEG streams that are damaged, truncated, hostile or merely unusual: the
// decoder ends cleanly with the right code, and keeps exactly what it
// decoded when asked to.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/core/core.h"
#include "support/jpeg_peer.h"
#include "support/test_util.h"

using namespace quillon;
using testutil::EncodeOptions;
using testutil::Image;
using testutil::JpegFixture;
using testutil::OurDecode;
using testutil::PeerDecode;
using testutil::PeerEncode;

namespace {

// A marker segment: 0xFF, marker, length, body.
std::vector<uint8_t> Segment(int marker, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> s = {0xFF, static_cast<uint8_t>(marker),
                            static_cast<uint8_t>((body.size() + 2) >> 8),
                            static_cast<uint8_t>(body.size() + 2)};
  s.insert(s.end(), body.begin(), body.end());
  return s;
}

// `jpeg` with `segment` inserted after SOI.
std::vector<uint8_t> Inserted(const std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& segment) {
  std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
  out.insert(out.end(), segment.begin(), segment.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

// Offset of the first marker `marker` (its 0xFF), walking the segments.
size_t FindMarker(const std::vector<uint8_t>& jpeg, int marker) {
  for (size_t i = 2; i + 4 <= jpeg.size(); i += 2 + (jpeg[i + 2] << 8 | jpeg[i + 3]))
    if (jpeg[i + 1] == marker) return i;
  return 0;
}

// Where the first scan's entropy-coded data begins.
size_t FirstScanData(const std::vector<uint8_t>& jpeg) {
  const size_t sos = FindMarker(jpeg, 0xDA);
  return sos + 2 + (jpeg[sos + 2] << 8 | jpeg[sos + 3]);
}

// The partial-result contract: every line is the full picture's line up to
// some byte and blank after it, and below the MCU row that was cut short
// everything is blank.
void ExpectPrefixOfFullPicture(const Image& partial, const Image& full, size_t cut) {
  ASSERT_EQ(partial.pixels.size(), full.pixels.size()) << "cut at " << cut;
  const size_t row = static_cast<size_t>(full.width) * full.channels;
  int firstShort = full.height;
  for (int y = 0; y < full.height; ++y) {
    const uint8_t* a = &partial.pixels[y * row];
    const uint8_t* b = &full.pixels[y * row];
    size_t same = 0;
    while (same < row && a[same] == b[same]) ++same;
    for (size_t x = same; x < row; ++x)
      ASSERT_EQ(a[x], 0) << "cut at " << cut << ": line " << y << " byte " << x;
    if (same < row && firstShort == full.height) firstShort = y;
    if (y >= firstShort + 16) {
      for (size_t x = 0; x < row; ++x) ASSERT_EQ(a[x], 0) << "cut at " << cut << ": line " << y;
    }
  }
}

TEST(JpegStream, TruncatedSequentialStreamsKeepTheirDecodedLines) {
  for (const char* name : {"sampling-420.jpg", "restart-every-mcu.jpg", "sequential-scans.jpg",
                           "size-2049x3.jpg"}) {
    const std::vector<uint8_t> bytes = JpegFixture(name);
    const Image full = OurDecode(bytes, 0);
    const size_t firstScan = FirstScanData(bytes);
    for (size_t cut = 1; cut < bytes.size(); cut += cut < firstScan ? 7 : 2) {
      const std::vector<uint8_t> head(bytes.begin(), bytes.begin() + cut);
      const Image strict = OurDecode(head, 0);
      const Image kept = OurDecode(head, kFlagKeepPartial);
      if (cut < firstScan) {
        EXPECT_EQ(strict.result, kErrBadHeader) << name << " cut at " << cut;
        EXPECT_EQ(kept.result, kErrBadHeader) << name << " cut at " << cut;
        continue;
      }
      EXPECT_TRUE(strict.result == kErrDecompress || strict.result == kOk) << name << " cut at " << cut;
      ASSERT_EQ(kept.result, kOk) << name << " cut at " << cut;
      // A one-scan stream keeps a prefix of its lines; a stream of several
      // scans keeps what its scans gave.
      if (std::string(name) != "sequential-scans.jpg") {
        ExpectPrefixOfFullPicture(kept, full, cut);
      }
      if (strict.result == kOk) {
        EXPECT_EQ(strict.pixels, full.pixels) << name << " cut at " << cut;
      }
    }
  }
}

TEST(JpegStream, TruncatedProgressiveStreamsEndCleanly) {
  for (const char* name : {"progressive.jpg", "progressive-restart.jpg"}) {
    const std::vector<uint8_t> bytes = JpegFixture(name);
    const Image full = OurDecode(bytes, 0);
    for (size_t cut = FirstScanData(bytes); cut < bytes.size(); cut += 5) {
      const std::vector<uint8_t> head(bytes.begin(), bytes.begin() + cut);
      for (int32_t scale : {0, int32_t{kFlagJpegHalf}, int32_t{kFlagJpegEighth}}) {
        const Image strict = OurDecode(head, scale);
        EXPECT_TRUE(strict.result == kErrDecompress || strict.result == kOk) << name << " cut " << cut;
        const Image kept = OurDecode(head, scale | kFlagKeepPartial);
        EXPECT_EQ(kept.result, kOk) << name << " cut at " << cut;
        EXPECT_EQ(kept.width, OurDecode(bytes, scale).width);
      }
    }
    // Cut just before the end of the last scan: all but the last refinement.
    const Image late = OurDecode({bytes.begin(), bytes.end() - 40}, kFlagKeepPartial);
    EXPECT_GE(testutil::Psnr(late, full), 30) << name;
  }
}

TEST(JpegStream, CorruptedStreamsEndCleanly) {
  std::mt19937 random(1234);
  for (const char* name : {"sampling-420.jpg", "progressive.jpg", "restart-every-mcu.jpg",
                           "sampling-422.jpg", "progressive-gray.jpg"}) {
    const std::vector<uint8_t> bytes = JpegFixture(name);
    for (int trial = 0; trial < 300; ++trial) {
      std::vector<uint8_t> damaged = bytes;
      const int flips = 1 + static_cast<int>(random() % 8);
      for (int i = 0; i < flips; ++i)
        damaged[2 + random() % (damaged.size() - 2)] ^= static_cast<uint8_t>(1 + random() % 255);
      const int32_t flags = static_cast<int32_t>(random() % 2 ? kFlagKeepPartial : 0) |
                            static_cast<int32_t>(random() % 3 == 0 ? kFlagJpegHalf : 0) |
                            static_cast<int32_t>(random() % 4 == 0 ? kFlagJpegEighth : 0) |
                            static_cast<int32_t>(random() % 2 ? kFlagJpeg16Bpp : 0);
      const int32_t result = OurDecode(damaged, flags).result;
      EXPECT_TRUE(result == kOk || result == kErrDecompress || result == kErrBadHeader ||
                  result == kErrUnsupported || result == kErrMemory)
          << name << " trial " << trial << ": " << result;
    }
  }
}

TEST(JpegStream, HeaderFaults) {
  const std::vector<uint8_t> good = JpegFixture("sampling-444.jpg");
  std::vector<uint8_t> noSoi(good.begin() + 2, good.end());
  EXPECT_EQ(OurDecode(noSoi, 0).result, kErrBadHeader);
  EXPECT_EQ(OurDecode({0xFF, 0xD8, 0xFF, 0xD9}, 0).result, kErrBadHeader) << "EOI before a frame";
  EXPECT_EQ(OurDecode({}, 0).result, kErrParameter) << "no data";

  // Frame header without a scan header.
  std::vector<uint8_t> noScan(good.begin(), good.begin() + static_cast<long>(FindMarker(good, 0xDA)));
  noScan.insert(noScan.end(), {0xFF, 0xD9});
  EXPECT_EQ(OurDecode(noScan, 0).result, kErrBadHeader);

  // A frame header whose length does not fit its component count.
  std::vector<uint8_t> badFrame = good;
  badFrame[FindMarker(good, 0xC0) + 3] += 3;
  EXPECT_NE(OurDecode(badFrame, 0).result, kOk);

  // A scan naming a component the frame does not have.
  std::vector<uint8_t> badScan = good;
  badScan[FindMarker(good, 0xDA) + 5] = 99;
  EXPECT_EQ(OurDecode(badScan, 0).result, kErrBadHeader);

  // No quantisation tables.
  std::vector<uint8_t> noTables = good;
  for (size_t at; (at = FindMarker(noTables, 0xDB)) != 0;)
    noTables.erase(noTables.begin() + static_cast<long>(at),
                   noTables.begin() + static_cast<long>(at + 2 + (noTables[at + 2] << 8 | noTables[at + 3])));
  EXPECT_EQ(OurDecode(noTables, 0).result, kErrBadHeader);

  // Width 0 (the frame's height would come in a DNL segment).
  std::vector<uint8_t> noWidth = good;
  noWidth[FindMarker(good, 0xC0) + 7] = noWidth[FindMarker(good, 0xC0) + 8] = 0;
  EXPECT_EQ(OurDecode(noWidth, 0).result, kErrBadHeader);
}

// Headers are looked for in the first 64 KB only.
TEST(JpegStream, FrameHeaderBeyondSixtyFourKilobytes) {
  const std::vector<uint8_t> good = JpegFixture("sampling-444.jpg");
  std::vector<uint8_t> body(60000, 0x20);
  EXPECT_EQ(OurDecode(Inserted(good, Segment(0xE2, body)), 0).result, kOk);
  std::vector<uint8_t> far = Inserted(good, Segment(0xE2, body));
  far = Inserted(far, Segment(0xE3, std::vector<uint8_t>(10000, 0x20)));
  EXPECT_EQ(OurDecode(far, 0).result, kErrBadHeader);
}

TEST(JpegStream, CommentsAreCutTo127Characters) {
  const std::vector<uint8_t> good = JpegFixture("gray.jpg");
  std::vector<uint8_t> text(300);
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<uint8_t>('a' + i % 26);
  const std::vector<uint8_t> bytes = Inserted(good, Segment(0xFE, text));
  PageRecord source{};
  source.data = const_cast<uint8_t*>(bytes.data());
  source.dataSize = static_cast<uint32_t>(bytes.size());
  source.compression = kJpeg;
  source.dataOwnership = kOwnedByView;
  testutil::Page out;
  out->compression = kUncompressed;
  ASSERT_EQ(ConvertPage(&source, out.get(), 0), kOk);
  EXPECT_EQ(std::string(out->comment), std::string(text.begin(), text.begin() + 127));
}

// A luminance DC table with codes up to 16 bits (valid, if odd) decodes to
// the same pixels as the usual tables.
TEST(JpegStream, LongDcCodes) {
  const Image picture = testutil::TestPicture(64, 48);
  EncodeOptions usual;
  EncodeOptions longCodes;
  longCodes.longDcCodes = true;
  const std::vector<uint8_t> a = PeerEncode(picture, usual), b = PeerEncode(picture, longCodes);
  ASSERT_FALSE(b.empty());
  ASSERT_NE(a, b);
  const Image ours = OurDecode(b, 0);
  ASSERT_EQ(ours.result, kOk);
  EXPECT_EQ(ours.pixels, OurDecode(a, 0).pixels);
  EXPECT_GE(testutil::Psnr(ours, PeerDecode(b)), 38);
  EXPECT_EQ(OurDecode(b, kFlagJpegEighth).pixels, OurDecode(a, kFlagJpegEighth).pixels);
}

// Motion-JPEG style streams without DHT segments read as JFIF files: the
// usual tables stand in for the missing ones.
TEST(JpegStream, MissingHuffmanTablesFallBackToTheUsualOnes) {
  const std::vector<uint8_t> good = JpegFixture("sampling-420.jpg");
  EXPECT_EQ(OurDecode(testutil::WithoutHuffmanTables(good), 0).pixels, OurDecode(good, 0).pixels);
  // A scan that names table 2, which nothing defines, is damaged.
  std::vector<uint8_t> third = good;
  third[FindMarker(good, 0xDA) + 6] = 0x22;
  EXPECT_EQ(OurDecode(third, 0).result, kErrDecompress);
}

// ConvertPage's result alone, for pictures too big to look at.
int32_t ResultOf(const std::vector<uint8_t>& bytes, int32_t flags) {
  PageRecord source{};
  source.data = const_cast<uint8_t*>(bytes.data());
  source.dataSize = static_cast<uint32_t>(bytes.size());
  source.compression = kJpeg;
  source.dataOwnership = kOwnedByView;
  testutil::Page out;
  out->compression = kUncompressed;
  return ConvertPage(&source, out.get(), flags);
}

// A progressive gray picture in 64 scans (DC, then each AC coefficient
// alone) decodes whole; in 65 scans (the DC in two), the scans after the
// 64th the decoder records are missing: damaged, and the partial picture
// on request.
TEST(JpegStream, ScanCountLimit) {
  const Image picture = testutil::TestPicture(40, 24);
  EncodeOptions o;
  o.gray = true;
  o.grayScans.push_back({0, 0, 0, 0});
  for (int k = 1; k < 64; ++k) o.grayScans.push_back({k, k, 0, 0});
  const std::vector<uint8_t> scans64 = PeerEncode(picture, o);
  o.grayScans[0] = {0, 0, 0, 1};
  o.grayScans.push_back({0, 0, 1, 0});
  const std::vector<uint8_t> scans65 = PeerEncode(picture, o);
  ASSERT_FALSE(scans64.empty());
  ASSERT_FALSE(scans65.empty());
  const Image whole = OurDecode(scans64, 0);
  ASSERT_EQ(whole.result, kOk);
  EXPECT_GE(testutil::Psnr(whole, PeerDecode(scans64)), 38);
  EXPECT_EQ(OurDecode(scans65, 0).result, kErrDecompress);
  const Image partial = OurDecode(scans65, kFlagKeepPartial);
  ASSERT_EQ(partial.result, kOk);
  EXPECT_GE(testutil::Psnr(partial, whole), 30) << "all but the last refinement";
}

// Frames too big for memory or for a page's line length.
TEST(JpegStream, OversizedFrames) {
  std::vector<uint8_t> huge = JpegFixture("sampling-444.jpg");
  const size_t sof = FindMarker(huge, 0xC0);
  huge[sof + 5] = huge[sof + 6] = huge[sof + 7] = huge[sof + 8] = 0xFF;  // 65535 x 65535
  EXPECT_EQ(ResultOf(huge, 0), kErrMemory);
  EXPECT_EQ(ResultOf(huge, kFlagJpegEighth), kErrDecompress);
  EXPECT_EQ(ResultOf(huge, kFlagKeepPartial | kFlagJpegEighth), kOk)
      << "one-eighth fits; the lines the data does not reach are blank";

  // 24000 colour pixels make 72000-byte lines, taken whole (a length once
  // cut at 65532 bytes); the half-size decode as well.
  const std::vector<uint8_t> wide = PeerEncode(testutil::TestPicture(24000, 8), EncodeOptions{});
  const Image full = OurDecode(wide, 0);
  ASSERT_EQ(full.result, kOk);
  EXPECT_EQ(full.width, 24000);
  const Image half = OurDecode(wide, kFlagJpegHalf);
  ASSERT_EQ(half.result, kOk);
  EXPECT_EQ(half.width, 12000);
  EXPECT_EQ(OurDecode(wide, kFlagJpegHalf | kFlagJpeg16Bpp).result, kOk);
}

}  // namespace
