// PCL raster rows: the stream read back by a small raster reader gives the
// page's bits exactly.
#include "support/suite.h"

namespace {

// The stream of a bilevel page.
Bytes Pcl(const Image& image) {
  Page runs, pcl;
  testpix::MakeRunListPage(image, runs.get());
  pcl->compression = kHpPcl;
  EXPECT_EQ(ConvertPage(runs.get(), pcl.get(), 0), kOk);
  return Bytes(pcl->data, pcl->data + pcl->dataSize);
}

// The page rebuilt from "ESC * b n W" rows (PackBits, 1 = black) between the
// fixed header and trailer; width 0 when the stream is not laid out so.
Image ReadRaster(const Bytes& pcl, int32_t width) {
  const std::string s(pcl.begin(), pcl.end());
  Image image(width, 0, 1);
  if (s.compare(0, 10, "\x1B*b2M\x1B*r0A") != 0 || s.size() < 14 || s.compare(s.size() - 4, 4, "\x1B*rB") != 0) return {};
  for (size_t at = 10; at < s.size() - 4;) {
    const size_t w = s.find('W', at);
    if (s.compare(at, 3, "\x1B*b") != 0 || w == std::string::npos) return {};
    const size_t end = w + 1 + std::stoul(s.substr(at + 3, w - at - 3));
    Bytes row;
    for (at = w + 1; at < end;) {
      const int8_t c = static_cast<int8_t>(pcl[at++]);
      if (c >= 0) {
        row.insert(row.end(), pcl.begin() + at, pcl.begin() + at + c + 1);
        at += c + 1;
      } else if (c != -128) {
        row.insert(row.end(), 1 - c, pcl[at++]);
      }
    }
    row.resize(RowBytes(width, 1));
    for (uint8_t& b : row) b = static_cast<uint8_t>(~b);
    const Image line = testpix::ReadBuffer(row.data(), 0, width, 1, 1);
    image.px.insert(image.px.end(), line.px.begin(), line.px.end());
    ++image.height;
  }
  return image;
}

}  // namespace

TEST(Pcl, RowsArePackBitsInModeTwoBetweenStartAndEndRaster) {
  EXPECT_EQ(Pcl(testpix::Uniform(16, 1, 1, 1)),
            (Bytes{0x1B, '*', 'b', '2', 'M', 0x1B, '*', 'r', '0', 'A', 0x1B, '*', 'b', '2', 'W', 0xFF, 0x00, 0x1B, '*',
                   'r', 'B'}));
  const Bytes black = Pcl(testpix::Uniform(8, 1, 1, 0));
  EXPECT_EQ(Bytes(black.begin() + 10, black.end() - 4), (Bytes{0x1B, '*', 'b', '2', 'W', 0x00, 0xFF}));
}

TEST(Pcl, WidePagesRebuildBitExact) {
  // A 9600-dot row (1200 dpi letter width) of noise: far beyond 4096 bytes
  // once PackBits expands it; a white row between.
  for (int width : {1, 7, 9600}) {
    Image image = testpix::Noise(width, 5, 1, 9600);
    for (int32_t x = 0; x < width; ++x) image.at(x, 2) = 1;
    EXPECT_TRUE(testpix::SameImage(image, ReadRaster(Pcl(image), width))) << width;
  }
}

TEST(Pcl, OnlyBilevelPages) {
  Page gray, pcl;
  testpix::MakePixelPage(testpix::Noise(4, 1, 4, 1), gray.get());
  pcl->compression = kHpPcl;
  EXPECT_EQ(ConvertPage(gray.get(), pcl.get(), 0), kErrParameter);
  EXPECT_EQ(pcl->data, nullptr);
}
