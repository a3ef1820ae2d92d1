#include "stub/win/stub.h"

#include <windows.h>

#include "autoupdate/update_decision.h"
#include "autoupdate/win/agent_platform_win.h"
#include "autoupdate/win/agent_settings_win.h"
#include "lang/lang_strings.h"
#include "lang/win/thread_locale.h"
#include "package/gfile_info.h"
#include "package/setup_cmdline.h"
#include "package/setup_exit.h"
#include "stub/win/win32_platform.h"
#include "package/win/setup_folder_win.h"
#include "stub/run_mode.h"
#include "stub/win/agent_hooks.h"
#include "stub/win/stub_dispatch.h"
#include "stub/win/stub_setup.h"
#include "stub/win/stub_window.h"
#include "utils/platform.h"
#include "utils/run_log.h"
#include "utils/switches.h"
#include "utils/text.h"
#include "utils/trace.h"
#include "utils/win/dll_loader.h"
#include "utils/win/files_win.h"
#include "utils/win/sysutils.h"
#include "utils/win/zdebug.h"
#include "dialogs/win/zmsgbox.h"

namespace zv {

bool ThisIs_AutoUpdateProg = false;

namespace {

// Libraries the message box and the shell need, loaded once and kept for the whole run. Each is
// taken from the system folder, never from the folder the stub was started from.
void LoadStartupLibraries() {
    for (const char* name : {"shell32.dll", "USP10.dll", "MSLS31.dll", "RICHED32.DLL"})
        SystemModule(name);
}

// The agent's cycle reports to the stub window and hands downloaded setups to the setup driver.
AgentWindowSide AgentSide() {
    AgentWindowSide side;
    side.ui = &StubWindowUi();
    side.window = [] { return StubWindow; };
    side.notifyClient = &NotifyClient;
    side.runSetup = &RunSetup;
    return side;
}

void InstallSystemSeams() {
    InstallWin32Platform();
    InstallLeadByteTest();
    InstallThreadLocaleSource();
    InstallWin32AgentSettings();
    InstallWin32AgentPlatform(AgentSide());
    InstallTraceSink();
}

void TracePid() { TraceOut().Write(int64_t(GetCurrentProcessId())); }

RunModeInput ModeInput(const TGFileInfo& own, const std::string& exePath) {
    RunModeInput in;
    in.isAgent = own.IsAgent();
    in.agentFileName = own.AgentFileName();
    in.exePath = exePath;
    in.spannedPackage = own.SpannedPackage();
    in.spanLevel = GetSwitchInt(kSwitchSpanLevel, 1);
    return in;
}

bool WindowOfClassExists(const std::string& className) {
    return !className.empty() && FindWindowA(className.c_str(), nullptr) != nullptr;
}

void RunStubWindow(const TGFileInfo& own, const std::string& className) {
    const std::string& lang = own.LanguageText();
    StubWindowHooks hooks;
    hooks.className = className;
    hooks.caption = GetLangString(lang, "s0", "Zolvex Installation Suite");
    hooks.charset = GetLangCharset(lang);
    hooks.agent = ThisIs_AutoUpdateProg;
    hooks.setupTick = &DispatchSetup;
    hooks.agentTick = &AgentTimerTick;
    hooks.removeSetupFolder = &RemoveSetupFolder;
    hooks.afterLoop = &AfterStubLoop;
    hooks.runLog = &WriteRunLog;
    // A size of 0 leaves the message box's own size.
    SetMsgBoxFont(GetLangFontName(lang), GetLangFontSize(lang), GetLangCharset(lang));
    WinMain(hooks);
}

void DoRunStubWin(const TGFileInfo& own, const RunModeInput& in) {
    WriteRunLog("DoRunStubWin() --- Start");
    const std::string className = StubClassName(in.isAgent, in.exePath);
    const bool wasRunning = WindowOfClassExists(AgentCopyClassName(in.agentFileName)) &&
                            !Trim(in.agentFileName).empty();
    WriteRunLog("X_ExeIsRunning=" + BoolText(wasRunning));
    WriteRunLog("ThisIs_Plain_AutoUpdate_Exe=" + BoolText(ThisIsPlainAutoUpdateExe(in)));
    WriteRunLog("ThisIs_X_AutoUpdate_Exe=" + BoolText(ThisIsXAutoUpdateExe(in)));

    const RunMode mode = ChooseRunMode(in);
    TracePid();
    TraceOut().Write(" ==== RunMode=").WriteLine(RunModeName(mode));
    if (WindowOfClassExists(className)) {
        // Another instance of this same program is active: nothing else starts.
        TracePid();
        TraceOut().WriteLine(" ==== Already running: " + className);
    } else {
        switch (mode) {
            case RunMode::PlainAgent:
                CreateAndRun_X_Exe(wasRunning);
                break;
            case RunMode::AgentCopy:
                WriteRunLog("CheckTestMode");
                CheckTestMode(true);
                WriteRunLog("WinMain");
                RunStubWindow(own, className);
                WriteRunLog("DeleteMySelf");
                DeleteMySelf(false);
                break;
            case RunMode::SpannedFirstRun:
                RelaunchFromTemp();
                break;
            case RunMode::SetupStub:
                RunStubWindow(own, className);
                if (IsSpanLevel2()) DeleteMySelf(true);
                break;
        }
    }
    if (mode == RunMode::PlainAgent) HandleParamOK(wasRunning);
    WriteRunLog("DoRunStubWin() --- End");
}

int RunStubGuarded() {
    const std::string commandLine = Host().commandLine();
    const std::string exePath = Host().exePath();
    TracePid();
    TraceOut().Write(" ==== STUB START ====> ").Write(commandLine).WriteLine("<");

    {
        TGFileInfo own(exePath);
        OwnPackage = &own;
        ThisIs_AutoUpdateProg = own.IsAgent();
        const RunModeInput in = ModeInput(own, exePath);
        StartRunLog(ThisIs_AutoUpdateProg && own.RunLogEnabled(), ThisIsXAutoUpdateExe(in), exePath,
                    commandLine, GetExeVersion("", 1, 4));
        TracePid();
        TraceOut().Write(" ==== ThisIs_AutoUpdateProg=").Write(ThisIs_AutoUpdateProg).WriteLine();
        DoRunStubWin(own, in);
        OwnPackage = nullptr;
    }

    TracePid();
    TraceOut().Write(" ==== STUB END ====> ").Write(commandLine).WriteLine("<");
    TraceOut().WriteLine();
    EndRunLog(exePath);
    return StubExitCode();
}

}  // namespace

int RunStub() {
    HardenDllSearch();
    LoadStartupLibraries();
    InstallSystemSeams();
    return RunStubGuarded();
}

}  // namespace zv
