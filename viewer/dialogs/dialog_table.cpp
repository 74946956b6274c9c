#include "viewer/dialogs/dialog_table.h"

#include <array>
#include <string>

#include "viewer/app/state.h"

namespace zelmo {

namespace {

// One row per dialog, as the dialogs come: {resource, wide twin or nullptr,
// its control ids (a constexpr int array of their own)}.
constexpr int kVideoInformation[] = {1070, 1073, 1075, 1076, 1078, 1079, 1082, 1083, 1084};
constexpr std::array kDialogs{
    DialogUse{u"134", nullptr, kVideoInformation},
};

}  // namespace

std::span<const DialogUse> DialogsInUse() { return kDialogs; }

ce::LPCWSTR DialogResource(ce::LPCWSTR resource) {
  if (!gApp.largeScreen || !resource) return resource;
  // Numbered resources are named by their number in the table.
  std::u16string name;
  if (ce::IS_INTRESOURCE(resource)) {
    for (char c : std::to_string(reinterpret_cast<uintptr_t>(resource))) name.push_back(static_cast<char16_t>(c));
  } else {
    name = resource;
  }
  for (const DialogUse& d : kDialogs) {
    if (d.wideTwin && name == d.resource) return d.wideTwin;
  }
  return resource;
}

}  // namespace zelmo
