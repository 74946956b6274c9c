// The main window: its creation, geometry, painting and life cycle, the
// command dispatch, the pen, the hardware buttons and the clipboard.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/core/page.h"
#include "platform/ce.h"
#include "viewer/app/view_math.h"

namespace zelmo {

// Creates the main window with everything it draws with; false on failure.
bool CreateMainWindow(int show);

// Thumbnail width, height and thumbnails per row from ThumbSize and
// ThumbShape.
void ComputeThumbnailSize();
// The cell thumbnails are drawn through: thumbnail size at the display's
// depth (5-6-5 at 16 bits, palette indexes below), made again for a new
// thumbnail size.
void CreateThumbnailCell();
// The image area, strip and toolbar laid out for a client area.
void LayOut(int width, int height);
// Top of the toolbar band in the window's client area.
int ToolbarTop();
// Below it a tap is on the toolbar (the strip lies above it in combo view).
int LowerBoundary();

// Painting: the image area, the strip's band and the toolbar row.
void PaintMainWindow(ce::HWND hwnd);

// WM_COMMAND: one handler per command.
void OnCommand(ce::HWND hwnd, int command);
// The Glimpse-mode and disabled-thumbnail questions before thumbnails are
// shown; false when the user keeps Glimpse mode.
bool AskForThumbnails(ce::HWND hwnd);
// "Play / Pause": a multi-frame image animates, or stops.
void PlayPause();
// WM_TIMER 2: the next frame of a running animation.
void AnimationStep(ce::HWND hwnd);
// Shows page `number` of the open file in view mode `mode` (0: the snap
// mode or DefView); compose draws it as an animation frame.
void ShowPage(int number, bool compose, int mode);

// The pen: WM_LBUTTONDOWN, and the tap-and-hold actions (also
// WM_RBUTTONDOWN).
void OnPenDown(ce::HWND hwnd, int x, int y);
void OnHold(ce::HWND hwnd, int x, int y);
// Shows `text` in a yellow box above `at` (client coordinates) until the
// pen is lifted, and puts the screen under it back.
void ShowLabel(ce::HWND hwnd, const std::u16string& text, ce::POINT at);
// Whether the pen is down now; the pen messages waiting for `hwnd` taken:
// the last point moved to (`*moved` set) and whether the pen came up.
bool PenIsDown();
bool TakePenMessages(ce::HWND hwnd, ce::POINT* point, bool* moved);
// The rectangle the pen's next stroke draws over the image area (window
// coordinates); empty when the window closes first.
ce::RECT SelectRectangle(ce::HWND hwnd);

// Hardware buttons and the toolbar.
void RegisterButtonKeys(ce::HWND hwnd);
void UnregisterButtonKeys(ce::HWND hwnd);
void OnKeyDown(ce::HWND hwnd, ce::WPARAM key);
void OnHotKey(ce::HWND hwnd, ce::WPARAM id, ce::LPARAM lParam);
// The command of a hardware key in the main window or in full-screen view;
// 0 for a key not in the model's buttons.
int CommandForKey(int key, bool fullScreen);
// The toolbar slot under x on the current row (-1 right of the last), its
// FunctionCode (codes beyond the table act as "Undefined") and command (0
// for none).
int ToolbarSlotAt(int x);
int ToolbarCodeAt(int slot);
int ToolbarCommandAt(int x);

// The clipboard: a packed device-independent bitmap of a page region as
// displayed at 100 %.  Empty when the region cannot be rendered.
std::vector<uint8_t> MakeClipboardBlock(const quillon::PageRecord& page, const PageRegion& region, int rotation);
// Copies the page under a window rectangle; nothing for one outside it.
void CopyRectangleToClipboard(ce::HWND hwnd, const ce::RECT& rect);

}  // namespace zelmo
