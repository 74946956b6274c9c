// Until the thumbnail view and the zoom window exist, their windows behave
// as plain windows; each of those units replaces its procedure here with
// its own in its own file.
#include "viewer/app/windows.h"

namespace zelmo {

using namespace ce;

LRESULT ThumbViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

LRESULT ZoomWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace zelmo
