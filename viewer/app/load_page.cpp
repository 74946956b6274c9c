// load-page: one page of the open file extracted and decoded for display,
// the bilevel corrections (line order, fax aspect) and the composition of
// animation frames onto their logical screen.
#include <algorithm>
#include <cstring>

#include "imaging/core/core.h"
#include "imaging/pixels/palettes.h"
#include "imaging/pixels/pixels.h"
#include "viewer/app/page_load.h"
#include "viewer/app/state.h"

namespace zelmo {

using namespace quillon;

namespace {

// Asks the decoders for an animation frame; the library takes it as a plain
// decode.
constexpr int32_t kFlagCompose = 0x02;
constexpr int32_t kFaxWidth = 1728;
constexpr int32_t kShortFaxLines = 1200;

// Already what a decode would give, in memory of its own.
bool Plain(const PageRecord& p) {
  return p.compression == kUncompressed && p.bitsPerPixel != 1 && p.stripCount < 2 && !p.stripOffsets &&
         !(p.layoutFlags & kLayoutBottomUp) && p.dataOwnership == kOwnedByPage && p.data;
}

// Replaces `page` by the conversion into `code`; the page is unchanged on
// failure.
int32_t Convert(PageRecord* page, int code, int32_t flags) {
  PageRecord out{};
  out.compression = static_cast<int8_t>(code);
  const int32_t result = ConvertPage(page, &out, flags);
  if (result != kOk) return result;
  FreePage(page);
  *page = out;
  return kOk;
}

// Steps 3 and 4: run lists for bilevel pages, pixels for the others.
int32_t Decode(PageRecord* page, bool compose) {
  const Settings& s = gSettings;
  if (page->bitsPerPixel == 1) {
    if (page->compression == kRunLists) return kOk;
    int32_t result = Convert(page, kRunLists, s.options.ignoreErrors ? kFlagKeepPartial : 0);
    // The conversion puts the top line first whatever the file's order.
    if (result == kOk) page->layoutFlags = static_cast<int8_t>((page->layoutFlags & ~kLayoutBottomUp) | kLayoutTopDown);
    return result;
  }
  if (Plain(*page)) return kOk;
  const int fileType = gView.file.fileType;
  const int32_t flags = DecodeFlags(*page, fileType, compose, s);
  int32_t result = Convert(page, kUncompressed, flags);
  // A JPEG too large for memory is tried once more at half size.
  if (result == kErrMemory && fileType == kFileJfif) result = Convert(page, kUncompressed, flags | kFlagJpegHalf);
  return result;
}

// A 4-bpp page made 8 bpp with the same indexes and palette.
int32_t WidenToBytes(PageRecord* page) {
  const uint32_t stride = BytesPerLine(page->width, 8);
  const uint64_t size = SizeProduct(stride, static_cast<uint32_t>(page->height));
  if (size > UINT32_MAX) return kErrMemory;
  uint8_t* data = static_cast<uint8_t*>(Allocate(size));
  if (!data) return kErrMemory;
  for (int32_t y = 0; y < page->height; ++y) {
    const uint8_t* row = page->data + page->dataOffset + static_cast<uint64_t>(y) * page->bytesPerLine;
    uint8_t* out = data + static_cast<uint64_t>(y) * stride;
    for (int32_t x = 0; x < page->width; ++x) out[x] = (x & 1) ? row[x / 2] & 15 : row[x / 2] >> 4;
  }
  if (page->dataOwnership == kOwnedByPage) Release(page->data);
  page->data = data;
  page->dataOffset = 0;
  page->dataOwnership = kOwnedByPage;
  page->bytesPerLine = stride;
  page->dataSize = static_cast<uint32_t>(size);
  page->bitsPerPixel = 8;
  return kOk;
}

// Whether the frame's pixels cover the lines its geometry says.
bool HoldsLines(const PageRecord& p) {
  if (!p.data || p.compression != kUncompressed || p.width <= 0 || p.height <= 0) return false;
  const uint64_t need = SizeProduct(static_cast<uint32_t>(p.height), p.bytesPerLine);
  return p.bytesPerLine >= RowBytes(p.width, p.bitsPerPixel) && need <= p.dataSize;
}

const uint8_t* RowOf(const PageRecord& p, int32_t y) {
  return p.data + p.dataOffset + static_cast<uint64_t>(y) * p.bytesPerLine;
}

uint8_t IndexAt(const uint8_t* row, int32_t x, int depth) {
  return depth == 8 ? row[x] : ((x & 1) ? row[x / 2] & 15 : row[x / 2] >> 4);
}

bool SameColours(const PageRecord& a, const PageRecord& b) {
  if (!a.palette || !b.palette) return a.palette == b.palette;
  return std::memcmp(a.palette, b.palette, 768) == 0;
}

// A blank screen page of the frame's size, resolution and background.
int32_t NewCanvas(const PageRecord& frame, int32_t width, int32_t height, int depth, PageRecord* canvas) {
  canvas->width = width;
  canvas->height = height;
  canvas->bitsPerPixel = static_cast<int8_t>(depth);
  canvas->planes = 1;
  canvas->bytesPerLine = BytesPerLine(width, depth);
  const uint64_t size = SizeProduct(canvas->bytesPerLine, static_cast<uint32_t>(height));
  if (canvas->bytesPerLine == 0 || size > UINT32_MAX) return kErrMemory;
  canvas->data = static_cast<uint8_t*>(Allocate(size));
  if (depth <= 8) canvas->palette = static_cast<uint8_t*>(Allocate(768));
  if (!canvas->data || (depth <= 8 && !canvas->palette)) {
    FreePage(canvas);
    return kErrMemory;
  }
  canvas->dataSize = static_cast<uint32_t>(size);
  canvas->dataOwnership = kOwnedByPage;
  canvas->layoutFlags = kLayoutTopDown;
  canvas->xResolution = frame.xResolution;
  canvas->yResolution = frame.yResolution;
  canvas->frameDelay = frame.frameDelay;
  canvas->screenWidth = width;
  canvas->screenHeight = height;
  canvas->backgroundIndex = frame.backgroundIndex;
  return kOk;
}

// The frame drawn in its own colours over the screen shown, which keeps
// its colours: a 24-bpp screen.
int32_t ComposeInColour(const PageRecord& previous, PageRecord* frame) {
  PageRecord canvas{};
  if (int32_t result = NewCanvas(*frame, previous.width, previous.height, 24, &canvas); result != kOk) return result;
  const int fromDepth = previous.bitsPerPixel, depth = frame->bitsPerPixel;
  const uint8_t* fromColours = previous.palette ? previous.palette : (fromDepth == 4 ? kGrayRamp4 : kGrayRamp8).data();
  const uint8_t* colours = frame->palette ? frame->palette : (depth == 4 ? kGrayRamp4 : kGrayRamp8).data();
  for (int32_t y = 0; y < canvas.height; ++y) {
    const uint8_t* row = RowOf(previous, y);
    uint8_t* out = canvas.data + static_cast<uint64_t>(y) * canvas.bytesPerLine;
    if (fromDepth == 24) {
      std::memcpy(out, row, RowBytes(canvas.width, 24));
      continue;
    }
    for (int32_t x = 0; x < canvas.width; ++x) std::memcpy(out + 3 * x, fromColours + 3 * IndexAt(row, x, fromDepth), 3);
  }
  const bool transparent = frame->frameDisposal & 1;
  for (int32_t y = 0; y < frame->height; ++y) {
    const uint8_t* row = RowOf(*frame, y);
    uint8_t* out = canvas.data + static_cast<uint64_t>(frame->frameTop + y) * canvas.bytesPerLine;
    for (int32_t x = 0; x < frame->width; ++x) {
      const uint8_t index = IndexAt(row, x, depth);
      if (!transparent || index != frame->transparentIndex)
        std::memcpy(out + 3 * (frame->frameLeft + x), colours + 3 * index, 3);
    }
  }
  FreePage(frame);
  *frame = canvas;
  return kOk;
}

}  // namespace

int32_t DecodeFlags(const PageRecord& page, int fileType, bool compose, const Settings& s) {
  static constexpr int32_t kJpegSizes[4] = {0, kFlagJpegHalf, kFlagJpegEighth, kFlagJpegThumbnail};
  int32_t flags = 0;
  if (compose) {
    flags = kFlagCompose;
  } else if (s.options.jpegReducedLoad) {
    if (page.width > 2048) flags = kFlagJpegEighth;
    else if (page.width >= 640) flags = kFlagJpegHalf;
  } else {
    flags = kJpegSizes[std::clamp(s.jpegSize, 0, 3)];
  }
  if (s.options.jpeg16Bpp || fileType == kFileAvi) flags |= kFlagJpeg16Bpp;
  if (s.options.ignoreErrors) flags |= kFlagKeepPartial;
  return flags;
}

int32_t StraightenBilevel(PageRecord* page) {
  if (page->bitsPerPixel != 1 || page->compression != kRunLists || !(page->layoutFlags & kLayoutBottomUp))
    return kOk;
  if (page->dataOwnership == kOwnedByView) {
    // The line table points into the view: flipping writes it, so the
    // lines move to memory of the page's own first.
    const uint8_t* base = page->data + page->dataOffset;
    const uint64_t table = SizeProduct(static_cast<uint32_t>(std::max(page->height, 0)), sizeof(uint8_t*));
    if (page->height <= 0 || table > page->dataSize) return kErrParameter;
    uint8_t* copy = static_cast<uint8_t*>(Allocate(page->dataSize));
    if (!copy) return kErrMemory;
    std::memcpy(copy, base, page->dataSize);
    uint8_t** lines = reinterpret_cast<uint8_t**>(copy);
    for (int32_t y = 0; y < page->height; ++y) {
      const uint8_t* line = lines[y];
      if (line < base + table || line >= base + page->dataSize) {
        Release(copy);
        return kErrParameter;
      }
      lines[y] = copy + (line - base);
    }
    page->data = copy;
    page->dataOffset = 0;
    page->dataOwnership = kOwnedByPage;
  }
  const int32_t result = TransformPage(page, kFlipVertical, 0, 0);
  if (result == kOk) page->layoutFlags = static_cast<int8_t>((page->layoutFlags & ~kLayoutBottomUp) | kLayoutTopDown);
  return result;
}

bool NeedsAspectCorrection(const PageRecord& p) {
  if (p.bitsPerPixel != 1) return false;
  if (p.xResolution > 0 && p.yResolution > 0) return int64_t{p.xResolution} >= 2 * int64_t{p.yResolution};
  return p.width == kFaxWidth && p.height < kShortFaxLines;
}

int32_t ComposeOnCanvas(const PageRecord* previous, PageRecord* frame) {
  if (frame->bitsPerPixel != 4 && frame->bitsPerPixel != 8) return kOk;
  if (!HoldsLines(*frame) || frame->frameLeft < 0 || frame->frameTop < 0) return kErrParameter;
  // The logical screen, grown to hold a frame that reaches beyond it.
  const int32_t width = std::max(frame->screenWidth, frame->frameLeft + frame->width);
  const int32_t height = std::max(frame->screenHeight, frame->frameTop + frame->height);
  const bool usable = previous && HoldsLines(*previous) && previous->width == width && previous->height == height &&
                      (previous->bitsPerPixel == 4 || previous->bitsPerPixel == 8 || previous->bitsPerPixel == 24);
  // Indexes of one colour table mix on an indexed screen; frames with
  // tables of their own over a screen they do not clear mix in colour.
  if (usable && (previous->bitsPerPixel == 24 || !SameColours(*previous, *frame))) {
    const int disposal = (frame->frameDisposal >> 2) & 7;
    if (!(disposal == 2 || (frame->bitsPerPixel == 8 && disposal == 3))) return ComposeInColour(*previous, frame);
  }
  // Frames with 16 colours beside frames with more are drawn at 8 bpp.
  const bool indexed = usable && previous->bitsPerPixel != 24;
  const int depth = indexed && previous->bitsPerPixel == 8 ? 8 : frame->bitsPerPixel;
  if (depth == 8 && frame->bitsPerPixel == 4) {
    if (int32_t result = WidenToBytes(frame); result != kOk) return result;
  }
  PageRecord canvas{};
  if (int32_t result = NewCanvas(*frame, width, height, depth, &canvas); result != kOk) return result;
  std::memcpy(canvas.palette, frame->palette ? frame->palette : (depth == 4 ? kGrayRamp4 : kGrayRamp8).data(), 768);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* out = canvas.data + static_cast<uint64_t>(y) * canvas.bytesPerLine;
    if (!indexed) {
      std::memset(out, depth == 4 ? (frame->backgroundIndex & 15) * 0x11 : frame->backgroundIndex, canvas.bytesPerLine);
      continue;
    }
    const uint8_t* row = RowOf(*previous, y);
    if (previous->bitsPerPixel == depth) {
      std::memcpy(out, row, RowBytes(width, depth));
    } else {
      for (int32_t x = 0; x < width; ++x) out[x] = IndexAt(row, x, 4);
    }
  }
  const int32_t result = ComposeGifFrame(&canvas, frame);
  if (result != kOk) {
    FreePage(&canvas);
    return result;
  }
  FreePage(frame);
  *frame = canvas;
  return kOk;
}

int32_t LoadPage(bool compose) {
  if (!gView.fileOpen) return kErrParameter;
  ImageFile& file = gView.file;
  PageRecord& page = gView.page;
  PageRecord previous{};
  bool aside = false, continuing = false, waiting = false;
  ce::HCURSOR cursor = nullptr;
  if (compose && gView.pageLoaded && page.bitsPerPixel > 1) {
    // FLI/FLC frames are drawn by the reader over the frame its record
    // holds; a GIF frame goes over the screen shown, set aside here.
    continuing = file.fileType == kFileFli && file.currentPage == gView.pageNumber - 1;
    if (!continuing) {
      previous = page;
      aside = true;
    }
  } else {
    cursor = ce::SetCursor(ce::LoadCursor(nullptr, ce::IDC_WAIT));
    waiting = true;
  }
  if (!continuing) page = PageRecord{};
  gView.pageLoaded = false;
  int32_t result = ExtractPage(&file, &page, gView.pageNumber);
  if (result == kErrParameter && continuing) {
    // The record no longer holds a frame the reader can go on from.
    FreePage(&page);
    page = PageRecord{};
    result = ExtractPage(&file, &page, gView.pageNumber);
  }
  if (result == kOk) result = Decode(&page, compose);
  if (result == kOk) result = StraightenBilevel(&page);
  // A failed line doubling leaves the page as it came.
  if (result == kOk && gSettings.options.faxAspect && NeedsAspectCorrection(page))
    TransformPage(&page, kDoubleLines, 0, 0);
  if (result == kOk && compose && file.fileType == kFileGif && page.bitsPerPixel > 1)
    result = ComposeOnCanvas(aside ? &previous : nullptr, &page);
  // The frame set aside goes whether the new one came or not.
  if (aside) FreePage(&previous);
  if (waiting) ce::SetCursor(cursor);
  if (result != kOk) {
    FreePage(&page);
    page = PageRecord{};
    gShared.animating = 0;
    return result;
  }
  gView.pageLoaded = true;
  if (gSettings.options.autoRotate && page.width > page.height && gApp.screenHeight > gApp.screenWidth)
    gView.rotation = 90;
  return kOk;
}

}  // namespace zelmo
