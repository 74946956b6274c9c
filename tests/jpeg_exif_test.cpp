// Exif blocks of JPEG files: the thumbnail with flag 0x80 (JPEG or
// uncompressed), the one-eighth picture when there is none or it is
// damaged, and the texts of the first directory.
#include "support/suite.h"

namespace {

Raster Ours(const Bytes& jpeg, int32_t flags = 0) { return DecodeBytes(jpeg, kJpeg, flags); }

// The stream with an APP1 "Exif" segment around `tiff` after SOI.
Bytes WithExif(const Bytes& jpeg, const Bytes& tiff) { return JpegWithSegment(jpeg, 0xE1, Concat({{'E', 'x', 'i', 'f', 0, 0}, tiff})); }

// The camera's thumbnail: the first JPEG stream inside the file.
Bytes EmbeddedThumbnail(const Bytes& jpeg) {
  const Bytes soi = {0xFF, 0xD8}, eoi = {0xFF, 0xD9};
  const auto start = std::search(jpeg.begin() + 4, jpeg.end(), soi.begin(), soi.end());
  const auto end = std::search(start, jpeg.end(), eoi.begin(), eoi.end());
  return end == jpeg.end() ? Bytes{} : Bytes(start, end + 2);
}

const Bytes kPlain = ReadFileBytes(DataPath("jpeg/sampling-420.jpg"));
const Bytes kGray = ReadFileBytes(DataPath("jpeg/gray.jpg"));

}  // namespace

TEST(JpegExif, TheThumbnailOfACameraFileComesAs16Bits) {
  const Bytes camera = ReadFileBytes(SamplePath("camera-exif.jpg"));
  const Bytes thumbnail = EmbeddedThumbnail(camera);
  ASSERT_FALSE(thumbnail.empty());
  const Raster ours = Ours(camera, kFlagJpegThumbnail);
  ASSERT_EQ(ours.result, kOk);
  EXPECT_EQ(ours.width, 160);
  EXPECT_EQ(ours.height, 120);
  EXPECT_EQ(ours.pixels, Ours(thumbnail, kFlagJpeg16Bpp).pixels);
  EXPECT_GE(Psnr(ours, JpegDecode(thumbnail)), 34);
  // Without the flag, the main picture.
  const Raster main = Ours(camera);
  EXPECT_EQ(main.width, 320);
  EXPECT_GE(Psnr(main, JpegDecode(camera)), 38);
  // A damaged thumbnail (no frame header left): the main picture at
  // one-eighth size.
  Bytes damaged = camera;
  const size_t at = static_cast<size_t>(std::search(damaged.begin() + 4, damaged.end(), thumbnail.begin(), thumbnail.end()) -
                                        damaged.begin());
  std::fill(damaged.begin() + at + 2, damaged.begin() + at + thumbnail.size(), 0xFF);
  EXPECT_EQ(Ours(damaged, kFlagJpegThumbnail).width, 40);
}

TEST(JpegExif, WithoutAThumbnailTheOneEighthPictureAndTheTexts) {
  const Raster eighth = Ours(kPlain, kFlagJpegEighth);
  EXPECT_EQ(Ours(kPlain, kFlagJpegThumbnail).pixels, eighth.pixels);
  // An Exif block of one directory: no thumbnail, and the texts of the
  // first directory come with the main picture.
  TiffDirectory first;
  first.fields = {{kTagMake, kTiffAscii, {}, "Tarnwick"}, {kTagModel, kTiffAscii, {}, "QuickSnap 2"}};
  const Bytes single = WithExif(kPlain, BuildTiff({first}));
  EXPECT_EQ(Ours(single, kFlagJpegThumbnail).pixels, eighth.pixels);
  PageRecord source = CodedPage(single, kJpeg, 0, 0, 24);
  Page page;
  ASSERT_EQ(Decode(&source, page), kOk);
  EXPECT_EQ(std::string(page->applicationText), "Tarnwick");
  EXPECT_EQ(std::string(page->plainText), "QuickSnap 2");
}

TEST(JpegExif, UncompressedThumbnailsComeAs16Bits) {
  // A 5 x 3 thumbnail of Red, Green, Blue samples in the second directory.
  Raster rgb{0, 5, 3, 3, 0, {}};
  for (int i = 0; i < 15; ++i)
    rgb.pixels.insert(rgb.pixels.end(), {static_cast<uint8_t>(i * 17), static_cast<uint8_t>(255 - i * 9),
                                         static_cast<uint8_t>(i * 5 + 40)});
  TiffDirectory first, second;
  first.fields = {{kTagSoftware, kTiffAscii, {}, "Firmware 1.02"}};
  second.image = rgb.pixels;
  second.fields = {{kTagImageWidth, kTiffShort, {5}, ""}, {kTagImageLength, kTiffShort, {3}, ""}, {kTagBitsPerSample, kTiffShort, {8, 8, 8}, ""}, {kTagCompression, kTiffShort, {1}, ""}, {kTagPhotometric, kTiffShort, {2}, ""},
                   {kTagStripOffsets, kTiffLong, {}, ""},  {kTagSamplesPerPixel, kTiffShort, {3}, ""}, {kTagRowsPerStrip, kTiffShort, {3}, ""},       {kTagStripByteCounts, kTiffLong, {}, ""}};
  for (bool big : {false, true})
    EXPECT_TRUE(SamePixels(Widened565(rgb), Ours(WithExif(kGray, BuildTiff({first, second}, big)), kFlagJpegThumbnail)))
        << big;
}

TEST(JpegExif, HostileExifBlocksEndCleanly) {
  const Raster eighth = Ours(kGray, kFlagJpegEighth);
  std::vector<Bytes> blocks = {
      {'I', 'I', 42, 0},                                // cut short
      {'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xFF},        // 65535 entries
      {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0, 0, 0, 0, 8},  // a directory linked to itself
      {'I', 'I', 42, 0, 0xF0, 0xFF, 0xFF, 0xFF},        // first directory far away
  };
  // Second directory naming a thumbnail past the block's end.
  TiffDirectory first, second;
  first.fields = {{kTagMake, kTiffAscii, {}, "x"}};
  second.fields = {{kTagCompression, kTiffShort, {6}, ""}, {kTagJpegInterchange, kTiffLong, {60000}, ""}, {kTagJpegInterchangeLength, kTiffLong, {4000}, ""}};
  blocks.push_back(BuildTiff({first, second}));
  second.fields = {{kTagCompression, kTiffShort, {6}, ""}, {kTagJpegInterchange, kTiffLong, {8}, ""}, {kTagJpegInterchangeLength, kTiffLong, {0xFFFFFFF0}, ""}};
  blocks.push_back(BuildTiff({first, second}, true));
  for (const Bytes& block : blocks) {
    EXPECT_EQ(Ours(WithExif(kGray, block), kFlagJpegThumbnail).pixels, eighth.pixels);
    EXPECT_EQ(Ours(WithExif(kGray, block)).result, kOk);
  }
}
