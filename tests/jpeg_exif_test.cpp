// Exif blocks of JPEG files: the thumbnail with flag 0x80 (JPEG or
// uncompressed), the one-eighth picture when there is none or it is
// damaged, and the texts of the first directory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/core/core.h"
#include "support/builders.h"
#include "support/jpeg_peer.h"
#include "support/test_util.h"

using namespace quillon;
using testutil::Image;
using testutil::JpegFixture;
using testutil::OurDecode;

namespace {

// The stream with an APP1 "Exif" segment around `tiff` after SOI.
std::vector<uint8_t> WithExif(const std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& tiff) {
  std::vector<uint8_t> body = {'E', 'x', 'i', 'f', 0, 0};
  body.insert(body.end(), tiff.begin(), tiff.end());
  std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
  out.insert(out.end(), {0xFF, 0xE1, static_cast<uint8_t>((body.size() + 2) >> 8),
                         static_cast<uint8_t>(body.size() + 2)});
  out.insert(out.end(), body.begin(), body.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

// The first JPEG stream inside the first one: the camera's thumbnail.
std::vector<uint8_t> EmbeddedThumbnail(const std::vector<uint8_t>& jpeg) {
  for (size_t i = 4; i + 1 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xD8) {
      for (size_t j = i + 2; j + 1 < jpeg.size(); ++j)
        if (jpeg[j] == 0xFF && jpeg[j + 1] == 0xD9) return {jpeg.begin() + i, jpeg.begin() + j + 2};
    }
  return {};
}

TEST(JpegExif, TheThumbnailOfACameraFile) {
  const std::vector<uint8_t> camera = testutil::ReadFileBytes(testutil::SamplePath("camera-exif.jpg"));
  const std::vector<uint8_t> thumbnail = EmbeddedThumbnail(camera);
  ASSERT_FALSE(thumbnail.empty());
  const Image ours = OurDecode(camera, kFlagJpegThumbnail, true);
  ASSERT_EQ(ours.result, kOk);
  EXPECT_EQ(ours.width, 160);
  EXPECT_EQ(ours.height, 120);
  EXPECT_EQ(ours.channels, 2) << "a colour thumbnail comes as 16 bpp";
  EXPECT_EQ(ours.pixels, OurDecode(thumbnail, kFlagJpeg16Bpp, true).pixels);
  EXPECT_GE(testutil::Psnr(OurDecode(camera, kFlagJpegThumbnail), testutil::PeerDecode(thumbnail)), 34);
  // Without the flag, the main picture.
  const Image main = OurDecode(camera, 0);
  EXPECT_EQ(main.width, 320);
  EXPECT_GE(testutil::Psnr(main, testutil::PeerDecode(camera)), 38);
}

TEST(JpegExif, WithoutAThumbnailTheOneEighthPicture) {
  const std::vector<uint8_t> plain = JpegFixture("sampling-420.jpg");
  const Image eighth = OurDecode(plain, kFlagJpegEighth);
  const Image asked = OurDecode(plain, kFlagJpegThumbnail);
  ASSERT_EQ(asked.result, kOk);
  EXPECT_EQ(asked.width, 14);
  EXPECT_EQ(asked.pixels, eighth.pixels);

  // An Exif block of one directory; one whose thumbnail is damaged.
  testutil::TiffDirectory first;
  first.fields = {{271, 2, {}, "Tarnwick"}, {272, 2, {}, "QuickSnap 2"}};
  const std::vector<uint8_t> single = WithExif(plain, testutil::BuildTiff({first}, false));
  EXPECT_EQ(OurDecode(single, kFlagJpegThumbnail).pixels, eighth.pixels);
  std::vector<uint8_t> camera = testutil::ReadFileBytes(testutil::SamplePath("camera-exif.jpg"));
  const std::vector<uint8_t> thumbnail = EmbeddedThumbnail(camera);
  const size_t at = static_cast<size_t>(std::search(camera.begin() + 4, camera.end(), thumbnail.begin(),
                                                    thumbnail.end()) - camera.begin());
  for (size_t i = at + 2; i < at + thumbnail.size(); ++i) camera[i] = 0xFF;  // no frame header left
  const Image fallback = OurDecode(camera, kFlagJpegThumbnail);
  ASSERT_EQ(fallback.result, kOk);
  EXPECT_EQ(fallback.width, 40) << "the main picture at one-eighth size";
  // The texts of the first directory come with the main picture.
  testutil::Page page;
  PageRecord source{};
  source.data = const_cast<uint8_t*>(single.data());
  source.dataSize = static_cast<uint32_t>(single.size());
  source.dataOwnership = kOwnedByView;
  source.compression = kJpeg;
  page->compression = kUncompressed;
  ASSERT_EQ(ConvertPage(&source, page.get(), 0), kOk);
  EXPECT_EQ(std::string(page->applicationText), "Tarnwick");
  EXPECT_EQ(std::string(page->plainText), "QuickSnap 2");
}

TEST(JpegExif, UncompressedThumbnailsComeAs16Bits) {
  // A 5 x 3 thumbnail of Red, Green, Blue samples in the second directory.
  std::vector<uint8_t> rgb;
  for (int i = 0; i < 15; ++i)
    rgb.insert(rgb.end(), {static_cast<uint8_t>(i * 17), static_cast<uint8_t>(255 - i * 9),
                           static_cast<uint8_t>(i * 5 + 40)});
  testutil::TiffDirectory first;
  first.fields = {{305, 2, {}, "Firmware 1.02"}};
  testutil::TiffDirectory second;
  second.image = rgb;
  second.fields = {{256, 3, {5}, ""}, {257, 3, {3}, ""}, {258, 3, {8, 8, 8}, ""},
                   {259, 3, {1}, ""}, {262, 3, {2}, ""}, {273, 4, {}, ""},
                   {277, 3, {3}, ""}, {278, 3, {3}, ""}, {279, 4, {}, ""}};
  for (bool big : {false, true}) {
    const std::vector<uint8_t> bytes =
        WithExif(JpegFixture("gray.jpg"), testutil::BuildTiff({first, second}, big));
    const Image ours = OurDecode(bytes, kFlagJpegThumbnail, true);
    ASSERT_EQ(ours.result, kOk) << big;
    EXPECT_EQ(ours.width, 5);
    EXPECT_EQ(ours.height, 3);
    Image expected;
    expected.pixels = rgb;
    EXPECT_EQ(ours.pixels, testutil::PackRgb565(expected)) << big;
  }
}

TEST(JpegExif, HostileExifBlocksEndCleanly) {
  const std::vector<uint8_t> plain = JpegFixture("gray.jpg");
  const Image eighth = OurDecode(plain, kFlagJpegEighth);
  std::vector<std::vector<uint8_t>> blocks = {
      {'I', 'I', 42, 0},                                  // cut short
      {'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xFF},          // 65535 entries
      {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0, 0, 0, 0, 8},    // a directory linked to itself
      {'I', 'I', 42, 0, 0xF0, 0xFF, 0xFF, 0xFF},          // first directory far away
  };
  // Second directory naming a thumbnail past the block's end.
  testutil::TiffDirectory first, second;
  first.fields = {{271, 2, {}, "x"}};
  second.fields = {{259, 3, {6}, ""}, {513, 4, {60000}, ""}, {514, 4, {4000}, ""}};
  blocks.push_back(testutil::BuildTiff({first, second}, false));
  second.fields = {{259, 3, {6}, ""}, {513, 4, {8}, ""}, {514, 4, {0xFFFFFFF0}, ""}};
  blocks.push_back(testutil::BuildTiff({first, second}, true));
  for (const auto& block : blocks) {
    const Image ours = OurDecode(WithExif(plain, block), kFlagJpegThumbnail);
    ASSERT_EQ(ours.result, kOk);
    EXPECT_EQ(ours.pixels, eighth.pixels);
    EXPECT_EQ(OurDecode(WithExif(plain, block), 0).result, kOk);
  }
}

}  // namespace
