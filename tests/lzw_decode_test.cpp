// LZW decoding from code streams written here bit by bit: the string table
// cases, the points where the code width grows, strips, interlacing, the
// predictor, and streams that are cut or damaged.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/core/core.h"
#include "imaging/core/runlist.h"
#include "support/rle_lzw_pages.h"
#include "support/test_util.h"

using namespace quillon;
using namespace testutil;

namespace {

using Bytes = std::vector<uint8_t>;

struct Code {
  uint32_t value;
  int width;
};

// Packs codes most significant bit first (TIFF) or least (GIF).
Bytes Pack(const std::vector<Code>& codes, bool msbFirst) {
  Bytes out;
  uint64_t bits = 0;
  int count = 0;
  for (const Code& c : codes) {
    if (msbFirst) {
      bits = (bits << c.width) | c.value;
      count += c.width;
      while (count >= 8) {
        count -= 8;
        out.push_back(static_cast<uint8_t>(bits >> count));
      }
    } else {
      bits |= static_cast<uint64_t>(c.value) << count;
      count += c.width;
      while (count >= 8) {
        out.push_back(static_cast<uint8_t>(bits));
        bits >>= 8;
        count -= 8;
      }
    }
  }
  if (count > 0)
    out.push_back(msbFirst ? static_cast<uint8_t>(bits << (8 - count)) : static_cast<uint8_t>(bits));
  return out;
}

SourcePtr TiffPage(int32_t width, int32_t height, int bpp, Bytes stream) {
  auto s = std::make_unique<SourcePage>();
  s->record.compression = kLzwTiff;
  s->record.width = width;
  s->record.height = height;
  s->record.bitsPerPixel = static_cast<int8_t>(bpp);
  s->record.rowsPerStrip = height;
  s->record.photometric = 1;  // BlackIsZero: stored bits are the page's
  s->record.layoutFlags = kLayoutTopDown;
  s->bytes = std::move(stream);
  s->Attach();
  return s;
}

SourcePtr GifPage(int32_t width, int32_t height, int bpp, uint8_t packed,
                  uint8_t minCodeSize, const Bytes& stream) {
  auto s = std::make_unique<SourcePage>();
  s->record.compression = kLzwGif;
  s->record.width = width;
  s->record.height = height;
  s->record.bitsPerPixel = static_cast<int8_t>(bpp);
  s->record.layoutFlags = kLayoutTopDown;
  s->bytes = {packed, minCodeSize};
  s->bytes.insert(s->bytes.end(), stream.begin(), stream.end());
  s->Attach();
  return s;
}

// The page's pixels one byte each, top line first.
Bytes Pixels(const PageRecord& page) {
  Bytes rows = PageRows(page), pixels;
  const uint32_t rowBytes = RowBytes(page.width, page.bitsPerPixel);
  for (int32_t y = 0; y < page.height; ++y)
    for (int32_t x = 0; x < page.width; ++x) {
      const uint8_t* row = rows.data() + static_cast<size_t>(y) * rowBytes;
      switch (page.bitsPerPixel) {
        case 1: pixels.push_back((row[x >> 3] >> (7 - (x & 7))) & 1); break;
        case 4: pixels.push_back((x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4)); break;
        default: pixels.push_back(row[x]);
      }
    }
  return pixels;
}

}  // namespace

TEST(LzwDecode, KwKwKIsThePreviousStringPlusItsFirstByte) {
  // A, B, AB (258), then 260 before it is defined: AB + A.
  for (bool gif : {false, true}) {
    std::vector<Code> codes = {{256, 9}, {'A', 9}, {'B', 9}, {258, 9}, {260, 9}, {257, 9}};
    Bytes stream = Pack(codes, !gif);
    SourcePtr s = gif ? GifPage(7, 1, 8, 0, 8, stream) : TiffPage(7, 1, 8, stream);
    Page out;
    ASSERT_EQ(DecodeToPixels(&s->record, &out), kOk) << gif;
    EXPECT_EQ(Pixels(out.record), Bytes({'A', 'B', 'A', 'B', 'A', 'B', 'A'})) << gif;
  }
}

TEST(LzwDecode, CodeWidthGrowsAt511ForTiffAnd512ForGif) {
  // Every code after the first adds an entry from 258 on: TIFF's next free
  // code reaches 511 after 254 codes, GIF's reaches 512 after 255.
  for (bool gif : {false, true}) {
    const int nine = gif ? 255 : 254;
    std::vector<Code> codes = {{256, 9}};
    Bytes expected;
    for (int i = 0; i < 300; ++i) {
      const uint8_t v = static_cast<uint8_t>(i * 7);
      codes.push_back({v, i < nine ? 9 : 10});
      expected.push_back(v);
    }
    codes.push_back({257, 10});
    Bytes stream = Pack(codes, !gif);
    SourcePtr s = gif ? GifPage(300, 1, 8, 0, 8, stream) : TiffPage(300, 1, 8, stream);
    Page out;
    ASSERT_EQ(DecodeToPixels(&s->record, &out), kOk) << gif;
    EXPECT_EQ(Pixels(out.record), expected) << gif;
    // The same codes one width change later are a different stream.
    codes[nine + 1].width = 9;
    SourcePtr late = gif ? GifPage(300, 1, 8, 0, 8, Pack(codes, !gif))
                         : TiffPage(300, 1, 8, Pack(codes, !gif));
    Page other;
    int32_t result = DecodeToPixels(&late->record, &other, kFlagKeepPartial);
    EXPECT_TRUE(result != kOk || Pixels(other.record) != expected) << gif;
  }
}

TEST(LzwDecode, InterlacedGifLinesGoToTheirPasses) {
  // Ten lines of one pixel, decoded line k holding k.
  std::vector<Code> codes = {{256, 9}};
  for (uint32_t k = 0; k < 10; ++k) codes.push_back({k, 9});
  codes.push_back({257, 9});
  const Bytes stream = Pack(codes, false);
  const Bytes display = {0, 5, 3, 6, 2, 7, 4, 8, 1, 9};
  SourcePtr eight = GifPage(1, 10, 8, 0x40, 8, stream);
  Page out8;
  ASSERT_EQ(DecodeToPixels(&eight->record, &out8), kOk);
  EXPECT_EQ(Pixels(out8.record), display);
  // 4 bpp: two pixels a byte after reordering.
  SourcePtr four = GifPage(1, 10, 4, 0x40, 8, stream);
  Page out4;
  ASSERT_EQ(DecodeToPixels(&four->record, &out4), kOk);
  EXPECT_EQ(Pixels(out4.record), display);
  // 1 bpp: the line pointers are reordered; pixel 0 is black.
  SourcePtr one = GifPage(1, 10, 1, 0x40, 8, stream);
  Page out1;
  ASSERT_EQ(DecodeToPixels(&one->record, &out1), kOk);
  Bytes white;
  for (uint8_t v : display) white.push_back(v != 0);
  EXPECT_EQ(Pixels(out1.record), white);
}

TEST(LzwDecode, HorizontalPredictorIsUndoneAt8And24Bits) {
  {
    SourcePtr s = TiffPage(4, 1, 8, Pack({{256, 9}, {10, 9}, {1, 9}, {1, 9}, {1, 9}, {257, 9}}, true));
    s->record.layoutFlags = kLayoutTopDown | kLayoutPredictor;
    Page out;
    ASSERT_EQ(DecodeToPixels(&s->record, &out), kOk);
    EXPECT_EQ(Pixels(out.record), (Bytes{10, 11, 12, 13}));
    EXPECT_EQ(out->layoutFlags & kLayoutPredictor, 0);
  }
  {
    // Two RGB pixels: (10, 20, 30) and the difference (1, 2, 3); stored
    // Blue, Green, Red once decoded.
    std::vector<Code> codes = {{256, 9}};
    for (uint32_t v : {10, 20, 30, 1, 2, 3}) codes.push_back({v, 9});
    codes.push_back({257, 9});
    SourcePtr s = TiffPage(2, 1, 24, Pack(codes, true));
    s->record.layoutFlags = kLayoutTopDown | kLayoutPredictor;
    Page out;
    ASSERT_EQ(DecodeToPixels(&s->record, &out), kOk);
    EXPECT_EQ(PageRows(out.record), (Bytes{30, 20, 10, 33, 22, 11}));
  }
  // Other depths have no byte-wise differencing: refused.
  for (int bpp : {1, 4}) {
    SourcePtr s = TiffPage(8, 1, bpp, Pack({{256, 9}, {1, 9}, {257, 9}}, true));
    s->record.layoutFlags = kLayoutTopDown | kLayoutPredictor;
    Page out;
    EXPECT_EQ(DecodeToPixels(&s->record, &out), kErrUnsupported) << bpp;
  }
}

TEST(LzwDecode, APageOneLineShortIsAccepted) {
  auto stream = [](int lines) {
    std::vector<Code> codes = {{256, 9}};
    for (int i = 0; i < 4 * lines; ++i) codes.push_back({static_cast<uint32_t>(i + 1), 9});
    codes.push_back({257, 9});
    return Pack(codes, true);
  };
  SourcePtr oneShort = TiffPage(4, 3, 8, stream(2));
  Page out;
  ASSERT_EQ(DecodeToPixels(&oneShort->record, &out), kOk);
  EXPECT_EQ(Pixels(out.record), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0}));
  SourcePtr twoShort = TiffPage(4, 3, 8, stream(1));
  Page failed;
  EXPECT_EQ(DecodeToPixels(&twoShort->record, &failed), kErrDecompress);
  EXPECT_EQ(failed->data, nullptr);
  Page kept;
  ASSERT_EQ(DecodeToPixels(&twoShort->record, &kept, kFlagKeepPartial), kOk);
  EXPECT_EQ(Pixels(kept.record), (Bytes{1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0}));
  // Bilevel: lines not decoded are empty lines.
  SourcePtr bilevel = TiffPage(8, 3, 1, Pack({{256, 9}, {0xF0, 9}, {257, 9}}, true));
  Page runs;
  ASSERT_EQ(DecodeToPixels(&bilevel->record, &runs, kFlagKeepPartial), kOk);
  uint8_t** lines = LinePointers(runs.record);
  EXPECT_EQ(Bytes(lines[0], lines[0] + 5), (Bytes{4, 4, 0, 0, 0}));
  EXPECT_EQ(Bytes(lines[1], lines[1] + 4), (Bytes{0, 0, 0, 0}));
}

TEST(LzwDecode, UndefinedCodesFail) {
  // The first code after a clear code names no string.
  SourcePtr first = GifPage(4, 2, 8, 0, 8, Pack({{256, 9}, {300, 9}, {257, 9}}, false));
  Page out;
  EXPECT_EQ(DecodeToPixels(&first->record, &out), kErrDecompress);
  EXPECT_EQ(out->data, nullptr);
  // A code beyond the next free one, after a line was decoded: with the
  // partial-result flag the line stays.
  SourcePtr later = GifPage(4, 2, 8, 0, 8,
                            Pack({{256, 9}, {1, 9}, {2, 9}, {3, 9}, {4, 9}, {400, 9}}, false));
  EXPECT_EQ(DecodeToPixels(&later->record, &out), kErrDecompress);
  Page kept;
  ASSERT_EQ(DecodeToPixels(&later->record, &kept, kFlagKeepPartial), kOk);
  EXPECT_EQ(Pixels(kept.record), (Bytes{1, 2, 3, 4, 0, 0, 0, 0}));
}

TEST(LzwDecode, GifMinimumCodeSizeOutside2To11IsRefused) {
  const Bytes stream = Pack({{4, 3}, {1, 3}, {5, 3}}, false);
  for (uint8_t size : {0, 1, 12, 200}) {
    SourcePtr s = GifPage(1, 1, 1, 0, size, stream);
    Page out;
    EXPECT_EQ(DecodeToPixels(&s->record, &out, kFlagKeepPartial), kErrDecompress) << int(size);
  }
  // Sizes 2 and 11 decode: clear 4 / 2048, codes 3 / 12 bits wide.
  SourcePtr two = GifPage(1, 1, 1, 0, 2, stream);
  Page out2;
  ASSERT_EQ(DecodeToPixels(&two->record, &out2), kOk);
  EXPECT_EQ(Pixels(out2.record), Bytes{1});
  SourcePtr eleven = GifPage(2, 1, 8, 0, 11, Pack({{2048, 12}, {7, 12}, {9, 12}, {2049, 12}}, false));
  Page out11;
  ASSERT_EQ(DecodeToPixels(&eleven->record, &out11), kOk);
  EXPECT_EQ(Pixels(out11.record), (Bytes{7, 9}));
}

TEST(LzwDecode, EachStripIsItsOwnStreamAndNothingPastItIsRead) {
  // Strip 0 (one line of 2) ends after its first code; strip 1 follows it
  // in memory.  Reading on into strip 1 would decode its clear code.
  Bytes strip0 = Pack({{256, 9}, {'A', 9}}, true);
  Bytes strip1 = Pack({{256, 9}, {'C', 9}, {'D', 9}, {257, 9}}, true);
  auto s = std::make_unique<SourcePage>();
  s->bytes = strip0;
  s->bytes.insert(s->bytes.end(), strip1.begin(), strip1.end());
  s->offsets = {0, static_cast<uint32_t>(strip0.size())};
  s->counts = {static_cast<uint32_t>(strip0.size()), static_cast<uint32_t>(strip1.size())};
  s->record.compression = kLzwTiff;
  s->record.width = 2;
  s->record.height = 2;
  s->record.bitsPerPixel = 8;
  s->record.rowsPerStrip = 1;
  s->record.layoutFlags = kLayoutTopDown;
  s->Attach();
  Page out;
  ASSERT_EQ(DecodeToPixels(&s->record, &out), kOk);
  EXPECT_EQ(Pixels(out.record), (Bytes{'A', 0, 'C', 'D'}));
}

TEST(LzwDecode, TiffBilevelPolarityFollowsPhotometric) {
  // Stored byte 0xF0: BlackIsZero keeps it, WhiteIsZero inverts it.
  const Bytes stream = Pack({{256, 9}, {0xF0, 9}, {257, 9}}, true);
  for (int8_t photometric : {0, 1}) {
    SourcePtr s = TiffPage(8, 1, 1, stream);
    s->record.photometric = photometric;
    Page out;
    ASSERT_EQ(DecodeToPixels(&s->record, &out), kOk);
    EXPECT_EQ(Pixels(out.record), photometric ? Bytes({1, 1, 1, 1, 0, 0, 0, 0})
                                              : Bytes({0, 0, 0, 0, 1, 1, 1, 1}));
  }
}

TEST(LzwDecode, CutAndDamagedStreamsEndCleanly) {
  std::vector<SourcePtr> pages;
  for (const char* name : {"lzw/chart16.gif", "lzw/bilevel.gif", "lzw/photo-interlaced.gif"}) {
    auto frames = GifSources(ReadFileBytes(DataPath(name)));
    ASSERT_FALSE(frames.empty()) << name;
    pages.push_back(std::move(frames[0]));
  }
  for (const char* name : {"lzw/lzw-gray.tif", "lzw/lzw-bilevel-strips.tif", "lzw/lzw-rgb-pred.tif"})
    pages.push_back(TiffRawSource(DataPath(name)));
  for (const SourcePtr& page : pages) {
    const Bytes& whole = page->bytes;
    ASSERT_FALSE(whole.empty());
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
      std::unique_ptr<uint8_t[]> part(new uint8_t[cut]);
      std::copy(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(cut), part.get());
      PageRecord r = page->record;
      r.data = part.get();
      r.dataSize = static_cast<uint32_t>(cut);
      r.stripCount = 0;
      for (int32_t flags : {0, int32_t{kFlagKeepPartial}}) {
        Page out;
        int32_t result = DecodeToPixels(&r, &out, flags);
        EXPECT_TRUE(result == kOk || result == kErrDecompress) << cut << " " << result;
        if (flags) {
          EXPECT_TRUE(result == kOk || cut < 2) << cut;
        }
      }
    }
    std::mt19937 rng(static_cast<uint32_t>(whole.size()));
    for (int trial = 0; trial < 300; ++trial) {
      Bytes damaged = whole;
      for (int k = 0; k < 2; ++k)
        damaged[2 + rng() % (damaged.size() - 2)] ^= static_cast<uint8_t>(1u << (rng() % 8));
      PageRecord r = page->record;
      r.data = damaged.data();
      Page out;
      int32_t result = DecodeToPixels(&r, &out, trial & 1 ? kFlagKeepPartial : 0);
      EXPECT_TRUE(result == kOk || result == kErrDecompress) << result;
    }
  }
}
