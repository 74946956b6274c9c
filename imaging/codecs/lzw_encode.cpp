// LZW encoding for TIFF (9-bit start, most significant bit first, width
// grows one code early, table cleared at 4095) and GIF (start width from
// the depth, least significant bit first, table cleared at 4096).
#include <algorithm>
#include <cstring>

#include "imaging/codecs/codec_rows.h"
#include "imaging/codecs/codecs.h"

namespace quillon {

namespace {

constexpr int32_t kHashSize = 5003;  // a prime above 4096 with room to probe
constexpr int kMaxWidth = 12;

// Codes packed into bytes, most or least significant bit first.  The
// buffer is sized for the worst case in advance; the bound check only
// guards against a miscount.
struct BitWriter {
  uint8_t* out;
  uint64_t capacity;
  uint64_t used = 0;
  uint64_t bits = 0;
  int count = 0;
  bool msbFirst;

  void Put(uint32_t code, int width) {
    if (msbFirst) {
      bits = (bits << width) | code;
      count += width;
      while (count >= 8) {
        count -= 8;
        Byte(static_cast<uint8_t>(bits >> count));
      }
    } else {
      bits |= static_cast<uint64_t>(code) << count;
      count += width;
      while (count >= 8) {
        Byte(static_cast<uint8_t>(bits));
        bits >>= 8;
        count -= 8;
      }
    }
  }
  void Byte(uint8_t b) {
    if (used < capacity) out[used] = b;
    ++used;
  }
  // Writes the byte holding the next free bit (zero bits after the last
  // code); the stream's length counts it.
  void Finish() {
    Byte(msbFirst ? static_cast<uint8_t>(bits << (8 - count))
                  : static_cast<uint8_t>(bits));
    count = 0;
  }
};

struct Encoder {
  int32_t* keys;    // c * 4096 + prefix, -1 = empty
  uint16_t* codes;  // the code stored with each key
  BitWriter writer;
  bool gif;
  int startWidth;
  int width = 0;
  uint32_t clear;
  uint32_t next = 0;
  uint32_t maxCode = 0;
  uint32_t limit;  // the table is cleared when `next` reaches it
  int64_t prefix = -1;

  // An empty table and the start width, as after every clear code.
  void Reset() {
    std::fill(keys, keys + kHashSize, -1);
    width = startWidth;
    maxCode = (1u << width) - 1;
    next = clear + 2;
  }
  // The decoder widens its codes once its next code reaches 2^width (GIF)
  // or 2^width - 1 (TIFF), counting the entry each code adds.
  bool Grows() const {
    return width < kMaxWidth && (gif ? next > maxCode : next >= maxCode);
  }
  void Symbol(uint32_t c) {
    if (prefix < 0) {
      prefix = c;
      return;
    }
    const int32_t key = static_cast<int32_t>((c << 12) + prefix);
    int32_t h = static_cast<int32_t>((c << 4) ^ static_cast<uint32_t>(prefix));
    if (keys[h] == key) {
      prefix = codes[h];
      return;
    }
    if (keys[h] >= 0) {
      const int32_t step = h == 0 ? 1 : kHashSize - h;
      do {
        h -= step;
        if (h < 0) h += kHashSize;
        if (keys[h] == key) {
          prefix = codes[h];
          return;
        }
      } while (keys[h] >= 0);
    }
    writer.Put(static_cast<uint32_t>(prefix), width);
    if (next >= limit) {
      writer.Put(clear, kMaxWidth);
      Reset();
    } else {
      if (Grows()) {
        ++width;
        maxCode = 2 * maxCode + 1;
      }
      keys[h] = key;
      codes[h] = static_cast<uint16_t>(next++);
    }
    prefix = c;
  }
  void Finish() {
    if (prefix >= 0) {
      writer.Put(static_cast<uint32_t>(prefix), width);
      if (Grows()) ++width;  // the decoder counts an entry for this code too
    }
    writer.Put(clear + 1, width);
    writer.Finish();
  }
};

}  // namespace

int32_t EncodeLzw(const PageRecord* source, PageRecord* destination,
                  int variant) {
  const bool gif = variant == kLzwVariantGif;
  const int32_t width = source->width, height = source->height;
  const int bpp = source->bitsPerPixel;
  if (width < 0 || height < 0) return kErrParameter;
  if (bpp != 1 && bpp != 4 && bpp != 8 && (gif || bpp != 24)) return kErrParameter;
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

  // Symbols: GIF one per pixel, TIFF the row's bytes.
  const uint32_t symbolsPerLine = gif ? static_cast<uint32_t>(width) : rowBytes;
  const uint64_t symbolCount = SizeProduct(symbolsPerLine, static_cast<uint32_t>(height));
  // At most one code per symbol, one clear code per ~3800 new entries, the
  // first clear code, the last prefix and the end code; 12 bits each.
  const uint64_t codeCount = SizeSum(SizeSum(symbolCount, symbolCount / 2048), 8);
  const uint64_t capacity = SizeSum(SizeProduct(codeCount, 3) / 2, 8);
  const int minCodeSize = gif ? (bpp == 1 ? 2 : bpp) : 8;
  const uint64_t header = gif ? 2 : 0;

  uint8_t* out = static_cast<uint8_t*>(Allocate(SizeSum(capacity, header)));
  int32_t* keys = AllocateArray<int32_t>(kHashSize);
  uint16_t* codes = AllocateArray<uint16_t>(kHashSize);
  const bool needsRow = bpp == 1 || (gif && bpp == 4) || bpp == 24;
  uint8_t* row = needsRow
      ? static_cast<uint8_t*>(Allocate(SizeSum(std::max(rowBytes, symbolsPerLine), 1)))
      : nullptr;
  if (!out || !keys || !codes || (needsRow && !row)) {
    Release(out);
    Release(keys);
    Release(codes);
    Release(row);
    return kErrMemory;
  }

  Encoder e{.keys = keys,
            .codes = codes,
            .writer = {.out = out + header, .capacity = capacity, .msbFirst = !gif},
            .gif = gif,
            .startWidth = minCodeSize + 1,
            .clear = 1u << minCodeSize,
            .limit = gif ? 4096u : 4095u};
  e.Reset();
  e.writer.Put(e.clear, e.width);

  uint8_t** runLines = bpp == 1 ? LinePointers(*source) : nullptr;
  const uint32_t w = static_cast<uint32_t>(width);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* line;
    if (bpp == 1) {
      RunsToRow(runLines[bottomUp ? height - 1 - y : y], width, row);
      line = row;
    } else {
      line = lines.Line(y);
    }
    if (gif && bpp == 1) {
      for (uint32_t x = 0; x < w; ++x) e.Symbol((line[x >> 3] >> (7 - (x & 7))) & 1);
    } else if (gif && bpp == 4) {
      for (uint32_t x = 0; x < w; ++x)
        e.Symbol((x & 1) ? (line[x >> 1] & 0x0F) : (line[x >> 1] >> 4));
    } else if (bpp == 24) {
      std::memcpy(row, line, rowBytes);
      SwapRedBlue(row, w);
      for (uint32_t i = 0; i < rowBytes; ++i) e.Symbol(row[i]);
    } else {
      for (uint32_t i = 0; i < symbolsPerLine; ++i) e.Symbol(line[i]);
    }
  }
  e.Finish();
  Release(keys);
  Release(codes);
  Release(row);
  if (e.writer.used > capacity) {  // cannot happen with the bound above
    Release(out);
    return kErrMemory;
  }
  if (gif) {
    // The descriptor's packed byte (not interlaced) and the minimum code
    // size, as the decoder reads them.
    out[0] = 0;
    out[1] = static_cast<uint8_t>(minCodeSize);
  }
  destination->data = out;
  destination->dataSize = static_cast<uint32_t>(header + e.writer.used);
  destination->dataOffset = 0;
  destination->dataOwnership = kOwnedByPage;
  destination->bytesPerLine = gif ? BytesPerLine(width, bpp) : rowBytes;
  destination->layoutFlags = kLayoutTopDown;
  destination->stripCount = 0;
  destination->stripOffsets = destination->stripByteCounts = nullptr;
  return kOk;
}

}  // namespace quillon
