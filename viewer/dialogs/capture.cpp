// take-capture: the screen into a page, the page to the depth its file type
// wants, the page into a numbered file through the writers' safe save.
#include "viewer/dialogs/capture.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "imaging/core/files.h"
#include "imaging/pixels/pixels.h"
#include "imaging/writers/writers.h"
#include "platform/ce.h"
#include "platform/emulator.h"
#include "viewer/app/device.h"
#include "viewer/app/state.h"
#include "viewer/dialogs/dialog_common.h"
#include "viewer/settings/settings.h"

namespace zelmo {

using namespace ce;
using quillon::PageRecord;

namespace {

// Depth rules per display depth, in capture-type order.  kKeep keeps the
// display's depth; kWide widens to 24 when Capture24bpp is on; kWideOr8 is
// 24 with Capture24bpp, else 8.  GIF holds at most 8 bits, so it is never
// widened.
constexpr int kKeep = 0;
constexpr int kWide = -1;
constexpr int kWideOr8 = -2;
struct DepthRule {
  int displayDepth;
  int rule[kCaptureFormatCount];
};
constexpr DepthRule kDepthRules[] = {
    {2, {4, 4, 4, 8}},
    {4, {kKeep, kKeep, kKeep, 8}},
    {8, {kWide, kWide, kKeep, 24}},
    {16, {kWide, kWideOr8, 8, 24}},
    {24, {kKeep, kKeep, 8, kKeep}},
};

constexpr int32_t kLastCaptureNumber = 99999999;
constexpr const char16_t* kCaptureCaption = u"Screen Capture";

int CaptureTypeInUse() {
  int type = gSettings.captureType;
  return type >= 0 && type < kCaptureFormatCount ? type : 0;
}

// The system palette, or the handheld's default for the depth, as
// Blue-Green-Red triplets.
void FillPalette(uint8_t* palette, int depth) {
  const int n = 1 << depth;
  PALETTEENTRY entries[256] = {};
  HDC screen = GetDC(nullptr);
  int got = static_cast<int>(GetSystemPaletteEntries(screen, 0, static_cast<UINT>(n), entries));
  ReleaseDC(nullptr, screen);
  for (int v = 0; v < n; ++v) {
    uint8_t r, g, b;
    if (got >= n) {
      r = entries[v].peRed, g = entries[v].peGreen, b = entries[v].peBlue;
    } else if (depth == 8) {
      // The 3-3-2 colour cube, each field widened by repeating its bits.
      int red = v & 0xE0, green = ((v & 0xFC) * 8) & 0xFF, blue = (v * 64) & 0xFF;
      r = static_cast<uint8_t>(red | red >> 4);
      g = static_cast<uint8_t>(green | green >> 4);
      b = static_cast<uint8_t>(blue | blue >> 4);
    } else {
      r = g = b = static_cast<uint8_t>(v * (depth == 4 ? 17 : 85));
    }
    palette[3 * v] = b;
    palette[3 * v + 1] = g;
    palette[3 * v + 2] = r;
  }
}

// Reads screen memory through the model's layout, upright whatever the
// panel's orientation; false when the model has no mapped screen memory.
bool ReadScreenMemory(uint8_t* bits, uint32_t stride, int width, int height, int depth) {
  if (gDevice.index < 0) return false;
  const uint8_t* memory = static_cast<const uint8_t*>(MapDeviceAddress(gDevice.frameBuffer));
  if (!memory) return false;
  const DeviceProfile& profile = KnownDevices()[static_cast<size_t>(gDevice.index)];
  if (ScreenMemoryBytes(profile, depth, width, height) > ScreenMemorySize()) return false;
  const int bytes = depth / 8;
  const unsigned mask = (1u << std::min(depth, 8)) - 1;
  ScreenMemoryLock guard;  // GDI and the presenter use screen memory too
  for (int y = 0; y < height; ++y) {
    uint8_t* row = bits + static_cast<size_t>(height - 1 - y) * stride;
    for (int x = 0; x < width; ++x) {
      ScreenSpot at = LocateScreenPixel(profile, depth, width, height, x, y);
      if (depth >= 8) {
        std::memcpy(row + static_cast<size_t>(x) * bytes, memory + at.byte, static_cast<size_t>(bytes));
        continue;
      }
      unsigned v = (memory[at.byte] >> at.shift) & mask;
      if (profile.flags & kLayoutComplemented) v = mask - v;
      size_t bit = static_cast<size_t>(x) * depth;
      row[bit / 8] |= static_cast<uint8_t>(v << (8 - depth - static_cast<int>(bit % 8)));
    }
  }
  return true;
}

// Copies the screen's device context into a bottom-up section of the
// display's depth and takes its pixels.
bool CopyScreenContext(uint8_t* bits, uint64_t size, int width, int height, int depth,
                       const uint8_t* palette) {
  struct {
    BITMAPINFOHEADER header;
    uint32_t table[256];
  } info{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = width;
  info.header.biHeight = height;
  info.header.biPlanes = 1;
  info.header.biBitCount = static_cast<WORD>(depth);
  if (depth == 16) {
    info.header.biCompression = BI_BITFIELDS;
    info.table[0] = 0xF800;
    info.table[1] = 0x07E0;
    info.table[2] = 0x001F;
  } else if (depth < 16) {
    for (int i = 0; i < (1 << depth); ++i)
      info.table[i] = palette[3 * i] | (palette[3 * i + 1] << 8) | (palette[3 * i + 2] << 16);
  }
  void* sectionBits = nullptr;
  HBITMAP section = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                     &sectionBits, nullptr, 0);
  if (!section || !sectionBits) {
    if (section) DeleteObject(section);
    return false;
  }
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(memory, section);
  BOOL copied = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  // A bottom-up section keeps its lines in the page's order already.
  if (copied) std::memcpy(bits, sectionBits, static_cast<size_t>(size));
  DeleteObject(section);
  return copied != FALSE;
}

std::u16string Digits(int32_t n) {
  char text[16];
  std::snprintf(text, sizeof(text), "%04d", static_cast<int>(n));
  return std::u16string(text, text + std::strlen(text));
}

void ReportFailure(int32_t code, bool atLaunch) {
  std::u16string text = ImagingErrorText(code);
  if (atLaunch) {
    std::fprintf(stderr, "zelmo: Screen Capture: %s\n", quillon::Utf16ToUtf8(text).c_str());
    return;
  }
  MessageBox(gApp.mainWindow, text.c_str(), kCaptureCaption, MB_OK | MB_ICONSTOP);
}

}  // namespace

int CaptureDepth(int displayDepth, int type, bool capture24bpp) {
  if (type < 0 || type >= kCaptureFormatCount) return displayDepth;
  for (const DepthRule& r : kDepthRules) {
    if (r.displayDepth != displayDepth) continue;
    switch (r.rule[type]) {
      case kKeep: return displayDepth;
      case kWide: return capture24bpp ? 24 : displayDepth;
      case kWideOr8: return capture24bpp ? 24 : 8;
      default: return r.rule[type];
    }
  }
  return displayDepth;
}

int32_t CaptureScreenPage(PageRecord* page) {
  const int width = gApp.screenWidth, height = gApp.screenHeight, depth = gApp.displayDepth;
  if (width <= 0 || height <= 0) return quillon::kErrParameter;
  if (depth != 2 && depth != 4 && depth != 8 && depth != 16 && depth != 24) return quillon::kErrBitDepth;
  const uint32_t stride = quillon::BytesPerLine(width, depth);
  const uint64_t size = quillon::SizeProduct(stride, static_cast<uint64_t>(height));
  if (size > UINT32_MAX) return quillon::kErrMemory;
  auto* bits = static_cast<uint8_t*>(quillon::Allocate(size));
  uint8_t* palette = depth < 16 ? static_cast<uint8_t*>(quillon::Allocate(768)) : nullptr;
  if (!bits || (depth < 16 && !palette)) {
    quillon::Release(bits);
    quillon::Release(palette);
    return quillon::kErrMemory;
  }
  if (palette) FillPalette(palette, depth);
  if (!ReadScreenMemory(bits, stride, width, height, depth) &&
      !CopyScreenContext(bits, size, width, height, depth, palette)) {
    quillon::Release(bits);
    quillon::Release(palette);
    return quillon::kErrMemory;
  }
  *page = PageRecord{};
  page->width = width;
  page->height = height;
  page->bitsPerPixel = static_cast<int8_t>(depth);
  page->planes = 1;
  page->layoutFlags = quillon::kLayoutBottomUp;
  page->compression = quillon::kUncompressed;
  page->data = bits;
  page->dataSize = static_cast<uint32_t>(size);
  page->bytesPerLine = stride;
  page->dataOwnership = quillon::kOwnedByPage;
  page->palette = palette;
  return quillon::kOk;
}

std::u16string NextCaptureName() {
  std::u16string& dir = gSettings.captureDir;
  if ((dir.empty() || dir.back() != u'\\') && dir.size() < kSettingsStringChars) dir += u'\\';
  std::u16string folder = dir;
  if (folder.empty() || folder.back() != u'\\') folder += u'\\';
  const char16_t* extension = kCaptureFormats[CaptureTypeInUse()].extension;
  std::u16string name;
  do {
    if (gSettings.captureCount < 0) gSettings.captureCount = 0;
    if (gSettings.captureCount >= kLastCaptureNumber) return u"";
    ++gSettings.captureCount;
    name = folder + gSettings.captureName + Digits(gSettings.captureCount) + u"." + extension;
  } while (GetFileAttributes(name.c_str()) != INVALID_FILE_ATTRIBUTES);
  return name;
}

int32_t TakeCapture() {
  const bool atLaunch = gApp.mainWindow == nullptr;
  // At launch nothing is loaded yet; later the settings in memory are the
  // current ones (in Glimpse mode newer than the stored ones).
  if (atLaunch) LoadSettings();
  const int type = CaptureTypeInUse();
  PageRecord page{};
  int32_t result = CaptureScreenPage(&page);
  std::u16string name;
  if (result == quillon::kOk) {
    name = NextCaptureName();
    if (name.empty()) result = quillon::kErrIo;
  }
  if (result == quillon::kOk) {
    int depth = CaptureDepth(gApp.displayDepth, type, gSettings.capture24bpp != 0);
    if (depth != page.bitsPerPixel)
      result = quillon::TransformPage(&page, quillon::kConvertDepth, depth, quillon::kDitherNearest);
  }
  if (result == quillon::kOk)
    result = quillon::SavePage(name.c_str(), &page, kCaptureFormats[type].saveType,
                               EncoderQuality());
  quillon::FreePage(&page);
  if (result == quillon::kOk) {
    if (gApp.shutterSound) sndPlaySound(gApp.shutterSound, SND_MEMORY | SND_ASYNC);
  } else {
    ReportFailure(result, atLaunch);
  }
  SaveSettings();
  return result;
}

}  // namespace zelmo
