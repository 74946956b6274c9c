// The emulator's shared state: windows, classes, thread queues, timers, hot
// keys, input state.  One lock guards all of it; window procedures are never
// called with the lock held.  The state is created once and never destroyed,
// so threads the program leaves running at exit find it intact.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ce.h"
#include "platform/emulator.h"

namespace ce::internal {

using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------------------
// Handles: small integers shifted left by two, so that bit 0 stays free and
// bit 1 marks windows of another process.

template <typename H>
H MakeHandle(uint32_t id) {
  return reinterpret_cast<H>(static_cast<uintptr_t>(id) << 2);
}
template <typename H>
uint32_t HandleId(H handle) {
  uintptr_t v = reinterpret_cast<uintptr_t>(handle);
  return (v & 3) == 0 ? static_cast<uint32_t>(v >> 2) : 0;
}

// ---------------------------------------------------------------------------
// Thread queues

// A message sent from one thread to a window of another; the receiver runs
// it while it waits for messages and marks it done.
struct SentMessage {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  LRESULT result = 0;
  bool done = false;
  struct ThreadQueue* sender = nullptr;
};

struct ThreadQueue {
  DWORD id = 0;
  uint64_t generation = 0;
  std::deque<MSG> posted;
  std::deque<SentMessage*> sent;
  std::condition_variable wake;
  bool quitPending = false;
  int quitCode = 0;
  bool waiting = false;  // blocked in GetMessage, WaitMessage, a wait or Sleep
  DWORD newBits = 0;  // QS_ kinds posted since the thread last looked
  bool alive = true;
  int sendDepth = 0;  // inside a sent message's window procedure
  MSG last{};  // for GetMessagePos / GetMessageTime
};

// ---------------------------------------------------------------------------
// Windows

struct WindowClass {
  std::u16string name;
  UINT style = 0;
  WNDPROC proc = nullptr;
  int windowExtra = 0;
  HINSTANCE instance = nullptr;
  HICON icon = nullptr;
  HBRUSH background = nullptr;
  bool system = false;
};

struct ScrollState {
  int minPos = 0;
  int maxPos = 100;
  UINT page = 0;
  int pos = 0;
  int trackPos = 0;
  bool tracking = false;
  int pressed = -1;  // the part held down, -1 none
};

struct Window {
  uint32_t id = 0;
  HWND handle = nullptr;
  const WindowClass* cls = nullptr;
  WNDPROC proc = nullptr;
  std::u16string text;
  DWORD style = 0;
  DWORD exStyle = 0;
  HWND parent = nullptr;  // child windows
  HWND owner = nullptr;  // owned top-level windows
  uintptr_t childId = 0;
  RECT rect{};  // in the parent's client coordinates (screen for top level)
  RECT insets{};  // non-client widths: left, top, right, bottom
  std::vector<HWND> children;  // front first
  DWORD thread = 0;
  bool destroying = false;
  bool created = false;
  RECT update{};
  bool updatePending = false;
  bool erasePending = false;
  bool frameDirty = false;
  intptr_t userData = 0;
  std::vector<uint8_t> extra;
  HINSTANCE instance = nullptr;
  DWORD fullScreen = 0;
  HMENU menuBar = nullptr;
  ScrollState scroll[2];  // window scroll bars: SB_HORZ, SB_VERT
  // Dialogs.
  bool isDialog = false;
  DLGPROC dialogProc = nullptr;
  intptr_t dialogResult = 0;  // DWL_MSGRESULT
  intptr_t dialogUser = 0;  // DWL_USER
  bool dialogEnded = false;
  intptr_t endValue = 0;
  bool doneButton = false;  // SHInitDialog's Done box
  SIZE layout{};  // the template layout's size, centred in the client area
  POINT layoutOffset{};
  HFONT font = nullptr;
  // Controls keep their state behind this pointer (owned by the control).
  void* control = nullptr;
  void (*controlFree)(void*) = nullptr;
  bool shell = false;  // the task bar and the desktop
};

struct Timer {
  HWND hwnd;
  uintptr_t id;
  UINT period;
  Clock::time_point due;
  TIMERPROC proc;
  DWORD thread;
};

struct HotKey {
  HWND hwnd;
  int id;
  UINT modifiers;
  UINT key;
};

// ---------------------------------------------------------------------------
// The whole system

struct System {
  std::mutex lock;
  uint64_t generation = 1;
  bool running = false;
  EmulatorConfig config;
  const DeviceModel* device = nullptr;
  Clock::time_point start = Clock::now();

  std::map<uint32_t, std::unique_ptr<Window>> windows;  // by id: creation order
  uint32_t nextWindowId = 1;
  std::vector<HWND> zorder;  // top-level windows, front first
  std::map<std::u16string, std::unique_ptr<WindowClass>> classes;  // lower-case name
  std::map<DWORD, std::shared_ptr<ThreadQueue>> threads;
  DWORD nextThreadId = 1;
  std::vector<Timer> timers;
  uintptr_t nextThreadTimerId = 0x7000;
  std::vector<HotKey> hotkeys;
  uint64_t zGeneration = 1;  // bumped by every change of what covers what

  HWND foreground = nullptr;
  HWND focus = nullptr;
  HWND capture = nullptr;
  HWND taskBar = nullptr;
  HWND desktop = nullptr;

  // Input.
  bool penDown = false;
  POINT penPos{};
  // The last press of the pen: where and when it went down and came up,
  // and whether it left the tap-and-hold distance meanwhile.
  POINT pressPos{};
  Clock::time_point pressDown{};
  Clock::time_point pressUp{};
  bool pressStrayed = false;
  HWND penTarget = nullptr;
  Clock::time_point lastDownTime{};
  POINT lastDownPos{};
  HWND lastDownWindow = nullptr;
  bool keyDown[256] = {};
  // A window scroll bar being dragged by the pen.
  HWND ncScroll = nullptr;
  int ncBar = 0;
  int ncStart = 0;

  // Shell.
  DWORD sipPreference = 0;
  SIPINFO sipInfo{};
  int waitCursor = 0;
};

System& Sys();
// The model a configuration asks for, with its --screen; null when unknown.
const DeviceModel* ConfiguredModel(const EmulatorConfig& config);
// The calling thread's queue, created on first use.
ThreadQueue* CurrentQueue();
ThreadQueue* CurrentQueueLocked(std::unique_lock<std::mutex>& lk);

// Window lookups; the lock must be held and the pointer not kept past it.
Window* FindWindowLocked(HWND hwnd);
// Lower-case for class-name and path comparisons.
std::u16string Lower(std::u16string_view s);
std::u16string ToU16(const char* s);
std::u16string ToU16(std::string_view s);
std::string ToUtf8(std::u16string_view s);
std::u16string FromW(LPCWSTR s);

// Window geometry (lock held).
RECT WindowScreenRect(const Window* w);
RECT ClientScreenRect(const Window* w);
bool IsVisibleLocked(const Window* w);  // itself and every ancestor
bool IsEnabledLocked(const Window* w);
Window* RootLocked(Window* w);
// Invalidates everything any visible window shows inside a screen rectangle
// (after a window went away or moved).
void InvalidateScreenRectLocked(const RECT& screen);
void InvalidateWindowLocked(Window* w, const RECT* clientRect, bool erase, bool children);
// Wakes the thread that owns a window.
void WakeThreadLocked(DWORD thread);
void PostLocked(DWORD thread, const MSG& msg);
// The QS_ bit a posted message counts under.
DWORD WakeBit(UINT message);
DWORD WindowThread(HWND hwnd);
// Visible parts of a window on the screen (client or whole window).
std::vector<RECT> VisibleRectsLocked(const Window* w, bool client);

// Cross-thread calls: runs `message` on the owner's thread when the window
// belongs to another thread; returns false when the caller is the owner.
enum InternalCall : UINT {
  kCallDestroy = 0x03E0,
  kCallShow,
  kCallSetPos,
  kCallEnable,
  kCallSetFocus,
  kCallForeground,
  kCallEnd
};
bool IsInternalCall(UINT message);
LRESULT RunInternalCall(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
bool MarshalToOwner(HWND hwnd, UINT call, WPARAM wParam, LPARAM lParam, LRESULT* result);

// Input routing (messages.cpp / input.cpp).
void ResetInputLocked();
void DropWindowReferencesLocked(HWND hwnd);
// Foreground bookkeeping and the task bar's visibility.
void UpdateTaskBarLocked();

// Scroll bars (scrollbar.cpp): drawing shared by window scroll bars and the
// "scrollbar" control.
void DrawScrollBar(HDC hdc, RECT r, const ScrollState& s, bool vertical, bool enabled);
void RedrawFrame(HWND hwnd);
void BringToFrontLocked(Window* w);
RECT ComputeInsets(DWORD style, DWORD exStyle);
void BumpZ();  // something changed what covers what

// Windows of another process on the same device folder (instance.cpp).
LRESULT RemoteSendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, bool post);
HWND FindLocalWindow(const std::u16string* className, const std::u16string* title);
HWND RemoteFindWindow(const std::u16string& className, const std::u16string* title);
BOOL RemoteSetForeground(HWND hwnd);

// What the presenter offers beyond the screen: sound and the desktop's
// opener.  Null hooks (headless) leave only the event log.
struct PresenterHooks {
  void (*playSound)(const uint8_t* samples, size_t count, int rate);  // 8-bit mono
  void (*stopSound)();
  bool (*openOnDesktop)(const std::string& hostPath, bool mail);
  void (*moveCursor)(int x, int y);  // the desktop pointer, in screen pixels
};
void SetPresenterHooks(const PresenterHooks* hooks);
const PresenterHooks* Hooks();

// Event log and --log.
void LogEvent(const std::string& line);

// Life cycle of the subsystems (each in its own file).
void RegisterSystemClasses();
void StartShell();
void StopShell();
void ResetGdi();
void ResetMenus();
void ResetKernelObjects();
void ResetMessageBoxes();
void ResetImageLists();
// Files, registry, second-instance service, clipboard (services.cpp).
bool StartServices(const EmulatorConfig& config, std::string* error);
void StopServices();

}  // namespace ce::internal
