#include "autoupdate/update_cycle.h"

#include <climits>

#include "autoupdate/update_decision.h"
#include "autoupdate/update_files.h"
#include "package/entry_name.h"
#include "package/gfile_info.h"
#include "package/package_layout.h"
#include "utils/platform.h"
#include "utils/run_log.h"
#include "utils/sub.h"
#include "utils/switches.h"
#include "utils/text.h"
#include "utils/trace.h"

namespace zv {

namespace {

UpdateCycle* g_cycle = nullptr;
AgentPlatform* g_platform = nullptr;

// The agent's texts when the language block has none.
struct MessageDefault {
    const char* key;
    const char* text;
};
constexpr MessageDefault kMessageDefaults[] = {
    {"s3", "File Download Aborted!"},
    {"s4", "File not Found!"},
    {"s5", "Unable to Download File!"},
    {"s31", "Downloading INFO File..."},
    {"s32", "Downloading UPDATE File..."},
    {"s33", "Downloading INFORM File..."},
    {"s34", "New Version"},
    {"s35", "Download"},
};

std::string OwnUpdateUrl() { return OwnPackage ? OwnPackage->UpdateUrl() : std::string(); }
std::string OwnAgentFileName() { return OwnPackage ? OwnPackage->AgentFileName() : std::string(); }
std::string OwnUpdateToken() { return OwnPackage ? OwnPackage->UpdateToken(true) : std::string(); }

}  // namespace

std::string AgentMessage(const std::string& key) {
    for (const MessageDefault& d : kMessageDefaults)
        if (key == d.key) return AutoUpdateMessages(key, d.text);
    return AutoUpdateMessages(key, std::string());
}

bool IsPathAddress(const std::string& base) {
    return (base.size() >= 2 && base[1] == ':') || StartsWith("\\\\", base, false);
}

std::string AgentDownloadPath(const std::string& name) {
    const std::string file = ExtractFileName(Trim(name));
    if (file.empty() || !IsSafeEntryName(file)) return std::string();
    const std::string exe = Host().exePath();
    const std::string agent = OwnAgentFileName();
    const std::string own[] = {
        ExtractFileName(exe),
        agent,
        "X_" + agent,
        ExtractFileName(OriginalFilePath()),
        ExtractFileName(InfoFilePath()),
        ExtractFileName(RunLogFileNameFor(exe)),
    };
    for (const std::string& taken : own)
        if (!taken.empty() && SameText(taken, file)) return std::string();
    return GetExeDir(true) + file;
}

InformFileParts SplitInformFile(const std::string& content) {
    InformFileParts parts;
    const std::string text = StartsWith("Scrambled=01", content, false) ? Unscramble(content) : content;
    size_t at = text.find('|');
    if (at == std::string::npos) return parts;
    std::string fields[3];
    for (std::string& field : fields) {
        const size_t end = text.find('|', at + 1);
        if (end == std::string::npos) return parts;
        field = text.substr(at + 1, end - at - 1);
        at = end;
    }
    parts.ok = true;
    parts.token = fields[0];
    parts.text = text.substr(at + 1);
    return parts;
}

void ApplyCopySwitches(AgentState& agent) {
    const int64_t sleep = GetSwitchInt("/SleepX=", -1);
    if (sleep >= 0) agent.AutoUpdateTimerCount = sleep > INT32_MAX ? INT32_MIN + 1 : int32_t(-sleep);
    // Overrides set through agent commands survive the restart after an update this way.
    const std::string transient = GetSwitchValue("/TRANSIENTx=", "");
    if (!transient.empty()) ApplyTransientList(agent.Overrides, transient);
}

void SetAgentPlatform(AgentPlatform* platform, UiSink& ui) {
    delete g_cycle;
    g_cycle = nullptr;
    g_platform = platform;
    if (platform) g_cycle = new UpdateCycle(*platform, ui, Agent());
}

UpdateCycle* AgentCycle() { return g_cycle; }

void UpdateCycle::TracePid(const std::string& text) {
    TraceOut().Write(Host().processId()).WriteLine(text);
}

bool UpdateCycle::Box(AgentBox kind, int mode, const std::string& text) {
    return p_.ShowBox(kind, mode, text);
}

void UpdateCycle::AgentTimerTick() {
    if (timerBusy_) return;
    timerBusy_ = true;
    if (a_.JustDownloadInfoFile) {
        TraceOut().WriteLine("-------------- JustDownloadInfoFile ---------------");
        a_.JustDownloadInfoFile = false;
        DownloadInfoFileOnly();
    } else {
        p_.SetMsgBoxFont(OriginalFile::FontName(), int(OriginalFile::FontSize()),
                         int(OriginalFile::CharSet()));
        a_.AgentPhase = 0;
        if (a_.ManualCheckState == 2) a_.ManualCheckState = 1;
        if (a_.ManualCheckState == 1) a_.AutoUpdateTimerCount = 0;
        if (a_.StopCountdown == 0) {
            // The loop ends with this tick: starting a cycle now would run it with no loop to
            // serve its boxes and downloads, and its nested pumps would eat the quit.
            p_.PostQuit();
            a_.StopCountdown = -1;
            a_.AgentPhase = 0;
            timerBusy_ = false;
            return;
        }
        if (a_.StopCountdown > 0) --a_.StopCountdown;
        ++a_.AutoUpdateTimerCount;
        TraceOut().Write(Host().processId()).Write(" AutoUpdateTimerCount=");
        TraceOut().Write(a_.AutoUpdateTimerCount).WriteLine();
        if (a_.AutoUpdateTimerCount > 0) {
            CheckTestMode(false);
            int status = GetShotTimeStatus(a_);
            TraceOut().Write(Host().processId()).Write(" ShotTimeStatus=").Write(status).WriteLine();
            if (status == 2) a_.PeriodicProbing = false;
            if (status >= 1 && (a_.ManualCheckState == 1 || a_.Overrides.Get(1) == 1))
                AskBeforeShot(status);
            if (status >= 1) PerformShot();
            if (a_.ManualCheckState == 1) a_.ManualCheckState = 0;
        }
    }
    a_.AgentPhase = 0;
    timerBusy_ = false;
}

bool UpdateCycle::DownloadInfoFileOnly() {
    p_.NotifyClient(40, 1);
    std::string error;
    const bool ok = DownloadFileAU(OwnUpdateUrl(), InfoFilePath(), kInfoDownload, error);
    p_.NotifyClient(40, 2);
    return ok;
}

void UpdateCycle::AskBeforeShot(int& status) {
    const std::string base = CheckTestMode(true) ? AgentTestMode().TestModeURL : OwnUpdateUrl();
    const std::string s22 = AgentMessage("s22");
    std::string s23 = AgentMessage("s23");
    const std::string s24 = AgentMessage("s24");
    std::string note = "<P><P><T><B>PLEASE NOTE</B> - You are now running in <B>Test Mode</B>!";
    if (base.size() < 2 || base[1] == ':') s23.clear();
    if (!CheckTestMode(true)) note.clear();
    const std::string text =
        ReplaceAll(s22 + s23 + s24 + note, "PROG_NAME", OriginalFile::ProgramName());
    if (Box(AgentBox::Confirm, 1, text)) return;
    status = 0;
    // "Not now" for an automatic check lasts until the next one is due: without a record the
    // same question would come back on the next tick, a second later, for as long as it is
    // declined.
    if (a_.ManualCheckState != 1) OriginalFile::SetProbeSecondsLast(SecondsNow());
}

void UpdateCycle::PerformShot() {
    TraceOut().Write(Host().processId()).Write(" Fire  ").WriteLine(DateTimeText(NowDateTime(), " "));
    CheckTestMode(true);
    bool performed = false;
    a_.AgentPhase = 1;
    p_.NotifyClient(40, 1);
    std::string error;
    const bool ok = DownloadFileAU(OwnUpdateUrl(), InfoFilePath(), kInfoDownload, error);
    p_.NotifyClient(40, 2);
    OriginalFile::SetProbeSecondsLast(SecondsNow());
    int code = 0;
    std::string reason;
    if (GetOkToPerformAU(ok, code, reason, a_)) {
        TracePid(" ==== PerformShot-1 ====");
        performed = true;
        OriginalFile::SetReAskSecondsLast(SecondsNow());
        OriginalFile::SetStamp(InfoFile::Stamp());
        if (InfoFile::IsInformRelease()) {
            PerformAutoInform();
        } else if (PerformAutoUpdate()) {
            ReStartAutoUpdateExe();
        }
        TracePid(" ==== PerformShot-2 ====");
    }
    if (a_.ManualCheckState != 1) return;
    p_.Wait(1000);
    ui_.Show(false);
    if (performed) return;
    const bool testMode = AgentTestMode().TestMode;
    std::string systemError;
    const bool connected = p_.InternetConnected(systemError);
    TraceOut().Write(Host().processId()).Write(" TestMode=").Write(BoolText(testMode));
    TraceOut().Write(" InternetConnected=").WriteLine(BoolText(connected));
    if (!testMode && !connected) {
        std::string text = AgentMessage("s2");
        if (!systemError.empty()) text += "<P><P>" + systemError;
        Box(AgentBox::Error, 0, text);
    } else if (!testMode && !error.empty()) {
        Box(AgentBox::Error, 0, error);
    } else {
        std::string text = AgentMessage("s21");
        if (IsDeveloperMode()) text += "<P><P>(" + IntText(code) + " - " + reason + ")   ";
        Box(AgentBox::Attention, 1, text);
    }
}

void UpdateCycle::SetStatusText(int kind) {
    std::string text;
    if (kind == kInfoDownload) text = AgentMessage("s31");
    if (kind == kUpdateDownload) text = AgentMessage("s32");
    if (kind == kInformDownload) text = AgentMessage("s33");
    ui_.SetStatusText(text, OriginalFile::FontName(), int(OriginalFile::CharSet()),
                     int(OriginalFile::FontSize()));
}

bool UpdateCycle::CheckDownloadToken(const std::string& file, int kind) {
    const std::string own = OwnUpdateToken();
    if (kind == kUpdateDownload) {
        // An empty token on both sides would make any package "ours".
        return !own.empty() && p_.PackageUpdateToken(file) == own;
    }
    if (kind == kInformDownload) {
        std::string content;
        if (!p_.ReadFileBounded(file, kMaxInformFileBytes, content)) return false;
        const InformFileParts parts = SplitInformFile(content);
        return parts.ok && !own.empty() && UnscrambleToken(parts.token) == own;
    }
    return false;
}

}  // namespace zv
