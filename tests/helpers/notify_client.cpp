// A client of the agent's notifications, for the whole-program tests.
//
//   zolvex-notify-client.exe READY_FILE MESSAGE [SECONDS]
//
// Creates a hidden top-level window, writes "<window handle> <process id>" (decimal) and a line
// end to READY_FILE once the window exists, then prints "<wParam> <lParam>" (decimal, signed) on
// stdout for every MESSAGE it receives, flushing each line. Ends after SECONDS (default 60), or
// right after code 43 (the agent's loop has ended). Exit code 0, or 2 for a bad command line.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

UINT g_message = 0;

LRESULT CALLBACK ClientProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == g_message && msg != 0) {
        std::printf("%ld %ld\n", long(wp), long(lp));
        std::fflush(stdout);
        if (wp == 43) PostQuitMessage(0);
        return 0;
    }
    if (msg == WM_TIMER) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, msg, wp, lp);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: zolvex-notify-client READY_FILE MESSAGE [SECONDS]\n");
        return 2;
    }
    g_message = UINT(std::strtoul(argv[2], nullptr, 10));
    const long seconds = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 60;
    if (g_message == 0 || seconds <= 0) {
        std::fprintf(stderr, "MESSAGE and SECONDS must be above 0\n");
        return 2;
    }

    HINSTANCE inst = GetModuleHandleA(nullptr);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &ClientProc;
    wc.hInstance = inst;
    wc.lpszClassName = "ZolvexNotifyClient";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                  nullptr, inst, nullptr);
    if (!window) {
        std::fprintf(stderr, "no window (error %lu)\n", GetLastError());
        return 3;
    }
    SetTimer(window, 1, UINT(seconds * 1000), nullptr);

    // The ready line is written in one piece under a temporary name, so a reader never sees half.
    char temp[MAX_PATH + 8];
    std::snprintf(temp, sizeof temp, "%s.tmp", argv[1]);
    if (FILE* f = std::fopen(temp, "wb")) {
        std::fprintf(f, "%lu %lu\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)),
                     GetCurrentProcessId());
        std::fclose(f);
        MoveFileExA(temp, argv[1], MOVEFILE_REPLACE_EXISTING);
    }

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
