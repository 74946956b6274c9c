// The frame loop: the schedule of the frames against the job's clock.
#include <algorithm>

#include "platform/emulator.h"
#include "viewer/video/video.h"

namespace zelmo {

namespace {

// Less than this is not worth a sleep.
constexpr int32_t kLeastSleepMs = 2;

bool Playing(const FrameLoop& loop) { return loop.playing && loop.playing->load() != 0; }

// Sleeps `ms` in slices, ending early when the flag is cleared, so that a
// tap stops even a clip with a long frame interval at once.
void SleepWhilePlaying(const FrameLoop& loop, uint32_t ms) {
  while (ms > 0 && Playing(loop)) {
    const uint32_t slice = std::min(ms, kWaitSliceMs);
    loop.clock.sleep(loop.clock.context, slice);
    ms -= slice;
  }
}

}  // namespace

FrameLoopResult RunFrameLoop(const FrameLoop& loop) {
  FrameLoopResult result;
  result.last = loop.first - 1;
  uint32_t due = loop.clock.tickCount(loop.clock.context);
  int32_t late = 0;  // below 0: the frame before finished after its time
  int page = loop.first;
  for (; page < loop.count && Playing(loop); ++page) {
    if (late >= 0) {
      if (loop.show(loop.context, page) == FrameShown::kDrawn) {
        ++result.drawn;
        ce::LogMilestone("video frame %d drawn", page);
      } else {
        ce::LogMilestone("video frame %d not drawn", page);
      }
      late = loop.interval == 0
                 ? 0
                 : static_cast<int32_t>(due + loop.interval - loop.clock.tickCount(loop.clock.context));
      if (late > kLeastSleepMs) SleepWhilePlaying(loop, static_cast<uint32_t>(late));
    } else {
      // Dropped outright: a late frame is never decoded.
      ++result.dropped;
      ce::LogMilestone("video frame %d dropped", page);
      late = 0;
    }
    result.last = page;
    due += loop.interval;
  }
  result.stopped = page < loop.count;
  return result;
}

}  // namespace zelmo
