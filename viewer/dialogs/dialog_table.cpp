#include "viewer/dialogs/dialog_table.h"

#include <array>
#include <string>

#include "viewer/app/state.h"

namespace zelmo {

namespace {

// One row per dialog, as the dialogs come: {resource, wide twin or nullptr,
// its control ids (a constexpr int array of their own)}.
constexpr int kPrintIds[] = {1020, 1021, 1022, 1040, 1041, 1090, 1091, 1010, 1011, 1023,
                             1024, 1025, 1026, 1027, 1051, 1050, 1,    2};
constexpr int kPrintProgressIds[] = {1070, 1071, 1072, 2};
constexpr std::array<DialogUse, 2> kDialogs{{
    {u"PRINT", nullptr, kPrintIds},
    {u"PRINTDLGBOX", nullptr, kPrintProgressIds},
}};

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
