// EncodeJpeg: an uncompressed 8-, 16- or 24-bpp page as a baseline JFIF
// stream.  8-bpp values are coded as gray (the palette is not consulted);
// colour pages as YCbCr with chrominance subsampled 2 x 2.  Quantisation
// and Huffman tables are the examples of T.81 Annex K.
#include <algorithm>
#include <cstring>

#include "imaging/codecs/codec_rows.h"
#include "imaging/codecs/codecs.h"
#include "imaging/codecs/jpeg_encode.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace quillon {

namespace {

// SOI, APP0, two DQT, SOF0, four DHT, SOS and EOI come to 623 bytes.
constexpr uint64_t kHeaderRoom = 1024;
// Room kept free before each MCU: six blocks.
constexpr uint64_t kMcuRoom = 6 * kJpegBlockWorst;

struct Encoder {
  JpegDecoderState* state;  // quantisation slots 0 and 1, frame size
  JpegQuantiser quantisers[2];  // 0 luminance, 1 chrominance
  JpegHuffmanCode dc[2];
  JpegHuffmanCode ac[2];
  JpegBitWriter writer;
};

// The page's lines, top line first, whatever order they are stored in.
struct SourceLines {
  const uint8_t* base;
  uint32_t stride;
  int32_t width;
  int32_t height;
  bool bottomUp;
  const uint8_t* Line(int32_t y) const {
    const int32_t stored = bottomUp ? height - 1 - y : y;
    return base + static_cast<uint64_t>(stored) * stride;
  }
};

// Grows the output (doubling) so that `need` more bytes fit.
bool EnsureRoom(JpegBitWriter* writer, uint64_t need) {
  if (writer->capacity - writer->size >= need) return true;
  const uint64_t capacity = std::max(SizeProduct(writer->capacity, 2), SizeSum(writer->size, need));
  auto* out = static_cast<uint8_t*>(Allocate(capacity));
  if (!out) return false;
  std::memcpy(out, writer->out, writer->size);
  Release(writer->out);
  writer->out = out;
  writer->capacity = capacity;
  return true;
}

void PutByte(JpegBitWriter* writer, uint32_t value) {
  writer->out[writer->size++] = static_cast<uint8_t>(value);
}
void Put16(JpegBitWriter* writer, uint32_t value) {
  PutByte(writer, value >> 8);
  PutByte(writer, value);
}
void PutMarker(JpegBitWriter* writer, int marker, uint32_t length) {
  PutByte(writer, 0xFF);
  PutByte(writer, static_cast<uint32_t>(marker));
  Put16(writer, length);
}

// SOI up to the scan header.  The quantisation slots receive the scaled
// tables that the DQT segments carry.
void WriteHeaders(const PageRecord* page, int32_t quality, Encoder* encoder) {
  JpegBitWriter* w = &encoder->writer;
  JpegDecoderState* state = encoder->state;
  const bool colour = state->componentCount == 3;
  PutByte(w, 0xFF);
  PutByte(w, kMarkerSoi);

  // JFIF 1.01.  A resolution the page does not know is given as a 1:1
  // aspect ratio (units 0): JFIF densities must not be zero.
  PutMarker(w, kMarkerApp0, 16);
  for (char c : {'J', 'F', 'I', 'F', '\0'}) PutByte(w, static_cast<uint32_t>(c));
  PutByte(w, 1);
  PutByte(w, 1);
  const bool dpi = page->xResolution > 0 && page->yResolution > 0;
  PutByte(w, dpi ? 1 : 0);
  Put16(w, dpi ? static_cast<uint32_t>(std::min(page->xResolution, 65535)) : 1);
  Put16(w, dpi ? static_cast<uint32_t>(std::min(page->yResolution, 65535)) : 1);
  PutByte(w, 0);
  PutByte(w, 0);

  for (int table = 0; table < (colour ? 2 : 1); ++table) {
    const std::array<uint8_t, 64>& base = table == 0 ? kLuminanceQuantK1 : kChrominanceQuantK2;
    PutMarker(w, kMarkerDqt, 67);
    PutByte(w, static_cast<uint32_t>(table));  // 8-bit entries, slot `table`
    for (int k = 0; k < 64; ++k) {
      const uint8_t entry = ScaleQuantEntry(base[kNaturalOfZigzag[k]], quality);
      state->quant[table][k] = entry;
      PutByte(w, entry);
    }
    state->quantPresent[table] = 1;
  }

  // Frame: component 0 is luminance, 2 x 2 in colour pages; 1 and 2 are
  // Cb and Cr, one sample per 2 x 2 pixels.
  PutMarker(w, kMarkerSof0, colour ? 17 : 11);
  PutByte(w, 8);
  Put16(w, static_cast<uint32_t>(state->height));
  Put16(w, static_cast<uint32_t>(state->width));
  PutByte(w, static_cast<uint32_t>(state->componentCount));
  for (int c = 0; c < state->componentCount; ++c) {
    PutByte(w, static_cast<uint32_t>(c));
    PutByte(w, c == 0 && colour ? 0x22 : 0x11);
    PutByte(w, c == 0 ? 0 : 1);
  }

  // Tables in the order of kJpegStandardTables: DC 0, AC 0, DC 1, AC 1.
  for (int which = 0; which < (colour ? 4 : 2); ++which) {
    const JpegStandardTable& table = kJpegStandardTables[which];
    PutMarker(w, kMarkerDht, static_cast<uint32_t>(2 + 17 + table.symbolCount));
    PutByte(w, static_cast<uint32_t>(table.slotByte));
    for (uint8_t count : table.counts) PutByte(w, count);
    for (int i = 0; i < table.symbolCount; ++i) PutByte(w, table.symbols[i]);
  }

  PutMarker(w, kMarkerSos, colour ? 12 : 8);
  PutByte(w, static_cast<uint32_t>(state->componentCount));
  for (int c = 0; c < state->componentCount; ++c) {
    PutByte(w, static_cast<uint32_t>(c));
    PutByte(w, c == 0 ? 0x00 : 0x11);
  }
  PutByte(w, 0);   // spectral start
  PutByte(w, 63);  // spectral end
  PutByte(w, 0);   // successive approximation
}

// Transform, quantisation, zig-zag order and entropy coding of one block.
void CodeBlock(Encoder* encoder, int32_t* block, int table, int32_t* predictor) {
  alignas(32) int32_t zigzag[64];
  const uint64_t nonzero = PrepareBlock(block, encoder->quantisers[table], zigzag);
  *predictor = EncodeHuffmanBlock(zigzag, nonzero, *predictor, encoder->dc[table],
                                  encoder->ac[table], &encoder->writer);
}

// Blocks that reach past the page's right or bottom edge are completed by
// repeating the last column and line (as T.81 A.2.4 recommends): a flat
// fill such as mid-gray would put a step into the block that the coarse
// high-frequency divisors blur back into the page's edge pixels.  `rows`
// holds a pointer for every line of the block or MCU (the last line
// repeated); `offsets` the byte offset of every column (the last column
// repeated).

// One 8 x 8 gray block; samples level-shifted by 128.
void FillGrayBlock(const uint8_t* const* rows, const int32_t* offsets, int32_t* block) {
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) block[8 * y + x] = rows[y][offsets[x]] - 128;
}

// The six blocks of one 16 x 16 MCU (four Y, Cb, Cr) from Blue, Green, Red
// pixels.  Y = 0.299 R + 0.587 G + 0.114 B in 12-bit fixed point, one
// chrominance sample per 2 x 2 group from the group's sums; all three round
// to nearest, since truncation would bias every colour page by a level or
// more towards green.
//
// The arithmetic runs over a line of 16 pixels at a time, split into
// blue, green and red first, so that the compiler keeps it in vector
// lanes; the same body is built for the baseline and for AVX2 machines.
[[gnu::always_inline]] inline void FillColourMcuBody(const uint8_t* const* rows, const int32_t* offsets,
                                                     int32_t (*blocks)[64]) {
  for (int32_t gy = 0; gy < 8; ++gy) {
    int32_t blue[8] = {}, green[8] = {}, red[8] = {};
    for (int32_t half = 0; half < 2; ++half) {
      const int32_t y = 2 * gy + half;
      const uint8_t* line = rows[y];
      int32_t b[16], g[16], r[16];
      for (int32_t x = 0; x < 16; ++x) {
        const uint8_t* p = line + offsets[x];
        b[x] = p[0];
        g[x] = p[1];
        r[x] = p[2];
      }
      // The line's left eight pixels in the left luminance block, the
      // right eight in the block after it.
      int32_t* out = blocks[(y >> 3) * 2] + (y & 7) * 8;
      for (int32_t x = 0; x < 8; ++x) {
        out[x] = ((r[x] * 1225 + g[x] * 2404 + b[x] * 467 + 2048) >> 12) - 128;
        out[64 + x] = ((r[8 + x] * 1225 + g[8 + x] * 2404 + b[8 + x] * 467 + 2048) >> 12) - 128;
      }
      for (int32_t x = 0; x < 8; ++x) {
        blue[x] += b[2 * x] + b[2 * x + 1];
        green[x] += g[2 * x] + g[2 * x + 1];
        red[x] += r[2 * x] + r[2 * x + 1];
      }
    }
    for (int32_t x = 0; x < 8; ++x) {
      blocks[4][gy * 8 + x] = (blue[x] * 2048 - green[x] * 1357 - red[x] * 691 + 8192) >> 14;
      blocks[5][gy * 8 + x] = (red[x] * 2048 - green[x] * 1715 - blue[x] * 333 + 8192) >> 14;
    }
  }
}

void FillColourMcuPortable(const uint8_t* const* rows, const int32_t* offsets, int32_t (*blocks)[64]) {
  FillColourMcuBody(rows, offsets, blocks);
}
#if defined(__x86_64__)
[[gnu::target("avx2")]] void FillColourMcuAvx2(const uint8_t* const* rows, const int32_t* offsets,
                                               int32_t (*blocks)[64]) {
  FillColourMcuBody(rows, offsets, blocks);
}

// Byte shuffles that split 48 bytes B, G, R, B, ... into 16 blue, green and
// red bytes: for each channel and each 16-byte part of the input, where
// each output byte lies in that part (0x80: elsewhere).
struct alignas(16) Deinterleave {
  uint8_t index[3][3][16];
};
constexpr Deinterleave kDeinterleave = [] {
  Deinterleave t{};
  for (int channel = 0; channel < 3; ++channel)
    for (int part = 0; part < 3; ++part)
      for (int j = 0; j < 16; ++j) {
        const int at = 3 * j + channel;
        t.index[channel][part][j] = static_cast<uint8_t>(at / 16 == part ? at % 16 : 0x80);
      }
  return t;
}();

// Two 16-bit weights as the pair madd multiplies a lane pair by.
constexpr int32_t WeightPair(int32_t low, int32_t high) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(high)) << 16 |
                              static_cast<uint16_t>(low));
}

[[gnu::target("avx2"), gnu::always_inline]] inline __m128i Channel(const __m128i* parts, int channel) {
  const auto* masks = reinterpret_cast<const __m128i*>(kDeinterleave.index[channel]);
  return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(parts[0], _mm_load_si128(masks)),
                                   _mm_shuffle_epi8(parts[1], _mm_load_si128(masks + 1))),
                      _mm_shuffle_epi8(parts[2], _mm_load_si128(masks + 2)));
}

// (a * wa + b * wb + c * wc + bias) >> shift for eight 16-bit lanes of
// each, in 32 bits, in order.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i Weigh(__m128i a, __m128i b, __m128i c, int32_t wa,
                                                                int32_t wb, int32_t wc, int32_t bias, int shift) {
  const __m256i ab = _mm256_set_m128i(_mm_unpackhi_epi16(a, b), _mm_unpacklo_epi16(a, b));
  const __m256i c1 = _mm256_set_m128i(_mm_unpackhi_epi16(c, _mm_set1_epi16(1)), _mm_unpacklo_epi16(c, _mm_set1_epi16(1)));
  const __m256i sum = _mm256_add_epi32(_mm256_madd_epi16(ab, _mm256_set1_epi32(WeightPair(wa, wb))),
                                       _mm256_madd_epi16(c1, _mm256_set1_epi32(WeightPair(wc, bias))));
  return _mm256_srai_epi32(sum, shift);
}

// The MCU as FillColourMcuBody fills it, for 16 columns that lie side by
// side from byte `at` of each line.
[[gnu::target("avx2")]] void FillColourMcuRunAvx2(const uint8_t* const* rows, int32_t at, int32_t (*blocks)[64]) {
  const __m256i shift = _mm256_set1_epi32(128);
  const __m128i ones = _mm_set1_epi8(1), zero = _mm_setzero_si128();
  for (int32_t gy = 0; gy < 8; ++gy) {
    __m128i sums[3] = {zero, zero, zero};
#pragma GCC unroll 2
    for (int32_t half = 0; half < 2; ++half) {
      const int32_t y = 2 * gy + half;
      const auto* line = reinterpret_cast<const __m128i*>(rows[y] + at);
      const __m128i parts[3] = {_mm_loadu_si128(line), _mm_loadu_si128(line + 1), _mm_loadu_si128(line + 2)};
      const __m128i b = Channel(parts, 0), g = Channel(parts, 1), r = Channel(parts, 2);
      // Luminance of the left and the right eight pixels.
      int32_t* out = blocks[(y >> 3) * 2] + (y & 7) * 8;
#pragma GCC unroll 2
      for (int32_t side = 0; side < 2; ++side) {
        auto widen = [](__m128i v, int32_t s) { return _mm_unpacklo_epi8(s ? _mm_srli_si128(v, 8) : v, _mm_setzero_si128()); };
        const __m256i luma = _mm256_sub_epi32(
            Weigh(widen(r, side), widen(g, side), widen(b, side), 1225, 2404, 467, 2048, 12), shift);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 64 * side), luma);
      }
      sums[0] = _mm_add_epi16(sums[0], _mm_maddubs_epi16(b, ones));
      sums[1] = _mm_add_epi16(sums[1], _mm_maddubs_epi16(g, ones));
      sums[2] = _mm_add_epi16(sums[2], _mm_maddubs_epi16(r, ones));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(blocks[4] + gy * 8),
                        Weigh(sums[0], sums[1], sums[2], 2048, -1357, -691, 8192, 14));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(blocks[5] + gy * 8),
                        Weigh(sums[2], sums[1], sums[0], 2048, -1715, -333, 8192, 14));
  }
}
#endif

// Offsets of `size` columns from pixel x0 of `bytes` bytes each, the page's
// last column repeated past its width.
void ColumnOffsets(int32_t x0, int32_t size, int32_t width, int32_t bytes, int32_t* offsets) {
  for (int32_t x = 0; x < size; ++x) offsets[x] = bytes * std::min(x0 + x, width - 1);
}

void EncodeGray(const SourceLines& lines, Encoder* encoder, bool* memoryShort) {
  alignas(32) int32_t block[64];
  const uint8_t* rows[8];
  int32_t offsets[8];
  int32_t predictor = 0;
  for (int32_t y0 = 0; y0 < lines.height; y0 += 8) {
    for (int32_t i = 0; i < 8; ++i) rows[i] = lines.Line(std::min(y0 + i, lines.height - 1));
    for (int32_t x0 = 0; x0 < lines.width; x0 += 8) {
      if (!EnsureRoom(&encoder->writer, kJpegBlockWorst)) {
        *memoryShort = true;
        return;
      }
      ColumnOffsets(x0, 8, lines.width, 1, offsets);
      FillGrayBlock(rows, offsets, block);
      CodeBlock(encoder, block, 0, &predictor);
    }
  }
}

// `band` (16 lines of 3 x width bytes) receives the lines of 16-bpp pages
// as Blue, Green, Red; 24-bpp lines are read where they lie.
void EncodeColour(const SourceLines& lines, bool packed565, uint8_t* band, Encoder* encoder,
                  bool* memoryShort) {
  alignas(32) int32_t blocks[6][64];
  void (*fill)(const uint8_t* const*, const int32_t*, int32_t (*)[64]) = FillColourMcuPortable;
#if defined(__x86_64__)
  if (JpegUsesAvx2(JpegVectorUnit::kBest)) fill = FillColourMcuAvx2;
#endif
  const uint8_t* rows[16];
  int32_t offsets[16];
  int32_t predictors[3] = {};
  const uint64_t bandStride = 3 * static_cast<uint64_t>(lines.width);
  for (int32_t y0 = 0; y0 < lines.height; y0 += 16) {
    const int32_t count = std::min(16, lines.height - y0);
    for (int32_t i = 0; i < count; ++i) {
      rows[i] = lines.Line(y0 + i);
      if (!packed565) continue;
      // 5-6-5 words, red in the top bits; each field widened by repeating
      // its top bits, so that full fields give 255.
      uint8_t* out = band + i * bandStride;
      for (int32_t x = 0; x < lines.width; ++x, out += 3) {
        const uint32_t v = rows[i][2 * x] | static_cast<uint32_t>(rows[i][2 * x + 1]) << 8;
        const uint32_t r = v >> 11, g = (v >> 5) & 63, b = v & 31;
        out[0] = static_cast<uint8_t>(b << 3 | b >> 2);
        out[1] = static_cast<uint8_t>(g << 2 | g >> 4);
        out[2] = static_cast<uint8_t>(r << 3 | r >> 2);
      }
      rows[i] = band + i * bandStride;
    }
    for (int32_t i = count; i < 16; ++i) rows[i] = rows[count - 1];
    for (int32_t x0 = 0; x0 < lines.width; x0 += 16) {
      if (!EnsureRoom(&encoder->writer, kMcuRoom)) {
        *memoryShort = true;
        return;
      }
#if defined(__x86_64__)
      if (fill == FillColourMcuAvx2 && x0 + 16 <= lines.width) {
        FillColourMcuRunAvx2(rows, 3 * x0, blocks);
      } else
#endif
      {
        ColumnOffsets(x0, 16, lines.width, 3, offsets);
        fill(rows, offsets, blocks);
      }
      for (int b = 0; b < 4; ++b) CodeBlock(encoder, blocks[b], 0, &predictors[0]);
      CodeBlock(encoder, blocks[4], 1, &predictors[1]);
      CodeBlock(encoder, blocks[5], 1, &predictors[2]);
    }
  }
}

}  // namespace

int32_t EncodeJpeg(const PageRecord* source, PageRecord* destination, int32_t quality) {
  if (quality < 0 || quality >= kJpegQualityCount) return kErrParameter;
  const int bpp = source->bitsPerPixel;
  if (bpp != 8 && bpp != 16 && bpp != 24) return kErrParameter;
  const int32_t width = source->width, height = source->height;
  // A frame header holds 16-bit sizes.
  if (!source->data || width < 1 || height < 1 || width > 65535 || height > 65535)
    return kErrParameter;
  const uint32_t rowBytes = RowBytes(width, bpp);
  const uint32_t stride = source->bytesPerLine ? source->bytesPerLine : BytesPerLine(width, bpp);
  const uint64_t span = SizeSum(SizeProduct(stride, static_cast<uint32_t>(height - 1)), rowBytes);
  if (stride < rowBytes || span > source->dataSize) return kErrParameter;

  const bool colour = bpp != 8;
  Encoder encoder{};
  encoder.state = AllocateJpegState();
  uint8_t* band = bpp == 16 ? static_cast<uint8_t*>(Allocate(SizeProduct(16, 3, static_cast<uint32_t>(width))))
                            : nullptr;
  // A third of the raw page to start with; the output grows when a picture
  // codes to more.
  const uint64_t capacity = SizeSum(SizeProduct(rowBytes, static_cast<uint32_t>(height)) / 3,
                                    kHeaderRoom + kMcuRoom);
  encoder.writer.out = static_cast<uint8_t*>(Allocate(capacity));
  encoder.writer.capacity = capacity;
  if (!encoder.state || !encoder.writer.out || (bpp == 16 && !band)) {
    ReleaseJpegState(encoder.state);
    Release(band);
    Release(encoder.writer.out);
    return kErrMemory;
  }
  JpegDecoderState* state = encoder.state;
  state->width = width;
  state->height = height;
  state->componentCount = colour ? 3 : 1;

  WriteHeaders(source, quality, &encoder);
  for (int table = 0; table < (colour ? 2 : 1); ++table) {
    PrepareEncoderQuant(state, table, &encoder.quantisers[table]);
    BuildHuffmanCodes(2 * table, &encoder.dc[table]);
    BuildHuffmanCodes(2 * table + 1, &encoder.ac[table]);
  }

  const SourceLines lines{source->data + source->dataOffset, stride, width, height,
                          codec::BottomLineFirst(*source)};
  bool memoryShort = false;
  if (colour) EncodeColour(lines, bpp == 16, band, &encoder, &memoryShort);
  else EncodeGray(lines, &encoder, &memoryShort);
  JpegBitWriter* w = &encoder.writer;
  if (!memoryShort && EnsureRoom(w, 16)) {
    FlushBits(w);  // at most 4 pending bytes, each stuffed, then EOI
    memoryShort = w->size + 2 > UINT32_MAX;
  } else {
    memoryShort = true;
  }
  ReleaseJpegState(encoder.state);
  Release(band);
  if (memoryShort) {
    Release(w->out);
    return kErrMemory;
  }
  PutByte(w, 0xFF);
  PutByte(w, kMarkerEoi);

  destination->data = w->out;
  destination->dataSize = static_cast<uint32_t>(w->size);
  destination->dataOffset = 0;
  destination->dataOwnership = kOwnedByPage;
  destination->layoutFlags = kLayoutTopDown;  // the stream codes the top line first
  return kOk;
}

}  // namespace quillon
