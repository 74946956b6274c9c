// Shared pieces of the fuzz targets: reading parameters from the input's
// first bytes and touching every byte a call produced, so that a wrong size
// or pointer shows up under the sanitizers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/core/page.h"

namespace fuzz {

// Consumes parameter bytes from the front of the input; past the end it
// yields zeros.
struct Input {
  const uint8_t* data;
  size_t size;
  uint8_t Byte() {
    if (size == 0) return 0;
    --size;
    return *data++;
  }
  uint32_t Word() { return Byte() | (static_cast<uint32_t>(Byte()) << 8); }
};

// Sums every byte of the page's data, palette and run lists.
uint32_t Touch(const quillon::PageRecord& page);

// A page record whose data is a copy of `bytes` (owned), so that decoders
// may rewrite it.
void Wrap(quillon::PageRecord* page, const uint8_t* bytes, size_t size);

// Splits the page's data into `strips` strips of equal size (the last one
// takes the rest), with rows shared out evenly; fewer than 2 leaves one block.
void SplitIntoStrips(quillon::PageRecord* page, int strips);

// The fast paths against the plain ones, for a page that decoded to
// `decoded` with `flags`: decoding again into a caller's buffer of stale
// bytes gives the same page, and a bilevel page decoded to a bitmap equals
// its run lists painted.  Aborts on a difference.
void CheckDecodePaths(quillon::PageRecord* source, const quillon::PageRecord& decoded, int32_t flags);

// Sets the library's allocation limit once, below the fuzzer's memory cap.
void LimitMemory();

}  // namespace fuzz
