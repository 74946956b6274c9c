// ConvertPage: decode into an intermediate page, then encode.
#include <cstring>
#include <utility>

#include "imaging/codecs/codecs.h"
#include "imaging/core/core.h"
#include "imaging/core/runlist.h"
#include "imaging/readers/jpeg_exif.h"

namespace quillon {

namespace {

// `packedRows`: bilevel pages go to a bitmap, which the fax, PackBits and
// TIFF LZW decoders write straight away instead of through run lists.
// `invertRuns`: run lists that are the result have their single inversion
// done by those two decoders as they make them.
int32_t Decode(int code, PageRecord* source, PageRecord* intermediate,
               int32_t flags, bool packedRows, bool invertRuns) {
  switch (code) {
    case kUncompressed: return DecodeUncompressed(source, intermediate, flags);
    case kG3OneD: return DecodeG3OneD(source, intermediate, flags, packedRows);
    case kG3TwoD: return DecodeG3TwoD(source, intermediate, flags, packedRows);
    case kG4: return DecodeG4(source, intermediate, flags, packedRows);
    case kPcxRle: return DecodePcx(source, intermediate, flags);
    case kPackBits: return DecodePackBits(source, intermediate, flags, packedRows, invertRuns);
    case kModifiedHuffman: return DecodeModifiedHuffman(source, intermediate, flags, packedRows);
    case kLzwTiff: return DecodeLzw(source, intermediate, kLzwVariantTiff, flags, packedRows, invertRuns);
    case kLzwGif: return DecodeLzw(source, intermediate, kLzwVariantGif, flags);
    case kJpeg: return DecodeJpeg(source, intermediate, flags, 0, &kExifReader);
    case kRunLists: return kOk;  // the source already is the intermediate
    case kBmpRle: return DecodeBmpRle(source, intermediate, flags);
    case kMotionJpeg: return DecodeJpeg(source, intermediate, flags, 1, &kExifReader);
    default: return kErrParameter;
  }
}

int32_t Encode(int code, PageRecord* intermediate, PageRecord* destination,
               int32_t argument) {
  switch (code) {
    case kUncompressed:
      if (intermediate->bitsPerPixel == 1)
        return EncodeUncompressed(intermediate, destination);
      return kOk;  // the intermediate itself is the result
    case kG3OneD: return EncodeFaxOneD(intermediate, destination, 0);
    case kG4: return EncodeG4(intermediate, destination);
    case kPcxRle: return EncodePcx(intermediate, destination);
    case kPackBits: return EncodePackBits(intermediate, destination);
    case kModifiedHuffman: return EncodeFaxOneD(intermediate, destination, 1);
    case kLzwTiff: return EncodeLzw(intermediate, destination, kLzwVariantTiff);
    case kLzwGif: return EncodeLzw(intermediate, destination, kLzwVariantGif);
    case kJpeg: return EncodeJpeg(intermediate, destination, argument);
    case kRunLists:
      return intermediate->bitsPerPixel == 1 ? kOk : kErrParameter;
    case kHpPcl: return EncodePclRaster(intermediate, destination);
    case kBmpRle: return EncodeBmpRle(intermediate, destination);
    default: return kErrParameter;
  }
}

bool Decodable(int code) {
  switch (code) {
    case kUncompressed: case kG3OneD: case kG3TwoD: case kG4: case kPcxRle:
    case kPackBits: case kModifiedHuffman: case kLzwTiff: case kLzwGif:
    case kJpeg: case kRunLists: case kBmpRle: case kMotionJpeg:
      return true;
    default:
      return false;
  }
}

// The same-code copy: an independent buffer with the same content.  Run
// lists move every line pointer to the new buffer; striped data keeps its
// strips (code 0 concatenates them into plain lines).
int32_t CopySameCode(const PageRecord* source, PageRecord* copy) {
  const bool striped = source->stripCount >= 2 && source->stripOffsets &&
                       source->stripByteCounts;
  if (source->compression == kRunLists) {
    uint8_t* data = static_cast<uint8_t*>(Allocate(source->dataSize));
    if (!data) return kErrMemory;
    std::memcpy(data, source->data, source->dataSize);
    uint8_t** lines = reinterpret_cast<uint8_t**>(data);
    const ptrdiff_t shift = data - source->data;
    for (int32_t y = 0; y < source->height; ++y) lines[y] += shift;
    copy->data = data;
  } else if (striped) {
    uint64_t total = 0;
    for (int32_t s = 0; s < source->stripCount; ++s)
      total += source->stripByteCounts[s];
    uint8_t* data = static_cast<uint8_t*>(Allocate(total));
    if (!data) return kErrMemory;
    uint32_t* offsets = nullptr;
    uint32_t* counts = nullptr;
    if (source->compression != kUncompressed) {
      offsets = AllocateArray<uint32_t>(source->stripCount);
      counts = AllocateArray<uint32_t>(source->stripCount);
      if (!offsets || !counts) {
        Release(data);
        Release(offsets);
        Release(counts);
        return kErrMemory;
      }
    }
    uint64_t at = 0;
    for (int32_t s = 0; s < source->stripCount; ++s) {
      std::memcpy(data + at, source->data + source->stripOffsets[s],
                  source->stripByteCounts[s]);
      if (offsets) {
        offsets[s] = static_cast<uint32_t>(at);
        counts[s] = source->stripByteCounts[s];
      }
      at += source->stripByteCounts[s];
    }
    copy->data = data;
    copy->dataSize = static_cast<uint32_t>(total);
    if (offsets) {
      copy->stripCount = source->stripCount;
      copy->stripOffsets = offsets;
      copy->stripByteCounts = counts;
    }
  } else {
    uint8_t* data = static_cast<uint8_t*>(Allocate(source->dataSize));
    if (!data) return kErrMemory;
    std::memcpy(data, source->data + source->dataOffset, source->dataSize);
    copy->data = data;
  }
  copy->dataOffset = 0;
  copy->dataOwnership = kOwnedByPage;
  return kOk;
}

}  // namespace

int32_t ConvertPage(PageRecord* source, PageRecord* destination,
                    int32_t flags) {
  const int target = destination->compression;
  if (target == kJpeg && (flags < 0 || flags > 2)) return kErrParameter;
  if (!source->data && source->compression != kRunLists) return kErrParameter;
  if (source->compression != target && !Decodable(source->compression))
    return kErrParameter;

  // Step 1-2: the intermediate is a private copy of the source record.
  uint8_t* const callerBuffer =
      (target != kJpeg && (flags & kFlagIntoDestination)) ? destination->data
                                                          : nullptr;
  const uint32_t callerSize = callerBuffer ? destination->dataSize : 0;
  PageRecord inter = *source;
  if (callerBuffer) inter.data = callerBuffer;
  inter.stripCount = 0;
  inter.stripOffsets = nullptr;
  inter.stripByteCounts = nullptr;
  inter.palette = nullptr;
  if (source->palette &&
      (source->bitsPerPixel == 4 || source->bitsPerPixel == 8)) {
    inter.palette = static_cast<uint8_t*>(Allocate(768));
    if (!inter.palette) return kErrMemory;
    std::memcpy(inter.palette, source->palette, 768);
  }

  // JPEG pages in strips with shared tables cannot be copied as one
  // stream: they are decoded and coded again.
  const bool jpegStrips = source->compression == kJpeg && source->stripOffsets &&
                          source->stripCount >= 1;
  int32_t result;
  if (source->compression == target && !jpegStrips) {
    // Step 3: the same-code copy.
    inter.data = source->data;
    result = CopySameCode(source, &inter);
    if (result != kOk) {
      Release(inter.palette);
      return result;
    }
    *destination = inter;
    // Lines can be put top first only where they are lines: pixels and run
    // lists.  Coded data (BMP run-length) keeps its own order and flags.
    const bool lines = target == kUncompressed || target == kRunLists;
    if (lines && (destination->layoutFlags & kLayoutBottomUp)) {
      result = ReverseLineOrder(destination);
      if (result != kOk) {
        Release(destination->data);
        Release(destination->palette);
        Release(destination->stripOffsets);
        Release(destination->stripByteCounts);
        destination->data = nullptr;
        destination->palette = nullptr;
        destination->stripOffsets = destination->stripByteCounts = nullptr;
        destination->stripCount = 0;
        return result;
      }
      destination->layoutFlags ^= (kLayoutBottomUp | kLayoutTopDown);
    }
  } else {
    // Step 4: decode.  A decoder sets inter.data to its own buffer (or fills
    // the caller's with flag 8); on failure it releases what it allocated.
    if (source->compression != kRunLists) {
      inter.data = callerBuffer ? callerBuffer : source->data;
      if (callerBuffer) inter.dataSize = callerSize;
      // With a JPEG target the flags are the encoder's quality, not
      // decoding options.
      result = Decode(source->compression, source, &inter, target == kJpeg ? 0 : flags,
                      target == kUncompressed, target == kRunLists);
    } else {
      result = kOk;
    }
    auto ownBuffer = [&](const PageRecord& p) {
      return p.data && p.data != source->data && p.data != callerBuffer &&
             p.dataOwnership == kOwnedByPage;
    };
    if (result != kOk) {
      if (ownBuffer(inter)) Release(inter.data);
      Release(inter.palette);
      return result;
    }
    // Steps 5-6: encode from the intermediate into the destination (a
    // bilevel page decoded to packed rows already is the bitmap).
    const bool packedRows = inter.bitsPerPixel == 1 && inter.compression == kUncompressed &&
                            target == kUncompressed;
    inter.compression = static_cast<int8_t>(target);
    *destination = inter;
    result = packedRows ? kOk : Encode(target, &inter, destination, flags);
    // Step 7: clean-up of the intermediate's buffer when it did not become
    // the destination's data.
    bool keep = destination->data == inter.data;
    if (source->bitsPerPixel == 1) {
      if (source->compression != kRunLists && target != kRunLists && !keep &&
          ownBuffer(inter))
        Release(inter.data);
    } else if (!keep && ownBuffer(inter)) {
      Release(inter.data);
    }
    if (result != kOk) {
      // A failed encode leaves nothing behind: the destination's buffers are
      // gone with it, and the source is as it was.
      if (keep && ownBuffer(inter)) Release(inter.data);
      Release(destination->palette);
      destination->data = nullptr;
      destination->palette = nullptr;
      destination->stripCount = 0;
      destination->stripOffsets = destination->stripByteCounts = nullptr;
      return result;
    }
  }

  // Step 8: the single inversion of bilevel pages that still need it.  The
  // run lists are then white-is-one, and the page says so: a writer or a
  // later conversion that still saw photometric 1 would invert them again.
  if (destination->bitsPerPixel == 1 && destination->photometric == 1 &&
      destination->compression == kRunLists) {
    InvertRunLines(destination);
    destination->photometric = 0;
  }
  return kOk;
}

void InvertRunLines(PageRecord* page) {
  uint8_t** lines = LinePointers(*page);
  for (int32_t y = 0; y < page->height; ++y) InvertRunLine(lines[y]);
}

int32_t ReverseLineOrder(PageRecord* page) {
  if (page->height <= 1) return kOk;
  if (page->compression == kRunLists) {
    uint8_t** lines = LinePointers(*page);
    for (int32_t i = 0, j = page->height - 1; i < j; ++i, --j)
      std::swap(lines[i], lines[j]);
    return kOk;
  }
  if (page->compression != kUncompressed) return kErrParameter;
  const uint32_t stride = page->bytesPerLine;
  if (SizeProduct(stride, static_cast<uint32_t>(page->height)) >
      page->dataSize)
    return kErrParameter;
  uint8_t* base = page->data + page->dataOffset;
  for (int32_t i = 0, j = page->height - 1; i < j; ++i, --j) {
    uint8_t* a = base + static_cast<uint64_t>(i) * stride;
    uint8_t* b = base + static_cast<uint64_t>(j) * stride;
    for (uint32_t k = 0; k < stride; ++k) std::swap(a[k], b[k]);
  }
  return kOk;
}

// Packed 1-bpp rows to run lists; other depths share the source's data.
int32_t DecodeUncompressed(PageRecord* source, PageRecord* intermediate,
                           int32_t /*flags*/) {
  if (source->bitsPerPixel != 1) {
    intermediate->data = source->data;
    return kOk;
  }
  const int32_t width = source->width, height = source->height;
  if (width < 0 || height < 0 || width > kMaxRun) return kErrUnsupported;
  uint8_t* data = static_cast<uint8_t*>(Allocate(RunListWorstCase(width, height)));
  if (!data) return kErrMemory;
  uint8_t** lines = reinterpret_cast<uint8_t**>(data);
  uint8_t* out = data + static_cast<uint64_t>(height) * sizeof(uint8_t*);

  // Source rows, block by block; a row that would reach past its block
  // (a strip or the data) is taken as white.
  const uint32_t rowBytes = RowBytes(width, 1);
  const uint32_t stride = source->bytesPerLine ? source->bytesPerLine : rowBytes;
  const bool striped = source->stripCount >= 2 && source->stripOffsets &&
                       source->stripByteCounts;
  const int32_t perStrip = source->rowsPerStrip > 0 ? source->rowsPerStrip : height;
  uint8_t* white = static_cast<uint8_t*>(Allocate(rowBytes + 1));
  if (!white) {
    Release(data);
    return kErrMemory;
  }
  std::memset(white, 0xFF, rowBytes + 1);
  int32_t strip = 0, rowInBlock = 0;
  const uint8_t* block;
  uint64_t blockSize;
  if (striped) {
    block = source->data + source->stripOffsets[0];
    blockSize = source->stripByteCounts[0];
  } else {
    block = source->data + source->dataOffset;
    blockSize = source->dataSize;
  }
  for (int32_t y = 0; y < height; ++y) {
    if (striped && rowInBlock == perStrip) {
      ++strip;
      rowInBlock = 0;
      bool have = strip < source->stripCount;
      block = have ? source->data + source->stripOffsets[strip] : nullptr;
      blockSize = have ? source->stripByteCounts[strip] : 0;
    }
    uint64_t at = static_cast<uint64_t>(rowInBlock) * stride;
    const uint8_t* row = block && at + rowBytes <= blockSize ? block + at : white;
    lines[y] = out;
    out += PackedRowToRuns(width, out, row);
    ++rowInBlock;
  }
  Release(white);
  intermediate->data = data;
  intermediate->dataOffset = 0;
  intermediate->dataOwnership = kOwnedByPage;
  intermediate->compression = kRunLists;
  if (source->layoutFlags & kLayoutBottomUp) {
    for (int32_t i = 0, j = height - 1; i < j; ++i, --j) std::swap(lines[i], lines[j]);
  }
  if (intermediate->photometric == 1) {
    for (int32_t y = 0; y < height; ++y) InvertRunLine(lines[y]);
    intermediate->photometric = 0;
  }
  intermediate->dataSize = static_cast<uint32_t>(out - data);
  return kOk;
}

// Run lists to packed rows padded to 4 bytes, top line first.
int32_t EncodeUncompressed(const PageRecord* intermediate,
                           PageRecord* destination) {
  const int32_t width = intermediate->width, height = intermediate->height;
  if (width < 0 || height < 0) return kErrParameter;
  const uint32_t stride = BytesPerLine(width, 1);
  uint64_t size = SizeProduct(stride, static_cast<uint32_t>(height));
  uint8_t* data = static_cast<uint8_t*>(Allocate(size));
  if (!data && size) return kErrMemory;
  uint8_t** lines = LinePointers(*intermediate);
  for (int32_t y = 0; y < height; ++y)
    RunsToRow(lines[y], width, data + static_cast<uint64_t>(y) * stride);
  destination->data = data;
  destination->dataSize = static_cast<uint32_t>(size);
  destination->dataOffset = 0;
  destination->bytesPerLine = stride;
  destination->dataOwnership = kOwnedByPage;
  destination->layoutFlags = kLayoutTopDown;
  return kOk;
}

}  // namespace quillon
