// Finding and ending a program by the full path of its executable, for the agent's shut-down
// methods. Only a process whose image path can be read and equals the path (any case) is ever
// touched: a program that merely shares the file name is left alone.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zv {
namespace agent_programs {

std::vector<DWORD> ProcessIdsOf(const std::string& path);
bool IsRunning(const std::string& path);
// Posts message (wParam 15, lParam 255) to the main top-level window of every matching process.
bool PostToMainWindows(const std::string& path, UINT message);
bool Terminate(const std::string& path);
// Polls every 100 ms, pumping messages, until the program has ended or the time is up.
bool WaitEnd(const std::string& path, uint32_t timeoutMs);

}  // namespace agent_programs
}  // namespace zv
