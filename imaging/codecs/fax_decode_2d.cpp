// The two-dimensional fax decoders: G3 2-D (T.4 two-dimensional coding,
// EOL and a tag bit before every line) and G4 (T.6).
//
// A line is decoded against the changing elements of the line above
// (`ref`).  The index b always names b1 (T.4 4.2.1.3.1): the first changing
// element of the reference line to the right of a0 whose colour is opposite
// to a0's; even entries end white runs, so b is even while the colour is
// white.  Reference lines are repaired (strictly increasing, closed by
// entries holding the width), which keeps every scan inside the line.
#include "imaging/codecs/codecs.h"
#include "imaging/codecs/fax_decode.h"

namespace quillon {

namespace {

enum class LineEnd { kDone, kEndOfPage, kDamaged };

struct Line {
  int32_t count;  // elements decoded
  bool dirty;     // a zero-length run may be present
};

// Uncompressed mode (T.4 4.2.1.3.5, Table 8): image patterns of n zero bits
// and a one (n white pixels and a black one; five zeros and a one: five
// white pixels), until an exit of six to ten zeros and a one (0..4 white
// pixels) followed by the tag bit, the colour of the next run.  Updates a0,
// the colour and b for the two-dimensional coding that resumes.
bool DecodeUncompressed(FaxBitReader& r, const int32_t* ref, int32_t* cur,
                        int32_t width, int32_t& k, int32_t& a0, bool& white,
                        uint32_t& b, bool& dirty) {
  int32_t p = a0 < 0 ? 0 : a0;
  auto change = [&](int32_t at) {
    if (k > 0 && cur[k - 1] == at) dirty = true;
    cur[k++] = at;
    white = !white;
  };
  for (;;) {
    if (!FaxDataLeft(r)) return false;
    FaxFill(r);
    const int32_t zeros = __builtin_clzll(r.bits | (uint64_t{1} << 32));
    if (zeros > 10) return false;
    FaxSkip(r, zeros + 1);
    const bool exit = zeros >= 6;
    const int32_t whites = exit ? zeros - 6 : zeros;
    if (whites > 0) {
      if (!white) change(p);
      p += whites;
    }
    if (!exit && zeros < 5) {
      if (white) change(p);
      p += 1;
    }
    if (p > width || k > width) return false;
    if (exit) {
      const bool nextWhite = FaxTakeBit(r) == 0;
      if (nextWhite != white) {
        if (k > width) return false;
        change(p);
      }
      break;
    }
  }
  if (FaxOverrun(r)) return false;
  a0 = p;
  const uint32_t parity = white ? 0 : 1;
  if ((b & 1) != parity) b = b > 0 ? b - 1 : 1;
  if (a0 < width)
    while (ref[b] <= a0) b += 2;
  return true;
}

// Decodes one two-dimensionally coded line into `cur`.
LineEnd Decode2DLine(FaxBitReader& reader, const int32_t* ref, int32_t* cur,
                     int32_t width, Line& line) {
  FaxBitReader r = reader;  // positions kept in locals
  int32_t a0 = -1, k = 0;
  uint32_t b = 0;
  bool white = true, dirty = false;
  while (a0 < width) {
    FaxFill(r);
    if (!FaxDataLeft(r) || k > width) return LineEnd::kDamaged;
    const uint32_t w = FaxPeek16(r);
    if (w & 0x8000) {
      // V0: a1 = b1.
      FaxSkip(r, 1);
      a0 = ref[b++];
      cur[k++] = a0;
      white = !white;
      continue;
    }
    const FaxModeEntry m = kTwoDModeTable[w >> 9];
    FaxSkip(r, m.length);
    switch (m.mode) {
      case kModeVL1: case kModeVL2: case kModeVL3: {
        // a1 = b1 - n, which must lie right of a0.
        const int32_t a1 = ref[b] - m.mode;
        if (a1 <= a0) return LineEnd::kDamaged;
        cur[k++] = a1;
        b = b > 0 ? b - 1 : 1;
        while (ref[b] <= a1) b += 2;
        a0 = a1;
        white = !white;
        break;
      }
      case kModeVR1: case kModeVR2: case kModeVR3: {
        const int32_t b1 = ref[b++];
        int32_t a1 = b1 + (m.mode - 16);
        if (b1 < width && a1 < width)
          while (ref[b] <= a1) b += 2;
        if (a1 > width) a1 = width;
        cur[k++] = a1;
        a0 = a1;
        white = !white;
        break;
      }
      case kModeHorizontal: {
        // Two one-dimensional runs, a0a1 in the current colour, then a1a2.
        const int32_t first = white ? FaxWhiteRun(r) : FaxBlackRun(r);
        if (first < 0) return LineEnd::kDamaged;
        const int32_t second = white ? FaxBlackRun(r) : FaxWhiteRun(r);
        if (second < 0 || FaxOverrun(r)) return LineEnd::kDamaged;
        int32_t a1 = (a0 < 0 ? 0 : a0) + first;
        if (a1 > width) a1 = width;
        int32_t a2 = a1 + second;
        if (a2 > width) a2 = width;
        if ((k > 0 && cur[k - 1] == a1) || a2 == a1) dirty = true;
        cur[k] = a1;
        cur[k + 1] = a2;
        k += 2;
        if (a2 < width)
          while (ref[b] <= a2) b += 2;
        a0 = a2;
        break;
      }
      case kModePass:
        // a0 moves below b2; the colour stays.
        a0 = ref[b + 1];
        b += 2;
        break;
      case kModeExtension:
        if ((FaxPeek16(r) >> 6) != kUncompressedEntryCode.bits)
          return LineEnd::kDamaged;
        FaxSkip(r, kUncompressedEntryCode.length);
        if (!DecodeUncompressed(r, ref, cur, width, k, a0, white, b, dirty))
          return LineEnd::kDamaged;
        break;
      default: {
        // Seven zero bits: EOFB (T.6) or RTC (T.4) ends the page; anything
        // else here is damage.
        const int32_t first = FaxWhiteRun(r);
        const int32_t second = FaxWhiteRun(r);
        if (first == kFaxEol && second == kFaxEol && !FaxOverrun(r))
          return LineEnd::kEndOfPage;
        return LineEnd::kDamaged;
      }
    }
  }
  // The last code must not have used bits past the data.
  if (FaxOverrun(r)) return LineEnd::kDamaged;
  reader = r;
  line.count = k;
  line.dirty = dirty;
  return LineEnd::kDone;
}

// Closes and writes the decoded line, which becomes the reference line.
inline void FinishAndWrite(FaxDecodeState& s, int32_t k, int32_t extent,
                           bool dirty) {
  k = FaxFinishLine(s.current, k, extent, s.width, dirty);
  FaxWriteLine(s, s.current, k);
  int32_t* swap = s.reference;
  s.reference = s.current;
  s.current = swap;
}

}  // namespace

FaxBlockEnd DecodeG4Block(FaxDecodeState& s, FaxBitReader& r,
                          int32_t lineCount) {
  for (int32_t i = 0; i < lineCount; ++i) {
    if (!FaxDataLeft(r)) return FaxBlockEnd::kOutOfData;
    Line line;
    switch (Decode2DLine(r, s.reference, s.current, s.width, line)) {
      case LineEnd::kDone: break;
      case LineEnd::kEndOfPage: return FaxBlockEnd::kPageEnd;
      case LineEnd::kDamaged: return FaxBlockEnd::kDamaged;
    }
    FinishAndWrite(s, line.count, s.width, line.dirty);
  }
  return FaxBlockEnd::kAllLines;
}

FaxBlockEnd DecodeG3TwoDBlock(FaxDecodeState& s, FaxBitReader& r,
                              int32_t lineCount) {
  bool eolTaken = false;  // the EOL that starts this line ended the last one
  for (int32_t i = 0; i < lineCount; ++i) {
    if (!eolTaken) {
      // Fill bits (and white runs of 0), then the line's EOL.
      int32_t code;
      do {
        if (!FaxDataLeft(r)) return FaxBlockEnd::kOutOfData;
        code = FaxWhiteRun(r);
      } while (code == 0);
      if (code != kFaxEol) return FaxBlockEnd::kDamaged;
    }
    eolTaken = false;
    if (!FaxDataLeft(r)) return FaxBlockEnd::kOutOfData;
    if (FaxTakeBit(r)) {
      // Tag 1: a one-dimensionally coded line.  EOL or the extension code
      // ends it early; the rest of it is white.
      int32_t k, pos;
      bool dirty;
      const int32_t stop = FaxDecodeRuns(r, s.width, s.current, k, pos, dirty);
      if (stop == kFaxInvalid || stop == kFaxOutOfData)
        return FaxBlockEnd::kDamaged;
      if (stop == kFaxEol) eolTaken = true;
      FinishAndWrite(s, k, pos, dirty);
    } else {
      Line line;
      switch (Decode2DLine(r, s.reference, s.current, s.width, line)) {
        case LineEnd::kDone: break;
        case LineEnd::kEndOfPage: return FaxBlockEnd::kPageEnd;
        case LineEnd::kDamaged: return FaxBlockEnd::kDamaged;
      }
      FinishAndWrite(s, line.count, s.width, line.dirty);
    }
  }
  return FaxBlockEnd::kAllLines;
}

int32_t DecodeG3TwoD(PageRecord* source, PageRecord* destination,
                     int32_t flags) {
  return DecodeFaxPage(source, destination, flags, DecodeG3TwoDBlock,
                       FaxShortBlock::kDamaged);
}

int32_t DecodeG4(PageRecord* source, PageRecord* destination, int32_t flags) {
  return DecodeFaxPage(source, destination, flags, DecodeG4Block,
                       FaxShortBlock::kDamaged);
}

}  // namespace quillon
