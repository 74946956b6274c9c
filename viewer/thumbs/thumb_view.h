// The thumbnail window's state, kept on the user-interface thread.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/ce.h"
#include "viewer/thumbs/thumbnails.h"

namespace zelmo {

constexpr int kThumbViewMode = 0;
constexpr int kThumbEditMode = 1;

struct ThumbViewState {
  ce::HWND window = nullptr;
  int first = 0;  // first visible display position, a whole row
  int32_t current = -1;  // storage index of the current item
  int mode = kThumbViewMode;
  std::vector<uint8_t> selected;  // by storage index, one per listed file
  ce::HMENU menus[2] = {nullptr, nullptr};
  ce::HFONT font = nullptr;
  ThumbnailLayout layout{};
};
extern ThumbViewState gThumbView;

// The cache was replaced or freed: the selection follows its size, the
// view starts at its top, and both windows show what there is.
void ThumbnailListChanged();
// Display position of a storage index in the live list; -1 when unlisted.
int32_t DisplayPositionOf(int32_t storageIndex);
// The thumbnail window's commands (also for tests).
void ThumbViewCommand(ce::HWND hwnd, int command);
// Scrolls the window so that display position `position` is in sight.
void ShowThumbnailItem(ce::HWND hwnd, int position);

}  // namespace zelmo
