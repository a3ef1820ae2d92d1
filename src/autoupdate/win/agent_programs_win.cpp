#include "autoupdate/win/agent_programs_win.h"

#include <tlhelp32.h>

#include "utils/text.h"
#include "utils/win/dll_loader.h"

namespace zv {
namespace agent_programs {
namespace {

using QueryImageFn = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);

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
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snap == INVALID_HANDLE_VALUE) return std::string();
    MODULEENTRY32 module = {};
    module.dwSize = sizeof(module);
    std::string path;
    if (Module32First(snap, &module)) path = module.szExePath;
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
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snap, &entry); more; more = Process32Next(snap, &entry)) {
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
