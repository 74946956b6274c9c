// JPEG decoding of whole streams against libjpeg-turbo: every sampling
// layout, gray, progressive, restarts, odd sizes, at full, half and
// one-eighth size; the output paths against each other; damaged, hostile
// and unusual streams; the variants the decoder refuses.
#include "support/suite.h"

namespace {

Bytes Fixture(const std::string& name) { return ReadFileBytes(DataPath("jpeg/" + name)); }
Raster Ours(const Bytes& jpeg, int32_t flags = 0) { return DecodeBytes(jpeg, kJpeg, flags); }

// Every picture of tests/data/jpeg a decoder exists for.
class JpegFixtures : public ::testing::TestWithParam<std::string> {};

}  // namespace

// Full size against the peer's accurate transform: 38 dB; half size
// against the peer's own half size (a 4 x 4 transform with chroma
// replicated at the reduced size): 34 dB; one-eighth against the peer's
// one-eighth: 38 dB but for 4:2:0 frames.  The reduced sizes are also the
// digests recorded after they were checked against the peer's full picture
// averaged in 2 x 2 groups (38 dB) and against the DC picture of the
// peer's coefficients (40 dB).
TEST_P(JpegFixtures, DecodeAtEverySizeLikeThePeer) {
  const Bytes bytes = ReadFileBytes(DataPath(GetParam()));
  const Raster full = Ours(bytes), half = Ours(bytes, kFlagJpegHalf), eighth = Ours(bytes, kFlagJpegEighth);
  const Raster peer = JpegDecode(bytes);
  ASSERT_EQ(full.result, kOk);
  EXPECT_EQ(full.width, peer.width);
  EXPECT_EQ(full.height, peer.height);
  EXPECT_GE(Psnr(full, peer), 38);
  EXPECT_EQ(half.width, (peer.width + 1) / 2);
  EXPECT_EQ(half.height, (peer.height + 1) / 2);
  EXPECT_GE(Psnr(half, JpegDecode(bytes, 2)), 34);
  EXPECT_EQ(eighth.width, (peer.width + 7) / 8);
  EXPECT_EQ(eighth.height, (peer.height + 7) / 8);
  // 4:2:0: the peer's one-eighth output rebuilds chroma at 2 x 2 from AC
  // coefficients, ours from the DC.
  const JpegCoefficients c = JpegReadCoefficients(bytes);
  if (c.components.size() == 1 || c.components[0].horizontal * c.components[0].vertical < 4) {
    EXPECT_GE(Psnr(eighth, JpegDecode(bytes, 8)), 38);
  }
  const std::string stem = GetParam().substr(5, GetParam().find('.') - 5);
  EXPECT_TRUE(MatchesDigest("jpeg-" + stem + "-half", half, "libjpeg-turbo, its full picture averaged"));
  EXPECT_TRUE(MatchesDigest("jpeg-" + stem + "-eighth", eighth, "libjpeg-turbo, its DC coefficients"));
}

// 16-bpp output is the 24-bpp output packed to 5-6-5; decoding into the
// caller's buffer gives what a fresh buffer gets, the line padding cleared.
TEST_P(JpegFixtures, OutputPathsAgree) {
  const Bytes bytes = ReadFileBytes(DataPath(GetParam()));
  const Raster size = JpegDecode(bytes);
  for (int32_t scale : {0, int32_t{kFlagJpegHalf}, int32_t{kFlagJpegEighth}}) {
    const Raster rgb = Ours(bytes, scale);
    EXPECT_TRUE(SamePixels(rgb.channels == 3 ? Widened565(rgb) : rgb, Ours(bytes, scale | kFlagJpeg16Bpp)))
        << "flags " << scale;
    PageRecord source = CodedPage(bytes, kJpeg, size.width, size.height);
    Bytes buffer(4 * 1024 * 1024 / 8 + 65536, 0xA5);
    PageRecord into{};
    into.compression = kUncompressed;
    into.data = buffer.data();
    into.dataSize = static_cast<uint32_t>(buffer.size());
    ASSERT_EQ(ConvertPage(&source, &into, scale | kFlagIntoDestination), kOk);
    EXPECT_EQ(into.data, buffer.data());
    EXPECT_TRUE(SamePixels(rgb, PageRaster(into))) << "flags " << scale;
    const uint32_t row = RowBytes(into.width, into.bitsPerPixel);
    for (int32_t y = 0; y < into.height; ++y)
      for (uint32_t k = row; k < into.bytesPerLine; ++k) ASSERT_EQ(buffer[y * into.bytesPerLine + k], 0);
    Release(into.palette);
  }
}

std::vector<std::string> DecodableJpegFixtures() {
  std::vector<std::string> names = DataFiles("jpeg", {".jpg"});
  std::erase_if(names, [](const std::string& n) { return n == "jpeg/arithmetic.jpg" || n == "jpeg/sampling-411.jpg"; });
  return names;
}
INSTANTIATE_TEST_SUITE_P(Decode, JpegFixtures, ::testing::ValuesIn(DecodableJpegFixtures()),
                         [](const auto& info) { return TestName(info.param.substr(5, info.param.find('.') - 5)); });

// A progressive picture and the sequential stream of the same coefficients
// (jpegtran) decode to the same pixels; so do sequential pictures coded in
// one scan and in one scan per component, and pictures with restart
// markers.  One-eighth wins over half size.
TEST(JpegDecode, ScanStructureDoesNotChangeThePixels) {
  for (int32_t flags : {0, int32_t{kFlagJpegHalf}, int32_t{kFlagJpegEighth}}) {
    const Raster baseline = Ours(Fixture("progressive-as-baseline.jpg"), flags);
    EXPECT_EQ(Ours(Fixture("progressive.jpg"), flags).pixels, baseline.pixels) << flags;
    EXPECT_EQ(Ours(Fixture("restart-every-mcu.jpg"), flags).pixels, baseline.pixels) << flags;
    EXPECT_EQ(Ours(Fixture("progressive-gray.jpg"), flags).pixels, Ours(Fixture("gray.jpg"), flags).pixels);
  }
  // Every component two blocks high (as Motion-JPEG writers code 4:2:2
  // and 4:4:4) is the usual layout in another order.
  for (const char* layout : {"422", "444"})
    for (int32_t flags : {0, int32_t{kFlagJpegHalf}, int32_t{kFlagJpegEighth}})
      EXPECT_EQ(Ours(Fixture(std::string("sampling-") + layout + "-doubled.jpg"), flags).pixels,
                Ours(Fixture(std::string("sampling-") + layout + ".jpg"), flags).pixels)
          << layout << " " << flags;
  const Bytes bytes = Fixture("sampling-444.jpg");
  const Raster both = Ours(bytes, kFlagJpegEighth | kFlagJpegHalf);
  EXPECT_EQ(both.width, 14);
  EXPECT_EQ(both.pixels, Ours(bytes, kFlagJpegEighth).pixels);
}

TEST(JpegDecode, VariantsWithoutADecoderAreRefused) {
  // The frame header patched: marker code, precision.
  auto withFrame = [](Bytes bytes, int marker, int precision) {
    const size_t sof = FindJpegSegment(bytes, 0xC0);
    bytes[sof + 1] = static_cast<uint8_t>(marker);
    bytes[sof + 4] = static_cast<uint8_t>(precision);
    return bytes;
  };
  EXPECT_EQ(Ours(Fixture("arithmetic.jpg")).result, kErrUnsupported);
  EXPECT_EQ(Ours(Fixture("sampling-411.jpg")).result, kErrUnsupported)
      << "a layout without a reconstruction routine is not a blank success";
  const Bytes bytes = Fixture("sampling-444.jpg");
  EXPECT_EQ(Ours(withFrame(bytes, 0xC0, 12)).result, kErrUnsupported) << "12-bit";
  EXPECT_EQ(Ours(withFrame(bytes, 0xC3, 8)).result, kErrUnsupported) << "lossless";
  EXPECT_EQ(Ours(withFrame(bytes, 0xC9, 8)).result, kErrUnsupported) << "arithmetic";
  EXPECT_EQ(Ours(withFrame(bytes, 0xC1, 8)).pixels, Ours(bytes).pixels)
      << "extended sequential with 8-bit samples is decoded as baseline";
  EXPECT_EQ(Ours(bytes, kFlagJpegThumbnail | kFlagIntoDestination).result, kErrParameter);
}

// Cut streams keep, on request, every line up to the cut and blank below
// the MCU row that was cut short; without the request they are damage.
TEST(JpegDecode, TruncatedStreamsKeepTheirDecodedLinesOnRequest) {
  for (const char* name : {"sampling-420.jpg", "restart-every-mcu.jpg", "progressive.jpg"}) {
    const Bytes bytes = Fixture(name);
    const Raster full = Ours(bytes);
    const size_t sos = FindJpegSegment(bytes, 0xDA);
    for (size_t cut : {sos - 1, sos + 60, bytes.size() / 2, bytes.size() - 40}) {
      SCOPED_TRACE(std::string(name) + " cut at " + std::to_string(cut));
      const Bytes head(bytes.begin(), bytes.begin() + cut);
      const Raster strict = Ours(head), kept = Ours(head, kFlagKeepPartial);
      if (cut < sos) {
        EXPECT_EQ(strict.result, kErrBadHeader);
        EXPECT_EQ(kept.result, kErrBadHeader);
        continue;
      }
      EXPECT_TRUE(strict.result == kErrDecompress || strict.pixels == full.pixels) << strict.result;
      ASSERT_EQ(kept.result, kOk);
      if (std::string(name) == "progressive.jpg") {  // every scan but the last refinements
        if (cut == bytes.size() - 40) {
          EXPECT_GE(Psnr(kept, full), 30);
        }
        continue;
      }
      const size_t row = static_cast<size_t>(full.width) * full.channels;
      int firstShort = full.height;
      for (int y = 0; y < full.height; ++y) {
        const uint8_t* a = &kept.pixels[y * row];
        size_t same = 0;
        while (same < row && a[same] == full.pixels[y * row + same]) ++same;
        if (same < row && firstShort == full.height) firstShort = y;
        for (size_t x = y >= firstShort + 16 ? 0 : same; x < row; ++x) ASSERT_EQ(a[x], 0) << "line " << y;
      }
    }
  }
}

TEST(JpegDecode, HeaderFaults) {
  const Bytes good = Fixture("sampling-444.jpg");
  EXPECT_EQ(Ours(Bytes(good.begin() + 2, good.end())).result, kErrBadHeader) << "no SOI";
  EXPECT_EQ(Ours({0xFF, 0xD8, 0xFF, 0xD9}).result, kErrBadHeader) << "EOI before a frame";
  EXPECT_EQ(Ours({}).result, kErrParameter) << "no data";
  Bytes noScan(good.begin(), good.begin() + static_cast<long>(FindJpegSegment(good, 0xDA)));
  noScan.insert(noScan.end(), {0xFF, 0xD9});
  EXPECT_EQ(Ours(noScan).result, kErrBadHeader) << "no scan header";
  Bytes badFrame = good;
  badFrame[FindJpegSegment(good, 0xC0) + 3] += 3;
  EXPECT_NE(Ours(badFrame).result, kOk) << "a frame length that does not fit its components";
  Bytes badScan = good;
  badScan[FindJpegSegment(good, 0xDA) + 5] = 99;
  EXPECT_EQ(Ours(badScan).result, kErrBadHeader) << "a scan naming a component the frame lacks";
  Bytes noTables = good;
  for (size_t at; (at = FindJpegSegment(noTables, 0xDB)) != 0;)
    noTables.erase(noTables.begin() + static_cast<long>(at),
                   noTables.begin() + static_cast<long>(at + 2 + (noTables[at + 2] << 8 | noTables[at + 3])));
  EXPECT_EQ(Ours(noTables).result, kErrBadHeader) << "no quantisation tables";
  Bytes noWidth = good;
  noWidth[FindJpegSegment(good, 0xC0) + 7] = noWidth[FindJpegSegment(good, 0xC0) + 8] = 0;
  EXPECT_EQ(Ours(noWidth).result, kErrBadHeader) << "width 0 (the height would come in a DNL segment)";
  // Headers are looked for in the first 64 KB only.
  const Bytes near = JpegWithSegment(good, 0xE2, Bytes(60000, 0x20));
  EXPECT_EQ(Ours(near).result, kOk);
  EXPECT_EQ(Ours(JpegWithSegment(near, 0xE3, Bytes(10000, 0x20))).result, kErrBadHeader);
}

// Fill bytes before markers and junk between segments (stray bytes, 0xFF
// followed by no marker) are skipped, in the header, between scans and by
// the reader's own walk to the frame header; 64 KB of junk is still a bad
// header.
TEST(JpegDecode, FillBytesAndJunkBetweenSegments) {
  const Bytes fill{0xFF, 0xFF, 0xFF}, junk{0x00, 0x41, 0xFF, 0x12, 0x42, 0xFF, 0x07, 0x0D, 0x0A};
  auto before = [](Bytes bytes, size_t at, const Bytes& insert) {
    bytes.insert(bytes.begin() + static_cast<long>(at), insert.begin(), insert.end());
    return bytes;
  };
  TempDir dir;
  for (const char* name : {"sampling-420.jpg", "progressive.jpg"}) {
    const Bytes good = Fixture(name);
    const Raster expected = Ours(good);
    ASSERT_EQ(expected.result, kOk);
    for (int marker : {0xDB, 0xC4, 0xC0, 0xC2, 0xDA}) {
      const size_t at = FindJpegSegment(good, marker);
      if (at == 0) continue;
      for (const Bytes& insert : {fill, junk, Concat({junk, fill})}) {
        SCOPED_TRACE(std::string(name) + " before marker " + std::to_string(marker));
        const Bytes bytes = before(good, at, insert);
        EXPECT_EQ(Ours(bytes).pixels, expected.pixels);
        const Raster opened = FileRaster(dir.Write("junk.jpg", bytes));
        EXPECT_EQ(opened.result, kOk);
        EXPECT_EQ(opened.pixels, expected.pixels);
      }
    }
  }
  // Between the scans of a progressive frame, after a comment segment.
  const Bytes progressive = Fixture("progressive.jpg");
  size_t lastScan = progressive.size() - 2;
  while (!(progressive[lastScan] == 0xFF && progressive[lastScan + 1] == 0xDA)) --lastScan;
  const Bytes comment{0xFF, 0xFE, 0x00, 0x04, 'a', 'b'};
  EXPECT_EQ(Ours(before(progressive, lastScan, Concat({comment, junk, fill}))).pixels,
            Ours(progressive).pixels);
  EXPECT_EQ(Ours(before(progressive, lastScan, Concat({comment, Bytes(70000, 0x20)}))).result,
            kErrBadHeader);
  const Bytes good = Fixture("sampling-420.jpg");
  EXPECT_EQ(Ours(before(good, FindJpegSegment(good, 0xC0), Bytes(66000, 0x20))).result, kErrBadHeader);
}

TEST(JpegDecode, CommentsAreCutTo127Characters) {
  Bytes text(300);
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<uint8_t>('a' + i % 26);
  const Bytes bytes = JpegWithSegment(Fixture("gray.jpg"), 0xFE, text);
  PageRecord source = CodedPage(bytes, kJpeg, 0, 0, 24);
  Page out;
  ASSERT_EQ(Decode(&source, out), kOk);
  EXPECT_EQ(std::string(out->comment), std::string(text.begin(), text.begin() + 127));
}

// A luminance DC table with codes up to 16 bits (valid, if odd) decodes to
// the same pixels as the usual tables.
TEST(JpegDecode, LongDcCodes) {
  const Raster picture = TestPicture(64, 48);
  const Bytes usual = JpegEncode(picture), longCodes = JpegEncode(picture, {.longDcCodes = true});
  ASSERT_NE(usual, longCodes);
  for (int32_t flags : {0, int32_t{kFlagJpegEighth}}) {
    const Raster ours = Ours(longCodes, flags);
    ASSERT_EQ(ours.result, kOk);
    EXPECT_EQ(ours.pixels, Ours(usual, flags).pixels);
  }
}

// Streams without DHT segments (as Motion-JPEG frames are) take the usual
// tables; a scan naming table 2, which nothing defines, is damaged.
TEST(JpegDecode, MissingHuffmanTablesFallBackToTheUsualOnes) {
  const Bytes good = Fixture("sampling-420.jpg");
  Bytes bare(good.begin(), good.begin() + 2);
  for (size_t i = 2; i < good.size();) {
    const size_t length = good[i + 1] == 0xDA ? good.size() - i : 2u + (good[i + 2] << 8 | good[i + 3]);
    if (good[i + 1] != 0xC4) bare.insert(bare.end(), good.begin() + i, good.begin() + i + length);
    i += length;
  }
  EXPECT_EQ(Ours(bare).pixels, Ours(good).pixels);
  Bytes third = good;
  third[FindJpegSegment(good, 0xDA) + 6] = 0x22;
  EXPECT_EQ(Ours(third).result, kErrDecompress);
}

// A progressive gray picture in 64 scans (DC, then each AC coefficient
// alone) decodes whole; in 65 scans (the DC in two), the scans after the
// 64th the decoder records are missing: damaged, and the partial picture
// on request.
TEST(JpegDecode, ScanCountLimit) {
  const Raster picture = TestPicture(40, 24);
  JpegOptions o{.gray = true};
  o.grayScans.push_back({0, 0, 0, 0});
  for (int k = 1; k < 64; ++k) o.grayScans.push_back({k, k, 0, 0});
  const Bytes scans64 = JpegEncode(picture, o);
  o.grayScans[0] = {0, 0, 0, 1};
  o.grayScans.push_back({0, 0, 1, 0});
  const Bytes scans65 = JpegEncode(picture, o);
  const Raster whole = Ours(scans64);
  ASSERT_EQ(whole.result, kOk);
  EXPECT_GE(Psnr(whole, JpegDecode(scans64)), 38);
  EXPECT_EQ(Ours(scans65).result, kErrDecompress);
  EXPECT_GE(Psnr(Ours(scans65, kFlagKeepPartial), whole), 30) << "all but the last refinement";
}

// Frames too big for memory or for a page's line length.
TEST(JpegDecode, OversizedFrames) {
  Bytes huge = Fixture("sampling-444.jpg");
  const size_t sof = FindJpegSegment(huge, 0xC0);
  huge[sof + 5] = huge[sof + 6] = huge[sof + 7] = huge[sof + 8] = 0xFF;  // 65535 x 65535
  EXPECT_EQ(Ours(huge).result, kErrMemory);
  EXPECT_EQ(Ours(huge, kFlagJpegEighth).result, kErrDecompress);
  EXPECT_EQ(Ours(huge, kFlagKeepPartial | kFlagJpegEighth).result, kOk)
      << "one-eighth fits; the lines the data does not reach are blank";
  // 24000 colour pixels make 72000-byte lines, taken whole (a length once
  // cut at 65532 bytes); the half-size decode as well.
  const Bytes wide = JpegEncode(TestPicture(24000, 8));
  EXPECT_EQ(Ours(wide).width, 24000);
  EXPECT_EQ(Ours(wide, kFlagJpegHalf).width, 12000);
  EXPECT_EQ(Ours(wide, kFlagJpegHalf | kFlagJpeg16Bpp).result, kOk);
}
