// Waits that keep a thread's windows answering: MsgWaitForMultipleObjects
// returns for a message as well as for a handle, and WaitServingSent runs
// what other threads send meanwhile.  A plain Sleep or WaitForSingleObject
// serves nothing, as on the platform, so a worker sending to a window of a
// thread that waits that way waits for ever.
#include <algorithm>
#include <thread>

#include "platform/kernel/internal.h"
#include "platform/kernel/kernel_objects.h"

namespace ce {

using namespace internal;

namespace {

// The kinds of message of `mask` this thread has waiting (lock held).
DWORD QueueStatusLocked(const ThreadQueue* q, DWORD mask, bool anyPosted, Clock::time_point* next) {
  DWORD found = 0;
  if (!q->sent.empty()) found |= QS_SENDMESSAGE;
  if (anyPosted) {
    for (const MSG& m : q->posted) found |= WakeBit(m.message);
  } else {
    found |= q->newBits;
  }
  if (mask & QS_PAINT) {
    for (auto& [id, w] : Sys().windows) {
      if (w->thread == q->id && w->updatePending && !w->destroying && IsVisibleLocked(w.get()))
        found |= QS_PAINT;
    }
  }
  if (mask & QS_TIMER) {
    for (const Timer& t : Sys().timers) {
      if (t.thread != q->id) continue;
      if (t.due <= Clock::now()) found |= QS_TIMER;
      *next = std::min(*next, t.due);
    }
  }
  return found & mask;
}

}  // namespace

DWORD MsgWaitForMultipleObjectsEx(DWORD count, const HANDLE* handles, DWORD milliseconds,
                                  DWORD wakeMask, DWORD flags) {
  if ((count && !handles) || count > 64) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  const bool forever = milliseconds == INFINITE;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : milliseconds);
  std::unique_lock<std::mutex> lk(Sys().lock);
  ThreadQueue* q = CurrentQueueLocked(lk);
  for (;;) {
    // Handles are checked under the system lock: a thread that ends
    // signals its record and then wakes every queue under that lock.
    for (DWORD i = 0; i < count; ++i) {
      int state = WaitableState(handles[i]);
      if (state < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
      }
      if (state > 0) return WAIT_OBJECT_0 + i;
    }
    Clock::time_point next = forever ? Clock::time_point::max() : deadline;
    if (QueueStatusLocked(q, wakeMask, (flags & MWMO_INPUTAVAILABLE) != 0, &next))
      return WAIT_OBJECT_0 + count;
    if (!forever && Clock::now() >= deadline) return WAIT_TIMEOUT;
    q->waiting = true;
    if (next == Clock::time_point::max()) q->wake.wait(lk);
    else q->wake.wait_until(lk, next);
    q->waiting = false;
    if (!q->alive) return WAIT_FAILED;  // the emulator stopped
  }
}

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                DWORD milliseconds, DWORD wakeMask) {
  if (waitAll) {  // the handheld's kernel cannot wait for all
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  return MsgWaitForMultipleObjectsEx(count, handles, milliseconds, wakeMask, 0);
}

bool WaitServingSent(const std::function<bool()>& done, DWORD timeoutMs) {
  // Flags set by another thread wake nobody, so `done` is looked at again
  // at least this often.
  constexpr DWORD kPollMs = 10;
  const Clock::time_point start = Clock::now();
  for (;;) {
    // A range no message has: only the sent messages run, posted ones stay.
    MSG msg;
    PeekMessage(&msg, nullptr, 0xFFFFFFFF, 0xFFFFFFFF, PM_NOREMOVE);
    if (done()) return true;
    DWORD slice = kPollMs;
    if (timeoutMs != INFINITE) {
      auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
      if (spent >= timeoutMs) return false;
      slice = std::min<DWORD>(slice, timeoutMs - static_cast<DWORD>(spent));
    }
    if (MsgWaitForMultipleObjectsEx(0, nullptr, slice, QS_SENDMESSAGE, 0) == WAIT_FAILED)
      std::this_thread::sleep_for(std::chrono::milliseconds(slice));
  }
}

}  // namespace ce
