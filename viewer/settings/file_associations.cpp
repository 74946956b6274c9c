// "Associate File Types": the viewer's document class and the extensions
// the user ticks, written under the registry's class root.  Current
// associations are neither shown nor removed.
#include <iterator>
#include <string>

#include "platform/emulator.h"
#include "viewer/app/state.h"
#include "viewer/dialogs/dialog_common.h"
#include "viewer/settings/preferences.h"
#include "viewer/settings/registry_values.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr int kHelp = 40011;
constexpr int kFirstBox = 1001;
constexpr const char16_t* kDocumentClass = u"Ravlo.Document";

// Check box 1001 + i and the extension keys it writes.
struct FileType {
  const char16_t* extensions[2];
};
constexpr FileType kFileTypes[] = {
    {{u".tif", nullptr}}, {{u".bmp", nullptr}}, {{u".pcx", nullptr}},
    {{u".gif", nullptr}}, {{u".jpg", u".jpeg"}}, {{u".dcx", nullptr}},
    {{u".avi", nullptr}}, {{u".mov", nullptr}}, {{u".awd", nullptr}},
};
constexpr int kFileTypeCount = static_cast<int>(std::size(kFileTypes));

void SetDefaultValue(const std::u16string& path, const std::u16string& value) {
  HKEY key;
  if (RegCreateKeyEx(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return;
  WriteString(key, u"", value);
  RegCloseKey(key);
}

BOOL AssociateProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: LogMilestone("dialog Associate File Types shown"); return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK: {
          unsigned ticked = 0;
          for (int i = 0; i < kFileTypeCount; ++i) {
            if (IsDlgButtonChecked(dialog, kFirstBox + i) == BST_CHECKED) ticked |= 1u << i;
          }
          RegisterFileTypes(ticked);
          EndDialog(dialog, IDOK);
          return TRUE;
        }
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        case kHelp: StartHelp(u"associate"); return TRUE;
        default: return TRUE;
      }
    default: return FALSE;
  }
}

}  // namespace

void RegisterFileTypes(unsigned ticked) {
  const std::u16string program = gApp.programDirectory + u"zelmo.exe";
  const std::u16string root = kDocumentClass;
  SetDefaultValue(root, u"Ravlo Document");
  SetDefaultValue(root + u"\\Shell", u"Open");
  SetDefaultValue(root + u"\\DefaultIcon", program + u",0");
  SetDefaultValue(root + u"\\Shell\\Open\\Command", u"\"" + program + u"\" %1");
  for (int i = 0; i < kFileTypeCount; ++i) {
    if (!(ticked & (1u << i))) continue;
    for (const char16_t* extension : kFileTypes[i].extensions) {
      if (extension) SetDefaultValue(extension, root);
    }
  }
}

intptr_t FileAssociationsCommand(HWND) { return ShowDialog(u"FILEASSOC", AssociateProc, 0); }

}  // namespace zelmo
