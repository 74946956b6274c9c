// The emulator itself: the emulated models, the options a program is started
// with, the presenters, and the hooks tests and scripts drive it through.
// Programs written for the handheld include platform/ce.h; their main()
// hands WinMain to RunEmulator.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/ce_base.h"

namespace ce {

// ---------------------------------------------------------------------------
// Emulated models

// Screen memory layouts.  Orientation 0: pixel (x, y) at x + y * pitch.
// 270: at (H - 1 - y) + x * pitch (memory rows run down logical x).  90 (the
// 4-bit gray panel): memory row W - 1 - x, pixel y along it, two pixels per
// byte with the even y in the low nibble; the pitch counts bytes.
enum ScreenFlag : uint32_t {
  kScreenComplemented = 0x01,  // memory holds 15 - level
  kScreenNibbleSwap = 0x100,
  kScreen16BitStores = 0x10000,
};

struct DeviceModel {
  const char* alias;  // --device name
  const char* oemInfo;  // SPI_GETOEMINFO and HKLM\Platform Name
  const char* platformType;  // HKLM\Windows CE Tools Platform
  int width;
  int height;
  int depth;
  int deviceIndex;  // row of the viewer's known-device table, -1 unknown
  uint32_t frameBuffer16;  // frame-buffer address at 16 bpp (0: none)
  uint32_t frameBufferOther;  // at any other depth
  int pitch;  // pixels per memory row (bytes for the 4-bit panel)
  int orientation;  // 0, 90 or 270
  uint32_t flags;  // ScreenFlag bits
  // Hardware buttons in the viewer's ButtonLayout order (names, keys).
  int buttonCount;
  const char* buttonNames[10];
  uint8_t buttonKeys[10];
  const char* platformName = nullptr;  // HKLM\Platform Name when not the OEM string
};

std::span<const DeviceModel> DeviceModels();
// By alias or OEM name, case-insensitively; null when unknown.
const DeviceModel* FindDeviceModel(const std::string& name);
const DeviceModel& CurrentDevice();

// Host keyboard -> device key map of a model: arrows, Enter = the Action key,
// Escape, Space, Tab, F1..F8 = the remaining buttons in layout order.
struct KeyBinding {
  const char* hostKey;  // "Left", "Enter", "F1", ...
  int virtualKey;
  const char* button;  // the model's button name, or "" for plain keys
};
std::vector<KeyBinding> KeyMap(const DeviceModel& model);

// ---------------------------------------------------------------------------
// Options

enum class IrdaMode { kPrinter, kNone, kNoSocket, kIasNone, kIasString, kIasTimeout, kRefuse };

struct EmulatorConfig {
  std::string device = "ipaq3600";
  // --screen WxHxD: the unknown model's screen (0: the model's own).
  int screenWidth = 0;
  int screenHeight = 0;
  int screenDepth = 0;
  std::string root;  // device folder; empty = $XDG_DATA_HOME/zelmo/device
  std::vector<std::string> readOnly;  // device folders every write under fails
  std::string samples;  // folder copied into a fresh \My Documents
  std::string moduleName = "\\Windows\\zelmo.exe";
  bool headless = false;
  std::string script;
  int zoom = 2;
  bool log = false;
  std::vector<int> heldKeys;
  IrdaMode irda = IrdaMode::kPrinter;
  int irdaPdu = 2048;  // the link's maximum send PDU; 0 = cannot be read
  std::string printouts = "both";  // the virtual printer's files: png, pdf, both, none
  std::vector<int> missingComPorts;
  std::string clipboardDump;
  std::string clock;  // "HH:MM" shown by the task bar instead of the time
  int holdMilliseconds = 500;  // tap-and-hold recogniser
  bool secondInstanceService = true;  // answer other processes on the folder
  bool listDevices = false;
  bool help = false;
};

// Parses the emulator's options; the rest (the program's own command line)
// goes to `rest`.  Returns false with a message in `error` on a bad option.
bool ParseEmulatorOptions(int argc, char** argv, EmulatorConfig* config,
                          std::vector<std::string>* rest, std::string* error);
std::string EmulatorUsage(const EmulatorConfig& config);

// ---------------------------------------------------------------------------
// Life cycle

// Sets up the device: screen memory, the device folder, the registry, the
// shell (task bar and desktop).  Returns false with a message on failure.
bool StartEmulator(const EmulatorConfig& config, std::string* error);
// Ends every thread the emulator runs and forgets every window and object.
// Threads the program created must have ended.
void StopEmulator();
bool EmulatorRunning();

using WinMainProc = int (*)(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine,
                            int show);
// Parses the options, starts the emulator, runs `winMain` on the program's
// user-interface thread and the chosen presenter on the calling thread, and
// returns the program's exit code: 2 for bad options or no display, 3 for a
// script whose expectation failed.  A host file named on the command line
// reaches the program as its device path.  --help prints `programUsage`
// (the program's own usage) before the emulator's options.
int RunEmulator(int argc, char** argv, WinMainProc winMain, const char* samplesFolder,
                const char* programUsage = nullptr);

// ---------------------------------------------------------------------------
// Resources embedded by the build (see platform/resources.cmake).

struct ResourceFile {
  const char* path;  // relative to the resource folder, '/' separated
  const uint8_t* data;
  size_t size;
  int64_t modified;  // the file's time when embedded, seconds since 1970
};
void SetProgramResources(std::span<const ResourceFile> files);
HINSTANCE ProgramInstance();

// ---------------------------------------------------------------------------
// Screen memory

// The host pointer of screen memory for a frame-buffer address the device
// reports for the current depth; null for any other address.
void* MapDeviceAddress(uint32_t address);
// The one pixel-address function every writer of screen memory shares:
// byte offset of logical pixel (x, y) and the bit shift of its value inside
// that byte (0 for depths of 8 and more).
struct ScreenLocation {
  size_t byte;
  int shift;
};
ScreenLocation LocateScreenPixel(int x, int y);
uint8_t* ScreenMemory();
size_t ScreenMemorySize();
// The lock of screen memory.  GDI writes screen memory and the presenters
// read it under one lock; a thread that writes or reads screen memory
// itself, through the address MapDeviceAddress gives, holds this guard
// around each blit, transition step or capture, never across a wait and
// never while calling GDI.  The guard is the emulator's only addition to
// direct screen access: the handheld has no such lock.
class ScreenMemoryLock {
 public:
  ScreenMemoryLock();
  ~ScreenMemoryLock();
  ScreenMemoryLock(const ScreenMemoryLock&) = delete;
  ScreenMemoryLock& operator=(const ScreenMemoryLock&) = delete;
};
// The screen as the eye sees it: 0x00RRGGBB per pixel, rows top-down.
std::vector<uint32_t> ScreenPixels();
bool SaveScreenshot(const std::string& pngPath, std::string* error);

// ---------------------------------------------------------------------------
// Input, as the presenters and scripts feed it

enum class PenAction { kDown, kMove, kUp, kRightDown, kRightUp };
void InjectPen(PenAction action, int x, int y);
void InjectKey(int virtualKey, bool down);
void InjectChar(char16_t ch);
// Waits until every queue is empty, no paint is pending and every thread
// that owns windows waits for messages.  False on time-out.
bool WaitIdle(int timeoutMilliseconds);

// Waits until `done` holds or timeoutMs (INFINITE: no limit) has passed,
// running meanwhile every message other threads send to this thread's
// windows (PeekMessage and MsgWaitForMultipleObjects in a loop); posted
// messages stay queued for the message loop.  A user-interface thread that
// waits for its worker uses it: the worker's calls on the thread's windows
// (SetScrollPos, ShowWindow, SetDlgItemText, ...) are sends that finish only
// while their owner serves them.  `done` is polled at least every 10 ms.
// True when `done` held.
bool WaitServingSent(const std::function<bool()>& done, DWORD timeoutMs);

// Runs a headless script (see EmulatorUsage); returns 0, or 3 after
// printing the failed line to stderr.  `quit` is set when it asked to end.
int RunScript(const std::string& path, bool* quit);

// ---------------------------------------------------------------------------
// What tests and scripts can observe

// Queues the answer of the next message box (IDOK, IDYES, IDNO, IDCANCEL).
void QueueMessageBoxAnswer(int answer);
struct MessageBoxRecord {
  std::u16string caption;
  std::u16string text;
  unsigned type;
  int answer;
};
std::vector<MessageBoxRecord> MessageBoxHistory();
// A program's own milestone ("thumbnails done"), printf-style: logged as
// "milestone TEXT", printed under --log, and what scripts wait for with
// wait-log.
void LogMilestone(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Every event --log prints: "messagebox", "beep", "launch", "sound",
// "milestone" lines.
std::vector<std::string> EventLog();
void ClearEventLog();
// Packed DIB on the clipboard (empty when none).
std::vector<uint8_t> ClipboardDib();

}  // namespace ce
