// Known handheld models, their detection, screen memory and buttons.
#include "viewer/app/device.h"

#include <string>

#include "viewer/settings/registry_values.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr const char16_t* kPocketPcPlatform = u"{DE9660AC-85D3-4C63-A6AF-46A3B3B83737}";
constexpr const char16_t* kNecSecondPlatform = u"{0F9D255B-97DA-4641-A8E6-7A7411D2472F}";
constexpr int kNecRow = 2;
constexpr int kNecSecondRow = 15;
constexpr int kJ670Row = 9;

// name, probe 16 bpp, probe other, frame buffer 16 bpp, frame buffer other,
// step, pitch, orientation, flags.
constexpr DeviceProfile kDevices[kKnownDeviceCount] = {
    {u"PV-6000 Series", 0x86150000, 0x86150000, 0x06150000, 0x06150000, 0x800000, 640, 0, 0},
    {u"HP, Jornada 720,, 9546, USEnglish, SAA", 0x761B0000, 0x761B0000, 0x061B0000, 0x061B0000,
     0x800000, 640, 0, 0},
    {u"NEC MobilePro Series", 0x83880100, 0x838D4C00, 0x43880100, 0x438D4C00, 0x800000, 640, 0, 0},
    {u"HP,Jornada 680,,8262,USEnglish,SH3", 0x86130000, 0x86130000, 0x06130000, 0x06130000,
     0x800000, 640, 0, 0},
    {u"HC-VJ series", 0x83400000, 0x83400000, 0x43400000, 0x43400000, 0x800000, 800, 0, 0},
    {u"Intermec-Raptor", 0xB0300000, 0xB0300000, 0xB0200000, 0xB0200000, 0x80000, 88, 0, 0},
    {u"Compaq iPAQ H3600", 0xBC050020, 0xBC050020, 0xAC050020, 0xAC050020, 0x80000, 320, 270, 0},
    {u"Compaq iPAQ H3100", 0xBC008020, 0xBC008020, 0xAC008020, 0xAC008020, 0x80000, 160, 90, 0x101},
    {u"HP,Jornada 540,,9357,USEnglish,SH3", 0xC4200000, 0xC4200000, 0xB4200000, 0xB4200000, 0x80000,
     240, 0, 0},
    {u"Pocket PC J670", 0xAA200000, 0xAA200000, 0xAA200000, 0xAA200000, 0, 256, 0, 0x10000},
    {u"Pocket PC J580", 0xAA200000, 0xAA200000, 0xAA200000, 0xAA200000, 0, 256, 0, 0},
    {u"Pocket PC J657", 0xAA200000, 0xAA200000, 0xAA200000, 0xAA200000, 0, 256, 0, 0x10000},
    {u"Pocket PC J702", 0xAA200000, 0xAA200000, 0xAA200000, 0xAA200000, 0, 256, 0, 0x10000},
    {u"ArnoldV Keith&Koep GmbH", 0x864EA600, 0x864EA600, 0x464EA600, 0x464EA600, 0x800000, 800, 0, 0},
    {u"Brutus SA-1100", 0x8A1C0200, 0x8A1C0200, 0x0A1C0200, 0x0A1C0200, 0x800000, 640, 0, 0},
    {u"NEC MobilePro Series", 0x84C80100, 0x84CD4C00, 0x44C80100, 0x44CD4C00, 0x800000, 640, 0, 0},
    {u"CASIO E125 KLUDGE", 0x861F0000, 0x861F0000, 0x061F0000, 0x061F0000, 0x800000, 256, 0, 0x10000},
    {u"CASIO EG800 KLUDGE", 0xAA200000, 0xAA200000, 0xAA200000, 0xAA200000, 0, 256, 0, 0x10000},
    {u"Compaq Aero 8000", 0x83200000, 0x83200000, 0x43200000, 0x43200000, 0x800000, 800, 0, 0},
    {u"HP, Jornada 820,, 8262, USEnglish, SAA", 0x861D0000, 0x861D0000, 0x061D0000, 0x061D0000,
     0x800000, 640, 0, 0},
    {u"Palmax P6C", 0xA0149020, 0xA0149020, 0xA0049020, 0xA0049020, 0x100000, 320, 270, 0},
    {u"Compaq Aero 2100", 0xAA800000, 0xAA800000, 0xAA000000, 0xAA000000, 0x80000, 320, 270, 0},
    {u"Pocket PC J582", 0x86120000, 0x86120000, 0x06120000, 0x06120000, 0x80000, 256, 0, 0},
    {u"Pocket Manager J740", 0xAA200000, 0xAA200000, 0xAA200000, 0xAA200000, 0, 256, 0, 0},
    {u"HP, Jornada 565,, 11178, USEnglish, SAA", 0xA8812020, 0xA8812020, 0xA8012020, 0xA8012020,
     0x80000, 240, 0, 0},
};

// Buttons: name, virtual key, key icon.
constexpr HardwareButton kIpaqButtons[] = {
    {u"Up", 0x26, 0},      {u"Down", 0x28, 1},     {u"Left", 0x25, 2},     {u"Right", 0x27, 3},
    {u"Action", 0x0D, 11}, {u"Record", 0xC5, 5},   {u"Calendar", 0xC1, 7}, {u"Contacts", 0xC2, 8},
    {u"QMenu", 0xC3, 12},  {u"QStart", 0xC4, 13},
};
constexpr HardwareButton kJornada540Buttons[] = {
    {u"Up", 0x26, 0},           {u"Down", 0x28, 1},     {u"Action", 0x0D, 11},
    {u"Record", 0x1B, 5},       {u"HP Home Menu", 0x25, 14}, {u"Contacts", 0x27, 8},
    {u"Calendar", 0xC3, 7},     {u"Tasks", 0xC4, 8},
};
constexpr HardwareButton kJ670Buttons[] = {
    {u"Up", 0x26, 0},      {u"Down", 0x28, 1},   {u"Left", 0x25, 2},     {u"Right", 0x27, 3},
    {u"Action", 0x0D, 11}, {u"Record", 0xC1, 5}, {u"Menu", 0xC2, 6},     {u"Calendar", 0xC3, 7},
    {u"Contacts", 0xC4, 8},
};
constexpr HardwareButton kCasioButtons[] = {
    {u"Up", 0x26, 0},          {u"Down", 0x28, 1},   {u"Left", 0x25, 2},
    {u"Right", 0x27, 3},       {u"Action", 0x86, 11}, {u"<Start Menu>", 0xC1, 4},
    {u"Record", 0xC2, 5},      {u"Menu", 0xC3, 6},   {u"Calendar", 0xC4, 7},
    {u"Contacts", 0xC5, 8},
};
constexpr HardwareButton kJornada565Buttons[] = {
    {u"Up", 0x26, 0},      {u"Down", 0x28, 1},   {u"Left", 0x25, 2},     {u"Right", 0x27, 3},
    {u"Action", 0xD4, 11}, {u"Record", 0xC9, 5}, {u"Contacts", 0xD3, 8}, {u"Calendar", 0xD1, 7},
    {u"Tasks", 0xD2, 9},
};
constexpr HardwareButton kKeyboardButtons[] = {
    {u"Up", 0x26, 0},     {u"Down", 0x28, 1}, {u"Left", 0x25, 2},  {u"Right", 0x27, 3},
    {u"Enter", 0x0D, 15}, {u"ESC", 0x1B, 15}, {u"Space", 0x20, 15}, {u"Tab", 0x09, 15},
};
constexpr HardwareButton kGenericButtons[] = {
    {u"Up", 0x26, 0},      {u"Down", 0x28, 1}, {u"Left", 0x25, 2}, {u"Right", 0x27, 3},
    {u"Action", 0x0D, 11}, {u"A", 0xC1, 15},   {u"B", 0xC2, 15},   {u"C", 0xC3, 15},
    {u"D", 0xC4, 15},      {u"E", 0xC5, 15},
};

template <size_t N>
ButtonLayout Layout(const HardwareButton (&buttons)[N]) {
  return ButtonLayout{static_cast<int>(N), buttons};
}

// The platform's name of the model: HKLM\Platform Name.
std::u16string PlatformName() {
  std::u16string name;
  ReadKeyString(HKEY_LOCAL_MACHINE, u"Platform", u"Name", 127, &name);
  return name;
}

}  // namespace

std::span<const DeviceProfile> KnownDevices() { return kDevices; }

bool ReadPlatformFlag() {
  std::u16string platform;
  return ReadKeyString(HKEY_LOCAL_MACHINE, u"Windows CE Tools", u"Platform", 127, &platform) &&
         platform == kPocketPcPlatform;
}

int DetectDeviceIndex() {
  WCHAR oem[256] = {};
  SystemParametersInfo(SPI_GETOEMINFO, sizeof(oem), oem, 0);
  oem[255] = 0;
  std::u16string name = PlatformName();
  std::u16string model = oem[0] ? std::u16string(oem) : name;
  int index = -1;
  for (int i = 0; i < kKnownDeviceCount; ++i) {
    if (model == kDevices[i].name) {
      index = i;
      break;
    }
  }
  if (index == kNecRow) {
    // Two NEC models share the name; the platform tells them apart.
    std::u16string platform;
    if (!ReadKeyString(HKEY_LOCAL_MACHINE, u"Windows CE Tools", u"Platform", 127, &platform))
      platform = name;
    index = platform == kNecSecondPlatform ? kNecSecondRow : kNecRow;
  } else if (index == kJ670Row) {
    if (name == u"Casio Jx650 CE3.00") index = 16;
    else if (name == u"Casio Jx590 CE3.00") index = 17;
  }
  return index;
}

uint32_t ComputeFrameBuffer(int index, int depth, int height) {
  if (index < 0 || index >= kKnownDeviceCount) return 0;
  const DeviceProfile& d = kDevices[index];
  const bool sixteen = depth == 16;
  const uint32_t start = sixteen ? d.probe16 : d.probeOther;
  const uint32_t target = sixteen ? d.frameBuffer16 : d.frameBufferOther;
  const size_t block = static_cast<size_t>(d.pitch) * static_cast<size_t>(depth) *
                       static_cast<size_t>(height > 0 ? height : 0) / 8;
  // The probes only wake the memory up; their answers are not used.  A row
  // whose start is not a whole number of steps above its frame buffer is
  // not probed at all.
  if (d.probeStep != 0 && (start - target) % d.probeStep == 0) {
    for (uint32_t a = start; a != target; a -= d.probeStep) {
      void* p = reinterpret_cast<void*>(static_cast<uintptr_t>(a));
      IsBadWritePtr(p, block);
      IsBadReadPtr(p, block);
    }
  }
  return target;
}

ButtonLayout ChooseButtonLayout(int index, bool largeScreen) {
  switch (index) {
    case 6:
    case 7: return Layout(kIpaqButtons);
    case 8: return Layout(kJornada540Buttons);
    case 9: return Layout(kJ670Buttons);
    case 10:
    case 11:
    case 16:
    case 17: return Layout(kCasioButtons);
    case 24: return Layout(kJornada565Buttons);
    case 20: return ButtonLayout{};
    default: return largeScreen ? Layout(kKeyboardButtons) : Layout(kGenericButtons);
  }
}

namespace {

// Bits of a sub-byte pixel at position `pos` along a memory row.
int Shift(const DeviceProfile& profile, int depth, size_t pos) {
  if (depth >= 8) return 0;
  int bit = static_cast<int>((pos * static_cast<size_t>(depth)) % 8);
  return (profile.flags & kLayoutLowNibbleFirst) ? bit : 8 - depth - bit;
}

// Bytes per memory row: the rotated gray panel counts its pitch in bytes.
size_t RowBytes(const DeviceProfile& profile, int depth) {
  return profile.orientation == 90 ? profile.pitch
                                   : static_cast<size_t>(profile.pitch) * depth / 8;
}

}  // namespace

ScreenSpot LocateScreenPixel(const DeviceProfile& profile, int depth, int width, int height, int x,
                             int y) {
  const size_t rowBytes = RowBytes(profile, depth);
  size_t row, pos;
  switch (profile.orientation) {
    case 270:  // memory rows run down the screen's columns, bottom first
      row = static_cast<size_t>(x);
      pos = static_cast<size_t>(height - 1 - y);
      break;
    case 90:  // memory rows run up the screen's columns, right column first
      row = static_cast<size_t>(width - 1 - x);
      pos = static_cast<size_t>(y);
      break;
    default:
      row = static_cast<size_t>(y);
      pos = static_cast<size_t>(x);
      break;
  }
  return ScreenSpot{row * rowBytes + pos * static_cast<size_t>(depth) / 8, Shift(profile, depth, pos)};
}

size_t ScreenMemoryBytes(const DeviceProfile& profile, int depth, int width, int height) {
  size_t rows = static_cast<size_t>(profile.orientation == 0 ? height : width);
  return rows * RowBytes(profile, depth);
}

}  // namespace zelmo
