// Thumbnails: the cell geometry, one thumbnail built from a page (fit,
// centring, line order, fax aspect, display depths), the decode flags, and
// the job over a real folder on the emulated device.
#include <cstring>
#include <filesystem>

#include "imaging/pixels/palettes.h"
#include "imaging/pixels/pixels.h"
#include "support/viewer.h"
#include "viewer/app/jobs.h"
#include "viewer/app/main_window.h"
#include "viewer/app/state.h"
#include "viewer/browse/file_list.h"
#include "viewer/settings/settings.h"
#include "viewer/thumbs/thumbnails.h"

namespace {

using namespace zelmo;
using namespace ce;
using quillon::PageRecord;

// A top-down page whose pixel (x, y) is colour(x, y): 24 bpp (blue, green,
// red), 16 bpp (5-6-5) or 8 bpp (gray ramp palette, colour's low byte).
template <typename Colour>
PageRecord MakePage(int32_t w, int32_t h, int depth, Colour colour) {
  PageRecord p{};
  p.width = w;
  p.height = h;
  p.bitsPerPixel = static_cast<int8_t>(depth);
  p.planes = 1;
  p.bytesPerLine = quillon::BytesPerLine(w, depth);
  p.dataSize = p.bytesPerLine * static_cast<uint32_t>(h);
  p.data = static_cast<uint8_t*>(quillon::Allocate(p.dataSize));
  p.dataOwnership = quillon::kOwnedByPage;
  p.layoutFlags = quillon::kLayoutTopDown;
  for (int y = 0; y < h; ++y) {
    uint8_t* line = p.data + static_cast<size_t>(y) * p.bytesPerLine;
    for (int x = 0; x < w; ++x) {
      const uint32_t c = colour(x, y);
      if (depth == 24) {
        line[3 * x] = c & 0xFF, line[3 * x + 1] = (c >> 8) & 0xFF, line[3 * x + 2] = (c >> 16) & 0xFF;
      } else if (depth == 16) {
        line[2 * x] = c & 0xFF, line[2 * x + 1] = (c >> 8) & 0xFF;
      } else {
        line[x] = c & 0xFF;
      }
    }
  }
  if (depth == 8) {
    p.palette = static_cast<uint8_t*>(quillon::Allocate(768));
    std::memcpy(p.palette, quillon::kGrayRamp8.data(), 768);
  }
  return p;
}

// Pixel (x, y) of an entry counted from the picture's top: entries are
// stored bottom line first.
uint32_t At(const PageRecord& e, int x, int y) {
  const uint8_t* line = e.data + static_cast<size_t>(e.height - 1 - y) * e.bytesPerLine;
  if (e.bitsPerPixel == 16) return static_cast<uint32_t>(line[2 * x] | line[2 * x + 1] << 8);
  return line[x];
}

struct Built {
  PageRecord page{};
  PageRecord entry{};
  int32_t result = 0;
  ~Built() {
    quillon::FreePage(&page);
    quillon::FreePage(&entry);
  }
};

void Build(Built* b, const ThumbnailTarget& target) { b->result = BuildThumbnail(&b->page, &b->entry, target, true, 0); }

TEST(ThumbnailGeometry, SizesColumnsMarginsAndCaptions) {
  ResetProcessState();
  gSettings.thumbSize = 2;
  gSettings.thumbShape = 1;
  ComputeThumbnailSize();
  EXPECT_EQ(gView.thumbWidth, 80);
  EXPECT_EQ(gView.thumbHeight, 60);
  gSettings.thumbShape = 2;
  ComputeThumbnailSize();
  EXPECT_EQ(gView.thumbWidth, 60);
  EXPECT_EQ(gView.thumbHeight, 80);
  ThumbnailLayout l = ComputeThumbnailLayout(240, 294, 80, 60, true);
  EXPECT_EQ(l.columns, 2);
  EXPECT_EQ(l.margin, 20);
  EXPECT_EQ(l.captionHeight, 13);
  EXPECT_EQ(l.rows, 4);
  EXPECT_EQ(l.cellWidth, 120);
  EXPECT_EQ(ComputeThumbnailLayout(240, 294, 80, 60, false).captionHeight, 7);
  // A client narrower and lower than one cell keeps one, without a margin.
  l = ComputeThumbnailLayout(50, 20, 80, 60, true);
  EXPECT_EQ(l.columns, 1);
  EXPECT_EQ(l.rows, 1);
  EXPECT_EQ(l.margin, 0);
  ResetProcessState();
}

// A page half as wide as the cell sits in its middle on the background
// colour; the top line is the entry's last; a low page moves down.
TEST(BuildThumbnail, CentresOnTheBackgroundBottomLineFirst) {
  Built narrow;
  narrow.page = MakePage(40, 60, 16, [](int, int y) { return y < 30 ? 0xF800u : 0x001Fu; });
  Build(&narrow, {80, 60, 16, false, 2});
  ASSERT_EQ(narrow.result, 0);
  ASSERT_EQ(narrow.entry.bitsPerPixel, 16);
  EXPECT_TRUE(narrow.entry.layoutFlags & quillon::kLayoutBottomUp);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 80; ++x) {
      const uint32_t want = x < 20 || x >= 60 ? 0xFFFF : y < 30 ? 0xF800 : 0x001F;
      ASSERT_EQ(At(narrow.entry, x, y), want) << x << "," << y;
    }
  Built low;
  low.page = MakePage(160, 20, 16, [](int, int) { return 0xFFFFu; });
  Build(&low, {80, 60, 16, false, 1});
  ASSERT_EQ(low.result, 0);
  for (int y = 0; y < 60; ++y) EXPECT_EQ(At(low.entry, 40, y), y >= 25 && y < 35 ? 0xFFFFu : 0x7BEFu) << y;
}

// A fax page without resolution, 1728 wide and under 1200 lines, is
// doubled before it is fitted: narrower than the cell, white either side.
TEST(BuildThumbnail, FaxPagesOfHalfResolutionAreDoubled) {
  Built fax;
  fax.page = MakePage(1728, 1100, 8, [](int, int y) { return y < 550 ? 0u : 0xFFu; });
  ASSERT_EQ(quillon::ConvertBitDepth(&fax.page, 1, quillon::kDitherNearest), 0);
  ASSERT_EQ(fax.page.compression, quillon::kRunLists);
  Build(&fax, {80, 60, 16, false, 0});
  ASSERT_EQ(fax.result, 0);
  EXPECT_EQ(fax.page.height, 2200);
  // 1728 x 2200 fitted into 80 x 60: 47 pixels wide from column 16.
  EXPECT_EQ(At(fax.entry, 4, 10), 0xFFFFu);
  EXPECT_EQ(At(fax.entry, 75, 10), 0xFFFFu);
  EXPECT_EQ(At(fax.entry, 40, 10), 0u);
  EXPECT_EQ(At(fax.entry, 40, 50), 0xFFFFu);
}

// 12-bit displays get a dithered picture that strays from the plain one
// by less than one of their sixteen steps a channel; an 8-bit display gets
// the colour cube for colour and gray pages alike.
TEST(BuildThumbnail, DisplayDepthsAndColours) {
  auto gradient = [](int x, int y) { return static_cast<uint32_t>((x * 3) << 16 | (y * 4) << 8 | x * 2); };
  Built plain, dithered;
  plain.page = MakePage(80, 60, 24, gradient);
  dithered.page = MakePage(80, 60, 24, gradient);
  Build(&plain, {80, 60, 16, false, 2});
  Build(&dithered, {80, 60, 16, true, 2});
  ASSERT_EQ(dithered.result, 0);
  ASSERT_EQ(dithered.entry.bitsPerPixel, 16);
  int differing = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 80; ++x) {
      const uint32_t a = At(plain.entry, x, y), b = At(dithered.entry, x, y);
      differing += a != b;
      const int red = int(a >> 11) - int(b >> 11), green = int((a >> 5) & 63) - int((b >> 5) & 63);
      ASSERT_LT(std::abs(red), 2 + 1) << x << "," << y;
      ASSERT_LT(std::abs(green), 4 + 1) << x << "," << y;
    }
  EXPECT_GT(differing, 0);

  Built red, gray;
  red.page = MakePage(80, 60, 24, [](int, int) { return 0xFF0000u; });
  gray.page = MakePage(80, 60, 8, [](int x, int) { return x < 40 ? 0u : 0xFFu; });
  Build(&red, {80, 60, 8, false, 2});
  Build(&gray, {80, 60, 8, false, 2});
  ASSERT_EQ(red.result, 0);
  ASSERT_EQ(gray.result, 0);
  EXPECT_EQ(At(red.entry, 10, 10), 0xE0u);
  EXPECT_EQ(At(gray.entry, 10, 10), 0x00u);
  EXPECT_EQ(At(gray.entry, 70, 10), 0xFFu);
  ASSERT_NE(gray.entry.palette, nullptr);
  EXPECT_EQ(std::memcmp(gray.entry.palette, quillon::kColorCube332.data(), 768), 0);
}

TEST(ThumbnailDecodeFlags, JpegSizeFollowsTheWidth) {
  PageRecord page{};
  page.compression = quillon::kJpeg;
  const int32_t base = quillon::kFlagJpeg16Bpp;
  for (auto [width, flags] : {std::pair{159, base}, {160, base | quillon::kFlagJpegHalf},
                              {639, base | quillon::kFlagJpegHalf}, {640, base | quillon::kFlagJpegThumbnail}}) {
    page.width = width;
    EXPECT_EQ(ThumbnailDecodeFlags(page, quillon::kFileJfif, 80, false), flags) << width;
  }
  page.compression = quillon::kPackBits;
  page.width = 4000;
  EXPECT_EQ(ThumbnailDecodeFlags(page, quillon::kFileTiff, 80, true), base | quillon::kFlagKeepPartial);
}

class ThumbnailJob : public vt::ViewerTest {
 protected:
  void SetUp() override {
    StartDevice("ipaq3600", {}, false);
    ResetProcessState();
    AllocateFileLists();
    const std::string folder = HostPath("My Documents/Thumbs");
    std::filesystem::create_directories(folder);
    for (const char* name : {"letter-g4.tif", "clip.avi", "photo.jpg", "chart.gif"})
      std::filesystem::copy_file(std::string(ZELMO_SAMPLES) + "/" + name, folder + "/" + name);
    std::filesystem::copy_file(std::string(ZELMO_VIEWER_SCRIPTS) + "/three-frames.gif", folder + "/three.gif");
    // Looks like a BMP to the listing, but cannot be opened.
    std::vector<uint8_t> bad(60, 0);
    bad[0] = 'B', bad[1] = 'M', bad[14] = 40;
    vt::WriteFile(folder + "/bad.bmp", bad);
    gSettings.curDir = u"\\My Documents\\Thumbs";
    ScanFiles(gSettings.curDir, u"*.*", true);
    Publish();
  }
  void TearDown() override {
    FreeAllThumbnails();
    FreeFileLists();
    ResetProcessState();
    vt::ViewerTest::TearDown();
  }
  const PageRecord* Entry(const char16_t* name) {
    for (int i = 0; i < gFiles.live.files.count; ++i)
      if (std::u16string(EntryName(gFiles.live.files, i)) == name) {
        const ThumbnailEntry* e = BuiltEntryAt(i);
        return e ? &e->picture : nullptr;
      }
    return nullptr;
  }
};

TEST_F(ThumbnailJob, BuildsEveryFileOnceMarksFilmAndKeepsTheCache) {
  ASSERT_EQ(gFiles.live.files.count, 6);
  BuildThumbnails();
  EXPECT_EQ(gShared.thumbnailProgress, 6);
  const PageRecord* bad = Entry(u"bad.bmp");
  ASSERT_NE(bad, nullptr);
  EXPECT_EQ(bad->data, nullptr);
  for (const char16_t* name : {u"letter-g4.tif", u"clip.avi", u"photo.jpg", u"chart.gif", u"three.gif"}) {
    const PageRecord* e = Entry(name);
    ASSERT_NE(e, nullptr);
    ASSERT_NE(e->data, nullptr);
    EXPECT_EQ(e->width, 80);
    EXPECT_EQ(e->height, 60);
    EXPECT_EQ(e->bitsPerPixel, 16);
    const bool film = std::u16string(name) == u"clip.avi" || std::u16string(name) == u"three.gif";
    EXPECT_EQ(HasFilmMark(*e), film);
  }
  EXPECT_EQ(Entry(u"letter-g4.tif")->frameDelay, 1);
  // The same folder, filter and count: nothing to build.
  ThumbnailJobRecord again;
  EXPECT_EQ(PrepareThumbnailJob(&again), 0);
  FreeAllThumbnails();
  EXPECT_EQ(gThumbs.count, 0);
  EXPECT_EQ(BuiltEntryAt(0), nullptr);
}

}  // namespace

// The scripts of the thumbnail view: seven files in "My Documents" (one
// unreadable, two animated) and an empty "copies".
class ThumbnailScripts : public vt::ViewerTest {
 protected:
  void SetUp() override {
    const std::string docs = Root() + "/My Documents";
    std::filesystem::create_directories(docs + "/copies");
    for (const char* name : {"camera-exif.jpg", "chart-rle8.bmp", "clip.avi", "letter-g4.tif", "photo24.pcx"})
      std::filesystem::copy_file(std::string(ZELMO_SAMPLES) + "/" + name, docs + "/" + name);
    std::filesystem::copy_file(std::string(ZELMO_VIEWER_SCRIPTS) + "/three-frames.gif", docs + "/three.gif");
    std::vector<uint8_t> bad(60, 0);
    bad[0] = 'B', bad[1] = 'M', bad[14] = 40;
    vt::WriteFile(docs + "/bad.bmp", bad);
    // A screen that differs is left beside its copy here.
    std::filesystem::create_directories(out_);
    for (const auto& e : std::filesystem::directory_iterator(ZELMO_VIEWER_SCRIPTS))
      if (e.path().filename().string().starts_with("thumbs-") || e.path().filename().string().starts_with("thumbview-"))
        std::filesystem::copy_file(e.path(), out_ + "/" + e.path().filename().string(),
                                   std::filesystem::copy_options::overwrite_existing);
  }
  void Run(const std::string& script, const std::string& device) {
    const vt::Outcome o = vt::RunZelmo("--headless --log --clock 12:00 --device " + device + " --root '" + Root() +
                                       "' --script '" + out_ + "/" + script + "'");
    EXPECT_EQ(o.status, 0) << o.output;
  }
  const std::string out_ = std::string(ZELMO_SHOT_DIR) + "/thumbs";
};

TEST_F(ThumbnailScripts, TheDefaultModelOpensMarksSortsDeletesAndCopies) { Run("thumbs-240.txt", "ipaq3600"); }

TEST_F(ThumbnailScripts, AnEightBitScreenShowsColourAndGrayInTheCube) { Run("thumbs-640.txt", "mobilepro"); }

// FreeAllThumbnails in the middle of a folder: the job stops first, then
// the whole cache goes.
TEST_F(ThumbnailJob, FreeingEverythingStopsTheJobFirst) {
  const std::string folder = HostPath("My Documents/Thumbs");
  for (int i = 0; i < 40; ++i)
    std::filesystem::copy_file(std::string(ZELMO_SAMPLES) + "/letter-g4.tif", folder + "/fax" + std::to_string(i) + ".tif");
  ScanFiles(gSettings.curDir, u"*.*", true);
  Publish();
  ClearEventLog();
  gShared.abortFlag = 0;
  gShared.thumbnailJob = 1;
  HANDLE worker = CreateThread(nullptr, 0, [](void*) -> DWORD {
    BuildThumbnails();
    gShared.thumbnailJob = 0;
    return 0;
  }, nullptr, 0, nullptr);
  ASSERT_NE(worker, nullptr);
  for (int i = 0; i < 5000 && gShared.thumbnailProgress < 3; ++i) Sleep(1);
  FreeAllThumbnails();
  EXPECT_EQ(gShared.thumbnailJob, 0);
  EXPECT_EQ(gThumbs.count, 0);
  EXPECT_EQ(gThumbs.entries, nullptr);
  EXPECT_EQ(WaitForSingleObject(worker, 5000), WAIT_OBJECT_0);
  CloseHandle(worker);
  bool stopped = false;
  for (const std::string& line : EventLog()) stopped |= line.rfind("milestone thumbnails stopped", 0) == 0;
  EXPECT_TRUE(stopped);
}

// Logged counts of a milestone's lines ("thumbnails built N" ...): N each.
std::vector<int> Counts(const std::string& prefix) {
  std::vector<int> counts;
  for (const std::string& line : EventLog())
    if (line.rfind("milestone " + prefix, 0) == 0) counts.push_back(std::atoi(line.c_str() + 10 + prefix.size()));
  return counts;
}

int Sum(const std::vector<int>& v) {
  int s = 0;
  for (int n : v) s += n;
  return s;
}

bool WaitForLines(const std::string& prefix, size_t count) {
  for (int i = 0; i < 6000; ++i, Sleep(10))
    if (Counts(prefix).size() >= count) return true;
  return false;
}

// 200 files built while the user-interface thread re-sorts, scrolls and
// paints both windows, then deletes a file mid-folder (the job stops before
// its entry is freed); the next job builds only what is missing, and a
// refresh frees everything and builds it all again.
class ThumbnailRace : public vt::ViewerTest {};

TEST_F(ThumbnailRace, EveryFileIsBuiltOnceWhileTheWindowsWork) {
  StartDevice("ipaq3600", {}, false);
  const char* samples[4] = {"letter-g4.tif", "chart-rle8.bmp", "camera-exif.jpg", "clip.avi"};
  for (int i = 0; i < 200; ++i) {
    const std::string name = std::string(samples[i % 4]);
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "f%03d-", i);
    std::filesystem::copy_file(std::string(ZELMO_SAMPLES) + "/" + name, HostPath("My Documents/") + prefix + name);
  }
  ClearEventLog();
  Launch();
  EndSplash();
  SendMessage(gApp.mainWindow, WM_COMMAND, 40045, 0);
  HWND view = FindWindow(u"ZLTHUMBVIEW", nullptr);
  ASSERT_NE(view, nullptr);
  bool deleted = false;
  for (int k = 0; Counts("thumbnails built").empty() && Counts("thumbnails stopped").empty() && k < 20000; ++k) {
    SendMessage(view, WM_COMMAND, static_cast<WPARAM>(40105 + k % 3), 0);
    SendMessage(view, WM_VSCROLL, k % 2 ? SB_LINEDOWN : SB_PAGEUP, 0);
    InvalidateRect(view, nullptr, FALSE);
    InvalidateRect(gApp.mainWindow, nullptr, FALSE);
    Sleep(2);
    if (!deleted && gShared.thumbnailProgress >= 30) {
      // By name, as the job builds, at the top: the first cell is built; it
      // becomes current (and opens), then goes.
      SendMessage(view, WM_COMMAND, 40105, 0);
      for (int i = 0; i < 30; ++i) SendMessage(view, WM_VSCROLL, SB_PAGEUP, 0);
      InjectPen(PenAction::kDown, 56, 26 + 30);
      InjectPen(PenAction::kUp, 56, 26 + 30);
      ASSERT_TRUE(WaitIdle(5000));
      QueueMessageBoxAnswer(IDYES);
      SendMessage(view, WM_COMMAND, 40076, 0);
      deleted = true;
    }
  }
  ASSERT_TRUE(deleted);
  ASSERT_TRUE(WaitIdle(5000));
  EXPECT_EQ(gShared.thumbnailJob, 0);
  EXPECT_EQ(Counts("deleted").size(), 1u);
  EXPECT_EQ(Counts("thumbnails stopped").size(), 1u);
  // Whatever the first job left is completed, nothing built twice.
  SendMessage(gApp.mainWindow, WM_COMMAND, 40045, 0);
  ASSERT_TRUE(WaitForLines("thumbnails built", 1));
  EXPECT_EQ(Sum(Counts("thumbnails built")) + Sum(Counts("thumbnails stopped")), 200);
  // A refresh lists the 199 left and builds them all.
  ASSERT_TRUE(WaitIdle(5000));
  SendMessage(gApp.mainWindow, WM_COMMAND, 40115, 0);
  ASSERT_TRUE(WaitForLines("thumbnails built", 2));
  EXPECT_EQ(Counts("thumbnails built").back(), 199);
  ASSERT_TRUE(WaitIdle(5000));
  for (int i = 0; i < 199; ++i) EXPECT_NE(BuiltEntryAt(i), nullptr) << i;
  EXPECT_EQ(Quit(), 0);
}
