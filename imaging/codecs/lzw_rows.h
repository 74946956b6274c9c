// Row fix-ups of decoded LZW strips that run while a strip is in the cache.
#pragma once

#include <cstdint>

namespace quillon {

// The builds of a fix-up: portable, SSE2 (part of every x86-64), SSSE3
// (byte shuffles, chosen at run time where the machine has it).  Every
// build gives the same bytes; kRowsBest is the fastest the machine runs.
enum class RowsBuild { kPortable, kSse2, kSsse3, kBest };

// 24-bit rows stored with horizontal differencing: every sample from the
// second pixel on plus the same sample of its left neighbour (modulo 256),
// the pixels then turned from Red, Green, Blue to Blue, Green, Red, in one
// pass.  A build the machine lacks falls back to the next one down.
void UndoDifferencingToBgr(uint8_t* row, uint32_t rowBytes, RowsBuild build = RowsBuild::kBest);

}  // namespace quillon
