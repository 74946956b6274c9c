// The window procedures of the viewer's five window classes.
#pragma once

#include "platform/ce.h"

namespace zelmo {

ce::LRESULT MainWindowProc(ce::HWND hwnd, ce::UINT msg, ce::WPARAM wParam, ce::LPARAM lParam);
ce::LRESULT ThumbViewProc(ce::HWND hwnd, ce::UINT msg, ce::WPARAM wParam, ce::LPARAM lParam);
ce::LRESULT ZoomWindowProc(ce::HWND hwnd, ce::UINT msg, ce::WPARAM wParam, ce::LPARAM lParam);
ce::LRESULT SlideWindowProc(ce::HWND hwnd, ce::UINT msg, ce::WPARAM wParam, ce::LPARAM lParam);
ce::LRESULT SplashWindowProc(ce::HWND hwnd, ce::UINT msg, ce::WPARAM wParam, ce::LPARAM lParam);

}  // namespace zelmo
