#include "support/viewer.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <span>

#include "viewer/app/startup.h"
#include "viewer/app/state.h"

std::span<const ce::ResourceFile> ViewerResources();

namespace vt {

using namespace ce;

namespace {

struct ProgramRun {
  std::u16string commandLine;
  std::atomic<int> exitCode{-1};
};
ProgramRun gRun;

DWORD ProgramThread(void*) {
  std::u16string line = gRun.commandLine;
  gRun.exitCode = zelmo::WinMain(ProgramInstance(), nullptr, line.data(), SW_SHOW);
  return 0;
}

HKEY OpenSettings(bool create) {
  HKEY key = nullptr;
  LONG r = create ? RegCreateKeyEx(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarnwick\\Zelmo", 0, nullptr, 0,
                                   KEY_ALL_ACCESS, nullptr, &key, nullptr)
                  : RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarnwick\\Zelmo", 0, KEY_READ, &key);
  return r == ERROR_SUCCESS ? key : nullptr;
}

}  // namespace

const char16_t* const kSettingsNames[36] = {
    u"BkColor",       u"MainKeys",        u"FullscreenKeys",   u"ThumbKeys",    u"SaveType",
    u"PrintPort",     u"PrintRes",        u"PrintOrient",      u"PrintMethod",  u"EmailSize",
    u"EmailType",     u"ThumbShape",      u"SortOrder",        u"VideoSize",    u"VideoRotate",
    u"ToolBars",      u"TransitionSpeed", u"TransitionEffect", u"SlideDelay",   u"AnimationRate",
    u"ThumbSize",     u"JPEGQuality",     u"JPEGSize",         u"Capture24bpp", u"CaptureCount",
    u"CaptureType",   u"CaptureDelay",    u"DefView",          u"DirFilter",    u"CustomView",
    u"Options",       u"ZoomCX",          u"ZoomCY",           u"CaptureName",  u"CaptureDir",
    u"CurDir",
};

void ViewerTest::StartDevice(const std::string& model, EmulatorConfig config, bool withSamples) {
  SetProgramResources(ViewerResources());
  config.device = model;
  config.root = Root();
  config.headless = true;
  config.clock = "12:00";
  if (withSamples) config.samples = ZELMO_SAMPLES;
  std::string error;
  ASSERT_TRUE(StartEmulator(config, &error)) << error;
  started_ = true;
  ASSERT_TRUE(WaitIdle(5000));
}

void ViewerTest::Launch(const std::u16string& commandLine) {
  gRun.commandLine = commandLine;
  gRun.exitCode = -1;
  program_ = CreateThread(nullptr, 0, ProgramThread, nullptr, 0, nullptr);
  ASSERT_NE(program_, nullptr);
}

void ViewerTest::EndSplash() {
  // The picture comes up on the program's thread; wait for it first.
  for (int i = 0; i < 500 && !FindWindow(u"ZLSTARTUPCLASS", nullptr) && !FindWindow(u"RAVLO2", u"Zelmo"); ++i)
    Sleep(5);
  ASSERT_TRUE(WaitIdle(5000));
  InjectPen(PenAction::kDown, 120, 160);
  InjectPen(PenAction::kUp, 120, 160);
  for (int i = 0; i < 500 && !FindWindow(u"RAVLO2", u"Zelmo"); ++i) Sleep(10);
  ASSERT_NE(FindWindow(u"RAVLO2", u"Zelmo"), nullptr);
  ASSERT_TRUE(WaitIdle(5000));
}

int ViewerTest::WaitEnd(int timeoutMs) {
  if (!program_) return gRun.exitCode;
  if (WaitForSingleObject(program_, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) return -1;
  CloseHandle(program_);
  program_ = nullptr;
  return gRun.exitCode;
}

int ViewerTest::Quit() {
  if (!program_) return gRun.exitCode;
  if (HWND main = FindWindow(u"RAVLO2", u"Zelmo")) PostMessage(main, WM_CLOSE, 0, 0);
  return WaitEnd();
}

void ViewerTest::TearDown() {
  if (program_) {
    Quit();
    if (program_) {
      ADD_FAILURE() << "the viewer did not end";
      program_ = nullptr;
    }
  }
  if (started_) StopEmulator();
  started_ = false;
}

std::string ViewerTest::HostPath(const std::string& devicePath) const {
  return Root() + "/" + devicePath;
}

void SetDword(const char16_t* name, uint32_t value) {
  HKEY key = OpenSettings(true);
  ASSERT_NE(key, nullptr);
  RegSetValueEx(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
  RegCloseKey(key);
}

void SetString(const char16_t* name, const std::u16string& value) {
  HKEY key = OpenSettings(true);
  ASSERT_NE(key, nullptr);
  RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                static_cast<DWORD>((value.size() + 1) * 2));
  RegCloseKey(key);
}

void SetBytes(const char16_t* name, DWORD type, const std::vector<uint8_t>& bytes) {
  HKEY key = OpenSettings(true);
  ASSERT_NE(key, nullptr);
  RegSetValueEx(key, name, 0, type, bytes.data(), static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
}

bool GetDword(const char16_t* name, uint32_t* value) {
  HKEY key = OpenSettings(false);
  if (!key) return false;
  DWORD size = 4, type = 0;
  bool ok = RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                ERROR_SUCCESS &&
            size == 4 && type == REG_DWORD;
  RegCloseKey(key);
  return ok;
}

bool GetString(const char16_t* name, std::u16string* value) {
  HKEY key = OpenSettings(false);
  if (!key) return false;
  WCHAR text[600] = {};
  DWORD size = sizeof(text) - 2;
  bool ok = RegQueryValueEx(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) ==
            ERROR_SUCCESS;
  RegCloseKey(key);
  if (ok) *value = text;
  return ok;
}

bool SettingsKeyExists() {
  HKEY key = OpenSettings(false);
  if (key) RegCloseKey(key);
  return key != nullptr;
}

int SettingsValueCount() {
  HKEY key = OpenSettings(false);
  if (!key) return 0;
  int n = 0;
  for (const char16_t* name : kSettingsNames) {
    DWORD size = 0;
    if (RegQueryValueEx(key, name, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) ++n;
  }
  RegCloseKey(key);
  return n;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

Outcome RunZelmo(const std::string& arguments) {
  Outcome o;
  std::string command = std::string(ZELMO_VIEWER) + " " + arguments + " 2>&1";
  FILE* p = popen(command.c_str(), "r");
  if (!p) return o;
  std::array<char, 512> buffer;
  while (std::fgets(buffer.data(), buffer.size(), p)) o.output += buffer.data();
  int status = pclose(p);
  o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return o;
}

}  // namespace vt
