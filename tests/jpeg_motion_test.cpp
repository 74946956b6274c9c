// Motion-JPEG: a clip's shared tables, frames that leave their Huffman
// tables out and frames that bring their own, and whole clips decoded
// frame by frame into one buffer.
#include "support/suite.h"

#include "imaging/codecs/jpeg.h"

namespace {

// A clip's shared state, released with the clip.
struct Clip {
  ImageFile file{};
  int32_t result;
  explicit Clip(const uint8_t* dht = nullptr, uint32_t length = 0) {
    result = InitMotionJpegTables(&file, dht, length);
  }
  ~Clip() { ReleaseJpegState(file.jpegState); }
  Raster Frame(const Bytes& frame, int32_t flags = 0) const {
    return DecodeBytes(frame, kMotionJpeg, flags, file.jpegState);
  }
};

// The DHT segments of a stream (the peer writes them together): where the
// first starts and the last ends.
std::pair<size_t, size_t> HuffmanSegments(const Bytes& jpeg) {
  const size_t first = FindJpegSegment(jpeg, 0xC4);
  size_t end = first;
  while (jpeg[end + 1] == 0xC4) end += 2 + (jpeg[end + 2] << 8 | jpeg[end + 3]);
  return {first, end};
}

// The stream without its DHT segments.
Bytes WithoutHuffmanTables(const Bytes& jpeg) {
  const auto [first, end] = HuffmanSegments(jpeg);
  Bytes out(jpeg.begin(), jpeg.begin() + first);
  out.insert(out.end(), jpeg.begin() + end, jpeg.end());
  return out;
}

// Everything of the shared state that frames must not change.
Bytes TablesOf(const JpegDecoderState* state) {
  Bytes bytes;
  auto add = [&](const void* p, size_t n) { bytes.insert(bytes.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n); };
  add(state->huffmanCounts, sizeof state->huffmanCounts);
  add(state->huffmanSymbols, sizeof state->huffmanSymbols);
  add(state->huffmanPresent, sizeof state->huffmanPresent);
  for (const JpegHuffmanLookup& l : state->lookups)
    if (l.shortTable) add(l.shortTable, 256 * sizeof(uint16_t));
  return bytes;
}

}  // namespace

TEST(JpegMotion, FramesWithoutTablesUseTheClipsOnesAndFramesWithTablesTheirOwn) {
  Clip clip;
  const Bytes before = TablesOf(clip.file.jpegState);
  const Raster picture = TestPicture(48, 40);
  const Bytes plain = JpegEncode(picture), own = JpegEncode(picture, {.optimize = true});
  const Bytes ownGray = JpegEncode(picture, {.gray = true, .optimize = true});
  const Bytes bare = WithoutHuffmanTables(plain);
  ASSERT_LT(bare.size(), plain.size());
  // Alternate frames: each decodes as the complete stream does, and the
  // clip's tables stay.
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(clip.Frame(bare).pixels, DecodeBytes(plain, kJpeg).pixels) << round;
    EXPECT_EQ(clip.Frame(own).pixels, DecodeBytes(own, kJpeg).pixels) << round;
    EXPECT_EQ(clip.Frame(ownGray, kFlagJpegHalf).result, kOk);
    EXPECT_EQ(TablesOf(clip.file.jpegState), before) << round;
  }
  EXPECT_EQ(clip.Frame(bare, kFlagJpegEighth).pixels, DecodeBytes(plain, kJpeg, kFlagJpegEighth).pixels);
  EXPECT_EQ(clip.Frame(bare, kFlagJpegHalf | kFlagJpeg16Bpp).result, kOk);
  // QuickTime clips hand over the DHT segments of their first frame.
  const auto [first, end] = HuffmanSegments(own);
  Clip fitted(&own[first], static_cast<uint32_t>(end - first));
  ASSERT_EQ(fitted.result, kOk);
  EXPECT_EQ(fitted.Frame(WithoutHuffmanTables(own)).pixels, DecodeBytes(own, kJpeg).pixels);
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
    OpenedFile clip(DataPath(std::string("video/") + name));
    ASSERT_EQ(clip.result, kOk) << name;
    Bytes buffer(BytesPerLine(80, 24) * 60);
    for (int n : {1, 6, 12}) {
      Page frame;
      ASSERT_EQ(clip.Extract(frame.get(), n - 1), kOk);
      ASSERT_EQ(frame->compression, kMotionJpeg);
      PageRecord into{};
      into.compression = kUncompressed;
      into.data = buffer.data();
      into.dataSize = static_cast<uint32_t>(buffer.size());
      ASSERT_EQ(ConvertPage(frame.get(), &into, kFlagIntoDestination), kOk) << name << " " << n;
      ASSERT_EQ(into.data, buffer.data());
      std::string stem = name;
      stem[stem.find('.')] = '-';
      EXPECT_GE(Psnr(PageRaster(into), ReadImage(DataPath("video/" + stem + "-" + std::to_string(n) + ".png"))), 38)
          << name << " frame " << n;
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

// ffmpeg codes 4:2:2 and 4:4:4 clips with every component two blocks high
// (luminance 2 x 2 or 1 x 2 over chrominance 1 x 2): frames decode like
// ffmpeg's decode, at half size like its frame averaged in 2 x 2 groups,
// from AVI and QuickTime alike.  (jpeg_decode_test shows these layouts at
// one-eighth size equal to the usual ones.)
TEST(JpegMotion, ClipsInEverySamplingLayout) {
  auto halved = [](const Raster& r) {
    Raster out{0, (r.width + 1) / 2, (r.height + 1) / 2, r.channels, 0, {}};
    for (int y = 0; y < out.height; ++y)
      for (int x = 0; x < out.width; ++x)
        for (int c = 0; c < r.channels; ++c) {
          int sum = 0, count = 0;
          for (int v = 2 * y; v < std::min(r.height, 2 * y + 2); ++v)
            for (int u = 2 * x; u < std::min(r.width, 2 * x + 2); ++u, ++count)
              sum += r.pixels[(static_cast<size_t>(v) * r.width + u) * r.channels + c];
          out.pixels.push_back(static_cast<uint8_t>((sum + count / 2) / count));
        }
    return out;
  };
  for (const std::string layout : {"422", "444"}) {
    const Raster expected = ReadImage(DataPath("video/sampling-" + layout + "-3.png"));
    for (const std::string ext : {"avi", "mov"}) {
      SCOPED_TRACE(layout + "." + ext);
      OpenedFile clip(DataPath("video/sampling-" + layout + "." + ext));
      ASSERT_EQ(clip.result, kOk);
      Page frame;
      ASSERT_EQ(clip.Extract(frame.get(), 2), kOk);
      const Raster half = DecodedRaster(frame.get(), kFlagJpegHalf);
      const Raster eighth = DecodedRaster(frame.get(), kFlagJpegEighth);
      EXPECT_GE(Psnr(DecodedRaster(frame.get()), expected), 40);
      EXPECT_GE(Psnr(half, halved(expected)), 30);
      EXPECT_TRUE(MatchesDigest("clip-" + layout + "-half", half, "ffmpeg, its frame averaged"));
      EXPECT_TRUE(MatchesDigest("clip-" + layout + "-eighth", eighth, "ffmpeg, its frame averaged"));
    }
  }
}
