// JPEG decoder: the decoder state, its tables and the pieces that the clip
// readers (Motion-JPEG in AVI and QuickTime, through InitMotionJpegTables
// of codecs.h) and the encoder share.
//
// Striped pages (JPEG inside TIFF, compression 7 as libtiff writes it): a
// code-10 page whose stripOffsets and stripByteCounts are set and whose
// stripCount is 1 or more is decoded strip by strip, a single strip
// included.  Each strip is a JPEG stream of its own, usually abbreviated
// (no tables), lying within the page's buffer as the reader checked; strip
// k's lines land at line k x rowsPerStrip of the page (rowsPerStrip <= 0:
// after the previous strip's lines).  The tables stream (the JPEGTables
// field: SOI, DQT, DHT, EOI) is given by data + dataOffset and dataSize;
// dataSize 0 means none, and a stream there that holds a frame header is
// not a tables stream and is ignored.  The page's width and height give the
// output size.  Strips of R, G, B components are told from YCbCr ones by
// their component identifiers ('R', 'G', 'B', as libtiff names them) or an
// Adobe marker.
#pragma once

#include <array>
#include <cstdint>

#include "imaging/core/page.h"

namespace quillon {

// What the decoder does with a stream's Exif block (APP1 "Exif", a little
// TIFF file whose header lies at `exifOffset` of the stream): the TIFF
// directories are read above the codecs, by the caller that dispatches here.
struct ExifReader {
  // The thumbnail as the destination page: kExifThumbnailDone, the
  // fallback kNoExifThumbnail, or an ImagingError.
  int32_t (*thumbnail)(const uint8_t* data, uint32_t size, uint32_t exifOffset,
                       PageRecord* destination, int32_t flags);
  // The texts of the first directory into the destination's text fields.
  void (*texts)(const uint8_t* data, uint32_t size, uint32_t exifOffset,
                PageRecord* destination);
};
// Results of ExifReader::thumbnail besides the errors.
constexpr int32_t kNoExifThumbnail = 1;    // decode the main image instead
constexpr int32_t kExifThumbnailDone = 2;  // the destination holds it

// Marker codes: the byte that follows 0xFF.
enum JpegMarker : int {
  kMarkerSof0 = 0xC0,  // baseline sequential
  kMarkerSof1 = 0xC1,  // extended sequential (decoded as baseline at 8 bits)
  kMarkerSof2 = 0xC2,  // progressive
  kMarkerSof3 = 0xC3,  // lossless
  kMarkerDht = 0xC4,
  kMarkerDac = 0xCC,
  kMarkerRst0 = 0xD0,
  kMarkerRst7 = 0xD7,
  kMarkerSoi = 0xD8,
  kMarkerEoi = 0xD9,
  kMarkerSos = 0xDA,
  kMarkerDqt = 0xDB,
  kMarkerDnl = 0xDC,
  kMarkerDri = 0xDD,
  kMarkerApp0 = 0xE0,
  kMarkerApp1 = 0xE1,
  kMarkerApp14 = 0xEE,
  kMarkerCom = 0xFE,
};

// Limits of the state's bookkeeping.  A stream with more scans or table
// segments is decoded up to the last one recorded and reported as damaged
// (-4).
constexpr int kJpegMaxScans = 64;
constexpr int kJpegMaxSegments = 64;  // table segments after the first scan
// Added to the state's flags (next to the conversion flags) for SOF2.
constexpr int32_t kJpegProgressive = 0x10;
// Headers are looked for in the first 64 KB of a stream only; as much junk
// between segments (stray bytes, 0xFF followed by no known marker) is
// skipped, more is a bad header.
constexpr uint32_t kJpegHeaderLimit = 65536;
constexpr uint32_t kJpegJunkLimit = 65536;
// Codes a writer may put after 0xFF: TEM and 0xC0..0xFE.  Anything else
// (0x02..0xBF) is junk that happens to follow a 0xFF byte.
inline bool IsKnownJpegMarker(int code) { return code == 0x01 || (code >= 0xC0 && code < 0xFF); }

// One component of the frame header, with the table choice of the scan in
// progress.
struct JpegComponent {
  int32_t identifier;  // Ci
  int32_t index;       // position in the frame header
  int32_t horizontal;  // Hi
  int32_t vertical;    // Vi
  int32_t quantTable;  // Tqi
  int32_t dcTable;     // Tdj of the current scan
  int32_t acTable;     // Taj of the current scan
  int32_t inScan;      // 1 when the current scan codes this component
};

// A table segment (DHT, DQT, DRI) met after the first scan header; applied
// before the scan it precedes.
struct JpegSegment {
  int32_t marker;
  uint32_t position;  // of its length field, in the stream
  uint32_t length;    // the length field's value
  int32_t scan;       // the scan it precedes
};

// Lookups built from one Huffman table slot.  Entries are
// (code length << 8) | symbol; 0 marks a bit pattern that starts no code.
struct JpegHuffmanLookup {
  uint16_t* shortTable;  // DC: 64 entries (next 6 bits); AC: 256 (8 bits)
  uint16_t* longTable;   // DC: 4096 entries (12 bits); AC: 65536 (16 bits)
  // AC only, when a decode reads whole blocks: one read for a whole
  // coefficient whose code and value bits fit in 12 bits: value << 8 |
  // run << 4 | total length (the end of block: its length alone); 0 = not
  // held.
  int16_t* fastAc;
  // AC only, when a decode reads past coefficients (one-eighth size): one
  // to three whole coefficients within the next 14 bits, bits | k advance
  // << 5 | end of block << 12; 0 = not held.
  uint16_t* skipAc;
  // DC only, for the same decodes: a whole difference (code and value
  // bits) within the next 12 bits, value << 4 | total length; 0 = not held.
  int16_t* fastDc;
  // Canonical decoding (T.81 F.2.2.3) of DC codes longer than 12 bits.
  int32_t maxCode[18];  // largest code of each length, -1 when none
  int32_t valueOffset[17];
  uint8_t values[256];
  uint8_t owned;  // 0: borrowed from a clip's shared state or the thread's cache
  uint32_t* users;  // borrowed from the thread's cache: its count of borrowers
};

struct JpegDecoderState {
  // Quantisation tables, indexed by Tq: zig-zag order as read, natural
  // order and AAN-scaled once prepared.
  int32_t quant[16][64];
  // The inverse DCT's dequantisation, natural order: 8 x the entry as read.
  // It multiplies a coefficient by this and then by the AAN factor, which
  // keeps the factor's precision where the prepared table above rounds it
  // to a few bits for small entries (high qualities).
  int16_t idctQuant[16][64];
  // (value & 1023) -> value + 128 clamped to 0..255.
  uint8_t rangeLimit[1024];
  // Colour clamp tables, indexed modulo 2048.
  uint8_t clamp24[2048];
  uint16_t clampRed[2048];
  uint16_t clampGreen[2048];
  uint16_t clampBlue[2048];
  // Huffman tables as read (counts, symbols): slots 0..3 DC, 4..7 AC.
  int32_t huffmanCounts[8][16];
  int32_t huffmanSymbols[8][256];
  uint8_t huffmanPresent[8];
  // Lookups of every present slot, and the ones in use for the component
  // being decoded.
  JpegHuffmanLookup lookups[8];
  const JpegHuffmanLookup* currentDc;
  const JpegHuffmanLookup* currentAc;
  int32_t restartInterval;
  int32_t restartCountdown;
  int32_t flags;  // conversion flags, plus kJpegProgressive
  uint32_t cleanedSize;
  uint32_t exifOffset;  // of the Exif TIFF header in the stream; 0 = none
  uint32_t junkBytes;   // skipped between segments so far (not fill bytes)
  // Scans: count, the current one's spectral selection, where each scan
  // header and each scan's cleaned entropy data lie.
  int32_t scanCount;
  int32_t spectralStart;
  int32_t spectralEnd;
  uint32_t scanHeaders[kJpegMaxScans];  // stream position of the length field
  uint32_t scanStarts[kJpegMaxScans];   // in the cleaned data
  uint32_t scanEnds[kJpegMaxScans];
  JpegSegment segments[kJpegMaxSegments];
  int32_t segmentCount;
  // Frame.
  int32_t height;
  int32_t width;
  int32_t componentCount;
  int32_t sampling;  // component 0: horizontal factor x 16 + vertical
  int32_t frameType;  // SOF marker
  JpegComponent components[4];
  int32_t scanComponentCount;
  int32_t scanComponents[4];  // frame indexes, in scan order
  int32_t approximationHigh;
  int32_t approximationLow;
  int32_t adobeTransform;  // APP14 colour transform; -1 when absent
  char comment[128];
  // The entropy-coded data of every scan, unstuffed and without markers,
  // each scan followed by 8 zero bytes.  The page's own data is never
  // rewritten.
  uint8_t* cleaned;
  uint32_t cleanedCapacity;
  uint8_t quantPresent[16];  // 0 none, 1 as read, 2 prepared
  uint8_t huffmanDirty[8];  // table loaded, lookup not yet built
};

// ---------------------------------------------------------------------------
// Tables

// T.81 Figure A.6: the zig-zag index of each coefficient, natural order.
extern const std::array<uint8_t, 64> kZigzagOfNatural;
// The inverse: natural position of zig-zag index k, with 16 guard entries
// (63) so that a corrupt run cannot index past the block.
extern const std::array<uint8_t, 80> kNaturalOfZigzag;
namespace jpeg_detail {

// cos(x) for 0 <= x <= pi/2 by its Taylor series: the AAN factors are
// derived at compile time from the cosines they stand for.
constexpr double Cosine(double x) {
  double term = 1.0, sum = 1.0;
  for (int n = 1; n < 30; ++n) {
    term *= -x * x / ((2.0 * n - 1.0) * (2.0 * n));
    sum += term;
  }
  return sum;
}

// s(0) = 1, s(k) = cos(k pi / 16) x sqrt 2; factor(r, c) = 16384 s(r) s(c).
constexpr std::array<int32_t, 64> MakeAanScale() {
  constexpr double kPi = 3.14159265358979323846, kSqrt2 = 1.41421356237309504880;
  double s[8]{};
  for (int k = 0; k < 8; ++k) s[k] = k == 0 ? 1.0 : Cosine(k * kPi / 16.0) * kSqrt2;
  std::array<int32_t, 64> table{};
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c)
      table[r * 8 + c] = static_cast<int32_t>(16384.0 * s[r] * s[c] + 0.5);
  return table;
}

}  // namespace jpeg_detail

// AAN scale factors, natural order, 16384 = 1.0.
inline constexpr std::array<int32_t, 64> kAanScale = jpeg_detail::MakeAanScale();

// The four Huffman tables of T.81 Annex K.3 as one DHT segment (marker,
// length, then DC luminance, AC luminance, DC chrominance, AC
// chrominance): the tables that Motion-JPEG frames in AVI files leave out.
struct JpegStandardTable {
  int32_t slotByte;  // Tc << 4 | Th
  std::array<uint8_t, 16> counts;
  const uint8_t* symbols;
  int32_t symbolCount;
};
extern const std::array<JpegStandardTable, 4> kJpegStandardTables;
constexpr uint32_t kJpegStandardDhtLength = 2 + 2 + 4 * 17 + 12 + 162 + 12 + 162;
extern const std::array<uint8_t, kJpegStandardDhtLength> kJpegStandardDht;

// naturalBlock[i] = zigzagBlock[kZigzagOfNatural[i]] and its inverse.
void Dezigzag(const int32_t* zigzagBlock, int32_t* naturalBlock);
void Rezigzag(const int32_t* naturalBlock, int32_t* zigzagBlock);

// ---------------------------------------------------------------------------
// State and tables

// A zeroed state with the range-limit table filled and no adobe marker; null
// when memory is short.
JpegDecoderState* AllocateJpegState();
void FillRangeLimit(JpegDecoderState* state);
// 16-bpp tables when the state's flags have 1, else the 24-bpp table.
void BuildColourTables(JpegDecoderState* state);
// Zig-zag to natural order and AAN scaling of every slot a frame component
// uses (only entry 0 with flag 128).
void PrepareQuantTables(JpegDecoderState* state);

// Loads every table of one DHT segment body; 0, or -8 when the body is
// malformed (the tables read before the fault stay loaded).
int32_t ReadDht(const uint8_t* body, uint32_t length, JpegDecoderState* state);
// Loads every table of one DQT segment body; 0 or -8.
int32_t ReadDqt(const uint8_t* body, uint32_t length, JpegDecoderState* state);
// The lookups beyond the codes, built only for the decodes that read them:
// whole blocks (fastAc), or blocks read past for their DC (skipAc, and
// fastDc for the DC tables).
constexpr uint32_t kJpegFastAc = 1, kJpegSkipAc = 2;
// With the extras: the lookups may be borrowed from those the calling
// thread built for the same table before (the state is then released on
// this thread).
constexpr uint32_t kJpegCachedLookups = 4;
// Builds the lookups of every slot whose table changed, and the AC extras
// in `acExtras` that a slot lacks; 0 or -1.
// Slots 0 and 1 that no DHT defined get the Annex K.3 tables.
int32_t BuildHuffmanLookup(JpegDecoderState* state, uint32_t acExtras = kJpegFastAc | kJpegSkipAc);
// Releases the lookups the state owns and clears every pointer.
void FreeHuffmanLookup(JpegDecoderState* state);

// Walks marker segments from *position (at a marker's 0xFF) and stops at a
// frame header (SOF0..SOF15 but DHT, DAC), SOI, EOI or SOS, leaving
// *position at that marker's length field; returns the marker, or -8 when
// the data ends, a marker lies beyond the first 64 KB or a table segment is
// malformed.
int32_t ParseJpegMarkers(const uint8_t* data, uint32_t* position,
                         JpegDecoderState* state, uint32_t length);
// Frame and scan headers at *position (the length field); 0, or 1 for a bad
// segment.  *position moves past the segment.
int32_t ReadSof(const uint8_t* data, uint32_t* position,
                JpegDecoderState* state, uint32_t length);
int32_t ReadSos(const uint8_t* data, uint32_t* position,
                JpegDecoderState* state, uint32_t length);
// Copies the entropy-coded data of every scan from `position` (just after
// the first scan header) into the state's cleaned buffer and records the
// later scan headers and table segments.  0 or -1.
int32_t CleanEntropyData(const uint8_t* data, uint32_t length,
                         uint32_t position, JpegDecoderState* state);

// ---------------------------------------------------------------------------
// Reconstruction

// In place: 64 coefficients in natural order become 64 sample bytes,
// written row by row to `out` with `stride` bytes between rows.  The
// coefficient block is left zeroed for the next block.
void InverseDct(const JpegDecoderState* state, int16_t* block, int table,
                uint8_t* out, uint32_t stride);
// The same through the portable code, whatever the machine.
void InverseDctPortable(const int16_t* quant, int16_t* block, uint8_t* out,
                        uint32_t stride, const uint8_t* rangeLimit);
// Two blocks, each with its own table, output and stride: on AVX2
// machines one block in each half of the vector registers.
void InverseDctPair(const JpegDecoderState* state, int16_t* blockA, int tableA, uint8_t* outA,
                    uint32_t strideA, int16_t* blockB, int tableB, uint8_t* outB, uint32_t strideB);

// Which build of the codec's vector loops runs: the one the machine suits
// best, or one in particular (AVX2 only where the machine has it); the
// tests compare them.  SetJpegVectorUnit sets what kBest means for every
// encode and decode from then on.
enum class JpegVectorUnit { kBest, kPortable, kAvx2 };
void SetJpegVectorUnit(JpegVectorUnit unit);
bool JpegUsesAvx2(JpegVectorUnit unit);

}  // namespace quillon
