// WinFAX 10 files: page headers chained by their data sizes, fax data left
// in the view.
#include "support/suite.h"

namespace {

WinFax10Page FaxPage(const Image& picture, bool g4) {
  return {picture.width, picture.height, g4,
          FaxStrips(testpix::PackedRows(picture, true), picture.width, picture.height,
                    g4 ? COMPRESSION_CCITTFAX4 : COMPRESSION_CCITTFAX3, 0, true)[0]};
}

}  // namespace

TEST(WinFax10, PagesAreFoundByTheirHeadersAndKeepTheirCode) {
  const Image pictures[] = {testpix::Drawing(1728, 60, 20), testpix::Drawing(864, 45, 21),
                                     testpix::Drawing(1728, 30, 22)};
  const std::vector<WinFax10Page> pages = {FaxPage(pictures[0], true), FaxPage(pictures[1], false),
                                           FaxPage(pictures[2], true)};
  OpenedFile f(BuildWinFax10(pages));
  ASSERT_EQ(f->fileType, kFileWinFax10);
  ASSERT_EQ(f->pageCount, 3);
  uint64_t header = 0;
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    Page page;
    ASSERT_EQ(f.Extract(page.get(), i), kOk);
    EXPECT_EQ(page->compression, pages[i].g4 ? kG4 : kG3OneD);
    EXPECT_EQ(page->fillOrderReversed, 1);
    EXPECT_EQ(page->photometric, 0);
    if (page->dataOwnership == kOwnedByView) {
      EXPECT_EQ(page->dataOffset, header + 128);
    }
    EXPECT_EQ(Bytes(page->data + page->dataOffset, page->data + page->dataOffset + page->dataSize), pages[i].data);
    EXPECT_TRUE(SamePixels(testpix::ToRaster(pictures[i]), FaxPeerDecode(page.record)));
    EXPECT_TRUE(SamePixels(testpix::ToRaster(pictures[i]), DecodedRaster(page.get())));
    header += 128 + pages[i].data.size();
  }
  // A first page whose data size reaches past the file: the walk finds no
  // second page, and the first keeps the data there is.
  Bytes bytes = BuildWinFax10(pages);
  PutLE32(bytes, 116, 0x7FFFFFF0);
  OpenedFile cut(bytes);
  ASSERT_EQ(cut->pageCount, 1);
  Page page;
  ASSERT_EQ(cut.Extract(page.get()), kOk);
  EXPECT_EQ(page->dataSize, bytes.size() - 128);
}
