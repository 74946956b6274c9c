// Input: hot keys and key routing, the pen in client coordinates (outside
// the window while captured), double taps, asynchronous state, tap-and-hold,
// disabled windows, window scroll bars, and the keyboard maps of the models.
#include <thread>

#include "support/emu.h"

using namespace ce;

namespace {

class Input : public emu::Device {
 protected:
  void SetUp() override {
    emu::Device::SetUp();
    EmulatorConfig config;
    config.heldKeys = {0xC1};
    Start("ipaq3600", config);
    emu::RegisterRecordingClass(u"REC");
    emu::RegisterRecordingClass(u"DBL", CS_DBLCLKS);
  }
  HWND Make(const char16_t* cls, int x, int y, int w, int h, DWORD style = WS_VISIBLE) {
    HWND hwnd = CreateWindow(cls, u"W", style, x, y, w, h, nullptr, nullptr, nullptr, nullptr);
    emu::Pump();
    emu::Log().clear();
    return hwnd;
  }
  std::vector<emu::Recorded> Of(HWND hwnd, UINT message) {
    std::vector<emu::Recorded> out;
    for (const auto& r : emu::Log()) {
      if (r.hwnd == hwnd && r.message == message) out.push_back(r);
    }
    return out;
  }
};

TEST_F(Input, HotKeysReachTheirWindowOtherKeysTheFocusWindow) {
  HWND main = Make(u"REC", 0, 26, 240, 294);
  HWND other = Make(u"REC", 0, 100, 100, 100);
  SetFocus(other);
  ASSERT_TRUE(RegisterHotKey(main, 0, 0, 0x86));
  ASSERT_TRUE(RegisterHotKey(main, 0x86, MOD_WIN, 0x86));
  ASSERT_TRUE(RegisterHotKey(main, 0xC3, MOD_WIN, 0xC3));
  emu::Log().clear();
  InjectKey(0x86, true);
  InjectKey(0x86, false);
  InjectKey(0xC3, true);
  InjectKey(VK_LEFT, true);
  InjectKey(VK_LEFT, false);
  emu::Pump();
  auto hot = Of(main, WM_HOTKEY);
  ASSERT_EQ(hot.size(), 2u);
  // The registration whose identifier is the key wins over hot key 0.
  EXPECT_EQ(hot[0].wParam, 0x86u);
  EXPECT_EQ(LOWORD(hot[0].lParam), MOD_WIN);
  EXPECT_EQ(HIWORD(hot[0].lParam), 0x86);
  EXPECT_EQ(hot[1].wParam, 0xC3u);
  EXPECT_TRUE(Of(other, WM_HOTKEY).empty());
  auto down = Of(other, WM_KEYDOWN);
  ASSERT_EQ(down.size(), 1u);
  EXPECT_EQ(down[0].wParam, static_cast<WPARAM>(VK_LEFT));
  EXPECT_EQ(Of(other, WM_KEYUP).size(), 1u);
  EXPECT_TRUE(Of(main, WM_KEYDOWN).empty());
  // Without the matching identifier the key arrives as hot key 0.
  UnregisterHotKey(main, 0x86);
  emu::Log().clear();
  InjectKey(0x86, true);
  emu::Pump();
  hot = Of(main, WM_HOTKEY);
  ASSERT_EQ(hot.size(), 1u);
  EXPECT_EQ(hot[0].wParam, 0u);
}

TEST_F(Input, TypingBecomesCharactersThroughTranslateMessage) {
  HWND w = Make(u"REC", 0, 26, 240, 294);
  SetFocus(w);
  InjectKey('A', true);
  InjectKey(VK_RETURN, true);
  InjectChar(u'\u00e9');
  emu::Pump();
  auto chars = Of(w, WM_CHAR);
  ASSERT_EQ(chars.size(), 3u);
  EXPECT_EQ(chars[0].wParam, static_cast<WPARAM>(u'a'));
  EXPECT_EQ(chars[1].wParam, static_cast<WPARAM>(13));
  EXPECT_EQ(chars[2].wParam, static_cast<WPARAM>(0xE9));
}

TEST_F(Input, PenMessagesUseClientCoordinatesAndFollowTheCapture) {
  HWND w = Make(u"REC", 20, 50, 100, 100);
  HWND behind = Make(u"REC", 0, 26, 240, 294);
  SetForegroundWindow(w);
  emu::Pump();
  emu::Log().clear();
  InjectPen(PenAction::kDown, 30, 70);
  EXPECT_LT(GetAsyncKeyState(VK_LBUTTON), 0);
  SetCapture(w);
  InjectPen(PenAction::kMove, 5, 40);
  InjectPen(PenAction::kUp, 200, 300);
  EXPECT_EQ(GetAsyncKeyState(VK_LBUTTON), 0);
  ReleaseCapture();
  emu::Pump();
  auto d = Of(w, WM_LBUTTONDOWN);
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(GET_X_LPARAM(d[0].lParam), 10);
  EXPECT_EQ(GET_Y_LPARAM(d[0].lParam), 20);
  auto m = Of(w, WM_MOUSEMOVE);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(GET_X_LPARAM(m[0].lParam), -15);
  EXPECT_EQ(GET_Y_LPARAM(m[0].lParam), -10);
  auto u = Of(w, WM_LBUTTONUP);
  ASSERT_EQ(u.size(), 1u);
  EXPECT_EQ(GET_X_LPARAM(u[0].lParam), 180);
  EXPECT_EQ(GET_Y_LPARAM(u[0].lParam), 250);
  EXPECT_TRUE(Of(behind, WM_LBUTTONUP).empty());
  // Without capture the pen goes to the window under it, which comes to
  // the front first.
  emu::Log().clear();
  InjectPen(PenAction::kDown, 200, 200);
  InjectPen(PenAction::kUp, 200, 200);
  emu::Pump();
  EXPECT_EQ(Of(behind, WM_LBUTTONDOWN).size(), 1u);
  EXPECT_EQ(GetForegroundWindow(), behind);
  ASSERT_FALSE(Of(behind, WM_ACTIVATE).empty());
}

TEST_F(Input, DoubleTapsOnlyForClassesThatAskForThem) {
  HWND plain = Make(u"REC", 0, 26, 120, 100);
  HWND dbl = Make(u"DBL", 120, 26, 120, 100);
  for (int k = 0; k < 2; ++k) {
    InjectPen(PenAction::kDown, 50, 60);
    InjectPen(PenAction::kUp, 50, 60);
    InjectPen(PenAction::kDown, 170, 60);
    InjectPen(PenAction::kUp, 170, 60);
    emu::Pump();
  }
  EXPECT_EQ(Of(plain, WM_LBUTTONDOWN).size(), 2u);
  EXPECT_TRUE(Of(plain, WM_LBUTTONDBLCLK).empty());
  // The taps alternate between windows, so no double tap yet.
  EXPECT_TRUE(Of(dbl, WM_LBUTTONDBLCLK).empty());
  emu::Log().clear();
  InjectPen(PenAction::kDown, 170, 60);
  InjectPen(PenAction::kUp, 170, 60);
  InjectPen(PenAction::kDown, 172, 61);
  InjectPen(PenAction::kUp, 172, 61);
  emu::Pump();
  EXPECT_EQ(Of(dbl, WM_LBUTTONDOWN).size(), 1u);
  EXPECT_EQ(Of(dbl, WM_LBUTTONDBLCLK).size(), 1u);
}

TEST_F(Input, KeysHeldAtStartAreDown) {
  EXPECT_LT(GetAsyncKeyState(0xC1), 0);
  EXPECT_EQ(GetAsyncKeyState(0xC2), 0);
  InjectKey(0xC1, false);
  EXPECT_EQ(GetAsyncKeyState(0xC1), 0);
}

TEST_F(Input, DisabledWindowsGetNoPenInput) {
  HWND w = Make(u"REC", 0, 26, 240, 294);
  EnableWindow(w, FALSE);
  emu::Pump();
  emu::Log().clear();
  InjectPen(PenAction::kDown, 100, 100);
  InjectPen(PenAction::kUp, 100, 100);
  emu::Pump();
  EXPECT_TRUE(Of(w, WM_LBUTTONDOWN).empty());
  EnableWindow(w, TRUE);
  InjectPen(PenAction::kDown, 100, 100);
  emu::Pump();
  EXPECT_EQ(Of(w, WM_LBUTTONDOWN).size(), 1u);
  InjectPen(PenAction::kUp, 100, 100);
}

DWORD gGesture = 12345;

LRESULT GestureProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_LBUTTONDOWN) {
    SHRGINFO info{sizeof(SHRGINFO), hwnd, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)},
                  SHRG_RETURNCMD};
    gGesture = SHRecognizeGesture(&info);
    return 0;
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

TEST_F(Input, TapAndHoldIsRecognisedWithoutTakingThePenMessages) {
  WNDCLASS wc{};
  wc.lpfnWndProc = GestureProc;
  wc.lpszClassName = u"GESTURE";
  RegisterClass(&wc);
  HWND w = Make(u"GESTURE", 0, 26, 240, 294);
  // Holds and taps, picked up at once or late (the user-interface thread
  // busy while the pen is down, or until after it came up).
  const struct {
    int holdMs, lateMs;
  } presses[] = {{650, 0}, {60, 0}, {700, 300}, {650, 800}, {60, 200}};
  for (auto [holdMs, lateMs] : presses) {
    gGesture = 12345;
    std::thread pen([holdMs] {
      InjectPen(PenAction::kDown, 100, 150);
      std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
      InjectPen(PenAction::kUp, 101, 151);
    });
    Sleep(static_cast<DWORD>(lateMs));
    // Only the pen-down is taken; its window procedure asks the recogniser.
    MSG m;
    bool down = false;
    for (int i = 0; i < 3000 && !down; ++i) {
      down = PeekMessage(&m, w, WM_LBUTTONDOWN, WM_LBUTTONDOWN, PM_REMOVE) != 0;
      if (!down) Sleep(1);
    }
    ASSERT_TRUE(down);
    DispatchMessage(&m);
    pen.join();
    EXPECT_EQ(gGesture, holdMs > 500 ? GN_CONTEXTMENU : 0u) << holdMs << " late " << lateMs;
    // The pen-up is still there for the window.
    ASSERT_TRUE(PeekMessage(&m, w, WM_LBUTTONUP, WM_LBUTTONUP, PM_REMOVE));
  }
}

TEST_F(Input, WindowScrollBarsSendScrollMessages) {
  HWND w = Make(u"REC", 0, 26, 240, 294, WS_VISIBLE | WS_VSCROLL);
  SetScrollRange(w, SB_VERT, 0, 100, TRUE);
  SetScrollPos(w, SB_VERT, 0, TRUE);
  RECT client;
  GetClientRect(w, &client);
  EXPECT_EQ(client.right, 240 - 13);
  // The arrow at the bottom, then the track below the thumb.
  InjectPen(PenAction::kDown, 233, 26 + 294 - 5);
  InjectPen(PenAction::kUp, 233, 26 + 294 - 5);
  InjectPen(PenAction::kDown, 233, 200);
  InjectPen(PenAction::kUp, 233, 200);
  // Drag the thumb (at the top) down.
  InjectPen(PenAction::kDown, 233, 26 + 13 + 4);
  InjectPen(PenAction::kMove, 233, 26 + 13 + 4 + 100);
  InjectPen(PenAction::kUp, 233, 26 + 13 + 4 + 100);
  emu::Pump();
  auto v = Of(w, WM_VSCROLL);
  ASSERT_EQ(v.size(), 5u);
  EXPECT_EQ(LOWORD(v[0].wParam), SB_LINEDOWN);
  EXPECT_EQ(LOWORD(v[1].wParam), SB_PAGEDOWN);
  EXPECT_EQ(LOWORD(v[2].wParam), SB_THUMBTRACK);
  EXPECT_GT(HIWORD(v[2].wParam), 30);
  EXPECT_LT(HIWORD(v[2].wParam), 70);
  EXPECT_EQ(LOWORD(v[3].wParam), SB_THUMBPOSITION);
  EXPECT_EQ(HIWORD(v[3].wParam), HIWORD(v[2].wParam));
  EXPECT_EQ(LOWORD(v[4].wParam), SB_ENDSCROLL);
  EXPECT_TRUE(Of(w, WM_LBUTTONDOWN).empty());
}

TEST(KeyMaps, ModelsAreFoundByNameAndEveryButtonHasAKey) {
  // Models are found by alias or by full name, in any case.
  ASSERT_NE(FindDeviceModel("j580"), nullptr);
  EXPECT_EQ(FindDeviceModel("pocket pc J580"), FindDeviceModel("j580"));
  for (const DeviceModel& d : DeviceModels()) {
    auto map = KeyMap(d);
    for (int i = 0; i < d.buttonCount; ++i) {
      bool reachable = false;
      for (const KeyBinding& b : map) reachable |= b.virtualKey == d.buttonKeys[i];
      EXPECT_TRUE(reachable) << d.alias << " " << d.buttonNames[i];
    }
  }
}

}  // namespace
