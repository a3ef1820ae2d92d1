#include <gtest/gtest.h>

#include "stub/run_mode.h"

namespace zv {
namespace {

struct ModeCase {
    bool isAgent;
    const char* agentName;
    const char* exePath;
    bool spanned;
    long long spanLevel;
    RunMode expected;
};

TEST(RunMode, FirstMatchingRowWins) {
    const ModeCase cases[] = {
        {true, "Agent.exe", "C:\\App\\Agent.exe", false, 1, RunMode::PlainAgent},
        {true, "Agent.exe", "C:\\App\\X_Agent.exe", false, 1, RunMode::AgentCopy},
        {true, " Agent.exe ", "C:\\App\\x_agent.EXE", false, 1, RunMode::AgentCopy},
        {true, "Agent.exe", "C:\\App\\AGENT.EXE", true, 1, RunMode::PlainAgent},
        // An agent package under another name falls to the setup rows.
        {true, "Agent.exe", "C:\\App\\Other.exe", false, 1, RunMode::SetupStub},
        {true, "", "C:\\App\\X_", false, 1, RunMode::SetupStub},
        // Without the agent byte the names do not matter.
        {false, "Agent.exe", "C:\\App\\Agent.exe", false, 1, RunMode::SetupStub},
        {false, "", "E:\\Setup.exe", true, 1, RunMode::SpannedFirstRun},
        {false, "", "C:\\T\\SETUP_1\\Y_Setup.exe", true, 2, RunMode::SetupStub},
        {false, "", "E:\\Setup.exe", false, 2, RunMode::SetupStub},
    };
    for (const auto& c : cases) {
        RunModeInput in;
        in.isAgent = c.isAgent;
        in.agentFileName = c.agentName;
        in.exePath = c.exePath;
        in.spannedPackage = c.spanned;
        in.spanLevel = c.spanLevel;
        EXPECT_EQ(ChooseRunMode(in), c.expected) << c.exePath << " agent=" << c.agentName;
    }
}

TEST(RunMode, ClassNames) {
    EXPECT_EQ(StubClassName(true, "C:\\App\\X_Agent.exe"), ".AutoUpdate.X_Agent");
    EXPECT_EQ(StubClassName(false, "C:\\Downloads\\Setup.exe"), "C:\\Downloads\\Setup.exe");
    EXPECT_EQ(AgentCopyClassName("Agent.exe"), ".AutoUpdate.X_Agent");

    // Windows takes class names of at most 255 characters: a deep path keeps its end.
    const std::string deep = "C:\\" + std::string(240, 'd') + "\\Setup-1.2.exe";
    const std::string name = StubClassName(false, deep);
    EXPECT_EQ(name.size(), 255u);
    EXPECT_EQ(name, deep.substr(deep.size() - 255));
    EXPECT_EQ(StubClassName(false, std::string(255, 'p')), std::string(255, 'p'));
}

}  // namespace
}  // namespace zv
