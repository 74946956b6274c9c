// Every persistent preference of the viewer, and the two operations that
// load the whole block from the registry and save it there.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace zelmo {

// The twenty on/off options packed into `Options`.
struct Options {
  bool jpeg16Bpp = true;  // 0x2 "Load 24-Bpp JPEGs as 16-Bpp"
  bool ignoreErrors = true;  // 0x4
  bool scaleToGray = true;  // 0x8
  bool faxAspect = true;  // 0x10
  bool optimize12Bit = false;  // 0x20, on for displays below 16 bits
  bool openPreview = true;  // 0x40
  bool jpegReducedLoad = true;  // 0x80
  bool slideNames = true;  // 0x100
  bool loopSlideShow = true;  // 0x200
  bool rotateSlides = true;  // 0x400
  bool thumbNames = true;  // 0x800
  bool playAudio = true;  // 0x1000
  bool playContinuously = false;  // 0x2000
  bool directScreenVideo = true;  // 0x4000
  bool keepAspect = true;  // 0x8000
  bool autoRotate = false;  // 0x10000
  bool comboView = true;  // 0x20000
  bool thumbnailsEnabled = true;  // 0x40000
  bool emailOriginal = false;  // 0x80000
  bool autoFullscreen = true;  // 0x100000
};

constexpr size_t kKeyBlockSize = 256;
constexpr size_t kToolbarBlockSize = 66;
constexpr size_t kSettingsStringChars = 255;  // a place of 256 with its terminator

// The fields follow the registry's value order.
struct Settings {
  int32_t bkColor = 0;
  std::array<uint8_t, kKeyBlockSize> mainKeys{};
  std::array<uint8_t, kKeyBlockSize> fullscreenKeys{};
  std::array<uint8_t, kKeyBlockSize> thumbKeys{};
  int32_t saveType = 0;
  int32_t printPort = 0;
  int32_t printRes = 2;
  int32_t printOrient = 0;
  int32_t printMethod = 0;
  int32_t emailSize = 4;
  int32_t emailType = 0;
  int32_t thumbShape = 1;
  int32_t sortOrder = 0;
  int32_t videoSize = 1;
  int32_t videoRotate = 0;
  std::array<uint8_t, kToolbarBlockSize> toolBars{};
  int32_t transitionSpeed = 1;
  int32_t transitionEffect = 1;
  int32_t slideDelay = 2000;
  int32_t animationRate = 4;
  int32_t thumbSize = 2;
  int32_t jpegQuality = 2;
  int32_t jpegSize = 0;
  int32_t capture24bpp = 0;
  int32_t captureCount = 0;
  int32_t captureType = 0;
  int32_t captureDelay = 5;
  int32_t defView = 40033;
  int32_t dirFilter = 0;
  int32_t customView = 25;
  Options options;
  int32_t zoomCX = 74;
  int32_t zoomCY = 74;
  std::u16string captureName = u"CAP";
  std::u16string captureDir = u"\\My Documents";
  std::u16string curDir = u"\\My Documents";
};

extern Settings gSettings;

// Every default (some depend on the display depth, the screen width and the
// device's buttons), then the stored values that are present and in range.
// CurDir also becomes the current-file path.
void LoadSettings();
// Writes all 36 values; nothing in Glimpse mode.
void SaveSettings();

// The defaults alone, for this display and device.
Settings DefaultSettings();

// `Options` packed and unpacked (bit 0x1 is never used).
uint32_t PackOptions(const Options& options);
Options UnpackOptions(uint32_t bits);

// Thumbnail edge in pixels for ThumbSize 0..3.
int ThumbnailEdge(int thumbSize);

}  // namespace zelmo
