// Helpers for the viewer's tests: a headless device per test, the viewer's
// entry point run on its own thread as the emulator runs it, the `zelmo`
// program run as a child process, and registry and file shortcuts.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "platform/ce.h"
#include "platform/emulator.h"
#include "support/emu.h"

namespace vt {

class ViewerTest : public ::testing::Test {
 protected:
  // Starts a headless device of `model` with its device folder under the
  // test's folder (samples copied into \My Documents unless told).
  void StartDevice(const std::string& model = "ipaq3600", ce::EmulatorConfig config = {},
                   bool withSamples = true);
  // Runs the viewer's WinMain on a program thread with `commandLine`.
  void Launch(const std::u16string& commandLine = u"");
  // Taps the screen (ends the start-up picture) and waits for the main
  // window.
  void EndSplash();
  // Waits until the program thread has ended; its exit code, -1 on time-out.
  int WaitEnd(int timeoutMs = 5000);
  // Closes the main window and waits for the program to end.
  int Quit();
  void TearDown() override;

  std::string Root() const { return folder_.path() + "/device"; }
  std::string HostPath(const std::string& devicePath) const;  // "My Documents/a" under the root

  emu::TempFolder folder_;
  ce::HANDLE program_ = nullptr;
  bool started_ = false;
};

// Registry values of the viewer's key.
void SetDword(const char16_t* name, uint32_t value);
void SetString(const char16_t* name, const std::u16string& value);
void SetBytes(const char16_t* name, ce::DWORD type, const std::vector<uint8_t>& bytes);
bool GetDword(const char16_t* name, uint32_t* value);
bool GetString(const char16_t* name, std::u16string* value);
bool SettingsKeyExists();
int SettingsValueCount();  // of the 36 names

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFile(const std::string& path);
bool Exists(const std::string& path);

// A child process: its exit status and everything it wrote.
struct Outcome {
  int status = -1;
  std::string output;
};
Outcome RunZelmo(const std::string& arguments);

// The viewer's names of the 36 settings values.
extern const char16_t* const kSettingsNames[36];

}  // namespace vt
