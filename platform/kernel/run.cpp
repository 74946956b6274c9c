// Running a program on the emulator: options, the program's user-interface
// thread, and the presenter on the calling thread.
#include <atomic>
#include <cstdio>
#include <thread>

#include "platform/devices/files_internal.h"
#include "platform/present/present.h"

namespace ce {

using namespace internal;

namespace {

struct Program {
  WinMainProc winMain;
  std::u16string commandLine;
  std::atomic<int> exitCode{0};
  std::atomic<bool> ended{false};
};

DWORD ProgramThread(void* arg) {
  auto* p = static_cast<Program*>(arg);
  std::u16string line = p->commandLine;
  p->exitCode = p->winMain(ProgramInstance(), nullptr, line.data(), SW_SHOW);
  p->ended = true;
  return 0;
}

void PrintDevices() {
  std::printf("%-12s %-10s %4s  %s\n", "device", "screen", "row", "model");
  for (const DeviceModel& d : DeviceModels()) {
    char screen[32];
    std::snprintf(screen, sizeof(screen), "%dx%dx%d", d.width, d.height, d.depth);
    std::printf("%-12s %-10s %4d  %s%s%s\n", d.alias, screen, d.deviceIndex, d.oemInfo,
                d.platformName ? ", platform " : "", d.platformName ? d.platformName : "");
  }
  std::printf("(the unknown model takes any screen: --screen 320x240x16, 480x640x16, 240x320x8 ...)\n");
}

}  // namespace

namespace internal {

const Presenter* FindPresenter(const std::string& name) {
  static const Presenter* const kPresenters[] = {&kHeadlessPresenter, &kSdlPresenter};
  for (const Presenter* p : kPresenters) {
    if (name == p->name) return p;
  }
  return &kHeadlessPresenter;
}

// Asks every window of the program to close, and waits for it to end.
bool CloseProgram(const std::atomic<bool>& ended, int waitMs) {
  std::vector<HWND> windows;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    for (HWND h : Sys().zorder) {
      Window* w = FindWindowLocked(h);
      if (w && !w->shell) windows.push_back(h);
    }
  }
  for (HWND h : windows) PostMessage(h, WM_CLOSE, 0, 0);
  for (int i = 0; i < waitMs / 5 && !ended; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return ended;
}

}  // namespace internal

int RunEmulator(int argc, char** argv, WinMainProc winMain, const char* samplesFolder,
                const char* programUsage) {
  EmulatorConfig config;
  std::vector<std::string> rest;
  std::string error;
  if (!ParseEmulatorOptions(argc, argv, &config, &rest, &error)) {
    std::fprintf(stderr, "zelmo: %s\n", error.c_str());
    return 2;
  }
  if (config.help) {
    if (programUsage) std::printf("%s\n", programUsage);
    std::fputs(EmulatorUsage(config).c_str(), stdout);
    return 0;
  }
  if (config.listDevices) {
    PrintDevices();
    return 0;
  }
  if (config.samples.empty() && samplesFolder) config.samples = samplesFolder;
  const Presenter* presenter = FindPresenter(config.headless ? "headless" : "sdl");
  if (!presenter->Open(config, &error)) {
    std::fprintf(stderr, "zelmo: %s\n", error.c_str());
    return 2;
  }
  if (!StartEmulator(config, &error)) {
    std::fprintf(stderr, "zelmo: %s\n", error.c_str());
    presenter->Close();
    return 2;
  }
  // A host file named on the command line reaches the program by its
  // device path, whether it exists or not; a device path stays as it is.
  std::u16string line;
  for (const std::string& arg : rest) {
    std::u16string piece = arg.rfind('\\', 0) == 0 ? ToU16(arg) : HostToDevice(arg);
    if (!line.empty()) line += u" ";
    line += piece;
  }
  static Program program;  // the program thread may outlive this call
  program.winMain = winMain;
  program.commandLine = line;
  program.exitCode = 0;
  program.ended = false;
  HANDLE thread = CreateThread(nullptr, 0, ProgramThread, &program, 0, nullptr);
  int status = presenter->Run(config, program.ended);
  presenter->Close();
  WaitForSingleObject(thread, 2000);
  if (status != 0) return status;
  return program.ended ? program.exitCode.load() : 0;
}

}  // namespace ce
