// The slide show's parts on small screens of every panel layout: the
// writers, the effects step by step against their geometry, the slide
// frames, and the job's passes and delays on a clock the test advances.
#include <algorithm>
#include <cstring>
#include <functional>
#include <set>

#include "support/screen_panel.h"
#include "support/viewer.h"
#include "viewer/app/device.h"
#include "viewer/slideshow/slide_show.h"

namespace {

using namespace zelmo;
using quillon::PageRecord;
using vt::kLayouts;
using vt::Layout;
using vt::Panel;
using vt::PixelOf;
using vt::TestClock;
using vt::TestPage;

uint32_t Darkened(uint32_t v, int level) {  // the 5-6-5 channels widened, reduced, packed
  auto down = [&](uint32_t c) { return static_cast<uint32_t>(std::max<int>(c - 17 * level, 0)); };
  return (down((v >> 11) << 3) >> 3) << 11 | (down(((v >> 5) & 63) << 2) >> 2) << 5 | down((v & 31) << 3) >> 3;
}

// Every width from 1 to 9 at either edge, clipped to the screen and the
// frame, and copies stretched along either axis: exactly the pixels of the
// rectangle change, in screen memory exactly as large as the layout; and
// the fades' arithmetic.
TEST(SlideWriters, RectanglesOfEveryWidthStretchedCopiesAndFadesOnEveryLayout) {
  for (const Layout& l : kLayouts) {
    SCOPED_TRACE(l.name);
    TestPage frame(l.width, l.height, l.depth, [&](int x, int y) { return (x * 5 + y * 3 + 1) & ((1u << l.depth) - 1); });
    for (int width = 1; width <= 9; ++width) {
      for (int dstX : {3, -2}) {
        Panel panel(l);
        const std::vector<uint32_t> before = panel.pixels();
        ScreenBlit(panel.target, frame.page, dstX, 2, 1, l.height - 4, width, 6);  // the frame's last lines
        for (int y = 0; y < l.height; ++y)
          for (int x = 0; x < l.width; ++x) {
            const bool in = x >= std::max(dstX, 0) && x < dstX + width && y >= 2 && y < 6;
            ASSERT_EQ(panel.at(x, y), in ? frame.at(x - dstX + 1, y - 6 + l.height) : before[y * l.width + x])
                << "width " << width << " at " << dstX << ": " << x << "," << y;
          }
      }
    }
    Panel across(l), down(l);
    const std::vector<uint32_t> before = across.pixels();
    ScreenBlitScaled(across.target, frame.page, 1, 1, 2, 0, 10, 8, 384, 256);
    ScreenBlitScaled(down.target, frame.page, 0, 0, 0, 1, 12, 5, 999, 512);
    for (int y = 0; y < l.height; ++y)
      for (int x = 0; x < l.width; ++x) {
        const int sx = 2 + (x - 1) * 384 / 256, old = static_cast<int>(before[y * l.width + x]);
        const bool inAcross = x >= 1 && x < 11 && y >= 1 && y < 9 && sx < l.width;
        ASSERT_EQ(across.at(x, y), inAcross ? frame.at(sx, y - 1) : old) << x << "," << y;
        const bool inDown = x < 12 && y < 5 && 1 + y * 2 < l.height;
        ASSERT_EQ(down.at(x, y), inDown ? frame.at(x, 1 + y * 2) : old) << x << "," << y;
      }
  }
  // Fades: every 5-6-5 pixel and every byte of the 8-bit palette darkened.
  for (int level = 0; level <= 15; ++level) {
    for (uint32_t v = 0; v < 65536; ++v) ASSERT_EQ(DarkenedPixel(static_cast<uint16_t>(v), level), Darkened(v, level)) << v;
    uint8_t faded[768];
    DarkenPalette(quillon::kColorCube332.data(), level, faded);
    for (int i = 0; i < 768; ++i) ASSERT_EQ(faded[i], std::max(quillon::kColorCube332[i] - 17 * level, 0));
  }
}

// What the screen shows after each wait of an effect, from its geometry:
// the rectangles of the old (o) and new (n) frame each step writes.
struct Model {
  int W, H;
  const TestPage &o, &n;
  bool hasOld;
  std::vector<uint32_t> screen;
  std::vector<std::vector<uint32_t>> shots;
  void Put(const TestPage& f, int x, int y, int fx, int fy, int level = 0) {
    if ((&f == &o && !hasOld) || x < 0 || y < 0 || x >= W || y >= H || fx < 0 || fy < 0 || fx >= W || fy >= H) return;
    screen[y * W + x] = level ? Darkened(f.at(fx, fy), level) : f.at(fx, fy);
  }
  void Copy(const TestPage& f, int dx, int dy, int sx, int sy, int w, int h, int level = 0) {
    for (int j = 0; j < h; ++j)
      for (int i = 0; i < w; ++i) Put(f, dx + i, dy + j, sx + i, sy + j, level);
  }
  void Squeeze(const TestPage& f, int dx, int dy, int w, int h, int xStep, int yStep) {
    for (int j = 0; j < h; ++j)
      for (int i = 0; i < w; ++i)
        Put(f, dx + i, dy + j, yStep == 256 ? i * xStep / 256 : i, yStep == 256 ? j : j * yStep / 256);
  }
  void Wait(int ms) { shots.insert(shots.end(), std::max(1, (ms + 49) / 50), screen); }

  void Play(int effect, int speed, int depth) {
    const int s = 2 << speed, d = 3 - speed, cx = W / 2, cy = H / 2, m = std::min(W, H) / 2;
    if (depth == 4) effect = 0;
    if (effect == 2) {  // on 8 bits the palette darkens and the pixels stay
      const int fade = depth == 16;
      for (int level = 1; hasOld && level <= 15; ++level) Copy(o, 0, 0, 0, 0, W, H, level * fade), Wait(25 * d);
      for (int level = 15; level >= 0; --level) Copy(n, 0, 0, 0, 0, W, H, level * fade), Wait(25 * d);
      return;
    }
    const bool slide = effect >= 3 && effect <= 6;
    for (int k = s; (effect == 3 || effect == 7) && k <= W; k += s)
      Copy(n, 0, 0, W - k, 0, k, H), slide ? Copy(o, k, 0, 0, 0, W - k, H) : void(), Wait(0);
    for (int r = W - s; (effect == 4 || effect == 8) && r >= 0; r -= s)
      Copy(n, r, 0, 0, 0, W - r, H), slide ? Copy(o, 0, 0, W - r, 0, r, H) : void(), Wait(0);
    for (int r = H - s; (effect == 5 || effect == 9) && r >= 0; r -= s)
      Copy(n, 0, r, 0, 0, W, H - r), slide ? Copy(o, 0, 0, 0, H - r, W, r) : void(), Wait(0);
    for (int k = s; (effect == 6 || effect == 10) && k <= H; k += s)
      Copy(n, 0, 0, 0, H - k, W, k), slide ? Copy(o, 0, k, 0, 0, W, H - k) : void(), Wait(0);
    for (int k = 4; effect == 11 && k <= m; k += 4) {
      Copy(n, cx - k, 0, cx - k, 0, 4, H), Copy(n, cx + k - 4, 0, cx + k - 4, 0, 4, H);
      Copy(n, 0, cy - k, 0, cy - k, W, 4), Copy(n, 0, cy + k - 4, 0, cy + k - 4, W, 4);
      Copy(o, 0, 0, k, k, cx - k, cy - k), Copy(o, cx + k, 0, cx, k, cx - k, cy - k);
      Copy(o, 0, cy + k, k, cy, cx - k, cy - k), Copy(o, cx + k, cy + k, cx, cy, cx - k, cy - k), Wait(30 * d);
    }
    for (int r = m; effect == 12 && r >= 0; r -= 2) {
      Copy(n, 0, 0, r, r, cx - r, cy - r), Copy(n, cx + r, 0, cx, r, cx - r, cy - r);
      Copy(n, 0, cy + r, r, cy, cx - r, cy - r), Copy(n, cx + r, cy + r, cx, cy, cx - r, cy - r), Wait(20 * d);
    }
    for (int k = s; effect >= 13 && effect <= 14 && k < H; k += s) {
      const int old = effect == 13 ? 0 : k, fresh = effect == 13 ? H - k : 0;
      Squeeze(o, 0, old, W, H - k, 256, H * 256 / (H - k)), Squeeze(n, 0, fresh, W, k, 256, H * 256 / k), Wait(0);
    }
    for (int k = s; effect >= 15 && k < W; k += s) {
      const int old = effect == 15 ? 0 : k, fresh = effect == 15 ? W - k : 0;
      Squeeze(o, old, 0, W - k, H, W * 256 / (W - k), 256), Squeeze(n, fresh, 0, k, H, W * 256 / k, 256), Wait(0);
    }
    Copy(n, 0, 0, 0, 0, W, H);
  }
};

TEST(SlideEffects, EveryEffectWritesTheStepsOfItsGeometryOnEveryLayout) {
  for (const Layout& l : kLayouts) {
    const uint32_t half = 1u << (l.depth - 1);  // old frames have the top bit set, new ones not
    TestPage old(l.width, l.height, l.depth, [&](int x, int y) { return half | ((x * 7 + y * 3) & (half - 1)); });
    TestPage fresh(l.width, l.height, l.depth, [&](int x, int y) { return (x * 5 + y * 11 + 1) & (half - 1); });
    for (int run = 0; run < 4 * (kLastEffect + 1); ++run) {
      const int effect = run / 4, speed = 1 + run % 2;
      const bool hasOld = run & 2;
      if (effect == kEffectRandom) continue;
      SCOPED_TRACE(std::string(l.name) + ", effect " + std::to_string(effect) + " speed " + std::to_string(speed) +
                   (hasOld ? " after a slide" : " first"));
      Panel panel(l);
      Model model{l.width, l.height, old, fresh, hasOld, panel.pixels(), {}};
      model.Play(effect, speed, l.depth);
      TestClock clock;
      std::vector<std::vector<uint32_t>> shots;
      clock.onSleep = [&] { shots.push_back(panel.pixels()); };
      std::atomic<int> stop{0};
      PageRecord newFrame = fresh.page, oldFrame = hasOld ? old.page : PageRecord{};
      EXPECT_EQ(PlayTransition(Stage{panel.target, nullptr, clock.clock(), &stop, 0}, effect, speed, &newFrame, &oldFrame),
                l.depth == 4 ? 0 : effect);
      ASSERT_EQ(shots, model.shots);
      EXPECT_EQ(panel.pixels(), model.screen);
      EXPECT_EQ(oldFrame.data, fresh.page.data);
      EXPECT_EQ(newFrame.data, nullptr);
    }
  }
}

TEST(SlideEffects, StepsRandomChoicesAndStops) {
  Panel wide({"", 240, 2, 16, 240, 0, 0});
  TestPage frame(240, 2, 16, [](int x, int) { return static_cast<uint32_t>(x); });
  TestClock clock;
  std::atomic<int> stop{0};
  const Stage stage{wide.target, nullptr, clock.clock(), &stop, 0};
  PageRecord fresh = frame.page, old{};
  PlayTransition(stage, kEffectSlideRight, 1, &fresh, &old);
  EXPECT_EQ(clock.sleeps.size(), 60u);  // 4 pixels a step at Medium
  // Random plays every effect but None and itself; a stop flag set before
  // the first step leaves the screen as it was.
  stop = 1;
  const std::vector<uint8_t> before = wide.memory;
  std::set<int> played;
  for (int i = 0; i < 500; ++i) fresh = frame.page, played.insert(PlayTransition(stage, kEffectRandom, 1, &fresh, &old));
  EXPECT_EQ(played.size(), 15u);
  EXPECT_EQ(*played.begin(), kEffectFade);
  EXPECT_EQ(*played.rbegin(), kEffectCubeRight);
  EXPECT_EQ(wide.memory, before);
  EXPECT_EQ(EffectInForce(17, 16), kEffectRandom);
  EXPECT_EQ(EffectInForce(-1, 4), kEffectNone);
  EXPECT_EQ(SpeedInForce(4), 1);
}

uint16_t Pack(uint32_t rgb) { return static_cast<uint16_t>((rgb >> 8 & 0xF800) | (rgb >> 5 & 0x07E0) | (rgb >> 3 & 0x1F)); }

TEST(SlideFrames, PicturesAreFittedCentredTurnedAndShownInTheDisplaysColours) {
  PageRecord frame{};
  TestPage small(100, 50, 24, [](int, int) { return 0x4080C0u; });
  ASSERT_EQ(BuildSlideFrame(&small.page, &frame, SlideScreen{240, 320, 16, false, false}, nullptr, nullptr), 0);
  for (int y = 0; y < 320; ++y)  // 240 x 120 from line 100, black around
    for (int x = 0; x < 240; ++x)
      ASSERT_EQ(PixelOf(frame, x, y), y >= 100 && y < 220 ? Pack(0x4080C0) : 0) << x << "," << y;
  quillon::FreePage(&frame);
  // A landscape picture on a portrait screen turns clockwise: its left half
  // comes to the top.  A 12-bit display gets 16-bit frames, also from 24 bits.
  TestPage wide(64, 32, 24, [](int x, int) { return x < 32 ? 0x40C040u : 0xC00040u; });
  ASSERT_EQ(BuildSlideFrame(&wide.page, &frame, SlideScreen{240, 320, 16, true, true}, nullptr, nullptr), 0);
  EXPECT_EQ(frame.bitsPerPixel, 16);
  EXPECT_EQ(PixelOf(frame, 120, 100), Pack(0x40C040));
  EXPECT_EQ(PixelOf(frame, 120, 250), Pack(0xC00040));
  EXPECT_EQ(PixelOf(frame, 20, 160) | PixelOf(frame, 230, 160), 0);
  quillon::FreePage(&wide.page), quillon::FreePage(&frame);
  // Palette pages: on an 8-bit display each colour becomes the nearest of
  // the cube; on the gray panel the nearest of sixteen grays.
  for (int depth : {8, 4}) {
    TestPage page(8, 4, depth, [](int x, int y) { return static_cast<uint32_t>(x + 2 * y) & 15; });
    std::vector<uint8_t> palette(768);
    for (int i = 0; i < 768; ++i) palette[i] = static_cast<uint8_t>(i * 89 % 256);
    page.page.palette = palette.data();
    ASSERT_EQ(BuildSlideFrame(&page.page, &frame, SlideScreen{8, 4, depth, false, false}, nullptr, nullptr), 0);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 8; ++x) {
        const uint8_t* c = &palette[3 * page.at(x, y)];
        auto cost = [&](uint32_t i) {  // to the colour, or to its gray level
          const uint8_t* e = &frame.palette[3 * i];
          if (depth == 4) return std::abs((c[0] + 2 * c[1] + c[2]) / 4 - e[0]);
          return (c[0] - e[0]) * (c[0] - e[0]) + (c[1] - e[1]) * (c[1] - e[1]) + (c[2] - e[2]) * (c[2] - e[2]);
        };
        uint32_t best = 0;
        for (uint32_t i = 1; i < (1u << depth); ++i) best = cost(i) < cost(best) ? i : best;
        ASSERT_EQ(PixelOf(frame, x, y), best) << depth << " bits at " << x << "," << y;
      }
    EXPECT_EQ(std::memcmp(frame.palette, (depth == 8 ? quillon::kColorCube332 : quillon::kGrayRamp4).data(), 768), 0);
    quillon::FreePage(&frame);
  }
  EXPECT_EQ(std::vector<int>({SlideDecodeFlags(639), SlideDecodeFlags(1600), SlideDecodeFlags(3000)}),
            std::vector<int>({1, 33, 65}));
}

class SlideShowOnDevice : public vt::ViewerTest {};

TEST_F(SlideShowOnDevice, TheCaptionInvertsExactlyTheLettersPixels) {
  StartDevice();
  ce::LOGFONT lf{};
  lf.lfHeight = -22, lf.lfWeight = ce::FW_BOLD;
  std::copy_n(u"Tahoma", 7, lf.lfFaceName);
  ce::HFONT font = ce::CreateFontIndirect(&lf);
  for (int depth : {16, 4}) {
    TestPage page(240, 320, 24, [](int x, int y) { return x < 120 ? 0x4080C0u : (y & 16 ? 0xC0C0C0u : 0u); });
    PageRecord plain{}, captioned{};
    const SlideScreen screen{240, 320, depth, false, false};
    ASSERT_EQ(BuildSlideFrame(&page.page, &plain, screen, nullptr, nullptr), 0);
    ASSERT_EQ(BuildSlideFrame(&page.page, &captioned, screen, font, u"slide.jpg"), 0);
    uint32_t stride = 0;
    std::vector<uint8_t> mask = DrawCaptionMask(font, u"slide.jpg", 240, 32, &stride);
    int letters = 0;
    for (int y = 0; y < 320; ++y)
      for (int x = 0; x < 240; ++x) {
        const bool set = y < 32 && (mask[y * stride + x / 8] & (0x80 >> (x % 8)));
        const uint32_t all = (1u << depth) - 1, a = PixelOf(plain, x, y), b = PixelOf(captioned, x, y);
        ASSERT_EQ(b, set ? a ^ all : a) << depth << " bits at " << x << "," << y;
        letters += set;
      }
    EXPECT_GT(letters, 200);
    quillon::FreePage(&plain), quillon::FreePage(&captioned);
  }
  ce::DeleteObject(font);
}

// A folder of faxes shows nothing; looping, the job keeps reading it, a
// pause between passes, until it is stopped.  A slide stays the delay
// counted from its transition's start.
TEST_F(SlideShowOnDevice, PassesAndDelaysRunOnTheJobsClock) {
  StartDevice();
  for (const char* fax : {"letter-g4.tif", "memo-g3-2page.tif"})
    vt::WriteFile(HostPath("My Documents/fax/") + fax, vt::ReadFile(std::string(ZELMO_SAMPLES) + "/" + fax));
  vt::WriteFile(HostPath("My Documents/one/1-bars.bmp"), vt::ReadFile(std::string(ZELMO_TEST_DATA) + "/slideshow/1-bars.bmp"));
  Panel panel({"", 96, 96, 16, 96, 0, 0});
  const std::vector<uint8_t> untouched = panel.memory;
  TestClock clock;
  std::atomic<int> stop{0};
  clock.onSleep = [&] { stop = clock.sleeps.size() >= 3; };
  SlideShow show;
  show.folder = u"\\My Documents\\fax";
  show.names = {u"letter-g4.tif", u"memo-g3-2page.tif", u"gone.tif"};
  show.effect = kEffectSplitIn, show.speed = 2, show.screen = SlideScreen{96, 96, 16, false, false};
  const Stage stage{panel.target, nullptr, clock.clock(), &stop, 0};
  EXPECT_EQ(ShowSlides(show, stage, nullptr), 0);
  EXPECT_EQ(clock.sleeps, std::vector<uint32_t>(3, kWaitSliceMs));
  EXPECT_EQ(panel.memory, untouched);
  // One slide: Split In at Fast takes 25 steps of 20 ms; of a 2000 ms delay
  // 1500 are left, slept in 50 ms slices; a shorter delay adds none.
  show.folder = u"\\My Documents\\one\\", show.names = {u"1-bars.bmp"}, show.loop = false;
  for (int32_t delay : {2000, 300}) {
    clock.sleeps.clear(), clock.onSleep = nullptr, stop = 0, show.delay = delay;
    EXPECT_EQ(ShowSlides(show, stage, nullptr), 1);
    std::vector<uint32_t> expected(25, 20);
    if (delay == 2000) expected.insert(expected.end(), 30, kWaitSliceMs);
    EXPECT_EQ(clock.sleeps, expected);
  }
  const std::vector<std::string> log = ce::EventLog();
  EXPECT_NE(std::find(log.begin(), log.end(), "milestone slide 1 1-bars.bmp shown"), log.end());
}

}  // namespace
