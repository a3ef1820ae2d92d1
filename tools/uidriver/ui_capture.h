// Screenshots of a window, as seen on the screen, written as BMP or PNG.
#pragma once
#include <windows.h>

#include <string>

namespace uidriver {

// Writes the window's screen rectangle (frame included) to path; ".png" gives PNG, anything
// else BMP. Returns false with a reason in error.
bool CaptureWindow(HWND wnd, const std::string& path, std::string& error);

}  // namespace uidriver
