#include "inet/prog_bar.h"

#include "utils/platform.h"
#include "utils/text.h"

namespace zv {

namespace {

// A step comes with every 8 KB chunk of a download, and dispatching messages costs about a
// tenth of a millisecond on some systems (more than the chunk's transfer): steps dispatch at most
// every 10 ms, which keeps the window just as responsive.
constexpr double kStepPumpIntervalMs = 10;

}  // namespace

void TProgBar::Send(int kind, uint16_t range, const std::string& text, int32_t step, int32_t position) {
    // Messages run on both sides of the sink so the window repaints while the download goes on.
    // They are only dispatched, never slept on.
    const bool pump = kind != 1 || MillisecondsNow() - lastStepPump_ >= kStepPumpIntervalMs;
    if (pump) YieldX(0);
    sink_.Progress(kind, 0, range, text, step, position);
    if (pump) {
        YieldX(0);
        lastStepPump_ = MillisecondsNow();
    }
}

void TProgBar::SetRange(int32_t position, int32_t maximum) {
    Send(0, uint16_t(maximum), "", 1, position);
}

void TProgBar::Step(const std::string& statusText) { Send(1, 0, statusText, 0, 0); }

void TProgBar::SetTitle(const std::string&) { YieldX(0); }

void TProgBar::Finish(uint32_t waitBefore, uint32_t waitAfter) {
    Wait(waitBefore);
    Send(0, 0, "", 1, 0);
    Wait(waitAfter);
}

}  // namespace zv
