// The "Settings" sheet, driven in the `zelmo` program by scripts on the
// default, a wide, a buttonless and an unknown model.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/viewer.h"

namespace {

namespace fs = std::filesystem;

class PreferenceScripts : public vt::ViewerTest {
 protected:
  void SetUp() override {
    out_ = std::string(ZELMO_SHOT_DIR) + "/preferences";
    fs::create_directories(out_);
    for (const auto& e : fs::directory_iterator(ZELMO_VIEWER_SCRIPTS))
      fs::copy_file(e.path(), out_ + "/" + e.path().filename().string(), fs::copy_options::overwrite_existing);
  }
  // Asserts that the script ran to its end; returns what was logged.
  std::string Run(const std::string& script, const std::string& options = "") {
    vt::Outcome o = vt::RunZelmo("--headless --log --clock 12:00 --root '" + Root() + "' " + options + " --script '" +
                                 out_ + "/" + script + "'");
    EXPECT_EQ(o.status, 0) << script << "\n" << o.output;
    return o.output;
  }
  std::string Registry() const {
    std::ifstream in(Root() + "/.emulator/registry.txt");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static int Count(const std::string& text, const std::string& word) {
    int n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
    return n;
  }
  std::string out_;
};

// Every page changes a value; the registry holds them, the main window's
// toolbar and full-screen buttons use them, and a second run shows them.
// The Icons page beeps at "Add" on a full row, "Up" on the first item and
// "x" on an empty row, and ignores row 9 of five.
TEST_F(PreferenceScripts, EveryPageStoresWhatItShowsAndTheNextRunShowsIt) {
  const std::string first = Run("prefs-240.txt");
  EXPECT_NE(first.find("milestone animation timer 100 ms"), std::string::npos);
  EXPECT_EQ(Count(first, "\nbeep"), 0);
  const std::string second = Run("prefs-again-240.txt");
  EXPECT_EQ(Count(second, "\nbeep"), 3) << second;
}

TEST_F(PreferenceScripts, TheWideModelShowsTheWideLayoutsAndItsOwnToolbar) { Run("prefs-640.txt", "--device jornada720"); }

TEST_F(PreferenceScripts, ModelsWithoutButtonsOrScreenAccessGreyTheirControls) {
  Run("prefs-buttonless.txt", "--device palmax");
  fs::remove_all(Root());
  Run("prefs-unknown.txt", "--device unknown");
}

// The second capture after "Reset file counter" passes over CAP0001.BMP; a
// write-protected folder gets the message and no file.
TEST_F(PreferenceScripts, CapturesGoToTheFolderBrowsedTo) {
  fs::create_directories(HostPath("My Documents/captures"));
  Run("capture-browse.txt");
  const std::string failed = Run("capture-read-only.txt", "--read-only '\\My Documents\\captures'");
  EXPECT_NE(failed.find("messagebox \"Screen Capture\" \"General I/O error\""), std::string::npos);
  EXPECT_EQ(Count(failed, "sound start"), 0);
}

}  // namespace
