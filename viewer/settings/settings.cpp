// The settings block: defaults, and the 36 registry values read and written
// in one table order.  Every stored value is checked against the range its
// users index with; one outside it keeps the default.
#include "viewer/settings/settings.h"

#include <algorithm>
#include <span>

#include "viewer/app/functions.h"
#include "viewer/app/state.h"
#include "viewer/settings/registry_values.h"

namespace zelmo {

using namespace ce;

Settings gSettings;

namespace {

enum class Kind { kDword, kViewMode, kKeys, kToolbar, kOptions, kString };

struct StoredValue {
  const char16_t* name;
  Kind kind;
  int32_t Settings::*dword = nullptr;
  int32_t low = 0;
  int32_t high = 0;
  std::array<uint8_t, kKeyBlockSize> Settings::*keys = nullptr;
  std::u16string Settings::*text = nullptr;
};

constexpr int32_t kAny = INT32_MAX;
// The largest capture number: the counter is advanced before use.
constexpr int32_t kMaxCaptureCount = 99999999;
// An hour between slides at most.
constexpr int32_t kMaxSlideDelay = 3600000;

constexpr StoredValue kValues[] = {
    {.name = u"BkColor", .kind = Kind::kDword, .dword = &Settings::bkColor, .high = 2},
    {.name = u"MainKeys", .kind = Kind::kKeys, .keys = &Settings::mainKeys},
    {.name = u"FullscreenKeys", .kind = Kind::kKeys, .keys = &Settings::fullscreenKeys},
    {.name = u"ThumbKeys", .kind = Kind::kKeys, .keys = &Settings::thumbKeys},
    {.name = u"SaveType", .kind = Kind::kDword, .dword = &Settings::saveType, .high = 13},
    {.name = u"PrintPort", .kind = Kind::kDword, .dword = &Settings::printPort, .high = 4},
    {.name = u"PrintRes", .kind = Kind::kDword, .dword = &Settings::printRes, .high = 6},
    {.name = u"PrintOrient", .kind = Kind::kDword, .dword = &Settings::printOrient, .high = 1},
    {.name = u"PrintMethod", .kind = Kind::kDword, .dword = &Settings::printMethod, .high = 2},
    {.name = u"EmailSize", .kind = Kind::kDword, .dword = &Settings::emailSize, .high = 4},
    {.name = u"EmailType", .kind = Kind::kDword, .dword = &Settings::emailType, .high = 4},
    {.name = u"ThumbShape", .kind = Kind::kDword, .dword = &Settings::thumbShape, .high = 2},
    {.name = u"SortOrder", .kind = Kind::kDword, .dword = &Settings::sortOrder, .high = 2},
    {.name = u"VideoSize", .kind = Kind::kDword, .dword = &Settings::videoSize, .high = 1},
    {.name = u"VideoRotate", .kind = Kind::kDword, .dword = &Settings::videoRotate, .high = 1},
    {.name = u"ToolBars", .kind = Kind::kToolbar},
    {.name = u"TransitionSpeed", .kind = Kind::kDword, .dword = &Settings::transitionSpeed, .high = 2},
    {.name = u"TransitionEffect", .kind = Kind::kDword, .dword = &Settings::transitionEffect, .high = 16},
    {.name = u"SlideDelay", .kind = Kind::kDword, .dword = &Settings::slideDelay, .high = kMaxSlideDelay},
    {.name = u"AnimationRate", .kind = Kind::kDword, .dword = &Settings::animationRate, .high = 9},
    {.name = u"ThumbSize", .kind = Kind::kDword, .dword = &Settings::thumbSize, .high = 3},
    {.name = u"JPEGQuality", .kind = Kind::kDword, .dword = &Settings::jpegQuality, .high = 2},
    {.name = u"JPEGSize", .kind = Kind::kDword, .dword = &Settings::jpegSize, .high = 3},
    {.name = u"Capture24bpp", .kind = Kind::kDword, .dword = &Settings::capture24bpp, .low = INT32_MIN,
     .high = kAny},
    {.name = u"CaptureCount", .kind = Kind::kDword, .dword = &Settings::captureCount,
     .high = kMaxCaptureCount},
    {.name = u"CaptureType", .kind = Kind::kDword, .dword = &Settings::captureType, .high = 3},
    {.name = u"CaptureDelay", .kind = Kind::kDword, .dword = &Settings::captureDelay, .high = 999},
    {.name = u"DefView", .kind = Kind::kViewMode, .dword = &Settings::defView},
    {.name = u"DirFilter", .kind = Kind::kDword, .dword = &Settings::dirFilter, .high = 15},
    {.name = u"CustomView", .kind = Kind::kDword, .dword = &Settings::customView, .low = 5, .high = 800},
    {.name = u"Options", .kind = Kind::kOptions},
    {.name = u"ZoomCX", .kind = Kind::kDword, .dword = &Settings::zoomCX, .low = 32, .high = 200},
    {.name = u"ZoomCY", .kind = Kind::kDword, .dword = &Settings::zoomCY, .low = 32, .high = 200},
    {.name = u"CaptureName", .kind = Kind::kString, .text = &Settings::captureName},
    {.name = u"CaptureDir", .kind = Kind::kString, .text = &Settings::captureDir},
    {.name = u"CurDir", .kind = Kind::kString, .text = &Settings::curDir},
};
static_assert(std::size(kValues) == 36);

struct OptionBit {
  uint32_t bit;
  bool Options::*option;
};

constexpr OptionBit kOptionBits[] = {
    {0x2, &Options::jpeg16Bpp},          {0x4, &Options::ignoreErrors},
    {0x8, &Options::scaleToGray},        {0x10, &Options::faxAspect},
    {0x20, &Options::optimize12Bit},     {0x40, &Options::openPreview},
    {0x80, &Options::jpegReducedLoad},   {0x100, &Options::slideNames},
    {0x200, &Options::loopSlideShow},    {0x400, &Options::rotateSlides},
    {0x800, &Options::thumbNames},       {0x1000, &Options::playAudio},
    {0x2000, &Options::playContinuously}, {0x4000, &Options::directScreenVideo},
    {0x8000, &Options::keepAspect},      {0x10000, &Options::autoRotate},
    {0x20000, &Options::comboView},      {0x40000, &Options::thumbnailsEnabled},
    {0x80000, &Options::emailOriginal},  {0x100000, &Options::autoFullscreen},
};
static_assert(std::size(kOptionBits) == 20);

bool IsViewMode(int32_t v) { return v == 40031 || v == 40032 || v == 40033 || v == 40042; }

// A code that names no function becomes "Undefined", so the editors and
// the dispatch only ever see codes of the table.
template <size_t N>
void ReadCodes(HKEY key, const char16_t* name, std::array<uint8_t, N>* place) {
  const size_t n = std::min(ReadBlock(key, name, *place), N);
  for (size_t i = 0; i < n; ++i) (*place)[i] = std::min((*place)[i], kUndefinedFunction);
}

void ReadValue(HKEY key, const StoredValue& v, Settings* s, uint32_t* options, bool* haveOptions) {
  int32_t number;
  switch (v.kind) {
    case Kind::kDword:
      if (ReadDword(key, v.name, &number) && number >= v.low && number <= v.high) s->*v.dword = number;
      break;
    case Kind::kViewMode:
      if (ReadDword(key, v.name, &number) && IsViewMode(number)) s->*v.dword = number;
      break;
    case Kind::kKeys: ReadCodes(key, v.name, &(s->*v.keys)); break;
    case Kind::kToolbar: ReadCodes(key, v.name, &s->toolBars); break;
    case Kind::kOptions:
      if (ReadDword(key, v.name, &number)) {
        *options = static_cast<uint32_t>(number);
        *haveOptions = true;
      }
      break;
    case Kind::kString: {
      std::u16string text;
      if (ReadString(key, v.name, kSettingsStringChars, &text)) s->*v.text = text;
      break;
    }
  }
}

void WriteValue(HKEY key, const StoredValue& v, const Settings& s) {
  switch (v.kind) {
    case Kind::kDword:
    case Kind::kViewMode: WriteDword(key, v.name, s.*v.dword); break;
    // The blocks keep the value type the handheld used for them.
    case Kind::kKeys: WriteBlock(key, v.name, s.*v.keys, REG_DWORD); break;
    case Kind::kToolbar: WriteBlock(key, v.name, s.toolBars, REG_DWORD); break;
    case Kind::kOptions: WriteDword(key, v.name, static_cast<int32_t>(PackOptions(s.options))); break;
    case Kind::kString: WriteString(key, v.name, s.*v.text); break;
  }
}

}  // namespace

uint32_t PackOptions(const Options& options) {
  uint32_t bits = 0;
  for (const OptionBit& b : kOptionBits) {
    if (options.*b.option) bits |= b.bit;
  }
  return bits;
}

Options UnpackOptions(uint32_t bits) {
  Options options;
  for (const OptionBit& b : kOptionBits) options.*b.option = (bits & b.bit) != 0;
  return options;
}

int ThumbnailEdge(int thumbSize) {
  static constexpr int kEdges[] = {48, 60, 80, 120};
  return kEdges[thumbSize >= 0 && thumbSize < 4 ? thumbSize : 2];
}

Settings DefaultSettings() {
  Settings s;
  s.options.optimize12Bit = gApp.displayDepth < 16;
  s.transitionEffect = gApp.displayDepth >= 8 ? 1 : 0;
  size_t n = static_cast<size_t>(std::clamp(gDevice.buttons.count, 0, 10));
  std::copy_n(kDefaultMainKeys, n, s.mainKeys.begin());
  std::copy_n(kDefaultFullscreenKeys, n, s.fullscreenKeys.begin());
  std::copy_n(kDefaultThumbKeys, n, s.thumbKeys.begin());
  std::span<const uint8_t> layout = DefaultToolbarLayout(gApp.screenWidth);
  std::copy(layout.begin(), layout.end(), s.toolBars.begin());
  return s;
}

void LoadSettings() {
  gSettings = DefaultSettings();
  HKEY key;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  uint32_t options = 0;
  bool haveOptions = false;
  for (const StoredValue& v : kValues) ReadValue(key, v, &gSettings, &options, &haveOptions);
  // The key exists as soon as a second start has left its file name in it;
  // without a stored word the options keep their defaults.
  if (haveOptions) gSettings.options = UnpackOptions(options);
  gView.currentPath = gSettings.curDir;
  RegCloseKey(key);
}

void SaveSettings() {
  if (gApp.glimpse) return;
  HKEY key;
  if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                     nullptr) != ERROR_SUCCESS)
    return;
  for (const StoredValue& v : kValues) WriteValue(key, v, gSettings);
  RegCloseKey(key);
}

}  // namespace zelmo
