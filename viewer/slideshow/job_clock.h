// The time a job of the WorkerThread runs by: a tick count and a sleep, the
// platform's unless a caller hands in its own (a test advances a clock of
// its own and so checks delay arithmetic without waiting).  Waits are cut
// into slices of at most 50 ms with the stop flag read between them, so a
// tap ends even a long wait at once.
#pragma once

#include <atomic>
#include <cstdint>

namespace zelmo {

struct JobClock {
  void* context;
  uint32_t (*tickCount)(void* context);  // milliseconds, wrapping at 2^32
  void (*sleep)(void* context, uint32_t milliseconds);
};

// GetTickCount and Sleep.
JobClock PlatformClock();

constexpr uint32_t kWaitSliceMs = 50;

// Sleeps `milliseconds` in slices of at most kWaitSliceMs; a wait of 0
// still sleeps once for 0 ms, which gives the other threads their turn.
// With `stop`, the flag is read before every slice and the wait ends when
// it is set.  False when it ended so.
bool WaitUnlessStopped(const JobClock& clock, uint32_t milliseconds, const std::atomic<int>* stop);

}  // namespace zelmo
