// Windows of the program's own classes.
#pragma once

#include <windows.h>

#include <string>

#include "win/handle.h"

namespace zarn {

// Registers windowClass (one that this program registered before will do) and creates a window
// of it. Either failure throws TFailure with the window message and the system's text.
TWindowHandle CreateClassWindow(const WNDCLASSEXW& windowClass, DWORD exStyle, const std::u16string& text, DWORD style,
                                RECT frame, HWND owner);

}  // namespace zarn
