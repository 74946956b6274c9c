// Helpers for the emulator tests: a started device per test, message pumps,
// and a recording window class.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/ce.h"
#include "platform/emulator.h"

namespace emu {

// A device folder under the temporary directory, removed afterwards.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Starts a headless device of the given model for one test.
class Device : public ::testing::Test {
 protected:
  void Start(const std::string& model, ce::EmulatorConfig config = {});
  void SetUp() override;
  void TearDown() override;
  TempFolder folder_;
};

// Dispatches this thread's messages until none is left.
void Pump();
// Dispatches messages until `done` holds or the time runs out.
template <typename F>
bool PumpUntil(F done, int timeoutMs = 3000);

// A window class whose procedure records every message it sees.
struct Recorded {
  ce::UINT message;
  ce::WPARAM wParam;
  ce::LPARAM lParam;
  ce::HWND hwnd;
  ce::DWORD thread;
};
std::vector<Recorded>& Log();
std::vector<ce::UINT> Messages(ce::HWND hwnd, std::initializer_list<ce::UINT> only);
void RegisterRecordingClass(const char16_t* name, ce::UINT style = 0);

// The screen as 0xRRGGBB values, and a pixel of it.
uint32_t ScreenAt(int x, int y);

bool PumpOnce();

template <typename F>
bool PumpUntil(F done, int timeoutMs) {
  for (int waited = 0; waited < timeoutMs; ++waited) {
    while (PumpOnce()) {
    }
    if (done()) return true;
    ce::Sleep(1);
  }
  return done();
}

}  // namespace emu

namespace emu {

// A PNG file read back as 0xRRGGBB pixels.
struct Png {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
bool ReadPng(const std::string& path, Png* out);

// A 24-bit top-down section selected into a memory DC.
struct Canvas {
  ce::HDC dc = nullptr;
  ce::HBITMAP bitmap = nullptr;
  ce::HGDIOBJ old = nullptr;
  uint8_t* bits = nullptr;
  int width = 0;
  int height = 0;
  Canvas(int w, int h);
  ~Canvas();
  uint32_t at(int x, int y) const;  // 0xRRGGBB
};

}  // namespace emu
