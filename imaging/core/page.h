// The two records every stage of the library passes around, the code tables
// that give their fields meaning, and the memory and line-size primitives.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

struct JpegDecoderState;
struct PdfObjectIndex;

// ---------------------------------------------------------------------------
// Codes

enum CompressionCode : int {
  kUncompressed = 0,
  kG3OneD = 1,
  kG3TwoD = 2,
  kG4 = 3,
  kIbmMmr = 4,
  kPcxRle = 5,
  kPackBits = 6,
  kModifiedHuffman = 7,
  kLzwTiff = 8,
  kLzwGif = 9,
  kJpeg = 10,
  kRunLists = 11,
  kHpPcl = 12,
  kBmpRle = 13,
  kFlick = 14,
  kFlate = 15,
  kMotionJpeg = 16,
};
constexpr int kCompressionCodeCount = 17;

enum FileTypeCode : int {
  kFileWindowsBmp = 0,
  kFileOs2Bmp = 1,
  kFileWindows2bp = 2,
  kFilePcx = 3,
  kFileDcx = 4,
  kFileTiff = 5,
  kFileJfif = 6,
  kFileIoca = 7,
  kFileAwd = 8,
  kFileTarga = 9,
  kFilePdf = 10,
  kFileGif = 11,
  kFilePng = 12,
  kFilePseg = 13,
  kFileWinFax = 14,
  kFileBitFax = 15,
  kFileCals = 16,
  kFileQuicklinks = 17,
  kFilePocketPowerpoint = 18,
  kFileFli = 19,
  kFileAvi = 20,
  kFileQuickTime = 21,
  kFileWinFax10 = 22,
};
constexpr int kFileTypeCodeCount = 23;

// One list yields the error values and their message texts, so the two
// cannot drift apart.  The user interface shows string 5000 - code.
#define QUILLON_IMAGING_ERRORS(X)                                              \
  X(kErrMemory, -1, "Not enough memory.  Try closing other applications")      \
  X(kErrFileNotFound, -2, "File not found")                                    \
  X(kErrIo, -3, "General I/O error")                                           \
  X(kErrDecompress, -4, "Decompression error")                                 \
  X(kErrBitDepth, -5,                                                          \
    "Unsupported bit depth.  Only 24, 16, 8, 4, and 1 bits per pixel are "     \
    "allowed")                                                                 \
  X(kErrParameter, -6, "Invalid parameter")                                    \
  X(kErrUnsupported, -7, "Unsupported feature detected")                       \
  X(kErrBadHeader, -8, "Bad header information found")                         \
  X(kErrUnknownFormat, -9, "Unknown file format")                              \
  X(kErrPageNotFound, -10, "Page not found")

enum ImagingError : int32_t {
  kOk = 0,
#define QUILLON_ERROR_ENUM(name, value, text) name = value,
  QUILLON_IMAGING_ERRORS(QUILLON_ERROR_ENUM)
#undef QUILLON_ERROR_ENUM
};
constexpr int kImagingErrorCount = 10;

// The message shown for an ImagingError; null for 0 and for unknown codes.
const char* ErrorMessage(int32_t code);
// String-table identifier of an error's message (5000 - code).
constexpr int32_t ErrorStringId(int32_t code) { return 5000 - code; }
// Display names; "" for codes outside the tables.
const char* CompressionName(int code);
const char* FileTypeName(int code);

// Conversion flags: the third argument of ConvertPage when decoding.
enum ConversionFlag : int32_t {
  kFlagJpeg16Bpp = 0x01,
  kFlagKeepPartial = 0x04,
  kFlagIntoDestination = 0x08,  // into destination->data, dataSize bytes long
  kFlagJpegHalf = 0x20,
  kFlagJpegEighth = 0x40,
  kFlagJpegThumbnail = 0x80,
};

// layoutFlags bits.
enum LayoutFlag : int {
  kLayoutBmp = 0x04,
  kLayoutTopDown = 0x08,
  kLayoutBottomUp = 0x10,
  kLayoutPredictor = 0x20,
};

// dataOwnership values.
enum Ownership : int {
  kOwnedNone = 0,
  kOwnedByPage = 1,
  kOwnedByView = 2,
};

// ---------------------------------------------------------------------------
// Records

// One page or video frame.  Copied whole by value wherever a stage hands a
// page on; the buffers it points at are owned as dataOwnership says.
struct PageRecord {
  void* decoderContext;  // Motion-JPEG: the file's shared JpegDecoderState
  int32_t width;
  int32_t height;
  int32_t xResolution;  // dots per inch, 0 = unknown
  int32_t yResolution;
  uint32_t dataSize;  // bytes that begin at data + dataOffset
  int32_t frameLeft;  // GIF frame placement inside the logical screen
  int32_t frameTop;
  int32_t frameDelay;  // hundredths of a second
  uint8_t frameDisposal;  // GIF graphic-control packed byte, as stored
  uint8_t transparentIndex;
  uint8_t backgroundIndex;
  int32_t screenWidth;
  int32_t screenHeight;
  uint8_t* data;
  uint32_t dataOffset;
  uint8_t* palette;  // 256 triplets Blue, Green, Red (768 bytes)
  uint32_t bytesPerLine;
  int32_t stripCount;  // 0 or 1 = one contiguous block
  uint32_t* stripOffsets;  // relative to data
  uint32_t* stripByteCounts;
  int32_t rowsPerStrip;
  int8_t compression;  // CompressionCode
  int8_t photometric;  // 1 = invert after decoding to reach 1 = white
  int8_t bitsPerPixel;
  int8_t planes;
  int8_t layoutFlags;
  int8_t fillOrderReversed;
  int8_t dataOwnership;
  char comment[128];
  char applicationText[128];
  char plainText[128];
};

using FileHandle = int;
constexpr FileHandle kInvalidHandle = -1;

// An opened file.  Zeroed whole when a file is opened.
struct ImageFile {
  FileHandle fileHandle;
  intptr_t mappingHandle;  // length of the mapped view (mapped access)
  int32_t fileSize;
  uint8_t* view;  // read-only view of the whole file (accessMode 1)
  uint32_t* pageOffsets;
  uint32_t* audioChunkOffsets;
  uint32_t* frameSizes;
  uint32_t* audioChunkSizes;
  JpegDecoderState* jpegState;
  int32_t currentPage;
  int32_t pageCount;
  int32_t audioChunkCount;
  int32_t audioSampleRate;
  int32_t audioLength;
  int32_t frameDuration;  // milliseconds per video frame
  int8_t fileType;
  int8_t accessMode;  // 0 closed, 1 mapped, 2 read with seek and read
  // PDF: where each object lies, indexed on the first indirect reference a
  // page needs; null until then.
  PdfObjectIndex* pdfObjects;
};

enum AccessMode : int {
  kAccessClosed = 0,
  kAccessMapped = 1,
  kAccessRead = 2,
};

// ---------------------------------------------------------------------------
// Line sizes

// Stride of uncompressed lines: padded to 4 bytes.  Lengths are never
// wrapped: a line that 32 bits cannot count, like an unknown depth, gives 0.
uint32_t BytesPerLine(int32_t width, int bitsPerPixel);
// Unpadded, byte-aligned line length; 0 as above.
uint32_t RowBytes(int32_t width, int bitsPerPixel);

// ---------------------------------------------------------------------------
// Memory

// Zero-filled memory, or null when it cannot be had or the request exceeds
// the allocation limit.  Sizes are 64-bit so that a product that overflows
// (see SizeProduct) is refused rather than wrapped.
void* Allocate(uint64_t size);
// The same limits, without the clearing: for buffers the caller fills
// completely before reading them.
void* AllocateUncleared(uint64_t size);
// Does nothing for null and for the all-ones pointer.
void Release(void* pointer);
// The largest single allocation the library makes; hostile headers that ask
// for more are refused with -1.  Default 1 GiB.
void SetAllocationLimit(uint64_t bytes);
uint64_t AllocationLimit();

// a * b * c with saturation: UINT64_MAX when the product overflows, so that
// Allocate refuses it.
constexpr uint64_t SizeProduct(uint64_t a, uint64_t b, uint64_t c = 1) {
  if (a == 0 || b == 0 || c == 0) return 0;
  if (a > UINT64_MAX / b) return UINT64_MAX;
  uint64_t ab = a * b;
  if (ab > UINT64_MAX / c) return UINT64_MAX;
  return ab * c;
}
constexpr uint64_t SizeSum(uint64_t a, uint64_t b) {
  return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

template <typename T>
T* AllocateArray(uint64_t count) {
  return static_cast<T*>(Allocate(SizeProduct(count, sizeof(T))));
}

// Releases data (when owned), palette, strip tables; clears the pointers
// and stripCount.  Returns 0 when anything was released, -6 otherwise.
int32_t FreePage(PageRecord* page);
// Unmaps or closes the file and releases every table it holds.
int32_t CloseImageFile(ImageFile* file);

// A fresh 768-byte gray ramp palette: entry i = i * 1 (8 bpp) or i * 17
// (other depths), modulo 256.
uint8_t* MakeGrayPalette(int bitsPerPixel);
// Swaps the first and third byte of all 256 triplets (RGB <-> BGR).
void SwapPaletteOrder(uint8_t* palette);

}  // namespace quillon
