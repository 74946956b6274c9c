// The registry: values of any type and length, reads cut to the buffer,
// persistence across starts, a damaged file, the model's keys, and sharing
// with a second process on the same device folder.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "support/emu.h"

extern char** environ;

using namespace ce;

namespace {

class Registry : public emu::Device {
 protected:
  void SetUp() override {
    emu::Device::SetUp();
    Start("ipaq3600");
  }
  HKEY Open() {
    HKEY key = nullptr;
    DWORD disposition = 0;
    EXPECT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarnwick\\Zelmo", 0, nullptr, 0,
                             KEY_ALL_ACCESS, nullptr, &key, &disposition),
              0);
    return key;
  }
  void Restart() {
    StopEmulator();
    Start("ipaq3600");
  }
};

TEST_F(Registry, ValuesOfAnyLengthPersistAndReadsAreCut) {
  HKEY key = Open();
  std::vector<BYTE> block(256);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<BYTE>(i * 7);
  ASSERT_EQ(RegSetValueEx(key, u"MainKeys", 0, REG_DWORD, block.data(), 256), 0);
  DWORD one = 1;
  ASSERT_EQ(RegSetValueEx(key, u"BkColor", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), 0);
  std::u16string dir = u"\\My Documents\\\"quoted\"";
  ASSERT_EQ(RegSetValueEx(key, u"CurDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()),
                          static_cast<DWORD>((dir.size() + 1) * 2)),
            0);
  RegCloseKey(key);
  Restart();
  HKEY again;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"software\\tarnwick\\ZELMO", 0, KEY_READ, &again), 0);
  BYTE got[300];
  DWORD type = 0, size = sizeof(got);
  ASSERT_EQ(RegQueryValueEx(again, u"MainKeys", nullptr, &type, got, &size), 0);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(size, 256u);
  EXPECT_EQ(std::vector<BYTE>(got, got + 256), block);
  // A longer value is cut to the buffer: the prefix, and success.
  size = 66;
  ASSERT_EQ(RegQueryValueEx(again, u"MainKeys", nullptr, &type, got, &size), 0);
  EXPECT_EQ(size, 66u);
  EXPECT_EQ(std::vector<BYTE>(got, got + 66), std::vector<BYTE>(block.begin(), block.begin() + 66));
  size = 0;
  ASSERT_EQ(RegQueryValueEx(again, u"CurDir", nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(size, (dir.size() + 1) * 2);
  WCHAR text[64];
  size = sizeof(text);
  RegQueryValueEx(again, u"CurDir", nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
  EXPECT_EQ(std::u16string(text), dir);
  EXPECT_NE(RegQueryValueEx(again, u"Missing", nullptr, &type, got, &size), 0);
  RegCloseKey(again);
  HKEY none;
  EXPECT_NE(RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Nobody", 0, KEY_READ, &none), 0);
  // The file is text a person can read.
  std::ifstream in(folder_.path() + "/device/.emulator/registry.txt");
  std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(file.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Zelmo]"), std::string::npos);
  EXPECT_NE(file.find("\"BkColor\"=dword:00000001"), std::string::npos);
}

TEST_F(Registry, TheModelsKeysAreSeeded) {
  auto read = [](const char16_t* key, const char16_t* name) {
    HKEY k;
    WCHAR text[256] = {};
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &k) != 0) return std::u16string();
    DWORD size = sizeof(text) - 2;
    RegQueryValueEx(k, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(k);
    return std::u16string(text);
  };
  EXPECT_EQ(read(u"Platform", u"Name"), u"Compaq iPAQ H3600");
  StopEmulator();
  Start("mobilepro15");
  EXPECT_EQ(read(u"Platform", u"Name"), u"NEC MobilePro Series");
  EXPECT_EQ(read(u"Windows CE Tools", u"Platform"), u"{0F9D255B-97DA-4641-A8E6-7A7411D2472F}");
  WCHAR oem[256];
  ASSERT_TRUE(SystemParametersInfo(SPI_GETOEMINFO, sizeof(oem), oem, 0));
  EXPECT_EQ(std::u16string(oem), u"NEC MobilePro Series");
  StopEmulator();
  Start("mobilepro");
  EXPECT_NE(read(u"Windows CE Tools", u"Platform"), u"{0F9D255B-97DA-4641-A8E6-7A7411D2472F}");
}

TEST_F(Registry, ADamagedFileIsSetAsideAndTheRegistryStartsEmpty) {
  HKEY key = Open();
  DWORD v = 5;
  RegSetValueEx(key, u"SlideDelay", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4);
  RegCloseKey(key);
  StopEmulator();
  std::string file = folder_.path() + "/device/.emulator/registry.txt";
  std::ofstream(file, std::ios::app) << "\"Broken\"=dword:12\n";
  testing::internal::CaptureStderr();
  Start("ipaq3600");
  std::string warning = testing::internal::GetCapturedStderr();
  EXPECT_NE(warning.find("damaged"), std::string::npos);
  EXPECT_EQ(std::count(warning.begin(), warning.end(), '\n'), 1);
  EXPECT_TRUE(std::filesystem::exists(file + ".damaged"));
  HKEY again;
  EXPECT_NE(RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarnwick\\Zelmo", 0, KEY_READ, &again), 0);
}

// A registry file that is no regular file under 16 MiB is never read (a
// folder, a FIFO without writer, a device behind a link, a huge file): it
// is set aside with a warning and a fresh registry works.  A registry kept
// beside the device's files by earlier versions moves into .emulator.
TEST_F(Registry, FilesThatAreNotFilesAreSetAsideAndOldOnesMoveIn) {
  const std::string root = folder_.path() + "/device", file = root + "/.emulator/registry.txt";
  const std::function<void()> makers[] = {
      [&] { std::filesystem::create_directory(file); },
      [&] { mkfifo(file.c_str(), 0600); },
      [&] { std::filesystem::create_symlink("/dev/zero", file); },
      [&] { std::ofstream(file) << "x"; std::filesystem::resize_file(file, (16 << 20) + 1); },
  };
  for (const auto& make : makers) {
    StopEmulator();
    std::filesystem::remove_all(file);
    make();
    testing::internal::CaptureStderr();
    Start("ipaq3600");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("is not a regular file of at most 16 MiB; it is kept as"),
              std::string::npos);
    HKEY key = Open();
    DWORD v = 7;
    EXPECT_EQ(RegSetValueEx(key, u"SlideDelay", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), 0);
    RegCloseKey(key);
    EXPECT_TRUE(std::filesystem::is_regular_file(file));
  }
  StopEmulator();
  std::filesystem::rename(file, root + "/registry.txt");
  Start("ipaq3600");
  EXPECT_FALSE(std::filesystem::exists(root + "/registry.txt"));
  HKEY key = Open();
  DWORD v = 0, size = 4;
  EXPECT_EQ(RegQueryValueEx(key, u"SlideDelay", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size), 0);
  EXPECT_EQ(v, 7u);
  RegCloseKey(key);
}

// Reads a child's standard output up to a line.
std::string ReadLine(int fd) {
  std::string line;
  char c;
  while (::read(fd, &c, 1) == 1 && c != '\n') line.push_back(c);
  return line;
}

TEST_F(Registry, TwoProcessesShareTheFolderTheirWindowsAndTheRegistry) {
  StopEmulator();
  std::string root = folder_.path() + "/device";
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::string peer = PLATFORM_PEER;
  char* args[] = {peer.data(), root.data(), nullptr};
  pid_t pid;
  ASSERT_EQ(posix_spawn(&pid, peer.c_str(), &actions, nullptr, args, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  ASSERT_EQ(ReadLine(out[0]), "ready");
  EmulatorConfig config;
  config.root = root;
  config.headless = true;
  std::string error;
  ASSERT_TRUE(StartEmulator(config, &error)) << error;
  HWND first = FindWindow(u"PEERCLASS", u"Peer Window");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(FindWindow(u"PEERCLASS", u"No Such Title"), nullptr);
  HKEY key = Open();
  WCHAR text[64] = {};
  DWORD size = sizeof(text);
  ASSERT_EQ(RegQueryValueEx(key, u"Shared", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size), 0);
  EXPECT_EQ(std::u16string(text), u"from peer");
  std::u16string reply = u"from test";
  RegSetValueEx(key, u"Reply", 0, REG_SZ, reinterpret_cast<const BYTE*>(reply.c_str()),
                static_cast<DWORD>((reply.size() + 1) * 2));
  RegCloseKey(key);
  EXPECT_TRUE(SetForegroundWindow(reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(first) | 1)));
  EXPECT_TRUE(PostMessage(first, WM_USER + 7, 1234, 0));
  EXPECT_EQ(ReadLine(out[0]), "got 1234 from test front=1");
  int status = 0;
  waitpid(pid, &status, 0);
  close(out[0]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
