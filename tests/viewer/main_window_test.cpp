// The main window at work on an emulated device: pages loaded for
// display, animation frames composed, clipboard blocks, buttons, taps and
// the label, the zoom window, and the scripts of what the window must show.
#include <cstring>
#include <filesystem>

#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "imaging/pixels/pixels.h"
#include "support/viewer.h"
#include "viewer/app/main_window.h"
#include "viewer/app/page_load.h"
#include "viewer/app/state.h"
#include "viewer/app/view.h"
#include "viewer/browse/file_list.h"
#include "viewer/settings/settings.h"

namespace {

using namespace ce;
using namespace zelmo;
namespace fs = std::filesystem;

std::u16string Device(const std::string& name) { return u"\\My Documents\\" + quillon::Utf8ToUtf16(name); }

// A page as its reader and the conversion give it, without the viewer.
struct OwnPage {
  quillon::PageRecord page{};
  ~OwnPage() { quillon::FreePage(&page); }
};

// Colour (0xRRGGBB) of a pixel of an uncompressed page of 4, 8 or 24 bpp.
uint32_t ColourAt(const quillon::PageRecord& p, int x, int y) {
  const uint8_t* row = p.data + p.dataOffset + static_cast<size_t>(y) * p.bytesPerLine;
  const uint8_t* c = row + 3 * x;
  if (p.bitsPerPixel != 24) {
    const int index = p.bitsPerPixel == 8 ? row[x] : (x & 1) ? row[x / 2] & 15 : row[x / 2] >> 4;
    c = p.palette + 3 * index;
  }
  return (uint32_t{c[2]} << 16) | (uint32_t{c[1]} << 8) | c[0];
}

// Pixel value of packed lines at any depth.
uint32_t PixelAt(const uint8_t* bits, size_t stride, int depth, int x, int y) {
  const uint8_t* row = bits + static_cast<size_t>(y) * stride;
  switch (depth) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4: return (x & 1) ? row[x / 2] & 15 : row[x / 2] >> 4;
    case 8: return row[x];
    case 16: return row[2 * x] | (row[2 * x + 1] << 8);
    default: return row[3 * x] | (row[3 * x + 1] << 8) | (row[3 * x + 2] << 16);
  }
}

// The background thumbnail job's lines aside.
std::vector<std::string> Milestones() {
  std::vector<std::string> lines;
  for (const std::string& line : EventLog())
    if ((line.rfind("milestone ", 0) == 0 && line.rfind("milestone thumbnails", 0) != 0) || line == "beep")
      lines.push_back(line);
  return lines;
}

class MainWindow : public vt::ViewerTest {
 protected:
  void Start(const std::string& model = "ipaq3600", EmulatorConfig config = {}) {
    StartDevice(model, config);
    Launch();
    EndSplash();
  }
  // Runs on the window's thread; the test thread waits for it.
  void Command(int id) {
    SendMessage(gApp.mainWindow, WM_COMMAND, static_cast<WPARAM>(id), 0);
    ASSERT_TRUE(WaitIdle(5000));
  }
  void Show(const std::string& name) {
    gView.currentPath = Device(name);
    SendMessage(gApp.mainWindow, WM_OPENCURRENTFILE, 0, 0);
    ASSERT_TRUE(WaitIdle(5000));
    ASSERT_TRUE(ImageLoaded()) << name;
  }
  void Tap(int x, int y) {
    InjectPen(PenAction::kDown, x, y);
    InjectPen(PenAction::kUp, x, y);
    ASSERT_TRUE(WaitIdle(5000));
  }
  // Opens a file of My Documents for the loads below (no window needed).
  int32_t Load(const std::string& name, int page = 0, bool compose = false) {
    CloseCurrentFile();
    gView.currentPath = Device(name);
    int32_t result = quillon::OpenImageFile(gView.currentPath.c_str(), &gView.file);
    if (result != quillon::kOk) return result;
    gView.fileOpen = true;
    gView.pageNumber = page;
    return LoadPage(compose);
  }
  void AddFile(const std::string& name) {
    fs::copy_file(std::string(ZELMO_VIEWER_SCRIPTS) + "/" + name, HostPath("My Documents/" + name),
                  fs::copy_options::overwrite_existing);
  }
  void TearDown() override {
    if (!program_) CloseCurrentFile();
    vt::ViewerTest::TearDown();
    quillon::SetAllocationLimit(uint64_t{1} << 30);
    ResetProcessState();
  }
};

TEST_F(MainWindow, BilevelPagesLoadTopLineFirstAndFaxPagesInProportion) {
  StartDevice();
  // A path longer than the viewer holds is refused with a message.
  gView.currentPath = u"\\My Documents\\a.tif";
  QueueMessageBoxAnswer(IDOK);
  EXPECT_FALSE(SetCurrentFile(u"\\My Documents\\" + std::u16string(250, u'x'), u"b.tif"));
  ASSERT_EQ(MessageBoxHistory().size(), 1u);
  EXPECT_EQ(MessageBoxHistory()[0].text, u"The path is too long.");
  EXPECT_EQ(MessageBoxHistory()[0].caption, u"b.tif");
  EXPECT_EQ(gView.currentPath, u"\\My Documents\\a.tif");
  // Fax pages of half the vertical resolution are shown with doubled lines.
  ASSERT_EQ(Load("memo-g3-2page.tif", 1), quillon::kOk);
  EXPECT_EQ(gView.page.height, 2200);
  ASSERT_EQ(Load("letter-g4.tif"), quillon::kOk);
  EXPECT_EQ(gView.page.height, 2200);
  gSettings.options.faxAspect = false;
  ASSERT_EQ(Load("memo-g3-2page.tif", 1), quillon::kOk);
  EXPECT_EQ(gView.page.height, 1100);


  // A bottom-up 1-bit BMP shows as its conversion gives it (at the page's
  // own proportions: it says 204 x 98 dpi).
  ASSERT_EQ(Load("note1.bmp"), quillon::kOk);
  quillon::ImageFile file{};
  ASSERT_EQ(quillon::OpenImageFile(gView.currentPath.c_str(), &file), quillon::kOk);
  OwnPage raw, runs, viewer, reference;
  ASSERT_EQ(quillon::ExtractPage(&file, &raw.page, 0), quillon::kOk);
  runs.page.compression = quillon::kRunLists;
  ASSERT_EQ(quillon::ConvertPage(&raw.page, &runs.page, 0), quillon::kOk);
  quillon::CloseImageFile(&file);
  ASSERT_EQ(quillon::RenderView(&gView.page, {}, &viewer.page), quillon::kOk);
  ASSERT_EQ(quillon::RenderView(&runs.page, {}, &reference.page), quillon::kOk);
  ASSERT_EQ(viewer.page.height, reference.page.height);
  ASSERT_EQ(viewer.page.width, reference.page.width);
  for (int y = 0; y < viewer.page.height; ++y)
    ASSERT_EQ(0, std::memcmp(viewer.page.data + y * viewer.page.bytesPerLine, reference.page.data + y * viewer.page.bytesPerLine, viewer.page.bytesPerLine)) << y << " of " << viewer.page.height;

  // Run lists still in a file's view are copied before their lines turn.
  std::vector<uint8_t> mapped(runs.page.dataSize);
  std::memcpy(mapped.data(), runs.page.data, mapped.size());
  auto** lines = reinterpret_cast<uint8_t**>(mapped.data());
  for (int y = 0; y < runs.page.height; ++y) lines[y] = mapped.data() + (lines[y] - runs.page.data);
  const std::vector<uint8_t> before = mapped;
  quillon::PageRecord upside = runs.page;
  upside.data = mapped.data();
  upside.dataOwnership = quillon::kOwnedByView;
  upside.layoutFlags = quillon::kLayoutBottomUp;
  ASSERT_EQ(StraightenBilevel(&upside), quillon::kOk);
  EXPECT_EQ(mapped, before);
  EXPECT_EQ(upside.dataOwnership, quillon::kOwnedByPage);
  OwnPage turned;
  ASSERT_EQ(quillon::RenderView(&upside, {}, &turned.page), quillon::kOk);
  const uint32_t stride = reference.page.bytesPerLine;
  for (int y = 0; y < reference.page.height; ++y)
    ASSERT_EQ(0, std::memcmp(turned.page.data + y * stride,
                             reference.page.data + (reference.page.height - 1 - y) * stride, stride));
  quillon::FreePage(&upside);

  // A JPEG too large for memory comes at half size: no buffer may hold the
  // 153600 bytes of the whole 16-bpp page (the decoder's own state fits).
  gSettings.options.jpegReducedLoad = false;
  quillon::SetAllocationLimit(153000);
  ASSERT_EQ(Load("photo.jpg"), quillon::kOk);
  EXPECT_EQ(gView.page.width, 160);
}

// Each frame drawn over the ones before equals the frames' own drawing in
// colour: one colour table for all, and a table for each frame.
TEST_F(MainWindow, AnimationFramesComposeOverTheFramesBefore) {
  StartDevice();
  for (const std::string name : {"three-frames.gif", "three-colour-tables.gif"}) {
    SCOPED_TRACE(name);
    AddFile(name);
    quillon::ImageFile file{};
    ASSERT_EQ(quillon::OpenImageFile(Device(name).c_str(), &file), quillon::kOk);
    std::vector<uint32_t> screen;
    for (int k = 0; k < 3; ++k) {
      ASSERT_EQ(k == 0 ? Load(name, 0, true) : (gView.pageNumber = k, LoadPage(true)), quillon::kOk);
      OwnPage frame;
      ASSERT_EQ(quillon::ExtractPage(&file, &frame.page, k), quillon::kOk);
      OwnPage decoded;
      ASSERT_EQ(quillon::ConvertPage(&frame.page, &decoded.page, 0), quillon::kOk);
      const quillon::PageRecord& f = decoded.page;
      const uint8_t* bg = f.palette + 3 * f.backgroundIndex;
      if (k == 0) screen.assign(static_cast<size_t>(f.screenWidth) * f.screenHeight, (bg[2] << 16) | (bg[1] << 8) | bg[0]);
      for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) screen[(f.frameTop + y) * f.screenWidth + f.frameLeft + x] = ColourAt(f, x, y);
      const quillon::PageRecord& shown = gView.page;
      ASSERT_EQ(shown.width * shown.height, static_cast<int>(screen.size()));
      for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x) ASSERT_EQ(ColourAt(shown, x, y), screen[y * shown.width + x]) << k << " " << x << "," << y;
    }
    quillon::CloseImageFile(&file);
    // A frame that cannot be had ends the animation; the screen set aside
    // goes with it.
    gShared.animating = 1;
    gView.pageNumber = 7;
    EXPECT_EQ(LoadPage(true), quillon::kErrPageNotFound);
    EXPECT_FALSE(gView.pageLoaded);
    EXPECT_EQ(gShared.animating, 0);
  }
}

// The block holds the header, the depth's masks or colours, and the region
// as a 100 % rendering of the whole page shows it, bottom line first.
TEST_F(MainWindow, ClipboardBlocksOfEveryDepth) {
  StartDevice();
  const struct {
    const char* file;
    int depth;
    int rotation;
  } cases[] = {{"note1.bmp", 1, 0}, {"chart4.bmp", 4, 0}, {"chart8.pcx", 8, 0}, {"photo24.bmp", 16, 0},
               {"photo24.bmp", 24, 0}, {"photo24.bmp", 24, 90}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.depth));
    ASSERT_EQ(Load(c.file), quillon::kOk);
    if (c.depth == 16) {
      ASSERT_EQ(quillon::ConvertBitDepth(&gView.page, 16, 0), quillon::kOk);
    }
    const quillon::PageRecord& page = gView.page;
    ASSERT_EQ(page.bitsPerPixel, c.depth);
    const PageRegion region{5, 7, 37, 23};
    std::vector<uint8_t> block = MakeClipboardBlock(page, region, c.rotation);
    ASSERT_FALSE(block.empty());
    BITMAPINFOHEADER h;
    std::memcpy(&h, block.data(), sizeof(h));
    EXPECT_EQ(h.biWidth, 37);
    EXPECT_EQ(h.biHeight, 23);
    EXPECT_EQ(h.biBitCount, c.depth);
    EXPECT_EQ(h.biCompression, c.depth == 16 ? BI_BITFIELDS : BI_RGB);
    const uint8_t* table = block.data() + 40;
    size_t tableBytes = 0;
    if (c.depth == 16) {
      const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
      EXPECT_EQ(0, std::memcmp(table, masks, 12));
      tableBytes = 12;
    } else if (c.depth == 1) {
      const uint8_t bw[8] = {0, 0, 0, 0, 255, 255, 255, 0};
      EXPECT_EQ(0, std::memcmp(table, bw, 8));
      tableBytes = 8;
    } else if (c.depth < 16) {
      tableBytes = 4u << c.depth;
      for (int i = 0; i < (1 << c.depth); ++i) EXPECT_EQ(0, std::memcmp(table + 4 * i, page.palette + 3 * i, 3)) << i;
    }
    const size_t stride = quillon::BytesPerLine(37, c.depth);
    EXPECT_EQ(block.size(), stride * 23 + 1068);
    quillon::ViewOptions options;
    options.rotation = c.rotation;
    OwnPage whole;
    ASSERT_EQ(quillon::RenderView(&page, options, &whole.page), quillon::kOk);
    for (int y = 0; y < 23; ++y)
      for (int x = 0; x < 37; ++x)
        ASSERT_EQ(PixelAt(table + tableBytes, stride, c.depth, x, 22 - y),
                  PixelAt(whole.page.data, whole.page.bytesPerLine, c.depth, 5 + x, 7 + y))
            << x << "," << y;
  }
}

TEST_F(MainWindow, ButtonsTapsAndTheLabel) {
  Start();
  // Commands that need an image only beep without one.
  ClearEventLog();
  for (int command : {40021, 40023, 40024, 40053, 40054, 40073, 40095}) Command(command);
  EXPECT_EQ(Milestones(), std::vector<std::string>(7, "beep"));

  Show("camera-exif.jpg");
  const int fitted = gView.render.xStep;
  InjectKey(VK_UP, true);
  InjectKey(VK_UP, false);
  ASSERT_TRUE(WaitIdle(5000));
  EXPECT_EQ(25600 / gView.render.xStep, 25600 / fitted * 11 / 10);
  // Keys rest while an animation runs.
  const int zoomed = gView.render.xStep;
  gShared.animating = 1;
  InjectKey(VK_UP, true);
  InjectKey(VK_UP, false);
  ASSERT_TRUE(WaitIdle(5000));
  EXPECT_EQ(gView.render.xStep, zoomed);
  gShared.animating = 0;

  // "Next Toolbar" on the last row shows row 0.
  Command(40075);
  EXPECT_EQ(gApp.currentRow, 4);
  Tap(230, 310);
  EXPECT_EQ(gApp.currentRow, 0);

  // The strip: the second cell opens the second file; beyond the list, a
  // beep.
  Tap(120, 26 + 193 + 30);
  ASSERT_TRUE(WaitIdle(5000));
  EXPECT_EQ(gFiles.currentIndex, 1);
  const std::u16string current = EntryName(gFiles.live.files, 1);
  EXPECT_EQ(gView.currentPath, Device(quillon::Utf16ToUtf8(current)));
  // Sorted by size, the list still knows the current file.
  Command(40107);
  EXPECT_EQ(CurrentFileName(), current);
  EXPECT_NE(gFiles.currentIndex, 1);
  gView.firstThumbShown = gFiles.live.files.count - 1;
  ClearEventLog();
  Tap(200, 26 + 193 + 30);
  EXPECT_EQ(Milestones(), std::vector<std::string>{"beep"});

  // Held on slot 3, the label shows the command's name 54 pixels above the
  // tap, inside the view's width, and leaves the screen as it was (once the
  // strip's pictures are all drawn).
  for (int i = 0; i < 1000 && (gShared.refresh || gShared.thumbnailJob); ++i) Sleep(10);
  ASSERT_TRUE(WaitIdle(5000));
  const std::vector<uint32_t> screen = ScreenPixels();
  ClearEventLog();
  InjectPen(PenAction::kDown, 80, 310);
  std::string label;
  for (int i = 0; i < 400 && label.empty(); ++i) {
    for (const std::string& line : Milestones())
      if (line.find("label at") != std::string::npos) label = line;
    Sleep(5);
  }
  int left = 0, top = 0, width = 0, height = 0;
  ASSERT_EQ(std::sscanf(label.c_str(), "milestone label at %d,%d size %dx%d", &left, &top, &width, &height), 4) << label;
  EXPECT_EQ(top, 310 - 54);
  EXPECT_EQ(left, std::min(80, 240 - width));
  EXPECT_EQ(ScreenPixels()[(top + 1) * 240 + left + 1], 0xFFFF00u);
  InjectPen(PenAction::kUp, 80, 310);
  ASSERT_TRUE(WaitIdle(5000));
  EXPECT_EQ(ScreenPixels(), screen);
}

TEST_F(MainWindow, TheZoomWindowAndTheWideToolbar) {
  Start();
  gSettings.zoomCX = 200;
  Command(40043);
  RECT r{};
  ASSERT_TRUE(GetWindowRect(gView.zoom.window, &r));
  EXPECT_EQ(r.right - r.left, 200);
  EXPECT_EQ(r.top, 26);
  Command(40043);
  EXPECT_EQ(gView.zoom.window, nullptr);
  gSettings.zoomCX = 300;  // wider than the main window
  Command(40043);
  ASSERT_TRUE(GetWindowRect(gView.zoom.window, &r));
  EXPECT_EQ(r.right - r.left, 64);
  // A page deeper than the screen is reduced for the overview.
  Show("photo24.bmp");
  EXPECT_NE(gView.zoom.overview, nullptr);

  // With the whole page in view a tap on the navigator does nothing; when
  // the page is wider than the view it moves the view.
  Show("chart-packbits.tif");
  Command(40031);
  ASSERT_NE(gView.marginX * gView.marginY, 0);
  ClearEventLog();
  Tap(32, 26 + 20);
  EXPECT_TRUE(Milestones().empty());
  Command(40034);
  Command(40034);
  ASSERT_EQ(gView.marginX, 0);
  Tap(60, 26 + 20);
  EXPECT_GT(gView.render.srcX, 0);
  Quit();
  StopEmulator();
  started_ = false;

  // The Glimpse question comes with the question icon; "No" keeps it all.
  EmulatorConfig config;
  config.screenWidth = 1024;
  config.screenHeight = 768;
  config.screenDepth = 16;
  fs::remove_all(Root());
  Start("unknown", config);
  // Every row lies inside the 66-byte layout: 33 slots, none beyond.
  EXPECT_EQ(gApp.buttonsPerRow, 33);
  EXPECT_EQ(ToolbarSlotAt(33 * 24 + 5), -1);
  gApp.glimpse = 1;
  QueueMessageBoxAnswer(IDNO);
  Command(40114);
  ASSERT_FALSE(MessageBoxHistory().empty());
  EXPECT_EQ(MessageBoxHistory().back().caption, u"Glimpse Mode");
  EXPECT_EQ(MessageBoxHistory().back().type & 0xF0, MB_ICONQUESTION);
  EXPECT_TRUE(gSettings.options.comboView);
  gApp.glimpse = 0;
}

// The scripts of tests/viewer/scripts, with the stored screens they expect,
// run against the viewer on the default model and on the 640 x 240 one.
TEST_F(MainWindow, TheScriptsShowWhatTheyExpect) {
  const std::string out = std::string(ZELMO_SHOT_DIR) + "/main-window";
  fs::create_directories(out);
  for (const auto& e : fs::directory_iterator(ZELMO_VIEWER_SCRIPTS))
    fs::copy_file(e.path(), out + "/" + e.path().filename().string(), fs::copy_options::overwrite_existing);
  for (const auto& [model, script] : {std::pair{"ipaq3600", "main-240.txt"}, std::pair{"jornada720", "main-640.txt"}}) {
    SCOPED_TRACE(script);
    fs::remove_all(Root());
    StartDevice(model);
    AddFile("three-frames.gif");
    vt::SetDword(u"AnimationRate", 0);  // a frame a second: time for each screen
    // The script waits for this run's milestones only.
    ClearEventLog();
    Launch();
    // The script's first tap ends the start-up picture.
    for (int i = 0; i < 500 && !FindWindow(u"ZLSTARTUPCLASS", nullptr); ++i) Sleep(5);
    ASSERT_TRUE(WaitIdle(5000));
    bool quit = false;
    ASSERT_EQ(RunScript(out + "/" + script, &quit), 0);
    if (std::string(model) == "jornada720") {
      EXPECT_EQ(gApp.currentRow, 1);
    }
    if (std::string(model) == "ipaq3600") {
      // The rectangle dragged over the chart at 100 %, (40, 80) to
      // (200, 160) on the screen: the area starts at y = 26 and the chart
      // (200 x 150) lies 20 and 21 pixels into it.
      const int x0 = 40 - 20, y0 = 80 - 26 - 21;
      std::vector<uint8_t> dib = ClipboardDib();
      ASSERT_FALSE(dib.empty());
      quillon::ImageFile file{};
      ASSERT_EQ(quillon::OpenImageFile(Device("chart-packbits.tif").c_str(), &file), quillon::kOk);
      OwnPage raw, decoded, whole;
      ASSERT_EQ(quillon::ExtractPage(&file, &raw.page, 0), quillon::kOk);
      ASSERT_EQ(quillon::ConvertPage(&raw.page, &decoded.page, 0), quillon::kOk);
      quillon::CloseImageFile(&file);
      ASSERT_EQ(quillon::RenderView(&decoded.page, {}, &whole.page), quillon::kOk);
      BITMAPINFOHEADER h;
      std::memcpy(&h, dib.data(), sizeof(h));
      ASSERT_EQ(h.biWidth, 160);
      ASSERT_EQ(h.biHeight, 80);
      ASSERT_EQ(h.biBitCount, 4);
      const size_t stride = quillon::BytesPerLine(160, 4);
      for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 160; ++x)
          ASSERT_EQ(PixelAt(dib.data() + 40 + 64, stride, 4, x, 79 - y),
                    PixelAt(whole.page.data, whole.page.bytesPerLine, 4, x0 + x, y0 + y));
    }
    EXPECT_TRUE(quit);
    EXPECT_EQ(Quit(), 0);
    StopEmulator();
    started_ = false;
  }
}

}  // namespace
