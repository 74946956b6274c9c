// Device paths: the device folder and \Host, case-insensitive names and
// wildcards, no "." or "..", times, copying, serial ports, mappings, and the
// imaging library's path hook.
#include <sys/wait.h>

#include <cerrno>
#include <fstream>
#include <set>

#include "imaging/core/files.h"
#include "platform/devices/files_internal.h"
#include "support/emu.h"

using namespace ce;

namespace {

class Files : public emu::Device {
 protected:
  void SetUp() override {
    emu::Device::SetUp();
    EmulatorConfig config;
    config.samples = ZELMO_SAMPLES;
    config.missingComPorts = {3};
    Start("ipaq3600", config);
    root_ = folder_.path() + "/device";
  }
  void Write(const std::string& rel, const std::string& text) {
    std::ofstream(root_ + "/" + rel) << text;
  }
  std::set<std::u16string> Find(const char16_t* pattern) {
    std::set<std::u16string> names;
    WIN32_FIND_DATA d;
    HANDLE h = FindFirstFile(pattern, &d);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
      names.insert(d.cFileName);
    } while (FindNextFile(h, &d));
    EXPECT_TRUE(FindClose(h));
    return names;
  }
  std::string root_;
};

TEST_F(Files, AFreshDeviceHasItsFoldersAndTheSamples) {
  for (const char16_t* f : {u"\\My Documents", u"\\temp", u"\\Windows"})
    EXPECT_EQ(GetFileAttributes(f), FILE_ATTRIBUTE_DIRECTORY) << ce::internal::ToUtf8(f);
  EXPECT_FALSE(Find(u"\\My Documents\\*.tif").empty());
  EXPECT_EQ(GetFileAttributes(u"\\My Documents\\README.md"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Files, WildcardsAndNamesIgnoreCase) {
  Write("temp/a.pcx", "1");
  Write("temp/B.PCX", "22");
  Write("temp/noext", "333");
  Write("temp/c.FX1", "4");
  Write("temp/d.jpeg", "5");
  std::filesystem::create_directories(root_ + "/temp/Sub");
  EXPECT_EQ(Find(u"\\temp\\*.PCX"), (std::set<std::u16string>{u"a.pcx", u"B.PCX"}));
  EXPECT_EQ(Find(u"\\TEMP\\*.fx?"), (std::set<std::u16string>{u"c.FX1"}));
  EXPECT_TRUE(Find(u"\\temp\\*.JPG").empty());
  // "*.*" matches every name, dotless ones too, and never "." or "..".
  EXPECT_EQ(Find(u"\\temp\\*.*"),
            (std::set<std::u16string>{u"a.pcx", u"B.PCX", u"noext", u"c.FX1", u"d.jpeg", u"Sub"}));
  WIN32_FIND_DATA d;
  HANDLE h = FindFirstFile(u"\\temp\\s*", &d);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(d.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
  FindClose(h);
  h = FindFirstFile(u"\\temp\\noext", &d);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(d.dwFileAttributes, 0u);
  EXPECT_EQ(d.nFileSizeLow, 3u);
  FindClose(h);
  EXPECT_EQ(FindFirstFile(u"\\nowhere\\*.*", &d), INVALID_HANDLE_VALUE);
  // Opening finds names whatever their case.
  HANDLE f = CreateFile(u"\\TEMP\\b.pcx", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(f, nullptr), 2u);
  CloseHandle(f);
}

TEST_F(Files, ReadWriteSeekCopyDelete) {
  HANDLE f = CreateFile(u"\\temp\\zelmo.tif", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                        CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD n;
  ASSERT_TRUE(WriteFile(f, "abcdef", 6, &n, nullptr));
  EXPECT_EQ(n, 6u);
  EXPECT_EQ(SetFilePointer(f, 0, nullptr, FILE_END), 6u);
  EXPECT_EQ(SetFilePointer(f, -4, nullptr, FILE_CURRENT), 2u);
  char buf[8] = {};
  ASSERT_TRUE(ReadFile(f, buf, 8, &n, nullptr));
  EXPECT_EQ(n, 4u);
  EXPECT_STREQ(buf, "cdef");
  FILETIME created, written;
  ASSERT_TRUE(GetFileTime(f, &created, nullptr, &written));
  SYSTEMTIME st, now;
  ASSERT_TRUE(FileTimeToSystemTime(&written, &st));
  GetLocalTime(&now);
  // Times are local: the minute just written matches the local clock.
  EXPECT_EQ(st.wYear, now.wYear);
  EXPECT_EQ(st.wHour, now.wHour);
  CloseHandle(f);
  // Copies never overwrite when asked not to.
  EXPECT_TRUE(CopyFile(u"\\temp\\zelmo.tif", u"\\temp\\copy.tif", TRUE));
  EXPECT_FALSE(CopyFile(u"\\temp\\zelmo.tif", u"\\temp\\copy.tif", TRUE));
  EXPECT_TRUE(DeleteFile(u"\\temp\\copy.tif"));
  EXPECT_FALSE(DeleteFile(u"\\temp\\copy.tif"));
  EXPECT_EQ(CreateFile(u"\\temp\\zelmo.tif", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  // A read-only mapping of the whole file.
  HANDLE m = CreateFileForMapping(u"\\temp\\zelmo.tif", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE map = CreateFileMapping(m, nullptr, PAGE_READONLY, 0, 0, nullptr);
  auto* view = static_cast<const char*>(MapViewOfFile(map, FILE_MAP_READ, 0, 0, 0));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(std::string(view, 6), "abcdef");
  EXPECT_TRUE(UnmapViewOfFile(view));
  CloseHandle(map);
  CloseHandle(m);
}

TEST_F(Files, HostPathsAndTheLibraryHook) {
  std::string host = folder_.path() + "/outside.txt";
  std::ofstream(host) << "host file";
  std::u16string device = ce::internal::HostToDevice(host);
  EXPECT_EQ(device.rfind(u"\\Host\\", 0), 0u);
  HANDLE f = CreateFile(device.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  CloseHandle(f);
  EXPECT_EQ(ce::internal::HostToDevice(root_ + "/My Documents/x.tif"), u"\\My Documents\\x.tif");
  // The imaging library opens device paths too.
  Write("temp/lib.bin", "12345");
  quillon::FileHandle h = quillon::OpenForRead(u"\\TEMP\\LIB.BIN");
  ASSERT_NE(h, quillon::kInvalidHandle);
  EXPECT_EQ(quillon::Seek(h, 0, 2), 5);
  quillon::Close(h);
  // ".." never leaves the device folder.
  EXPECT_EQ(ce::internal::DeviceToHost(u"\\..\\..\\temp"), root_ + "/temp");
}

// "My Device" holds only the device's files, and Host as a folder.
TEST_F(Files, TheRootListsHostAndNoFileOfTheEmulator) {
  EXPECT_EQ(Find(u"\\*.*"), (std::set<std::u16string>{u"My Documents", u"temp", u"Windows", u"Host"}));
  EXPECT_TRUE(std::filesystem::is_regular_file(root_ + "/.emulator/registry.txt"));
  WIN32_FIND_DATA d;
  HANDLE h = FindFirstFile(u"\\host", &d);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(std::u16string(d.cFileName), u"Host");
  EXPECT_EQ(d.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
  FindClose(h);
  EXPECT_TRUE(Find(u"\\Host\\*").count(u"tmp"));
}

// Every write under a --read-only folder fails as on a write-protected
// card, through the device's file calls and the library's primitives.
TEST_F(Files, ReadOnlyFoldersRefuseEveryWrite) {
  StopEmulator();
  EmulatorConfig config;
  config.readOnly = {"\\my documents"};
  Start("ipaq3600", config);
  Write("My Documents/kept.txt", "kept");
  const char16_t* kept = u"\\My Documents\\kept.txt";
  EXPECT_TRUE(CopyFile(kept, u"\\temp\\copy.txt", FALSE));  // reading is fine, elsewhere writing too
  for (DWORD disposition : {CREATE_ALWAYS, CREATE_NEW, OPEN_EXISTING, TRUNCATE_EXISTING})
    EXPECT_EQ(CreateFile(kept, GENERIC_WRITE, 0, nullptr, disposition, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_WRITE_PROTECT);
  EXPECT_FALSE(DeleteFile(kept));
  EXPECT_FALSE(MoveFile(kept, u"\\temp\\moved.txt"));
  EXPECT_FALSE(CreateDirectory(u"\\My Documents\\Sub", nullptr));
  EXPECT_EQ(quillon::CreateForWrite(u"\\My Documents\\new.bmp"), quillon::kInvalidHandle);
  EXPECT_EQ(errno, EROFS);
  std::ifstream in(root_ + "/My Documents/kept.txt");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "kept");
}

TEST_F(Files, SerialPortsAppendToFilesUnlessMissing) {
  for (int k = 0; k < 2; ++k) {
    HANDLE com = CreateFile(u"COM1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(com, INVALID_HANDLE_VALUE);
    DWORD n;
    WriteFile(com, "\x1b" "E", 2, &n, nullptr);
    CloseHandle(com);
  }
  std::ifstream in(root_ + "/Printouts/COM1.prn", std::ios::binary);
  std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(got, "\x1b" "E\x1b" "E");
  EXPECT_EQ(CreateFile(u"COM3:", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
}

}  // namespace
