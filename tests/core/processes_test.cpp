// The process and window searches on a faked system: a program and a same-named decoy in another
// folder, on each Windows generation's route.
#include "utils/processes.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <string>
#include <vector>

#include "utils/text.h"

namespace zv {
namespace {

struct FakeProcess {
    uint32_t pid;
    std::string image;  // full path; empty when the system will not tell
    std::string name;   // executable file name as the snapshot and task list show it
};

struct FakeWindow {
    FakeWindow(WindowHandle h, uint32_t p, WindowHandle o = 0, std::string t = "", bool v = false)
        : handle(h), pid(p), owner(o), title(std::move(t)), visible(v) {}
    WindowHandle handle;
    uint32_t pid;
    WindowHandle owner;
    std::string title;
    bool visible;
    std::string className = "Probe";
};

struct Posted {
    WindowHandle window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

class FakeSystem : public ProcessSystem {
public:
    WindowsGeneration generation = WindowsGeneration::NTBefore8;
    bool xp = false;
    std::vector<FakeProcess> processes;
    std::vector<FakeWindow> windows;
    std::vector<std::pair<std::string, std::string>> files;  // long form, short form
    std::string taskList;                                    // empty: built from processes
    std::vector<Posted> posted;
    std::vector<uint32_t> terminated;
    uint32_t tick = 5000;
    int waits = 0;
    uint32_t endsAtTick = 0;  // when not 0: every process is gone from this tick on

    void Add(uint32_t pid, const std::string& image, bool withWindow = true) {
        processes.push_back({pid, image, ExtractFileName(image)});
        if (withWindow) windows.push_back({WindowHandle(pid * 10), pid, 0, "", false});
    }

    WindowsGeneration Generation() override { return generation; }
    bool IsXP() override { return xp; }
    std::vector<ProcessEntry> Snapshot() override {
        std::vector<ProcessEntry> entries;
        for (const FakeProcess& p : Live())
            entries.push_back({p.pid, generation == WindowsGeneration::Win9x ? p.image : p.name});
        return entries;
    }
    std::vector<uint32_t> ProcessIds() override {
        std::vector<uint32_t> ids;
        for (const FakeProcess& p : Live()) ids.push_back(p.pid);
        return ids;
    }
    std::string ImagePath(uint32_t pid) override {
        for (const FakeProcess& p : Live())
            if (p.pid == pid) return p.image;
        return "";
    }
    std::string ShortForm(const std::string& path) override { return Form(path, false); }
    std::string LongForm(const std::string& path) override { return Form(path, true); }
    std::vector<TopWindow> TopWindows() override {
        std::vector<TopWindow> list;
        for (const FakeWindow& w : windows)
            if (Running(w.pid)) list.push_back({w.handle, w.pid, w.pid + 1});
        return list;
    }
    WindowHandle Owner(WindowHandle window) override { return Find(window).owner; }
    std::string ClassName(WindowHandle window) override { return Find(window).className; }
    std::string Title(WindowHandle window) override { return Find(window).title; }
    bool IsVisible(WindowHandle window) override { return Find(window).visible; }
    bool Post(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        posted.push_back({window, message, wParam, lParam});
        return true;
    }
    bool Terminate(uint32_t pid, uint32_t) override {
        if (!Running(pid)) return false;
        terminated.push_back(pid);
        return true;
    }
    std::string TaskListCsv() override {
        if (!taskList.empty()) return taskList;
        std::string csv = "\"Image Name\",\"PID\",\"Session Name\",\"Session#\",\"Mem Usage\"\r\n";
        for (const FakeProcess& p : Live())
            csv += "\"" + p.name + "\",\"" + IntText(p.pid) + "\",\"Console\",\"1\",\"1,234 K\"\r\n";
        return csv;
    }
    bool TopWindowExists(const std::string& className, const std::string&) override {
        for (const FakeWindow& w : windows)
            if (Running(w.pid) && w.className == className) return true;
        return false;
    }
    uint32_t TickCount() override { return tick; }
    void Wait(uint32_t ms) override {
        ++waits;
        tick += ms;
    }

private:
    bool Running(uint32_t pid) {
        if (endsAtTick != 0 && tick >= endsAtTick) return false;
        for (uint32_t t : terminated)
            if (t == pid) return false;
        return true;
    }
    std::vector<FakeProcess> Live() {
        std::vector<FakeProcess> live;
        for (const FakeProcess& p : processes)
            if (Running(p.pid)) live.push_back(p);
        return live;
    }
    std::string Form(const std::string& path, bool wantLong) {
        for (const auto& f : files)
            if (SameText(path, f.first) || SameText(path, f.second))
                return wantLong ? f.first : f.second;
        return "";
    }
    const FakeWindow& Find(WindowHandle handle) {
        static const FakeWindow none{0, 0};
        for (const FakeWindow& w : windows)
            if (w.handle == handle) return w;
        return none;
    }
};

constexpr const char* kApp = "C:\\Program Files\\Zolvex Demo\\demo.exe";
constexpr const char* kAppShort = "C:\\PROGRA~1\\ZOLVEX~1\\demo.exe";
constexpr const char* kDecoy = "C:\\Users\\guest\\Downloads\\demo.exe";
constexpr uint32_t kAppPid = 300, kDecoyPid = 700;

// The program first, the decoy listed after it: a search by file name alone picks the decoy.
void AddProgramAndDecoy(FakeSystem& system) {
    system.files = {{kApp, kAppShort}, {kDecoy, "C:\\Users\\guest\\DOWNLO~1\\demo.exe"}};
    system.Add(kAppPid, kApp);
    system.Add(kDecoyPid, kDecoy);
}

struct Route {
    const char* name;
    WindowsGeneration generation;
    bool xp;
    void Apply(FakeSystem& system) const {
        system.generation = generation;
        system.xp = xp;
    }
};
const Route kRoutes[] = {
    {"9x snapshot", WindowsGeneration::Win9x, false},
    {"NT modules and window list", WindowsGeneration::NTBefore8, false},
    {"XP process ids", WindowsGeneration::NTBefore8, true},
    {"8+ task list", WindowsGeneration::Win8OrLater, false},
};

TEST(Programs, EveryRouteActsOnTheProgramAndLeavesTheDecoyAlone) {
    for (const Route& route : kRoutes) {
        SCOPED_TRACE(route.name);
        for (const std::string& path : {std::string(kApp), std::string(kAppShort),
                                        "\"" + std::string(kApp) + "\"", AsciiUpper(kApp)}) {
            SCOPED_TRACE(path);
            FakeSystem system;
            route.Apply(system);
            AddProgramAndDecoy(system);
            Programs programs(system);

            EXPECT_TRUE(programs.IsProgramRunning(path));
            EXPECT_EQ(programs.FindMainWindow(path, true), WindowHandle(kAppPid * 10));

            ASSERT_TRUE(programs.CloseProgram(path, true, 0));
            ASSERT_TRUE(programs.QuitProgram(path, true));
            ASSERT_EQ(system.posted.size(), 2u);
            EXPECT_EQ(system.posted[0].window, WindowHandle(kAppPid * 10));
            EXPECT_EQ(system.posted[0].message, 0x10u);  // WM_CLOSE
            EXPECT_EQ(system.posted[1].message, 0x12u);  // WM_QUIT
            for (const Posted& p : system.posted) {
                EXPECT_EQ(p.wParam, 15u);
                EXPECT_EQ(p.lParam, 255);
            }

            EXPECT_TRUE(programs.TerminateProgram(path, true));
            EXPECT_EQ(system.terminated, std::vector<uint32_t>{kAppPid});
            EXPECT_FALSE(programs.IsProgramRunning(path));
            EXPECT_TRUE(programs.WaitProgramEnd(path, 0));
            EXPECT_FALSE(programs.TerminateProgram(path, true)) << "the decoy shares only the name";
        }
    }
}

TEST(Programs, EmptyOrUnknownNamesMatchNothing) {
    for (const Route& route : kRoutes) {
        SCOPED_TRACE(route.name);
        FakeSystem system;
        route.Apply(system);
        AddProgramAndDecoy(system);
        system.Add(900, "C:\\Windows\\explorer.exe");
        Programs programs(system);
        // No file system entry: the short form of these cannot be found either.
        for (const char* path : {"", "  ", "\"\"", "missing.exe", "C:\\Nowhere\\missing.exe"}) {
            SCOPED_TRACE(path);
            EXPECT_FALSE(programs.IsProgramRunning(path));
            EXPECT_FALSE(programs.TerminateProgram(path, false));
            EXPECT_FALSE(programs.TerminateProgram(path, true));
            EXPECT_FALSE(programs.PostProcessMessage(path, false, 0x10, 15, 255));
        }
        EXPECT_TRUE(system.terminated.empty());
        EXPECT_TRUE(system.posted.empty());
    }
}

TEST(Programs, ABareNameMatchesByFileNameAndTheLastListedCopyIsChosen) {
    FakeSystem system;
    AddProgramAndDecoy(system);
    Programs programs(system);
    EXPECT_TRUE(programs.IsProgramRunning("demo.exe"));
    EXPECT_TRUE(programs.IsProgramRunning(" DEMO.EXE "));
    EXPECT_TRUE(programs.TerminateProgram("demo.exe", false));
    EXPECT_EQ(system.terminated, std::vector<uint32_t>{kDecoyPid});
    // A caller that gives up fullPathOnly gets the list's file-name match, last copy first.
    system.terminated.clear();
    EXPECT_TRUE(programs.TerminateProgram(kApp, false));
    EXPECT_EQ(system.terminated, std::vector<uint32_t>{kDecoyPid});
}

TEST(Programs, AProcessWhosePathCannotBeReadIsLeftAlone) {
    for (const Route& route : kRoutes) {
        SCOPED_TRACE(route.name);
        FakeSystem system;
        route.Apply(system);
        system.files = {{kApp, kAppShort}};
        system.Add(kAppPid, kApp);
        system.processes[0].image.clear();  // say, an elevated copy
        Programs programs(system);
        EXPECT_FALSE(programs.TerminateProgram(kApp, true));
        EXPECT_FALSE(programs.PostProcessMessage(kApp, true, 0x10, 15, 255));
        EXPECT_TRUE(system.terminated.empty());
        EXPECT_TRUE(system.posted.empty());
    }
}

TEST(Programs, OnWindows8AProgramWithoutWindowsIsNotRunningAndHasNoMainWindow) {
    FakeSystem system;
    system.generation = WindowsGeneration::Win8OrLater;
    system.files = {{kApp, kAppShort}};
    system.Add(kAppPid, kApp, false);
    Programs programs(system);
    EXPECT_FALSE(programs.IsProgramRunning(kApp));
    EXPECT_EQ(programs.FindProcessByTasklist(kApp, true), kAppPid);
    EXPECT_EQ(programs.FindMainWindow(kApp, true), 0u);
}

TEST(Programs, WaitProgramEndPollsEvery100msUntilItsTimeOut) {
    struct Case {
        uint32_t timeoutMs;
        uint32_t endsAfterMs;  // 0: never
        bool ended;
        uint32_t maxWaitedMs;
    };
    const Case cases[] = {
        {0, 0, false, 1100},      // 0 means one second
        {2500, 0, false, 2600},
        {5000, 350, true, 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.timeoutMs);
        FakeSystem system;
        AddProgramAndDecoy(system);
        const uint32_t start = system.tick;
        if (c.endsAfterMs) system.endsAtTick = start + c.endsAfterMs;
        Programs programs(system);
        EXPECT_EQ(programs.WaitProgramEnd(kApp, c.timeoutMs), c.ended);
        EXPECT_LE(system.tick - start, c.maxWaitedMs);
        EXPECT_GE(system.tick - start, c.ended ? c.endsAfterMs : c.timeoutMs ? c.timeoutMs : 1000);
    }
}

TEST(Programs, GetProcessListOnEachRoute) {
    FakeSystem system;
    AddProgramAndDecoy(system);
    system.windows.push_back({9999, kAppPid, 0, "second window", true});
    Programs programs(system);
    // The window list names each process once, by id, so both copies are there.
    EXPECT_EQ(programs.GetProcessList(false, true), "|demo.exe=300|demo.exe=700|");
    EXPECT_EQ(programs.GetProcessList(true, false), "|demo.exe|demo.exe|");

    system.xp = true;
    system.processes.insert(system.processes.begin(), {0, "", ""});
    system.Add(4, "", false);  // the System process: no path, skipped
    EXPECT_EQ(programs.GetProcessList(false, true),
              "|System Idle Process=0|demo.exe=300|demo.exe=700|");
    EXPECT_EQ(programs.GetProcessList(true, false),
              std::string("|System Idle Process|") + kApp + "|" + kDecoy + "|");

    TProcessData data;
    system.xp = false;
    ListWindowProcesses(system, data);
    EXPECT_EQ(data.pids, "|300|700|");
    data = TProcessData();
    data.listAll = true;
    ListWindowProcesses(system, data);
    EXPECT_EQ(data.handles, "|3000|7000|9999|");
    EXPECT_EQ(data.titles, "|||second window|");
    EXPECT_EQ(data.visible, "|0|0|1|");
}

TEST(Programs, WaitWindowGoneReturnsOnceTheClassIsGone) {
    FakeSystem system;
    system.Add(kAppPid, kApp);
    system.endsAtTick = system.tick + 450;
    Programs programs(system);
    programs.WaitWindowGone("Probe", "");
    EXPECT_EQ(system.waits, 5);
    programs.WaitWindowGone("Other", "");
    EXPECT_EQ(system.waits, 5);
}

TEST(Programs, TheInputMethodsWindowsAreNoMainWindow) {
    FakeSystem system;
    system.Add(kAppPid, kApp, false);
    // A hidden, titled main window (an agent's), below the thread's input-method windows.
    system.windows.push_back({1, kAppPid, 0, "Default IME", false});
    system.windows.back().className = "IME";
    system.windows.push_back({2, kAppPid, 0, "MSCTFIME UI", false});
    system.windows.back().className = "MSCTFIME UI";
    system.windows.push_back({3, kAppPid, 0, "Zolvex Installation Suite", false});
    Programs programs(system);
    EXPECT_EQ(programs.FindMainWindow(kApp, true), 3u);
}

// ---- Window scoring ----

struct ScoreCase {
    const char* name;
    std::vector<FakeWindow> windows;  // all of process 1 unless said otherwise
    WindowHandle expected;
};

TEST(TAnalizer, ScoresOwnersTitlesAndVisibility) {
    const ScoreCase cases[] = {
        {"a lone invisible untitled window scores 4 and is chosen", {{11, 1}}, 11},
        {"a window owned from another process scores 0: no main window",
         {{11, 1, 99}, {99, 2}}, 0},
        {"the owner of dialogs beats the dialogs",
         {{11, 1, 12, "Find", true}, {12, 1, 0, "", false}, {13, 1, 12, "Replace", true}}, 12},
        {"title and visibility break a tie between unowned windows",
         {{11, 1}, {12, 1, 0, "", true}, {13, 1, 0, "Demo", false}, {14, 1, 0, "Demo", true}}, 14},
        {"of equal scores the first collected wins",
         {{11, 1, 0, "A", true}, {12, 1, 0, "B", true}}, 11},
        {"another process's windows are not collected",
         {{21, 2, 0, "Other", true}, {11, 1}}, 11},
        {"an owner chain that loops ends", {{11, 1, 12}, {12, 1, 11, "x", true}}, 12},
        {"a chain through two owners credits the topmost",
         {{11, 1, 12, "t", true}, {12, 1, 13, "t", true}, {13, 1}}, 13},
    };
    for (const ScoreCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSystem system;
        system.windows = c.windows;
        TAnalizer table(1);
        for (const FakeWindow& w : c.windows) table.Collect(w.handle, w.pid);
        EXPECT_EQ(table.MainWindow(system), c.expected);
    }
}

TEST(TAnalizer, KeepsAtMost2001WindowsWithoutOverflow) {
    FakeSystem system;
    TAnalizer table(1);
    for (WindowHandle h = 1; h <= 2500; ++h) {
        system.windows.push_back({h, 1, 1});  // every window owned by the first
        table.Collect(h, 1);
    }
    EXPECT_EQ(table.Count(), TAnalizer::kCapacity);
    EXPECT_EQ(table.MainWindow(system), 1u);
    EXPECT_EQ(table.Score(0), 2001 * 4);
}

// ---- Task list ----

TEST(TaskList, CsvIdsFromTheLastLineUp) {
    const std::string csv =
        "\"Image Name\",\"PID\",\"Session Name\",\"Session#\",\"Mem Usage\"\r\n"
        "\"System Idle Process\",\"0\",\"Services\",\"0\",\"8 K\"\r\n"
        "\"demo.exe\",\"300\",\"Console\",\"1\",\"12,345 K\"\r\n"
        "\"a,b.exe\",\"310\",\"Console\",\"1\",\"1,000 K\"\r\n"
        "\"DEMO.EXE\",\"700\",\"Console\",\"1\",\"2,000 K\"\r\n"
        "\"demo.exe\",\"n/a\",\"Console\",\"1\",\"0 K\"\r\n"
        "\r\n";
    struct Case {
        const char* name;
        std::vector<uint32_t> ids;
    };
    const Case cases[] = {
        {"demo.exe", {700, 300}},
        {" Demo.Exe ", {700, 300}},
        {"a,b.exe", {310}},
        {"Image Name", {}},  // the title line is no process
        {"System Idle Process", {}},
        {"", {}},
        {"missing.exe", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(TaskListIds(csv, c.name), c.ids) << c.name;
    EXPECT_TRUE(TaskListIds("", "demo.exe").empty());
    EXPECT_EQ(TaskListIds("h\n\"demo.exe\",\"5\"", "demo.exe"), std::vector<uint32_t>{5});
}

TEST(TaskList, Windows8RouteFindsTheWindowOfTheListedProcess) {
    FakeSystem system;
    system.generation = WindowsGeneration::Win8OrLater;
    system.Add(kAppPid, kApp);
    system.taskList = "\"Image Name\",\"PID\"\r\n\"demo.exe\",\"300\"\r\n\"demo.exe\",\"0\"\r\n";
    Programs programs(system);
    // fullPathOnly false: the task list's name is enough.
    EXPECT_EQ(programs.FindMainWindow("demo.exe", false), WindowHandle(3000));
    system.taskList = "nothing useful";
    EXPECT_EQ(programs.FindMainWindow("demo.exe", false), 0u);
}

// ---- RunWithPipes pieces ----

TEST(RunWithPipes, CommandLineErrorTextAndPollStep) {
    EXPECT_EQ(PipeCommandLine("C:\\Windows\\system32\\tasklist.exe", "/FO csv"),
              "C:\\Windows\\system32\\tasklist.exe /FO csv");
    EXPECT_EQ(PipeCommandLine("C:\\Program Files\\a.exe", ""), "\"C:\\Program Files\\a.exe\"");
    EXPECT_EQ(PipeCommandLine("\"C:\\Program Files\\a.exe\"", "x"),
              "\"C:\\Program Files\\a.exe\" x");

    EXPECT_EQ(PipeStartErrorText("missing.exe /x", "The system cannot find the file specified."),
              "missing.exe /x --- The system cannot find the file specified.");
    EXPECT_EQ(PipeStartErrorText("a", ""),
              "a --- Error Reading \"SysUtils.SysErrorMessage(GetLastError)\"");
    EXPECT_EQ(PipeStartErrorText(std::string(300, 'c'), "m"), std::string(256, 'c') + " --- m");
    EXPECT_EQ(PipeStartErrorText(std::string(kMaxCommandLine + 1, 'c'), "m"),
              "Command line is too long");

    uint32_t step = 100;
    std::vector<uint32_t> steps;
    for (int i = 0; i < 12; ++i) steps.push_back(step = NextPipeStep(step, i >= 2));
    EXPECT_EQ(steps, (std::vector<uint32_t>{100, 100, 90, 80, 70, 60, 50, 40, 30, 20, 10, 10}));
    EXPECT_EQ(NextPipeStep(1, true), 1u);
}

}  // namespace
}  // namespace zv
