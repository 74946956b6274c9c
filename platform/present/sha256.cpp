// SHA-256 (FIPS 180-4) for the scripts' file checks.  The round constants
// and the initial hash are derived as the standard defines them: the first
// 32 bits of the fractional parts of the cube roots (section 4.2.2) and the
// square roots (section 5.3.3) of the first primes.
#include "platform/present/script_checks.h"

#include <array>
#include <cstdio>

namespace ce::internal {

namespace {

using u128 = unsigned __int128;

constexpr bool IsPrime(unsigned n) {
  for (unsigned d = 2; d * d <= n; ++d) {
    if (n % d == 0) return false;
  }
  return n >= 2;
}

constexpr unsigned Prime(int index) {
  unsigned n = 1;
  for (int found = -1; found < index;) {
    ++n;
    if (IsPrime(n)) ++found;
  }
  return n;
}

// floor(value^(1/power)) of an integer, by bisection.
constexpr u128 IntegerRoot(u128 value, int power) {
  u128 lo = 0, hi = u128{1} << (128 / power + 1);
  while (lo < hi) {
    u128 mid = lo + (hi - lo + 1) / 2;
    u128 p = 1;
    bool over = false;
    for (int k = 0; k < power && !over; ++k) {
      if (p > value / mid) over = true;
      else p *= mid;
    }
    if (over || p > value) hi = mid - 1;
    else lo = mid;
  }
  return lo;
}

// The first 32 bits of the fractional part of prime^(1/power).
constexpr uint32_t FractionBits(int index, int power) {
  return static_cast<uint32_t>(IntegerRoot(u128{Prime(index)} << (32 * power), power));
}

constexpr std::array<uint32_t, 64> kRound = [] {
  std::array<uint32_t, 64> k{};
  for (int i = 0; i < 64; ++i) k[static_cast<size_t>(i)] = FractionBits(i, 3);
  return k;
}();

constexpr std::array<uint32_t, 8> kInitial = [] {
  std::array<uint32_t, 8> h{};
  for (int i = 0; i < 8; ++i) h[static_cast<size_t>(i)] = FractionBits(i, 2);
  return h;
}();

static_assert(kRound[0] == 0x428a2f98 && kRound[63] == 0xc67178f2);
static_assert(kInitial[0] == 0x6a09e667 && kInitial[7] == 0x5be0cd19);

constexpr uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void Compress(std::array<uint32_t, 8>& h, const uint8_t* block) {
  uint32_t w[64];
  for (int i = 0; i < 16; ++i)
    w[i] = (uint32_t{block[4 * i]} << 24) | (uint32_t{block[4 * i + 1]} << 16) |
           (uint32_t{block[4 * i + 2]} << 8) | block[4 * i + 3];
  for (int i = 16; i < 64; ++i) {
    uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], k = h[7];
  for (int i = 0; i < 64; ++i) {
    uint32_t t1 = k + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) +
                  kRound[static_cast<size_t>(i)] + w[i];
    uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    k = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  uint32_t add[8] = {a, b, c, d, e, f, g, k};
  for (int i = 0; i < 8; ++i) h[static_cast<size_t>(i)] += add[i];
}

}  // namespace

std::string Sha256Hex(const std::vector<uint8_t>& data) {
  std::array<uint32_t, 8> h = kInitial;
  size_t whole = data.size() / 64 * 64;
  for (size_t at = 0; at < whole; at += 64) Compress(h, data.data() + at);
  // The tail, a one bit, zeros, and the length in bits.
  uint8_t tail[128] = {};
  size_t rest = data.size() - whole;
  for (size_t i = 0; i < rest; ++i) tail[i] = data[whole + i];
  tail[rest] = 0x80;
  size_t blocks = rest + 9 > 64 ? 2 : 1;
  uint64_t bits = static_cast<uint64_t>(data.size()) * 8;
  for (int i = 0; i < 8; ++i) tail[blocks * 64 - 1 - static_cast<size_t>(i)] = static_cast<uint8_t>(bits >> (8 * i));
  for (size_t b = 0; b < blocks; ++b) Compress(h, tail + 64 * b);
  std::string hex;
  char digits[9];
  for (uint32_t v : h) {
    std::snprintf(digits, sizeof(digits), "%08x", v);
    hex += digits;
  }
  return hex;
}

}  // namespace ce::internal
