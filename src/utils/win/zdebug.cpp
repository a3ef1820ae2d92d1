#include "utils/win/zdebug.h"

#include <windows.h>

#include "utils/trace.h"
#include "utils/win/win_file.h"

namespace zv {
namespace {

CRITICAL_SECTION g_sinkLock;
UINT g_debugMessage = 0;

void Sink(const std::string& chunk) {
    EnterCriticalSection(&g_sinkLock);
    SendDebugText(chunk);
    LeaveCriticalSection(&g_sinkLock);
}

}  // namespace

void InstallTraceSink() {
    static bool done = false;
    if (done) return;
    done = true;
    InitializeCriticalSection(&g_sinkLock);
    g_debugMessage = RegisterWindowMessageA(kDebugMessageName) & 0xFFFF;
    TraceOut().SetSink(&Sink);
}

unsigned DebugMessageId() { return g_debugMessage; }

void SendDebugText(const std::string& text) {
    if (DebugMode == 1 || DebugMode == 2) AppendDebugFile(kTraceFilePath, NormalizeLineBreaks(text));
    if (DebugMode == 0 || DebugMode == 2) {
        HWND viewer = FindWindowA(kDebugViewerClass, nullptr);
        if (!viewer) return;
        // The atom table takes at most 255 characters; chunks are at most 128.
        ATOM atom = GlobalAddAtomA(text.c_str());
        SendMessageA(viewer, g_debugMessage, 1, atom);
        if (atom) GlobalDeleteAtom(atom);
    }
}

bool AppendDebugFile(const std::string& path, const std::string& text) {
    UniqueHandle h(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) return false;
    SetFilePointer(h.Get(), 0, nullptr, FILE_END);
    if (text.empty()) return true;
    DWORD written = 0;
    WriteFile(h.Get(), text.data(), DWORD(text.size()), &written, nullptr);
    return written == text.size();
}

}  // namespace zv
