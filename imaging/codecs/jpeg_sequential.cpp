// Sequential (baseline) frames coded in one interleaved scan: MCU by MCU,
// block by block, into the sample rows of one MCU row, which are then
// written out at full, half or one-eighth size.
#include <algorithm>
#include <cstring>

#include "imaging/codecs/jpeg_decode.h"
#include "imaging/codecs/jpeg_entropy.h"

namespace quillon {

namespace {

int32_t CeilDiv(int32_t a, int32_t b) { return (a + b - 1) / b; }

}  // namespace

int32_t DescribeFrame(const JpegDecoderState* state, int32_t scale, JpegFrame* frame) {
  *frame = JpegFrame{};
  frame->components = state->componentCount;
  frame->scale = scale;
  if (state->componentCount == 1) {
    frame->hMax = frame->vMax = 1;
  } else if (state->componentCount == 3) {
    // Luminance of 1 or 2 x 1 or 2 blocks over chrominance of the same
    // size or half as wide, high or both (Motion-JPEG writers code 4:2:2
    // as 2 x 2 over 1 x 2).
    const JpegComponent* c = state->components;
    const int32_t h = c[1].horizontal, v = c[1].vertical;
    if (c[0].horizontal > 2 || c[0].vertical > 2 || c[2].horizontal != h ||
        c[2].vertical != v || (c[0].horizontal != h && c[0].horizontal != 2 * h) ||
        (c[0].vertical != v && c[0].vertical != 2 * v))
      return kErrUnsupported;
    frame->hMax = c[0].horizontal;
    frame->vMax = c[0].vertical;
    frame->chromaShiftX = c[0].horizontal / h - 1;
    frame->chromaShiftY = c[0].vertical / v - 1;
    frame->rgb = state->adobeTransform == 0 ||
                 (state->adobeTransform < 0 && c[0].identifier == 'R' &&
                  c[1].identifier == 'G' && c[2].identifier == 'B');
  } else {
    return kErrUnsupported;  // two components, CMYK and YCCK
  }
  frame->mcuWidth = 8 * frame->hMax;
  frame->mcuHeight = 8 * frame->vMax;
  frame->mcusWide = CeilDiv(state->width, frame->mcuWidth);
  frame->mcusHigh = CeilDiv(state->height, frame->mcuHeight);
  for (int c = 0; c < frame->components; ++c) {
    const int32_t h = frame->components == 1 ? 1 : state->components[c].horizontal;
    const int32_t v = frame->components == 1 ? 1 : state->components[c].vertical;
    frame->blocksWide[c] = frame->mcusWide * h;
    frame->blocksHigh[c] = frame->mcusHigh * v;
    // T.81 A.1.1: the component's own size, x * H / Hmax rounded up.
    frame->ownBlocksWide[c] = CeilDiv(CeilDiv(state->width * h, frame->hMax), 8);
    frame->ownBlocksHigh[c] = CeilDiv(CeilDiv(state->height * v, frame->vMax), 8);
  }
  return kOk;
}

int32_t AllocatePlanes(const JpegFrame& frame, JpegPlanes* planes) {
  *planes = JpegPlanes{};
  const int32_t perBlock = frame.scale == 8 ? 1 : 8;
  uint64_t total = 0;
  uint64_t sizes[3] = {};
  for (int c = 0; c < frame.components; ++c) {
    const int32_t rows = frame.blocksHigh[c] / frame.mcusHigh * perBlock;
    planes->stride[c] = static_cast<uint32_t>(frame.blocksWide[c] * perBlock + 16);
    sizes[c] = SizeProduct(planes->stride[c], static_cast<uint32_t>(rows));
    total = SizeSum(total, sizes[c]);
  }
  planes->memory = static_cast<uint8_t*>(Allocate(total));
  if (!planes->memory) return kErrMemory;
  uint8_t* at = planes->memory;
  for (int c = 0; c < frame.components; ++c) {
    planes->row[c] = at;
    at += sizes[c];
  }
  return kOk;
}

void ReleasePlanes(JpegPlanes* planes) {
  Release(planes->memory);
  *planes = JpegPlanes{};
}

void EmitMcuRow(const JpegDecoderState* state, const JpegFrame& frame,
                const JpegPlanes& planes, int32_t mcuRow, int32_t mcuColumns,
                const JpegOutput& output) {
  const int32_t scale = frame.scale;
  const int32_t frameWidth = CeilDiv(state->width, scale);
  const int32_t frameHeight = CeilDiv(state->height, scale);
  // Lines of this MCU row at the output scale, and how far they reach.
  const int32_t band = scale == 8 ? frame.vMax : frame.mcuHeight / scale;
  const int32_t reach = scale == 8 ? mcuColumns * frame.hMax : mcuColumns * frame.mcuWidth / scale;
  const int32_t width = std::max(0, std::min({frameWidth, reach, output.width}));
  const int32_t chromaShift = frame.chromaShiftX;
  const uint32_t written = RowBytes(width, output.bitsPerPixel);
  for (int32_t line = 0; line < band; ++line) {
    const int32_t frameLine = mcuRow * band + line;
    const int32_t outLine = output.firstRow + frameLine;
    if (frameLine >= frameHeight || outLine >= output.height) break;
    uint8_t* out = output.base + static_cast<uint64_t>(outLine) * output.stride;
    // A buffer of the caller's holds an older picture: what this frame
    // does not cover is cleared.
    std::memset(out + written, 0, output.stride - written);
    *output.linesWritten = std::max(*output.linesWritten, outLine + 1);
    if (width == 0) continue;
    if (scale == 2) {
      // Luminance lines 2 line and 2 line + 1; chrominance lines as they
      // cover them.
      const uint8_t* y0 = planes.row[0] + static_cast<uint64_t>(2 * line) * planes.stride[0];
      const uint8_t* y1 = y0 + planes.stride[0];
      if (frame.components == 1) {
        GrayRowHalf(y0, y1, width, out);
        continue;
      }
      const int32_t c0 = frame.chromaShiftY == 0 ? 2 * line : line;
      const int32_t c1 = frame.chromaShiftY == 0 ? 2 * line + 1 : line;
      const uint8_t* cb0 = planes.row[1] + static_cast<uint64_t>(c0) * planes.stride[1];
      const uint8_t* cb1 = planes.row[1] + static_cast<uint64_t>(c1) * planes.stride[1];
      const uint8_t* cr0 = planes.row[2] + static_cast<uint64_t>(c0) * planes.stride[2];
      const uint8_t* cr1 = planes.row[2] + static_cast<uint64_t>(c1) * planes.stride[2];
      const int32_t pairs = frame.chromaShiftX == 0;
      if (frame.rgb)
        ConvertRowRgbHalf(y0, y1, cb0, cb1, cr0, cr1, width, pairs, out, output.bitsPerPixel);
      else
        ConvertRowYccHalf(state, y0, y1, cb0, cb1, cr0, cr1, width, pairs, out,
                          output.bitsPerPixel);
      continue;
    }
    const uint8_t* y = planes.row[0] + static_cast<uint64_t>(line) * planes.stride[0];
    if (frame.components == 1) {
      std::memcpy(out, y, static_cast<size_t>(width));
      continue;
    }
    const int32_t c = line >> frame.chromaShiftY;
    const uint8_t* cb = planes.row[1] + static_cast<uint64_t>(c) * planes.stride[1];
    const uint8_t* cr = planes.row[2] + static_cast<uint64_t>(c) * planes.stride[2];
    if (frame.rgb)
      ConvertRowRgb(y, cb, cr, width, chromaShift, out, output.bitsPerPixel);
    else
      ConvertRowYcc(state, y, cb, cr, width, chromaShift, out, output.bitsPerPixel);
  }
}

int32_t DecodeSequentialFrame(JpegDecoderState* state, const JpegFrame& frame,
                              JpegPlanes* planes, const JpegOutput& output) {
  JpegBitReader reader;
  StartBitReader(&reader, state->cleaned, state->scanStarts[0], state->scanEnds[0]);
  const bool eighth = frame.scale == 8;
  // Blocks with AC coefficients wait in pairs for the transform where two
  // at once are faster; `held` blocks wait (0 or 1).
  alignas(32) int16_t blocks[2][64] = {};
  const bool pairs = JpegUsesAvx2(JpegVectorUnit::kBest);
  struct Waiting {
    uint8_t* out;
    uint32_t stride;
    int32_t quant;
  } waiting{};
  int32_t held = 0;
  auto flush = [&] {
    if (held) InverseDct(state, blocks[0], waiting.quant, waiting.out, waiting.stride);
    held = 0;
  };
  int32_t predictors[4] = {};
  // What each component of the scan needs, in locals the loops keep in
  // registers.
  struct Part {
    const JpegHuffmanLookup* dc;
    const JpegHuffmanLookup* ac;
    int32_t h, v, quant;
    uint32_t stride;
    uint8_t* row;
  };
  Part parts[4];
  const int32_t count = state->scanComponentCount;
  for (int32_t s = 0; s < count; ++s) {
    const int32_t c = state->scanComponents[s];
    const JpegComponent& comp = state->components[c];
    parts[s] = Part{&state->lookups[comp.dcTable], &state->lookups[4 + comp.acTable],
                    frame.blocksWide[c] / frame.mcusWide, frame.blocksHigh[c] / frame.mcusHigh,
                    comp.quantTable, planes->stride[c], planes->row[c]};
  }
  state->restartCountdown = state->restartInterval;
  for (int32_t mcuRow = 0; mcuRow < frame.mcusHigh; ++mcuRow) {
    for (int32_t mcuColumn = 0; mcuColumn < frame.mcusWide; ++mcuColumn) {
      for (int32_t s = 0; s < count; ++s) {
        const Part& part = parts[s];
        for (int32_t by = 0; by < part.v; ++by) {
          for (int32_t bx = 0; bx < part.h; ++bx) {
            const int32_t column = mcuColumn * part.h + bx;
            if (eighth) {
              if (!DecodeBlockDcOnly(&reader, *part.dc, *part.ac, &predictors[s])) {
                EmitMcuRow(state, frame, *planes, mcuRow, mcuColumn, output);
                return kErrDecompress;
              }
              part.row[by * part.stride + column] = DcSample(state, predictors[s], part.quant);
              continue;
            }
            uint8_t* out = part.row + static_cast<uint64_t>(by) * 8 * part.stride + column * 8;
            int16_t* block = blocks[held];
            const int32_t kind = DecodeBlock(&reader, block, *part.dc, *part.ac, &predictors[s]);
            if (kind < 0) {
              flush();
              EmitMcuRow(state, frame, *planes, mcuRow, mcuColumn, output);
              return kErrDecompress;
            }
            if (kind == 1) {
              FillBlock(out, part.stride, DcSample(state, block[0], part.quant));
              block[0] = 0;
            } else if (!pairs) {
              InverseDct(state, block, part.quant, out, part.stride);
            } else if (held) {
              InverseDctPair(state, blocks[0], waiting.quant, waiting.out, waiting.stride, block,
                             part.quant, out, part.stride);
              held = 0;
            } else {
              waiting = Waiting{out, part.stride, part.quant};
              held = 1;
            }
          }
        }
      }
      flush();
      // An MCU that needed bits past the end of the data is not kept.
      if (Overran(reader)) {
        EmitMcuRow(state, frame, *planes, mcuRow, mcuColumn, output);
        return kErrDecompress;
      }
      if (state->restartInterval && --state->restartCountdown == 0) {
        state->restartCountdown = state->restartInterval;
        for (int32_t& p : predictors) p = 0;
        AlignToByte(&reader);
      }
    }
    EmitMcuRow(state, frame, *planes, mcuRow, frame.mcusWide, output);
  }
  return kOk;
}

}  // namespace quillon
