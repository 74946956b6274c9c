// Until the thumbnail view exists, its window behaves as a plain window;
// the thumbnail view replaces this procedure with its own in its own file.
#include "viewer/app/windows.h"

namespace zelmo {

using namespace ce;

LRESULT ThumbViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace zelmo
