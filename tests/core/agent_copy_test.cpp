// The restart's wait for the old agent copy: its window gone and its file deleted before the new
// copy is written and started.
#include "autoupdate/agent_copy.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

// An old copy that ends at endsAt (0: not running at all; never: still running) and whose file
// is deleted at fileGoneAt (never: left behind).
struct Timeline final : OldCopyWatch {
    static constexpr uint32_t kNever = UINT32_MAX;
    uint32_t endsAt, fileGoneAt, now = 0;
    Timeline(uint32_t ends, uint32_t fileGone) : endsAt(ends), fileGoneAt(fileGone) {}
    bool CopyRunning() override { return now < endsAt; }
    bool CopyFileExists() override { return now < fileGoneAt; }
    uint32_t TickCount() override { return now; }
    void Wait(uint32_t ms) override { now += ms; }
};

TEST(OldCopy, TheNewCopyWaitsForTheOldOneAndItsFile) {
    constexpr uint32_t kNever = Timeline::kNever;
    struct Case {
        const char* name;
        uint32_t endsAt, fileGoneAt;
        bool mayStart;
        uint32_t waitedAtLeast, waitedAtMost;
    } cases[] = {
        {"no old copy: no wait, even with a stale file", 0, kNever, true, 0, 0},
        {"the old copy ends, then deletes its file", 3000, 3500, true, 3600, 3600},
        {"the old copy ends and its file stays: overwritten after the file limit", 1000, kNever,
         true, 1000 + kOldCopyFileLimitMs, 1000 + kOldCopyFileLimitMs + kOldCopyPollMs},
        {"the old copy never ends: nothing is started", kNever, kNever, false,
         kOldCopyEndLimitMs, kOldCopyEndLimitMs + kOldCopyPollMs},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Timeline t(c.endsAt, c.fileGoneAt);
        EXPECT_EQ(WaitForOldCopy(t), c.mayStart);
        EXPECT_GE(t.now, c.waitedAtLeast);
        EXPECT_LE(t.now, c.waitedAtMost);
    }
}

}  // namespace
}  // namespace zv
