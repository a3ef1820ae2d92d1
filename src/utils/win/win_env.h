// Installs the Win32 providers behind the portable core's seams: command line, executable path,
// message pump, clocks, ANSI upper-casing, locale separators, files and the trace sink.
#pragma once

namespace zv {

void InstallWin32Host();

}  // namespace zv
