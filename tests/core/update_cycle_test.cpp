#include "update_cycle_fixture.h"

namespace zv {
namespace {

using cycle_fixture::CycleTest;
using cycle_fixture::kToken;
using agent_fixture::M;

bool Contains(const std::vector<std::string>& lines, const std::string& part) {
    for (const auto& l : lines)
        if (l.find(part) != std::string::npos) return true;
    return false;
}

using Tick = CycleTest;

TEST_F(Tick, DefaultStartCountsThreeTicksAndProbesOnTheFourth) {
    Installed();
    Serve(Release(""));
    for (int i = 0; i < 3; ++i) cycle.AgentTimerTick();
    EXPECT_EQ(Agent().AutoUpdateTimerCount, 0);
    EXPECT_FALSE(p.HasPrefix("notify 40"));
    cycle.AgentTimerTick();
    EXPECT_TRUE(p.Has("notify 40 1"));
    EXPECT_TRUE(p.Has("http http://upd.test/app/App.info"));
    // Interval 0: this run probes once; later ticks only count.
    EXPECT_FALSE(Agent().PeriodicProbing);
    EXPECT_NE(OriginalValue("ProbeSecondsLast"), "<none>");
    EXPECT_NE(OriginalValue("__ProbeSecondsLast"), "<none>");
    // The decision was OK: the release is recorded as offered, though its download failed.
    EXPECT_EQ(OriginalValue("Stamp"), "77");
    EXPECT_NE(OriginalValue("ReAskSecondsLast"), "<none>");
    EXPECT_FALSE(p.HasPrefix("setup"));
    EXPECT_EQ(Agent().AgentPhase, 0);
}

TEST_F(Tick, SleepSwitchSetsTheFirstProbe) {
    struct Row {
        const char* line;
        int32_t start;
    } rows[] = {{"X_Agent.exe /SleepX=10", -10}, {"X_Agent.exe /SleepX=0", 0},
                {"X_Agent.exe /SleepX=-4", -3}, {"X_Agent.exe", -3}};
    for (const Row& row : rows) {
        ScopedCommandLine cl(row.line, "C:\\Agent\\X_Agent.exe");
        AgentState state;
        ApplyCopySwitches(state);
        EXPECT_EQ(state.AutoUpdateTimerCount, row.start) << row.line;
    }
    Installed();
    Serve(Release(""));
    Agent().AutoUpdateTimerCount = -10;
    for (int i = 0; i < 10; ++i) cycle.AgentTimerTick();
    EXPECT_FALSE(p.HasPrefix("notify 40"));
    cycle.AgentTimerTick();   // the 11th
    EXPECT_TRUE(p.Has("notify 40 1"));
}

TEST_F(Tick, TheCopyRestoresTheOverridesItWasStartedWith) {
    struct Row {
        const char* line;
        uint8_t askBeforeProbe, restartProcess;
    } rows[] = {
        {"X_Agent.exe /TRANSIENTx=|1|255|255|255|255|0|255|255| /SleepX=5", 1, 0},
        {"X_Agent.exe /TRANSIENTx=|255|255|255|255|255|255|255|255|", 255, 255},
        {"X_Agent.exe /TRANSIENTx=garbage", 255, 255},
        {"X_Agent.exe", 255, 255},
    };
    for (const Row& row : rows) {
        ScopedCommandLine cl(row.line, "C:\\Agent\\X_Agent.exe");
        AgentState state;
        ApplyCopySwitches(state);
        EXPECT_EQ(state.Overrides.Get(TransientOverrides::AskBeforeProbe), row.askBeforeProbe)
            << row.line;
        EXPECT_EQ(state.Overrides.Get(TransientOverrides::RestartProcess), row.restartProcess)
            << row.line;
    }
    // What a copy hands on is what the next copy holds.
    AgentState before;
    before.Overrides.Set(TransientOverrides::InformFinish, 0);
    before.Overrides.Set(TransientOverrides::RequestConfirmationBeforeInstallForce, 1);
    const std::string line = "X_Agent.exe /TRANSIENTx=" + BuildTransientList(before.Overrides);
    ScopedCommandLine cl(line.c_str(), "C:\\Agent\\X_Agent.exe");
    AgentState after;
    ApplyCopySwitches(after);
    EXPECT_EQ(after.Overrides.slots, before.Overrides.slots);
}

TEST_F(Tick, ReEntryIsTurnedAwayWhileACycleRuns) {
    Installed();
    Serve(Release(""));
    Agent().AutoUpdateTimerCount = 0;
    int nested = 0;
    p.onWait = [&] {
        ++nested;
        cycle.AgentTimerTick();   // a WM_TIMER dispatched by a nested pump
    };
    cycle.AgentTimerTick();
    EXPECT_GT(nested, 0);
    EXPECT_EQ(Agent().AutoUpdateTimerCount, 1);
    EXPECT_FALSE(cycle.TimerBusy());
}

TEST_F(Tick, UserRequestedCheckAsksSkipsTheReAskWaitAndReports) {
    struct Row {
        const char* what;
        bool answer;
        bool connected;
        std::string infoError;   // http error text of the info download
        int64_t versionNew;
        std::string box;         // the last box, "" for none after the question
    } rows[] = {
        {"declined", false, true, "", 4, ""},
        {"nothing newer: s21", true, true, "", 3, "box Attention 1 Nothing new"},
        {"not connected: s2 and the system text", true, false, "", 4,
         "box Error 0 No Internet<P><P>no route"},
        {"download error shown", true, true, "Unable to open Internet Connection: x", 4,
         "box Error 0 Unable to open Internet Connection: x"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        p = cycle_fixture::FakePlatform();
        Agent() = AgentState();
        Installed();
        Original("Stamp", "77");                      // same release: too early automatically
        Original("ReAskSecondsLast", std::to_string(agent_fixture::kNowSeconds));
        Original("s22", "Check PROG_NAME?", "AutoUpdate");
        Original("s23", " Online.", "AutoUpdate");
        Original("s24", " Now.", "AutoUpdate");
        Original("s21", "Nothing new", "AutoUpdate");
        Original("s2", "No Internet", "AutoUpdate");
        p.connected = row.connected;
        p.answers = {row.answer, false};
        Serve("[NewSetup]\nDownloadURL_UPDATE=http://upd.test/app\nNameOfUpdateFile=U.exe\n"
              "Stamp=77\nVersionNew=" + std::to_string(row.versionNew) + "\n");
        if (!row.infoError.empty()) p.http["http://upd.test/app/App.info"] = {row.infoError, ""};
        ServeUpdate(kToken, "U.exe");
        HandleAgentCommand(31, 2, Agent(), AgentIni());
        cycle.AgentTimerTick();
        const auto boxes = p.Boxes();
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes[0], "box Confirm 1 Check App? Online. Now.");
        if (row.box.empty()) {
            EXPECT_EQ(boxes.size(), 1u);
            EXPECT_FALSE(p.HasPrefix("http"));
        } else if (row.versionNew > 3 && row.connected && row.infoError.empty()) {
            EXPECT_TRUE(p.HasPrefix("setup "));
        } else {
            EXPECT_EQ(boxes.back(), row.box);
        }
        EXPECT_EQ(Agent().ManualCheckState, 0);
    }
}

TEST_F(Tick, DecliningAnAutomaticCheckWaitsForTheNextInterval) {
    Installed();
    Original("ProbeSecondsInterval", "3600");
    Original("s22", "Check PROG_NAME?", "AutoUpdate");
    Serve(Release(""));
    Agent().AutoUpdateTimerCount = 0;
    HandleAgentCommand(20, 1, Agent(), AgentIni());  // ask before every check
    p.answers = {false};
    for (int i = 0; i < 5; ++i) cycle.AgentTimerTick();
    EXPECT_EQ(p.Boxes().size(), 1u) << "asked once, not on every tick";
    EXPECT_FALSE(p.HasPrefix("http"));
    EXPECT_EQ(OriginalValue("ProbeSecondsLast"), std::to_string(agent_fixture::kNowSeconds));
}

TEST_F(Tick, UserRequestedCheckInstallsWithoutConfirmationsAndTellsTheEnd) {
    Installed();
    Original("s16", "Done.", "AutoUpdate");
    Serve(Release("RequestConfirmationBeforeDownload=1\nRequestConfirmationBeforeInstall=1\n"));
    ServeUpdate();
    HandleAgentCommand(31, 2, Agent(), AgentIni());
    cycle.AgentTimerTick();
    const auto boxes = p.Boxes();
    ASSERT_EQ(boxes.size(), 2u);               // the question and the finish, nothing between
    EXPECT_EQ(boxes[1], "box Attention 1 Done.");
    EXPECT_TRUE(p.HasPrefix("setup C:\\Agent\\AppUpd.exe Agent.exe"));
}

TEST_F(Tick, Command32OnlyFetchesTheInfoFile) {
    Installed();
    Serve(Release(""));
    HandleAgentCommand(32, 0, Agent(), AgentIni());
    cycle.AgentTimerTick();
    EXPECT_TRUE(p.Has("write C:\\Agent\\App.info"));
    EXPECT_EQ(OriginalValue("ProbeSecondsLast"), "<none>");
    EXPECT_FALSE(p.HasPrefix("setup"));
    EXPECT_EQ(Agent().AutoUpdateTimerCount, -3);   // the tick did not count
    EXPECT_FALSE(Agent().JustDownloadInfoFile);
}

TEST_F(Tick, AStopDuringACycleSuppressesTheRestartAndQuitsWithoutAnotherCycle) {
    Installed();
    Serve(Release(""));
    ServeUpdate();
    Agent().AutoUpdateTimerCount = 0;
    p.onWait = [&] { Agent().StopCountdown = 0; };   // wm_ShutDown 0 arrives during the cycle
    cycle.AgentTimerTick();
    EXPECT_TRUE(p.HasPrefix("setup"));
    EXPECT_FALSE(p.HasPrefix("start \"C:\\Agent\\Agent.exe\""));
    EXPECT_FALSE(p.Has("destroy"));
    p.events.clear();
    p.onWait = nullptr;
    Agent().ForceShot = true;                          // even a due probe does not run now
    cycle.AgentTimerTick();
    EXPECT_EQ(p.events, std::vector<std::string>{"quit"});
    EXPECT_EQ(Agent().StopCountdown, -1);
}

using Install = CycleTest;

TEST_F(Install, ConfirmationMatrix) {
    struct Row {
        const char* flags;
        std::deque<bool> answers;
        std::vector<std::string> boxes;
        bool downloaded, installed;
    } rows[] = {
        {"", {}, {}, true, true},
        {"RequestConfirmationBeforeDownload=1\n", {true}, {"box Confirm 0 D1D2"}, true, true},
        {"RequestConfirmationBeforeDownload=1\n", {false}, {"box Confirm 0 D1D2"}, false, false},
        {"RequestConfirmationBeforeDownload=1\nRequestConfirmationBeforeDownloadForce=1\n",
         {false}, {"box Attention 2 D1F2"}, true, true},
        {"RequestConfirmationBeforeDownloadForce=1\n", {}, {}, true, true},
        {"RequestConfirmationBeforeInstall=1\n", {true}, {"box Confirm 0 I"}, true, true},
        {"RequestConfirmationBeforeInstall=1\n", {false}, {"box Confirm 0 I"}, true, false},
        {"RequestConfirmationBeforeInstall=1\nRequestConfirmationBeforeInstallForce=1\n",
         {false}, {"box Attention 2 IF"}, true, true},
        {"RequestConfirmationBeforeDownload=1\nRequestConfirmationBeforeInstall=1\n",
         {true, false}, {"box Confirm 0 D1D3", "box Confirm 0 I"}, true, false},
        {"RequestConfirmationBeforeDownload=1\nRequestConfirmationBeforeDownloadForce=1\n"
         "RequestConfirmationBeforeInstall=1\n",
         {true}, {"box Attention 2 D1F3", "box Confirm 0 I"}, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.flags);
        p = cycle_fixture::FakePlatform();
        Installed();
        for (auto kv : {std::pair<const char*, const char*>{"s11", "D1"}, {"s12", "D2"},
                        {"s13", "D3"}, {"s18", "F2"}, {"s19", "F3"}, {"s14", "I"}, {"s20", "IF"}})
            Original(kv.first, kv.second, "AutoUpdate");
        p.StoreIni(info_, Release(row.flags));
        ServeUpdate();
        p.answers = row.answers;
        const bool result = cycle.PerformAutoUpdate();
        EXPECT_EQ(p.Boxes(), row.boxes);
        EXPECT_EQ(p.HasPrefix("http http://upd.test/app/AppUpd.exe"), row.downloaded);
        EXPECT_EQ(p.HasPrefix("setup"), row.installed);
        EXPECT_EQ(result, row.installed);
        // A downloaded update never stays behind, installed or not.
        EXPECT_FALSE(p.FileExists("C:\\Agent\\AppUpd.exe"));
    }
}

TEST_F(Install, ShutDownMethodsByExactName) {
    struct Row {
        const char* method;
        const char* action;   // the event the method causes, "" for none
        bool waits;
    } rows[] = {
        {"Using WM_CLOSE", "close C:\\Prog\\App.exe", true},
        {"Using WM_QUIT", "quitprog C:\\Prog\\App.exe", true},
        {"Using Terminate Process", "terminate C:\\Prog\\App.exe", true},
        {"Issue a Message Box", "box Attention 0 Please close App.exe", true},
        {"Don't Shut Down", "", false},
        {"using wm_close", "", true},
        {"", "", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.method);
        p = cycle_fixture::FakePlatform();
        Installed();
        Original("TargetDir", "C:\\Prog", "Directories");
        Original("s15", "Please close PROG_NAME", "AutoUpdate");
        p.StoreIni(info_, Release(std::string("ShutDownMethod=") + row.method +
                                  "\nRunningProcess=<InstallDir>\\App.exe\n"));
        ServeUpdate();
        p.running.insert("C:\\PROG\\APP.EXE");
        if (std::string(row.method) == "Issue a Message Box")
            p.onBox = [&] { p.running.clear(); };   // the user closes the program
        cycle.PerformAutoUpdate();
        for (const char* other : {"close ", "quitprog ", "terminate ", "box Attention 0"})
            EXPECT_EQ(p.HasPrefix(other), std::string(row.action).rfind(other, 0) == 0) << other;
        EXPECT_EQ(p.Has("waitend C:\\Prog\\App.exe 1000"), row.waits);
        EXPECT_TRUE(p.HasPrefix("setup"));
    }
}

TEST_F(Install, RestartRule) {
    struct Row {
        const char* what;
        bool running, endsOnClose, restartFlag, informFinish;
        std::deque<bool> answers;
        bool restarted;
        std::vector<std::string> boxes;
    } rows[] = {
        {"shut down and restarted, quoted", true, true, true, false, {}, true, {}},
        {"restart question declined", true, true, true, true, {false}, false,
         {"box Confirm 1 Done.Restart?"}},
        {"not running before: no restart, only s16", false, true, true, true, {}, false,
         {"box Attention 1 Done."}},
        {"did not end: not restarted", true, false, true, false, {}, false, {}},
        {"RestartProcess off", true, true, false, false, {}, false, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        p = cycle_fixture::FakePlatform();
        Installed();
        Original("TargetDir", "C:\\Program Files\\App", "Directories");
        Original("s16", "Done.", "AutoUpdate");
        Original("s17", "Restart?", "AutoUpdate");
        p.StoreIni(info_, Release(std::string("ShutDownMethod=Using WM_CLOSE\n") +
                                  "RunningProcess=<InstallDir>\\App.exe\nRestartProcess=" +
                                  (row.restartFlag ? "1" : "0") + "\nInformFinish=" +
                                  (row.informFinish ? "1" : "0") + "\n"));
        ServeUpdate();
        if (row.running) p.running.insert("C:\\PROGRAM FILES\\APP\\APP.EXE");
        p.endsOnClose = row.endsOnClose;
        p.answers = row.answers;
        cycle.PerformAutoUpdate();
        EXPECT_EQ(p.Has("start \"C:\\Program Files\\App\\App.exe\" show"), row.restarted);
        EXPECT_EQ(p.HasPrefix("start "), row.restarted);
        EXPECT_EQ(p.Boxes(), row.boxes);
    }
}

TEST_F(Install, VersionAdvancesOnlyOnSuccessAndTheSetupGetsTheInfoFile) {
    for (bool ok : {true, false}) {
        p = cycle_fixture::FakePlatform();
        Installed();
        p.StoreIni(info_, Release("BackgroundUpdate=1\n"));
        ServeUpdate();
        p.setupResult = ok;
        EXPECT_EQ(cycle.PerformAutoUpdate(), ok);
        EXPECT_TRUE(p.Has("setup C:\\Agent\\AppUpd.exe Agent.exe "
                          "/OriginalInfoFile=\"C:\\Agent\\App.info\" bg"));
        EXPECT_EQ(OriginalValue("VersionOriginal"), ok ? "4" : "3");
        EXPECT_TRUE(p.Has("delete C:\\Agent\\AppUpd.exe"));
        EXPECT_TRUE(p.Has("notify 42 1") && p.Has("notify 42 2"));
    }
}

TEST_F(Install, UpdateFileNameRule) {
    struct Row {
        const char* name;
        const char* local;   // where it is stored and installed from; "" = refused
    } rows[] = {
        {"AppUpd.exe", "C:\\Agent\\AppUpd.exe"},
        {"..\\..\\x.exe", "C:\\Agent\\x.exe"},
        {"sub/dir/y.exe", "C:\\Agent\\y.exe"},
        {"D:y.exe", "C:\\Agent\\y.exe"},
        {"..", ""},
        {"dir\\", ""},
        {"Agent.exe", ""},
        {"x_agent.EXE", ""},
        {"X_Agent.exe", ""},
        {"App.original", ""},
        {"App.info", ""},
        {"X_Agent.log", ""},
        {"NUL", ""},
        {"CON.exe", ""},
        {"AppUpd.exe.", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        p = cycle_fixture::FakePlatform();
        M().runLog.clear();
        Installed();
        p.StoreIni(info_, "[NewSetup]\nDownloadURL_UPDATE=http://upd.test/app\nNameOfUpdateFile=" +
                              std::string(row.name) + "\n");
        const std::string file = ExtractFileName(row.name);
        ServeUpdate(kToken, file);
        const bool installed = cycle.PerformAutoUpdate();
        EXPECT_EQ(AgentDownloadPath(row.name), row.local);
        if (*row.local) {
            EXPECT_TRUE(installed);
            EXPECT_TRUE(p.HasPrefix(std::string("setup ") + row.local + " "));
            EXPECT_TRUE(p.Has(std::string("delete ") + row.local));
        } else {
            EXPECT_FALSE(installed);
            EXPECT_FALSE(p.HasPrefix("http"));
            EXPECT_FALSE(p.HasPrefix("setup"));
            EXPECT_FALSE(p.HasPrefix("delete"));
            EXPECT_TRUE(Contains(LogMessages(), "ERROR: refused file name: "));
        }
    }
}

TEST_F(Install, AgentRestart) {
    struct Row {
        const char* what;
        int32_t stop;
        bool starts;
        bool destroyed;
    } rows[] = {
        {"restarted", -1, true, true},
        {"start failed: keep running", -1, false, false},
        {"stop pending", 3, true, false},
        {"stop on the next tick", 0, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        p = cycle_fixture::FakePlatform();
        M().runLog.clear();
        Agent() = AgentState();
        Agent().StopCountdown = row.stop;
        Agent().Overrides.Set(2, 0);
        p.startSucceeds = row.starts;
        EXPECT_EQ(cycle.ReStartAutoUpdateExe(), row.destroyed);
        EXPECT_EQ(p.Has("destroy"), row.destroyed);
        EXPECT_EQ(p.Has("start \"C:\\Agent\\Agent.exe\" /_ZZ=99 /WAIT=10 "
                        "/TRANSIENT=|255|0|255|255|255|255|255|255| hide"),
                  row.stop < 0);
        if (row.stop < 0 && !row.starts) {
            EXPECT_TRUE(Contains(LogMessages(), "this copy keeps running"));
        }
    }
}

}  // namespace
}  // namespace zv
