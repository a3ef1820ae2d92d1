// Puts the Win32 answers behind the platform seam (utils/platform.h), every member at once. The
// first call of a Windows program (the stub, the test programs, the benchmarks).
#pragma once

namespace zv {

void InstallWin32Platform();

}  // namespace zv
