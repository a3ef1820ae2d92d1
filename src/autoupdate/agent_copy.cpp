#include "autoupdate/agent_copy.h"

namespace zv {

namespace {

template <typename Condition>
bool WaitWhile(OldCopyWatch& watch, uint32_t limitMs, Condition condition) {
    const uint32_t start = watch.TickCount();
    while (condition()) {
        if (watch.TickCount() - start >= limitMs) return false;
        watch.Wait(kOldCopyPollMs);
    }
    return true;
}

}  // namespace

bool WaitForOldCopy(OldCopyWatch& watch) {
    if (!watch.CopyRunning()) return true;
    if (!WaitWhile(watch, kOldCopyEndLimitMs, [&] { return watch.CopyRunning(); })) return false;
    WaitWhile(watch, kOldCopyFileLimitMs, [&] { return watch.CopyFileExists(); });
    return true;
}

}  // namespace zv
