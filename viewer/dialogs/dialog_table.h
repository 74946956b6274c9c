// The dialog templates the viewer shows (resources/dialogs) and, for each,
// every control id its code names.  The resource check test holds the
// templates to this table, so a dialog's code and its template cannot drift
// apart: whoever adds a dialog adds its row in dialog_table.cpp.
#pragma once

#include <span>

#include "platform/ce.h"

namespace zelmo {

struct DialogUse {
  const char16_t* resource;  // "PageBox", or a number as text ("123")
  const char16_t* wideTwin;  // the wide layout's own resource, or nullptr
  std::span<const int> controls;
};

std::span<const DialogUse> DialogsInUse();

// The resource to show: the wide twin on a large screen when the dialog has
// one (the other dialogs hold both layouts in one resource).
ce::LPCWSTR DialogResource(ce::LPCWSTR resource);

}  // namespace zelmo
