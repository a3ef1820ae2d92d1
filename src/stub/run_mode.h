// Which program this executable is for this start: plain agent, agent copy, spanned first run
// or setup stub. Decided once from the package and the running file's name.
#pragma once
#include <string>

namespace zv {

enum class RunMode { PlainAgent, AgentCopy, SpannedFirstRun, SetupStub };

struct RunModeInput {
    bool isAgent = false;            // package's IsAgent byte
    std::string agentFileName;       // header item AgentFileName
    std::string exePath;             // full path of the running executable
    bool spannedPackage = false;     // package flag SpannedPackage
    long long spanLevel = 1;         // "/SpanCdLvl=" (default 1)
};

// ".AutoUpdate." + running file name without its last extension for agent packages,
// otherwise the full executable path (one instance per setup file); at most the last 255
// characters of it.
std::string StubClassName(bool isAgent, const std::string& exePath);
// Class of the running agent copy: ".AutoUpdate.X_" + agent file name without its last extension.
std::string AgentCopyClassName(const std::string& agentFileName);

bool ThisIsPlainAutoUpdateExe(const RunModeInput& in);
bool ThisIsXAutoUpdateExe(const RunModeInput& in);
bool IsSpanLevel1(const RunModeInput& in);

RunMode ChooseRunMode(const RunModeInput& in);
const char* RunModeName(RunMode mode);

}  // namespace zv
