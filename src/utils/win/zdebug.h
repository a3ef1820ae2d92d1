// Trace sink: sends each chunk to the debug viewer (window class ".ZDebug.", registered message
// ".Z_DebugMsg.", text in a global atom) and, in file modes, appends it to the trace file.
#pragma once
#include <string>

namespace zv {

constexpr const char* kDebugViewerClass = ".ZDebug.";
constexpr const char* kDebugMessageName = ".Z_DebugMsg.";

// Registers the message and attaches TraceOut() to SendDebugText. Idempotent.
void InstallTraceSink();
void SendDebugText(const std::string& text);
bool AppendDebugFile(const std::string& path, const std::string& text);
unsigned DebugMessageId();

}  // namespace zv
