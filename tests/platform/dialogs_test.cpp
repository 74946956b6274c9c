// Dialogs and controls driven as a user drives them: a dialog holding every
// control class (both layouts) run by a headless script with a recorder in
// its dialog procedure, owner-drawn buttons, a property sheet, and a
// modeless dialog updated from another thread.
#include <atomic>
#include <fstream>
#include <thread>

#include "platform/kernel/internal.h"
#include "support/emu.h"
#include "support/scripted.h"

std::span<const ce::ResourceFile> TestResources();

using namespace ce;

namespace {

emu::Trace gTrace;
std::atomic<bool> gRecording{false};
std::atomic<intptr_t> gResult{-5};

void Record(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::string line = emu::Describe(dlg, msg, wParam, lParam);
  if (gRecording && !line.empty()) gTrace.Add(line);
}

// The owner-drawn button: dark while held.
void DrawOwnButton(const DRAWITEMSTRUCT* di) {
  bool held = (di->itemState & ODS_SELECTED) != 0;
  HBRUSH b = CreateSolidBrush(held ? RGB(0, 0, 128) : RGB(255, 255, 192));
  FillRect(di->hDC, &di->rcItem, b);
  DeleteObject(b);
  RECT r = di->rcItem;
  SetBkMode(di->hDC, TRANSPARENT);
  SetTextColor(di->hDC, held ? RGB(255, 255, 255) : RGB(0, 0, 0));
  DrawText(di->hDC, u"Own", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void FillControls(HWND dlg) {
  SendDlgItemMessage(dlg, 1040, EM_LIMITTEXT, 7, 0);
  SetDlgItemText(dlg, 1042, u"fixed");
  SendDlgItemMessage(dlg, 1090, UDM_SETRANGE32, 1, 3);
  SendDlgItemMessage(dlg, 1090, UDM_SETPOS32, 0, 1);
  static const char16_t* const kMonths[] = {u"January", u"February", u"March", u"April",
                                            u"May", u"June", u"July", u"August", u"September",
                                            u"October", u"November", u"December"};
  for (const char16_t* m : kMonths) SendDlgItemMessage(dlg, 1010, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(m));
  SendDlgItemMessage(dlg, 1010, CB_SETCURSEL, 0, 0);
  CheckRadioButton(dlg, 1020, 1022, 1020);
  HWND list = GetDlgItem(dlg, 1100);
  SHFILEINFO info{};
  auto icons = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfo(u"\\Windows\\coredll.dll", 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
  ListView_SetImageList(list, icons, LVSIL_SMALL);
  const char16_t* titles[] = {u"Name", u"Size", u"Date"};
  int widths[] = {110, 60, 90};
  for (int c = 0; c < 3; ++c) {
    LVCOLUMN col{LVCF_TEXT | LVCF_WIDTH, 0, widths[c], const_cast<LPWSTR>(titles[c]), 0, c};
    ListView_InsertColumn(list, c, &col);
  }
  for (int i = 0; i < 20; ++i) {
    std::u16string name = u"Row " + internal::ToU16(std::to_string(i + 1));
    LVITEM item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = i;
    item.pszText = name.data();
    item.iImage = i % 3;
    item.lParam = i % 2 ? -i : i;  // folders carry negative data
    ListView_InsertItem(list, &item);
    std::u16string size = internal::ToU16(std::to_string(i * 3) + "K");
    item.mask = LVIF_TEXT;
    item.iSubItem = 1;
    item.pszText = size.data();
    ListView_SetItem(list, &item);
  }
  SetScrollRange(GetDlgItem(dlg, 1080), SB_CTL, 0, 10, FALSE);
  SetScrollPos(GetDlgItem(dlg, 1080), SB_CTL, 5, TRUE);
}

BOOL ControlsProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  Record(dlg, msg, wParam, lParam);
  switch (msg) {
    case WM_INITDIALOG:
      FillControls(dlg);
      gRecording = true;
      return TRUE;
    case WM_DRAWITEM: DrawOwnButton(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)); return TRUE;
    case WM_HSCROLL: {
      auto bar = reinterpret_cast<HWND>(lParam);
      int step = LOWORD(wParam) == SB_LINELEFT ? -1 : LOWORD(wParam) == SB_LINERIGHT ? 1
                 : LOWORD(wParam) == SB_PAGELEFT ? -3 : LOWORD(wParam) == SB_PAGERIGHT ? 3 : 0;
      SetScrollPos(bar, SB_CTL, GetScrollPos(bar, SB_CTL) + step, TRUE);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL: EndDialog(dlg, LOWORD(wParam)); return TRUE;
        case 1060:
          // What the program sets: the edit tells, the list tells, the
          // drop-down list does not.
          SetDlgItemText(dlg, 1042, u"set");
          SendDlgItemMessage(dlg, 1010, CB_SETCURSEL, 5, 0);
          ListView_SetItemState(GetDlgItem(dlg, 1100), 2, LVIS_SELECTED, LVIS_SELECTED);
          return TRUE;
        default: return TRUE;
      }
    default: return FALSE;
  }
}

LRESULT PlainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

HWND MainWindow() {
  WNDCLASS wc{};
  wc.lpfnWndProc = PlainProc;
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = u"TESTMAIN";
  RegisterClass(&wc);
  return CreateWindow(u"TESTMAIN", u"Test", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
}

int ControlsProgram(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  HWND main = MainWindow();
  gResult = DialogBoxParam(instance, u"CONTROLS", main, ControlsProc, 0);
  DestroyWindow(main);
  return 0;
}

class Dialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramResources(TestResources());
    gTrace.Clear();
    gRecording = false;
    gResult = -5;
  }
  void TearDown() override { SetProgramResources({}); }
  std::string Root() const { return folder_.path() + "/device"; }
  emu::TempFolder folder_;

  // The controls script after a look at the layout.
  std::string ControlsScript(const std::string& picture) {
    std::string path = folder_.path() + "/controls.txt";
    std::ofstream(path) << "expect-shot " << PLATFORM_SCRIPTS << "/" << picture << "\n"
                        << std::ifstream(std::string(PLATFORM_SCRIPTS) + "/controls.txt").rdbuf();
    return path;
  }
};

// What the controls script makes the dialog hear, in order.
const std::vector<std::string> kControlsTrace = {
    "COMMAND 1040 EN_SETFOCUS",  // the first tab stop has the focus
    // Check boxes (by pen and Space), the disabled one silent, a radio.
    "COMMAND 1040 EN_KILLFOCUS", "COMMAND 1001 BN_CLICKED", "COMMAND 1001 BN_CLICKED",
    "COMMAND 1022 BN_CLICKED",
    // Seven characters of ten, Backspace, Delete and "X": ten changes.
    "COMMAND 1040 EN_SETFOCUS", "COMMAND 1040 EN_CHANGE", "COMMAND 1040 EN_CHANGE",
    "COMMAND 1040 EN_CHANGE", "COMMAND 1040 EN_CHANGE", "COMMAND 1040 EN_CHANGE",
    "COMMAND 1040 EN_CHANGE", "COMMAND 1040 EN_CHANGE", "COMMAND 1040 EN_CHANGE",
    "COMMAND 1040 EN_CHANGE", "COMMAND 1040 EN_CHANGE",
    // Tab, and "a-2" of which only the digit arrives.
    "COMMAND 1040 EN_KILLFOCUS", "COMMAND 1041 EN_SETFOCUS", "COMMAND 1041 EN_CHANGE",
    // Up twice from 2 (the second at the end), down three times.
    "NOTIFY 1090 UDN_DELTAPOS pos=2 delta=1", "COMMAND 1041 EN_CHANGE", "VSCROLL 1090 THUMBPOSITION 3",
    "NOTIFY 1090 UDN_DELTAPOS pos=3 delta=1",
    "NOTIFY 1090 UDN_DELTAPOS pos=3 delta=-1", "COMMAND 1041 EN_CHANGE", "VSCROLL 1090 THUMBPOSITION 2",
    "NOTIFY 1090 UDN_DELTAPOS pos=2 delta=-1", "COMMAND 1041 EN_CHANGE", "VSCROLL 1090 THUMBPOSITION 1",
    "NOTIFY 1090 UDN_DELTAPOS pos=1 delta=-1",
    // "Set": the program's text and list selection tell, its CB_SETCURSEL not.
    "COMMAND 1041 EN_KILLFOCUS", "COMMAND 1060 BN_CLICKED", "COMMAND 1042 EN_CHANGE",
    "NOTIFY 1100 LVN_ITEMCHANGED item=2 new=3 old=0 data=2",
    // A new choice, the same again, a tap elsewhere.
    "COMMAND 1010 CBN_SELENDOK", "COMMAND 1010 CBN_SELCHANGE", "COMMAND 1010 CBN_SELENDOK",
    // A row scrolled into view, tapped, tapped again.
    "NOTIFY 1100 LVN_ITEMCHANGED item=2 new=0 old=3 data=2",
    "NOTIFY 1100 LVN_ITEMCHANGED item=17 new=3 old=0 data=-17", "NOTIFY 1100 NM_CLICK item=17",
    "NOTIFY 1100 NM_DBLCLK item=17",
    // The scroll bar's arrow and trough, with the position they start from.
    "HSCROLL 1080 LINEUP 5", "HSCROLL 1080 ENDSCROLL 0", "HSCROLL 1080 PAGEUP 4",
    "HSCROLL 1080 ENDSCROLL 0",
    // The owner-drawn button, then Enter.
    "DRAWITEM 1050 selected", "DRAWITEM 1050 released", "COMMAND 1050 BN_CLICKED",
    "COMMAND 1 BN_CLICKED"};

TEST_F(Dialogs, EveryControlOnTheNarrowLayout) {
  ASSERT_EQ(emu::RunScripted(ControlsProgram, "ipaq3600", ControlsScript("controls-narrow.png"), Root()), 0);
  EXPECT_EQ(gResult, IDOK);
  EXPECT_EQ(gTrace.Lines(), kControlsTrace);
}

TEST_F(Dialogs, EveryControlOnTheWideLayout) {
  ASSERT_EQ(emu::RunScripted(ControlsProgram, "jornada720", ControlsScript("controls-wide.png"), Root()), 0);
  EXPECT_EQ(gResult, IDOK);
  EXPECT_EQ(gTrace.Lines(), kControlsTrace);
}

// Owner-drawn buttons: drawn by the dialog on every paint and at every
// press and release; a release outside clicks nothing.
class OwnerDrawn : public emu::Device {};

std::vector<std::string> gDraws;

BOOL OwnerProc(HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DRAWITEM) {
    const auto* di = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    gDraws.push_back(std::string(di->itemAction == ODA_DRAWENTIRE ? "paint" : "press") +
                     ((di->itemState & ODS_SELECTED) ? " selected" : "") + " " + std::to_string(wParam));
    DrawOwnButton(di);
    return TRUE;
  }
  if (msg == WM_COMMAND && LOWORD(wParam) == 1050) gDraws.push_back("clicked");
  return msg == WM_INITDIALOG;
}

TEST_F(OwnerDrawn, DrawnOnPaintPressAndReleaseClickedOnlyOnAReleaseInside) {
  Start("ipaq3600");
  SetProgramResources(TestResources());
  HWND dlg = CreateDialogParam(nullptr, u"CONTROLS", nullptr, OwnerProc, 0);
  ASSERT_NE(dlg, nullptr);
  ShowWindow(dlg, SW_SHOW);
  emu::Pump();
  EXPECT_EQ(gDraws, std::vector<std::string>{"paint 1050"});
  RECT r;
  GetWindowRect(GetDlgItem(dlg, 1050), &r);
  int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
  auto pen = [](PenAction a, int px, int py) {
    InjectPen(a, px, py);
    emu::Pump();
  };
  // Focus and clicks repaint the button as well; the presses are what
  // matters here.
  auto presses = [] {
    std::vector<std::string> out;
    for (const std::string& d : gDraws) {
      if (d.rfind("paint", 0) != 0) out.push_back(d);
    }
    return out;
  };
  gDraws.clear();
  pen(PenAction::kDown, x, y);
  pen(PenAction::kMove, x + 100, y);  // off the button: released look
  pen(PenAction::kMove, x, y);
  pen(PenAction::kMove, x + 100, y);
  pen(PenAction::kUp, x + 100, y);
  EXPECT_EQ(presses(), (std::vector<std::string>{"press selected 1050", "press 1050",
                                                "press selected 1050", "press 1050"}));
  gDraws.clear();
  pen(PenAction::kDown, x, y);
  pen(PenAction::kUp, x, y);
  EXPECT_EQ(presses(), (std::vector<std::string>{"press selected 1050", "press 1050", "clicked"}));
  DestroyWindow(dlg);
  SetProgramResources({});
}

// A property sheet of three pages: made when first shown, told when shown
// and left, applied on Done (the pages made so far), reset when closed.
BOOL PageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::string n = std::to_string(GetWindowLongPtr(page, DWL_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      auto* psp = reinterpret_cast<PROPSHEETPAGE*>(lParam);
      SetWindowLongPtr(page, DWL_USER, psp->lParam);
      gTrace.Add("INIT " + std::to_string(psp->lParam));
      SHINITDLGINFO shell{SHIDIM_FLAGS, page, 19};
      SHInitDialog(&shell);
      return TRUE;
    }
    case WM_NOTIFY:
    case WM_COMMAND:
      gTrace.Add(n + " " + emu::Describe(page, msg, wParam, lParam));
      SetWindowLongPtr(page, DWL_MSGRESULT, 0);
      return TRUE;
    default: return FALSE;
  }
}

int gCallbacks = 0;
int SheetCallback(HWND, UINT message, LPARAM) {
  gCallbacks += message == PSCB_INITIALIZED;
  return 0;
}

int SheetProgram(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  HWND main = MainWindow();
  static const char16_t* const kTitles[] = {u"General settings", u"Picture capture", u"Slide show timing"};
  PROPSHEETPAGE pages[3];
  for (int i = 0; i < 3; ++i)
    pages[i] = PROPSHEETPAGE{sizeof(PROPSHEETPAGE), PSP_USETITLE, instance, u"SHEETPAGE", nullptr,
                             kTitles[i], PageProc, i + 1, nullptr, nullptr};
  PROPSHEETHEADER header{40, PSH_PROPSHEETPAGE | PSH_USECALLBACK | PSH_MAXIMIZE, main, instance,
                         nullptr, u"Settings", 3, 0, pages, SheetCallback};
  for (int run = 0; run < 2; ++run) {
    intptr_t result = PropertySheet(&header);
    gTrace.Add("sheet " + std::to_string(result));
    internal::LogEvent("sheet " + std::to_string(result));
  }
  DestroyWindow(main);
  return 0;
}

TEST_F(Dialogs, PropertySheetPagesAreMadeLazilyAndAppliedOnDone) {
  ASSERT_EQ(emu::RunScripted(SheetProgram, "ipaq3600", "sheet.txt", Root()), 0);
  EXPECT_EQ(gCallbacks, 2);
  EXPECT_EQ(gTrace.Lines(), (std::vector<std::string>{
      "INIT 1", "1 PSN_SETACTIVE",
      // The third tab, scrolled into view: the second page is never made.
      "1 PSN_KILLACTIVE", "INIT 3", "3 PSN_SETACTIVE", "3 COMMAND 1001 BN_CLICKED",
      // Done: the page in front is left, the pages made are applied.
      "3 PSN_KILLACTIVE", "1 PSN_APPLY", "3 PSN_APPLY", "sheet 1",
      // The second sheet is closed as the program ends.
      "INIT 1", "1 PSN_SETACTIVE", "1 PSN_KILLACTIVE", "INIT 2", "2 PSN_SETACTIVE", "1 PSN_RESET",
      "2 PSN_RESET", "sheet 0"}));
}

// A modeless dialog on the plain message loop, updated from a second
// thread before and after the user closed it.
class ModelessDialog : public emu::Device {};

BOOL PrintingProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM) {
  if (msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
    DestroyWindow(dlg);
    return TRUE;
  }
  return msg == WM_INITDIALOG;
}

TEST_F(ModelessDialog, SurvivesUpdatesFromAnotherThreadAfterItClosed) {
  Start("ipaq3600");
  SetProgramResources(TestResources());
  HWND dlg = CreateDialogParam(nullptr, u"PRINTING", nullptr, PrintingProc, 0);
  ASSERT_NE(dlg, nullptr);
  ShowWindow(dlg, SW_SHOW);
  DWORD self = GetCurrentThreadId();
  std::atomic<int> updatedBefore{0}, callsAfter{0}, refusedAfter{0};
  std::atomic<bool> closed{false};
  std::thread worker([&] {
    for (int i = 0; i < 40; ++i) {
      std::u16string text = internal::ToU16("Page " + std::to_string(i));
      bool after = closed;  // set only once the dialog is gone
      BOOL set = SetDlgItemText(dlg, 1070, text.c_str());
      if (!after) updatedBefore += set;
      else {
        ++callsAfter;
        refusedAfter += !set && !EnableWindow(GetDlgItem(dlg, 2), TRUE) && !SendMessage(dlg, WM_NULL, 0, 0);
      }
      if (i == 10) InjectKey(VK_ESCAPE, true);  // the user cancels
      if (i == 20) {
        while (!closed) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    EXPECT_FALSE(DestroyWindow(dlg));
    PostThreadMessage(self, WM_APP, 0, 0);
  });
  HWND next = nullptr;
  MSG msg;
  while (GetMessage(&msg, nullptr, 0, 0) && msg.message != WM_APP) {
    TranslateMessage(&msg);
    DispatchMessage(&msg);
    if (!closed && !IsWindow(dlg)) {
      // A new dialog right away: it must never take the old one's handle.
      next = CreateDialogParam(nullptr, u"PRINTING", nullptr, PrintingProc, 0);
      closed = true;
    }
  }
  worker.join();
  ASSERT_NE(next, nullptr);
  EXPECT_NE(next, dlg);
  EXPECT_GE(updatedBefore, 10);
  EXPECT_GE(callsAfter, 19);
  EXPECT_EQ(refusedAfter, callsAfter);
  WCHAR text[32];
  GetDlgItemText(next, 1070, text, 32);
  EXPECT_EQ(std::u16string(text), u"Waiting");
  DestroyWindow(next);
  SetProgramResources({});
}

}  // namespace
