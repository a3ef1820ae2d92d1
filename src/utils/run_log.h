// Run log: one timestamped line per step of an auto-update agent, appended to X_<name>.log beside
// the executable. Lines are formatted here; the thread id and the append go through seams.
#pragma once
#include <cstdint>
#include <string>

namespace zv {

constexpr const char* kDefaultRunLogIndent = "   ";

// Off at start; the entry switches it on for agents whose package asks for the log.
void SetRunLogEnabled(bool enabled);
bool RunLogEnabled();

void SetRunLogIndent(const std::string& text);
std::string RunLogIndent();

// The log path for an executable: its folder, "X_" (unless the name already starts with it,
// case-sensitively) and its name with the extension replaced by ".log".
std::string RunLogFileNameFor(const std::string& exePath);
// RunLogFileNameFor the running executable, computed once.
std::string RunLogFileName();

// "dd/mm/yy HH:NN:SS" (locale separators), a blank, the thread id right-aligned in 5 columns,
// the indent, the message. now is a day count since 1899-12-30.
std::string FormatRunLogLine(double now, uint32_t threadId, const std::string& indent,
                             const std::string& message);

// Appends one line (plus CR LF) when the log is enabled; a line that cannot be written is lost.
void WriteRunLog(const std::string& message);
// The same for a fixed text: its string is made here, not at each of the many callers.
void WriteRunLog(const char* message);

// The entry's opening lines: the log switch, the agent copy's " X " indent, two empty lines,
// the start line, the command line and the agent's version.
void StartRunLog(bool enabled, bool isAgentCopy, const std::string& exePath,
                 const std::string& commandLine, const std::string& agentVersion);
// The entry's closing lines.
void EndRunLog(const std::string& exePath);

// Back to the state at process start (tests).
void ResetRunLog();

}  // namespace zv
