// CALS type 1 files: sizes and resolution from the header records, G4 data
// from byte 2048.  The files are written by ImageMagick.
#include <gtest/gtest.h>

#include "imaging/core/core.h"
#include "support/docreaders_fax.h"

using namespace quillon;
using testutil::Bilevel;
using testutil::OpenedBytes;
using testutil::Page;

TEST(Cals, FilesWrittenByImageMagick) {
  struct Fixture {
    const char* name;
    int resolution;
  };
  // The second file's density (1200) has no leading zero: it is read after
  // the keyword, not from a fixed column.
  for (const Fixture& fx : {Fixture{"small-200", 200}, Fixture{"wide-1200", 1200}}) {
    SCOPED_TRACE(fx.name);
    const std::string path = testutil::DataPath(std::string("docreaders/") + fx.name);
    const Bilevel reference = testutil::ReadPbm(path + ".pbm");
    ASSERT_GT(reference.width, 0);
    testutil::OpenedFile f(path + ".cal");
    ASSERT_EQ(f.result, kOk);
    ASSERT_EQ(f.file.fileType, kFileCals);
    ASSERT_EQ(f.file.pageCount, 1);
    Page page;
    ASSERT_EQ(ExtractPage(&f.file, page.get(), 0), kOk);
    EXPECT_EQ(page->width, reference.width);
    EXPECT_EQ(page->height, reference.height);
    EXPECT_EQ(page->xResolution, fx.resolution);
    EXPECT_EQ(page->yResolution, fx.resolution);
    EXPECT_EQ(page->compression, kG4);
    EXPECT_EQ(page->dataSize, static_cast<uint32_t>(f.file.fileSize - 2048));
    if (page->dataOwnership == kOwnedByView) {
      EXPECT_EQ(page->dataOffset, 2048u);
    }
    Bilevel got = testutil::PeerDecode(page.record);
    EXPECT_EQ(got, reference) << testutil::FirstDifference(got, reference);
    got = testutil::LibraryDecode(page.record);
    EXPECT_EQ(got, reference) << "library: " << testutil::FirstDifference(got, reference);
  }

  testutil::OpenedFile sample(testutil::SamplePath("drawing.cal"));
  ASSERT_EQ(sample.result, kOk);
  Page page;
  ASSERT_EQ(ExtractPage(&sample.file, page.get(), 0), kOk);
  EXPECT_EQ(page->width, 1728);
  EXPECT_EQ(page->height, 2200);
  EXPECT_EQ(page->xResolution, 200);
}

TEST(Cals, HeaderKeywordsAndDamage) {
  // A header with the density keyword spelled out in full, and numbers
  // after more than one blank.
  std::vector<uint8_t> file(2048 + 16, ' ');
  auto record = [&](int index, const std::string& text) {
    testutil::PutText(file, static_cast<size_t>(index) * 128, text);
  };
  record(0, "srcdocid: NONE");
  record(6, "rtype: 1");
  record(8, "rpelcnt:  000640,000480");
  record(9, "rdensity: 0300");
  {
    OpenedBytes f(file);
    ASSERT_EQ(f.result(), kOk);
    Page page;
    ASSERT_EQ(ExtractPage(f.file(), page.get(), 0), kOk);
    EXPECT_EQ(page->width, 640);
    EXPECT_EQ(page->height, 480);
    EXPECT_EQ(page->xResolution, 300);
    EXPECT_EQ(page->dataSize, 16u);
  }
  // No size, or a header cut short: refused.
  record(8, "rpelcnt: none              ");
  {
    OpenedBytes f(file);
    Page page;
    EXPECT_EQ(ExtractPage(f.file(), page.get(), 0), kErrBadHeader);
  }
  std::vector<uint8_t> good = testutil::ReadFileBytes(testutil::DataPath("docreaders/small-200.cal"));
  for (size_t cut : {size_t{800}, size_t{1100}, size_t{2047}, size_t{2048}, good.size() - 1}) {
    OpenedBytes f(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<ptrdiff_t>(cut)));
    ASSERT_EQ(f.result(), kOk);
    Page page;
    int32_t r = ExtractPage(f.file(), page.get(), 0);
    EXPECT_EQ(r, cut < 2048 ? kErrBadHeader : kOk) << cut;
    if (r == kOk) {
      testutil::TouchPage(page.record, *f.file());
      testutil::LibraryDecode(page.record);  // the decoders meet the damage too
    }
  }
}
