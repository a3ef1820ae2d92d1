// The agent's side of the stub: the transient copy ("X_" + name) that the plain agent starts and
// steers, and the copy's timer tick.
#pragma once
#include <windows.h>

namespace zv {

extern bool ThisIs_AutoUpdateProg;

// Plain agent: copies itself to "X_" + its name and starts the copy hidden.
void CreateAndRun_X_Exe(bool wasRunning);
// Plain agent: forwards /STOP=, /WM_MSG= and /TEST= to the running copy as window messages.
bool HandleParamOK(bool wasRunning);
// One tick of the agent copy's one-second timer.
void AgentTimerTick(HWND window);
// Clean-up after the stub window's loop has ended.
void AfterStubLoop();

}  // namespace zv
