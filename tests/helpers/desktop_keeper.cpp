// Keeps Wine's desktop process alive for a whole test run.
//
//   desktop_keeper.exe READY_FILE [SECONDS]
//
// Wine closes its desktop process about a second after the last program that uses the desktop
// has ended, and starts a new one for the next program that opens a window. That new desktop
// process inherits the standard handles of the program that started it, so a test whose output
// pipe it holds does not end (for CTest) until the desktop process ends too. The test runner
// starts this program first, with its output going nowhere: it owns a hidden window, so the
// desktop it started stays up until the run ends.
//
// Writes READY_FILE once its window exists, then waits for WM_CLOSE, a kill, or SECONDS
// (default 10800). Exit code 0, or 2 for a bad command line.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

LRESULT CALLBACK KeeperProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER || msg == WM_CLOSE) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, msg, wp, lp);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: desktop_keeper READY_FILE [SECONDS]\n");
        return 2;
    }
    const long seconds = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 10800;
    if (seconds <= 0 || seconds > 86400) {
        std::fprintf(stderr, "desktop_keeper: SECONDS must be 1..86400\n");
        return 2;
    }

    WNDCLASSA wc{};
    wc.lpfnWndProc = KeeperProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ZolvexDesktopKeeper";
    if (!RegisterClassA(&wc)) return 1;
    HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, wc.lpszClassName, "", WS_POPUP, 0, 0, 1, 1,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    if (!window) return 1;
    SetTimer(window, 1, UINT(seconds) * 1000u, nullptr);

    if (FILE* ready = std::fopen(argv[1], "w")) {
        std::fprintf(ready, "%lu\n", GetCurrentProcessId());
        std::fclose(ready);
    } else {
        return 1;
    }

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    DestroyWindow(window);
    return 0;
}
