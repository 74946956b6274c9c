// The fax page driver, line repair, fill-order normalisation, and the two
// one-dimensional decoders: Modified Huffman (TIFF compression 2) and G3
// 1-D (T.4 one-dimensional coding, an EOL before every line).
#include "imaging/codecs/fax_decode.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "imaging/codecs/codec_rows.h"
#include "imaging/codecs/codecs.h"
#include "imaging/codecs/fax.h"
#include "imaging/core/runlist.h"

namespace quillon {

// ---------------------------------------------------------------------------
// Lines

int32_t FaxFinishLine(int32_t* e, int32_t k, int32_t extent, int32_t width,
                      bool dirty) {
  if (dirty) {
    // A zero-length run joins the runs on either side of it: equal
    // neighbouring elements cancel (the first element may be 0, a line
    // that starts black).
    int32_t n = 0;
    for (int32_t i = 0; i < k; ++i) {
      if (n > 0 && e[n - 1] == e[i])
        --n;
      else
        e[n++] = e[i];
    }
    k = n;
  }
  if (k == 0 || e[k - 1] < width) {
    if (k & 1) {
      // A black run is open: it ends where the decoded pixels end.
      if (extent > e[k - 1])
        e[k++] = extent < width ? extent : width;
      else
        --k;
    }
    // What is left of a short line is white.
    if (k == 0 || e[k - 1] < width) e[k++] = width;
  }
  for (int32_t i = 0; i < kFaxClosingEntries; ++i) e[k + i] = width;
  return k;
}

bool FaxGrowOutput(FaxDecodeState& s) {
  if (s.outOfMemory) return false;
  uint8_t* const old = reinterpret_cast<uint8_t*>(s.lines);
  const uint64_t used = static_cast<uint64_t>(s.out - old);
  const uint64_t capacity = static_cast<uint64_t>(s.end - old);
  // Doubling keeps the copies cheap; the worst case of the whole page is
  // never needed, as every line takes at most lineRoom bytes.
  const uint64_t grown = std::max(SizeProduct(capacity, 2), SizeSum(used, s.lineRoom));
  uint8_t* bigger = static_cast<uint8_t*>(Allocate(grown));
  if (!bigger) {
    s.outOfMemory = true;
    return false;
  }
  std::memcpy(bigger, old, used);
  uint8_t** lines = reinterpret_cast<uint8_t**>(bigger);
  for (int32_t y = 0; y < s.y; ++y) lines[y] = bigger + (lines[y] - old);
  Release(old);
  s.lines = lines;
  s.out = bigger + used;
  s.end = bigger + grown;
  return true;
}

void FaxWhiteElements(int32_t* e, int32_t width) {
  for (int32_t i = 0; i <= kFaxClosingEntries; ++i) e[i] = width;
}

void FaxWriteWhiteLine(FaxDecodeState& s) {
  if (s.rows) {
    const uint32_t rowBytes = RowBytes(s.width, 1);
    codec::FinishPackedLine(s.rows + static_cast<uint64_t>(s.y++) * s.stride, s.width, rowBytes, s.stride,
                            false);
    return;
  }
  const int32_t white[1] = {s.width};
  FaxWriteLine(s, white, 1);
}

// The black runs, between elements 2i and 2i + 1, are set in a row of
// words (1 = black) as masks; the word being filled stays in a register,
// and runs over whole words fill them.  The words are then stored inverted,
// a word at a time.
void FaxPaintLine(FaxDecodeState& s, const int32_t* e, int32_t k) {
  const int32_t width = s.width;
  const uint32_t rowBytes = RowBytes(width, 1);
  const uint32_t words = (rowBytes + 7) / 8;
  uint64_t* black = s.black;
  std::memset(black, 0, (static_cast<uint32_t>(width) / 64 + 1) * sizeof(uint64_t));
  uint64_t held = 0;
  uint32_t heldWord = 0;
  constexpr uint64_t kAll = ~uint64_t{0};
  for (int32_t i = 0; i + 1 < k; i += 2) {
    const uint32_t from = static_cast<uint32_t>(e[i]), to = static_cast<uint32_t>(e[i + 1]);  // 0..width
    if ((from >> 6) != heldWord) {
      black[heldWord] = held;
      heldWord = from >> 6;
      held = 0;
    }
    held |= kAll >> (from & 63);
    if ((to >> 6) != heldWord) {
      black[heldWord] = held;
      for (uint32_t w = heldWord + 1; w < to >> 6; ++w) black[w] = kAll;
      heldWord = to >> 6;
      held = kAll;
    }
    held &= ~(kAll >> (to & 63));
  }
  black[heldWord] = held;
  uint8_t* const row = s.rows + static_cast<uint64_t>(s.y++) * s.stride;
  for (uint32_t w = 0; w < words; ++w) {
    const uint64_t pixels = ~black[w];
    const uint32_t left = rowBytes - 8 * w;
    if (left >= 8) {
      uint64_t stored = pixels;
      if constexpr (std::endian::native == std::endian::little) stored = __builtin_bswap64(stored);
      std::memcpy(row + 8 * w, &stored, 8);
    } else {
      for (uint32_t i = 0; i < left; ++i) row[8 * w + i] = static_cast<uint8_t>(pixels >> (56 - 8 * i));
    }
  }
  codec::FinishPackedLine(row, width, rowBytes, s.stride, true);
}

int32_t FaxDecodeRuns(FaxBitReader& reader, int32_t width, int32_t* e,
                      int32_t& k, int32_t& pos, bool& dirty) {
  FaxBitReader r = reader;  // positions kept in locals
  int32_t* pk = e;
  int32_t at = 0;
  bool zeroRun = false;
  int32_t stop = 0;
  for (;;) {
    FaxFill(r);
    if (r.zeros == 0) {
      // Far from the end: a white and a black terminating code that fit in
      // 12 bits come from one lookup.
      const FaxPairEntry pair = kWhiteBlackPairTable[FaxPeek16(r) >> 4];
      const int32_t end = at + pair.first + pair.second;
      if (pair.length != 0 && end < width) {
        // A zero-length run inside the line marks it for repair.  A pair
        // is never two empty runs, so every pair moves the position.
        zeroRun |= (pair.first == 0 && pk > e) || pair.second == 0;
        pk[0] = at + pair.first;
        pk[1] = end;
        pk += 2;
        at = end;
        FaxSkip(r, pair.length);
        if (pk - e > width) {
          stop = kFaxInvalid;
          break;
        }
        continue;
      }
    } else if (!FaxDataLeft(r)) {
      stop = kFaxOutOfData;
      break;
    }
    int32_t run = FaxWhiteRun(r);
    if (r.zeros != 0 && FaxOverrun(r)) {
      stop = kFaxOutOfData;
      break;
    }
    if (run < 0) {
      stop = run;
      break;
    }
    if (run == 0 && pk > e) zeroRun = true;
    at += run;
    if (at >= width) {
      at = width;
      *pk++ = width;
      break;
    }
    *pk++ = at;

    if (r.zeros != 0 && !FaxDataLeft(r)) {
      stop = kFaxOutOfData;
      break;
    }
    run = FaxBlackRun(r);
    if (r.zeros != 0 && FaxOverrun(r)) {
      stop = kFaxOutOfData;
      break;
    }
    if (run < 0) {
      stop = run;
      break;
    }
    if (run == 0) zeroRun = true;
    at += run;
    if (at >= width) {
      at = width;
      *pk++ = width;
      break;
    }
    *pk++ = at;
    // Zero-length runs do not move the position; a line cannot hold more
    // changes than pixels.
    if (pk - e > width) {
      stop = kFaxInvalid;
      break;
    }
  }
  reader = r;
  k = static_cast<int32_t>(pk - e);
  pos = at;
  dirty = zeroRun;
  return stop;
}

// ---------------------------------------------------------------------------
// Modified Huffman: one-dimensional codes, no EOL, every line byte aligned.

FaxBlockEnd DecodeMhBlock(FaxDecodeState& s, FaxBitReader& r,
                          int32_t lineCount) {
  int32_t* e = s.current;
  for (int32_t line = 0; line < lineCount; ++line) {
    if (!FaxDataLeft(r)) return FaxBlockEnd::kOutOfData;
    int32_t k, pos;
    bool dirty;
    if (FaxDecodeRuns(r, s.width, e, k, pos, dirty) != 0)
      return FaxBlockEnd::kDamaged;
    FaxAlignToByte(r);
    k = FaxFinishLine(e, k, s.width, s.width, dirty);
    FaxPutLine(s, e, k);
  }
  return FaxBlockEnd::kAllLines;
}

// ---------------------------------------------------------------------------
// G3 1-D

namespace {

// Moves past the next EOL: eleven or more zero bits and a one.  Fill bits
// and whatever garbage precedes it are skipped.  False when the data ends
// first.
bool FaxSkipToEol(FaxBitReader& r) {
  int32_t zeros = 0;
  for (;;) {
    if (!FaxDataLeft(r)) return false;
    FaxFill(r);
    if (r.bits >> 63) {
      FaxSkip(r, 1);
      if (zeros >= 11) return !FaxOverrun(r);
      zeros = 0;
    } else {
      // At least 32 bits are held, so the top 32 are the stream's own.
      int32_t n = __builtin_clzll(r.bits | (uint64_t{1} << 32));
      zeros = zeros + n < 12 ? zeros + n : 12;
      FaxSkip(r, n);
    }
  }
}

}  // namespace

FaxBlockEnd DecodeG3OneDBlock(FaxDecodeState& s, FaxBitReader& r,
                              int32_t lineCount) {
  int32_t* e = s.current;
  bool eolTaken = false;  // the EOL that starts this line ended the last one
  for (int32_t line = 0; line < lineCount; ++line) {
    if (!eolTaken && !FaxSkipToEol(r)) return FaxBlockEnd::kOutOfData;
    eolTaken = false;
    int32_t k, pos;
    bool dirty;
    const int32_t stop = FaxDecodeRuns(r, s.width, e, k, pos, dirty);
    // A line cut short by EOL, or by the end of the data, is kept and
    // padded with white; the EOL begins the next line.
    if (stop == kFaxEol) eolTaken = true;
    k = FaxFinishLine(e, k, pos, s.width, dirty);
    FaxPutLine(s, e, k);
    if (stop == kFaxInvalid || stop == kFaxExtension1D)
      return FaxBlockEnd::kDamaged;
  }
  return FaxBlockEnd::kAllLines;
}

// ---------------------------------------------------------------------------
// The page driver

int32_t DecodeFaxPage(PageRecord* source, PageRecord* destination,
                      int32_t flags, FaxBlockDecoder decodeBlock,
                      FaxShortBlock shortBlock, bool packedRows) {
  const int32_t width = source->width, height = source->height;
  if (width < 0 || height < 0 || width > kMaxRun) {
    destination->data = nullptr;
    return kErrUnsupported;
  }
  int32_t result = NormalizeFillOrder(source);
  if (result != kOk) {
    destination->data = nullptr;
    return result;
  }

  // Run lists start at a size guessed from the coded size (at most the
  // worst case of the run-list form) and grow when a line might not fit; a
  // bitmap has its size.
  const uint64_t table = static_cast<uint64_t>(height) * sizeof(uint8_t*);
  const uint32_t lineRoom = static_cast<uint32_t>(RunLineWorstCase(width)) + 4;
  const uint64_t guess = SizeSum(SizeSum(table, SizeProduct(source->dataSize, 4)),
                                 SizeSum(SizeProduct(height, 8), lineRoom));
  const uint64_t capacity = std::min(guess, SizeSum(RunListWorstCase(width, height), 4));
  const uint32_t stride = BytesPerLine(width, 1);
  const uint64_t pageBytes = SizeProduct(stride, static_cast<uint32_t>(height));
  bool callers = false;
  uint8_t* buffer = packedRows ? codec::PageBuffer(*destination, flags, pageBytes, &callers)
                               : static_cast<uint8_t*>(Allocate(capacity));
  const uint64_t elementCount = FaxElementCapacity(width);
  // Each element array starts after an entry of -1, left of every
  // position, which the two-dimensional decoder's scans may read.
  int32_t* elements = AllocateArray<int32_t>(2 * elementCount + 2);
  uint64_t* black = packedRows ? AllocateArray<uint64_t>(static_cast<uint32_t>(width) / 64 + 1) : nullptr;
  if (!buffer || !elements || (packedRows && !black)) {
    if (!callers) Release(buffer);
    Release(elements);
    Release(black);
    destination->data = nullptr;
    return kErrMemory;
  }
  FaxDecodeState s{};
  s.width = width;
  s.height = height;
  if (packedRows) {
    s.rows = buffer;
    s.stride = stride;
    s.black = black;
  } else {
    s.lines = reinterpret_cast<uint8_t**>(buffer);
    s.out = buffer + table;
    s.end = buffer + capacity;
    s.lineRoom = lineRoom;
  }
  elements[0] = elements[elementCount + 1] = -1;
  s.current = elements + 1;
  s.reference = elements + elementCount + 2;

  const bool striped = source->stripCount >= 2 && source->stripOffsets &&
                       source->stripByteCounts;
  const int32_t linesPerBlock =
      striped && source->rowsPerStrip > 0 ? source->rowsPerStrip : height;
  bool damaged = false;
  // A page of width 0 has nothing coded worth reading.
  for (int32_t block = 0; s.y < height && width > 0; ++block) {
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if (striped) {
      if (block < source->stripCount) {
        data = source->data + source->stripOffsets[block];
        size = source->stripByteCounts[block];
      }
    } else if (block == 0) {
      data = source->data + source->dataOffset;
      size = source->dataSize;
    }
    const int32_t lineCount =
        linesPerBlock < height - s.y ? linesPerBlock : height - s.y;
    const int32_t blockEnd = s.y + lineCount;
    FaxBitReader r;
    FaxStart(r, data, size);
    // Every block starts byte aligned with an all-white reference line.
    FaxWhiteElements(s.reference, width);
    s.referenceCount = 1;
    const FaxBlockEnd end = decodeBlock(s, r, lineCount);
    if (s.outOfMemory || end == FaxBlockEnd::kPageEnd) break;
    if (end == FaxBlockEnd::kDamaged ||
        (end == FaxBlockEnd::kOutOfData && shortBlock == FaxShortBlock::kDamaged)) {
      damaged = true;
      break;
    }
    while (s.y < blockEnd && !s.outOfMemory) FaxWriteWhiteLine(s);
  }
  Release(elements);
  Release(black);
  const bool failed = damaged && !(flags & kFlagKeepPartial);
  // Lines never reached are white; three zero bytes close run lists.
  while (!failed && s.y < height && !s.outOfMemory) FaxWriteWhiteLine(s);
  uint8_t* const output = packedRows ? buffer : reinterpret_cast<uint8_t*>(s.lines);
  if (s.outOfMemory || failed) {
    if (!callers) Release(output);
    destination->data = nullptr;
    return s.outOfMemory ? kErrMemory : kErrDecompress;
  }
  if (packedRows) {
    destination->dataSize = static_cast<uint32_t>(pageBytes);
    destination->compression = kUncompressed;
  } else {
    s.out[0] = s.out[1] = s.out[2] = 0;
    s.out += 3;
    destination->dataSize = static_cast<uint32_t>(s.out - output);
    destination->compression = kRunLists;
  }
  destination->data = output;
  destination->dataOffset = 0;
  destination->dataOwnership = kOwnedByPage;
  destination->bitsPerPixel = 1;
  destination->bytesPerLine = stride;
  destination->layoutFlags = kLayoutTopDown;
  destination->fillOrderReversed = 0;
  return kOk;
}

// ---------------------------------------------------------------------------
// Fill order

int32_t NormalizeFillOrder(PageRecord* page) {
  if (!page->fillOrderReversed) return kOk;
  const bool striped = page->stripCount >= 2 && page->stripOffsets &&
                       page->stripByteCounts;
  if (page->data && page->dataOwnership == kOwnedByPage) {
    if (striped) {
      for (int32_t i = 0; i < page->stripCount; ++i) {
        uint8_t* strip = page->data + page->stripOffsets[i];
        ReverseBits(strip, strip, page->stripByteCounts[i]);
      }
    } else {
      uint8_t* bytes = page->data + page->dataOffset;
      ReverseBits(bytes, bytes, page->dataSize);
    }
  } else if (page->data) {
    // Data in the file's view is never written: reverse into a copy, the
    // strips packed one after another.
    uint64_t total = page->dataSize;
    if (striped) {
      total = 0;
      for (int32_t i = 0; i < page->stripCount; ++i)
        total = SizeSum(total, page->stripByteCounts[i]);
    }
    if (total > UINT32_MAX) return kErrMemory;
    uint8_t* copy = static_cast<uint8_t*>(Allocate(total ? total : 1));
    if (!copy) return kErrMemory;
    if (striped) {
      uint32_t at = 0;
      for (int32_t i = 0; i < page->stripCount; ++i) {
        ReverseBits(page->data + page->stripOffsets[i], copy + at,
                    page->stripByteCounts[i]);
        page->stripOffsets[i] = at;
        at += page->stripByteCounts[i];
      }
    } else {
      ReverseBits(page->data + page->dataOffset, copy, page->dataSize);
      page->dataOffset = 0;
    }
    page->data = copy;
    page->dataSize = static_cast<uint32_t>(total);
    page->dataOwnership = kOwnedByPage;
  }
  page->fillOrderReversed = 0;
  return kOk;
}

// ---------------------------------------------------------------------------
// Entry points

int32_t DecodeModifiedHuffman(PageRecord* source, PageRecord* destination,
                              int32_t flags, bool packedRows) {
  return DecodeFaxPage(source, destination, flags, DecodeMhBlock,
                       FaxShortBlock::kBlankRest, packedRows);
}

int32_t DecodeG3OneD(PageRecord* source, PageRecord* destination,
                     int32_t flags, bool packedRows) {
  return DecodeFaxPage(source, destination, flags, DecodeG3OneDBlock,
                       FaxShortBlock::kBlankRest, packedRows);
}

namespace {

int16_t DecodeRunAt(const uint8_t* data, uint32_t size, uint32_t* byteIndex,
                    int32_t* bitIndex, bool white) {
  const uint32_t at = *byteIndex;
  const int32_t bit = *bitIndex & 7;
  FaxBitReader r;
  FaxStart(r, at < size ? data + at : nullptr, at < size ? size - at : 0);
  FaxSkip(r, bit);
  const int32_t run = white ? FaxWhiteRun(r) : FaxBlackRun(r);
  const uint64_t position = static_cast<uint64_t>(at) * 8 + FaxBitPosition(r);
  *byteIndex = static_cast<uint32_t>(position / 8);
  *bitIndex = static_cast<int32_t>(position % 8);
  return static_cast<int16_t>(run > kMaxRun ? kMaxRun : run);
}

}  // namespace

int16_t DecodeWhiteRun(const uint8_t* data, uint32_t size, uint32_t* byteIndex,
                       int32_t* bitIndex) {
  return DecodeRunAt(data, size, byteIndex, bitIndex, true);
}

int16_t DecodeBlackRun(const uint8_t* data, uint32_t size, uint32_t* byteIndex,
                       int32_t* bitIndex) {
  return DecodeRunAt(data, size, byteIndex, bitIndex, false);
}

}  // namespace quillon
