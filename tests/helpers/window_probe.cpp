// Test program for the process and window searches: one visible top-level window. Appends to the
// log file given as its first argument: "start", "pid=<id>", each WM_CLOSE and WM_QUIT with its
// wParam and lParam, each private message (WM_USER and up) likewise, and "exit". With "/ignoreclose"
// it logs WM_CLOSE and stays. Without arguments (as a program the update agent starts again) it
// logs to its own path with ".log" in place of ".exe".
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string g_log;
bool g_ignoreClose = false;

void Log(const std::string& line) {
    if (FILE* f = std::fopen(g_log.c_str(), "ab")) {
        std::fprintf(f, "%s\r\n", line.c_str());
        std::fclose(f);
    }
}

std::string Params(const char* what, WPARAM wParam, LPARAM lParam) {
    return std::string(what) + " wParam=" + std::to_string(wParam) +
           " lParam=" + std::to_string(lParam);
}

LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        Log(Params("close", wParam, lParam));
        if (g_ignoreClose) return 0;
    } else if (message >= WM_USER && message < 0xC000) {
        Log(Params(("message " + std::to_string(message)).c_str(), wParam, lParam));
        return 0;
    } else if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        char self[MAX_PATH] = {};
        const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
        if (length < 4 || length >= MAX_PATH) return 2;
        g_log.assign(self, length - 4);
        g_log += ".log";
    } else {
        g_log = argv[1];
    }
    g_ignoreClose = argc > 2 && std::strcmp(argv[2], "/ignoreclose") == 0;
    Log("start");
    Log("pid=" + std::to_string(GetCurrentProcessId()));
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &ProbeProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ZolvexWindowProbe";
    RegisterClassA(&wc);
    HWND window = CreateWindowA(wc.lpszClassName, "Window Probe", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                100, nullptr, nullptr, wc.hInstance, nullptr);
    if (!window) return 3;
    ShowWindow(window, SW_SHOWNOACTIVATE);
    Log("window");
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    if (msg.message == WM_QUIT && msg.wParam != 0) Log(Params("quit", msg.wParam, msg.lParam));
    Log("exit");
    return 0;
}
