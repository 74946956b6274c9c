// The JPEG decoder's internal stages: frame geometry, the sample rows of one
// MCU row, the output window, and the routines that fill them.
#pragma once

#include <cstdint>

#include "imaging/codecs/jpeg.h"

namespace quillon {

// State flag: the stream ended without EOI, or had more scans than the
// state records.
constexpr int32_t kJpegIncomplete = 0x100;

// How the frame is walked and what it becomes.
struct JpegFrame {
  int32_t components;  // 1 (gray) or 3 (colour)
  int32_t rgb;         // 1: components are R, G, B (Adobe transform 0)
  int32_t hMax, vMax;  // largest sampling factors (those of component 0)
  // Chrominance sample x of luminance x >> chromaShiftX (0 or 1), the same
  // for lines.
  int32_t chromaShiftX, chromaShiftY;
  int32_t mcuWidth, mcuHeight;  // pixels
  int32_t mcusWide, mcusHigh;
  int32_t scale;  // 1, 2 or 8
  // Per component: its block grid padded to whole MCUs, and the blocks it
  // codes in a scan of its own (T.81 A.2.2).
  int32_t blocksWide[3], blocksHigh[3];
  int32_t ownBlocksWide[3], ownBlocksHigh[3];
};

// The samples of one MCU row, per component: 8 x 8 per block, or one per
// block at one-eighth size.
struct JpegPlanes {
  uint8_t* row[3];
  uint32_t stride[3];
  uint8_t* memory;
};

// Where decoded lines go: the page buffer at the output scale.  A stream's
// line 0 lands on line `firstRow` (strips of a TIFF page).
struct JpegOutput {
  uint8_t* base;
  uint32_t stride;
  int32_t width, height;
  int32_t bitsPerPixel;  // 8, 16 or 24
  int32_t firstRow;
  int32_t* linesWritten;  // one past the lowest line written so far
};

// A state for one decode; for a Motion-JPEG frame (`shared` not null) it
// starts with the clip's Huffman tables, borrowed, so that a frame's own
// DHT segments replace them for that frame only.
JpegDecoderState* AllocateFrameState(const JpegDecoderState* shared);

// Fills `frame` from the state's frame header; -7 for a layout without a
// reconstruction routine.
int32_t DescribeFrame(const JpegDecoderState* state, int32_t scale, JpegFrame* frame);
int32_t AllocatePlanes(const JpegFrame& frame, JpegPlanes* planes);
void ReleasePlanes(JpegPlanes* planes);

// Writes the lines of MCU row `mcuRow` held in `planes`, as far as the
// first `mcuColumns` MCUs reach; the rest of each line is cleared.
void EmitMcuRow(const JpegDecoderState* state, const JpegFrame& frame,
                const JpegPlanes& planes, int32_t mcuRow, int32_t mcuColumns,
                const JpegOutput& output);

// The first scan, interleaved and sequential, decoded MCU by MCU.  0 or -4.
int32_t DecodeSequentialFrame(JpegDecoderState* state, const JpegFrame& frame,
                              JpegPlanes* planes, const JpegOutput& output);
// Every scan into a coefficient buffer (progressive frames, and sequential
// frames coded in several scans), then reconstruction.  0, -1, -4 or -8.
int32_t DecodeMultiScanFrame(JpegDecoderState* state, const uint8_t* data,
                             uint32_t length, const JpegFrame& frame,
                             JpegPlanes* planes, const JpegOutput& output);

// Makes the lookups of the current scan's tables ready (slots 0 and 1
// fall back to Annex K.3), with the AC extras (kJpegFastAc, kJpegSkipAc)
// its blocks are read with, borrowed from the thread's cache where it
// holds the same table; -1, or -4 when a table is missing.
int32_t PrepareScanTables(JpegDecoderState* state, bool needDc, bool needAc, uint32_t acExtras);

// The AC extras that sequential blocks at `scale` are read with.
inline uint32_t SequentialAcExtras(int32_t scale) { return scale == 8 ? kJpegSkipAc : kJpegFastAc; }

// The sample value of a block whose AC coefficients are all zero.
inline uint8_t DcSample(const JpegDecoderState* state, int32_t dc, int table) {
  return state->rangeLimit[(int64_t{dc} * state->quant[table][0] >> 5) & 1023];
}
void FillBlock(uint8_t* out, uint32_t stride, uint8_t value);

// Colour rows.  Full size and one-eighth: chroma sample x >> chromaShift.
void ConvertRowYcc(const JpegDecoderState* state, const uint8_t* y,
                   const uint8_t* cb, const uint8_t* cr, int32_t width,
                   int32_t chromaShift, uint8_t* out, int32_t bitsPerPixel);
// Half size: luma rows y0, y1 averaged in 2 x 2 groups; chroma rows c0, c1
// (the same row when one chroma line covers both), with two samples per
// output pixel when `chromaPairs` (unsubsampled chroma) else one.
void ConvertRowYccHalf(const JpegDecoderState* state, const uint8_t* y0,
                       const uint8_t* y1, const uint8_t* cb0, const uint8_t* cb1,
                       const uint8_t* cr0, const uint8_t* cr1, int32_t width,
                       int32_t chromaPairs, uint8_t* out, int32_t bitsPerPixel);
// The same for frames whose components are R, G, B.
void ConvertRowRgb(const uint8_t* r, const uint8_t* g, const uint8_t* b,
                   int32_t width, int32_t chromaShift, uint8_t* out,
                   int32_t bitsPerPixel);
void ConvertRowRgbHalf(const uint8_t* r0, const uint8_t* r1, const uint8_t* g0,
                       const uint8_t* g1, const uint8_t* b0, const uint8_t* b1,
                       int32_t width, int32_t chromaPairs, uint8_t* out,
                       int32_t bitsPerPixel);
void GrayRowHalf(const uint8_t* y0, const uint8_t* y1, int32_t width, uint8_t* out);

}  // namespace quillon
