// "Slide Show" from the Page menu of the headless viewer on every screen
// layout: each slide as expected whatever the effect, and after a tap the
// main window as it was.  Under AddressSanitizer no effect writes outside
// screen memory.
#include <filesystem>
#include <fstream>

#include "support/viewer.h"

namespace {

class SlideProgram : public vt::ViewerTest {
 protected:
  // Runs `script` after the start-up picture on a fresh device whose
  // settings hold `values` and whose \My Documents\show holds the pictures.
  void Run(const std::string& device, int width, int height, const std::string& values, const std::string& script) {
    std::filesystem::remove_all(Root());
    for (const char* name : kNames) vt::WriteFile(HostPath("My Documents/show/") + name, vt::ReadFile(data_ + name));
    const std::string registry = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Zelmo]\n" + values;
    vt::WriteFile(Root() + "/.emulator/registry.txt", std::vector<uint8_t>(registry.begin(), registry.end()));
    std::ofstream(folder_.path() + "/show.txt") << "tap " << width / 2 << " " << height / 2
                                                << "\nexpect-window RAVLO2 \"Zelmo\"\nidle\n" << script << "quit\n";
    vt::Outcome o = vt::RunZelmo("--headless --log --clock 12:00 --device " + device + " --root '" + Root() +
                                 "' --script '" + folder_.path() + "/show.txt'");
    EXPECT_EQ(o.status, 0) << device << ": " << o.output;
  }
  // The three pictures with `effect` at speed Fast, each for `delay` ms.
  void Show(const std::string& device, int width, int height, int effect, int delay) {
    char values[160];
    std::snprintf(values, sizeof(values),
                  "\"CurDir\"=\"\\\\My Documents\\\\show\"\n\"TransitionEffect\"=dword:%08x\n"
                  "\"TransitionSpeed\"=dword:00000002\n\"SlideDelay\"=dword:%08x\n", effect, delay);
    const std::string before = folder_.path() + "/before.png";
    std::string script = "shot " + before + "\nmenu Page/Slide Show\n";
    for (int n = 1; n <= 3; ++n)
      script += "wait-log slide " + std::to_string(n) + " " + kNames[n - 1] + " shown\nexpect-shot " + data_ +
                "expected/" + device + "-" + std::to_string(n) + ".png\n";
    Run(device, width, height, values, script + "tap 10 10\nwait-log slide show ended\nexpect-shot " + before + "\n");
  }
  void EveryEffect(const std::string& device, int width, int height) {
    Show(device, width, height, 0, 500);
    Show(device, width, height, 4, 1000);   // Slide Left
    Show(device, width, height, 2, 1500);   // Fade out/in
    Show(device, width, height, 13, 1000);  // Cube Up
  }
  static constexpr const char* kNames[] = {"1-bars.bmp", "2-colours.gif", "3-photo.jpg"};
  const std::string data_ = std::string(ZELMO_TEST_DATA) + "/slideshow/";
};

TEST_F(SlideProgram, RotatedSixteenBitPanelWithTwelveBitColours) { EveryEffect("ipaq3600", 240, 320); }
TEST_F(SlideProgram, PanelThatTakesSixteenBitStoresOnly) { EveryEffect("j670", 240, 320); }
TEST_F(SlideProgram, WideSixteenBitScreen) { EveryEffect("jornada720", 640, 240); }
TEST_F(SlideProgram, WidePaletteScreen) { EveryEffect("mobilepro", 640, 240); }

// The gray panel plays every effect as None, a stored fade included.
TEST_F(SlideProgram, RotatedFourBitGrayPanel) {
  Show("ipaq3100", 240, 320, 0, 500);
  Show("ipaq3100", 240, 320, 2, 500);
}

TEST_F(SlideProgram, UnknownModelsAndEmptyFoldersShowWhyNothingStarts) {
  Run("unknown", 240, 320, "",
      "answer ok\nmenu Page/Slide Show\nexpect-text Sorry, the slideshow feature is currently not available for your "
      "machine\nexpect-window RAVLO2 \"Zelmo\"\n");
  Run("ipaq3600", 240, 320, "\"CurDir\"=\"\\\\temp\"\n",
      "answer ok\nmenu Page/Slide Show\nexpect-text There are no matching files in the currently selected "
      "directory.\nexpect-window RAVLO2 \"Zelmo\"\n");
}

}  // namespace
