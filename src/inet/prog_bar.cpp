#include "inet/prog_bar.h"

#include "utils/text.h"

namespace zv {

void TProgBar::Send(int kind, uint16_t range, const std::string& text, int32_t step, int32_t position) {
    // Messages run on both sides of the sink so the window repaints while the download goes on.
    Wait(0);
    if (sink_) sink_(kind, 0, range, text, step, position);
    Wait(0);
}

void TProgBar::SetRange(int32_t position, int32_t maximum) {
    Send(0, uint16_t(maximum), "", 1, position);
}

void TProgBar::Step(const std::string& statusText) { Send(1, 0, statusText, 0, 0); }

void TProgBar::SetTitle(const std::string&) { Wait(0); }

void TProgBar::Finish(uint32_t waitBefore, uint32_t waitAfter) {
    Wait(waitBefore);
    Send(0, 0, "", 1, 0);
    Wait(waitAfter);
}

}  // namespace zv
