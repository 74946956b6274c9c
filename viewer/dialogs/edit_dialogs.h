// The small dialogs of the editing and paging commands: "CROPDLG",
// "RESIZE", "ColorMod" and "PageBox", each centred over the main window,
// and the commands Crop..., Resize..., Modify Colors... and Go to page...
// that use them.
#pragma once

#include <cstdint>

#include "platform/ce.h"
#include "viewer/app/view_math.h"

namespace zelmo {

void CropCommand(ce::HWND hwnd);
void ResizeCommand(ce::HWND hwnd);
void ModifyColorsCommand(ce::HWND hwnd);
void GoToPageCommand(ce::HWND hwnd);

// A rectangle of page pixels, both corners included.
struct PageCorners {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};
// The page pixels under a region of the page as displayed turned by
// `rotation` (0, 90, 180, 270 clockwise) for a page of width x height.
PageCorners CornersOnPage(const PageRegion& shown, int rotation, int32_t width, int32_t height);
// The other side of a size kept in proportion when one side steps from
// `side` to `newSide`: other x newSide / side, at least 1.
int32_t KeepProportion(int64_t other, int64_t side, int64_t newSide);

}  // namespace zelmo
