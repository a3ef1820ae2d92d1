#include "stub/run_mode.h"

#include "utils/text.h"

namespace zv {

std::string StubClassName(bool isAgent, const std::string& exePath) {
    if (isAgent) return ".AutoUpdate." + FileBaseName(exePath, false);
    return exePath;
}

std::string AgentCopyClassName(const std::string& agentFileName) {
    return ".AutoUpdate.X_" + FileBaseName(agentFileName, false);
}

bool ThisIsPlainAutoUpdateExe(const RunModeInput& in) {
    return in.isAgent && SameTextTrim(ExtractFileName(in.exePath), in.agentFileName);
}

bool ThisIsXAutoUpdateExe(const RunModeInput& in) {
    // An empty agent name must never match: "X_" alone is not a copy of anything.
    return in.isAgent && !Trim(in.agentFileName).empty() &&
           SameTextTrim(ExtractFileName(in.exePath), "X_" + Trim(in.agentFileName));
}

bool IsSpanLevel1(const RunModeInput& in) { return in.spannedPackage && in.spanLevel == 1; }

RunMode ChooseRunMode(const RunModeInput& in) {
    if (ThisIsPlainAutoUpdateExe(in)) return RunMode::PlainAgent;
    if (ThisIsXAutoUpdateExe(in)) return RunMode::AgentCopy;
    if (IsSpanLevel1(in)) return RunMode::SpannedFirstRun;
    return RunMode::SetupStub;
}

const char* RunModeName(RunMode mode) {
    switch (mode) {
        case RunMode::PlainAgent: return "PlainAgent";
        case RunMode::AgentCopy: return "AgentCopy";
        case RunMode::SpannedFirstRun: return "SpannedFirstRun";
        case RunMode::SetupStub: return "SetupStub";
    }
    return "?";
}

}  // namespace zv
