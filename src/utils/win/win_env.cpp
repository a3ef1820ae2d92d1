#include "utils/win/win_env.h"

#include <windows.h>

#include "utils/platform.h"
#include "utils/text.h"

namespace zv {
namespace {

std::string WinCommandLine() {
    const char* c = GetCommandLineA();
    return c ? c : "";
}

std::string WinExePath() {
    char buf[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
    return std::string(buf, n <= MAX_PATH ? n : 0);
}

void WinPump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // A wait inside a tick must not swallow the stop meant for the main loop.
            PostQuitMessage(int(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

double WinMilliseconds() {
    static double factor = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart ? 1000.0 / double(f.QuadPart) : 1.0;
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return double(c.QuadPart) * factor;
}

double WinNow() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return EncodeDateTime({st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                           st.wMilliseconds});
}

uint32_t WinTickCount() { return GetTickCount(); }
uint32_t WinProcessId() { return GetCurrentProcessId(); }

std::string WinUpper(const std::string& text) {
    std::string out = text;
    if (!out.empty()) CharUpperBuffA(&out[0], DWORD(out.size()));
    return out;
}

char LocaleChar(LCTYPE type, char def) {
    char buf[8] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buf, sizeof buf) > 1) return buf[0];
    return def;
}
char WinDateSeparator() { return LocaleChar(LOCALE_SDATE, '/'); }
char WinTimeSeparator() { return LocaleChar(LOCALE_STIME, ':'); }

}  // namespace

void FillWin32Host(Platform& e) {
    e.commandLine = &WinCommandLine;
    e.exePath = &WinExePath;
    e.pumpMessages = &WinPump;
    e.milliseconds = &WinMilliseconds;
    e.now = &WinNow;
    e.tickCount = &WinTickCount;
    e.processId = &WinProcessId;
    e.upperCase = &WinUpper;
    e.dateSeparator = &WinDateSeparator;
    e.timeSeparator = &WinTimeSeparator;
}

}  // namespace zv
