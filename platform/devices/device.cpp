// The emulated models, their keyboard maps, system metrics and the system
// parameters that describe the device.
#include <algorithm>
#include <cstring>
#include <list>
#include <strings.h>

#include "platform/gdi/gdi_internal.h"

namespace ce {

using namespace internal;

namespace {

constexpr const char* kPocketPc = "{DE9660AC-85D3-4C63-A6AF-46A3B3B83737}";
constexpr const char* kNecRow15 = "{0F9D255B-97DA-4641-A8E6-7A7411D2472F}";
constexpr const char* kHandheldPc = "Handheld PC 2000";
constexpr const char* kPalmSizePc = "Palm-size PC";

// The first row is the default.  Frame-buffer addresses, pitches,
// orientations and flags are those of the viewer's known-device rows; the
// screen sizes pair each model with its display.
constexpr DeviceModel kModels[] = {
    {"ipaq3600", "Compaq iPAQ H3600", kPocketPc, 240, 320, 16, 6, 0xAC050020, 0xAC050020, 320,
     270, 0, 10,
     {"Up", "Down", "Left", "Right", "Action", "Record", "Calendar", "Contacts", "QMenu", "QStart"},
     {0x26, 0x28, 0x25, 0x27, 0x0D, 0xC5, 0xC1, 0xC2, 0xC3, 0xC4}},
    {"ipaq3100", "Compaq iPAQ H3100", kPocketPc, 240, 320, 4, 7, 0xAC008020, 0xAC008020, 160, 90,
     kScreenComplemented | kScreenNibbleSwap, 10,
     {"Up", "Down", "Left", "Right", "Action", "Record", "Calendar", "Contacts", "QMenu", "QStart"},
     {0x26, 0x28, 0x25, 0x27, 0x0D, 0xC5, 0xC1, 0xC2, 0xC3, 0xC4}},
    {"jornada540", "HP,Jornada 540,,9357,USEnglish,SH3", kPocketPc, 240, 320, 16, 8, 0xB4200000,
     0xB4200000, 240, 0, 0, 8,
     {"Up", "Down", "Action", "Record", "HP Home Menu", "Contacts", "Calendar", "Tasks"},
     {0x26, 0x28, 0x0D, 0x1B, 0x25, 0x27, 0xC3, 0xC4}},
    {"j670", "Pocket PC J670", kPocketPc, 240, 320, 16, 9, 0xAA200000, 0xAA200000, 256, 0,
     kScreen16BitStores, 9,
     {"Up", "Down", "Left", "Right", "Action", "Record", "Menu", "Calendar", "Contacts"},
     {0x26, 0x28, 0x25, 0x27, 0x0D, 0xC1, 0xC2, 0xC3, 0xC4}},
    {"j580", "Pocket PC J580", kPocketPc, 240, 320, 16, 10, 0xAA200000, 0xAA200000, 256, 0, 0, 10,
     {"Up", "Down", "Left", "Right", "Action", "<Start Menu>", "Record", "Menu", "Calendar",
      "Contacts"},
     {0x26, 0x28, 0x25, 0x27, 0x86, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5}},
    {"jornada565", "HP, Jornada 565,, 11178, USEnglish, SAA", kPocketPc, 240, 320, 16, 24,
     0xA8012020, 0xA8012020, 240, 0, 0, 9,
     {"Up", "Down", "Left", "Right", "Action", "Record", "Contacts", "Calendar", "Tasks"},
     {0x26, 0x28, 0x25, 0x27, 0xD4, 0xC9, 0xD3, 0xD1, 0xD2}},
    {"jornada720", "HP, Jornada 720,, 9546, USEnglish, SAA", kHandheldPc, 640, 240, 16, 1,
     0x061B0000, 0x061B0000, 640, 0, 0, 8,
     {"Up", "Down", "Left", "Right", "Enter", "ESC", "Space", "Tab"},
     {0x26, 0x28, 0x25, 0x27, 0x0D, 0x1B, 0x20, 0x09}},
    {"mobilepro", "NEC MobilePro Series", kHandheldPc, 640, 240, 8, 2, 0x43880100, 0x438D4C00,
     640, 0, 0, 8,
     {"Up", "Down", "Left", "Right", "Enter", "ESC", "Space", "Tab"},
     {0x26, 0x28, 0x25, 0x27, 0x0D, 0x1B, 0x20, 0x09}},
    {"mobilepro15", "NEC MobilePro Series", kNecRow15, 640, 240, 8, 15, 0x44C80100, 0x44CD4C00,
     640, 0, 0, 8,
     {"Up", "Down", "Left", "Right", "Enter", "ESC", "Space", "Tab"},
     {0x26, 0x28, 0x25, 0x27, 0x0D, 0x1B, 0x20, 0x09}},
    {"aero8000", "Compaq Aero 8000", kHandheldPc, 800, 600, 16, 18, 0x43200000, 0x43200000, 800,
     0, 0, 8,
     {"Up", "Down", "Left", "Right", "Enter", "ESC", "Space", "Tab"},
     {0x26, 0x28, 0x25, 0x27, 0x0D, 0x1B, 0x20, 0x09}},
    {"jornada820", "HP, Jornada 820,, 8262, USEnglish, SAA", kHandheldPc, 640, 480, 16, 19,
     0x061D0000, 0x061D0000, 640, 0, 0, 8,
     {"Up", "Down", "Left", "Right", "Enter", "ESC", "Space", "Tab"},
     {0x26, 0x28, 0x25, 0x27, 0x0D, 0x1B, 0x20, 0x09}},
    // No hardware buttons: the arrow keys and Enter are all it gets.
    {"palmax", "Palmax P6C", kPalmSizePc, 240, 320, 16, 20, 0xA0049020, 0xA0049020, 320, 270, 0,
     0, {}, {}},
    {"j740", "Pocket Manager J740", kPocketPc, 240, 320, 16, 23, 0xAA200000, 0xAA200000, 256, 0,
     0, 10,
     {"Up", "Down", "Left", "Right", "Action", "A", "B", "C", "D", "E"},
     {0x26, 0x28, 0x25, 0x27, 0x0D, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5}},
    // Reports the J670's OEM string; its platform name tells it apart.
    {"jx650", "Pocket PC J670", kPocketPc, 240, 320, 16, 16, 0x061F0000, 0x061F0000, 256, 0,
     kScreen16BitStores, 10,
     {"Up", "Down", "Left", "Right", "Action", "<Start Menu>", "Record", "Menu", "Calendar",
      "Contacts"},
     {0x26, 0x28, 0x25, 0x27, 0x86, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5}, "Casio Jx650 CE3.00"},
    {"unknown", "Zelmo Generic Handheld", kPocketPc, 240, 320, 16, -1, 0, 0, 240, 0, 0, 10,
     {"Up", "Down", "Left", "Right", "Action", "A", "B", "C", "D", "E"},
     {0x26, 0x28, 0x25, 0x27, 0x0D, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5}},
};

bool IsMovement(const char* name) {
  return !std::strcmp(name, "Up") || !std::strcmp(name, "Down") || !std::strcmp(name, "Left") ||
         !std::strcmp(name, "Right");
}

bool IsAction(const char* name) {
  return !std::strcmp(name, "Action") || !std::strcmp(name, "Enter");
}

}  // namespace

std::span<const DeviceModel> DeviceModels() { return std::span<const DeviceModel>(kModels); }

const DeviceModel* FindDeviceModel(const std::string& name) {
  for (const DeviceModel& m : kModels) {
    if (!strcasecmp(m.alias, name.c_str())) return &m;
  }
  for (const DeviceModel& m : kModels) {
    if (!strcasecmp(m.oemInfo, name.c_str())) return &m;
  }
  return nullptr;
}

namespace internal {

const DeviceModel* ConfiguredModel(const EmulatorConfig& config) {
  const DeviceModel* row = FindDeviceModel(config.device);
  if (!row || config.screenWidth <= 0) return row;
  DeviceModel m = *row;
  m.width = config.screenWidth;
  m.height = config.screenHeight;
  m.depth = config.screenDepth;
  m.pitch = config.screenWidth;
  // Kept for the life of the process: CurrentDevice hands out references.
  static std::mutex lock;
  static std::list<DeviceModel> screens;
  std::lock_guard<std::mutex> lk(lock);
  for (const DeviceModel& s : screens) {
    if (s.alias == m.alias && s.width == m.width && s.height == m.height && s.depth == m.depth)
      return &s;
  }
  screens.push_back(m);
  return &screens.back();
}

}  // namespace internal

const DeviceModel& CurrentDevice() {
  std::lock_guard<std::mutex> lk(Sys().lock);
  return Sys().device ? *Sys().device : kModels[0];
}

std::vector<KeyBinding> KeyMap(const DeviceModel& model) {
  std::vector<KeyBinding> map = {
      {"Left", 0x25, "Left"}, {"Up", 0x26, "Up"}, {"Right", 0x27, "Right"}, {"Down", 0x28, "Down"}};
  int action = 0x0D;
  const char* actionName = "";
  for (int i = 0; i < model.buttonCount; ++i) {
    if (IsAction(model.buttonNames[i])) {
      action = model.buttonKeys[i];
      actionName = model.buttonNames[i];
    }
  }
  map.push_back({"Enter", action, actionName});
  map.push_back({"Escape", 0x1B, ""});
  map.push_back({"Space", 0x20, ""});
  map.push_back({"Tab", 0x09, ""});
  static const char* const kFunctionKeys[] = {"F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8"};
  int f = 0;
  for (int i = 0; i < model.buttonCount && f < 8; ++i) {
    const char* name = model.buttonNames[i];
    if (IsMovement(name) || IsAction(name)) continue;
    map.push_back({kFunctionKeys[f++], model.buttonKeys[i], name});
  }
  return map;
}

int GetSystemMetrics(int index) {
  const DeviceModel& d = CurrentDevice();
  switch (index) {
    case SM_CXSCREEN: return d.width;
    case SM_CYSCREEN: return d.height;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL: return 13;
    case SM_CYCAPTION: return 26;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXICON:
    case SM_CYICON: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    default: return 0;
  }
}

BOOL SystemParametersInfo(UINT action, UINT size, void* data, UINT) {
  const DeviceModel& d = CurrentDevice();
  switch (action) {
    case SPI_GETOEMINFO:
    case SPI_GETPLATFORMTYPE: {
      // The buffer size is given in bytes.
      std::u16string text =
          ToU16(action == SPI_GETOEMINFO ? d.oemInfo
                                         : (d.width > 240 ? "HPC" : "PocketPC"));
      auto* out = static_cast<WCHAR*>(data);
      size_t capacity = size / sizeof(WCHAR);
      if (!out || capacity == 0) return FALSE;
      size_t n = std::min(capacity - 1, text.size());
      std::copy_n(text.data(), n, out);
      out[n] = 0;
      return n == text.size() ? TRUE : FALSE;
    }
    case SPI_GETWORKAREA: {
      if (!data) return FALSE;
      *static_cast<RECT*>(data) = RECT{0, 26, d.width, d.height};
      return TRUE;
    }
    default: return FALSE;
  }
}

}  // namespace ce
