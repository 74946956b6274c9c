// Recipe fixtures: small files built by test code from a few lines, next to
// the tests that use them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testutil {

struct TiffField {
  uint16_t tag;
  uint16_t type;  // 2 ASCII, 3 SHORT, 4 LONG, 5 RATIONAL
  std::vector<uint32_t> values;  // RATIONAL: numerator, denominator pairs
  std::string text;              // ASCII
};

struct TiffDirectory {
  std::vector<TiffField> fields;
  // Image data, written before the directory.  A StripOffsets field with no
  // values receives the data's offset, a StripByteCounts field its size.
  std::vector<uint8_t> image;
};

std::vector<uint8_t> BuildTiff(const std::vector<TiffDirectory>& directories,
                               bool bigEndian);

// A bilevel directory with the usual tags for a `width` x `height` page.
TiffDirectory BilevelDirectory(uint32_t width, uint32_t height,
                               uint32_t compression,
                               const std::vector<uint8_t>& image);

}  // namespace testutil
