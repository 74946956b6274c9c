// LZW in both variants: code streams written here bit by bit (the string
// table cases, the points where the code width grows, strips, interlacing,
// the predictor, cut streams), the codes the encoder writes.  The round
// trips are in runlength_test, the peers' reading in rle_lzw_files_test.
#include "support/suite.h"

namespace {

struct Code {
  uint32_t value;
  int width;
};

// Packs codes most significant bit first (TIFF) or least (GIF).
Bytes Pack(const std::vector<Code>& codes, bool msbFirst) {
  Bytes out;
  uint64_t bits = 0;
  int count = 0;
  for (const Code& c : codes) {
    if (msbFirst) {
      bits = (bits << c.width) | c.value;
      count += c.width;
      for (; count >= 8; count -= 8) out.push_back(static_cast<uint8_t>(bits >> (count - 8)));
    } else {
      bits |= static_cast<uint64_t>(c.value) << count;
      for (count += c.width; count >= 8; count -= 8, bits >>= 8) out.push_back(static_cast<uint8_t>(bits));
    }
  }
  if (count > 0) out.push_back(msbFirst ? static_cast<uint8_t>(bits << (8 - count)) : static_cast<uint8_t>(bits));
  return out;
}

// A TIFF-variant page (BlackIsZero: stored bits are the page's) or a GIF
// one (the descriptor's packed byte and the minimum code size first).
struct Stream {
  Bytes bytes;
  PageRecord record;
  Stream(bool gif, int32_t width, int32_t height, int bpp, const Bytes& codes, uint8_t packed = 0,
         uint8_t minCodeSize = 8)
      : bytes(gif ? Bytes{packed, minCodeSize} : Bytes{}) {
    bytes.insert(bytes.end(), codes.begin(), codes.end());
    record = CodedPage(bytes, gif ? kLzwGif : kLzwTiff, width, height, bpp);
    if (gif) record.bytesPerLine = BytesPerLine(width, bpp);
    record.photometric = gif ? 0 : 1;
  }
  Stream(const Stream&) = delete;
  int32_t Decode(Page& out, int32_t flags = 0) { return testutil::Decode(&record, out, flags); }
  // The decoded pixels, one value each, top line first.
  std::vector<uint32_t> Pixels(int32_t flags = 0) {
    Page out;
    return Decode(out, flags) == kOk ? testpix::ReadPage(out.record).px : std::vector<uint32_t>{};
  }
};

using Values = std::vector<uint32_t>;

}  // namespace

TEST(LzwDecode, KwKwKIsThePreviousStringPlusItsFirstByte) {
  // A, B, AB (258), then 260 before it is defined: AB + A.
  for (bool gif : {false, true}) {
    Stream s(gif, 7, 1, 8, Pack({{256, 9}, {'A', 9}, {'B', 9}, {258, 9}, {260, 9}, {257, 9}}, !gif));
    EXPECT_EQ(s.Pixels(), (Values{'A', 'B', 'A', 'B', 'A', 'B', 'A'})) << gif;
  }
}

TEST(LzwDecode, CodeWidthGrowsAt511ForTiffAnd512ForGif) {
  // Every code after the first adds an entry from 258 on: TIFF's next free
  // code reaches 511 after 254 codes, GIF's reaches 512 after 255.
  for (bool gif : {false, true}) {
    const int nine = gif ? 255 : 254;
    std::vector<Code> codes = {{256, 9}};
    Values expected;
    for (int i = 0; i < 300; ++i) {
      codes.push_back({static_cast<uint8_t>(i * 7), i < nine ? 9 : 10});
      expected.push_back(static_cast<uint8_t>(i * 7));
    }
    codes.push_back({257, 10});
    Stream s(gif, 300, 1, 8, Pack(codes, !gif));
    EXPECT_EQ(s.Pixels(), expected) << gif;
    // The same codes one width change later are a different stream.
    codes[nine + 1].width = 9;
    Stream late(gif, 300, 1, 8, Pack(codes, !gif));
    EXPECT_NE(late.Pixels(kFlagKeepPartial), expected) << gif;
  }
}

TEST(LzwDecode, InterlacedGifLinesGoToTheirPasses) {
  // Ten lines of one pixel, decoded line k holding k; at 1 bpp the line
  // pointers are reordered and pixel 0 is black.
  std::vector<Code> codes = {{256, 9}};
  for (uint32_t k = 0; k < 10; ++k) codes.push_back({k, 9});
  codes.push_back({257, 9});
  const Values display = {0, 5, 3, 6, 2, 7, 4, 8, 1, 9};
  Values white;
  for (uint32_t v : display) white.push_back(v != 0);
  for (int bpp : {8, 4, 1}) {
    Stream s(true, 1, 10, bpp, Pack(codes, false), 0x40);
    EXPECT_EQ(s.Pixels(), bpp == 1 ? white : display) << bpp;
  }
}

// The predictor undone at 8 and 24 bits: libtiff's files in
// rle_lzw_files_test.  Other depths have no byte-wise differencing.
TEST(LzwDecode, HorizontalPredictorAtOtherDepthsIsRefused) {
  for (int bpp : {1, 4}) {
    Stream s(false, 8, 1, bpp, Pack({{256, 9}, {1, 9}, {257, 9}}, true));
    s.record.layoutFlags = kLayoutTopDown | kLayoutPredictor;
    Page refused;
    EXPECT_EQ(s.Decode(refused), kErrUnsupported) << bpp;
  }
}

TEST(LzwDecode, APageOneLineShortIsAcceptedTwoShortAreDamage) {
  auto codes = [](int lines) {
    std::vector<Code> c = {{256, 9}};
    for (int i = 0; i < 4 * lines; ++i) c.push_back({static_cast<uint32_t>(i + 1), 9});
    c.push_back({257, 9});
    return Pack(c, true);
  };
  Stream oneShort(false, 4, 3, 8, codes(2)), twoShort(false, 4, 3, 8, codes(1));
  EXPECT_EQ(oneShort.Pixels(), (Values{1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0}));
  Page failed;
  EXPECT_EQ(twoShort.Decode(failed), kErrDecompress);
  EXPECT_EQ(failed->data, nullptr);
  EXPECT_EQ(twoShort.Pixels(kFlagKeepPartial), (Values{1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0}));
  // Bilevel: lines not decoded are empty lines.
  Stream bilevel(false, 8, 3, 1, Pack({{256, 9}, {0xF0, 9}, {257, 9}}, true));
  Page runs;
  ASSERT_EQ(bilevel.Decode(runs, kFlagKeepPartial), kOk);
  uint8_t** lines = LinePointers(runs.record);
  EXPECT_EQ(Bytes(lines[0], lines[0] + 5), (Bytes{4, 4, 0, 0, 0}));
  EXPECT_EQ(Bytes(lines[1], lines[1] + 4), Bytes(4, 0));
}

TEST(LzwDecode, UndefinedCodesFail) {
  // The first code after a clear code names no string.
  Stream first(true, 4, 2, 8, Pack({{256, 9}, {300, 9}, {257, 9}}, false));
  Page out;
  EXPECT_EQ(first.Decode(out), kErrDecompress);
  EXPECT_EQ(out->data, nullptr);
  // A code beyond the next free one, after a line was decoded: with the
  // partial-result flag the line stays.
  Stream later(true, 4, 2, 8, Pack({{256, 9}, {1, 9}, {2, 9}, {3, 9}, {4, 9}, {400, 9}}, false));
  EXPECT_EQ(later.Decode(out), kErrDecompress);
  EXPECT_EQ(later.Pixels(kFlagKeepPartial), (Values{1, 2, 3, 4, 0, 0, 0, 0}));
}

TEST(LzwDecode, GifMinimumCodeSizeOutside2To11IsRefused) {
  const Bytes codes = Pack({{4, 3}, {1, 3}, {5, 3}}, false);
  for (uint8_t size : {0, 1, 12, 200}) {
    Stream s(true, 1, 1, 1, codes, 0, size);
    Page out;
    EXPECT_EQ(s.Decode(out, kFlagKeepPartial), kErrDecompress) << int(size);
  }
  // Sizes 2 and 11 decode: clear 4 / 2048, codes 3 / 12 bits wide.
  Stream two(true, 1, 1, 1, codes, 0, 2);
  EXPECT_EQ(two.Pixels(), Values{1});
  Stream eleven(true, 2, 1, 8, Pack({{2048, 12}, {7, 12}, {9, 12}, {2049, 12}}, false), 0, 11);
  EXPECT_EQ(eleven.Pixels(), (Values{7, 9}));
}

TEST(LzwDecode, EachStripIsItsOwnStreamAndNothingPastItIsRead) {
  // Strip 0 (one line of 2) ends after its first code; strip 1 follows it
  // in memory.  Reading on into strip 1 would decode its clear code.
  const Bytes strip0 = Pack({{256, 9}, {'A', 9}}, true), strip1 = Pack({{256, 9}, {'C', 9}, {'D', 9}, {257, 9}}, true);
  Bytes both = strip0;
  both.insert(both.end(), strip1.begin(), strip1.end());
  Stream s(false, 2, 2, 8, both);
  uint32_t offsets[2] = {0, static_cast<uint32_t>(strip0.size())};
  uint32_t counts[2] = {static_cast<uint32_t>(strip0.size()), static_cast<uint32_t>(strip1.size())};
  s.record.stripCount = 2;
  s.record.stripOffsets = offsets;
  s.record.stripByteCounts = counts;
  s.record.rowsPerStrip = 1;
  EXPECT_EQ(s.Pixels(), (Values{'A', 0, 'C', 'D'}));
}

TEST(LzwDecode, TiffBilevelPolarityFollowsPhotometric) {
  // Stored byte 0xF0: BlackIsZero keeps it, WhiteIsZero inverts it.
  for (int8_t photometric : {0, 1}) {
    Stream s(false, 8, 1, 1, Pack({{256, 9}, {0xF0, 9}, {257, 9}}, true));
    s.record.photometric = photometric;
    EXPECT_EQ(s.Pixels(), photometric ? Values({1, 1, 1, 1, 0, 0, 0, 0}) : Values({0, 0, 0, 0, 1, 1, 1, 1}));
  }
}

// The vector builds of the row fix-up against the portable one, at every
// length a row of a few pixels can have.
TEST(LzwDecode, DifferencedColourRowsMatchThePortableFixUp) {
  std::mt19937 rng(5);
  for (uint32_t pixels = 0; pixels < 70; ++pixels) {
    Bytes row(pixels * 3);
    for (uint8_t& b : row) b = static_cast<uint8_t>(rng());
    Bytes portable = row;
    UndoDifferencingToBgr(portable.data(), static_cast<uint32_t>(portable.size()), RowsBuild::kPortable);
    for (RowsBuild build : {RowsBuild::kSse2, RowsBuild::kSsse3, RowsBuild::kBest}) {
      Bytes fixed = row;
      UndoDifferencingToBgr(fixed.data(), static_cast<uint32_t>(fixed.size()), build);
      ASSERT_EQ(fixed, portable) << pixels << " build " << static_cast<int>(build);
    }
  }
}

namespace {

// The codes of an encoded stream, read with the decoders' width rule: clear
// code 2^m, the width growing when the next code reaches 2^width (GIF) or
// 2^width - 1 (TIFF).
Values StreamCodes(const Bytes& data, bool gif) {
  Values codes;
  const int m = gif ? data[1] : 8;
  const uint32_t clear = 1u << m, early = gif ? 0 : 1;
  int width = m + 1;
  uint32_t next = clear + 2;
  bool first = true;
  for (uint64_t bit = gif ? 16 : 0; bit + width <= data.size() * 8;) {
    uint32_t code = 0;
    for (int k = 0; k < width; ++k, ++bit) {
      const uint32_t b = gif ? (data[bit / 8] >> (bit % 8)) & 1 : (data[bit / 8] >> (7 - bit % 8)) & 1;
      code = gif ? code | (b << k) : (code << 1) | b;
    }
    codes.push_back(code);
    if (code == clear + 1) break;
    if (code == clear) {
      width = m + 1, next = clear + 2, first = true;
      continue;
    }
    if (!first && next < 4096 && ++next == (1u << width) - early && width < 12) ++width;
    first = false;
  }
  return codes;
}

Bytes Encoded(const Image& image, int code, Page& encoded) {
  Page original;
  testpix::MakePage(image, original.get());
  encoded->compression = static_cast<int8_t>(code);
  EXPECT_EQ(ConvertPage(original.get(), encoded.get(), 0), kOk);
  return Bytes(encoded->data, encoded->data + encoded->dataSize);
}

}  // namespace

// Pages of every length up to a few hundred codes, some ending just where
// the last code's table entry widens the codes: the end code has the width
// the decoder expects.  The round trips are in runlength_test.
TEST(LzwEncode, TheEndCodeHasTheWidthOfTheLastEntry) {
  for (int bpp : {1, 8})
    for (int code : {int{kLzwTiff}, int{kLzwGif}})
      for (int32_t width = 1; width <= 1100; width += (bpp == 8 ? 1 : 7)) {
        Page encoded;
        const Values codes =
            StreamCodes(Encoded(testpix::Patterned(width, 1, bpp, Pattern::kNoise, width), code, encoded), code == kLzwGif);
        const uint32_t clear = code == kLzwGif && bpp == 1 ? 4 : 256;
        ASSERT_FALSE(codes.empty());
        EXPECT_EQ(codes.front(), clear);
        ASSERT_EQ(codes.back(), clear + 1) << code << " width " << width;
      }
}

TEST(LzwEncode, GifBilevelPagesStartWithThreeBitCodes) {
  Page encoded;
  const Bytes data = Encoded(testpix::Patterned(40, 30, 1, Pattern::kRuns, 1), kLzwGif, encoded);
  ASSERT_GE(data.size(), 3u);
  EXPECT_EQ(data[0], 0);  // not interlaced
  EXPECT_EQ(data[1], 2);  // minimum code size: clear 4, end 5
  EXPECT_EQ(data[2] & 7, 4);
  EXPECT_EQ(StreamCodes(data, true).back(), 5u);
}

TEST(LzwEncode, IncompressiblePagesFitTheirOutput) {
  // Noise costs about 12 bits a byte once the table is full.
  const Image noise = testpix::Patterned(2000, 40, 8, Pattern::kNoise, 21);
  for (int code : {int{kLzwTiff}, int{kLzwGif}}) {
    Page encoded, decoded;
    Encoded(noise, code, encoded);
    EXPECT_GT(encoded->dataSize, 2000u * 40);
    ASSERT_EQ(Decode(encoded.get(), decoded), kOk);
    EXPECT_TRUE(testpix::SameImage(noise, testpix::ReadPage(decoded.record)));
  }
  Page original;
  testpix::MakePage(testpix::Uniform(4, 1, 24, 1), original.get());
  PageRecord out = original.record;
  EXPECT_EQ(EncodeLzw(original.get(), &out, kLzwVariantGif), kErrParameter);
}
