// The two-dimensional fax decoders: G3 2-D (T.4 two-dimensional coding,
// EOL and a tag bit before every line) and G4 (T.6).
//
// A line is decoded against the changing elements of the line above
// (`ref`).  The index b always names b1 (T.4 4.2.1.3.1): the first changing
// element of the reference line to the right of a0 whose colour is opposite
// to a0's; even entries end white runs, so b is even while the colour is
// white.  Reference lines are repaired (strictly increasing, closed by
// entries holding the width), which keeps every scan inside the line.
#include <atomic>
#include <cstring>

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
// the element pointer and b1 for the two-dimensional coding that resumes.
bool DecodeUncompressed(FaxBitReader& r, const int32_t* ref, int32_t* cur,
                        int32_t width, int32_t*& pk, int32_t& a0,
                        const int32_t*& pb, bool& dirty) {
  int32_t p = a0 < 0 ? 0 : a0;
  // The colour of the run at a0: white while b1 is an even entry.
  bool white = ((pb - ref) & 1) == 0;
  auto change = [&](int32_t at) {
    if (pk > cur && pk[-1] == at) dirty = true;
    *pk++ = at;
    white = !white;
  };
  for (;;) {
    if (!FaxDataLeft(r) || pk - cur > width) return false;
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
    if (p > width) return false;
    if (exit) {
      const bool nextWhite = FaxTakeBit(r) == 0;
      if (nextWhite != white) change(p);
      break;
    }
  }
  if (FaxOverrun(r)) return false;
  a0 = p;
  // b1 takes the parity of the colour, then moves right of a0.
  if (((pb - ref) & 1) != (white ? 0 : 1)) pb = pb > ref ? pb - 1 : ref + 1;
  if (a0 < width)
    while (*pb <= a0) pb += 2;
  return true;
}

std::atomic<bool> gStepLookups{true};

// The first of q[0], q[2], q[4], ... right of `a`: the next b1 among the
// reference elements of one parity, a scan of a step or two whose branches
// follow the pattern of busy pages.  The closing entries stop it.
inline const int32_t* NextOfParity(const int32_t* q, int32_t a) {
  while (*q <= a) q += 2;
  return q;
}

// Decodes one two-dimensionally coded line into `cur`.  Every mode moves
// a0 to the right (a horizontal mode of two empty runs is damage) and only
// horizontal and uncompressed modes can repeat a position, and only while
// the line holds no more elements than the width; so a line ends with at
// most 2 x width + 3 elements, and b1 never passes the reference line's
// second closing entry.
LineEnd Decode2DLine(FaxBitReader& reader, const int32_t* ref,
                     int32_t refCount, int32_t* cur, int32_t width, Line& line) {
  FaxBitReader r = reader;  // positions kept in locals
  const int32_t* pb = ref;  // b1
  int32_t* pk = cur;        // the next changing element
  int32_t a0 = -1;
  bool dirty = false;
  // A horizontal mode is damage once the line holds more elements than the
  // width; the slow steps look at that.
  const int32_t* const tooMany = cur + width;
  const bool lookups = gStepLookups.load(std::memory_order_relaxed);
  while (a0 < width) {
    // Far from the end of the data (no zero bits fed after it yet), and not
    // at V0 (whose runs are copied below), one lookup decodes a step.  Only
    // a horizontal mode needs the colour of a0 there.  The steps inside the
    // line stay in this loop.
    while (lookups && r.zeros == 0) {
      if (r.count < 32) {
        if (r.end - r.p < 8) break;
        uint64_t word;
        std::memcpy(&word, r.p, 8);
        r.bits |= __builtin_bswap64(word) >> r.count;
        const int32_t take = (63 - r.count) >> 3;
        r.p += take;
        r.count += take * 8;
      }
      if (r.bits >> 63) break;
      const uint32_t index = static_cast<uint32_t>(r.bits >> 52);
      FaxStepEntry e = kTwoDStepTable[index];
      if (!(e.kind & (kFaxStepVertical | kFaxStepFixed)) && ((pb - ref) & 1)) e = kTwoDStepTable[4096 + index];
      if (e.kind & kFaxStepFixed) {
        // V0, VL1: a1 = b1 + shift, and the next b1 is the element after
        // b1 (the element before it is left of a1, but for the closing
        // entries, where either holds the width and the line ends next).
        // Pass: a0 moves below b2, and b1 moves on by two.
        const int32_t pass = (e.kind & 3) == kFaxStepPass;
        const int32_t a1 = pb[pass] + e.first;
        if (a1 <= a0 || a1 >= width) break;
        *pk = a1;
        pk += 1 - pass;
        pb += 1 + pass;
        a0 = a1;
        FaxSkip(r, e.length);
      } else if (e.kind == kFaxStepVertical) {
        const int32_t a1 = pb[0] + e.first;
        if (a1 <= a0 || a1 >= width) break;
        *pk++ = a1;
        a0 = a1;
        FaxSkip(r, e.length);
        pb = NextOfParity(pb - 1, a1);
      } else {
        // Two non-empty runs inside the line: no repair needed.
        if (e.kind != kFaxStepHorizontal || pk > tooMany) break;
        const int32_t a1 = (a0 < 0 ? 0 : a0) + e.first;
        const int32_t a2 = a1 + e.second;
        if (a2 >= width) break;
        pk[0] = a1;
        pk[1] = a2;
        pk += 2;
        a0 = a2;
        FaxSkip(r, e.length);
        pb = NextOfParity(pb, a2);
      }
    }
    if (r.count < 32) {
      FaxFill(r);
      if (!FaxDataLeft(r)) return LineEnd::kDamaged;
    }
    if (r.bits >> 63) {
      // V0 (a1 = b1), often several in a row: one for each leading one,
      // each copying the next reference element, up to the element that
      // holds the width.  A fixed block is copied; the count says how much
      // of it is used.
      const int32_t ones = __builtin_clzll(~r.bits | (uint64_t{1} << 31));  // <= 32
      const int32_t left = static_cast<int32_t>(ref + refCount - pb);
      const int32_t used = left < 1 ? 1 : (ones < left ? ones : left);
      std::memcpy(pk, pb, kFaxCopyBlock * sizeof(int32_t));
      pk += used;
      pb += used;
      a0 = pb[-1];
      FaxSkip(r, used);
      continue;
    }
    const FaxModeEntry m = kTwoDModeTable[FaxPeek16(r) >> 9];
    FaxSkip(r, m.length);
    const bool pass = m.mode == kModePass;
    if (m.mode < kModeHorizontal || pass) {
      // V0, VL n, VR n: a1 = b1 + shift, a changing element; pass: a0
      // moves below b2 and the colour stays.  One path without branches on
      // the mode, since the modes of busy lines follow no pattern.
      const int32_t a1 = pass ? pb[1] : pb[0] + m.shift;
      if (a1 <= a0) return LineEnd::kDamaged;
      if (a1 >= width) {
        *pk++ = width;  // the run in progress ends at the width
        break;
      }
      *pk = a1;
      pk += pass ? 0 : 1;
      // The next b1 after a vertical mode: the first element right of a1
      // among b1's neighbours of the other parity, almost always one of
      // the next three candidates, compared at once.  After a pass: b1 + 2.
      const int32_t* next = pb > ref ? pb - 1 : ref + 1;
      const int32_t c0 = next[0], c2 = next[2], c4 = next[4];
      next += 2 * ((c0 <= a1) + (c2 <= a1) + (c4 <= a1));
      if (c4 <= a1)
        while (*next <= a1) next += 2;
      pb = pass ? pb + 2 : next;
      a0 = a1;
      continue;
    }
    switch (m.mode) {
      case kModeHorizontal: {
        // Two one-dimensional runs: a0a1 in the colour of a0, then a1a2.
        const bool white = ((pb - ref) & 1) == 0;
        int32_t first, second;
        const FaxPairEntry pair =
            (white ? kWhiteBlackPairTable : kBlackWhitePairTable)[FaxPeek16(r) >> 4];
        if (pair.length != 0 && r.zeros == 0) {
          // Two short terminating codes: one lookup.
          first = pair.first;
          second = pair.second;
          FaxSkip(r, pair.length);
        } else {
          first = white ? FaxWhiteRun(r) : FaxBlackRun(r);
          if (first < 0) return LineEnd::kDamaged;
          second = white ? FaxBlackRun(r) : FaxWhiteRun(r);
          if (second < 0 || FaxOverrun(r)) return LineEnd::kDamaged;
        }
        const int32_t start = a0 < 0 ? 0 : a0;
        if ((first | second) == 0 && a0 >= 0) return LineEnd::kDamaged;
        if (pk - cur > width) return LineEnd::kDamaged;
        int32_t a1 = start + first;
        if (a1 > width) a1 = width;
        int32_t a2 = a1 + second;
        if (a2 > width) a2 = width;
        if ((pk > cur && pk[-1] == a1) || a2 == a1) dirty = true;
        pk[0] = a1;
        pk[1] = a2;
        pk += 2;
        if (a2 < width)
          while (*pb <= a2) pb += 2;
        a0 = a2;
        break;
      }
      case kModeExtension:
        if ((FaxPeek16(r) >> 6) != kUncompressedEntryCode.bits)
          return LineEnd::kDamaged;
        FaxSkip(r, kUncompressedEntryCode.length);
        if (!DecodeUncompressed(r, ref, cur, width, pk, a0, pb, dirty))
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
  // The last codes must not have used bits past the data.
  if (FaxOverrun(r)) return LineEnd::kDamaged;
  reader = r;
  line.count = static_cast<int32_t>(pk - cur);
  line.dirty = dirty;
  return LineEnd::kDone;
}

// Closes and writes the decoded line, which becomes the reference line.
inline void FinishAndWrite(FaxDecodeState& s, int32_t k, int32_t extent,
                           bool dirty) {
  k = FaxFinishLine(s.current, k, extent, s.width, dirty);
  FaxPutLine(s, s.current, k);
  s.referenceCount = k;
  int32_t* swap = s.reference;
  s.reference = s.current;
  s.current = swap;
}

}  // namespace

FaxBlockEnd DecodeG4Block(FaxDecodeState& s, FaxBitReader& r,
                          int32_t lineCount) {
  for (int32_t i = 0; i < lineCount;) {
    if (!FaxDataLeft(r)) return FaxBlockEnd::kOutOfData;
    FaxFill(r);
    if (s.reference[0] == s.width && (r.bits >> 63)) {
      // Blank lines under a blank line: a single V0 each, so one bit per
      // line; the reference stays blank.
      int32_t ones = __builtin_clzll(~r.bits | (uint64_t{1} << 31));  // <= 32
      if (ones > lineCount - i) ones = lineCount - i;
      FaxSkip(r, ones);
      for (int32_t n = 0; n < ones; ++n) FaxWriteWhiteLine(s);
      i += ones;
      continue;
    }
    Line line;
    switch (Decode2DLine(r, s.reference, s.referenceCount, s.current, s.width, line)) {
      case LineEnd::kDone: break;
      case LineEnd::kEndOfPage: return FaxBlockEnd::kPageEnd;
      case LineEnd::kDamaged: return FaxBlockEnd::kDamaged;
    }
    FinishAndWrite(s, line.count, s.width, line.dirty);
    ++i;
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
      switch (Decode2DLine(r, s.reference, s.referenceCount, s.current, s.width, line)) {
        case LineEnd::kDone: break;
        case LineEnd::kEndOfPage: return FaxBlockEnd::kPageEnd;
        case LineEnd::kDamaged: return FaxBlockEnd::kDamaged;
      }
      FinishAndWrite(s, line.count, s.width, line.dirty);
    }
  }
  return FaxBlockEnd::kAllLines;
}

void SetFaxStepLookups(bool on) { gStepLookups.store(on, std::memory_order_relaxed); }

int32_t DecodeG3TwoD(PageRecord* source, PageRecord* destination,
                     int32_t flags, bool packedRows) {
  return DecodeFaxPage(source, destination, flags, DecodeG3TwoDBlock,
                       FaxShortBlock::kDamaged, packedRows);
}

int32_t DecodeG4(PageRecord* source, PageRecord* destination, int32_t flags,
                 bool packedRows) {
  return DecodeFaxPage(source, destination, flags, DecodeG4Block,
                       FaxShortBlock::kDamaged, packedRows);
}

}  // namespace quillon
