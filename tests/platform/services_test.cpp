// Message boxes (modal on any thread, answered in advance or by a tap),
// pop-up menus, dialogs and their controls, the clipboard, sound, program
// launches and the infrared fake.
#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <thread>

#include "platform/ce_winsock.h"
#include "platform/controls/controls.h"
#include "support/emu.h"

using namespace ce;

std::span<const ce::ResourceFile> ProjectResources();

namespace {

class Services : public emu::Device {
 protected:
  void SetUp() override {
    emu::Device::SetUp();
    EmulatorConfig config;
    config.clipboardDump = folder_.path() + "/clip.bmp";
    Start("ipaq3600", config);
    emu::RegisterRecordingClass(u"REC");
    ClearEventLog();
  }
  static bool Logged(const std::string& line) {
    for (const std::string& l : EventLog()) {
      if (l == line) return true;
    }
    return false;
  }
};

// Taps the middle of a window's rectangle from another thread.
void TapWindow(HWND hwnd) {
  RECT r;
  GetWindowRect(hwnd, &r);
  int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
  InjectPen(PenAction::kDown, x, y);
  InjectPen(PenAction::kUp, x, y);
}

// The pop-up menu once it shows (and so holds the pen).
HWND ShownPopup() {
  HWND h = FindWindow(u"#32768", nullptr);
  return h && IsWindowVisible(h) ? h : nullptr;
}

template <typename F>
HWND WaitFor(F find) {
  for (int i = 0; i < 3000; ++i) {
    if (HWND h = find()) return h;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return nullptr;
}

TEST_F(Services, PresetAnswersAreTakenAndEveryBoxIsRecorded) {
  QueueMessageBoxAnswer(IDNO);
  EXPECT_EQ(MessageBox(nullptr, u"Overwrite existing file?", u"a.tif", MB_YESNO), IDNO);
  QueueMessageBoxAnswer(IDYES);
  EXPECT_EQ(MessageBox(nullptr, u"Done", u"Info", MB_OK), IDOK);  // not offered: the first button
  auto history = MessageBoxHistory();
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[0].caption, u"a.tif");
  EXPECT_EQ(history[0].text, u"Overwrite existing file?");
  EXPECT_EQ(history[0].answer, IDNO);
  EXPECT_TRUE(Logged("messagebox \"a.tif\" \"Overwrite existing file?\""));
}

struct BoxJob {
  HWND owner;
  std::atomic<int> result{0};
};

DWORD BoxWorker(void* arg) {
  auto* job = static_cast<BoxJob*>(arg);
  job->result = MessageBox(job->owner, u"Printing failed", u"Print", MB_OK | MB_ICONSTOP);
  return 0;
}

TEST_F(Services, AMessageBoxFromTheWorkerIsModalAndTappable) {
  HWND owner = CreateWindow(u"REC", u"Main", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
  emu::Pump();
  BoxJob job;
  job.owner = owner;
  HANDLE worker = CreateThread(nullptr, 0, BoxWorker, &job, 0, nullptr);
  std::atomic<bool> sawDisabled{false};
  std::thread tapper([&] {
    HWND box = WaitFor([] { return FindWindow(u"#32770", u"Print"); });
    if (!box) return;
    WaitIdle(2000);
    sawDisabled = !IsWindowEnabled(owner);
    TapWindow(GetDlgItem(box, IDOK));
  });
  ASSERT_TRUE(emu::PumpUntil([&] { return job.result.load() != 0; }, 5000));
  tapper.join();
  WaitForSingleObject(worker, 2000);
  CloseHandle(worker);
  EXPECT_EQ(job.result.load(), IDOK);
  EXPECT_TRUE(sawDisabled.load());
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_EQ(FindWindow(u"#32770", u"Print"), nullptr);
  DestroyWindow(owner);
}

TEST_F(Services, PopupMenusReturnOrPostTheChosenCommand) {
  HWND owner = CreateWindow(u"REC", u"Main", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
  emu::Pump();
  HMENU sort = CreatePopupMenu();
  AppendMenu(sort, MF_STRING, 1124, u"Name");
  AppendMenu(sort, MF_STRING | MF_GRAYED, 1125, u"Size");
  AppendMenu(sort, MF_STRING, 1126, u"Date");
  CheckMenuRadioItem(sort, 1124, 1126, 1126, MF_BYCOMMAND);
  EXPECT_EQ(GetMenuState(sort, 1126, MF_BYCOMMAND) & MF_CHECKED, MF_CHECKED);
  EXPECT_EQ(GetMenuItemCount(sort), 3);
  // Items are 20 pixels high below a one-pixel frame.
  auto tapItem = [](int x, int y, int index) {
    return std::thread([=] {
      WaitFor(ShownPopup);
      InjectPen(PenAction::kDown, x + 20, y + 1 + index * 20 + 10);
      InjectPen(PenAction::kUp, x + 20, y + 1 + index * 20 + 10);
    });
  };
  std::thread t = tapItem(10, 60, 2);
  EXPECT_EQ(TrackPopupMenu(sort, TPM_RETURNCMD, 10, 60, 0, owner, nullptr), 1126);
  t.join();
  // A grayed item cannot be chosen; a tap outside dismisses with 0.
  std::thread g([] {
    WaitFor(ShownPopup);
    InjectPen(PenAction::kDown, 30, 60 + 1 + 20 + 10);
    InjectPen(PenAction::kUp, 30, 60 + 1 + 20 + 10);
    InjectPen(PenAction::kDown, 200, 300);
    InjectPen(PenAction::kUp, 200, 300);
  });
  EXPECT_EQ(TrackPopupMenu(sort, TPM_RETURNCMD, 10, 60, 0, owner, nullptr), 0);
  g.join();
  // Without TPM_RETURNCMD the command is posted as WM_COMMAND.
  emu::Log().clear();
  t = tapItem(10, 60, 0);
  EXPECT_TRUE(TrackPopupMenu(sort, 0, 10, 60, 0, owner, nullptr));
  t.join();
  emu::Pump();
  auto cmds = emu::Messages(owner, {WM_COMMAND});
  ASSERT_EQ(cmds.size(), 1u);
  bool found = false;
  for (const auto& r : emu::Log()) {
    if (r.hwnd == owner && r.message == WM_COMMAND) found = LOWORD(r.wParam) == 1124;
  }
  EXPECT_TRUE(found);
  EXPECT_EQ(FindWindow(u"#32768", nullptr), nullptr);
  DestroyMenu(sort);
  DestroyWindow(owner);
}

TEST_F(Services, CenteredPopupsSitAroundTheirPoint) {
  HMENU m = CreatePopupMenu();
  AppendMenu(m, MF_STRING, 1, u"One");
  std::thread t([] {
    HWND popup = WaitFor(ShownPopup);
    RECT r;
    GetWindowRect(popup, &r);
    // Report the position through the chosen command: the item id cannot
    // carry it, so check here and choose only when it is right.
    int centre = (r.left + r.right) / 2;
    int x = std::abs(centre - 120) <= 1 ? r.left + 5 : 300;
    InjectPen(PenAction::kDown, x, r.top + 5);
    InjectPen(PenAction::kUp, x, r.top + 5);
  });
  EXPECT_EQ(TrackPopupMenu(m, TPM_CENTERALIGN | TPM_RETURNCMD, 120, 100, 0, nullptr, nullptr), 1);
  t.join();
  DestroyMenu(m);
}

BOOL SettingsProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      CheckRadioButton(dlg, 1020, 1022, 1021);
      SetDlgItemInt(dlg, 1041, 15, FALSE);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dlg, LOWORD(wParam) == IDOK ? 100 + static_cast<int>(GetDlgItemInt(dlg, 1041, nullptr, FALSE)) : 2);
        return TRUE;
      }
      return FALSE;
    default: return FALSE;
  }
}

TEST_F(Services, DialogsRunModallyWithTheirControls) {
  internal::DialogTemplate t;
  t.title = u"Capture";
  t.style = WS_POPUP | WS_BORDER;
  t.cx = 200;
  t.cy = 150;
  t.placement = internal::DialogPlacement::kCenter;
  auto add = [&](int id, const char16_t* cls, const char16_t* text, int y, DWORD style) {
    internal::DialogItem item;
    item.id = id;
    item.className = cls;
    item.text = text;
    item.x = 10;
    item.y = y;
    item.cx = 120;
    item.cy = 20;
    item.style = WS_VISIBLE | style;
    t.items.push_back(item);
  };
  add(1020, u"button", u"BMP", 5, BS_AUTORADIOBUTTON | WS_GROUP);
  add(1021, u"button", u"PCX", 25, BS_AUTORADIOBUTTON);
  add(1022, u"button", u"GIF", 45, BS_AUTORADIOBUTTON);
  add(1041, u"edit", u"", 70, WS_BORDER | WS_TABSTOP | ES_NUMBER);
  add(IDOK, u"button", u"OK", 100, BS_DEFPUSHBUTTON | WS_TABSTOP);
  std::atomic<bool> checked{false};
  std::thread user([&] {
    HWND dlg = WaitFor([] { return FindWindow(u"#32770", u"Capture"); });
    if (!dlg) return;
    WaitIdle(2000);
    TapWindow(GetDlgItem(dlg, 1022));  // takes the check from 1021
    WaitIdle(2000);
    checked = IsDlgButtonChecked(dlg, 1022) == BST_CHECKED && IsDlgButtonChecked(dlg, 1021) == 0;
    TapWindow(GetDlgItem(dlg, 1041));
    WaitIdle(2000);
    InjectChar(u'7');
    InjectChar(u'x');  // refused: numbers only
    WaitIdle(2000);
    TapWindow(GetDlgItem(dlg, IDOK));
  });
  intptr_t r = internal::RunModalDialog(t, nullptr, SettingsProc, 0);
  user.join();
  EXPECT_TRUE(checked.load());
  EXPECT_EQ(r, 100 + 157);
  EXPECT_TRUE(Logged("beep"));
}

TEST_F(Services, EditsReportChangesAlsoWhenTheProgramSetsTheText) {
  HWND parent = CreateWindow(u"REC", u"P", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
  HWND edit = CreateWindow(u"edit", u"", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 100, 20, parent,
                           reinterpret_cast<HMENU>(1040), nullptr, nullptr);
  SendMessage(edit, EM_LIMITTEXT, 3, 0);
  emu::Pump();
  emu::Log().clear();
  SetWindowText(edit, u"1");
  SetFocus(edit);
  InjectChar(u'2');
  InjectChar(u'3');
  InjectChar(u'4');  // past the limit of 3
  emu::Pump();
  int changes = 0, focus = 0;
  for (const auto& m : emu::Log()) {
    if (m.hwnd != parent || m.message != WM_COMMAND || LOWORD(m.wParam) != 1040) continue;
    if (HIWORD(m.wParam) == EN_CHANGE) ++changes;
    if (HIWORD(m.wParam) == EN_SETFOCUS) ++focus;
  }
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(focus, 1);
  WCHAR text[8];
  GetWindowText(edit, text, 8);
  EXPECT_EQ(std::u16string(text), u"123");
  DestroyWindow(parent);
}

TEST_F(Services, TheClipboardKeepsOnePackedDibAndDumpsIt) {
  const int w = 3, h = 2;
  size_t stride = 12;
  HLOCAL block = LocalAlloc(LHND, sizeof(BITMAPINFOHEADER) + stride * h);
  auto* p = static_cast<uint8_t*>(LocalLock(block));
  BITMAPINFOHEADER bh{sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  std::memcpy(p, &bh, sizeof(bh));
  for (size_t i = 0; i < stride * h; ++i) p[sizeof(bh) + i] = static_cast<uint8_t>(i * 9);
  LocalUnlock(block);
  ASSERT_TRUE(OpenClipboard(nullptr));
  ASSERT_TRUE(EmptyClipboard());
  ASSERT_EQ(SetClipboardData(CF_DIB, block), block);
  CloseClipboard();
  std::vector<uint8_t> dib = ClipboardDib();
  ASSERT_EQ(dib.size(), sizeof(BITMAPINFOHEADER) + stride * h);
  EXPECT_EQ(dib[sizeof(bh) + 5], 45);
  std::ifstream in(folder_.path() + "/clip.bmp", std::ios::binary);
  std::vector<uint8_t> bmp((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bmp.size(), 14 + dib.size());
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[10], 14 + 40);
  EXPECT_TRUE(std::equal(dib.begin(), dib.end(), bmp.begin() + 14));
}

TEST_F(Services, SoundsAreParsedAndLogged) {
  std::vector<uint8_t> wave = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E',
                               'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 1, 0,
                               0x11, 0x2B, 0, 0, 0x11, 0x2B, 0, 0, 1, 0, 8, 0,
                               'd', 'a', 't', 'a', 5, 0, 0, 0, 1, 2, 3, 4, 5};
  wave[4] = static_cast<uint8_t>(wave.size() - 8);
  EXPECT_TRUE(sndPlaySound(wave.data(), SND_MEMORY | SND_ASYNC));
  EXPECT_TRUE(sndPlaySound(nullptr, 0));
  EXPECT_TRUE(Logged("sound start rate=11025 bytes=5"));
  EXPECT_TRUE(Logged("sound stop"));
  wave[34] = 16;  // 16-bit samples are not supported
  EXPECT_FALSE(sndPlaySound(wave.data(), SND_MEMORY | SND_ASYNC));
  MessageBeep(0);
  EXPECT_TRUE(Logged("beep"));
}

TEST_F(Services, ProgramsAreLoggedAndMailGoesToTheOutbox) {
  std::string root = folder_.path() + "/device";
  std::ofstream(root + "/temp/zelmo.jpg") << "jpeg";
  PROCESS_INFORMATION pi;
  EXPECT_TRUE(CreateProcess(u"peghelp.exe", u"file:zlv.htm#Main_Contents", nullptr, nullptr, FALSE,
                            0, nullptr, nullptr, nullptr, &pi));
  EXPECT_TRUE(CreateProcess(u"pmail.exe", u"-attach \"\\temp\\zelmo.jpg\"", nullptr, nullptr, FALSE,
                            0, nullptr, nullptr, nullptr, &pi));
  EXPECT_TRUE(CreateProcess(u"irsquirt.exe", u"\\temp\\zelmo.jpg", nullptr, nullptr, FALSE, 0,
                            nullptr, nullptr, nullptr, &pi));
  EXPECT_TRUE(Logged("launch peghelp.exe file:zlv.htm#Main_Contents"));
  EXPECT_TRUE(Logged("launch pmail.exe -attach \"\\temp\\zelmo.jpg\""));
  EXPECT_TRUE(std::filesystem::exists(root + "/Outbox/zelmo.jpg"));
  EXPECT_TRUE(std::filesystem::exists(root + "/IrDA Outbox/zelmo.jpg"));
  WCHAR module[256];
  ASSERT_GT(GetModuleFileName(nullptr, module, 256), 0u);
  EXPECT_EQ(std::u16string(module), u"\\Windows\\zelmo.exe");
}

// The program's help pages go into \Windows when missing or older there; the
// help viewer is asked for a page at a topic.
TEST_F(Services, HelpPagesAreInstalledAndShownAtTheirTopic) {
  const ResourceFile* page = nullptr;
  for (const ResourceFile& f : ProjectResources()) page = std::string(f.path) == "help/zlv.htm" ? &f : page;
  ASSERT_NE(page, nullptr);
  const std::string installed = folder_.path() + "/device/Windows/zlv.htm";
  SetProgramResources(ProjectResources());
  // An installed page older than the embedded one is replaced, a newer one kept.
  for (int64_t age : {int64_t{-60}, int64_t{60}}) {
    std::ofstream(installed) << "edited";
    timespec times[2] = {{page->modified + age, 0}, {page->modified + age, 0}};
    utimensat(AT_FDCWD, installed.c_str(), times, 0);
    StopEmulator();
    Start("ipaq3600");
    std::ifstream in(installed, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, age < 0 ? std::string(reinterpret_cast<const char*>(page->data), page->size) : "edited");
  }
  SetProgramResources({});
  PROCESS_INFORMATION pi;
  CreateProcess(u"peghelp.exe", u"file:zlv.htm#Main_Contents", nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                nullptr, &pi);
  EXPECT_TRUE(Logged("help zlv.htm#Main_Contents"));
  // A program's own milestones go to the same log.
  LogMilestone("thumbnails %d of %d", 3, 3);
  EXPECT_TRUE(Logged("milestone thumbnails 3 of 3"));
}

// The print job's conversation with the infrared printer.
int PrintOverInfrared(const std::string& text) {
  SOCKET s = socket(AF_IRDA, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return -1;
  char list[256] = {};
  int length = sizeof(list);
  if (getsockopt(s, SOL_IRLMP, IRLMP_ENUMDEVICES, list, &length) != 0) return -2;
  DEVICELIST devices;
  std::memcpy(&devices, list, sizeof(devices));
  if (devices.numDevice == 0) return -3;
  IAS_QUERY q{};
  std::memcpy(q.irdaDeviceID, devices.Device[0].irdaDeviceID, 4);
  std::strcpy(q.irdaClassName, "IrLPT");
  std::strcpy(q.irdaAttribName, "IrDA:IrLMP:LsapSel");
  int qlen = sizeof(q);
  if (getsockopt(s, SOL_IRLMP, IRLMP_IAS_QUERY, reinterpret_cast<char*>(&q), &qlen) != 0) return -4;
  if (q.irdaAttribType != IAS_ATTRIB_INT) return -5;
  int one = 1;
  setsockopt(s, SOL_IRLMP, IRLMP_IRLPT_MODE, reinterpret_cast<char*>(&one), 4);
  SOCKADDR_IRDA addr{};
  addr.irdaAddressFamily = AF_IRDA;
  std::memcpy(addr.irdaDeviceID, devices.Device[0].irdaDeviceID, 4);
  std::snprintf(addr.irdaServiceName, sizeof(addr.irdaServiceName), "LSAP-SEL%d",
                static_cast<int>(q.irdaAttribute.irdaAttribInt));
  if (connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0) return -6;
  send(s, text.data(), static_cast<int>(text.size()), 0);
  closesocket(s);
  return 0;
}

TEST_F(Services, TheInfraredPrinterReceivesWhatIsSent) {
  WSADATA data;
  EXPECT_EQ(WSAStartup(0x0101, &data), 0);
  EXPECT_EQ(PrintOverInfrared("\x1b" "E page"), 0);
  EXPECT_EQ(PrintOverInfrared(" two"), 0);
  std::ifstream in(folder_.path() + "/device/Printouts/IrDA Printer.prn", std::ios::binary);
  std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(got, "\x1b" "E page two");
  WSACleanup();
}

TEST(InfraredModes, EachFailurePathCanBeChosen) {
  struct Case {
    IrdaMode mode;
    int result;
  };
  // ias-timeout answers only the third query; the program's test retries.
  for (Case c : {Case{IrdaMode::kNone, -3}, Case{IrdaMode::kNoSocket, -1}, Case{IrdaMode::kIasNone, -5},
                 Case{IrdaMode::kIasString, -5}, Case{IrdaMode::kIasTimeout, -4}, Case{IrdaMode::kRefuse, -6}}) {
    emu::TempFolder folder;
    EmulatorConfig config;
    config.root = folder.path();
    config.headless = true;
    config.secondInstanceService = false;
    config.irda = c.mode;
    std::string error;
    ASSERT_TRUE(StartEmulator(config, &error)) << error;
    EXPECT_EQ(PrintOverInfrared("x"), c.result);
    if (c.mode == IrdaMode::kRefuse) {
      EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
    }
    StopEmulator();
  }
}

}  // namespace
