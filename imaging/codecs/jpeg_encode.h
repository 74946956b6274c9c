// JPEG encoder pieces: the quantisation tables of T.81 Annex K.1, the
// forward transform, the quantiser, the canonical Huffman codes of Annex
// K.3 and the bit writer that stuffs a zero byte after every 0xFF.
#pragma once

#include <array>
#include <cstdint>

#include "imaging/codecs/jpeg.h"

namespace quillon {

// T.81 Tables K.1 (luminance) and K.2 (chrominance), natural order, as
// printed.
extern const std::array<uint8_t, 64> kLuminanceQuantK1;
extern const std::array<uint8_t, 64> kChrominanceQuantK2;

// Quality index: 0 halves every entry (finer), 1 keeps it, 2 doubles it.
constexpr int32_t kJpegQualityCount = 3;
uint8_t ScaleQuantEntry(uint8_t entry, int32_t quality);

// Number of bits of v: 0 for 0, 1 for 1, 2 for 2..3, ... 12 for 2048..4095.
extern const std::array<uint8_t, 4096> kJpegCategory;

// Divisors of one table in natural order (they carry the forward
// transform's scale) and their reciprocals: n / divisor is
// (n x reciprocal) >> 32 for every n below 2^16.
struct JpegQuantiser {
  int32_t divisor[64];
  uint64_t reciprocal[64];
  // The reciprocal's low 32 bits, and all ones where its bit 32 is set
  // (divisor 1), for vector units that multiply 32 by 32 bits.
  alignas(32) uint32_t reciprocalLow[64];
  alignas(32) uint32_t reciprocalHigh[64];
};

// Canonical code (T.81 Annex C) and its length for every symbol of one
// table; length 0 for symbols the table does not hold.
struct JpegHuffmanCode {
  uint16_t code[256];
  uint8_t length[256];
};

// Entropy-coded bytes, stuffed as they are written.  The caller keeps
// kJpegBlockWorst bytes of room per block it codes.
struct JpegBitWriter {
  uint8_t* out;
  uint64_t size;      // bytes written
  uint64_t capacity;  // bytes at out
  uint64_t bits;      // pending bits, the newest in the low end
  int32_t count;      // number of pending bits, below 32 between calls
};
// One block: DC code and 11 bits, 63 coefficients of at most 26 bits, three
// ZRL codes, EOB; every byte possibly stuffed; the pending bits.
constexpr uint64_t kJpegBlockWorst = 512;

void EmitPendingBytes(JpegBitWriter* writer);
inline void PutBits(JpegBitWriter* writer, uint32_t bits, int32_t length) {
  writer->bits = (writer->bits << length) | bits;
  writer->count += length;
  if (writer->count >= 32) EmitPendingBytes(writer);
}
// Completes the last byte with 1 bits (T.81 F.1.2.3) and writes it.
void FlushBits(JpegBitWriter* writer);

// AAN forward DCT of 64 samples (level-shifted), rows then columns, in
// place; the output is scaled by 8 s(u) s(v), which the divisors undo.
void ForwardDct(int32_t* block);
// Divisors of quantisation slot `table` of the state, which holds the
// scaled table in zig-zag order; the slot is rewritten in natural order
// with the divisors.
void PrepareEncoderQuant(JpegDecoderState* state, int table, JpegQuantiser* quantiser);
// Each coefficient divided by its divisor, rounded to the nearest integer,
// halves away from zero; natural order, in place.
void Quantise(const JpegQuantiser& quantiser, int32_t* block);
// Codes of table `which` of kJpegStandardTables.
void BuildHuffmanCodes(int which, JpegHuffmanCode* codes);
// Transform, quantisation and zig-zag order of one block (level-shifted
// samples, overwritten): the coefficients into `zigzag`, and the mask of
// those that are not zero (bit k for zig-zag index k).
uint64_t PrepareBlock(int32_t* block, const JpegQuantiser& quantiser, int32_t* zigzag,
                      JpegVectorUnit unit = JpegVectorUnit::kBest);
// Codes one block given in zig-zag order with its mask of non-zero
// coefficients; returns its DC value, the next predictor of its component.
int32_t EncodeHuffmanBlock(const int32_t* zigzag, uint64_t nonzero, int32_t predictor,
                           const JpegHuffmanCode& dc, const JpegHuffmanCode& ac,
                           JpegBitWriter* writer);

}  // namespace quillon
