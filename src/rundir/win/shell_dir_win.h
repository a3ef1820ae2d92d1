// The system's answers behind the special folders and path macros (rundir/shell_dir.h).
#pragma once

namespace zv {

// Call once at start-up, after InstallWin32Host and InstallWin32UtilityHooks.
void InstallWin32RunDirs();

}  // namespace zv
