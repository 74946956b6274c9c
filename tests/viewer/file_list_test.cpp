// Folder listings: the quick signature test rule by rule, a folder of mixed
// files in each sort order, patterns, publishing, and folders larger than
// the lists' first sizes.
#include <cstring>
#include <filesystem>

#include "support/viewer.h"
#include "viewer/app/state.h"
#include "viewer/browse/file_list.h"
#include "viewer/settings/settings.h"

namespace {

using namespace ce;
using namespace zelmo;

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> start, size_t size) {
  std::vector<uint8_t> b(size, 0x20);
  std::copy(start.begin(), start.end(), b.begin());
  return b;
}

std::vector<uint8_t> Text(const char* start, size_t size) {
  std::vector<uint8_t> b(size, 0x20);
  std::memcpy(b.data(), start, std::strlen(start));
  return b;
}

bool Accepts(const std::vector<uint8_t>& b) { return QuickSignatureTest(b); }

TEST(SignatureTest, EachRuleAndItsNearMiss) {
  EXPECT_TRUE(Accepts(Text("%PDF-1.4", 50)));
  EXPECT_FALSE(Accepts(Text("%PDF-1.4", 49)));  // too short for any rule
  EXPECT_TRUE(Accepts(Bytes({0x0B, 0x23, 0xC8}, 60)));
  // CALS: byte 775 decides, and only a byte that was read.
  std::vector<uint8_t> cals = Text("srcdocid: NONE", 800);
  cals[775] = '1';
  EXPECT_TRUE(Accepts(cals));
  cals[775] = '4';
  EXPECT_FALSE(Accepts(cals));
  EXPECT_FALSE(Accepts(Text("srcdocid: NONE", 775)));
  // BMP: the information header's size.
  auto bmp = [](uint8_t lo, uint8_t hi) {
    std::vector<uint8_t> b = Text("BM", 60);
    b[14] = lo;
    b[15] = hi;
    return b;
  };
  EXPECT_TRUE(Accepts(bmp(40, 0)));
  EXPECT_TRUE(Accepts(bmp(12, 0)));
  EXPECT_TRUE(Accepts(bmp(20, 0)));
  EXPECT_TRUE(Accepts(bmp(0, 1)));  // 256
  EXPECT_FALSE(Accepts(bmp(13, 0)));
  EXPECT_FALSE(Accepts(bmp(19, 0)));
  // JFIF, DCX, PCX.
  EXPECT_TRUE(Accepts(Bytes({0xFF, 0xD8, 0xFF}, 50)));
  EXPECT_FALSE(Accepts(Bytes({0xFF, 0xD8, 0xFE}, 50)));
  EXPECT_TRUE(Accepts(Bytes({0xB1, 0x68, 0xDE, 0x3A}, 50)));
  EXPECT_TRUE(Accepts(Bytes({10, 5, 1}, 50)));
  EXPECT_FALSE(Accepts(Bytes({10, 6, 1}, 50)));
  EXPECT_FALSE(Accepts(Bytes({10, 5, 0}, 50)));
  EXPECT_TRUE(Accepts(Bytes({0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1}, 50)));
  EXPECT_FALSE(Accepts(Bytes({0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE0}, 50)));
  EXPECT_TRUE(Accepts(Text("GIF89a", 50)));
  EXPECT_TRUE(Accepts(Text("II*", 50)));
  EXPECT_TRUE(Accepts(Text("MM", 50)));
  // PSEG: the second 'Z' where the first record's length says.
  std::vector<uint8_t> pseg = Bytes({'Z', 0x00, 0x20}, 100);
  pseg[0x21] = 'Z';
  EXPECT_TRUE(Accepts(pseg));
  pseg[0x21] = 'Y';
  EXPECT_FALSE(Accepts(pseg));
  std::vector<uint8_t> far = Bytes({'Z', 0xFF, 0xFF}, 4096);
  EXPECT_FALSE(Accepts(far));  // 65 536 lies past anything read
  std::vector<uint8_t> shortPseg = Bytes({'Z', 0x00, 0x60}, 90);
  EXPECT_FALSE(Accepts(shortPseg));  // 0x61 = 97 lies past the 90 bytes
  // Fax files.
  EXPECT_TRUE(Accepts(Text("BIT  FAX", 50)));
  EXPECT_FALSE(Accepts(Text("BIT FAX ", 50)));
  EXPECT_TRUE(Accepts(Bytes({0x0B, 0x23, 0x64, 0xC0}, 50)));
  EXPECT_TRUE(Accepts(Text("WINFAX", 50)));
  EXPECT_TRUE(Accepts(Text("QLIIFA", 50)));
  EXPECT_FALSE(Accepts(Text("QLIIFB", 50)));
  // Clips.
  std::vector<uint8_t> avi = Text("RIFF....AVI LIST", 50);
  EXPECT_TRUE(Accepts(avi));
  EXPECT_FALSE(Accepts(Text("RIFF....WAVEfmt ", 50)));
  EXPECT_TRUE(Accepts(Bytes({0, 0, 0, 0x20, 'm', 'o', 'o', 'v'}, 50)));
  EXPECT_TRUE(Accepts(Bytes({0, 0, 0, 0x14, 'p', 'n', 'o', 't'}, 50)));
  // A file-type atom names QuickTime by its brand; other brands (MP4) are not.
  EXPECT_TRUE(Accepts(Bytes({0, 0, 0, 0x14, 'f', 't', 'y', 'p', 'q', 't', ' ', ' '}, 50)));
  EXPECT_FALSE(Accepts(Bytes({0, 0, 0, 0x14, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm'}, 50)));
  EXPECT_TRUE(Accepts(Bytes({0x01, 0x20, 0, 0, 'm', 'd', 'a', 't'}, 50)));
  EXPECT_FALSE(Accepts(Bytes({0, 1, 0, 0x14, 'm', 'o', 'o', 'v'}, 50)));
  EXPECT_FALSE(Accepts(Text("Just some text in a file of no kind at all.......", 50)));
}

class Listing : public vt::ViewerTest {
 protected:
  void SetUp() override {
    StartDevice("ipaq3600", {}, false);
    gSettings = Settings{};
  }
  std::string Folder() { return HostPath("My Documents/Mixed"); }
  void Put(const std::string& name, const std::vector<uint8_t>& bytes) {
    vt::WriteFile(Folder() + "/" + name, bytes);
    // Creation times a clock tick apart.
    Sleep(15);
  }
  void PutSample(const std::string& name, const std::string& sample) {
    Put(name, vt::ReadFile(std::string(ZELMO_SAMPLES) + "/" + sample));
  }
  static std::vector<std::u16string> Names(const EntryList& list) {
    std::vector<std::u16string> out;
    for (int i = 0; i < list.count; ++i) out.push_back(EntryName(list, i));
    return out;
  }
  // A folder of images and non-images, made in this order.
  void MakeMixedFolder() {
    PutSample("h-cals.cal", "drawing.cal");
    Put("d-notes.txt", Text("These are notes, not a picture; they are long enough.", 200));
    PutSample("c-clip.avi", "clip.avi");
    std::vector<uint8_t> mov = Bytes({0, 0, 0, 0x20, 'm', 'o', 'o', 'v'}, 70);
    Put("l-mov.mov", mov);
    PutSample("A-fax.tif", "letter-g4.tif");
    Put("e-short.bmp", Bytes({'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40}, 49));
    Put("j-fax.FX3", Text("WINFAX", 64));
    PutSample("b-photo.JPG", "photo.jpg");
    std::vector<uint8_t> pseg = Bytes({'Z', 0x00, 0x14}, 100);
    pseg[0x15] = 'Z';
    Put("f-pseg.psg", pseg);
    Put("g-pseg-far.psg", Bytes({'Z', 0xFF, 0xFF}, 300));
    Put("i-cals-short.cal", Text("srcdocid: NONE", 300));
    Put("k-empty.gif", {});
    PutSample("m-photo.tga", "photo.tga");
    for (const char* f : {"Zeta", "alpha", "Mid"}) std::filesystem::create_directories(Folder() + "/" + f);
  }
};

TEST_F(Listing, AMixedFolderListsExactlyTheAcceptedFilesInEachOrder) {
  MakeMixedFolder();
  const std::u16string folder = u"\\My Documents\\Mixed";
  EXPECT_EQ(CountEntries(folder), 16);
  ScanFolders(folder);
  EXPECT_EQ(Names(gFiles.staging.folders), (std::vector<std::u16string>{u"alpha", u"Mid", u"Zeta"}));

  gSettings.sortOrder = 0;
  ScanFiles(folder, u"*.*", true);
  EXPECT_EQ(Names(gFiles.staging.files),
            (std::vector<std::u16string>{u"A-fax.tif", u"b-photo.JPG", u"c-clip.avi", u"f-pseg.psg",
                                         u"h-cals.cal", u"j-fax.FX3", u"l-mov.mov"}));
  // Records carry the size and a creation time.
  const EntryRecord* first = EntryAt(gFiles.staging.files, 0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->size, std::filesystem::file_size(Folder() + "/A-fax.tif"));
  EXPECT_NE(first->createdHigh, 0u);
  EXPECT_EQ(first->icon, kShellIconImage);

  gSettings.sortOrder = 1;
  SortStaging();
  EXPECT_EQ(Names(gFiles.staging.files),
            (std::vector<std::u16string>{u"j-fax.FX3", u"l-mov.mov", u"f-pseg.psg", u"A-fax.tif",
                                         u"b-photo.JPG", u"h-cals.cal", u"c-clip.avi"}));
  gSettings.sortOrder = 2;
  ScanFiles(folder, u"*.*", true);
  EXPECT_EQ(Names(gFiles.staging.files),
            (std::vector<std::u16string>{u"h-cals.cal", u"c-clip.avi", u"l-mov.mov", u"A-fax.tif",
                                         u"j-fax.FX3", u"b-photo.JPG", u"f-pseg.psg"}));
  // Folders keep their name order whatever the file order.
  ScanFolders(folder);
  EXPECT_EQ(Names(gFiles.staging.folders), (std::vector<std::u16string>{u"alpha", u"Mid", u"Zeta"}));
  // Any other order leaves the scan order (the platform's, by name).
  gSettings.sortOrder = 7;
  ScanFiles(folder, u"*.*", false);
  EXPECT_EQ(gFiles.staging.files.count, 13);
  EXPECT_EQ(Names(gFiles.staging.files)[0], u"A-fax.tif");
  EXPECT_EQ(Names(gFiles.staging.files)[12], u"m-photo.tga");
}

TEST_F(Listing, PatternsCountsAndPublishing) {
  MakeMixedFolder();
  const std::u16string folder = u"\\My Documents\\Mixed\\";  // a trailing backslash is fine
  ScanFiles(folder, FilterPattern(15), true);
  EXPECT_EQ(Names(gFiles.staging.files), (std::vector<std::u16string>{u"j-fax.FX3"}));
  ScanFiles(folder, FilterPattern(2), true);
  EXPECT_EQ(Names(gFiles.staging.files), (std::vector<std::u16string>{u"A-fax.tif"}));
  EXPECT_EQ(std::u16string(FilterPattern(40)), u"*.*");
  EXPECT_EQ(std::u16string(FilterPattern(-1)), u"*.*");
  // The live list changes only when published.
  EXPECT_EQ(gFiles.live.files.count, 0);
  Publish();
  EXPECT_EQ(Names(gFiles.live.files), (std::vector<std::u16string>{u"A-fax.tif"}));
  ScanFiles(folder, u"*.*", true);
  EXPECT_EQ(gFiles.live.files.count, 1);
  Publish();
  EXPECT_EQ(gFiles.live.files.count, 7);
  gSettings.sortOrder = 1;
  SortLive();
  EXPECT_EQ(Names(gFiles.live.files).front(), u"j-fax.FX3");
  // A new empty folder changes the count the viewer compares with.
  int before = CountEntries(folder);
  std::filesystem::create_directories(Folder() + "/Empty");
  EXPECT_EQ(CountEntries(folder), before + 1);
  // A folder that does not exist lists nothing.
  EXPECT_EQ(CountEntries(u"\\Nowhere"), 0);
  ScanFolders(u"\\Nowhere");
  ScanFiles(u"\\Nowhere", u"*.*", true);
  EXPECT_EQ(gFiles.staging.folders.count, 0);
  EXPECT_EQ(gFiles.staging.files.count, 0);
  EXPECT_EQ(EntryName(gFiles.staging.files, 0), nullptr);
}

TEST_F(Listing, FoldersBeyondTheFirstSizesGrow) {
  // More files than 1024 records, more names than 24 576 characters, more
  // folders than 128 records and 3072 characters.
  const std::string big = HostPath("My Documents/Big");
  std::vector<uint8_t> gif = Text("GIF89a", 60);
  const std::string tail(80, 'x');
  for (int i = 0; i < 1100; ++i) {
    char name[16];
    std::snprintf(name, sizeof(name), "n%04d-", 1099 - i);
    vt::WriteFile(big + "/" + name + tail + ".gif", gif);
  }
  for (int i = 0; i < 140; ++i) {
    char name[16];
    std::snprintf(name, sizeof(name), "f%03d-", i);
    std::filesystem::create_directories(big + "/" + name + std::string(30, 'y'));
  }
  gSettings.sortOrder = 0;
  ScanFolders(u"\\My Documents\\Big");
  ScanFiles(u"\\My Documents\\Big", u"*.GIF", true);
  ASSERT_EQ(gFiles.staging.files.count, 1100);
  ASSERT_EQ(gFiles.staging.folders.count, 140);
  for (int i = 0; i < 1100; ++i) {
    char name[16];
    std::snprintf(name, sizeof(name), "n%04d-", i);
    std::string expected = std::string(name) + tail + ".gif";
    ASSERT_EQ(EntryName(gFiles.staging.files, i), std::u16string(expected.begin(), expected.end())) << i;
  }
  EXPECT_EQ(EntryName(gFiles.staging.folders, 139), u"f139-" + std::u16string(30, u'y'));
  Publish();
  EXPECT_EQ(gFiles.live.files.count, 1100);
}

TEST(NameOrder, CompareIgnoringCase) {
  EXPECT_EQ(CompareNames(u"abc", u"ABC"), 0);
  EXPECT_LT(CompareNames(u"alpha", u"Beta"), 0);
  EXPECT_GT(CompareNames(u"Zeta", u"mid"), 0);
  EXPECT_LT(CompareNames(u"ab", u"abc"), 0);
  EXPECT_EQ(CompareNames(u"\u00C9t\u00E9", u"\u00E9T\u00C9"), 0);
}

}  // namespace
