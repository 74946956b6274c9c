// The format readers that ExtractPage dispatches to, and the pieces of them
// that other readers reuse.  Each reader fills the PageRecord from page
// `index` of an open file and returns 0 or an ImagingError; a failing reader
// releases what it allocated.
#pragma once

#include <cstdint>

#include "imaging/core/bytes.h"
#include "imaging/core/page.h"

namespace quillon {

// Readers whose pages are converted, gathered or decoded while they are
// extracted stop before that work when `geometry` is true: the record then
// holds the page's size, depth, compression and resolution as extraction
// would give them, and no data (ReadPageGeometry).
int32_t ReadWindowsBmp(ImageFile* file, PageRecord* page, int32_t index, bool geometry = false);
int32_t ReadOs2Bmp(ImageFile* file, PageRecord* page, int32_t index, bool geometry = false);
int32_t ReadPcx(ImageFile* file, PageRecord* page, int32_t index);
int32_t ReadTiff(ImageFile* file, PageRecord* page, int32_t index, bool geometry = false);
int32_t ReadJfif(ImageFile* file, PageRecord* page, int32_t index);
int32_t ReadTarga(ImageFile* file, PageRecord* page, int32_t index, bool geometry = false);
int32_t ReadGif(ImageFile* file, PageRecord* page, int32_t index);
// WinFAX, BitFAX and Quicklinks II: headerless G3 lines, decoded here.
int32_t ReadFaxFile(ImageFile* file, PageRecord* page, int32_t index);
int32_t ReadPseg(ImageFile* file, PageRecord* page, int32_t index, bool geometry = false);
int32_t ReadWinFax10(ImageFile* file, PageRecord* page, int32_t index);
int32_t ReadCals(ImageFile* file, PageRecord* page, int32_t index);
int32_t ReadIoca(ImageFile* file, PageRecord* page, int32_t index);
int32_t ReadAwd(ImageFile* file, PageRecord* page, int32_t index);
// FLI/FLC frames after the first are decoded over the frame buffer and
// palette of the record that received the previous frame; in a record that
// holds neither, the frames before are decoded first.
int32_t ReadFli(ImageFile* file, PageRecord* page, int32_t index, bool geometry = false);

// Reads the TIFF directory at `directoryOffset` of the in-memory TIFF file
// `base`..`base + size` into `page` (data = base, dataOwnership 2, unless a
// conversion of the reader gives the page its own buffer).  Used for TIFF
// pages and for the Exif blocks of JPEG files.  0 or an ImagingError.
int32_t ReadTiffDirectory(const uint8_t* base, uint32_t size,
                          uint32_t directoryOffset, PageRecord* page,
                          bool geometry = false);

// Finds the frame header (SOF0..SOF3) of a JPEG stream by walking its marker
// segments from `start`; fills width, height and depth (8 bpp with a gray
// ramp for one component, else 24).  -8 when there is none.
int32_t ReadJpegFrameHeader(const Bytes& stream, uint64_t start,
                            PageRecord* page);

// A palette entry's colour, in whatever range its format gives (8 or 16
// bits a component).
struct EntryColour {
  uint32_t red, green, blue;
};

// The polarity of a bilevel page whose two colours are palette entries 0
// and 1: the entry of lower luminance (0.299 R + 0.587 G + 0.114 B) is
// black, and of two equally light entries entry 0 is.  Returns the page's
// `photometric`: 1 when entry 0 is the lighter, so that bits of 0 must be
// inverted to become white.  Every reader of two-colour pages decides by
// this one rule, so that a palette shows the same whatever file holds it.
inline int8_t TwoColourPhotometric(EntryColour entry0, EntryColour entry1) {
  auto luminance = [](EntryColour c) {
    return uint64_t{299} * c.red + uint64_t{587} * c.green + uint64_t{114} * c.blue;
  };
  return luminance(entry0) > luminance(entry1) ? 1 : 0;
}

// zlib inflation of `input` into `output` (at most `outputSize` bytes).
// Returns the bytes produced; stops quietly at damaged data.
uint64_t InflateInto(const uint8_t* input, uint64_t inputSize,
                     uint8_t* output, uint64_t outputSize);

// zlib inflation of `input` piece by piece, at most `limit` bytes: each
// piece (up to 16 KiB) goes to `consume`, which returns false to stop.  No
// buffer the size of the output is needed.  Returns the bytes produced;
// stops quietly at damaged data.
using InflateConsumer = bool (*)(void* context, const uint8_t* bytes, uint32_t count);
uint64_t InflateEach(const uint8_t* input, uint64_t inputSize, uint64_t limit,
                     InflateConsumer consume, void* context);

// The largest page a reader accepts: dimensions above this are damaged or
// hostile headers (the run-list and line-size forms cannot hold them).
constexpr int32_t kMaxDimension = 65535;
// The most pixels a page may have (16384 x 16384): a header that claims
// more is refused with -8 whatever the file's size, so that a few hostile
// bytes cannot make the library reserve gigabytes.  Single buffers are
// further capped by the allocation limit (1 GiB by default, -1 above it).
constexpr uint64_t kMaxPagePixels = uint64_t{1} << 28;

// -8 unless a `width` x `height` page of `bitsPerPixel` is one the library
// holds: each dimension 1..kMaxDimension, at most kMaxPagePixels pixels and
// lines whose length 32 bits can count.  Readers check it before they
// allocate anything the size of the page.
inline int32_t CheckPageSize(int64_t width, int64_t height, int bitsPerPixel) {
  if (width < 1 || height < 1 || width > kMaxDimension || height > kMaxDimension)
    return kErrBadHeader;
  if (SizeProduct(static_cast<uint64_t>(width), static_cast<uint64_t>(height)) > kMaxPagePixels)
    return kErrBadHeader;
  const uint64_t lineBits = SizeProduct(static_cast<uint64_t>(width),
                                        static_cast<uint64_t>(bitsPerPixel < 1 ? 1 : bitsPerPixel));
  return lineBits / 8 + 4 > UINT32_MAX ? kErrBadHeader : kOk;
}

// A buffer of `size` bytes that a reader owns; null when it cannot be had.
inline uint8_t* AllocateBytes(uint64_t size) {
  return static_cast<uint8_t*>(Allocate(size));
}

}  // namespace quillon
