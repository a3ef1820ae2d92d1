// Progress events of a download, forwarded to a UI sink with the message dispatching that keeps
// the window painted meanwhile.
#pragma once
#include <cstdint>
#include <string>

#include "utils/ui_sink.h"

namespace zv {

class TProgBar {
public:
    explicit TProgBar(UiSink& sink) : sink_(sink) {}
    void SetRange(int32_t position, int32_t maximum);
    void Step(const std::string& statusText);
    void SetTitle(const std::string& text);
    void Finish(uint32_t waitBefore, uint32_t waitAfter);

private:
    void Send(int kind, uint16_t range, const std::string& text, int32_t step, int32_t position);
    UiSink& sink_;
    double lastStepPump_ = -1e9;
};

}  // namespace zv
