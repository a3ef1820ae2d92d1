#include "utils/run_log.h"

#include "utils/files.h"
#include "utils/platform.h"
#include "utils/text.h"

namespace zv {
namespace {

struct RunLogState {
    bool enabled = false;
    std::string indent = kDefaultRunLogIndent;
    std::string fileName;
};

RunLogState& State() {
    static RunLogState state;
    return state;
}

}  // namespace

void SetRunLogEnabled(bool enabled) { State().enabled = enabled; }
bool RunLogEnabled() { return State().enabled; }
void SetRunLogIndent(const std::string& text) { State().indent = text; }
std::string RunLogIndent() { return State().indent; }

void ResetRunLog() {
    State() = RunLogState();
}

std::string RunLogFileNameFor(const std::string& exePath) {
    std::string name = FileBaseName(exePath);
    if (name.compare(0, 2, "X_") != 0) name = "X_" + name;
    const std::string folder = ExtractFilePath(exePath);
    return (folder.empty() ? "" : NormalizeDir(folder, true)) + name + ".log";
}

std::string RunLogFileName() {
    std::string& cached = State().fileName;
    if (cached.empty()) cached = RunLogFileNameFor(GetExePath(false));
    return cached;
}

std::string FormatRunLogLine(double now, uint32_t threadId, const std::string& indent,
                             const std::string& message) {
    return TimeStampText(now, false) + " " + PadLeft(IntText(threadId), 5, ' ') + indent + message;
}

void WriteRunLog(const char* message) { WriteRunLog(std::string(message)); }

void WriteRunLog(const std::string& message) {
    RunLogState& s = State();
    if (!s.enabled) return;
    const std::string line =
        FormatRunLogLine(Host().now(), Host().threadId(), s.indent, message) + "\r\n";
    AppendTextToFile(RunLogFileName(), line, false, 0);
}

void StartRunLog(bool enabled, bool isAgentCopy, const std::string& exePath,
                 const std::string& commandLine, const std::string& agentVersion) {
    SetRunLogEnabled(enabled);
    if (isAgentCopy) SetRunLogIndent(" X ");
    WriteRunLog("");
    WriteRunLog("");
    WriteRunLog("=== START === " + exePath);
    WriteRunLog("CommandLine=" + commandLine);
    WriteRunLog("Agent Version=" + agentVersion);
}

void EndRunLog(const std::string& exePath) {
    WriteRunLog("=== EXIT === " + exePath);
    WriteRunLog("");
}

}  // namespace zv
