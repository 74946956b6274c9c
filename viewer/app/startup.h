// The program's entry: start-up in its fixed order, the single-instance
// hand-over, the message loop and shutdown.
#pragma once

#include <string>

#include "platform/ce.h"

namespace zelmo {

// The platform's entry point.  Returns the quit message's code, or 0 on
// every early end.
int WinMain(ce::HINSTANCE instance, ce::HINSTANCE previous, ce::LPWSTR commandLine, int show);

// The command line as a file path: surrounding blanks and quotes removed.
std::u16string CommandLinePath(const char16_t* commandLine);

// Registers the five window classes.
void RegisterWindowClasses();

// Shows the start-up picture until it is dismissed or its time is up.
void ShowSplash();

// The first application key found held down (0xC0..0xC7) and still down
// when asked again; 0 when none.
int HeldApplicationKey();

}  // namespace zelmo
