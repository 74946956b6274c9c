// IOCA pages: structured fields, the self-defining fields inside the
// picture data, the compression mapping and the polarity of uncompressed
// images.
#include "support/suite.h"

namespace {

IocaPage FaxPage(const Image& picture, bool lsbFirst, bool g4 = true) {
  IocaPage p;
  p.width = picture.width;
  p.height = picture.height;
  p.xDpi = 240;
  p.yDpi = 120;
  p.encoding = g4 ? 0x82 : 0x80;
  p.bitOrder = lsbFirst ? 1 : -1;
  for (const Bytes& strip : FaxStrips(testpix::PackedRows(picture, true), picture.width, picture.height,
                                      g4 ? COMPRESSION_CCITTFAX4 : COMPRESSION_CCITTFAX3, g4 ? 0 : 50, lsbFirst))
    p.image.insert(p.image.end(), strip.begin(), strip.end());
  return p;
}

// IOCA's own uncompressed form: bit 1 = ink, rows byte-aligned.
IocaPage RawPage(const Image& picture, bool lsbFirst) {
  IocaPage p;
  p.width = picture.width;
  p.height = picture.height;
  p.encoding = 0x03;
  p.image = testpix::PackedRows(picture, true);
  if (lsbFirst) p.bitOrder = 1, ReverseBits(p.image.data(), p.image.data(), static_cast<uint32_t>(p.image.size()));
  return p;
}

}  // namespace

TEST(Ioca, ImageDataIsGatheredFromFieldsSplitAnywhere) {
  const Image picture = testpix::Drawing(300, 120, 7);
  IocaPage p = FaxPage(picture, false);
  p.imageChunk = 97;     // image data in many self-defining fields
  p.pictureChunk = 150;  // which straddle the picture data fields
  OpenedFile f(BuildIoca({p}));
  ASSERT_EQ(f->fileType, kFileIoca);
  ASSERT_EQ(f->pageCount, 1);
  Page page;
  ASSERT_EQ(f.Extract(page.get()), kOk);
  EXPECT_EQ(std::tuple(page->xResolution, page->yResolution, page->compression, page->fillOrderReversed,
                       page->dataOwnership),
            std::tuple(240, 120, kG4, 0, kOwnedByPage));
  EXPECT_EQ(Bytes(page->data + page->dataOffset, page->data + page->dataOffset + page->dataSize), p.image);
  EXPECT_TRUE(SamePixels(testpix::ToRaster(picture), FaxPeerDecode(page.record)));
}

TEST(Ioca, UncompressedImagesAreTurnedToTheLibrarysPolarity) {
  // Ink is bit 1 in IOCA; the page the library shows must not be a negative.
  for (bool lsbFirst : {false, true}) {
    const Image picture = testpix::Drawing(77, 31, 8);
    IocaPage p = RawPage(picture, lsbFirst);
    p.imageChunk = 40;
    p.pictureChunk = 64;
    Page page;
    OpenedFile f(BuildIoca({p}));
    ASSERT_EQ(f.Extract(page.get()), kOk);
    EXPECT_EQ(page->compression, kUncompressed);
    EXPECT_EQ(page->bytesPerLine, RowBytes(77, 1));
    EXPECT_EQ(page->dataSize, RowBytes(77, 1) * 31);
    EXPECT_EQ(page->fillOrderReversed, 0);
    EXPECT_TRUE(SamePixels(testpix::ToRaster(picture), DecodedRaster(page.get()))) << lsbFirst;
  }
}

TEST(Ioca, PagesAndTheEncodingParameter) {
  const Image one = testpix::Drawing(64, 40, 9), two = testpix::Drawing(129, 50, 10),
                       three = testpix::Drawing(20, 20, 11);
  OpenedFile f(BuildIoca({FaxPage(one, true), FaxPage(two, true, false), RawPage(three, false)}));
  ASSERT_EQ(f->pageCount, 3);
  const std::pair<int, const Image*> expected[] = {{kG4, &one}, {kG3OneD, &two}, {kUncompressed, &three}};
  for (int i = 0; i < 3; ++i) {
    Page page;
    ASSERT_EQ(f.Extract(page.get(), i), kOk);
    EXPECT_EQ(page->compression, expected[i].first);
    if (i < 2) {
      EXPECT_EQ(page->fillOrderReversed, 1);
      EXPECT_TRUE(SamePixels(testpix::ToRaster(*expected[i].second), FaxPeerDecode(page.record)));
    }
    EXPECT_TRUE(SamePixels(testpix::ToRaster(*expected[i].second), DecodedRaster(page.get())));
  }
  // Encodings the library has no decoder for are refused.
  IocaPage odd = RawPage(three, false);
  odd.encoding = 0x08;
  Page refused;
  EXPECT_EQ(OpenedFile(BuildIoca({odd})).Extract(refused.get()), kErrUnsupported);
  EXPECT_EQ(refused->data, nullptr);
}

// Fields that claim more than the picture data or the file holds are inputs
// of the open fuzz target (fuzz/regressions/open/ioca-*).
TEST(Ioca, WithoutAnImageDataDescriptorThereIsNoPageSize) {
  IocaPage p = FaxPage(testpix::Drawing(90, 40, 12), false);
  Bytes noDescriptor = BuildIoca({p});
  for (size_t i = 0; i + 4 < noDescriptor.size(); ++i)
    if (noDescriptor[i + 2] == 0xD3 && noDescriptor[i + 3] == 0xA6 && noDescriptor[i + 4] == 0xFB) noDescriptor[i + 3] = 0xA5;
  Page page;
  EXPECT_EQ(OpenedFile(noDescriptor).Extract(page.get()), kErrBadHeader);
}

// JPEG image data is gray or colour: the frame header, not the image
// descriptor, gives the page its depth and size.
TEST(Ioca, JpegPagesTakeTheirDepthFromTheFrame) {
  for (bool gray : {true, false}) {
    IocaPage p;
    p.width = p.height = 1;
    p.encoding = 0x83;
    p.image = JpegEncode(TestPicture(40, 24), {.gray = gray});
    p.imageChunk = 100;
    Page page;
    ASSERT_EQ(OpenedFile(BuildIoca({p})).Extract(page.get()), kOk);
    EXPECT_EQ(std::tuple(page->bitsPerPixel, page->width, page->height), std::tuple(gray ? 8 : 24, 40, 24));
    EXPECT_TRUE(SamePixels(DecodeBytes(p.image, kJpeg), DecodedRaster(page.get())));
  }
}
