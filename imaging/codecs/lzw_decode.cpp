// LZW decoding for TIFF strips (codes most significant bit first, the code
// width growing one code early) and GIF images (least significant bit
// first, minimum code size from the data).  Clear code 2^m, end code
// 2^m + 1, codes of at most 12 bits.
#include <algorithm>
#include <cstring>

#include "imaging/codecs/codec_rows.h"
#include "imaging/codecs/codecs.h"

namespace quillon {

namespace {

constexpr uint32_t kTableSize = 4096;
constexpr int kMaxWidth = 12;

// Every entry of the table is a string already written to the output: the
// previous code's string plus one byte, found where that string was
// written.  Copying it back replaces walking the prefix chain byte by byte.
// Roots point into a table of the byte values themselves.
struct Entry {
  const uint8_t* from;
  uint32_t length;
};
struct Dictionary {
  Entry entry[kTableSize];
};

// Root code c is the byte c (modulo 256 for minimum code sizes above 8);
// 16 spare bytes let a root be copied as a 16-byte block.
constexpr auto kRootBytes = [] {
  struct Table {
    uint8_t v[kTableSize + 16];
  } t{};
  for (uint32_t i = 0; i < kTableSize + 16; ++i) t.v[i] = static_cast<uint8_t>(i);
  return t;
}();

// Copies a string of `length` bytes in 16-byte blocks.  The bytes read past
// the string and written past its end are harmless: the string's own bytes
// all lie before `to`, and what is written after it is written again by
// the codes that follow.  The caller leaves 16 bytes of room after it.
inline void CopyBlocks(uint8_t* to, const uint8_t* from, uint32_t length) {
  uint32_t k = 0;
  do {
    uint64_t a, b;
    std::memcpy(&a, from + k, 8);
    std::memcpy(&b, from + k + 8, 8);
    std::memcpy(to + k, &a, 8);
    std::memcpy(to + k + 8, &b, 8);
    k += 16;
  } while (k < length);
}

inline uint64_t Load64Be(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return __builtin_bswap64(v);
}
inline uint64_t Load64Le(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// Codes most significant bit first.  The valid bits sit at the top of
// `bits`; a code whose bits are not all inside the block is the end of the
// data.
struct MsbReader {
  const uint8_t* p;
  const uint8_t* end;
  uint64_t bits = 0;
  int count = 0;

  bool Get(int width, uint32_t* code) {
    if (count < width) {
      if (end - p >= 8) {
        bits |= Load64Be(p) >> count;
        p += (63 - count) >> 3;
        count |= 56;
      } else {
        while (count <= 56 && p < end) {
          bits |= static_cast<uint64_t>(*p++) << (56 - count);
          count += 8;
        }
        if (count < width) return false;
      }
    }
    *code = static_cast<uint32_t>(bits >> (64 - width));
    bits <<= width;
    count -= width;
    return true;
  }
};

// Codes least significant bit first; the valid bits sit at the bottom.
struct LsbReader {
  const uint8_t* p;
  const uint8_t* end;
  uint64_t bits = 0;
  int count = 0;

  bool Get(int width, uint32_t* code) {
    if (count < width) {
      if (end - p >= 8) {
        bits |= Load64Le(p) << count;
        p += (63 - count) >> 3;
        count |= 56;
      } else {
        while (count <= 56 && p < end) {
          bits |= static_cast<uint64_t>(*p++) << count;
          count += 8;
        }
        if (count < width) return false;
      }
    }
    *code = static_cast<uint32_t>(bits) & ((1u << width) - 1);
    bits >>= width;
    count -= width;
    return true;
  }
};

struct BlockResult {
  uint64_t written;
  bool damaged;  // a code that names no string
};

// Decodes one code stream (a strip, or a GIF image) into `capacity` bytes.
// Ends at the end code, when the output is full, or at the end of the data.
// Strings move as 16-byte blocks while they fit with 16 bytes to spare;
// at the end of the output they are cut to the room left.
template <typename Reader, int kEarly>
BlockResult DecodeBlock(const uint8_t* in, uint64_t size, int minCodeSize,
                        Dictionary& d, uint8_t* out, uint64_t capacity) {
  Reader reader{in, in + size};
  const uint32_t clear = 1u << minCodeSize;
  const uint32_t endCode = clear + 1;
  for (uint32_t c = 0; c < clear; ++c) d.entry[c] = {kRootBytes.v + c, 1};
  int width = minCodeSize + 1;
  uint32_t next = clear + 2;
  uint32_t threshold = (1u << width) - kEarly;
  // Entries are added while `next` is below this: 0 right after a clear
  // code (no previous string), the table size otherwise.
  uint32_t addBelow = 0;
  const uint8_t* previous = nullptr;  // the previous code's string in the output
  uint32_t previousLength = 0;
  uint64_t pos = 0;
  uint32_t code;
  while (pos < capacity && reader.Get(width, &code)) {
    Entry e;
    bool ownFirstByte = false;  // the string ends with its own first byte
    if (code < next && code - clear >= 2) {
      if (next < addBelow) {
        // The previous string plus the first byte of this one.
        d.entry[next] = {previous, previousLength + 1};
        if (++next == threshold && width < kMaxWidth) {
          ++width;
          threshold = 2 * threshold + kEarly;
        }
      }
      e = d.entry[code];
    } else if (code == clear) {
      width = minCodeSize + 1;
      next = clear + 2;
      threshold = (1u << width) - kEarly;
      addBelow = 0;
      continue;
    } else if (code == endCode) {
      break;
    } else if (code == next && addBelow) {
      // Not yet defined: the previous string plus its own first byte.
      e = {previous, previousLength + 1};
      ownFirstByte = true;
      d.entry[next] = e;
      if (++next == threshold && width < kMaxWidth) {
        ++width;
        threshold = 2 * threshold + kEarly;
      }
    } else {
      return {pos, true};  // a code that names no string
    }
    addBelow = kTableSize;
    uint8_t* to = out + pos;
    previous = to;
    previousLength = e.length;
    if (capacity - pos >= uint64_t{e.length} + 16) {
      if (ownFirstByte) {  // its source runs up to `to`
        CopyBlocks(to, e.from, e.length - 1);
        to[e.length - 1] = e.from[0];
      } else {
        CopyBlocks(to, e.from, e.length);
      }
      pos += e.length;
    } else {  // the end of the output: the string is cut to the room left
      const uint64_t n = std::min<uint64_t>(e.length, capacity - pos);
      for (uint64_t k = 0; k < n; ++k) to[k] = e.from[k];
      pos += n;
    }
  }
  return {pos, false};
}

template <int kVariant>
BlockResult RunBlock(const uint8_t* in, uint64_t size, int minCodeSize,
                     Dictionary& d, uint8_t* out, uint64_t capacity) {
  if (kVariant == kLzwVariantTiff)
    return DecodeBlock<MsbReader, 1>(in, size, minCodeSize, d, out, capacity);
  return DecodeBlock<LsbReader, 0>(in, size, minCodeSize, d, out, capacity);
}

// GIF interlacing: the decoded lines are display lines 0, 8, 16, ..., then
// 4, 12, ..., then 2, 6, ..., then 1, 3, ....
constexpr int32_t kPasses[4][2] = {{8, 0}, {8, 4}, {4, 2}, {2, 1}};

// Calls `put(decodedLine, displayLine)` for every line in decoding order.
template <typename Put>
void ForEachLine(int32_t height, bool interlaced, Put put) {
  if (!interlaced) {
    for (int32_t y = 0; y < height; ++y) put(y, y);
    return;
  }
  int32_t k = 0;
  for (const auto& pass : kPasses)
    for (int32_t y = pass[1]; y < height; y += pass[0]) put(k++, y);
}

struct Buffers {
  Dictionary* dictionary = nullptr;
  uint8_t* pixels = nullptr;   // the decoded page (other than 1 bpp as runs)
  bool callers = false;        // pixels is the caller's buffer
  uint8_t* symbols = nullptr;  // bytes as decoded, when they need reshaping
  uint8_t* complete = nullptr;  // per decoded line: 1 once it is whole
  codec::RunListWriter runs;
  void ReleaseAll() {
    Release(dictionary);
    if (!callers) Release(pixels);
    Release(symbols);
    Release(complete);
    runs.Abandon();
    dictionary = nullptr;
    pixels = symbols = complete = nullptr;
  }
};

// One decode: the page's geometry, how its lines are laid out, and the
// buffers they go through.
struct LzwJob {
  int32_t width = 0, height = 0;
  int bpp = 0;
  bool gif = false;
  bool interlaced = false;
  int minCodeSize = 8;
  const uint8_t* gifCodes = nullptr;  // GIF: the codes after the code size
  uint64_t gifSize = 0;
  // Unpadded rows for TIFF, BytesPerLine lines for GIF.  The decoder writes
  // `symbolLine` bytes per line into a contiguous region: TIFF rows as they
  // are; GIF one byte per pixel.
  uint32_t rowBytes = 0, lineBytes = 0, symbolLine = 0;
  uint64_t pageBytes = 0, symbolBytes = 0;
  bool direct = false;  // decoded straight into the page's lines
  bool packedRows = false;  // TIFF bilevel pages as packed rows, not runs
  bool fixRows = false;     // TIFF colour: predictor and colour order per block
  bool predictor = false;
  Buffers b;
};

int32_t Fail(Buffers& b, PageRecord* destination, int32_t result) {
  b.ReleaseAll();
  destination->data = nullptr;
  return result;
}

// The variants this decoder takes and the layout of their lines; nothing
// is allocated yet.
int32_t Plan(const PageRecord* source, int variant, bool packedRows, LzwJob& job) {
  job.width = source->width;
  job.height = source->height;
  job.bpp = source->bitsPerPixel;
  job.gif = variant == kLzwVariantGif;
  const int bpp = job.bpp;
  if (job.width < 0 || job.height < 0) return kErrParameter;
  if (bpp != 1 && bpp != 4 && bpp != 8 && (job.gif || bpp != 24)) return kErrParameter;
  if (bpp == 1 && job.width > kMaxRun) return kErrUnsupported;
  // Horizontal differencing is defined on whole bytes of 8-bit samples.
  if (!job.gif && (source->layoutFlags & kLayoutPredictor) && bpp != 8 && bpp != 24)
    return kErrUnsupported;

  // GIF data: the descriptor's packed byte, the minimum code size, codes.
  if (job.gif) {
    if (source->dataSize < 2) return kErrDecompress;
    const uint8_t* in = source->data + source->dataOffset;
    job.interlaced = (in[0] & 0x40) != 0;
    job.minCodeSize = in[1];
    if (job.minCodeSize < 2 || job.minCodeSize > 11) return kErrDecompress;
    job.gifCodes = in + 2;
    job.gifSize = source->dataSize - 2;
  }
  job.packedRows = packedRows && bpp == 1 && !job.gif;
  job.predictor = !job.gif && (source->layoutFlags & kLayoutPredictor) != 0;
  job.fixRows = !job.gif && (bpp == 24 || (bpp == 8 && job.predictor));
  job.rowBytes = RowBytes(job.width, bpp);
  job.lineBytes = job.gif || job.packedRows ? BytesPerLine(job.width, bpp) : job.rowBytes;
  if (job.lineBytes < job.rowBytes) return kErrUnsupported;  // no countable line
  job.symbolLine = job.gif ? static_cast<uint32_t>(job.width) : job.rowBytes;
  job.pageBytes = SizeProduct(job.lineBytes, static_cast<uint32_t>(job.height));
  job.symbolBytes = SizeProduct(job.symbolLine, static_cast<uint32_t>(job.height));
  job.direct = (bpp != 1 || job.packedRows) && !job.interlaced && job.symbolLine == job.lineBytes;
  return kOk;
}

int32_t AllocateBuffers(LzwJob& job, const PageRecord* destination, int32_t flags) {
  Buffers& b = job.b;
  b.dictionary = static_cast<Dictionary*>(AllocateUncleared(sizeof(Dictionary)));
  if (!b.dictionary) return kErrMemory;
  if (job.packedRows || (job.direct && !job.gif)) {
    // Packed rows are written whole by FinishLines, and DecodeBlocks clears
    // whatever the data leaves of lines decoded straight into the page: the
    // caller's buffer will do (a caller converting page after page keeps
    // its pages warm), and a new one need not be cleared first.
    b.pixels = codec::PageBuffer(*destination, flags, job.pageBytes, &b.callers);
    if (!b.pixels) return kErrMemory;
  } else if (job.bpp == 1) {
    int32_t result = b.runs.Begin(job.width, job.height);
    if (result != kOk) return result;
  } else {
    b.pixels = static_cast<uint8_t*>(Allocate(job.pageBytes));
    if (!b.pixels) return kErrMemory;
  }
  if (!job.direct) {
    b.symbols = static_cast<uint8_t*>(Allocate(job.symbolBytes));
    if (!b.symbols) return kErrMemory;
  }
  b.complete = static_cast<uint8_t*>(Allocate(static_cast<uint32_t>(job.height) + 1));
  return b.complete ? kOk : kErrMemory;
}

// TIFF colour rows as the page holds them: horizontal differencing undone
// (every sample from the second pixel on plus the same sample of its left
// neighbour, modulo 256) and 24-bit pixels turned to Blue, Green, Red, in
// one pass over a block just decoded, while it is in the cache.  Lines the
// data did not reach are zero and stay zero.
void FixRows(uint8_t* rows, uint32_t rowBytes, int32_t count, int bpp, bool predictor) {
  for (int32_t y = 0; y < count; ++y) {
    uint8_t* row = rows + static_cast<uint64_t>(y) * rowBytes;
    if (bpp == 8) {
      UndoRowDifferencing(row, rowBytes, 1);
    } else if (!predictor) {
      SwapRedBlue(row, rowBytes / 3);
    } else {
      UndoDifferencingToBgr(row, rowBytes);
    }
  }
}

// Every block (the GIF image, or each TIFF strip) into the region; the
// lines completed are counted per block, as a strip always starts at its
// own first line.  False when a block was damaged.
bool DecodeBlocks(const PageRecord& source, LzwJob& job, int64_t* linesDone) {
  uint8_t* const region = job.direct ? job.b.pixels : job.b.symbols;
  const bool clear = job.direct && !job.gif;  // the page's bytes the data leaves are 0
  uint64_t filled = 0;
  const int32_t blocks = job.gif ? (job.height > 0 ? 1 : 0) : codec::BlockCount(source);
  bool whole = true;
  for (int32_t k = 0; k < blocks && whole; ++k) {
    codec::DataBlock block;
    if (job.gif) {
      block.bytes = job.gifCodes;
      block.size = job.gifSize;
      block.lineCount = job.height;
    } else {
      block = codec::GetBlock(source, k);
    }
    uint8_t* out = region + static_cast<uint64_t>(block.firstLine) * job.symbolLine;
    const uint64_t capacity = static_cast<uint64_t>(block.lineCount) * job.symbolLine;
    const BlockResult r =
        job.gif ? RunBlock<kLzwVariantGif>(block.bytes, block.size, job.minCodeSize, *job.b.dictionary, out,
                                           capacity)
                : RunBlock<kLzwVariantTiff>(block.bytes, block.size, job.minCodeSize, *job.b.dictionary, out,
                                            capacity);
    if (clear) {
      const uint64_t start = static_cast<uint64_t>(block.firstLine) * job.symbolLine;
      if (start > filled) std::memset(region + filled, 0, start - filled);
      std::memset(out + r.written, 0, capacity - r.written);
      filled = start + capacity;
    }
    const uint64_t full = job.symbolLine ? r.written / job.symbolLine : block.lineCount;
    for (uint64_t y = 0; y < full; ++y) job.b.complete[block.firstLine + y] = 1;
    if (job.fixRows)
      FixRows(out, job.rowBytes, block.lineCount, job.bpp, job.predictor);
    *linesDone += static_cast<int64_t>(full);
    whole = !r.damaged;
  }
  if (clear && job.pageBytes > filled) std::memset(region + filled, 0, job.pageBytes - filled);
  return whole;
}

// The decoded lines into their final form and place: run lists for 1 bpp,
// GIF lines out of their interlaced order, 4-bit pixels packed.
int32_t FinishLines(LzwJob& job) {
  Buffers& b = job.b;
  const uint32_t w = static_cast<uint32_t>(job.width);
  if (job.packedRows) {
    // The bits as stored.
    for (int32_t y = 0; y < job.height; ++y) {
      uint8_t* line = b.pixels + static_cast<uint64_t>(y) * job.lineBytes;
      if (b.complete[y] && !job.direct)
        std::memcpy(line, b.symbols + static_cast<uint64_t>(y) * job.rowBytes, job.rowBytes);
      codec::FinishPackedLine(line, job.width, job.rowBytes, job.lineBytes, b.complete[y] != 0);
    }
  } else if (job.bpp == 1 && !job.gif) {
    for (int32_t y = 0; y < job.height; ++y) {
      if (b.complete[y])
        b.runs.PutRow(y, b.symbols + static_cast<uint64_t>(y) * job.rowBytes);
      else
        b.runs.PutEmpty(y);
    }
  } else if (job.bpp == 1) {
    // One byte per pixel: 0 is a clear (black) bit of the packed row.
    uint8_t* row = static_cast<uint8_t*>(Allocate(SizeSum(job.rowBytes, 1)));
    if (!row) return kErrMemory;
    ForEachLine(job.height, job.interlaced, [&](int32_t k, int32_t y) {
      if (!b.complete[k]) {
        b.runs.PutEmpty(y);
        return;
      }
      const uint8_t* pixel = b.symbols + static_cast<uint64_t>(k) * w;
      for (uint32_t x = 0; x < w; x += 8) {
        const uint32_t n = std::min<uint32_t>(8, w - x);
        uint8_t bits = static_cast<uint8_t>(0xFF >> n);
        for (uint32_t j = 0; j < n; ++j)
          if (pixel[x + j]) bits |= static_cast<uint8_t>(0x80 >> j);
        row[x >> 3] = bits;
      }
      b.runs.PutRow(y, row);
    });
    Release(row);
  } else if (!job.direct) {
    ForEachLine(job.height, job.interlaced, [&](int32_t k, int32_t y) {
      const uint8_t* from = b.symbols + static_cast<uint64_t>(k) * job.symbolLine;
      uint8_t* to = b.pixels + static_cast<uint64_t>(y) * job.lineBytes;
      if (job.bpp == 4) {
        for (uint32_t x = 0; x + 1 < w; x += 2)
          to[x >> 1] = static_cast<uint8_t>((from[x] << 4) | (from[x + 1] & 0x0F));
        if (w & 1) to[w >> 1] = static_cast<uint8_t>(from[w - 1] << 4);
      } else {
        std::memcpy(to, from, job.symbolLine);
      }
    });
  }
  return kOk;
}

// The finished page becomes the destination's: its buffer, form and, for
// TIFF colour, pixels undifferenced and turned to Blue, Green, Red.
void HandOver(const PageRecord& source, LzwJob& job, PageRecord* destination) {
  if (job.bpp == 1) {
    if (job.packedRows) {
      destination->data = job.b.pixels;
      destination->dataSize = static_cast<uint32_t>(job.pageBytes);
      destination->bytesPerLine = job.lineBytes;
      destination->compression = kUncompressed;
    } else {
      destination->data = job.b.runs.data;
      destination->dataSize = job.b.runs.Used();
      destination->bytesPerLine = 0;
      destination->compression = kRunLists;
    }
    // TIFF bilevel data is decoded as stored: BlackIsZero rows are already
    // white-is-one, WhiteIsZero rows still need inverting.
    if (!job.gif && (source.photometric == 0 || source.photometric == 1))
      destination->photometric = static_cast<int8_t>(job.b.runs.inverted ? 0 : 1 - source.photometric);
  } else {
    destination->data = job.b.pixels;
    destination->dataSize = static_cast<uint32_t>(job.pageBytes);
    destination->bytesPerLine = job.lineBytes;
    destination->compression = kUncompressed;
  }
  destination->dataOffset = 0;
  destination->dataOwnership = kOwnedByPage;
  destination->layoutFlags = kLayoutTopDown;
}

}  // namespace

int32_t DecodeLzw(PageRecord* source, PageRecord* destination, int variant,
                  int32_t flags, bool packedRows, bool invertRuns) {
  LzwJob job;
  if (int32_t r = Plan(source, variant, packedRows, job); r != kOk) return r;
  if (int32_t r = AllocateBuffers(job, destination, flags); r != kOk) return Fail(job.b, destination, r);
  // WhiteIsZero TIFF rows are inverted as they become runs.
  job.b.runs.inverted = invertRuns && !job.gif && !job.packedRows && source->photometric == 0;
  int64_t linesDone = 0;
  const bool whole = DecodeBlocks(*source, job, &linesDone);
  // A page one line short is accepted.
  if ((!whole || linesDone < int64_t{job.height} - 1) && !(flags & kFlagKeepPartial))
    return Fail(job.b, destination, kErrDecompress);
  Release(job.b.dictionary);
  job.b.dictionary = nullptr;
  if (int32_t r = FinishLines(job); r != kOk) return Fail(job.b, destination, r);
  Release(job.b.complete);
  Release(job.b.symbols);
  job.b.complete = job.b.symbols = nullptr;
  HandOver(*source, job, destination);
  return kOk;
}

}  // namespace quillon
