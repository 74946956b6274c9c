// Video playback's parts: frames placed and turned on every panel layout,
// the schedule of the frame loop on a clock the test advances, and the
// wave image of a clip's sound.
#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>

#include <gtest/gtest.h>

#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "support/screen_panel.h"
#include "support/viewer.h"
#include "viewer/app/state.h"
#include "viewer/video/video.h"

namespace {

using namespace zelmo;

// Where frame pixel (x, y) of a w x h frame lands on the screen, from the
// placement rule: centred when it fits, its middle shown when it does not;
// turned, placed on the screen seen a quarter turned.  False off screen.
bool Landing(int W, int H, int w, int h, bool turned, int x, int y, int* sx, int* sy) {
  auto offset = [](int frame, int screen) { return frame <= screen ? (screen - frame) / 2 : -((frame - screen) / 2); };
  if (!turned) {
    *sx = x + offset(w, W), *sy = y + offset(h, H);
  } else {
    const int px = x + offset(w, H), py = y + offset(h, W);
    if (px < 0 || px >= H || py < 0 || py >= W) return false;
    *sx = py, *sy = H - 1 - px;
  }
  return *sx >= 0 && *sx < W && *sy >= 0 && *sy < H;
}

// Frames of every size from 1 x 1 to 20 x 20 on screens of 12 x 16 and
// 16 x 12, plain and turned: each screen pixel shows the frame pixel that
// lands on it, or is untouched, in memory exactly as large as the layout.
TEST(VideoFrames, FramesAreCentredCroppedAndTurnedOnEveryLayout) {
  for (const vt::Layout& layout : vt::kLayouts)
    for (bool turned : {false, true})
      for (int w = 1; w <= 20; ++w)
        for (int h = 1; h <= 20; ++h) {
          const uint32_t mask = layout.depth == 16 ? 0xFFFF : (1u << layout.depth) - 1;
          vt::TestPage frame(w, h, layout.depth, [&](int x, int y) { return (x * 7 + y * 13 + 1) & mask; });
          vt::Panel panel(layout);
          const std::vector<uint32_t> untouched = panel.pixels();
          DrawVideoFrame(panel.target, frame.page, turned);
          std::vector<uint32_t> expected = untouched;
          for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
              int sx, sy;
              if (Landing(layout.width, layout.height, w, h, turned, x, y, &sx, &sy))
                expected[sy * layout.width + sx] = frame.at(x, y);
            }
          ASSERT_EQ(panel.pixels(), expected) << layout.name << " " << w << "x" << h << (turned ? " turned" : "");
        }
}

// The loop over frames first..count-1 whose decoding takes decodeMs[page]
// (the last value for the rest) on the test's clock; the flag is cleared
// while frame stopAt decodes.
struct Player {
  vt::TestClock clock;
  std::atomic<int> playing{1};
  std::vector<uint32_t> decodeMs;
  int stopAt = -1;
  std::vector<int> read;
  FrameLoopResult r;
  Player(std::vector<uint32_t> ms, uint32_t interval, int first, int count, int stop = -1)
      : decodeMs(std::move(ms)), stopAt(stop) {
    auto show = [](void* c, int page) {
      auto* p = static_cast<Player*>(c);
      p->read.push_back(page);
      p->clock.now += p->decodeMs[std::min<size_t>(static_cast<size_t>(page), p->decodeMs.size() - 1)];
      if (page == p->stopAt) p->playing = 0;
      return FrameShown::kDrawn;
    };
    r = RunFrameLoop(FrameLoop{clock.clock(), &playing, interval, first, count, this, show});
  }
};

TEST(VideoFrameLoop, FramesArePacedAndDroppedAgainstTheClock) {
  // 80 ms frames at 66 ms: a late frame costs the next one, unread; the
  // time a drop wins back lets two through.
  Player slow({80}, 66, 3, 13);
  EXPECT_EQ(slow.read, (std::vector<int>{3, 5, 6, 8, 9, 11, 12}));
  EXPECT_EQ(std::tuple(slow.r.drawn, slow.r.dropped, slow.r.last), std::tuple(7, 3, 12));
  EXPECT_FALSE(slow.r.stopped);
  Player quick({30}, 66, 0, 6);  // every frame, 36 ms slept after each
  EXPECT_EQ(quick.clock.sleeps, std::vector<uint32_t>(6, 36));
  // After a frame late by several intervals the next is dropped and the
  // one after it read whatever the time.
  EXPECT_EQ(Player({10, 300, 10}, 66, 0, 5).read, (std::vector<int>{0, 1, 3}));
  Player free({30}, 0, 0, 8);  // no frame duration: no sleep, no drop
  EXPECT_EQ(free.r.drawn, 8);
  EXPECT_TRUE(free.clock.sleeps.empty());
}

TEST(VideoFrameLoop, ClearingTheFlagEndsTheLoopAtOnce) {
  Player decoding({30}, 66, 0, 10, 4);  // no sleep after that frame, no frame more
  EXPECT_EQ(decoding.read.back(), 4);
  EXPECT_EQ(decoding.clock.sleeps.size(), 4u);
  EXPECT_TRUE(decoding.r.stopped && decoding.r.last == 4);
  // During a long wait, slept in slices: the first slice ends it.
  vt::TestClock clock;
  std::atomic<int> playing{1};
  clock.onSleep = [&playing] { playing = 0; };
  const FrameLoopResult r = RunFrameLoop(
      FrameLoop{clock.clock(), &playing, 60000, 0, 3, nullptr, [](void*, int) { return FrameShown::kDrawn; }});
  EXPECT_EQ(clock.sleeps, std::vector<uint32_t>{kWaitSliceMs});
  EXPECT_TRUE(r.stopped && r.last == 0);
}

// `v` as n little-endian bytes.
std::string Le(uint32_t v, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += static_cast<char>(v >> 8 * i);
  return s;
}

struct Clip {
  quillon::ImageFile file{};
  explicit Clip(const char* name) {
    const std::string path = std::string(ZELMO_TEST_DATA) + "/video/play/" + name;
    EXPECT_EQ(quillon::OpenImageFile(quillon::Utf8ToUtf16(path).c_str(), &file), quillon::kOk);
  }
  ~Clip() { quillon::CloseImageFile(&file); }
  std::vector<uint8_t> Wave(int first, uint32_t interval) {
    WaveImage w = BuildWaveImage(file, first, interval);
    std::vector<uint8_t> bytes(w.data, w.data + w.size);
    ReleaseWaveImage(&w);
    return bytes;
  }
};

// The header of 8-bit mono PCM at 11025 Hz; the sound of earlier frames
// skipped; nothing past the end; tables that promise more than the sound's
// length or the file's size cut to what there is room for.
TEST(VideoSound, TheWaveImageHoldsTheSoundFromTheFirstFrame) {
  Clip clip("clip.avi");
  ASSERT_EQ(clip.file.audioLength, 22050);
  const std::vector<uint8_t> all = clip.Wave(0, 66);
  ASSERT_EQ(all.size(), kWaveHeaderBytes + 22050);
  EXPECT_EQ(std::string(all.begin(), all.begin() + kWaveHeaderBytes),
            "RIFF" + Le(22050 + 36, 4) + "WAVEfmt " + Le(16, 4) + Le(1, 2) + Le(1, 2) + Le(11025, 4) +
                Le(11025, 4) + Le(1, 2) + Le(8, 2) + "data" + Le(22050, 4));
  const uint32_t skip = 11025 * 20 * 66 / 1000;
  const std::vector<uint8_t> later = clip.Wave(20, 66);
  ASSERT_EQ(later.size(), all.size() - skip);
  EXPECT_EQ(std::string(later.begin() + 40, later.begin() + 44), Le(22050 - skip, 4));
  EXPECT_TRUE(std::equal(later.begin() + kWaveHeaderBytes, later.end(), all.begin() + kWaveHeaderBytes + skip));
  EXPECT_TRUE(clip.Wave(30, 66).size() > kWaveHeaderBytes);
  EXPECT_TRUE(clip.Wave(50, 66).empty()) << "11025 x 50 x 66 / 1000 bytes lie past the sound's end";

  clip.file.audioLength = 1000;
  const std::vector<uint8_t> cut = clip.Wave(0, 66);
  ASSERT_EQ(cut.size(), kWaveHeaderBytes + 1000);
  EXPECT_TRUE(std::equal(cut.begin() + kWaveHeaderBytes, cut.end(), all.begin() + kWaveHeaderBytes));
  clip.file.audioLength = 1 << 30;
  EXPECT_EQ(clip.Wave(0, 66), all) << "no more room than the file's size";
  clip.file.audioChunkCount = 0;
  EXPECT_TRUE(clip.Wave(0, 66).empty());
}

// "Image Info..." on a clip: dialog 134 with the clip's facts (control id:
// text), on the narrow and the wide screen (shots for the eye in the build
// folder); a clip without a frame duration has no rate.
class VideoInformation : public vt::ViewerTest {
 protected:
  std::map<int, std::u16string> Show(const std::string& model, const char* name) {
    StartDevice(model);
    vt::WriteFile(HostPath(std::string("My Documents/") + name),
                  vt::ReadFile(std::string(ZELMO_TEST_DATA) + "/video/play/" + name));
    gView.currentPath = u"\\My Documents\\" + quillon::Utf8ToUtf16(name);
    gApp.instance = ce::ProgramInstance();
    gApp.largeScreen = model != "ipaq3600";
    ce::ClearEventLog();
    ce::HANDLE shower = ce::CreateThread(
        nullptr, 0, [](void*) -> ce::DWORD { return ShowVideoInformation(nullptr), 0; }, nullptr, 0, nullptr);
    auto shown = [] {
      const std::vector<std::string> log = ce::EventLog();
      return std::find(log.begin(), log.end(), "milestone video information shown") != log.end();
    };
    for (int i = 0; i < 500 && !shown(); ++i) ce::Sleep(10);
    ce::HWND dialog = ce::FindWindow(nullptr, u"Video Information");
    std::map<int, std::u16string> lines;
    EXPECT_TRUE(dialog && gView.dialogOpen);
    for (int id : {1070, 1073, 1075, 1076, 1078, 1079, 1082, 1083, 1084}) {
      char16_t text[64] = {};
      if (dialog) ce::GetDlgItemText(dialog, id, text, 64);
      lines[id] = text;
    }
    std::string error;
    EXPECT_TRUE(ce::WaitIdle(5000) && ce::SaveScreenshot(std::string(ZELMO_SHOT_DIR) + "/video-info-" + model + ".png", &error));
    ce::PostMessage(dialog, ce::WM_COMMAND, ce::IDOK, 0);
    EXPECT_EQ(ce::WaitForSingleObject(shower, 5000), ce::WAIT_OBJECT_0);
    ce::CloseHandle(shower);
    EXPECT_FALSE(gView.dialogOpen);
    return lines;
  }
};

TEST_F(VideoInformation, TheClipsFacts) {
  const std::map<int, std::u16string> expected = {
      {1078, u"clip.avi"}, {1073, u"AVI"},      {1070, u"320 x 240"}, {1075, u"30"},        {1082, u"15 fps"},
      {1083, u"1.9 s"},    {1084, u"11025 Hz"}, {1076, u"147464"},    {1079, u"Motion-JPEG"}};
  EXPECT_EQ(Show("ipaq3600", "clip.avi"), expected);
}

TEST_F(VideoInformation, AClipWithoutAFrameDurationHasNoRate) {
  const std::map<int, std::u16string> lines = Show("jornada720", "zero.avi");
  EXPECT_EQ(lines.at(1082), u"");
  EXPECT_EQ(lines.at(1083), u"0.0 s");
  EXPECT_EQ(lines.at(1070), u"80 x 60");
}

}  // namespace
