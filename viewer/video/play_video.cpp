// "Play / Pause" on a clip and PlayVideoJob, the job that plays it.
#include <algorithm>

#include "imaging/core/core.h"
#include "imaging/pixels/palettes.h"
#include "imaging/pixels/pixels.h"
#include "platform/emulator.h"
#include "viewer/app/state.h"
#include "viewer/app/worker.h"
#include "viewer/settings/settings.h"
#include "viewer/slideshow/transition.h"
#include "viewer/video/video.h"

namespace zelmo {

using namespace ce;
using quillon::PageRecord;

namespace {

constexpr UINT kToggleFullscreen = 40104;
constexpr uint32_t kFullScreenSettleMs = 250;
constexpr uint32_t kRestoreSettleMs = 100;

// The record the next job copies, written only while no job uses it: set
// by StartVideo, cleared by the job once it has ended.
VideoJob gVideoJob;
std::atomic<bool> gVideoJobBusy{false};

// One pass's decoding and drawing.
struct Player {
  const VideoJob* job = nullptr;
  quillon::ImageFile* clip = nullptr;
  ScreenTarget screen;
  int32_t flags = 0;
  uint8_t* buffer = nullptr;  // the reused frame buffer (flag 8), or null
  uint32_t bufferSize = 0;
  bool paletteRealised = false;
};

// The frame at the display's depth; false when it cannot be had.  Gray
// frames reach a palette display through 16 bits, so that every frame
// shows in the one colour cube.
bool ToDisplayDepth(PageRecord* frame, int depth) {
  if (depth == 8 && frame->bitsPerPixel == 8 &&
      quillon::ConvertBitDepth(frame, 16, quillon::kDitherNearest) != quillon::kOk)
    return false;
  if (frame->bitsPerPixel != depth &&
      quillon::ConvertBitDepth(frame, depth, quillon::kDitherNearest) != quillon::kOk)
    return false;
  return frame->bitsPerPixel == depth;
}

FrameShown ShowFrame(void* context, int page) {
  auto* p = static_cast<Player*>(context);
  PageRecord raw{};
  if (quillon::ExtractPage(p->clip, &raw, page) != quillon::kOk) return FrameShown::kNotDrawn;
  PageRecord frame{};
  frame.compression = quillon::kUncompressed;
  frame.data = p->buffer;
  frame.dataSize = p->bufferSize;
  const int32_t r = quillon::ConvertPage(&raw, &frame, p->flags);
  quillon::FreePage(&raw);
  // A failed decode leaves the record and the reused buffer as they were.
  if (r != quillon::kOk) return FrameShown::kNotDrawn;
  if (p->buffer && frame.data == p->buffer) frame.dataOwnership = quillon::kOwnedByView;
  FrameShown shown = FrameShown::kNotDrawn;
  if (p->screen.memory && ToDisplayDepth(&frame, p->screen.depth)) {
    if (p->screen.depth == 8 && !p->paletteRealised) {
      RealisePalette(p->job->mainWindow, quillon::kColorCube332.data());
      p->paletteRealised = true;
    }
    DrawVideoFrame(p->screen, frame, p->job->turned);
    shown = FrameShown::kDrawn;
  }
  quillon::FreePage(&frame);
  return shown;
}

// The main window lies at the top of the screen only in full-screen view.
bool MainWindowFullScreen(HWND window) {
  RECT r{};
  return GetWindowRect(window, &r) && r.top == 0;
}

void FillBackground(const VideoJob& job) {
  static constexpr int kBrushes[] = {BLACK_BRUSH, GRAY_BRUSH, WHITE_BRUSH};
  const int brush = kBrushes[std::clamp(job.bkColor, 0, 2)];
  HDC dc = GetDC(job.mainWindow);
  if (!dc) return;
  RECT client{};
  GetClientRect(job.mainWindow, &client);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(brush)));
  ReleaseDC(job.mainWindow, dc);
}

// The main window shows `page` again, in the view rotation it had.
void Reload(const VideoJob& job, int page) {
  PostMessage(job.mainWindow, WM_RELOADPAGE, static_cast<WPARAM>(page), 1 + job.rotation / 90);
}

// One pass from `first` to the end of the clip, or until the flag is
// cleared, with the sound from the first frame on.
FrameLoopResult PlayPass(Player* player, int first, uint32_t interval) {
  const VideoJob& job = *player->job;
  quillon::ImageFile& clip = *player->clip;
  // Frames are decoded into one buffer sized for the clip's own frames at
  // the size they are decoded at; a larger frame later is refused by the
  // decoder and not drawn.
  player->flags = quillon::kFlagJpeg16Bpp | (job.videoSize == 0 ? quillon::kFlagJpegHalf : 0);
  PageRecord geometry{};
  if (job.displayDepth > 8 && quillon::ReadPageGeometry(&clip, &geometry, first) == quillon::kOk) {
    const int half = job.videoSize == 0 ? 2 : 1;
    const int32_t w = (geometry.width + half - 1) / half, h = (geometry.height + half - 1) / half;
    const uint64_t size = quillon::SizeProduct(quillon::BytesPerLine(w, 16), static_cast<uint32_t>(h));
    player->buffer = size <= UINT32_MAX ? static_cast<uint8_t*>(quillon::Allocate(size)) : nullptr;
    if (player->buffer) {
      player->bufferSize = static_cast<uint32_t>(size);
      player->flags |= quillon::kFlagIntoDestination;
    }
  }
  WaveImage wave;
  if (job.playAudio && clip.audioChunkCount > 0) {
    HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    wave = BuildWaveImage(clip, first, interval);
    SetCursor(previous);
  }
  // The wave image stays until the sound is stopped.
  const bool sound = wave.data && sndPlaySound(wave.data, SND_MEMORY | SND_ASYNC);
  FrameLoop loop;
  loop.clock = PlatformClock();
  loop.playing = &gShared.videoPlaying;
  loop.interval = interval;
  loop.first = first;
  loop.count = clip.pageCount;
  loop.context = player;
  loop.show = ShowFrame;
  const FrameLoopResult result = RunFrameLoop(loop);
  if (sound) sndPlaySound(nullptr, 0);
  ReleaseWaveImage(&wave);
  quillon::Release(player->buffer);
  player->buffer = nullptr;
  player->bufferSize = 0;
  return result;
}

// Plays the clip to its end (again while playing continuously) or until
// the flag is cleared; the result of the last pass.
FrameLoopResult PlayClip(const VideoJob& job, quillon::ImageFile* clip) {
  const JobClock clock = PlatformClock();
  const bool toFullScreen = job.directScreen && !job.fullScreen;
  if (toFullScreen) {
    PostMessage(job.mainWindow, WM_COMMAND, kToggleFullscreen, 0);
    if (job.scrollBar) ShowWindow(job.scrollBar, SW_HIDE);
    WaitUnlessStopped(clock, kFullScreenSettleMs, nullptr);
  }
  FillBackground(job);
  Player player;
  player.job = &job;
  player.clip = clip;
  player.screen = DeviceScreenTarget();
  const uint32_t interval = static_cast<uint32_t>(std::max(clip->frameDuration, 0));
  FrameLoopResult result;
  for (int first = std::clamp(job.firstPage, 0, clip->pageCount - 1);; first = 0) {
    result = PlayPass(&player, first, interval);
    if (result.stopped || !job.playContinuously || !gShared.videoPlaying) break;
  }
  // Stopped: the frame after the last one played; at the end: the first.
  const int next = result.last + 1;
  Reload(job, result.stopped && next < clip->pageCount ? next : 0);
  // From here on the flag is the user-interface thread's again.
  gShared.videoPlaying = 0;
  if (job.directScreen && MainWindowFullScreen(job.mainWindow) != job.fullScreen) {
    PostMessage(job.mainWindow, WM_COMMAND, kToggleFullscreen, 0);
    if (job.scrollBar && !job.fullScreen) ShowWindow(job.scrollBar, SW_SHOW);
    WaitUnlessStopped(clock, kRestoreSettleMs, nullptr);
  }
  InvalidateRect(job.mainWindow, nullptr, TRUE);
  return result;
}

}  // namespace

void StartVideo(HWND mainWindow) {
  // The job of an earlier start may still be releasing what it held.
  if (gVideoJobBusy.load(std::memory_order_acquire)) {
    MessageBeep(0);
    return;
  }
  VideoJob job;
  job.mainWindow = mainWindow;
  job.scrollBar = gView.stripScrollBar;
  job.fullScreen = gView.fullScreen;
  job.rotation = gView.rotation;
  job.path = gView.currentPath;
  job.firstPage = gView.pageNumber;
  job.displayDepth = gApp.displayDepth;
  job.videoSize = gSettings.videoSize;
  job.turned = gSettings.videoRotate == 1;
  job.bkColor = gSettings.bkColor;
  job.playAudio = gSettings.options.playAudio;
  job.playContinuously = gSettings.options.playContinuously;
  job.directScreen = gSettings.options.directScreenVideo;
  gVideoJob = std::move(job);
  gVideoJobBusy.store(true, std::memory_order_release);
  gShared.videoPlaying = 1;
  LogMilestone("video started");
  StartJob(kJobVideo);
}

void PlayVideoJob() {
  if (!gVideoJobBusy.load(std::memory_order_acquire)) return;
  const VideoJob job = gVideoJob;
  // The job reads its own copy of the clip: the main window may close its
  // file meanwhile.
  quillon::ImageFile clip{};
  FrameLoopResult result;
  if (quillon::OpenImageFile(job.path.c_str(), &clip) == quillon::kOk && clip.pageCount > 0 &&
      (clip.fileType == quillon::kFileAvi || clip.fileType == quillon::kFileQuickTime))
    result = PlayClip(job, &clip);
  else
    gShared.videoPlaying = 0;
  quillon::CloseImageFile(&clip);
  // Ended, a new start may follow at once.
  gVideoJobBusy.store(false, std::memory_order_release);
  if (result.stopped) LogMilestone("video stopped at %d", result.last);
  else LogMilestone("video ended");
}

}  // namespace zelmo
