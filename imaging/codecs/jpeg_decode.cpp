// DecodeJpeg: a JPEG stream, a Motion-JPEG frame or the JPEG strips of a
// TIFF page into an uncompressed page (8-bpp gray, 24-bpp Blue-Green-Red or
// 16-bpp 5-6-5), at full, half or one-eighth size.
#include <cstring>

#include "imaging/codecs/codecs.h"
#include "imaging/codecs/jpeg_decode.h"
#include "imaging/core/bytes.h"

namespace quillon {

namespace {

int32_t CeilDiv(int64_t a, int64_t b) { return static_cast<int32_t>((a + b - 1) / b); }

int32_t ScaleOf(int32_t flags) {
  if (flags & (kFlagJpegEighth | kFlagJpegThumbnail)) return 8;
  return (flags & kFlagJpegHalf) ? 2 : 1;
}

// From SOI up to the frame header: the frame marker, or -8.  Tables and
// the other segments met on the way are loaded into the state.
int32_t ReadToFrame(JpegDecoderState* state, const uint8_t* data, uint32_t size,
                    uint32_t* position) {
  if (size < 2 || data[0] != 0xFF || data[1] != kMarkerSoi) return kErrBadHeader;
  *position = 2;
  const int32_t marker = ParseJpegMarkers(data, position, state, size);
  if (marker < 0 || marker == kMarkerSoi || marker == kMarkerEoi || marker == kMarkerSos)
    return kErrBadHeader;
  return marker;
}

// The frame header at *position: 0, -7 (arithmetic coding, lossless,
// hierarchical frames, samples other than 8 bits) or -8.
int32_t ReadFrame(JpegDecoderState* state, const uint8_t* data, uint32_t size,
                  int32_t marker, uint32_t* position) {
  if (marker != kMarkerSof0 && marker != kMarkerSof1 && marker != kMarkerSof2)
    return kErrUnsupported;
  const Bytes bytes{data, size};
  if (!bytes.Has(*position, 3)) return kErrBadHeader;
  if (bytes.U8(*position + 2) != 8) return kErrUnsupported;
  if (ReadSof(data, position, state, size) != 0) return kErrBadHeader;
  state->frameType = marker;
  state->flags &= ~kJpegProgressive;
  if (marker == kMarkerSof2) state->flags |= kJpegProgressive;
  return kOk;
}

// From the frame header to the first scan's data, which is then cleaned.
int32_t ReadFirstScan(JpegDecoderState* state, const uint8_t* data, uint32_t size,
                      uint32_t* position) {
  if (ParseJpegMarkers(data, position, state, size) != kMarkerSos) return kErrBadHeader;
  state->scanHeaders[0] = *position;
  if (ReadSos(data, position, state, size) != 0) return kErrBadHeader;
  for (int c = 0; c < state->componentCount; ++c)
    if (!state->quantPresent[state->components[c].quantTable]) return kErrBadHeader;
  return CleanEntropyData(data, size, *position, state);
}

int32_t DecodeFrame(JpegDecoderState* state, const uint8_t* data, uint32_t size,
                    const JpegFrame& frame, const JpegOutput& output) {
  PrepareQuantTables(state);
  BuildColourTables(state);
  JpegPlanes planes;
  if (AllocatePlanes(frame, &planes) != kOk) return kErrMemory;
  int32_t result;
  if (!(state->flags & kJpegProgressive) &&
      state->scanComponentCount == state->componentCount) {
    result = PrepareScanTables(state, true, true, SequentialAcExtras(frame.scale));
    if (result == kOk) result = DecodeSequentialFrame(state, frame, &planes, output);
  } else {
    result = DecodeMultiScanFrame(state, data, size, frame, &planes, output);
  }
  ReleasePlanes(&planes);
  return result;
}

// One decode: the pages, the state and the output buffer it may own.
struct Job {
  PageRecord* source;
  PageRecord* destination;
  int32_t flags;
  JpegDecoderState* state;
  JpegOutput output;
  uint8_t* allocated;  // the output buffer, when not the caller's
  uint32_t outputSize;
  int32_t linesWritten;
  const ExifReader* exif;
};

// The output window for a `width` x `height` page (before scaling).
int32_t SetUpOutput(Job* job, int32_t bitsPerPixel, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return kErrBadHeader;
  const int32_t scale = ScaleOf(job->flags);
  JpegOutput& out = job->output;
  out = JpegOutput{};
  out.width = CeilDiv(width, scale);
  out.height = CeilDiv(height, scale);
  out.bitsPerPixel = bitsPerPixel;
  out.linesWritten = &job->linesWritten;
  out.stride = BytesPerLine(out.width, bitsPerPixel);
  // A line or a page that 32 bits cannot count: the caller may try again
  // at half size, as after a shortage of memory.
  if (out.stride < RowBytes(out.width, bitsPerPixel)) return kErrMemory;
  const uint64_t size = SizeProduct(out.stride, static_cast<uint32_t>(out.height));
  if (size > UINT32_MAX) return kErrMemory;
  job->outputSize = static_cast<uint32_t>(size);
  if (job->flags & kFlagIntoDestination) {
    // The caller's buffer holds dataSize bytes; a frame larger than the
    // one it was sized for is refused, not written past its end.
    if (size > job->destination->dataSize) return kErrParameter;
    out.base = job->destination->data;
  } else {
    job->allocated = static_cast<uint8_t*>(Allocate(size));
    if (!job->allocated) return kErrMemory;
    out.base = job->allocated;
  }
  return kOk;
}

int32_t DepthOf(const JpegFrame& frame, int32_t flags) {
  if (frame.components == 1) return 8;
  return (flags & kFlagJpeg16Bpp) ? 16 : 24;
}

// A whole JPEG stream (JFIF file, Motion-JPEG frame).
int32_t DecodeStream(Job* job, const uint8_t* data, uint32_t size) {
  JpegDecoderState* state = job->state;
  uint32_t position = 0;
  const int32_t marker = ReadToFrame(state, data, size, &position);
  if (marker < 0) return marker;
  if (state->comment[0])
    std::memcpy(job->destination->comment, state->comment, sizeof state->comment);
  if (state->exifOffset && job->exif) {
    if (job->flags & kFlagJpegThumbnail) {
      const int32_t thumbnail = job->exif->thumbnail(data, size, state->exifOffset,
                                                     job->destination, job->flags);
      if (thumbnail != kNoExifThumbnail) return thumbnail;
    } else {
      job->exif->texts(data, size, state->exifOffset, job->destination);
    }
  }
  int32_t result = ReadFrame(state, data, size, marker, &position);
  JpegFrame frame;
  if (result == kOk) result = DescribeFrame(state, ScaleOf(job->flags), &frame);
  if (result != kOk) return result;
  // Into the caller's buffer the page's own size holds, whatever the frame
  // says; otherwise the frame's size.
  const bool into = (job->flags & kFlagIntoDestination) != 0;
  result = SetUpOutput(job, DepthOf(frame, job->flags),
                       into ? job->source->width : state->width,
                       into ? job->source->height : state->height);
  if (result == kOk) result = ReadFirstScan(state, data, size, &position);
  if (result == kOk) result = DecodeFrame(state, data, size, frame, job->output);
  return result;
}

// A TIFF page's strips, each a stream that may leave its tables to the
// page's tables stream (see jpeg.h).
int32_t DecodeStrips(Job* job) {
  JpegDecoderState* state = job->state;
  const PageRecord* page = job->source;
  const int32_t scale = ScaleOf(job->flags);
  if (page->dataSize >= 4) {
    const uint8_t* tables = page->data + page->dataOffset;
    uint32_t position = 2;
    if (tables[0] == 0xFF && tables[1] == kMarkerSoi) {
      const int32_t marker = ParseJpegMarkers(tables, &position, state, page->dataSize);
      if (marker >= 0 && marker != kMarkerEoi) {  // a full stream, not tables
        std::memset(state->quantPresent, 0, sizeof state->quantPresent);
        std::memset(state->huffmanPresent, 0, sizeof state->huffmanPresent);
      }
    }
  }
  const int32_t adobe = state->adobeTransform;
  JpegFrame first{};
  int32_t nextRow = 0;
  for (int32_t k = 0; k < page->stripCount; ++k) {
    const uint32_t size = page->stripByteCounts[k];
    const uint8_t* data = size ? page->data + page->stripOffsets[k] : page->data;
    state->restartInterval = 0;
    state->junkBytes = 0;
    state->adobeTransform = adobe;
    uint32_t position = 0;
    int32_t result = ReadToFrame(state, data, size, &position);
    if (result >= 0) result = ReadFrame(state, data, size, result, &position);
    JpegFrame frame;
    if (result == kOk) result = DescribeFrame(state, scale, &frame);
    if (result == kOk && k == 0) {
      first = frame;
      result = SetUpOutput(job, DepthOf(frame, job->flags), page->width, page->height);
      if (result != kOk) return result;
    } else if (result == kOk &&
               (frame.components != first.components || frame.rgb != first.rgb)) {
      result = kErrDecompress;
    }
    if (result != kOk) return k == 0 ? result : kErrDecompress;
    job->output.firstRow =
        page->rowsPerStrip > 0 ? CeilDiv(int64_t{k} * page->rowsPerStrip, scale) : nextRow;
    nextRow = job->output.firstRow + CeilDiv(state->height, scale);
    result = ReadFirstScan(state, data, size, &position);
    if (result == kOk) result = DecodeFrame(state, data, size, frame, job->output);
    if (result == kErrMemory) return result;
    if (result != kOk) return kErrDecompress;
    if (job->output.firstRow >= job->output.height) break;
  }
  return kOk;
}

bool Striped(const PageRecord* page) {
  return page->stripCount >= 1 && page->stripOffsets && page->stripByteCounts;
}

}  // namespace

int32_t DecodeJpeg(PageRecord* source, PageRecord* destination, int32_t flags,
                   int motionJpeg, const ExifReader* exif) {
  if (!source->data) return kErrParameter;
  // One-eighth size wins over half size; a thumbnail has a size of its own
  // and cannot go into a buffer sized for the page.
  if (flags & (kFlagJpegEighth | kFlagJpegThumbnail)) flags &= ~kFlagJpegHalf;
  if ((flags & kFlagIntoDestination) &&
      (!destination->data || (flags & kFlagJpegThumbnail)))
    return kErrParameter;
  const auto* shared =
      motionJpeg ? static_cast<const JpegDecoderState*>(source->decoderContext) : nullptr;
  Job job{source, destination, flags, AllocateFrameState(shared), {}, nullptr, 0, 0, exif};
  if (!job.state) return kErrMemory;
  job.state->flags = flags;
  int32_t result = Striped(source)
                       ? DecodeStrips(&job)
                       : DecodeStream(&job, source->data + source->dataOffset, source->dataSize);
  const JpegOutput output = job.output;
  const bool gray = job.state->componentCount == 1;
  ReleaseJpegState(job.state);
  if (result == kExifThumbnailDone) return kOk;
  if (result == kErrDecompress && (flags & kFlagKeepPartial) && output.base) result = kOk;
  // Lines never reached: blank (a fresh buffer already is).
  if (result == kOk && !job.allocated && job.linesWritten < output.height)
    std::memset(output.base + static_cast<uint64_t>(job.linesWritten) * output.stride, 0,
                static_cast<uint64_t>(output.height - job.linesWritten) * output.stride);
  uint8_t* palette = nullptr;
  if (result == kOk && gray) {
    palette = MakeGrayPalette(8);
    if (!palette) result = kErrMemory;
  }
  if (result != kOk) {
    Release(job.allocated);
    destination->data = nullptr;
    return result;
  }
  Release(destination->palette);
  destination->palette = palette;
  destination->data = output.base;
  destination->dataOffset = 0;
  destination->dataSize = job.outputSize;
  destination->dataOwnership = kOwnedByPage;
  destination->bytesPerLine = output.stride;
  destination->layoutFlags = kLayoutTopDown;
  destination->width = output.width;
  destination->height = output.height;
  destination->bitsPerPixel = static_cast<int8_t>(output.bitsPerPixel);
  destination->photometric = 0;
  destination->decoderContext = nullptr;
  return kOk;
}

}  // namespace quillon
