// The inform release, the installation of an update with the shut-down and restart of the
// program, and the agent's own restart.
#include "autoupdate/update_cycle.h"
#include "autoupdate/update_decision.h"
#include "autoupdate/update_files.h"
#include "package/gfile_info.h"
#include "rundir/run_time_dir.h"
#include "utils/platform.h"
#include "utils/run_log.h"
#include "utils/text.h"
#include "utils/trace.h"

namespace zv {

namespace {

constexpr uint32_t kProgramEndWait = 1000;

std::string ProgName(const std::string& text) {
    return ReplaceAll(text, "PROG_NAME", InfoFile::ProgramName());
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace

bool UpdateCycle::PerformAutoInform() {
    WriteRunLog("PerformAutoInform() - START ");
    bool result = false;
    TracePid(" ==== PerformAutoInform-1 ====");
    const std::string base = InfoFile::DownloadURL_UPDATE();
    const std::string name = InfoFile::NameOfInformFile();
    if (!base.empty() && !name.empty()) {
        TracePid(" ==== PerformAutoInform-2 ====");
        a_.AgentPhase = 2;
        p_.NotifyClient(41, 1);
        std::string error;
        const bool ok = DownloadFileAU(base, name, kInformDownload, error);
        p_.NotifyClient(41, 2);
        if (ok) {
            TracePid(" ==== PerformAutoInform-3 ====");
            // The file the token check read, not the name as the server wrote it.
            const std::string local = AgentDownloadPath(name);
            std::string content;
            p_.ReadFileBounded(local, kMaxInformFileBytes, content);
            InformDialogArgs args;
            args.title = AgentMessage("s34");
            args.button = AgentMessage("s35");
            args.text = SplitInformFile(content).text;
            args.link = InfoFile::DownloadURL_INFORM();
            args.width = int(InfoFile::AutoInformW());
            args.height = int(InfoFile::AutoInformH());
            args.fontFace = OriginalFile::FontName();
            args.fontSize = int(OriginalFile::FontSize());
            args.charset = int(OriginalFile::CharSet());
            result = p_.ShowInformDialog(args);
            if (result) OriginalFile::SetVersionOriginal(InfoFile::VersionNew());
            TracePid(" ==== PerformAutoInform-4 ====");
        }
    }
    WriteRunLog("PerformAutoInform() - END " + BoolText(result));
    return result;
}

bool UpdateCycle::ShutDownProcess(const std::string& process) {
    const std::string method = InfoFile::ShutDownMethod();
    WriteRunLog("Shut Down Process() - START  (" + process + ")  Method: " + method);
    if (method == "Issue a Message Box") {
        const std::string text = ReplaceAll(AgentMessage("s15"), "PROG_NAME", ExtractFileName(process));
        TraceOut().WriteLine("s1=" + text + "<");
        while (p_.IsProgramRunning(process)) Box(AgentBox::Attention, 0, text);
    }
    TracePid(" ==== PerformAutoUpdate-8 ====");
    bool wait = true;
    if (method == "Using WM_CLOSE") {
        p_.CloseProgram(process);
    } else if (method == "Using WM_QUIT") {
        p_.QuitProgram(process);
    } else if (method == "Using Terminate Process") {
        p_.TerminateProgram(process);
    } else if (method == "Don't Shut Down") {
        wait = false;
    }
    if (wait) p_.WaitProgramEnd(process, kProgramEndWait);
    TracePid(" ==== PerformAutoUpdate-9 ====");
    WriteRunLog("Shut Down Process() - END");
    return wait;
}

bool UpdateCycle::PerformAutoUpdate() {
    WriteRunLog("PerformAutoUpdate() - START");
    bool result = false;
    TracePid(" ==== PerformAutoUpdate-4 ====");
    const std::string base = InfoFile::DownloadURL_UPDATE();
    const std::string name = InfoFile::NameOfUpdateFile();
    const bool manual = a_.ManualCheckState == 1;
    bool go = !base.empty() && !name.empty();
    if (go) {
        TracePid(" ==== PerformAutoUpdate-5 ====");
        const bool install = InfoFile::RequestConfirmationBeforeInstall();
        std::string text = AgentMessage("s11");
        if (InfoFile::RequestConfirmationBeforeDownloadForce())
            text += AgentMessage(install ? "s19" : "s18");
        else
            text += AgentMessage(install ? "s13" : "s12");
        text = ProgName(text);
        if (InfoFile::RequestConfirmationBeforeDownload() && !manual) {
            if (InfoFile::RequestConfirmationBeforeDownloadForce())
                Box(AgentBox::Attention, 2, text);
            else
                go = Box(AgentBox::Confirm, 0, text);
            p_.Wait(500);
        }
    }
    std::string local;
    if (go) {
        TracePid(" ==== PerformAutoUpdate-6 ====");
        a_.AgentPhase = 2;
        p_.NotifyClient(41, 1);
        std::string error;
        const bool ok = DownloadFileAU(base, name, kUpdateDownload, error);
        p_.NotifyClient(41, 2);
        const bool force = InfoFile::RequestConfirmationBeforeInstallForce();
        const std::string text = ProgName(AgentMessage(force ? "s20" : "s14"));
        go = ok;
        if (ok && InfoFile::RequestConfirmationBeforeInstall() && !manual) {
            if (force)
                Box(AgentBox::Attention, 2, text);
            else
                go = Box(AgentBox::Confirm, 0, text);
            p_.Wait(100);
        }
        // The file the download stored and the token check passed: never the name as written.
        local = AgentDownloadPath(name);
        if (!go && ok) p_.RemoveFile(local);
    }
    if (go && !local.empty()) {
        TracePid(" ==== PerformAutoUpdate-7 ====");
        SetInstallDirs(OriginalFile::TargetDir(), OriginalFile::SharedDir(),
                       OriginalFile::AuxiliaryDir());
        const std::string process = ExpandMacros(InfoFile::RunningProcess(), "\\", true, true);
        const bool wasRunning = !process.empty() && p_.IsProgramRunning(process);
        ShutDownProcess(process);
        const bool shutDown = wasRunning && !p_.IsProgramRunning(process);
        const bool restart = InfoFile::RestartProcess() && shutDown;
        const std::string tail = "/OriginalInfoFile=" + Quoted(InfoFilePath());

        a_.AgentPhase = 3;
        p_.NotifyClient(42, 1);
        TracePid(" ==== PerformAutoUpdate-10 ====");
        const std::string agentName = OwnPackage ? OwnPackage->AgentFileName() : std::string();
        result = p_.RunSetup(ui_, local, agentName, tail, !InfoFile::BackgroundUpdate());
        TracePid(" ==== PerformAutoUpdate-11 ====");
        p_.NotifyClient(42, 2);
        if (result) OriginalFile::SetVersionOriginal(InfoFile::VersionNew());
        p_.RemoveFile(local);

        bool answer = true;
        if (result && (InfoFile::InformFinish() || manual)) {
            const std::string s16 = ProgName(AgentMessage("s16"));
            if (restart)
                answer = Box(AgentBox::Confirm, 1, s16 + AgentMessage("s17"));
            else
                Box(AgentBox::Attention, 1, s16);
        }
        TracePid(" ==== PerformAutoUpdate-12 ====");
        TraceOut().WriteLine(BoolText(restart) + " " + BoolText(answer) + " >" + process + "<");
        // Only the program that was running at that full path and was shut down comes back.
        if (restart && answer && !p_.StartProgram(Quoted(process), true))
            WriteRunLog("ERROR: cannot restart " + process);
    }
    TracePid(" ==== PerformAutoUpdate-13 ====");
    WriteRunLog("PerformAutoUpdate() - END    Result=" + BoolText(result));
    return result;
}

bool UpdateCycle::ReStartAutoUpdateExe() {
    WriteRunLog(".. ReStartAutoUpdateExe() - Start");
    bool restarted = false;
    // A stop ordered during the installation wins, also one due on the very next tick.
    if (a_.StopCountdown < 0) {
        const std::string agentName = OwnPackage ? OwnPackage->AgentFileName() : std::string();
        const std::string command = Quoted(GetExeDir(true) + agentName) +
                                    " /_ZZ=99 /WAIT=10 /TRANSIENT=" +
                                    BuildTransientList(a_.Overrides);
        WriteRunLog(".. WinExec - " + command);
        if (!agentName.empty() && p_.StartProgram(command, false)) {
            p_.Wait(1000);
            WriteRunLog(".. PostMessage(WM_DESTROY)");
            p_.DestroyAgentWindow();
            restarted = true;
        } else {
            // Ending this copy now would leave no agent at all.
            WriteRunLog(".. ERROR: the agent could not be started; this copy keeps running");
        }
    }
    WriteRunLog(".. ReStartAutoUpdateExe() - End");
    return restarted;
}

}  // namespace zv
