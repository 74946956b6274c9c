// Texts of codes, line sizes, memory and the run-list form.
#include "support/suite.h"

#include "imaging/codecs/codec_rows.h"
#include "imaging/core/bytes.h"

TEST(Codes, TextsAsShownAndNoneOutsideTheTables) {
  // What users read, letter for letter: error -n is string 5000 + n.
  const char* texts[] = {"Not enough memory.  Try closing other applications", "File not found",
                         "General I/O error", "Decompression error",
                         "Unsupported bit depth.  Only 24, 16, 8, 4, and 1 bits per pixel are allowed",
                         "Invalid parameter", "Unsupported feature detected", "Bad header information found",
                         "Unknown file format", "Page not found"};
  for (int32_t code = -1; code >= -10; --code) {
    EXPECT_EQ(ErrorStringId(code), 5000 - code);
    EXPECT_STREQ(ErrorMessage(code), texts[-code - 1]);
  }
  EXPECT_STREQ(CompressionName(kPackBits), "Packbits");
  EXPECT_STREQ(CompressionName(kRunLists), "Run-Length");
  EXPECT_STREQ(FileTypeName(kFileQuicklinks), "Quicklinks II FAX");
  EXPECT_STREQ(FileTypeName(kFileWinFax10), "WinFAX 10");
  // Callers show their own text when the library has none.
  for (int32_t code : {0, 1, -11, INT32_MIN}) EXPECT_EQ(ErrorMessage(code), nullptr) << code;
  for (int code : {-1, int{kCompressionCodeCount}}) EXPECT_STREQ(CompressionName(code), "") << code;
  for (int code : {-1, int{kFileTypeCodeCount}}) EXPECT_STREQ(FileTypeName(code), "") << code;
}

TEST(LineSizes, PaddedToFourBytesOrUnpadded) {
  // {width, bpp, BytesPerLine, RowBytes}; long lines keep their length,
  // depths other than 1, 2, 4, 8, 16, 24 have no size.
  const uint32_t cases[][4] = {{1, 1, 4, 1},   {33, 1, 8, 5},   {9, 1, 4, 2},     {5, 24, 16, 15},
                               {3, 16, 8, 6},  {7, 4, 4, 4},    {5, 4, 4, 3},     {10, 2, 4, 3},
                               {5, 2, 4, 2},   {10, 3, 0, 0},   {5, 7, 0, 0},     {0, 8, 0, 0},
                               {70000, 8, 70000, 70000}, {21846, 24, 65540, 65538}};
  for (const auto& c : cases) {
    EXPECT_EQ(BytesPerLine(static_cast<int32_t>(c[0]), static_cast<int>(c[1])), c[2]) << c[0] << " " << c[1];
    EXPECT_EQ(RowBytes(static_cast<int32_t>(c[0]), static_cast<int>(c[1])), c[3]) << c[0] << " " << c[1];
  }
  EXPECT_EQ(BytesPerLine(-5, 8), 0u);
  EXPECT_EQ(BytesPerLine(INT32_MAX, 24), 0u) << "only what 32 bits cannot count is 0";
}

TEST(Memory, ZeroFilledAndBounded) {
  for (uint64_t size : {uint64_t{1}, uint64_t{4096}, uint64_t{3} << 20}) {
    auto* p = static_cast<uint8_t*>(Allocate(size));
    ASSERT_NE(p, nullptr);
    for (uint64_t i = 0; i < size; i += 511) EXPECT_EQ(p[i], 0);
    EXPECT_EQ(p[size - 1], 0);
    std::memset(p, 0xAB, size);
    Release(p);
  }
  EXPECT_EQ(Allocate(SizeProduct(65535, 65535, 65535)), nullptr);
  EXPECT_EQ(SizeProduct(UINT64_MAX / 2, 3), UINT64_MAX);
  uint64_t limit = AllocationLimit();
  SetAllocationLimit(1000);
  EXPECT_EQ(Allocate(1001), nullptr);
  void* ok = Allocate(1000);
  EXPECT_NE(ok, nullptr);
  Release(ok);
  SetAllocationLimit(limit);
  Release(nullptr);
  Release(reinterpret_cast<void*>(~uintptr_t{0}));
}

TEST(Memory, FreePageReleasesOnceAndLeavesViewsAlone) {
  PageRecord page{};
  page.data = static_cast<uint8_t*>(Allocate(16));
  page.dataOwnership = kOwnedByPage;
  page.palette = MakeGrayPalette(8);
  page.bitsPerPixel = 8;
  page.stripOffsets = AllocateArray<uint32_t>(2);
  page.stripByteCounts = AllocateArray<uint32_t>(2);
  page.stripCount = 2;
  EXPECT_EQ(FreePage(&page), kOk);
  EXPECT_EQ(page.data, nullptr);
  EXPECT_EQ(page.palette, nullptr);
  EXPECT_EQ(page.stripCount, 0);
  EXPECT_EQ(FreePage(&page), kErrParameter);

  uint8_t view[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  page.data = view;
  page.dataOwnership = kOwnedByView;
  EXPECT_EQ(FreePage(&page), kErrParameter);
  EXPECT_EQ(page.data, nullptr);
  EXPECT_EQ(view[7], 8);
}

namespace {

std::vector<uint8_t> Runs(const std::vector<uint8_t>& row, int width) {
  std::vector<uint8_t> out(RunLineWorstCase(width) + 8, 0xEE);
  uint32_t n = PackedRowToRuns(width, out.data(), row.data());
  EXPECT_LE(n, RunLineWorstCase(width));
  out.resize(n);
  return out;
}

// Sum of a line's runs, read in (white, black) pairs as every reader does.
int RunSum(const uint8_t* line) {
  const uint8_t* p = line;
  int total = 0;
  for (;;) {
    total += static_cast<int>(GetRun(p));
    uint32_t black = GetRun(p);
    if (black == 0) return total;
    total += static_cast<int>(black);
  }
}

}  // namespace

TEST(RunLists, RowToRunsWritesOneByteRunsTwoByteRunsAndAThreeZeroEnd) {
  // Ten white pixels, six padding bits.
  EXPECT_EQ(Runs({0xFF, 0xC0}, 10), (std::vector<uint8_t>{0x0A, 0, 0, 0}));
  // Width 0: four zero bytes.
  EXPECT_EQ(Runs({0x00}, 0), (std::vector<uint8_t>{0, 0, 0, 0}));
  // A line starting black begins with a white run of 0.
  EXPECT_EQ(Runs({0x0F}, 8), (std::vector<uint8_t>{0, 4, 4, 0, 0, 0}));
  // A 200-pixel white line takes a two-byte run.
  EXPECT_EQ(Runs(std::vector<uint8_t>(25, 0xFF), 200),
            (std::vector<uint8_t>{0x80, 0xC8, 0, 0, 0}));
  // Runs spanning bytes; the padding bits never count.
  EXPECT_EQ(Runs({0xFF, 0x00, 0x7F}, 20), (std::vector<uint8_t>{8, 9, 3, 0, 0, 0}));
}

TEST(RunLists, AlternatingPixelsFitTheWorstCaseAndRoundTrip) {
  for (int width : {1, 7, 8, 9, 31, 1728}) {
    for (uint8_t pattern : {0x55, 0xAA, 0x00, 0xFF, 0x3C}) {
      std::vector<uint8_t> row(RowBytes(width, 1), pattern);
      std::vector<uint8_t> runs = Runs(row, width);
      EXPECT_EQ(RunSum(runs.data()), width);
      std::vector<uint8_t> back(RowBytes(width, 1) + 1, 0x11);
      RunsToRow(runs.data(), width, back.data());
      for (int x = 0; x < width; ++x) {
        int expect = (row[x / 8] >> (7 - x % 8)) & 1;
        int got = (back[x / 8] >> (7 - x % 8)) & 1;
        ASSERT_EQ(expect, got) << "width " << width << " x " << x;
      }
      EXPECT_EQ(back[RowBytes(width, 1)], 0x11) << "wrote past the row";
    }
  }
}

TEST(RunLists, RandomRowsOfEveryRunLengthRoundTripAsCanonicalRuns) {
  // Runs from 1 to 300 pixels over widths around the 64-bit words: every
  // run but a leading white one is non-empty, and painting gives the row
  // back, padding white; the inverted row read as inverted gives the same.
  std::mt19937 rng(11);
  for (int trial = 0; trial < 400; ++trial) {
    const int width = 1 + static_cast<int>(rng() % 700);
    std::vector<uint8_t> row(RowBytes(width, 1));
    for (uint8_t& b : row) b = static_cast<uint8_t>(rng());
    const int maxRun = trial % 3 == 0 ? 3 : trial % 3 == 1 ? 40 : 300;
    for (int x = 0; x < static_cast<int>(row.size()) * 8;) {
      const int run = 1 + static_cast<int>(rng() % maxRun);
      const bool white = rng() & 1;
      for (int k = x; k < x + run && k < static_cast<int>(row.size()) * 8; ++k)
        row[k / 8] = static_cast<uint8_t>(white ? row[k / 8] | (0x80 >> k % 8) : row[k / 8] & ~(0x80 >> k % 8));
      x += run;
    }
    const std::vector<uint8_t> runs = Runs(row, width);
    const uint8_t* p = runs.data();
    for (int x = 0, colour = 1; x < width; colour ^= 1) {
      const uint32_t run = GetRun(p);
      ASSERT_TRUE(run > 0 || (x == 0 && colour == 1)) << "width " << width << " x " << x;
      x += static_cast<int>(run);
      ASSERT_LE(x, width);
    }
    EXPECT_EQ(RunSum(runs.data()), width);
    // The same pixels with 0 for white give the same runs.
    std::vector<uint8_t> flipped(row), again(RunLineWorstCase(width));
    for (uint8_t& b : flipped) b = static_cast<uint8_t>(~b);
    again.resize(PackedRowToRuns(width, again.data(), flipped.data(), true));
    ASSERT_EQ(again, runs) << "width " << width;
    if (PackBitsVectorLoops()) {  // and so does the vector build, both ways
      for (bool inverted : {false, true}) {
        again.assign(RunLineWorstCase(width) + codec::kRunsWrittenAhead, 0);
        again.resize(codec::PackedRowToRunsVector(width, again.data(), inverted ? flipped.data() : row.data(), inverted));
        ASSERT_EQ(again, runs) << "width " << width << " inverted " << inverted;
      }
    }
    std::vector<uint8_t> back(row.size());
    RunsToRow(runs.data(), width, back.data());
    if (width % 8) row.back() |= static_cast<uint8_t>(0xFF >> width % 8);
    ASSERT_EQ(back, row) << "width " << width;
  }
}

TEST(RunLists, RunsToRowClipsCorruptLines) {
  // Runs adding up to far more than the width never write past the row.
  std::vector<uint8_t> line = {5, 0x80 | 0x10, 0x00, 3, 0x7F, 0, 0, 0};
  std::vector<uint8_t> row(3, 0x11);
  RunsToRow(line.data(), 10, row.data());
  EXPECT_EQ(row[0], 0xF8);  // five white, then black to the end
  EXPECT_EQ(row[1], 0x3F);  // the padding bits past the width stay white
  EXPECT_EQ(row[2], 0x11);
  // An empty white run inside a line leaves the black going on.
  line = {2, 3, 0, 3, 0, 0, 0};
  RunsToRow(line.data(), 10, row.data());
  EXPECT_EQ(row[0], 0xC0);
  EXPECT_EQ(row[1], 0xFF);
}

TEST(RunLists, InversionInPlace) {
  // Each line, inverted, and inverted again: a leading white run of 0 comes
  // and goes; a line ending in black uses its slack byte.
  const std::pair<testutil::Bytes, testutil::Bytes> cases[] = {
      {{0x80, 0xC8, 0, 0, 0}, {0x00, 0x80, 0xC8, 0, 0}}, {{0x00, 0x0A, 0, 0, 0}, {0x0A, 0, 0, 0, 0}},
      {{3, 4, 0, 0, 0}, {0, 3, 4, 0, 0}}, {{0, 0, 0, 0}, {0, 0, 0, 0}}};
  for (const auto& [line, inverted] : cases) {
    testutil::Bytes edited = line;
    InvertRunLine(edited.data());
    EXPECT_EQ(edited, inverted);
    EXPECT_EQ(RunSum(edited.data()), RunSum(line.data()));
    InvertRunLine(edited.data());
    EXPECT_EQ(edited, line);
  }
}

TEST(Bytes, ReadDecimalStopsAndSaturates) {
  const char* text = "rpelcnt: 001728,002200 99999999999";
  uint32_t pos = 9;
  EXPECT_EQ(ReadDecimal(reinterpret_cast<const uint8_t*>(text), &pos, 40), 1728u);
  EXPECT_EQ(pos, 16u);
  EXPECT_EQ(ReadDecimal(reinterpret_cast<const uint8_t*>(text), &pos, 40), 2200u);
  pos = 23;
  EXPECT_EQ(ReadDecimal(reinterpret_cast<const uint8_t*>(text), &pos, 34), UINT32_MAX);
}

TEST(Paths, Utf8RoundTrip) {
  std::string name = "fax \xC3\xA9t\xC3\xA9 \xF0\x9F\x93\xA0.tif";
  std::u16string wide = Utf8ToUtf16(name);
  EXPECT_EQ(wide.size(), 14u);  // the emoji takes a surrogate pair
  EXPECT_EQ(Utf16ToUtf8(wide), name);
  EXPECT_EQ(Utf8ToUtf16("\xC3"), std::u16string(1, u'\xFFFD'));
}
