// The platform's clock and the sliced wait.
#include "viewer/slideshow/job_clock.h"

#include <algorithm>

#include "platform/ce.h"

namespace zelmo {

namespace {

uint32_t PlatformTicks(void*) { return ce::GetTickCount(); }
void PlatformSleep(void*, uint32_t milliseconds) { ce::Sleep(milliseconds); }

}  // namespace

JobClock PlatformClock() { return JobClock{nullptr, PlatformTicks, PlatformSleep}; }

bool WaitUnlessStopped(const JobClock& clock, uint32_t milliseconds, const std::atomic<int>* stop) {
  do {
    if (stop && stop->load() != 0) return false;
    uint32_t slice = std::min(milliseconds, kWaitSliceMs);
    clock.sleep(clock.context, slice);
    milliseconds -= slice;
  } while (milliseconds > 0);
  return !(stop && stop->load() != 0);
}

}  // namespace zelmo
