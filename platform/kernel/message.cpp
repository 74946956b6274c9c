// Message queues: posting, sending (across threads too), retrieval in the
// platform's order (sent, posted, quit, paint, timer), dispatch and timers.
#include <algorithm>

#include "platform/kernel/internal.h"

namespace ce {

using namespace internal;

namespace internal {

namespace {

bool InRange(UINT message, UINT lo, UINT hi) {
  if (lo == 0 && hi == 0) return true;
  return message >= lo && message <= hi;
}

bool WindowMatches(HWND hwnd, HWND filter) {
  if (!filter) return true;
  if (hwnd == filter) return true;
  Window* w = FindWindowLocked(hwnd);
  while (w && w->parent) {
    if (w->parent == filter) return true;
    w = FindWindowLocked(w->parent);
  }
  return false;
}

DWORD NowTick() {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - Sys().start);
  return static_cast<DWORD>(ms.count());
}

thread_local ThreadQueue* tQueue = nullptr;
thread_local std::shared_ptr<ThreadQueue> tQueueOwner;

// Marks the thread's queue dead when a thread that was never created through
// CreateThread ends, and completes messages still waiting for it.
struct QueueReaper {
  ~QueueReaper() {
    if (!tQueueOwner) return;
    std::lock_guard<std::mutex> lk(Sys().lock);
    ThreadQueue* q = tQueueOwner.get();
    q->alive = false;
    for (SentMessage* s : q->sent) {
      s->done = true;
      if (s->sender) s->sender->wake.notify_all();
    }
    q->sent.clear();
    if (q->generation == Sys().generation) Sys().threads.erase(q->id);
  }
};
thread_local QueueReaper tReaper;

}  // namespace

ThreadQueue* CurrentQueueLocked(std::unique_lock<std::mutex>&) {
  (void)&tReaper;
  if (tQueue && tQueue->generation == Sys().generation && tQueue->alive) return tQueue;
  auto q = std::make_shared<ThreadQueue>();
  q->id = Sys().nextThreadId++;
  q->generation = Sys().generation;
  Sys().threads[q->id] = q;
  tQueueOwner = q;
  tQueue = q.get();
  return tQueue;
}

ThreadQueue* CurrentQueue() {
  std::unique_lock<std::mutex> lk(Sys().lock);
  return CurrentQueueLocked(lk);
}

// Used by CreateThread: the new thread adopts the queue made for it.
void AdoptQueue(const std::shared_ptr<ThreadQueue>& q) {
  tQueueOwner = q;
  tQueue = q.get();
}

void WakeThreadLocked(DWORD thread) {
  auto it = Sys().threads.find(thread);
  if (it != Sys().threads.end()) it->second->wake.notify_all();
}

DWORD WakeBit(UINT message) {
  if (message >= WM_KEYFIRST && message <= WM_KEYLAST) return QS_KEY;
  if (message == WM_MOUSEMOVE) return QS_MOUSEMOVE;
  if (message > WM_MOUSEMOVE && message <= WM_MOUSELAST) return QS_MOUSEBUTTON;
  if (message == WM_HOTKEY) return QS_HOTKEY;
  return QS_POSTMESSAGE;
}

void PostLocked(DWORD thread, const MSG& msg) {
  auto it = Sys().threads.find(thread);
  if (it == Sys().threads.end() || !it->second->alive) return;
  it->second->posted.push_back(msg);
  it->second->newBits |= WakeBit(msg.message);
  it->second->wake.notify_all();
}

bool IsInternalCall(UINT message) { return message >= kCallDestroy && message < kCallEnd; }

LRESULT RunInternalCall(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kCallDestroy: return DestroyWindow(hwnd);
    case kCallShow: return ShowWindow(hwnd, static_cast<int>(wParam));
    case kCallSetPos: {
      struct Args {
        HWND after;
        int x, y, cx, cy;
        UINT flags;
      };
      auto* a = reinterpret_cast<Args*>(lParam);
      return SetWindowPos(hwnd, a->after, a->x, a->y, a->cx, a->cy, a->flags);
    }
    case kCallEnable: return EnableWindow(hwnd, static_cast<BOOL>(wParam));
    case kCallSetFocus: return reinterpret_cast<LRESULT>(SetFocus(hwnd));
    default: return 0;
  }
}

namespace {

// Runs one message sent to this thread; the lock is released meanwhile.
void RunSentLocked(std::unique_lock<std::mutex>& lk, ThreadQueue* q) {
  SentMessage* s = q->sent.front();
  q->sent.pop_front();
  Window* w = FindWindowLocked(s->hwnd);
  WNDPROC proc = w ? w->proc : nullptr;
  ++q->sendDepth;
  lk.unlock();
  LRESULT result = 0;
  if (IsInternalCall(s->message)) {
    result = RunInternalCall(s->hwnd, s->message, s->wParam, s->lParam);
  } else if (proc) {
    result = proc(s->hwnd, s->message, s->wParam, s->lParam);
  }
  lk.lock();
  --q->sendDepth;
  s->result = result;
  s->done = true;
  if (s->sender) s->sender->wake.notify_all();
}

// Sends to a window of another thread and waits, running messages sent to
// this thread meanwhile so that two threads sending to each other do not
// lock up.
LRESULT SendAcross(std::unique_lock<std::mutex>& lk, ThreadQueue* self, DWORD target, HWND hwnd,
                   UINT message, WPARAM wParam, LPARAM lParam) {
  auto it = Sys().threads.find(target);
  if (it == Sys().threads.end() || !it->second->alive) return 0;
  std::shared_ptr<ThreadQueue> keep = it->second;
  SentMessage s{hwnd, message, wParam, lParam};
  s.sender = self;
  keep->sent.push_back(&s);
  keep->wake.notify_all();
  while (!s.done) {
    if (!self->sent.empty()) {
      RunSentLocked(lk, self);
      continue;
    }
    if (!keep->alive) {
      auto& v = keep->sent;
      v.erase(std::remove(v.begin(), v.end(), &s), v.end());
      break;
    }
    self->wake.wait(lk);
  }
  return s.result;
}

}  // namespace

bool MarshalToOwner(HWND hwnd, UINT call, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  std::unique_lock<std::mutex> lk(Sys().lock);
  ThreadQueue* self = CurrentQueueLocked(lk);
  Window* w = FindWindowLocked(hwnd);
  if (!w || w->thread == self->id) return false;
  auto it = Sys().threads.find(w->thread);
  if (it == Sys().threads.end() || !it->second->alive) return false;  // owner gone: run here
  *result = SendAcross(lk, self, w->thread, hwnd, call, wParam, lParam);
  return true;
}

}  // namespace internal

// ---------------------------------------------------------------------------
// Sending and posting

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if ((reinterpret_cast<uintptr_t>(hwnd) & 3) == 2)
    return RemoteSendMessage(hwnd, msg, wParam, lParam, false);
  std::unique_lock<std::mutex> lk(Sys().lock);
  ThreadQueue* self = CurrentQueueLocked(lk);
  Window* w = FindWindowLocked(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (w->thread != self->id) return SendAcross(lk, self, w->thread, hwnd, msg, wParam, lParam);
  WNDPROC proc = w->proc;
  lk.unlock();
  return proc(hwnd, msg, wParam, lParam);
}

BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if ((reinterpret_cast<uintptr_t>(hwnd) & 3) == 2)
    return RemoteSendMessage(hwnd, msg, wParam, lParam, true) != 0;
  std::unique_lock<std::mutex> lk(Sys().lock);
  ThreadQueue* self = CurrentQueueLocked(lk);
  if (!hwnd) {
    MSG m{nullptr, msg, wParam, lParam, NowTick(), Sys().penPos};
    PostLocked(self->id, m);
    return TRUE;
  }
  Window* w = FindWindowLocked(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  MSG m{hwnd, msg, wParam, lParam, NowTick(), Sys().penPos};
  PostLocked(w->thread, m);
  return TRUE;
}

BOOL PostThreadMessage(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  auto it = Sys().threads.find(threadId);
  if (it == Sys().threads.end() || !it->second->alive) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  MSG m{nullptr, msg, wParam, lParam, NowTick(), Sys().penPos};
  PostLocked(threadId, m);
  return TRUE;
}

void PostQuitMessage(int exitCode) {
  std::unique_lock<std::mutex> lk(Sys().lock);
  ThreadQueue* q = CurrentQueueLocked(lk);
  q->quitPending = true;
  q->quitCode = exitCode;
  q->wake.notify_all();
}

BOOL InSendMessage() {
  std::unique_lock<std::mutex> lk(Sys().lock);
  return CurrentQueueLocked(lk)->sendDepth > 0;
}

// ---------------------------------------------------------------------------
// Retrieval

namespace {

enum class Fetch { kRemove, kKeep };

// One pass over the sources in the platform's order.  Returns true with the
// message in `out`; `wait` blocks until one arrives.
bool FetchMessage(MSG* out, HWND filter, UINT lo, UINT hi, Fetch mode, bool wait) {
  std::unique_lock<std::mutex> lk(Sys().lock);
  ThreadQueue* q = CurrentQueueLocked(lk);
  q->newBits = 0;
  for (;;) {
    if (!q->sent.empty()) {
      RunSentLocked(lk, q);
      continue;
    }
    for (auto it = q->posted.begin(); it != q->posted.end(); ++it) {
      if (!InRange(it->message, lo, hi) || !WindowMatches(it->hwnd, filter)) continue;
      *out = *it;
      if (mode == Fetch::kRemove) q->posted.erase(it);
      q->last = *out;
      return true;
    }
    if (q->quitPending && InRange(WM_QUIT, lo, hi)) {
      *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q->quitCode), 0, NowTick(), Sys().penPos};
      if (mode == Fetch::kRemove) q->quitPending = false;
      return true;
    }
    if (InRange(WM_PAINT, lo, hi)) {
      for (auto& [id, w] : Sys().windows) {
        if (w->thread != q->id || !w->updatePending || w->destroying) continue;
        if (!WindowMatches(w->handle, filter)) continue;
        if (!IsVisibleLocked(w.get())) continue;
        *out = MSG{w->handle, WM_PAINT, 0, 0, NowTick(), Sys().penPos};
        return true;
      }
    }
    Clock::time_point now = Clock::now();
    Clock::time_point next = Clock::time_point::max();
    if (InRange(WM_TIMER, lo, hi)) {
      Timer* due = nullptr;
      for (Timer& t : Sys().timers) {
        if (t.thread != q->id || !WindowMatches(t.hwnd, filter)) continue;
        if (t.due <= now && (!due || t.due < due->due)) due = &t;
        next = std::min(next, t.due);
      }
      if (due) {
        *out = MSG{due->hwnd, WM_TIMER, due->id, reinterpret_cast<LPARAM>(due->proc), NowTick(),
                   Sys().penPos};
        if (mode == Fetch::kRemove) due->due = now + std::chrono::milliseconds(due->period);
        return true;
      }
    }
    if (!wait) return false;
    q->waiting = true;
    if (next == Clock::time_point::max()) q->wake.wait(lk);
    else q->wake.wait_until(lk, next);
    q->waiting = false;
  }
}

}  // namespace

BOOL GetMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  MSG m{};
  FetchMessage(&m, hwnd, filterMin, filterMax, Fetch::kRemove, true);
  if (msg) *msg = m;
  return m.message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
  MSG m{};
  bool got = FetchMessage(&m, hwnd, filterMin, filterMax,
                          (removeFlags & PM_REMOVE) ? Fetch::kRemove : Fetch::kKeep, false);
  if (got && msg) *msg = m;
  return got ? TRUE : FALSE;
}

BOOL WaitMessage() {
  std::unique_lock<std::mutex> lk(Sys().lock);
  ThreadQueue* q = CurrentQueueLocked(lk);
  while (q->posted.empty() && q->sent.empty() && !q->quitPending) {
    bool paint = false;
    for (auto& [id, w] : Sys().windows) {
      if (w->thread == q->id && w->updatePending && IsVisibleLocked(w.get())) paint = true;
    }
    if (paint) break;
    Clock::time_point next = Clock::time_point::max();
    for (const Timer& t : Sys().timers) {
      if (t.thread == q->id) next = std::min(next, t.due);
    }
    if (next <= Clock::now()) break;
    q->waiting = true;
    if (next == Clock::time_point::max()) q->wake.wait(lk);
    else q->wake.wait_until(lk, next);
    q->waiting = false;
    while (!q->sent.empty()) RunSentLocked(lk, q);
  }
  return TRUE;
}

DWORD GetMessagePos() {
  std::unique_lock<std::mutex> lk(Sys().lock);
  MSG& m = CurrentQueueLocked(lk)->last;
  return static_cast<DWORD>(MAKELPARAM(static_cast<unsigned>(m.pt.x), static_cast<unsigned>(m.pt.y)));
}

LONG GetMessageTime() {
  std::unique_lock<std::mutex> lk(Sys().lock);
  return static_cast<LONG>(CurrentQueueLocked(lk)->last.time);
}

BOOL TranslateMessage(const MSG* msg) {
  if (!msg || msg->message != WM_KEYDOWN) return FALSE;
  int vk = static_cast<int>(msg->wParam);
  char16_t ch = 0;
  switch (vk) {
    case VK_BACK: ch = 8; break;
    case VK_TAB: ch = 9; break;
    case VK_RETURN: ch = 13; break;
    case VK_ESCAPE: ch = 27; break;
    case VK_SPACE: ch = u' '; break;
    default:
      if (vk >= '0' && vk <= '9') ch = static_cast<char16_t>(vk);
      else if (vk >= 'A' && vk <= 'Z')
        ch = static_cast<char16_t>(GetKeyState(VK_SHIFT) < 0 ? vk : vk + 32);
      break;
  }
  if (!ch) return FALSE;
  // The character is the next message the thread sees.
  std::lock_guard<std::mutex> lk(Sys().lock);
  Window* w = FindWindowLocked(msg->hwnd);
  if (!w) return FALSE;
  auto it = Sys().threads.find(w->thread);
  if (it == Sys().threads.end()) return FALSE;
  it->second->posted.push_front(MSG{msg->hwnd, WM_CHAR, ch, msg->lParam, msg->time, msg->pt});
  it->second->wake.notify_all();
  return TRUE;
}

LRESULT DispatchMessage(const MSG* msg) {
  if (!msg || !msg->hwnd) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
    proc(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
    return 0;
  }
  WNDPROC proc;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    Window* w = FindWindowLocked(msg->hwnd);
    if (!w) return 0;
    proc = w->proc;
  }
  return proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

// ---------------------------------------------------------------------------
// Timers

uintptr_t SetTimer(HWND hwnd, uintptr_t id, UINT milliseconds, TIMERPROC proc) {
  std::unique_lock<std::mutex> lk(Sys().lock);
  ThreadQueue* q = CurrentQueueLocked(lk);
  DWORD thread = q->id;
  if (hwnd) {
    Window* w = FindWindowLocked(hwnd);
    if (!w) return 0;
    thread = w->thread;
  } else {
    id = Sys().nextThreadTimerId++;
  }
  UINT period = std::max<UINT>(milliseconds, 1);
  Clock::time_point due = Clock::now() + std::chrono::milliseconds(period);
  for (Timer& t : Sys().timers) {
    if (t.hwnd == hwnd && t.id == id && hwnd) {
      t.period = period;
      t.due = due;
      t.proc = proc;
      WakeThreadLocked(thread);
      return id;
    }
  }
  Sys().timers.push_back(Timer{hwnd, id, period, due, proc, thread});
  WakeThreadLocked(thread);
  return hwnd ? (id ? id : 1) : id;
}

BOOL KillTimer(HWND hwnd, uintptr_t id) {
  std::lock_guard<std::mutex> lk(Sys().lock);
  auto& t = Sys().timers;
  auto it = std::find_if(t.begin(), t.end(), [&](const Timer& x) { return x.hwnd == hwnd && x.id == id; });
  if (it == t.end()) return FALSE;
  t.erase(it);
  return TRUE;
}

}  // namespace ce
