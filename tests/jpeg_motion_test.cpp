// Motion-JPEG: a clip's shared tables, frames that leave their Huffman
// tables out and frames that bring their own, and whole clips decoded
// frame by frame into one buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/codecs/jpeg.h"
#include "imaging/core/core.h"
#include "support/jpeg_peer.h"
#include "support/pnm.h"
#include "support/test_util.h"

using namespace quillon;
using testutil::EncodeOptions;
using testutil::Image;
using testutil::OurDecode;
using testutil::PeerEncode;

namespace {

// A clip's shared state, released with the clip.
struct Clip {
  ImageFile file{};
  explicit Clip(const uint8_t* dht = nullptr, uint32_t length = 0) {
    result = InitMotionJpegTables(&file, dht, length);
  }
  ~Clip() { ReleaseJpegState(file.jpegState); }
  int32_t result;
};

// A Motion-JPEG frame of `clip` through ConvertPage, as RGB.
Image DecodeFrame(const Clip& clip, const std::vector<uint8_t>& frame, int32_t flags = 0) {
  PageRecord source{};
  source.data = const_cast<uint8_t*>(frame.data());
  source.dataSize = static_cast<uint32_t>(frame.size());
  source.dataOwnership = kOwnedByView;
  source.compression = kMotionJpeg;
  source.decoderContext = clip.file.jpegState;
  testutil::Page out;
  out->compression = kUncompressed;
  Image image;
  image.result = ConvertPage(&source, out.get(), flags);
  if (image.result != kOk) return image;
  image.width = out->width;
  image.height = out->height;
  image.channels = out->bitsPerPixel == 24 ? 3 : 1;
  for (int y = 0; y < out->height; ++y)
    for (int x = 0; x < out->width; ++x) {
      if (out->bitsPerPixel == 8) {
        image.pixels.push_back(out->data[y * out->bytesPerLine + x]);
      } else if (out->bitsPerPixel == 24) {
        const uint8_t* p = out->data + y * out->bytesPerLine + 3 * x;
        image.pixels.insert(image.pixels.end(), {p[2], p[1], p[0]});
      }
    }
  return image;
}

// Everything of the shared state that frames must not change.
std::vector<uint8_t> TablesOf(const JpegDecoderState* state) {
  std::vector<uint8_t> bytes;
  auto add = [&](const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    bytes.insert(bytes.end(), b, b + n);
  };
  add(state->huffmanCounts, sizeof state->huffmanCounts);
  add(state->huffmanSymbols, sizeof state->huffmanSymbols);
  add(state->huffmanPresent, sizeof state->huffmanPresent);
  for (const JpegHuffmanLookup& l : state->lookups) {
    add(&l.shortTable, sizeof l.shortTable);
    if (l.shortTable) add(l.shortTable, 256 * sizeof(uint16_t));
  }
  return bytes;
}

TEST(JpegMotion, TheBuiltInTablesAreThoseOfAnnexK) {
  // The segment parses back into the four printed tables.
  Clip clip;
  ASSERT_EQ(clip.result, kOk);
  const JpegDecoderState* state = clip.file.jpegState;
  for (const JpegStandardTable& t : kJpegStandardTables) {
    const int slot = (t.slotByte & 15) + (t.slotByte >> 4 ? 4 : 0);
    ASSERT_TRUE(state->huffmanPresent[slot]);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(state->huffmanCounts[slot][i], t.counts[i]);
    for (int i = 0; i < t.symbolCount; ++i) EXPECT_EQ(state->huffmanSymbols[slot][i], t.symbols[i]);
    ASSERT_NE(state->lookups[slot].shortTable, nullptr);
  }
  // And they are the tables the peer's encoder uses when not asked to fit
  // them to the picture: each of its DHT segments holds one of them.
  const std::vector<uint8_t> jpeg = PeerEncode(testutil::TestPicture(32, 32), EncodeOptions{});
  int found = 0;
  for (size_t i = 2; i + 4 <= jpeg.size() && jpeg[i + 1] != 0xDA;
       i += 2 + (jpeg[i + 2] << 8 | jpeg[i + 3])) {
    if (jpeg[i + 1] != 0xC4) continue;
    const size_t body = i + 4, length = (jpeg[i + 2] << 8 | jpeg[i + 3]) - 2u;
    for (const JpegStandardTable& t : kJpegStandardTables) {
      if (jpeg[body] != t.slotByte || length != 17u + t.symbolCount) continue;
      EXPECT_EQ(std::memcmp(&jpeg[body + 1], t.counts.data(), 16), 0);
      EXPECT_EQ(std::memcmp(&jpeg[body + 17], t.symbols, t.symbolCount), 0);
      ++found;
    }
  }
  EXPECT_EQ(found, 4);
}

TEST(JpegMotion, FramesWithoutTablesUseTheClipsOnesAndFramesWithTablesTheirOwn) {
  Clip clip;
  ASSERT_EQ(clip.result, kOk);
  const std::vector<uint8_t> before = TablesOf(clip.file.jpegState);
  const Image picture = testutil::TestPicture(48, 40);
  EncodeOptions usual;
  EncodeOptions fitted;
  fitted.optimize = true;
  EncodeOptions gray;
  gray.gray = true;
  gray.optimize = true;
  const std::vector<uint8_t> plain = PeerEncode(picture, usual);
  const std::vector<uint8_t> own = PeerEncode(picture, fitted);
  const std::vector<uint8_t> ownGray = PeerEncode(picture, gray);
  const std::vector<uint8_t> bare = testutil::WithoutHuffmanTables(plain);
  ASSERT_LT(bare.size(), plain.size());
  const Image expected = OurDecode(plain, 0);
  // Alternate frames without tables and frames with tables of their own:
  // each decodes as the complete stream does, and the clip's tables stay.
  for (int round = 0; round < 3; ++round) {
    const Image a = DecodeFrame(clip, bare);
    ASSERT_EQ(a.result, kOk);
    EXPECT_EQ(a.pixels, expected.pixels) << "round " << round;
    const Image b = DecodeFrame(clip, own);
    ASSERT_EQ(b.result, kOk);
    EXPECT_EQ(b.pixels, OurDecode(own, 0).pixels) << "round " << round;
    EXPECT_EQ(DecodeFrame(clip, ownGray, kFlagJpegHalf).result, kOk);
    EXPECT_EQ(TablesOf(clip.file.jpegState), before) << "round " << round;
  }
  EXPECT_EQ(DecodeFrame(clip, bare, kFlagJpegEighth).pixels, OurDecode(plain, kFlagJpegEighth).pixels);
  EXPECT_EQ(DecodeFrame(clip, bare, kFlagJpegHalf | kFlagJpeg16Bpp).result, kOk);
}

TEST(JpegMotion, ClipTablesFromTheFirstFramesSegments) {
  // QuickTime clips hand over the DHT segments of their first frame.
  const std::vector<uint8_t> fitted = [] {
    EncodeOptions o;
    o.optimize = true;
    return PeerEncode(testutil::TestPicture(40, 24), o);
  }();
  size_t first = 0, end = 0;
  for (size_t i = 2; i + 4 <= fitted.size() && fitted[i + 1] != 0xDA;
       i += 2 + (fitted[i + 2] << 8 | fitted[i + 3])) {
    if (fitted[i + 1] == 0xC4 && !first) first = i;
    if (fitted[i + 1] == 0xC4) end = i + 2 + (fitted[i + 2] << 8 | fitted[i + 3]);
  }
  ASSERT_GT(first, 0u);
  Clip clip(&fitted[first], static_cast<uint32_t>(end - first));
  ASSERT_EQ(clip.result, kOk);
  EXPECT_EQ(DecodeFrame(clip, testutil::WithoutHuffmanTables(fitted)).pixels,
            OurDecode(fitted, 0).pixels);
  // No DHT segment where one should start: nothing to build a clip on.
  ImageFile file{};
  const uint8_t junk[8] = {0xFF, 0xDB, 0, 4, 0, 0, 0, 0};
  EXPECT_EQ(InitMotionJpegTables(&file, junk, sizeof junk), kErrBadHeader);
  EXPECT_EQ(file.jpegState, nullptr);
}

// A clip written by ffmpeg (tables in every frame), decoded frame by frame
// into one reused buffer as video playback does, against ffmpeg's own
// decode of the same frames.
TEST(JpegMotion, ClipsDecodeFrameByFrameIntoOneBuffer) {
  for (const char* name : {"tiny.avi", "tiny.mov"}) {
    testutil::OpenedFile clip(testutil::DataPath(std::string("video/") + name));
    ASSERT_EQ(clip.result, kOk) << name;
    std::vector<uint8_t> buffer(BytesPerLine(80, 24) * 60);
    for (int n : {1, 6, 12}) {
      testutil::Page frame;
      ASSERT_EQ(ExtractPage(&clip.file, frame.get(), n - 1), kOk);
      ASSERT_EQ(frame->compression, kMotionJpeg);
      PageRecord into{};
      into.compression = kUncompressed;
      into.data = buffer.data();
      into.dataSize = static_cast<uint32_t>(buffer.size());
      ASSERT_EQ(ConvertPage(frame.get(), &into, kFlagIntoDestination), kOk) << name << " " << n;
      ASSERT_EQ(into.data, buffer.data());
      ASSERT_EQ(into.width, 80);
      ASSERT_EQ(into.height, 60);
      const std::string stem = std::string(name).replace(std::string(name).find('.'), 1, "-");
      const testutil::Rgb reference =
          testutil::ReadPng(testutil::DataPath("video/" + stem + "-" + std::to_string(n) + ".png"));
      ASSERT_EQ(reference.width, 80);
      Image ours;
      ours.width = 80;
      ours.height = 60;
      ours.channels = 3;
      for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 80; ++x) {
          const uint8_t* p = buffer.data() + y * into.bytesPerLine + 3 * x;
          ours.pixels.insert(ours.pixels.end(), {p[2], p[1], p[0]});
        }
      Image theirs;
      theirs.width = 80;
      theirs.height = 60;
      theirs.channels = 3;
      theirs.pixels = reference.pixels;
      EXPECT_GE(testutil::Psnr(ours, theirs), 38) << name << " frame " << n;
    }
    // A buffer one byte short of the frame is refused and left as it was.
    testutil::Page frame;
    ASSERT_EQ(ExtractPage(&clip.file, frame.get(), 0), kOk);
    std::vector<uint8_t> shorter(BytesPerLine(80, 24) * 60 - 1, 0xA5);
    PageRecord into{};
    into.compression = kUncompressed;
    into.data = shorter.data();
    into.dataSize = static_cast<uint32_t>(shorter.size());
    EXPECT_EQ(ConvertPage(frame.get(), &into, kFlagIntoDestination), kErrParameter) << name;
    EXPECT_EQ(into.data, shorter.data());
    EXPECT_EQ(std::count(shorter.begin(), shorter.end(), 0xA5), static_cast<long>(shorter.size())) << name;
  }
}

}  // namespace
