// Presenters: what shows the screen and feeds the input.  Chosen by name
// from a table; each is a set of plain procedures.
#pragma once

#include <atomic>
#include <string>

#include "platform/kernel/internal.h"

namespace ce::internal {

struct Presenter {
  const char* name;
  // Before the emulator starts: false with a message when it cannot work
  // (no display).
  bool (*Open)(const EmulatorConfig& config, std::string* error);
  // Runs until the program ends (or the script or the user ends it);
  // returns 0 or a failure status.
  int (*Run)(const EmulatorConfig& config, const std::atomic<bool>& programEnded);
  void (*Close)();
};

extern const Presenter kHeadlessPresenter;
extern const Presenter kSdlPresenter;
const Presenter* FindPresenter(const std::string& name);
bool CloseProgram(const std::atomic<bool>& ended, int waitMs);

}  // namespace ce::internal
