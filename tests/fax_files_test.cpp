// Fax pages of real files, end to end: OpenImageFile, ExtractPage and
// ConvertPage to run lists, every pixel compared with libtiff's decode.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/core/core.h"
#include "imaging/core/runlist.h"
#include "support/fax_support.h"
#include "support/test_util.h"

using namespace quillon;

namespace {

struct SamplePage {
  const char* file;
  int32_t index;
  int compression;  // what the reader reports
};

class FaxSample : public ::testing::TestWithParam<SamplePage> {};

}  // namespace

TEST_P(FaxSample, DecodesLikeLibtiff) {
  const SamplePage s = GetParam();
  const std::string path = testutil::SamplePath(s.file);
  testutil::OpenedFile file(path);
  ASSERT_EQ(file.result, kOk);
  testutil::Page page;
  ASSERT_EQ(ExtractPage(&file.file, page.get(), s.index), kOk);
  ASSERT_EQ(page->compression, s.compression);
  testutil::Page runs;
  runs->compression = kRunLists;
  ASSERT_EQ(ConvertPage(page.get(), runs.get(), 0), kOk);
  ASSERT_TRUE(testutil::RunLinesValid(runs.record));
  // The samples are min-is-white: coded white is the library's white.
  ASSERT_EQ(runs->photometric, 0);
  const std::vector<uint8_t> expected = testutil::LibtiffRows(path, s.index);
  ASSERT_FALSE(expected.empty());
  const std::vector<uint8_t> rows = testutil::PaintRows(runs.record);
  ASSERT_EQ(rows.size(), expected.size());
  const uint32_t rowBytes = RowBytes(runs->width, 1);
  for (size_t i = 0; i < rows.size(); ++i)
    ASSERT_EQ(rows[i], expected[i]) << "line " << i / rowBytes << " byte " << i % rowBytes;

  // Two thirds of the coded data: without the keep-partial flag the two-
  // dimensional codings fail and leave the page as it was; with it the top
  // of the page survives and the rest is blank.
  if (page->stripCount >= 2 || s.compression == kG3OneD) return;
  testutil::Page cut;
  ASSERT_EQ(ExtractPage(&file.file, cut.get(), s.index), kOk);
  cut->dataSize = cut->dataSize * 2 / 3;
  testutil::Page partial;
  partial->compression = kRunLists;
  uint8_t* const data = cut->data;
  const bool reversed = cut->fillOrderReversed;
  ASSERT_EQ(ConvertPage(cut.get(), partial.get(), 0), kErrDecompress);
  EXPECT_EQ(partial->data, nullptr);
  if (reversed) {
    // Normalised once into a buffer of the page's own; the view is kept.
    EXPECT_EQ(cut->fillOrderReversed, 0);
    EXPECT_EQ(cut->dataOwnership, kOwnedByPage);
  } else {
    EXPECT_EQ(cut->data, data);
  }
  ASSERT_EQ(ConvertPage(cut.get(), partial.get(), kFlagKeepPartial), kOk);
  const std::vector<uint8_t> kept = testutil::PaintRows(partial.record);
  int32_t same = 0;
  while (same < runs->height &&
         std::equal(kept.begin() + same * rowBytes, kept.begin() + (same + 1) * rowBytes,
                    rows.begin() + same * rowBytes))
    ++same;
  EXPECT_GT(same, 0);
  EXPECT_LT(same, runs->height);
  for (int32_t y = same; y < runs->height; ++y)
    ASSERT_EQ(testutil::LineRuns(partial.record, y), std::vector<uint32_t>{static_cast<uint32_t>(runs->width)})
        << "line " << y;
}

INSTANTIATE_TEST_SUITE_P(
    Samples, FaxSample,
    ::testing::Values(SamplePage{"letter-g4.tif", 0, kG4},
                      SamplePage{"memo-g3-2page.tif", 0, kG3OneD},
                      SamplePage{"memo-g3-2page.tif", 1, kG3OneD},
                      SamplePage{"invoice-g3-2d.tif", 0, kG3TwoD},
                      SamplePage{"pages-bigendian.tif", 1, kG4}),
    [](const auto& info) {
      std::string name = std::string(info.param.file) + "_" + std::to_string(info.param.index);
      for (char& c : name)
        if (c == '-' || c == '.') c = '_';
      return name;
    });

TEST(FaxSample, SaveAsG4AndBackIsTheSamePage) {
  testutil::OpenedFile file(testutil::SamplePath("invoice-g3-2d.tif"));
  ASSERT_EQ(file.result, kOk);
  testutil::Page page;
  ASSERT_EQ(ExtractPage(&file.file, page.get(), 0), kOk);
  testutil::Page runs;
  runs->compression = kRunLists;
  ASSERT_EQ(ConvertPage(page.get(), runs.get(), 0), kOk);
  for (int target : {kG4, kG3OneD, kModifiedHuffman}) {
    testutil::Page coded;
    coded->compression = static_cast<int8_t>(target);
    ASSERT_EQ(ConvertPage(runs.get(), coded.get(), 0), kOk) << target;
    testutil::Page back;
    back->compression = kRunLists;
    ASSERT_EQ(ConvertPage(coded.get(), back.get(), 0), kOk) << target;
    for (int32_t y = 0; y < runs->height; ++y)
      ASSERT_EQ(testutil::LineRuns(back.record, y), testutil::LineRuns(runs.record, y))
          << target << " line " << y;
  }
}
