// zolvex-trace: the debug viewer for the stub's trace. It owns a hidden top-level window of the
// class the stub looks for, receives each trace chunk as a global atom named in the registered
// message, and copies the text to stdout (and optionally a file) as soon as it arrives.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "utils/win/win_file.h"
#include "utils/win/zdebug.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitAlreadyRunning = 3;

const char kHelp[] =
    "usage: zolvex-trace [options]\n"
    "Shows the trace that Zolvex programs send to the debug viewer window.\n"
    "Each chunk of trace text is written to stdout, unchanged, the moment it arrives.\n"
    "\n"
    "  --file PATH         also append every chunk to PATH\n"
    "  --chunks            frame every chunk as \"[LENGTH]\" + text + newline (for tests)\n"
    "  --timeout SECONDS   end after SECONDS\n"
    "  --until-exit PID    end when the process PID ends\n"
    "  --ready-file PATH   write PATH (holding this viewer's process id) once the window exists\n"
    "  --stop              close the viewer that is running and exit\n"
    "  --help              show this text\n"
    "\n"
    "It also ends on Ctrl+C or when its window is closed. Exit codes: 0 ended normally,\n"
    "1 could not start (or --stop found no viewer), 2 bad arguments, 3 a viewer already runs.\n";

struct Options {
    std::string file;
    std::string readyFile;
    bool chunks = false;
    bool stop = false;
    DWORD timeoutMs = INFINITE;
    DWORD untilExitPid = 0;
};

struct Viewer {
    UINT message = 0;
    bool chunks = false;
    HANDLE out = INVALID_HANDLE_VALUE;
    zv::UniqueHandle file;
    HWND window = nullptr;
};
Viewer g_viewer;

void Error(const char* format, const char* arg = "") {
    std::fprintf(stderr, "zolvex-trace: ");
    std::fprintf(stderr, format, arg);
    std::fprintf(stderr, "\n");
}

void WriteRaw(HANDLE h, const char* data, size_t size) {
    while (size > 0) {
        DWORD put = 0;
        if (!WriteFile(h, data, DWORD(size), &put, nullptr) || put == 0) return;
        data += put;
        size -= put;
    }
}

void Emit(const std::string& chunk) {
    std::string shown = chunk;
    if (g_viewer.chunks) shown = "[" + std::to_string(chunk.size()) + "]" + chunk + "\n";
    // Unbuffered on purpose: whoever watches the output sees a chunk while the sender still runs.
    if (g_viewer.out != INVALID_HANDLE_VALUE && g_viewer.out != nullptr)
        WriteRaw(g_viewer.out, shown.data(), shown.size());
    if (g_viewer.file) WriteRaw(g_viewer.file.Get(), shown.data(), shown.size());
}

void ReceiveChunk(LPARAM lParam) {
    // The sender deletes the atom as soon as this message returns, so read it here and now.
    const ATOM atom = ATOM(lParam);
    if (atom == 0) {
        Error("a chunk was lost: the sender could not add it to the atom table");
        return;
    }
    char text[256];
    const UINT n = GlobalGetAtomNameA(atom, text, sizeof text);
    if (n == 0) {
        Error("a chunk was lost: its atom could not be read");
        return;
    }
    Emit(std::string(text, n));
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == g_viewer.message && msg != 0) {
        try {
            ReceiveChunk(lParam);
        } catch (...) {
            // The sender waits on this call; never let a failure here reach it.
        }
        return 0;
    }
    switch (msg) {
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

BOOL WINAPI ConsoleCtrl(DWORD) {
    if (g_viewer.window) PostMessageA(g_viewer.window, WM_CLOSE, 0, 0);
    return TRUE;
}

bool ParseNumber(const char* text, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && value >= 0;
}

// Returns -1 when the arguments are good, otherwise the exit code.
int ParseArgs(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--help" || arg == "-h" || arg == "/?") {
            std::fputs(kHelp, stdout);
            return kExitOk;
        } else if (arg == "--chunks") {
            o.chunks = true;
        } else if (arg == "--stop") {
            o.stop = true;
        } else if (arg == "--file" || arg == "--ready-file") {
            if (!value || !*value) {
                Error("%s needs a path", arg.c_str());
                return kExitUsage;
            }
            (arg == "--file" ? o.file : o.readyFile) = value;
            ++i;
        } else if (arg == "--timeout" || arg == "--until-exit") {
            double n = 0;
            if (!value || !ParseNumber(value, n) || n > 4e6) {
                Error("%s needs a number", arg.c_str());
                return kExitUsage;
            }
            if (arg == "--timeout") o.timeoutMs = DWORD(n * 1000);
            else o.untilExitPid = DWORD(n);
            ++i;
        } else {
            Error("unknown argument %s (see --help)", arg.c_str());
            return kExitUsage;
        }
    }
    return -1;
}

// Closes every running viewer and waits (briefly) until their windows are gone.
int StopViewers() {
    std::vector<HWND> found;
    for (HWND h = nullptr; (h = FindWindowExA(nullptr, h, zv::kDebugViewerClass, nullptr));)
        found.push_back(h);
    if (found.empty()) {
        Error("no viewer is running");
        return kExitFailed;
    }
    for (HWND h : found) PostMessageA(h, WM_CLOSE, 0, 0);
    for (int i = 0; i < 100; ++i) {
        bool alive = false;
        for (HWND h : found) alive = alive || IsWindow(h);
        if (!alive) return kExitOk;
        Sleep(50);
    }
    Error("a viewer did not close within 5 seconds");
    return kExitFailed;
}

bool WriteReadyFile(const std::string& path) {
    zv::UniqueHandle h(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) return false;
    const std::string text = std::to_string(GetCurrentProcessId()) + "\r\n";
    DWORD put = 0;
    return WriteFile(h.Get(), text.data(), DWORD(text.size()), &put, nullptr) && put == text.size();
}

bool CreateViewerWindow() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = zv::kDebugViewerClass;
    if (!RegisterClassA(&wc)) return false;
    // Top-level (not message-only): the sender finds the viewer with FindWindow.
    g_viewer.window = CreateWindowExA(0, zv::kDebugViewerClass, "Zolvex trace",
                                      WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 320, 200,
                                      nullptr, nullptr, instance, nullptr);
    return g_viewer.window != nullptr;
}

// Delivers sent and posted messages until the window is closed, the watched process ends or the
// time is up.
void RunLoop(const Options& o, const zv::UniqueHandle& watched) {
    HANDLE handles[1] = {watched.Get()};
    const DWORD count = watched ? 1 : 0;
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD wait = INFINITE;
        if (o.timeoutMs != INFINITE) {
            const DWORD spent = GetTickCount() - start;
            if (spent >= o.timeoutMs) return;
            wait = o.timeoutMs - spent;
        }
        const DWORD r = MsgWaitForMultipleObjects(count, handles, FALSE, wait, QS_ALLINPUT);
        MSG msg;
        // Chunks sent just before the watched process ended are handled in this pump, too.
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (r == WAIT_TIMEOUT || (count && r == WAIT_OBJECT_0) || r == WAIT_FAILED) return;
    }
}

int Run(int argc, char** argv) {
    Options o;
    const int parsed = ParseArgs(argc, argv, o);
    if (parsed >= 0) return parsed;
    if (o.stop) return StopViewers();

    zv::UniqueHandle watched;
    if (o.untilExitPid) {
        watched.Reset(OpenProcess(SYNCHRONIZE, FALSE, o.untilExitPid));
        if (!watched) {
            Error("--until-exit: no process %s", std::to_string(o.untilExitPid).c_str());
            return kExitFailed;
        }
    }
    if (FindWindowA(zv::kDebugViewerClass, nullptr)) {
        // The sender only talks to the first viewer it finds; a second one would see nothing.
        Error("another viewer is already running (end it with --stop)");
        return kExitAlreadyRunning;
    }
    g_viewer.chunks = o.chunks;
    g_viewer.out = GetStdHandle(STD_OUTPUT_HANDLE);
    g_viewer.message = RegisterWindowMessageA(zv::kDebugMessageName);
    if (!g_viewer.message) {
        Error("cannot register the message %s", zv::kDebugMessageName);
        return kExitFailed;
    }
    if (!o.file.empty()) {
        g_viewer.file.Reset(CreateFileA(o.file.c_str(), FILE_APPEND_DATA,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!g_viewer.file) {
            Error("cannot open %s for appending", o.file.c_str());
            return kExitFailed;
        }
    }
    if (!CreateViewerWindow()) {
        Error("cannot create the viewer window");
        return kExitFailed;
    }
    SetConsoleCtrlHandler(ConsoleCtrl, TRUE);
    if (!o.readyFile.empty() && !WriteReadyFile(o.readyFile)) {
        Error("cannot write %s", o.readyFile.c_str());
        DestroyWindow(g_viewer.window);
        return kExitFailed;
    }
    RunLoop(o, watched);
    if (IsWindow(g_viewer.window)) DestroyWindow(g_viewer.window);
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (...) {
        Error("unexpected failure");
        return kExitFailed;
    }
}
