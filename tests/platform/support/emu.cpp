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

#include <png.h>

namespace emu {

bool ReadPng(const std::string& path, Png* out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return false;
  out->width = static_cast<int>(image.width);
  out->height = static_cast<int>(image.height);
  out->pixels.resize(static_cast<size_t>(out->width) * out->height);
  for (size_t i = 0; i < out->pixels.size(); ++i)
    out->pixels[i] = (static_cast<uint32_t>(rgb[i * 3]) << 16) | (rgb[i * 3 + 1] << 8) | rgb[i * 3 + 2];
  return true;
}

Canvas::Canvas(int w, int h) : width(w), height(h) {
  ce::BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(ce::BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* p = nullptr;
  bitmap = ce::CreateDIBSection(nullptr, &bi, ce::DIB_RGB_COLORS, &p, nullptr, 0);
  bits = static_cast<uint8_t*>(p);
  dc = ce::CreateCompatibleDC(nullptr);
  old = ce::SelectObject(dc, bitmap);
}

Canvas::~Canvas() {
  ce::SelectObject(dc, old);
  ce::DeleteDC(dc);
  ce::DeleteObject(bitmap);
}

uint32_t Canvas::at(int x, int y) const {
  size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  const uint8_t* p = bits + y * stride + x * 3;
  return (static_cast<uint32_t>(p[2]) << 16) | (p[1] << 8) | p[0];
}

}  // namespace emu
