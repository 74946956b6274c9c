// The viewer's dialogs: the texts and paths the file browsers show, and
// scripts that drive every dialog in the `zelmo` program on the default
// model and on a 640 x 240 one.
#include <filesystem>
#include <array>
#include <cstring>
#include <fstream>

#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "support/viewer.h"
#include "viewer/dialogs/browse_dialogs.h"
#include "viewer/dialogs/dialog_common.h"
#include "viewer/dialogs/edit_dialogs.h"
#include "viewer/dialogs/email.h"
#include "viewer/dialogs/info_dialogs.h"
#include "viewer/settings/settings.h"
#include "imaging/pixels/palettes.h"
#include "imaging/pixels/pixels.h"
#include "imaging/writers/writers.h"

namespace {

using namespace zelmo;
namespace fs = std::filesystem;

TEST(DialogTexts, SizeTextsShowOneTenthsDigit) {
  EXPECT_EQ(SizeText(0), u"0");
  EXPECT_EQ(SizeText(500), u"500B");
  EXPECT_EQ(SizeText(1023), u"1023B");
  EXPECT_EQ(SizeText(1536), u"1.5K");
  EXPECT_EQ(SizeText(2047), u"1.9K");
  EXPECT_EQ(SizeText(1048575), u"1023.9K");
  EXPECT_EQ(SizeText(1048576 + 524288), u"1.5M");
}

TEST(DialogTexts, PathsTakeOneSeparatorAndStayWithinTheLimit) {
  std::u16string path = u"kept";
  EXPECT_TRUE(JoinPath(u"\\", u"a.tif", &path));
  EXPECT_EQ(path, u"\\a.tif");
  EXPECT_TRUE(JoinPath(u"\\My Documents", u"a.tif", &path));
  EXPECT_EQ(path, u"\\My Documents\\a.tif");
  EXPECT_FALSE(JoinPath(u"\\" + std::u16string(250, u'd'), u"a.tif", &path));
  EXPECT_EQ(path, u"\\My Documents\\a.tif");
  EXPECT_EQ(FolderOf(u"\\a.tif"), u"\\");
  EXPECT_EQ(FolderOf(u"\\My Documents\\faxes\\a.tif"), u"\\My Documents\\faxes");
}

// Items 1024 + level, the folder first and the root last; a folder too
// deep for 99 items loses its deepest ancestors, never the root, and no
// item reaches the sort pop-up's 1124.
TEST(DialogTexts, ThePathPopUpListsEachLevelUpToTheRoot) {
  std::vector<PathLevel> levels = PathLevels(u"\\My Documents\\faxes");
  ASSERT_EQ(levels.size(), 3u);
  EXPECT_EQ(levels[0].folder, u"\\My Documents\\faxes");
  EXPECT_EQ(levels[1].folder, u"\\My Documents");
  EXPECT_EQ(levels[2].folder, u"\\");
  EXPECT_EQ(levels[2].item, 1027);
  EXPECT_EQ(PathLevels(u"\\").size(), 1u);
  std::u16string deep;
  for (int i = 0; i < 120; ++i) deep += u"\\a";
  levels = PathLevels(deep);
  ASSERT_EQ(levels.size(), static_cast<size_t>(kMaxPathLevels));
  EXPECT_EQ(levels.back().folder, u"\\");
  EXPECT_EQ(levels.back().item, 1024 + kMaxPathLevels);
}

// Every pixel of a turned view maps back to the page pixel the renderer
// draws there, so a selection in a turned view crops what it covers.
TEST(EditDialogs, CropCornersFollowTheRenderersRotation) {
  constexpr int32_t kW = 3, kH = 2;
  uint8_t pixels[kH][4] = {{0, 1, 2}, {3, 4, 5}};
  quillon::PageRecord page{};
  page.width = kW;
  page.height = kH;
  page.bitsPerPixel = 8;
  page.planes = 1;
  page.bytesPerLine = 4;
  page.dataSize = sizeof(pixels);
  page.data = &pixels[0][0];
  page.layoutFlags = quillon::kLayoutTopDown;
  for (int rotation : {0, 90, 180, 270}) {
    SCOPED_TRACE(rotation);
    const bool turned = rotation % 180 != 0;
    uint8_t shown[kW][4] = {};
    quillon::RenderRequest r{};
    r.xStep = r.yStep = 256;
    r.dstWidth = turned ? kH : kW;
    r.dstHeight = turned ? kW : kH;
    r.dstBytesPerLine = 4;
    r.rotation = static_cast<uint32_t>(rotation);
    r.dstBits = &shown[0][0];
    ASSERT_EQ(quillon::RenderPage(&page, &r, 1), quillon::kOk);
    for (int y = 0; y < r.dstHeight; ++y) {
      for (int x = 0; x < r.dstWidth; ++x) {
        const PageCorners c = CornersOnPage(PageRegion{x, y, 1, 1}, rotation, kW, kH);
        EXPECT_EQ(c.left, c.right);
        EXPECT_EQ(c.top, c.bottom);
        EXPECT_EQ(c.top * kW + c.left, shown[y][x]) << x << "," << y;
      }
    }
  }
  // A region covering the turned view is the whole page.
  const PageCorners all = CornersOnPage(PageRegion{0, 0, kH, kW}, 90, kW, kH);
  EXPECT_EQ(all.left, 0);
  EXPECT_EQ(all.top, 0);
  EXPECT_EQ(all.right, kW - 1);
  EXPECT_EQ(all.bottom, kH - 1);
}

// A 1-pixel-wide page stepped to 101 keeps its proportion without a
// division by zero, and nothing drops to 0.
TEST(EditDialogs, ProportionsStepWithoutDividingByZero) {
  EXPECT_EQ(KeepProportion(50, 1, 101), 5050);
  EXPECT_EQ(KeepProportion(480, 640, 320), 240);
  EXPECT_EQ(KeepProportion(1, 1000, 1), 1);
  EXPECT_EQ(KeepProportion(30000, 1, 2), 32767);
}

TEST(InfoDialogs, TheCommentKeepsItsTerminator) {
  char comment[128];
  std::memset(comment, 'x', sizeof(comment));
  StoreComment(std::u16string(200, u'c'), comment);
  EXPECT_EQ(std::strlen(comment), 127u);
  StoreComment(u"caf\u00e9 \u20ac", comment);
  EXPECT_STREQ(comment, "caf\xe9 ?");
}

TEST(Email, FitToDisplayFillsTheScreenAndNothingDividesByZero) {
  auto size = [](int32_t w, int32_t h, int reduce) {
    const AttachmentSize s = AttachmentSizeFor(w, h, reduce);
    return std::pair{s.width, s.height};
  };
  EXPECT_EQ(size(640, 480, 4), std::pair(426, 320));
  EXPECT_EQ(size(480, 640, 4), std::pair(240, 320));
  EXPECT_EQ(size(1728, 1, 4), std::pair(13824, 8));
  EXPECT_EQ(size(640, 480, 1), std::pair(320, 240));
  EXPECT_EQ(size(3, 3, 3), std::pair(1, 1));
  EXPECT_EQ(size(100, 7, 0), std::pair(100, 7));
}

// An owned uncompressed page of `depth` bits, gray-ramp palette below 16.
quillon::PageRecord MakePage(int32_t w, int32_t h, int depth) {
  quillon::PageRecord p{};
  p.width = w;
  p.height = h;
  p.bitsPerPixel = static_cast<int8_t>(depth);
  p.planes = 1;
  p.bytesPerLine = quillon::BytesPerLine(w, depth);
  p.dataSize = p.bytesPerLine * static_cast<uint32_t>(h);
  p.data = static_cast<uint8_t*>(quillon::Allocate(p.dataSize));
  p.dataOwnership = quillon::kOwnedByPage;
  p.layoutFlags = quillon::kLayoutTopDown;
  for (uint32_t i = 0; i < p.dataSize; ++i) p.data[i] = static_cast<uint8_t>(i * 7);
  if (depth <= 8) {
    p.palette = static_cast<uint8_t*>(quillon::Allocate(768));
    std::memcpy(p.palette, quillon::kGrayRamp8.data(), 768);
  }
  return p;
}

// "High" (2) encodes with the finest tables: the luminance table of a file
// saved at High starts 8, 5, 6 (Annex K halved), at Low 32, 22, 24.
TEST(JpegQuality, HighSavesTheFinestTables) {
  emu::TempFolder folder;
  for (const auto& [setting, first] : {std::pair{2, std::array<int, 3>{8, 5, 6}}, std::pair{0, std::array<int, 3>{32, 22, 24}}}) {
    gSettings.jpegQuality = setting;
    quillon::PageRecord page = MakePage(16, 16, 24);
    const std::string path = folder.path() + "/q.jpg";
    ASSERT_EQ(quillon::SavePage(quillon::Utf8ToUtf16(path).c_str(), &page, 13, EncoderQuality()), quillon::kOk);
    quillon::FreePage(&page);
    const std::vector<uint8_t> bytes = vt::ReadFile(path);
    size_t at = 0;
    while (at + 5 < bytes.size() && !(bytes[at] == 0xFF && bytes[at + 1] == 0xDB)) ++at;
    ASSERT_LT(at + 7, bytes.size());
    // FF DB, length, table id 0, then the entries in zigzag order.
    EXPECT_EQ(bytes[at + 4], 0);
    EXPECT_EQ((std::array<int, 3>{bytes[at + 5], bytes[at + 6], bytes[at + 7]}), first);
  }
  gSettings.jpegQuality = 2;
}

class EmailAttachments : public vt::ViewerTest {};

// Each send-as type on the depths that need preparing: what the attachment
// file holds when read back.
TEST_F(EmailAttachments, EachTypeWritesThePreparedPage) {
  StartDevice("ipaq3600", {}, false);
  const struct {
    int depth, type, fileType, compression, depthRead;
  } cases[] = {
      {8, 0, quillon::kFileJfif, quillon::kJpeg, 24},   {24, 1, quillon::kFileGif, quillon::kLzwGif, 8},
      {16, 2, quillon::kFileWindowsBmp, quillon::kUncompressed, 16}, {16, 3, quillon::kFilePcx, quillon::kPcxRle, 24},
      {8, 4, quillon::kFileTiff, quillon::kLzwTiff, 8}, {16, 4, quillon::kFileTiff, quillon::kLzwTiff, 24},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.depth) + " bpp, type " + std::to_string(c.type));
    quillon::PageRecord page = MakePage(40, 30, c.depth);
    std::u16string path;
    ASSERT_EQ(PrepareAttachment(page, u"", 1, c.type, false, &path), quillon::kOk);
    quillon::FreePage(&page);
    quillon::ImageFile file{};
    ASSERT_EQ(quillon::OpenImageFile(path.c_str(), &file), quillon::kOk);
    quillon::PageRecord read{};
    ASSERT_EQ(quillon::ExtractPage(&file, &read, 0), quillon::kOk);
    EXPECT_EQ(file.fileType, c.fileType);
    EXPECT_EQ(read.compression, c.compression);
    EXPECT_EQ(read.bitsPerPixel, c.depthRead);
    EXPECT_EQ(read.width, 20);
    quillon::FreePage(&read);
    quillon::CloseImageFile(&file);
  }
  // A bilevel page goes as G4; the original is attached as it is.
  quillon::PageRecord bilevel = MakePage(64, 8, 8);
  ASSERT_EQ(quillon::TransformPage(&bilevel, quillon::kConvertDepth, 1, 0), quillon::kOk);
  std::u16string path;
  ASSERT_EQ(PrepareAttachment(bilevel, u"", 0, 4, false, &path), quillon::kOk);
  quillon::FreePage(&bilevel);
  EXPECT_EQ(path, u"\\temp\\zelmo.tif");
  quillon::ImageFile file{};
  quillon::PageRecord read{};
  ASSERT_EQ(quillon::OpenImageFile(path.c_str(), &file), quillon::kOk);
  ASSERT_EQ(quillon::ExtractPage(&file, &read, 0), quillon::kOk);
  EXPECT_EQ(read.compression, quillon::kG4);
  quillon::FreePage(&read);
  quillon::CloseImageFile(&file);
  ASSERT_EQ(PrepareAttachment(bilevel, u"\\My Documents\\a.tif", 0, 4, true, &path), quillon::kOk);
  EXPECT_EQ(path, u"\\My Documents\\a.tif");
}

// "BMP", "PCX" and "TIFF" survive a restart; a type beyond them does not.
TEST_F(EmailAttachments, EveryTypeIsKeptInTheSettings) {
  StartDevice("ipaq3600", {}, false);
  vt::SetDword(u"EmailType", 4);
  LoadSettings();
  EXPECT_EQ(gSettings.emailType, 4);
  vt::SetDword(u"EmailType", 5);
  LoadSettings();
  EXPECT_EQ(gSettings.emailType, 0);
}

class DialogScripts : public vt::ViewerTest {
 protected:
  // The device folder: the samples in "My Documents" and two of them in
  // its sub-folder "faxes".
  void SetUp() override {
    const std::string docs = Root() + "/My Documents";
    fs::create_directories(docs + "/faxes");
    for (const auto& e : fs::directory_iterator(ZELMO_SAMPLES))
      if (e.is_regular_file()) fs::copy_file(e.path(), docs + "/" + e.path().filename().string());
    for (const char* name : {"memo-g3-2page.tif", "letter-g4.tif"})
      fs::copy_file(std::string(ZELMO_SAMPLES) + "/" + name, docs + "/faxes/" + name);
    // A page of one line, for the e-mail sizes.
    quillon::PageRecord line = MakePage(1728, 1, 8);
    ASSERT_EQ(quillon::SavePage(quillon::Utf8ToUtf16(docs + "/one-line.bmp").c_str(), &line, 7, 0), quillon::kOk);
    quillon::FreePage(&line);
    quillon::PageRecord fine = MakePage(400, 300, 8);
    fine.xResolution = fine.yResolution = 200;
    ASSERT_EQ(quillon::SavePage(quillon::Utf8ToUtf16(docs + "/dpi200.tif").c_str(), &fine, 0, 0), quillon::kOk);
    quillon::FreePage(&fine);
    out_ = std::string(ZELMO_SHOT_DIR) + "/dialogs";
    fs::create_directories(out_);
    for (const auto& e : fs::directory_iterator(ZELMO_VIEWER_SCRIPTS))
      fs::copy_file(e.path(), out_ + "/" + e.path().filename().string(), fs::copy_options::overwrite_existing);
  }
  vt::Outcome Run(const std::string& script, const std::string& options = "") {
    return vt::RunZelmo("--headless --log --clock 12:00 --root '" + Root() + "' " + options + " --script '" + out_ +
                        "/" + script + "'");
  }
  std::string out_;
};

// The page a file holds: page count, then page 0's facts.
struct Facts {
  int pages = 0;
  quillon::PageRecord page{};
  ~Facts() { quillon::FreePage(&page); }
};
bool ReadFacts(const std::string& hostPath, Facts* facts) {
  quillon::ImageFile file{};
  if (quillon::OpenImageFile(quillon::Utf8ToUtf16(hostPath).c_str(), &file) != quillon::kOk) return false;
  facts->pages = file.pageCount;
  const bool ok = quillon::ExtractPage(&file, &facts->page, 0) == quillon::kOk;
  quillon::CloseImageFile(&file);
  return ok;
}

TEST_F(DialogScripts, TheDefaultModelBrowsesSavesAndRefuses) {
  vt::Outcome o = Run("dialogs-240.txt");
  ASSERT_EQ(o.status, 0) << o.output;
  EXPECT_NE(o.output.find("launch tmail.exe -attach \"\\temp\\zelmo.jpg\""), std::string::npos) << o.output;
  Facts attachment;
  ASSERT_TRUE(ReadFacts(Root() + "/temp/zelmo.jpg", &attachment));
  EXPECT_EQ(attachment.page.width, 13824);
  EXPECT_EQ(attachment.page.height, 8);
  Facts saved;
  ASSERT_TRUE(ReadFacts(Root() + "/My Documents/saved-g4.tif", &saved));
  EXPECT_EQ(saved.pages, 1);
  EXPECT_EQ(saved.page.compression, quillon::kG4);
  EXPECT_EQ(saved.page.width, 1728);
}

TEST_F(DialogScripts, AWriteProtectedFolderKeepsItsFilesAsTheyWere) {
  vt::Outcome o = Run("dialogs-read-only.txt", "--device unknown --read-only '\\My Documents\\faxes'");
  ASSERT_EQ(o.status, 0) << o.output;
  EXPECT_NE(o.output.find("messagebox \"Save As\" \"General I/O error\""), std::string::npos) << o.output;
  EXPECT_NE(o.output.find("messagebox \"memo-g3-2page.tif\" \"The file could not be copied.\""), std::string::npos);
}

TEST_F(DialogScripts, TheWideModelShowsTheWideLayouts) {
  vt::Outcome o = Run("dialogs-640.txt", "--device jornada720");
  ASSERT_EQ(o.status, 0) << o.output;
}

}  // namespace
