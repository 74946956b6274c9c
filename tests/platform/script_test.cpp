// The headless script language end to end: zelmo-demo driven by scripts,
// its --log output, screenshots, and failed expectations.
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>

#include "platform/kernel/internal.h"
#include "support/emu.h"

namespace {

struct Outcome {
  int status = -1;
  std::string out;
};

Outcome RunDemo(const std::string& args) {
  Outcome o;
  std::string command = std::string(ZELMO_DEMO) + " " + args + " 2>&1";
  FILE* p = popen(command.c_str(), "r");
  if (!p) return o;
  std::array<char, 512> buf;
  while (std::fgets(buf.data(), buf.size(), p)) o.out += buf.data();
  int status = pclose(p);
  o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return o;
}

class Script : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& text) {
    std::string path = folder_.path() + "/" + name;
    std::ofstream(path) << text;
    return path;
  }
  std::string Args(const std::string& script) {
    return "--headless --log --clock 12:00 --root '" + folder_.path() + "/device' --script '" + script + "'";
  }
  emu::TempFolder folder_;
};

TEST_F(Script, TapsKeysHoldsAnswersAndShots) {
  std::string shot = folder_.path() + "/box.png";
  std::string script = Write("demo.txt",
                             "# the message box button, then its answer by key\n"
                             "expect-window ZLDEMO \"Zelmo platform demo\"\n"
                             "tap 60 239\n"
                             "expect-text Hello from the handheld emulator.\n"
                             "shot " + shot + "\n"
                             "key Enter\n"
                             "hold 120 180 700\n"
                             "answer yes\n"
                             "tap 120 206\n"
                             "idle\n"
                             "quit\n");
  Outcome o = RunDemo(Args(script));
  EXPECT_EQ(o.status, 0) << o.out;
  EXPECT_NE(o.out.find("messagebox \"Demo\" \"Hello from the handheld emulator.\""), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("messagebox \"Sound\" \"Play the chime?\""), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("sound start rate=11025 bytes=4000"), std::string::npos) << o.out;
  emu::Png png;
  ASSERT_TRUE(emu::ReadPng(shot, &png));
  EXPECT_EQ(png.width, 240);
  EXPECT_EQ(png.height, 320);
  // The box's navy caption bar crosses the middle of the screen (navy as
  // five bits of blue keep it).
  int navy = 0;
  for (int y = 26; y < 320; ++y) navy += png.at(120, y) == ((((0x80 >> 3) << 3) | (0x80 >> 5)) & 0xFF);
  EXPECT_GE(navy, 15);
}

// On a palette screen a message box shows in exact colours: the system
// palette holds its navy, black, white and the buttons' gray.
TEST_F(Script, AMessageBoxOnAPaletteScreenHasExactColours) {
  std::string shot = folder_.path() + "/box8.png";
  Outcome o = RunDemo("--screen 240x320x8 " + Args(Write("box8.txt", "tap 60 239\nexpect-text Hello\nshot " +
                                                                         shot + "\nkey Enter\nquit\n")));
  ASSERT_EQ(o.status, 0) << o.out;
  emu::Png png;
  ASSERT_TRUE(emu::ReadPng(shot, &png));
  int top = 26;
  while (top < 250 && png.at(20, top) != 0x000080u) ++top;
  int gray = 0;
  for (int y = top; y < top + 70; ++y) {
    for (int x = 10; x < 230; ++x) {
      uint32_t c = png.at(x, y);
      gray += c == 0xC0C0C0u;
      ASSERT_TRUE(c == 0xFFFFFFu || c == 0x000080u || c == 0 || c == 0xC0C0C0u || c == 0x808080u)
          << std::hex << c << " at " << x << "," << y;
    }
  }
  EXPECT_GT(gray, 100);
}

// Right taps, drags, held buttons and waiting for what the program logs.
TEST_F(Script, GesturesAndWaitingForTheLog) {
  std::string script = Write("gestures.txt",
                             "expect-window ZLDEMO \"Zelmo platform demo\"\n"
                             "rtap 100 60\n"
                             "wait-log \"right tap at 100,34\"\n"
                             "drag 20 60 200 80 200 5\n"
                             "wait-log pen up at 200,54 after 5 moves 5000\n"
                             "keydown Right\n"
                             "wait 750\n"
                             "keyup Right\n"
                             "wait-log key up 0x27\n"
                             "quit\n");
  Outcome o = RunDemo(Args(script));
  EXPECT_EQ(o.status, 0) << o.out;
  EXPECT_NE(o.out.find("milestone key down 0x27\n"), std::string::npos) << o.out;
  // After half a second a held button repeats every 100 ms.
  size_t repeats = 0;
  for (size_t at = 0; (at = o.out.find("milestone key down 0x27 again", at)) != std::string::npos; ++at) ++repeats;
  EXPECT_GE(repeats, 2u) << o.out;
  Outcome late = RunDemo(Args(Write("late.txt", "wait-log \"never logged\" 50\n")));
  EXPECT_EQ(late.status, 3);
  EXPECT_NE(late.out.find("nothing logged \"never logged\" within 50 ms"), std::string::npos) << late.out;
}

TEST_F(Script, AFailedExpectationEndsWithAClearMessage) {
  std::string script = Write("fail.txt", "expect-window NOSUCHCLASS\nquit\n");
  Outcome o = RunDemo(Args(script));
  EXPECT_EQ(o.status, 3);
  EXPECT_NE(o.out.find("fail.txt:1: expected a window of class NOSUCHCLASS"), std::string::npos) << o.out;
  Outcome bad = RunDemo(Args(Write("bad.txt", "jump 1 2\n")));
  EXPECT_EQ(bad.status, 3);
  EXPECT_NE(bad.out.find("unknown command jump"), std::string::npos);
}

TEST_F(Script, OptionsListDevicesAndTheKeyMap) {
  Outcome list = RunDemo("--list-devices");
  EXPECT_EQ(list.status, 0);
  EXPECT_NE(list.out.find("Compaq iPAQ H3100"), std::string::npos);
  EXPECT_NE(list.out.find("aero8000     800x600x16   18  Compaq Aero 8000"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("platform Casio Jx650 CE3.00"), std::string::npos) << list.out;
  // Only the unknown model takes another screen.
  Outcome known = RunDemo("--device ipaq3600 --screen 320x240x16 --list-devices");
  EXPECT_EQ(known.status, 2);
  EXPECT_NE(known.out.find("unknown model only"), std::string::npos) << known.out;
  EXPECT_EQ(RunDemo("--screen 320x240x12 --list-devices").status, 2);
  EXPECT_EQ(RunDemo("--screen 320x240 --list-devices").status, 2);
  Outcome help = RunDemo("--help --device j580");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Enter   -> 0x86 Action"), std::string::npos) << help.out;
  Outcome wrong = RunDemo("--device nothing");
  EXPECT_EQ(wrong.status, 2);
  EXPECT_NE(wrong.out.find("unknown device"), std::string::npos);
}

// A program that takes its time before its first window.
ce::LRESULT SlowProc(ce::HWND hwnd, ce::UINT msg, ce::WPARAM wParam, ce::LPARAM lParam) {
  if (msg == ce::WM_DESTROY) ce::PostQuitMessage(0);
  return ce::DefWindowProc(hwnd, msg, wParam, lParam);
}

int SlowProgram(ce::HINSTANCE, ce::HINSTANCE, ce::LPWSTR, int) {
  ce::Sleep(300);
  ce::WNDCLASS wc{};
  wc.lpfnWndProc = SlowProc;
  wc.lpszClassName = u"SLOWCLASS";
  ce::RegisterClass(&wc);
  ce::CreateWindow(u"SLOWCLASS", u"Slow", ce::WS_VISIBLE, ce::CW_USEDEFAULT, ce::CW_USEDEFAULT,
                   ce::CW_USEDEFAULT, ce::CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
  ce::MSG msg;
  while (ce::GetMessage(&msg, nullptr, 0, 0)) ce::DispatchMessage(&msg);
  return 0;
}

TEST_F(Script, TheFirstLineWaitsForTheProgramsFirstWindow) {
  std::string script = Write("slow.txt", "expect-window SLOWCLASS \"Slow\"\nquit\n");
  std::string root = folder_.path() + "/device";
  std::vector<std::string> args = {"program", "--headless", "--clock", "12:00", "--root", root,
                                   "--script", script};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  EXPECT_EQ(ce::RunEmulator(static_cast<int>(argv.size()), argv.data(), SlowProgram, nullptr), 0);
  ce::StopEmulator();
}

// A program that leaves a file, registry values and a logged milestone for
// the script's checks.
int LeavingProgram(ce::HINSTANCE, ce::HINSTANCE, ce::LPWSTR, int) {
  using namespace ce;
  HANDLE f = CreateFile(u"\\My Documents\\note.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(f, "hello", 5, &written, nullptr);
  CloseHandle(f);
  HKEY key;
  RegCreateKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Test", 0, nullptr, 0, 0, nullptr, &key, nullptr);
  DWORD count = 42;
  const BYTE block[] = {1, 2, 0xFF};
  RegSetValueEx(key, u"Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), 4);
  RegSetValueEx(key, u"Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"Zelmo test"), 22);
  RegSetValueEx(key, u"Block", 0, REG_BINARY, block, 3);
  RegCloseKey(key);
  ce::internal::LogEvent("milestone ready 42");
  return SlowProgram(nullptr, nullptr, nullptr, 0);
}

TEST_F(Script, FilesRegistryValuesAndLoggedMilestonesAreChecked) {
  std::string script = Write("checks.txt",
                             "wait-log \"ready 42\" 5000\n"
                             "expect-file \"\\My Documents\\note.txt\" size 5\n"
                             "expect-file \"\\My Documents\\note.txt\" sha256 "
                             "2CF24DBA5FB0A30E26E83B2AC5B9E29E1B161E5C1FA7425E73043362938B9824\n"
                             "expect-file \\temp\\none.txt absent\n"
                             "expect-registry HKLM\\Software\\Test Count 0x2A\n"
                             "expect-registry HKLM\\Software\\Test Name Zelmo test\n"
                             "expect-registry HKLM\\Software\\Test Block 0102ff\n"
                             "expect-file \"\\My Documents\\note.txt\" sha256 00\n");
  std::string root = folder_.path() + "/device";
  std::vector<std::string> args = {"program", "--headless", "--root", root, "--script", script};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  testing::internal::CaptureStderr();
  EXPECT_EQ(ce::RunEmulator(static_cast<int>(argv.size()), argv.data(), LeavingProgram, nullptr), 3);
  ce::StopEmulator();
  // Only the last line fails, with what the file holds.
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(
                "checks.txt:8: \\My Documents\\note.txt has the digest "
                "2cf24dba5fb0a30e26e83b2ac5b9e29e1b161e5c1fa7425e73043362938b9824, expected 00"),
            std::string::npos);
}

}  // namespace
