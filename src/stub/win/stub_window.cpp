#include "stub/win/stub_window.h"

#include <commctrl.h>

#include "autoupdate/agent_state.h"
#include "autoupdate/update_cycle.h"
#include "dialogs/msgbox_layout.h"
#include "stub/agent_client.h"
#include "utils/switches.h"
#include "utils/text.h"
#include "utils/trace.h"
#include "utils/win/dll_loader.h"
#include "utils/win/sysutils.h"

namespace zv {

HWND StubWindow = nullptr;
HWND StatusLabel = nullptr;
HWND ProgressBar = nullptr;
HWND ActivityBar = nullptr;
bool LoopDone = false;
bool AbortRequested = false;

namespace {

StubWindowHooks g_hooks;
HWND g_notifyWindow = nullptr;
UINT g_notifyMessage = 0;
int g_activityCounter = 0;
HFONT g_labelFont = nullptr;

void RunLog(const char* line) {
    if (g_hooks.runLog) g_hooks.runLog(line);
}

HICON MainIcon() {
    static HICON icon = LoadIconA(GetModuleHandleA(nullptr), "MainIcon");
    return icon;
}

void CreateChildren(HWND window) {
    HINSTANCE inst = GetModuleHandleA(nullptr);
    StatusLabel = CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE, StatusLabelX(g_hooks.charset),
                                  20, 340, 18, window, nullptr, inst, nullptr);
    ProgressBar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 70, 38, 392, 13,
                                  window, nullptr, inst, nullptr);
    ActivityBar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD, ActivityBarX(g_hooks.charset), 20,
                                  46, 13, window, nullptr, inst, nullptr);
    SetTimer(window, kStubTimerId, 1000, nullptr);
    if (!g_labelFont) g_labelFont = CreateFontA(-11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Tahoma");
    SendMessageA(StatusLabel, WM_SETFONT, reinterpret_cast<WPARAM>(g_labelFont), 0);
}

void Paint(HWND window) {
    HDC dc = GetDC(window);
    RECT r;
    GetClientRect(window, &r);
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    if (HICON icon = MainIcon()) DrawIcon(dc, 18, 20, icon);
    ReleaseDC(window, dc);
}

void OnTimer(HWND window) {
    if (g_hooks.agent) {
        if (g_hooks.agentTick) g_hooks.agentTick(window);
    } else if (g_hooks.setupTick) {
        g_hooks.setupTick(window);
    } else {
        KillTimer(window, kStubTimerId);
    }
}

// Any process may send wm_LocalMsg; the agent then posts to the window it names.
void RegisterClient(HWND window, HWND client, int64_t message) {
    if (!IsClientMessageNumber(message) || !IsWindow(client)) {
        TraceOut().WriteLine("wm_LocalMsg: registration refused (window " +
                             IntText(reinterpret_cast<uintptr_t>(client)) + ", message " +
                             IntText(message) + ")");
        return;
    }
    g_notifyWindow = client;
    g_notifyMessage = UINT(message);
    NotifyClient(50, int32_t(reinterpret_cast<INT_PTR>(window)));
    NotifyClient(51, int32_t(wm_AgentMsg));
}

LRESULT HandleMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_CREATE:
            CreateChildren(window);
            break;
        case WM_DESTROY:
            TraceOut().WriteLine("- wm_Destroy -");
            DestroyMainWindow();
            break;
        case WM_PAINT:
            Paint(window);
            break;
        case WM_CLOSE:
            if (!CloseMainWindow()) return 0;
            break;
        case WM_QUIT:
            TraceOut().WriteLine("- wm_Quit -");
            DestroyMainWindow();
            break;
        case WM_TIMER:
            OnTimer(window);
            break;
        case wm_ShutDown:
            Agent().StopCountdown = int32_t(wp);
            break;
        case wm_LocalMsg:
            RegisterClient(window, reinterpret_cast<HWND>(wp), int64_t(uint32_t(lp)));
            break;
        case wm_AgentMsg:
            return HandleAgentCommand(int32_t(wp), int32_t(lp), Agent(), AgentIni());
        default:
            if (msg != 0 && msg == AutoPlayMessage()) return 1;
            break;
    }
    return DefWindowProcA(window, msg, wp, lp);
}

LRESULT CALLBACK StubWindowProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    return HandleMessage(window, msg, wp, lp);
}

void InitCommonControlsAtRunTime() {
    using InitFn = void(WINAPI*)();
    if (auto init = SystemFunction<InitFn>("comctl32.dll", "InitCommonControls")) init();
}

}  // namespace

int StatusLabelX(int charset) { return IsRightToLeftCharset(charset) ? 122 : 70; }
int ActivityBarX(int charset) { return IsRightToLeftCharset(charset) ? 70 : 416; }

void WinMain(const StubWindowHooks& hooks) {
    g_hooks = hooks;
    LoopDone = false;
    ApplyCopySwitches(Agent());
    InitCommonControlsAtRunTime();

    HINSTANCE inst = GetModuleHandleA(nullptr);
    WNDCLASSA wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &StubWindowProc;
    wc.hInstance = inst;
    wc.hIcon = MainIcon();
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.lpszClassName = g_hooks.className.c_str();
    RegisterClassA(&wc);

    RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const int left = work.left + (work.right - work.left - kStubWindowWidth) / 2;
    const int top = work.top + (work.bottom - work.top - kStubWindowHeight) / 2;
    StubWindow = CreateWindowExA(0, g_hooks.className.c_str(), g_hooks.caption.c_str(),
                                 WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, left, top,
                                 kStubWindowWidth, kStubWindowHeight, nullptr, nullptr, inst, nullptr);
    if (StubWindow) {
        ShowWindow(StubWindow, SW_HIDE);
        MSG msg;
        for (;;) {
            // -1 is a failure with nothing in msg: nothing to dispatch, and no reason to spin.
            BOOL got = GetMessageA(&msg, nullptr, 0, 0);
            if (got == 0 || got == -1) break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            if (LoopDone) break;
        }
    }
    // A quit posted by DestroyMainWindow may still wait when the loop left on LoopDone; drop it so
    // that boxes shown after the loop are not closed at once.
    MSG pending;
    while (PeekMessageA(&pending, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    KillTimer(StubWindow, kStubTimerId);
    AbortRequested = true;
    if (g_hooks.afterLoop) g_hooks.afterLoop();
    NotifyClient(43, 0);
}

bool CloseMainWindow() {
    RunLog(".. CloseMainWindow() - Start");
    const bool result = AbortRequested;
    if (!result) AbortRequested = true;
    RunLog(".. CloseMainWindow() - End");
    return result;
}

void DestroyMainWindow() {
    RunLog(".. DestroyMainWindow() - Start");
    AbortRequested = true;
    if (g_hooks.removeSetupFolder) g_hooks.removeSetupFolder();
    PostQuitMessage(0);
    LoopDone = true;
    RunLog(".. DestroyMainWindow() - End");
}

void StubProgress(int kind, int32_t reserved, uint16_t range, const std::string&, int32_t step,
                  int32_t position) {
    if (kind == 0) {
        SendMessageA(ProgressBar, PBM_SETRANGE, WPARAM(reserved), MAKELPARAM(0, range));
        SendMessageA(ProgressBar, PBM_SETPOS, WPARAM(position), 0);
        SendMessageA(ProgressBar, PBM_SETSTEP, WPARAM(step), 0);
        SendMessageA(ActivityBar, PBM_SETRANGE, WPARAM(reserved), MAKELPARAM(0, 5));
        SendMessageA(ActivityBar, PBM_SETPOS, 0, 0);
        SendMessageA(ActivityBar, PBM_SETSTEP, 1, 0);
        g_activityCounter = 0;
    } else if (kind == 1) {
        SendMessageA(ProgressBar, PBM_STEPIT, 0, 0);
        g_activityCounter = g_activityCounter >= 5 ? 0 : g_activityCounter + 1;
        SendMessageA(ActivityBar, PBM_SETPOS, WPARAM(g_activityCounter), 0);
    }
}

void SetLabelText(HWND control, const std::string& text, const std::string& fontName, int charset,
                  int fontSize) {
    if (IsRightToLeftCharset(charset)) {
        SetWindowLongA(control, GWL_EXSTYLE, WS_EX_RTLREADING);
        SetWindowLongA(control, GWL_STYLE, WS_CHILD | WS_VISIBLE | SS_RIGHT);
    } else {
        SetWindowLongA(control, GWL_EXSTYLE, 0);
        SetWindowLongA(control, GWL_STYLE, WS_CHILD | WS_VISIBLE);
    }
    static HFONT previous = nullptr;
    HFONT font = CreateFontA(-ScalePoints(fontSize), 0, 0, 0, 0, 0, 0, 0, DWORD(charset), 0, 0, 0, 0,
                             fontName.c_str());
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (previous) DeleteObject(previous);
    previous = font;
    SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void NotifyClient(int32_t code, int32_t value) {
    if (g_notifyWindow && g_notifyMessage) PostMessageA(g_notifyWindow, g_notifyMessage, WPARAM(code), value);
}

void ShowActivityBar(bool show) {
    if (ActivityBar) ShowWindow(ActivityBar, show ? SW_SHOW : SW_HIDE);
}

namespace {

class StubWindowSink : public UiSink {
public:
    void SetStatusText(const std::string& text, const std::string& fontName, int charset,
                       int fontSize) override {
        if (StatusLabel) SetLabelText(StatusLabel, text, fontName, charset, fontSize);
    }
    void Progress(int kind, int32_t low, uint16_t range, const std::string& text, int32_t step,
                  int32_t position) override {
        StubProgress(kind, low, range, text, step, position);
    }
    void Show(bool show) override {
        if (StubWindow) ShowWindow(StubWindow, show ? SW_SHOW : SW_HIDE);
    }
    void ShowActivityBar(bool show) override { zv::ShowActivityBar(show); }
    bool AbortRequested() override { return zv::AbortRequested; }
    void ClearAbortRequested() override { zv::AbortRequested = false; }
};

StubWindowSink g_windowSink;

}  // namespace

UiSink& StubWindowUi() { return g_windowSink; }

}  // namespace zv
