// GDI pixels: sections of every depth, top-down and bottom-up, palette-
// relative colour tables, 5-6-5, blits that convert between depths, fills,
// rectangles, polylines, focus rectangles, and clipping between windows.
#include <cstring>

#include "support/emu.h"

using namespace ce;

namespace {

class Gdi : public emu::Device {
 protected:
  void SetUp() override {
    emu::Device::SetUp();
    Start("ipaq3600");
  }
};

uint32_t Rgb(int r, int g, int b) { return (static_cast<uint32_t>(r) << 16) | (g << 8) | b; }

// Standard 5- and 6-bit expansion by bit replication.
int Expand5(int v) { return (v << 3) | (v >> 2); }
int Expand6(int v) { return (v << 2) | (v >> 4); }

struct SectionCase {
  int bpp;
  bool topDown;
};

class Sections : public Gdi, public ::testing::WithParamInterface<SectionCase> {};

TEST_P(Sections, PixelsWrittenDirectlyBlitToTheRightColours) {
  const SectionCase c = GetParam();
  const int w = 9, h = 5;
  std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * 4);
  auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
  bi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi->bmiHeader.biWidth = w;
  bi->bmiHeader.biHeight = c.topDown ? -h : h;
  bi->bmiHeader.biPlanes = 1;
  bi->bmiHeader.biBitCount = static_cast<WORD>(c.bpp);
  int colors = c.bpp <= 8 ? 1 << c.bpp : 0;
  std::vector<uint32_t> table;
  for (int i = 0; i < colors; ++i) {
    uint32_t rgb = Rgb((i * 37) & 255, 255 - ((i * 11) & 255), (i * 91) & 255);
    table.push_back(rgb);
    bi->bmiColors[i] = RGBQUAD{static_cast<BYTE>(rgb), static_cast<BYTE>(rgb >> 8),
                               static_cast<BYTE>(rgb >> 16), 0};
  }
  if (c.bpp == 16) {
    bi->bmiHeader.biCompression = BI_BITFIELDS;
    uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(bi->bmiColors, masks, sizeof(masks));
  }
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(nullptr, bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(section, nullptr);
  size_t stride = (static_cast<size_t>(w) * c.bpp + 31) / 32 * 4;
  std::vector<uint32_t> expected(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = static_cast<uint8_t*>(bits) + (c.topDown ? y : h - 1 - y) * stride;
    for (int x = 0; x < w; ++x) {
      uint32_t& e = expected[static_cast<size_t>(y) * w + x];
      if (c.bpp <= 8) {
        int v = (x + y * 3) % colors;
        int bit = x * c.bpp;
        row[bit / 8] |= static_cast<uint8_t>(v << (8 - c.bpp - bit % 8));
        e = table[static_cast<size_t>(v)];
      } else if (c.bpp == 16) {
        int r = (x * 3 + y) & 31, g = (x * 7 + y * 5) & 63, b = (y * 6 + 1) & 31;
        uint16_t v = static_cast<uint16_t>((r << 11) | (g << 5) | b);
        std::memcpy(row + x * 2, &v, 2);
        e = Rgb(Expand5(r), Expand6(g), Expand5(b));
      } else {
        uint8_t r = static_cast<uint8_t>(x * 28), g = static_cast<uint8_t>(y * 50),
                b = static_cast<uint8_t>(x * y * 5);
        row[x * 3] = b;
        row[x * 3 + 1] = g;
        row[x * 3 + 2] = r;
        e = Rgb(r, g, b);
      }
    }
  }
  HDC src = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(src, section);
  emu::Canvas canvas(w + 2, h + 2);
  ASSERT_TRUE(BitBlt(canvas.dc, 1, 1, w, h, src, 0, 0, SRCCOPY));
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      ASSERT_EQ(canvas.at(x + 1, y + 1), expected[static_cast<size_t>(y) * w + x])
          << "bpp " << c.bpp << " at " << x << "," << y;
    }
  }
  // The border the blit did not cover stays as it was.
  EXPECT_EQ(canvas.at(0, 0), 0u);
  EXPECT_EQ(canvas.at(w + 1, h + 1), 0u);
  SelectObject(src, old);
  DeleteDC(src);
  DeleteObject(section);
}

INSTANTIATE_TEST_SUITE_P(EveryDepth, Sections,
                         ::testing::Values(SectionCase{1, true}, SectionCase{1, false},
                                           SectionCase{4, true}, SectionCase{4, false},
                                           SectionCase{8, true}, SectionCase{8, false},
                                           SectionCase{16, true}, SectionCase{16, false},
                                           SectionCase{24, true}, SectionCase{24, false}));

HPALETTE MakePalette(const std::vector<uint32_t>& rgb) {
  std::vector<uint8_t> block(sizeof(LOGPALETTE) + rgb.size() * sizeof(PALETTEENTRY));
  auto* lp = reinterpret_cast<LOGPALETTE*>(block.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = static_cast<WORD>(rgb.size());
  for (size_t i = 0; i < rgb.size(); ++i) {
    lp->palPalEntry[i] = PALETTEENTRY{static_cast<BYTE>(rgb[i] >> 16), static_cast<BYTE>(rgb[i] >> 8),
                                      static_cast<BYTE>(rgb[i]), 0};
  }
  return CreatePalette(lp);
}

TEST_F(Gdi, PaletteRelativeSectionsResolveThroughTheSelectedPalette) {
  HPALETTE pal = MakePalette({0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00});
  HDC dc = CreateCompatibleDC(nullptr);
  SelectPalette(dc, pal, FALSE);
  std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * 2);
  auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
  bi->bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 4, -1, 1, 8, BI_RGB, 0, 0, 0, 4, 0};
  uint16_t* indexes = reinterpret_cast<uint16_t*>(bi->bmiColors);
  for (int i = 0; i < 4; ++i) indexes[i] = static_cast<uint16_t>(3 - i);
  void* bits;
  HBITMAP section = CreateDIBSection(dc, bi, DIB_PAL_COLORS, &bits, nullptr, 0);
  ASSERT_NE(section, nullptr);
  for (int i = 0; i < 4; ++i) static_cast<uint8_t*>(bits)[i] = static_cast<uint8_t>(i);
  SelectObject(dc, section);
  emu::Canvas canvas(4, 1);
  BitBlt(canvas.dc, 0, 0, 4, 1, dc, 0, 0, SRCCOPY);
  EXPECT_EQ(canvas.at(0, 0), 0xFFFF00u);
  EXPECT_EQ(canvas.at(1, 0), 0x0000FFu);
  EXPECT_EQ(canvas.at(2, 0), 0x00FF00u);
  EXPECT_EQ(canvas.at(3, 0), 0xFF0000u);
  DeleteDC(dc);
  DeleteObject(section);
  DeleteObject(pal);
}

TEST_F(Gdi, FillsPackFiveSixFiveAndBlitsReduceToGray) {
  BITMAPINFO bi{};
  bi.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 3, -2, 1, 16, BI_BITFIELDS, 0, 0, 0, 0, 0};
  uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
  std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 12);
  std::memcpy(info.data(), &bi.bmiHeader, sizeof(BITMAPINFOHEADER));
  std::memcpy(info.data() + sizeof(BITMAPINFOHEADER), masks, 12);
  void* bits;
  HBITMAP s16 = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS,
                                 &bits, nullptr, 0);
  ASSERT_NE(s16, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, s16);
  HBRUSH orange = CreateSolidBrush(RGB(255, 128, 8));
  RECT r{0, 0, 3, 2};
  FillRect(dc, &r, orange);
  uint16_t v;
  std::memcpy(&v, bits, 2);
  EXPECT_EQ(v, ((255 >> 3) << 11) | ((128 >> 2) << 5) | (8 >> 3));
  // White becomes all-one bits, so that exclusive-or inverts.
  HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  FillRect(dc, &r, white);
  std::memcpy(&v, bits, 2);
  EXPECT_EQ(v, 0xFFFF);

  // A 4-bit section with sixteen grays takes the nearest gray of each colour.
  std::vector<uint8_t> info4(sizeof(BITMAPINFOHEADER) + 16 * 4);
  auto* b4 = reinterpret_cast<BITMAPINFO*>(info4.data());
  b4->bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 4, 1, 1, 4, BI_RGB, 0, 0, 0, 16, 0};
  for (int i = 0; i < 16; ++i) {
    BYTE g = static_cast<BYTE>(i * 17);
    b4->bmiColors[i] = RGBQUAD{g, g, g, 0};
  }
  void* bits4;
  HBITMAP s4 = CreateDIBSection(nullptr, b4, DIB_RGB_COLORS, &bits4, nullptr, 0);
  emu::Canvas canvas(4, 1);
  const uint32_t grays[4] = {0x000000, 0x888888, 0xFFFFFF, 0x444444};
  for (int x = 0; x < 4; ++x) SetPixel(canvas.dc, x, 0, RGB(grays[x] >> 16, (grays[x] >> 8) & 255, grays[x] & 255));
  HDC dc4 = CreateCompatibleDC(nullptr);
  SelectObject(dc4, s4);
  BitBlt(dc4, 0, 0, 4, 1, canvas.dc, 0, 0, SRCCOPY);
  const uint8_t* p = static_cast<uint8_t*>(bits4);
  EXPECT_EQ(p[0], 0x08);  // levels 0 and 8
  EXPECT_EQ(p[1], 0xF4);  // levels 15 and 4
  DeleteDC(dc4);
  DeleteObject(s4);
  DeleteDC(dc);
  DeleteObject(s16);
  DeleteObject(orange);
}

TEST_F(Gdi, RectanglesPolylinesAndFocusRectangles) {
  emu::Canvas c(12, 10);
  RECT all{0, 0, 12, 10};
  FillRect(c.dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  HPEN blue = CreatePen(PS_SOLID, 1, 0xFF0000);  // red in the low byte: this is blue
  HBRUSH yellow = CreateSolidBrush(0x00FFFF);
  SelectObject(c.dc, blue);
  SelectObject(c.dc, yellow);
  Rectangle(c.dc, 1, 1, 6, 5);
  // Outline on the first and last row and column, right and bottom excluded.
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 12; ++x) {
      bool inside = x >= 1 && x < 6 && y >= 1 && y < 5;
      bool edge = inside && (x == 1 || x == 5 || y == 1 || y == 4);
      uint32_t want = !inside ? 0xFFFFFF : edge ? 0x0000FF : 0xFFFF00;
      ASSERT_EQ(c.at(x, y), want) << x << "," << y;
    }
  }
  POINT line[3] = {{7, 1}, {10, 1}, {10, 4}};
  Polyline(c.dc, line, 3);
  for (int x = 7; x <= 10; ++x) EXPECT_EQ(c.at(x, 1), 0x0000FFu);
  EXPECT_EQ(c.at(10, 3), 0x0000FFu);
  EXPECT_EQ(c.at(10, 4), 0xFFFFFFu);  // the last point is not drawn
  std::vector<uint32_t> before;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 12; ++x) before.push_back(c.at(x, y));
  RECT focus{0, 5, 12, 10};
  DrawFocusRect(c.dc, &focus);
  EXPECT_EQ(c.at(0, 5), 0x000000u);  // white inverted
  EXPECT_EQ(c.at(1, 5), 0xFFFFFFu);  // every other pixel
  DrawFocusRect(c.dc, &focus);
  std::vector<uint32_t> after;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 12; ++x) after.push_back(c.at(x, y));
  EXPECT_EQ(before, after);
  SelectObject(c.dc, GetStockObject(BLACK_PEN));
  SelectObject(c.dc, GetStockObject(WHITE_BRUSH));
  DeleteObject(blue);
  DeleteObject(yellow);
}

LRESULT PlainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

TEST_F(Gdi, WindowDrawingIsClippedByWindowsAboveAndByChildren) {
  WNDCLASS wc{};
  wc.lpfnWndProc = PlainProc;
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = u"PLAIN";
  RegisterClass(&wc);
  HWND back = CreateWindow(u"PLAIN", u"Back", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
  HWND child = CreateWindow(u"PLAIN", u"", WS_CHILD | WS_VISIBLE, 0, 200, 40, 40, back, nullptr,
                            nullptr, nullptr);
  HWND front = CreateWindow(u"PLAIN", u"Front", WS_VISIBLE | WS_BORDER, 50, 100, 100, 100, back,
                            nullptr, nullptr, nullptr);
  emu::Pump();
  ASSERT_TRUE(IsWindowVisible(child));
  HDC dc = GetDC(back);
  RECT all{-50, -50, 400, 400};
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  FillRect(dc, &all, red);
  ReleaseDC(back, dc);
  std::vector<uint32_t> screen = ScreenPixels();
  for (int y = 0; y < 320; ++y) {
    for (int x = 0; x < 240; ++x) {
      bool taskBar = y < 26;
      bool inFront = x >= 50 && x < 150 && y >= 100 && y < 200;
      bool inChild = x < 40 && y >= 226 && y < 266;
      bool frontBorder = inFront && (x == 50 || x == 149 || y == 100 || y == 199);
      uint32_t got = screen[static_cast<size_t>(y) * 240 + x];
      if (taskBar || inFront || inChild) {
        ASSERT_NE(got, 0xFF0000u) << "drawn over at " << x << "," << y;
        if (frontBorder) {
          ASSERT_EQ(got, 0x000000u) << x << "," << y;
        } else if (inFront || inChild) {
          ASSERT_EQ(got, 0xFFFFFFu) << x << "," << y;
        }
      } else {
        ASSERT_EQ(got, 0xFF0000u) << "not drawn at " << x << "," << y;
      }
    }
  }
  DeleteObject(red);
  DestroyWindow(front);
  DestroyWindow(back);
}

class PaletteDevice : public emu::Device {
 protected:
  void SetUp() override {
    emu::Device::SetUp();
    Start("mobilepro");
    emu::RegisterRecordingClass(u"REC");
  }
};

int gPaletteChanges = 0;
HPALETTE gGreens = nullptr;

// Paints itself silver; re-realises its own palette when the hardware
// palette changed, as the zoom window does.
LRESULT SilverProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_PALETTECHANGED && reinterpret_cast<HWND>(wParam) != hwnd) {
    ++gPaletteChanges;
    HDC dc = GetDC(hwnd);
    SelectPalette(dc, gGreens, FALSE);
    RealizePalette(dc);
    ReleaseDC(hwnd, dc);
  } else if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    HBRUSH silver = CreateSolidBrush(RGB(192, 192, 192));
    FillRect(dc, &ps.rcPaint, silver);
    DeleteObject(silver);
    EndPaint(hwnd, &ps);
  } else {
    return DefWindowProc(hwnd, msg, wParam, lParam);
  }
  return 0;
}

TEST_F(PaletteDevice, ARealisationInFrontRepaintsTheOthersInTheNearestColours) {
  WNDCLASS wc{};
  wc.lpfnWndProc = SilverProc;
  wc.lpszClassName = u"SILVER";
  RegisterClass(&wc);
  gGreens = MakePalette(std::vector<uint32_t>(256, 0x00FF00));
  gPaletteChanges = 0;
  CreateWindow(u"SILVER", u"B", WS_VISIBLE, 0, 26, 300, 100, nullptr, nullptr, nullptr, nullptr);
  HWND front = CreateWindow(u"REC", u"A", WS_VISIBLE, 320, 26, 300, 100, nullptr, nullptr, nullptr, nullptr);
  emu::Pump();
  EXPECT_EQ(emu::ScreenAt(50, 50), 0xC0C0C0u);  // the system palette's silver
  // The window in front loads red where silver was, and silver at 100.
  std::vector<uint32_t> colors;
  for (int i = 0; i < 256; ++i) colors.push_back(Rgb(i, 0, 255 - i));
  colors[7] = 0xFF0000;
  colors[100] = 0xC0C0C0;
  HPALETTE pal = MakePalette(colors);
  HDC dc = GetDC(front);
  SelectPalette(dc, pal, FALSE);
  EXPECT_EQ(RealizePalette(dc), 256u);
  RealizePalette(dc);  // no change: nobody is told
  emu::Pump();
  EXPECT_EQ(gPaletteChanges, 1);
  // The window behind realised its greens as a background palette: the
  // hardware palette stayed, and it repainted with the nearest silver.
  PALETTEENTRY e;
  GetSystemPaletteEntries(nullptr, 7, 1, &e);
  EXPECT_EQ(Rgb(e.peRed, e.peGreen, e.peBlue), 0xFF0000u);
  auto* fb = static_cast<uint8_t*>(MapDeviceAddress(CurrentDevice().frameBufferOther));
  EXPECT_EQ(fb[50 + 50 * CurrentDevice().pitch], 100);
  ReleaseDC(front, dc);
  DeleteObject(pal);
  DeleteObject(gGreens);
}

TEST_F(PaletteDevice, RealizingLoadsTheHardwarePaletteEntryForEntry) {
  // A window of this thread, not pumped, covers the screen: nothing
  // repaints over the pixels written below when the palette changes.
  CreateWindow(u"REC", u"", WS_VISIBLE | WS_POPUP, 0, 0, 640, 240, nullptr, nullptr, nullptr, nullptr);
  emu::Pump();
  EXPECT_EQ(GetDeviceCaps(nullptr, BITSPIXEL), 8);
  EXPECT_EQ(GetDeviceCaps(nullptr, RASTERCAPS) & RC_PALETTE, RC_PALETTE);
  std::vector<uint32_t> colors;
  for (int i = 0; i < 256; ++i) colors.push_back(Rgb(i, 255 - i, (i * 7) & 255));
  HPALETTE pal = MakePalette(colors);
  HDC screen = GetDC(nullptr);
  SelectPalette(screen, pal, FALSE);
  EXPECT_EQ(RealizePalette(screen), 256u);
  PALETTEENTRY system[256];
  ASSERT_EQ(GetSystemPaletteEntries(screen, 0, 256, system), 256u);
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(Rgb(system[i].peRed, system[i].peGreen, system[i].peBlue), colors[static_cast<size_t>(i)]);
  }
  // An index written into screen memory shows that entry's colour.
  const DeviceModel& d = CurrentDevice();
  auto* fb = static_cast<uint8_t*>(MapDeviceAddress(d.frameBufferOther));
  ASSERT_NE(fb, nullptr);
  EXPECT_EQ(MapDeviceAddress(d.frameBuffer16), nullptr);  // not the address at 8 bpp
  fb[30 + 100 * d.pitch] = 77;
  EXPECT_EQ(emu::ScreenAt(30, 100), colors[77]);
  // GDI colours map to the nearest entry of the hardware palette.
  HBRUSH b = CreateSolidBrush(RGB(200, 55, (200 * 7) & 255));
  RECT r{0, 200, 2, 201};
  FillRect(screen, &r, b);
  EXPECT_EQ(fb[0 + 200 * d.pitch], 200);
  // The same pixels show new colours when another palette is realised.
  std::vector<uint32_t> gray;
  for (int i = 0; i < 256; ++i) gray.push_back(Rgb(i, i, i));
  HPALETTE grays = MakePalette(gray);
  SelectPalette(screen, grays, FALSE);
  RealizePalette(screen);
  EXPECT_EQ(emu::ScreenAt(30, 100), Rgb(77, 77, 77));
  ReleaseDC(nullptr, screen);
  DeleteObject(b);
  DeleteObject(pal);
  DeleteObject(grays);
}

}  // namespace
