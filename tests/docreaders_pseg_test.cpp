// PSEG page segments: raster cells ORed into the page, records with
// extensions, and damaged records.
#include <gtest/gtest.h>

#include "imaging/core/core.h"
#include "support/doc_writers.h"
#include "support/docreaders_fax.h"

using namespace quillon;
using testutil::Bilevel;
using testutil::OpenedBytes;
using testutil::Page;
using testutil::PsegCell;
using testutil::PsegOptions;

namespace {

PsegCell Cell(int x, int y, const Bilevel& picture) {
  return {x, y, picture.width,
          testutil::PackRows(picture, true, static_cast<uint32_t>((picture.width + 7) / 8))};
}

// The page the cells should make: their ink ORed at their places, clipped
// to the page.
Bilevel Compose(int width, int height, const std::vector<std::pair<PsegCell, Bilevel>>& cells) {
  Bilevel page(width, height);
  for (const auto& [cell, picture] : cells)
    for (int y = 0; y < picture.height; ++y)
      for (int x = 0; x < picture.width; ++x)
        if (picture.at(x, y) && cell.x + x < width && cell.y + y < height)
          page.at(cell.x + x, cell.y + y) = 1;
  return page;
}

Bilevel ReadPage(const std::vector<uint8_t>& bytes, int32_t* result) {
  OpenedBytes f(bytes);
  EXPECT_EQ(f.result(), kOk);
  EXPECT_EQ(f.file()->fileType, kFilePseg);
  Page page;
  *result = ExtractPage(f.file(), page.get(), 0);
  if (*result != kOk) return Bilevel();
  EXPECT_EQ(page->compression, kUncompressed);
  EXPECT_EQ(page->photometric, 1);
  EXPECT_EQ(page->bytesPerLine, RowBytes(page->width, 1));
  EXPECT_EQ(page->dataSize, page->bytesPerLine * static_cast<uint32_t>(page->height));
  return testutil::LibraryDecode(page.record);
}

}  // namespace

TEST(Pseg, OverlappingCellsAreOredAtTheirBitOffsets) {
  // Cell widths and x offsets that are not multiples of 8 shift every row;
  // the second cell overlaps the first and a third runs off the page.
  const Bilevel a = testutil::TestDrawing(17, 12, 1), b = testutil::TestDrawing(21, 9, 2),
                c = testutil::TestDrawing(30, 15, 3);
  std::vector<std::pair<PsegCell, Bilevel>> cells = {
      {Cell(0, 0, a), a}, {Cell(13, 5, b), b}, {Cell(35, 8, c), c}};
  std::vector<PsegCell> records;
  for (const auto& entry : cells) records.push_back(entry.first);
  const Bilevel expected = Compose(50, 20, cells);

  int32_t result;
  Bilevel got = ReadPage(testutil::BuildPseg(50, 20, records), &result);
  ASSERT_EQ(result, kOk);
  EXPECT_EQ(got, expected) << testutil::FirstDifference(got, expected);

  // Rows split across raster records at odd places read the same.
  PsegOptions split;
  split.rasterChunk = 5;
  got = ReadPage(testutil::BuildPseg(50, 20, records, split), &result);
  ASSERT_EQ(result, kOk);
  EXPECT_EQ(got, expected) << testutil::FirstDifference(got, expected);
}

TEST(Pseg, ImageWithoutCellPositionIsOneCellAtTheOrigin) {
  const Bilevel picture = testutil::TestDrawing(45, 23, 4);
  PsegOptions options;
  options.cellPositions = false;
  options.rasterChunk = 7;
  int32_t result;
  Bilevel got = ReadPage(testutil::BuildPseg(45, 23, {Cell(0, 0, picture)}, options), &result);
  ASSERT_EQ(result, kOk);
  EXPECT_EQ(got, picture) << testutil::FirstDifference(got, picture);
}

TEST(Pseg, ExtensionsMoveTheFieldsAndAreNotRasterData) {
  const Bilevel picture = testutil::TestDrawing(33, 14, 5);
  PsegOptions options;
  options.descriptorExtension = 5;
  options.rasterExtension = 3;
  options.rasterChunk = 20;
  int32_t result;
  Bilevel got = ReadPage(testutil::BuildPseg(33, 14, {Cell(0, 0, picture)}, options), &result);
  ASSERT_EQ(result, kOk);
  EXPECT_EQ(got, picture) << testutil::FirstDifference(got, picture);
}

TEST(Pseg, DamagedSegmentsEndCleanly) {
  const Bilevel picture = testutil::TestDrawing(40, 30, 6);
  const std::vector<uint8_t> good = testutil::BuildPseg(40, 30, {Cell(3, 2, picture)});

  // Without an image descriptor there is no page.
  std::vector<uint8_t> noDescriptor = good;
  for (size_t i = 0; i + 3 < noDescriptor.size(); ++i)
    if (noDescriptor[i] == 'Z' && noDescriptor[i + 3] == 0xD3 && noDescriptor[i + 4] == 0xA6)
      noDescriptor[i + 4] = 0xA7;
  {
    OpenedBytes f(noDescriptor);
    Page page;
    EXPECT_EQ(ExtractPage(f.file(), page.get(), 0), kErrBadHeader);
    EXPECT_EQ(page->data, nullptr);
  }

  // Cut anywhere, or with a raster record claiming more than the file
  // holds: the page is read up to the damage or refused, never overrun.
  for (size_t cut = 50; cut <= good.size(); ++cut) {
    std::vector<uint8_t> bytes(good.begin(), good.begin() + static_cast<ptrdiff_t>(cut));
    OpenedBytes f(bytes);
    if (f.result() != kOk) continue;
    Page page;
    int32_t r = ExtractPage(f.file(), page.get(), 0);
    ASSERT_TRUE(r == kOk || r == kErrBadHeader) << cut << ": " << r;
    if (r == kOk) {
      testutil::TouchPage(page.record, *f.file());
      testutil::LibraryDecode(page.record);  // the decoders meet the damage too
    }
  }
  std::vector<uint8_t> longRecord = good;
  for (size_t i = 0; i + 3 < longRecord.size(); ++i)
    if (longRecord[i] == 'Z' && longRecord[i + 3] == 0xD3 && longRecord[i + 4] == 0xEE)
      longRecord[i + 1] = 0x7F;
  OpenedBytes f(longRecord);
  Page page;
  ASSERT_EQ(ExtractPage(f.file(), page.get(), 0), kOk);
  Bilevel got = testutil::LibraryDecode(page.record);
  EXPECT_EQ(got, Bilevel(40, 30)) << "a record past the end holds no raster data";
}
