// PCX run-length coding: a byte of 0xC0 or more carries a count in its low
// six bits and is followed by the value to repeat; any other byte stands for
// itself.  Scan lines hold one plane after another.
#include <algorithm>
#include <cstring>

#include "imaging/codecs/codec_rows.h"
#include "imaging/codecs/codecs.h"
#include "imaging/codecs/runlength.h"

namespace quillon {

void PcxPlanesToPacked4(const uint8_t* scanLine, uint32_t planeBytes,
                        uint8_t* output, int32_t width) {
  for (int32_t x = 0; x < width; ++x) {
    const uint32_t i = static_cast<uint32_t>(x) >> 3;
    const int bit = 7 - (x & 7);
    uint8_t pixel = 0;
    if (i < planeBytes)
      for (int plane = 3; plane >= 0; --plane)
        pixel = static_cast<uint8_t>(
            (pixel << 1) | ((scanLine[plane * planeBytes + i] >> bit) & 1));
    uint8_t& out = output[x >> 1];
    out = (x & 1) ? static_cast<uint8_t>((out & 0xF0) | pixel)
                  : static_cast<uint8_t>((out & 0x0F) | (pixel << 4));
  }
}

void PcxPlanesToBgr(const uint8_t* scanLine, uint32_t planeBytes,
                    uint8_t* output, int32_t width) {
  const uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(width), planeBytes);
  const uint8_t* red = scanLine;
  const uint8_t* green = scanLine + planeBytes;
  const uint8_t* blue = scanLine + 2 * static_cast<uint64_t>(planeBytes);
  for (uint32_t x = 0; x < n; ++x, output += 3) {
    output[0] = blue[x];
    output[1] = green[x];
    output[2] = red[x];
  }
}

namespace {

enum class PcxLayout { kPacked, kPlanes4, kPlanesRgb };

}  // namespace

int32_t DecodePcx(PageRecord* source, PageRecord* destination,
                  int32_t /*flags*/) {
  const int32_t width = source->width, height = source->height;
  const int bpp = source->bitsPerPixel;
  const int planes = source->planes > 0 ? source->planes : 1;
  if (width < 0 || height < 0) return kErrParameter;
  PcxLayout layout;
  if (planes == 1 && (bpp == 1 || bpp == 4 || bpp == 8))
    layout = PcxLayout::kPacked;
  else if (planes == 4 && bpp == 4)
    layout = PcxLayout::kPlanes4;
  else if (planes == 3 && bpp == 24)
    layout = PcxLayout::kPlanesRgb;
  else
    return kErrParameter;
  if (bpp == 1 && width > kMaxRun) return kErrUnsupported;
  const uint32_t rowBytes = RowBytes(width, bpp);
  const uint32_t stride = BytesPerLine(width, bpp);
  if (stride < rowBytes) return kErrUnsupported;  // no countable line

  // The file's scan-line length includes the format's padding.  A packed
  // line takes it when it is close to the pixels' own length; planar lines
  // always do, since each plane is padded on its own.
  uint32_t scanBytes = rowBytes;
  const uint32_t fileBytes = source->bytesPerLine;
  if (layout == PcxLayout::kPacked) {
    if (fileBytes != 0 &&
        (fileBytes > rowBytes ? fileBytes - rowBytes : rowBytes - fileBytes) <= 5)
      scanBytes = fileBytes;
  } else if (fileBytes >= static_cast<uint32_t>(planes)) {
    scanBytes = fileBytes - fileBytes % static_cast<uint32_t>(planes);
  } else {
    const uint32_t bitsPerPlane = static_cast<uint32_t>(bpp / planes);
    scanBytes = static_cast<uint32_t>(planes) *
                ((static_cast<uint32_t>(width) * bitsPerPlane + 7) / 8);
  }
  const uint32_t planeBytes = scanBytes / static_cast<uint32_t>(planes);

  // The scan line is decoded on its own and then moved into place, so a
  // header that claims longer lines than the pixels need cannot reach past
  // the output line.
  uint8_t* scan = static_cast<uint8_t*>(
      Allocate(SizeSum(std::max(scanBytes, rowBytes), 1)));
  if (!scan) return kErrMemory;
  codec::RunListWriter runs;
  uint8_t* pixels = nullptr;
  uint64_t pageBytes = 0;
  if (bpp == 1) {
    int32_t result = runs.Begin(width, height);
    if (result != kOk) {
      Release(scan);
      destination->data = nullptr;
      return result;
    }
  } else {
    pageBytes = SizeProduct(stride, static_cast<uint32_t>(height));
    pixels = static_cast<uint8_t*>(Allocate(pageBytes));
    if (!pixels) {
      Release(scan);
      destination->data = nullptr;
      return kErrMemory;
    }
  }

  auto finishLine = [&](int32_t y) {
    if (bpp == 1) {
      runs.PutRow(y, scan);
      return;
    }
    uint8_t* line = pixels + static_cast<uint64_t>(y) * stride;
    switch (layout) {
      case PcxLayout::kPacked:
        std::memcpy(line, scan, std::min(scanBytes, rowBytes));
        break;
      case PcxLayout::kPlanes4:
        PcxPlanesToPacked4(scan, planeBytes, line, width);
        break;
      case PcxLayout::kPlanesRgb:
        PcxPlanesToBgr(scan, planeBytes, line, width);
        break;
    }
  };

  const uint8_t* in = source->data + source->dataOffset;
  const uint64_t size = source->dataSize;
  uint64_t i = 0;
  uint32_t at = 0;  // position in the scan line
  int32_t y = 0;
  bool damaged = false;
  while (y < height) {
    if (at == scanBytes) {
      finishLine(y++);
      at = 0;
      continue;
    }
    if (i >= size) break;
    const uint8_t b = in[i++];
    if (b < 0xC0) {
      scan[at++] = b;
      continue;
    }
    uint32_t count = b & 0x3F;
    if (count == 0) {
      damaged = true;
      break;
    }
    if (i >= size) break;
    const uint8_t value = in[i++];
    // A run longer than the rest of the line carries on into the next
    // lines; what would pass the last line is dropped.
    while (count > 0 && y < height) {
      const uint32_t n = std::min(count, scanBytes - at);
      std::memset(scan + at, value, n);
      at += n;
      count -= n;
      if (at == scanBytes) {
        finishLine(y++);
        at = 0;
      }
    }
  }
  Release(scan);
  if (damaged || y < height) {
    runs.Abandon();
    Release(pixels);
    destination->data = nullptr;
    return kErrDecompress;
  }
  if (bpp == 1) {
    destination->data = runs.data;
    destination->dataSize = runs.Used();
    destination->compression = kRunLists;
  } else {
    destination->data = pixels;
    destination->dataSize = static_cast<uint32_t>(pageBytes);
    destination->compression = kUncompressed;
  }
  destination->bytesPerLine = stride;
  destination->dataOffset = 0;
  destination->dataOwnership = kOwnedByPage;
  destination->layoutFlags = kLayoutTopDown;
  return kOk;
}

uint8_t* PcxRow(const uint8_t* source, uint8_t* destination, uint32_t count,
                uint32_t stride) {
  uint8_t* d = destination;
  const uint64_t step = stride ? stride : 1;
  uint32_t i = 0;
  while (i < count) {
    const uint8_t v = source[i * step];
    uint32_t run = 1;
    while (i + run < count && source[(i + run) * step] == v) ++run;
    i += run;
    for (; run > 63; run -= 63) {
      *d++ = 0xFF;
      *d++ = v;
    }
    if (run >= 2) {
      *d++ = static_cast<uint8_t>(0xC0 | run);
      *d++ = v;
    } else if (v >= 0xC0) {
      *d++ = 0xC1;
      *d++ = v;
    } else {
      *d++ = v;
    }
  }
  return d;
}

// PCX lines as readers expect them: byte planes of an even length, 16-colour
// pages as four bit planes (plane 0 holding each index's lowest bit), colour
// pages as red, green and blue planes.
int32_t EncodePcx(const PageRecord* source, PageRecord* destination) {
  const int32_t width = source->width, height = source->height;
  const int bpp = source->bitsPerPixel;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24) return kErrParameter;
  if (width < 0 || height < 0) return kErrParameter;
  const uint32_t w = static_cast<uint32_t>(width);
  const uint32_t rowBytes = RowBytes(width, bpp);
  const uint32_t planes = bpp == 24 ? 3 : bpp == 4 ? 4 : 1;
  uint32_t planeBytes = bpp == 24 ? w : bpp == 4 ? (w + 7) / 8 : rowBytes;
  // Byte planes are padded to an even length; the four bit planes are not,
  // since readers take each of them as just wide enough for the line.
  if (bpp != 4) planeBytes += planeBytes & 1;
  if (planeBytes > 65534) return kErrUnsupported;
  const bool bottomUp = codec::BottomLineFirst(*source);
  codec::LineSource lines;
  if (bpp == 1) {
    if (height > 0 && !source->data) return kErrParameter;
    lines.height = height;
    lines.bottomUp = bottomUp;
  } else if (!codec::MakeLineSource(*source, rowBytes, bottomUp, &lines)) {
    return kErrParameter;
  }
  const uint64_t scanBytes = uint64_t{planeBytes} * planes;
  uint8_t* scan = static_cast<uint8_t*>(Allocate(SizeSum(scanBytes, 4)));
  if (!scan) return kErrMemory;
  // Every byte of 0xC0 or more standing alone takes two bytes.
  const uint64_t capacity =
      SizeSum(RowCoderWorstCase(SizeProduct(scanBytes, static_cast<uint32_t>(height))), 1);
  uint8_t* out = static_cast<uint8_t*>(Allocate(capacity));
  if (!out) {
    Release(scan);
    return kErrMemory;
  }
  uint8_t* d = out;
  uint8_t** runLines = bpp == 1 ? LinePointers(*source) : nullptr;
  for (int32_t y = 0; y < height; ++y) {
    std::memset(scan, 0, scanBytes);
    switch (bpp) {
      case 1:
        RunsToRow(runLines[bottomUp ? height - 1 - y : y], width, scan);
        break;
      case 4: {
        const uint8_t* line = lines.Line(y);
        for (uint32_t x = 0; x < w; ++x) {
          const uint32_t index = x % 2 ? line[x / 2] & 15 : line[x / 2] >> 4;
          for (uint32_t k = 0; k < 4; ++k)
            if (index & (1u << k)) scan[k * planeBytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
        break;
      }
      case 8:
        std::memcpy(scan, lines.Line(y), rowBytes);
        break;
      default: {  // 24: Blue, Green, Red pixels to red, green, blue planes
        const uint8_t* line = lines.Line(y);
        for (uint32_t x = 0; x < w; ++x) {
          scan[x] = line[3 * x + 2];
          scan[planeBytes + x] = line[3 * x + 1];
          scan[2 * planeBytes + x] = line[3 * x];
        }
        break;
      }
    }
    for (uint32_t k = 0; k < planes; ++k) d = PcxRow(scan + k * planeBytes, d, planeBytes, 1);
  }
  Release(scan);
  destination->data = out;
  destination->dataSize = static_cast<uint32_t>(d - out);
  destination->dataOffset = 0;
  destination->dataOwnership = kOwnedByPage;
  destination->planes = static_cast<int8_t>(planes);
  destination->bytesPerLine = static_cast<uint32_t>(scanBytes);
  destination->layoutFlags = kLayoutTopDown;
  return kOk;
}

}  // namespace quillon
