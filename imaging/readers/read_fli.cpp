// FLI/FLC animation frames.  Each frame is a list of chunks that change the
// previous frame, so a frame is decoded on top of the one before it, in the
// record that holds it: the record keeps the 8-bit frame buffer and the
// palette from frame to frame.  The file position of every frame is kept in
// the file's page table, which the first extraction fills.
#include <algorithm>
#include <cstring>

#include "imaging/readers/readers.h"

namespace quillon {

namespace {

constexpr uint64_t kFileHeader = 128;
constexpr uint64_t kFrameHeader = 16;
constexpr uint64_t kChunkHeader = 6;
constexpr uint32_t kPrefixChunk = 0xF100;

enum ChunkType : uint32_t {
  kColour256 = 4,
  kWordDelta = 7,
  kColour64 = 11,
  kByteDelta = 12,
  kBlack = 13,
  kByteRun = 15,
  kCopy = 16,
};

// The frame buffer being drawn into.  Every store is clipped to the frame.
struct Frame {
  uint8_t* pixels;
  uint32_t stride;
  uint32_t width;
  uint32_t height;
  uint8_t* palette;

  void Put(uint64_t x, uint64_t y, uint8_t v) {
    if (x < width && y < height) pixels[y * stride + x] = v;
  }
};

// Palette chunks: packets of (skip, count) replacing entries from red,
// green, blue triplets; a count of 0 means 256.  64-level values are
// scaled by 4.
void Colours(const Bytes& c, Frame& frame, int scale) {
  const uint32_t packets = c.LE16(0);
  uint64_t at = 2;
  uint32_t entry = 0;
  for (uint32_t p = 0; p < packets && c.Has(at, 2); ++p) {
    entry += c.U8(at);
    uint32_t count = c.U8(at + 1);
    if (count == 0) count = 256;
    at += 2;
    for (uint32_t i = 0; i < count; ++i, ++entry, at += 3) {
      if (entry >= 256 || !c.Has(at, 3)) return;
      uint8_t* e = frame.palette + 3 * entry;
      e[2] = static_cast<uint8_t>(c.U8(at) * scale);
      e[1] = static_cast<uint8_t>(c.U8(at + 1) * scale);
      e[0] = static_cast<uint8_t>(c.U8(at + 2) * scale);
    }
  }
}

// Byte delta: first line, line count, then per line a packet count and
// packets of (column skip, signed count): a positive count copies that
// many bytes, a negative one repeats the next byte.
void ByteDelta(const Bytes& c, Frame& frame) {
  const uint64_t first = c.LE16(0), lines = c.LE16(2);
  if (first + lines > frame.height) return;
  uint64_t at = 4;
  for (uint64_t y = first; y < first + lines; ++y) {
    if (!c.Has(at, 1)) return;
    const uint32_t packets = c.U8(at++);
    uint64_t x = 0;
    for (uint32_t p = 0; p < packets; ++p) {
      if (!c.Has(at, 2)) return;
      x += c.U8(at);
      const int count = static_cast<int8_t>(c.U8(at + 1));
      at += 2;
      if (count >= 0) {
        for (int i = 0; i < count; ++i, ++x, ++at) {
          if (!c.Has(at, 1)) return;
          frame.Put(x, y, c.U8(at));
        }
      } else {
        if (!c.Has(at, 1)) return;
        const uint8_t v = c.U8(at++);
        for (int i = 0; i < -count; ++i, ++x) frame.Put(x, y, v);
      }
    }
  }
}

// Word delta: the published count of lines that carry packets.  Before a
// line's packet count come optional words whose top bits say more: 11 =
// skip that many lines (the negated value), 10 = the low byte is the
// line's last pixel.  Packets are (column skip, signed count) over pixel
// pairs: a positive count copies that many pairs, a negative one repeats
// the next pair.
void WordDelta(const Bytes& c, Frame& frame) {
  const uint32_t lines = c.LE16(0);
  uint64_t at = 2;
  uint64_t y = 0;
  for (uint32_t line = 0; line < lines; ++line) {
    uint32_t packets = 0;
    int lastPixel = -1;
    for (;;) {
      if (!c.Has(at, 2)) return;
      const uint32_t word = c.LE16(at);
      at += 2;
      const uint32_t kind = word & 0xC000;
      if (kind == 0xC000) {
        y += 0x10000 - word;
      } else if (kind == 0x8000) {
        lastPixel = static_cast<int>(word & 0xFF);
      } else if (kind == 0x4000) {
        return;  // undefined: the chunk is damaged
      } else {
        packets = word;
        break;
      }
    }
    if (y >= frame.height) return;
    uint64_t x = 0;
    for (uint32_t p = 0; p < packets; ++p) {
      if (!c.Has(at, 2)) return;
      x += c.U8(at);
      const int count = static_cast<int8_t>(c.U8(at + 1));
      at += 2;
      if (count >= 0) {
        for (int i = 0; i < count; ++i, x += 2, at += 2) {
          if (!c.Has(at, 2)) return;
          frame.Put(x, y, c.U8(at));
          frame.Put(x + 1, y, c.U8(at + 1));
        }
      } else {
        if (!c.Has(at, 2)) return;
        const uint8_t a = c.U8(at), b = c.U8(at + 1);
        at += 2;
        for (int i = 0; i < -count; ++i, x += 2) {
          frame.Put(x, y, a);
          frame.Put(x + 1, y, b);
        }
      }
    }
    if (lastPixel >= 0 && frame.width > 0)
      frame.Put(frame.width - 1, y, static_cast<uint8_t>(lastPixel));
    ++y;
  }
}

// Byte run: per line a packet byte (not relied on), then runs until the
// line is full: a positive count repeats the next byte, a negative one
// copies bytes.  A run that passes the line's end goes on at the start of
// the next line, and that line's runs continue after it.
void ByteRun(const Bytes& c, Frame& frame) {
  const uint64_t width = frame.width;
  uint64_t at = 0;
  uint64_t x = 0, y = 0;  // where the next pixel goes
  auto put = [&](uint8_t v) {
    frame.Put(x, y, v);
    if (++x == width) x = 0, ++y;
  };
  for (uint64_t line = 0; line < frame.height; ++line) {
    if (!c.Has(at, 1)) return;
    ++at;
    while (y == line) {
      if (!c.Has(at, 1)) return;
      const int count = static_cast<int8_t>(c.U8(at++));
      if (count > 0) {
        if (!c.Has(at, 1)) return;
        const uint8_t v = c.U8(at++);
        for (int i = 0; i < count; ++i) put(v);
      } else {
        for (int i = 0; i < -count; ++i) {
          if (!c.Has(at, 1)) return;
          put(c.U8(at++));
        }
      }
    }
  }
}

// Copy: the whole frame, lines of `width` bytes.
void Copy(const Bytes& c, Frame& frame) {
  for (uint64_t y = 0; y < frame.height; ++y) {
    const uint64_t from = y * frame.width;
    if (from >= c.n) return;
    const uint64_t n = std::min<uint64_t>(frame.width, c.n - from);
    std::memcpy(frame.pixels + y * frame.stride, c.p + from, n);
  }
}

// Decodes the frame at `at` into `frame`.
void DecodeFrame(const Bytes& f, uint64_t at, Frame& frame) {
  const uint64_t end = std::min<uint64_t>(at + f.LE32(at), f.n);
  const uint32_t chunks = f.LE16(at + 6);
  uint64_t c = at + kFrameHeader;
  for (uint32_t i = 0; i < chunks && c + kChunkHeader <= end; ++i) {
    const uint64_t size = f.LE32(c);
    if (size < kChunkHeader) return;  // a chunk that would not advance
    const uint64_t chunkEnd = std::min(c + size, end);
    const Bytes body{f.p + c + kChunkHeader, chunkEnd - (c + kChunkHeader)};
    switch (f.LE16(c + 4)) {
      case kColour256: Colours(body, frame, 1); break;
      case kColour64: Colours(body, frame, 4); break;
      case kByteDelta: ByteDelta(body, frame); break;
      case kWordDelta: WordDelta(body, frame); break;
      case kByteRun: ByteRun(body, frame); break;
      case kCopy: Copy(body, frame); break;
      case kBlack:
        std::memset(frame.pixels, 0, static_cast<size_t>(frame.stride) * frame.height);
        return;  // the frame ends here
      default: break;  // stamps and unknown chunks
    }
    c += size;
  }
}

// The file position of every frame (0 where the file ends first), found
// from the frames' sizes.  Prefix chunks before a frame are skipped.
int32_t FrameTable(ImageFile* file, const Bytes& f) {
  if (file->pageOffsets) return kOk;
  uint32_t* table = AllocateArray<uint32_t>(static_cast<uint32_t>(file->pageCount));
  if (!table) return kErrMemory;
  uint64_t at = kFileHeader;
  for (int32_t k = 0; k < file->pageCount; ++k) {
    for (int prefix = 0; prefix < 4 && f.Has(at, kChunkHeader) &&
                         f.LE16(at + 4) == kPrefixChunk;
         ++prefix)
      at += std::max<uint64_t>(f.LE32(at), kChunkHeader);
    if (!f.Has(at, kFrameHeader)) break;
    table[k] = static_cast<uint32_t>(at);
    const uint64_t size = f.LE32(at);
    if (size < kFrameHeader) break;  // the frames after it cannot be found
    at += size;
  }
  file->pageOffsets = table;
  return kOk;
}

}  // namespace

int32_t ReadFli(ImageFile* file, PageRecord* page, int32_t index, bool geometry) {
  const Bytes f{file->view, static_cast<uint64_t>(file->fileSize)};
  const int32_t width = static_cast<int32_t>(f.LE16(8));
  const int32_t height = static_cast<int32_t>(f.LE16(10));
  const int depth = f.U8(12) == 0 ? 8 : f.U8(12);
  // The chunks draw one byte a pixel; other depths are not frames of this
  // kind.
  if (depth != 8) return kErrUnsupported;
  if (int32_t r = CheckPageSize(width, height, 8); r != kOk) return r;
  const uint32_t stride = BytesPerLine(width, 8);
  const uint64_t size = SizeProduct(stride, static_cast<uint32_t>(height));
  int32_t result = FrameTable(file, f);
  if (result != kOk) return result;
  if (geometry) {
    // Every frame has the header's size; none is decoded.
    if (file->pageOffsets[index] == 0) return kErrDecompress;
    page->compression = kUncompressed;
    page->bitsPerPixel = 8;
    page->planes = 1;
    page->layoutFlags = kLayoutTopDown;
    page->width = width;
    page->height = height;
    page->xResolution = page->yResolution = 72;
    page->bytesPerLine = stride;
    return kOk;
  }

  // Frame 0, and a later frame asked for in a record that holds no frame,
  // start from a black frame with a black palette; any other later frame
  // continues the frame the record holds.
  const bool fresh = index == 0 || (!page->data && !page->palette);
  if (!fresh &&
      (!page->data || !page->palette || page->dataOwnership != kOwnedByPage ||
       page->compression != kUncompressed || page->bitsPerPixel != 8 ||
       page->width != width || page->height != height || page->bytesPerLine != stride ||
       page->dataSize != size || page->dataOffset != 0))
    return kErrParameter;
  if (fresh) {
    page->data = AllocateBytes(size);
    page->palette = AllocateBytes(768);
    if (!page->data || !page->palette) {
      Release(page->data);
      Release(page->palette);
      page->data = page->palette = nullptr;
      return kErrMemory;
    }
  }
  page->compression = kUncompressed;
  page->bitsPerPixel = 8;
  page->planes = 1;
  page->photometric = 0;
  page->fillOrderReversed = 0;
  page->layoutFlags = kLayoutTopDown;
  page->width = width;
  page->height = height;
  page->xResolution = page->yResolution = 72;
  page->bytesPerLine = stride;
  page->dataSize = static_cast<uint32_t>(size);
  page->dataOffset = 0;
  page->dataOwnership = kOwnedByPage;
  page->stripCount = 0;
  // Every frame covers the whole logical screen.
  page->frameLeft = page->frameTop = 0;
  page->screenWidth = width;
  page->screenHeight = height;

  Frame frame{page->data, stride, static_cast<uint32_t>(width),
              static_cast<uint32_t>(height), page->palette};
  for (int32_t k = fresh ? 0 : index; k <= index; ++k) {
    const uint64_t at = file->pageOffsets[k];
    if (at == 0) {
      if (fresh) {
        Release(page->data);
        Release(page->palette);
        page->data = page->palette = nullptr;
      }
      return kErrDecompress;  // the file ends before this frame
    }
    DecodeFrame(f, at, frame);
  }
  return kOk;
}

}  // namespace quillon
