// The resource check of dialog templates: every template in a resource set
// loads, places itself (full screen, centred, or a property page), keeps
// its control ids unique and its controls inside each layout, fits its
// screen, and holds every control the program names.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "platform/emulator.h"

namespace emu {

struct DialogUse {
  std::string resource;  // as the program names it: "PageBox", "123"
  std::string wideTwin;  // its wide layout's own resource, or ""
  std::vector<int> controls;
};

// One line per problem ("dialogs/X.dlg: ..."); empty when all is well.
std::vector<std::string> CheckDialogTemplates(std::span<const ce::ResourceFile> files,
                                              const std::vector<DialogUse>& uses);

}  // namespace emu
