// Start-up, step by step in the handheld's order, the hand-over of a file
// name to a viewer that is already running, the message loop and shutdown.
#include "viewer/app/startup.h"

#include <algorithm>

#include "viewer/app/device.h"
#include "viewer/app/functions.h"
#include "viewer/app/main_window.h"
#include "viewer/app/page_load.h"
#include "viewer/app/state.h"
#include "viewer/app/windows.h"
#include "viewer/app/worker.h"
#include "viewer/browse/file_list.h"
#include "viewer/dialogs/capture.h"
#include "viewer/settings/registry_values.h"
#include "viewer/settings/settings.h"
#include "viewer/thumbs/thumbnails.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr UINT kClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
constexpr int kActionKey = 0x86;
// The worker is told to end and given this long; jobs poll AbortFlag often.
constexpr DWORD kWorkerExitMs = 2000;

// A second start: bring the first one forward and leave it the file.
void HandOver(HWND running, const std::u16string& path) {
  SetForegroundWindow(reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(running) | 1));
  if (path.empty()) return;
  HKEY key;
  if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                     nullptr) == ERROR_SUCCESS) {
    WriteString(key, u"Cmdline", path);
    RegCloseKey(key);
  }
  PostMessage(running, WM_OPENPASSEDFILE, 0, 0);
}

void ReadDisplayMetrics() {
  HDC screen = GetDC(nullptr);
  gApp.displayDepth = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
  ReleaseDC(nullptr, screen);
  gApp.screenWidth = GetSystemMetrics(SM_CXSCREEN);
  gApp.screenHeight = GetSystemMetrics(SM_CYSCREEN);
  gApp.toolbarRows = ToolbarRowCount(gApp.screenWidth);
  // Every row's slots lie inside the 66-byte layout, however wide the screen.
  gApp.buttonsPerRow = std::min(gApp.screenWidth / kToolbarButtonWidth, kToolbarSlots / gApp.toolbarRows);
}

void LoadShutterAndMenu() {
  if (HRSRC found = FindResource(gApp.instance, u"SHUTTER", u"BINDATA"))
    gApp.shutterSound = LockResource(LoadResource(gApp.instance, found));
  gApp.toolMenu = LoadMenu(gApp.instance, MAKEINTRESOURCE(119));
  gApp.tapHoldMenu = gApp.toolMenu ? GetSubMenu(gApp.toolMenu, 0) : nullptr;
}

// The two displays whose 16 bits show only 12.
int TwelveBitDisplay() {
  WCHAR oem[256] = {};
  SystemParametersInfo(SPI_GETOEMINFO, sizeof(oem), oem, 0);
  oem[255] = 0;
  std::u16string name(oem);
  return (name == u"HP,Jornada 540,,9357,USEnglish,SH3" && gApp.displayDepth == 16) ||
         name == u"Compaq iPAQ H3600";
}

// The module's folder with its trailing backslash.
std::u16string ProgramDirectory() {
  WCHAR module[256] = {};
  DWORD n = GetModuleFileName(gApp.instance, module, 256);
  std::u16string path(module, n < 256 ? n : 255);
  size_t slash = path.find_last_of(u'\\');
  if (slash != std::u16string::npos) return path.substr(0, slash + 1);
  return path.substr(0, 1);
}

void FirstScan() {
  const std::u16string& folder = gSettings.curDir;
  gFiles.entryCount = gFiles.entryCountAtScan = CountEntries(folder);
  ScanFolders(folder);
  ScanFiles(folder, FilterPattern(gSettings.dirFilter), true);
  Publish();
  KeepCurrentFile(CurrentFileName());
  StartJob(kJobThumbnails);
}

void ReleaseProcessObjects() {
  if (gView.menuFont) DeleteObject(gView.menuFont);
  if (gView.labelFont) DeleteObject(gView.labelFont);
  gView.menuFont = gView.labelFont = nullptr;
  if (gApp.toolbarIcons) ImageList_Destroy(gApp.toolbarIcons);
  if (gView.arrowIcons) ImageList_Destroy(gView.arrowIcons);
  gApp.toolbarIcons = gView.arrowIcons = nullptr;
  if (gApp.toolMenu) DestroyMenu(gApp.toolMenu);
  gApp.toolMenu = gApp.tapHoldMenu = nullptr;
}

}  // namespace

std::u16string CommandLinePath(const char16_t* commandLine) {
  std::u16string s = commandLine ? commandLine : u"";
  size_t first = s.find_first_not_of(u" \t");
  if (first == std::u16string::npos) return u"";
  size_t last = s.find_last_not_of(u" \t");
  s = s.substr(first, last - first + 1);
  if (s.size() >= 2 && s.front() == u'"' && s.back() == u'"') s = s.substr(1, s.size() - 2);
  return s;
}

void RegisterWindowClasses() {
  struct ClassRow {
    const char16_t* name;
    WNDPROC proc;
    bool icon;
  };
  const std::u16string mainClass = LoadText(3);
  const ClassRow rows[] = {
      {mainClass.c_str(), MainWindowProc, true},   {u"ZLTHUMBVIEW", ThumbViewProc, true},
      {u"ZLZOOMCLASS", ZoomWindowProc, true},      {u"ZLSLIDECLASS", SlideWindowProc, false},
      {u"ZLSTARTUPCLASS", SplashWindowProc, false},
  };
  for (const ClassRow& r : rows) {
    WNDCLASS wc{};
    wc.style = kClassStyle;
    wc.lpfnWndProc = r.proc;
    wc.hInstance = gApp.instance;
    wc.hIcon = r.icon ? LoadIcon(gApp.instance, MAKEINTRESOURCE(101)) : nullptr;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = r.name;
    RegisterClass(&wc);
  }
}

int HeldApplicationKey() {
  for (int key = 0xC0; key <= 0xC7; ++key) {
    if (!(GetAsyncKeyState(key) & 0x8000)) continue;
    return (GetAsyncKeyState(key) & 0x8000) ? key : 0;
  }
  return 0;
}

int WinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int show) {
  ResetProcessState();
  // 1-4: the process, the task bar, the platform, the root's name.
  gApp.instance = instance;
  gApp.largeScreen = GetSystemMetrics(SM_CXSCREEN) > 240;
  gApp.taskBar = FindWindow(u"HHTaskBar", nullptr);
  gApp.platformFlag = ReadPlatformFlag();
  gApp.rootName = u"My Device";
  const std::u16string path = CommandLinePath(commandLine);

  // 5: one viewer at a time.
  const std::u16string mainClass = LoadText(3), title = LoadText(1);
  if (HWND running = FindWindow(mainClass.c_str(), title.c_str())) {
    HandOver(running, path);
    return 0;
  }

  // 6-11: classes, display, controls, sound and menu, model and buttons.
  RegisterWindowClasses();
  ReadDisplayMetrics();
  INITCOMMONCONTROLSEX controls{8, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  LoadShutterAndMenu();
  gDevice.index = DetectDeviceIndex();
  if (gDevice.index != -1)
    gDevice.frameBuffer = ComputeFrameBuffer(gDevice.index, gApp.displayDepth, gApp.screenHeight);
  gDevice.buttons = ChooseButtonLayout(gDevice.index, gApp.largeScreen != 0);

  // 12: an application key held at launch takes one capture and ends.
  if (HeldApplicationKey()) {
    TakeCapture();
    ReleaseProcessObjects();
    return 0;
  }

  // 13-16: toolbar, settings, Glimpse mode or the start-up picture.
  gApp.toolbarIcons = ImageList_LoadBitmap(instance, u"ILIST1_BMP", kToolbarButtonWidth, 0, CLR_NONE);
  gApp.currentRow = 0;
  LoadSettings();
  if (!gSettings.options.thumbnailsEnabled) gSettings.options.comboView = false;
  if (!path.empty()) {
    gApp.glimpse = 1;
    gSettings.options.thumbnailsEnabled = false;
    gSettings.options.comboView = false;
  } else {
    ShowSplash();
  }

  // 17-20: the main window, the display's quirks, the program's folder,
  // the animation timer.
  if (!CreateMainWindow(show)) {
    ReleaseProcessObjects();
    return 0;
  }
  gApp.twelveBitDisplay = TwelveBitDisplay();
  gApp.programDirectory = ProgramDirectory();
  gShared.videoPlaying = 0;
  gShared.animating = 0;
  SetTimer(gApp.mainWindow, kAnimationTimer, 1000 / static_cast<UINT>(gSettings.animationRate + 1),
           nullptr);

  // 21-24: the file named on the command line, the worker, the action
  // key, the first listing.
  if (!path.empty() && SetCurrentPath(path)) OpenCurrentFileAsNew();
  StartWorker();
  Sleep(100);
  RegisterHotKey(gApp.mainWindow, 0, 0, kActionKey);
  if (!gApp.glimpse) FirstScan();

  // 25: the message loop.
  MSG msg{};
  while (GetMessage(&msg, nullptr, 0, 0)) {
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }

  // 26: shutdown.
  UnregisterHotKey(gApp.mainWindow, 0);
  gShared.videoPlaying = 0;
  gShared.animating = 0;
  StopWorker(kWorkerExitMs);
  FreeAllThumbnails();
  ReleaseProcessObjects();
  return static_cast<int>(msg.wParam);
}

}  // namespace zelmo
