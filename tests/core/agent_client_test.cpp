#include <gtest/gtest.h>

#include "stub/agent_client.h"

namespace zv {
namespace {

TEST(AgentClient, OnlyMessagesAProgramDefinesForItselfAreAccepted) {
    struct Case {
        int64_t message;
        bool accepted;
    } cases[] = {
        {0x0010, false},   // WM_CLOSE
        {0x0012, false},   // WM_QUIT
        {0x0002, false},   // WM_DESTROY
        {0x03FF, false},   // last system message
        {0x0400, true},    // WM_USER
        {0x8000, true},    // WM_APP
        {0xC123, true},    // a registered message
        {0xFFFF, true},
        {0x10000, false},  // reserved by the system
        {-1, false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsClientMessageNumber(c.message), c.accepted) << c.message;
}

}  // namespace
}  // namespace zv
