// Screens of every panel layout in memory exactly as large as the layout
// spans, pages built pixel by pixel, and a clock the test advances: what
// the tests of the writers into screen memory and of the jobs share.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "imaging/core/page.h"
#include "viewer/app/device.h"
#include "viewer/slideshow/job_clock.h"
#include "viewer/slideshow/screen_blit.h"

namespace vt {

using quillon::PageRecord;
using zelmo::DeviceProfile;
using zelmo::JobClock;
using zelmo::ScreenTarget;

// A screen and its memory's layout, as the emulated models have them.
struct Layout {
  const char* name;
  int width, height, depth;
  uint32_t pitch, orientation, flags;
};
inline constexpr Layout kLayouts[] = {
    {"rows, 16 bits", 12, 16, 16, 14, 0, 0},          {"rows, 16-bit stores", 16, 12, 16, 18, 0, zelmo::kLayoutWordStores},
    {"rotated 270, 16 bits", 12, 16, 16, 17, 270, 0}, {"rows, 8 bits", 16, 12, 8, 17, 0, 0},
    {"rotated 90, 4-bit gray", 12, 16, 4, 9, 90, zelmo::kLayoutComplemented | zelmo::kLayoutLowNibbleFirst},
};

// Screen memory of a layout, exactly as large as it needs, filled with 0x5A.
struct Panel {
  std::vector<uint8_t> memory;
  ScreenTarget target;
  explicit Panel(const Layout& l) {
    target.layout = DeviceProfile{u"", 0, 0, 0, 0, 0, l.pitch, l.orientation, l.flags};
    target.width = l.width, target.height = l.height, target.depth = l.depth;
    memory.assign(zelmo::ScreenMemoryBytes(target.layout, l.depth, l.width, l.height), 0x5A);
    target.memory = memory.data(), target.size = memory.size();
  }
  uint32_t at(int x, int y) const {
    zelmo::ScreenSpot s = zelmo::LocateScreenPixel(target.layout, target.depth, target.width, target.height, x, y);
    if (target.depth == 8) return memory[s.byte];
    if (target.depth == 16) return memory[s.byte] | memory[s.byte + 1] << 8;
    uint32_t v = (memory[s.byte] >> s.shift) & 15;
    return (target.layout.flags & zelmo::kLayoutComplemented) ? 15 - v : v;
  }
  std::vector<uint32_t> pixels() const {
    std::vector<uint32_t> all;
    for (int i = 0; i < target.width * target.height; ++i) all.push_back(at(i % target.width, i / target.width));
    return all;
  }
};

// Pixel (x, y) of a 4-, 8- or 16-bit page.
inline uint32_t PixelOf(const PageRecord& p, int x, int y) {
  const uint8_t* line = p.data + p.dataOffset + y * p.bytesPerLine;
  if (p.bitsPerPixel == 4) return (line[x / 2] >> ((x & 1) ? 0 : 4)) & 15;
  return p.bitsPerPixel == 8 ? line[x] : line[2 * x] | line[2 * x + 1] << 8;
}

// An uncompressed page whose pixel (x, y) is value(x, y) (24 bits: 0xRRGGBB).
struct TestPage {
  std::vector<uint8_t> bytes;
  PageRecord page{};
  TestPage(int width, int height, int depth, const std::function<uint32_t(int, int)>& value) {
    page.width = width, page.height = height, page.bitsPerPixel = static_cast<int8_t>(depth);
    page.bytesPerLine = quillon::BytesPerLine(width, depth);
    bytes.assign(page.bytesPerLine * height, 0);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        uint8_t* line = bytes.data() + y * page.bytesPerLine;
        uint32_t v = value(x, y);
        if (depth == 4) line[x / 2] |= static_cast<uint8_t>(v << ((x & 1) ? 0 : 4));
        else for (int b = 0; b < depth / 8; ++b) line[x * depth / 8 + b] = static_cast<uint8_t>(v >> 8 * b);
      }
    page.data = bytes.data(), page.dataSize = static_cast<uint32_t>(bytes.size());
  }
  uint32_t at(int x, int y) const { return PixelOf(page, x, y); }
};

// A clock that advances by what is slept, starting just before it wraps.
struct TestClock {
  uint32_t now = 0xFFFFFF00;
  std::vector<uint32_t> sleeps;
  std::function<void()> onSleep;
  static void Sleep(void* c, uint32_t ms) {
    auto* t = static_cast<TestClock*>(c);
    t->now += ms, t->sleeps.push_back(ms);
    if (t->onSleep) t->onSleep();
  }
  JobClock clock() { return JobClock{this, [](void* c) { return static_cast<TestClock*>(c)->now; }, Sleep}; }
};

}  // namespace vt
