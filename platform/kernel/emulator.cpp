// Starting and stopping the emulated device.
#include <algorithm>

#include "platform/gdi/gdi_internal.h"

namespace ce {

using namespace internal;

bool StartEmulator(const EmulatorConfig& config, std::string* error) {
  if (EmulatorRunning()) StopEmulator();
  const DeviceModel* device = ConfiguredModel(config);
  if (!device) {
    if (error) *error = "unknown device \"" + config.device + "\" (--list-devices lists them)";
    return false;
  }
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    System& s = Sys();
    ++s.generation;
    s.config = config;
    s.device = device;
    s.start = Clock::now();
    std::fill(std::begin(s.keyDown), std::end(s.keyDown), false);
    for (int vk : config.heldKeys) s.keyDown[vk & 0xFF] = true;
    s.penDown = false;
    s.penPos = POINT{0, 0};
    s.running = true;
  }
  SetupScreen(*device);
  ResetGdi();
  ResetMenus();
  ResetMessageBoxes();
  ResetImageLists();
  RegisterSystemClasses();
  if (!StartServices(config, error)) {
    StopEmulator();
    return false;
  }
  StartShell();
  return true;
}

void StopEmulator() {
  StopShell();
  StopServices();
  std::vector<std::unique_ptr<Window>> gone;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    System& s = Sys();
    for (auto& [id, w] : s.windows) {
      if (w->control && w->controlFree) w->controlFree(w->control);
      w->control = nullptr;
      gone.push_back(std::move(w));
    }
    s.windows.clear();
    s.zorder.clear();
    s.classes.clear();
    for (auto& [id, q] : s.threads) {
      for (SentMessage* m : q->sent) {
        m->done = true;
        if (m->sender) m->sender->wake.notify_all();
      }
      q->sent.clear();
      q->alive = false;
      q->wake.notify_all();
    }
    s.threads.clear();
    s.timers.clear();
    s.hotkeys.clear();
    s.foreground = s.focus = s.capture = s.taskBar = s.desktop = nullptr;
    s.penTarget = s.lastDownWindow = s.ncScroll = nullptr;
    s.running = false;
    ++s.generation;
  }
  ResetMenus();
  ResetImageLists();
  ResetGdi();
  ResetKernelObjects();
}

bool EmulatorRunning() {
  std::lock_guard<std::mutex> lk(Sys().lock);
  return Sys().running;
}

}  // namespace ce
