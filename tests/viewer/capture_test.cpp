// Screen capture: at launch on every model, from the command, each file
// type's depth, numbering that never overwrites, and failures reported.
#include <cmath>
#include <filesystem>

#include "imaging/core/core.h"
#include "support/viewer.h"
#include "viewer/app/state.h"
#include "viewer/dialogs/capture.h"
#include "viewer/settings/settings.h"

namespace {

using namespace ce;
using namespace zelmo;
using quillon::PageRecord;

// A file's first page, decoded top-down with buffers of its own.
bool Decode(const std::u16string& path, PageRecord* out) {
  quillon::ImageFile file{};
  if (quillon::OpenImageFile(path.c_str(), &file) != 0) return false;
  PageRecord page{};
  bool ok = quillon::ExtractPage(&file, &page, 0) == 0;
  if (ok) {
    *out = PageRecord{};
    out->compression = quillon::kUncompressed;
    ok = quillon::ConvertPage(&page, out, 0) == 0;
  }
  quillon::FreePage(&page);
  quillon::CloseImageFile(&file);
  return ok;
}

// 0xRRGGBB of a decoded pixel.
uint32_t Pixel(const PageRecord& p, int x, int y) {
  const uint8_t* row = p.data + p.dataOffset + static_cast<size_t>(y) * p.bytesPerLine;
  auto fromPalette = [&](unsigned i) {
    return (static_cast<uint32_t>(p.palette[3 * i + 2]) << 16) | (p.palette[3 * i + 1] << 8) | p.palette[3 * i];
  };
  switch (p.bitsPerPixel) {
    case 4: return fromPalette((row[x / 2] >> (x % 2 ? 0 : 4)) & 15);
    case 8: return fromPalette(row[x]);
    case 16: {
      unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
      unsigned r = v >> 11, g = (v >> 5) & 63, b = v & 31;
      return ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
    }
    case 24: return (static_cast<uint32_t>(row[3 * x + 2]) << 16) | (row[3 * x + 1] << 8) | row[3 * x];
    default: return 0xFF000000;
  }
}

int Channel(uint32_t c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

// The largest difference of any channel over the whole screen, each
// channel first cut to its top `bits` bits.
int CompareWithScreen(const PageRecord& page, int bits) {
  std::vector<uint32_t> screen = ScreenPixels();
  int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_EQ(page.width, width);
  EXPECT_EQ(page.height, height);
  if (page.width != width || page.height != height) return 999;
  int worst = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint32_t a = Pixel(page, x, y), b = screen[static_cast<size_t>(y) * width + x];
      for (int shift : {0, 8, 16}) {
        int d = std::abs((Channel(a, shift) >> (8 - bits)) - (Channel(b, shift) >> (8 - bits)));
        worst = std::max(worst, d << (8 - bits));
      }
    }
  }
  return worst;
}

// The mean difference of the channels over the whole screen.
double MeanDifference(const PageRecord& page) {
  std::vector<uint32_t> screen = ScreenPixels();
  int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  if (page.width != width || page.height != height) return 999;
  double sum = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint32_t a = Pixel(page, x, y), b = screen[static_cast<size_t>(y) * width + x];
      for (int shift : {0, 8, 16}) sum += std::abs(Channel(a, shift) - Channel(b, shift));
    }
  }
  return sum / (3.0 * width * height);
}

bool SoundPlayed() {
  for (const std::string& line : EventLog()) {
    if (line.rfind("sound start", 0) == 0) return true;
  }
  return false;
}

class Capture : public vt::ViewerTest {
 protected:
  void CaptureAtLaunch(const std::string& model) {
    EmulatorConfig config;
    config.heldKeys = {0xC1};
    StartDevice(model, config, false);
    ClearEventLog();
    Launch();
    EXPECT_EQ(WaitEnd(), 0);
  }
  // Starts the viewer, then takes a capture through the command with no
  // delay.
  void CaptureFromCommand(const std::string& model) {
    StartDevice(model, {}, false);
    vt::SetDword(u"CaptureDelay", 0);
    Launch();
    EndSplash();
    ClearEventLog();
    PostMessage(gApp.mainWindow, WM_COMMAND, 40062, 0);
    // The capture waits for its timer; the queues are empty meanwhile.
    for (int i = 0; i < 200 && !vt::Exists(HostPath("My Documents/CAP0001.BMP")); ++i) Sleep(10);
    ASSERT_TRUE(WaitIdle(5000));
  }
};

TEST_F(Capture, AtLaunchOnEveryModelTheFileHoldsTheScreen) {
  for (const DeviceModel& model : DeviceModels()) {
    SCOPED_TRACE(model.alias);
    std::filesystem::remove_all(Root());
    CaptureAtLaunch(model.alias);
    EXPECT_EQ(FindWindow(u"RAVLO2", u"Zelmo"), nullptr);
    EXPECT_TRUE(MessageBoxHistory().empty());
    EXPECT_TRUE(SoundPlayed());
    PageRecord page{};
    ASSERT_TRUE(Decode(u"\\My Documents\\CAP0001.BMP", &page));
    EXPECT_EQ(page.bitsPerPixel, model.depth);
    // BMP keeps 16-bit pixels as 5-5-5: five bits of each channel.
    EXPECT_EQ(CompareWithScreen(page, model.depth == 16 ? 5 : 8), 0);
    quillon::FreePage(&page);
    uint32_t count = 0;
    EXPECT_TRUE(vt::GetDword(u"CaptureCount", &count));
    EXPECT_EQ(count, 1u);
    StopEmulator();
    started_ = false;
  }
}

TEST_F(Capture, FromTheCommandAfterItsDelay) {
  for (const char* model : {"ipaq3600", "ipaq3100", "mobilepro", "unknown"}) {
    SCOPED_TRACE(model);
    std::filesystem::remove_all(Root());
    CaptureFromCommand(model);
    EXPECT_TRUE(SoundPlayed());
    EXPECT_TRUE(MessageBoxHistory().empty());
    PageRecord page{};
    ASSERT_TRUE(Decode(u"\\My Documents\\CAP0001.BMP", &page));
    const DeviceModel* m = FindDeviceModel(model);
    EXPECT_EQ(CompareWithScreen(page, m->depth == 16 ? 5 : 8), 0);
    quillon::FreePage(&page);
    EXPECT_EQ(Quit(), 0);
    StopEmulator();
    started_ = false;
  }
}

TEST_F(Capture, ASixteenBitScreenAsGifIsReducedToEightBits) {
  StartDevice("ipaq3600", {}, false);
  vt::SetDword(u"CaptureType", 2);
  vt::SetDword(u"Capture24bpp", 1);  // GIF holds no more than 8 bits whatever this says
  StopEmulator();
  started_ = false;
  CaptureAtLaunch("ipaq3600");
  PageRecord page{};
  ASSERT_TRUE(Decode(u"\\My Documents\\CAP0001.GIF", &page));
  EXPECT_EQ(page.bitsPerPixel, 8);
  // Every pixel is near its colour in an 8-bit palette.
  EXPECT_LE(CompareWithScreen(page, 8), 64);
  quillon::FreePage(&page);
}

// Whether the library can write JPEG yet.
bool JpegEncoderPresent() {
  uint8_t pixels[4] = {1, 2, 3, 0};
  PageRecord page{};
  page.width = 1;
  page.height = 1;
  page.bitsPerPixel = 24;
  page.planes = 1;
  page.layoutFlags = quillon::kLayoutTopDown;
  page.data = pixels;
  page.dataSize = 4;
  page.bytesPerLine = 4;
  PageRecord coded{};
  coded.compression = quillon::kJpeg;
  int32_t r = quillon::ConvertPage(&page, &coded, 2);
  quillon::FreePage(&coded);
  return r != quillon::kErrParameter;
}

TEST_F(Capture, EachTypesDepth) {
  struct Case {
    int type;
    int capture24;
    const char16_t* name;
    int depth;
  };
  const Case cases[] = {
      {0, 1, u"\\My Documents\\CAP0001.BMP", 24}, {1, 0, u"\\My Documents\\CAP0002.PCX", 8},
      {1, 1, u"\\My Documents\\CAP0003.PCX", 24}, {3, 0, u"\\My Documents\\CAP0004.JPG", 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    StartDevice("ipaq3600", {}, false);
    vt::SetDword(u"CaptureType", static_cast<uint32_t>(c.type));
    vt::SetDword(u"Capture24bpp", static_cast<uint32_t>(c.capture24));
    StopEmulator();
    started_ = false;
    CaptureAtLaunch("ipaq3600");
    if (c.type == 3 && !JpegEncoderPresent()) {
      // Until the library writes JPEG the capture fails, leaves no file and
      // still counts.
      EXPECT_FALSE(SoundPlayed());
      EXPECT_FALSE(vt::Exists(HostPath("My Documents/CAP0004.JPG")));
      uint32_t count = 0;
      EXPECT_TRUE(vt::GetDword(u"CaptureCount", &count));
      EXPECT_EQ(count, 4u);
      StopEmulator();
      started_ = false;
      continue;
    }
    PageRecord page{};
    ASSERT_TRUE(Decode(c.name, &page));
    EXPECT_EQ(page.bitsPerPixel, c.depth);
    // JPEG is lossy (sharp edges of text ring): on average it is close.
    // The others hold the screen's colours or their nearest.
    if (c.type == 3) {
      EXPECT_LT(MeanDifference(page), 8.0);
    } else {
      EXPECT_LE(CompareWithScreen(page, 8), c.depth == 24 ? 7 : 64);
    }
    quillon::FreePage(&page);
    StopEmulator();
    started_ = false;
  }
  EXPECT_EQ(CaptureDepth(16, 0, false), 16);
  EXPECT_EQ(CaptureDepth(8, 0, true), 24);
  EXPECT_EQ(CaptureDepth(8, 2, true), 8);
  EXPECT_EQ(CaptureDepth(4, 3, false), 8);
  EXPECT_EQ(CaptureDepth(4, 1, true), 4);
  EXPECT_EQ(CaptureDepth(2, 0, false), 4);
  EXPECT_EQ(CaptureDepth(24, 2, false), 8);
  EXPECT_EQ(CaptureDepth(24, 3, false), 24);
}

TEST_F(Capture, NamesNeverOverwriteAnExistingFile) {
  StartDevice("ipaq3600", {}, false);
  std::vector<uint8_t> mine = {'m', 'i', 'n', 'e'};
  vt::WriteFile(HostPath("My Documents/CAP0001.BMP"), mine);
  vt::WriteFile(HostPath("My Documents/CAP0003.BMP"), mine);
  StopEmulator();
  started_ = false;
  CaptureAtLaunch("ipaq3600");
  EXPECT_EQ(vt::ReadFile(HostPath("My Documents/CAP0001.BMP")), mine);
  EXPECT_TRUE(vt::Exists(HostPath("My Documents/CAP0002.BMP")));
  uint32_t count = 0;
  ASSERT_TRUE(vt::GetDword(u"CaptureCount", &count));
  EXPECT_EQ(count, 2u);
  StopEmulator();
  started_ = false;
  // The next goes past the one already there.
  CaptureAtLaunch("ipaq3600");
  EXPECT_EQ(vt::ReadFile(HostPath("My Documents/CAP0003.BMP")), mine);
  EXPECT_TRUE(vt::Exists(HostPath("My Documents/CAP0004.BMP")));
  StopEmulator();
  started_ = false;
  // After "Reset file counter" it counts on past the names in the folder.
  StartDevice("ipaq3600", {}, false);
  vt::SetDword(u"CaptureCount", 0);
  StopEmulator();
  started_ = false;
  CaptureAtLaunch("ipaq3600");
  EXPECT_TRUE(vt::Exists(HostPath("My Documents/CAP0005.BMP")));
  EXPECT_EQ(vt::ReadFile(HostPath("My Documents/CAP0001.BMP")), mine);
  // No temporary file is left behind.
  for (const auto& e : std::filesystem::directory_iterator(HostPath("My Documents")))
    EXPECT_EQ(e.path().extension().string().find("part"), std::string::npos) << e.path();
}

TEST_F(Capture, NameRootAndFolderComeFromTheSettings) {
  StartDevice("ipaq3600", {}, false);
  std::filesystem::create_directories(HostPath("Shots"));
  vt::SetString(u"CaptureDir", u"\\Shots");
  vt::SetString(u"CaptureName", u"Screen");
  vt::SetDword(u"CaptureCount", 41);
  StopEmulator();
  started_ = false;
  CaptureAtLaunch("ipaq3600");
  EXPECT_TRUE(vt::Exists(HostPath("Shots/Screen0042.BMP")));
  std::u16string dir;
  ASSERT_TRUE(vt::GetString(u"CaptureDir", &dir));
  EXPECT_EQ(dir, u"\\Shots\\");  // the backslash is added to the setting itself
}

TEST_F(Capture, AFailedCaptureIsReportedAndPlaysNoShutter) {
  StartDevice("ipaq3600", {}, false);
  vt::SetString(u"CaptureDir", u"\\No Such Folder");
  vt::SetDword(u"CaptureDelay", 0);
  Launch();
  EndSplash();
  ClearEventLog();
  PostMessage(gApp.mainWindow, WM_COMMAND, 40062, 0);
  for (int i = 0; i < 300 && MessageBoxHistory().empty(); ++i) Sleep(10);
  ASSERT_EQ(MessageBoxHistory().size(), 1u);
  EXPECT_EQ(MessageBoxHistory()[0].caption, u"Screen Capture");
  EXPECT_EQ(MessageBoxHistory()[0].text, u"General I/O error");
  EXPECT_FALSE(SoundPlayed());
  EXPECT_FALSE(vt::Exists(HostPath("No Such Folder")));
  // The settings in memory are kept: the current-file path still names
  // what it named.
  EXPECT_EQ(gView.currentPath, u"\\My Documents");
}

}  // namespace

namespace {

using namespace ce;
using namespace zelmo;

using CaptureSettings = vt::ViewerTest;

// A capture from the command works with the settings in memory: in Glimpse
// mode those differ from the stored ones, and the current-file path names
// the open file, not the folder.
TEST_F(CaptureSettings, ACaptureFromTheCommandKeepsTheSettingsInMemory) {
  StartDevice("ipaq3600", {}, true);
  vt::SetDword(u"CaptureDelay", 0);
  Launch(u"\\My Documents\\chart.gif");
  for (int i = 0; i < 300 && !gShared.workerRunning; ++i) Sleep(10);
  ASSERT_TRUE(WaitIdle(5000));
  PostMessage(gApp.mainWindow, WM_COMMAND, 40062, 0);
  for (int i = 0; i < 300 && !vt::Exists(HostPath("My Documents/CAP0001.BMP")); ++i) Sleep(10);
  ASSERT_TRUE(WaitIdle(5000));
  EXPECT_TRUE(vt::Exists(HostPath("My Documents/CAP0001.BMP")));
  EXPECT_EQ(gView.currentPath, u"\\My Documents\\chart.gif");
  EXPECT_FALSE(gSettings.options.thumbnailsEnabled);
  EXPECT_EQ(gSettings.captureCount, 1);
  // Glimpse mode saves nothing, the counter included.
  uint32_t count = 99;
  EXPECT_TRUE(vt::GetDword(u"CaptureDelay", &count));
  EXPECT_FALSE(vt::GetDword(u"CaptureCount", &count));
}

}  // namespace
