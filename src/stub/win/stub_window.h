// The stub window: hidden 492x110 window with a status label and two progress bars, the
// one-second timer that drives the setup flow or the agent, the message loop, and the agent's
// private message protocol.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "utils/ui_sink.h"

namespace zv {

constexpr UINT wm_ShutDown = WM_USER + 99;
constexpr UINT wm_LocalMsg = WM_USER + 100;
constexpr UINT wm_AgentMsg = WM_USER + 101;
constexpr UINT_PTR kStubTimerId = 1;
constexpr int kStubWindowWidth = 492;
constexpr int kStubWindowHeight = 110;

extern HWND StubWindow;
extern HWND StatusLabel;
extern HWND ProgressBar;
extern HWND ActivityBar;
extern bool LoopDone;
extern bool AbortRequested;

// What the window needs from the rest of the program; every member may be null.
struct StubWindowHooks {
    std::string className;                 // StubClassName
    std::string caption = "Zolvex Installation Suite";
    int charset = 0;                       // language charset: 177/178 lay the label out right to left
    bool agent = false;                    // timer ticks go to the agent instead of the setup flow
    void (*setupTick)(HWND window) = nullptr;
    void (*agentTick)(HWND window) = nullptr;
    void (*removeSetupFolder)() = nullptr;  // DestroyMainWindow's clean-up
    void (*afterLoop)() = nullptr;          // e.g. unloading WinINet
    void (*runLog)(const std::string& line) = nullptr;
};

// Creates the window, runs the message loop until it ends, then cleans up.
void WinMain(const StubWindowHooks& hooks);

bool CloseMainWindow();
void DestroyMainWindow();

// kind 0: set range 0..range, position and step; kind 1: step. Also the download progress callback.
void StubProgress(int kind, int32_t reserved, uint16_t range, const std::string& text, int32_t step,
                  int32_t position);
void SetLabelText(HWND control, const std::string& text, const std::string& fontName, int charset,
                  int fontSize);
void NotifyClient(int32_t code, int32_t value);
void ShowActivityBar(bool show);

// The window as the flows' UI sink: the status label, both bars, showing and hiding the window,
// and AbortRequested. Calls made while there is no window change nothing.
UiSink& StubWindowUi();

// Left edge of the status label and the activity bar for a language charset.
int StatusLabelX(int charset);
int ActivityBarX(int charset);

}  // namespace zv
