// Core services: clock conversions, 8-bit text, memory blocks, GDI object
// lifetime, work area and screen memory.
#include <algorithm>

#include "support/emu.h"

using namespace ce;

namespace {

class Kernel : public emu::Device {
 protected:
  void SetUp() override {
    emu::Device::SetUp();
    Start("j670");
  }
};

TEST(Times, FileTimesConvertBothWays) {
  struct Case {
    SYSTEMTIME t;
    WORD weekday;
  };
  // Weekdays from the calendar: 2000-02-29 was a Tuesday, 1601-01-01 a
  // Monday, 2038-01-19 a Tuesday.
  for (Case c : {Case{{2000, 2, 0, 29, 13, 45, 7, 250}, 2}, Case{{1601, 1, 0, 1, 0, 0, 0, 0}, 1},
                 Case{{2038, 1, 0, 19, 3, 14, 8, 0}, 2}}) {
    FILETIME ft;
    ASSERT_TRUE(SystemTimeToFileTime(&c.t, &ft));
    SYSTEMTIME back;
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(back.wYear, c.t.wYear);
    EXPECT_EQ(back.wMonth, c.t.wMonth);
    EXPECT_EQ(back.wDay, c.t.wDay);
    EXPECT_EQ(back.wHour, c.t.wHour);
    EXPECT_EQ(back.wMinute, c.t.wMinute);
    EXPECT_EQ(back.wSecond, c.t.wSecond);
    EXPECT_EQ(back.wMilliseconds, c.t.wMilliseconds);
    EXPECT_EQ(back.wDayOfWeek, c.weekday);
  }
  FILETIME zero{0, 0};
  SYSTEMTIME epoch;
  ASSERT_TRUE(FileTimeToSystemTime(&zero, &epoch));
  EXPECT_EQ(epoch.wYear, 1601);
  SYSTEMTIME bad{2001, 2, 0, 29, 0, 0, 0, 0};
  FILETIME ft;
  EXPECT_FALSE(SystemTimeToFileTime(&bad, &ft));
}

TEST(Text8, ConversionsRoundTrip) {
  WCHAR wide[16];
  int n = MultiByteToWideChar(CP_UTF8, 0, "caf\xc3\xa9", -1, wide, 16);
  EXPECT_EQ(n, 5);
  EXPECT_EQ(std::u16string(wide), u"caf\u00e9");
  char narrow[16];
  n = WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, 16, nullptr, nullptr);
  EXPECT_EQ(n, 5);
  EXPECT_STREQ(narrow, "caf\xe9");
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, nullptr, 0), 3);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcdef", 6, wide, 2), 0);  // too small
}

TEST(Memory, BlocksAreZeroedAndKnowTheirSize) {
  HLOCAL h = LocalAlloc(LHND, 1068);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(LocalSize(h), 1068u);
  auto* p = static_cast<uint8_t*>(LocalLock(h));
  EXPECT_TRUE(std::all_of(p, p + 1068, [](uint8_t b) { return b == 0; }));
  LocalFree(h);
  void* v = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(static_cast<uint8_t*>(v)[4095], 0);
  EXPECT_TRUE(VirtualFree(v, 0, MEM_RELEASE));
  EXPECT_FALSE(VirtualFree(nullptr, 0, MEM_RELEASE));
  EXPECT_FALSE(VirtualFree(reinterpret_cast<void*>(~uintptr_t{0}), 0, MEM_RELEASE));
}

TEST_F(Kernel, BitmapsBelongToOneDcAtATime) {
  HDC a = CreateCompatibleDC(nullptr), b = CreateCompatibleDC(nullptr);
  HDC screen = GetDC(nullptr);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 10, 10);
  ReleaseDC(nullptr, screen);
  BITMAP info;
  GetObject(bmp, sizeof(info), &info);
  EXPECT_EQ(info.bmBitsPixel, 16);  // the display's depth
  EXPECT_NE(SelectObject(a, bmp), nullptr);
  EXPECT_EQ(SelectObject(b, bmp), nullptr);
  EXPECT_FALSE(DeleteObject(bmp));  // still selected
  DeleteDC(a);
  EXPECT_TRUE(DeleteObject(bmp));
  DeleteDC(b);
  EXPECT_TRUE(DeleteObject(GetStockObject(WHITE_BRUSH)));  // stock objects stay
  EXPECT_NE(GetStockObject(WHITE_BRUSH), nullptr);
  BITMAPINFO bad{};
  bad.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 40000, 10, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = reinterpret_cast<void*>(1);
  EXPECT_EQ(CreateDIBSection(nullptr, &bad, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
  EXPECT_EQ(bits, nullptr);
}

TEST_F(Kernel, WorkAreaAndScreenMemoryOfTheModel) {
  RECT work;
  ASSERT_TRUE(SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0));
  EXPECT_EQ(work.top, 26);  // below the task bar
  // Screen memory: pitch 256 pixels of 16 bits.
  const DeviceModel& d = CurrentDevice();
  EXPECT_EQ(ScreenMemorySize(), 256u * 320 * 2);
  EXPECT_EQ(MapDeviceAddress(d.frameBuffer16), ScreenMemory());
  EXPECT_EQ(MapDeviceAddress(d.frameBuffer16 + 2), nullptr);
  EXPECT_FALSE(IsBadWritePtr(reinterpret_cast<void*>(uintptr_t{0xAA200000}), 1000));
  ScreenLocation at = LocateScreenPixel(3, 2);
  EXPECT_EQ(at.byte, (3u + 2u * 256u) * 2u);
}

}  // namespace
