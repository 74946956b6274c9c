// Video playback: AVI and QuickTime clips of Motion-JPEG frames played by
// a job of the WorkerThread, paced against the clock, frames dropped when
// the job falls behind, drawn straight into screen memory, with the clip's
// sound as one in-memory wave file; and the Video Information dialog.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "imaging/core/page.h"
#include "platform/ce.h"
#include "viewer/slideshow/job_clock.h"
#include "viewer/slideshow/screen_blit.h"

namespace zelmo {

// What the job works from, copied on the user-interface thread before the
// job is posted.  The job reads no other state of the main window.
struct VideoJob {
  ce::HWND mainWindow = nullptr;
  ce::HWND scrollBar = nullptr;  // the main window's strip scroll bar
  bool fullScreen = false;  // the main window's, when playing began
  int rotation = 0;  // its view rotation then
  std::u16string path;  // the clip
  int firstPage = 0;
  int displayDepth = 16;
  int videoSize = 1;  // 0: 50 %, 1: 100 %
  bool turned = false;  // VideoRotate 1: a quarter to the left
  int bkColor = 0;  // 0 black, 1 gray, 2 white
  bool playAudio = true;
  bool playContinuously = false;
  bool directScreen = true;
};

// "Play / Pause" on a clip: copies the job's record, sets the
// video-playing flag and posts the job; beeps while the job of an earlier
// start is still ending.
void StartVideo(ce::HWND mainWindow);
// The job (thread message 40069).
void PlayVideoJob();

// The frame loop.  `show` reads, decodes and draws one frame; the loop
// keeps the schedule: frame k is due `interval` ms after frame k - 1, a
// frame finished late makes the next one dropped without being read, and
// the time left before the next frame is slept in slices while `playing`
// stays set.  An interval of 0 plays as fast as frames decode.
enum class FrameShown { kDrawn, kNotDrawn };
struct FrameLoop {
  JobClock clock{};
  const std::atomic<int>* playing = nullptr;
  uint32_t interval = 0;
  int first = 0;
  int count = 0;
  void* context = nullptr;
  FrameShown (*show)(void* context, int page) = nullptr;
};
struct FrameLoopResult {
  int last = -1;  // the last frame drawn or dropped; first - 1 for none
  bool stopped = false;  // the flag was cleared before the end
  int drawn = 0;
  int dropped = 0;
};
FrameLoopResult RunFrameLoop(const FrameLoop& loop);

// The clip's sound from `firstFrame` on as a wave image of 8-bit mono
// PCM: a 44-byte header, then the sound bytes, read chunk by chunk from
// the file's sound table into no more room than the sound's length and
// the file's size give.  Empty (data null) when there is no sound, when
// playback starts at or past its end, or when memory is short.
struct WaveImage {
  uint8_t* data = nullptr;
  uint32_t size = 0;  // header and sound
};
WaveImage BuildWaveImage(const quillon::ImageFile& clip, int firstFrame, uint32_t interval);
void ReleaseWaveImage(WaveImage* wave);
constexpr uint32_t kWaveHeaderBytes = 44;

// A decoded frame at the screen's depth, centred on the screen (turned:
// on the screen turned a quarter to the left) and cropped to it.
void DrawVideoFrame(const ScreenTarget& screen, const quillon::PageRecord& frame, bool turned);

// "Image Info..." on a clip: the Video Information dialog for the clip at
// the current-file path.
void ShowVideoInformation(ce::HWND owner);

}  // namespace zelmo
