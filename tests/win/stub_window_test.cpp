#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <vector>

#include <commctrl.h>

#include "autoupdate/agent_state.h"
#include "inet/prog_bar.h"
#include "stub/win/stub_window.h"
#include "utils/platform.h"

namespace zv {
namespace {

// The stub window runs its own loop; tests act from inside its first timer tick.
std::function<void(HWND)> g_onTick;
int g_folderRemovals = 0;

void Tick(HWND window) {
    KillTimer(window, kStubTimerId);
    auto action = std::move(g_onTick);
    g_onTick = nullptr;
    if (action) action(window);
    if (!LoopDone) DestroyWindow(window);
}

void RunWindow(const char* className, int charset, std::function<void(HWND)> onTick) {
    g_onTick = std::move(onTick);
    AbortRequested = false;
    StubWindowHooks hooks;
    hooks.className = className;
    hooks.charset = charset;
    hooks.setupTick = &Tick;
    hooks.removeSetupFolder = [] { ++g_folderRemovals; };
    WinMain(hooks);
}

int ClientX(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    POINT p = {r.left, r.top};
    ScreenToClient(GetParent(control), &p);
    return p.x;
}

TEST(StubWindow, FirstCloseOnlyAsksWorkToStopSecondDestroys) {
    g_folderRemovals = 0;
    bool aliveAfterFirst = false, abortAfterFirst = false;
    RunWindow("ZvTestStubClose", 0, [&](HWND w) {
        SendMessageA(w, WM_CLOSE, 0, 0);
        aliveAfterFirst = IsWindow(w) != FALSE;
        abortAfterFirst = AbortRequested;
        SendMessageA(w, WM_CLOSE, 0, 0);
    });
    EXPECT_TRUE(aliveAfterFirst);
    EXPECT_TRUE(abortAfterFirst);
    EXPECT_TRUE(LoopDone);
    EXPECT_FALSE(IsWindow(StubWindow));
    EXPECT_EQ(g_folderRemovals, 1);
}

TEST(StubWindow, HiddenCentredWithLayoutForTheCharset) {
    RECT rect{};
    bool visible = true;
    int labelX = 0, barX = 0;
    RunWindow("ZvTestStubLayout", 0, [&](HWND w) {
        GetWindowRect(w, &rect);
        visible = IsWindowVisible(w) != FALSE;
        labelX = ClientX(StatusLabel);
    });
    EXPECT_FALSE(visible);
    EXPECT_EQ(rect.right - rect.left, 492);
    EXPECT_EQ(rect.bottom - rect.top, 110);
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_EQ(rect.left, work.left + (work.right - work.left - 492) / 2);
    EXPECT_EQ(labelX, 70);

    RunWindow("ZvTestStubRtl", 177, [&](HWND) {
        labelX = ClientX(StatusLabel);
        barX = ClientX(ActivityBar);
    });
    EXPECT_EQ(labelX, 122);
    EXPECT_EQ(barX, 70);
}

TEST(StubWindow, LocalMessageRegistersClientAndAnswersAtOnce) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ZvTestClient";
    RegisterClassA(&wc);
    HWND client = CreateWindowExA(0, "ZvTestClient", "", 0, 0, 0, 1, 1, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    const UINT clientMsg = RegisterWindowMessageA("ZvTestClientMsg");
    std::vector<std::pair<WPARAM, LPARAM>> got;
    HWND stub = nullptr;
    RunWindow("ZvTestStubNotify", 0, [&](HWND w) {
        stub = w;
        // Before registration nothing is posted.
        NotifyClient(40, 1);
        SendMessageA(w, wm_LocalMsg, reinterpret_cast<WPARAM>(client), clientMsg);
        MSG m;
        while (PeekMessageA(&m, client, clientMsg, clientMsg, PM_REMOVE)) got.push_back({m.wParam, m.lParam});
        EXPECT_EQ(SendMessageA(w, wm_AgentMsg, 7, 0), 0);
        EXPECT_EQ(SendMessageA(w, wm_AgentMsg, 30, 5), 0);
    });
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].first, 50u);
    EXPECT_EQ(got[0].second, LPARAM(reinterpret_cast<INT_PTR>(stub)));
    EXPECT_EQ(got[1].first, 51u);
    EXPECT_EQ(got[1].second, 1125);
    EXPECT_EQ(Agent().StopCountdown, 5);
    Agent().StopCountdown = -1;
    // After the loop the client hears that it ended.
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, client, clientMsg, clientMsg, PM_REMOVE));
    EXPECT_EQ(m.wParam, 43u);
    DestroyWindow(client);
}

TEST(StubWindow, ProgressEventsMoveBothBars) {
    std::vector<int> activity;
    int rangeHigh = 0, position = 0;
    RunWindow("ZvTestStubProgress", 0, [&](HWND) {
        TProgBar bar(StubWindowUi());
        bar.SetRange(1, 13);
        rangeHigh = int(SendMessageA(ProgressBar, PBM_GETRANGE, FALSE, 0));
        for (int i = 0; i < 6; ++i) {
            bar.Step("text");
            activity.push_back(int(SendMessageA(ActivityBar, PBM_GETPOS, 0, 0)));
        }
        position = int(SendMessageA(ProgressBar, PBM_GETPOS, 0, 0));
    });
    EXPECT_EQ(rangeHigh, 13);
    EXPECT_EQ(position, 7);
    EXPECT_EQ(activity, (std::vector<int>{1, 2, 3, 4, 5, 0}));
}

TEST(StubWindow, SleepSwitchSetsTheFirstCheckTick) {
    struct Case {
        const char* cmd;
        int32_t expected;
    } cases[] = {
        {"stub.exe /SleepX=10", -10},
        {"stub.exe /SleepX=0", 0},
        {"stub.exe /SleepX=-4", -3},
        {"stub.exe", -3},
    };
    for (const auto& c : cases) {
        Agent().AutoUpdateTimerCount = -3;
        ScopedCommandLine cmd(c.cmd, "C:\\stub.exe");
        RunWindow("ZvTestStubSleep", 0, nullptr);
        EXPECT_EQ(Agent().AutoUpdateTimerCount, c.expected) << c.cmd;
    }
    Agent().AutoUpdateTimerCount = -3;
}

}  // namespace
}  // namespace zv
