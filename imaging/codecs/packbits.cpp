// PackBits (TIFF compression 32773): control byte n, 0..127 = n + 1 literal
// bytes, -127..-1 = the next byte 1 - n times, -128 = no operation.
#include <algorithm>
#include <cstring>

#include "imaging/codecs/codec_rows.h"
#include "imaging/codecs/codecs.h"
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

}  // namespace

int32_t DecodePackBits(PageRecord* source, PageRecord* destination,
                       int32_t flags) {
  const int32_t width = source->width, height = source->height;
  const int bpp = source->bitsPerPixel;
  if (width < 0 || height < 0) return kErrParameter;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24) return kErrParameter;
  if (bpp == 1 && width > kMaxRun) return kErrUnsupported;
  const uint32_t rowBytes = RowBytes(width, bpp);
  const uint64_t pageBytes = SizeProduct(rowBytes, static_cast<uint32_t>(height));

  // Bilevel pages unpack into a packed page first and become run lists;
  // only the lines the data finished become runs, the rest stay empty.
  uint8_t* pixels = static_cast<uint8_t*>(Allocate(pageBytes));
  if (!pixels) return kErrMemory;

  bool overrun = false;
  uint8_t* complete = nullptr;  // 1 bpp: 1 when a line was finished
  if (bpp == 1) {
    complete = static_cast<uint8_t*>(Allocate(static_cast<uint32_t>(height) + 1));
    if (!complete) {
      Release(pixels);
      return kErrMemory;
    }
  }
  const int32_t blocks = codec::BlockCount(*source);
  for (int32_t b = 0; b < blocks && !overrun; ++b) {
    const codec::DataBlock block = codec::GetBlock(*source, b);
    uint8_t* region = pixels + static_cast<uint64_t>(block.firstLine) * rowBytes;
    const uint64_t capacity =
        static_cast<uint64_t>(block.lineCount) * rowBytes;
    const Unpacked u = Unpack(block.bytes, block.size, region, capacity);
    overrun = u.overrun;
    // Files store Red, Green, Blue; the rows are swapped while the block
    // is still in the cache.
    if (bpp == 24)
      for (int32_t y = 0; y < block.lineCount; ++y)
        SwapRedBlue(region + static_cast<uint64_t>(y) * rowBytes, static_cast<uint32_t>(width));
    if (complete) {
      const uint64_t full = rowBytes ? u.written / rowBytes : block.lineCount;
      for (uint64_t y = 0; y < full; ++y) complete[block.firstLine + y] = 1;
    }
  }
  if (overrun && !(flags & kFlagKeepPartial)) {
    Release(pixels);
    Release(complete);
    destination->data = nullptr;
    return kErrDecompress;
  }

  if (bpp == 1) {
    codec::RunListWriter runs;
    int32_t result = runs.Begin(width, height);
    if (result != kOk) {
      Release(pixels);
      Release(complete);
      destination->data = nullptr;
      return result;
    }
    for (int32_t y = 0; y < height; ++y) {
      if (complete[y])
        runs.PutRow(y, pixels + static_cast<uint64_t>(y) * rowBytes);
      else
        runs.PutEmpty(y);
    }
    Release(pixels);
    Release(complete);
    destination->data = runs.data;
    destination->dataSize = runs.Used();
    destination->bytesPerLine = 0;
    destination->compression = kRunLists;
  } else {
    destination->data = pixels;
    destination->dataSize = static_cast<uint32_t>(pageBytes);
    destination->bytesPerLine = rowBytes;
    destination->compression = kUncompressed;
  }
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
