// The main view: the page shown in the image area through the view
// bitmap, its palette, the view modes and zooming, and the zoom window that
// follows it.  Everything here runs on the user-interface thread.
#pragma once

#include <cstdint>

#include "imaging/core/page.h"
#include "platform/ce.h"
#include "viewer/app/view_math.h"

namespace zelmo {

// Whether a page is loaded (its data present).
bool ImageLoaded();

// An owned, top-down uncompressed page of `depth` bits to render into, with
// a copy of `palette` (768 bytes) at 4 and 8 bits when one is given; false
// (and no data) when its size cannot be held or allocated.
bool MakeWorkPage(quillon::PageRecord* work, int32_t width, int32_t height, int depth, const uint8_t* palette);
// The view rotation the renderer applies: bilevel pages are turned in
// their data, so they are shown at 0.
int DisplayedRotation();
// The image area and the page as displayed; where the view stands.
ViewFrame CurrentFrame();
ViewPosition CurrentPosition();
// Takes a new position: scroll and scale into the view's request, the
// margins recomputed for it.
void ApplyPosition(ViewPosition position);
// Where the view bitmap lands in the window: the page's part of the area.
ce::RECT ImageRectangle();

// compute-view and set-mode for a view-mode command (only with an image).
void ComputeView(int mode);
void SetMode(int mode);
// The view mode to come back to: the snap mode, else DefView.
int PreferredMode();
// One zoom step (beeps without an image), rendered with a repaint.
void ZoomStepView(bool out);
// Zooms to a window rectangle, rendered with a repaint.
void ZoomToWindowRectangle(const ce::RECT& rect);

// The logical palette of the current page, and the view bitmap made for it
// at the size of the image area.
void RebuildPalette();
void RebuildViewBitmap();
// Renders the page into the view bitmap; then repaints the window
// (`repaint`) or draws the bitmap at once, and refreshes the zoom window.
void RenderView(bool repaint);
// Draws the view bitmap into the window now.
void DrawViewNow();
// mode := PreferredMode(); compute-view, set-mode, render with repaint,
// refresh the zoom window and the strip.
void ReView();
// Repaints the combo view's strip band.
void RefreshStrip();

// The zoom window.
void ToggleZoomWindow();
// After a redraw (rebuild false) or a page change (rebuild true); with
// `refreshThumbnail` the strip is repainted too.
void UpdateZoomWindow(bool rebuild, bool refreshThumbnail);
// Destroys the zoom window if it is open.
void CloseZoomWindow();

}  // namespace zelmo
