// Replacing the agent's running copy ("X_" + agent name) on a restart. The old copy ends on its
// own and then deletes its file; writing the new copy before that would have the new file
// deleted (or the old copy's clean-up spin while the new one runs), and starting before the old
// window is gone would stop the new copy at the one-instance test: no agent would run.
#pragma once
#include <cstdint>

namespace zv {

class OldCopyWatch {
public:
    virtual ~OldCopyWatch() = default;
    virtual bool CopyRunning() = 0;
    virtual bool CopyFileExists() = 0;
    virtual uint32_t TickCount() = 0;
    virtual void Wait(uint32_t ms) = 0;  // dispatches window messages meanwhile
};

constexpr uint32_t kOldCopyEndLimitMs = 60000;   // for the old copy to end
constexpr uint32_t kOldCopyFileLimitMs = 5000;   // then for its file to be deleted
constexpr uint32_t kOldCopyPollMs = 200;

// Waits while an old copy runs (up to kOldCopyEndLimitMs) and, when one was seen, until its file
// is gone (up to kOldCopyFileLimitMs; a file left behind is simply overwritten). False when the
// old copy still runs at the end: then nothing may be written or started.
bool WaitForOldCopy(OldCopyWatch& watch);

}  // namespace zv
