// TIFF field types and the tag numbers the reader, the writer and the Exif
// reader know.
#pragma once

#include <cstdint>

namespace quillon {

enum TiffType : int {
  kTiffByte = 1,
  kTiffAscii = 2,
  kTiffShort = 3,
  kTiffLong = 4,
  kTiffRational = 5,
  kTiffSByte = 6,
  kTiffUndefined = 7,
  kTiffSShort = 8,
  kTiffSLong = 9,
};

// The tags the reader, the writer and the Exif reader know.
enum TiffTag : uint32_t {
  kTagNewSubfileType = 254,
  kTagImageWidth = 256,
  kTagImageLength = 257,
  kTagBitsPerSample = 258,
  kTagCompression = 259,
  kTagPhotometric = 262,
  kTagFillOrder = 266,
  kTagImageDescription = 270,
  kTagMake = 271,
  kTagModel = 272,
  kTagStripOffsets = 273,
  kTagSamplesPerPixel = 277,
  kTagRowsPerStrip = 278,
  kTagStripByteCounts = 279,
  kTagXResolution = 282,
  kTagYResolution = 283,
  kTagPlanarConfig = 284,
  kTagT4Options = 292,
  kTagResolutionUnit = 296,
  kTagSoftware = 305,
  kTagPredictor = 317,
  kTagColorMap = 320,
  kTagTileWidth = 322,
  kTagTileLength = 323,
  kTagTileOffsets = 324,
  kTagTileByteCounts = 325,
  kTagJpegTables = 347,
  kTagJpegInterchange = 513,        // offset of a JPEG stream (Exif thumbnails, old JPEG)
  kTagJpegInterchangeLength = 514,
  kTagYCbCrSubsampling = 530,
  kTagCopyright = 33432,
  // A private tag of fax software: its files list strips but hold the
  // lines as one block, which is read as one strip of all lines.
  kTagOneStrip = 999,
};

}  // namespace quillon
