// The "Settings" sheet and "Associate File Types", driven in the `zelmo`
// program by scripts on the default, a wide, a buttonless and an unknown
// model; the registry entries of the file associations.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/viewer.h"
#include "viewer/app/state.h"
#include "viewer/settings/preferences.h"

namespace {

using namespace ce;
using namespace zelmo;
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

TEST_F(PreferenceScripts, InGlimpseModeTheChangesLastUntilTheEnd) {
  Run("prefs-glimpse.txt", "'\\My Documents\\photo.jpg'");
  EXPECT_EQ(Registry().find("Tarnwick"), std::string::npos);
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

TEST_F(PreferenceScripts, FileAssociationsAreWrittenOnlyOnRegister) {
  Run("associate-cancel.txt");
  EXPECT_EQ(Registry().find("Ravlo"), std::string::npos);
  Run("associate.txt");
}

using FileAssociations = vt::ViewerTest;

std::u16string DefaultValue(const char16_t* path) {
  HKEY key;
  if (RegOpenKeyEx(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return u"(none)";
  WCHAR text[128] = {};
  DWORD size = sizeof(text) - sizeof(WCHAR);
  RegQueryValueEx(key, u"", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(key);
  return text;
}

TEST_F(FileAssociations, TheClassIsAlwaysWrittenAndOnlyTickedExtensions) {
  StartDevice("ipaq3600", {}, false);
  gApp.programDirectory = u"\\Program Files\\Zelmo\\";
  HKEY key;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, u".bmp", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::u16string paint = u"pbrush";
  RegSetValueEx(key, u"", 0, REG_SZ, reinterpret_cast<const BYTE*>(paint.c_str()), 14);
  RegCloseKey(key);
  RegisterFileTypes(0);
  EXPECT_EQ(DefaultValue(u"Ravlo.Document"), u"Ravlo Document");
  EXPECT_EQ(DefaultValue(u"Ravlo.Document\\DefaultIcon"), u"\\Program Files\\Zelmo\\zelmo.exe,0");
  EXPECT_EQ(DefaultValue(u"Ravlo.Document\\Shell\\Open\\Command"), u"\"\\Program Files\\Zelmo\\zelmo.exe\" %1");
  EXPECT_EQ(DefaultValue(u".jpg"), u"(none)");
  RegisterFileTypes(1u << 4 | 1u << 8);  // JPG and AWD
  EXPECT_EQ(DefaultValue(u".jpg"), u"Ravlo.Document");
  EXPECT_EQ(DefaultValue(u".jpeg"), u"Ravlo.Document");
  EXPECT_EQ(DefaultValue(u".awd"), u"Ravlo.Document");
  EXPECT_EQ(DefaultValue(u".bmp"), paint);
  EXPECT_EQ(DefaultValue(u".tif"), u"(none)");
}

}  // namespace
