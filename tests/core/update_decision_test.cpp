#include <cstdio>
#include <filesystem>

#include "agent_settings_fixture.h"

namespace zv {
namespace {

using agent_fixture::AgentSettingsTest;
using agent_fixture::kNowSeconds;
using agent_fixture::M;

using ShotTime = AgentSettingsTest;

TEST_F(ShotTime, DueTable) {
    const int64_t huge = INT64_MAX;
    struct Row {
        const char* what;
        int64_t interval;
        int64_t last;
        bool testMode, periodic, force;
        int status;
    } rows[] = {
        {"interval 0, never probed", 0, 0, false, true, false, 2},
        {"interval 0, probed just now", 0, kNowSeconds, false, true, false, 2},
        {"interval -1: never", -1, 0, false, true, false, 0},
        {"interval -1 forced", -1, 0, false, true, true, 1},
        {"interval -5 means never too", -5, kNowSeconds - 10, false, true, false, 0},
        {"hour not yet over", 3600, kNowSeconds - 3599, false, true, false, 0},
        {"hour over", 3600, kNowSeconds - 3600, false, true, false, 1},
        {"huge interval does not wrap", huge, kNowSeconds - 10, false, true, false, 0},
        {"test mode: 5 seconds", 86400, kNowSeconds - 5, true, true, false, 1},
        {"test mode: 4 seconds", 86400, kNowSeconds - 4, true, true, false, 0},
        {"test mode keeps -1", -1, 0, true, true, false, 0},
        {"clock set back", 86400, kNowSeconds + 3600, false, true, false, 1},
        {"not periodic", 3600, 0, false, false, false, 0},
        {"not periodic but forced", 3600, kNowSeconds, false, false, true, 1},
    };
    for (const Row& row : rows) {
        Original("ProbeSecondsInterval", IntText(row.interval));
        Original("ProbeSecondsLast", IntText(row.last));
        AgentTestMode().TestMode = row.testMode;
        AgentState agent;
        agent.PeriodicProbing = row.periodic;
        agent.ForceShot = row.force;
        EXPECT_EQ(GetShotTimeStatus(agent), row.status) << row.what;
        EXPECT_FALSE(agent.ForceShot) << row.what;   // consumed by every call
    }
}

TEST_F(ShotTime, ReAskDueTable) {
    struct Row {
        int64_t interval;
        int64_t last;
        bool due;
    } rows[] = {
        {0, 0, false},
        {-60, 0, false},
        {60, kNowSeconds - 61, true},
        {60, kNowSeconds - 60, false},     // strictly greater
        {INT64_MAX, kNowSeconds - 61, false},
        {60, kNowSeconds + 3600, true},    // clock set back
    };
    for (const Row& row : rows) {
        Original("ReAskSecondsInterval", IntText(row.interval));
        Original("ReAskSecondsLast", IntText(row.last));
        EXPECT_EQ(ReAskDue(), row.due) << row.interval << " " << row.last;
    }
}

TEST_F(ShotTime, ValidVersions) {
    struct Row {
        const char* valid;
        int64_t version;
        bool match;
    } rows[] = {
        {"", 4, true}, {"3,4", 4, true}, {"3, 4", 4, false}, {"10,11", 1, false},
        {"10,11", 11, true}, {"4", 4, true},
    };
    for (const Row& row : rows) {
        Info("ValidVersions", row.valid);
        Original("VersionOriginal", IntText(row.version));
        EXPECT_EQ(ValidVersionMatch(), row.match) << row.valid << " / " << row.version;
    }
}

class TestModeTest : public AgentSettingsTest {
protected:
    void Switch(const char* mode, const char* date) {
        M().registry["TestMode"] = mode;
        M().registry["TestModeDate"] = date;
        M().registry["TestModeURL"] = "\\\\server\\test";
    }
};

TEST_F(TestModeTest, OnlyForTodaysDate) {
    Switch("1", "06-DEC-2026");
    EXPECT_TRUE(CheckTestMode(true));
    EXPECT_EQ(AgentTestMode().TestModeURL, "\\\\server\\test");
    Switch("1", "05-DEC-2026");
    EXPECT_FALSE(CheckTestMode(true));
    Switch("yes", "06-DEC-2026");
    EXPECT_FALSE(CheckTestMode(true));
}

TEST_F(TestModeTest, UnforcedReadsWaitThirtySecondsAfterTheLastCall) {
    Switch("1", "06-DEC-2026");
    CheckTestMode(true);
    const int reads = M().registryReads;
    M().tick += 20000;
    CheckTestMode(false);
    M().tick += 20000;                 // 40 s after the read, 20 s after the last call
    CheckTestMode(false);
    EXPECT_EQ(M().registryReads, reads);
    M().tick += 30001;
    Switch("0", "");
    EXPECT_FALSE(CheckTestMode(false));
    EXPECT_GT(M().registryReads, reads);
}

TEST_F(TestModeTest, TickCountWrapDoesNotStopReads) {
    Switch("1", "06-DEC-2026");
    M().tick = 0xFFFFF000u;
    CheckTestMode(true);
    M().tick = 0xFFFFF000u + 4000u;    // 4 s later, just before the wrap
    Switch("0", "");
    EXPECT_TRUE(CheckTestMode(false));
    M().tick = 0x00010000u;            // 69 s after the wrap
    EXPECT_FALSE(CheckTestMode(false));
}

// The chain of GetOkToPerformAU, set up to pass every test; each row breaks one.
class Decision : public AgentSettingsTest {
protected:
    void SetUp() override {
        AgentSettingsTest::SetUp();
        Original("VersionOriginal", "4");
        Original("Stamp", "1");
        Info("VersionNew", "5");
        Info("Stamp", "2");
        Info("DownloadURL_UPDATE", "http://updates.example/app");
        Info("NameOfUpdateFile", "Update.exe");
        Info("SizeOfUpdateFile", "1000");
        M().connected = true;
        M().httpSize = 1099;
    }
    int Decide(bool downloadOK = true) {
        int code = -1;
        reason_.clear();
        const bool ok = GetOkToPerformAU(downloadOK, code, reason_);
        EXPECT_EQ(ok, code == kDecisionOK);
        return code;
    }
    std::string reason_;
};

TEST_F(Decision, EveryReason) {
    EXPECT_EQ(Decide(), 6);
    EXPECT_EQ(reason_, "OK");
    EXPECT_EQ(M().httpUrl, "http://updates.example/app/Update.exe");

    EXPECT_EQ(Decide(false), 0);
    EXPECT_EQ(reason_, "Error downloading .INFO file");

    Original("VersionOriginal", "0");
    EXPECT_EQ(Decide(), 1);
    EXPECT_EQ(reason_, "Error reading .ORIGINAL file");
    Original("VersionOriginal", "4");

    Info("Stamp", "1");
    EXPECT_EQ(Decide(), 2);
    EXPECT_EQ(reason_, "Too early for retesting");
    Agent().ManualCheckState = 1;       // a user-requested check offers it anyway
    EXPECT_EQ(Decide(), 6);
    Agent().ManualCheckState = 0;
    Original("ReAskSecondsInterval", "60");
    Original("ReAskSecondsLast", IntText(kNowSeconds - 61));
    EXPECT_EQ(Decide(), 6);
    Info("Stamp", "2");

    Info("VersionNew", "4");
    EXPECT_EQ(Decide(), 3);
    EXPECT_EQ(reason_, "New version is not higher then old version");
    Info("VersionNew", "5");

    Info("ValidVersions", "3, 4");
    EXPECT_EQ(Decide(), 4);
    EXPECT_EQ(reason_, "\"Valid for version\" mismatch");
    Info("ValidVersions", "3,4");
    EXPECT_EQ(Decide(), 6);

    M().httpSize = 1100;
    EXPECT_EQ(Decide(), 5);
    EXPECT_EQ(reason_, "Download file size error");
}

TEST_F(Decision, SizeFailureWritesThreeLogLinesAndTheTrace) {
    M().httpSize = 1100;
    M().runLog.clear();
    EXPECT_EQ(Decide(), 5);
    const std::vector<std::string> expected = {
        "  InfoSize=1000",
        "  HttpSize=1100",
        "  URL=http://updates.example/app/Update.exe",
        "GetOkToPerformAU = 5 - Download file size error",
    };
    EXPECT_EQ(LogMessages(), expected);
    TraceOut().WriteLine();
    EXPECT_NE(M().trace.find("77 GetOkToPerformAU=5"), std::string::npos);
}

TEST_F(Decision, SizesCompareInSixtyFourBits) {
    struct Row {
        const char* expected;
        int64_t actual;
        bool connected;
        int code;
    } rows[] = {
        {"1000", 901, true, 6},
        {"1000", 900, true, 5},
        {"0", -1, true, 6},                   // nothing stated, nothing known: passes
        {"2147483647", -1, true, 5},          // unknown size near 2^31 must not wrap to a pass
        {"3000000000", 3000000050, true, 6},  // above 2 GB
        {"3000000000", -1294967246, true, 5}, // the same size seen through 32 bits
        {"1000", 1000, false, 5},             // offline and no local file: -1
    };
    for (const Row& row : rows) {
        Info("SizeOfUpdateFile", row.expected);
        M().httpSize = row.actual;
        M().connected = row.connected;
        EXPECT_EQ(Decide(), row.code) << row.expected << " vs " << row.actual;
    }
}

TEST_F(Decision, InformReleasesMeasureTheInformFile) {
    Info("AutoInform", "1", "General");
    Info("NameOfInformFile", "sub\\News.txt", "AutoInform");
    Info("SizeOfInformFile", "50", "AutoInform");
    M().httpSize = 60;
    EXPECT_EQ(Decide(), 6);
    EXPECT_EQ(M().httpUrl, "http://updates.example/app/News.txt");   // file-name part only
}

TEST_F(Decision, LocalPathFirstAndTestModeAddress) {
    const std::string folder = ::testing::TempDir() + "zv_decision";
    // Natively a backslash is part of the name: this is the file "<folder>\Update.exe". On
    // Windows it is the file Update.exe in the folder, which must exist first.
    const std::string local = folder + "\\Update.exe";
    std::filesystem::create_directories(folder);
    {
        FILE* f = std::fopen(local.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(std::string(1050, 'x').data(), 1, 1050, f);
        std::fclose(f);
    }
    M().files.insert(AsciiUpper(local));
    Info("DownloadURL_UPDATE", folder);
    M().httpSize = 5;                    // would fail: the local file must be used
    EXPECT_EQ(Decide(), 6);
    EXPECT_EQ(M().httpUrl, "");

    // Test mode: the test address replaces the configured one, and HTTP is not asked.
    Info("DownloadURL_UPDATE", "http://updates.example/app");
    AgentTestMode().TestMode = true;
    AgentTestMode().TestModeURL = folder;
    EXPECT_EQ(Decide(), 6);
    AgentTestMode().TestModeURL = "\\\\nowhere";
    M().httpSize = 1000;
    EXPECT_EQ(Decide(), 5);
    EXPECT_EQ(M().httpUrl, "");
    std::remove(local.c_str());
    std::filesystem::remove(folder);
}

}  // namespace
}  // namespace zv
