#include "autoupdate/win/agent_programs_win.h"

#include <tlhelp32.h>

#include "utils/text.h"
#include "utils/win/dll_loader.h"

namespace zv {
namespace agent_programs {
namespace {

using QueryImageFn = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);
// ToolHelp is bound at run time: NT 4 has none, and a static import would stop the stub there.
using SnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using ProcessWalkFn = BOOL(WINAPI*)(HANDLE, LPPROCESSENTRY32);
using ModuleWalkFn = BOOL(WINAPI*)(HANDLE, LPMODULEENTRY32);

HANDLE Snapshot(DWORD flags, DWORD pid) {
    static const auto create = SystemFunction<SnapshotFn>("kernel32.dll", "CreateToolhelp32Snapshot");
    return create ? create(flags, pid) : INVALID_HANDLE_VALUE;
}

// Full image path of a process; empty when it cannot be read (then the process is left alone).
std::string ImagePath(DWORD pid) {
    static const auto query =
        SystemFunction<QueryImageFn>("kernel32.dll", "QueryFullProcessImageNameA");
    if (query) {
        HANDLE process = OpenProcess(0x1000 /*PROCESS_QUERY_LIMITED_INFORMATION*/, FALSE, pid);
        if (!process) return std::string();
        char buffer[MAX_PATH * 2] = {};
        DWORD size = sizeof(buffer);
        const BOOL ok = query(process, 0, buffer, &size);
        CloseHandle(process);
        return ok ? std::string(buffer, size) : std::string();
    }
    // Before Vista: the first module of the process is its executable.
    static const auto first = SystemFunction<ModuleWalkFn>("kernel32.dll", "Module32First");
    HANDLE snap = first ? Snapshot(TH32CS_SNAPMODULE, pid) : INVALID_HANDLE_VALUE;
    if (snap == INVALID_HANDLE_VALUE) return std::string();
    MODULEENTRY32 module = {};
    module.dwSize = sizeof(module);
    std::string path;
    if (first(snap, &module)) path = module.szExePath;
    CloseHandle(snap);
    return path;
}

struct WindowSearch {
    DWORD pid;
    HWND best;
    int score;
};

BOOL CALLBACK ScoreWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid) return TRUE;
    int score = 1;
    if (IsWindowVisible(window)) score += 2;
    if (!GetWindow(window, GW_OWNER)) score += 1;
    if (score > search->score) {
        search->best = window;
        search->score = score;
    }
    return TRUE;
}

}  // namespace

std::vector<DWORD> ProcessIdsOf(const std::string& path) {
    std::vector<DWORD> ids;
    const std::string wanted = Trim(path);
    if (wanted.empty()) return ids;
    static const auto first = SystemFunction<ProcessWalkFn>("kernel32.dll", "Process32First");
    static const auto next = SystemFunction<ProcessWalkFn>("kernel32.dll", "Process32Next");
    HANDLE snap = first && next ? Snapshot(TH32CS_SNAPPROCESS, 0) : INVALID_HANDLE_VALUE;
    if (snap == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = first(snap, &entry); more; more = next(snap, &entry)) {
        if (!SameText(ExtractFileName(wanted), entry.szExeFile)) continue;
        const std::string image = ImagePath(entry.th32ProcessID);
        if (!image.empty() && SameText(image, wanted)) ids.push_back(entry.th32ProcessID);
    }
    CloseHandle(snap);
    return ids;
}

bool IsRunning(const std::string& path) { return !ProcessIdsOf(path).empty(); }

bool PostToMainWindows(const std::string& path, UINT message) {
    bool posted = false;
    for (DWORD pid : ProcessIdsOf(path)) {
        WindowSearch search{pid, nullptr, 0};
        EnumWindows(&ScoreWindow, reinterpret_cast<LPARAM>(&search));
        if (search.best && PostMessageA(search.best, message, 15, 255)) posted = true;
    }
    return posted;
}

bool Terminate(const std::string& path) {
    bool done = false;
    for (DWORD pid : ProcessIdsOf(path)) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
        if (!process) continue;
        if (TerminateProcess(process, 0)) done = true;
        CloseHandle(process);
    }
    return done;
}

bool WaitEnd(const std::string& path, uint32_t timeoutMs) {
    const DWORD start = GetTickCount();
    while (IsRunning(path)) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Wait(100);
    }
    return true;
}

}  // namespace agent_programs
}  // namespace zv
