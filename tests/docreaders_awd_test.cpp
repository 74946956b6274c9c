// Microsoft AWD documents: the page walk and the bands of each page, read
// through the compound document's sector chain.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/core/core.h"
#include "support/doc_writers.h"
#include "support/docreaders_fax.h"

using namespace quillon;
using testutil::AwdBand;
using testutil::AwdFile;
using testutil::AwdLayout;
using testutil::Bilevel;
using testutil::BitOrder;
using testutil::FaxCode;
using testutil::OpenedBytes;
using testutil::Page;

namespace {

std::vector<AwdBand> Bands(const Bilevel& picture) {
  std::vector<AwdBand> bands;
  auto strips = testutil::EncodeFax(picture, FaxCode::kG4, 74, BitOrder::kLsbFirst);
  for (size_t s = 0; s < strips.size(); ++s)
    bands.push_back({std::min(74, picture.height - 74 * static_cast<int>(s)), strips[s]});
  return bands;
}

// Reads every page of `file` and compares it with `pictures`, band by band.
void ExpectPages(const AwdFile& file, const std::vector<Bilevel>& pictures,
                 const std::vector<std::vector<AwdBand>>& bands) {
  OpenedBytes f(file.bytes);
  ASSERT_EQ(f.result(), kOk);
  ASSERT_EQ(f.file()->fileType, kFileAwd);
  ASSERT_EQ(f.file()->pageCount, static_cast<int32_t>(pictures.size()));
  for (size_t i = 0; i < pictures.size(); ++i) {
    SCOPED_TRACE(i);
    Page page;
    ASSERT_EQ(ExtractPage(f.file(), page.get(), static_cast<int32_t>(i)), kOk);
    EXPECT_EQ(page->width, 1728);
    EXPECT_EQ(page->height, pictures[i].height);
    EXPECT_EQ(page->compression, kG4);
    EXPECT_EQ(page->fillOrderReversed, 1);
    EXPECT_EQ(page->rowsPerStrip, 74);
    ASSERT_EQ(page->stripCount, static_cast<int32_t>(bands[i].size()));
    for (size_t s = 0; s < bands[i].size(); ++s) {
      ASSERT_EQ(page->stripByteCounts[s], bands[i][s].data.size());
      EXPECT_EQ(std::memcmp(page->data + page->stripOffsets[s], bands[i][s].data.data(),
                            bands[i][s].data.size()),
                0)
          << "band " << s;
    }
    Bilevel got = testutil::PeerDecode(page.record);
    EXPECT_EQ(got, pictures[i]) << testutil::FirstDifference(got, pictures[i]);
    got = testutil::LibraryDecode(page.record);
    EXPECT_EQ(got, pictures[i]) << "library: " << testutil::FirstDifference(got, pictures[i]);
  }
}

// True when one of the file's allocation-table sectors begins inside a
// band record (after its first byte, before its last).
bool TableInsideBand(const AwdFile& file) {
  for (uint32_t table : file.tableOffsets)
    for (auto [first, last] : file.bandSpans)
      if (first < table && table <= last) return true;
  return false;
}

}  // namespace

TEST(Awd, PagesOfBandsAreFoundAndRead) {
  const std::vector<Bilevel> pictures = {testutil::TestDrawing(1728, 200, 30),
                                         testutil::TestDrawing(1728, 74, 31),
                                         testutil::TestDrawing(1728, 150, 32)};
  std::vector<std::vector<AwdBand>> bands;
  for (const Bilevel& p : pictures) bands.push_back(Bands(p));
  ExpectPages(testutil::BuildAwd(bands), pictures, bands);
}

TEST(Awd, BandsSplitByAnAllocationTableSectorAreJoined) {
  const std::vector<Bilevel> pictures = {testutil::TestDrawing(1728, 300, 33),
                                         testutil::TestDrawing(1728, 222, 34)};
  std::vector<std::vector<AwdBand>> bands;
  for (const Bilevel& p : pictures) bands.push_back(Bands(p));

  // Table sectors at the start and in the middle of the stream.
  AwdLayout layout;
  for (uint32_t second = 6; second < 14; ++second) {
    layout.tableSectors = {0, second};
    if (TableInsideBand(testutil::BuildAwd(bands, layout))) break;
  }
  AwdFile split = testutil::BuildAwd(bands, layout);
  ASSERT_TRUE(TableInsideBand(split));
  ExpectPages(split, pictures, bands);

  // A stream whose sectors lie in reverse order is read in its own order.
  layout.scrambled = true;
  ExpectPages(testutil::BuildAwd(bands, layout), pictures, bands);
}

TEST(Awd, TableSectorAtTheUsualPlaceInALargeBand) {
  // Random pixels make bands of several sectors each, so that the table
  // sector that writers place at file offset 0x8800 falls inside one.
  const std::vector<Bilevel> pictures = {testutil::Noise(1728, 148, 35),
                                         testutil::TestDrawing(1728, 100, 36)};
  std::vector<std::vector<AwdBand>> bands;
  for (const Bilevel& p : pictures) bands.push_back(Bands(p));
  AwdLayout layout;
  layout.tableSectors = {0, 0x8800 / 512 - 1};
  AwdFile file = testutil::BuildAwd(bands, layout);
  ASSERT_EQ(file.tableOffsets[1], 0x8800u);
  ASSERT_TRUE(TableInsideBand(file));
  ExpectPages(file, pictures, bands);
}

TEST(Awd, DamagedDocumentsEndCleanly) {
  const std::vector<std::vector<AwdBand>> bands = {Bands(testutil::TestDrawing(1728, 160, 37)),
                                                   Bands(testutil::TestDrawing(1728, 80, 38))};
  AwdLayout layout;
  layout.tableSectors = {0, 7};
  const AwdFile good = testutil::BuildAwd(bands, layout);

  for (size_t cut = 600; cut <= good.bytes.size(); cut += 97) {
    std::vector<uint8_t> bytes(good.bytes.begin(), good.bytes.begin() + static_cast<ptrdiff_t>(cut));
    OpenedBytes f(bytes);
    if (f.result() != kOk) continue;
    for (int32_t i = 0; i < f.file()->pageCount; ++i) {
      Page page;
      int32_t r = ExtractPage(f.file(), page.get(), i);
      ASSERT_TRUE(r == kOk || r == kErrBadHeader) << cut << ": " << r;
      if (r == kOk) {
        testutil::TouchPage(page.record, *f.file());
        testutil::LibraryDecode(page.record);  // the decoders meet the damage too
      }
    }
  }

  // A band shorter than its own header, and a chain that loops on itself.
  std::vector<uint8_t> shortBand = good.bytes;
  testutil::PutLE16(shortBand, good.bandSpans[0].first, 5);
  std::vector<uint8_t> loop = good.bytes;
  uint32_t sector = good.bandSpans[0].first / 512 - 1;
  testutil::PutLE32(loop, good.tableOffsets[sector / 128] + 4 * (sector % 128), sector);
  std::vector<uint8_t> noMarker = good.bytes;
  for (size_t i = 0; i + 4 < noMarker.size(); ++i)
    if (std::memcmp(noMarker.data() + i, "AWPI", 4) == 0) noMarker[i] = 'X';
  for (const auto* bytes : {&shortBand, &loop, &noMarker}) {
    OpenedBytes f(*bytes);
    ASSERT_EQ(f.result(), kOk);
    for (int32_t i = 0; i < f.file()->pageCount; ++i) {
      Page page;
      int32_t r = ExtractPage(f.file(), page.get(), i);
      if (bytes == &shortBand && i == 0) {
        EXPECT_EQ(r, kErrBadHeader);
      }
      if (r == kOk) {
        testutil::TouchPage(page.record, *f.file());
        testutil::LibraryDecode(page.record);  // the decoders meet the damage too
      }
    }
    if (bytes == &noMarker) {
      EXPECT_EQ(f.file()->pageCount, 0);
    }
  }
}
