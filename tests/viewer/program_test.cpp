// The `zelmo` program run as people and scripts run it: headless with a
// script and a screenshot, a capture at launch, Glimpse mode with a missing
// file, and a second start handing its file to the first.
#include <filesystem>
#include <fstream>

#include "imaging/core/files.h"
#include "support/viewer.h"
#include "viewer/app/state.h"
#include "viewer/settings/settings.h"

namespace {

using namespace ce;
using namespace zelmo;

class Program : public vt::ViewerTest {
 protected:
  std::string Script(const std::string& text) {
    std::string path = folder_.path() + "/script.txt";
    std::ofstream(path) << text;
    return path;
  }
  std::string Headless() { return "--headless --log --clock 12:00 --root '" + Root() + "'"; }
};

// Whether toolbar slot `slot` of a screenshot (its row at `top`) shows icon
// `code` of the strip as a 16-bit screen keeps it (five bits of red and
// blue, six of green); the "Go to page..." slot's middle is left out.
bool SlotShows(const emu::Png& png, int slot, int top, const emu::Png& icons, int code) {
  auto quantize = [](uint32_t c) { return c & 0xF8FCF8u; };
  for (int y = 0; y < 24; ++y) {
    for (int x = 0; x < 24; ++x) {
      if (code == 5 && x >= 4 && x < 21 && y >= 4 && y < 21) continue;
      if (quantize(png.at(slot * 24 + x, top + y)) != quantize(icons.at(code * 24 + x, y))) return false;
    }
  }
  return true;
}

TEST_F(Program, HelpListsTheEmulatorsOptionsAndKeys) {
  vt::Outcome o = vt::RunZelmo("--help");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.output.rfind("Usage: zelmo [OPTIONS] [FILE]\n", 0), 0u) << o.output;
  EXPECT_NE(o.output.find("opens at\nonce in Glimpse mode"), std::string::npos) << o.output;
  EXPECT_NE(o.output.find("--device NAME"), std::string::npos) << o.output;
  EXPECT_NE(o.output.find("--hold-key VK"), std::string::npos);
  EXPECT_NE(o.output.find("F1      -> 0xC5 Record"), std::string::npos) << o.output;
}

// The screen after start-up: the task bar, the white image area, the
// strip's framed cells, its scroll bar and the first toolbar row with its
// icons as the icon strip draws them.
TEST_F(Program, AScreenshotAfterStartUpShowsTheImageAreaAndTheToolbar) {
  std::string shot = std::string(ZELMO_SHOT_DIR) + "/zelmo-startup.png";
  std::filesystem::remove(shot);
  vt::Outcome o = vt::RunZelmo(Headless() + " --script '" +
                               Script("tap 120 160\nexpect-window RAVLO2 \"Zelmo\"\nwait-log \"thumbnails built\"\nshot " + shot +
                                      "\nquit\n") +
                               "'");
  ASSERT_EQ(o.status, 0) << o.output;
  emu::Png png;
  ASSERT_TRUE(emu::ReadPng(shot, &png));
  ASSERT_EQ(png.width, 240);
  ASSERT_EQ(png.height, 320);
  // The image area (26..219) is white; the strip's cells (220..279) hang
  // in black frames from the line above them.
  for (int y = 26; y < 26 + 193; ++y)
    for (int x = 0; x < 240; ++x) ASSERT_EQ(png.at(x, y), 0xFFFFFFu) << x << "," << y;
  for (int x = 0; x < 240; ++x) ASSERT_EQ(png.at(x, 219), 0u) << x;
  for (int y = 220; y < 280; ++y)
    for (int x : {0, 80, 160}) ASSERT_EQ(png.at(x, y), 0u) << x << "," << y;
  // The toolbar: icon `code` of the strip for each slot of row 0.
  emu::Png icons;
  ASSERT_TRUE(emu::ReadPng(std::string(ZELMO_RESOURCES) + "/bitmaps/ILIST1_BMP.png", &icons));
  ASSERT_EQ(icons.width, 58 * 24);
  const int row0[10] = {38, 0, 1, 51, 41, 30, 14, 5, 37, 39};
  for (int slot = 0; slot < 10; ++slot) EXPECT_TRUE(SlotShows(png, slot, 320 - 24, icons, row0[slot])) << slot;
  // The strip's scroll bar lies between the strip and the toolbar.
  EXPECT_NE(png.at(120, 26 + 254 + 8), 0xFFFFFFu);
}

// The start-up on the large models and on the unknown model's other
// screens: the toolbar row runs from "previous" to "next" over as many
// slots as the width holds (320: 13, 480: 20, 640: 26, 800: 33).  At 8 bits
// the grays are the system palette's exact ones (the page-number box).
TEST_F(Program, EveryScreenStartsWithAToolbarRowAsWideAsItself) {
  emu::Png icons;
  ASSERT_TRUE(emu::ReadPng(std::string(ZELMO_RESOURCES) + "/bitmaps/ILIST1_BMP.png", &icons));
  const struct {
    const char* options;
    int width, height;
  } screens[] = {{"--device aero8000", 800, 600},   {"--device jornada820", 640, 480},
                 {"--screen 320x240x16", 320, 240}, {"--screen 480x640x16", 480, 640},
                 {"--screen 240x320x8", 240, 320}};
  for (const auto& s : screens) {
    SCOPED_TRACE(s.options);
    std::string shot = std::string(ZELMO_SHOT_DIR) + "/zelmo-startup-" + (s.options + 9) + ".png";
    std::string tap = "tap " + std::to_string(s.width / 2) + " " + std::to_string(s.height / 2);
    std::filesystem::remove_all(Root());
    vt::Outcome o = vt::RunZelmo(Headless() + " " + s.options + " --script '" +
                                 Script(tap + "\nexpect-window RAVLO2 \"Zelmo\"\nshot " + shot + "\nquit\n") + "'");
    ASSERT_EQ(o.status, 0) << o.output;
    emu::Png png;
    ASSERT_TRUE(emu::ReadPng(shot, &png));
    ASSERT_EQ(png.width, s.width);
    ASSERT_EQ(png.height, s.height);
    const int slots = s.width / 24, top = s.height - 24;
    if (std::string(s.options).ends_with("x8")) {
      int silver = 0;  // slot 7 is "Go to page...", its box 1..25 x 2..23
      for (int y = 2; y < 23; ++y)
        for (int x = 1; x < 24; ++x) silver += png.at(7 * 24 + x, top + y) == 0xC0C0C0u;
      EXPECT_GT(silver, 40);
      continue;
    }
    EXPECT_TRUE(SlotShows(png, 0, top, icons, 38));
    EXPECT_TRUE(SlotShows(png, slots - 1, top, icons, 39));
    EXPECT_FALSE(SlotShows(png, slots - 2, top, icons, 39));
  }
}

// A save refused by a write-protected folder fails cleanly: the capture at
// launch reports it and leaves nothing behind.
TEST_F(Program, ACaptureIntoAReadOnlyFolderFailsCleanly) {
  vt::Outcome o = vt::RunZelmo(Headless() + " --read-only '\\My Documents' --hold-key 0xC1");
  EXPECT_EQ(o.status, 0) << o.output;
  EXPECT_NE(o.output.find("zelmo: Screen Capture: General I/O error"), std::string::npos) << o.output;
  for (const auto& e : std::filesystem::directory_iterator(Root() + "/My Documents"))
    EXPECT_EQ(e.path().filename().string().find("CAP"), std::string::npos) << e.path();
}

TEST_F(Program, GlimpseModeWithAMissingFileShowsTheMessage) {
  vt::Outcome o = vt::RunZelmo(Headless() + " --script '" +
                               Script("expect-text General I/O error\nexpect-window RAVLO2 \"Zelmo\"\nquit\n") +
                               "' '\\My Documents\\gone.tif'");
  EXPECT_EQ(o.status, 0) << o.output;
  EXPECT_NE(o.output.find("messagebox \"gone.tif\" \"General I/O error\""), std::string::npos) << o.output;
  // A missing host file reaches the viewer as its \Host path all the same.
  std::string script = Script("expect-window RAVLO2 \"Zelmo\"\nquit\n");
  o = vt::RunZelmo(Headless() + " --script '" + script + "' '" + folder_.path() + "/gone.tif'");
  EXPECT_EQ(o.status, 0) << o.output;
  EXPECT_NE(o.output.find("messagebox \"gone.tif\" \"General I/O error\""), std::string::npos) << o.output;
}

TEST_F(Program, ASecondStartHandsItsFileToTheFirst) {
  EmulatorConfig config;
  config.secondInstanceService = true;
  StartDevice("ipaq3600", config);
  Launch();
  EndSplash();
  HWND main = gApp.mainWindow;
  // Without a file the second start only brings the first forward.
  vt::Outcome o = vt::RunZelmo(Headless());
  EXPECT_EQ(o.status, 0) << o.output;
  ASSERT_TRUE(WaitIdle(5000));
  EXPECT_EQ(GetForegroundWindow(), main);
  EXPECT_FALSE(gView.fileOpen);
  std::u16string value;
  EXPECT_FALSE(vt::GetString(u"Cmdline", &value));

  o = vt::RunZelmo(Headless() + " '" + HostPath("My Documents/memo-g3-2page.tif") + "'");
  EXPECT_EQ(o.status, 0) << o.output;
  // The second start has posted its message before it ended.
  ASSERT_TRUE(WaitIdle(5000));
  EXPECT_EQ(gView.currentPath, u"\\My Documents\\memo-g3-2page.tif");
  EXPECT_TRUE(gView.fileOpen);
  EXPECT_EQ(gView.file.pageCount, 2);
  ASSERT_TRUE(vt::GetString(u"Cmdline", &value));
  EXPECT_EQ(value, u"\\My Documents\\memo-g3-2page.tif");
  // The first one stays the only viewer, and not in Glimpse mode.
  EXPECT_EQ(gApp.glimpse, 0);
  EXPECT_EQ(Quit(), 0);
  // The hand-over left the key before any save: the saved options are the
  // defaults, not all off.
  uint32_t options = 0;
  ASSERT_TRUE(vt::GetDword(u"Options", &options));
  EXPECT_EQ(options, 0x16DFDEu);
}

}  // namespace
