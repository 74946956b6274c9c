// Decoders and encoders that the compression conversion dispatches to.
//
// Decoders: (source, destination, flags) -> 0 or an ImagingError.  The
// destination is the conversion's copy of the source; a decoder sets its
// data (allocated, dataOwnership 1), dataOffset 0, dataSize and the fields
// its output needs.  Encoders: (decoded page, destination[, argument]) and
// set data, dataSize, dataOwnership 1.  Every read is bounded by the data,
// every write by the output buffer.
#pragma once

#include <cstdint>

#include "imaging/core/page.h"

namespace quillon {

// CCITT fax (codes 7, 1, 2, 3) into run lists, and back.  With
// `packedRows` the page becomes packed rows BytesPerLine apart instead, as
// painting the run lists gives them (1 = white), each line painted as it is
// decoded; flag 8 then decodes into the destination's buffer when it is
// large enough.
int32_t DecodeModifiedHuffman(PageRecord* source, PageRecord* destination,
                              int32_t flags, bool packedRows = false);
int32_t DecodeG3OneD(PageRecord* source, PageRecord* destination,
                     int32_t flags, bool packedRows = false);
int32_t DecodeG3TwoD(PageRecord* source, PageRecord* destination,
                     int32_t flags, bool packedRows = false);
int32_t DecodeG4(PageRecord* source, PageRecord* destination, int32_t flags,
                 bool packedRows = false);
// byteAlign 0: G3 1-D with EOLs and RTC; 1: Modified Huffman.
int32_t EncodeFaxOneD(const PageRecord* source, PageRecord* destination,
                      int byteAlign);
int32_t EncodeG4(const PageRecord* source, PageRecord* destination);
// Reverses the bit order of every data byte when fillOrderReversed is set.
int32_t NormalizeFillOrder(PageRecord* page);
void ReverseBits(const uint8_t* source, uint8_t* destination, uint32_t count);
extern const uint8_t kBitReverseTable[256];

// Run-length codecs (codes 6, 5, 13).
// Bilevel pages become run lists, or with `packedRows` packed rows
// BytesPerLine apart (the bits as stored), as decoding to a bitmap wants.
// Flag 8 decodes into the destination's buffer when it is large enough.
// With `invertRuns`, run lists of pages that need inverting (photometric 1
// after decoding) are made inverted, photometric 0, in the same pass.
int32_t DecodePackBits(PageRecord* source, PageRecord* destination,
                       int32_t flags, bool packedRows = false, bool invertRuns = false);
int32_t DecodePcx(PageRecord* source, PageRecord* destination, int32_t flags);
int32_t DecodeBmpRle(PageRecord* source, PageRecord* destination,
                     int32_t flags);
int32_t EncodePackBits(const PageRecord* source, PageRecord* destination);
int32_t EncodePcx(const PageRecord* source, PageRecord* destination);
int32_t EncodeBmpRle(const PageRecord* source, PageRecord* destination);
uint8_t* PackBitsRow(const uint8_t* source, uint8_t* destination,
                     uint32_t count);
uint8_t* PcxRow(const uint8_t* source, uint8_t* destination, uint32_t count,
                uint32_t stride);
uint8_t* Rle8Row(const uint8_t* source, uint8_t* destination, uint32_t count);
uint8_t* Rle4Row(const uint8_t* source, uint8_t* destination, uint32_t count);
void SwapRedBlue(uint8_t* row, uint32_t pixelCount);
// Copies pixels of three bytes with the first and third swapped; the
// regions do not overlap.
void CopySwappingRedBlue(const uint8_t* from, uint8_t* to, uint32_t pixelCount);

// LZW (code 8 = TIFF variant 0, code 9 = GIF variant 1).
enum LzwVariant : int { kLzwVariantTiff = 0, kLzwVariantGif = 1 };
// TIFF bilevel pages with `packedRows` and `invertRuns` as DecodePackBits's.
int32_t DecodeLzw(PageRecord* source, PageRecord* destination, int variant,
                  int32_t flags, bool packedRows = false, bool invertRuns = false);
int32_t EncodeLzw(const PageRecord* source, PageRecord* destination,
                  int variant);
void UndoHorizontalPredictor(PageRecord* page);
// The same on one row of `bytes` bytes of 8-bit samples, `samples` to a
// pixel (the TIFF decoders undo it block by block, while it is in the cache).
void UndoRowDifferencing(uint8_t* row, uint32_t bytes, uint32_t samples);
// The builds of a fix-up: portable, SSE2 (part of every x86-64), SSSE3
// (byte shuffles, chosen at run time where the machine has it).  Every
// build gives the same bytes; kBest is the fastest the machine runs.
enum class RowsBuild { kPortable, kSse2, kSsse3, kBest };

// 24-bit rows stored with horizontal differencing: every sample from the
// second pixel on plus the same sample of its left neighbour (modulo 256),
// the pixels then turned from Red, Green, Blue to Blue, Green, Red, in one
// pass.  A build the machine lacks falls back to the next one down.
void UndoDifferencingToBgr(uint8_t* row, uint32_t rowBytes, RowsBuild build = RowsBuild::kBest);

// JPEG (codes 10 and 16).
// `exif` reads a stream's Exif block (thumbnail, texts); null leaves it.
struct ExifReader;
int32_t DecodeJpeg(PageRecord* source, PageRecord* destination, int32_t flags,
                   int motionJpeg, const ExifReader* exif = nullptr);
int32_t EncodeJpeg(const PageRecord* source, PageRecord* destination,
                   int32_t quality);
// Releases a Motion-JPEG clip's shared state and the tables it holds.
void ReleaseJpegState(JpegDecoderState* state);
// Prepares a clip's shared decoder state in file->jpegState from a run of
// DHT segments (marker, length, tables), or from the standard tables when
// `dhtSegments` is null.  0 or an ImagingError.
int32_t InitMotionJpegTables(ImageFile* file, const uint8_t* dhtSegments,
                             uint32_t length);

// HP PCL raster rows (code 12).
int32_t EncodePclRaster(const PageRecord* source, PageRecord* destination);

}  // namespace quillon
