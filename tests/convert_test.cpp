// The compression conversion: same-code copies, bilevel rows to runs and
// back, line order, the single inversion, and clean-up on every path.
#include "support/suite.h"

namespace {

// A 1-bpp uncompressed page over `rows` (lines 4 bytes apart), which stay
// the caller's.
PageRecord Bilevel(const Bytes& rows, int32_t width) {
  PageRecord page = CodedPage(rows, kUncompressed, width, static_cast<int32_t>(rows.size() / 4));
  page.bytesPerLine = 4;
  return page;
}

std::vector<uint8_t> Line(const PageRecord& page, int y) {
  const uint8_t* line = LinePointers(page)[y];
  return std::vector<uint8_t>(line, line + RunLineLength(line) + 3);
}

int32_t Convert(PageRecord* source, Page& out, int code = kRunLists) {
  out->compression = static_cast<int8_t>(code);
  return ConvertPage(source, out.get(), 0);
}

}  // namespace

TEST(Convert, SameCodeCopyMovesLinePointers) {
  const Bytes rows = {0xF0, 0x0F, 0, 0, 0xAA, 0x55, 0, 0, 0xFF, 0xFF, 0, 0};
  PageRecord src = Bilevel(rows, 16);
  Page runs, copy;
  ASSERT_EQ(Convert(&src, runs), kOk);
  ASSERT_EQ(Convert(runs.get(), copy), kOk);
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
  const Bytes rows = {0x00, 0, 0, 0, 0xFF, 0, 0, 0};
  PageRecord src = Bilevel(rows, 8);
  src.layoutFlags = kLayoutBottomUp | kLayoutBmp;
  Page runs, copy;
  ASSERT_EQ(Convert(&src, runs), kOk);
  EXPECT_EQ(Line(runs.record, 0), (std::vector<uint8_t>{8, 0, 0, 0}));
  EXPECT_EQ(runs->layoutFlags & kLayoutBottomUp, kLayoutBottomUp);
  ASSERT_EQ(Convert(runs.get(), copy), kOk);
  EXPECT_EQ(Line(copy.record, 0), (std::vector<uint8_t>{0, 8, 0, 0, 0}));
  EXPECT_EQ(copy->layoutFlags & (kLayoutBottomUp | kLayoutTopDown), kLayoutTopDown);
  // The same for pixels: a bottom-up 8-bpp copy comes out top line first.
  Image image(2, 2, 8);
  image.px = {3, 4, 1, 2};
  Page gray, grayCopy;
  testpix::MakePixelPage(image, gray.get(), nullptr, true);
  ASSERT_EQ(Convert(gray.get(), grayCopy, kUncompressed), kOk);
  EXPECT_NE(grayCopy->data, gray->data);
  EXPECT_EQ(grayCopy->data[0], 3);
  EXPECT_EQ(grayCopy->data[4], 1);
  EXPECT_EQ(gray->data[0], 1);
}

TEST(Convert, InvertsOnceAndBack) {
  const Bytes rows = {0xF0, 0, 0, 0};
  PageRecord src = Bilevel(rows, 8);
  src.photometric = 1;
  Page runs, packed;
  ASSERT_EQ(Convert(&src, runs), kOk);
  EXPECT_EQ(runs->photometric, 0);
  EXPECT_EQ(Line(runs.record, 0), (std::vector<uint8_t>{0, 4, 4, 0, 0, 0}));
  // Back to packed rows: the runs painted, top line first, 4-byte stride.
  ASSERT_EQ(Convert(runs.get(), packed, kUncompressed), kOk);
  EXPECT_EQ(packed->bytesPerLine, 4u);
  EXPECT_EQ(packed->data[0], 0x0F);
}

TEST(Convert, RefusedCodesLeaveNothingBehind) {
  const Bytes rows = {0xF0, 0, 0, 0};
  PageRecord src = Bilevel(rows, 8);
  for (int target : {int{kG3TwoD}, int{kIbmMmr}, int{kFlate}, 17, -1}) {
    Page out;
    EXPECT_EQ(Convert(&src, out, target), kErrParameter) << target;
    EXPECT_EQ(out->data, nullptr);
  }
  // A source code without a decoder; a JPEG quality outside 0..2.
  PageRecord mmr = src;
  mmr.compression = kIbmMmr;
  Page out, jpeg;
  EXPECT_EQ(Convert(&mmr, out), kErrParameter);
  jpeg->compression = kJpeg;
  EXPECT_EQ(ConvertPage(&src, jpeg.get(), 3), kErrParameter);
}

TEST(Convert, UncompressedRowsReachingPastTheDataAreWhite) {
  const Bytes rows(12, 0);
  PageRecord src = Bilevel(rows, 8);
  src.dataSize = 4;  // only the first row lies inside the data
  Page runs;
  ASSERT_EQ(Convert(&src, runs), kOk);
  EXPECT_EQ(Line(runs.record, 0), (std::vector<uint8_t>{0, 8, 0, 0, 0}));
  EXPECT_EQ(Line(runs.record, 1), (std::vector<uint8_t>{8, 0, 0, 0}));
  EXPECT_EQ(Line(runs.record, 2), (std::vector<uint8_t>{8, 0, 0, 0}));
}
