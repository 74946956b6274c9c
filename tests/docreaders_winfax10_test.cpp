// WinFAX 10 files: page headers chained by their data sizes, fax data left
// in the view.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/core/core.h"
#include "support/doc_writers.h"
#include "support/docreaders_fax.h"

using namespace quillon;
using testutil::Bilevel;
using testutil::BitOrder;
using testutil::FaxCode;
using testutil::OpenedBytes;
using testutil::Page;
using testutil::WinFax10Page;

namespace {

WinFax10Page FaxPage(const Bilevel& picture, bool g4) {
  WinFax10Page p;
  p.width = picture.width;
  p.height = picture.height;
  p.g4 = g4;
  p.data = testutil::EncodeFax(picture, g4 ? FaxCode::kG4 : FaxCode::kG3OneD,
                               static_cast<uint32_t>(picture.height), BitOrder::kLsbFirst)[0];
  return p;
}

}  // namespace

TEST(WinFax10, PagesAreFoundByTheirHeadersAndKeepTheirCode) {
  const Bilevel one = testutil::TestDrawing(1728, 60, 20), two = testutil::TestDrawing(864, 45, 21),
                three = testutil::TestDrawing(1728, 30, 22);
  const std::vector<WinFax10Page> pages = {FaxPage(one, true), FaxPage(two, false),
                                           FaxPage(three, true)};
  OpenedBytes f(testutil::BuildWinFax10(pages));
  ASSERT_EQ(f.result(), kOk);
  ASSERT_EQ(f.file()->fileType, kFileWinFax10);
  ASSERT_EQ(f.file()->pageCount, 3);
  const Bilevel* pictures[] = {&one, &two, &three};
  uint64_t header = 0;
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    Page page;
    ASSERT_EQ(ExtractPage(f.file(), page.get(), i), kOk);
    EXPECT_EQ(page->compression, pages[i].g4 ? kG4 : kG3OneD);
    EXPECT_EQ(page->width, pictures[i]->width);
    EXPECT_EQ(page->height, pictures[i]->height);
    EXPECT_EQ(page->fillOrderReversed, 1);
    EXPECT_EQ(page->photometric, 0);
    ASSERT_EQ(page->dataSize, pages[i].data.size());
    if (page->dataOwnership == kOwnedByView) {
      EXPECT_EQ(page->dataOffset, header + 128);
    }
    EXPECT_EQ(std::memcmp(page->data + page->dataOffset, pages[i].data.data(), page->dataSize), 0);
    Bilevel got = testutil::PeerDecode(page.record);
    EXPECT_EQ(got, *pictures[i]) << testutil::FirstDifference(got, *pictures[i]);
    got = testutil::LibraryDecode(page.record);
    EXPECT_EQ(got, *pictures[i]) << "library: " << testutil::FirstDifference(got, *pictures[i]);
    header += 128 + pages[i].data.size();
  }
}

TEST(WinFax10, DamagedFilesEndCleanly) {
  const std::vector<uint8_t> good = testutil::BuildWinFax10(
      {FaxPage(testutil::TestDrawing(300, 40, 23), true),
       FaxPage(testutil::TestDrawing(300, 20, 24), false)});
  // Cut anywhere: the pages whose headers remain are read, their data cut
  // at the end of the file.
  for (size_t cut = 50; cut <= good.size(); cut += 5) {
    std::vector<uint8_t> bytes(good.begin(), good.begin() + static_cast<ptrdiff_t>(cut));
    OpenedBytes f(bytes);
    ASSERT_EQ(f.result(), kOk);
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
  // A first page whose data size reaches past the file: the walk finds no
  // second page, and the first keeps the data there is.
  std::vector<uint8_t> bytes = good;
  testutil::PutLE32(bytes, 116, 0x7FFFFFF0);
  OpenedBytes f(bytes);
  ASSERT_EQ(f.file()->pageCount, 1);
  Page page;
  ASSERT_EQ(ExtractPage(f.file(), page.get(), 0), kOk);
  EXPECT_EQ(page->dataSize, bytes.size() - 128);
  testutil::TouchPage(page.record, *f.file());
}
