// The viewer's resources against its code: every dialog template holds the
// controls the viewer names and fits its screens; every command of the main
// window and of the thumbnail view is on a menu, under its exact label.
#include <map>
#include <set>

#include "platform/kernel/internal.h"
#include "support/dialog_check.h"
#include "support/emu.h"
#include "viewer/app/functions.h"
#include "viewer/dialogs/dialog_table.h"

std::span<const ce::ResourceFile> ViewerResources();

using namespace ce;

namespace {

TEST(ViewerResources, DialogTemplatesHoldEveryControlTheViewerNames) {
  std::vector<emu::DialogUse> uses;
  for (const zelmo::DialogUse& d : zelmo::DialogsInUse())
    uses.push_back({internal::ToUtf8(d.resource), d.wideTwin ? internal::ToUtf8(d.wideTwin) : "",
                    std::vector<int>(d.controls.begin(), d.controls.end())});
  EXPECT_EQ(emu::CheckDialogTemplates(ViewerResources(), uses), std::vector<std::string>{});
}

class ViewerMenus : public emu::Device {
 protected:
  void SetUp() override {
    emu::Device::SetUp();
    Start("ipaq3600");
    SetProgramResources(ViewerResources());
  }
  void TearDown() override {
    SetProgramResources({});
    emu::Device::TearDown();
  }
  // Every command below `menu` with its label, and the pop-ups' titles.
  static void Walk(HMENU menu, std::map<UINT, std::u16string>* items, std::vector<std::u16string>* popups) {
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      WCHAR text[64] = {};
      GetMenuString(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
      if (HMENU sub = GetSubMenu(menu, i)) {
        popups->push_back(text);
        Walk(sub, items, popups);
      } else if (!(GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR)) {
        (*items)[GetMenuItemID(menu, i)] = text;
      }
    }
  }
};

std::u16string String(UINT id) {
  WCHAR text[128] = {};
  LoadString(ProgramInstance(), id, text, 128);
  return text;
}

TEST_F(ViewerMenus, EveryCommandIsReachableUnderItsLabel) {
  // The main window's commands: the function table less "Undefined" and
  // "Toggle Selection" (the thumbnail view's), and those only menus reach.
  std::set<UINT> mainCommands = {40036, 40103, 40105, 40106, 40107};
  for (uint16_t command : zelmo::kFunctionTable) {
    if (command != 40116 && command != 40055) mainCommands.insert(command);
  }
  // Labels are the string table's command names, but for these.
  const std::map<UINT, std::u16string> kOwnLabels = {
      {40036, u"Scale to Gray"}, {40103, u"Receive via IR..."}, {40105, u"Sort By Name"},
      {40106, u"Sort By Date"}, {40107, u"Sort By Size"}};
  const std::vector<std::u16string> kPopups = {u"File", u"Page", u"View", u"Edit", u"Tools"};
  HMENU bar = LoadMenu(ProgramInstance(), u"RAVLO2");
  HMENU tool = LoadMenu(ProgramInstance(), MAKEINTRESOURCE(119));
  ASSERT_TRUE(bar && tool);
  WCHAR title[16] = {};
  GetMenuString(tool, 0, title, 16, MF_BYPOSITION);
  EXPECT_EQ(std::u16string(title), u"TOOL");
  for (HMENU menu : {bar, GetSubMenu(tool, 0)}) {
    std::map<UINT, std::u16string> items;
    std::vector<std::u16string> popups;
    Walk(menu, &items, &popups);
    EXPECT_EQ(popups, kPopups);
    for (UINT command : mainCommands) EXPECT_TRUE(items.count(command)) << command << " is on no menu";
    for (const auto& [command, label] : items) {
      auto own = kOwnLabels.find(command);
      EXPECT_EQ(label, own != kOwnLabels.end() ? own->second : String(command)) << command;
    }
  }
  DestroyMenu(bar);
  DestroyMenu(tool);
}

TEST_F(ViewerMenus, TheThumbnailViewsMenusHoldItsCommandsUnderItsLabels) {
  const std::map<UINT, std::u16string> kLabels = {
      {40005, u"Open"}, {40012, u"File Info..."}, {40085, u"First File"}, {40067, u"Previous File"},
      {40068, u"Next File"}, {40086, u"Last File"}, {40105, u"Name"}, {40106, u"Date"},
      {40107, u"Size"}, {40082, u"Copy..."}, {40076, u"Delete"}, {40084, u"Send via IR..."},
      {40103, u"Receive via IR..."}, {40097, u"Switch to EDIT mode"},
      {40098, u"Switch to VIEW mode"}, {40055, u"Toggle Selection"}, {40101, u"Select All"},
      {40102, u"De-Select All"}, {40045, u"To Main Window"}, {40011, u"Help"},
      {40006, u"Close Window"}};
  std::map<UINT, std::u16string> all;
  for (const char16_t* name : {u"THUMB_MENU", u"THUMB_MENU1"}) {
    HMENU menu = LoadMenu(ProgramInstance(), name);
    ASSERT_NE(menu, nullptr) << internal::ToUtf8(name);
    std::map<UINT, std::u16string> items;
    std::vector<std::u16string> popups;
    Walk(GetSubMenu(menu, 0), &items, &popups);
    EXPECT_EQ(popups, std::vector<std::u16string>{u"Sort By"});
    all.insert(items.begin(), items.end());
    for (const auto& [command, label] : items) {
      ASSERT_TRUE(kLabels.count(command)) << command << " is no command of the thumbnail view";
      EXPECT_EQ(label, kLabels.at(command));
    }
    DestroyMenu(menu);
  }
  EXPECT_EQ(all.size(), kLabels.size());  // every command on one of the two
}

}  // namespace
