// The setup dispatcher run by the stub window's first tick, and the spanned first run: a stub
// on removable disks copies itself into the setup folder and restarts from there, so that the
// disks can be changed.
#pragma once
#include <windows.h>

#include <string>

namespace zv {

// "/SpanCdLvl=" is 2: running as the temp copy (the package flag is not consulted).
bool IsSpanLevel2();

// Copies the stub to SetupFolder()\Y_<name> and starts it hidden with "/SpanCdLvl=2", the first
// volume and the origin. False (StubExitCode 3) when the copy or the start failed.
bool RelaunchFromTemp();

// HKCU\Software\Velmorra\Zolvex\SpanDisk "ForcePrompt" is "1": ask for every further disk.
bool ForcePrompt();

// Writes the web stub's agent copy into the setup folder; false when it could not.
bool WriteWebStubAgentCopy(const std::string& agentName);

// The setup tick: stops the window's timer, runs the web-stub flow or RunSetup on the stub
// window's UI sink, removes the setup folder and ends the message loop.
void DispatchSetup(HWND window);

}  // namespace zv
