// Window management: z-order with topmost and owned windows, activation of
// the topmost owned window, hiding and moving (with the repaint of what they
// uncover), borders and geometry, window data, classes.
#include "support/emu.h"

using namespace ce;

namespace {

class Windows : public emu::Device {
 protected:
  void SetUp() override {
    emu::Device::SetUp();
    Start("ipaq3600");
    emu::RegisterRecordingClass(u"REC");
  }
  HWND Make(const char16_t* title, int x, int y, int w, int h, HWND parent = nullptr,
            DWORD style = WS_VISIBLE) {
    HWND hwnd = CreateWindow(u"REC", title, style, x, y, w, h, parent, nullptr, nullptr, nullptr);
    emu::Pump();
    return hwnd;
  }
  // Top-level windows of the program in z-order, front first.
  std::vector<HWND> Order() {
    std::vector<HWND> out;
    HWND bar = FindWindow(u"HHTaskBar", nullptr);
    for (HWND h = GetWindow(bar, GW_HWNDFIRST); h; h = GetWindow(h, GW_HWNDNEXT)) {
      WCHAR cls[32];
      GetClassName(h, cls, 32);
      if (std::u16string(cls) == u"REC") out.push_back(h);
    }
    return out;
  }
};

TEST_F(Windows, OwnedWindowsFloatAboveTheirOwnerAndTopmostAboveAll) {
  HWND owner = Make(u"Owner", 0, 26, 240, 294);
  HWND zoom = Make(u"Zoom", 0, 40, 64, 64, owner, WS_VISIBLE | WS_BORDER);
  HWND other = Make(u"Other", 0, 26, 240, 294);
  EXPECT_EQ(GetWindow(zoom, GW_OWNER), owner);
  EXPECT_EQ(Order(), (std::vector<HWND>{other, zoom, owner}));
  SetForegroundWindow(owner);
  emu::Pump();
  EXPECT_EQ(Order(), (std::vector<HWND>{zoom, owner, other}));
  EXPECT_EQ(GetForegroundWindow(), owner);
  // Bit 0 asks for the topmost owned window.
  SetForegroundWindow(other);
  SetForegroundWindow(reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(owner) | 1));
  emu::Pump();
  EXPECT_EQ(GetForegroundWindow(), zoom);
  HWND splash = Make(u"Splash", 0, 0, 240, 320);
  SetWindowPos(splash, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(owner);
  emu::Pump();
  EXPECT_EQ(Order().front(), splash);
  // Destroying the owner takes its owned windows with it.
  DestroyWindow(owner);
  EXPECT_FALSE(IsWindow(zoom));
  DestroyWindow(other);
  DestroyWindow(splash);
}

TEST_F(Windows, HidingAndMovingRepaintWhatWasUnderneath) {
  HWND back = Make(u"Back", 0, 26, 240, 294);
  HWND front = Make(u"Front", 50, 100, 100, 100);
  emu::Log().clear();
  ShowWindow(front, SW_HIDE);
  emu::Pump();
  EXPECT_FALSE(IsWindowVisible(front));
  EXPECT_EQ(emu::Messages(back, {WM_PAINT}).size(), 1u);
  RECT update;
  EXPECT_FALSE(GetUpdateRect(back, &update, FALSE));  // painted
  ShowWindow(front, SW_SHOW);
  emu::Pump();
  emu::Log().clear();
  MoveWindow(front, 10, 30, 120, 60, TRUE);
  auto sizes = emu::Messages(front, {WM_SIZE});
  ASSERT_EQ(sizes.size(), 1u);
  for (const auto& m : emu::Log()) {
    if (m.hwnd == front && m.message == WM_SIZE) {
      EXPECT_EQ(LOWORD(m.lParam), 120);
      EXPECT_EQ(HIWORD(m.lParam), 60);
    }
  }
  emu::Pump();
  EXPECT_FALSE(emu::Messages(back, {WM_PAINT}).empty());
  DestroyWindow(front);
  DestroyWindow(back);
}

TEST_F(Windows, BordersGeometryAndWindowData) {
  HWND w = Make(u"W", 20, 40, 100, 80, nullptr, WS_VISIBLE | WS_BORDER);
  RECT c, r;
  GetClientRect(w, &c);
  GetWindowRect(w, &r);
  EXPECT_EQ(c.right, 98);
  EXPECT_EQ(c.bottom, 78);
  EXPECT_EQ(r.left, 20);
  EXPECT_EQ(r.top, 40);
  POINT p{0, 0};
  ClientToScreen(w, &p);
  EXPECT_EQ(p.x, 21);
  EXPECT_EQ(p.y, 41);
  HWND child = Make(u"C", 5, 6, 10, 10, w, WS_CHILD | WS_VISIBLE);
  POINT q{0, 0};
  MapWindowPoints(child, w, &q, 1);
  EXPECT_EQ(q.x, 5);
  EXPECT_EQ(q.y, 6);
  EXPECT_EQ(WindowFromPoint(POINT{27, 48}), child);
  EXPECT_EQ(WindowFromPoint(POINT{60, 80}), w);
  SetWindowLongPtr(w, GWL_USERDATA, 0x1234);
  EXPECT_EQ(GetWindowLongPtr(w, GWL_USERDATA), 0x1234);
  EXPECT_EQ(GetWindowLong(w, GWL_STYLE) & WS_VISIBLE, static_cast<LONG>(WS_VISIBLE));
  WCHAR text[8];
  EXPECT_EQ(GetWindowText(w, text, 8), 1);
  EXPECT_EQ(GetWindowTextLength(w), 1);
  // Handles are even: bit 0 stays free.
  EXPECT_EQ(reinterpret_cast<uintptr_t>(w) & 1, 0u);
  DestroyWindow(w);
  EXPECT_EQ(GetWindowLongPtr(w, GWL_USERDATA), 0);
}

TEST_F(Windows, ClassesAreFoundIgnoringCaseAndRegisteredOnce) {
  WNDCLASS wc{};
  EXPECT_TRUE(GetClassInfo(nullptr, u"rec", &wc));
  EXPECT_TRUE(GetClassInfo(nullptr, u"BUTTON", &wc));
  WNDCLASS again{};
  again.lpfnWndProc = DefWindowProc;
  again.lpszClassName = u"Rec";
  EXPECT_EQ(RegisterClass(&again), 0);
  EXPECT_EQ(CreateWindow(u"NoSuchClass", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(CreateWindow(u"REC", u"", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_FALSE(UnregisterClass(u"button", nullptr));  // the system's own
}

// A control draws from its own enabled state: a disabled parent (the main
// window during a print job) does not grey it: a check box's frame is black
// while it is enabled.
TEST_F(Windows, ControlsDrawFromTheirOwnEnabledState) {
  HWND parent = Make(u"Main", 0, 26, 240, 294);
  HWND box = CreateWindow(u"button", u"", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, 10, 10, 40, 20, parent,
                          nullptr, nullptr, nullptr);
  for (bool own : {false, true}) {
    EnableWindow(parent, FALSE);
    EnableWindow(box, own);
    InvalidateRect(box, nullptr, FALSE);
    emu::Pump();
    EXPECT_EQ(emu::ScreenAt(10, 26 + 10 + 8) == 0, own) << own;
  }
}

}  // namespace
