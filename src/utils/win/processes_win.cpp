#include "utils/win/processes_win.h"

#include <tlhelp32.h>

#include <algorithm>
#include <vector>

#include "utils/text.h"
#include "utils/win/dll_loader.h"
#include "utils/win/sys_info_win.h"
#include "utils/win/sysutils.h"
#include "utils/win/unique_owner.h"

namespace zv {

namespace {

// ToolHelp, PSAPI and the newer kernel32 calls are bound at run time: NT 4 has no ToolHelp,
// 9x no PSAPI, and a static import of either would stop the program from starting there.
using SnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using ProcessWalkFn = BOOL(WINAPI*)(HANDLE, LPPROCESSENTRY32);
using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
using ModuleFileNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
using QueryImageFn = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);
using LongPathFn = DWORD(WINAPI*)(LPCSTR, LPSTR, DWORD);

constexpr DWORD kQueryLimitedInformation = 0x1000;  // Vista and later
constexpr DWORD kMaxPathText = 32768;
constexpr size_t kTitleBuffer = 102401;
// tasklist.exe lists the processes in a second or two; one that hangs must not hang the agent.
constexpr uint32_t kTaskListTimeoutMs = 20000;

template <typename Fn>
Fn KernelOrPsapi(const char* kernelName, const char* psapiName) {
    // Windows 7 moved the PSAPI calls into kernel32 under a K32 prefix.
    if (auto fn = SystemFunction<Fn>("kernel32.dll", kernelName)) return fn;
    return SystemFunction<Fn>("psapi.dll", psapiName);
}

std::string PathText(LongPathFn fn, const std::string& path) {
    if (!fn || path.empty()) return std::string();
    std::vector<char> buffer(kMaxPathText);
    const DWORD n = fn(path.c_str(), buffer.data(), DWORD(buffer.size()));
    return n > 0 && n < buffer.size() ? std::string(buffer.data(), n) : std::string();
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    auto* windows = reinterpret_cast<std::vector<TopWindow>*>(param);
    DWORD pid = 0;
    const DWORD thread = GetWindowThreadProcessId(window, &pid);
    windows->push_back({WindowHandle(window), uint32_t(pid), uint32_t(thread)});
    return TRUE;
}

class Win32ProcessSystem final : public ProcessSystem {
public:
    WindowsGeneration Generation() override {
        if (!IsNT()) return WindowsGeneration::Win9x;
        return IsWin8OrLater() ? WindowsGeneration::Win8OrLater : WindowsGeneration::NTBefore8;
    }
    bool IsXP() override { return zv::IsXP(); }

    std::vector<ProcessEntry> Snapshot() override {
        std::vector<ProcessEntry> entries;
        static const auto create =
            SystemFunction<SnapshotFn>("kernel32.dll", "CreateToolhelp32Snapshot");
        static const auto first = SystemFunction<ProcessWalkFn>("kernel32.dll", "Process32First");
        static const auto next = SystemFunction<ProcessWalkFn>("kernel32.dll", "Process32Next");
        if (!create || !first || !next) return entries;
        UniqueHandle snap(create(TH32CS_SNAPPROCESS, 0));
        if (!snap) return entries;
        PROCESSENTRY32 entry = {};
        entry.dwSize = sizeof(entry);
        for (BOOL more = first(snap.Get(), &entry); more; more = next(snap.Get(), &entry)) {
            entry.szExeFile[sizeof(entry.szExeFile) - 1] = 0;
            entries.push_back({uint32_t(entry.th32ProcessID), entry.szExeFile});
        }
        return entries;
    }

    std::vector<uint32_t> ProcessIds() override {
        static const auto enumerate =
            KernelOrPsapi<EnumProcessesFn>("K32EnumProcesses", "EnumProcesses");
        if (!enumerate) return {};
        // Grow the buffer until the system leaves part of it unused: then every id fitted.
        for (DWORD bytes = 1024; bytes <= 4u << 20; bytes += 1024) {
            std::vector<DWORD> ids(bytes / sizeof(DWORD));
            DWORD used = 0;
            if (!enumerate(ids.data(), bytes, &used)) return {};
            if (used < bytes) return std::vector<uint32_t>(ids.begin(), ids.begin() + used / 4);
        }
        return {};
    }

    std::string ImagePath(uint32_t pid) override {
        if (pid == 0) return std::string();
        if (!IsNT()) {
            // On 9x the snapshot's executable text is the full path.
            for (const ProcessEntry& entry : Snapshot())
                if (entry.pid == pid) return ExtractFilePath(entry.exe).empty() ? "" : entry.exe;
            return std::string();
        }
        std::vector<char> buffer(kMaxPathText);
        static const auto query =
            SystemFunction<QueryImageFn>("kernel32.dll", "QueryFullProcessImageNameA");
        if (query) {
            // Limited rights suffice, so elevated and 64-bit processes are read as well.
            UniqueHandle process(OpenProcess(kQueryLimitedInformation, FALSE, pid));
            DWORD size = DWORD(buffer.size());
            if (process && query(process.Get(), 0, buffer.data(), &size))
                return std::string(buffer.data(), size);
        }
        static const auto moduleName =
            KernelOrPsapi<ModuleFileNameFn>("K32GetModuleFileNameExA", "GetModuleFileNameExA");
        if (!moduleName) return std::string();
        UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
        if (!process) return std::string();
        const DWORD n = moduleName(process.Get(), nullptr, buffer.data(), DWORD(buffer.size()));
        return n > 0 && n < buffer.size() ? std::string(buffer.data(), n) : std::string();
    }

    std::string ShortForm(const std::string& path) override {
        return PathText(&GetShortPathNameA, path);
    }
    std::string LongForm(const std::string& path) override {
        static const auto longName = SystemFunction<LongPathFn>("kernel32.dll", "GetLongPathNameA");
        return PathText(longName, path);
    }

    std::vector<TopWindow> TopWindows() override {
        std::vector<TopWindow> windows;
        EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&windows));
        return windows;
    }
    WindowHandle Owner(WindowHandle window) override {
        return WindowHandle(GetWindow(HWND(window), GW_OWNER));
    }
    std::string ClassName(WindowHandle window) override {
        char name[257] = {};
        const int n = GetClassNameA(HWND(window), name, sizeof(name) - 1);
        return std::string(name, n > 0 ? size_t(n) : 0);
    }
    std::string Title(WindowHandle window) override {
        // GetWindowText reads another process's caption without sending it a message, so a hung
        // program cannot stop the search.
        std::vector<char> title(kTitleBuffer);
        const int n = GetWindowTextA(HWND(window), title.data(), int(title.size()));
        return std::string(title.data(), n > 0 ? size_t(n) : 0);
    }
    bool IsVisible(WindowHandle window) override { return IsWindowVisible(HWND(window)) != 0; }
    bool Post(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        return PostMessageA(HWND(window), message, WPARAM(wParam), LPARAM(lParam)) != 0;
    }
    bool Terminate(uint32_t pid, uint32_t exitCode) override {
        UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
        return process && TerminateProcess(process.Get(), exitCode) != 0;
    }
    std::string TaskListCsv() override {
        std::string errors, output;
        uint32_t exitCode = 0;
        RunWithPipes(SystemDllPath("tasklist.exe"), "/FO csv", SW_HIDE, nullptr, nullptr, 1,
                     errors, output, exitCode, kTaskListTimeoutMs);
        return output;
    }
    bool TopWindowExists(const std::string& className, const std::string& title) override {
        return FindWindowA(className.empty() ? nullptr : className.c_str(),
                           title.empty() ? nullptr : title.c_str()) != nullptr;
    }
    uint32_t TickCount() override { return GetTickCount(); }
    void Wait(uint32_t ms) override { zv::Wait(ms); }
};

Programs& TheSystemPrograms() {
    static Programs programs(WindowsProcesses());
    return programs;
}

// ---- RunWithPipes ----

struct Pipe {
    UniqueHandle read, write;
    bool Create(bool parentReads) {
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        if (!CreatePipe(read.Out(), write.Out(), &inherit, 0)) return false;
        // The program inherits only its own ends; ours staying private lets the pipe break
        // when it ends.
        SetHandleInformation(parentReads ? read.Get() : write.Get(), HANDLE_FLAG_INHERIT, 0);
        return true;
    }
};

struct PipeReader {
    PipeOutputCallback callback;
    void* userData;
    bool abort = false;

    // Appends what the pipe holds (up to 30000 bytes) to text; true when more was waiting.
    bool Chunk(HANDLE pipe, std::string& text, bool& arrived) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0)
            return false;
        std::vector<char> buffer(std::min<DWORD>(available, 30000));
        DWORD read = 0;
        if (!ReadFile(pipe, buffer.data(), DWORD(buffer.size()), &read, nullptr) || read == 0)
            return false;
        OemToCharBuffA(buffer.data(), buffer.data(), read);
        const std::string chunk(buffer.data(), read);
        text += chunk;
        arrived = true;
        if (callback) callback(userData, chunk, abort);
        return available > read;
    }
};

}  // namespace

ProcessSystem& WindowsProcesses() {
    static Win32ProcessSystem system;
    return system;
}

bool IsProgramRunning(const std::string& path) {
    return TheSystemPrograms().IsProgramRunning(path);
}
bool WaitProgramEnd(const std::string& path, uint32_t timeoutMs) {
    return TheSystemPrograms().WaitProgramEnd(path, timeoutMs);
}
bool CloseProgram(const std::string& path, bool fullPathOnly, uint32_t waitMs) {
    return TheSystemPrograms().CloseProgram(path, fullPathOnly, waitMs);
}
bool QuitProgram(const std::string& path, bool fullPathOnly) {
    return TheSystemPrograms().QuitProgram(path, fullPathOnly);
}
bool TerminateProgram(const std::string& path, bool fullPathOnly) {
    return TheSystemPrograms().TerminateProgram(path, fullPathOnly);
}
bool PostProcessMessage(const std::string& path, bool fullPathOnly, UINT message, WPARAM wParam,
                        LPARAM lParam) {
    return TheSystemPrograms().PostProcessMessage(path, fullPathOnly, message, wParam, lParam);
}
HWND FindMainWindow(const std::string& path, bool fullPathOnly) {
    return HWND(TheSystemPrograms().FindMainWindow(path, fullPathOnly));
}
void WaitWindowGone(const std::string& className, const std::string& title) {
    TheSystemPrograms().WaitWindowGone(className, title);
}
std::string GetProcessList(bool fullPaths, bool withPids) {
    return TheSystemPrograms().GetProcessList(fullPaths, withPids);
}

bool RunWithPipes(const std::string& program, const std::string& parameters, int showCommand,
                  PipeOutputCallback callback, void* userData, uint32_t extraWaitMs,
                  std::string& errorText, std::string& outputText, uint32_t& exitCode,
                  uint32_t timeoutMs) {
    const std::string commandLine = PipeCommandLine(program, parameters);
    auto failed = [&](const std::string& systemMessage) {
        exitCode = kPipeStartFailedExitCode;
        errorText = PipeStartErrorText(commandLine, systemMessage);
        if (callback) {
            bool ignored = false;
            callback(userData, errorText + "\r\n", ignored);
        }
        return false;
    };
    if (commandLine.size() > kMaxCommandLine) return failed(std::string());

    Pipe input, output, error;
    if (!input.Create(false) || !output.Create(true) || !error.Create(true))
        return failed(SystemErrorText(GetLastError()));

    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES | STARTF_FORCEOFFFEEDBACK;
    startup.wShowWindow = WORD(showCommand);
    startup.hStdInput = input.read.Get();
    startup.hStdOutput = output.write.Get();
    startup.hStdError = error.write.Get();
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, IDLE_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &info))
        return failed(SystemErrorText(GetLastError()));
    UniqueHandle process(info.hProcess), thread(info.hThread);
    // The program holds its own copies now; nothing is ever written to its input, so it sees
    // the end of it at once instead of waiting for us.
    input.read.Reset();
    input.write.Reset();
    output.write.Reset();
    error.write.Reset();

    PipeReader reader{callback, userData};
    const DWORD started = GetTickCount();
    bool ended = false;  // by an abort or the time limit
    uint32_t step = callback ? 1 : 100;
    bool arrived = false;
    DWORD code = 0;
    bool running = true, moreOutput = false, moreErrors = false;
    do {
        // An exit code of STILL_ACTIVE (259) is a real one once the process has ended.
        running = WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
        if (running) zv::Wait(step);
        moreOutput = reader.Chunk(output.read.Get(), outputText, arrived);
        moreErrors = reader.Chunk(error.read.Get(), errorText, arrived);
        step = NextPipeStep(step, arrived);
        const bool late = timeoutMs != 0 && GetTickCount() - started >= timeoutMs;
        if ((reader.abort || late) && running && !ended) {
            TerminateProcess(process.Get(), 255);
            ended = true;
        }
        if (!GetExitCodeProcess(process.Get(), &code)) code = 255;
    } while (running || moreOutput || moreErrors);

    zv::Wait(extraWaitMs);
    while (reader.Chunk(output.read.Get(), outputText, arrived)) {
    }
    while (reader.Chunk(error.read.Get(), errorText, arrived)) {
    }
    exitCode = code;
    return code == 0;
}

}  // namespace zv
