// State of a running agent that outside programs can read and steer through wm_AgentMsg,
// and the command table that answers those messages.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace zv {

// Overridable switches held by the running agent; 255 means "not overridden".
struct TransientOverrides {
    enum Slot {
        AskBeforeProbe = 1,
        RequestConfirmationBeforeDownload,
        RequestConfirmationBeforeInstall,
        BackgroundUpdate,
        InformFinish,
        RestartProcess,
        RequestConfirmationBeforeDownloadForce,
        RequestConfirmationBeforeInstallForce,
    };
    std::array<uint8_t, 9> slots{};  // index 1..8; index 0 unused

    TransientOverrides() { slots.fill(255); }
    uint8_t Get(int slot) const { return slot >= 1 && slot <= 8 ? slots[size_t(slot)] : 255; }
    void Set(int slot, uint8_t value) {
        if (slot >= 1 && slot <= 8) slots[size_t(slot)] = value;
    }
};

// "|" followed by the eight slot values in decimal, each closed by "|".
std::string BuildTransientList(const TransientOverrides& overrides);
// Stores the low byte of every item that reads as a decimal integer; other slots stay.
void ApplyTransientList(TransientOverrides& overrides, const std::string& list);

struct AgentState {
    int32_t StopCountdown = -1;          // ticks left before the agent quits; -1 = never
    int32_t AutoUpdateTimerCount = -3;   // first check when it reaches 1 (fourth tick)
    int32_t AgentPhase = 0;              // 0 idle, 1 info download, 2 update/inform download, 3 installing
    int32_t ManualCheckState = 0;        // 2 ordered, 1 running this tick, 0 none
    bool ForceShot = false;
    bool PeriodicProbing = true;         // cleared after a probe under interval 0: forced only
    bool JustDownloadInfoFile = false;
    TransientOverrides Overrides;
};

AgentState& Agent();

// The update description values that commands 4, 5 and 8..15 read and write. The agent's ini
// accessors implement it; without them every read is 0 and writes go nowhere.
class AgentIniAccess {
public:
    virtual ~AgentIniAccess() = default;
    virtual int64_t VersionOriginal() { return 0; }
    virtual int64_t VersionNew() { return 0; }
    virtual int64_t ProbeSecondsInterval() { return 0; }
    virtual int64_t ReAskSecondsInterval() { return 0; }
    virtual int64_t ProbeSecondsLast() { return 0; }
    virtual int64_t ReAskSecondsLast() { return 0; }
    virtual void SetProbeSecondsInterval(int64_t) {}
    virtual void SetReAskSecondsInterval(int64_t) {}
    virtual void SetProbeSecondsLast(int64_t) {}
    virtual void SetReAskSecondsLast(int64_t) {}
};

AgentIniAccess& AgentIni();
void SetAgentIni(AgentIniAccess* access);  // nullptr restores the empty one

// Answers one wm_AgentMsg: code = wParam, value = lParam. Times (codes 10, 11, 14, 15) travel
// as unsigned 32 bits both ways: today's seconds since 1899 are above 2^31, and a time read and
// written back must stay the same time.
int32_t HandleAgentCommand(int32_t code, int32_t value, AgentState& state, AgentIniAccess& ini);

}  // namespace zv
