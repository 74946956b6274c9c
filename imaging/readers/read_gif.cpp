// GIF frames.  A frame's page holds its own rectangle in its own palette;
// composing frames onto the logical screen is the viewer's job.  The page's
// data is the image descriptor's packed byte, the LZW minimum code size and
// the data sub-blocks' payloads, concatenated.
#include <algorithm>
#include <cstring>

#include "imaging/readers/readers.h"

namespace quillon {

namespace {

// Frame depth 1..8 to the depths the library holds.
constexpr int8_t kGifDepth[9] = {1, 1, 4, 4, 4, 8, 8, 8, 8};

// Skips a chain of data sub-blocks up to its terminator.  False when the
// chain runs off the frame.
bool SkipSubBlocks(const Bytes& f, uint64_t& at, uint64_t end) {
  while (at < end) {
    uint8_t len = f.U8(at);
    at += 1 + static_cast<uint64_t>(len);
    if (len == 0) return true;
  }
  return false;
}

// Copies a sub-block's first payload (at most 127 bytes) into `field` and
// skips every sub-block up to the terminator.
bool TakeText(const Bytes& f, uint64_t& at, uint64_t end, char* field) {
  uint8_t length = f.U8(at);
  std::memset(field, 0, 128);
  uint32_t n = length < 127 ? length : 127;
  for (uint32_t i = 0; i < n && at + 1 + i < end; ++i)
    field[i] = static_cast<char>(f.U8(at + 1 + i));
  return SkipSubBlocks(f, at, end);
}

// A colour table of `entries` RGB triplets at `at` into a new BGR palette.
uint8_t* ReadColourTable(const Bytes& f, uint64_t at, uint32_t entries) {
  uint8_t* palette = AllocateBytes(768);
  if (!palette) return nullptr;
  for (uint32_t i = 0; i < entries && i < 256; ++i) {
    palette[3 * i + 2] = f.U8(at + 3 * i);
    palette[3 * i + 1] = f.U8(at + 3 * i + 1);
    palette[3 * i] = f.U8(at + 3 * i + 2);
  }
  return palette;
}

// The polarity of a two-colour frame from its colour table (Red, Green,
// Blue) at `at`.
int8_t TablePhotometric(const Bytes& f, uint64_t at) {
  return TwoColourPhotometric({f.U8(at), f.U8(at + 1), f.U8(at + 2)},
                              {f.U8(at + 3), f.U8(at + 4), f.U8(at + 5)});
}

int32_t Fail(PageRecord* page, int32_t result) {
  FreePage(page);
  return result;
}

}  // namespace

int32_t ReadGif(ImageFile* file, PageRecord* page, int32_t index) {
  const Bytes f{file->view, static_cast<uint64_t>(file->fileSize)};
  const uint64_t start = file->pageOffsets[index];
  const uint64_t end = std::min<uint64_t>(file->pageOffsets[index + 1], f.n);
  if (start >= end) return kErrBadHeader;
  page->dataOffset = static_cast<uint32_t>(start);
  page->dataSize = static_cast<uint32_t>(end - start);
  page->compression = kLzwGif;
  page->layoutFlags = kLayoutTopDown;
  page->stripCount = 0;
  page->fillOrderReversed = 0;
  page->planes = 1;

  // The logical screen describes every frame, so it is read for every frame
  // rather than trusted from an earlier record.
  const uint8_t screenFlags = f.U8(10);
  const bool globalTable = screenFlags & 0x80;
  const uint32_t globalEntries = 2u << (screenFlags & 7);
  page->screenWidth = static_cast<int32_t>(f.LE16(6));
  page->screenHeight = static_cast<int32_t>(f.LE16(8));
  page->backgroundIndex = f.U8(11);
  int depth = (screenFlags & 7) + 1;
  page->photometric = 0;
  uint64_t at = index == 0 ? 13 + (globalTable ? 3 * static_cast<uint64_t>(globalEntries) : 0)
                           : start;

  // Block scan up to the image separator.
  for (;;) {
    if (at >= end) return Fail(page, kErrBadHeader);
    uint8_t c = f.U8(at);
    if (c == ',') break;
    if (c != '!') return Fail(page, kErrBadHeader);
    uint8_t label = f.U8(at + 1);
    at += 2;
    bool ok;
    switch (label) {
      case 0x01: ok = TakeText(f, at, end, page->plainText); break;
      case 0xFE: ok = TakeText(f, at, end, page->comment); break;
      case 0xFF: ok = TakeText(f, at, end, page->applicationText); break;
      case 0xF9:
        if (f.U8(at) != 4) return Fail(page, kErrBadHeader);
        page->frameDisposal = f.U8(at + 1);
        page->frameDelay = static_cast<int32_t>(f.LE16(at + 2));
        page->transparentIndex = f.U8(at + 4);
        at += 6;
        ok = true;
        break;
      default:
        // Extensions the library has no use for are passed over by their
        // sub-blocks, as every decoder must.
        ok = SkipSubBlocks(f, at, end);
        break;
    }
    if (!ok) return Fail(page, kErrBadHeader);
  }

  // Image descriptor.
  if (!f.Has(at, 11)) return Fail(page, kErrBadHeader);
  page->frameLeft = static_cast<int32_t>(f.LE16(at + 1));
  page->frameTop = static_cast<int32_t>(f.LE16(at + 3));
  page->width = static_cast<int32_t>(f.LE16(at + 5));
  page->height = static_cast<int32_t>(f.LE16(at + 7));
  const uint8_t packed = f.U8(at + 9);
  at += 10;
  if (page->width < 1 || page->height < 1) return Fail(page, kErrBadHeader);
  if (packed & 0x80) {
    // A local table replaces the global one and sets the frame's depth.
    depth = (packed & 7) + 1;
    uint32_t entries = 2u << (packed & 7);
    if (depth > 1) {
      page->palette = ReadColourTable(f, at, entries);
      if (!page->palette) return Fail(page, kErrMemory);
    } else {
      page->photometric = TablePhotometric(f, at);
    }
    at += 3 * static_cast<uint64_t>(entries);
  } else if (globalTable) {
    if (depth > 1) {
      page->palette = ReadColourTable(f, 13, globalEntries);
      if (!page->palette) return Fail(page, kErrMemory);
    } else {
      page->photometric = TablePhotometric(f, 13);
    }
  }
  page->bitsPerPixel = kGifDepth[depth];
  if (page->bitsPerPixel > 1 && !page->palette) {
    page->palette = MakeGrayPalette(8);  // no colour table at all
    if (!page->palette) return Fail(page, kErrMemory);
  }

  // Packed byte, code size, then the sub-blocks' payloads.
  uint8_t* data = AllocateBytes(SizeSum(end - start, 8));
  if (!data) return Fail(page, kErrMemory);
  data[0] = packed;
  data[1] = f.U8(at);
  ++at;
  uint64_t stored = 2;
  bool terminated = false;
  while (at < end) {
    uint8_t len = f.U8(at);
    if (len == 0) {
      terminated = true;
      break;
    }
    if (at + 1 + len > end) break;  // would pass the frame's span
    std::memcpy(data + stored, f.p + at + 1, len);
    stored += len;
    at += 1 + static_cast<uint64_t>(len);
  }
  if (!terminated) {
    Release(data);
    return Fail(page, kErrDecompress);
  }
  page->data = data;
  page->dataOffset = 0;
  page->dataSize = static_cast<uint32_t>(stored);
  page->dataOwnership = kOwnedByPage;
  page->bytesPerLine = BytesPerLine(page->width, page->bitsPerPixel);
  return kOk;
}

}  // namespace quillon
