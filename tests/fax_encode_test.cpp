// Fax encoding: exact round trips through our decoders, libtiff's decode of
// our output, and the coded form of the simple cases.
#include "support/suite.h"

#include <functional>

namespace {

// A bilevel picture from a rule: true = black.
Image Rule(int32_t width, int32_t height, const std::function<bool(int32_t, int32_t)>& black) {
  Image image(width, height, 1);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) image.at(x, y) = !black(x, y);
  return image;
}

struct Coding {
  int code;
  int tiffCompression;
};
const Coding kCodings[] = {{kG3OneD, COMPRESSION_CCITTFAX3},
                           {kModifiedHuffman, COMPRESSION_CCITTRLE},
                           {kG4, COMPRESSION_CCITTFAX4}};

// The encoder's bytes for a run-list page, or empty when it fails.
Bytes Encode(const PageRecord& runs, int code) {
  Page out;
  out.record = runs;
  out->data = nullptr;
  out->dataOwnership = 0;
  const int32_t result = code == kG4 ? EncodeG4(&runs, out.get()) : EncodeFaxOneD(&runs, out.get(), code == kModifiedHuffman);
  EXPECT_EQ(result, kOk);
  if (result != kOk) return {};
  EXPECT_EQ(out->dataOwnership, kOwnedByPage);
  EXPECT_EQ(out->fillOrderReversed, 0);
  return Bytes(out->data, out->data + out->dataSize);
}

// Our decoder's runs of `bytes` coded in `code`.
std::vector<std::vector<uint32_t>> DecodeRuns(const Bytes& bytes, int code, int32_t width, int32_t height) {
  PageRecord coded = CodedPage(bytes, code, width, height);
  Page back;
  if (bytes.empty() && code == kModifiedHuffman) {  // no lines coded, no EOL: still a page
    back.record = coded;
    EXPECT_EQ(DecodeModifiedHuffman(&coded, back.get(), 0), kOk);
  } else {
    EXPECT_EQ(Decode(&coded, back), kOk);
  }
  return testpix::RunLengths(back.record);
}

// Every coding of the page decodes to the same runs with our decoder, and
// libtiff decodes it to the same pixels.
void ExpectRoundTrips(const PageRecord& runs, const std::string& what) {
  const Image pixels = testpix::ReadPage(runs);
  for (const Coding& c : kCodings) {
    SCOPED_TRACE(what + ", coding " + std::to_string(c.code));
    const Bytes bytes = Encode(runs, c.code);
    EXPECT_EQ(DecodeRuns(bytes, c.code, runs.width, runs.height), testpix::RunLengths(runs));
    if (runs.width == 0 || runs.height == 0) continue;  // no such TIFF
    TiffSpec spec{runs.width, runs.height, 1, 1, PHOTOMETRIC_MINISWHITE, c.tiffCompression};
    EXPECT_TRUE(SamePixels(testpix::ToRaster(pixels), TiffRgba(TiffWithStrips(spec, {bytes}))));
  }
}

void ExpectRoundTrips(const Image& image, const std::string& what) {
  Page runs;
  testpix::MakeRunListPage(image, runs.get());
  ExpectRoundTrips(runs.record, what);
}

}  // namespace

TEST(FaxEncode, RoundTripsOfVariedPages) {
  ExpectRoundTrips(testpix::Uniform(1728, 6, 1, 1), "blank");
  ExpectRoundTrips(testpix::Uniform(1728, 6, 1, 0), "black");
  ExpectRoundTrips(Rule(97, 9, [](int32_t x, int32_t y) { return (x + y) % 2 == 0; }), "alternating pixels");
  ExpectRoundTrips(Rule(97, 9, [](int32_t x, int32_t) { return x % 2 == 1; }), "columns");
  // Runs of every length around the make-up codes, up to 5999 pixels.
  ExpectRoundTrips(Rule(6000, 8,
                        [](int32_t x, int32_t y) {
                          const int32_t cuts[8] = {2560, 2561, 2559, 3000, 5120, 64, 1727, 5999};
                          return y % 2 ? x >= cuts[y] : x < cuts[y];
                        }),
                   "long runs");
  ExpectRoundTrips(Image(0, 3, 1), "width 0");
  ExpectRoundTrips(Rule(1, 5, [](int32_t, int32_t y) { return y % 2 == 0; }), "width 1");
  ExpectRoundTrips(Image(40, 0, 1), "height 0");
  ExpectRoundTrips(testpix::Noise(517, 40, 1, 17), "random pixels");
  // Random runs of 1..300 pixels: every terminating and the low make-up
  // codes in both colours.
  std::mt19937 random(17);
  bool black = false;
  int32_t left = 0;
  ExpectRoundTrips(Rule(1999, 30,
                        [&](int32_t x, int32_t) {
                          if (x == 0) black = random() % 2, left = 0;
                          if (left == 0) {
                            black = !black;
                            left = 1 + static_cast<int32_t>(random() % (random() % 4 ? 64 : 300));
                          }
                          --left;
                          return black;
                        }),
                   "random runs");
}

TEST(FaxEncode, PagesOfFilesCodeAndDecodeTheSameInEveryCoding) {
  // libtiff's G3 2-D pages and ours in every coding meet in the same runs,
  // also through ConvertPage from the coded page and from the runs.
  for (const std::string& path : {DataPath("fax/dither-g3-2d.tif"), SamplePath("invoice-g3-2d.tif")}) {
    OpenedFile f(path);
    Page page, runs;
    ASSERT_EQ(f.Extract(page.get()), kOk);
    ASSERT_EQ(Decode(page.get(), runs), kOk);
    ExpectRoundTrips(runs.record, path);
    for (const Coding& c : kCodings) {
      Page coded, back;
      coded->compression = static_cast<int8_t>(c.code);
      ASSERT_EQ(ConvertPage(c.code == kG4 ? page.get() : runs.get(), coded.get(), 0), kOk);
      ASSERT_EQ(Decode(coded.get(), back), kOk);
      EXPECT_EQ(testpix::RunLengths(back.record), testpix::RunLengths(runs.record)) << c.code;
    }
  }
}

TEST(FaxEncode, SimplePagesCodeAsTheTablesSay) {
  const std::string eol = "000000000001";
  const Image startsBlack = Rule(8, 1, [](int32_t x, int32_t) { return x < 2; });  // black 2, white 6
  const std::tuple<const char*, Image, int, std::string> cases[] = {
      {"a white G3 line: EOL, make-up 1728, terminating 0; RTC", testpix::Uniform(1728, 1, 1, 1), kG3OneD,
       eol + "010011011 00110101" + eol + eol + eol + eol + eol + eol},
      {"MH lines are byte-aligned, without EOL: white 3, black 7",
       Rule(10, 2, [](int32_t x, int32_t) { return x >= 3; }), kModifiedHuffman, "1000 00011 | 1000 00011 |"},
      {"a line starting black begins with white 0", startsBlack, kModifiedHuffman, "00110101 11 1110 |"},
      // b1 = 8, a1 = 0: horizontal mode with white 0 and black 2, then
      // a1 = 8 = b1: V0; EOFB.
      {"G4 against the white reference line", startsBlack, kG4, "001 00110101 11 1" + eol + eol},
      {"a blank G4 page is one V0 bit a line", testpix::Uniform(1728, 8, 1, 1), kG4, "11111111" + eol + eol},
      {"3000 = 2560 + 384 + 56", testpix::Uniform(3000, 1, 1, 1), kModifiedHuffman,
       "000000011111 00110111 01011001 |"},
  };
  for (const auto& [rule, image, code, bits] : cases) {
    BitString expected;
    expected.Add(bits);
    Page runs;
    testpix::MakeRunListPage(image, runs.get());
    EXPECT_EQ(Encode(runs.record, code), expected.bytes) << rule;
  }
}

TEST(FaxEncode, MalformedRunListsAreRepairedNotOverrun) {
  // Hand-made lines of width 10: runs past the width, a zero-length run in
  // the middle, a line that stops short, a two-byte run longer than the line.
  Page runs;
  testpix::MakeRunLines({{3, 20}, {2, 3, 0, 4}, {4}, {0x80, 200, 5}}, 10, runs.get());
  const std::vector<std::vector<uint32_t>> expected = {{3, 7}, {2, 7, 1}, {10}, {10}};
  for (const Coding& c : kCodings) EXPECT_EQ(DecodeRuns(Encode(runs.record, c.code), c.code, 10, 4), expected) << c.code;
}

TEST(FaxEncode, RefusesPagesThatAreNotRunLists) {
  PageRecord runs{};
  runs.width = 40000;
  runs.height = 1;
  Page out;
  EXPECT_EQ(EncodeG4(&runs, out.get()), kErrParameter);
  runs.width = 10;
  runs.height = 2;  // lines but no data
  EXPECT_EQ(EncodeFaxOneD(&runs, out.get(), 0), kErrParameter);
  EXPECT_EQ(out->data, nullptr);
}
