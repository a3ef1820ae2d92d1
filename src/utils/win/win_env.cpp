#include "utils/win/win_env.h"

#include <windows.h>

#include "utils/file_io.h"
#include "utils/host_env.h"
#include "utils/win/win_file.h"

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
    // Day count from 1899-12-30 for the civil date (proleptic Gregorian).
    auto days = [](int y, int m, int d) {
        y -= m <= 2;
        int era = (y >= 0 ? y : y - 399) / 400;
        int yoe = y - era * 400;
        int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
        int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return era * 146097 + doe - 719468;  // days since 1970-01-01
    };
    double day = days(st.wYear, st.wMonth, st.wDay) + 25569.0;
    return day + (st.wHour * 3600000.0 + st.wMinute * 60000.0 + st.wSecond * 1000.0 +
                  st.wMilliseconds) / 86400000.0;
}

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

void InstallWin32Host() {
    HostEnv e;
    e.commandLine = &WinCommandLine;
    e.exePath = &WinExePath;
    e.pumpMessages = &WinPump;
    e.milliseconds = &WinMilliseconds;
    e.now = &WinNow;
    e.upperCase = &WinUpper;
    e.dateSeparator = &WinDateSeparator;
    e.timeSeparator = &WinTimeSeparator;
    SetHost(e);
    SetFileOpener(&OpenWin32File);
    SetExistsProbe(&Win32FileExists);
}

}  // namespace zv
