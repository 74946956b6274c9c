// Files built by test code from a few lines: TIFF directories, fax bit
// strings, and the document and animation formats that no general tool
// writes (PSEG, WinFAX 10, IOCA, Microsoft AWD inside a compound document,
// FLI/FLC), each laid out as the format does from pages the tests know.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testutil {

// --- TIFF -----------------------------------------------------------------

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
  // Sets `tag` to `values` (adding the field when it is missing).
  TiffDirectory& Set(uint16_t tag, uint16_t type, std::vector<uint32_t> values);
};

std::vector<uint8_t> BuildTiff(const std::vector<TiffDirectory>& directories, bool bigEndian = false);

// A bilevel directory with the usual tags for a `width` x `height` page.
TiffDirectory BilevelDirectory(uint32_t width, uint32_t height, uint32_t compression,
                               const std::vector<uint8_t>& image);

// --- Fax bit strings --------------------------------------------------------

// Bits written as text, "0001 1" (spaces ignored, "|" pads to the byte's
// end), most significant first.
struct BitString {
  std::vector<uint8_t> bytes;
  uint32_t bits = 0;
  BitString& Add(const std::string& text);
  BitString& AlignToByte();
};

// --- PSEG -----------------------------------------------------------------

// One image cell: packed rows of (width + 7) / 8 bytes, bit 1 = ink.
struct PsegCell {
  int x = 0, y = 0, width = 0;
  std::vector<uint8_t> rows;
};

struct PsegOptions {
  bool cellPositions = true;      // false: no cell position record at all
  uint8_t descriptorExtension = 0;  // extension length on the image descriptor
  uint8_t rasterExtension = 0;      // extension length on the raster records
  size_t rasterChunk = 0;           // raster bytes per record, 0 = one record a cell
};

std::vector<uint8_t> BuildPseg(int width, int height, const std::vector<PsegCell>& cells,
                               const PsegOptions& options = {});

// --- WinFAX 10 ------------------------------------------------------------

struct WinFax10Page {
  int width = 0, height = 0;
  bool g4 = true;  // else G3 1-D
  std::vector<uint8_t> data;  // least significant bit first
};

std::vector<uint8_t> BuildWinFax10(const std::vector<WinFax10Page>& pages);

// --- IOCA -----------------------------------------------------------------

struct IocaPage {
  int width = 0, height = 0;
  int xDpi = 200, yDpi = 200;
  uint8_t encoding = 0x82;          // IOCA compression identifier
  int bitOrder = -1;                // -1: two-byte encoding parameter; else its third byte
  std::vector<uint8_t> image;       // the image data
  size_t imageChunk = 0;            // bytes per image data field, 0 = one field
  size_t pictureChunk = 0;          // self-defining bytes per picture data field, 0 = one
};

std::vector<uint8_t> BuildIoca(const std::vector<IocaPage>& pages);

// --- Microsoft AWD --------------------------------------------------------

struct AwdBand {
  int lines = 0;
  std::vector<uint8_t> data;  // G4, least significant bit first
};

struct AwdLayout {
  // File sectors (numbered as the compound document numbers them) that
  // hold allocation-table sectors.  More are added at the end when needed.
  std::vector<uint32_t> tableSectors;
  // Lay the stream's sectors out in reverse order after the first one.
  bool scrambled = false;
};

struct AwdFile {
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> tableOffsets;  // file offsets of allocation-table sectors
  std::vector<std::pair<uint32_t, uint32_t>> bandSpans;  // file offsets of each band record's first and last byte
};

AwdFile BuildAwd(const std::vector<std::vector<AwdBand>>& pages, const AwdLayout& layout = {});

// --- FLI/FLC --------------------------------------------------------------

struct FliChunk {
  uint16_t type = 0;
  std::vector<uint8_t> body;
};

struct FliFrame {
  std::vector<FliChunk> chunks;
  bool prefix = false;  // a 0xF100 prefix chunk before the frame
};

// A file of the given frames.  `flc` picks the magic number 0xAF12 (else
// 0xAF11); `depth` is the header's depth byte.
std::vector<uint8_t> BuildFli(int width, int height, const std::vector<FliFrame>& frames,
                              bool flc = true, uint8_t depth = 8);

// Chunk bodies made from whole frames (one byte a pixel, `width` per line).
std::vector<uint8_t> FliPalette(const std::vector<uint8_t>& rgb, int firstEntry, bool sixBit);
std::vector<uint8_t> FliByteRun(const std::vector<uint8_t>& frame, int width, int height);
std::vector<uint8_t> FliByteDelta(const std::vector<uint8_t>& before,
                                  const std::vector<uint8_t>& after, int width, int height);
std::vector<uint8_t> FliWordDelta(const std::vector<uint8_t>& before,
                                  const std::vector<uint8_t>& after, int width, int height);

}  // namespace testutil
