// The decoder state's life: allocation, release, a Motion-JPEG clip's
// shared tables and the per-frame states seeded from them, and the
// Huffman tables a scan needs.
#include <cstring>

#include "imaging/codecs/codecs.h"
#include "imaging/codecs/jpeg_decode.h"
#include "imaging/core/bytes.h"

namespace quillon {

namespace {

// Slot `slot` loaded with table `which` of Annex K.3.
void LoadStandardTable(JpegDecoderState* state, int slot, int which) {
  const JpegStandardTable& table = kJpegStandardTables[which];
  for (int i = 0; i < 16; ++i) state->huffmanCounts[slot][i] = table.counts[i];
  for (int i = 0; i < 256; ++i)
    state->huffmanSymbols[slot][i] = i < table.symbolCount ? table.symbols[i] : 0;
  state->huffmanPresent[slot] = 1;
  state->huffmanDirty[slot] = 1;
}

}  // namespace

JpegDecoderState* AllocateJpegState() {
  auto* state = static_cast<JpegDecoderState*>(Allocate(sizeof(JpegDecoderState)));
  if (!state) return nullptr;
  FillRangeLimit(state);
  state->adobeTransform = -1;
  return state;
}

void ReleaseJpegState(JpegDecoderState* state) {
  if (!state) return;
  FreeHuffmanLookup(state);
  Release(state->cleaned);
  Release(state);
}

JpegDecoderState* AllocateFrameState(const JpegDecoderState* shared) {
  JpegDecoderState* state = AllocateJpegState();
  if (!state || !shared) return state;
  std::memcpy(state->huffmanCounts, shared->huffmanCounts, sizeof state->huffmanCounts);
  std::memcpy(state->huffmanSymbols, shared->huffmanSymbols, sizeof state->huffmanSymbols);
  std::memcpy(state->huffmanPresent, shared->huffmanPresent, sizeof state->huffmanPresent);
  for (int slot = 0; slot < 8; ++slot) {
    state->lookups[slot] = shared->lookups[slot];
    state->lookups[slot].owned = 0;
    state->lookups[slot].users = nullptr;
    // A slot the clip never built is built for this frame.
    state->huffmanDirty[slot] = shared->lookups[slot].shortTable ? 0 : 1;
  }
  return state;
}

int32_t InitMotionJpegTables(ImageFile* file, const uint8_t* dhtSegments,
                             uint32_t length) {
  ReleaseJpegState(file->jpegState);
  file->jpegState = nullptr;
  JpegDecoderState* state = AllocateJpegState();
  if (!state) return kErrMemory;
  state->componentCount = 3;
  for (int c = 0; c < 3; ++c) {
    state->components[c].horizontal = state->components[c].vertical = 1;
    state->components[c].index = c;
  }
  // A run of DHT segments: 0xFF 0xC4, length, tables; without one, the
  // tables of Annex K.3 that AVI clips leave out of their frames.
  if (!dhtSegments) {
    dhtSegments = kJpegStandardDht.data();
    length = kJpegStandardDhtLength;
  }
  const Bytes bytes{dhtSegments, length};
  uint32_t at = 0;
  int32_t loaded = 0;
  while (bytes.Has(at, 4) && bytes.U8(at) == 0xFF && bytes.U8(at + 1) == kMarkerDht) {
    const uint32_t segment = bytes.BE16(at + 2);
    if (segment < 2 || !bytes.Has(at + 2, segment) ||
        ReadDht(dhtSegments + at + 4, segment - 2, state) != kOk)
      break;
    ++loaded;
    at += 2 + segment;
  }
  int32_t result = loaded ? BuildHuffmanLookup(state) : kErrBadHeader;
  if (result != kOk) {
    ReleaseJpegState(state);
    return result;
  }
  state->flags = 0;
  BuildColourTables(state);
  state->flags = kFlagJpeg16Bpp;
  BuildColourTables(state);
  state->flags = 0;
  file->jpegState = state;
  return kOk;
}

int32_t PrepareScanTables(JpegDecoderState* state, bool needDc, bool needAc, uint32_t acExtras) {
  for (int32_t s = 0; s < state->scanComponentCount; ++s) {
    const JpegComponent& comp = state->components[state->scanComponents[s]];
    // Tables 0 and 1 that the stream leaves out are the usual ones
    // (Motion-JPEG frames written without their tables).
    if (needDc && !state->huffmanPresent[comp.dcTable] && comp.dcTable <= 1)
      LoadStandardTable(state, comp.dcTable, comp.dcTable == 0 ? 0 : 2);
    if (needAc && !state->huffmanPresent[4 + comp.acTable] && comp.acTable <= 1)
      LoadStandardTable(state, 4 + comp.acTable, comp.acTable == 0 ? 1 : 3);
  }
  const int32_t result = BuildHuffmanLookup(state, acExtras | kJpegCachedLookups);
  if (result != kOk) return result;
  for (int32_t s = 0; s < state->scanComponentCount; ++s) {
    const JpegComponent& comp = state->components[state->scanComponents[s]];
    if ((needDc && !state->lookups[comp.dcTable].shortTable) ||
        (needAc && !state->lookups[4 + comp.acTable].shortTable))
      return kErrDecompress;
  }
  return kOk;
}

}  // namespace quillon
