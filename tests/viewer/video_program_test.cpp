// "Play / Pause" on the clips of tests/data/video/play in the headless
// viewer: frames drawn on time with the clip's sound, the screen as ffmpeg
// decodes the frame, the main window back on the right page afterwards;
// under AddressSanitizer no frame writes outside its buffer.
#include <filesystem>
#include <fstream>
#include <regex>

#include "support/viewer.h"

namespace {

class VideoProgram : public vt::ViewerTest {
 protected:
  // Runs `script` on `device` with `clip` open from \My Documents and the
  // settings `values`; the --log output.
  std::string Run(const std::string& clip, const std::string& script, const std::string& values = "",
                  const std::string& device = "ipaq3600") {
    std::filesystem::remove_all(Root());
    for (const char* name : {"clip.avi", "clip.mov", "big.avi", "odd.avi", "grow.avi", "zero.avi"})
      vt::WriteFile(HostPath(std::string("My Documents/") + name), vt::ReadFile(data_ + name));
    const std::string registry = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Zelmo]\n" + values;
    vt::WriteFile(Root() + "/.emulator/registry.txt", std::vector<uint8_t>(registry.begin(), registry.end()));
    std::ofstream(folder_.path() + "/play.txt") << "tap 120 160\nexpect-window RAVLO2 \"Zelmo\"\nidle\n"
                                                << script << "quit\n";
    vt::Outcome o = vt::RunZelmo("--headless --log --clock 12:00 --device " + device + " --root '" + Root() +
                                 "' --script '" + folder_.path() + "/play.txt' '\\My Documents\\" + clip + "'");
    EXPECT_EQ(o.status, 0) << clip << ": " << o.output;
    return o.output;
  }
  // Plays `clip` to its end; the output.
  std::string PlayToEnd(const std::string& clip, const std::string& device = "ipaq3600") {
    return Run(clip, "menu Page/Play / Pause\nwait-log \"video ended\" 20000\nidle\n", "", device);
  }
  const std::string data_ = std::string(ZELMO_TEST_DATA) + "/video/play/";
};

size_t Count(const std::string& text, const std::string& pattern) {
  const std::regex re(pattern);
  return static_cast<size_t>(std::distance(std::sregex_iterator(text.begin(), text.end(), re), std::sregex_iterator()));
}

// Frame 10 as ffmpeg decodes it, centred and cropped; at the end the
// first frame again, as before playing, and the sound stopped; Image Info
// on a clip is the Video Information dialog.
TEST_F(VideoProgram, TheClipPlaysWithItsSoundAndEndsOnTheFirstFrame) {
  const std::string before = folder_.path() + "/before.png";
  const std::string out = Run("clip.avi", "shot " + before + "\nmenu Page/Play / Pause\nwait-log \"video frame 10 drawn\"\n"
                                          "expect-shot " + data_ + "frame10.png 16\nwait-log \"video ended\" 20000\n"
                                          "expect-shot " + before + "\nmenu File/Image Info...\n"
                                          "wait-log \"video information shown\"\nexpect-control 1079 Motion-JPEG\ndone\n");
  EXPECT_EQ(Count(out, "sound start rate=11025 bytes=22050[^]*video frame 0 drawn[^]*video frame 29 [^]*sound stop[^]*"
                       "page 1 shown[^]*video ended"), 1u) << out;
  EXPECT_EQ(Count(out, "video frame \\d+ (drawn|dropped)"), 30u) << out;
}

// A tap stops the clip on the frame after the last one played; turned and
// at half size, frame 10 lies on its side in the middle of the screen.
TEST_F(VideoProgram, ATapStopsTheClipTurnedAndAtHalfSize) {
  const std::string out = Run("clip.avi", "menu Page/Play / Pause\nwait-log \"video frame 10 drawn\"\nexpect-shot " +
                                              data_ + "frame10-turned-half.png 64\nwait-log \"video frame 14\"\n"
                                              "tap 120 160\nwait-log \"video stopped at\"\nidle\n",
                              "\"VideoRotate\"=dword:00000001\n\"VideoSize\"=dword:00000000\n");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(out, m, std::regex("video stopped at (\\d+)"))) << out;
  const int stopped = std::stoi(m[1]);
  EXPECT_GE(stopped, 14);
  EXPECT_EQ(Count(out, "sound stop[^]*page " + std::to_string(stopped + 2) + " shown[^]*video stopped"), 1u) << out;
}

// QuickTime as AVI; frames larger than the screen, of an odd width or
// growing after the first ones play without a write out of bounds (the
// larger ones are not drawn); a clip without a frame duration plays as
// fast as it decodes; an unknown model decodes frames but draws none.
TEST_F(VideoProgram, EveryKindOfClipPlaysToItsEnd) {
  std::string out = PlayToEnd("clip.mov");
  EXPECT_EQ(Count(out, "sound start rate=11025 bytes=22050"), 1u) << out;
  EXPECT_EQ(Count(out, "video frame \\d+ (drawn|dropped)"), 30u) << out;
  out = PlayToEnd("big.avi");
  EXPECT_EQ(Count(out, "video frame \\d+ (drawn|dropped)"), 6u) << out;
  out = PlayToEnd("odd.avi");
  EXPECT_EQ(Count(out, "video frame \\d+ (drawn|dropped)"), 6u) << out;
  out = PlayToEnd("grow.avi");
  EXPECT_GE(Count(out, "video frame [0-2] drawn"), 2u) << out;
  EXPECT_EQ(Count(out, "video frame [3-5] drawn"), 0u) << out;
  EXPECT_EQ(Count(PlayToEnd("zero.avi"), "video frame \\d+ drawn"), 11u);
  out = PlayToEnd("odd.avi", "unknown");
  EXPECT_EQ(Count(out, "video frame \\d+ drawn"), 0u) << out;
  EXPECT_GE(Count(out, "video frame \\d+ not drawn"), 3u) << out;
}

}  // namespace
