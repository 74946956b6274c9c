// A user-interface thread waiting for a worker that calls on its windows:
// the waits that serve sent messages end, posted messages stay queued; and
// direct screen-memory writes from a worker beside GDI and the presenter.
#include <atomic>
#include <thread>

#include "support/emu.h"

using namespace ce;

namespace {

class Threads : public emu::Device {
 protected:
  void SetUp() override {
    emu::Device::SetUp();
    Start("ipaq3600");
    emu::RegisterRecordingClass(u"REC");
    main_ = CreateWindow(u"REC", u"Main", WS_VISIBLE, 0, 26, 240, 294, nullptr, nullptr, nullptr, nullptr);
    bar_ = CreateWindow(u"scrollbar", u"", WS_CHILD | WS_VISIBLE, 0, 200, 240, 16, main_, nullptr, nullptr, nullptr);
    CreateWindow(u"static", u"", WS_CHILD, 0, 0, 200, 20, main_, reinterpret_cast<HMENU>(100), nullptr, nullptr);
    emu::Pump();
  }
  // The worker's calls on windows of this thread, as the print and
  // thumbnail jobs make them: each is a send the owner must serve.
  static DWORD Worker(void* arg) {
    auto* self = static_cast<Threads*>(arg);
    SetScrollRange(self->bar_, SB_CTL, 0, 10, TRUE);
    SetScrollPos(self->bar_, SB_CTL, 5, TRUE);
    ShowWindow(self->bar_, SW_HIDE);
    SetDlgItemText(self->main_, 100, u"Page 2");
    self->done_ = true;
    return 0;
  }
  void ExpectTheWorkersCallsLanded() {
    EXPECT_EQ(GetScrollPos(bar_, SB_CTL), 5);
    EXPECT_FALSE(IsWindowVisible(bar_));
    WCHAR text[32] = {};
    GetDlgItemText(main_, 100, text, 32);
    EXPECT_EQ(std::u16string(text), u"Page 2");
  }
  HWND main_ = nullptr;
  HWND bar_ = nullptr;
  std::atomic<bool> done_{false};
};

// The worker's calls end within a second while this thread waits with the
// helper, then with MsgWaitForMultipleObjects (each send ends the wait, and
// PeekMessage with a filter that matches nothing runs it); posted messages
// are left for the message loop.
TEST_F(Threads, WaitsServeTheWorkersCallsAndLeavePostedMessages) {
  emu::Log().clear();
  PostMessage(main_, WM_USER + 5, 0, 0);
  HANDLE worker = CreateThread(nullptr, 0, Worker, this, 0, nullptr);
  EXPECT_TRUE(WaitServingSent([&] { return done_.load(); }, 1000));
  ExpectTheWorkersCallsLanded();
  EXPECT_TRUE(emu::Messages(main_, {WM_USER + 5}).empty());
  EXPECT_FALSE(WaitServingSent([] { return false; }, 20));
  WaitForSingleObject(worker, 1000);
  CloseHandle(worker);
  ShowWindow(bar_, SW_SHOW);
  worker = CreateThread(nullptr, 0, Worker, this, 0, nullptr);
  DWORD r;
  MSG msg;
  while ((r = MsgWaitForMultipleObjects(1, &worker, FALSE, 1000, QS_SENDMESSAGE)) == WAIT_OBJECT_0 + 1)
    EXPECT_FALSE(PeekMessage(&msg, nullptr, 0xFFFFFFFF, 0xFFFFFFFF, PM_NOREMOVE));
  EXPECT_EQ(r, WAIT_OBJECT_0);
  ExpectTheWorkersCallsLanded();
  CloseHandle(worker);
  // The posted message is no longer new once the thread has looked.
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_POSTMESSAGE), WAIT_TIMEOUT);
  EXPECT_EQ(MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_POSTMESSAGE, MWMO_INPUTAVAILABLE), WAIT_OBJECT_0);
  EXPECT_TRUE(emu::Messages(main_, {WM_USER + 5}).empty());
}

// Under ThreadSanitizer: a worker writing screen memory under the guard,
// the presenter converting frames and GDI painting at the same time.
TEST_F(Threads, DirectScreenWritesUnderTheLockRaceWithNothing) {
  auto* memory = static_cast<uint16_t*>(MapDeviceAddress(CurrentDevice().frameBuffer16));
  ASSERT_NE(memory, nullptr);
  std::atomic<bool> stop{false};
  std::thread presenter([&] {
    while (!stop) ScreenPixels();
  });
  std::thread worker([&] {
    for (int frame = 0; frame < 50; ++frame) {
      ScreenMemoryLock guard;
      for (int y = 100; y < 140; ++y)
        for (int x = 0; x < 40; ++x) memory[LocateScreenPixel(x, y).byte / 2] = 0xF800;  // red
    }
  });
  HDC dc = GetDC(main_);
  RECT r{100, 100, 200, 200};
  for (int i = 0; i < 50; ++i)
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(i % 2 ? BLACK_BRUSH : WHITE_BRUSH)));
  ReleaseDC(main_, dc);
  worker.join();
  stop = true;
  presenter.join();
  EXPECT_EQ(emu::ScreenAt(10, 110), 0xFF0000u);
  EXPECT_EQ(emu::ScreenAt(150, 150), 0x000000u);
}

}  // namespace
