// Message order and routing: creation, sizing, painting and destruction;
// posted against sent messages; thread messages; sending across threads;
// timers.
#include <atomic>

#include "support/emu.h"

using namespace ce;

namespace {

class Messages : public emu::Device {
 protected:
  void SetUp() override {
    emu::Device::SetUp();
    Start("ipaq3600");
    emu::RegisterRecordingClass(u"REC", CS_DBLCLKS);
  }
};

TEST_F(Messages, CreateSizePaintDestroyInOrder) {
  HWND w = CreateWindow(u"REC", u"Title", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  // Default placement is the work area below the task bar.
  RECT r;
  GetWindowRect(w, &r);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 26);
  EXPECT_EQ(r.right, 240);
  EXPECT_EQ(r.bottom, 320);
  emu::Pump();
  EXPECT_EQ(emu::Messages(w, {WM_CREATE, WM_SIZE, WM_ACTIVATE, WM_SETFOCUS, WM_PAINT,
                              WM_ERASEBKGND}),
            (std::vector<UINT>{WM_CREATE, WM_SIZE, WM_ACTIVATE, WM_SETFOCUS, WM_PAINT,
                               WM_ERASEBKGND}));
  // WM_SIZE carries the client size.
  for (const auto& m : emu::Log()) {
    if (m.hwnd == w && m.message == WM_SIZE) {
      EXPECT_EQ(LOWORD(m.lParam), 240);
      EXPECT_EQ(HIWORD(m.lParam), 294);
    }
  }
  EXPECT_EQ(GetForegroundWindow(), w);
  EXPECT_EQ(GetFocus(), w);
  // No further paint until something is invalidated.
  emu::Log().clear();
  emu::Pump();
  EXPECT_TRUE(emu::Messages(w, {WM_PAINT}).empty());
  ASSERT_TRUE(DestroyWindow(w));
  EXPECT_EQ(emu::Messages(w, {WM_DESTROY, WM_NCDESTROY}),
            (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
  EXPECT_FALSE(IsWindow(w));
  EXPECT_EQ(GetForegroundWindow(), nullptr);
}

TEST_F(Messages, ChildrenAreDestroyedAfterTheirParentHearsOfIt) {
  HWND parent = CreateWindow(u"REC", u"P", WS_VISIBLE, 0, 26, 240, 294, nullptr, nullptr,
                             nullptr, nullptr);
  HWND child = CreateWindow(u"REC", u"C", WS_CHILD | WS_VISIBLE, 10, 10, 50, 50, parent,
                            reinterpret_cast<HMENU>(7), nullptr, nullptr);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(GetDlgCtrlID(child), 7);
  EXPECT_EQ(GetParent(child), parent);
  emu::Log().clear();
  DestroyWindow(parent);
  std::vector<std::pair<HWND, UINT>> order;
  for (const auto& m : emu::Log()) {
    if (m.message == WM_DESTROY || m.message == WM_NCDESTROY) order.push_back({m.hwnd, m.message});
  }
  std::vector<std::pair<HWND, UINT>> expected = {
      {parent, WM_DESTROY}, {child, WM_DESTROY}, {child, WM_NCDESTROY}, {parent, WM_NCDESTROY}};
  EXPECT_EQ(order, expected);
  EXPECT_FALSE(IsWindow(child));
}

TEST_F(Messages, SentMessagesRunAtOncePostedOnesWaitInTheQueue) {
  HWND w = CreateWindow(u"REC", u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  emu::Pump();
  emu::Log().clear();
  PostMessage(w, WM_USER + 1, 1, 0);
  SendMessage(w, WM_USER + 2, 2, 0);
  ASSERT_EQ(emu::Log().size(), 1u);
  EXPECT_EQ(emu::Log()[0].message, WM_USER + 2u);
  // A range filter skips messages outside it; PM_NOREMOVE leaves them.
  PostMessage(w, WM_USER + 3, 3, 0);
  MSG m;
  ASSERT_TRUE(PeekMessage(&m, nullptr, WM_USER + 3, WM_USER + 3, PM_NOREMOVE));
  EXPECT_EQ(m.message, WM_USER + 3u);
  ASSERT_TRUE(PeekMessage(&m, nullptr, WM_USER + 3, WM_USER + 3, PM_REMOVE));
  EXPECT_FALSE(PeekMessage(&m, nullptr, WM_USER + 3, WM_USER + 3, PM_REMOVE));
  ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER + 1u);
  EXPECT_EQ(m.wParam, 1u);
  DestroyWindow(w);
}

TEST_F(Messages, PaintWaitsUntilTheQueueIsEmptyAndTimersComeLast) {
  HWND w = CreateWindow(u"REC", u"", WS_VISIBLE, 0, 26, 100, 100, nullptr, nullptr, nullptr,
                        nullptr);
  emu::Pump();
  SetTimer(w, 5, 1, nullptr);
  Sleep(5);
  InvalidateRect(w, nullptr, FALSE);
  PostMessage(w, WM_USER, 0, 0);
  MSG m;
  std::vector<UINT> order;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(GetMessage(&m, nullptr, 0, 0));
    order.push_back(m.message);
    DispatchMessage(&m);
  }
  EXPECT_EQ(order, (std::vector<UINT>{WM_USER, WM_PAINT, WM_TIMER}));
  EXPECT_EQ(m.wParam, 5u);
  KillTimer(w, 5);
  DestroyWindow(w);
}

TEST_F(Messages, TimersRepeatUntilKilled) {
  HWND w = CreateWindow(u"REC", u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  emu::Pump();
  emu::Log().clear();
  ASSERT_EQ(SetTimer(w, 2, 10, nullptr), 2u);
  ASSERT_TRUE(emu::PumpUntil([&] { return emu::Messages(w, {WM_TIMER}).size() >= 3; }));
  for (const auto& m : emu::Log()) {
    if (m.message == WM_TIMER) {
      EXPECT_EQ(m.wParam, 2u);
    }
  }
  ASSERT_TRUE(KillTimer(w, 2));
  EXPECT_FALSE(KillTimer(w, 2));
  emu::Pump();
  size_t seen = emu::Messages(w, {WM_TIMER}).size();
  Sleep(30);
  emu::Pump();
  EXPECT_EQ(emu::Messages(w, {WM_TIMER}).size(), seen);
  DestroyWindow(w);
}

struct WorkerLog {
  std::vector<UINT> messages;
  std::atomic<bool> done{false};
};

DWORD Worker(void* arg) {
  auto* log = static_cast<WorkerLog*>(arg);
  MSG m;
  while (GetMessage(&m, nullptr, 0, 0)) {
    log->messages.push_back(m.message);
    if (m.message == 40004) break;
  }
  log->done = true;
  return 7;
}

TEST_F(Messages, ThreadMessagesArriveInPostingOrder) {
  WorkerLog log;
  DWORD id = 0;
  HANDLE t = CreateThread(nullptr, 0, Worker, &log, 0, &id);
  ASSERT_NE(t, nullptr);
  // The queue exists as soon as CreateThread returns.
  ASSERT_TRUE(PostThreadMessage(id, 40045, 0, 0));
  ASSERT_TRUE(PostThreadMessage(id, 40013, 0, 0));
  ASSERT_TRUE(PostThreadMessage(id, 40004, 0, 0));
  ASSERT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(t, &code);
  EXPECT_EQ(code, 7u);
  CloseHandle(t);
  EXPECT_EQ(log.messages, (std::vector<UINT>{40045, 40013, 40004}));
  EXPECT_FALSE(PostThreadMessage(id, 1, 0, 0));  // the queue went with the thread
}

struct CrossThread {
  HWND target;
  LRESULT result = 0;
  std::atomic<bool> done{false};
};

DWORD Sender(void* arg) {
  auto* c = static_cast<CrossThread*>(arg);
  c->result = SendMessage(c->target, WM_GETTEXTLENGTH, 0, 0);
  SetWindowText(c->target, u"Changed");
  DestroyWindow(c->target);
  c->done = true;
  return 0;
}

TEST_F(Messages, CrossThreadCallsRunOnTheOwnerThread) {
  HWND w = CreateWindow(u"REC", u"Hello", WS_VISIBLE, 0, 26, 100, 100, nullptr, nullptr,
                        nullptr, nullptr);
  emu::Pump();
  emu::Log().clear();
  CrossThread c;
  c.target = w;
  HANDLE t = CreateThread(nullptr, 0, Sender, &c, 0, nullptr);
  ASSERT_TRUE(emu::PumpUntil([&] { return c.done.load(); }));
  WaitForSingleObject(t, 5000);
  CloseHandle(t);
  EXPECT_EQ(c.result, 5);
  EXPECT_FALSE(IsWindow(w));
  DWORD self = GetCurrentThreadId();
  bool sawDestroy = false;
  for (const auto& m : emu::Log()) {
    if (m.hwnd != w) continue;
    EXPECT_EQ(m.thread, self) << "message " << m.message << " ran on another thread";
    if (m.message == WM_DESTROY) sawDestroy = true;
    if (m.message == WM_SETTEXT) {
      EXPECT_EQ(std::u16string(reinterpret_cast<LPCWSTR>(m.lParam)), u"Changed");
    }
  }
  EXPECT_TRUE(sawDestroy);
}

TEST_F(Messages, QuitEndsTheLoopWithItsCode) {
  PostQuitMessage(3);
  MSG m;
  EXPECT_FALSE(GetMessage(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 3u);
}

}  // namespace
