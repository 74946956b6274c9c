// Microsoft AWD documents: the page walk and the bands of each page, read
// through the compound document's sector chain.
#include "support/suite.h"

namespace {

// A page of bands of 74 lines, G4 with the bits of each byte reversed.
std::vector<AwdBand> Bands(const Image& picture) {
  std::vector<AwdBand> bands;
  const auto strips = FaxStrips(testpix::PackedRows(picture, true), picture.width, picture.height,
                                COMPRESSION_CCITTFAX4, 74, true);
  for (size_t s = 0; s < strips.size(); ++s)
    bands.push_back({std::min(74, picture.height - 74 * static_cast<int>(s)), strips[s]});
  return bands;
}

// Reads every page of `file`, band by band, and decodes it with libtiff and
// with the library.
// `pages` is the page count when more pages than pictures are expected.
void ExpectPages(const AwdFile& file, const std::vector<Image>& pictures, int32_t pages = 0) {
  OpenedFile f(file.bytes);
  ASSERT_EQ(f.result, kOk);
  ASSERT_EQ(f->fileType, kFileAwd);
  ASSERT_EQ(f->pageCount, pages ? pages : static_cast<int32_t>(pictures.size()));
  for (size_t i = 0; i < pictures.size(); ++i) {
    SCOPED_TRACE(i);
    const std::vector<AwdBand> bands = Bands(pictures[i]);
    Page page;
    ASSERT_EQ(f.Extract(page.get(), static_cast<int32_t>(i)), kOk);
    EXPECT_EQ(page->width, 1728);
    EXPECT_EQ(page->compression, kG4);
    EXPECT_EQ(page->fillOrderReversed, 1);
    EXPECT_EQ(page->rowsPerStrip, 74);
    ASSERT_EQ(page->stripCount, static_cast<int32_t>(bands.size()));
    for (size_t s = 0; s < bands.size(); ++s)
      EXPECT_EQ(Bytes(page->data + page->stripOffsets[s], page->data + page->stripOffsets[s] + page->stripByteCounts[s]),
                bands[s].data)
          << "band " << s;
    EXPECT_TRUE(SamePixels(testpix::ToRaster(pictures[i]), FaxPeerDecode(page.record)));
    EXPECT_TRUE(SamePixels(testpix::ToRaster(pictures[i]), DecodedRaster(page.get())));
  }
}

AwdFile Build(const std::vector<Image>& pictures, const AwdLayout& layout = {}) {
  std::vector<std::vector<AwdBand>> bands;
  for (const Image& p : pictures) bands.push_back(Bands(p));
  return BuildAwd(bands, layout);
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
  const std::vector<Image> pictures = {testpix::Drawing(1728, 200, 30), testpix::Drawing(1728, 74, 31),
                                                testpix::Drawing(1728, 150, 32)};
  ExpectPages(Build(pictures), pictures);
}

TEST(Awd, BandsSplitByAnAllocationTableSectorAreJoined) {
  const std::vector<Image> pictures = {testpix::Drawing(1728, 300, 33), testpix::Drawing(1728, 222, 34)};
  // Table sectors at the start and in the middle of the stream.
  std::vector<std::vector<AwdBand>> bands;
  for (const Image& p : pictures) bands.push_back(Bands(p));
  AwdLayout layout;
  for (uint32_t second = 6; second < 14; ++second) {
    layout.tableSectors = {0, second};
    if (TableInsideBand(BuildAwd(bands, layout))) break;
  }
  const AwdFile split = BuildAwd(bands, layout);
  ASSERT_TRUE(TableInsideBand(split));
  ExpectPages(split, pictures);
  // A stream whose sectors lie in reverse order is read in its own order.
  layout.scrambled = true;
  ExpectPages(BuildAwd(bands, layout), pictures);
  // Random pixels make bands of several sectors each, so that the table
  // sector that writers place at file offset 0x8800 falls inside one.
  const std::vector<Image> noisy = {testpix::Noise(1728, 148, 1, 35), testpix::Drawing(1728, 100, 36)};
  const AwdFile usual = Build(noisy, {{0, 0x8800 / 512 - 1}, false});
  ASSERT_EQ(usual.tableOffsets[1], 0x8800u);
  ASSERT_TRUE(TableInsideBand(usual));
  ExpectPages(usual, noisy);
}

TEST(Awd, ShortBandsAndNoMarker) {
  const AwdFile good = Build({testpix::Drawing(1728, 160, 37), testpix::Drawing(1728, 80, 38)}, {{0, 7}, false});
  // A band shorter than its own header.
  Bytes shortBand = good.bytes;
  PutLE16(shortBand, good.bandSpans[0].first, 5);
  OpenedFile f(shortBand);
  Page page;
  EXPECT_EQ(f.Extract(page.get()), kErrBadHeader);
  // A chain that loops on itself: fuzz/regressions/open/awd-*.
  // Without "AWPI" there are no pages.
  Bytes noMarker = good.bytes;
  for (size_t i = 0; i + 4 < noMarker.size(); ++i)
    if (std::memcmp(noMarker.data() + i, "AWPI", 4) == 0) noMarker[i] = 'X';
  EXPECT_EQ(OpenedFile(noMarker)->pageCount, 0);
}

// The allocation table at the end of a file cut short is gone: the pages
// are read in file order, past the table sectors the header lists (one lies
// inside a band here); the cut page keeps the bands up to the cut.
TEST(Awd, AFileCutShortKeepsItsWholePages) {
  const std::vector<Image> pictures = {testpix::Drawing(1728, 148, 40), testpix::Drawing(1728, 100, 41),
                                       testpix::Drawing(1728, 222, 42)};
  std::vector<std::vector<AwdBand>> bands;
  for (const Image& p : pictures) bands.push_back(Bands(p));
  AwdLayout layout;
  for (uint32_t second = 6; second < 14 && !TableInsideBand(BuildAwd(bands, layout)); ++second)
    layout.tableSectors = {200, second};
  AwdFile cut = BuildAwd(bands, layout);
  ASSERT_TRUE(TableInsideBand(cut));
  cut.bytes.resize(cut.bandSpans[5].first + 100);  // inside the second band of page 3
  ExpectPages(cut, {pictures[0], pictures[1]}, 3);
  Page last, partial;
  ASSERT_EQ(OpenedFile(cut.bytes).Extract(last.get(), 2), kOk);
  EXPECT_EQ(last->height, 148);
  ASSERT_EQ(Decode(last.get(), partial, kFlagKeepPartial), kOk);
  const Image top = testpix::ReadPage(partial.record);  // the first band is whole
  EXPECT_TRUE(std::equal(top.px.begin(), top.px.begin() + 1728 * 74, pictures[2].px.begin()));
}
