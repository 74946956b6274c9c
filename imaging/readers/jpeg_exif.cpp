// The Exif block of a JPEG file (APP1, "Exif", then a little TIFF file):
// the thumbnail of its second directory, and the texts of its first.
#include "imaging/readers/jpeg_exif.h"

#include <cstring>

#include "imaging/codecs/codecs.h"
#include "imaging/pixels/pixels.h"
#include "imaging/readers/readers.h"
#include "imaging/readers/tiff.h"

namespace quillon {

namespace {

// The TIFF file inside the APP1 segment whose TIFF header lies at
// `exifOffset`: bounded by the segment's length and by the stream.
Bytes ExifBlock(const uint8_t* data, uint32_t size, uint32_t exifOffset) {
  const Bytes stream{data, size};
  if (exifOffset < 10 || exifOffset >= size) return Bytes{};
  // FF E1, length, "Exif\0\0", then the TIFF header.
  const uint64_t segmentEnd = SizeSum(exifOffset - 8, stream.BE16(exifOffset - 8));
  const uint64_t end = segmentEnd < size ? segmentEnd : size;
  if (end <= exifOffset) return Bytes{};
  const Bytes tiff{data + exifOffset, end - exifOffset};
  const bool intel = tiff.Equals(0, "II*\0", 4), motorola = tiff.Equals(0, "MM\0*", 4);
  return intel || motorola ? tiff : Bytes{};
}

// Offset of the directory after the one at `directory`, or 0.
uint32_t NextDirectory(const Bytes& tiff, uint32_t directory) {
  const bool big = TiffBigEndian(tiff);
  const uint64_t count = tiff.U16(directory, big);
  const uint64_t link = directory + 2 + 12 * count;
  if (directory < 8 || !tiff.Has(link, 4)) return 0;
  const uint32_t next = tiff.U32(link, big);
  return next >= 8 && next < tiff.n && next != directory ? next : 0;
}

// A JPEG thumbnail (JPEGInterchangeFormat and its length): decoded, colour
// as 16 bpp, into the destination.
int32_t DecodeJpegThumbnail(const Bytes& tiff, uint32_t offset, uint32_t length,
                            PageRecord* destination, int32_t flags) {
  if (offset >= tiff.n || length < 4) return kNoExifThumbnail;
  if (length > tiff.n - offset) length = static_cast<uint32_t>(tiff.n - offset);
  PageRecord thumbnail = *destination;
  thumbnail.decoderContext = nullptr;
  thumbnail.data = const_cast<uint8_t*>(tiff.p + offset);
  thumbnail.dataOffset = 0;
  thumbnail.dataSize = length;
  thumbnail.dataOwnership = kOwnedByView;
  thumbnail.compression = kJpeg;
  thumbnail.stripCount = 0;
  thumbnail.stripOffsets = thumbnail.stripByteCounts = nullptr;
  thumbnail.palette = nullptr;
  const int32_t header = ReadJpegFrameHeader(Bytes{thumbnail.data, length}, 2, &thumbnail);
  Release(thumbnail.palette);
  if (header != kOk) return header == kErrMemory ? header : kNoExifThumbnail;
  thumbnail.palette = nullptr;
  // The destination takes the thumbnail's pixels; its own palette is
  // replaced by the decoder.
  PageRecord decoded = *destination;
  const int32_t result =
      DecodeJpeg(&thumbnail, &decoded, kFlagJpeg16Bpp | (flags & kFlagKeepPartial), 0,
                 &kExifReader);
  if (result == kErrMemory) return result;
  // A damaged thumbnail: the main picture at one-eighth size instead.
  if (result != kOk) return kNoExifThumbnail;
  *destination = decoded;
  return kExifThumbnailDone;
}

// An uncompressed thumbnail read by the TIFF directory reader: 24 bpp
// leaves as 16 bpp, as JPEG thumbnails do.
int32_t TakeUncompressedThumbnail(const Bytes& tiff, uint32_t directory,
                                  PageRecord* destination) {
  PageRecord page{};
  int32_t result = ReadTiffDirectory(tiff.p, static_cast<uint32_t>(tiff.n), directory, &page);
  if (result == kOk && (page.compression != kUncompressed || page.bitsPerPixel != 24 ||
                        page.dataOwnership != kOwnedByPage)) {
    result = kNoExifThumbnail;
  }
  if (result == kOk) result = ConvertBitDepth(&page, 16, kDitherNearest);
  if (result != kOk) {
    FreePage(&page);
    return result == kErrMemory ? result : kNoExifThumbnail;
  }
  Release(destination->palette);
  destination->palette = page.palette;
  destination->data = page.data;
  destination->dataOffset = page.dataOffset;
  destination->dataSize = page.dataSize;
  destination->dataOwnership = kOwnedByPage;
  destination->bytesPerLine = page.bytesPerLine;
  destination->layoutFlags = kLayoutTopDown;
  destination->width = page.width;
  destination->height = page.height;
  destination->bitsPerPixel = 16;
  destination->photometric = 0;
  destination->decoderContext = nullptr;
  Release(page.stripOffsets);
  Release(page.stripByteCounts);
  return kExifThumbnailDone;
}

}  // namespace

int32_t DecodeExifThumbnail(const uint8_t* data, uint32_t size, uint32_t exifOffset,
                            PageRecord* destination, int32_t flags) {
  const Bytes tiff = ExifBlock(data, size, exifOffset);
  if (!tiff.n) return kNoExifThumbnail;
  const bool big = TiffBigEndian(tiff);
  const uint32_t first = tiff.U32(4, big);
  const uint32_t second = first >= 8 && first < tiff.n ? NextDirectory(tiff, first) : 0;
  if (!second) return kNoExifThumbnail;
  // Camera thumbnails are JPEG streams named by two fields, usually
  // without the width and length a TIFF page needs.
  uint32_t offset = 0, length = 0;
  bool jpeg = false;
  const uint32_t count = tiff.U16(second, big);
  for (uint32_t i = 0; i < count && i < 256; ++i) {
    const TiffEntry e = ReadTiffEntry(tiff, second + 2 + 12 * static_cast<uint64_t>(i), big);
    if (e.tag == kTagJpegInterchange) {
      offset = e.value;
      jpeg = true;
    } else if (e.tag == kTagJpegInterchangeLength) {
      length = e.value;
    }
  }
  if (jpeg) return DecodeJpegThumbnail(tiff, offset, length, destination, flags);
  return TakeUncompressedThumbnail(tiff, second, destination);
}

void CopyExifTexts(const uint8_t* data, uint32_t size, uint32_t exifOffset,
                   PageRecord* destination) {
  const Bytes tiff = ExifBlock(data, size, exifOffset);
  if (!tiff.n) return;
  const uint32_t first = tiff.U32(4, TiffBigEndian(tiff));
  if (first < 8 || first >= tiff.n) return;
  // The directory holds no picture of its own: the reader reports that, but
  // has read the texts by then.
  PageRecord page{};
  ReadTiffDirectory(tiff.p, static_cast<uint32_t>(tiff.n), first, &page);
  FreePage(&page);
  if (page.comment[0]) std::memcpy(destination->comment, page.comment, sizeof page.comment);
  std::memcpy(destination->applicationText, page.applicationText, sizeof page.applicationText);
  std::memcpy(destination->plainText, page.plainText, sizeof page.plainText);
}

const ExifReader kExifReader{DecodeExifThumbnail, CopyExifTexts};

}  // namespace quillon
