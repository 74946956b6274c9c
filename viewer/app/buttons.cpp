// Hardware buttons and toolbar slots: what each stands for.  Buttons come
// as hot keys (0x86..0xD6, registered with modifier 8) or as key presses;
// the button's place in the model's ButtonLayout picks its byte of
// MainKeys or FullscreenKeys, a FunctionCode.
#include <algorithm>

#include "viewer/app/functions.h"
#include "viewer/app/main_window.h"
#include "viewer/app/state.h"
#include "viewer/settings/settings.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr int kFirstButtonKey = 0x86;
constexpr int kLastButtonKey = 0xD6;

// Input for the main window is set aside while a dialog is up, a video
// plays or an animation runs.
bool Busy() { return gShared.videoPlaying || gShared.animating; }

bool IsThumbnailWindow(HWND hwnd) {
  WCHAR name[32] = {};
  return hwnd && GetClassName(hwnd, name, 32) > 0 && std::u16string(name) == u"ZLTHUMBVIEW";
}

}  // namespace

void RegisterButtonKeys(HWND hwnd) {
  for (int key = kFirstButtonKey; key <= kLastButtonKey; ++key)
    RegisterHotKey(hwnd, key, MOD_WIN, static_cast<UINT>(key));
}

void UnregisterButtonKeys(HWND hwnd) {
  for (int key = kFirstButtonKey; key <= kLastButtonKey; ++key) UnregisterHotKey(hwnd, key);
}

int CommandForKey(int key, bool fullScreen) {
  const ButtonLayout& layout = gDevice.buttons;
  for (int i = 0; i < layout.count && layout.buttons && i < static_cast<int>(kKeyBlockSize); ++i) {
    if (layout.buttons[i].key != key) continue;
    const auto& keys = fullScreen ? gSettings.fullscreenKeys : gSettings.mainKeys;
    return CommandOfFunction(keys[static_cast<size_t>(i)]);
  }
  return 0;
}

int ToolbarSlotAt(int x) {
  if (x < 0 || x / kToolbarButtonWidth >= gApp.buttonsPerRow) return -1;
  const int slot = gApp.currentRow * gApp.buttonsPerRow + x / kToolbarButtonWidth;
  return slot < kToolbarSlots ? slot : -1;
}

int ToolbarCodeAt(int slot) {
  const int code = slot >= 0 && slot < kToolbarSlots ? gSettings.toolBars[static_cast<size_t>(slot)] : kUndefinedFunction;
  return code < kFunctionCount ? code : kUndefinedFunction;
}

int ToolbarCommandAt(int x) {
  const int slot = ToolbarSlotAt(x);
  return slot < 0 ? 0 : CommandOfFunction(ToolbarCodeAt(slot));
}

void OnKeyDown(HWND hwnd, WPARAM key) {
  if (Busy()) return;
  if (int command = CommandForKey(LOWORD(key), gView.fullScreen))
    PostMessage(hwnd, WM_COMMAND, static_cast<WPARAM>(command), 0);
}

void OnHotKey(HWND hwnd, WPARAM id, LPARAM lParam) {
  if (gView.dialogOpen || Busy()) return;
  HWND front = GetForegroundWindow();
  if (front != hwnd && IsThumbnailWindow(front)) {
    PostMessage(front, WM_KEYDOWN, id, lParam);
    return;
  }
  OnKeyDown(hwnd, id);
}

}  // namespace zelmo
