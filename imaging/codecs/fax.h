// One-dimensional fax run decoding for readers that walk coded lines
// themselves (headerless fax files count their lines this way).
#pragma once

#include <cstdint>

#include "imaging/codecs/fax_tables.h"

namespace quillon {

// Decodes one run of the colour, make-up codes included, at byte
// `*byteIndex`, bit `*bitIndex` (0 = most significant) of data[0..size), and
// moves the position past it.  Returns the run length (at most 32767), or
// kFaxEol, kFaxExtension1D or kFaxInvalid.  Bytes past `size` read as zero,
// so the position may pass the end: callers check it before each call.
int16_t DecodeWhiteRun(const uint8_t* data, uint32_t size, uint32_t* byteIndex,
                       int32_t* bitIndex);
int16_t DecodeBlackRun(const uint8_t* data, uint32_t size, uint32_t* byteIndex,
                       int32_t* bitIndex);

}  // namespace quillon
