// Puts the Win32 answers behind the platform seam (utils/platform.h), every member at once. The
// first call of a Windows program (the stub, the test programs, the benchmarks).
#pragma once

namespace zv {

struct Platform;

// Every member of the platform, from the Win32 layer.
void FillWin32Platform(Platform& p);
void InstallWin32Platform();

}  // namespace zv
