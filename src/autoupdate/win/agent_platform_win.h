// The agent cycle's platform on Win32: WinINet, the stub's message boxes and inform dialog,
// processes by full path, and what the program above hands in (the stub window and the setup
// driver).
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "utils/ui_sink.h"

namespace zv {

// What the platform and the cycle take from the program that runs the agent. Every member may be
// null: no window, no client, no setup driver (a setup then fails).
struct AgentWindowSide {
    // The cycle's sink: status text, progress, the window's visibility, the abort flag. The
    // cycle hands it on to its downloads and to runSetup; null reports nowhere.
    UiSink* ui = nullptr;
    // The agent's window: owner of the inform dialog, destroyed to end the agent. Asked for at
    // the time of use: the window is made after the platform is installed.
    HWND (*window)() = nullptr;
    void (*notifyClient)(int32_t code, int32_t value) = nullptr;
    bool (*runSetup)(UiSink& ui, const std::string& destination, const std::string& packageFile,
                     const std::string& agentName, const std::string& argumentTail,
                     bool foreground) = nullptr;
};

// Installs the platform and with it the process-wide cycle the agent's timer runs, reporting to
// side.ui.
void InstallWin32AgentPlatform(const AgentWindowSide& side);

class AgentPlatform;
// The Win32 platform itself (tests drive a cycle of their own over it, with a sink of their
// own). Until it is installed it has no window side.
AgentPlatform& Win32AgentPlatform();

}  // namespace zv
