#include "agent_settings_fixture.h"
#include "rundir/run_time_dir.h"

namespace zv {
namespace {

using agent_fixture::AgentSettingsTest;
using agent_fixture::kNowSeconds;
using agent_fixture::M;

using UpdateFiles = AgentSettingsTest;

TEST_F(UpdateFiles, MissingFilesReadAsDefaults) {
    EXPECT_EQ(OriginalFile::ProbeSecondsInterval(), 0);
    EXPECT_EQ(OriginalFile::VersionOriginal(), 0);
    EXPECT_EQ(OriginalFile::BtnText(), "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|");
    EXPECT_EQ(OriginalFile::Error(), "Error");
    EXPECT_EQ(OriginalFile::Confirm(), "Confirm");
    EXPECT_EQ(OriginalFile::Attention(), "Attention");
    EXPECT_EQ(OriginalFile::FontName(), "Tahoma");
    EXPECT_EQ(OriginalFile::FontSize(), 8);
    EXPECT_EQ(OriginalFile::CharSet(), 0);
    EXPECT_EQ(OriginalFile::TargetDir(), "");
    EXPECT_EQ(InfoFile::AutoInformW(), 360);
    EXPECT_EQ(InfoFile::AutoInformH(), 360);
    EXPECT_EQ(InfoFile::DownloadURL_UPDATE(), "");
    EXPECT_EQ(InfoFile::VersionNew(), 0);
    EXPECT_FALSE(InfoFile::BackgroundUpdate());
    EXPECT_FALSE(InfoFile::RemoveStartUpShortcut());
    EXPECT_EQ(AutoUpdateMessages("s7", "default text"), "default text");
}

TEST_F(UpdateFiles, TypesOfBothFiles) {
    Original("ProbeSecondsInterval", "86400");
    Original("ProbeSecondsLast", "4005702902");
    Original("VersionOriginal", "12abc");               // not a number: the default
    Original("Stamp", "-7");
    Original("TargetDir", "C:\\Prog", "Directories");
    Original("FontSize", "11", "MsgBox");
    Original("s7", "Checking PROG_NAME", "AutoUpdate");
    Info("SizeOfUpdateFile", "3000000000");
    Info("RequestConfirmationBeforeInstall", "yes");
    Info("RequestConfirmationBeforeDownload", "1");
    Info("RemoveStartUpShortcut", "true");
    Info("RemoveCheckForNewUpdateShortcut", "1");
    Info("AutoInform", "2", "General");
    Info("AutoInformW", "500", "AutoInform");
    Info("ShutDownMethod", "CloseWindow");

    EXPECT_EQ(OriginalFile::ProbeSecondsInterval(), 86400);
    EXPECT_EQ(OriginalFile::ProbeSecondsLast(), 4005702902LL);
    EXPECT_EQ(OriginalFile::VersionOriginal(), 0);
    EXPECT_EQ(OriginalFile::Stamp(), -7);
    EXPECT_EQ(OriginalFile::TargetDir(), "C:\\Prog");
    EXPECT_EQ(OriginalFile::FontSize(), 11);
    EXPECT_EQ(AutoUpdateMessages("s7", "x"), "Checking PROG_NAME");
    EXPECT_EQ(InfoFile::SizeOfUpdateFile(), 3000000000LL);
    EXPECT_FALSE(InfoFile::RequestConfirmationBeforeInstall());   // only "1" is true
    EXPECT_TRUE(InfoFile::RequestConfirmationBeforeDownload());
    EXPECT_FALSE(InfoFile::RemoveStartUpShortcut());
    EXPECT_TRUE(InfoFile::RemoveCheckForNewUpdateShortcut());
    EXPECT_FALSE(InfoFile::IsInformRelease());                     // only exactly 1
    EXPECT_EQ(InfoFile::AutoInformW(), 500);
    EXPECT_EQ(InfoFile::ShutDownMethod(), "CloseWindow");
    EXPECT_EQ(Low32(4005702902LL), -289264394);
}

TEST_F(UpdateFiles, TransientSlotsOverrideTheFile) {
    struct Row {
        bool (*read)();
        const char* key;
        int slot;
    } rows[] = {
        {&InfoFile::RequestConfirmationBeforeDownload, "RequestConfirmationBeforeDownload", 2},
        {&InfoFile::RequestConfirmationBeforeInstall, "RequestConfirmationBeforeInstall", 3},
        {&InfoFile::BackgroundUpdate, "BackgroundUpdate", 4},
        {&InfoFile::InformFinish, "InformFinish", 5},
        {&InfoFile::RestartProcess, "RestartProcess", 6},
        {&InfoFile::RequestConfirmationBeforeDownloadForce,
         "RequestConfirmationBeforeDownloadForce", 7},
        {&InfoFile::RequestConfirmationBeforeInstallForce, "RequestConfirmationBeforeInstallForce",
         8},
    };
    for (const Row& row : rows) {
        Agent().Overrides = TransientOverrides();
        Info(row.key, "1");
        EXPECT_TRUE(row.read()) << row.key;           // 255: the file decides
        Agent().Overrides.Set(row.slot, 0);
        EXPECT_FALSE(row.read()) << row.key;          // whatever the file says
        Info(row.key, "0");
        Agent().Overrides.Set(row.slot, 1);
        EXPECT_TRUE(row.read()) << row.key;
        Agent().Overrides.Set(row.slot, 7);
        EXPECT_FALSE(row.read()) << row.key;          // only 1 is true
    }
    EXPECT_FALSE(AskBeforeProbe());
    Agent().Overrides.Set(TransientOverrides::AskBeforeProbe, 1);
    EXPECT_TRUE(AskBeforeProbe());
}

TEST_F(UpdateFiles, EveryReadSeesTheFileAsItIsNow) {
    Original("VersionOriginal", "3");
    EXPECT_EQ(OriginalFile::VersionOriginal(), 3);
    Original("VersionOriginal", "4");
    EXPECT_EQ(OriginalFile::VersionOriginal(), 4);
}

TEST_F(UpdateFiles, TimesAreWrittenWithTheirReadableTwins) {
    Original("VersionOriginal", "1");   // the installer made the file
    EXPECT_EQ(SecondsNow(), kNowSeconds);
    EXPECT_TRUE(OriginalFile::SetProbeSecondsLast(kNowSeconds));
    EXPECT_TRUE(OriginalFile::SetReAskSecondsLast(kNowSeconds - 86400));
    EXPECT_EQ(OriginalValue("ProbeSecondsLast"), "4005702902");
    EXPECT_EQ(OriginalValue("__ProbeSecondsLast"), "06-DEC-2026 07:15:02");
    EXPECT_EQ(OriginalValue("__ReAskSecondsLast"), "05-DEC-2026 07:15:02");
    EXPECT_TRUE(OriginalFile::SetProbeSecondsInterval(-1));
    EXPECT_TRUE(OriginalFile::SetStamp(20261206));
    EXPECT_TRUE(OriginalFile::SetVersionOriginal(5));
    EXPECT_EQ(OriginalFile::ProbeSecondsInterval(), -1);
    EXPECT_EQ(OriginalFile::Stamp(), 20261206);
    EXPECT_EQ(OriginalFile::VersionOriginal(), 5);
}

TEST_F(UpdateFiles, WritesNeverCreateTheOriginalFile) {
    EXPECT_FALSE(OriginalFile::SetProbeSecondsLast(kNowSeconds));
    EXPECT_FALSE(OriginalFile::SetProbeSecondsInterval(60));
    EXPECT_FALSE(OriginalFile::SetVersionOriginal(2));
    EXPECT_TRUE(M().files.empty());
    EXPECT_TRUE(M().ini.empty());
    TraceOut().WriteLine();
    EXPECT_NE(M().trace.find("WriteOriginal skipped, no file: ProbeSecondsLast"),
              std::string::npos);
}

// Seconds since 1899 are above 2^31 today: a client reads a time with command 10 and writes it
// back with 14; the 32 bits must mean the same time both ways.
TEST_F(UpdateFiles, AgentCommandsReadAndWriteTheOriginalFile) {
    AgentIniAccess& ini = UpdateFilesAgentIni();
    AgentState& state = Agent();
    Original("VersionOriginal", "7");
    Original("ProbeSecondsInterval", "3600");
    Original("ReAskSecondsInterval", "-1");
    Original("ProbeSecondsLast", "4005702902");
    Original("ReAskSecondsLast", "4005616502");
    Info("VersionNew", "8");
    EXPECT_EQ(HandleAgentCommand(4, 0, state, ini), 7);
    EXPECT_EQ(HandleAgentCommand(5, 0, state, ini), 8);
    EXPECT_EQ(HandleAgentCommand(8, 0, state, ini), 3600);
    EXPECT_EQ(HandleAgentCommand(9, 0, state, ini), -1);
    const int32_t probeLast = HandleAgentCommand(10, 0, state, ini);
    EXPECT_EQ(uint32_t(probeLast), 4005702902u);
    EXPECT_EQ(uint32_t(HandleAgentCommand(11, 0, state, ini)), 4005616502u);

    EXPECT_EQ(HandleAgentCommand(14, probeLast - 60, state, ini), 0);
    EXPECT_EQ(OriginalValue("ProbeSecondsLast"), "4005702842");
    EXPECT_EQ(OriginalValue("__ProbeSecondsLast"), "06-DEC-2026 07:14:02");
    EXPECT_EQ(HandleAgentCommand(15, probeLast, state, ini), 0);
    EXPECT_EQ(OriginalFile::ReAskSecondsLast(), 4005702902LL);
    EXPECT_EQ(HandleAgentCommand(12, -1, state, ini), 0);    // intervals keep their sign
    EXPECT_EQ(OriginalFile::ProbeSecondsInterval(), -1);
    EXPECT_EQ(HandleAgentCommand(13, 600, state, ini), 0);
    EXPECT_EQ(OriginalFile::ReAskSecondsInterval(), 600);
}

TEST_F(UpdateFiles, RunningProcessExpandsWithTheInstalledFolders) {
    Original("TargetDir", "C:\\Prog", "Directories");
    Original("SharedDir", "C:\\Shared\\", "Directories");
    Info("RunningProcess", "<InstallDir>\\App.exe");
    SetInstallDirs(OriginalFile::TargetDir(), OriginalFile::SharedDir(),
                   OriginalFile::AuxiliaryDir());
    EXPECT_EQ(ExpandMacros(InfoFile::RunningProcess(), "\\", true, true), "C:\\Prog\\App.exe");
    EXPECT_EQ(ExpandMacros("<InstallCommonDir>\\x.dll", "\\", true, true), "C:\\Shared\\x.dll");
    SetInstallDirs("", "", "");
}

TEST(SaturatingAdd, HoldsAtTheLimits) {
    const int64_t max = INT64_MAX, min = INT64_MIN;
    EXPECT_EQ(SaturatingAdd(4005702902LL, max), max);
    EXPECT_EQ(SaturatingAdd(max, 1), max);
    EXPECT_EQ(SaturatingAdd(min, -1), min);
    EXPECT_EQ(SaturatingAdd(-5, 3), -2);
}

}  // namespace
}  // namespace zv
