// Bilevel pages for the fax and rendering benchmarks.
#pragma once

#include <cstdint>
#include <vector>

namespace bench {

// Packed rows, most significant bit first, 1 = black (TIFF min-is-white).
struct BilevelPage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rows;  // height x (width + 7) / 8
};

// A 1728 x 2200 business letter at fax resolution: a letterhead, paragraphs
// of ragged text in a bitmap-like font, a table with rules, a signature.
BilevelPage TextPage();
// The same size, covered by a dithered picture: short runs everywhere.
BilevelPage DensePage();

}  // namespace bench
