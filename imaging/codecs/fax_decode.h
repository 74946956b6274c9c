// Pieces shared by the fax decoders: the page's blocks (strips), the run-list
// output and the changing-element lines every decoder builds.
//
// Every decoder turns a line into changing elements: the positions where a
// run ends, white runs at even entries, black at odd, never decreasing and
// never past the width.  FinishLine repairs and closes the line (equal
// neighbours cancel, a short line is padded with white, the last element is
// the width); WriteLine turns it into runs.
#pragma once

#include <cstdint>

#include "imaging/codecs/fax_bits.h"
#include "imaging/core/page.h"

namespace quillon {

// How decoding of a block (a strip, or the whole data) ended.
enum class FaxBlockEnd {
  kAllLines,   // every line the block holds was decoded
  kOutOfData,  // the data ended at the start of a line
  kPageEnd,    // EOFB or RTC: the page ends here, successfully
  kDamaged,    // damaged or truncated inside a line
};

// Entries holding the width that close every line: a scan for b1 or b2
// reads at most six entries past the last element.
constexpr int32_t kFaxClosingEntries = 6;

// Runs of V0 codes copy kFaxCopyBlock reference elements at a time, reading
// and writing that many entries past the ones they use.
constexpr int32_t kFaxCopyBlock = 32;

// Entries of an element array: a damaged two-dimensional line can hold up
// to 2 x width + 6 elements before its repair, then the closing entries,
// and room for a block copy past either.
constexpr uint64_t FaxElementCapacity(int32_t width) {
  return 2 * static_cast<uint64_t>(width < 0 ? 0 : width) + 16 + 2 * kFaxCopyBlock;
}

struct FaxDecodeState {
  int32_t width;
  int32_t height;
  // A bitmap target: rows `stride` bytes apart, painted line by line from
  // the changing elements through `black` (the line's black pixels as set
  // bits, a word per 64 pixels and one more); null for run lists.
  uint8_t* rows;
  uint32_t stride;
  uint64_t* black;
  uint8_t** lines;  // the output's line pointer table, at its start
  uint8_t* out;     // next output byte
  uint8_t* end;     // end of the output buffer
  uint32_t lineRoom;   // bytes a line may take, with the final three zeros
  bool outOfMemory;    // the buffer could not grow: the page fails with -1
  int32_t y;        // lines written
  int32_t* current;    // changing elements of the line being decoded
  int32_t* reference;  // those of the line above (two-dimensional coding)
  int32_t referenceCount;  // elements of the reference line, the last = width
};

// Moves the output into a buffer with room for at least one more line and
// the final three zero bytes.  False (and outOfMemory set) when memory is
// short.
bool FaxGrowOutput(FaxDecodeState& s);

// Writes a finished line's runs and its terminator.  A run takes one byte
// below 128, else two (0x80 | high byte, low byte); both bytes are stored
// either way and the terminator overwrites the spare one.  Once the buffer
// cannot grow, nothing more is written.
inline void FaxWriteLine(FaxDecodeState& s, const int32_t* e, int32_t k) {
  if (static_cast<uint64_t>(s.end - s.out) < s.lineRoom && !FaxGrowOutput(s)) return;
  uint8_t* o = s.out;
  s.lines[s.y++] = o;
  int32_t previous = 0;
  for (int32_t i = 0; i < k; ++i) {
    const uint32_t run = static_cast<uint32_t>(e[i] - previous);
    previous = e[i];
    const bool twoBytes = run >= 128;
    o[0] = static_cast<uint8_t>(twoBytes ? 0x80 | (run >> 8) : run);
    o[1] = static_cast<uint8_t>(run);
    o += twoBytes ? 2 : 1;
  }
  o[0] = o[1] = o[2] = 0;
  s.out = o + 3;
}

// Paints a finished line's elements into the next row of the bitmap: the
// colour changes at every element, the bits past the width are white
// (set) and the padding bytes clear, as painting its runs would give.
void FaxPaintLine(FaxDecodeState& s, const int32_t* e, int32_t k);

// A finished line, whichever the target.
inline void FaxPutLine(FaxDecodeState& s, const int32_t* e, int32_t k) {
  if (s.rows)
    FaxPaintLine(s, e, k);
  else
    FaxWriteLine(s, e, k);
}

// Repairs the `k` elements of a line in place and returns their new count:
// a zero-length run inside the line cancels with its neighbour; when the
// line stops short of the width (`extent` is where its decoded pixels end)
// the rest is white; the last element is the width; kFaxClosingEntries
// entries holding the width follow, so that reference scans stop there.
// `dirty` says a zero-length run may be present.
int32_t FaxFinishLine(int32_t* e, int32_t k, int32_t extent, int32_t width,
                      bool dirty);

// Sentinel result of FaxDecodeRuns: the data ended inside the line.
constexpr int32_t kFaxOutOfData = -10000;

// Decodes one-dimensional runs, white first, into changing elements until
// the width is reached (result 0, `k` elements ending with the width) or a
// code stops the line early: kFaxEol, kFaxExtension1D, kFaxInvalid (also
// for a line made of endless zero-length runs) or kFaxOutOfData.  `pos` is
// where the decoded pixels end; `dirty` is set when a zero-length run
// appeared inside the line.
int32_t FaxDecodeRuns(FaxBitReader& r, int32_t width, int32_t* e, int32_t& k,
                      int32_t& pos, bool& dirty);

// Writes a white line of the width.
void FaxWriteWhiteLine(FaxDecodeState& s);

// Sets `e` to the all-white line (one element, the width, and the closing
// entries).
void FaxWhiteElements(int32_t* e, int32_t width);

// Two-dimensional lines decode most steps from one lookup of a step table
// (the default); switched off, every step is decoded code by code, as the
// tests compare them.
void SetFaxStepLookups(bool on);

// The block decoders: each decodes up to `lineCount` lines from `r`.
FaxBlockEnd DecodeMhBlock(FaxDecodeState& s, FaxBitReader& r, int32_t lineCount);
FaxBlockEnd DecodeG3OneDBlock(FaxDecodeState& s, FaxBitReader& r,
                              int32_t lineCount);
FaxBlockEnd DecodeG3TwoDBlock(FaxDecodeState& s, FaxBitReader& r,
                              int32_t lineCount);
FaxBlockEnd DecodeG4Block(FaxDecodeState& s, FaxBitReader& r, int32_t lineCount);

using FaxBlockDecoder = FaxBlockEnd (*)(FaxDecodeState&, FaxBitReader&, int32_t);

// What a block that ends before its last line means.
enum class FaxShortBlock {
  kBlankRest,  // Modified Huffman, G3 1-D: the remaining lines are blank
  kDamaged,    // G3 2-D, G4: the data ended before the page did
};

// The page driver every decoder runs: fill-order normalisation, the output
// buffer (run lists, or with `packedRows` a bitmap, the caller's with flag
// 8 when it is large enough), block by block decoding, the end of the page
// and flag 4.
int32_t DecodeFaxPage(PageRecord* source, PageRecord* destination,
                      int32_t flags, FaxBlockDecoder decodeBlock,
                      FaxShortBlock shortBlock, bool packedRows);

}  // namespace quillon
