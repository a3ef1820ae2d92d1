#include "autoupdate/agent_state.h"

#include <algorithm>
#include <climits>

#include "utils/sub.h"
#include "utils/text.h"

namespace zv {

std::string BuildTransientList(const TransientOverrides& overrides) {
    std::string list = "|";
    for (int slot = 1; slot <= 8; ++slot) list += IntText(overrides.Get(slot)) + "|";
    return list;
}

void ApplyTransientList(TransientOverrides& overrides, const std::string& list) {
    for (int slot = 1; slot <= 8; ++slot) {
        const std::string item = SUB::GetItem(list, slot - 1, "");
        if (item.empty()) continue;
        const int64_t missing = INT64_MIN;
        int64_t v = StrToInt64Def(item, missing);
        if (v != missing) overrides.Set(slot, uint8_t(v & 0xFF));
    }
}

AgentState& Agent() {
    static AgentState state;
    return state;
}

namespace {
AgentIniAccess g_emptyIni;
AgentIniAccess* g_ini = &g_emptyIni;
}  // namespace

AgentIniAccess& AgentIni() { return *g_ini; }
void SetAgentIni(AgentIniAccess* access) { g_ini = access ? access : &g_emptyIni; }

int32_t HandleAgentCommand(int32_t code, int32_t value, AgentState& state, AgentIniAccess& ini) {
    // 64-bit ini values travel back as their low 32 bits.
    auto low = [](int64_t v) { return int32_t(uint32_t(uint64_t(v))); };
    switch (code) {
        case 4: return low(ini.VersionOriginal());
        case 5: return low(ini.VersionNew());
        case 7: return state.AgentPhase;
        case 8: return low(ini.ProbeSecondsInterval());
        case 9: return low(ini.ReAskSecondsInterval());
        case 10: return low(ini.ProbeSecondsLast());
        case 11: return low(ini.ReAskSecondsLast());
        case 12: ini.SetProbeSecondsInterval(value); return 0;
        case 13: ini.SetReAskSecondsInterval(value); return 0;
        case 14: ini.SetProbeSecondsLast(int64_t(uint32_t(value))); return 0;
        case 15: ini.SetReAskSecondsLast(int64_t(uint32_t(value))); return 0;
        case 20: case 21: case 22: case 23: case 24: case 25:
            state.Overrides.Set(code - 19, uint8_t(value & 0xFF));
            return 0;
        case 30: state.StopCountdown = value; return 0;
        case 31:
            state.ForceShot = true;
            state.AutoUpdateTimerCount = std::max(state.AutoUpdateTimerCount, 1);
            if (value == 2) state.ManualCheckState = 2;
            return 0;
        case 32: state.JustDownloadInfoFile = true; return 0;
        default: return 0;
    }
}

}  // namespace zv
