// Every screen-memory layout: a window painted through GDI and a pattern
// written straight into screen memory through the mapped frame-buffer
// address both come out upright in a headless screenshot.  The test locates
// pixels with its own copy of each layout's formula.
#include <cstring>

#include "support/emu.h"

using namespace ce;

namespace {

struct Layout {
  const char* device;
  uint32_t windowColor;  // drawn by GDI
  uint32_t barColor;
  uint32_t stripeA;  // written directly
  uint32_t stripeB;
};

// Where logical pixel (x, y) lives, and how its value is stored.
void Store(const DeviceModel& d, uint8_t* fb, int x, int y, uint32_t value) {
  const int W = d.width, H = d.height;
  switch (d.orientation) {
    case 0: {
      size_t off = static_cast<size_t>(x + y * d.pitch) * d.depth / 8;
      if (d.depth == 16) std::memcpy(fb + off, &value, 2);
      else fb[off] = static_cast<uint8_t>(value);
      break;
    }
    case 270: {
      size_t off = static_cast<size_t>((H - 1 - y) + x * d.pitch) * d.depth / 8;
      std::memcpy(fb + off, &value, 2);
      break;
    }
    case 90: {
      // Memory row W - 1 - x, pixel y along it; even y in the low nibble;
      // complemented values.
      uint8_t& b = fb[static_cast<size_t>(W - 1 - x) * d.pitch + y / 2];
      uint8_t v = static_cast<uint8_t>(15 - value);
      b = (y % 2 == 0) ? static_cast<uint8_t>((b & 0xF0) | v) : static_cast<uint8_t>((b & 0x0F) | (v << 4));
      break;
    }
  }
}

class Layouts : public emu::Device, public ::testing::WithParamInterface<Layout> {};

LRESULT PatternProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != WM_PAINT) return DefWindowProc(hwnd, msg, wParam, lParam);
  auto* layout = reinterpret_cast<const Layout*>(GetWindowLongPtr(hwnd, GWL_USERDATA));
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  auto brush = [](uint32_t rgb) { return CreateSolidBrush(RGB(rgb >> 16, (rgb >> 8) & 255, rgb & 255)); };
  // A block near the top left and a bar along the bottom: a turned or
  // mirrored screen moves them.
  HBRUSH a = brush(layout->windowColor), b = brush(layout->barColor);
  RECT block{10, 10, 60, 40};
  FillRect(dc, &block, a);
  RECT client;
  GetClientRect(hwnd, &client);
  RECT bar{10, client.bottom - 20, client.right - 10, client.bottom - 10};
  FillRect(dc, &bar, b);
  DeleteObject(a);
  DeleteObject(b);
  EndPaint(hwnd, &ps);
  return 0;
}

TEST_P(Layouts, GdiAndDirectWritesAppearUprightInTheScreenshot) {
  const Layout layout = GetParam();
  Start(layout.device);
  const DeviceModel& d = CurrentDevice();
  WNDCLASS wc{};
  wc.lpfnWndProc = PatternProc;
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = u"PATTERN";
  RegisterClass(&wc);
  HWND w = CreateWindow(u"PATTERN", u"Layout", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
  SetWindowLongPtr(w, GWL_USERDATA, reinterpret_cast<intptr_t>(&layout));
  ShowWindow(w, SW_SHOW);
  emu::Pump();
  ASSERT_TRUE(WaitIdle(3000));  // the task bar shows the new title

  uint32_t a, b;
  if (d.depth == 16) {
    auto pack = [](uint32_t rgb) { return ((rgb >> 19) << 11) | (((rgb >> 10) & 63) << 5) | ((rgb >> 3) & 31); };
    a = pack(layout.stripeA);
    b = pack(layout.stripeB);
  } else if (d.depth == 8) {
    // Load two known colours into the hardware palette, keeping the rest.
    HDC screen = GetDC(nullptr);
    std::vector<uint8_t> block(sizeof(LOGPALETTE) + 256 * sizeof(PALETTEENTRY));
    auto* lp = reinterpret_cast<LOGPALETTE*>(block.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = 256;
    ASSERT_EQ(GetSystemPaletteEntries(screen, 0, 256, lp->palPalEntry), 256u);
    a = 1;
    b = 2;
    for (uint32_t i : {a, b}) {
      uint32_t rgb = i == a ? layout.stripeA : layout.stripeB;
      lp->palPalEntry[i] = PALETTEENTRY{static_cast<BYTE>(rgb >> 16), static_cast<BYTE>(rgb >> 8),
                                        static_cast<BYTE>(rgb), 0};
    }
    HPALETTE pal = CreatePalette(lp);
    SelectPalette(screen, pal, FALSE);
    RealizePalette(screen);
    ReleaseDC(nullptr, screen);
    DeleteObject(pal);
  } else {
    a = (layout.stripeA & 255) / 17;
    b = (layout.stripeB & 255) / 17;
  }
  uint32_t address = d.depth == 16 ? d.frameBuffer16 : d.frameBufferOther;
  auto* fb = static_cast<uint8_t*>(MapDeviceAddress(address));
  ASSERT_NE(fb, nullptr);
  const int sx = d.width - 70, sy = 60, sw = 50, sh = 40;
  for (int y = sy; y < sy + sh; ++y)
    for (int x = sx; x < sx + sw; ++x) Store(d, fb, x, y, (y / 4) % 2 ? b : a);

  std::string path = folder_.path() + "/" + layout.device + ".png";
  std::string error;
  ASSERT_TRUE(SaveScreenshot(path, &error)) << error;
  emu::Png png;
  ASSERT_TRUE(emu::ReadPng(path, &png));
  ASSERT_EQ(png.width, d.width);
  ASSERT_EQ(png.height, d.height);
  const int top = 26;  // the window's client area starts below the task bar
  for (int y = top; y < d.height; ++y) {
    for (int x = 0; x < d.width; ++x) {
      int cy = y - top;
      uint32_t want = 0xFFFFFF;
      if (x >= 10 && x < 60 && cy >= 10 && cy < 40) want = layout.windowColor;
      if (x >= 10 && x < d.width - 10 && y >= d.height - 20 && y < d.height - 10) want = layout.barColor;
      if (x >= sx && x < sx + sw && y >= sy && y < sy + sh) want = (y / 4) % 2 ? layout.stripeB : layout.stripeA;
      ASSERT_EQ(png.at(x, y), want) << layout.device << " at " << x << "," << y;
    }
  }
  DestroyWindow(w);
}

INSTANTIATE_TEST_SUITE_P(
    EveryLayout, Layouts,
    ::testing::Values(Layout{"ipaq3600", 0xFF0000, 0x0000FF, 0x00FF00, 0xFF00FF},     // 270
                      Layout{"jornada540", 0xFF0000, 0x0000FF, 0x00FF00, 0xFF00FF},   // 0
                      Layout{"j670", 0xFF0000, 0x0000FF, 0x00FF00, 0xFF00FF},         // 0, pitch 256
                      Layout{"ipaq3100", 0x000000, 0x555555, 0xAAAAAA, 0x222222},     // 90, 4-bit
                      Layout{"mobilepro", 0xFF0000, 0x0000FF, 0x123456, 0xABCDEF}),   // 8-bit palette
    [](const ::testing::TestParamInfo<Layout>& info) { return std::string(info.param.device); });

}  // namespace
