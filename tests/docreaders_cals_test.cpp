// CALS type 1 files: sizes and resolution from the header records, G4 data
// from byte 2048.  The files are written by ImageMagick.
#include "support/suite.h"

TEST(Cals, FilesWrittenByImageMagick) {
  // The second file's density (1200) has no leading zero: it is read after
  // the keyword, not from a fixed column.
  for (const auto& [name, resolution] : {std::pair{"small-200", 200}, {"wide-1200", 1200}}) {
    SCOPED_TRACE(name);
    const std::string path = DataPath(std::string("docreaders/") + name);
    const Raster reference = ReadImage(path + ".pbm");
    OpenedFile f(path + ".cal");
    ASSERT_EQ(f->fileType, kFileCals);
    ASSERT_EQ(f->pageCount, 1);
    Page page;
    ASSERT_EQ(f.Extract(page.get()), kOk);
    EXPECT_EQ(std::tuple(page->xResolution, page->yResolution, page->compression, page->dataSize),
              std::tuple(resolution, resolution, kG4, static_cast<uint32_t>(f->fileSize - 2048)));
    if (page->dataOwnership == kOwnedByView) {
      EXPECT_EQ(page->dataOffset, 2048u);
    }
    EXPECT_TRUE(SamePixels(reference, FaxPeerDecode(page.record)));
    EXPECT_TRUE(SamePixels(reference, DecodedRaster(page.get())));
  }
}

TEST(Cals, HeaderKeywordsAndShortHeaders) {
  // The density keyword spelled out in full, numbers after more than one
  // blank.
  Bytes file(2048 + 16, ' ');
  PutText(file, 0, "srcdocid: NONE");
  PutText(file, 6 * 128, "rtype: 1");
  PutText(file, 8 * 128, "rpelcnt:  000640,000480");
  PutText(file, 9 * 128, "rdensity: 0300");
  Page page;
  ASSERT_EQ(OpenedFile(file).Extract(page.get()), kOk);
  EXPECT_EQ(std::tuple(page->width, page->height, page->xResolution, page->dataSize), std::tuple(640, 480, 300, 16u));
  // No size, or a header cut short: refused.
  PutText(file, 8 * 128, "rpelcnt: none              ");
  Page none;
  EXPECT_EQ(OpenedFile(file).Extract(none.get()), kErrBadHeader);
  const Bytes good = ReadFileBytes(DataPath("docreaders/small-200.cal"));
  for (size_t cut : {size_t{1100}, size_t{2047}, size_t{2048}}) {
    Page cutPage;
    EXPECT_EQ(OpenedFile(Bytes(good.begin(), good.begin() + cut)).Extract(cutPage.get()), cut < 2048 ? kErrBadHeader : kOk)
        << cut;
  }
}
