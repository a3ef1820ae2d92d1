#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "../core/package_test_builder.h"
#include "autoupdate/update_cycle.h"
#include "autoupdate/update_decision.h"
#include "autoupdate/update_files.h"
#include "autoupdate/win/agent_platform_win.h"
#include "autoupdate/win/agent_settings_win.h"
#include "package/gfile_info.h"
#include "package/package_layout.h"
#include "utils/platform.h"
#include "utils/text.h"
#include "stub/win/win32_platform.h"
#include "win_test_util.h"

namespace zv {
namespace {

constexpr const char* kToken = "wine-cycle-token-0123456789";

std::string PackageBytes(const std::string& updateUrl, const std::string& token) {
    testpkg::PackageBuilder b;
    b.header = HeaderFields{updateUrl, "App.info", "Agent.exe", ScrambleToken(token, 7)}.Encode();
    const std::vector<uint8_t> bytes = b.Build();
    return std::string(bytes.begin(), bytes.end());
}

class AgentCycleWin : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InstallWin32Platform();
        InstallWin32AgentSettings();
    }
};

// The agent copy at <agent>\X_Agent.exe of a package whose update address is the local folder
// <updates>; the update there is a package with the same token.
TEST_F(AgentCycleWin, UpdateFileCopiedFromALocalFolderWithTheTenStepAnimation) {
    ScratchFolder agentDir("cycle_agent"), updates("cycle_updates");
    const std::string exe = agentDir / "X_Agent.exe";
    ScopedCommandLine commandLine("\"" + exe + "\"", exe);
    MemoryFile image([&] {
        const std::string s = PackageBytes(updates.Path(), kToken);
        return std::vector<uint8_t>(s.begin(), s.end());
    }());
    TGFileInfo own(image);
    OwnPackage = &own;
    PutFile(InfoFilePath(), "[NewSetup]\r\nRequestConfirmationBeforeDownload=1\r\n");
    const std::string update = PackageBytes("http:", kToken);
    PutFile(updates / "U.exe", update);

    AgentState agent;
    UiSink quiet;
    UpdateCycle cycle(Win32AgentPlatform(), quiet, agent);
    std::string error;
    const DWORD start = GetTickCount();
    EXPECT_TRUE(cycle.DownloadFileAU(updates.Path(), "U.exe", kUpdateDownload, error)) << error;
    // Ten steps of 300 ms each.
    EXPECT_GE(GetTickCount() - start, 2900u);
    std::string copied;
    EXPECT_TRUE(Win32AgentPlatform().ReadFileBounded(agentDir / "U.exe", 0, copied));
    EXPECT_EQ(copied, update);

    OwnPackage = nullptr;
}

TEST_F(AgentCycleWin, InfoFileIsReplacedWholeAndCappedCopiesFail) {
    ScratchFolder dir("cycle_files");
    AgentPlatform& p = Win32AgentPlatform();
    PutFile(dir / "App.info", "[NewSetup]\r\nVersionNew=5\r\n");
    EXPECT_TRUE(p.WriteFileAtomic(dir / "App.info", "[NewSetup]\r\nVersionNew=6\r\n"));
    std::string text;
    EXPECT_TRUE(p.ReadFileBounded(dir / "App.info", 0, text));
    EXPECT_EQ(text, "[NewSetup]\r\nVersionNew=6\r\n");
    EXPECT_FALSE(PathExists(dir / "App.info.tmp"));

    PutFile(dir / "big", std::string(200000, 'b'));
    EXPECT_FALSE(p.CopyFileBounded(dir / "big", dir / "copy", 100000));
    EXPECT_FALSE(PathExists(dir / "copy"));
    EXPECT_FALSE(PathExists(dir / "copy.tmp"));
    EXPECT_TRUE(p.CopyFileBounded(dir / "big", dir / "copy", 0));
    EXPECT_FALSE(p.ReadFileBounded(dir / "big", 1000, text));
}

// Both used to call themselves until the stack ran out: the agent died right after installing an
// update, before deleting the downloaded file and starting the program and itself again.
TEST_F(AgentCycleWin, DeleteAndAFailedAtomicWriteRemoveTheirFiles) {
    ScratchFolder dir("cycle_delete");
    AgentPlatform& p = Win32AgentPlatform();
    PutFile(dir / "Update.exe", "update");
    EXPECT_TRUE(p.RemoveFile(dir / "Update.exe"));
    EXPECT_FALSE(PathExists(dir / "Update.exe"));
    EXPECT_FALSE(p.RemoveFile(dir / "Update.exe"));

    // A folder where the file should go: the write fails and its temporary file goes.
    ASSERT_TRUE(CreateDirectoryA((dir / "App.info").c_str(), nullptr));
    EXPECT_FALSE(p.WriteFileAtomic(dir / "App.info", "[NewSetup]\r\n"));
    EXPECT_FALSE(PathExists(dir / "App.info.tmp"));
}

TEST_F(AgentCycleWin, AWaitHandsAQuitMessageOn) {
    PostQuitMessage(5);
    Wait(20);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 5u);
}

}  // namespace
}  // namespace zv
