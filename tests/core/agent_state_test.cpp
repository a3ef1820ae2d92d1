#include <gtest/gtest.h>

#include "autoupdate/agent_state.h"

namespace zv {
namespace {

class FakeIni : public AgentIniAccess {
public:
    int64_t ProbeSecondsInterval() override { return 0x100000005LL; }
    void SetReAskSecondsLast(int64_t v) override { reAskLast = v; }
    int64_t reAskLast = 0;
};

TEST(AgentCommand, ReadsWritesAndIgnoresUnknownCodes) {
    AgentState state;
    FakeIni ini;
    EXPECT_EQ(HandleAgentCommand(8, 0, state, ini), 5);  // low 32 bits of the ini value
    EXPECT_EQ(HandleAgentCommand(15, -7, state, ini), 0);
    EXPECT_EQ(ini.reAskLast, 0xFFFFFFF9LL);               // a time: zero-extended
    state.AgentPhase = 2;
    EXPECT_EQ(HandleAgentCommand(7, 0, state, ini), 2);

    AgentState before = state;
    for (int code : {0, 1, 2, 3, 6, 16, 19, 26, 29, 33, -1, 1000}) {
        EXPECT_EQ(HandleAgentCommand(code, 99, state, ini), 0) << code;
    }
    EXPECT_EQ(state.StopCountdown, before.StopCountdown);
    EXPECT_EQ(state.AutoUpdateTimerCount, before.AutoUpdateTimerCount);
    EXPECT_EQ(state.Overrides.slots, before.Overrides.slots);
}

TEST(AgentCommand, UserRequestedCycle) {
    AgentState state;
    AgentIniAccess none;
    EXPECT_EQ(HandleAgentCommand(31, 2, state, none), 0);
    EXPECT_TRUE(state.ForceShot);
    EXPECT_EQ(state.AutoUpdateTimerCount, 1);
    EXPECT_EQ(state.ManualCheckState, 2);

    AgentState later;
    later.AutoUpdateTimerCount = 40;
    HandleAgentCommand(31, 1, later, none);
    EXPECT_EQ(later.AutoUpdateTimerCount, 40);
    EXPECT_EQ(later.ManualCheckState, 0);
}

TEST(AgentCommand, OverrideSlotsTakeTheLowByte) {
    AgentState state;
    AgentIniAccess none;
    HandleAgentCommand(20, 0x101, state, none);
    HandleAgentCommand(25, 0, state, none);
    EXPECT_EQ(BuildTransientList(state.Overrides), "|1|255|255|255|255|0|255|255|");
}

TEST(TransientList, AppliesNumbersAndKeepsTheRest) {
    TransientOverrides o;
    EXPECT_EQ(BuildTransientList(o), "|255|255|255|255|255|255|255|255|");
    ApplyTransientList(o, "|1||x|0|256|");
    EXPECT_EQ(BuildTransientList(o), "|1|255|255|0|0|255|255|255|");
    TransientOverrides round;
    ApplyTransientList(round, BuildTransientList(o));
    EXPECT_EQ(round.slots, o.slots);
}

}  // namespace
}  // namespace zv
