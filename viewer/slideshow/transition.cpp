// The transition effects: per step, the rectangles of the old and the new
// frame each effect writes, and the pause or least time of a step.
#include "viewer/slideshow/transition.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "imaging/pixels/palettes.h"

namespace zelmo {

using namespace ce;
using quillon::PageRecord;

namespace {

int RandomEffect() {
  static std::once_flag seeded;
  std::call_once(seeded, [] { std::srand(static_cast<unsigned>(std::time(nullptr))); });
  return std::rand() % 15 + 2;
}

// One transition being played: the frames, the screen's size, the stage.
struct Player {
  const Stage& stage;
  const PageRecord& fresh;
  const PageRecord& old;
  bool hasOld;
  int W;
  int H;

  bool Stopped() const { return stage.stop && stage.stop->load() != 0; }
  void New(int dx, int dy, int sx, int sy, int w, int h) const {
    ScreenBlit(stage.screen, fresh, dx, dy, sx, sy, w, h);
  }
  void Old(int dx, int dy, int sx, int sy, int w, int h) const {
    if (hasOld) ScreenBlit(stage.screen, old, dx, dy, sx, sy, w, h);
  }
  void NewScaled(int dx, int dy, int w, int h, int xStep, int yStep) const {
    ScreenBlitScaled(stage.screen, fresh, dx, dy, 0, 0, w, h, xStep, yStep);
  }
  void OldScaled(int dx, int dy, int w, int h, int xStep, int yStep) const {
    if (hasOld) ScreenBlitScaled(stage.screen, old, dx, dy, 0, 0, w, h, xStep, yStep);
  }
  void NewWhole() const { New(0, 0, 0, 0, W, H); }
  // The end of a step: its pause, or the least time of a step.  False when
  // the show is to stop.
  bool EndStep(uint32_t pauseMs) const {
    return WaitUnlessStopped(stage.clock, pauseMs ? pauseMs : stage.stepMs, stage.stop);
  }
};

// Slides move both frames; wipes (carryOld false) move the new one over
// the old.
void Right(const Player& p, int s, bool carryOld) {
  for (int k = s; k <= p.W && !p.Stopped(); k += s) {
    p.New(0, 0, p.W - k, 0, k, p.H);
    if (carryOld) p.Old(k, 0, 0, 0, p.W - k, p.H);
    if (!p.EndStep(0)) return;
  }
}

void Left(const Player& p, int s, bool carryOld) {
  for (int r = p.W - s; r >= 0 && !p.Stopped(); r -= s) {
    p.New(r, 0, 0, 0, p.W - r, p.H);
    if (carryOld) p.Old(0, 0, p.W - r, 0, r, p.H);
    if (!p.EndStep(0)) return;
  }
}

void Up(const Player& p, int s, bool carryOld) {
  for (int r = p.H - s; r >= 0 && !p.Stopped(); r -= s) {
    p.New(0, r, 0, 0, p.W, p.H - r);
    if (carryOld) p.Old(0, 0, 0, p.H - r, p.W, r);
    if (!p.EndStep(0)) return;
  }
}

void Down(const Player& p, int s, bool carryOld) {
  for (int k = s; k <= p.H && !p.Stopped(); k += s) {
    p.New(0, 0, 0, p.H - k, p.W, k);
    if (carryOld) p.Old(0, k, 0, 0, p.W, p.H - k);
    if (!p.EndStep(0)) return;
  }
}

// The new frame shows through widening strips across the middle while the
// old frame's quarters move out towards the corners.
void SplitOut(const Player& p, uint32_t pause) {
  const int cx = p.W / 2, cy = p.H / 2, m = std::min(p.W, p.H) / 2;
  for (int k = 4; k <= m && !p.Stopped(); k += 4) {
    p.New(cx - k, 0, cx - k, 0, 4, p.H);
    p.New(cx + k - 4, 0, cx + k - 4, 0, 4, p.H);
    p.New(0, cy - k, 0, cy - k, p.W, 4);
    p.New(0, cy + k - 4, 0, cy + k - 4, p.W, 4);
    const int qw = cx - k, qh = cy - k;
    p.Old(0, 0, k, k, qw, qh);
    p.Old(cx + k, 0, cx, k, qw, qh);
    p.Old(0, cy + k, k, cy, qw, qh);
    p.Old(cx + k, cy + k, cx, cy, qw, qh);
    if (!p.EndStep(pause)) return;
  }
}

// The new frame's quarters come in from the corners; the first steps of a
// screen higher than wide have nothing to draw yet.
void SplitIn(const Player& p, uint32_t pause) {
  const int cx = p.W / 2, cy = p.H / 2;
  for (int r = std::min(p.W, p.H) / 2; r >= 0 && !p.Stopped(); r -= 2) {
    const int qw = cx - r, qh = cy - r;
    p.New(0, 0, r, r, qw, qh);
    p.New(cx + r, 0, cx, r, qw, qh);
    p.New(0, cy + r, r, cy, qw, qh);
    p.New(cx + r, cy + r, cx, cy, qw, qh);
    if (!p.EndStep(pause)) return;
  }
}

// Both frames squeezed into what each has of the screen, the new one
// growing from the edge the effect names.
void Cube(const Player& p, int s, int effect) {
  constexpr int one = quillon::kUnitStep;
  const bool vertical = effect == kEffectCubeUp || effect == kEffectCubeDown;
  const int extent = vertical ? p.H : p.W;
  for (int k = s; k < extent && !p.Stopped(); k += s) {
    const int oldStep = extent * one / (extent - k), newStep = extent * one / k;
    switch (effect) {
      case kEffectCubeUp:
        p.OldScaled(0, 0, p.W, p.H - k, one, oldStep);
        p.NewScaled(0, p.H - k, p.W, k, one, newStep);
        break;
      case kEffectCubeDown:
        p.OldScaled(0, k, p.W, p.H - k, one, oldStep);
        p.NewScaled(0, 0, p.W, k, one, newStep);
        break;
      case kEffectCubeLeft:
        p.OldScaled(0, 0, p.W - k, p.H, oldStep, one);
        p.NewScaled(p.W - k, 0, k, p.H, newStep, one);
        break;
      default:
        p.OldScaled(k, 0, p.W - k, p.H, oldStep, one);
        p.NewScaled(0, 0, k, p.H, newStep, one);
        break;
    }
    if (!p.EndStep(0)) return;
  }
}

// Fade out/in.  An 8-bit display keeps the pixels and darkens its palette,
// so the frames are written whole while their palette is dark.
void Fade(const Player& p, uint32_t pause, int depth) {
  if (p.hasOld) {
    if (depth == 8) p.Old(0, 0, 0, 0, p.W, p.H);
    for (int level = 1; level <= 15; ++level) {
      if (p.Stopped()) return;
      FadeLevel(p.stage, p.old, level);
      if (!p.EndStep(pause)) return;
    }
  } else if (depth == 8) {
    FadeLevel(p.stage, p.fresh, 15);
  }
  if (depth == 8 && !p.Stopped()) p.NewWhole();
  for (int level = 15; level >= 0; --level) {
    if (p.Stopped()) return;
    FadeLevel(p.stage, p.fresh, level);
    if (!p.EndStep(pause)) return;
  }
}

}  // namespace

int EffectInForce(int32_t stored, int displayDepth) {
  if (stored >= kEffectNone && stored <= kLastEffect) return stored;
  return displayDepth >= 8 ? kEffectRandom : kEffectNone;
}

int SpeedInForce(int32_t stored) { return stored >= 0 && stored <= kLastSpeed ? stored : 1; }

void DarkenPalette(const uint8_t* palette, int level, uint8_t* darkened) {
  const int a = 17 * level;
  for (int i = 0; i < 768; ++i) darkened[i] = static_cast<uint8_t>(std::max(palette[i] - a, 0));
}

void RealisePalette(HWND window, const uint8_t* palette) {
  struct {
    WORD version;
    WORD count;
    PALETTEENTRY entries[256];
  } logical{0x300, 256, {}};
  for (int i = 0; i < 256; ++i)
    logical.entries[i] = PALETTEENTRY{palette[3 * i + 2], palette[3 * i + 1], palette[3 * i], 0};
  HPALETTE created = CreatePalette(reinterpret_cast<const LOGPALETTE*>(&logical));
  if (!created) return;
  if (HDC dc = GetDC(window)) {
    HPALETTE previous = SelectPalette(dc, created, FALSE);
    RealizePalette(dc);
    if (previous) SelectPalette(dc, previous, FALSE);
    ReleaseDC(window, dc);
  }
  DeleteObject(created);
}

void FadeLevel(const Stage& stage, const PageRecord& frame, int level) {
  level = std::clamp(level, 0, 15);
  if (stage.screen.depth == 16) {
    ScreenBlitDarkened(stage.screen, frame, level);
  } else if (stage.screen.depth == 8 && stage.paletteWindow) {
    uint8_t darkened[768];
    DarkenPalette(frame.palette ? frame.palette : quillon::kColorCube332.data(), level, darkened);
    RealisePalette(stage.paletteWindow, darkened);
  }
}

int PlayTransition(const Stage& stage, int effect, int speed, PageRecord* newFrame, PageRecord* oldFrame) {
  const int depth = stage.screen.depth;
  if (effect == kEffectRandom) effect = RandomEffect();
  effect = EffectInForce(effect, depth);
  speed = SpeedInForce(speed);
  if (depth != 8 && depth != 16) effect = kEffectNone;  // no fades or partial writes there
  const Player p{stage, *newFrame, *oldFrame, oldFrame->data != nullptr, stage.screen.width, stage.screen.height};
  const int s = 2 << speed;  // 2, 4 or 8 pixels a step
  const uint32_t slower = static_cast<uint32_t>(3 - speed);
  switch (effect) {
    case kEffectFade: Fade(p, slower * 25, depth); break;
    case kEffectSlideRight: Right(p, s, true); break;
    case kEffectSlideLeft: Left(p, s, true); break;
    case kEffectSlideUp: Up(p, s, true); break;
    case kEffectSlideDown: Down(p, s, true); break;
    case kEffectWipeRight: Right(p, s, false); break;
    case kEffectWipeLeft: Left(p, s, false); break;
    case kEffectWipeUp: Up(p, s, false); break;
    case kEffectWipeDown: Down(p, s, false); break;
    case kEffectSplitOut: SplitOut(p, slower * 30); break;
    case kEffectSplitIn: SplitIn(p, slower * 20); break;
    case kEffectCubeUp:
    case kEffectCubeDown:
    case kEffectCubeLeft:
    case kEffectCubeRight: Cube(p, s, effect); break;
    default: break;
  }
  // Every effect ends on the whole new frame, also where the screen's size
  // is no whole number of steps.
  if (effect != kEffectFade && !p.Stopped()) p.NewWhole();
  quillon::FreePage(oldFrame);
  *oldFrame = *newFrame;
  *newFrame = PageRecord{};
  return effect;
}

}  // namespace zelmo
