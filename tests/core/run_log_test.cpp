#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "utils/platform.h"
#include "utils/run_log.h"

namespace zv {
namespace {

// 2026-12-06 07:15:02 (a quarter second in, so that rounding cannot move the second).
constexpr double kSixthOfDecember = 46362.0 + (7 * 3600 + 15 * 60 + 2.25) / 86400.0;

std::vector<std::pair<std::string, std::string>> g_appended;
uint32_t g_thread = 5678;

uint32_t FakeThread() { return g_thread; }
int64_t FakeAppend(const std::string& path, const std::string& text) {
    g_appended.emplace_back(path, text);
    return int64_t(text.size());
}
double FakeNow() { return kSixthOfDecember; }
char Slash() { return '/'; }
char Colon() { return ':'; }
char Dot() { return '.'; }

class RunLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_appended.clear();
        g_thread = 5678;
        Platform env;
        env.threadId = &FakeThread;
        env.appendToFile = &FakeAppend;
        env.now = &FakeNow;
        env.dateSeparator = &Slash;
        env.timeSeparator = &Colon;
        savedHost_ = SetPlatform(env);
        ResetRunLog();
    }
    void TearDown() override {
        ResetRunLog();
        SetPlatform(savedHost_);
    }
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        for (const auto& a : g_appended) lines.push_back(a.second);
        return lines;
    }

private:
    Platform savedHost_;
};

TEST(RunLogFileName, PrefixAndExtension) {
    struct Case {
        const char* exe;
        const char* log;
    } cases[] = {
        {"D:\\Apps\\Setup.exe", "D:\\Apps\\X_Setup.log"},
        {"D:\\Apps\\X_Setup.exe", "D:\\Apps\\X_Setup.log"},
        {"D:\\Apps\\x_tool.exe", "D:\\Apps\\X_x_tool.log"},
        {"D:\\Apps\\Setup", "D:\\Apps\\X_Setup.log"},
        {"D:\\my.dir\\Setup", "D:\\my.dir\\X_Setup.log"},
        {"D:\\Apps\\Setup.1.exe", "D:\\Apps\\X_Setup.1.log"},
        {"D:\\Setup.exe", "D:\\X_Setup.log"},
    };
    for (const Case& c : cases) EXPECT_EQ(RunLogFileNameFor(c.exe), c.log) << c.exe;
}

TEST(RunLogLine, TimeThreadIndentMessage) {
    Platform env;
    env.dateSeparator = &Slash;
    env.timeSeparator = &Colon;
    Platform saved = SetPlatform(env);
    EXPECT_EQ(FormatRunLogLine(kSixthOfDecember, 5678, " X ", "=== START === D:\\Apps\\X_Setup.exe"),
              "06/12/26 07:15:02  5678 X === START === D:\\Apps\\X_Setup.exe");
    EXPECT_EQ(FormatRunLogLine(kSixthOfDecember, 42, "   ", ""), "06/12/26 07:15:02    42   ");
    EXPECT_EQ(FormatRunLogLine(kSixthOfDecember, 1234567, "   ", "m"),
              "06/12/26 07:15:02 1234567   m");
    env.dateSeparator = &Dot;
    env.timeSeparator = &Dot;
    SetPlatform(env);
    EXPECT_EQ(FormatRunLogLine(kSixthOfDecember, 1, "   ", "m"), "06.12.26 07.15.02     1   m");
    SetPlatform(saved);
}

TEST_F(RunLogTest, DisabledWritesNothing) {
    ScopedCommandLine cmd("Setup.exe /x", "D:\\Apps\\Setup.exe");
    StartRunLog(false, false, "D:\\Apps\\Setup.exe", "Setup.exe /x", "1.0.0.0");
    WriteRunLog("DoRunStubWin() --- Start");
    EndRunLog("D:\\Apps\\Setup.exe");
    EXPECT_TRUE(g_appended.empty());
}

TEST_F(RunLogTest, StartAndExitLinesOfTheAgentCopy) {
    ScopedCommandLine cmd("X_Setup.exe /a", "D:\\Apps\\X_Setup.exe");
    StartRunLog(true, true, "D:\\Apps\\X_Setup.exe", "X_Setup.exe /a", "1.2.3.4");
    WriteRunLog("DoRunStubWin() --- Start");
    EndRunLog("D:\\Apps\\X_Setup.exe");
    const std::string t = "06/12/26 07:15:02  5678 X ";
    const std::vector<std::string> expected = {
        t + "\r\n",
        t + "\r\n",
        t + "=== START === D:\\Apps\\X_Setup.exe\r\n",
        t + "CommandLine=X_Setup.exe /a\r\n",
        t + "Agent Version=1.2.3.4\r\n",
        t + "DoRunStubWin() --- Start\r\n",
        t + "=== EXIT === D:\\Apps\\X_Setup.exe\r\n",
        t + "\r\n",
    };
    EXPECT_EQ(Lines(), expected);
    for (const auto& a : g_appended) EXPECT_EQ(a.first, "D:\\Apps\\X_Setup.log");
}

TEST_F(RunLogTest, PlainAgentKeepsThreeBlankIndentAndCachesTheFileName) {
    {
        ScopedCommandLine cmd("Setup.exe", "D:\\Apps\\Setup.exe");
        StartRunLog(true, false, "D:\\Apps\\Setup.exe", "Setup.exe", "1.0.0.0");
    }
    ScopedCommandLine other("Other.exe", "E:\\Other.exe");
    WriteRunLog("later");
    ASSERT_EQ(g_appended.size(), 6u);
    EXPECT_EQ(g_appended.back().first, "D:\\Apps\\X_Setup.log");
    EXPECT_EQ(g_appended.back().second, "06/12/26 07:15:02  5678   later\r\n");
}

}  // namespace
}  // namespace zv
