// JPEG inside TIFF (compression 7 as libtiff writes it): abbreviated strips
// decoded with the page's tables stream, each strip's lines in place,
// against libtiff's own decode.
#include "support/suite.h"

TEST(JpegTiff, StripsDecodeWithTheSharedTables) {
  for (const char* name : {"tiff-strips.tif", "tiff-one-strip.tif", "tiff-gray-strips.tif", "tiff-rgb-strips.tif"}) {
    SCOPED_TRACE(name);
    const std::string path = DataPath(std::string("jpeg/") + name);
    const Raster theirs = TiffRgba(ReadFileBytes(path));
    // libtiff upsamples chroma by interpolation; we replicate it.
    EXPECT_GE(Psnr(FileRaster(path), theirs), 38);
    const Raster half = FileRaster(path, 0, kFlagJpegHalf), eighth = FileRaster(path, 0, kFlagJpegEighth | kFlagJpeg16Bpp);
    EXPECT_EQ(half.width, 56);
    EXPECT_EQ(half.height, 40);
    EXPECT_TRUE(MatchesDigest(std::string("jpeg-") + name + "-half", half, "libtiff, its picture averaged"));
    EXPECT_EQ(eighth.width, 14);
    EXPECT_EQ(eighth.height, 10);
  }
}

TEST(JpegTiff, StripsWithoutTablesOrCutShort) {
  OpenedFile f(DataPath("jpeg/tiff-strips.tif"));
  Page page;
  ASSERT_EQ(f.Extract(page.get()), kOk);
  ASSERT_EQ(page->compression, kJpeg);
  auto decode = [&](int32_t flags) {
    Page out;
    Raster r;
    r.result = Decode(page.get(), out, flags);
    if (r.result == kOk) r = PageRaster(out.record);
    return r;
  };
  const Raster full = decode(0);
  ASSERT_EQ(full.result, kOk);
  // Strip 3 of 5 cut to a few bytes: the first three strips stay.
  ASSERT_EQ(page->stripCount, 5);
  const uint32_t kept = page->stripByteCounts[2];
  page->stripByteCounts[2] = 40;
  EXPECT_EQ(decode(0).result, kErrDecompress);
  const Raster partial = decode(kFlagKeepPartial);
  ASSERT_EQ(partial.result, kOk);
  const size_t row = 112 * 3;
  EXPECT_TRUE(std::equal(full.pixels.begin(), full.pixels.begin() + 32 * row, partial.pixels.begin()));
  EXPECT_TRUE(std::all_of(partial.pixels.begin() + 48 * row, partial.pixels.end(), [](uint8_t v) { return v == 0; }));
  page->stripByteCounts[2] = kept;
  // A tables stream that holds a whole picture is not taken for tables,
  // nor is no tables stream at all.
  ASSERT_EQ(page->data, f->view);  // strips and tables in the file
  const Bytes other = ReadFileBytes(DataPath("jpeg/gray.jpg"));
  Bytes combined(f->view, f->view + f->fileSize);
  combined.insert(combined.end(), other.begin(), other.end());
  const PageRecord saved = page.record;
  page->data = combined.data();
  page->dataOffset = static_cast<uint32_t>(f->fileSize);
  page->dataSize = static_cast<uint32_t>(other.size());
  EXPECT_NE(decode(0).result, kOk);
  page->dataSize = 0;
  EXPECT_NE(decode(0).result, kOk);
  page.record = saved;
  EXPECT_EQ(decode(0).pixels, full.pixels);
}
