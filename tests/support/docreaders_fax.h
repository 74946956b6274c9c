// Bilevel pictures for the document-reader tests, and libtiff as the peer
// that encodes their fax data and decodes what the readers hand on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/core/page.h"
#include "support/test_util.h"

namespace testutil {

// A bilevel picture, one byte a pixel: 1 = ink (black), 0 = paper.
struct Bilevel {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> ink;

  Bilevel() = default;
  Bilevel(int w, int h) : width(w), height(h), ink(static_cast<size_t>(w) * h, 0) {}
  uint8_t& at(int x, int y) { return ink[static_cast<size_t>(y) * width + x]; }
  uint8_t at(int x, int y) const { return ink[static_cast<size_t>(y) * width + x]; }
  bool operator==(const Bilevel&) const = default;
};

// Lines, boxes and speckle that exercise every run length a fax coder
// meets; `seed` varies the speckle.
Bilevel TestDrawing(int width, int height, uint32_t seed);
// Rows of random pixels: fax codes expand them, which makes large bands.
Bilevel Noise(int width, int height, uint32_t seed);

// Rows packed eight pixels a byte, most significant bit first, `stride`
// bytes apart; bit 1 = ink when `inkIsOne`, else bit 1 = paper.
std::vector<uint8_t> PackRows(const Bilevel& picture, bool inkIsOne, uint32_t stride);

// The first pixel where two pictures differ, as text ("" when equal).
std::string FirstDifference(const Bilevel& a, const Bilevel& b);

enum class FaxCode { kG3OneD, kG4 };
enum class BitOrder { kMsbFirst, kLsbFirst };

// libtiff's encoding of `picture`, one coded block per strip of
// `rowsPerStrip` lines (each strip coded on its own, as TIFF strips are).
std::vector<std::vector<uint8_t>> EncodeFax(const Bilevel& picture, FaxCode code,
                                            uint32_t rowsPerStrip, BitOrder order);

// libtiff's decoding of the fax data a reader left in `page` (its strips, or
// its one block).  Width 0 on failure.
Bilevel PeerDecode(const quillon::PageRecord& page);

// The library's own decoding: ConvertPage to run lists, read back.  Width 0
// when the conversion fails; `result` receives its answer.
Bilevel LibraryDecode(quillon::PageRecord& page, int32_t* result = nullptr);

// A binary PBM (P4) file; width 0 when it cannot be read.
Bilevel ReadPbm(const std::string& path);

// Bytes written to a file in a folder of their own and opened there; the
// file stays open (and its view mapped) while the object lives.
struct OpenedBytes {
  TempDir dir;
  OpenedFile opened;
  explicit OpenedBytes(const std::vector<uint8_t>& bytes, const std::string& name = "file.bin");
  quillon::ImageFile* file() { return &opened.file; }
  int32_t result() const { return opened.result; }
};

// Reads every byte a reader handed on (the data block, every strip, the
// palette), so that a sanitizer sees any that lie outside their buffers,
// and checks that data left in the view lies inside the file.  Returns a
// checksum so that the reads cannot be left out.
uint32_t TouchPage(const quillon::PageRecord& page, const quillon::ImageFile& file);

}  // namespace testutil
