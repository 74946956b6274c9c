// Compile-time checks of the fax code rows, and the bit-reversal table that
// fill-order normalisation uses.
#include "imaging/codecs/fax_tables.h"

#include <cstddef>

#include "imaging/codecs/codecs.h"

namespace quillon {

namespace {

// A code set can be decoded only if no code word is a prefix of another.
constexpr bool IsPrefix(const FaxCodeRow& a, const FaxCodeRow& b) {
  if (a.length > b.length) return false;
  return (b.bits >> (b.length - a.length)) == a.bits;
}

template <size_t N>
constexpr bool PrefixFreeWithExtendedAndEol(const FaxCodeRow (&rows)[N]) {
  FaxCodeRow all[N + std::size(kExtendedMakeupCodes) + 1] = {};
  size_t n = 0;
  for (const FaxCodeRow& r : rows) all[n++] = r;
  for (const FaxCodeRow& r : kExtendedMakeupCodes) all[n++] = r;
  all[n++] = kEolCode;
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j < n; ++j)
      if (i != j && IsPrefix(all[i], all[j])) return false;
  return true;
}

constexpr bool ModesPrefixFree() {
  for (const FaxCodeRow& a : kTwoDModeCodes)
    for (const FaxCodeRow& b : kTwoDModeCodes)
      if (&a != &b && IsPrefix(a, b)) return false;
  return true;
}

// Terminating codes 0..63 in order, then make-up codes 64, 128, ... 1728.
template <size_t N>
constexpr bool RunsInOrder(const FaxCodeRow (&rows)[N]) {
  for (size_t i = 0; i < N; ++i) {
    int expected = i < 64 ? static_cast<int>(i) : static_cast<int>(i - 63) * 64;
    if (rows[i].run != expected) return false;
  }
  return true;
}

// Codes no longer than a table's index must leave no index unassigned
// where the table is used: the code sets are complete there.
constexpr bool PeekTablesComplete() {
  for (int i = 4; i < 512; ++i)  // top 7 of 9 bits not all zero
    if (kWhiteCodeTable[i].run == kFaxInvalid) return false;
  for (int i = 4; i < 64; ++i)  // top 4 of 6 bits not all zero
    if (kBlackCodeTable[i].run == kFaxInvalid) return false;
  return true;
}

static_assert(std::size(kWhiteCodes) == 64 + 27);
static_assert(std::size(kBlackCodes) == 64 + 27);
static_assert(std::size(kExtendedMakeupCodes) == 13);
static_assert(RunsInOrder(kWhiteCodes) && RunsInOrder(kBlackCodes));
static_assert(PrefixFreeWithExtendedAndEol(kWhiteCodes));
static_assert(PrefixFreeWithExtendedAndEol(kBlackCodes));
static_assert(ModesPrefixFree());
static_assert(PeekTablesComplete());

constexpr uint8_t Reverse(unsigned b) {
  unsigned r = 0;
  for (int i = 0; i < 8; ++i)
    if (b & (1u << i)) r |= 0x80u >> i;
  return static_cast<uint8_t>(r);
}

}  // namespace

constexpr std::array<FaxPairEntry, 4096> kWhiteBlackPairTable =
    faxtables::BuildPairs(kWhiteCodes, kBlackCodes);
constexpr std::array<FaxPairEntry, 4096> kBlackWhitePairTable =
    faxtables::BuildPairs(kBlackCodes, kWhiteCodes);
constexpr std::array<FaxStepEntry, 8192> kTwoDStepTable = faxtables::BuildSteps();

#define QUILLON_REV4(n) Reverse(n), Reverse(n + 1), Reverse(n + 2), Reverse(n + 3)
#define QUILLON_REV16(n) \
  QUILLON_REV4(n), QUILLON_REV4(n + 4), QUILLON_REV4(n + 8), QUILLON_REV4(n + 12)
#define QUILLON_REV64(n)                                         \
  QUILLON_REV16(n), QUILLON_REV16(n + 16), QUILLON_REV16(n + 32), \
      QUILLON_REV16(n + 48)
const uint8_t kBitReverseTable[256] = {QUILLON_REV64(0), QUILLON_REV64(64),
                                       QUILLON_REV64(128), QUILLON_REV64(192)};
#undef QUILLON_REV64
#undef QUILLON_REV16
#undef QUILLON_REV4

void ReverseBits(const uint8_t* source, uint8_t* destination, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i)
    destination[i] = kBitReverseTable[source[i]];
}

}  // namespace quillon
