// Fax decoding: the code tables, pixel-exact decoding of files made by
// libtiff, ImageMagick and Pillow (which also reads the bits at every data
// end), fill order, and what is kept of a page whose data ends early.
#include "support/suite.h"

#include <span>

#include "imaging/codecs/fax.h"
#include "imaging/codecs/fax_decode.h"
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

namespace {

int32_t DecodeFax(PageRecord* source, PageRecord* out, int32_t flags, bool packedRows) {
  switch (source->compression) {
    case kG4: return DecodeG4(source, out, flags, packedRows);
    case kG3TwoD: return DecodeG3TwoD(source, out, flags, packedRows);
    case kG3OneD: return DecodeG3OneD(source, out, flags, packedRows);
    default: return DecodeModifiedHuffman(source, out, flags, packedRows);
  }
}

// A copy of a coded page's record for one more decode, the buffers the
// source keeps left out.
void DecodeCopy(Page& coded, Page& out, int32_t flags, bool packedRows, int32_t* result) {
  out.record = coded.record;
  out->data = nullptr;
  out->dataOwnership = 0;
  out->stripCount = 0;
  out->stripOffsets = out->stripByteCounts = nullptr;
  out->palette = nullptr;
  *result = DecodeFax(coded.get(), out.get(), flags, packedRows);
}

// Decodes a page three ways, each from its own copy: to run lists with the
// step lookups and without them (the same result and runs), and to a
// bitmap straight away (the same result, and the bytes, padding included,
// of the run lists painted).
void ExpectSamePages(Page (&coded)[3], int32_t flags, const std::string& what) {
  SCOPED_TRACE(what);
  Page runs, plain, rows;
  int32_t result, plainResult, rowsResult;
  DecodeCopy(coded[0], runs, flags, false, &result);
  SetFaxStepLookups(false);
  DecodeCopy(coded[1], plain, flags, false, &plainResult);
  SetFaxStepLookups(true);
  DecodeCopy(coded[2], rows, flags, true, &rowsResult);
  ASSERT_EQ(plainResult, result);
  ASSERT_EQ(rowsResult, result);
  if (result != kOk) {
    EXPECT_EQ(rows->data, nullptr);
    return;
  }
  EXPECT_EQ(testpix::RunLengths(plain.record), testpix::RunLengths(runs.record));
  const uint32_t stride = BytesPerLine(runs->width, 1);
  ASSERT_EQ(rows->compression, kUncompressed);
  ASSERT_EQ(rows->bytesPerLine, stride);
  ASSERT_EQ(rows->dataSize, uint64_t{stride} * runs->height);
  Bytes painted(rows->dataSize);
  for (int32_t y = 0; y < runs->height; ++y)
    RunsToRow(LinePointers(runs.record)[y], runs->width, painted.data() + uint64_t{stride} * y);
  EXPECT_EQ(Bytes(rows->data, rows->data + rows->dataSize), painted);
}

void ExpectSamePages(const Bytes& coded, int code, int32_t width, int32_t height, const std::string& what) {
  for (int32_t flags : {0, int32_t{kFlagKeepPartial}}) {
    Page copies[3];
    for (Page& copy : copies) copy.record = CodedPage(coded, code, width, height);
    ExpectSamePages(copies, flags, what + " flags " + std::to_string(flags));
  }
}

}  // namespace

// Random pages coded in G4 by our encoder (busy ones, where most steps
// take one lookup, and ones of long runs), the same cut short and spoiled,
// and every fax file: the step lookups change no run, and the bitmap target
// paints exactly the run lists.
TEST(FaxDecode, StepLookupsAndTheBitmapTargetKeepThePage) {
  std::mt19937 random(27);
  for (int round = 0; round < 12; ++round) {
    const int32_t width = 1 + static_cast<int32_t>(random() % 300), height = 1 + static_cast<int32_t>(random() % 40);
    const int32_t longest = round % 3 == 2 ? 200 : 4;
    Image image(width, height, 1);
    for (int32_t y = 0; y < height; ++y) {
      uint32_t colour = random() & 1, left = 0;
      for (int32_t x = 0; x < width; ++x, --left) {
        if (left == 0) colour ^= 1, left = 1 + random() % longest;
        // Lines that repeat the one above, shifted, bring every vertical mode.
        image.at(x, y) = y > 0 && round % 2 ? image.at((x + 1 + random() % 3) % width, y - 1) : colour;
      }
    }
    Page runs, coded;
    testpix::MakeRunListPage(image, runs.get());
    coded->compression = kG4;
    ASSERT_EQ(ConvertPage(runs.get(), coded.get(), 0), kOk);
    Bytes bytes(coded->data, coded->data + coded->dataSize);
    const std::string what = "page " + std::to_string(round);
    ExpectSamePages(bytes, kG4, width, height, what);
    ExpectSamePages(Bytes(bytes.begin(), bytes.begin() + bytes.size() / 2), kG4, width, height, what + " cut");
    for (int n = 0; n < 4; ++n) bytes[random() % bytes.size()] ^= static_cast<uint8_t>(1 << (random() % 8));
    for (int code : {kG4, kG3TwoD, kG3OneD, kModifiedHuffman})
      ExpectSamePages(bytes, code, width, height, what + " spoiled, code " + std::to_string(code));
  }
  for (const std::string& name : DataFiles("fax", {".tif"})) {
    OpenedFile f(DataPath(name));
    Page copies[3];
    for (Page& copy : copies) ASSERT_EQ(f.Extract(copy.get()), kOk);
    ExpectSamePages(copies, 0, name);
  }
}
