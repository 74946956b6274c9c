// IOCA pages: structured fields from the page's Begin Page field.  The
// image picture data fields carry, concatenated, the image's self-defining
// fields; their image data is gathered at the front of the page's buffer,
// still compressed as the encoding parameter says.
#include <cstring>

#include "imaging/readers/readers.h"

namespace quillon {

namespace {

// A structured field: 16-bit big-endian length (counting itself), 0xD3,
// 16-bit type, flag byte, two sequence bytes, then its data.
constexpr uint32_t kImageDataDescriptor = 0xA6FB;
constexpr uint32_t kImagePictureData = 0xEEFB;
constexpr uint32_t kEndPage = 0xA9AF;
constexpr uint64_t kFieldHeader = 8;

// Self-defining fields inside the picture data.
constexpr uint8_t kEncodingParameter = 0x95;
constexpr uint8_t kLongForm = 0xFE;   // two-byte identifier, 16-bit length
constexpr uint8_t kImageData = 0x92;  // after kLongForm

// The encoding parameter's compression identifiers, as IOCA numbers them.
struct EncodingCode {
  uint8_t ioca;
  int8_t compression;
};
constexpr EncodingCode kEncodings[] = {
    {0x01, kIbmMmr}, {0x03, kUncompressed}, {0x80, kG3OneD},
    {0x81, kG3TwoD}, {0x82, kG4},           {0x83, kJpeg},
};

// Walks the page's structured fields from `at`: reads the image data
// descriptor into `page` and gathers the picture data payloads into `out`
// (when given).  Returns the payload bytes.  A field that would pass the
// end of the file ends the page.
uint64_t WalkPage(const Bytes& f, uint64_t at, PageRecord* page, uint8_t* out) {
  uint64_t total = 0;
  while (f.Has(at, kFieldHeader) && f.U8(at + 2) == 0xD3) {
    const uint64_t length = f.BE16(at);
    const uint32_t type = f.BE16(at + 3);
    if (type == kEndPage || length < kFieldHeader || !f.Has(at, length)) break;
    if (type == kImageDataDescriptor && length >= 17) {
      page->xResolution = static_cast<int32_t>(f.BE16(at + 9) / 10);
      page->yResolution = static_cast<int32_t>(f.BE16(at + 11) / 10);
      page->width = static_cast<int32_t>(f.BE16(at + 13));
      page->height = static_cast<int32_t>(f.BE16(at + 15));
    } else if (type == kImagePictureData) {
      const uint64_t payload = length - kFieldHeader;
      if (out) std::memcpy(out + total, f.p + at + kFieldHeader, payload);
      total += payload;
    }
    at += length;
  }
  return total;
}

inline uint8_t ReverseByte(uint8_t v) {
  v = static_cast<uint8_t>((v >> 4) | (v << 4));
  v = static_cast<uint8_t>(((v & 0xCC) >> 2) | ((v & 0x33) << 2));
  return static_cast<uint8_t>(((v & 0xAA) >> 1) | ((v & 0x55) << 1));
}

int32_t Fail(PageRecord* page, int32_t result) {
  Release(page->data);
  Release(page->palette);
  page->data = nullptr;
  page->palette = nullptr;
  return result;
}

}  // namespace

int32_t ReadIoca(ImageFile* file, PageRecord* page, int32_t index) {
  const Bytes f{file->view, static_cast<uint64_t>(file->fileSize)};
  if (!file->pageOffsets) return kErrPageNotFound;
  const uint64_t start = file->pageOffsets[index];
  page->bitsPerPixel = 1;
  page->planes = 1;
  page->photometric = 0;
  page->fillOrderReversed = 0;
  page->layoutFlags = kLayoutTopDown;
  page->stripCount = 0;
  page->compression = kUncompressed;  // IOCA's default without a parameter
  page->width = page->height = 0;
  page->xResolution = page->yResolution = 0;
  page->bytesPerLine = 0;
  page->dataOffset = 0;

  const uint64_t size = WalkPage(f, start, page, nullptr);
  if (page->width < 1 || page->height < 1) return kErrBadHeader;
  uint8_t* data = AllocateBytes(SizeSum(size, 1028));
  if (!data) return kErrMemory;
  page->data = data;
  page->dataOwnership = kOwnedByPage;
  WalkPage(f, start, page, data);

  // The self-defining fields.  Image data payloads move down to follow the
  // previous ones; a field that claims more bytes than remain is cut there.
  uint64_t at = 0, stored = 0;
  bool encodingKnown = true;
  while (at < size) {
    if (data[at] == kLongForm) {
      if (at + 4 > size) break;
      const uint8_t id = data[at + 1];
      uint64_t length = (static_cast<uint32_t>(data[at + 2]) << 8) | data[at + 3];
      at += 4;
      if (length > size - at) length = size - at;
      if (id == kImageData) {
        std::memmove(data + stored, data + at, length);
        stored += length;
      }
      at += length;
      continue;
    }
    if (at + 2 > size) break;
    const uint8_t id = data[at];
    const uint64_t length = data[at + 1];
    const uint64_t body = at + 2;
    if (id == kEncodingParameter && length >= 1 && body < size) {
      encodingKnown = false;
      for (const EncodingCode& e : kEncodings)
        if (e.ioca == data[body]) {
          page->compression = e.compression;
          encodingKnown = true;
        }
      // The third byte, when present, is the bit order: 1 = right to left.
      if (length != 2 && length >= 3 && body + 2 < size)
        page->fillOrderReversed = data[body + 2] == 1 ? 1 : 0;
    }
    at = body + length;
  }
  // An encoding the library has no decoder for is refused rather than shown
  // as raw bits.
  if (!encodingKnown) return Fail(page, kErrUnsupported);
  page->dataSize = static_cast<uint32_t>(stored);

  if (page->compression == kJpeg) {
    // A JPEG image is gray or colour whatever the descriptor says: its
    // frame header gives the depth and the size the decoder will produce.
    const int32_t r = ReadJpegFrameHeader(Bytes{data, stored}, 2, page);
    if (r != kOk) return Fail(page, r);
    if (const int32_t size = CheckPageSize(page->width, page->height, page->bitsPerPixel); size != kOk)
      return Fail(page, size);
    page->bytesPerLine = RowBytes(page->width, page->bitsPerPixel);
  }
  if (page->compression == kUncompressed) {
    // IOCA's bit 1 is ink; the library's is white.  Rows are byte-aligned.
    page->bytesPerLine = RowBytes(page->width, 1);
    const bool reversed = page->fillOrderReversed;
    for (uint64_t i = 0; i < stored; ++i)
      data[i] = static_cast<uint8_t>(~(reversed ? ReverseByte(data[i]) : data[i]));
    page->fillOrderReversed = 0;
  }
  return kOk;
}

}  // namespace quillon
