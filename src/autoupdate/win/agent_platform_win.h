// The agent cycle's platform on Win32: the stub window, WinINet, the stub's message boxes and
// inform dialog, processes by full path, and the setup driver.
#pragma once

namespace zv {

// Installs the platform and with it the process-wide cycle the agent's timer runs.
void InstallWin32AgentPlatform();

class AgentPlatform;
// The Win32 platform itself (tests drive a cycle of their own over it).
AgentPlatform& Win32AgentPlatform();

}  // namespace zv
