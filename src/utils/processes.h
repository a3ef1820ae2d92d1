// Finding, closing, quitting, terminating and waiting for other programs by the path of their
// executable, and picking a process's main window. The searches are written against the small
// ProcessSystem interface, so every rule here runs natively on a faked system; the Win32 answers
// are in utils/win/processes_win.h.
//
// Programs are identified by executable path only; no process handle leaves this unit. With
// fullPathOnly a process is touched only when its full image path can be read and names the same
// file as the path (any case, short or long form): a program that merely shares the file name is
// left alone. Empty names never match anything.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace zv {

using WindowHandle = uintptr_t;

struct ProcessEntry {
    uint32_t pid = 0;
    std::string exe;  // the snapshot's executable text: a full path on 9x, a file name on NT
};

struct TopWindow {
    WindowHandle handle = 0;
    uint32_t pid = 0;
    uint32_t threadId = 0;
};

enum class WindowsGeneration { Win9x, NTBefore8, Win8OrLater };

class ProcessSystem {
public:
    virtual ~ProcessSystem() = default;
    virtual WindowsGeneration Generation() = 0;
    virtual bool IsXP() = 0;
    virtual std::vector<ProcessEntry> Snapshot() = 0;   // empty when there is no snapshot
    virtual std::vector<uint32_t> ProcessIds() = 0;     // every process id, in the system's order
    // Full path of the process's executable; empty when it cannot be read.
    virtual std::string ImagePath(uint32_t pid) = 0;
    // Short (8.3) and long forms of an existing file; empty when the file cannot be found.
    virtual std::string ShortForm(const std::string& path) = 0;
    virtual std::string LongForm(const std::string& path) = 0;
    // Top-level windows in Z order.
    virtual std::vector<TopWindow> TopWindows() = 0;
    virtual WindowHandle Owner(WindowHandle window) = 0;  // 0 when unowned
    virtual std::string ClassName(WindowHandle window) = 0;
    virtual std::string Title(WindowHandle window) = 0;
    virtual bool IsVisible(WindowHandle window) = 0;
    virtual bool Post(WindowHandle window, uint32_t message, uintptr_t wParam,
                      intptr_t lParam) = 0;
    virtual bool Terminate(uint32_t pid, uint32_t exitCode) = 0;
    // Output of the system's task list as CSV ("tasklist.exe /FO csv"); empty when it did not run.
    virtual std::string TaskListCsv() = 0;
    // True while a top-level window of that class (and title, when not empty) exists.
    virtual bool TopWindowExists(const std::string& className, const std::string& title) = 0;
    virtual uint32_t TickCount() = 0;
    // Waits about ms milliseconds while window messages are dispatched.
    virtual void Wait(uint32_t ms) = 0;
};

// Does the process's executable text name the program at path? See the header comment for
// fullPathOnly; without it a bare file name equal to path (or to its file name when path is bare)
// is enough.
bool SameProgram(ProcessSystem& system, const std::string& exe, const std::string& path,
                 bool fullPathOnly);

// Process ids in a CSV task list whose image name equals fileName, from the last line to the
// second (the first holds the column titles). Quoted fields may hold commas.
std::vector<uint32_t> TaskListIds(const std::string& csv, const std::string& fileName);

// The window table that chooses a process's main window.
class TAnalizer {
public:
    static constexpr int kCapacity = 2001;
    explicit TAnalizer(uint32_t pid) : pid_(pid) {}
    // Collects window when it belongs to the process; windows past the capacity are not kept.
    void Collect(WindowHandle window, uint32_t windowPid);
    // Scores the collected windows and returns the first whose score beats all before it (from
    // 0), or 0 when every score is 0.
    WindowHandle MainWindow(ProcessSystem& system);
    int Count() const { return count_; }
    uint16_t Score(int index) const { return scores_[index]; }
    WindowHandle Handle(int index) const { return handles_[index]; }

private:
    int IndexOf(WindowHandle window) const;
    uint32_t pid_;
    int count_ = 0;
    WindowHandle handles_[kCapacity] = {};
    uint16_t scores_[kCapacity] = {};
};

// One enumeration of top-level windows as parallel "|"-lists. With listAll false each process
// appears once (its first window in Z order).
struct TProcessData {
    bool listAll = false;
    std::string stopName = "*";
    int64_t stopId = -1;
    std::string pids = "|", names = "|", classes = "|", handles = "|", threads = "|",
                titles = "|", visible = "|";
};
void ListWindowProcesses(ProcessSystem& system, TProcessData& data);

class Programs {
public:
    explicit Programs(ProcessSystem& system) : s_(system) {}

    bool IsProgramRunning(const std::string& path);
    // timeoutMs 0 means 1000. True when the program has ended (or never ran).
    bool WaitProgramEnd(const std::string& path, uint32_t timeoutMs);
    bool CloseProgram(const std::string& path, bool fullPathOnly, uint32_t waitMs);
    bool QuitProgram(const std::string& path, bool fullPathOnly);
    bool TerminateProgram(const std::string& path, bool fullPathOnly);
    bool PostProcessMessage(const std::string& path, bool fullPathOnly, uint32_t message,
                            uintptr_t wParam, intptr_t lParam);
    WindowHandle FindMainWindow(const std::string& path, bool fullPathOnly);
    void WaitWindowGone(const std::string& className, const std::string& title);
    std::string GetProcessList(bool fullPaths, bool withPids);

    // The searches behind them; each returns a process id or 0.
    uint32_t FindProcessBySnapshot(const std::string& path, bool fullPathOnly, bool firstOnly);
    uint32_t FindProcessByModules(const std::string& path, bool fullPathOnly);
    uint32_t FindProcessByTasklist(const std::string& path, bool fullPathOnly);
    uint32_t FindProcessByList(const std::string& path, bool fullPathOnly);

private:
    uint32_t FindForWindow(const std::string& path, bool fullPathOnly);
    uint32_t FindForProcess(const std::string& path, bool fullPathOnly);
    bool Confirmed(uint32_t pid, const std::string& path, bool fullPathOnly);
    ProcessSystem& s_;
};

// Pieces of RunWithPipes that need no system.
// The command line: program (quoted when it holds a blank and no quote), a blank, parameters.
std::string PipeCommandLine(const std::string& program, const std::string& parameters);
constexpr uint32_t kPipeStartFailedExitCode = 21;
constexpr size_t kMaxCommandLine = 32766;
// Error text of a program that did not start. systemMessage empty: the message could not be read.
std::string PipeStartErrorText(const std::string& commandLine, const std::string& systemMessage);
// Next poll step: from 100 ms (1 ms with a callback), 10 ms shorter per pass once output has
// arrived, while it stays above 10 ms.
uint32_t NextPipeStep(uint32_t step, bool outputArrived);

}  // namespace zv
