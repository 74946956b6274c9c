// A second emulator process for the tests of the shared device folder: it
// shows a window, writes a registry value, and waits for a message posted by
// the other process; then it reports what it received and what the
// registry says.
#include <cstdio>
#include <string>

#include "platform/ce.h"
#include "platform/emulator.h"

using namespace ce;

namespace {

WPARAM gReceived = 0;

LRESULT PeerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_USER + 7) {
    gReceived = wParam;
    return 0;
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

std::u16string ReadValue(const char16_t* name) {
  HKEY key;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarnwick\\Zelmo", 0, KEY_READ, &key)) return u"";
  WCHAR text[128] = {};
  DWORD size = sizeof(text) - 2;
  RegQueryValueEx(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(key);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: platform_peer DEVICE-FOLDER\n");
    return 2;
  }
  EmulatorConfig config;
  config.root = argv[1];
  config.headless = true;
  std::string error;
  if (!StartEmulator(config, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  WNDCLASS wc{};
  wc.lpfnWndProc = PeerProc;
  wc.lpszClassName = u"PEERCLASS";
  RegisterClass(&wc);
  HWND w = CreateWindow(u"PEERCLASS", u"Peer Window", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
  HWND other = CreateWindow(u"PEERCLASS", u"Other", WS_VISIBLE, 0, 100, 50, 50, nullptr, nullptr,
                            nullptr, nullptr);
  HKEY key;
  RegCreateKeyEx(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarnwick\\Zelmo", 0, nullptr, 0, KEY_ALL_ACCESS,
                 nullptr, &key, nullptr);
  std::u16string shared = u"from peer";
  RegSetValueEx(key, u"Shared", 0, REG_SZ, reinterpret_cast<const BYTE*>(shared.c_str()),
                static_cast<DWORD>((shared.size() + 1) * 2));
  RegCloseKey(key);
  std::printf("ready\n");
  std::fflush(stdout);
  DWORD start = GetTickCount();
  MSG msg;
  while (gReceived == 0 && GetTickCount() - start < 10000) {
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
    Sleep(2);
  }
  bool front = GetForegroundWindow() == w;
  std::string reply;
  for (char16_t c : ReadValue(u"Reply")) reply.push_back(static_cast<char>(c));
  std::printf("got %lu %s front=%d\n", static_cast<unsigned long>(gReceived), reply.c_str(),
              front ? 1 : 0);
  DestroyWindow(other);
  DestroyWindow(w);
  StopEmulator();
  return gReceived ? 0 : 1;
}
