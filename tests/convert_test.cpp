// The compression conversion: same-code copies, bilevel rows to runs and
// back, line order, the single inversion, and clean-up on every path.
#include "support/suite.h"

namespace {

// A 1-bpp uncompressed page owning `rows` (stride = row size given).
void MakeBilevel(Page& page, int width, const std::vector<std::vector<uint8_t>>& rows,
                 uint32_t stride) {
  page->width = width;
  page->height = static_cast<int32_t>(rows.size());
  page->bitsPerPixel = 1;
  page->compression = kUncompressed;
  page->bytesPerLine = stride;
  page->dataSize = stride * static_cast<uint32_t>(rows.size());
  page->data = static_cast<uint8_t*>(Allocate(page->dataSize));
  page->dataOwnership = kOwnedByPage;
  page->layoutFlags = kLayoutTopDown;
  for (size_t y = 0; y < rows.size(); ++y)
    std::memcpy(page->data + y * stride, rows[y].data(), rows[y].size());
}

std::vector<uint8_t> Line(const PageRecord& page, int y) {
  const uint8_t* line = LinePointers(page)[y];
  return std::vector<uint8_t>(line, line + RunLineLength(line) + 3);
}

int32_t ToRuns(Page& source, Page& out) {
  out->compression = kRunLists;
  return ConvertPage(source.get(), out.get(), 0);
}

}  // namespace

TEST(Convert, PackedRowsBecomeRunLists) {
  Page src;
  MakeBilevel(src, 10, {{0xFF, 0xC0, 0, 0}, {0x0F, 0xFF, 0, 0}}, 4);
  Page out;
  ASSERT_EQ(ToRuns(src, out), kOk);
  EXPECT_EQ(out->compression, kRunLists);
  EXPECT_EQ(out->dataOwnership, kOwnedByPage);
  EXPECT_EQ(Line(out.record, 0), (std::vector<uint8_t>{0x0A, 0, 0, 0}));
  EXPECT_EQ(Line(out.record, 1), (std::vector<uint8_t>{0, 4, 6, 0, 0, 0}));
  // The source is untouched and still owns its rows.
  EXPECT_EQ(src->data[0], 0xFF);
}

TEST(Convert, SameCodeCopyMovesLinePointers) {
  Page src;
  MakeBilevel(src, 16, {{0xF0, 0x0F}, {0xAA, 0x55}, {0xFF, 0xFF}}, 4);
  Page runs;
  ASSERT_EQ(ToRuns(src, runs), kOk);
  Page copy;
  copy->compression = kRunLists;
  ASSERT_EQ(ConvertPage(runs.get(), copy.get(), 0), kOk);
  ASSERT_NE(copy->data, runs->data);
  for (int y = 0; y < 3; ++y) {
    uint8_t* line = LinePointers(copy.record)[y];
    EXPECT_GE(line, copy->data);
    EXPECT_LT(line, copy->data + copy->dataSize);
    EXPECT_EQ(Line(copy.record, y), Line(runs.record, y));
  }
  // Editing the copy leaves the original alone.
  InvertRunLine(LinePointers(copy.record)[0]);
  EXPECT_NE(Line(copy.record, 0), Line(runs.record, 0));
}

TEST(Convert, BottomUpPages) {
  // Rows stored bottom line first: decoding to runs reverses the lines and
  // keeps the flag; a run-list copy with the flag is reversed and turned
  // top-down.
  Page src;
  MakeBilevel(src, 8, {{0x00}, {0xFF}}, 4);
  src->layoutFlags = kLayoutBottomUp | kLayoutBmp;
  Page runs;
  ASSERT_EQ(ToRuns(src, runs), kOk);
  EXPECT_EQ(Line(runs.record, 0), (std::vector<uint8_t>{8, 0, 0, 0}));
  EXPECT_EQ(runs->layoutFlags & kLayoutBottomUp, kLayoutBottomUp);
  Page copy;
  copy->compression = kRunLists;
  ASSERT_EQ(ConvertPage(runs.get(), copy.get(), 0), kOk);
  EXPECT_EQ(Line(copy.record, 0), (std::vector<uint8_t>{0, 8, 0, 0, 0}));
  EXPECT_EQ(copy->layoutFlags & (kLayoutBottomUp | kLayoutTopDown), kLayoutTopDown);

  // The same for pixels: a bottom-up 8-bpp copy comes out top line first.
  Page gray;
  gray->width = 2, gray->height = 2, gray->bitsPerPixel = 8;
  gray->bytesPerLine = 4, gray->dataSize = 8;
  gray->data = static_cast<uint8_t*>(Allocate(8));
  gray->dataOwnership = kOwnedByPage;
  gray->layoutFlags = kLayoutBottomUp;
  const uint8_t pixels[8] = {1, 2, 0, 0, 3, 4, 0, 0};
  std::memcpy(gray->data, pixels, 8);
  Page grayCopy;
  grayCopy->compression = kUncompressed;
  ASSERT_EQ(ConvertPage(gray.get(), grayCopy.get(), 0), kOk);
  EXPECT_NE(grayCopy->data, gray->data);
  EXPECT_EQ(grayCopy->data[0], 3);
  EXPECT_EQ(grayCopy->data[4], 1);
  EXPECT_EQ(gray->data[0], 1);
}

TEST(Convert, InvertsOnceAndBack) {
  Page src;
  MakeBilevel(src, 8, {{0xF0}}, 4);
  src->photometric = 1;
  Page runs;
  ASSERT_EQ(ToRuns(src, runs), kOk);
  EXPECT_EQ(runs->photometric, 0);
  EXPECT_EQ(Line(runs.record, 0), (std::vector<uint8_t>{0, 4, 4, 0, 0, 0}));
  // Back to packed rows: the runs painted, top line first, 4-byte stride.
  Page packed;
  packed->compression = kUncompressed;
  ASSERT_EQ(ConvertPage(runs.get(), packed.get(), 0), kOk);
  EXPECT_EQ(packed->bytesPerLine, 4u);
  EXPECT_EQ(packed->data[0], 0x0F);
}

TEST(Convert, RefusedCodesLeaveNothingBehind) {
  Page src;
  MakeBilevel(src, 8, {{0xF0}}, 4);
  for (int target : {int{kG3TwoD}, int{kIbmMmr}, int{kFlate}, 17, -1}) {
    Page out;
    out->compression = static_cast<int8_t>(target);
    EXPECT_EQ(ConvertPage(src.get(), out.get(), 0), kErrParameter) << target;
    EXPECT_EQ(out->data, nullptr);
  }
  // A source code without a decoder.
  Page mmr;
  MakeBilevel(mmr, 8, {{0xF0}}, 4);
  mmr->compression = kIbmMmr;
  Page out;
  out->compression = kRunLists;
  EXPECT_EQ(ConvertPage(mmr.get(), out.get(), 0), kErrParameter);
  // JPEG quality outside 0..2.
  Page jpeg;
  jpeg->compression = kJpeg;
  EXPECT_EQ(ConvertPage(src.get(), jpeg.get(), 3), kErrParameter);
}

TEST(Convert, UncompressedRowsReachingPastTheDataAreWhite) {
  Page src;
  MakeBilevel(src, 8, {{0x00}, {0x00}, {0x00}}, 4);
  src->dataSize = 4;  // only the first row lies inside the data
  Page runs;
  ASSERT_EQ(ToRuns(src, runs), kOk);
  EXPECT_EQ(Line(runs.record, 0), (std::vector<uint8_t>{0, 8, 0, 0, 0}));
  EXPECT_EQ(Line(runs.record, 1), (std::vector<uint8_t>{8, 0, 0, 0}));
  EXPECT_EQ(Line(runs.record, 2), (std::vector<uint8_t>{8, 0, 0, 0}));
}
