// The quillon tool as users run it: why a file failed, pages by number,
// standard input and output, options, save types, many pages in one file,
// info; its view options; saves on a full disk and then not, beside a
// private old file, the user's own OUT.part and a link named like a
// temporary; FIFOs; the memory a large page takes.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "support/suite.h"

namespace {

// One run: the words ("{dir}/" is a fresh folder), the exit status, a text
// the tool prints (on either stream), and the file standard input reads.
struct Case {
  std::vector<std::string> words;
  int status;
  std::string printed;
  std::string input = "";
};

TEST(Tool, BehavesAsUsersExpect) {
  TempDir dir;
  const std::string fax = SamplePath("memo-g3-2page.tif"), photo = SamplePath("photo.jpg");
  const std::string gif = SamplePath("spinner.gif"), dcx = SamplePath("pages.dcx");
  const Case cases[] = {
      {{"info", "{dir}/missing.tif"}, 1, "missing.tif: cannot open: No such file or directory\n"},
      {{"info", "{dir}/"}, 1, "/: cannot open: is a directory\n"},
      {{"render", photo, "--out", "{dir}/no/x.png"}, 1, "no/x.png: cannot create: No such file or directory\n"},
      {{"convert", photo, "{dir}/no/x.bmp"}, 1, "no/x.bmp: cannot create: No such file or directory\n"},
      {{"render", fax, "--page", "9", "--out", "{dir}/x.png"}, 1, ": page 9 not found (the file has 2 pages)\n"},
      {{"info", "-"}, 0, "-\n  type: TIFF\n", fax},
      {{"render", "-", "--page=2", "--out", "-", "--format", "pbm"}, 0, "P4\n1728 1100\n", fax},
      {{"render", fax, "--out", "-"}, 2, "--out - needs --format"},
      {{"render", fax, "--out", "{dir}/x.xyz"}, 2, "unknown output type"},
      {{"convert", "-", "-", "--type", "tiff G4"}, 0, "II*", fax},
      {{"--version"}, 0, "Quillon 1.0"},
      {{"info", "--version"}, 0, "Quillon 1.0"},
      {{"render", fax, "--bogus"}, 2, "unknown option '--bogus'"},
      {{"info", "--pages=3", fax}, 2, "option '--pages' takes no value"},
      {{"convert", "--list-types"}, 0, "\nTIFF G4                g4\n"},
      {{"convert", photo, "{dir}/x.bmp", "--type", "nope"}, 2, "unknown save type 'nope'"},
      {{"convert", photo, "{dir}/photo.tif"}, 0, ""},
      {{"info", "{dir}/photo.tif"}, 0, "320 x 240, 24 bpp, LZW"},
      {{"convert", fax, "{dir}/fax.tif"}, 0, ": only page 1 of 2 was saved"},
      {{"info", "{dir}/fax.tif"}, 0, "1 bpp, G4"},
      {{"convert", photo, "{dir}/x.gif", "--type", "bmp"}, 0, "x.gif: the extension names another format"},
      {{"convert", fax, "{dir}/all.tif", "--all", "--type", "g4"}, 0, ""},
      {{"convert", dcx, "{dir}/all.dcx", "--all"}, 0, ""},
      {{"info", "{dir}/all.dcx"}, 0, "pages: 3\n"},
      {{"convert", dcx, "{dir}/split.tif", "--split"}, 0, ""},
      {{"info", "{dir}/split-003.tif"}, 0, "pages: 1\n"},
      {{"info", photo}, 0, "unknown resolution\n"},
      {{"info", gif}, 0, "size: 1190 bytes\n  animation: 4 frames, 64 x 64, 200 ms a frame\n"},
      {{"info", "--pages", gif}, 0, "frame 4: 64 x 64 at 0,0, 4 bpp, LZW, 200 ms\n"},
      {{"info", QUILLON_FUZZ "/corpus/open/flc"}, 0, "animation: 3 frames, 23 x 11, 70 ms a frame\n"},
      {{"info", SamplePath("clip.avi")}, 0, "clip: 20 frames, 160 x 120, 24 bpp, Motion-JPEG, 100 ms a frame\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> words;
    std::string line;
    for (std::string w : c.words) {
      if (w.rfind("{dir}/", 0) == 0) w = dir.Path(w.substr(6));
      words.push_back(w);
      line += " " + w;
    }
    const RunResult run = Tool(words, {c.input});
    EXPECT_EQ(run.status, c.status) << line << "\n" << run.errors;
    EXPECT_NE((run.output + run.errors).find(c.printed), std::string::npos) << line << "\n" << run.output << run.errors;
  }
  // Many pages in one file keep their pixels; a file named '-' is never made.
  for (int page : {0, 1}) EXPECT_TRUE(SamePixels(FileRaster(fax, page), FileRaster(dir.Path("all.tif"), page)));
  EXPECT_TRUE(SamePixels(FileRaster(dcx, 0), FileRaster(dir.Path("all.dcx"), 0)));
  EXPECT_FALSE(std::filesystem::exists("-"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")), {}), 8);  // no temporary left
}

// A page info cannot read is reported on its own line of standard output,
// in order; a file without a readable page says so; both fail the run.
TEST(Tool, InfoReportsUnreadablePagesInPlace) {
  TempDir dir;
  const Bytes fax = ReadFileBytes(SamplePath("memo-g3-2page.tif"));
  const std::vector<uint8_t> image = {0xAF, 0x4B};
  const std::pair<std::string, std::string> cases[] = {
      {dir.Write("cut.tif", Bytes(fax.begin(), fax.begin() + 1000)), "  pages: 0\n  no readable page\n"},
      {dir.Write("odd.tif", BuildTiff({BilevelDirectory(8, 2, 1, image),
                                       BilevelDirectory(8, 2, 1, image).Set(kTagCompression, kTiffShort, {99}),
                                       BilevelDirectory(8, 2, 1, image)})),
       "  page 2: cannot be read: Unsupported feature detected\n  page 3: 8 x 2"},
  };
  for (const auto& [file, printed] : cases) {
    const RunResult run = Tool({"info", file});
    EXPECT_EQ(run.status, 1) << file;
    EXPECT_NE(run.output.find(printed), std::string::npos) << run.output;
    EXPECT_EQ(run.errors, "") << file;
  }
}

Raster Render(const std::string& input, const std::string& option, const std::string& value, int status = 0) {
  TempDir dir;
  std::vector<std::string> words = {"render", input, "--out", dir.Path("out.ppm"), option};
  if (!value.empty()) words.push_back(value);
  const RunResult run = Tool(words);
  EXPECT_EQ(run.status, status) << option << " " << value << ": " << run.errors;
  return ReadImage(dir.Path("out.ppm"));
}

TEST(Tool, ScaleToGrayLevelsOfABilevelPage) {
  // Four 2 x 2 blocks with 2, 1, 3 and 4 white pixels (1 = white): levels
  // 0x80, 0x44, 0xC0 and 0xFF.
  TempDir dir;
  const std::string tif = dir.Write("blocks.tif", BuildTiff({BilevelDirectory(8, 2, 1, {0xAF, 0x4B}).Set(kTagPhotometric, kTiffShort, {1})}));
  const Raster gray = Render(tif, "--scale=50", "--gray");
  EXPECT_TRUE(SamePixels(Raster{0, 4, 1, 1, 0, {0x80, 0x44, 0xC0, 0xFF}}, gray));
}

TEST(Tool, TurnedAndFittedViews) {
  const std::string photo = DataPath("reader/tif24.tif");  // 23 x 17
  const Raster plain = ReadImage(DataPath("reader/tif24.ppm"));
  // A quarter turn clockwise: source (x, y) lands at (16 - y, x).
  Raster expected{0, 17, 23, 3, 0, std::vector<uint8_t>(17 * 23 * 3)};
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 23; ++x)
      std::copy_n(&plain.pixels[3 * (y * 23 + x)], 3, &expected.pixels[3 * (x * 17 + 16 - y)]);
  EXPECT_TRUE(SamePixels(expected, Render(photo, "--rotate", "90")));
  EXPECT_EQ(Render(photo, "--scale", "200").width, 46);
  const Raster fitted = Render(photo, "--fit", "10x10");
  EXPECT_TRUE(fitted.width >= 9 && fitted.width <= 10 && fitted.height <= 10) << fitted.width << "x" << fitted.height;
  Render(photo, "--scale", "900", 2);
  Render(photo, "--rotate", "45", 2);
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

TEST(Tool, SavesKeepTheOldFileItsModeAndEverythingBeside) {
  TempDir dir;
  const std::string out = dir.Path("out.img"), photo = SamplePath("photo24.pcx");
  const Bytes old = {'o', 'l', 'd'}, mine = {'m', 'i', 'n', 'e'};
  dir.Write("out.img.part", mine);
  dir.Write("victim", mine);
  std::filesystem::create_symlink(dir.Path("victim"), dir.Path("out.img.tmp"));
  // PNG reports a full disk by longjmp: a leak there fails the sanitizer build.
  const std::vector<std::vector<std::string>> saves = {{"render", photo, "--out", out + ".ppm"},
                                                       {"render", photo, "--out", out + ".png"},
                                                       {"convert", photo, out + ".bmp"},
                                                       {"convert", photo, out + ".tif", "--type", "tiff-packbits"}};
  for (const auto& save : saves) {
    const std::string& target = save[0] == "render" ? save[3] : save[2];
    dir.Write(target.substr(target.rfind('/') + 1), old);
    chmod(target.c_str(), 0600);
    const RunResult full = Tool(save, {.fileSizeLimit = 1000});  // the disk fills up
    EXPECT_EQ(full.status, 1) << target;
    EXPECT_NE(full.errors.find(": cannot write: File too large"), std::string::npos) << full.errors;
    EXPECT_EQ(ReadFileBytes(target), old);
    EXPECT_EQ(Tool(save).status, 0) << target;
    EXPECT_GT(ReadFileBytes(target).size(), 1000u);
    EXPECT_EQ(ModeOf(target), 0600u);
  }
  EXPECT_EQ(ReadFileBytes(dir.Path("out.img.part")), mine);
  EXPECT_EQ(ReadFileBytes(dir.Path("victim")), mine);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")), {}), 7);

  // A new file takes the usual mode; what is not a regular file is never
  // replaced, nor read.
  OpenedFile f(photo);
  Page page;
  ASSERT_EQ(f.Extract(page.get()), kOk);
  const mode_t mask = umask(0);
  umask(mask);
  ASSERT_EQ(SavePage(Utf8ToUtf16(dir.Path("new.pcx")).c_str(), page.get(), FindSaveType("PCX"), 0), kOk);
  EXPECT_EQ(ModeOf(dir.Path("new.pcx")), 0666u & ~mask);
  const std::string fifo = dir.Path("fifo.pcx");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(SavePage(Utf8ToUtf16(fifo).c_str(), page.get(), FindSaveType("PCX"), 0), kErrIo);
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  ImageFile file;
  EXPECT_EQ(OpenImageFile(Utf8ToUtf16(fifo).c_str(), &file), kErrIo);
  EXPECT_NE(Tool({"info", fifo}).errors.find("fifo.pcx: cannot open: not a regular file"), std::string::npos);
}

TEST(Tool, RenderingALargePageTakesAboutOnePage) {
  // An 8192 x 4096 RGB page (96 MiB) from a hundred bytes.  The picture is
  // written row by row from the decoded page; a copy on the way would take
  // another 96 MiB.
  TempDir dir;
  TiffDirectory large;
  for (const auto& [tag, type, value] : {std::tuple{kTagImageWidth, kTiffLong, 8192}, {kTagImageLength, kTiffLong, 4096}, {kTagBitsPerSample, kTiffShort, 8}, {kTagCompression, kTiffShort, 1},
                                         {kTagPhotometric, kTiffShort, 2}, {kTagStripOffsets, kTiffLong, 0}, {kTagSamplesPerPixel, kTiffShort, 3}, {kTagStripByteCounts, kTiffLong, 1}})
    large.Set(static_cast<uint16_t>(tag), static_cast<uint16_t>(type), {static_cast<uint32_t>(value)});
  const RunResult run = Tool({"render", dir.Write("large.tif", BuildTiff({large})), "--out", dir.Path("l.pbm")});
  EXPECT_EQ(run.status, 0) << run.errors;
#ifndef __SANITIZE_ADDRESS__  // the sanitizer's shadow and quarantine are not the tool's
  EXPECT_LT(run.peakKiB, (8192L * 4096 * 3 + (64L << 20)) / 1024) << run.peakKiB / 1024 << " MiB";
#endif
}

}  // namespace
