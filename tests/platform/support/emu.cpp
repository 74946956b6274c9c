#include "support/emu.h"

#include <unistd.h>

#include <random>

namespace emu {

TempFolder::TempFolder() {
  std::random_device rd;
  path_ = (std::filesystem::temp_directory_path() /
           ("zelmo-test-" + std::to_string(getpid()) + "-" + std::to_string(rd())))
              .string();
  std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void Device::Start(const std::string& model, ce::EmulatorConfig config) {
  config.device = model;
  config.root = folder_.path() + "/device";
  config.headless = true;
  config.clock = "12:00";
  config.secondInstanceService = false;
  std::string error;
  ASSERT_TRUE(ce::StartEmulator(config, &error)) << error;
  ASSERT_TRUE(ce::WaitIdle(5000));
}

void Device::SetUp() { Log().clear(); }

void Device::TearDown() {
  ce::StopEmulator();
  Log().clear();
}

bool PumpOnce() {
  ce::MSG msg;
  if (!ce::PeekMessage(&msg, nullptr, 0, 0, ce::PM_REMOVE)) return false;
  ce::TranslateMessage(&msg);
  ce::DispatchMessage(&msg);
  return true;
}

void Pump() {
  while (PumpOnce()) {
  }
}

std::vector<Recorded>& Log() {
  static std::vector<Recorded> log;
  return log;
}

namespace {
std::mutex gLogLock;

ce::LRESULT RecordingProc(ce::HWND hwnd, ce::UINT msg, ce::WPARAM wParam, ce::LPARAM lParam) {
  {
    std::lock_guard<std::mutex> lk(gLogLock);
    Log().push_back(Recorded{msg, wParam, lParam, hwnd, ce::GetCurrentThreadId()});
  }
  if (msg == ce::WM_PAINT) {
    ce::PAINTSTRUCT ps;
    ce::BeginPaint(hwnd, &ps);
    ce::EndPaint(hwnd, &ps);
    return 0;
  }
  return ce::DefWindowProc(hwnd, msg, wParam, lParam);
}
}  // namespace

std::vector<ce::UINT> Messages(ce::HWND hwnd, std::initializer_list<ce::UINT> only) {
  std::lock_guard<std::mutex> lk(gLogLock);
  std::vector<ce::UINT> out;
  for (const Recorded& r : Log()) {
    if (r.hwnd != hwnd) continue;
    for (ce::UINT m : only) {
      if (r.message == m) out.push_back(m);
    }
  }
  return out;
}

void RegisterRecordingClass(const char16_t* name, ce::UINT style) {
  ce::WNDCLASS wc{};
  wc.style = style;
  wc.lpfnWndProc = RecordingProc;
  wc.hbrBackground = static_cast<ce::HBRUSH>(ce::GetStockObject(ce::WHITE_BRUSH));
  wc.lpszClassName = name;
  ASSERT_NE(ce::RegisterClass(&wc), 0);
}

uint32_t ScreenAt(int x, int y) {
  std::vector<uint32_t> px = ce::ScreenPixels();
  int w = ce::GetSystemMetrics(ce::SM_CXSCREEN);
  return px[static_cast<size_t>(y) * w + x];
}

}  // namespace emu
