#include "autoupdate/win/agent_settings_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>

#include "autoupdate/agent_state.h"
#include "autoupdate/update_decision.h"
#include "autoupdate/update_files.h"
#include "package/gfile_info.h"
#include "rundir/run_time_dir.h"
#include "rundir/shell_dir.h"
#include "stub/win/win32_platform.h"
#include "stub/win/stub_window.h"
#include "utils/files.h"
#include "utils/platform.h"
#include "utils/ini_reg.h"
#include "utils/text.h"
#include "utils/win/sysutils.h"
#include "win_test_util.h"

namespace zv {
namespace {

constexpr const char* kAutoUpdateSubKey = "Software\\Velmorra\\Zolvex\\AutoUpdate";

class AgentSettingsWin : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InstallWin32Platform();
        InstallWin32AgentSettings();
    }
};

// An agent at <scratch>\Agent.exe: without a package its original file is <scratch>\.original.
struct AgentAt {
    explicit AgentAt(const ScratchFolder& dir)
        : exe(dir / "Agent.exe"), commandLine("\"" + exe + "\"", exe) {}
    std::string exe;
    ScopedCommandLine commandLine;
};

TEST_F(AgentSettingsWin, OriginalFileOnPrivateProfiles) {
    ScratchFolder dir("original");
    AgentAt agent(dir);
    const std::string original = OriginalFilePath();
    ASSERT_EQ(original, dir / ".original");

    // Missing: defaults, and writes leave it missing.
    EXPECT_EQ(OriginalFile::FontName(), "Tahoma");
    EXPECT_FALSE(OriginalFile::SetProbeSecondsLast(SecondsNow()));
    EXPECT_FALSE(OriginalFile::SetVersionOriginal(3));
    EXPECT_FALSE(PathExists(original));

    PutFile(original,
            "[OriginalSetup]\r\nVersionOriginal=3\r\nProbeSecondsInterval=yes\r\n"
            "[MsgBox]\r\nFontSize=10\r\n[AutoUpdate]\r\ns2=Hello\r\n");
    EXPECT_EQ(OriginalFile::VersionOriginal(), 3);
    EXPECT_EQ(OriginalFile::ProbeSecondsInterval(), 0);
    EXPECT_EQ(OriginalFile::FontSize(), 10);
    EXPECT_EQ(AutoUpdateMessages("s2", "x"), "Hello");
    EXPECT_EQ(AutoUpdateMessages("s3", "x"), "x");

    const int64_t seconds = 4005702902LL;
    EXPECT_TRUE(OriginalFile::SetProbeSecondsLast(seconds));
    EXPECT_EQ(OriginalFile::ProbeSecondsLast(), seconds);
    EXPECT_EQ(ReadIniString(original, "OriginalSetup", "__ProbeSecondsLast", ""),
              SecondsText(seconds));
    EXPECT_EQ(ReadIniString(original, "MsgBox", "FontSize", ""), "10");  // the rest stays
}

TEST_F(AgentSettingsWin, InfoFileTypesOnPrivateProfiles) {
    ScratchFolder dir("info");
    const std::string info = dir / "Agent.info";
    PutFile(info,
            "[NewSetup]\r\nSizeOfUpdateFile=3000000000\r\nBackgroundUpdate=yes\r\n"
            "InformFinish=1\r\nVersionNew=x5\r\n");
    EXPECT_EQ(ReadIniInteger(info, "NewSetup", "SizeOfUpdateFile", 0), 3000000000LL);
    EXPECT_EQ(ReadIniInteger(info, "NewSetup", "VersionNew", 0), 0);
    EXPECT_FALSE(ReadIniFlag(info, "NewSetup", "BackgroundUpdate"));
    EXPECT_TRUE(ReadIniFlag(info, "NewSetup", "InformFinish"));
    TransientOverrides overrides;
    overrides.Set(TransientOverrides::InformFinish, 0);
    EXPECT_FALSE(ReadOverridableFlag(info, "NewSetup", "InformFinish",
                                     TransientOverrides::InformFinish, overrides));
}

DWORD RunHidden(const std::string& commandLine) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi = {};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return DWORD(-1);
    WaitForSingleObject(pi.hProcess, 30000);
    DWORD code = DWORD(-1);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

TEST_F(AgentSettingsWin, TestModeSetWithRegAdd) {
    const std::string key = std::string("\"HKCU\\") + kAutoUpdateSubKey + "\"";
    const std::string today = DateText(NowDateTime());
    ASSERT_EQ(RunHidden("reg.exe add " + key + " /v TestMode /t REG_DWORD /d 1 /f"), 0u);
    ASSERT_EQ(RunHidden("reg.exe add " + key + " /v TestModeDate /t REG_SZ /d " + today + " /f"),
              0u);
    ASSERT_EQ(RunHidden("reg.exe add " + key + " /v TestModeURL /t REG_SZ /d \\\\srv\\test /f"),
              0u);
    const bool on = CheckTestMode(true);
    const std::string url = AgentTestMode().TestModeURL;
    RunHidden("reg.exe add " + key + " /v TestModeDate /t REG_SZ /d 01-JAN-2000 /f");
    const bool stale = CheckTestMode(true);
    RegDeleteKeyA(HKEY_CURRENT_USER, kAutoUpdateSubKey);
    EXPECT_TRUE(on);  // a DWORD 1 reads as "1"
    EXPECT_EQ(url, "\\\\srv\\test");
    EXPECT_FALSE(stale);
    EXPECT_FALSE(CheckTestMode(true));
    AgentTestMode() = TestModeState();
}

bool FolderThere(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return !path.empty() && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(AgentSettingsWin, SpecialFoldersOfThePrefix) {
    const std::string documents = MyDocumentsDir(false);
    EXPECT_TRUE(FolderThere(documents)) << documents;
    EXPECT_EQ(UserDir(true), ExtractFilePath(documents));
    for (auto folder : {&UserAppDataDir, &UserLocalAppDataDir, &AllUsersAppDataDir,
                        &UserStartMenuDir, &UserStartProgramMenuDir, &UserDesktopDir, &AllUsersDir,
                        &DocumentsAndSettingsDir, &FontDir, &ProgramFilesDir}) {
        const std::string path = folder(false);
        EXPECT_TRUE(FolderThere(path)) << path;
        EXPECT_EQ(folder(true), path + "\\");
    }
    EXPECT_EQ(WinDir(false), GetWinDir(false));
    EXPECT_EQ(GetSpecialFolder(kCsidlPersonal), documents);
    // The shell libraries came from the system folder.
    char loaded[MAX_PATH + 1] = {};
    GetModuleFileNameA(GetModuleHandleA("shfolder.dll"), loaded, MAX_PATH);
    EXPECT_TRUE(StartsWith(GetSysDir(true), loaded, true)) << loaded;

    SetInstallDirs(GetWinDir(false), "", "");
    EXPECT_EQ(ExpandMacros("<InstallDir>\\..\\x.exe", "\\", true, true),
              DriveRoot(GetWinDir(false)) + "x.exe");
    EXPECT_EQ(ExpandMacros("<MyDocumentsDir>\\a.txt", "\\", true, true), documents + "\\a.txt");
    SetInstallDirs("", "", "");
}

// A client on another thread asks the agent's window, as another program would.
struct ClientCall {
    HWND window;
    UINT code;
    LPARAM value;
    LRESULT result;
};
DWORD WINAPI ClientThread(LPVOID param) {
    auto* call = static_cast<ClientCall*>(param);
    call->result = SendMessageA(call->window, wm_AgentMsg, call->code, call->value);
    return 0;
}
LRESULT AskFromClient(HWND window, UINT code, LPARAM value) {
    ClientCall call{window, code, value, -12345};
    HANDLE thread = CreateThread(nullptr, 0, &ClientThread, &call, 0, nullptr);
    // The window's thread answers sent messages while it pumps.
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    }
    CloseHandle(thread);
    return call.result;
}

std::function<void(HWND)> g_onTick;
void Tick(HWND window) {
    KillTimer(window, kStubTimerId);
    auto action = std::move(g_onTick);
    g_onTick = nullptr;
    if (action) action(window);
    if (!LoopDone) DestroyWindow(window);
}

TEST_F(AgentSettingsWin, CommandTableAnswersAClientThroughTheWindow) {
    ScratchFolder dir("agentcmd");
    AgentAt agent(dir);
    PutFile(OriginalFilePath(),
            "[OriginalSetup]\r\nVersionOriginal=7\r\nProbeSecondsInterval=3600\r\n"
            "ProbeSecondsLast=4005702902\r\n");
    LRESULT version = 0, interval = 0, last = 0, written = -1, phase = -1;
    g_onTick = [&](HWND w) {
        Agent().AgentPhase = 2;
        version = AskFromClient(w, 4, 0);
        interval = AskFromClient(w, 8, 0);
        last = AskFromClient(w, 10, 0);
        written = AskFromClient(w, 14, LPARAM(last - 60));
        phase = AskFromClient(w, 7, 0);
    };
    AbortRequested = false;
    StubWindowHooks hooks;
    hooks.className = "ZvTestAgentCommands";
    hooks.setupTick = &Tick;
    WinMain(hooks);
    Agent() = AgentState();
    EXPECT_EQ(version, 7);
    EXPECT_EQ(interval, 3600);
    EXPECT_EQ(uint32_t(last), 4005702902u);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(phase, 2);
    EXPECT_EQ(OriginalFile::ProbeSecondsLast(), 4005702842LL);  // the same time, 60 s earlier
}

}  // namespace
}  // namespace zv
