#include "stub/win/agent_hooks.h"

#include <string>
#include <utility>

#include "autoupdate/agent_copy.h"
#include "autoupdate/agent_state.h"
#include "autoupdate/update_cycle.h"
#include "inet/win/inet_http.h"
#include "package/gfile_info.h"
#include "stub/run_mode.h"
#include "stub/win/stub_window.h"
#include "utils/file_io.h"
#include "utils/platform.h"
#include "utils/run_log.h"
#include "utils/sub.h"
#include "utils/switches.h"
#include "utils/text.h"
#include "utils/trace.h"
#include "utils/win/processes_win.h"

namespace zv {

namespace {

void TracePid() { TraceOut().Write(int64_t(GetCurrentProcessId())); }

std::string CopyPath() {
    const std::string exe = Host().exePath();
    return ExtractFilePath(exe) + "X_" + ExtractFileName(exe);
}

// Posts to the running copy's main window; the copy is found by the full path of its
// executable, so a program that merely shares its file name is never addressed.
bool PostToCopy(UINT message, WPARAM wp, LPARAM lp) {
    return PostProcessMessage(CopyPath(), true, message, wp, lp);
}

class CopyWatch final : public OldCopyWatch {
public:
    explicit CopyWatch(std::string copy) : copy_(std::move(copy)) {}
    bool CopyRunning() override { return IsProgramRunning(copy_); }
    bool CopyFileExists() override { return FileExists(copy_); }
    uint32_t TickCount() override { return GetTickCount(); }
    void Wait(uint32_t ms) override { zv::Wait(ms); }

private:
    std::string copy_;
};

}  // namespace

void CreateAndRun_X_Exe(bool wasRunning) {
    WriteRunLog("CreateAndRun_X_Exe() --- Start");
    const std::string zz = GetSwitchValue("/_ZZ=", "");
    TracePid();
    TraceOut().Write(" CreateAndRun_X_Exe-1 ").WriteLine(zz);
    const std::string exe = Host().exePath();
    const bool restart = zz == "99";
    if (ThisIs_AutoUpdateProg && (!wasRunning || restart) && OwnPackage &&
        SameTextTrim(ExtractFileName(exe), OwnPackage->AgentFileName())) {
        TracePid();
        TraceOut().WriteLine(" CreateAndRun_X_Exe-2");
        const int64_t seconds = GetSwitchInt("/WAIT=", 0);
        WriteRunLog("Wait " + IntText(seconds) + " SEC");
        if (seconds > 0) Wait(seconds * 1000);
        const std::string copy = CopyPath();
        CopyWatch watch(copy);
        if (!WaitForOldCopy(watch)) {
            WriteRunLog("The running X_ copy did not end: no new copy started");
            WriteRunLog("CreateAndRun_X_Exe() --- End");
            return;
        }
        if (!CopyFileA(exe.c_str(), copy.c_str(), FALSE)) {
            WriteRunLog("Create X_ File failed (" + IntText(GetLastError()) +
                        "): no new copy started");
            WriteRunLog("CreateAndRun_X_Exe() --- End");
            return;
        }
        WriteRunLog("Create X_ File ");
        std::string arguments;
        const std::string transient = GetSwitchValue("/TRANSIENT=", "");
        if (!transient.empty()) arguments += " /TRANSIENTx=" + transient;
        const std::string delay = GetSwitchValue("/DELAY=", "");
        if (!delay.empty()) arguments += " /SleepX=" + delay;
        WriteRunLog("WinExec: " + copy + arguments);
        // Quoted: unquoted, a folder with a blank ("C:\Program Files\...") would start whatever
        // program matches the path up to the first blank.
        const std::string command = "\"" + copy + "\"" + arguments;
        WinExec(command.c_str(), SW_HIDE);
        if (!GetParamsText().empty()) {
            // Give the copy time to start so forwarded switches reach it.
            const DWORD start = GetTickCount();
            while (!IsProgramRunning(copy) && GetTickCount() - start < 3000) Wait(200);
        }
    }
    WriteRunLog("CreateAndRun_X_Exe() --- End");
}

bool HandleParamOK(bool wasRunning) {
    WriteRunLog("HandleParamOK() --- Start");
    bool result = false;
    const std::string copy = CopyPath();
    const bool copyExists = GetFileAttributesA(copy.c_str()) != INVALID_FILE_ATTRIBUTES;
    const int64_t stop = GetSwitchInt("/STOP=", -1);
    if (stop >= 0 && copyExists) {
        WriteRunLog("PostProcessMessage(wm_ShutDown) to: " + copy);
        PostToCopy(wm_ShutDown, WPARAM(stop), 0);
        result = true;
    }
    const std::string m = GetSwitchValue("/WM_MSG=", "");
    if (!m.empty() && copyExists) {
        const std::string list = ":" + m + ":";
        const int64_t window = SUB::GetItemInt(list, 0, 0);
        const int64_t message = SUB::GetItemInt(list, 1, 0);
        WriteRunLog("PostProcessMessage(wm_LocalMsg) to: " + copy + " - " + list);
        PostToCopy(wm_LocalMsg, WPARAM(window), LPARAM(message));
        result = true;
    }
    const int64_t test = GetSwitchInt("/TEST=", -1);
    if (test >= 0 && copyExists) {
        WriteRunLog("PostProcessMessage(wm_AgentMsg) to: " + copy + " - AU_PerformUpdateCycle (" +
                    IntText(test) + ")");
        PostToCopy(wm_AgentMsg, 31, LPARAM(test));
        if (!wasRunning && test > 0) PostToCopy(wm_ShutDown, 2, 0);
        result = true;
    }
    WriteRunLog("HandleParamOK() --- End");
    return result;
}

void AgentTimerTick(HWND) {
    if (UpdateCycle* cycle = AgentCycle()) cycle->AgentTimerTick();
}

void AfterStubLoop() { UnloadWinINet(); }

}  // namespace zv
