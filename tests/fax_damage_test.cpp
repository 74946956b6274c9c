// Damaged fax data: every cut, bit flips and random bytes end in success,
// -4, or the partial page that flag 4 asks for; never in a read past the
// data (each test buffer is allocated at its exact size), a hang or a page
// whose lines do not add up to the width.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/codecs/fax_bits.h"
#include "imaging/core/core.h"
#include "imaging/core/runlist.h"
#include "support/fax_support.h"
#include "support/test_util.h"

using namespace quillon;
using Runs = std::vector<uint32_t>;

namespace {

struct Result {
  int32_t code;
  std::vector<Runs> lines;
};

// Decodes `bytes` held in an allocation of exactly their size.
Result DecodeExact(const uint8_t* bytes, size_t size, const PageRecord& shape,
                   int32_t flags) {
  std::unique_ptr<uint8_t[]> exact(new uint8_t[size ? size : 1]);
  std::copy(bytes, bytes + size, exact.get());
  PageRecord source = shape;
  source.data = exact.get();
  source.dataSize = static_cast<uint32_t>(size);
  source.dataOffset = 0;
  source.dataOwnership = kOwnedByView;
  source.stripCount = 0;
  source.stripOffsets = source.stripByteCounts = nullptr;
  source.fillOrderReversed = 0;
  PageRecord out = source;
  int32_t code;
  switch (shape.compression) {
    case kModifiedHuffman: code = DecodeModifiedHuffman(&source, &out, flags); break;
    case kG3OneD: code = DecodeG3OneD(&source, &out, flags); break;
    case kG3TwoD: code = DecodeG3TwoD(&source, &out, flags); break;
    default: code = DecodeG4(&source, &out, flags); break;
  }
  Result r{code, {}};
  if (code == kOk) {
    EXPECT_TRUE(testutil::RunLinesValid(out));
    for (int32_t y = 0; y < out.height; ++y) r.lines.push_back(testutil::LineRuns(out, y));
    FreePage(&out);
  } else {
    EXPECT_EQ(out.data, nullptr);
  }
  // The coded bytes are never written.
  EXPECT_TRUE(std::equal(bytes, bytes + size, exact.get()));
  return r;
}

// The pixels of a line, one byte each, from its runs.
std::vector<uint8_t> Pixels(const Runs& runs) {
  std::vector<uint8_t> px;
  for (size_t i = 0; i < runs.size(); ++i) px.insert(px.end(), runs[i], i % 2 ? 0 : 1);
  return px;
}

// `line` shows the first pixels of `full` and white after them.
bool IsCutShortOf(const Runs& line, const Runs& full) {
  std::vector<uint8_t> a = Pixels(line), b = Pixels(full);
  if (a.size() != b.size()) return false;
  size_t x = 0;
  while (x < a.size() && a[x] == b[x]) ++x;
  for (; x < a.size(); ++x)
    if (a[x] != 1) return false;
  return true;
}

// The partial-result contract: the first lines equal the full decode, one
// line may be cut short (one-dimensional codings only), the rest is white.
::testing::AssertionResult IsPartialOf(const std::vector<Runs>& partial,
                                       const std::vector<Runs>& full,
                                       bool oneDimensional, uint32_t width) {
  if (partial.size() != full.size()) return ::testing::AssertionFailure() << "height";
  size_t m = 0;
  while (m < full.size() && partial[m] == full[m]) ++m;
  if (m == full.size()) return ::testing::AssertionSuccess();
  const bool white = partial[m] == Runs{width};
  if (!white && !(oneDimensional && IsCutShortOf(partial[m], full[m])))
    return ::testing::AssertionFailure() << "line " << m << " is neither the decoded line nor blank";
  for (size_t y = m + 1; y < partial.size(); ++y)
    if (partial[y] != Runs{width})
      return ::testing::AssertionFailure() << "line " << y << " after the cut is not blank";
  return ::testing::AssertionSuccess();
}

struct Coded {
  PageRecord shape;
  std::vector<uint8_t> bytes;
};

Coded LoadSingleBlock(const char* name) {
  testutil::FaxPage page;
  EXPECT_TRUE(testutil::LoadFaxTiff(testutil::DataPath(std::string("fax/") + name), page));
  EXPECT_EQ(page.record.stripCount, 1);
  EXPECT_EQ(page.record.fillOrderReversed, 0);
  Coded c{page.record, page.view};
  c.shape.data = nullptr;
  c.shape.stripOffsets = c.shape.stripByteCounts = nullptr;
  c.shape.stripCount = 0;
  return c;
}

bool OneDimensional(int code) { return code == kModifiedHuffman || code == kG3OneD; }

class FaxDamage : public ::testing::TestWithParam<const char*> {};

}  // namespace

TEST_P(FaxDamage, EveryCutEndsCleanly) {
  const Coded c = LoadSingleBlock(GetParam());
  const Result full = DecodeExact(c.bytes.data(), c.bytes.size(), c.shape, 0);
  ASSERT_EQ(full.code, kOk);
  const bool oneD = OneDimensional(c.shape.compression);
  const uint32_t width = static_cast<uint32_t>(c.shape.width);
  for (size_t cut = 0; cut <= c.bytes.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    const Result strict = DecodeExact(c.bytes.data(), cut, c.shape, 0);
    ASSERT_TRUE(strict.code == kOk || strict.code == kErrDecompress) << strict.code;
    if (strict.code == kOk) {
      // Two-dimensional data that ends early is damage: success means the
      // page was complete.
      if (!oneD) {
        ASSERT_EQ(strict.lines, full.lines);
      }
      ASSERT_TRUE(IsPartialOf(strict.lines, full.lines, oneD, width));
    }
    const Result kept = DecodeExact(c.bytes.data(), cut, c.shape, kFlagKeepPartial);
    ASSERT_EQ(kept.code, kOk);
    ASSERT_TRUE(IsPartialOf(kept.lines, full.lines, oneD, width));
    if (strict.code == kOk) {
      ASSERT_EQ(kept.lines, strict.lines);
    }
  }
}

TEST_P(FaxDamage, TwoThirdsOfThePage) {
  const Coded c = LoadSingleBlock(GetParam());
  const Result full = DecodeExact(c.bytes.data(), c.bytes.size(), c.shape, 0);
  const size_t cut = c.bytes.size() * 2 / 3;
  const Result kept = DecodeExact(c.bytes.data(), cut, c.shape, kFlagKeepPartial);
  ASSERT_EQ(kept.code, kOk);
  // Some lines survive, some are lost.
  const Runs white{static_cast<uint32_t>(c.shape.width)};
  size_t same = 0;
  while (same < full.lines.size() && kept.lines[same] == full.lines[same]) ++same;
  EXPECT_GT(same, full.lines.size() / 3);
  EXPECT_LT(same, full.lines.size());
  EXPECT_EQ(kept.lines.back(), white);
  if (!OneDimensional(c.shape.compression)) {
    EXPECT_EQ(DecodeExact(c.bytes.data(), cut, c.shape, 0).code, kErrDecompress);
  }
}

TEST_P(FaxDamage, FlippedBitsEndCleanly) {
  const Coded c = LoadSingleBlock(GetParam());
  std::mt19937 random(4242);
  std::vector<uint8_t> bytes = c.bytes;
  for (int trial = 0; trial < 300; ++trial) {
    const size_t at = random() % bytes.size();
    const uint8_t mask = static_cast<uint8_t>(1u << (random() % 8));
    bytes[at] ^= mask;
    const Result strict = DecodeExact(bytes.data(), bytes.size(), c.shape, 0);
    ASSERT_TRUE(strict.code == kOk || strict.code == kErrDecompress) << trial;
    ASSERT_EQ(DecodeExact(bytes.data(), bytes.size(), c.shape, kFlagKeepPartial).code, kOk);
    bytes[at] ^= mask;
  }
  // Whole runs of bytes overwritten with noise.
  for (int trial = 0; trial < 100; ++trial) {
    const size_t at = random() % bytes.size();
    const size_t n = std::min<size_t>(1 + random() % 16, bytes.size() - at);
    for (size_t i = 0; i < n; ++i) bytes[at + i] = static_cast<uint8_t>(random());
    const Result strict = DecodeExact(bytes.data(), bytes.size(), c.shape, 0);
    ASSERT_TRUE(strict.code == kOk || strict.code == kErrDecompress) << trial;
    ASSERT_EQ(DecodeExact(bytes.data(), bytes.size(), c.shape, kFlagKeepPartial).code, kOk);
    std::copy(c.bytes.begin() + at, c.bytes.begin() + at + n, bytes.begin() + at);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, FaxDamage,
                         ::testing::Values("text-g4.tif", "text-g3-2d.tif", "text-g3-1d.tif",
                                           "text-mh.tif", "dither-g4.tif", "long-g3-2d.tif"),
                         [](const auto& info) {
                           std::string name = info.param;
                           for (char& c : name)
                             if (c == '-' || c == '.') c = '_';
                           return name;
                         });

TEST(FaxDamageRandom, RandomBytesEndCleanly) {
  std::mt19937 random(99);
  const int codes[] = {kModifiedHuffman, kG3OneD, kG3TwoD, kG4};
  const int32_t widths[] = {1, 7, 64, 1728};
  for (int trial = 0; trial < 400; ++trial) {
    std::vector<uint8_t> bytes(random() % 700);
    // Mostly zero bits, as in real data, or plain noise.
    const bool sparse = trial % 2;
    for (uint8_t& b : bytes)
      b = static_cast<uint8_t>(sparse ? (random() % 4 ? 0 : random()) : random());
    PageRecord shape{};
    shape.width = widths[trial % 4];
    shape.height = 1 + static_cast<int32_t>(random() % 60);
    shape.bitsPerPixel = 1;
    shape.compression = static_cast<int8_t>(codes[(trial / 4) % 4]);
    const Result strict = DecodeExact(bytes.data(), bytes.size(), shape, 0);
    ASSERT_TRUE(strict.code == kOk || strict.code == kErrDecompress) << trial;
    ASSERT_EQ(DecodeExact(bytes.data(), bytes.size(), shape, kFlagKeepPartial).code, kOk);
  }
}

// The bit reader's fast path (eight-byte loads) and careful path (one byte
// at a time, zeros past the end) deliver the same bits at every position.
TEST(FaxBitReader, FastAndCarefulPathsAgree) {
  std::mt19937 random(7);
  for (uint32_t size = 0; size <= 40; ++size) {
    std::unique_ptr<uint8_t[]> data(new uint8_t[size ? size : 1]);
    for (uint32_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(random());
    auto bitAt = [&](uint64_t i) {
      return i / 8 < size ? (data[i / 8] >> (7 - i % 8)) & 1 : 0;
    };
    FaxBitReader r;
    FaxStart(r, size ? data.get() : nullptr, size);
    uint64_t position = 0;
    while (position < uint64_t{size} * 8 + 64) {
      FaxFill(r);
      uint32_t expected = 0;
      for (int i = 0; i < 16; ++i) expected = (expected << 1) | bitAt(position + i);
      ASSERT_EQ(FaxPeek16(r), expected) << size << " at " << position;
      ASSERT_EQ(FaxBitPosition(r), position);
      ASSERT_EQ(FaxDataLeft(r), position < uint64_t{size} * 8);
      ASSERT_EQ(FaxOverrun(r), position > uint64_t{size} * 8);
      const int32_t step = 1 + static_cast<int32_t>(random() % 16);
      FaxSkip(r, step);
      position += step;
    }
  }
}
