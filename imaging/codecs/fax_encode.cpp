// Fax encoders: run lists to G3 1-D (EOL before every line, RTC at the
// end), Modified Huffman (byte-aligned lines, no EOL) and G4 (T.6, EOFB at
// the end).  Output is most significant bit first.  The buffer grows as
// needed: before every line there is room for the line's worst case.
#include <cstring>

#include "imaging/codecs/codecs.h"
#include "imaging/codecs/fax_bits.h"
#include "imaging/codecs/fax_decode.h"
#include "imaging/core/runlist.h"

namespace quillon {

namespace {

struct FaxOutput {
  uint8_t* buffer;
  uint64_t capacity;
  FaxBitWriter w;
};

// Makes room for `room` more bytes (the writer stores four at a time, so
// the caller's figure includes that slack).
bool Reserve(FaxOutput& o, uint64_t room) {
  const uint64_t used = static_cast<uint64_t>(o.w.out - o.buffer);
  if (o.buffer && o.capacity - used >= room) return true;
  uint64_t capacity = SizeSum(used, room);
  if (capacity < o.capacity * 2) capacity = o.capacity * 2;
  if (capacity > UINT32_MAX) return false;  // dataSize is 32 bits
  uint8_t* bigger = static_cast<uint8_t*>(Allocate(capacity));
  if (!bigger) return false;
  if (used) std::memcpy(bigger, o.buffer, used);
  Release(o.buffer);
  o.buffer = bigger;
  o.capacity = capacity;
  o.w.out = bigger + used;
  return true;
}

// Worst cases in bits.  A run costs at most a terminating code (12 bits),
// one make-up code (13) and a 2560 make-up code (12) per 2560 pixels; a
// line of `width` pixels has at most width + 1 runs.
uint64_t OneDLineBits(int32_t width) {
  const uint64_t w = static_cast<uint64_t>(width);
  return 12 + 7 + 25 * (w + 1) + 12 * (w / 2560 + 1);
}
// G4: a vertical code (7 bits) or half a horizontal code per element, and a
// pass code (4 bits) per pair of reference elements.
uint64_t TwoDLineBits(int32_t width) {
  const uint64_t w = static_cast<uint64_t>(width);
  return 32 * (w + 4) + 2 * 12 * (w / 2560 + 1) + 64;
}
constexpr uint64_t RoomFor(uint64_t bits) { return bits / 8 + 16; }

// Reads a run-list line into changing elements, repaired as the decoders
// repair theirs: runs clipped at the width, zero-length runs joined to
// their neighbours, a short line padded with white.
int32_t LineElements(const uint8_t* line, int32_t width, int32_t* e) {
  int32_t k = 0, pos = 0;
  auto push = [&](int32_t at) {
    if (k > 0 && e[k - 1] == at)
      --k;  // a zero-length run between two changes
    else
      e[k++] = at;
  };
  const uint8_t* p = line;
  for (;;) {
    const uint32_t white = GetRun(p);
    const uint32_t black = GetRun(p);
    if (white == 0 && black == 0) break;  // the terminator
    pos = white < static_cast<uint32_t>(width - pos) ? pos + static_cast<int32_t>(white) : width;
    push(pos);
    if (pos == width || black == 0) break;
    pos = black < static_cast<uint32_t>(width - pos) ? pos + static_cast<int32_t>(black) : width;
    push(pos);
    if (pos == width) break;
  }
  return FaxFinishLine(e, k, pos, width, false);
}

inline void PutRun(FaxBitWriter& w, int32_t run, bool white) {
  const auto& makeup = white ? kWhiteMakeup : kBlackMakeup;
  while (run >= 2560) {
    FaxPut(w, makeup[40]);
    run -= 2560;
  }
  if (run >= 64) {
    FaxPut(w, makeup[run / 64]);
    run %= 64;
  }
  FaxPut(w, (white ? kWhiteTerminating : kBlackTerminating)[run]);
}

inline void PutEol(FaxBitWriter& w) { FaxPut(w, kEolCode.bits, kEolCode.length); }

bool ValidRunListPage(const PageRecord* page) {
  return page->width >= 0 && page->width <= kMaxRun && page->height >= 0 &&
         (page->data || page->height == 0);
}

void Deliver(FaxOutput& o, PageRecord* destination) {
  FaxFlush(o.w);
  destination->data = o.buffer;
  destination->dataSize = static_cast<uint32_t>(o.w.out - o.buffer);
  destination->dataOffset = 0;
  destination->dataOwnership = kOwnedByPage;
  destination->fillOrderReversed = 0;
}

}  // namespace

int32_t EncodeFaxOneD(const PageRecord* source, PageRecord* destination,
                      int byteAlign) {
  if (!ValidRunListPage(source)) return kErrParameter;
  const int32_t width = source->width, height = source->height;
  int32_t* e = AllocateArray<int32_t>(FaxElementCapacity(width));
  if (!e) return kErrMemory;
  FaxOutput o{};
  const uint64_t lineRoom = RoomFor(OneDLineBits(width));
  if (!Reserve(o, SizeSum(source->dataSize, lineRoom))) {
    Release(e);
    return kErrMemory;
  }
  uint8_t** lines = LinePointers(*source);
  for (int32_t y = 0; y < height; ++y) {
    if (!Reserve(o, lineRoom)) {
      Release(e);
      Release(o.buffer);
      return kErrMemory;
    }
    if (!byteAlign)
      PutEol(o.w);
    else
      FaxFlush(o.w);  // every line starts on a byte boundary
    const int32_t k = LineElements(lines[y], width, e);
    int32_t previous = 0;
    for (int32_t i = 0; i < k; ++i) {
      PutRun(o.w, e[i] - previous, (i & 1) == 0);
      previous = e[i];
    }
  }
  Release(e);
  if (!byteAlign) {
    if (!Reserve(o, RoomFor(6 * 12))) {
      Release(o.buffer);
      return kErrMemory;
    }
    for (int i = 0; i < 6; ++i) PutEol(o.w);  // RTC
  }
  Deliver(o, destination);
  return kOk;
}

int32_t EncodeG4(const PageRecord* source, PageRecord* destination) {
  if (!ValidRunListPage(source)) return kErrParameter;
  const int32_t width = source->width, height = source->height;
  const uint64_t stride = FaxElementCapacity(width);
  int32_t* elements = AllocateArray<int32_t>(2 * stride);
  if (!elements) return kErrMemory;
  int32_t* cur = elements;
  int32_t* ref = elements + stride;
  FaxWhiteElements(ref, width);
  FaxOutput o{};
  const uint64_t lineRoom = RoomFor(TwoDLineBits(width));
  if (!Reserve(o, SizeSum(source->dataSize / 2, lineRoom))) {
    Release(elements);
    return kErrMemory;
  }
  uint8_t** lines = LinePointers(*source);
  for (int32_t y = 0; y < height; ++y) {
    if (!Reserve(o, lineRoom)) {
      Release(elements);
      Release(o.buffer);
      return kErrMemory;
    }
    LineElements(lines[y], width, cur);
    FaxBitWriter& w = o.w;
    // T.4 4.2.1.3: a0 starts on an imaginary white element before the
    // line; b indexes b1, even while the colour is white.
    int32_t a0 = 0, i = 0;
    uint32_t b = 0;
    bool white = true;
    while (a0 < width) {
      const int32_t a1 = cur[i], b1 = ref[b], b2 = ref[b + 1];
      if (b2 < a1) {
        FaxPut(w, 0b0001, 4);  // pass: a0 moves below b2
        a0 = b2;
        b += 2;
      } else if (b1 - a1 >= -3 && b1 - a1 <= 3) {
        FaxPut(w, kVerticalCodes[b1 - a1 + 3]);
        a0 = a1;
        ++i;
        white = !white;
        if (a1 != width) {
          b = b > 0 ? b - 1 : 1;
          while (ref[b] <= a1 && ref[b] != width) b += 2;
        }
      } else {
        const int32_t a2 = cur[i + 1];
        FaxPut(w, 0b001, 3);  // horizontal: a0a1 and a1a2
        PutRun(w, a1 - a0, white);
        PutRun(w, a2 - a1, !white);
        a0 = a2;
        i += 2;
        if (a0 != width)
          while (ref[b] <= a0 && ref[b] != width) b += 2;
      }
    }
    int32_t* swap = ref;
    ref = cur;
    cur = swap;
  }
  Release(elements);
  if (!Reserve(o, RoomFor(2 * 12))) {
    Release(o.buffer);
    return kErrMemory;
  }
  PutEol(o.w);  // EOFB
  PutEol(o.w);
  Deliver(o, destination);
  return kOk;
}

}  // namespace quillon
