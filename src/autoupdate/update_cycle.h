// The agent copy's cycle: the one-second tick, the probe (info download and decision), the
// downloader for info, update and inform files with its token check, the inform release, and the
// installation of an update with the restart of the program and of the agent.
#pragma once
#include <cstdint>
#include <string>

#include "autoupdate/agent_platform.h"
#include "autoupdate/agent_state.h"
#include "utils/ui_sink.h"

namespace zv {

enum DownloadKind { kInfoDownload = 1, kUpdateDownload = 2, kInformDownload = 3 };

// Info and inform files are small descriptions; anything larger is refused, not held in memory.
constexpr int64_t kMaxInfoFileBytes = 4 * 1024 * 1024;
constexpr int64_t kMaxInformFileBytes = 4 * 1024 * 1024;

// The agent's texts (section AutoUpdate of the .original file) with their defaults.
std::string AgentMessage(const std::string& key);

// Where a downloaded update or inform file lives: the agent's folder + the file-name part of
// name. Empty for a name that is empty after that, "." or "..", a device or otherwise unsafe
// name, or one of the agent's own files (the agent, its "X_" copy, the running file, the
// .original, the .info, the run log).
std::string AgentDownloadPath(const std::string& name);

// The text fields of an inform file after unscrambling: A (the scrambled token) and R (the text).
struct InformFileParts {
    bool ok = false;   // the layout was found
    std::string token, text;
};
InformFileParts SplitInformFile(const std::string& content);

// A base address reachable as a local or network path ("C:..." or "\\host...").
bool IsPathAddress(const std::string& base);

class UpdateCycle {
public:
    // ui: where the cycle's downloads and setups report, normally the agent's stub window.
    UpdateCycle(AgentPlatform& platform, UiSink& ui, AgentState& agent)
        : p_(platform), ui_(ui), a_(agent) {}

    void AgentTimerTick();
    bool DownloadInfoFileOnly();
    void AskBeforeShot(int& status);
    void PerformShot();
    void SetStatusText(int kind);
    bool DownloadFileAU(const std::string& base, const std::string& name, int kind,
                        std::string& error);
    bool CheckDownloadToken(const std::string& file, int kind);
    bool PerformAutoInform();
    bool PerformAutoUpdate();
    // True when the plain agent was started and this copy's window is being destroyed.
    bool ReStartAutoUpdateExe();

    bool TimerBusy() const { return timerBusy_; }

private:
    bool ShutDownProcess(const std::string& process);
    bool Box(AgentBox kind, int mode, const std::string& text);
    void TracePid(const std::string& text);

    AgentPlatform& p_;
    UiSink& ui_;
    AgentState& a_;
    bool timerBusy_ = false;
};

// The switches the agent copy is started with: "/SleepX=" n of 0 or more makes the first probe
// come on tick n + 1 instead of the fourth; "/TRANSIENTx=" restores the overrides the previous
// copy held (a list as BuildTransientList writes it).
void ApplyCopySwitches(AgentState& agent);

// The process-wide cycle of the agent copy, over the platform and the sink the Win32 layer
// installs; a null platform removes the cycle.
void SetAgentPlatform(AgentPlatform* platform, UiSink& ui);
UpdateCycle* AgentCycle();

}  // namespace zv
