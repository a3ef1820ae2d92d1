#include "stub/win/stub.h"

#include <windows.h>

#include "lang/lang_strings.h"
#include "package/gfile_info.h"
#include "package/setup_exit.h"
#include "package/win/extract_fs_win.h"
#include "package/win/setup_folder_win.h"
#include "package/win/stub_dispatch.h"
#include "stub/run_mode.h"
#include "stub/win/stub_window.h"
#include "utils/host_env.h"
#include "utils/trace.h"
#include "utils/win/dll_loader.h"
#include "utils/win/files_win.h"
#include "utils/win/utility_hooks.h"
#include "utils/win/win_env.h"
#include "utils/win/zdebug.h"

namespace zv {
namespace {

// The setup-stub modes: the spanned first run relaunches from the temp copy, every other start
// runs the window whose first tick dispatches the setup.
void RunSetupModes(const TGFileInfo& own) {
    const std::string className = StubClassName(own.IsAgent(), Host().exePath());
    if (FindWindowA(className.c_str(), nullptr)) return;  // this setup runs already
    if (IsSpanLevel1()) {
        RelaunchFromTemp();
        return;
    }
    StubWindowHooks hooks;
    hooks.className = className;
    hooks.caption = GetLangString(own.LanguageText(), lang::kWindowTitle);
    hooks.charset = GetLangCharset(own.LanguageText());
    hooks.setupTick = &DispatchSetup;
    hooks.removeSetupFolder = &RemoveSetupFolder;
    WinMain(hooks);
    if (IsSpanLevel2()) DeleteMySelf(true);
}

}  // namespace

int RunStub() {
    HardenDllSearch();
    InstallWin32Host();
    InstallTraceSink();
    InstallWin32UtilityHooks();
    InstallWin32ExtractFs();

    const std::string commandLine = Host().commandLine();
    const int64_t pid = GetCurrentProcessId();
    TraceOut().Write(pid).Write(" ==== STUB START ====> ").Write(commandLine).WriteLine("<");

    try {
        TGFileInfo own(Host().exePath());
        OwnPackage = &own;
        RunSetupModes(own);
        OwnPackage = nullptr;
    } catch (const std::exception& e) {
        OwnPackage = nullptr;
        TraceException(e, "RunStub");
    }

    TraceOut().Write(pid).Write(" ==== STUB END ====> ").Write(commandLine).WriteLine("<");
    TraceOut().WriteLine();
    return StubExitCode();
}

}  // namespace zv
