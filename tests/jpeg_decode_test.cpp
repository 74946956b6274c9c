// JPEG decoding of whole streams against libjpeg-turbo: every sampling
// layout, gray, progressive, restarts, odd sizes, at full, half and
// one-eighth size; the output paths against each other; the variants the
// decoder refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/core/core.h"
#include "support/jpeg_peer.h"
#include "support/test_util.h"

using namespace quillon;
using testutil::Image;
using testutil::JpegFixture;
using testutil::OurDecode;
using testutil::PeerDecode;
using testutil::Psnr;

namespace {

struct Fixture {
  const char* name;
  int width, height;
  bool chromaQuarter;  // 4:2:0: the peer's one-eighth output rebuilds chroma
                       // at 2 x 2 from AC coefficients, ours from the DC
};

const Fixture kFixtures[] = {
    {"sampling-444.jpg", 112, 80, false},
    {"sampling-422.jpg", 112, 80, false},
    {"sampling-440.jpg", 112, 80, false},
    {"sampling-420.jpg", 112, 80, true},
    {"gray.jpg", 112, 80, false},
    {"progressive.jpg", 112, 80, true},
    {"progressive-gray.jpg", 112, 80, false},
    {"progressive-restart.jpg", 112, 80, false},
    {"progressive-as-baseline.jpg", 112, 80, true},
    {"restart-every-mcu.jpg", 112, 80, true},
    {"sequential-scans.jpg", 112, 80, false},
    {"adobe-rgb.jpg", 112, 80, false},
    {"size-1x1.jpg", 1, 1, true},
    {"size-17x13.jpg", 17, 13, true},
    {"size-2049x3.jpg", 2049, 3, true},
};

// Tolerances, in dB of PSNR over all samples:
//  - full size against the peer's accurate transform: 38;
//  - half size against the peer's full picture averaged in 2 x 2 groups:
//    38; against the peer's own half size (a 4 x 4 transform with chroma
//    replicated at the reduced size): 34;
//  - one-eighth size against the DC picture made from the peer's
//    coefficients: 40; against the peer's own one-eighth size: 38, except
//    for 4:2:0 frames.
constexpr double kFull = 38, kHalfBox = 38, kHalfPeer = 34, kEighthDc = 40, kEighthPeer = 38;

class JpegFixtures : public ::testing::TestWithParam<Fixture> {};

TEST_P(JpegFixtures, FullSizeMatchesThePeer) {
  const Fixture& f = GetParam();
  const std::vector<uint8_t> bytes = JpegFixture(f.name);
  const Image peer = PeerDecode(bytes);
  const Image ours = OurDecode(bytes, 0);
  ASSERT_EQ(ours.result, kOk);
  EXPECT_EQ(ours.width, f.width);
  EXPECT_EQ(ours.height, f.height);
  EXPECT_EQ(ours.channels, peer.channels);
  EXPECT_GE(Psnr(ours, peer), kFull) << f.name;
}

TEST_P(JpegFixtures, HalfSizeMatchesTheAveragedPictureAndThePeer) {
  const Fixture& f = GetParam();
  const std::vector<uint8_t> bytes = JpegFixture(f.name);
  const Image ours = OurDecode(bytes, kFlagJpegHalf);
  ASSERT_EQ(ours.result, kOk);
  EXPECT_EQ(ours.width, (f.width + 1) / 2);
  EXPECT_EQ(ours.height, (f.height + 1) / 2);
  EXPECT_GE(Psnr(ours, testutil::Halve(PeerDecode(bytes))), kHalfBox) << f.name;
  EXPECT_GE(Psnr(ours, PeerDecode(bytes, 2)), kHalfPeer) << f.name;
}

TEST_P(JpegFixtures, EighthSizeIsThePictureOfTheDcCoefficients) {
  const Fixture& f = GetParam();
  const std::vector<uint8_t> bytes = JpegFixture(f.name);
  const Image ours = OurDecode(bytes, kFlagJpegEighth);
  ASSERT_EQ(ours.result, kOk);
  EXPECT_EQ(ours.width, (f.width + 7) / 8);
  EXPECT_EQ(ours.height, (f.height + 7) / 8);
  EXPECT_GE(Psnr(ours, testutil::DcReference(bytes)), kEighthDc) << f.name;
  if (!f.chromaQuarter) {
    EXPECT_GE(Psnr(ours, PeerDecode(bytes, 8)), kEighthPeer) << f.name;
  }
}

// 16-bpp output is the 24-bpp output packed to 5-6-5; decoding into the
// caller's buffer gives what a fresh buffer gets.
TEST_P(JpegFixtures, OutputPathsAgree) {
  const Fixture& f = GetParam();
  const std::vector<uint8_t> bytes = JpegFixture(f.name);
  for (int32_t scale : {0, int32_t{kFlagJpegHalf}, int32_t{kFlagJpegEighth}}) {
    const Image rgb = OurDecode(bytes, scale);
    const Image packed = OurDecode(bytes, scale | kFlagJpeg16Bpp, true);
    ASSERT_EQ(packed.result, kOk);
    if (rgb.channels == 3) {
      EXPECT_EQ(packed.pixels, testutil::PackRgb565(rgb)) << f.name << " flags " << scale;
    } else {
      EXPECT_EQ(packed.pixels, rgb.pixels) << f.name << ": gray stays 8 bpp";
    }

    // Into a buffer of the caller's, first filled with junk.
    PageRecord source{};
    source.data = const_cast<uint8_t*>(bytes.data());
    source.dataSize = static_cast<uint32_t>(bytes.size());
    source.dataOwnership = kOwnedByView;
    source.compression = kJpeg;
    source.width = f.width;
    source.height = f.height;
    std::vector<uint8_t> buffer(4 * 1024 * 1024 / 8 + 65536, 0xA5);
    PageRecord into{};
    into.compression = kUncompressed;
    into.data = buffer.data();
    into.dataSize = static_cast<uint32_t>(buffer.size());
    ASSERT_EQ(ConvertPage(&source, &into, scale | kFlagIntoDestination), kOk);
    EXPECT_EQ(into.data, buffer.data());
    EXPECT_EQ(into.width, rgb.width);
    for (int y = 0; y < into.height; ++y) {
      const uint8_t* line = buffer.data() + static_cast<size_t>(y) * into.bytesPerLine;
      const size_t row = static_cast<size_t>(rgb.width) * rgb.channels;
      for (int x = 0; x < rgb.width; ++x)
        for (int c = 0; c < rgb.channels; ++c)
          ASSERT_EQ(line[x * rgb.channels + (rgb.channels == 3 ? 2 - c : c)],
                    rgb.pixels[y * row + x * rgb.channels + c])
              << f.name << " flags " << scale << " at " << x << "," << y;
      for (uint32_t k = static_cast<uint32_t>(row); k < into.bytesPerLine; ++k)
        ASSERT_EQ(line[k], 0) << "line padding is cleared";
    }
    Release(into.palette);
  }
}

INSTANTIATE_TEST_SUITE_P(Decode, JpegFixtures, ::testing::ValuesIn(kFixtures),
                         [](const ::testing::TestParamInfo<Fixture>& info) {
                           std::string name = info.param.name;
                           name = name.substr(0, name.find('.'));
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

// The page as the conversion leaves it.
TEST(JpegDecode, PageRecordOfADecodedPicture) {
  const std::vector<uint8_t> bytes = JpegFixture("size-17x13.jpg");
  PageRecord source{};
  source.data = const_cast<uint8_t*>(bytes.data());
  source.dataSize = static_cast<uint32_t>(bytes.size());
  source.dataOwnership = kOwnedByView;
  source.compression = kJpeg;
  source.width = 17;
  source.height = 13;
  source.bitsPerPixel = 24;
  testutil::Page out;
  out->compression = kUncompressed;
  ASSERT_EQ(ConvertPage(&source, out.get(), 0), kOk);
  EXPECT_EQ(out->bitsPerPixel, 24);
  EXPECT_EQ(out->bytesPerLine, BytesPerLine(17, 24));
  EXPECT_EQ(out->dataSize, out->bytesPerLine * 13);
  EXPECT_EQ(out->dataOffset, 0u);
  EXPECT_EQ(out->dataOwnership, kOwnedByPage);
  EXPECT_EQ(out->layoutFlags, kLayoutTopDown);
  EXPECT_EQ(out->palette, nullptr);
  EXPECT_EQ(out->compression, kUncompressed);
  EXPECT_EQ(source.width, 17) << "the source is left as it was";
  EXPECT_EQ(source.data, bytes.data());
  EXPECT_EQ(std::vector<uint8_t>(source.data, source.data + source.dataSize), bytes);
}

TEST(JpegDecode, GrayPicturesStayEightBitsWithAGrayPalette) {
  const std::vector<uint8_t> bytes = JpegFixture("gray.jpg");
  PageRecord source{};
  source.data = const_cast<uint8_t*>(bytes.data());
  source.dataSize = static_cast<uint32_t>(bytes.size());
  source.compression = kJpeg;
  source.dataOwnership = kOwnedByView;
  testutil::Page out;
  out->compression = kUncompressed;
  ASSERT_EQ(ConvertPage(&source, out.get(), kFlagJpeg16Bpp), kOk);
  EXPECT_EQ(out->bitsPerPixel, 8);
  ASSERT_NE(out->palette, nullptr);
  for (int i = 0; i < 256; ++i)
    for (int c = 0; c < 3; ++c) ASSERT_EQ(out->palette[3 * i + c], i);
}

// A progressive picture and the sequential stream of the same coefficients
// (jpegtran) decode to the same pixels; so do sequential pictures coded in
// one scan and in one scan per component.
TEST(JpegDecode, ScanStructureDoesNotChangeThePixels) {
  for (int32_t flags : {0, int32_t{kFlagJpegHalf}, int32_t{kFlagJpegEighth}}) {
    const Image progressive = OurDecode(JpegFixture("progressive.jpg"), flags);
    const Image baseline = OurDecode(JpegFixture("progressive-as-baseline.jpg"), flags);
    ASSERT_EQ(progressive.result, kOk);
    EXPECT_EQ(progressive.pixels, baseline.pixels) << "flags " << flags;
    const Image restart = OurDecode(JpegFixture("restart-every-mcu.jpg"), flags);
    EXPECT_EQ(restart.pixels, baseline.pixels) << "restart markers every MCU, flags " << flags;
    const Image gray = OurDecode(JpegFixture("progressive-gray.jpg"), flags);
    EXPECT_EQ(gray.pixels, OurDecode(JpegFixture("gray.jpg"), flags).pixels);
  }
}

TEST(JpegDecode, OneEighthWinsOverHalfSize) {
  const std::vector<uint8_t> bytes = JpegFixture("sampling-444.jpg");
  const Image eighth = OurDecode(bytes, kFlagJpegEighth);
  const Image both = OurDecode(bytes, kFlagJpegEighth | kFlagJpegHalf);
  ASSERT_EQ(both.result, kOk);
  EXPECT_EQ(both.width, 14);
  EXPECT_EQ(both.height, 10);
  EXPECT_EQ(both.pixels, eighth.pixels);
}

// Patches the frame header of a fixture: marker code, precision.
std::vector<uint8_t> WithFrame(std::vector<uint8_t> bytes, int marker, int precision) {
  for (size_t i = 2; i + 4 < bytes.size(); i += 2 + (bytes[i + 2] << 8 | bytes[i + 3])) {
    if (bytes[i + 1] >= 0xC0 && bytes[i + 1] <= 0xC2) {
      bytes[i + 1] = static_cast<uint8_t>(marker);
      bytes[i + 4] = static_cast<uint8_t>(precision);
      break;
    }
  }
  return bytes;
}

TEST(JpegDecode, VariantsWithoutADecoderAreRefused) {
  EXPECT_EQ(OurDecode(JpegFixture("arithmetic.jpg"), 0).result, kErrUnsupported);
  EXPECT_EQ(OurDecode(JpegFixture("sampling-411.jpg"), 0).result, kErrUnsupported)
      << "a layout without a reconstruction routine is not a blank success";
  const std::vector<uint8_t> bytes = JpegFixture("sampling-444.jpg");
  EXPECT_EQ(OurDecode(WithFrame(bytes, 0xC0, 12), 0).result, kErrUnsupported) << "12-bit";
  EXPECT_EQ(OurDecode(WithFrame(bytes, 0xC3, 8), 0).result, kErrUnsupported) << "lossless";
  EXPECT_EQ(OurDecode(WithFrame(bytes, 0xC9, 8), 0).result, kErrUnsupported) << "arithmetic";
  EXPECT_EQ(OurDecode(WithFrame(bytes, 0xC1, 8), 0).pixels, OurDecode(bytes, 0).pixels)
      << "extended sequential with 8-bit samples is decoded as baseline";
  EXPECT_EQ(OurDecode(bytes, kFlagJpegThumbnail | kFlagIntoDestination).result, kErrParameter);
}

}  // namespace
