// Saves that keep what the user had: `quillon render --out`, `quillon
// convert` and the library's SavePage on a full disk, over a private file,
// beside a file or a link named like a temporary; `quillon` given a FIFO;
// and the peak memory of rendering a large page.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/writers/writers.h"
#include "support/test_util.h"

namespace {

using testutil::ReadFileBytes;
using testutil::TempDir;

struct ToolRun {
  int status = -1;        // exit status, or -1 when the tool did not exit
  long peakKiB = 0;       // the tool's peak resident memory
};

// Runs the tool with `args`; `fileSizeLimit` (bytes, 0 = none) makes the
// disk fill up under it.
ToolRun Tool(const std::vector<std::string>& args, rlim_t fileSizeLimit = 0) {
  pid_t child = fork();
  if (child == 0) {
    if (fileSizeLimit) {
      rlimit limit{fileSizeLimit, fileSizeLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::vector<char*> argv{const_cast<char*>(QUILLON_TOOL)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    freopen("/dev/null", "w", stderr);
    execv(QUILLON_TOOL, argv.data());
    _exit(127);
  }
  ToolRun run;
  int status = 0;
  rusage usage{};
  if (child > 0 && wait4(child, &status, 0, &usage) == child && WIFEXITED(status))
    run.status = WEXITSTATUS(status);
  run.peakKiB = usage.ru_maxrss;
  return run;
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

// A private old file, the user's own OUT.part and a link named like a
// temporary that points at a third file: after every save, successful or
// not, all three are as they were and nothing else is left behind.
class Keeps : public ::testing::Test {
 protected:
  void SetUp() override {
    out = dir.Path("out.ppm");
    dir.Write("out.ppm", old);
    chmod(out.c_str(), 0600);
    dir.Write("out.ppm.part", userPart);
    dir.Write("victim", victim);
    std::filesystem::create_symlink(dir.Path("victim"), dir.Path("out.ppm.tmp"));
  }
  void ExpectKept(bool replaced) {
    EXPECT_EQ(ReadFileBytes(out) == old, !replaced);
    EXPECT_EQ(ModeOf(out), 0600u);
    EXPECT_EQ(ReadFileBytes(dir.Path("out.ppm.part")), userPart);
    EXPECT_EQ(ReadFileBytes(dir.Path("victim")), victim);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.Path("out.ppm.tmp")));
    EXPECT_EQ(Names(dir.Path("")),
              (std::vector<std::string>{"out.ppm", "out.ppm.part", "out.ppm.tmp", "victim"}));
  }
  TempDir dir;
  std::string out;
  const std::vector<uint8_t> old = {'P', '6', ' ', 'o', 'l', 'd'};
  const std::vector<uint8_t> userPart = {'m', 'i', 'n', 'e'};
  const std::vector<uint8_t> victim = {'v', 'i', 'c', 't', 'i', 'm'};
};

TEST_F(Keeps, RenderOnAFullDiskAndThenNot) {
  const std::string photo = testutil::SamplePath("photo.jpg");
  EXPECT_EQ(Tool({"render", photo, "--out", out}, 1000).status, 1);
  ExpectKept(false);
  EXPECT_EQ(Tool({"render", photo, "--out", out}).status, 0);
  ExpectKept(true);
  EXPECT_EQ(ReadFileBytes(out)[1], '6');
}

TEST_F(Keeps, ConvertOnAFullDiskAndThenNot) {
  const std::string photo = testutil::SamplePath("photo.jpg");
  EXPECT_EQ(Tool({"convert", photo, out, "--type", "WIN BMP Uncompressed"}, 1000).status, 1);
  ExpectKept(false);
  EXPECT_EQ(Tool({"convert", photo, out, "--type", "WIN BMP Uncompressed"}).status, 0);
  ExpectKept(true);
  EXPECT_EQ(ReadFileBytes(out)[0], 'B');
}

TEST_F(Keeps, LibrarySaves) {
  testutil::OpenedFile f(testutil::SamplePath("photo24.pcx"));
  ASSERT_EQ(f.result, quillon::kOk);
  testutil::Page page;
  ASSERT_EQ(quillon::ExtractPage(&f.file, page.get(), 0), quillon::kOk);
  const std::u16string target = quillon::Utf8ToUtf16(out);
  // A save that fails half-way (the disk full in a child process), then
  // one that works.
  pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{1000, 1000};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(quillon::SavePage(target.c_str(), page.get(), quillon::FindSaveType("PCX"), 0) ==
                  quillon::kErrIo ? 0 : 1);
  }
  int status = -1;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ExpectKept(false);
  ASSERT_EQ(quillon::SavePage(target.c_str(), page.get(), quillon::FindSaveType("PCX"), 0),
            quillon::kOk);
  ExpectKept(true);
  // A new file takes the usual mode; what is not a regular file is never
  // replaced.
  const std::string fresh = dir.Path("fresh.pcx");
  ASSERT_EQ(quillon::SavePage(quillon::Utf8ToUtf16(fresh).c_str(), page.get(),
                              quillon::FindSaveType("PCX"), 0),
            quillon::kOk);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(ModeOf(fresh), 0666u & ~mask);
  const std::string fifo = dir.Path("fifo.pcx");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(quillon::SavePage(quillon::Utf8ToUtf16(fifo).c_str(), page.get(),
                              quillon::FindSaveType("PCX"), 0),
            quillon::kErrIo);
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

TEST(ToolFiles, AFifoIsRefusedAtOnce) {
  TempDir dir;
  const std::string fifo = dir.Path("fifo.tif");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  quillon::ImageFile file;
  EXPECT_EQ(quillon::OpenImageFile(quillon::Utf8ToUtf16(fifo).c_str(), &file), quillon::kErrIo);
  EXPECT_EQ(Tool({"info", fifo}).status, 1);
  EXPECT_EQ(Tool({"render", fifo, "--out", dir.Path("x.png")}).status, 1);
}

TEST(ToolFiles, RenderingALargePageTakesAboutOnePage) {
  // An 8192 x 4096 RGB page (96 MiB) from a hundred bytes: one strip of
  // one byte.  The picture is written row by row from the decoded page; a
  // copy of the page on the way would take another 96 MiB.
  TempDir dir;
  std::vector<uint8_t> tiff = {'I', 'I', 42, 0, 8, 0, 0, 0, 8, 0};
  const uint32_t entries[8][3] = {{256, 4, 8192}, {257, 4, 4096}, {258, 3, 8}, {259, 3, 1},
                                  {262, 3, 2},    {273, 4, 0},    {277, 3, 3}, {279, 4, 1}};
  for (const auto& e : entries) {
    const size_t at = tiff.size();
    tiff.resize(at + 12, 0);
    testutil::PutLE16(tiff, at, e[0]);
    testutil::PutLE16(tiff, at + 2, e[1]);
    testutil::PutLE32(tiff, at + 4, 1);
    testutil::PutLE32(tiff, at + 8, e[2]);
  }
  tiff.resize(tiff.size() + 4, 0);
  const ToolRun run = Tool({"render", dir.Write("large.tif", tiff), "--out", dir.Path("large.pbm")});
  EXPECT_EQ(run.status, 0);
  const long page = 8192L * 4096 * 3 / 1024;
  EXPECT_LT(run.peakKiB, page + 64 * 1024) << "peak " << run.peakKiB / 1024 << " MiB";
}

}  // namespace
