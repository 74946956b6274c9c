#include "viewer/dialogs/dialog_table.h"

#include <array>
#include <string>

#include "viewer/app/state.h"

namespace zelmo {

namespace {

// One row per dialog, as the dialogs come: {resource, wide twin or nullptr,
// its control ids (a constexpr int array of their own)}.
constexpr int kOpenIds[] = {1100, 1010, 1001, 1071, 1072, 1050, 1051, 1052, 1, 2};
constexpr int kSaveAsIds[] = {1100, 1040, 1010, 1050, 1, 2, 40011};
constexpr int kFolderIds[] = {1100, 1050, 1, 2};
constexpr int kCropIds[] = {430, 431, 432, 433, 1090, 1091, 1092, 1093, 410, 411, 1, 2, 40011};
constexpr int kResizeIds[] = {430, 431, 1090, 1091, 440, 441, 1001, 1, 2, 40011};
constexpr int kColorIds[] = {1070, 1010, 1020, 1021, 1, 2, 40011};
constexpr int kPageIds[] = {400, 1090, 410, 1, 2, 40011};
constexpr int kInfoIds[] = {1078, 1070, 1072, 1073, 1074, 1075, 1076, 1077, 1079, 1080, 1081, 1040, 1041, 1042};
constexpr int kAboutIds[] = {1070, 1073, 1074};
constexpr int kEmailIds[] = {1010, 1011, 1001, 1, 2, 1050};
constexpr int kVideoInformation[] = {1070, 1073, 1075, 1076, 1078, 1079, 1082, 1083, 1084};
constexpr int kPrintIds[] = {1020, 1021, 1022, 1040, 1041, 1090, 1091, 1010, 1011, 1023,
                             1024, 1025, 1026, 1027, 1051, 1050, 1,    2};
constexpr int kPrintProgressIds[] = {1070, 1071, 1072, 2};
constexpr int kPrefsIds[] = {1003, 1004, 1005, 1002, 1006, 1041, 1042, 1010, 1011, 1020, 1021, 1022, 1023, 1040, 40011};
constexpr int kCaptureIds[] = {1020, 1021, 1022, 1023, 1040, 1050, 1043, 1041, 1090, 1044, 1052, 1001, 40011};
constexpr int kSlideIds[] = {1010, 1011, 1040, 1008, 1001, 1003, 40011};
constexpr int kJpegIds[] = {1020, 1021, 1022, 1011, 1001, 1002, 40011};
constexpr int kToolbarIds[] = {1070, 1040, 1090, 1100, 1101, 1050, 1053, 1055, 1054, 1051, 40011};
constexpr int kVideoIds[] = {1001, 1002, 1003, 1020, 1021, 1023, 1024, 40011};
constexpr int kThumbIds[] = {1001, 1002, 1010, 1011, 40011};
constexpr int kButtonIds[] = {1100, 1010, 1020, 1021, 1022, 1050, 40011};
constexpr int kAssociateIds[] = {1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1, 2, 40011};
constexpr DialogUse kDialogs[] = {
    {u"PRINT", nullptr, kPrintIds},
    {u"PRINTDLGBOX", nullptr, kPrintProgressIds},
    {u"134", nullptr, kVideoInformation},
    {u"135", nullptr, kEmailIds},
    {u"CROPDLG", nullptr, kCropIds},
    {u"RESIZE", nullptr, kResizeIds},
    {u"ColorMod", nullptr, kColorIds},
    {u"PageBox", nullptr, kPageIds},
    {u"105", u"126", kInfoIds},
    {u"103", nullptr, kAboutIds},
    {u"123", u"125", kOpenIds},
    {u"128", u"129", kSaveAsIds},
    {u"122", u"124", kFolderIds},
    {u"130", u"131", kFolderIds},
    {u"PREFS", u"PREFS1", kPrefsIds},
    {u"CAPSETTINGS", u"CAPSETTINGS1", kCaptureIds},
    {u"SLIDESHOW", nullptr, kSlideIds},
    {u"PREFS2", nullptr, kJpegIds},
    {u"TOOLBARS", u"TOOLBARS1", kToolbarIds},
    {u"VIDPREFS", u"VIDPREFS1", kVideoIds},
    {u"THUMBS", nullptr, kThumbIds},
    {u"BUTTONS", u"BUTTONS1", kButtonIds},
    {u"FILEASSOC", nullptr, kAssociateIds},
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
