// Line conversions of the run-length codecs that the tests reach directly.
#pragma once

#include <cstdint>

namespace quillon {

// A decoded 16-colour PCX scan line holds four bit planes of `planeBytes`
// bytes each (plane 0 first); pixel x takes bit 7 - x % 8 of byte x / 8 of
// every plane, plane 3 giving its most significant bit.  Writes the first
// `width` pixels as packed 4-bit pixels, high nibble first.  Plane bytes past
// `planeBytes` read as zero.
void PcxPlanesToPacked4(const uint8_t* scanLine, uint32_t planeBytes,
                        uint8_t* output, int32_t width);

// A decoded 24-bit PCX scan line holds the red plane, then green, then blue,
// `planeBytes` each.  Writes `width` pixels as Blue, Green, Red; pixels past
// `planeBytes` stay as they are.
void PcxPlanesToBgr(const uint8_t* scanLine, uint32_t planeBytes,
                    uint8_t* output, int32_t width);

// Worst-case output of one row coder call: every coder here takes at most
// two bytes per input byte.
constexpr uint64_t RowCoderWorstCase(uint64_t count) { return 2 * count; }

// PackBits pages take vector builds of two loops on processors that have
// them (bilevel rows to run lists, colour order of 24-bit rows), and so do
// the packed rows of the other codecs' bilevel pages, unless they are
// turned off here (the tests compare both ways); whether they run.
void SetPackBitsVectorLoops(bool allowed);
bool PackBitsVectorLoops();
// Copies 24-bit pixels with the first and third bytes swapped, 16 pixels
// at a time (vector build only: PackBitsVectorLoops() must be true).
void CopySwappingRedBlueVector(const uint8_t* from, uint8_t* to, uint32_t pixelCount);

}  // namespace quillon
