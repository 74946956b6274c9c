// The headless presenter: no window; a script drives the device, or the
// program simply runs until it ends.  Screenshots come from screen memory.
#include <thread>

#include "platform/present/present.h"

namespace ce::internal {

namespace {

bool Open(const EmulatorConfig&, std::string*) {
  SetPresenterHooks(nullptr);
  return true;
}

// Whether the program shows a top-level window yet.
bool ProgramWindowShown() {
  std::lock_guard<std::mutex> lk(Sys().lock);
  for (auto& [id, w] : Sys().windows) {
    if (!w->shell && !w->parent && IsVisibleLocked(w.get())) return true;
  }
  return false;
}

int Run(const EmulatorConfig& config, const std::atomic<bool>& ended) {
  if (config.script.empty()) {
    while (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return 0;
  }
  // A script starts with the program's first window (or its end), so that
  // its first line does not act before the program is there.
  for (int waited = 0; waited < 10000 && !ended && !ProgramWindowShown(); waited += 5)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  bool quit = false;
  int status = RunScript(config.script, &quit);
  // The end of the script, or `quit`, ends the program as closing its
  // windows would.
  if (!ended) CloseProgram(ended, 5000);
  return status;
}

void Close() {}

}  // namespace

extern const Presenter kHeadlessPresenter = {"headless", Open, Run, Close};

}  // namespace ce::internal
