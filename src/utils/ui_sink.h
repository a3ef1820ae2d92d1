// Where long work (extraction, downloads, the setup driver, the agent's cycle) reports to the
// user: a status text, progress, the window's visibility, and the user's wish to stop. The flow
// that starts the work hands its sink down; services never reach for a window of their own.
// The stub window is the one real sink (stub/win/stub_window.h). The base shows nothing and is
// never asked to stop, which is what a quiet run or a test needs where it does not look.
#pragma once
#include <cstdint>
#include <string>

namespace zv {

class UiSink {
public:
    virtual ~UiSink() = default;

    virtual void SetStatusText(const std::string& /*text*/, const std::string& /*fontName*/,
                               int /*charset*/, int /*fontSize*/) {}
    // kind 0: range 0..range, position and step; kind 1: one step, with the download's rate
    // text. The shape of ExtractProgress; low is passed through as the work gives it.
    virtual void Progress(int /*kind*/, int32_t /*low*/, uint16_t /*range*/,
                          const std::string& /*text*/, int32_t /*step*/, int32_t /*position*/) {}
    virtual void Show(bool /*show*/) {}
    virtual void ShowActivityBar(bool /*show*/) {}

    // Set when the user closes the window; downloads stop on it.
    virtual bool AbortRequested() { return false; }
    virtual void ClearAbortRequested() {}
};

}  // namespace zv
