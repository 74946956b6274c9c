// The shell: the task bar follows the full-screen state of the window in
// front, shows its title, carries the Done box of initialised dialogs and
// drops the menu bar down from the title.
#include <thread>

#include "support/emu.h"

using namespace ce;

namespace {

class Shell : public emu::Device {
 protected:
  void SetUp() override {
    emu::Device::SetUp();
    Start("ipaq3600");
    emu::RegisterRecordingClass(u"REC");
    bar_ = FindWindow(u"HHTaskBar", nullptr);
    ASSERT_NE(bar_, nullptr);
  }
  HWND Make(const char16_t* title) {
    HWND w = CreateWindow(u"REC", title, WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    emu::Pump();
    return w;
  }
  HWND bar_ = nullptr;
};

TEST_F(Shell, TheTaskBarFollowsTheFullScreenStateOfTheWindowInFront) {
  RECT r;
  GetWindowRect(bar_, &r);
  EXPECT_EQ(r.bottom - r.top, 26);
  EXPECT_EQ(r.right - r.left, 240);
  HWND main = Make(u"Main");
  SHFullScreen(main, SHFS_HIDESIPBUTTON);
  EXPECT_TRUE(IsWindowVisible(bar_));
  // A splash that hides the task bar hides it only while it is in front.
  HWND splash = Make(u"");
  SetWindowPos(splash, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SHFullScreen(splash, SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON);
  EXPECT_FALSE(IsWindowVisible(bar_));
  DestroyWindow(splash);
  emu::Pump();
  EXPECT_EQ(GetForegroundWindow(), main);
  EXPECT_TRUE(IsWindowVisible(bar_));
  SHFullScreen(main, SHFS_HIDETASKBAR);
  EXPECT_FALSE(IsWindowVisible(bar_));
  SHFullScreen(main, SHFS_SHOWTASKBAR);
  EXPECT_TRUE(IsWindowVisible(bar_));
  // The program may hide the task bar itself.
  ShowWindow(bar_, SW_HIDE);
  EXPECT_FALSE(IsWindowVisible(bar_));
  ShowWindow(bar_, SW_SHOW);
  EXPECT_TRUE(IsWindowVisible(bar_));
  DestroyWindow(main);
}

TEST_F(Shell, TheTaskBarShowsTheTitleAndRepaintsWithTheWholeScreen) {
  HWND main = Make(u"Zelmo");
  ASSERT_TRUE(WaitIdle(2000));
  std::vector<uint32_t> before = ScreenPixels();
  // Wipe the task bar's pixels; invalidating the whole screen brings it back.
  HDC screen = GetDC(nullptr);
  RECT top{0, 0, 240, 26};
  FillRect(screen, &top, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  ReleaseDC(nullptr, screen);
  EXPECT_NE(ScreenPixels(), before);
  InvalidateRect(nullptr, nullptr, TRUE);
  emu::Pump();
  ASSERT_TRUE(WaitIdle(2000));
  EXPECT_EQ(ScreenPixels(), before);
  // Another title shows other pixels.
  SetWindowText(main, u"Something else entirely");
  ASSERT_TRUE(WaitIdle(2000));
  std::vector<uint32_t> after = ScreenPixels();
  EXPECT_FALSE(std::equal(after.begin(), after.begin() + 240 * 26, before.begin()));
  DestroyWindow(main);
}

TEST_F(Shell, DoneBoxAndMenuBarLiveInTheTaskBar) {
  HWND main = Make(u"Main");
  SHINITDLGINFO info{SHIDIM_FLAGS, main, SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN};
  ASSERT_TRUE(SHInitDialog(&info));
  RECT r;
  GetWindowRect(main, &r);
  EXPECT_EQ(r.top, 26);
  EXPECT_EQ(r.bottom, 320);
  ASSERT_TRUE(WaitIdle(2000));
  emu::Log().clear();
  // The Done box sits left of the clock.
  InjectPen(PenAction::kDown, 240 - 50, 13);
  InjectPen(PenAction::kUp, 240 - 50, 13);
  ASSERT_TRUE(emu::PumpUntil([&] { return !emu::Messages(main, {WM_COMMAND}).empty(); }));
  for (const auto& m : emu::Log()) {
    if (m.hwnd == main && m.message == WM_COMMAND) {
      EXPECT_EQ(LOWORD(m.wParam), IDOK);
    }
  }
  // The menu bar drops down from the title; the chosen command is posted.
  HMENU barMenu = CreateMenu();
  HMENU file = CreatePopupMenu();
  AppendMenu(file, MF_STRING, 40005, u"Open...");
  AppendMenu(barMenu, MF_POPUP, reinterpret_cast<uintptr_t>(file), u"File");
  CeSetMenuBar(main, barMenu);
  emu::Log().clear();
  std::thread user([] {
    InjectPen(PenAction::kDown, 60, 13);
    InjectPen(PenAction::kUp, 60, 13);
    HWND popup = nullptr;
    for (int i = 0; i < 3000 && !popup; ++i) {
      popup = FindWindow(u"#32768", nullptr);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!popup) return;
    WaitIdle(2000);
    RECT pr;
    GetWindowRect(popup, &pr);
    // "File" opens its sub-menu beside it; then "Open...".
    InjectPen(PenAction::kDown, pr.left + 10, pr.top + 11);
    InjectPen(PenAction::kUp, pr.left + 10, pr.top + 11);
    WaitIdle(2000);
    InjectPen(PenAction::kDown, pr.right + 10, pr.top + 11);
    InjectPen(PenAction::kUp, pr.right + 10, pr.top + 11);
  });
  bool got = emu::PumpUntil([&] {
    for (const auto& m : emu::Log()) {
      if (m.hwnd == main && m.message == WM_COMMAND && LOWORD(m.wParam) == 40005) return true;
    }
    return false;
  });
  user.join();
  EXPECT_TRUE(got);
  CeSetMenuBar(main, nullptr);
  DestroyMenu(barMenu);
  DestroyWindow(main);
}

TEST_F(Shell, TheInputPanelThePointerAndMessageBoxIconsAreLogged) {
  ClearEventLog();
  SHSipPreference(nullptr, SIP_UP);
  SIPINFO info{};
  info.cbSize = sizeof(info);
  info.fdwFlags = SIPF_DOCKED;
  info.rcSipRect.top = 300;
  EXPECT_TRUE(SipSetInfo(&info));
  SetCursorPos(20, 40);
  QueueMessageBoxAnswer(IDYES);
  EXPECT_EQ(MessageBox(nullptr, u"Delete it?", u"Delete File", MB_YESNO | MB_ICONQUESTION), IDYES);
  EXPECT_EQ(EventLog(), (std::vector<std::string>{"sip preference 0", "sip info flags=2 top=300", "cursor 20 40",
                                                  "messagebox \"Delete File\" \"Delete it?\" icon=question"}));
}

}  // namespace
