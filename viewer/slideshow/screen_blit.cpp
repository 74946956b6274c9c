// The screen-memory writers.  Positions are counted in pixels of the
// display's depth from the start of screen memory; a logical pixel's
// neighbours to the right and below lie a fixed number of pixels away in
// every layout, so each writer walks its rectangle with two additions.
#include "viewer/slideshow/screen_blit.h"

#include <algorithm>
#include <cstring>

#include "platform/emulator.h"
#include "viewer/app/device.h"

namespace zelmo {

using quillon::PageRecord;

namespace {

// Logical pixel (x, y) lies at pixel `at` of screen memory; one pixel to
// the right adds `right`, one line down adds `down`.
struct Walk {
  int64_t at;
  int64_t right;
  int64_t down;
};

// Pixels per memory row: the rotated gray panel counts its pitch in bytes.
int64_t RowPixels(const ScreenTarget& s) {
  return s.layout.orientation == 90 ? static_cast<int64_t>(s.layout.pitch) * 8 / s.depth
                                    : static_cast<int64_t>(s.layout.pitch);
}

Walk WalkFrom(const ScreenTarget& s, int64_t x, int64_t y) {
  const int64_t row = RowPixels(s);
  switch (s.layout.orientation) {
    case 270: return Walk{(s.height - 1 - y) + x * row, row, -1};  // memory rows run down x
    case 90: return Walk{y + (s.width - 1 - x) * row, -row, 1};  // rows run up x, right first
    default: return Walk{x + y * row, 1, row};
  }
}

// Whether every logical pixel of the layout lies inside the memory given.
bool Writable(const ScreenTarget& s) {
  if (!s.memory || s.width <= 0 || s.height <= 0) return false;
  if (s.depth != 4 && s.depth != 8 && s.depth != 16) return false;
  const uint32_t o = s.layout.orientation;
  if (o != 0 && o != 90 && o != 270) return false;
  const int64_t row = RowPixels(s), along = o == 0 ? s.width : s.height, rows = o == 0 ? s.height : s.width;
  if (row < along || (s.depth == 4 && row % 2 != 0)) return false;
  return static_cast<uint64_t>(rows * row) * static_cast<uint64_t>(s.depth) / 8 <= s.size;
}

// The frame's first line, when the frame is uncompressed at `depth` and
// all its lines lie in its data.
const uint8_t* FramePixels(const PageRecord& f, int depth) {
  if (!f.data || f.compression != quillon::kUncompressed || f.bitsPerPixel != depth || f.width <= 0 ||
      f.height <= 0 || f.bytesPerLine < quillon::RowBytes(f.width, depth))
    return nullptr;
  uint64_t need = static_cast<uint64_t>(f.bytesPerLine) * static_cast<uint64_t>(f.height - 1) +
                  quillon::RowBytes(f.width, depth);
  return need <= f.dataSize ? f.data + f.dataOffset : nullptr;
}

uint32_t FramePixel(const uint8_t* line, int64_t x, int depth) {
  switch (depth) {
    case 4: return (line[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF;
    case 8: return line[x];
    default: {
      uint16_t v;
      std::memcpy(&v, line + 2 * x, 2);
      return v;
    }
  }
}

// Stores one pixel in the panel's own form: gray levels complemented where
// the panel wants them so and in the nibble its order gives; 16-bit pixels
// as single 16-bit values, which every panel takes.
struct PixelStore {
  uint8_t* memory;
  int depth;
  bool complemented;
  bool lowNibbleFirst;

  void Put(int64_t at, uint32_t v) const {
    switch (depth) {
      case 4: {
        uint8_t& b = memory[at >> 1];
        const int shift = ((at & 1) == 0) == lowNibbleFirst ? 0 : 4;
        if (complemented) v = 15 - v;
        b = static_cast<uint8_t>((b & ~(0xF << shift)) | ((v & 0xF) << shift));
        return;
      }
      case 8: memory[at] = static_cast<uint8_t>(v); return;
      default: {
        const uint16_t w = static_cast<uint16_t>(v);
        std::memcpy(memory + 2 * at, &w, 2);
      }
    }
  }
};

PixelStore StoreFor(const ScreenTarget& s) {
  const bool gray = s.depth == 4;
  return PixelStore{s.memory, s.depth, gray && (s.layout.flags & kLayoutComplemented) != 0,
                    (s.layout.flags & kLayoutLowNibbleFirst) != 0};
}

// Cuts a copy of n pixels from source position src to destination position
// dst so that both stay inside their limits.
void Cut(int64_t* dst, int64_t* src, int64_t* n, int64_t dstLimit, int64_t srcLimit) {
  if (*dst < 0) *src -= *dst, *n += *dst, *dst = 0;
  if (*src < 0) *dst -= *src, *n += *src, *src = 0;
  *n = std::min({*n, dstLimit - *dst, srcLimit - *src});
}

}  // namespace

ScreenTarget DeviceScreenTarget() {
  ScreenTarget t;
  if (gDevice.index < 0 || gDevice.index >= kKnownDeviceCount) return t;
  t.memory = static_cast<uint8_t*>(ce::MapDeviceAddress(gDevice.frameBuffer));
  if (!t.memory) return ScreenTarget{};
  t.size = ce::ScreenMemorySize();
  t.width = gApp.screenWidth;
  t.height = gApp.screenHeight;
  t.depth = gApp.displayDepth;
  t.layout = KnownDevices()[static_cast<size_t>(gDevice.index)];
  return t;
}

void ScreenBlit(const ScreenTarget& screen, const PageRecord& frame, int dstX, int dstY, int srcX,
                int srcY, int width, int height) {
  if (!Writable(screen)) return;
  const uint8_t* pixels = FramePixels(frame, screen.depth);
  if (!pixels) return;
  int64_t dx = dstX, dy = dstY, sx = srcX, sy = srcY, w = width, h = height;
  Cut(&dx, &sx, &w, screen.width, frame.width);
  Cut(&dy, &sy, &h, screen.height, frame.height);
  if (w <= 0 || h <= 0) return;
  const PixelStore store = StoreFor(screen);
  // Lines that lie whole in memory are copied at once; panels that take
  // 16-bit writes only get their pixels one by one.
  const bool wholeLines = screen.layout.orientation == 0 && screen.depth >= 8 &&
                          !(screen.layout.flags & kLayoutWordStores);
  const int bytes = screen.depth / 8;
  ce::ScreenMemoryLock guard;
  for (int64_t j = 0; j < h; ++j) {
    const uint8_t* line = pixels + static_cast<size_t>(sy + j) * frame.bytesPerLine;
    Walk walk = WalkFrom(screen, dx, dy + j);
    if (wholeLines) {
      std::memcpy(screen.memory + walk.at * bytes, line + sx * bytes, static_cast<size_t>(w * bytes));
      continue;
    }
    for (int64_t i = 0; i < w; ++i, walk.at += walk.right) store.Put(walk.at, FramePixel(line, sx + i, screen.depth));
  }
}

void ScreenBlitTurned(const ScreenTarget& screen, const PageRecord& frame, int dstX, int dstY, int srcX,
                      int srcY, int width, int height) {
  if (!Writable(screen)) return;
  const uint8_t* pixels = FramePixels(frame, screen.depth);
  if (!pixels) return;
  int64_t dx = dstX, dy = dstY, sx = srcX, sy = srcY, w = width, h = height;
  Cut(&dx, &sx, &w, screen.height, frame.width);
  Cut(&dy, &sy, &h, screen.width, frame.height);
  if (w <= 0 || h <= 0) return;
  const PixelStore store = StoreFor(screen);
  // Along a frame line the screen goes up a line: on a panel whose memory
  // rows run up the screen that is one pixel on, and whole lines are
  // copied at once where the panel takes byte stores.
  const bool wholeLines = screen.depth >= 8 && !(screen.layout.flags & kLayoutWordStores);
  const int bytes = screen.depth / 8;
  ce::ScreenMemoryLock guard;
  for (int64_t j = 0; j < h; ++j) {
    const uint8_t* line = pixels + static_cast<size_t>(sy + j) * frame.bytesPerLine;
    Walk walk = WalkFrom(screen, dy + j, screen.height - 1 - dx);
    if (wholeLines && walk.down == -1) {
      std::memcpy(screen.memory + walk.at * bytes, line + sx * bytes, static_cast<size_t>(w * bytes));
      continue;
    }
    for (int64_t i = 0; i < w; ++i, walk.at -= walk.down) store.Put(walk.at, FramePixel(line, sx + i, screen.depth));
  }
}

void ScreenBlitScaled(const ScreenTarget& screen, const PageRecord& frame, int dstX, int dstY, int srcX,
                      int srcY, int width, int height, int xStep, int yStep) {
  if (!Writable(screen) || xStep <= 0 || yStep <= 0) return;
  const uint8_t* pixels = FramePixels(frame, screen.depth);
  if (!pixels) return;
  const int64_t first = std::max<int64_t>(0, -static_cast<int64_t>(dstX));
  const int64_t end = std::min<int64_t>(width, static_cast<int64_t>(screen.width) - dstX);
  const bool stretchX = yStep == quillon::kUnitStep;
  const PixelStore store = StoreFor(screen);
  ce::ScreenMemoryLock guard;
  for (int64_t j = 0; j < height; ++j) {
    const int64_t y = dstY + j;
    const int64_t sy = srcY + (stretchX ? j : j * yStep / 256);
    if (y < 0 || y >= screen.height || sy < 0 || sy >= frame.height) continue;
    const uint8_t* line = pixels + static_cast<size_t>(sy) * frame.bytesPerLine;
    Walk walk = WalkFrom(screen, dstX + first, y);
    for (int64_t i = first; i < end; ++i, walk.at += walk.right) {
      const int64_t sx = srcX + (stretchX ? i * xStep / 256 : i);
      if (sx >= 0 && sx < frame.width) store.Put(walk.at, FramePixel(line, sx, screen.depth));
    }
  }
}

uint16_t DarkenedPixel(uint16_t pixel, int level) {
  const int a = 17 * level;
  const int red = std::max(((pixel >> 8) & 0xF8) - a, 0) & 0xF8;
  const int green = std::max(((pixel >> 3) & 0xFC) - a, 0) & 0xFC;
  const int blue = std::max(((pixel << 3) & 0xFF) - a, 0) >> 3;
  return static_cast<uint16_t>((red << 8) | (green << 3) | blue);
}

void ScreenBlitDarkened(const ScreenTarget& screen, const PageRecord& frame, int level) {
  if (!Writable(screen) || screen.depth != 16) return;
  const uint8_t* pixels = FramePixels(frame, 16);
  if (!pixels) return;
  level = std::clamp(level, 0, 15);
  const int w = std::min(screen.width, frame.width), h = std::min(screen.height, frame.height);
  const PixelStore store = StoreFor(screen);
  ce::ScreenMemoryLock guard;
  for (int y = 0; y < h; ++y) {
    const uint8_t* line = pixels + static_cast<size_t>(y) * frame.bytesPerLine;
    Walk walk = WalkFrom(screen, 0, y);
    for (int x = 0; x < w; ++x, walk.at += walk.right)
      store.Put(walk.at, DarkenedPixel(static_cast<uint16_t>(FramePixel(line, x, 16)), level));
  }
}

}  // namespace zelmo
