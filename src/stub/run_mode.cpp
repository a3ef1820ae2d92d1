#include "stub/run_mode.h"

#include "utils/text.h"

namespace zv {

constexpr size_t kMaxClassNameLength = 255;  // Windows refuses longer class names

std::string StubClassName(bool isAgent, const std::string& exePath) {
    std::string name = isAgent ? ".AutoUpdate." + FileBaseName(exePath, false) : exePath;
    // Without its class the stub would have no window and run nothing. A path that long keeps
    // its end, where setup files differ.
    if (name.size() > kMaxClassNameLength) name.erase(0, name.size() - kMaxClassNameLength);
    return name;
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
