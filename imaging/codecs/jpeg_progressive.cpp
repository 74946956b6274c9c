// Frames coded in several scans: progressive frames (T.81 Annex G) and
// sequential frames whose components come in separate scans.  Every scan
// adds to one coefficient buffer; the pixels are made after the last scan.
#include <algorithm>
#include <cstring>

#include "imaging/codecs/jpeg_decode.h"
#include "imaging/codecs/jpeg_entropy.h"

namespace quillon {

namespace {

enum ScanKind { kSequentialScan, kDcFirst, kDcRefine, kAcFirst, kAcRefine };

struct Coefficients {
  int16_t* plane[3];
  // Progressive frames: per block, which AC coefficients (zig-zag index)
  // are nonzero, so that refinement scans visit only those.
  uint64_t* nonzero[3];
  int32_t perBlock;  // 64, or 1 at one-eighth size (DC only)
  int16_t* memory;
  uint64_t* masks;
};

// One scan's walk over its blocks: interleaved scans MCU by MCU, a scan of
// one component over that component's own blocks in raster order (A.2).
// `decode(block, nonzeroMask, scanIndex)` returns false for a damaged code.
template <typename Decode>
int32_t WalkScan(JpegDecoderState* state, const JpegFrame& frame,
                 const Coefficients& coefficients, JpegBitReader* reader,
                 int32_t* predictors, int32_t* eobRun, Decode&& decode) {
  auto restart = [&] {
    if (state->restartInterval && --state->restartCountdown == 0) {
      state->restartCountdown = state->restartInterval;
      for (int s = 0; s < 4; ++s) predictors[s] = 0;
      *eobRun = 0;
      AlignToByte(reader);
    }
  };
  state->restartCountdown = state->restartInterval;
  const int32_t per = coefficients.perBlock;
  if (state->scanComponentCount == 1) {
    const int32_t c = state->scanComponents[0];
    const JpegComponent& comp = state->components[c];
    state->currentDc = &state->lookups[comp.dcTable];
    state->currentAc = &state->lookups[4 + comp.acTable];
    uint64_t unused = 0;  // sequential scans keep no masks
    for (int32_t by = 0; by < frame.ownBlocksHigh[c]; ++by) {
      const uint64_t first = static_cast<uint64_t>(by) * frame.blocksWide[c];
      for (int32_t bx = 0; bx < frame.ownBlocksWide[c]; ++bx) {
        uint64_t* mask = coefficients.nonzero[c] ? coefficients.nonzero[c] + first + bx : &unused;
        if (!decode(coefficients.plane[c] + (first + bx) * per, mask, 0) || Overran(*reader))
          return kErrDecompress;
        restart();
      }
    }
    return kOk;
  }
  for (int32_t my = 0; my < frame.mcusHigh; ++my) {
    for (int32_t mx = 0; mx < frame.mcusWide; ++mx) {
      for (int32_t s = 0; s < state->scanComponentCount; ++s) {
        const int32_t c = state->scanComponents[s];
        const JpegComponent& comp = state->components[c];
        state->currentDc = &state->lookups[comp.dcTable];
        state->currentAc = &state->lookups[4 + comp.acTable];
        const int32_t h = frame.blocksWide[c] / frame.mcusWide;
        const int32_t v = frame.blocksHigh[c] / frame.mcusHigh;
        for (int32_t by = 0; by < v; ++by)
          for (int32_t bx = 0; bx < h; ++bx) {
            const uint64_t index =
                static_cast<uint64_t>(my * v + by) * frame.blocksWide[c] + mx * h + bx;
            if (!decode(coefficients.plane[c] + index * per, nullptr, s)) return kErrDecompress;
          }
      }
      if (Overran(*reader)) return kErrDecompress;
      restart();
    }
  }
  return kOk;
}

inline int32_t GetBit(JpegBitReader* r) {
  if (r->count < 8) Refill(r);
  const int32_t bit = static_cast<int32_t>(PeekBits(*r, 1));
  SkipBits(r, 1);
  return bit;
}

// G.1.2.3: the correction bit of a coefficient already nonzero.
inline void Refine(JpegBitReader* r, int16_t* coefficient, int32_t bit) {
  if (GetBit(r) && (*coefficient & bit) == 0)
    *coefficient = static_cast<int16_t>(*coefficient >= 0 ? *coefficient + bit : *coefficient - bit);
}

inline uint64_t BitAt(int32_t k) { return k < 64 ? uint64_t{1} << k : 0; }

int32_t DecodeScan(JpegDecoderState* state, const JpegFrame& frame,
                   const Coefficients& coefficients, int32_t scan, ScanKind kind) {
  JpegBitReader reader;
  StartBitReader(&reader, state->cleaned, state->scanStarts[scan], state->scanEnds[scan]);
  int32_t predictors[4] = {};
  int32_t eobRun = 0;
  const int32_t low = state->approximationLow;
  const int32_t start = state->spectralStart, end = state->spectralEnd;
  const int32_t bit = 1 << low;
  JpegBitReader* r = &reader;
  switch (kind) {
    case kSequentialScan:
      return WalkScan(state, frame, coefficients, r, predictors, &eobRun,
                      [&](int16_t* block, uint64_t*, int32_t s) {
                        if (coefficients.perBlock == 1) {
                          if (!DecodeBlockDcOnly(r, *state->currentDc, *state->currentAc,
                                                 &predictors[s]))
                            return false;
                          block[0] = static_cast<int16_t>(predictors[s]);
                          return true;
                        }
                        return DecodeBlock(r, block, *state->currentDc, *state->currentAc,
                                           &predictors[s]) >= 0;
                      });
    case kDcFirst:
      return WalkScan(state, frame, coefficients, r, predictors, &eobRun,
                      [&](int16_t* block, uint64_t*, int32_t s) {
                        if (!DecodeDc(r, *state->currentDc, &predictors[s])) return false;
                        block[0] = static_cast<int16_t>(predictors[s] * bit);
                        return true;
                      });
    case kDcRefine:
      return WalkScan(state, frame, coefficients, r, predictors, &eobRun,
                      [&](int16_t* block, uint64_t*, int32_t) {
                        if (GetBit(r)) block[0] = static_cast<int16_t>(block[0] | bit);
                        return true;
                      });
    case kAcFirst:
      return WalkScan(state, frame, coefficients, r, predictors, &eobRun,
                      [&](int16_t* block, uint64_t* mask, int32_t) {
                        if (eobRun > 0) {
                          --eobRun;
                          return true;
                        }
                        const JpegHuffmanLookup& ac = *state->currentAc;
                        for (int32_t k = start; k <= end;) {
                          if (r->count < 32) Refill(r);
                          const int32_t symbol = DecodeAcSymbol(r, ac);
                          if (symbol < 0) return false;
                          const int32_t run = symbol >> 4, size = symbol & 15;
                          if (size) {
                            k += run;
                            block[kNaturalOfZigzag[k]] =
                                static_cast<int16_t>(ReceiveExtend(r, size) * bit);
                            *mask |= BitAt(k);
                            ++k;
                          } else if (run == 15) {
                            k += 16;
                          } else {
                            eobRun = (1 << run) - 1;
                            if (run) eobRun += ReceiveBits(r, run);
                            break;
                          }
                        }
                        return true;
                      });
    case kAcRefine:
      return WalkScan(state, frame, coefficients, r, predictors, &eobRun,
                      [&](int16_t* block, uint64_t* mask, int32_t) {
                        const JpegHuffmanLookup& ac = *state->currentAc;
                        uint64_t nonzero = *mask;
                        int32_t k = start;
                        if (eobRun == 0) {
                          for (; k <= end; ++k) {
                            if (r->count < 32) Refill(r);
                            const int32_t symbol = DecodeAcSymbol(r, ac);
                            if (symbol < 0) return false;
                            int32_t run = symbol >> 4;
                            int32_t value = 0;
                            if (symbol & 15) {
                              value = GetBit(r) ? bit : -bit;
                            } else if (run != 15) {
                              eobRun = 1 << run;
                              if (run) eobRun += ReceiveBits(r, run);
                              break;
                            }
                            // Past the nonzero coefficients, each taking a
                            // correction bit, to the zero one after `run`
                            // others.
                            while (k <= end) {
                              const uint64_t ahead = nonzero >> k;
                              const int32_t next =
                                  std::min(ahead ? k + __builtin_ctzll(ahead) : 64, end + 1);
                              if (run < next - k) {
                                k += run;
                                break;
                              }
                              run -= next - k;
                              k = next;
                              if (k > end) break;
                              Refine(r, block + kNaturalOfZigzag[k], bit);
                              ++k;
                            }
                            if (value) {
                              block[kNaturalOfZigzag[k]] = static_cast<int16_t>(value);
                              nonzero |= BitAt(k);
                            }
                          }
                        }
                        if (eobRun > 0) {
                          if (k <= end) {
                            uint64_t band = nonzero >> k;
                            if (end - k < 63) band &= (uint64_t{2} << (end - k)) - 1;
                            while (band) {
                              Refine(r, block + kNaturalOfZigzag[k + __builtin_ctzll(band)], bit);
                              band &= band - 1;
                            }
                          }
                          --eobRun;
                        }
                        *mask = nonzero;
                        return true;
                      });
  }
  return kErrDecompress;
}

// The kind of the current scan, or -1 for parameters T.81 G.1.1.1 rules out.
int32_t ClassifyScan(const JpegDecoderState* state) {
  const int32_t ss = state->spectralStart, se = state->spectralEnd;
  const int32_t ah = state->approximationHigh, al = state->approximationLow;
  if (!(state->flags & kJpegProgressive)) return kSequentialScan;
  if (ss > se || se > 63 || ah > 13 || al > 13) return -1;
  if (ss == 0) return se == 0 ? (ah ? kDcRefine : kDcFirst) : -1;
  if (state->scanComponentCount != 1) return -1;
  return ah ? kAcRefine : kAcFirst;
}

// Applies the table segments that precede scan `scan`.
int32_t ApplySegments(JpegDecoderState* state, const uint8_t* data, int32_t scan) {
  for (int32_t i = 0; i < state->segmentCount; ++i) {
    const JpegSegment& s = state->segments[i];
    if (s.scan != scan) continue;
    const uint8_t* body = data + s.position + 2;
    const uint32_t bodyLength = s.length - 2;
    int32_t result = kOk;
    if (s.marker == kMarkerDht) {
      result = ReadDht(body, bodyLength, state);
    } else if (s.marker == kMarkerDqt) {
      result = ReadDqt(body, bodyLength, state);
    } else if (s.marker == kMarkerDri && s.length == 4) {
      state->restartInterval = (body[0] << 8) | body[1];
    }
    if (result != kOk) return kErrDecompress;
  }
  return kOk;
}

bool AcZero(const int16_t* block) {
  uint64_t words[16];
  std::memcpy(words, block, sizeof words);
  uint64_t any = words[0] & ~uint64_t{0xFFFF};
  for (int i = 1; i < 16; ++i) any |= words[i];
  return any == 0;
}

void Reconstruct(const JpegDecoderState* state, const JpegFrame& frame,
                 const Coefficients& coefficients, JpegPlanes* planes,
                 const JpegOutput& output) {
  const int32_t per = coefficients.perBlock;
  for (int32_t my = 0; my < frame.mcusHigh; ++my) {
    for (int32_t c = 0; c < frame.components; ++c) {
      const int32_t v = frame.blocksHigh[c] / frame.mcusHigh;
      const int32_t table = state->components[c].quantTable;
      const uint32_t stride = planes->stride[c];
      for (int32_t by = 0; by < v; ++by) {
        int16_t* block = coefficients.plane[c] +
                         static_cast<uint64_t>(my * v + by) * frame.blocksWide[c] * per;
        for (int32_t bx = 0; bx < frame.blocksWide[c]; ++bx, block += per) {
          if (per == 1) {
            planes->row[c][by * stride + bx] = DcSample(state, block[0], table);
            continue;
          }
          uint8_t* out = planes->row[c] + static_cast<uint64_t>(by) * 8 * stride + bx * 8;
          const uint64_t* mask = coefficients.nonzero[c];
          if (mask ? mask[(block - coefficients.plane[c]) >> 6] == 0 : AcZero(block))
            FillBlock(out, stride, DcSample(state, block[0], table));
          else
            InverseDct(state, block, table, out, stride);
        }
      }
    }
    EmitMcuRow(state, frame, *planes, my, frame.mcusWide, output);
  }
}

}  // namespace

int32_t DecodeMultiScanFrame(JpegDecoderState* state, const uint8_t* data,
                             uint32_t length, const JpegFrame& frame,
                             JpegPlanes* planes, const JpegOutput& output) {
  Coefficients coefficients{};
  coefficients.perBlock = frame.scale == 8 ? 1 : 64;
  uint64_t total = 0;
  uint64_t sizes[3] = {};
  for (int c = 0; c < frame.components; ++c) {
    sizes[c] = SizeProduct(static_cast<uint32_t>(frame.blocksWide[c]),
                           static_cast<uint32_t>(frame.blocksHigh[c]),
                           static_cast<uint32_t>(coefficients.perBlock));
    total = SizeSum(total, sizes[c]);
  }
  coefficients.memory = AllocateArray<int16_t>(total);
  if (!coefficients.memory) return kErrMemory;
  int16_t* at = coefficients.memory;
  for (int c = 0; c < frame.components; ++c) {
    coefficients.plane[c] = at;
    at += sizes[c];
  }
  if ((state->flags & kJpegProgressive) && coefficients.perBlock == 64) {
    coefficients.masks = AllocateArray<uint64_t>(total / 64);
    if (!coefficients.masks) {
      Release(coefficients.memory);
      return kErrMemory;
    }
    uint64_t* mask = coefficients.masks;
    for (int c = 0; c < frame.components; ++c) {
      coefficients.nonzero[c] = mask;
      mask += sizes[c] / 64;
    }
  }

  int32_t result = kOk;
  for (int32_t scan = 0; scan < state->scanCount && result == kOk; ++scan) {
    if (scan > 0) {
      uint32_t position = state->scanHeaders[scan];
      if (ApplySegments(state, data, scan) != kOk ||
          ReadSos(data, &position, state, length) != 0) {
        result = kErrDecompress;
        break;
      }
    }
    const int32_t kind = ClassifyScan(state);
    if (kind < 0) {
      result = kErrDecompress;
      break;
    }
    // One-eighth size needs the DC coefficients only.
    if (frame.scale == 8 && (kind == kAcFirst || kind == kAcRefine)) continue;
    const bool needDc = kind == kSequentialScan || kind == kDcFirst;
    const bool needAc = kind == kSequentialScan || kind == kAcFirst || kind == kAcRefine;
    // Progressive scans read every coefficient through the code lookups.
    result = PrepareScanTables(state, needDc, needAc,
                               kind == kSequentialScan ? SequentialAcExtras(frame.scale) : 0);
    if (result == kOk)
      result = DecodeScan(state, frame, coefficients, scan, static_cast<ScanKind>(kind));
  }
  if (result == kOk && (state->flags & kJpegIncomplete)) result = kErrDecompress;
  // What was decoded is shown only when the caller keeps partial results.
  if (result == kOk || (result == kErrDecompress && (state->flags & kFlagKeepPartial))) {
    PrepareQuantTables(state);
    Reconstruct(state, frame, coefficients, planes, output);
  }
  Release(coefficients.memory);
  Release(coefficients.masks);
  return result;
}

}  // namespace quillon
