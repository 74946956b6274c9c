// The JPEG decoder's arithmetic where a fault could hide from the peer
// comparisons: Huffman tables that overflow, the inverse DCT (vector
// against portable code, saturation) and the colour rows (16 against 24
// bits, nothing past the row), with digests of what was once checked
// against their definitions.
#include "support/suite.h"

#include "imaging/codecs/jpeg.h"
#include "imaging/codecs/jpeg_decode.h"
#include "support/jpeg_lookups.h"

namespace {

// Samples of any kind as a one-line picture, for a digest.
template <typename T>
Raster Samples(const std::vector<T>& values) {
  Raster r{0, static_cast<int>(values.size() * sizeof(T)), 1, 1, 0, {}};
  const auto* bytes = reinterpret_cast<const uint8_t*>(values.data());
  r.pixels.assign(bytes, bytes + values.size() * sizeof(T));
  return r;
}

struct State {
  JpegDecoderState* state = AllocateJpegState();
  ~State() { ReleaseJpegState(state); }
  JpegDecoderState* operator->() { return state; }
};

// A table whose counts overflow the code space (a fuzzing find) builds a
// lookup that decodes nothing; truncated and malformed segments are
// refused.  Every other lookup is exercised by the peer comparisons.
TEST(JpegTables, HuffmanTablesThatOverflowTheirCodeSpaceDecodeNothing) {
  State s;
  const std::vector<uint8_t> bad = {0x00, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3};
  ASSERT_EQ(ReadDht(bad.data(), static_cast<uint32_t>(bad.size()), s.state), kOk);
  ASSERT_EQ(BuildHuffmanLookup(s.state), kOk);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(s->lookups[0].shortTable[i], 0);
  EXPECT_EQ(ReadDht(bad.data(), 16, s.state), kErrBadHeader);
  const uint8_t wrongClass[17] = {0x24};
  EXPECT_EQ(ReadDht(wrongClass, 17, s.state), kErrBadHeader);
}

// The lookups a decode builds for its scale, against the tables walked
// code by code: the Annex K tables, and random ones with codes up to 16
// bits (every fifth overflowing its code space).  AC slots get only the
// extra the scale reads, then the other one too.  Decodes on one thread
// borrow the lookups of tables met before: states held from the earlier
// rounds keep theirs right while the cache turns over.
TEST(JpegTables, HuffmanLookupsMatchTheirTables) {
  std::mt19937 rng(8);
  std::vector<std::unique_ptr<State>> held;
  for (int round = 0; round < 30; ++round) {
    Bytes body(kJpegStandardDht.begin() + 4, kJpegStandardDht.end());
    if (round > 0) {
      body.clear();
      for (uint8_t slotByte : {0x00, 0x11}) {
        body.push_back(slotByte);
        uint32_t room = 2, total = 0;
        for (int length = 1; length <= 16; ++length) {
          uint32_t count = static_cast<uint32_t>(rng() % (std::min({room, 256 - total, 14u}) + 1));
          if (round % 5 == 0 && length == 9) count = std::min(room + 1, 256 - total);
          body.push_back(static_cast<uint8_t>(count));
          total += count;
          room = room > count ? (room - count) * 2 : 0;
        }
        for (uint32_t i = 0; i < total; ++i) body.push_back(static_cast<uint8_t>(rng()));
      }
    }
    const uint32_t extras = round % 2 ? kJpegSkipAc : kJpegFastAc;
    for (uint32_t cached : {0u, kJpegCachedLookups}) {
      for (int copy = 0; copy < (cached ? 2 : 1); ++copy) {
        held.push_back(std::make_unique<State>());
        State& s = *held.back();
        ASSERT_EQ(ReadDht(body.data(), static_cast<uint32_t>(body.size()), s.state), kOk) << round;
        for (uint32_t build : {extras, kJpegFastAc | kJpegSkipAc}) {
          ASSERT_EQ(BuildHuffmanLookup(s.state, build | cached), kOk);
          for (int slot = 0; slot < 8; ++slot) {
            if (!s->huffmanPresent[slot]) continue;
            EXPECT_TRUE(LookupsMatchTable(*s.state, slot)) << round << " slot " << slot;
            // An extra not asked for comes only with a borrowed lookup.
            const JpegHuffmanLookup& l = s->lookups[slot];
            const bool ac = slot >= 4, borrowed = l.users != nullptr;
            EXPECT_EQ(l.fastAc != nullptr, ac && ((build & kJpegFastAc) || (borrowed && l.fastAc)));
            EXPECT_EQ(l.skipAc != nullptr, ac && ((build & kJpegSkipAc) || (borrowed && l.skipAc)));
            EXPECT_EQ(l.fastDc != nullptr, !ac && ((build & kJpegSkipAc) || (borrowed && l.fastDc)));
          }
        }
      }
    }
    // The second cached copy borrows what the first built.
    const State& first = *held[held.size() - 2];
    EXPECT_EQ(first.state->lookups[4 + 1].shortTable, held.back()->state->lookups[4 + 1].shortTable) << round;
    // Released from the round before last on: the cache takes new tables
    // in their place while the last round's states hold theirs.
    if (held.size() > 3 || round == 0) held.erase(held.begin(), held.end() - (round == 0 ? 0 : 3));
  }
  for (const auto& s : held) {
    for (int slot = 0; slot < 8; ++slot) {
      EXPECT_TRUE(!s->state->huffmanPresent[slot] || LookupsMatchTable(*s->state, slot)) << slot;
    }
  }
}

// The inverse DCT: the DC-only example of its definition, the vector code
// against the portable code, and the transform against a floating-point
// one.
TEST(JpegTables, InverseDct) {
  State s;
  for (int i = 0; i < 64; ++i) {
    s->quant[0][i] = (16 * kAanScale[i]) >> 12;
    s->idctQuant[0][i] = 16 * 8;
  }
  alignas(16) int16_t block[64] = {8};
  uint8_t out[64];
  InverseDct(s.state, block, 0, out, 8);
  for (uint8_t v : out) EXPECT_EQ(v, 144);
  for (int16_t c : block) EXPECT_EQ(c, 0) << "the block is left zeroed";
  EXPECT_EQ(DcSample(s.state, 8, 0), 144);

  // Out of range (the largest DC of 8-bit samples at this table), both
  // paths saturate.
  for (int16_t dc : {int16_t{150}, int16_t{-150}}) {
    alignas(16) int16_t a[64] = {dc}, b[64] = {dc};
    a[1] = b[1] = 30;
    uint8_t fast[64], portable[64];
    InverseDct(s.state, a, 0, fast, 8);
    InverseDctPortable(s->idctQuant[0], b, portable, 8, s->rangeLimit);
    for (int i = 0; i < 64; ++i) {
      EXPECT_EQ(fast[i], dc > 0 ? 255 : 0);
      EXPECT_EQ(portable[i], fast[i]);
    }
  }

  // Coefficients of real pictures (samples within a little of 0..255):
  // the vector code equals the portable code, and both the digest recorded
  // after the transform was checked against T.81 A.3.3 in floating point
  // (a few levels at worst, its floors half a level low on average).
  // Pairs of blocks (one per half of the AVX2 registers), the second with
  // the previous trial's coefficients and a table of its own, equal the
  // portable code too.
  for (int i = 0; i < 64; ++i) s->idctQuant[1][i] = static_cast<int16_t>(8 * (1 + i % 13));
  std::mt19937 random(99);
  std::vector<uint8_t> samples;
  alignas(16) int16_t previous[64] = {};
  for (int trial = 0; trial < 2000; ++trial) {
    alignas(16) int16_t a[64], b[64], pairA[64], pairB[64], c[64];
    const int spread = trial % 3 == 0 ? 24 : 8;
    for (int i = 0; i < 64; ++i) {
      const int limit = i == 0 ? 50 : (i < 10 ? spread : spread / 4 + 1);
      a[i] = b[i] = pairA[i] = static_cast<int16_t>(static_cast<int>(random() % (2 * limit + 1)) - limit);
      pairB[i] = c[i] = previous[i];
      previous[i] = a[i];
    }
    uint8_t fast[64], portable[64], pairedA[80], pairedB[64], portableB[64];
    InverseDct(s.state, a, 0, fast, 8);
    InverseDctPortable(s->idctQuant[0], b, portable, 8, s->rangeLimit);
    ASSERT_EQ(std::vector<uint8_t>(fast, fast + 64), std::vector<uint8_t>(portable, portable + 64)) << trial;
    InverseDctPair(s.state, pairA, 0, pairedA, 10, pairB, 1, pairedB, 8);
    InverseDctPortable(s->idctQuant[1], c, portableB, 8, s->rangeLimit);
    for (int i = 0; i < 64; ++i) {
      ASSERT_EQ(pairedA[i / 8 * 10 + i % 8], portable[i]) << trial;
      ASSERT_EQ(pairedB[i], portableB[i]) << trial;
      ASSERT_EQ(pairA[i] | pairB[i], 0) << "the blocks are left zeroed";
    }
    samples.insert(samples.end(), fast, fast + 64);
  }
  EXPECT_TRUE(MatchesDigest("jpeg-idct-random-blocks", Samples(samples), "the transform in floating point"));
}

// The colour rows at every width, both chroma layouts, full and half size:
// 16 bits are 24 bits packed, nothing is written past the row, and the
// rows are the digest recorded after they were checked against the
// conversion's definition in integers.
TEST(JpegTables, ColourRowsAtEveryWidth) {
  State s;
  s->flags = 0;
  BuildColourTables(s.state);
  s->flags = kFlagJpeg16Bpp;
  BuildColourTables(s.state);
  // The portable build and the best one (AVX2 where the machine has it)
  // write the same rows.
  std::vector<uint8_t> rows, portable, wideRows, widePortable;
  for (JpegVectorUnit unit : {JpegVectorUnit::kPortable, JpegVectorUnit::kBest}) {
    SetJpegVectorUnit(unit);
    rows.clear();
    wideRows.clear();
    std::mt19937 random(5);
    std::vector<uint8_t> y(80), cb(80), cr(80), y1(80), cb1(80), cr1(80);
    for (int trial = 0; trial < 40; ++trial) {
      for (auto* v : {&y, &cb, &cr, &y1, &cb1, &cr1})
        for (uint8_t& b : *v) b = static_cast<uint8_t>(trial % 4 == 0 ? (random() % 2) * 255 : random());
      for (int width = 1; width <= 40; ++width)
        for (int shift = 0; shift < 2; ++shift) {
          std::vector<uint8_t> out24(3 * width + 8, 0xEE), out16(2 * width + 8, 0xEE), half(3 * width + 8, 0xEE),
              gray(width + 8, 0xEE);
          ConvertRowYcc(s.state, y.data(), cb.data(), cr.data(), width, shift, out24.data(), 24);
          ConvertRowYcc(s.state, y.data(), cb.data(), cr.data(), width, shift, out16.data(), 16);
          ConvertRowYccHalf(s.state, y.data(), y1.data(), cb.data(), cb1.data(), cr.data(), cr1.data(), width / 2,
                            shift == 0, half.data(), 24);
          GrayRowHalf(y.data(), y1.data(), width / 2, gray.data());
          for (int x = 0; x < width; ++x) {
            const uint8_t* bgr = &out24[3 * x];
            ASSERT_EQ(out16[2 * x] | out16[2 * x + 1] << 8, ((bgr[2] & 0xF8) << 8) | ((bgr[1] & 0xFC) << 3) | (bgr[0] >> 3));
          }
          EXPECT_EQ(out24[3 * width], 0xEE) << "nothing written past the row";
          EXPECT_EQ(out16[2 * width], 0xEE);
          EXPECT_EQ(gray[width / 2], 0xEE);
          rows.insert(rows.end(), out24.begin(), out24.begin() + 3 * width);
          rows.insert(rows.end(), half.begin(), half.begin() + 3 * (width / 2));
          rows.insert(rows.end(), gray.begin(), gray.begin() + width / 2);
          // Half-size rows as wide as the 80 samples allow.
          std::vector<uint8_t> wide(3 * 40);
          ConvertRowYccHalf(s.state, y.data(), y1.data(), cb.data(), cb1.data(), cr.data(), cr1.data(),
                            32 + width % 9, shift == 0, wide.data(), 24);
          wideRows.insert(wideRows.end(), wide.begin(), wide.end());
        }
    }
    if (unit == JpegVectorUnit::kPortable) portable = rows, widePortable = wideRows;
  }
  EXPECT_EQ(rows, portable);
  EXPECT_EQ(wideRows, widePortable);
  EXPECT_TRUE(MatchesDigest("jpeg-colour-rows", Samples(rows), "the conversion's definition"));
}

}  // namespace
