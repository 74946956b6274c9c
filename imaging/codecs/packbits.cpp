// PackBits (TIFF compression 32773): control byte n, 0..127 = n + 1 literal
// bytes, -127..-1 = the next byte 1 - n times, -128 = no operation.
#include <algorithm>
#include <bit>
#include <cstring>

#include "imaging/codecs/codec_rows.h"
#include "imaging/codecs/codecs.h"
#include "imaging/codecs/packbits_runs.h"
#include "imaging/codecs/runlength.h"

namespace quillon {

namespace {

struct Unpacked {
  uint64_t written;
  bool overrun;  // a literal or a repeat reached past the data
};

// Unpacks one block into `capacity` bytes; runs carry on from row to row,
// and whatever would pass the end of the output is dropped.
Unpacked Unpack(const uint8_t* in, uint64_t size, uint8_t* out,
                uint64_t capacity) {
  uint64_t i = 0, o = 0;
  while (o < capacity && i < size) {
    const int8_t control = static_cast<int8_t>(in[i++]);
    if (control >= 0) {
      uint64_t length = static_cast<uint64_t>(control) + 1;
      const bool overrun = length > size - i;
      if (overrun) length = size - i;
      const uint64_t n = std::min(length, capacity - o);
      std::memcpy(out + o, in + i, n);
      o += n;
      i += length;
      if (overrun) return {o, true};
    } else if (control != -128) {
      if (i >= size) return {o, true};
      const uint64_t n = std::min<uint64_t>(1 - control, capacity - o);
      std::memset(out + o, in[i++], n);
      o += n;
    }
  }
  return {o, false};
}

// Unpacks one block row by row into `row` (rowBytes long): each full row is
// handed to `finish(y, row)`, which returns where the next row goes.  Runs
// carry on from row to row; `written` counts the bytes of every row.
template <typename Finish>
Unpacked UnpackRows(const uint8_t* in, uint64_t size, uint8_t* row, uint32_t rowBytes,
                    int32_t lines, Finish finish) {
  uint64_t i = 0;
  uint32_t o = 0;
  int32_t y = 0;
  if (rowBytes == 0) return {0, false};
  while (y < lines && i < size) {
    const int8_t control = static_cast<int8_t>(in[i++]);
    if (control == -128) continue;
    bool overrun = false;
    uint64_t length;
    const bool literal = control >= 0;
    if (literal) {
      length = static_cast<uint64_t>(control) + 1;
      overrun = length > size - i;
      if (overrun) length = size - i;
    } else {
      if (i >= size) return {uint64_t{rowBytes} * static_cast<uint32_t>(y) + o, true};
      length = static_cast<uint64_t>(1 - control);
    }
    const uint8_t* from = in + i;
    const uint8_t value = *from;
    i += literal ? length : 1;
    // Short pieces (most of a page of text) as two 8-byte moves, while 16
    // bytes of the row and of the data remain: the bytes past the piece
    // are written again by the pieces that finish the row.
    if (length <= 16 && rowBytes - o > 16 && (!literal || size - (from - in) >= 16)) {
      uint64_t a, b;
      if (literal) {
        std::memcpy(&a, from, 8);
        std::memcpy(&b, from + 8, 8);
      } else {
        a = b = value * 0x0101010101010101ull;
      }
      std::memcpy(row + o, &a, 8);
      std::memcpy(row + o + 8, &b, 8);
      o += static_cast<uint32_t>(length);
      if (overrun) return {uint64_t{rowBytes} * static_cast<uint32_t>(y) + o, true};
      continue;
    }
    while (length > 0 && y < lines) {
      const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(length, rowBytes - o));
      if (literal) {
        std::memcpy(row + o, from, n);
        from += n;
      } else {
        std::memset(row + o, value, n);
      }
      o += n;
      length -= n;
      if (o == rowBytes) {
        row = finish(y++, row);
        o = 0;
      }
    }
    if (overrun) return {uint64_t{rowBytes} * static_cast<uint32_t>(y) + o, true};
  }
  return {uint64_t{rowBytes} * static_cast<uint32_t>(y) + o, false};
}

// The portable build of the loop that makes runs.
struct PortableChanges {
  static uint64_t LowFirst(uint64_t word) { return PixelsLowFirst(word); }
  static uint64_t KeepLow(uint64_t bits, uint32_t count) { return count < 64 ? bits & ((uint64_t{1} << count) - 1) : bits; }
  static uint64_t LoadLowFirst(const uint8_t* from) {
    uint64_t word;
    std::memcpy(&word, from, 8);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    return PixelsLowFirst(word);
  }
  static void Changes(RunLineBuilder& line, uint32_t x, uint64_t changes) { line.Changes(x, changes); }
};

int32_t Failed(PageRecord* destination, int32_t result) {
  destination->data = nullptr;
  return result;
}

// Bilevel pages as run lists, each line made as its row is decoded; rows
// the data does not finish are empty.
int32_t DecodeBilevelRuns(const PageRecord* source, PageRecord* destination, int32_t flags, bool invertRuns) {
  const int32_t height = source->height;
  codec::RunListWriter runs;
  int32_t result = runs.Begin(source->width, height);
  if (result != kOk) return Failed(destination, result);
  runs.inverted = invertRuns && source->photometric == 1;
  bool overrun = false;
  int32_t done = 0;  // lines put so far, in order
  const int32_t blocks = codec::BlockCount(*source);
  for (int32_t b = 0; b < blocks && !overrun; ++b) {
    const codec::DataBlock block = codec::GetBlock(*source, b);
    for (; done < block.firstLine; ++done) runs.PutEmpty(done);
    overrun = codec::UnpackPackBitsRuns(block.bytes, block.size, runs, block.firstLine, block.lineCount, done).overrun;
  }
  if (overrun && !(flags & kFlagKeepPartial)) {
    runs.Abandon();
    return Failed(destination, kErrDecompress);
  }
  for (; done < height; ++done) runs.PutEmpty(done);
  destination->data = runs.data;
  destination->dataSize = runs.Used();
  destination->bytesPerLine = 0;
  destination->compression = kRunLists;
  if (runs.inverted) destination->photometric = 0;
  return kOk;
}

// Bilevel pages as packed rows BytesPerLine apart, the bits as stored:
// the bits past the width are set (white), the padding bytes clear, and
// rows the data does not finish white, as painting their runs would give.
int32_t DecodeBilevelRows(const PageRecord* source, PageRecord* destination, int32_t flags) {
  const int32_t width = source->width, height = source->height;
  const uint32_t rowBytes = RowBytes(width, 1), stride = BytesPerLine(width, 1);
  const uint64_t pageBytes = SizeProduct(stride, static_cast<uint32_t>(height));
  bool callers;
  uint8_t* pixels = codec::PageBuffer(*destination, flags, pageBytes, &callers);
  if (!pixels) return Failed(destination, kErrMemory);
  auto whiteFrom = [&](int32_t first, int32_t last) {  // lines [first, last)
    for (int32_t y = first; y < last; ++y)
      codec::FinishPackedLine(pixels + static_cast<uint64_t>(y) * stride, width, rowBytes, stride, false);
  };
  bool overrun = false;
  int32_t done = 0;
  const int32_t blocks = codec::BlockCount(*source);
  for (int32_t b = 0; b < blocks && !overrun; ++b) {
    const codec::DataBlock block = codec::GetBlock(*source, b);
    whiteFrom(done, block.firstLine);
    uint8_t* first = pixels + static_cast<uint64_t>(block.firstLine) * stride;
    const Unpacked u = UnpackRows(block.bytes, block.size, first, rowBytes, block.lineCount,
                                  [&](int32_t y, uint8_t* full) {
                                    codec::FinishPackedLine(full, width, rowBytes, stride, true);
                                    done = block.firstLine + y + 1;
                                    return full + stride;
                                  });
    overrun = u.overrun;
  }
  if (overrun && !(flags & kFlagKeepPartial)) {
    if (!callers) Release(pixels);
    return Failed(destination, kErrDecompress);
  }
  whiteFrom(done, height);
  destination->data = pixels;
  destination->dataSize = static_cast<uint32_t>(pageBytes);
  destination->bytesPerLine = stride;
  destination->compression = kUncompressed;
  return kOk;
}

// Pixels of 4, 8 and 24 bits in lines of RowBytes.  24-bit rows are turned
// from Red, Green, Blue to the page's Blue, Green, Red as each one is
// finished, while it is in the cache; bytes the data never reaches are 0.
int32_t DecodePixels(const PageRecord* source, PageRecord* destination, int32_t flags) {
  const int32_t width = source->width, height = source->height;
  const int bpp = source->bitsPerPixel;
  const uint32_t rowBytes = RowBytes(width, bpp);
  const uint64_t pageBytes = SizeProduct(rowBytes, static_cast<uint32_t>(height));
  bool callers;
  uint8_t* pixels = codec::PageBuffer(*destination, flags, pageBytes, &callers);
  if (!pixels) return Failed(destination, kErrMemory);
  uint8_t* row = nullptr;
  if (bpp == 24) {
    row = static_cast<uint8_t*>(AllocateUncleared(SizeSum(rowBytes, 1)));
    if (!row) {
      if (!callers) Release(pixels);
      return Failed(destination, kErrMemory);
    }
  }
  auto copySwapping = PackBitsVectorLoops() ? CopySwappingRedBlueVector : CopySwappingRedBlue;
  bool overrun = false;
  uint64_t filled = 0;  // bytes from the start of the page written so far
  const int32_t blocks = codec::BlockCount(*source);
  for (int32_t b = 0; b < blocks && !overrun; ++b) {
    const codec::DataBlock block = codec::GetBlock(*source, b);
    const uint64_t start = static_cast<uint64_t>(block.firstLine) * rowBytes;
    if (start > filled) std::memset(pixels + filled, 0, start - filled);
    uint8_t* region = pixels + start;
    Unpacked u;
    if (bpp == 24) {
      u = UnpackRows(block.bytes, block.size, row, rowBytes, block.lineCount, [&](int32_t y, uint8_t* full) {
        copySwapping(full, region + static_cast<uint64_t>(y) * rowBytes, static_cast<uint32_t>(width));
        return full;
      });
      const uint32_t partial = static_cast<uint32_t>(u.written % (rowBytes ? rowBytes : 1));
      if (partial) {  // a cut row: its missing bytes are 0
        std::memset(row + partial, 0, rowBytes - partial);
        copySwapping(row, region + (u.written - partial), static_cast<uint32_t>(width));
        u.written += rowBytes - partial;
      }
    } else {
      u = Unpack(block.bytes, block.size, region, static_cast<uint64_t>(block.lineCount) * rowBytes);
    }
    overrun = u.overrun;
    filled = start + u.written;
  }
  Release(row);
  if (overrun && !(flags & kFlagKeepPartial)) {
    if (!callers) Release(pixels);
    return Failed(destination, kErrDecompress);
  }
  if (pageBytes > filled) std::memset(pixels + filled, 0, pageBytes - filled);
  destination->data = pixels;
  destination->dataSize = static_cast<uint32_t>(pageBytes);
  destination->bytesPerLine = rowBytes;
  destination->compression = kUncompressed;
  return kOk;
}

}  // namespace

namespace codec {

RunsProgress UnpackPackBitsRuns(const uint8_t* in, uint64_t size, RunListWriter& runs, int32_t firstLine,
                                int32_t lines, int32_t& done) {
#if defined(__x86_64__)
  if (PackBitsVectorLoops()) return UnpackPackBitsRunsVector(in, size, runs, firstLine, lines, done);
#endif
  return UnpackRunsWith<PortableChanges>(in, size, runs, firstLine, lines, done);
}

}  // namespace codec

int32_t DecodePackBits(PageRecord* source, PageRecord* destination,
                       int32_t flags, bool packedRows, bool invertRuns) {
  const int32_t width = source->width, height = source->height;
  const int bpp = source->bitsPerPixel;
  if (width < 0 || height < 0) return kErrParameter;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24) return kErrParameter;
  if (bpp == 1 && width > kMaxRun) return kErrUnsupported;
  const int32_t result = bpp != 1      ? DecodePixels(source, destination, flags)
                         : packedRows ? DecodeBilevelRows(source, destination, flags)
                                      : DecodeBilevelRuns(source, destination, flags, invertRuns);
  if (result != kOk) return result;
  destination->dataOffset = 0;
  destination->dataOwnership = kOwnedByPage;
  destination->layoutFlags = kLayoutTopDown;
  return kOk;
}

uint8_t* PackBitsRow(const uint8_t* source, uint8_t* destination,
                     uint32_t count) {
  const uint8_t* s = source;
  const uint8_t* const end = source + count;
  uint8_t* d = destination;
  while (end - s >= 2) {
    const uint8_t v = *s;
    const uint8_t* r = s + 1;
    while (r < end && *r == v) ++r;
    uint32_t run = static_cast<uint32_t>(r - s);
    if (run >= 2) {
      s = r;
      for (; run > 127; run -= 128) {
        *d++ = 0x81;
        *d++ = v;
      }
      if (run == 1) {
        *d++ = 0x00;
        *d++ = v;
      } else if (run >= 2) {
        *d++ = static_cast<uint8_t>(1 - static_cast<int32_t>(run));
        *d++ = v;
      }
      continue;
    }
    // A literal stretch ends at the first byte of an equal pair, or at the
    // row's last byte; that byte is left for the next step.
    const uint8_t* last = s;
    while (last + 1 < end && last[1] != last[0]) ++last;
    uint32_t m = static_cast<uint32_t>(last - s);
    for (; m >= 128; m -= 128, s += 128) {
      *d++ = 0x7F;
      std::memcpy(d, s, 128);
      d += 128;
    }
    if (m > 0) {
      *d++ = static_cast<uint8_t>(m - 1);
      std::memcpy(d, s, m);
      d += m;
      s += m;
    }
  }
  if (s < end) {
    *d++ = 0x00;
    *d++ = *s;
  }
  return d;
}

int32_t EncodePackBits(const PageRecord* source, PageRecord* destination) {
  const int32_t width = source->width, height = source->height;
  const int bpp = source->bitsPerPixel;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24) return kErrParameter;
  if (width < 0 || height < 0) return kErrParameter;
  const uint32_t rowBytes = RowBytes(width, bpp);
  const bool bottomUp = codec::BottomLineFirst(*source);

  codec::LineSource lines;
  if (bpp == 1) {
    if (height > 0 && !source->data) return kErrParameter;
    lines.height = height;
    lines.bottomUp = bottomUp;
  } else if (!codec::MakeLineSource(*source, rowBytes, bottomUp, &lines)) {
    return kErrParameter;
  }

  // A row buffer for painted bilevel rows and for 24-bpp rows put into
  // Red, Green, Blue order (the source may lie in a read-only view).
  uint8_t* row = nullptr;
  if (bpp == 1 || bpp == 24) {
    row = static_cast<uint8_t*>(Allocate(SizeSum(rowBytes, 1)));
    if (!row) return kErrMemory;
  }
  // Most rows fit the raw size plus a control byte per 128; the buffer grows
  // for rows that expand further (up to two bytes per byte).
  const uint64_t raw = SizeProduct(rowBytes, static_cast<uint32_t>(height));
  codec::OutputBuffer out;
  if (!out.Start(SizeSum(SizeSum(raw, raw / 64), 2 * static_cast<uint64_t>(height) + 16))) {
    Release(row);
    return kErrMemory;
  }
  uint8_t** runLines = bpp == 1 ? LinePointers(*source) : nullptr;
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* line;
    if (bpp == 1) {
      int32_t stored = bottomUp ? height - 1 - y : y;
      RunsToRow(runLines[stored], width, row);
      line = row;
    } else if (bpp == 24) {
      std::memcpy(row, lines.Line(y), rowBytes);
      SwapRedBlue(row, static_cast<uint32_t>(width));
      line = row;
    } else {
      line = lines.Line(y);
    }
    if (!out.Reserve(RowCoderWorstCase(rowBytes))) {
      out.Abandon();
      Release(row);
      return kErrMemory;
    }
    out.used = static_cast<uint64_t>(PackBitsRow(line, out.End(), rowBytes) - out.data);
  }
  Release(row);
  destination->data = out.data;
  destination->dataSize = static_cast<uint32_t>(out.used);
  destination->dataOffset = 0;
  destination->dataOwnership = kOwnedByPage;
  destination->bytesPerLine = rowBytes;
  destination->layoutFlags = kLayoutTopDown;
  destination->stripCount = 0;
  destination->stripOffsets = destination->stripByteCounts = nullptr;
  return kOk;
}

}  // namespace quillon
