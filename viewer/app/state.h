// The viewer's process-wide state, grouped by what it describes: the
// process as start-up set it up, the handheld model, the flags the two
// threads share, and the main window's view.  The settings and the file
// list have their own headers (viewer/settings, viewer/browse).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/core/page.h"
#include "imaging/pixels/pixels.h"
#include "platform/ce.h"
#include "viewer/app/view_math.h"

namespace zelmo {

// A second start hands its file name over with this message.
constexpr ce::UINT WM_OPENPASSEDFILE = 40070;
// Opens the file at the current-file path as a new file.
constexpr ce::UINT WM_OPENCURRENTFILE = ce::WM_USER;
// Asked for by the worker: page wParam loaded and shown (lParam: 0, or 1 +
// the view rotation to show it in, in quarter turns).
constexpr ce::UINT WM_RELOADPAGE = ce::WM_USER + 1;
// The longest path the current-file path holds, in characters.
constexpr size_t kMaxPathChars = 255;

constexpr int kToolbarButtonWidth = 24;
constexpr int kToolbarHeight = 24;
constexpr int kToolbarSlots = 66;
constexpr int kTaskBarHeight = 26;
constexpr int kStripScrollHeight = 16;
// Timers of the main window.
constexpr uintptr_t kCaptureTimer = 1;
constexpr uintptr_t kAnimationTimer = 2;

// One row of the known-device table.
struct DeviceProfile {
  const char16_t* name;
  uint32_t probe16;  // first address probed at 16 bits per pixel
  uint32_t probeOther;
  uint32_t frameBuffer16;  // screen memory at 16 bits per pixel
  uint32_t frameBufferOther;
  uint32_t probeStep;
  uint32_t pitch;  // pixels per memory row (bytes on the rotated gray panel)
  uint32_t orientation;  // 0, 90 or 270
  uint32_t flags;
};

// Screen-memory flags of a profile.
enum ScreenLayoutFlag : uint32_t {
  kLayoutComplemented = 0x01,  // gray levels stored inverted
  kLayoutLowNibbleFirst = 0x100,  // the even pixel in the low nibble
  kLayoutWordStores = 0x10000,  // writes must be 16 bits wide
};

// One hardware button: its name on the Buttons page, its key, its picture in
// "ILIST_KEYS".
struct HardwareButton {
  const char16_t* name;
  uint8_t key;
  uint8_t icon;
};

struct ButtonLayout {
  int count = 0;
  const HardwareButton* buttons = nullptr;
};

struct DeviceState {
  int index = -1;  // row of the known-device table, -1 unknown
  // The worker stores it again at its start.
  std::atomic<uint32_t> frameBuffer{0};
  ButtonLayout buttons;
};

// What start-up sets up for the life of the process.
struct AppState {
  ce::HINSTANCE instance = nullptr;
  int largeScreen = 0;
  ce::HWND taskBar = nullptr;
  int platformFlag = 0;
  std::u16string rootName;
  int displayDepth = 16;
  int screenWidth = 240;
  int screenHeight = 320;
  int buttonsPerRow = 10;
  int toolbarRows = 5;
  int currentRow = 0;
  const void* shutterSound = nullptr;
  ce::HMENU toolMenu = nullptr;  // menu 119
  ce::HMENU tapHoldMenu = nullptr;  // its first sub-menu
  ce::HIMAGELIST toolbarIcons = nullptr;
  int twelveBitDisplay = 0;
  std::u16string programDirectory;
  int glimpse = 0;
  ce::HWND mainWindow = nullptr;
  ce::HMENU menuBar = nullptr;
  ce::HANDLE workerHandle = nullptr;
  ce::DWORD workerId = 0;
};

// The flags the user-interface thread and the WorkerThread share.
struct SharedFlags {
  std::atomic<int> abortFlag{0};
  std::atomic<int> videoPlaying{0};
  std::atomic<int> animating{0};
  std::atomic<int> thumbnailJob{0};
  std::atomic<int> refresh{0};  // a thumbnail rebuild was asked for
  std::atomic<int> thumbnailProgress{0};
  std::atomic<bool> workerRunning{false};
  std::atomic<uint32_t> jobsTaken{0};  // job messages the worker has taken
};

// The zoom window: the navigator floating over the image area's top-left
// corner, with its overview of the whole page.
struct ZoomWindowState {
  ce::HWND window = nullptr;
  ce::HBITMAP overview = nullptr;
  OverviewGeometry geometry;
  quillon::RenderRequest render{};
};

// The main window's view: geometry, the current page and file, the GDI
// objects that show them.
struct ViewState {
  quillon::RenderRequest render{};
  int rotation = 0;
  int mode = 0;  // view-mode command in force, 0 after a free zoom
  int snapMode = 0;
  int marginX = 0;
  int marginY = 0;
  int areaTop = 0;
  int areaWidth = 0;
  int areaHeight = 0;
  int thumbWidth = 80;
  int thumbHeight = 60;
  int thumbsPerRow = 3;
  int firstThumbShown = 0;
  bool fullScreen = false;
  bool dialogOpen = false;
  quillon::PageRecord page{};
  bool pageLoaded = false;
  quillon::ImageFile file{};
  bool fileOpen = false;
  int pageNumber = 0;
  std::u16string currentPath;
  ce::HPALETTE palette = nullptr;
  ce::HBITMAP viewBitmap = nullptr;
  std::vector<uint8_t> bitmapHeader;  // 3116 bytes, reused for every view bitmap
  ce::RECT selection{};
  ce::HFONT menuFont = nullptr;
  ce::HFONT labelFont = nullptr;
  ce::HWND stripScrollBar = nullptr;
  ce::HBITMAP thumbCell = nullptr;
  void* thumbCellBits = nullptr;
  ce::HIMAGELIST arrowIcons = nullptr;  // "ILIST4_BMP"
  ce::HIMAGELIST systemIcons = nullptr;  // the shell's, never destroyed here
  ce::HIMAGELIST videoIcons = nullptr;
  ce::HIMAGELIST printIcons = nullptr;
  ce::HIMAGELIST badIcons = nullptr;
  ce::HIMAGELIST keyIcons = nullptr;
  ce::HIMAGELIST tapHoldIcons = nullptr;
  ce::SHACTIVATEINFO activateInfo{};
  ZoomWindowState zoom;
};

extern AppState gApp;
extern DeviceState gDevice;
extern SharedFlags gShared;
extern ViewState gView;

// Puts every process-wide value back to its state before start-up.
void ResetProcessState();

// String-table entry `id` (at most 255 characters).
std::u16string LoadText(unsigned id);
// The message of an imaging error: string 5000 - code.
std::u16string ImagingErrorText(int32_t code);

}  // namespace zelmo
