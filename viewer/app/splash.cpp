// The start-up picture: full screen, on top, until three seconds have passed
// or the user taps or presses a key.
#include "viewer/app/startup.h"
#include "viewer/app/state.h"
#include "viewer/app/windows.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr uintptr_t kSplashTimer = 19;
constexpr UINT kSplashMilliseconds = 3000;
constexpr int kPictureWidth = 240;
constexpr int kPictureHeight = 320;

// The window keeps its picture in its user data.
HBITMAP Picture(HWND hwnd) { return reinterpret_cast<HBITMAP>(GetWindowLongPtr(hwnd, GWL_USERDATA)); }

// The picture centred; on a smaller screen its middle is shown.
void PaintSplash(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT client;
  GetClientRect(hwnd, &client);
  if (HBITMAP picture = Picture(hwnd)) {
    int dx = (client.right - kPictureWidth) / 2, dy = (client.bottom - kPictureHeight) / 2;
    int sx = 0, sy = 0;
    if (dx < 0) sx = -dx, dx = 0;
    if (dy < 0) sy = -dy, dy = 0;
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, picture);
    BitBlt(dc, dx, dy, kPictureWidth - sx, kPictureHeight - sy, memory, sx, sy, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
  }
  EndPaint(hwnd, &ps);
}

bool EndsSplash(const MSG& m, HWND splash) {
  switch (m.message) {
    case WM_KEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN: return true;
    case WM_TIMER: return m.hwnd == splash && m.wParam == kSplashTimer;
    default: return false;
  }
}

}  // namespace

LRESULT SplashWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE:
      SetWindowLongPtr(hwnd, GWL_USERDATA,
                       reinterpret_cast<intptr_t>(LoadBitmap(gApp.instance, u"STARTUP")));
      return 0;
    case WM_DESTROY:
      if (HBITMAP picture = Picture(hwnd)) DeleteObject(picture);
      SetWindowLongPtr(hwnd, GWL_USERDATA, 0);
      return 0;
    case WM_PAINT: PaintSplash(hwnd); return 0;
    default: return DefWindowProc(hwnd, msg, wParam, lParam);
  }
}

void ShowSplash() {
  HWND splash = CreateWindow(u"ZLSTARTUPCLASS", u"", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, gApp.instance, nullptr);
  if (!splash) return;
  ShowWindow(splash, SW_SHOW);
  SetWindowPos(splash, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SHFullScreen(splash, SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON);
  MoveWindow(splash, 0, 0, gApp.screenWidth, gApp.screenHeight, TRUE);
  SetCapture(splash);
  SetTimer(splash, kSplashTimer, kSplashMilliseconds, nullptr);
  for (;;) {
    Sleep(10);
    if (!IsWindow(splash)) break;
    MSG m;
    if (!PeekMessage(&m, nullptr, 0, 9999, PM_REMOVE)) continue;
    if (m.message == WM_QUIT) {
      // Someone asked the program to end: leave that for the message loop.
      PostQuitMessage(static_cast<int>(m.wParam));
      break;
    }
    if (EndsSplash(m, splash)) break;
    DispatchMessage(&m);
  }
  ReleaseCapture();
  if (IsWindow(splash)) {
    KillTimer(splash, kSplashTimer);
    DestroyWindow(splash);
  }
}

}  // namespace zelmo
