// Screen memory: laid out as the model's profile says, the one surface GDI
// and the direct writers share; its frame-buffer address; its conversion to
// what the eye sees, and PNG screenshots of it.
#include <png.h>

#include <cstdio>

#include "platform/gdi/gdi_internal.h"

namespace ce {

using namespace internal;

namespace internal {

ScreenState& Screen() {
  static ScreenState* state = new ScreenState;  // never destroyed: see internal.h
  return *state;
}

void SetupScreen(const DeviceModel& device) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  ScreenState& s = Screen();
  delete[] s.memory;
  s.width = device.width;
  s.height = device.height;
  s.depth = device.depth;
  s.orientation = device.orientation;
  s.flags = device.flags;
  // The gray panel's pitch counts bytes; every other pitch counts pixels.
  s.rowBytes = device.orientation == 90
                   ? static_cast<size_t>(device.pitch)
                   : static_cast<size_t>(device.pitch) * device.depth / 8;
  s.rows = device.orientation == 0 ? device.height : device.width;
  s.size = s.rowBytes * static_cast<size_t>(s.rows);
  s.memory = new uint32_t[(s.size + 3) / 4]();
  s.format = PixelFormat{};
  s.format.bpp = device.depth;
  switch (device.depth) {
    case 4: s.format.kind = PixelKind::kGray4; break;
    case 8: s.format.kind = PixelKind::kDevice8; break;
    case 24: s.format.kind = PixelKind::kRgb24; break;
    default: s.format.kind = PixelKind::kRgb565; break;
  }
  for (int i = 0; i < 256; ++i) s.hardware[i] = SystemColor(i);
  ++s.paletteGeneration;
}

}  // namespace internal

ScreenLocation LocateScreenPixel(int x, int y) { return Locate(Screen(), x, y); }

uint8_t* ScreenMemory() { return reinterpret_cast<uint8_t*>(Screen().memory); }

size_t ScreenMemorySize() { return Screen().size; }

ScreenMemoryLock::ScreenMemoryLock() { Gdi().lock.lock(); }
ScreenMemoryLock::~ScreenMemoryLock() { Gdi().lock.unlock(); }

void* MapDeviceAddress(uint32_t address) {
  const DeviceModel& d = CurrentDevice();
  uint32_t fb = Screen().depth == 16 ? d.frameBuffer16 : d.frameBufferOther;
  if (address == 0 || address != fb || d.deviceIndex < 0) return nullptr;
  return Screen().memory;
}

BOOL IsBadReadPtr(const void*, size_t) { return FALSE; }
BOOL IsBadWritePtr(void*, size_t) { return FALSE; }

std::vector<uint32_t> ScreenPixels() {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  const ScreenState& s = Screen();
  Surface surface = ScreenSurface();
  std::vector<uint32_t> out(static_cast<size_t>(s.width) * s.height);
  for (int y = 0; y < s.height; ++y) {
    for (int x = 0; x < s.width; ++x) {
      COLORREF c = RawToColor(surface, ReadRaw(surface, x, y));
      out[static_cast<size_t>(y) * s.width + x] =
          (static_cast<uint32_t>(GetRValue(c)) << 16) | (GetGValue(c) << 8) | GetBValue(c);
    }
  }
  return out;
}

// Kept free of objects with destructors: libpng reports errors by longjmp,
// which would skip them.
static bool WritePng(FILE* f, const uint32_t* pixels, int width, int height, png_byte* row) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    const uint32_t* line = pixels + static_cast<size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      row[x * 3] = static_cast<png_byte>(line[x] >> 16);
      row[x * 3 + 1] = static_cast<png_byte>(line[x] >> 8);
      row[x * 3 + 2] = static_cast<png_byte>(line[x]);
    }
    png_write_row(png, row);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

bool SaveScreenshot(const std::string& pngPath, std::string* error) {
  std::vector<uint32_t> pixels = ScreenPixels();
  int width = Screen().width, height = Screen().height;
  FILE* f = std::fopen(pngPath.c_str(), "wb");
  if (!f) {
    if (error) *error = "cannot create " + pngPath;
    return false;
  }
  std::vector<png_byte> row(static_cast<size_t>(width) * 3);
  bool ok = WritePng(f, pixels.data(), width, height, row.data());
  ok = (std::fclose(f) == 0) && ok;
  if (!ok && error) *error = "cannot write " + pngPath;
  return ok;
}

}  // namespace ce
