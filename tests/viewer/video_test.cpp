// Video playback's parts: frames placed and turned on every panel layout,
// the schedule of the frame loop on a clock the test advances, and the
// wave image of a clip's sound.
#include <algorithm>
#include <cstring>
#include <map>

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

// A frame loop over `count` frames whose decoding takes decodeMs[page]
// (the last value for the rest) on the test's clock.
struct Player {
  vt::TestClock clock;
  std::atomic<int> playing{1};
  std::vector<uint32_t> decodeMs;
  std::vector<int> read;
  int stopAt = -1;  // the flag is cleared while this frame decodes
  FrameLoopResult Run(uint32_t interval, int first, int count) {
    FrameLoop loop;
    loop.clock = clock.clock();
    loop.playing = &playing;
    loop.interval = interval;
    loop.first = first;
    loop.count = count;
    loop.context = this;
    loop.show = [](void* c, int page) {
      auto* p = static_cast<Player*>(c);
      p->read.push_back(page);
      p->clock.now += p->decodeMs[std::min<size_t>(static_cast<size_t>(page), p->decodeMs.size() - 1)];
      if (page == p->stopAt) p->playing = 0;
      return FrameShown::kDrawn;
    };
    return RunFrameLoop(loop);
  }
};

TEST(VideoFrameLoop, FramesArePacedAndDroppedAgainstTheClock) {
  {  // 80 ms frames at 66 ms, from frame 3 on: a late frame costs the next
     // one, unread; the time a drop wins back lets two frames through
    Player p;
    p.decodeMs = {80};
    const FrameLoopResult r = p.Run(66, 3, 13);
    EXPECT_EQ(p.read, (std::vector<int>{3, 5, 6, 8, 9, 11, 12}));
    EXPECT_EQ(r.drawn, 7);
    EXPECT_EQ(r.dropped, 3);
    EXPECT_EQ(r.last, 12);
    EXPECT_FALSE(r.stopped);
  }
  {  // 30 ms frames: every one, with 36 ms slept after each
    Player p;
    p.decodeMs = {30};
    p.Run(66, 0, 6);
    EXPECT_EQ(p.read.size(), 6u);
    EXPECT_EQ(p.clock.sleeps, std::vector<uint32_t>(6, 36));
  }
  {  // after a frame late by several intervals the next is dropped unread,
     // and the one after it is read whatever the time
    Player p;
    p.decodeMs = {10, 300, 10};
    const FrameLoopResult r = p.Run(66, 0, 5);
    EXPECT_EQ(p.read, (std::vector<int>{0, 1, 3}));
    EXPECT_EQ(r.dropped, 2);
  }
  {  // no frame duration: as fast as frames decode, never a sleep or a drop
    Player p;
    p.decodeMs = {30};
    const FrameLoopResult r = p.Run(0, 0, 8);
    EXPECT_EQ(r.drawn, 8);
    EXPECT_TRUE(p.clock.sleeps.empty());
  }
}

TEST(VideoFrameLoop, ClearingTheFlagEndsTheLoopAtOnce) {
  {  // while a frame decodes: no sleep after it, no frame more
    Player p;
    p.decodeMs = {30};
    p.stopAt = 4;
    const FrameLoopResult r = p.Run(66, 0, 10);
    EXPECT_EQ(p.read.back(), 4);
    EXPECT_EQ(p.clock.sleeps.size(), 4u);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.last, 4);
  }
  {  // during a long wait: it is slept in slices and ends after the first
    Player p;
    p.decodeMs = {0};
    p.clock.onSleep = [&p] { p.playing = 0; };
    const FrameLoopResult r = p.Run(60000, 0, 3);
    EXPECT_EQ(p.clock.sleeps, std::vector<uint32_t>{kWaitSliceMs});
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.last, 0);
  }
}

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

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
  EXPECT_EQ(std::memcmp(all.data(), "RIFF", 4), 0);
  EXPECT_EQ(Le32(&all[4]), 22050u + 36);
  EXPECT_EQ(std::memcmp(&all[8], "WAVEfmt ", 8), 0);
  EXPECT_EQ(Le32(&all[16]), 16u);
  EXPECT_EQ(Le32(&all[20]), 1u | 1u << 16);  // PCM, one channel
  EXPECT_EQ(Le32(&all[24]), 11025u);
  EXPECT_EQ(Le32(&all[28]), 11025u);
  EXPECT_EQ(Le32(&all[32]), 1u | 8u << 16);
  EXPECT_EQ(std::memcmp(&all[36], "data", 4), 0);
  EXPECT_EQ(Le32(&all[40]), 22050u);

  const uint32_t skip = 11025 * 20 * 66 / 1000;
  const std::vector<uint8_t> later = clip.Wave(20, 66);
  ASSERT_EQ(later.size(), all.size() - skip);
  EXPECT_EQ(Le32(&later[40]), 22050 - skip);
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

// "Image Info..." on a clip: dialog 134 with the clip's facts, on the
// narrow and the wide screen; a clip without a frame duration has no rate.
class VideoInformation : public vt::ViewerTest {
 protected:
  // The dialog's lines for `name` (control id: text); shot to `shot`.
  std::map<int, std::u16string> Show(const std::string& model, const char* name, const std::string& shot) {
    StartDevice(model);
    const std::string data = std::string(ZELMO_TEST_DATA) + "/video/play/";
    vt::WriteFile(HostPath(std::string("My Documents/") + name), vt::ReadFile(data + name));
    gView.currentPath = u"\\My Documents\\" + quillon::Utf8ToUtf16(name);
    gApp.instance = ce::ProgramInstance();
    gApp.largeScreen = model == "jornada720";
    ce::HANDLE shower = ce::CreateThread(
        nullptr, 0, [](void*) -> ce::DWORD { ShowVideoInformation(nullptr); return 0; }, nullptr, 0, nullptr);
    ce::HWND dialog = nullptr;
    for (int i = 0; i < 500 && !(dialog = ce::FindWindow(nullptr, u"Video Information")); ++i) ce::Sleep(10);
    std::map<int, std::u16string> lines;
    EXPECT_NE(dialog, nullptr);
    if (dialog) {
      EXPECT_TRUE(gView.dialogOpen);
      for (int id : {1070, 1073, 1075, 1076, 1078, 1079, 1082, 1083, 1084}) {
        char16_t text[64] = {};
        ce::GetDlgItemText(dialog, id, text, 64);
        lines[id] = text;
      }
      EXPECT_TRUE(ce::WaitIdle(5000));
      std::string error;
      EXPECT_TRUE(ce::SaveScreenshot(shot, &error)) << error;
      ce::PostMessage(dialog, ce::WM_COMMAND, ce::IDOK, 0);
    }
    EXPECT_EQ(ce::WaitForSingleObject(shower, 5000), ce::WAIT_OBJECT_0);
    ce::CloseHandle(shower);
    EXPECT_FALSE(gView.dialogOpen);
    return lines;
  }
};

TEST_F(VideoInformation, TheClipsFactsOnEitherScreen) {
  const std::map<int, std::u16string> expected = {
      {1078, u"clip.avi"}, {1073, u"AVI"},      {1070, u"320 x 240"}, {1075, u"30"},        {1082, u"15 fps"},
      {1083, u"1.9 s"},    {1084, u"11025 Hz"}, {1076, u"147464"},    {1079, u"Motion-JPEG"}};
  EXPECT_EQ(Show("ipaq3600", "clip.avi", std::string(ZELMO_SHOT_DIR) + "/video-info-240.png"), expected);
}

TEST_F(VideoInformation, AClipWithoutAFrameDurationHasNoRate) {
  const std::map<int, std::u16string> lines =
      Show("jornada720", "zero.avi", std::string(ZELMO_SHOT_DIR) + "/video-info-640.png");
  EXPECT_EQ(lines.at(1082), u"");
  EXPECT_EQ(lines.at(1083), u"0.0 s");
  EXPECT_EQ(lines.at(1070), u"80 x 60");
  EXPECT_EQ(lines.at(1084), u"11025 Hz");
}

}  // namespace
