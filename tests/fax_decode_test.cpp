// Fax decoding: the code tables, pixel-exact decoding of files made by
// libtiff, ImageMagick and Pillow (which also reads the bits at every data
// end), fill order, and what is kept of a page whose data ends early.
#include "support/suite.h"

#include <span>

#include "imaging/codecs/fax.h"
#include "imaging/codecs/fax_tables.h"

namespace {

std::string Bits(const FaxCodeRow& row) {
  std::string s;
  for (int i = row.length - 1; i >= 0; --i) s += (row.bits >> i) & 1 ? '1' : '0';
  return s;
}

// The run a one-dimensional code decodes to, and the bits it took.
std::pair<int16_t, uint32_t> DecodeRun(const std::string& bits, bool white) {
  BitString b;
  b.Add(bits);
  uint32_t byteIndex = 0;
  int32_t bitIndex = 0;
  const uint32_t size = static_cast<uint32_t>(b.bytes.size());
  const int16_t v = white ? DecodeWhiteRun(b.bytes.data(), size, &byteIndex, &bitIndex)
                          : DecodeBlackRun(b.bytes.data(), size, &byteIndex, &bitIndex);
  return {v, byteIndex * 8 + static_cast<uint32_t>(bitIndex)};
}

}  // namespace

TEST(FaxTables, EveryOneDCodeDecodesToItsRow) {
  auto check = [](const FaxCodeRow& row, bool white) {
    // A make-up code is followed by the terminating code for 0.
    const std::string bits = Bits(row) + (row.run >= 64 ? Bits(white ? kWhiteCodes[0] : kBlackCodes[0]) : "");
    EXPECT_EQ(DecodeRun(bits + "1111", white), std::make_pair(row.run, static_cast<uint32_t>(bits.size())))
        << (white ? "white " : "black ") << bits;
  };
  for (const FaxCodeRow& row : kWhiteCodes) check(row, true);
  for (const FaxCodeRow& row : kBlackCodes) check(row, false);
  for (const FaxCodeRow& row : kExtendedMakeupCodes) {
    check(row, true);
    check(row, false);
  }
  for (bool white : {true, false}) {
    EXPECT_EQ(DecodeRun("000000000001 1", white), std::make_pair(kFaxEol, 12u));
    EXPECT_EQ(DecodeRun("000000001011 1", white), std::make_pair(kFaxExtension1D, 12u));
    // Twelve or more zeros are fill: one bit, a run of 0; ten zeros and a
    // one start no code.
    EXPECT_EQ(DecodeRun("0000000000000 1", white), std::make_pair(int16_t{0}, 1u));
    EXPECT_EQ(DecodeRun("00000000001 0", white), std::make_pair(kFaxInvalid, 1u));
  }
  // Make-ups add up: 2560 + 2560 + 1728 + 5 (white).
  const std::string sum = Bits(kExtendedMakeupCodes[12]) + Bits(kExtendedMakeupCodes[12]) +
                          Bits(kWhiteCodes[63 + 27]) + Bits(kWhiteCodes[5]);
  EXPECT_EQ(DecodeRun(sum, true).first, 2560 + 2560 + 1728 + 5);
}

namespace {

// A page of a file in tests/data (a path with a folder) or of a sample.
using FaxPage = std::pair<std::string, int32_t>;

class FaxDecodeFiles : public ::testing::TestWithParam<FaxPage> {};

}  // namespace

TEST_P(FaxDecodeFiles, DecodePixelExactAgainstLibtiffWithoutWritingTheView) {
  const auto [name, index] = GetParam();
  const std::string path = name.find('/') != std::string::npos ? DataPath(name) : SamplePath(name);
  const Bytes file = ReadFileBytes(path);
  OpenedFile f(path);
  Page page, runs;
  ASSERT_EQ(f.Extract(page.get(), index), kOk);
  const int codings[] = {kModifiedHuffman, kG3OneD, kG3TwoD, kG4};
  ASSERT_NE(std::find(std::begin(codings), std::end(codings), page->compression), std::end(codings));
  const bool reversed = page->fillOrderReversed;
  ASSERT_EQ(Decode(page.get(), runs), kOk);
  const Raster expected = TiffRgba(file, index);
  EXPECT_TRUE(SamePixels(expected, PageRaster(runs.record)));
  const auto black = std::count(expected.pixels.begin(), expected.pixels.end(), 0);
  EXPECT_GT(black, 0);  // both colours are present, so the comparison means something
  EXPECT_LT(black, static_cast<std::ptrdiff_t>(expected.pixels.size()) * 9 / 10);
  // Bits in reverse order are put right once, in a buffer of the page's own.
  if (reversed) {
    EXPECT_EQ(page->fillOrderReversed, 0);
    EXPECT_EQ(page->dataOwnership, kOwnedByPage);
  }
  EXPECT_EQ(0, std::memcmp(f->view, file.data(), file.size()));
}

// Every page of tests/data/fax, and the fax samples' pages.
std::vector<FaxPage> FaxPages() {
  std::vector<FaxPage> pages = {{"letter-g4.tif", 0}, {"memo-g3-2page.tif", 0}, {"memo-g3-2page.tif", 1},
                                {"invoice-g3-2d.tif", 0}, {"pages-bigendian.tif", 1}};
  for (const std::string& name : DataFiles("fax", {".tif"})) pages.emplace_back(name, 0);
  return pages;
}
INSTANTIATE_TEST_SUITE_P(Fixtures, FaxDecodeFiles, ::testing::ValuesIn(FaxPages()),
                         [](const auto& info) { return TestName(info.param.first + "_" + std::to_string(info.param.second)); });

// Two thirds of the coded data: without the keep-partial flag the
// two-dimensional codings fail and leave the source as it was; with it the
// top of the page survives and the rest is blank (one-dimensional data
// may end inside a line, which is then kept cut short).
TEST(FaxDecode, APageCutShortKeepsItsTopLinesOnRequest) {
  for (const char* name : {"text-g4.tif", "text-g3-2d.tif", "text-mh.tif", "long-g3-1d.tif"}) {
    SCOPED_TRACE(name);
    OpenedFile f(DataPath(std::string("fax/") + name));
    Page whole, cut, strict, kept;
    ASSERT_EQ(f.Extract(whole.get()), kOk);
    ASSERT_EQ(f.Extract(cut.get()), kOk);
    ASSERT_EQ(Decode(whole.get(), strict), kOk);
    const Image full = testpix::ReadPage(strict.record);
    cut->dataSize = cut->dataSize * 2 / 3;
    const bool twoD = cut->compression == kG4 || cut->compression == kG3TwoD;
    const uint32_t paper = cut->photometric ? 0 : 1;  // lines not decoded are coded white
    const uint8_t* data = cut->data;
    const Bytes before(data + cut->dataOffset, data + cut->dataOffset + cut->dataSize);
    Page failed;
    const int32_t strictResult = Decode(cut.get(), failed);
    EXPECT_TRUE(strictResult == kErrDecompress || (!twoD && strictResult == kOk)) << strictResult;
    if (strictResult != kOk) {
      EXPECT_EQ(failed->data, nullptr);
    }
    EXPECT_EQ(cut->data, data);
    EXPECT_EQ(Bytes(data + cut->dataOffset, data + cut->dataOffset + cut->dataSize), before);
    ASSERT_EQ(Decode(cut.get(), kept, kFlagKeepPartial), kOk);
    const Image part = testpix::ReadPage(kept.record);
    int32_t same = 0;
    auto line = [](const Image& image, int32_t y) {
      return std::vector<uint32_t>(image.px.begin() + y * image.width, image.px.begin() + (y + 1) * image.width);
    };
    while (same < full.height && line(part, same) == line(full, same)) ++same;
    EXPECT_GT(same, full.height / 3);
    EXPECT_LT(same, full.height);
    for (int32_t y = same + (twoD ? 0 : 1); y < full.height; ++y)
      ASSERT_EQ(line(part, y), std::vector<uint32_t>(full.width, paper)) << "line " << y;
  }
}
