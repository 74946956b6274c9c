// CCITT fax code tables.  The code words are kept as ITU-T T.4 and T.6
// print them (T.4 Tables 2 and 3, T.6 Table 1): one {bits, length, run} row
// per code, bits right-aligned.  The decoders' peek tables and the encoders'
// code lookups are derived from these rows by constexpr code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quillon {

struct FaxCodeRow {
  uint16_t bits;   // the code word, right-aligned
  uint8_t length;  // bits in the code word
  int16_t run;     // run length, or the mode / special value it stands for
};

// Results of a run decode besides run lengths.
constexpr int16_t kFaxEol = -9999;        // 000000000001
constexpr int16_t kFaxExtension1D = -9998;  // 000000001011: uncompressed mode
constexpr int16_t kFaxInvalid = -1;       // no code starts with these bits

// T.4 Table 2: white terminating codes (runs 0..63), then make-up codes.
inline constexpr FaxCodeRow kWhiteCodes[] = {
    {0b00110101, 8, 0},   {0b000111, 6, 1},     {0b0111, 4, 2},
    {0b1000, 4, 3},       {0b1011, 4, 4},       {0b1100, 4, 5},
    {0b1110, 4, 6},       {0b1111, 4, 7},       {0b10011, 5, 8},
    {0b10100, 5, 9},      {0b00111, 5, 10},     {0b01000, 5, 11},
    {0b001000, 6, 12},    {0b000011, 6, 13},    {0b110100, 6, 14},
    {0b110101, 6, 15},    {0b101010, 6, 16},    {0b101011, 6, 17},
    {0b0100111, 7, 18},   {0b0001100, 7, 19},   {0b0001000, 7, 20},
    {0b0010111, 7, 21},   {0b0000011, 7, 22},   {0b0000100, 7, 23},
    {0b0101000, 7, 24},   {0b0101011, 7, 25},   {0b0010011, 7, 26},
    {0b0100100, 7, 27},   {0b0011000, 7, 28},   {0b00000010, 8, 29},
    {0b00000011, 8, 30},  {0b00011010, 8, 31},  {0b00011011, 8, 32},
    {0b00010010, 8, 33},  {0b00010011, 8, 34},  {0b00010100, 8, 35},
    {0b00010101, 8, 36},  {0b00010110, 8, 37},  {0b00010111, 8, 38},
    {0b00101000, 8, 39},  {0b00101001, 8, 40},  {0b00101010, 8, 41},
    {0b00101011, 8, 42},  {0b00101100, 8, 43},  {0b00101101, 8, 44},
    {0b00000100, 8, 45},  {0b00000101, 8, 46},  {0b00001010, 8, 47},
    {0b00001011, 8, 48},  {0b01010010, 8, 49},  {0b01010011, 8, 50},
    {0b01010100, 8, 51},  {0b01010101, 8, 52},  {0b00100100, 8, 53},
    {0b00100101, 8, 54},  {0b01011000, 8, 55},  {0b01011001, 8, 56},
    {0b01011010, 8, 57},  {0b01011011, 8, 58},  {0b01001010, 8, 59},
    {0b01001011, 8, 60},  {0b00110010, 8, 61},  {0b00110011, 8, 62},
    {0b00110100, 8, 63},
    {0b11011, 5, 64},      {0b10010, 5, 128},     {0b010111, 6, 192},
    {0b0110111, 7, 256},   {0b00110110, 8, 320},  {0b00110111, 8, 384},
    {0b01100100, 8, 448},  {0b01100101, 8, 512},  {0b01101000, 8, 576},
    {0b01100111, 8, 640},  {0b011001100, 9, 704}, {0b011001101, 9, 768},
    {0b011010010, 9, 832}, {0b011010011, 9, 896}, {0b011010100, 9, 960},
    {0b011010101, 9, 1024}, {0b011010110, 9, 1088}, {0b011010111, 9, 1152},
    {0b011011000, 9, 1216}, {0b011011001, 9, 1280}, {0b011011010, 9, 1344},
    {0b011011011, 9, 1408}, {0b010011000, 9, 1472}, {0b010011001, 9, 1536},
    {0b010011010, 9, 1600}, {0b011000, 6, 1664},   {0b010011011, 9, 1728},
};

// T.4 Table 3: black terminating codes (runs 0..63), then make-up codes.
inline constexpr FaxCodeRow kBlackCodes[] = {
    {0b0000110111, 10, 0},   {0b010, 3, 1},           {0b11, 2, 2},
    {0b10, 2, 3},            {0b011, 3, 4},           {0b0011, 4, 5},
    {0b0010, 4, 6},          {0b00011, 5, 7},         {0b000101, 6, 8},
    {0b000100, 6, 9},        {0b0000100, 7, 10},      {0b0000101, 7, 11},
    {0b0000111, 7, 12},      {0b00000100, 8, 13},     {0b00000111, 8, 14},
    {0b000011000, 9, 15},    {0b0000010111, 10, 16},  {0b0000011000, 10, 17},
    {0b0000001000, 10, 18},  {0b00001100111, 11, 19}, {0b00001101000, 11, 20},
    {0b00001101100, 11, 21}, {0b00000110111, 11, 22}, {0b00000101000, 11, 23},
    {0b00000010111, 11, 24}, {0b00000011000, 11, 25}, {0b000011001010, 12, 26},
    {0b000011001011, 12, 27}, {0b000011001100, 12, 28}, {0b000011001101, 12, 29},
    {0b000001101000, 12, 30}, {0b000001101001, 12, 31}, {0b000001101010, 12, 32},
    {0b000001101011, 12, 33}, {0b000011010010, 12, 34}, {0b000011010011, 12, 35},
    {0b000011010100, 12, 36}, {0b000011010101, 12, 37}, {0b000011010110, 12, 38},
    {0b000011010111, 12, 39}, {0b000001101100, 12, 40}, {0b000001101101, 12, 41},
    {0b000011011010, 12, 42}, {0b000011011011, 12, 43}, {0b000001010100, 12, 44},
    {0b000001010101, 12, 45}, {0b000001010110, 12, 46}, {0b000001010111, 12, 47},
    {0b000001100100, 12, 48}, {0b000001100101, 12, 49}, {0b000001010010, 12, 50},
    {0b000001010011, 12, 51}, {0b000000100100, 12, 52}, {0b000000110111, 12, 53},
    {0b000000111000, 12, 54}, {0b000000100111, 12, 55}, {0b000000101000, 12, 56},
    {0b000001011000, 12, 57}, {0b000001011001, 12, 58}, {0b000000101011, 12, 59},
    {0b000000101100, 12, 60}, {0b000001011010, 12, 61}, {0b000001100110, 12, 62},
    {0b000001100111, 12, 63},
    {0b0000001111, 10, 64},    {0b000011001000, 12, 128}, {0b000011001001, 12, 192},
    {0b000001011011, 12, 256}, {0b000000110011, 12, 320}, {0b000000110100, 12, 384},
    {0b000000110101, 12, 448}, {0b0000001101100, 13, 512}, {0b0000001101101, 13, 576},
    {0b0000001001010, 13, 640}, {0b0000001001011, 13, 704}, {0b0000001001100, 13, 768},
    {0b0000001001101, 13, 832}, {0b0000001110010, 13, 896}, {0b0000001110011, 13, 960},
    {0b0000001110100, 13, 1024}, {0b0000001110101, 13, 1088}, {0b0000001110110, 13, 1152},
    {0b0000001110111, 13, 1216}, {0b0000001010010, 13, 1280}, {0b0000001010011, 13, 1344},
    {0b0000001010100, 13, 1408}, {0b0000001010101, 13, 1472}, {0b0000001011010, 13, 1536},
    {0b0000001011011, 13, 1600}, {0b0000001100100, 13, 1664}, {0b0000001100101, 13, 1728},
};

// T.4 Table 3 (continued): extended make-up codes, the same for both colours.
inline constexpr FaxCodeRow kExtendedMakeupCodes[] = {
    {0b00000001000, 11, 1792}, {0b00000001100, 11, 1856},
    {0b00000001101, 11, 1920}, {0b000000010010, 12, 1984},
    {0b000000010011, 12, 2048}, {0b000000010100, 12, 2112},
    {0b000000010101, 12, 2176}, {0b000000010110, 12, 2240},
    {0b000000010111, 12, 2304}, {0b000000011100, 12, 2368},
    {0b000000011101, 12, 2432}, {0b000000011110, 12, 2496},
    {0b000000011111, 12, 2560},
};

// EOL (T.4 4.1.2) and the one extension code of the one-dimensional codes
// (T.4 4.1.6) that the decoders report rather than treat as invalid.
inline constexpr FaxCodeRow kEolCode = {0b000000000001, 12, kFaxEol};
inline constexpr FaxCodeRow kExtension1DCode = {0b000000001011, 12,
                                                kFaxExtension1D};

// Two-dimensional modes (T.4 Table 4, T.6 Table 1).  The run field holds
// the mode value the decoder switches on: vertical left n = n, vertical
// right n = 16 + n, horizontal 32, pass 48, extension 64.
enum FaxMode : int16_t {
  kModeV0 = 0,
  kModeVL1 = 1, kModeVL2 = 2, kModeVL3 = 3,
  kModeVR1 = 17, kModeVR2 = 18, kModeVR3 = 19,
  kModeHorizontal = 32,
  kModePass = 48,
  kModeExtension = 64,
  kModeEndOfData = 144,  // seven zero bits: EOL (RTC, EOFB) or garbage
};

inline constexpr FaxCodeRow kTwoDModeCodes[] = {
    {0b1, 1, kModeV0},          {0b011, 3, kModeVR1},
    {0b000011, 6, kModeVR2},    {0b0000011, 7, kModeVR3},
    {0b010, 3, kModeVL1},       {0b000010, 6, kModeVL2},
    {0b0000010, 7, kModeVL3},   {0b001, 3, kModeHorizontal},
    {0b0001, 4, kModePass},     {0b0000001, 7, kModeExtension},
};
// The two-dimensional extension 0000001 followed by 111 enters uncompressed
// mode (T.4 4.2.1.3.5, T.6 2.2.5).
inline constexpr FaxCodeRow kUncompressedEntryCode = {0b0000001111, 10, 0};

// ---------------------------------------------------------------------------
// Derived decoding tables.  Every lookup peeks a 16-bit window of the coded
// bits, first bit at the top.

struct FaxPeekEntry {
  int16_t length;  // bits consumed, counted from the start of the code
  int16_t run;     // run length, make-up value, or a special result
};

struct FaxModeEntry {
  uint8_t mode;    // FaxMode value (144 = end of data)
  uint8_t length;  // bits consumed; 0 for extension and end of data
  int8_t shift;    // vertical modes: a1 - b1 (-3..3); otherwise 0
};

// Two terminating codes read by one lookup: a run and the run of the other
// colour after it, when both codes fit in the 12 bits looked at.
struct FaxPairEntry {
  uint8_t first;        // the first run (0..63)
  uint8_t second;       // the second run (0..63)
  uint8_t firstLength;  // bits of the first code
  uint8_t length;       // bits of both codes; 0 = no such pair here
};

// One two-dimensional step by the top 12 bits of the window, for a0 white
// (the first 4096 entries) or black: a vertical mode, a pass, or a
// horizontal mode whose two runs are non-empty terminating codes that fit
// in the 12 bits with the mode code.  Busy pages are almost all such steps.
struct FaxStepEntry {
  uint8_t length;  // bits of the step; 0: none here, the step is decoded code by code
  uint8_t kind;    // kFaxStepVertical, kFaxStepHorizontal or kFaxStepPass, and
                   // kFaxStepFixed when b1 moves on by a fixed count
  int8_t first;    // vertical: a1 - b1; horizontal: the first run; pass: 0
  uint8_t second;  // horizontal: the second run; otherwise 0
};
// The kind's low bits are the elements the step adds.
constexpr uint8_t kFaxStepPass = 0, kFaxStepVertical = 1, kFaxStepHorizontal = 2;
// V0 and VL1 (the next b1 is the element after b1) and the pass (b1 + 2).
constexpr uint8_t kFaxStepFixed = 4;

struct FaxOutCode {
  uint16_t bits;
  uint8_t length;
};

namespace faxtables {

// Every index of a `indexBits`-bit table whose leading bits are the code
// word gets the entry.
template <typename Table, typename Entry>
constexpr void Spread(Table& table, int indexBits, uint32_t bits, int length,
                      Entry entry) {
  const int free = indexBits - length;
  for (uint32_t i = 0; i < (1u << free); ++i) table[(bits << free) | i] = entry;
}

constexpr bool BeginsWithFourZeros(const FaxCodeRow& r) {
  return r.length > 4 && (r.bits >> (r.length - 4)) == 0;
}

constexpr FaxPeekEntry Peek(const FaxCodeRow& r) {
  return FaxPeekEntry{static_cast<int16_t>(r.length), r.run};
}

constexpr std::array<FaxPeekEntry, 512> BuildWhite() {
  std::array<FaxPeekEntry, 512> t{};
  for (auto& e : t) e = {1, kFaxInvalid};
  for (const FaxCodeRow& r : kWhiteCodes) Spread(t, 9, r.bits, r.length, Peek(r));
  return t;
}

constexpr std::array<FaxPeekEntry, 64> BuildBlack() {
  std::array<FaxPeekEntry, 64> t{};
  for (auto& e : t) e = {1, kFaxInvalid};
  for (const FaxCodeRow& r : kBlackCodes)
    if (!BeginsWithFourZeros(r)) Spread(t, 6, r.bits, r.length, Peek(r));
  return t;
}

// 13-bit windows whose first four bits are zero.
constexpr std::array<FaxPeekEntry, 512> BuildLong() {
  std::array<FaxPeekEntry, 512> t{};
  for (auto& e : t) e = {1, kFaxInvalid};
  for (const FaxCodeRow& r : kBlackCodes)
    if (BeginsWithFourZeros(r)) Spread(t, 13, r.bits, r.length, Peek(r));
  for (const FaxCodeRow& r : kExtendedMakeupCodes)
    Spread(t, 13, r.bits, r.length, Peek(r));
  Spread(t, 13, kEolCode.bits, kEolCode.length, Peek(kEolCode));
  Spread(t, 13, kExtension1DCode.bits, kExtension1DCode.length,
         Peek(kExtension1DCode));
  // Twelve or more zeros: fill bits, taken one at a time as white runs of 0.
  t[0] = t[1] = {1, 0};
  return t;
}

constexpr int8_t VerticalShift(int16_t mode) {
  if (mode == kModeV0) return 0;
  if (mode >= kModeVL1 && mode <= kModeVL3) return static_cast<int8_t>(-mode);
  if (mode >= kModeVR1 && mode <= kModeVR3) return static_cast<int8_t>(mode - 16);
  return 0;
}

constexpr std::array<FaxModeEntry, 128> BuildModes() {
  std::array<FaxModeEntry, 128> t{};
  for (const FaxCodeRow& r : kTwoDModeCodes) {
    // The extension is examined further and not consumed here.
    uint8_t length = r.run == kModeExtension ? 0 : r.length;
    Spread(t, 7, r.bits, r.length,
           FaxModeEntry{static_cast<uint8_t>(r.run), length, VerticalShift(r.run)});
  }
  t[0] = {static_cast<uint8_t>(kModeEndOfData), 0, 0};
  return t;
}

constexpr FaxOutCode Out(const FaxCodeRow& r) { return {r.bits, r.length}; }

// Terminating codes by run (0..63).
template <size_t N>
constexpr std::array<FaxOutCode, 64> BuildTerminating(const FaxCodeRow (&rows)[N]) {
  std::array<FaxOutCode, 64> t{};
  for (const FaxCodeRow& r : rows)
    if (r.run < 64) t[r.run] = Out(r);
  return t;
}

// Make-up codes by run / 64 (1..40, 64..2560); entry 0 unused.
template <size_t N>
constexpr std::array<FaxOutCode, 41> BuildMakeup(const FaxCodeRow (&rows)[N]) {
  std::array<FaxOutCode, 41> t{};
  for (const FaxCodeRow& r : rows)
    if (r.run >= 64) t[r.run / 64] = Out(r);
  for (const FaxCodeRow& r : kExtendedMakeupCodes) t[r.run / 64] = Out(r);
  return t;
}

// Every terminating code of the first colour followed by one of the
// second colour, when the two fit in 12 bits.
template <size_t A, size_t B>
constexpr std::array<FaxPairEntry, 4096> BuildPairs(const FaxCodeRow (&first)[A],
                                                    const FaxCodeRow (&second)[B]) {
  std::array<FaxPairEntry, 4096> t{};
  for (const FaxCodeRow& a : first) {
    if (a.run >= 64) continue;
    for (const FaxCodeRow& b : second) {
      if (b.run >= 64 || a.length + b.length > 12) continue;
      const uint32_t bits = (static_cast<uint32_t>(a.bits) << b.length) | b.bits;
      Spread(t, 12, bits, a.length + b.length,
             FaxPairEntry{static_cast<uint8_t>(a.run), static_cast<uint8_t>(b.run), a.length,
                          static_cast<uint8_t>(a.length + b.length)});
    }
  }
  return t;
}

// Every vertical mode and the pass, and every horizontal mode with two
// short non-empty runs (`first` colour, then `second`), spread over a
// 12-bit index.
template <size_t A, size_t B>
constexpr void AddSteps(FaxStepEntry* t, const FaxCodeRow (&first)[A],
                        const FaxCodeRow (&second)[B]) {
  auto spread = [&](uint32_t bits, int length, FaxStepEntry entry) {
    for (uint32_t i = 0; i < (1u << (12 - length)); ++i) t[(bits << (12 - length)) | i] = entry;
  };
  for (const FaxCodeRow& m : kTwoDModeCodes) {
    const uint8_t length = m.length;
    if (m.run == kModePass) {
      spread(m.bits, length, FaxStepEntry{length, kFaxStepPass | kFaxStepFixed, 0, 0});
    } else if (m.run < kModeHorizontal) {
      const int8_t shift = VerticalShift(m.run);
      const bool fixed = shift == 0 || shift == -1;
      spread(m.bits, length,
             FaxStepEntry{length, static_cast<uint8_t>(kFaxStepVertical | (fixed ? kFaxStepFixed : 0)),
                          shift, 0});
    } else if (m.run == kModeHorizontal) {
      for (const FaxCodeRow& a : first) {
        if (a.run < 1 || a.run >= 64) continue;
        for (const FaxCodeRow& b : second) {
          const int total = m.length + a.length + b.length;
          if (b.run < 1 || b.run >= 64 || total > 12) continue;
          const uint32_t bits = (((static_cast<uint32_t>(m.bits) << a.length) | a.bits) << b.length) | b.bits;
          spread(bits, total,
                 FaxStepEntry{static_cast<uint8_t>(total), kFaxStepHorizontal, static_cast<int8_t>(a.run),
                              static_cast<uint8_t>(b.run)});
        }
      }
    }
  }
}

constexpr std::array<FaxStepEntry, 8192> BuildSteps() {
  std::array<FaxStepEntry, 8192> t{};
  AddSteps(t.data(), kWhiteCodes, kBlackCodes);
  AddSteps(t.data() + 4096, kBlackCodes, kWhiteCodes);
  return t;
}

// Vertical modes by b1 - a1 + 3: VR3, VR2, VR1, V0, VL1, VL2, VL3.
constexpr std::array<FaxOutCode, 7> BuildVertical() {
  std::array<FaxOutCode, 7> t{};
  for (const FaxCodeRow& r : kTwoDModeCodes) {
    if (r.run == kModeV0) t[3] = Out(r);
    else if (r.run >= kModeVL1 && r.run <= kModeVL3) t[3 + r.run] = Out(r);
    else if (r.run >= kModeVR1 && r.run <= kModeVR3) t[3 - (r.run - 16)] = Out(r);
  }
  return t;
}

}  // namespace faxtables

// White codes of up to 9 bits, indexed by the top 9 bits of the window;
// used when the top 7 bits are not all zero.
inline constexpr std::array<FaxPeekEntry, 512> kWhiteCodeTable =
    faxtables::BuildWhite();
// Black codes of 2 to 6 bits, indexed by the top 6 bits; used when the top
// 4 bits are not all zero.
inline constexpr std::array<FaxPeekEntry, 64> kBlackCodeTable =
    faxtables::BuildBlack();
// Codes that begin with four zero bits, indexed by the 9 bits after them
// (the top 13 bits of a window below 4096): black codes beginning 0000, the
// shared extended make-up codes, EOL, fill bits, the one-dimensional
// extension; anything else is invalid (one bit, -1).
inline constexpr std::array<FaxPeekEntry, 512> kLongCodeTable =
    faxtables::BuildLong();
// Indexed by the top 7 bits of the window (a first bit of 1 is V0).
inline constexpr std::array<FaxModeEntry, 128> kTwoDModeTable =
    faxtables::BuildModes();

// A white run and the black run after it, or the other way round, by the
// top 12 bits of the window (defined in fax_tables.cpp).
extern const std::array<FaxPairEntry, 4096> kWhiteBlackPairTable;
extern const std::array<FaxPairEntry, 4096> kBlackWhitePairTable;
// Two-dimensional steps, a0 white then a0 black (defined in fax_tables.cpp).
extern const std::array<FaxStepEntry, 8192> kTwoDStepTable;

inline constexpr std::array<FaxOutCode, 64> kWhiteTerminating =
    faxtables::BuildTerminating(kWhiteCodes);
inline constexpr std::array<FaxOutCode, 64> kBlackTerminating =
    faxtables::BuildTerminating(kBlackCodes);
inline constexpr std::array<FaxOutCode, 41> kWhiteMakeup =
    faxtables::BuildMakeup(kWhiteCodes);
inline constexpr std::array<FaxOutCode, 41> kBlackMakeup =
    faxtables::BuildMakeup(kBlackCodes);
inline constexpr std::array<FaxOutCode, 7> kVerticalCodes =
    faxtables::BuildVertical();

}  // namespace quillon
