// PSEG page segments: raster cells ORed into the page, records with
// extensions, and damaged records.
#include "support/suite.h"

namespace {

PsegCell Cell(int x, int y, const Image& picture) { return {x, y, picture.width, testpix::PackedRows(picture, true)}; }

// The only page of a segment, decoded.
Raster Read(const Bytes& bytes, int32_t* result = nullptr) {
  OpenedFile f(bytes);
  EXPECT_EQ(f->fileType, kFilePseg);
  Page page;
  const int32_t r = f.Extract(page.get());
  if (result) *result = r;
  if (r != kOk) return Raster{};
  EXPECT_EQ(page->compression, kUncompressed);
  EXPECT_EQ(page->photometric, 1);
  EXPECT_EQ(page->dataSize, page->bytesPerLine * static_cast<uint32_t>(page->height));
  return DecodedRaster(page.get());
}

}  // namespace

TEST(Pseg, OverlappingCellsAreOredAtTheirBitOffsets) {
  // Cell widths and x offsets that are not multiples of 8 shift every row;
  // the second cell overlaps the first and a third runs off the page.
  const Image a = testpix::Drawing(17, 12, 1), b = testpix::Drawing(21, 9, 2), c = testpix::Drawing(30, 15, 3);
  const std::vector<PsegCell> cells = {Cell(0, 0, a), Cell(13, 5, b), Cell(35, 8, c)};
  Image expected = testpix::Uniform(50, 20, 1, 1);
  for (const auto& [cell, picture] : {std::pair{cells[0], &a}, {cells[1], &b}, {cells[2], &c}})
    for (int y = 0; y < picture->height && cell.y + y < 20; ++y)
      for (int x = 0; x < picture->width && cell.x + x < 50; ++x)
        if (!picture->at(x, y)) expected.at(cell.x + x, cell.y + y) = 0;
  EXPECT_TRUE(SamePixels(testpix::ToRaster(expected), Read(BuildPseg(50, 20, cells))));
  // Rows split across raster records at odd places read the same.
  EXPECT_TRUE(SamePixels(testpix::ToRaster(expected), Read(BuildPseg(50, 20, cells, {.rasterChunk = 5}))));
}

TEST(Pseg, OneCellWithoutPositionExtensionsAndDamage) {
  // An image without a cell position is one cell at the origin; extensions
  // move the fields and are not raster data.
  const Image picture = testpix::Drawing(45, 23, 4);
  EXPECT_TRUE(SamePixels(testpix::ToRaster(picture),
                         Read(BuildPseg(45, 23, {Cell(0, 0, picture)}, {.cellPositions = false, .rasterChunk = 7}))));
  EXPECT_TRUE(SamePixels(testpix::ToRaster(picture),
                         Read(BuildPseg(45, 23, {Cell(0, 0, picture)},
                                        {.descriptorExtension = 5, .rasterExtension = 3, .rasterChunk = 20}))));
  // Without an image descriptor there is no page; a raster record past the
  // end of the file holds no raster data.
  const Bytes good = BuildPseg(40, 30, {Cell(3, 2, testpix::Drawing(40, 30, 6))});
  Bytes noDescriptor = good, longRecord = good;
  for (size_t i = 0; i + 4 < good.size(); ++i)
    if (good[i] == 'Z' && good[i + 3] == 0xD3) {
      if (good[i + 4] == 0xA6) noDescriptor[i + 4] = 0xA7;
      if (good[i + 4] == 0xEE) longRecord[i + 1] = 0x7F;
    }
  int32_t result = kOk;
  Read(noDescriptor, &result);
  EXPECT_EQ(result, kErrBadHeader);
  EXPECT_TRUE(SamePixels(testpix::ToRaster(testpix::Uniform(40, 30, 1, 1)), Read(longRecord)));
}
