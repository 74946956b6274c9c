// Start-up end to end on the emulated models: the model and its buttons,
// the start-up picture, Glimpse mode, settings across runs, the first
// listing, the worker's hand-shake and an orderly end.
#include <chrono>
#include <cstring>
#include <filesystem>

#include "support/viewer.h"
#include "viewer/app/state.h"
#include "viewer/app/worker.h"
#include "viewer/browse/file_list.h"
#include "viewer/settings/settings.h"

namespace {

using namespace ce;
using namespace zelmo;

using StartUp = vt::ViewerTest;

std::vector<std::u16string> LiveNames() {
  std::vector<std::u16string> names;
  for (int i = 0; i < gFiles.live.files.count; ++i) names.push_back(EntryName(gFiles.live.files, i));
  return names;
}

TEST_F(StartUp, EachModelIsDetectedWithItsButtons) {
  for (const DeviceModel& model : DeviceModels()) {
    SCOPED_TRACE(model.alias);
    StartDevice(model.alias);
    Launch();
    EndSplash();
    EXPECT_EQ(gDevice.index, model.deviceIndex);
    ASSERT_EQ(gDevice.buttons.count, model.buttonCount);
    for (int i = 0; i < model.buttonCount; ++i) {
      std::u16string name(model.buttonNames[i], model.buttonNames[i] + std::strlen(model.buttonNames[i]));
      EXPECT_EQ(gDevice.buttons.buttons[i].name, name) << i;
      EXPECT_EQ(gDevice.buttons.buttons[i].key, model.buttonKeys[i]) << i;
    }
    // Screen memory is reachable exactly on the known models.
    EXPECT_EQ(MapDeviceAddress(gDevice.frameBuffer) != nullptr, model.deviceIndex >= 0);
    EXPECT_EQ(gApp.buttonsPerRow, model.width / 24);
    EXPECT_EQ(gApp.toolbarRows, model.width == 240 ? 5 : 2);
    EXPECT_EQ(gApp.largeScreen, model.width > 240 ? 1 : 0);
    EXPECT_EQ(gApp.displayDepth, model.depth);
    bool twelveBit = std::string(model.alias) == "ipaq3600" ||
                     (std::string(model.alias) == "jornada540" && model.depth == 16);
    EXPECT_EQ(gApp.twelveBitDisplay, twelveBit ? 1 : 0);
    EXPECT_EQ(gApp.programDirectory, u"\\Windows\\");
    bool pocketPc = std::string(model.platformType) == "{DE9660AC-85D3-4C63-A6AF-46A3B3B83737}";
    EXPECT_EQ(gApp.platformFlag, pocketPc ? 1 : 0);
    EXPECT_EQ(Quit(), 0);
    StopEmulator();
    started_ = false;
  }
}

TEST_F(StartUp, TheStartUpPictureEndsAtATapOrAfterThreeSeconds) {
  StartDevice();
  auto begin = std::chrono::steady_clock::now();
  Launch();
  for (int i = 0; i < 500 && !FindWindow(u"ZLSTARTUPCLASS", nullptr); ++i) Sleep(5);
  ASSERT_TRUE(WaitIdle(5000));
  HWND splash = FindWindow(u"ZLSTARTUPCLASS", nullptr);
  ASSERT_NE(splash, nullptr);
  RECT r;
  GetWindowRect(splash, &r);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right, 240);
  EXPECT_EQ(r.bottom, 320);
  EXPECT_EQ(FindWindow(u"RAVLO2", u"Zelmo"), nullptr);
  EndSplash();
  auto tapped = std::chrono::steady_clock::now() - begin;
  EXPECT_LT(tapped, std::chrono::milliseconds(2500));
  EXPECT_EQ(FindWindow(u"ZLSTARTUPCLASS", nullptr), nullptr);
  EXPECT_EQ(Quit(), 0);

  begin = std::chrono::steady_clock::now();
  Launch();
  while (!FindWindow(u"RAVLO2", u"Zelmo") && std::chrono::steady_clock::now() - begin < std::chrono::seconds(6))
    Sleep(5);
  auto waited = std::chrono::steady_clock::now() - begin;
  EXPECT_GE(waited, std::chrono::milliseconds(2950));
  EXPECT_LT(waited, std::chrono::milliseconds(4500));
  EXPECT_EQ(FindWindow(u"ZLSTARTUPCLASS", nullptr), nullptr);
}

TEST_F(StartUp, AKeyAlsoEndsThePicture) {
  StartDevice();
  Launch();
  for (int i = 0; i < 500 && !FindWindow(u"ZLSTARTUPCLASS", nullptr); ++i) Sleep(5);
  ASSERT_TRUE(WaitIdle(5000));
  ASSERT_NE(FindWindow(u"ZLSTARTUPCLASS", nullptr), nullptr);
  InjectKey(VK_LEFT, true);
  InjectKey(VK_LEFT, false);
  for (int i = 0; i < 200 && !FindWindow(u"RAVLO2", u"Zelmo"); ++i) Sleep(10);
  EXPECT_NE(FindWindow(u"RAVLO2", u"Zelmo"), nullptr);
}

TEST_F(StartUp, MainWindowGeometryAndTimer) {
  StartDevice();
  Launch();
  EndSplash();
  HWND main = FindWindow(u"RAVLO2", u"Zelmo");
  RECT r;
  GetWindowRect(main, &r);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 26);
  EXPECT_EQ(r.bottom, 320);
  // Combo view (on by default): 294 - 60 - 41 for the image, the strip's
  // scroll bar under the strip, the toolbar at the bottom.
  EXPECT_EQ(gView.thumbWidth, 80);
  EXPECT_EQ(gView.thumbHeight, 60);
  EXPECT_EQ(gView.thumbsPerRow, 3);
  EXPECT_EQ(gView.areaWidth, 240);
  EXPECT_EQ(gView.areaHeight, 193);
  RECT bar;
  GetWindowRect(gView.stripScrollBar, &bar);
  EXPECT_EQ(bar.top - 26, 254);
  EXPECT_EQ(bar.bottom - bar.top, 16);
  EXPECT_EQ(gApp.currentRow, 0);
  EXPECT_TRUE(gShared.workerRunning);
}

TEST_F(StartUp, TheFirstListingIsPublishedAndSavedSettingsComeBack) {
  StartDevice();
  Launch();
  EndSplash();
  // The samples that pass the quick signature test, by name: Targa files
  // have no signature.
  std::vector<std::u16string> expected = {
      u"camera-exif.jpg", u"chart-packbits.tif", u"chart-rle8.bmp", u"chart.gif",
      u"chart4.bmp",      u"chart8.pcx",         u"clip.avi",       u"clip.mov",
      u"drawing.cal",
      u"invoice-g3-2d.tif", u"letter-g4.tif",    u"memo-g3-2page.tif", u"note1.bmp",
      u"os2-photo.bmp",   u"pages-bigendian.tif", u"pages.dcx",     u"photo-interlaced.gif",
      u"photo-jpeg.pdf",  u"photo-jpeg.tif",     u"photo-progressive.jpg", u"photo-rgb.tif",
      u"photo.jpg",       u"photo24.bmp",        u"photo24.pcx",    u"scan-g4.pdf",
      u"scan-lzw.tif",    u"spinner.gif",
  };
  EXPECT_EQ(LiveNames(), expected);
  // count-entries counts every file of the folder (and folders: none here).
  int samples = 0;
  for (const auto& e : std::filesystem::directory_iterator(ZELMO_SAMPLES))
    samples += e.path().extension() != ".md";
  EXPECT_EQ(gFiles.entryCount, samples);
  EXPECT_EQ(gFiles.entryCountAtScan, samples);
  EXPECT_EQ(gFiles.currentIndex, -1);
  // The first thumbnail job was taken.
  for (int i = 0; i < 100 && gShared.jobsTaken == 0; ++i) Sleep(10);
  EXPECT_EQ(gShared.jobsTaken, 1u);
  EXPECT_EQ(gShared.abortFlag, 0);

  // Sort by size, as the menu does; the order is kept for the next run.
  PostMessage(gApp.mainWindow, WM_COMMAND, 40107, 0);
  ASSERT_TRUE(WaitIdle(5000));
  EXPECT_EQ(gSettings.sortOrder, 1);
  for (int i = 1; i < gFiles.live.files.count; ++i)
    EXPECT_LE(EntryAt(gFiles.live.files, i - 1)->size, EntryAt(gFiles.live.files, i)->size);
  EXPECT_EQ(Quit(), 0);
  EXPECT_EQ(vt::SettingsValueCount(), 36);

  Launch();
  EndSplash();
  EXPECT_EQ(gSettings.sortOrder, 1);
  ASSERT_EQ(gFiles.live.files.count, static_cast<int>(expected.size()));
  for (int i = 1; i < gFiles.live.files.count; ++i)
    EXPECT_LE(EntryAt(gFiles.live.files, i - 1)->size, EntryAt(gFiles.live.files, i)->size);
}

TEST_F(StartUp, GlimpseModeShowsNoPictureScansNothingAndSavesNothing) {
  StartDevice();
  Launch(u"\"\\My Documents\\letter-g4.tif\"");
  for (int i = 0; i < 300 && !FindWindow(u"RAVLO2", u"Zelmo"); ++i) Sleep(10);
  ASSERT_TRUE(WaitIdle(5000));
  EXPECT_EQ(gApp.glimpse, 1);
  EXPECT_FALSE(gSettings.options.thumbnailsEnabled);
  EXPECT_FALSE(gSettings.options.comboView);
  EXPECT_EQ(gView.currentPath, u"\\My Documents\\letter-g4.tif");
  // The page is shown; a file of one page is closed once it is loaded.
  EXPECT_TRUE(gView.pageLoaded);
  EXPECT_EQ(gView.page.width, 1728);
  EXPECT_FALSE(gView.fileOpen);
  EXPECT_EQ(gFiles.live.files.count, 0);
  EXPECT_EQ(gShared.jobsTaken, 0u);
  // Without combo view the image area reaches the toolbar.
  EXPECT_EQ(gView.areaHeight, 294 - 24);
  EXPECT_TRUE(ce::MessageBoxHistory().empty());
  EXPECT_EQ(Quit(), 0);
  EXPECT_FALSE(vt::SettingsKeyExists());
}

TEST_F(StartUp, AMissingFileOnTheCommandLineShowsTheLibrarysMessage) {
  StartDevice();
  Launch(u"\\My Documents\\gone.tif");
  for (int i = 0; i < 300 && ce::MessageBoxHistory().empty(); ++i) Sleep(10);
  ASSERT_EQ(ce::MessageBoxHistory().size(), 1u);
  ce::MessageBoxRecord box = ce::MessageBoxHistory()[0];
  // A file that cannot be opened is the library's -3.
  EXPECT_EQ(box.text, u"General I/O error");
  EXPECT_EQ(box.caption, u"gone.tif");
  EXPECT_EQ(box.type & MB_ICONSTOP, static_cast<unsigned>(MB_ICONSTOP));
  ASSERT_TRUE(WaitIdle(5000));
  EXPECT_FALSE(gView.fileOpen);
  EXPECT_EQ(Quit(), 0);
}

TEST_F(StartUp, ADamagedRegistryFileStartsWithDefaults) {
  // A registry holding a sort order and a broken line: the whole file is
  // set aside.
  vt::WriteFile(Root() + "/.emulator/registry.txt",
                std::vector<uint8_t>({'[', 'H', 'K', 'E', 'Y', '_', 'L', 'O', 'C', 'A', 'L', '_', 'M', 'A',
                                      'C', 'H', 'I', 'N', 'E', '\\', 'S', 'O', 'F', 'T', 'W', 'A', 'R', 'E',
                                      '\\', 'T', 'a', 'r', 'n', 'w', 'i', 'c', 'k', '\\', 'Z', 'e', 'l', 'm',
                                      'o', ']', '\n', '"', 'S', 'o', 'r', 't', 'O', 'r', 'd', 'e', 'r', '"',
                                      '=', 'd', 'w', 'o', 'r', 'd', ':', '0', '0', '0', '0', '0', '0', '0',
                                      '2', '\n', 'g', 'a', 'r', 'b', 'a', 'g', 'e', '\n'}));
  StartDevice();
  EXPECT_TRUE(vt::Exists(Root() + "/.emulator/registry.txt.damaged"));
  Launch();
  EndSplash();
  EXPECT_EQ(gSettings.sortOrder, 0);
  EXPECT_EQ(gSettings.defView, 40033);
  EXPECT_TRUE(gSettings.options.comboView);
  EXPECT_EQ(Quit(), 0);
  EXPECT_EQ(vt::SettingsValueCount(), 36);
}

TEST_F(StartUp, TheWorkersHandShake) {
  StartDevice();
  Launch(u"\\My Documents\\chart.gif");  // Glimpse: no thumbnail job of its own
  for (int i = 0; i < 300 && !gShared.workerRunning; ++i) Sleep(10);
  ASSERT_TRUE(WaitIdle(5000));
  auto taken = [](uint32_t n) {
    for (int i = 0; i < 300 && gShared.jobsTaken < n; ++i) Sleep(5);
    return gShared.jobsTaken == n;
  };
  // Thumbnail and print jobs clear AbortFlag when they are taken.
  StartJob(kJobThumbnails);
  ASSERT_TRUE(taken(1));
  ASSERT_TRUE(WaitIdle(5000));
  EXPECT_EQ(gShared.abortFlag, 0);
  EXPECT_EQ(gShared.thumbnailJob, 0);
  StartJob(kJobPrint);
  ASSERT_TRUE(taken(2));
  ASSERT_TRUE(WaitIdle(5000));
  EXPECT_EQ(gShared.abortFlag, 0);
  EXPECT_TRUE(IsWindowEnabled(gApp.mainWindow));
  // The slide show and video keep it: it is theirs to watch.
  StartJob(kJobSlideShow);
  ASSERT_TRUE(taken(3));
  ASSERT_TRUE(WaitIdle(5000));
  EXPECT_EQ(gShared.abortFlag, 1);
  StartJob(kJobVideo);
  ASSERT_TRUE(taken(4));
  // Anything else is ignored.
  PostThreadMessage(gApp.workerId, WM_USER + 5, 0, 0);
  PostThreadMessage(gApp.workerId, 40045 + 1, 0, 0);
  StartJob(kJobThumbnails);
  ASSERT_TRUE(taken(5));
  EXPECT_TRUE(gShared.workerRunning);
}

TEST_F(StartUp, ShutdownLeavesNoThreadRunning) {
  StartDevice();
  Launch();
  EndSplash();
  HANDLE worker = gApp.workerHandle;
  ASSERT_NE(worker, nullptr);
  EXPECT_TRUE(gShared.workerRunning);
  PostMessage(gApp.mainWindow, WM_COMMAND, 40004, 0);
  EXPECT_EQ(WaitEnd(), 0);
  EXPECT_FALSE(gShared.workerRunning);
  EXPECT_EQ(gApp.workerHandle, nullptr);
  EXPECT_EQ(FindWindow(u"RAVLO2", u"Zelmo"), nullptr);
  EXPECT_EQ(vt::SettingsValueCount(), 36);
}

}  // namespace

namespace {

using namespace ce;
using namespace zelmo;

using Toolbar = vt::ViewerTest;

void Tap(int x, int y) {
  ASSERT_TRUE(WaitIdle(5000));
  InjectPen(PenAction::kDown, x, y);
  InjectPen(PenAction::kUp, x, y);
}

// The tap-and-hold recogniser may still be watching the pen when the
// queues run empty: give it the time to see the pen go up.
bool RowBecomes(int row) {
  Sleep(60);
  return WaitIdle(5000) && gApp.currentRow == row;
}

TEST_F(Toolbar, TapsOnItsEndsTurnTheRows) {
  StartDevice();
  Launch();
  EndSplash();
  EXPECT_EQ(gApp.currentRow, 0);
  Tap(230, 310);  // slot 9: "Next Toolbar"
  EXPECT_TRUE(RowBecomes(1));
  Tap(5, 310);  // slot 0: "Previous Toolbar"
  EXPECT_TRUE(RowBecomes(0));
  Tap(15, 310);  // apart from the last tap, or it would be a double tap
  EXPECT_TRUE(RowBecomes(4));  // wrapped to the last of five rows
  // A tap above the toolbar (the image area) does not act on it.
  Tap(5, 100);
  Sleep(100);
  ASSERT_TRUE(WaitIdle(5000));
  EXPECT_EQ(gApp.currentRow, 4);
  // The menu bar's commands reach the same handlers.
  PostMessage(gApp.mainWindow, WM_COMMAND, 40074, 0);
  EXPECT_TRUE(RowBecomes(0));
}

}  // namespace
