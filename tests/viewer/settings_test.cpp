// The settings store: defaults for each display, the 36 stored values going
// out and coming back, and what a registry with missing, damaged or
// out-of-range values loads as.
#include <algorithm>

#include "support/viewer.h"
#include "viewer/app/device.h"
#include "viewer/app/functions.h"
#include "viewer/app/state.h"
#include "viewer/settings/settings.h"

namespace {

using namespace ce;
using namespace zelmo;

class SettingsStore : public vt::ViewerTest {
 protected:
  // The display, screen and buttons of the started model, as start-up
  // records them before loading the settings.
  void Describe(const std::string& model) {
    StartDevice(model, {}, false);
    const DeviceModel* m = FindDeviceModel(model);
    ResetProcessState();
    gApp.displayDepth = m->depth;
    gApp.screenWidth = m->width;
    gApp.screenHeight = m->height;
    gDevice.index = DetectDeviceIndex();
    gDevice.buttons = ChooseButtonLayout(gDevice.index, m->width > 240);
  }
};

TEST_F(SettingsStore, AFirstRunHasEveryDefaultAndTheFirstSaveWritesAll36) {
  Describe("ipaq3600");
  LoadSettings();
  const Settings& s = gSettings;
  EXPECT_EQ(s.bkColor, 0);
  EXPECT_EQ(s.printRes, 2);
  EXPECT_EQ(s.emailSize, 4);
  EXPECT_EQ(s.thumbShape, 1);
  EXPECT_EQ(s.videoSize, 1);
  EXPECT_EQ(s.transitionSpeed, 1);
  EXPECT_EQ(s.transitionEffect, 1);
  EXPECT_EQ(s.slideDelay, 2000);
  EXPECT_EQ(s.animationRate, 4);
  EXPECT_EQ(s.thumbSize, 2);
  EXPECT_EQ(s.jpegQuality, 2);
  EXPECT_EQ(s.captureDelay, 5);
  EXPECT_EQ(s.defView, 40033);
  EXPECT_EQ(s.customView, 25);
  EXPECT_EQ(s.zoomCX, 74);
  EXPECT_EQ(s.zoomCY, 74);
  EXPECT_EQ(s.captureName, u"CAP");
  EXPECT_EQ(s.captureDir, u"\\My Documents");
  EXPECT_EQ(s.curDir, u"\\My Documents");
  // Every option as the table gives it (0x20 off on a 16-bit display).
  EXPECT_EQ(PackOptions(s.options), 0x16DFDEu);
  const uint8_t main[10] = {46, 47, 33, 39, 49, 52, 0, 19, 8, 9};
  EXPECT_TRUE(std::equal(main, main + 10, s.mainKeys.begin()));
  EXPECT_TRUE(std::all_of(s.mainKeys.begin() + 10, s.mainKeys.end(), [](uint8_t b) { return b == 0; }));
  const uint8_t firstRow[10] = {38, 0, 1, 51, 41, 30, 14, 5, 37, 39};
  EXPECT_TRUE(std::equal(firstRow, firstRow + 10, s.toolBars.begin()));

  EXPECT_FALSE(vt::SettingsKeyExists());
  SaveSettings();
  EXPECT_EQ(vt::SettingsValueCount(), 36);
  uint32_t value;
  ASSERT_TRUE(vt::GetDword(u"Options", &value));
  EXPECT_EQ(value, 0x16DFDEu);
  ASSERT_TRUE(vt::GetDword(u"DefView", &value));
  EXPECT_EQ(value, 40033u);
  std::u16string text;
  ASSERT_TRUE(vt::GetString(u"CaptureDir", &text));
  EXPECT_EQ(text, u"\\My Documents");
  // The blocks are stored whole under the DWORD type.
  HKEY key;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarnwick\\Zelmo", 0, KEY_READ, &key), 0);
  DWORD type = 0, size = 0;
  RegQueryValueEx(key, u"MainKeys", nullptr, &type, nullptr, &size);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(size, 256u);
  RegQueryValueEx(key, u"ToolBars", nullptr, &type, nullptr, &size);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(size, 66u);
  RegCloseKey(key);
}

TEST_F(SettingsStore, DefaultsFollowTheDisplayAndTheButtons) {
  Describe("ipaq3100");  // 4 bits, ten buttons
  LoadSettings();
  EXPECT_EQ(gSettings.transitionEffect, 0);
  EXPECT_TRUE(gSettings.options.optimize12Bit);
  StopEmulator();
  started_ = false;
  Describe("mobilepro");  // 8 bits, 640 wide, eight buttons
  LoadSettings();
  EXPECT_EQ(gSettings.transitionEffect, 1);
  EXPECT_TRUE(gSettings.options.optimize12Bit);
  const uint8_t full[8] = {46, 47, 7, 8, 49, 52, 33, 0};
  EXPECT_TRUE(std::equal(full, full + 8, gSettings.fullscreenKeys.begin()));
  EXPECT_EQ(gSettings.fullscreenKeys[8], 0);  // the ninth default is not this model's
  const uint8_t row0[26] = {38, 0, 51, 1, 40, 41, 2, 4, 5, 6, 3, 10, 11, 12, 13, 14, 15, 16, 17, 18, 20, 19, 36, 37, 52, 39};
  EXPECT_TRUE(std::equal(row0, row0 + 26, gSettings.toolBars.begin()));
}

TEST_F(SettingsStore, WhatOneRunSavesTheNextLoads) {
  Describe("ipaq3600");
  LoadSettings();
  gSettings.bkColor = 2;
  gSettings.mainKeys[3] = 57;
  gSettings.saveType = 13;
  gSettings.sortOrder = 2;
  gSettings.toolBars[5] = 27;
  gSettings.slideDelay = 123456;
  gSettings.animationRate = 0;
  gSettings.captureCount = 41;
  gSettings.defView = 40042;
  gSettings.dirFilter = 15;
  gSettings.customView = 800;
  gSettings.options.comboView = false;
  gSettings.options.playContinuously = true;
  gSettings.zoomCY = 200;
  gSettings.captureName = u"Shot";
  gSettings.curDir = u"\\My Documents\\Faxes";
  Settings saved = gSettings;
  SaveSettings();
  gSettings = Settings{};
  LoadSettings();
  EXPECT_EQ(gSettings.bkColor, 2);
  EXPECT_EQ(gSettings.mainKeys, saved.mainKeys);
  EXPECT_EQ(gSettings.saveType, 13);
  EXPECT_EQ(gSettings.sortOrder, 2);
  EXPECT_EQ(gSettings.toolBars, saved.toolBars);
  EXPECT_EQ(gSettings.slideDelay, 123456);
  EXPECT_EQ(gSettings.animationRate, 0);
  EXPECT_EQ(gSettings.captureCount, 41);
  EXPECT_EQ(gSettings.defView, 40042);
  EXPECT_EQ(gSettings.dirFilter, 15);
  EXPECT_EQ(gSettings.customView, 800);
  EXPECT_EQ(PackOptions(gSettings.options), PackOptions(saved.options));
  EXPECT_FALSE(gSettings.options.comboView);
  EXPECT_EQ(gSettings.zoomCY, 200);
  EXPECT_EQ(gSettings.captureName, u"Shot");
  EXPECT_EQ(gSettings.curDir, u"\\My Documents\\Faxes");
  EXPECT_EQ(gView.currentPath, u"\\My Documents\\Faxes");
}

TEST_F(SettingsStore, GlimpseModeSavesNothing) {
  Describe("ipaq3600");
  LoadSettings();
  gApp.glimpse = 1;
  gSettings.sortOrder = 2;
  SaveSettings();
  EXPECT_FALSE(vt::SettingsKeyExists());
}

TEST_F(SettingsStore, AKeyWithoutOptionsKeepsTheOptionDefaults) {
  Describe("ipaq3600");
  // A second start leaves its file name before anything is saved.
  vt::SetString(u"Cmdline", u"\\My Documents\\photo.jpg");
  LoadSettings();
  EXPECT_TRUE(gSettings.options.thumbnailsEnabled);
  EXPECT_TRUE(gSettings.options.comboView);
  EXPECT_EQ(PackOptions(gSettings.options), 0x16DFDEu);
  // A stored 0 still turns every option off.
  vt::SetDword(u"Options", 0);
  LoadSettings();
  EXPECT_EQ(PackOptions(gSettings.options), 0u);
  EXPECT_FALSE(gSettings.options.thumbnailsEnabled);
  // Bit 0x1 means nothing and is written as 0.
  vt::SetDword(u"Options", 0xFFFFFFFF);
  LoadSettings();
  EXPECT_EQ(PackOptions(gSettings.options), 0x1FFFFEu);
}

TEST_F(SettingsStore, OutOfRangeValuesKeepTheirDefaults) {
  Describe("ipaq3600");
  struct Case {
    const char16_t* name;
    uint32_t value;
  };
  const Case cases[] = {
      {u"ThumbSize", 9},       {u"DefView", 40034},     {u"DirFilter", 40},
      {u"AnimationRate", 12},  {u"CustomView", 0},      {u"BkColor", 3},
      {u"SaveType", 14},       {u"PrintPort", 5},       {u"PrintRes", 7},
      {u"PrintOrient", 2},     {u"PrintMethod", 3},     {u"EmailSize", 5},
      {u"EmailType", 0xFFFFFFFF}, {u"ThumbShape", 3},   {u"SortOrder", 3},
      {u"VideoSize", 2},       {u"VideoRotate", 2},     {u"TransitionSpeed", 3},
      {u"TransitionEffect", 17}, {u"JPEGQuality", 3},   {u"JPEGSize", 4},
      {u"CaptureType", 4},     {u"CaptureCount", 0x80000000}, {u"CaptureDelay", 1000},
      {u"ZoomCX", 31},         {u"ZoomCY", 201},        {u"SlideDelay", 3600001},
  };
  for (const Case& c : cases) vt::SetDword(c.name, c.value);
  LoadSettings();
  Settings d = DefaultSettings();
  EXPECT_EQ(gSettings.thumbSize, d.thumbSize);
  EXPECT_EQ(gSettings.defView, d.defView);
  EXPECT_EQ(gSettings.dirFilter, d.dirFilter);
  EXPECT_EQ(gSettings.animationRate, 4);
  EXPECT_EQ(gSettings.customView, d.customView);
  EXPECT_EQ(gSettings.bkColor, d.bkColor);
  EXPECT_EQ(gSettings.saveType, d.saveType);
  EXPECT_EQ(gSettings.printPort, d.printPort);
  EXPECT_EQ(gSettings.printRes, d.printRes);
  EXPECT_EQ(gSettings.printOrient, d.printOrient);
  EXPECT_EQ(gSettings.printMethod, d.printMethod);
  EXPECT_EQ(gSettings.emailSize, d.emailSize);
  EXPECT_EQ(gSettings.emailType, d.emailType);
  EXPECT_EQ(gSettings.thumbShape, d.thumbShape);
  EXPECT_EQ(gSettings.sortOrder, d.sortOrder);
  EXPECT_EQ(gSettings.videoSize, d.videoSize);
  EXPECT_EQ(gSettings.videoRotate, d.videoRotate);
  EXPECT_EQ(gSettings.transitionSpeed, d.transitionSpeed);
  EXPECT_EQ(gSettings.transitionEffect, d.transitionEffect);
  EXPECT_EQ(gSettings.jpegQuality, d.jpegQuality);
  EXPECT_EQ(gSettings.jpegSize, d.jpegSize);
  EXPECT_EQ(gSettings.captureType, d.captureType);
  EXPECT_EQ(gSettings.captureCount, d.captureCount);
  EXPECT_EQ(gSettings.captureDelay, d.captureDelay);
  EXPECT_EQ(gSettings.zoomCX, d.zoomCX);
  EXPECT_EQ(gSettings.zoomCY, d.zoomCY);
  EXPECT_EQ(gSettings.slideDelay, d.slideDelay);

  // The edges of each range are taken.
  vt::SetDword(u"AnimationRate", 0);
  vt::SetDword(u"ThumbSize", 3);
  vt::SetDword(u"DirFilter", 15);
  vt::SetDword(u"CustomView", 5);
  vt::SetDword(u"DefView", 40031);
  LoadSettings();
  EXPECT_EQ(gSettings.animationRate, 0);
  EXPECT_EQ(gSettings.thumbSize, 3);
  EXPECT_EQ(gSettings.dirFilter, 15);
  EXPECT_EQ(gSettings.customView, 5);
  EXPECT_EQ(gSettings.defView, 40031);
}

TEST_F(SettingsStore, StringsAreTerminatedAndThoseTooLongAreIgnored) {
  Describe("ipaq3600");
  vt::SetString(u"CaptureName", std::u16string(256, u'x'));  // one past its place
  vt::SetString(u"CurDir", std::u16string(255, u'd'));       // fills its place exactly
  // Stored without a terminator.
  std::u16string bare = u"\\Cards";
  std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(bare.data()),
                             reinterpret_cast<const uint8_t*>(bare.data() + bare.size()));
  vt::SetBytes(u"CaptureDir", REG_SZ, bytes);
  LoadSettings();
  EXPECT_EQ(gSettings.captureName, u"CAP");
  EXPECT_EQ(gSettings.curDir, std::u16string(255, u'd'));
  EXPECT_EQ(gSettings.captureDir, u"\\Cards");
}

TEST_F(SettingsStore, BlocksAreCutToTheirPlaceAndUnknownCodesBecomeUndefined) {
  Describe("ipaq3600");
  std::vector<uint8_t> longBar(100, 27);
  vt::SetBytes(u"ToolBars", REG_BINARY, longBar);
  std::vector<uint8_t> shortKeys = {1, 2, 3};
  vt::SetBytes(u"MainKeys", REG_DWORD, shortKeys);
  std::vector<uint8_t> badKeys(256, 0);
  badKeys[9] = 58;  // no such function
  vt::SetBytes(u"ThumbKeys", REG_DWORD, badKeys);
  LoadSettings();
  EXPECT_TRUE(std::all_of(gSettings.toolBars.begin(), gSettings.toolBars.end(), [](uint8_t b) { return b == 27; }));
  Settings d = DefaultSettings();
  EXPECT_EQ(gSettings.mainKeys[0], 1);
  EXPECT_EQ(gSettings.mainKeys[2], 3);
  EXPECT_EQ(gSettings.mainKeys[3], d.mainKeys[3]);  // the rest stays as it was
  EXPECT_EQ(gSettings.thumbKeys[9], kUndefinedFunction);
  EXPECT_EQ(gSettings.thumbKeys[8], 0);
}

TEST_F(SettingsStore, ShortOrMistypedNumbersKeepTheirDefaults) {
  Describe("ipaq3600");
  vt::SetBytes(u"ThumbSize", REG_DWORD, {1, 0});
  vt::SetBytes(u"SortOrder", REG_BINARY, {1, 0, 0, 0});  // the bytes count, not the type
  LoadSettings();
  EXPECT_EQ(gSettings.thumbSize, 2);
  EXPECT_EQ(gSettings.sortOrder, 1);
}

TEST(SettingsOptions, PackAndUnpackEveryBit) {
  for (uint32_t bit = 2; bit <= 0x100000; bit <<= 1) {
    Options o = UnpackOptions(bit);
    EXPECT_EQ(PackOptions(o), bit);
  }
  EXPECT_EQ(ThumbnailEdge(0), 48);
  EXPECT_EQ(ThumbnailEdge(1), 60);
  EXPECT_EQ(ThumbnailEdge(2), 80);
  EXPECT_EQ(ThumbnailEdge(3), 120);
  EXPECT_EQ(ThumbnailEdge(9), 80);
}

}  // namespace
