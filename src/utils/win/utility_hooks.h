// Connects the portable utilities to the system: file dates and shared appends, the run log's
// thread id, private-profile ini files and the registry. Call once at start-up, after
// InstallWin32Host.
#pragma once

namespace zv {

void InstallWin32UtilityHooks();

}  // namespace zv
