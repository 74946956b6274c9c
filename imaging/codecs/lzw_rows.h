// Row fix-ups of decoded LZW strips that run while a strip is in the cache.
#pragma once

#include <cstdint>

namespace quillon {

// 24-bit rows stored with horizontal differencing: every sample from the
// second pixel on plus the same sample of its left neighbour (modulo 256),
// the pixels then turned from Red, Green, Blue to Blue, Green, Red, in one
// pass.  The vector build (SSE2, part of every x86-64) and the portable one
// give the same bytes.
void UndoDifferencingToBgr(uint8_t* row, uint32_t rowBytes);
void UndoDifferencingToBgrPortable(uint8_t* row, uint32_t rowBytes);

}  // namespace quillon
