// JPEG stream structure: marker segments, the frame and scan headers, the
// table segments, and the cleaning of the entropy-coded data.
#include <algorithm>
#include <cstring>

#include "imaging/codecs/jpeg.h"
#include "imaging/codecs/jpeg_decode.h"
#include "imaging/core/bytes.h"

namespace quillon {

namespace {

// SOF0..SOF15 (T.81 Table B.1), without DHT (C4) and DAC (CC).
bool IsFrameHeader(int marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != kMarkerDht &&
         marker != kMarkerDac;
}

// Markers that stand alone, without a length (T.81 B.1.1.3): TEM, RSTn.
bool IsStandalone(int marker) {
  return marker == 0x01 || (marker >= kMarkerRst0 && marker <= kMarkerRst7);
}

}  // namespace

int32_t ReadDht(const uint8_t* body, uint32_t length, JpegDecoderState* state) {
  uint32_t at = 0;
  while (at < length) {
    const int tc = body[at] >> 4, th = body[at] & 15;
    if (tc > 1 || th > 3 || length - at < 17) return kErrBadHeader;
    int32_t total = 0;
    for (int i = 0; i < 16; ++i) total += body[at + 1 + i];
    if (total > 256 || length - at - 17 < static_cast<uint32_t>(total))
      return kErrBadHeader;
    const int slot = th + (tc ? 4 : 0);
    for (int i = 0; i < 16; ++i) state->huffmanCounts[slot][i] = body[at + 1 + i];
    for (int i = 0; i < 256; ++i)
      state->huffmanSymbols[slot][i] = i < total ? body[at + 17 + i] : 0;
    state->huffmanPresent[slot] = 1;
    state->huffmanDirty[slot] = 1;
    at += 17 + static_cast<uint32_t>(total);
  }
  return kOk;
}

int32_t ReadDqt(const uint8_t* body, uint32_t length, JpegDecoderState* state) {
  uint32_t at = 0;
  while (at < length) {
    const int pq = body[at] >> 4, tq = body[at] & 15;
    const uint32_t size = pq ? 128 : 64;
    if (pq > 1 || length - at - 1 < size) return kErrBadHeader;
    const Bytes values{body + at + 1, size};
    for (int i = 0; i < 64; ++i)
      state->quant[tq][i] = static_cast<int32_t>(pq ? values.BE16(2 * i) : values.U8(i));
    state->quantPresent[tq] = 1;
    at += 1 + size;
  }
  return kOk;
}

int32_t ParseJpegMarkers(const uint8_t* data, uint32_t* position,
                         JpegDecoderState* state, uint32_t length) {
  const Bytes bytes{data, length};
  uint32_t at = *position;
  for (;;) {
    if (at >= kJpegHeaderLimit || !bytes.Has(at, 2) || state->junkBytes > kJpegJunkLimit)
      return kErrBadHeader;
    if (data[at] != 0xFF) {  // a stray byte between segments
      ++at;
      ++state->junkBytes;
      continue;
    }
    const int marker = data[at + 1];
    if (marker == 0xFF) {  // fill byte before a marker
      ++at;
      continue;
    }
    if (marker == 0 || IsStandalone(marker)) {
      at += 2;
      continue;
    }
    if (!IsKnownJpegMarker(marker)) {  // a 0xFF among the junk
      ++at;
      ++state->junkBytes;
      continue;
    }
    if (IsFrameHeader(marker) || marker == kMarkerSoi || marker == kMarkerEoi ||
        marker == kMarkerSos) {
      *position = at + 2;
      return marker;
    }
    if (!bytes.Has(at + 2, 2)) return kErrBadHeader;
    const uint32_t segment = bytes.BE16(at + 2);
    if (segment < 2 || !bytes.Has(at + 2, segment)) return kErrBadHeader;
    const uint8_t* body = data + at + 4;
    const uint32_t bodyLength = segment - 2;
    switch (marker) {
      case kMarkerDri:
        if (segment == 4) {
          state->restartInterval = static_cast<int32_t>(bytes.BE16(at + 4));
          state->restartCountdown = state->restartInterval;
        }
        break;
      case kMarkerApp1:
        if (state->exifOffset == 0 && bodyLength >= 6 &&
            std::memcmp(body, "Exif\0\0", 6) == 0)
          state->exifOffset = at + 4 + 6;
        break;
      case kMarkerApp14:
        if (bodyLength >= 12 && std::memcmp(body, "Adobe", 5) == 0)
          state->adobeTransform = body[11];
        break;
      case kMarkerCom: {
        const uint32_t n = std::min<uint32_t>(bodyLength, 127);
        std::memset(state->comment, 0, sizeof state->comment);
        std::memcpy(state->comment, body, n);
        break;
      }
      case kMarkerDqt:
        if (ReadDqt(body, bodyLength, state) != kOk) return kErrBadHeader;
        break;
      case kMarkerDht:
        if (ReadDht(body, bodyLength, state) != kOk) return kErrBadHeader;
        break;
      default:  // APPn, DAC, DNL and the rest
        break;
    }
    at += 2 + segment;
  }
}

int32_t ReadSof(const uint8_t* data, uint32_t* position,
                JpegDecoderState* state, uint32_t length) {
  const Bytes bytes{data, length};
  const uint32_t at = *position;
  if (!bytes.Has(at, 8)) return 1;
  const uint32_t segment = bytes.BE16(at);
  const int count = bytes.U8(at + 7);
  if (count < 1 || count > 4 || segment != 8u + 3u * count ||
      !bytes.Has(at, segment) || bytes.U8(at + 2) != 8)
    return 1;
  state->height = static_cast<int32_t>(bytes.BE16(at + 3));
  state->width = static_cast<int32_t>(bytes.BE16(at + 5));
  if (state->height == 0 || state->width == 0) return 1;  // no DNL support
  state->componentCount = count;
  for (int c = 0; c < count; ++c) {
    JpegComponent& comp = state->components[c];
    const uint32_t p = at + 8 + 3 * static_cast<uint32_t>(c);
    comp = JpegComponent{};
    comp.identifier = data[p];
    comp.index = c;
    comp.horizontal = data[p + 1] >> 4;
    comp.vertical = data[p + 1] & 15;
    comp.quantTable = data[p + 2] & 15;
    if (comp.horizontal < 1 || comp.horizontal > 4 || comp.vertical < 1 ||
        comp.vertical > 4)
      return 1;
  }
  // One component is coded block by block whatever its factors (A.2.2).
  if (count == 1) state->components[0].horizontal = state->components[0].vertical = 1;
  state->sampling = state->components[0].horizontal * 16 + state->components[0].vertical;
  *position = at + segment;
  return 0;
}

int32_t ReadSos(const uint8_t* data, uint32_t* position,
                JpegDecoderState* state, uint32_t length) {
  const Bytes bytes{data, length};
  const uint32_t at = *position;
  if (!bytes.Has(at, 3)) return 1;
  const uint32_t segment = bytes.BE16(at);
  const int count = bytes.U8(at + 2);
  if (count < 1 || count > 4 || segment != 6u + 2u * count || !bytes.Has(at, segment))
    return 1;
  for (int c = 0; c < state->componentCount; ++c) state->components[c].inScan = 0;
  for (int s = 0; s < count; ++s) {
    const int id = data[at + 3 + 2 * s];
    const int tables = data[at + 4 + 2 * s];
    int match = -1;
    for (int c = 0; c < state->componentCount; ++c)
      if (state->components[c].identifier == id && !state->components[c].inScan) {
        match = c;
        break;
      }
    if (match < 0 || (tables >> 4) > 3 || (tables & 15) > 3) return 1;
    JpegComponent& comp = state->components[match];
    comp.dcTable = tables >> 4;
    comp.acTable = tables & 15;
    comp.inScan = 1;
    state->scanComponents[s] = match;
  }
  state->scanComponentCount = count;
  const uint32_t tail = at + 3 + 2 * static_cast<uint32_t>(count);
  state->spectralStart = data[tail];
  state->spectralEnd = data[tail + 1];
  state->approximationHigh = data[tail + 2] >> 4;
  state->approximationLow = data[tail + 2] & 15;
  *position = at + segment;
  return 0;
}

int32_t CleanEntropyData(const uint8_t* data, uint32_t length,
                         uint32_t position, JpegDecoderState* state) {
  constexpr uint32_t kPad = 8;  // zero bytes after each scan's data
  const uint64_t needed =
      SizeSum(length > position ? length - position : 0, kPad * (kJpegMaxScans + 2));
  if (needed > state->cleanedCapacity) {
    Release(state->cleaned);
    // Not cleared: the bit reader reads no further than a scan's end and
    // the zero bytes written after it.
    state->cleaned = static_cast<uint8_t*>(AllocateUncleared(needed));
    state->cleanedCapacity = state->cleaned ? static_cast<uint32_t>(needed) : 0;
    if (!state->cleaned) return kErrMemory;
  }
  uint8_t* out = state->cleaned;
  uint32_t used = 0;
  state->scanCount = 1;
  state->scanStarts[0] = 0;
  state->segmentCount = 0;
  bool inScan = true;
  auto closeScan = [&] {
    if (!inScan) return;
    state->scanEnds[state->scanCount - 1] = used;
    std::memset(out + used, 0, kPad);
    used += kPad;
    inScan = false;
  };
  // Without EOI the stream may lack scans; with more scans than the state
  // records, the last ones are dropped.  Either is damage to frames of
  // several scans.
  bool complete = false;
  state->flags &= ~kJpegIncomplete;
  uint32_t i = position;
  while (i < length) {
    // Copy up to the next 0xFF in one go.
    const uint8_t* ff =
        static_cast<const uint8_t*>(std::memchr(data + i, 0xFF, length - i));
    const uint32_t run = ff ? static_cast<uint32_t>(ff - (data + i)) : length - i;
    if (inScan) {
      std::memcpy(out + used, data + i, run);
      used += run;
    } else {  // junk between segments
      state->junkBytes += run;
    }
    i += run;
    if (state->junkBytes > kJpegJunkLimit) return kErrBadHeader;
    if (i + 1 >= length) break;  // no 0xFF left, or a lone one at the end
    const int marker = data[i + 1];
    if (marker == 0x00) {  // stuffed 0xFF
      if (inScan) out[used++] = 0xFF;
      i += 2;
      continue;
    }
    if (marker == 0xFF) {  // fill byte
      ++i;
      continue;
    }
    if (IsStandalone(marker)) {  // restarts are counted, not read
      i += 2;
      continue;
    }
    if (!IsKnownJpegMarker(marker)) {  // no marker: the scan's data ends in junk
      closeScan();
      ++state->junkBytes;
      ++i;
      continue;
    }
    if (marker == kMarkerEoi) {
      complete = true;
      break;
    }
    closeScan();
    if (i + 4 > length) break;
    const uint32_t segment = (static_cast<uint32_t>(data[i + 2]) << 8) | data[i + 3];
    if (segment < 2 || segment > length - i - 2) break;  // cut short
    if (marker == kMarkerSos) {
      if (state->scanCount == kJpegMaxScans) break;
      state->scanHeaders[state->scanCount] = i + 2;
      state->scanStarts[state->scanCount] = used;
      ++state->scanCount;
      inScan = true;
    } else if (marker == kMarkerDht || marker == kMarkerDqt || marker == kMarkerDri) {
      if (state->segmentCount == kJpegMaxSegments) break;  // the rest is lost
      state->segments[state->segmentCount++] =
          JpegSegment{marker, i + 2, segment, state->scanCount};
    }
    i += 2 + segment;
  }
  closeScan();
  state->cleanedSize = used;
  if (!complete) state->flags |= kJpegIncomplete;
  return kOk;
}

}  // namespace quillon
