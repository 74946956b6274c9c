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

// The Jornada 565's own key codes.
constexpr uint8_t kJornadaRecord = 0xC9, kJornadaCalendar = 0xD1, kJornadaTasks = 0xD2,
                  kJornadaContacts = 0xD3, kJornadaAction = 0xD4;

// The first row is the default.  Frame-buffer addresses, pitches,
// orientations and flags are those of the viewer's known-device rows; the
// screen sizes pair each model with its display.
constexpr DeviceModel kModels[] = {
    {
        .alias = "ipaq3600", .oemInfo = "Compaq iPAQ H3600", .platformType = kPocketPc, .width = 240,
        .height = 320, .depth = 16, .deviceIndex = 6, .frameBuffer16 = 0xAC050020,
        .frameBufferOther = 0xAC050020, .pitch = 320, .orientation = 270, .flags = 0, .buttonCount = 10,
        .buttonNames = {"Up", "Down", "Left", "Right", "Action", "Record", "Calendar", "Contacts", "QMenu", "QStart"},
        .buttonKeys = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_RETURN, VK_APP5, VK_APP1, VK_APP2, VK_APP3, VK_APP4},
    },
    {
        .alias = "ipaq3100", .oemInfo = "Compaq iPAQ H3100", .platformType = kPocketPc, .width = 240,
        .height = 320, .depth = 4, .deviceIndex = 7, .frameBuffer16 = 0xAC008020,
        .frameBufferOther = 0xAC008020, .pitch = 160, .orientation = 90,
        .flags = kScreenComplemented | kScreenNibbleSwap, .buttonCount = 10,
        .buttonNames = {"Up", "Down", "Left", "Right", "Action", "Record", "Calendar", "Contacts", "QMenu", "QStart"},
        .buttonKeys = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_RETURN, VK_APP5, VK_APP1, VK_APP2, VK_APP3, VK_APP4},
    },
    {
        .alias = "jornada540", .oemInfo = "HP,Jornada 540,,9357,USEnglish,SH3",
        .platformType = kPocketPc, .width = 240, .height = 320, .depth = 16, .deviceIndex = 8,
        .frameBuffer16 = 0xB4200000, .frameBufferOther = 0xB4200000, .pitch = 240, .orientation = 0,
        .flags = 0, .buttonCount = 8,
        .buttonNames = {"Up", "Down", "Action", "Record", "HP Home Menu", "Contacts", "Calendar", "Tasks"},
        .buttonKeys = {VK_UP, VK_DOWN, VK_RETURN, VK_ESCAPE, VK_LEFT, VK_RIGHT, VK_APP3, VK_APP4},
    },
    {
        .alias = "j670", .oemInfo = "Pocket PC J670", .platformType = kPocketPc, .width = 240,
        .height = 320, .depth = 16, .deviceIndex = 9, .frameBuffer16 = 0xAA200000,
        .frameBufferOther = 0xAA200000, .pitch = 256, .orientation = 0, .flags = kScreen16BitStores,
        .buttonCount = 9,
        .buttonNames = {"Up", "Down", "Left", "Right", "Action", "Record", "Menu", "Calendar", "Contacts"},
        .buttonKeys = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_RETURN, VK_APP1, VK_APP2, VK_APP3, VK_APP4},
    },
    {
        .alias = "j580", .oemInfo = "Pocket PC J580", .platformType = kPocketPc, .width = 240,
        .height = 320, .depth = 16, .deviceIndex = 10, .frameBuffer16 = 0xAA200000,
        .frameBufferOther = 0xAA200000, .pitch = 256, .orientation = 0, .flags = 0, .buttonCount = 10,
        .buttonNames = {"Up", "Down", "Left", "Right", "Action", "<Start Menu>", "Record", "Menu", "Calendar", "Contacts"},
        .buttonKeys = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_F23, VK_APP1, VK_APP2, VK_APP3, VK_APP4, VK_APP5},
    },
    {
        .alias = "jornada565", .oemInfo = "HP, Jornada 565,, 11178, USEnglish, SAA",
        .platformType = kPocketPc, .width = 240, .height = 320, .depth = 16, .deviceIndex = 24,
        .frameBuffer16 = 0xA8012020, .frameBufferOther = 0xA8012020, .pitch = 240, .orientation = 0,
        .flags = 0, .buttonCount = 9,
        .buttonNames = {"Up", "Down", "Left", "Right", "Action", "Record", "Contacts", "Calendar", "Tasks"},
        .buttonKeys = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, kJornadaAction, kJornadaRecord, kJornadaContacts, kJornadaCalendar, kJornadaTasks},
    },
    {
        .alias = "jornada720", .oemInfo = "HP, Jornada 720,, 9546, USEnglish, SAA",
        .platformType = kHandheldPc, .width = 640, .height = 240, .depth = 16, .deviceIndex = 1,
        .frameBuffer16 = 0x061B0000, .frameBufferOther = 0x061B0000, .pitch = 640, .orientation = 0,
        .flags = 0, .buttonCount = 8,
        .buttonNames = {"Up", "Down", "Left", "Right", "Enter", "ESC", "Space", "Tab"},
        .buttonKeys = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_RETURN, VK_ESCAPE, VK_SPACE, VK_TAB},
    },
    {
        .alias = "mobilepro", .oemInfo = "NEC MobilePro Series", .platformType = kHandheldPc,
        .width = 640, .height = 240, .depth = 8, .deviceIndex = 2, .frameBuffer16 = 0x43880100,
        .frameBufferOther = 0x438D4C00, .pitch = 640, .orientation = 0, .flags = 0, .buttonCount = 8,
        .buttonNames = {"Up", "Down", "Left", "Right", "Enter", "ESC", "Space", "Tab"},
        .buttonKeys = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_RETURN, VK_ESCAPE, VK_SPACE, VK_TAB},
    },
    {
        .alias = "mobilepro15", .oemInfo = "NEC MobilePro Series", .platformType = kNecRow15,
        .width = 640, .height = 240, .depth = 8, .deviceIndex = 15, .frameBuffer16 = 0x44C80100,
        .frameBufferOther = 0x44CD4C00, .pitch = 640, .orientation = 0, .flags = 0, .buttonCount = 8,
        .buttonNames = {"Up", "Down", "Left", "Right", "Enter", "ESC", "Space", "Tab"},
        .buttonKeys = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_RETURN, VK_ESCAPE, VK_SPACE, VK_TAB},
    },
    {
        .alias = "aero8000", .oemInfo = "Compaq Aero 8000", .platformType = kHandheldPc, .width = 800,
        .height = 600, .depth = 16, .deviceIndex = 18, .frameBuffer16 = 0x43200000,
        .frameBufferOther = 0x43200000, .pitch = 800, .orientation = 0, .flags = 0, .buttonCount = 8,
        .buttonNames = {"Up", "Down", "Left", "Right", "Enter", "ESC", "Space", "Tab"},
        .buttonKeys = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_RETURN, VK_ESCAPE, VK_SPACE, VK_TAB},
    },
    {
        .alias = "jornada820", .oemInfo = "HP, Jornada 820,, 8262, USEnglish, SAA",
        .platformType = kHandheldPc, .width = 640, .height = 480, .depth = 16, .deviceIndex = 19,
        .frameBuffer16 = 0x061D0000, .frameBufferOther = 0x061D0000, .pitch = 640, .orientation = 0,
        .flags = 0, .buttonCount = 8,
        .buttonNames = {"Up", "Down", "Left", "Right", "Enter", "ESC", "Space", "Tab"},
        .buttonKeys = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_RETURN, VK_ESCAPE, VK_SPACE, VK_TAB},
    },
    // No hardware buttons: the arrow keys and Enter are all it gets.
    {
        .alias = "palmax", .oemInfo = "Palmax P6C", .platformType = kPalmSizePc, .width = 240,
        .height = 320, .depth = 16, .deviceIndex = 20, .frameBuffer16 = 0xA0049020,
        .frameBufferOther = 0xA0049020, .pitch = 320, .orientation = 270, .flags = 0, .buttonCount = 0,
    },
    {
        .alias = "j740", .oemInfo = "Pocket Manager J740", .platformType = kPocketPc, .width = 240,
        .height = 320, .depth = 16, .deviceIndex = 23, .frameBuffer16 = 0xAA200000,
        .frameBufferOther = 0xAA200000, .pitch = 256, .orientation = 0, .flags = 0, .buttonCount = 10,
        .buttonNames = {"Up", "Down", "Left", "Right", "Action", "A", "B", "C", "D", "E"},
        .buttonKeys = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_RETURN, VK_APP1, VK_APP2, VK_APP3, VK_APP4, VK_APP5},
    },
    // Reports the J670's OEM string; its platform name tells it apart.
    {
        .alias = "jx650", .oemInfo = "Pocket PC J670", .platformType = kPocketPc, .width = 240,
        .height = 320, .depth = 16, .deviceIndex = 16, .frameBuffer16 = 0x061F0000,
        .frameBufferOther = 0x061F0000, .pitch = 256, .orientation = 0, .flags = kScreen16BitStores,
        .buttonCount = 10,
        .buttonNames = {"Up", "Down", "Left", "Right", "Action", "<Start Menu>", "Record", "Menu", "Calendar", "Contacts"},
        .buttonKeys = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_F23, VK_APP1, VK_APP2, VK_APP3, VK_APP4, VK_APP5},
        .platformName = "Casio Jx650 CE3.00",
    },
    {
        .alias = "unknown", .oemInfo = "Zelmo Generic Handheld", .platformType = kPocketPc,
        .width = 240, .height = 320, .depth = 16, .deviceIndex = -1, .frameBuffer16 = 0,
        .frameBufferOther = 0, .pitch = 240, .orientation = 0, .flags = 0, .buttonCount = 10,
        .buttonNames = {"Up", "Down", "Left", "Right", "Action", "A", "B", "C", "D", "E"},
        .buttonKeys = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_RETURN, VK_APP1, VK_APP2, VK_APP3, VK_APP4, VK_APP5},
    },
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
