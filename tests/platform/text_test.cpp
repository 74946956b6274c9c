// Text: drawn where DrawText's flags put it, measured consistently with
// what is drawn, anti-aliased on 16 and 24 bits, thresholded below.
#include <set>

#include "support/emu.h"

using namespace ce;

namespace {

class Text : public emu::Device {
 protected:
  void SetUp() override {
    emu::Device::SetUp();
    Start("ipaq3600");
  }
};

struct Box {
  int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1;
  bool empty() const { return right < 0; }
};

Box Inked(const emu::Canvas& c, uint32_t background) {
  Box b;
  for (int y = 0; y < c.height; ++y) {
    for (int x = 0; x < c.width; ++x) {
      if (c.at(x, y) == background) continue;
      b.left = std::min(b.left, x);
      b.top = std::min(b.top, y);
      b.right = std::max(b.right, x + 1);
      b.bottom = std::max(b.bottom, y + 1);
    }
  }
  return b;
}

HFONT Font(int height, int weight) {
  LOGFONT lf{};
  lf.lfHeight = height;
  lf.lfWeight = weight;
  std::u16string face = u"Tahoma";
  std::copy(face.begin(), face.end(), lf.lfFaceName);
  return CreateFontIndirect(&lf);
}

TEST_F(Text, DrawnTextFitsItsMeasuredExtent) {
  emu::Canvas c(200, 40);
  RECT all{0, 0, 200, 40};
  FillRect(c.dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  HFONT f = Font(-12, FW_BOLD);
  SelectObject(c.dc, f);
  SIZE size;
  ASSERT_TRUE(GetTextExtentPoint32(c.dc, u"Zelmo 42", 8, &size));
  EXPECT_GT(size.cx, 30);
  EXPECT_GE(size.cy, 12);
  SetBkMode(c.dc, TRANSPARENT);
  RECT at{5, 5, 195, 35};
  DrawText(c.dc, u"Zelmo 42", -1, &at, DT_LEFT | DT_TOP | DT_SINGLELINE);
  Box ink = Inked(c, 0xFFFFFF);
  ASSERT_FALSE(ink.empty());
  EXPECT_GE(ink.left, 5);
  EXPECT_LE(ink.right, 5 + size.cx);
  EXPECT_GE(ink.top, 5);
  EXPECT_LE(ink.bottom, 5 + size.cy);
  // Longer text measures wider; the bold face is wider than the regular.
  SIZE longer;
  GetTextExtentPoint32(c.dc, u"Zelmo 42 and more", 17, &longer);
  EXPECT_GT(longer.cx, size.cx);
  HFONT regular = Font(-12, FW_NORMAL);
  SelectObject(c.dc, regular);
  SIZE thin;
  GetTextExtentPoint32(c.dc, u"Zelmo 42", 8, &thin);
  EXPECT_LT(thin.cx, size.cx);
  SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
  DeleteObject(f);
  DeleteObject(regular);
}

TEST_F(Text, CentredVerticallyCentredAndBottomAligned) {
  HFONT f = Font(-22, FW_BOLD);
  for (UINT vertical : {DT_VCENTER, DT_BOTTOM}) {
    emu::Canvas c(120, 60);
    RECT all{0, 0, 120, 60};
    FillRect(c.dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SelectObject(c.dc, f);
    SetTextColor(c.dc, RGB(255, 255, 255));
    SetBkMode(c.dc, TRANSPARENT);
    DrawText(c.dc, u"HH", -1, &all, DT_CENTER | vertical | DT_SINGLELINE);
    Box ink = Inked(c, 0x000000);
    ASSERT_FALSE(ink.empty());
    // Horizontally centred within a pixel or two of rounding.
    EXPECT_NEAR((ink.left + ink.right) / 2.0, 60.0, 2.0);
    if (vertical == DT_VCENTER) {
      EXPECT_NEAR((ink.top + ink.bottom) / 2.0, 30.0, 4.0);
    } else {
      EXPECT_GE(ink.bottom, 60 - 8);  // the descent lies below the capitals
      EXPECT_LE(ink.bottom, 60);
    }
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
  }
  DeleteObject(f);
}

TEST_F(Text, OpaqueBackgroundAndCalcRect) {
  emu::Canvas c(100, 30);
  RECT all{0, 0, 100, 30};
  FillRect(c.dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SetBkColor(c.dc, RGB(192, 192, 192));
  SetBkMode(c.dc, OPAQUE);
  RECT calc{0, 0, 0, 0};
  DrawText(c.dc, u"7", -1, &calc, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_GT(calc.right, 0);
  EXPECT_GT(calc.bottom, 0);
  RECT at{10, 5, 90, 25};
  DrawText(c.dc, u"7", -1, &at, DT_LEFT | DT_TOP | DT_SINGLELINE);
  // The background box covers the measured cell and nothing else.
  EXPECT_EQ(c.at(10, 5), 0xC0C0C0u);
  EXPECT_EQ(c.at(10 + calc.right - 1, 5 + calc.bottom - 1), 0xC0C0C0u);
  EXPECT_EQ(c.at(10 + calc.right, 5), 0xFFFFFFu);
  EXPECT_EQ(c.at(9, 5), 0xFFFFFFu);
}

TEST_F(Text, SmoothOnSixteenBitsThresholdedOnPalettes) {
  auto colours = [](int bpp) {
    std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * 4);
    auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
    bi->bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 80, -24, 1, static_cast<WORD>(bpp), BI_RGB, 0, 0, 0, 0, 0};
    for (int i = 0; i < 256; ++i) bi->bmiColors[i] = RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
    void* bits;
    HBITMAP s = CreateDIBSection(nullptr, bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, s);
    RECT r{0, 0, 80, 24};
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetBkMode(dc, TRANSPARENT);
    DrawText(dc, u"Aa", -1, &r, DT_LEFT | DT_SINGLELINE);
    emu::Canvas c(80, 24);
    BitBlt(c.dc, 0, 0, 80, 24, dc, 0, 0, SRCCOPY);
    std::set<uint32_t> seen;
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < 80; ++x) seen.insert(c.at(x, y));
    DeleteDC(dc);
    DeleteObject(s);
    return seen;
  };
  std::set<uint32_t> smooth = colours(16);
  std::set<uint32_t> hard = colours(8);
  EXPECT_GT(smooth.size(), 2u);
  EXPECT_EQ(hard, (std::set<uint32_t>{0x000000, 0xFFFFFF}));
}

}  // namespace
