// Saves that keep what the user had: `quillon render --out`, `quillon
// convert` and SavePage on a full disk (a file size limit in a child
// process) and then not, beside a private old file, the user's own OUT.part
// and a link named like a temporary; FIFOs; the memory a large page takes.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <filesystem>
#include <functional>

#include "imaging/writers/writers.h"
#include "support/support.h"

namespace {

using namespace quillon;
using testutil::ReadFileBytes;

// Runs `body` in a child process under a file size limit (0: none); its
// exit status (-1 when it did not exit) and its peak memory in KiB.
std::pair<int, long> InChild(rlim_t fileSizeLimit, const std::function<int()>& body) {
  pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{fileSizeLimit, fileSizeLimit};
    if (fileSizeLimit) setrlimit(RLIMIT_FSIZE, &limit);
    _exit(body());
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss};
}

std::pair<int, long> Tool(std::vector<std::string> args, rlim_t fileSizeLimit = 0) {
  return InChild(fileSizeLimit, [&] {
    std::vector<char*> argv{const_cast<char*>(QUILLON_TOOL)};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (!freopen("/dev/null", "w", stderr)) return 126;
    execv(QUILLON_TOOL, argv.data());
    return 127;
  });
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

TEST(Saves, KeepTheOldFileItsModeAndEverythingBeside) {
  testutil::TempDir dir;
  const std::string out = dir.Path("out.img"), photo = testutil::SamplePath("photo24.pcx");
  const std::vector<uint8_t> old = {'o', 'l', 'd'}, mine = {'m', 'i', 'n', 'e'};
  dir.Write("out.img.part", mine);
  dir.Write("victim", mine);
  std::filesystem::create_symlink(dir.Path("victim"), dir.Path("out.img.tmp"));
  testutil::OpenedFile f(photo);
  testutil::Page page;
  ASSERT_EQ(ExtractPage(&f.file, page.get(), 0), kOk);
  const std::vector<std::function<int(rlim_t)>> saves = {
      [&](rlim_t limit) { return Tool({"render", photo, "--out", out + ".ppm"}, limit).first; },
      // PNG reports a full disk by longjmp: a leak there fails the sanitizer build.
      [&](rlim_t limit) { return Tool({"render", photo, "--out", out + ".png"}, limit).first; },
      [&](rlim_t limit) { return Tool({"convert", photo, out + ".bmp", "--type", "WIN BMP Uncompressed"}, limit).first; },
      [&](rlim_t limit) {
        return InChild(limit, [&] {
          return SavePage(Utf8ToUtf16(out + ".pcx").c_str(), page.get(), FindSaveType("PCX"), 0) ? 1 : 0;
        }).first;
      },
  };
  for (const char* type : {".ppm", ".png", ".bmp", ".pcx"}) {
    dir.Write(std::string("out.img") + type, old);
    chmod((out + type).c_str(), 0600);
  }
  for (size_t k = 0; k < saves.size(); ++k) {
    const std::string target = out + std::vector<std::string>{".ppm", ".png", ".bmp", ".pcx"}[k];
    EXPECT_EQ(saves[k](1000), 1) << target;  // the disk fills up
    EXPECT_EQ(ReadFileBytes(target), old);
    EXPECT_EQ(saves[k](0), 0) << target;
    EXPECT_GT(ReadFileBytes(target).size(), 1000u);
    EXPECT_EQ(ModeOf(target), 0600u);
  }
  EXPECT_EQ(ReadFileBytes(dir.Path("out.img.part")), mine);
  EXPECT_EQ(ReadFileBytes(dir.Path("victim")), mine);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")), {}), 7);

  // A new file takes the usual mode; what is not a regular file is never
  // replaced, nor read.
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
  EXPECT_EQ(Tool({"info", fifo}).first, 1);
}

TEST(Saves, RenderingALargePageTakesAboutOnePage) {
  // An 8192 x 4096 RGB page (96 MiB) from a hundred bytes.  The picture is
  // written row by row from the decoded page; a copy on the way would take
  // another 96 MiB.
  testutil::TempDir dir;
  std::vector<uint8_t> tiff = {'I', 'I', 42, 0, 8, 0, 0, 0, 8, 0};
  for (const auto& e : {std::array<uint32_t, 3>{256, 4, 8192}, {257, 4, 4096}, {258, 3, 8}, {259, 3, 1},
                        {262, 3, 2}, {273, 4, 0}, {277, 3, 3}, {279, 4, 1}}) {
    tiff.resize(tiff.size() + 12, 0);
    testutil::PutLE16(tiff, tiff.size() - 12, e[0]);
    testutil::PutLE16(tiff, tiff.size() - 10, e[1]);
    testutil::PutLE32(tiff, tiff.size() - 8, 1);
    testutil::PutLE32(tiff, tiff.size() - 4, e[2]);
  }
  tiff.resize(tiff.size() + 4, 0);
  const auto [status, peakKiB] = Tool({"render", dir.Write("large.tif", tiff), "--out", dir.Path("l.pbm")});
  EXPECT_EQ(status, 0);
  EXPECT_LT(peakKiB, (8192L * 4096 * 3 + (64L << 20)) / 1024) << peakKiB / 1024 << " MiB";
}

}  // namespace
