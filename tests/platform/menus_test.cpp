// Menus as a script uses them: the viewer's menu bar dropped from the task
// bar, its tap-and-hold menu, a run-time pop-up taller than the screen, a
// greyed item, dismissal by a tap outside and the return-command mode.
#include "platform/kernel/internal.h"
#include "support/emu.h"
#include "support/scripted.h"

std::span<const ce::ResourceFile> ProjectResources();

using namespace ce;

namespace {

emu::Trace gTrace;

void Note(const std::string& line) {
  gTrace.Add(line);
  internal::LogEvent(line);
}

// Forty items, the fifth greyed; TPM_RETURNCMD.
UINT LongPopup(HWND hwnd, int x, int y) {
  HMENU menu = CreatePopupMenu();
  for (int i = 1; i <= 40; ++i) {
    std::u16string text = u"Item " + internal::ToU16(std::to_string(i));
    AppendMenu(menu, i == 5 ? MF_GRAYED : MF_STRING, static_cast<uintptr_t>(1000 + i), text.c_str());
  }
  UINT chosen = static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD, x, y, 0, hwnd, nullptr));
  DestroyMenu(menu);
  return chosen;
}

LRESULT MenuWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  static HMENU bar = nullptr, tool = nullptr;
  switch (msg) {
    case WM_CREATE:
      bar = LoadMenu(ProgramInstance(), u"RAVLO2");
      tool = LoadMenu(ProgramInstance(), MAKEINTRESOURCE(119));
      CeSetMenuBar(hwnd, bar);
      return 0;
    case WM_INITMENUPOPUP: {
      auto menu = reinterpret_cast<HMENU>(wParam);
      WCHAR first[64] = {};
      GetMenuString(menu, 0, first, 64, MF_BYPOSITION);
      Note("initmenu " + internal::ToUtf8(first) + " at " + std::to_string(LOWORD(lParam)));
      CheckMenuItem(menu, 40036, MF_BYCOMMAND | MF_CHECKED);
      return 0;
    }
    case WM_COMMAND: Note("command " + std::to_string(LOWORD(wParam))); return 0;
    case WM_LBUTTONDOWN: {
      POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      ClientToScreen(hwnd, &p);
      if (p.x < 120) TrackPopupMenu(GetSubMenu(tool, 0), TPM_CENTERALIGN, p.x, p.y, 0, hwnd, nullptr);
      else Note("returned " + std::to_string(LongPopup(hwnd, p.x, p.y)));
      return 0;
    }
    case WM_DESTROY:
      CeSetMenuBar(hwnd, nullptr);
      DestroyMenu(bar);
      DestroyMenu(tool);
      PostQuitMessage(0);
      return 0;
    default: return DefWindowProc(hwnd, msg, wParam, lParam);
  }
}

int MenuProgram(HINSTANCE, HINSTANCE, LPWSTR, int) {
  WNDCLASS wc{};
  wc.lpfnWndProc = MenuWindowProc;
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = u"MENUTEST";
  RegisterClass(&wc);
  CreateWindow(u"MENUTEST", u"Menus", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
               CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
  MSG msg;
  while (GetMessage(&msg, nullptr, 0, 0)) {
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
  return 0;
}

TEST(Menus, BarPopupsScrollingGreyedItemsDismissalAndReturnedCommands) {
  emu::TempFolder folder;
  SetProgramResources(ProjectResources());
  ASSERT_EQ(emu::RunScripted(MenuProgram, "ipaq3600", "menus.txt", folder.path() + "/device"), 0);
  SetProgramResources({});
  EXPECT_EQ(gTrace.Lines(), (std::vector<std::string>{
      // The bar, then its View pop-up (the third), WM_INITMENUPOPUP first.
      "initmenu File at 0", "initmenu 100% View at 2", "command 40034",
      // The tap-and-hold menu, and File, the first of its sub-menus, ninth
      // of its items.
      "initmenu Zoom In at 0", "initmenu Open... at 9", "command 40005",
      // Again, to the check set on opening.
      "initmenu File at 0", "initmenu 100% View at 2", "command 40036",
      // Return-command mode, scrolled; a greyed item; a tap outside.
      "initmenu Item 1 at 0", "returned 1038", "initmenu Item 1 at 0", "returned 0"}));
}

}  // namespace
