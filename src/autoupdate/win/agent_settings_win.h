// Connects the agent's settings to the system: the update description files answer agent
// commands 4, 5 and 8..15, and the size test may ask the update server.
#pragma once
#include "utils/platform.h"

namespace zv {

// The platform's network checks: WinINet's connection state and an HTTP HEAD's length.
void FillWin32Network(Platform& p);

// Makes the update description files answer the agent commands. Call once at start-up.
void InstallWin32AgentSettings();

}  // namespace zv
