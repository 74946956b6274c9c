// BMP run-length coding (RLE8, RLE4, and OS/2 RLE24 for decoding): pairs of
// bytes, an encoded run (count, value) or an escape (0, code): 0 end of
// line, 1 end of bitmap, 2 delta (dx, dy), 3..255 that many literal pixels,
// padded to a 16-bit boundary.  The stream starts at the bottom line.
#include <algorithm>
#include <cstring>

#include "imaging/codecs/codec_rows.h"
#include "imaging/codecs/codecs.h"
#include "imaging/codecs/runlength.h"

namespace quillon {

namespace {

// Where the next pixel goes.  RLE8 and RLE4 runs that reach the end of a
// line carry on at the start of the next line up; RLE24 drops what passes
// the right edge.  A line ends at its padded length, not at the width:
// some writers code the padding pixels of every line.  Moving above the
// top line ends decoding.
struct RleCursor {
  uint8_t* base;
  uint32_t stride;
  int32_t width;  // pixels a line holds, padding included when wrapping
  int32_t height;
  bool wraps;
  int32_t x = 0;
  int32_t up = 0;  // lines moved up from the bottom line

  bool Done() const { return up >= height; }
  uint8_t* Line() const {
    return base + static_cast<uint64_t>(height - 1 - up) * stride;
  }
  // Pixels that fit on the current line from x; a delta or a whole-byte
  // copy may have left x at or past the edge.  0 when none can be put.
  uint32_t Room() {
    if (x >= width) {
      if (!wraps) return 0;
      x = 0;
      ++up;
    }
    return up < height ? static_cast<uint32_t>(width - x) : 0;
  }
  void Advance(int32_t n) {
    x += n;
    if (wraps && x >= width) {
      x = 0;
      ++up;
    }
  }
  // RLE8 ends a line unless x is 0 (a run has just completed it); RLE4
  // unless x is below 2 (an odd-width line coded in whole bytes spills
  // its padding pixel onto the next line); RLE24 always.
  void EndOfLine(int32_t stay) {
    if (x >= stay) ++up;
    x = 0;
  }
  void Delta(uint32_t dx, uint32_t dy) {
    x = static_cast<int32_t>(std::min<int64_t>(int64_t{x} + dx, width));
    up += static_cast<int32_t>(dy);
  }
};

inline void SetNibble(uint8_t* line, int32_t x, uint8_t value) {
  uint8_t& b = line[x >> 1];
  b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | (value & 0x0F))
              : static_cast<uint8_t>((b & 0x0F) | (value << 4));
}

// Writes `count` pixels of `pixelBytes` bytes each: from `literal` when it
// is not null, else `value` repeated.
void PutBytePixels(RleCursor& c, int pixelBytes, uint32_t count,
                   const uint8_t* literal, const uint8_t* value) {
  while (count > 0) {
    const uint32_t room = c.Room();
    if (room == 0) return;
    const uint32_t n = std::min(count, room);
    uint8_t* at = c.Line() + static_cast<uint64_t>(c.x) * pixelBytes;
    if (literal) {
      std::memcpy(at, literal, static_cast<uint64_t>(n) * pixelBytes);
      literal += static_cast<uint64_t>(n) * pixelBytes;
    } else if (pixelBytes == 1) {
      std::memset(at, value[0], n);
    } else {
      for (uint32_t k = 0; k < n; ++k, at += 3) std::memcpy(at, value, 3);
    }
    c.Advance(static_cast<int32_t>(n));
    count -= n;
  }
}

// RLE4 pixels: pixel k takes the high nibble of byte k / 2 when k is even.
// Pixels are set, not ORed, so a spilled padding pixel is overwritten by
// the line it spilled onto.
void PutNibblePixels(RleCursor& c, uint32_t count, const uint8_t* bytes,
                     bool repeat) {
  for (uint32_t k = 0; k < count && c.Room() > 0; ++k) {
    const uint8_t b = repeat ? bytes[0] : bytes[k >> 1];
    SetNibble(c.Line(), c.x, (k & 1) ? (b & 0x0F) : (b >> 4));
    c.Advance(1);
  }
}

void DecodeStream(const uint8_t* in, uint64_t size, int bpp, RleCursor& c) {
  const int pixelBytes = bpp == 24 ? 3 : 1;
  uint64_t i = 0;
  while (!c.Done() && i + 2 <= size) {  // a pad byte may have taken i past size
    const uint8_t first = in[i], second = in[i + 1];
    i += 2;
    if (first > 0) {  // an encoded run
      if (bpp == 4) {
        PutNibblePixels(c, first, &second, true);
      } else if (bpp == 8) {
        PutBytePixels(c, 1, first, nullptr, &second);
      } else {
        if (size - i < 2) return;
        const uint8_t pixel[3] = {second, in[i], in[i + 1]};
        i += 2;
        PutBytePixels(c, 3, first, nullptr, pixel);
      }
      continue;
    }
    switch (second) {
      case 0:
        c.EndOfLine(bpp == 8 ? 1 : bpp == 4 ? 2 : 0);
        break;
      case 1:
        return;
      case 2:
        if (size - i < 2) return;
        c.Delta(in[i], in[i + 1]);
        i += 2;
        break;
      default: {  // absolute mode
        const uint64_t bytes = bpp == 4 ? (second + 1u) / 2
                                        : uint64_t{second} * pixelBytes;
        const bool cut = bytes > size - i;
        const uint64_t have = cut ? size - i : bytes;
        const uint8_t* literal = in + i;
        if (bpp == 4) {
          const uint32_t pixels = std::min<uint32_t>(second, static_cast<uint32_t>(have * 2));
          // Whole bytes at an even x, as long as they stay inside the line.
          if ((c.x & 1) == 0 && c.Room() > 0 &&
              static_cast<uint64_t>(c.x / 2) + have <= c.stride) {
            std::memcpy(c.Line() + c.x / 2, literal, have);
            c.x += static_cast<int32_t>(pixels);
          } else {
            PutNibblePixels(c, pixels, literal, false);
          }
        } else {
          PutBytePixels(c, pixelBytes, static_cast<uint32_t>(have / pixelBytes),
                        literal, nullptr);
        }
        if (cut) return;
        i += bytes + (bytes & 1);
        break;
      }
    }
  }
}

}  // namespace

int32_t DecodeBmpRle(PageRecord* source, PageRecord* destination,
                     int32_t /*flags*/) {
  const int32_t width = source->width, height = source->height;
  const int bpp = source->bitsPerPixel;
  if (width < 0 || height < 0) return kErrParameter;
  if (bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24) return kErrParameter;
  const uint32_t stride = BytesPerLine(width, bpp);
  if (stride < RowBytes(width, bpp)) return kErrUnsupported;  // no countable line
  const uint64_t pageBytes = SizeProduct(stride, static_cast<uint32_t>(height));
  uint8_t* pixels = static_cast<uint8_t*>(Allocate(pageBytes));
  if (!pixels) {
    destination->data = nullptr;
    return kErrMemory;
  }
  if (bpp != 16 && width > 0 && height > 0) {
    const int32_t linePixels =
        bpp == 24 ? width : static_cast<int32_t>(stride * 8 / static_cast<uint32_t>(bpp));
    RleCursor cursor{pixels, stride, linePixels, height, bpp != 24};
    DecodeStream(source->data + source->dataOffset, source->dataSize, bpp, cursor);
    // Padding pixels the stream coded are not part of the page.
    const uint32_t rowBytes = RowBytes(width, bpp);
    for (int32_t y = 0; y < height; ++y) {
      uint8_t* line = pixels + static_cast<uint64_t>(y) * stride;
      std::memset(line + rowBytes, 0, stride - rowBytes);
      if (bpp == 4 && (width & 1)) line[rowBytes - 1] &= 0xF0;
    }
  }
  destination->data = pixels;
  destination->dataSize = static_cast<uint32_t>(pageBytes);
  destination->dataOffset = 0;
  destination->dataOwnership = kOwnedByPage;
  destination->bytesPerLine = stride;
  destination->layoutFlags = kLayoutTopDown;
  destination->compression = kUncompressed;
  return kOk;
}

namespace {

// Counts equal bytes from `s` (at least 1) and finds the end of a literal
// stretch, as PackBits does: a stretch stops at the first byte of an equal
// pair or at the row's last byte, which is left for the next step.
inline uint32_t RunAt(const uint8_t* s, const uint8_t* end) {
  const uint8_t* r = s + 1;
  while (r < end && *r == *s) ++r;
  return static_cast<uint32_t>(r - s);
}
inline uint32_t LiteralAt(const uint8_t* s, const uint8_t* end) {
  const uint8_t* last = s;
  while (last + 1 < end && last[1] != last[0]) ++last;
  return static_cast<uint32_t>(last - s);
}

// The shared greedy split.  `unit` is 1 for RLE8 (counts in bytes) and 2
// for RLE4 (counts in pixels, two per byte).
uint8_t* RleRow(const uint8_t* source, uint8_t* d, uint32_t count, uint32_t unit) {
  const uint8_t* s = source;
  const uint8_t* const end = source + count;
  const uint32_t maxRun = 255 / unit;           // bytes per encoded run
  const uint32_t piece = unit == 1 ? 254 : 126;  // bytes per literal piece
  while (end - s >= 2) {
    uint32_t run = RunAt(s, end);
    if (run >= 2) {
      const uint8_t v = *s;
      s += run;
      for (; run > maxRun; run -= maxRun) {
        *d++ = static_cast<uint8_t>(maxRun * unit);
        *d++ = v;
      }
      *d++ = static_cast<uint8_t>(run * unit);
      *d++ = v;
      continue;
    }
    uint32_t m = LiteralAt(s, end);
    for (; m >= piece; m -= piece, s += piece) {
      *d++ = 0x00;
      *d++ = static_cast<uint8_t>(piece * unit);
      std::memcpy(d, s, piece);
      d += piece;
    }
    // Absolute mode needs at least three pixels: shorter rests are runs.
    if (m > 0 && m * unit < 3) {
      for (; m > 0; --m) {
        *d++ = static_cast<uint8_t>(unit);
        *d++ = *s++;
      }
    } else if (m > 0) {
      *d++ = 0x00;
      *d++ = static_cast<uint8_t>(m * unit);
      std::memcpy(d, s, m);
      d += m;
      s += m;
      if (m & 1) *d++ = 0x00;
    }
  }
  if (s < end) {
    *d++ = static_cast<uint8_t>(unit);
    *d++ = *s;
  }
  return d;
}

}  // namespace

uint8_t* Rle8Row(const uint8_t* source, uint8_t* destination, uint32_t count) {
  return RleRow(source, destination, count, 1);
}

uint8_t* Rle4Row(const uint8_t* source, uint8_t* destination, uint32_t count) {
  return RleRow(source, destination, count, 2);
}

int32_t EncodeBmpRle(const PageRecord* source, PageRecord* destination) {
  const int32_t width = source->width, height = source->height;
  const int bpp = source->bitsPerPixel;
  if (bpp != 4 && bpp != 8) return kErrParameter;
  if (width < 0 || height < 0) return kErrParameter;
  const uint32_t rowBytes = RowBytes(width, bpp);
  codec::LineSource lines;
  if (!codec::MakeLineSource(*source, rowBytes, codec::BottomLineFirst(*source),
                             &lines))
    return kErrParameter;
  // An odd-width RLE4 line codes its unused low four bits as an extra
  // pixel: they are coded as zero whatever the source holds there.
  const bool oddNibble = bpp == 4 && (width & 1);
  uint8_t* row = nullptr;
  if (oddNibble) {
    row = static_cast<uint8_t*>(Allocate(rowBytes));
    if (!row) return kErrMemory;
  }
  const uint64_t capacity = SizeSum(
      SizeProduct(SizeSum(RowCoderWorstCase(rowBytes), 2), static_cast<uint32_t>(height)), 2);
  uint8_t* out = static_cast<uint8_t*>(Allocate(capacity));
  if (!out) {
    Release(row);
    return kErrMemory;
  }
  uint8_t* d = out;
  for (int32_t y = height - 1; y >= 0; --y) {  // bottom line first
    const uint8_t* line = lines.Line(y);
    if (oddNibble) {
      std::memcpy(row, line, rowBytes);
      row[rowBytes - 1] &= 0xF0;
      line = row;
    }
    d = bpp == 8 ? Rle8Row(line, d, rowBytes) : Rle4Row(line, d, rowBytes);
    *d++ = 0x00;
    *d++ = 0x00;
  }
  *d++ = 0x00;
  *d++ = 0x01;
  Release(row);
  destination->data = out;
  destination->dataSize = static_cast<uint32_t>(d - out);
  destination->dataOffset = 0;
  destination->dataOwnership = kOwnedByPage;
  destination->bytesPerLine = BytesPerLine(width, bpp);
  destination->layoutFlags = kLayoutBottomUp | kLayoutBmp;
  return kOk;
}

}  // namespace quillon
