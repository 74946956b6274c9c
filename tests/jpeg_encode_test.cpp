// JPEG encoding: streams of every depth and quality read back by
// libjpeg-turbo and by our decoder; tables as the peer sees them; odd
// sizes and partial MCUs; the cross paths (16 against 24 bpp, bottom-up
// against top-down); growing outputs; refusals.
#include "support/suite.h"

#include "imaging/codecs/jpeg_encode.h"

namespace {

enum class Order { kTopDown, kBottomUp };

// An uncompressed page over a buffer of the test's own: lines BytesPerLine
// apart, the line padding and one spare line below the page filled with
// `padding`, which the encoder must not read.  `image` is gray (8 bpp) or
// RGB (16 and 24 bpp).
struct SourcePage {
  Bytes bytes;
  PageRecord record{};
  SourcePage(const Raster& image, int bpp, Order order = Order::kTopDown, uint8_t padding = 0) {
    const uint32_t stride = BytesPerLine(image.width, bpp);
    bytes.assign(static_cast<size_t>(stride) * (image.height + 1), padding);
    for (int y = 0; y < image.height; ++y) {
      uint8_t* line = bytes.data() + static_cast<size_t>(order == Order::kBottomUp ? image.height - 1 - y : y) * stride;
      for (int x = 0; x < image.width; ++x) {
        uint32_t v = image.Rgb(static_cast<size_t>(y) * image.width + x);
        if (bpp == 16) v = ((v >> 8) & 0xF800) | ((v >> 5) & 0x07E0) | ((v >> 3) & 0x1F);
        for (int k = 0; k < bpp / 8; ++k) line[bpp / 8 * x + k] = static_cast<uint8_t>(v >> (8 * k));
      }
    }
    record = CodedPage(bytes, kUncompressed, image.width, image.height, bpp);
    record.bytesPerLine = stride;
    record.layoutFlags = static_cast<int8_t>(order == Order::kBottomUp ? kLayoutBottomUp : kLayoutTopDown);
  }
};

// What a page of `bpp` holds of `image`.
Raster Reference(const Raster& image, int bpp) { return bpp == 16 ? Widened565(image) : image; }

Raster Gray(const Raster& rgb) {
  Raster gray{0, rgb.width, rgb.height, 1, 0, {}};
  for (size_t i = 0; i < rgb.pixels.size(); i += 3)
    gray.pixels.push_back(static_cast<uint8_t>((rgb.pixels[i] * 3 + rgb.pixels[i + 1] * 4 + rgb.pixels[i + 2]) / 8));
  return gray;
}

// Every sample 0 or 255 at random (the most costly picture to code), or
// every pixel `value`.
Raster Noise(int width, int height, int channels, uint32_t seed) {
  Raster image{0, width, height, channels, 0, Bytes(static_cast<size_t>(width) * height * channels)};
  for (uint8_t& v : image.pixels) v = (seed = seed * 1664525u + 1013904223u) >> 31 ? 255 : 0;
  return image;
}
Raster Solid(int width, int height, const Bytes& value) {
  Raster image{0, width, height, static_cast<int>(value.size()), 0, {}};
  for (int i = 0; i < width * height; ++i) image.pixels.insert(image.pixels.end(), value.begin(), value.end());
  return image;
}

// Through ConvertPage, code 0 to code 10.
Bytes Encode(PageRecord* source, int32_t quality, int32_t* result = nullptr) {
  Page out;
  out->compression = kJpeg;
  const int32_t r = ConvertPage(source, out.get(), quality);
  if (result) *result = r;
  if (r != kOk) return {};
  EXPECT_EQ(out->compression, kJpeg);
  return Bytes(out->data + out->dataOffset, out->data + out->dataOffset + out->dataSize);
}

// Both decoders read the stream, the peer without a warning, to the page's
// size, each at least `minPsnr` from the reference (ours `ourMinPsnr`) and
// both close to each other.
void ExpectDecodes(const Bytes& stream, const Raster& reference, double minPsnr, double ourMinPsnr) {
  const Raster peer = JpegDecode(stream), ours = DecodeBytes(stream, kJpeg);
  ASSERT_EQ(peer.result, 0);
  EXPECT_EQ(peer.warnings, 0);
  ASSERT_EQ(ours.result, 0);
  ASSERT_EQ(peer.channels, reference.channels);
  ASSERT_TRUE(peer.width == reference.width && ours.width == reference.width);
  ASSERT_TRUE(peer.height == reference.height && ours.height == reference.height);
  EXPECT_GE(Psnr(peer, reference), minPsnr);
  EXPECT_GE(Psnr(ours, reference), ourMinPsnr);
  EXPECT_GE(Psnr(ours, peer), 38);
}

// Against libjpeg-turbo's own round trip (4:2:0, or gray) at the quality
// whose tables are ours (its 75, 50, 25 halve, keep and double the Annex K
// entries, rounding where we truncate): the peer decoder within half a dB,
// ours (fast transform, chrominance repeated) within two.
void ExpectDecodesLikeThePeer(const Bytes& stream, const Raster& reference, int quality) {
  const int peerQuality[] = {75, 50, 25};
  const Bytes own = JpegEncode(reference, {.quality = peerQuality[quality], .gray = reference.channels == 1});
  const double peer = Psnr(JpegDecode(own), reference);
  ExpectDecodes(stream, reference, peer - 0.5, peer - 2);
}

const int kQualities[] = {0, 1, 2};
// PSNR floors of the photograph by quality index.
const double kPhotoFloor[] = {36, 33, 30};

}  // namespace

TEST(JpegEncode, RoundTripsThroughBothDecodersAtEveryDepthAndQuality) {
  // Within half a dB of libjpeg-turbo's own encoder with the same tables.
  const Raster rgb = TestPicture(96, 80);
  for (int bpp : {8, 16, 24}) {
    const Raster source = bpp == 8 ? Gray(rgb) : rgb;
    for (Order order : {Order::kTopDown, Order::kBottomUp}) {
      SourcePage page(source, bpp, order, 0xA5);
      size_t previous = SIZE_MAX;
      for (int quality : kQualities) {
        SCOPED_TRACE("bpp " + std::to_string(bpp) + " quality " + std::to_string(quality) +
                     (order == Order::kBottomUp ? " bottom-up" : ""));
        const Bytes stream = Encode(&page.record, quality);
        ASSERT_FALSE(stream.empty());
        ExpectDecodesLikeThePeer(stream, Reference(source, bpp), quality);
        EXPECT_LT(stream.size(), previous);  // coarser tables, shorter streams
        previous = stream.size();
      }
    }
  }
}

TEST(JpegEncode, PhotographMeetsTheQualityFloors) {
  // A bottom-up BMP whose pixels lie in the file's read-only view: the
  // encoder only reads its source, or it would fault.
  OpenedFile file(SamplePath("photo24.bmp"));
  Page page;
  ASSERT_EQ(file.Extract(page.get()), kOk);
  ASSERT_EQ(page->bitsPerPixel, 24);
  ASSERT_NE(page->layoutFlags & kLayoutBottomUp, 0);
  const Raster reference = FileRaster(SamplePath("photo24.bmp"));
  for (int quality : kQualities) {
    SCOPED_TRACE("quality " + std::to_string(quality));
    const Bytes stream = Encode(page.get(), quality);
    ExpectDecodes(stream, reference, kPhotoFloor[quality], kPhotoFloor[quality]);
    // No colour cast: each channel keeps its mean within half a level.
    const Raster peer = JpegDecode(stream);
    ASSERT_EQ(peer.pixels.size(), reference.pixels.size());
    double drift[3] = {};
    for (size_t i = 0; i < peer.pixels.size(); ++i) drift[i % 3] += peer.pixels[i] - reference.pixels[i];
    for (double d : drift) EXPECT_LE(std::abs(d) / static_cast<double>(peer.pixels.size() / 3), 0.5);
  }
}

TEST(JpegEncode, OddSizesCodeWholeMcusAndDecodeToThePageSize) {
  for (auto [width, height, bpp, mcusWide, mcusHigh] :
       {std::tuple{1, 1, 24, 1, 1}, {1, 1, 8, 1, 1}, {17, 17, 24, 2, 2}, {17, 17, 16, 2, 2}, {13, 9, 8, 2, 2},
        {2049, 3, 24, 129, 1}, {2049, 3, 8, 257, 1}}) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " bpp " + std::to_string(bpp));
    const Raster rgb = TestPicture(width, height), source = bpp == 8 ? Gray(rgb) : rgb;
    SourcePage page(source, bpp, Order::kTopDown, 0xFF);
    const Bytes stream = Encode(&page.record, 0);
    const JpegCoefficients coefficients = JpegReadCoefficients(stream);
    ASSERT_EQ(coefficients.result, 0);
    EXPECT_EQ(coefficients.mcusWide, mcusWide);
    EXPECT_EQ(coefficients.mcusHigh, mcusHigh);
    ExpectDecodesLikeThePeer(stream, Reference(source, bpp), 0);
  }
}

TEST(JpegEncode, PixelsBeyondThePageRepeatTheEdgeAndAreNeverRead) {
  // One-colour pages whose line padding and following line hold 0xFF: the
  // part of the MCUs beyond the page repeats its last column and line, so
  // every block of a component is the same flat block (AC coefficients 0).
  for (auto [width, height, bpp] : {std::tuple{13, 11, 8}, {17, 17, 24}, {17, 17, 16}, {5, 3, 24}, {1, 1, 8}}) {
    const Bytes colour = bpp == 8 ? Bytes{77} : Bytes{90, 160, 40};
    SourcePage flat(Solid(width, height, colour), bpp, Order::kBottomUp, 0xFF);
    const JpegCoefficients coefficients = JpegReadCoefficients(Encode(&flat.record, 0));
    ASSERT_EQ(coefficients.components.size(), colour.size());
    for (const auto& component : coefficients.components)
      for (const auto& block : component.blocks) {
        ASSERT_EQ(block[0], component.blocks[0][0]) << width << "x" << height << " bpp " << bpp;
        for (int k = 1; k < 64; ++k) ASSERT_EQ(block[k], 0);
      }
  }
  // Mid-gray pages whose last column and last line begin a new MCU and are
  // red (gray pages: light): the edge keeps its colour.  Filled with
  // mid-gray instead, it would fade by some 50 levels.
  for (auto [width, height, bpp] : {std::tuple{1, 1, 24}, {17, 17, 24}, {33, 17, 16}, {9, 9, 8}, {1, 17, 8}}) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " bpp " + std::to_string(bpp));
    const int channels = bpp == 8 ? 1 : 3;
    const Bytes edge = channels == 1 ? Bytes{230} : Bytes{222, 32, 41};
    Raster page = Solid(width, height, Bytes(channels, 128));
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if (x == width - 1 || y == height - 1)
          std::copy(edge.begin(), edge.end(), &page.pixels[(static_cast<size_t>(y) * width + x) * channels]);
    SourcePage source(page, bpp);
    const Bytes stream = Encode(&source.record, 2);
    EXPECT_TRUE(SamePixels(Reference(page, bpp), JpegDecode(stream), 8));
    EXPECT_TRUE(SamePixels(Reference(page, bpp), DecodeBytes(stream, kJpeg), 8));
  }
}

TEST(JpegEncode, QuantisationTablesFollowTheQuality) {
  // libjpeg-turbo at its quality 50 uses the Annex K tables as printed;
  // ours halve, keep and double them.
  const Raster rgb = TestPicture(16, 16);
  const JpegCoefficients annexK = JpegReadCoefficients(JpegEncode(rgb, {.quality = 50}));
  ASSERT_EQ(annexK.result, 0);
  SourcePage page(rgb, 24);
  for (int quality : kQualities) {
    const JpegCoefficients ours = JpegReadCoefficients(Encode(&page.record, quality));
    ASSERT_EQ(ours.result, 0);
    for (int table = 0; table < 2; ++table)
      for (int i = 0; i < 64; ++i) {
        const int k = annexK.components[table].quant[i];
        ASSERT_EQ(ours.components[table].quant[i], quality == 0 ? k / 2 : quality == 1 ? k : 2 * k)
            << "quality " << quality << " table " << table << " entry " << i;
      }
  }
}

TEST(JpegEncode, CrossPathsCodeTheSameStream) {
  // 16-bpp pages code as the 24-bpp page of their widened pixels; a page
  // stored bottom line first as the same page stored top line first.
  const Raster widened = Reference(TestPicture(37, 21), 16);
  for (int quality : kQualities) {
    SourcePage sixteen(widened, 16);
    SourcePage twentyFour(widened, 24);
    SourcePage bottomUp(widened, 16, Order::kBottomUp);
    const Bytes stream = Encode(&twentyFour.record, quality);
    ASSERT_FALSE(stream.empty());
    EXPECT_EQ(Encode(&sixteen.record, quality), stream);
    EXPECT_EQ(Encode(&bottomUp.record, quality), stream);
  }
  const Raster gray = Gray(TestPicture(21, 19));
  SourcePage top(gray, 8), bottom(gray, 8, Order::kBottomUp);
  EXPECT_EQ(Encode(&bottom.record, 1), Encode(&top.record, 1));
}

TEST(JpegEncode, NoisyPagesOutgrowTheFirstBuffer) {
  // The output starts at a third of the raw page plus room for the headers
  // and one MCU (4 KB); noise at the finest quality codes to more for gray
  // and 16-bpp pages, and the output must grow rather than overflow.
  for (int bpp : {8, 16, 24}) {
    SCOPED_TRACE(bpp);
    const Raster noise = Noise(251, 199, bpp == 8 ? 1 : 3, 5);
    SourcePage page(noise, bpp);
    const Bytes stream = Encode(&page.record, 0);
    const size_t first = static_cast<size_t>(RowBytes(251, bpp)) * 199 / 3 + 4096;
    if (bpp != 24) {
      EXPECT_GT(stream.size(), first);
    }
    // Noise keeps little of itself; both decoders must still read it alike.
    ExpectDecodes(stream, Reference(noise, bpp), 5, 5);
  }
}

TEST(JpegEncode, ShortMemoryFailsCleanly) {
  // The first buffer fits under the limit, its growth does not: -1, the
  // destination untouched and nothing left allocated (the sanitizer build
  // checks for leaks).  Then a limit below the work record itself.
  const Raster noise = Noise(600, 400, 1, 11);
  SourcePage page(noise, 8);
  const uint64_t limit = AllocationLimit();
  for (uint64_t tight : {uint64_t{120000}, uint64_t{1000}}) {
    SCOPED_TRACE(tight);
    SetAllocationLimit(tight);
    PageRecord out{};
    const int32_t result = EncodeJpeg(&page.record, &out, 0);
    SetAllocationLimit(limit);
    EXPECT_EQ(result, kErrMemory);
    EXPECT_EQ(out.data, nullptr);
    EXPECT_EQ(out.dataSize, 0u);
  }
  // With room, the same page codes to more than the limit allowed.
  EXPECT_GT(Encode(&page.record, 0).size(), 120000u);
}

TEST(JpegEncode, RefusesWhatItCannotCode) {
  SourcePage page(TestPicture(20, 10), 24);
  for (int32_t quality : {3, -1, 8}) {
    Page out;
    out->compression = kJpeg;
    EXPECT_EQ(ConvertPage(&page.record, out.get(), quality), kErrParameter);
    EXPECT_EQ(out->data, nullptr);
    EXPECT_EQ(EncodeJpeg(&page.record, out.get(), quality), kErrParameter);
  }
  // Depths other than 8, 16 and 24, bilevel pages (run lists once decoded),
  // records whose lines do not fit their data (one byte short of the last
  // line's pixels), and frames too wide.
  auto result = [&](auto change) {
    PageRecord record = page.record;
    change(record);
    int32_t r = kOk;
    Encode(&record, 0, &r);
    return r;
  };
  EXPECT_EQ(result([](PageRecord& r) { r.bitsPerPixel = 4; }), kErrParameter);
  EXPECT_EQ(result([](PageRecord& r) { r.bitsPerPixel = 1; }), kErrParameter);
  EXPECT_EQ(result([](PageRecord& r) { r.dataSize = r.bytesPerLine * 9 + 59; }), kErrParameter);
  EXPECT_EQ(result([](PageRecord& r) { r.dataSize = r.bytesPerLine * 9 + 60; }), kOk);
  EXPECT_EQ(result([](PageRecord& r) { r.bytesPerLine = 59; }), kErrParameter);
  EXPECT_EQ(result([](PageRecord& r) { r.width = 65536, r.height = 1, r.bytesPerLine = r.dataSize = 3 * 65536; }),
            kErrParameter);
}

// The block preparation built for the vector units gives what the portable
// build gives, on random and extreme blocks at every quality; the streams
// themselves are the ones recorded when the encoder was scalar throughout.
TEST(JpegEncode, VectorBuildsCodeLikeThePortableOne) {
  std::mt19937 random(27);
  for (int quality : kQualities) {
    JpegDecoderState* state = AllocateJpegState();
    ASSERT_NE(state, nullptr);
    for (int k = 0; k < 64; ++k) state->quant[0][k] = ScaleQuantEntry(kLuminanceQuantK1[kNaturalOfZigzag[k]], quality);
    state->quant[1][0] = 1;  // divisor 1 (the reciprocal's bit 32) everywhere in slot 1
    for (int k = 1; k < 64; ++k) state->quant[1][k] = 1;
    JpegQuantiser quantisers[2];
    PrepareEncoderQuant(state, 0, &quantisers[0]);
    PrepareEncoderQuant(state, 1, &quantisers[1]);
    for (int i = 0; i < 2000; ++i) {
      alignas(32) int32_t a[64], b[64], za[64], zb[64];
      const int spread = i % 4 == 0 ? 1 : i % 4 == 1 ? 8 : 128;
      for (int k = 0; k < 64; ++k) {
        a[k] = std::clamp(static_cast<int32_t>(random() % (2 * spread + 1)) - spread + (i % 7) * 10, -128, 127);
        if (i % 50 == 0) a[k] = (k + i / 50) % 2 ? 127 : -128;
      }
      std::copy(a, a + 64, b);
      const JpegQuantiser& q = quantisers[i % 2];
      ASSERT_EQ(PrepareBlock(a, q, za, JpegVectorUnit::kPortable), PrepareBlock(b, q, zb, JpegVectorUnit::kAvx2));
      ASSERT_TRUE(std::equal(za, za + 64, zb)) << "block " << i;
    }
    ReleaseJpegState(state);
  }
  const Raster rgb = TestPicture(96, 80);
  for (int bpp : {8, 24}) {
    SourcePage page(bpp == 8 ? Gray(rgb) : rgb, bpp);
    for (int quality : kQualities) {
      SetJpegVectorUnit(JpegVectorUnit::kPortable);
      const Bytes portable = Encode(&page.record, quality);
      SetJpegVectorUnit(JpegVectorUnit::kBest);
      const Bytes stream = Encode(&page.record, quality);
      EXPECT_EQ(stream, portable);
      const std::string name = "jpeg-encode-" + std::to_string(bpp) + "-q" + std::to_string(quality);
      EXPECT_TRUE(MatchesDigest(name, Raster{0, static_cast<int>(stream.size()), 1, 1, 0, stream},
                                "the scalar encoder's stream"));
    }
  }
}
