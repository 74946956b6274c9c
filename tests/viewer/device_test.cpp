// The known-device table, detection with its refinements, where screen
// pixels lie, and the function vocabulary with its toolbar layouts.
#include <set>

#include "imaging/core/page.h"
#include "support/viewer.h"
#include "viewer/app/device.h"
#include "viewer/app/functions.h"
#include "viewer/app/state.h"

namespace {

using namespace ce;
using namespace zelmo;

TEST(KnownDevices, EveryRowProbesDownToItsFrameBuffer) {
  ASSERT_EQ(KnownDevices().size(), 25u);
  for (const DeviceProfile& d : KnownDevices()) {
    SCOPED_TRACE(std::string(d.name, d.name + std::char_traits<char16_t>::length(d.name)));
    for (auto [probe, target] : {std::pair{d.probe16, d.frameBuffer16}, std::pair{d.probeOther, d.frameBufferOther}}) {
      if (d.probeStep == 0) {
        EXPECT_EQ(probe, target);
      } else {
        EXPECT_EQ((probe - target) % d.probeStep, 0u);
      }
    }
    EXPECT_TRUE(d.orientation == 0 || d.orientation == 90 || d.orientation == 270);
  }
  // Row 15 shares row 2's name; only the refinement reaches it.
  EXPECT_EQ(std::u16string(KnownDevices()[2].name), KnownDevices()[15].name);
  EXPECT_EQ(ComputeFrameBuffer(6, 16, 320), 0xAC050020u);
  EXPECT_EQ(ComputeFrameBuffer(2, 8, 240), 0x438D4C00u);
  EXPECT_EQ(ComputeFrameBuffer(2, 16, 240), 0x43880100u);
  EXPECT_EQ(ComputeFrameBuffer(-1, 16, 320), 0u);
  EXPECT_EQ(ComputeFrameBuffer(25, 16, 320), 0u);
}

TEST(KnownDevices, ButtonLayoutsByRow) {
  EXPECT_EQ(ChooseButtonLayout(20, false).count, 0);
  EXPECT_EQ(ChooseButtonLayout(-1, false).count, 10);
  EXPECT_EQ(ChooseButtonLayout(-1, true).count, 8);
  EXPECT_EQ(std::u16string(ChooseButtonLayout(-1, true).buttons[4].name), u"Enter");
  for (int row : {10, 11, 16, 17}) {
    ButtonLayout l = ChooseButtonLayout(row, false);
    ASSERT_EQ(l.count, 10);
    EXPECT_EQ(l.buttons[4].key, 0x86);
    EXPECT_EQ(std::u16string(l.buttons[5].name), u"<Start Menu>");
  }
  ButtonLayout j540 = ChooseButtonLayout(8, false);
  ASSERT_EQ(j540.count, 8);
  EXPECT_EQ(std::u16string(j540.buttons[4].name), u"HP Home Menu");
  EXPECT_EQ(j540.buttons[4].icon, 14);
  EXPECT_EQ(ChooseButtonLayout(24, false).buttons[8].key, 0xD2);
  // A known row without a layout of its own takes the generic one.
  EXPECT_EQ(ChooseButtonLayout(0, false).count, 10);
  EXPECT_EQ(ChooseButtonLayout(1, true).count, 8);
}

class Detection : public vt::ViewerTest {};

TEST_F(Detection, TheRefinementsReadThePlatformsValues) {
  StartDevice("mobilepro", {}, false);
  EXPECT_EQ(DetectDeviceIndex(), 2);
  StopEmulator();
  started_ = false;
  StartDevice("mobilepro15", {}, false);
  EXPECT_EQ(DetectDeviceIndex(), 15);
  StopEmulator();
  started_ = false;

  StartDevice("j670", {}, false);
  EXPECT_EQ(DetectDeviceIndex(), 9);
  auto setName = [](const std::u16string& name) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, u"Platform", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                             nullptr),
              0);
    RegSetValueEx(key, u"Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                  static_cast<DWORD>((name.size() + 1) * 2));
    RegCloseKey(key);
  };
  setName(u"Casio Jx650 CE3.00");
  EXPECT_EQ(DetectDeviceIndex(), 16);
  setName(u"Casio Jx590 CE3.00");
  EXPECT_EQ(DetectDeviceIndex(), 17);
  setName(u"Casio Jx999 CE3.00");
  EXPECT_EQ(DetectDeviceIndex(), 9);
}

TEST_F(Detection, ScreenPixelsLieWhereTheEmulatorPutsThem) {
  for (const DeviceModel& model : DeviceModels()) {
    if (model.deviceIndex < 0) continue;
    SCOPED_TRACE(model.alias);
    StartDevice(model.alias, {}, false);
    const DeviceProfile& profile = KnownDevices()[static_cast<size_t>(model.deviceIndex)];
    EXPECT_LE(ScreenMemoryBytes(profile, model.depth, model.width, model.height), ScreenMemorySize());
    for (int y = 0; y < model.height; y += 7) {
      for (int x = 0; x < model.width; x += 3) {
        ce::ScreenLocation e = ce::LocateScreenPixel(x, y);
        ScreenSpot s = zelmo::LocateScreenPixel(profile, model.depth, model.width, model.height, x, y);
        ASSERT_EQ(s.byte, e.byte) << x << "," << y;
        ASSERT_EQ(s.shift, e.shift) << x << "," << y;
      }
    }
    StopEmulator();
    started_ = false;
  }
}

TEST(Functions, EveryCodeNamesADistinctCommandWithAName) {
  std::set<uint16_t> commands(std::begin(kFunctionTable), std::end(kFunctionTable));
  EXPECT_EQ(commands.size(), 58u);
  EXPECT_EQ(CommandOfFunction(38), 40075);
  EXPECT_EQ(CommandOfFunction(39), 40074);
  EXPECT_EQ(CommandOfFunction(57), 40116);
  EXPECT_EQ(CommandOfFunction(58), 40116);
  EXPECT_EQ(CommandOfFunction(-1), 40116);
}

class Names : public vt::ViewerTest {};

TEST_F(Names, EveryCommandHasItsNameInTheStringTable) {
  StartDevice("ipaq3600", {}, false);
  gApp.instance = ProgramInstance();
  for (uint16_t command : kFunctionTable) EXPECT_FALSE(LoadText(command).empty()) << command;
  EXPECT_EQ(LoadText(40052), u"Color --> Gray");
  EXPECT_EQ(LoadText(40104), u"Toggle Fullscreen View");
  EXPECT_EQ(LoadText(40062), u"Screen Capture");
  // The error messages are the library's own texts.
  for (int code = -1; code >= -10; --code) {
    std::string text = quillon::ErrorMessage(code);
    EXPECT_EQ(LoadText(static_cast<unsigned>(5000 - code)), std::u16string(text.begin(), text.end())) << code;
  }
  EXPECT_EQ(LoadText(5011), u"");
  EXPECT_EQ(LoadText(1), u"Zelmo");
  EXPECT_EQ(LoadText(3), u"RAVLO2");
}

TEST(Toolbars, EveryDefaultRowRunsFromPreviousToNext) {
  for (int width : {240, 320, 480, 640, 800}) {
    SCOPED_TRACE(width);
    int perRow = width / 24, rows = ToolbarRowCount(width);
    std::span<const uint8_t> layout = DefaultToolbarLayout(width);
    ASSERT_EQ(layout.size(), static_cast<size_t>(perRow * rows));
    ASSERT_LE(layout.size(), 66u);
    for (int r = 0; r < rows; ++r) {
      EXPECT_EQ(layout[r * perRow], kPreviousToolbar) << r;
      EXPECT_EQ(layout[r * perRow + perRow - 1], kNextToolbar) << r;
      for (int i = 1; i < perRow - 1; ++i) {
        uint8_t code = layout[r * perRow + i];
        EXPECT_LE(code, kUndefinedFunction);
        EXPECT_NE(code, kPreviousToolbar);
        EXPECT_NE(code, kNextToolbar);
      }
    }
  }
  // The second row of the other widths is padded with "Undefined".
  EXPECT_EQ(DefaultToolbarLayout(800)[33 + 26], kUndefinedFunction);
  EXPECT_EQ(DefaultToolbarLayout(800)[33 + 25], 52);
  // The layouts of our own design show every function but toggling a
  // thumbnail's selection at most once (320 wide: the ones that fit).
  for (int width : {320, 480}) {
    std::span<const uint8_t> layout = DefaultToolbarLayout(width);
    std::multiset<uint8_t> seen(layout.begin(), layout.end());
    for (int code = 0; code < kPreviousToolbar; ++code) EXPECT_LE(seen.count(static_cast<uint8_t>(code)), 1u) << width;
  }
  std::span<const uint8_t> wide = DefaultToolbarLayout(480);
  std::set<uint8_t> shown(wide.begin(), wide.end());
  for (int code = 0; code < kUndefinedFunction; ++code) {
    if (code != 50) {
      EXPECT_TRUE(shown.count(static_cast<uint8_t>(code))) << code;
    }
  }
  EXPECT_EQ(ToolbarRowCount(240), 5);
  EXPECT_EQ(ToolbarRowCount(320), 4);
  EXPECT_EQ(ToolbarRowCount(480), 3);
  EXPECT_EQ(ToolbarRowCount(640), 2);
}

}  // namespace
