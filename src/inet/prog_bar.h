// Progress events of a download, forwarded to a sink with the shape of UiSink::Progress.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace zv {

using ProgressSink = std::function<void(int kind, int32_t reserved, uint16_t range,
                                         const std::string& text, int32_t step, int32_t position)>;

class TProgBar {
public:
    explicit TProgBar(ProgressSink sink) : sink_(std::move(sink)) {}
    void SetRange(int32_t position, int32_t maximum);
    void Step(const std::string& statusText);
    void SetTitle(const std::string& text);
    void Finish(uint32_t waitBefore, uint32_t waitAfter);

private:
    void Send(int kind, uint16_t range, const std::string& text, int32_t step, int32_t position);
    ProgressSink sink_;
    double lastStepPump_ = -1e9;
};

}  // namespace zv
