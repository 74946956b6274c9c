// Threads with their message queues, waiting, sleeping, the tick count,
// clock times, and the table of kernel object handles.
#include <ctime>
#include <map>
#include <thread>

#include "platform/kernel/internal.h"
#include "platform/kernel/kernel_objects.h"

namespace ce {

using namespace internal;

namespace internal {

void AdoptQueue(const std::shared_ptr<ThreadQueue>& q);

namespace {

struct ObjectTable {
  std::mutex lock;
  uint32_t nextId = 1;
  std::map<uint32_t, std::pair<ObjectKind, std::shared_ptr<void>>> objects;
};

ObjectTable& Objects() {
  static ObjectTable* table = new ObjectTable;
  return *table;
}

struct ThreadRecord {
  std::mutex lock;
  std::condition_variable ended;
  bool done = false;
  DWORD exitCode = STILL_ACTIVE;
};

}  // namespace

HANDLE AddObject(ObjectKind kind, std::shared_ptr<void> record) {
  ObjectTable& t = Objects();
  std::lock_guard<std::mutex> lk(t.lock);
  uint32_t id = t.nextId++;
  t.objects[id] = {kind, std::move(record)};
  return MakeHandle<HANDLE>(id);
}

std::shared_ptr<void> LookupObject(HANDLE handle, ObjectKind kind) {
  ObjectTable& t = Objects();
  std::lock_guard<std::mutex> lk(t.lock);
  auto it = t.objects.find(HandleId(handle));
  if (it == t.objects.end() || it->second.first != kind) return nullptr;
  return it->second.second;
}

bool RemoveObject(HANDLE handle, ObjectKind* kind) {
  ObjectTable& t = Objects();
  std::shared_ptr<void> keep;  // released after the lock
  std::lock_guard<std::mutex> lk(t.lock);
  auto it = t.objects.find(HandleId(handle));
  if (it == t.objects.end()) return false;
  if (kind) *kind = it->second.first;
  keep = std::move(it->second.second);
  t.objects.erase(it);
  return true;
}

int WaitableState(HANDLE handle) {
  auto record = Lookup<ThreadRecord>(handle, ObjectKind::kThread);
  if (!record) return -1;
  std::lock_guard<std::mutex> lk(record->lock);
  return record->done ? 1 : 0;
}

void ResetKernelObjects() {
  ObjectTable& t = Objects();
  std::map<uint32_t, std::pair<ObjectKind, std::shared_ptr<void>>> old;
  {
    std::lock_guard<std::mutex> lk(t.lock);
    old.swap(t.objects);
  }
}

}  // namespace internal

HANDLE CreateThread(void*, DWORD, LPTHREAD_START_ROUTINE start, void* parameter, DWORD,
                    DWORD* threadId) {
  if (!start) return nullptr;
  auto q = std::make_shared<ThreadQueue>();
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    q->id = Sys().nextThreadId++;
    q->generation = Sys().generation;
    Sys().threads[q->id] = q;
  }
  auto record = std::make_shared<ThreadRecord>();
  HANDLE handle = AddObject(ObjectKind::kThread, record);
  if (threadId) *threadId = q->id;
  std::thread([q, record, start, parameter] {
    AdoptQueue(q);
    DWORD code = start(parameter);
    {
      std::lock_guard<std::mutex> lk(Sys().lock);
      q->alive = false;
      for (SentMessage* s : q->sent) {
        s->done = true;
        if (s->sender) s->sender->wake.notify_all();
      }
      q->sent.clear();
      if (q->generation == Sys().generation) Sys().threads.erase(q->id);
    }
    {
      std::lock_guard<std::mutex> lk(record->lock);
      record->done = true;
      record->exitCode = code;
      record->ended.notify_all();
    }
    // Threads in MsgWaitForMultipleObjects wait on their queues.
    std::lock_guard<std::mutex> lk(Sys().lock);
    for (auto& [id, other] : Sys().threads) other->wake.notify_all();
  }).detach();
  return handle;
}

DWORD GetCurrentThreadId() { return CurrentQueue()->id; }

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  auto record = Lookup<ThreadRecord>(handle, ObjectKind::kThread);
  if (!record) return WAIT_FAILED;
  std::unique_lock<std::mutex> lk(record->lock);
  if (milliseconds == INFINITE) {
    record->ended.wait(lk, [&] { return record->done; });
    return WAIT_OBJECT_0;
  }
  bool done = record->ended.wait_for(lk, std::chrono::milliseconds(milliseconds),
                                     [&] { return record->done; });
  return done ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL GetExitCodeThread(HANDLE thread, DWORD* code) {
  auto record = Lookup<ThreadRecord>(thread, ObjectKind::kThread);
  if (!record || !code) return FALSE;
  std::lock_guard<std::mutex> lk(record->lock);
  *code = record->exitCode;
  return TRUE;
}

void Sleep(DWORD milliseconds) {
  ThreadQueue* q;
  {
    std::unique_lock<std::mutex> lk(Sys().lock);
    q = CurrentQueueLocked(lk);
    q->waiting = true;
  }
  if (milliseconds == 0) std::this_thread::yield();
  else std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  std::lock_guard<std::mutex> lk(Sys().lock);
  q->waiting = false;
}

DWORD GetTickCount() {
  std::lock_guard<std::mutex> lk(Sys().lock);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - Sys().start);
  return static_cast<DWORD>(ms.count());
}

// ---------------------------------------------------------------------------
// Clock times

namespace {

constexpr int64_t kUnixEpochAsFileTime = 116444736000000000LL;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int64_t DaysFromCivil(int y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

SYSTEMTIME FromTm(const std::tm& tm, int millis) {
  return SYSTEMTIME{static_cast<WORD>(tm.tm_year + 1900), static_cast<WORD>(tm.tm_mon + 1),
                    static_cast<WORD>(tm.tm_wday), static_cast<WORD>(tm.tm_mday),
                    static_cast<WORD>(tm.tm_hour), static_cast<WORD>(tm.tm_min),
                    static_cast<WORD>(tm.tm_sec), static_cast<WORD>(millis)};
}

}  // namespace

void GetLocalTime(SYSTEMTIME* time) {
  if (!time) return;
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  std::tm tm;
  localtime_r(&ts.tv_sec, &tm);
  *time = FromTm(tm, static_cast<int>(ts.tv_nsec / 1000000));
}

void GetSystemTime(SYSTEMTIME* time) {
  if (!time) return;
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  std::tm tm;
  gmtime_r(&ts.tv_sec, &tm);
  *time = FromTm(tm, static_cast<int>(ts.tv_nsec / 1000000));
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime) {
  if (!fileTime || !systemTime) return FALSE;
  uint64_t t = (static_cast<uint64_t>(fileTime->dwHighDateTime) << 32) | fileTime->dwLowDateTime;
  if (t >= 0x8000000000000000ull) return FALSE;
  int64_t units = static_cast<int64_t>(t) - kUnixEpochAsFileTime;
  int64_t seconds = units >= 0 ? units / 10000000 : (units - 9999999) / 10000000;
  int millis = static_cast<int>((units - seconds * 10000000) / 10000);
  int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  int64_t rest = seconds - days * 86400;
  // Civil date from days since 1970-01-01.
  int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
  int wday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  *systemTime = SYSTEMTIME{static_cast<WORD>(y), static_cast<WORD>(m), static_cast<WORD>(wday),
                           static_cast<WORD>(d), static_cast<WORD>(rest / 3600),
                           static_cast<WORD>(rest % 3600 / 60), static_cast<WORD>(rest % 60),
                           static_cast<WORD>(millis)};
  return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* s, FILETIME* fileTime) {
  if (!s || !fileTime || s->wMonth < 1 || s->wMonth > 12 || s->wDay < 1 || s->wHour > 23 ||
      s->wMinute > 59 || s->wSecond > 59 || s->wMilliseconds > 999 || s->wYear < 1601)
    return FALSE;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int dim = kDays[s->wMonth - 1] + (s->wMonth == 2 && IsLeap(s->wYear) ? 1 : 0);
  if (s->wDay > dim) return FALSE;
  int64_t days = DaysFromCivil(s->wYear, s->wMonth, s->wDay);
  int64_t units = ((days * 86400 + s->wHour * 3600 + s->wMinute * 60 + s->wSecond) * 1000 +
                   s->wMilliseconds) * 10000 + kUnixEpochAsFileTime;
  fileTime->dwLowDateTime = static_cast<DWORD>(units);
  fileTime->dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(units) >> 32);
  return TRUE;
}

}  // namespace ce

namespace ce {

// Each record's own destructor closes what it holds (file, search, view).
BOOL CloseHandle(HANDLE handle) { return internal::RemoveObject(handle, nullptr) ? TRUE : FALSE; }

}  // namespace ce
