// Other programs on this Windows: the searches of utils/processes.h against the running system,
// and running a console program with its output captured. Every library and program used here
// is taken from the system folder by full path.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "utils/processes.h"

namespace zv {

// The running system as the searches see it.
ProcessSystem& WindowsProcesses();

bool IsProgramRunning(const std::string& path);
bool WaitProgramEnd(const std::string& path, uint32_t timeoutMs);
bool CloseProgram(const std::string& path, bool fullPathOnly, uint32_t waitMs);
bool QuitProgram(const std::string& path, bool fullPathOnly);
bool TerminateProgram(const std::string& path, bool fullPathOnly);
bool PostProcessMessage(const std::string& path, bool fullPathOnly, UINT message, WPARAM wParam,
                        LPARAM lParam);
HWND FindMainWindow(const std::string& path, bool fullPathOnly);
void WaitWindowGone(const std::string& className, const std::string& title);
std::string GetProcessList(bool fullPaths, bool withPids);

// Receives each piece of output as it arrives; setting abort ends the program (exit code 255).
using PipeOutputCallback = void (*)(void* userData, const std::string& chunk, bool& abort);

// Runs program with parameters, its standard output and error captured (converted from the OEM
// to the ANSI code page), and waits for its end while window messages are dispatched. True when
// it ran and ended with exit code 0. A program that does not start gives exit code 21 and an
// error text that begins with the command line and " --- ". No handle outlives the call.
// A program still running after timeoutMs (0: no limit) is ended as an abort ends it.
bool RunWithPipes(const std::string& program, const std::string& parameters, int showCommand,
                  PipeOutputCallback callback, void* userData, uint32_t extraWaitMs,
                  std::string& errorText, std::string& outputText, uint32_t& exitCode,
                  uint32_t timeoutMs = 0);

}  // namespace zv
