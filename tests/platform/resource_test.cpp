// Resources embedded by the build: strings, menus, dialog templates,
// bitmaps and image lists, raw data; and every resource of the project
// folder parses.
#include <thread>

#include "platform/kernel/resource_internal.h"
#include "support/dialog_check.h"
#include "support/emu.h"

std::span<const ce::ResourceFile> TestResources();
std::span<const ce::ResourceFile> ProjectResources();

using namespace ce;

namespace {

class Resources : public emu::Device {
 protected:
  void SetUp() override {
    emu::Device::SetUp();
    Start("ipaq3600");
    SetProgramResources(TestResources());
  }
  void TearDown() override {
    SetProgramResources({});
    emu::Device::TearDown();
  }
};

std::u16string String(UINT id) {
  WCHAR buf[128];
  LoadString(ProgramInstance(), id, buf, 128);
  return buf;
}

TEST_F(Resources, StringsByNumber) {
  EXPECT_EQ(String(1), u"Zelmo");
  EXPECT_EQ(String(3), u"RAVLO2");
  EXPECT_EQ(String(40), u"Quote \"inside\" and \\ backslash");
  EXPECT_EQ(String(41), u"caf\u00e9");
  EXPECT_EQ(String(2), u"");
  WCHAR small[6];
  EXPECT_EQ(LoadString(ProgramInstance(), 5001, small, 6), 5);
  EXPECT_EQ(std::u16string(small), u"Not e");
}

TEST_F(Resources, MenusWithSubMenusAndStates) {
  HMENU menu = LoadMenu(ProgramInstance(), MAKEINTRESOURCE(119));
  ASSERT_NE(menu, nullptr);
  HMENU tool = GetSubMenu(menu, 0);
  ASSERT_NE(tool, nullptr);
  WCHAR text[32];
  GetMenuString(menu, 0, text, 32, MF_BYPOSITION);
  EXPECT_EQ(std::u16string(text), u"TOOL");
  EXPECT_EQ(GetMenuItemCount(tool), 4);
  EXPECT_EQ(GetMenuItemID(tool, 0), 40031u);
  EXPECT_EQ(GetMenuState(tool, 40032, MF_BYCOMMAND) & MF_CHECKED, MF_CHECKED);
  EXPECT_EQ(GetMenuState(tool, 2, MF_BYPOSITION) & MF_SEPARATOR, MF_SEPARATOR);
  EXPECT_EQ(GetMenuState(tool, 40064, MF_BYCOMMAND) & MF_GRAYED, MF_GRAYED);
  EXPECT_EQ(GetMenuItemCount(GetSubMenu(tool, 3)), 2);
  HMENU bar = LoadMenu(ProgramInstance(), u"bar");
  EXPECT_EQ(GetMenuItemCount(bar), 2);
  testing::internal::CaptureStderr();
  EXPECT_EQ(LoadMenu(ProgramInstance(), u"BROKEN"), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("POPUP without END"), std::string::npos);
  DestroyMenu(menu);
  DestroyMenu(bar);
}

int gPageControls = 0;

BOOL PageProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) {
    gPageControls = 0;
    for (int id : {410, 430, IDOK, IDCANCEL}) {
      HWND c = GetDlgItem(dlg, id);
      if (c && (GetWindowLong(c, GWL_STYLE) & WS_VISIBLE)) ++gPageControls;
    }
    SetDlgItemInt(dlg, 430, static_cast<UINT>(lParam), FALSE);
    return TRUE;
  }
  if (msg == WM_COMMAND && LOWORD(wParam) == IDOK) {
    BOOL ok;
    EndDialog(dlg, static_cast<intptr_t>(GetDlgItemInt(dlg, 430, &ok, FALSE)) * 10);
    return TRUE;
  }
  return FALSE;
}

TEST_F(Resources, DialogsFromTemplates) {
  std::thread user([] {
    HWND dlg = nullptr;
    for (int i = 0; i < 3000 && !dlg; ++i) {
      dlg = FindWindow(u"#32770", u"Go to page");
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!dlg) return;
    WaitIdle(2000);
    InjectKey(VK_RETURN, true);  // the default button
  });
  intptr_t r = DialogBoxParam(ProgramInstance(), u"PAGEBOX", nullptr, PageProc, 7);
  user.join();
  EXPECT_EQ(r, 70);
  // The template's controls were all there and visible.
  EXPECT_EQ(gPageControls, 4);
  EXPECT_EQ(DialogBoxParam(ProgramInstance(), u"NOSUCH", nullptr, PageProc, 0), -1);
  // A control that cannot be made fails the dialog, which leaves nothing.
  internal::DialogTemplate t;
  t.cx = t.cy = 100;
  t.items.push_back(internal::DialogItem{1, u"nosuchclass", u"", 0, 0, 10, 10});
  EXPECT_EQ(internal::RunModalDialog(t, nullptr, PageProc, 0), -1);
  EXPECT_EQ(FindWindow(u"#32770", nullptr), nullptr);
}

TEST_F(Resources, IconsAreDrawnWithTheirTransparency) {
  HICON icon = LoadIcon(ProgramInstance(), MAKEINTRESOURCE(101));
  ASSERT_NE(icon, nullptr);
  emu::Canvas canvas(64, 64);
  RECT all{0, 0, 64, 64};
  HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
  FillRect(canvas.dc, &all, green);
  DeleteObject(green);
  ASSERT_TRUE(DrawIconEx(canvas.dc, 8, 8, icon, 32, 32, 0, nullptr, DI_NORMAL));
  int covered = 0, outside = 0;
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      bool inside = x >= 8 && x < 40 && y >= 8 && y < 40;
      (inside ? covered : outside) += canvas.at(x, y) != 0x00FF00u;
    }
  }
  EXPECT_EQ(outside, 0);
  EXPECT_GT(covered, 100);
}

// The resource check itself: the test dialogs pass, and each kind of
// fault in a template is named.
TEST(DialogCheck, TheTestDialogsPassAndEveryFaultIsNamed) {
  std::vector<emu::DialogUse> uses = {{"CONTROLS", "", {1001, 1010, 1040, 1050, 1090, 1100, IDOK}},
                                      {"Printing", "", {1070, IDCANCEL}},
                                      {"SHEETPAGE", "", {1001, 1040}}};
  EXPECT_EQ(emu::CheckDialogTemplates(TestResources(), uses), std::vector<std::string>{});
  const std::string bad[] = {
      // Placed nowhere, an id twice, a control off the layout and one of
      // no known class, too tall for the narrow screen.
      "DIALOG 0 0 240 300 \"A\"\nCONTROL 1 button \"\" 0 0 10 10\n"
      "CONTROL 1 button \"\" 235 0 10 10\nCONTROL 2 gadget \"\" 0 20 10 10\n",
      // Full screen without a wide layout; a wide one too large.
      "DIALOG 0 0 240 294 \"B\" FULLSCREEN\nCONTROL 5 edit \"\" 0 0 10 10\n",
      "DIALOG 0 0 240 200 \"C\" CENTER\nCONTROL 5 edit \"\" 0 0 10 10\nWIDE 330 200\n"
      "MOVE 5 325 0 10 10\n",
      // Unreadable.
      "DIALOG 0 0 240 200 \"D\" CENTER\nCONTROL 5 edit \"\" 0 0 ten 10\n"};
  std::vector<ResourceFile> files;
  const char* names[] = {"dialogs/A.dlg", "dialogs/B.dlg", "dialogs/C.dlg", "dialogs/D.dlg"};
  for (int i = 0; i < 4; ++i)
    files.push_back(ResourceFile{names[i], reinterpret_cast<const uint8_t*>(bad[i].data()), bad[i].size()});
  EXPECT_EQ(emu::CheckDialogTemplates(files, {{"C", "", {5, 6}}, {"E", "", {}}}),
            (std::vector<std::string>{
                "dialogs/A.dlg: says neither FULLSCREEN nor CENTER, nor is it a page",
                "dialogs/A.dlg: control id 1 is used twice",
                "dialogs/A.dlg: control 1 lies outside the layout",
                "dialogs/A.dlg: control 2 has the unknown class gadget",
                "dialogs/A.dlg: the layout's 240 x 300 does not fit 240 x 294",
                "dialogs/A.dlg: needs a wide layout (WIDE) or a wide twin",
                "dialogs/B.dlg: needs a wide layout (WIDE) or a wide twin",
                "dialogs/C.dlg: control 5 lies outside the wide layout",
                "dialogs/C.dlg: the wide layout does not fit 320 x 214",
                "dialogs/D.dlg: line 2: expected: CONTROL id class \"text\" x y cx cy: "
                "CONTROL 5 edit \"\" 0 0 ten 10",
                "dialog C has no control 6",
                "dialog E is shown but has no readable template in dialogs/"}));
}

TEST_F(Resources, BitmapsAndImageListsWithAMaskColour) {
  HBITMAP logo = LoadBitmap(ProgramInstance(), u"LOGO");
  ASSERT_NE(logo, nullptr);
  BITMAP bm;
  ASSERT_EQ(GetObject(logo, sizeof(bm), &bm), static_cast<int>(sizeof(bm)));
  EXPECT_EQ(bm.bmWidth, 4);
  EXPECT_EQ(bm.bmHeight, 2);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, logo);
  emu::Canvas c(4, 2);
  BitBlt(c.dc, 0, 0, 4, 2, dc, 0, 0, SRCCOPY);
  const uint32_t want[8] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x000000, 0xFFFFFF, 0x808080, 0x0A141E};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(c.at(i % 4, i / 4), want[i]) << i;
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(logo);

  HIMAGELIST list = ImageList_LoadBitmap(ProgramInstance(), u"STRIP", 8, 0, RGB(255, 255, 255));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(ImageList_GetImageCount(list), 3);
  int cx, cy;
  ImageList_GetIconSize(list, &cx, &cy);
  EXPECT_EQ(cx, 8);
  EXPECT_EQ(cy, 8);
  emu::Canvas canvas(8, 8);
  RECT all{0, 0, 8, 8};
  HBRUSH gray = CreateSolidBrush(RGB(50, 50, 50));
  FillRect(canvas.dc, &all, gray);
  ASSERT_TRUE(ImageList_Draw(list, 1, canvas.dc, 0, 0, ILD_TRANSPARENT));
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      bool inside = x >= 2 && x <= 5 && y >= 2 && y <= 5;
      ASSERT_EQ(canvas.at(x, y), inside ? 0x00A000u : 0x323232u) << x << "," << y;
    }
  }
  EXPECT_FALSE(ImageList_Draw(list, 3, canvas.dc, 0, 0, 0));
  // Without a mask colour every pixel is drawn.
  HIMAGELIST plain = ImageList_LoadBitmap(ProgramInstance(), u"STRIP", 8, 0, CLR_NONE);
  ImageList_Draw(plain, 0, canvas.dc, 0, 0, 0);
  EXPECT_EQ(canvas.at(0, 0), 0xFFFFFFu);
  EXPECT_TRUE(ImageList_Destroy(list));
  EXPECT_TRUE(ImageList_Destroy(plain));
  DeleteObject(gray);
}

TEST_F(Resources, RawDataByTypeAndTheSystemIcons) {
  HRSRC r = FindResource(ProgramInstance(), u"SHUTTER", u"BINDATA");
  ASSERT_NE(r, nullptr);
  auto* wave = static_cast<const uint8_t*>(LockResource(LoadResource(ProgramInstance(), r)));
  EXPECT_EQ(SizeofResource(ProgramInstance(), r), 144u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(wave), 4), "RIFF");
  EXPECT_TRUE(sndPlaySound(wave, SND_MEMORY | SND_ASYNC));
  EXPECT_EQ(FindResource(ProgramInstance(), u"SHUTTER", u"OTHER"), nullptr);
  EXPECT_NE(LoadIcon(ProgramInstance(), MAKEINTRESOURCE(101)), nullptr);
  SHFILEINFO info{};
  auto list = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfo(u"\\Windows", 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(info.iIcon, kShellIconFolder);
  SHGetFileInfo(u"\\My Documents\\a.FX3", 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
  EXPECT_EQ(info.iIcon, kShellIconImage);
  SHGetFileInfo(u"\\readme.txt", 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
  EXPECT_EQ(info.iIcon, kShellIconFile);
  EXPECT_EQ(ImageList_GetImageCount(list), 3);
  EXPECT_FALSE(ImageList_Destroy(list));  // the system's own list stays
}

TEST(ProjectResources, EveryFileParses) {
  ASSERT_FALSE(ProjectResources().empty());
  for (const ResourceFile& f : ProjectResources()) {
    std::string path = f.path;
    std::string error;
    if (path == "strings.txt") {
      std::map<UINT, std::u16string> table;
      EXPECT_TRUE(internal::ParseStringTable(f, &table, &error)) << path << ": " << error;
    } else if (path.rfind("dialogs/", 0) == 0) {
      internal::DialogTemplate t;
      EXPECT_TRUE(internal::ParseDialog(f, &t, &error)) << path << ": " << error;
    } else if (path.rfind("bitmaps/", 0) == 0 || path.rfind("icons/", 0) == 0) {
      internal::Picture p;
      EXPECT_TRUE(internal::DecodePng(f.data, f.size, &p)) << path;
    }
  }
}

TEST(ProjectResources, MenusParse) {
  emu::TempFolder folder;
  EmulatorConfig config;
  config.root = folder.path();
  config.secondInstanceService = false;
  std::string error;
  ASSERT_TRUE(StartEmulator(config, &error));
  SetProgramResources(ProjectResources());  // menus take pop-ups from each other
  for (const ResourceFile& f : ProjectResources()) {
    if (std::string(f.path).rfind("menus/", 0) != 0) continue;
    HMENU m = nullptr;
    EXPECT_TRUE(internal::ParseMenu(f, &m, &error)) << f.path << ": " << error;
    DestroyMenu(m);
  }
  SetProgramResources({});
  StopEmulator();
}

}  // namespace
