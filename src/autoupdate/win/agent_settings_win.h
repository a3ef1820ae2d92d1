// Connects the agent's settings to the system: the update description files answer agent
// commands 4, 5 and 8..15, and the size test may ask the update server.
#pragma once

namespace zv {

// Call once at start-up, after InstallWin32UtilityHooks.
void InstallWin32AgentSettings();

}  // namespace zv
