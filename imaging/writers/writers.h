// Writing pages as image files: the save types, the output file and the
// byte layout of each format.
#pragma once

#include <cstdint>
#include <string_view>

#include "imaging/core/page.h"

namespace quillon {

// A file type with a compression, as the Save As list offers them.
struct SaveType {
  const char* name;
  const char* pattern;
  int8_t fileType;     // FileTypeCode
  int8_t compression;  // CompressionCode
  uint8_t depthMask;   // 0x01 1 bpp, 0x04 4, 0x08 8, 0x10 16; 24 needs 0x08 and 0x10
};

constexpr SaveType kSaveTypes[] = {
    {"TIFF Uncompressed", "*.TIF", kFileTiff, kUncompressed, 0x1D},
    {"TIFF PackBits", "*.TIF", kFileTiff, kPackBits, 0x1D},
    {"TIFF LZW", "*.TIF", kFileTiff, kLzwTiff, 0x1D},
    {"TIFF Mod Huff", "*.TIF", kFileTiff, kModifiedHuffman, 0x01},
    {"TIFF G3-1D", "*.TIF", kFileTiff, kG3OneD, 0x01},
    {"TIFF G4", "*.TIF", kFileTiff, kG4, 0x01},
    {"TIFF JPEG", "*.TIF", kFileTiff, kJpeg, 0x18},
    {"WIN BMP Uncompressed", "*.BMP", kFileWindowsBmp, kUncompressed, 0x1D},
    {"WIN BMP RLE", "*.BMP", kFileWindowsBmp, kBmpRle, 0x0C},
    {"PCX", "*.PCX", kFilePcx, kPcxRle, 0x1D},
    {"DCX", "*.DCX", kFileDcx, kPcxRle, 0x1D},
    {"GIF", "*.GIF", kFileGif, kLzwGif, 0x0D},
    {"CALS", "*.CAL", kFileCals, kG4, 0x01},
    {"JPEG JFIF", "*.JPG", kFileJfif, kJpeg, 0x18},
};
constexpr int kSaveTypeCount = 14;
static_assert(sizeof kSaveTypes / sizeof kSaveTypes[0] == kSaveTypeCount);

// The Save As refusal for a depth the type cannot hold (string 130).
constexpr const char* kDepthRefusedText =
    "The chosen file format does not support the image's bit depth.";

// The save type named `name` exactly, or -1.
int FindSaveType(std::string_view name);

// Whether save type `type` holds pages of `bitsPerPixel`: each depth needs
// its own bits in the mask (24 bpp both 0x08 and 0x10), and 16-bpp pages go
// only into BMP files.
bool SaveTypeAccepts(int type, int bitsPerPixel);

// Creates the output file (flags bit 0: open an existing file for reading
// and writing first).  -3 when it cannot be created.
int32_t CreateOutputFile(const char16_t* path, ImageFile* file, int32_t flags,
                         int fileType);

// Writes one page in the file's format from the page's current data, which
// must already be in the format's compression.  -6 for a wrong compression
// or a second page where the format holds one; -3 when writing fails.
int32_t WriteImage(ImageFile* file, const PageRecord* page, int32_t reserved = 0);

// Converts `page` as SavePage does and writes it after the pages already
// in `file`, an output file opened for reading and writing: TIFF files
// link a further directory, DCX files a further table entry (up to 49
// pages); the other types hold one page (-6 for a second).
int32_t AppendPage(ImageFile* file, PageRecord* page, int saveType, int32_t quality);

// The whole save sequence: depth check (-5 when the type cannot hold the
// page), conversion to the type's compression (`quality` for JPEG), writing
// into a temporary file beside `path`, and only when everything succeeded
// the rename over `path`: a failed save leaves an existing file as it was.
int32_t SavePage(const char16_t* path, PageRecord* page, int saveType, int32_t quality);

// True for no palette or the 8-bit gray ramp (entry i = i, i, i).
bool IsGrayRamp(const uint8_t* palette);
// An owned copy of a decoded (code 0) page with its palette.
int32_t CopyDecodedPage(const PageRecord* page, PageRecord* copy);

// The library's name and version, written into TIFF and GIF files.
constexpr std::string_view kLibraryBanner = "Quillon 1.0";

}  // namespace quillon
