// Whether a probe is due, and whether the release the probe fetched is to be offered now: a
// fixed chain of tests whose first failure names the reason. A per-user test mode, switched on
// in the registry for one calendar day, points downloads to a test address and probes every
// five seconds.
#pragma once
#include <cstdint>
#include <string>

#include "autoupdate/agent_state.h"

namespace zv {

constexpr const char* kTestModeKey = "HKEY_CURRENT_USER\\Software\\Velmorra\\Zolvex\\AutoUpdate";
constexpr uint32_t kTestModeReadPause = 30000;   // ms between unforced registry reads
constexpr int64_t kTestModeProbeSeconds = 5;
constexpr int64_t kSizeTolerance = 100;           // bytes a size may be off and still pass

struct TestModeState {
    bool TestMode = false;
    std::string TestModeURL;
    uint32_t lastTick = 0;   // tick count of the last CheckTestMode call
};
TestModeState& AgentTestMode();

// Reads the registry when forced or more than 30 s (tick-count difference, so the 49.7-day
// wrap does not matter) after the previous call of either kind; returns TestMode.
bool CheckTestMode(bool force);

// 0 no probe, 1 probe now, 2 probe now and no further interval-driven probe in this run.
// Consumes ForceShot.
int GetShotTimeStatus(AgentState& agent);
int GetShotTimeStatus();

bool ReAskDue();
bool ValidVersionMatch();
bool CheckUpdateFileSize(const std::string& base, const std::string& updateName,
                         const std::string& informName);

enum DecisionCode {
    kDecisionInfoDownload = 0,
    kDecisionOriginalFile,
    kDecisionTooEarly,
    kDecisionNotHigher,
    kDecisionVersionMismatch,
    kDecisionFileSize,
    kDecisionOK,
};
extern const char* const kDecisionReasons;   // self-delimited, indexed by the code

bool GetOkToPerformAU(bool downloadOK, int& code, std::string& reason, const AgentState& agent);
// The size test asks the platform's internetConnected and httpFileSize.
bool GetOkToPerformAU(bool downloadOK, int& code, std::string& reason);

}  // namespace zv
