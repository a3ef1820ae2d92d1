// The Win32 answers for the running program behind the platform seam (utils/platform.h): command
// line, executable path, process id, message pump, clocks, ANSI upper-casing and the locale's
// date and time separators.
#pragma once
#include "utils/platform.h"

namespace zv {

void FillWin32Host(Platform& p);

}  // namespace zv
