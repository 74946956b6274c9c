// The sixteen transition effects between two slides, written straight into
// screen memory step by step, and the fades they use.
#pragma once

#include <atomic>
#include <cstdint>

#include "imaging/core/page.h"
#include "platform/ce.h"
#include "viewer/slideshow/job_clock.h"
#include "viewer/slideshow/screen_blit.h"

namespace zelmo {

// TransitionEffect values.
enum TransitionEffectCode : int {
  kEffectNone = 0,
  kEffectRandom = 1,
  kEffectFade = 2,
  kEffectSlideRight = 3,
  kEffectSlideLeft = 4,
  kEffectSlideUp = 5,
  kEffectSlideDown = 6,
  kEffectWipeRight = 7,
  kEffectWipeLeft = 8,
  kEffectWipeUp = 9,
  kEffectWipeDown = 10,
  kEffectSplitOut = 11,
  kEffectSplitIn = 12,
  kEffectCubeUp = 13,
  kEffectCubeDown = 14,
  kEffectCubeLeft = 15,
  kEffectCubeRight = 16,
};
constexpr int kLastEffect = 16;
constexpr int kLastSpeed = 2;  // TransitionSpeed 0 Slow, 1 Medium, 2 Fast

// Where and how a transition plays.
struct Stage {
  ScreenTarget screen;
  ce::HWND paletteWindow = nullptr;  // 8-bit fades realise their palettes on it
  JobClock clock{};
  const std::atomic<int>* stop = nullptr;  // AbortFlag
  // The least time of a step that has no pause of its own.  The handheld
  // took a few milliseconds to write a step; a host writes it at once,
  // which would make slides, wipes and cubes too quick to see.
  uint32_t stepMs = 0;
};

// The stored TransitionEffect and TransitionSpeed as played: values out of
// range become the defaults (Random on displays of 8 bits and more, else
// None; Medium).
int EffectInForce(int32_t stored, int displayDepth);
int SpeedInForce(int32_t stored);

// A 768-byte palette with every byte reduced by 17 * level (not below 0).
void DarkenPalette(const uint8_t* palette, int level, uint8_t* darkened);

// Loads a 768-byte palette (Blue, Green, Red) into the hardware palette
// through `window`, entry for entry, so that indexes written straight into
// screen memory show its colours.
void RealisePalette(ce::HWND window, const uint8_t* palette);

// Shows the whole frame darkened by 17 * level: on an 8-bit display by
// realising the frame's palette darkened on the stage's window (the pixels
// stay, the colours they show change), on a 16-bit one by writing it.
void FadeLevel(const Stage& stage, const quillon::PageRecord& frame, int level);

// Plays `effect` (Random: one of 2..16) at `speed` from the old frame (no
// data before the first slide) to the new one, stopping at once when the
// stage's stop flag is set; then releases the old frame's buffers and
// makes the new frame the old one (the new record is left empty).  On
// displays other than 8 and 16 bits every effect plays as None.  Returns
// the effect played.
int PlayTransition(const Stage& stage, int effect, int speed, quillon::PageRecord* newFrame,
                   quillon::PageRecord* oldFrame);

}  // namespace zelmo
