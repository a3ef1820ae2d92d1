// Closing, quitting, terminating and waiting for a program by its path, with a same-named decoy
// in another folder that must never be touched.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "utils/text.h"
#include "utils/win/dll_loader.h"
#include "utils/win/processes_win.h"
#include "utils/win/unique_owner.h"
#include "stub/win/win32_platform.h"
#include "win_test_util.h"

namespace zv {
namespace {

std::string ProbePath() { return TestProgramPath("window_probe.exe"); }

std::string ReadText(const std::string& path) {
    std::string text;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return text;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got) text.append(buf, got);
    CloseHandle(h);
    return text;
}

bool Eventually(const std::function<bool()>& condition, int ms = 15000) {
    for (int waited = 0; waited < ms; waited += 50) {
        if (condition()) return true;
        Sleep(50);
    }
    return condition();
}

// One running copy of the probe, started from its own folder; ended when the test ends.
class Probe {
public:
    Probe(const ScratchFolder& dir, const std::string& arguments = "")
        : exe_(dir / "probe.exe"), log_(dir / "probe.log") {
        CopyFileA(ProbePath().c_str(), exe_.c_str(), FALSE);
        std::string line = "\"" + exe_ + "\" \"" + log_ + "\" " + arguments;
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (CreateProcessA(exe_.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &si, &pi)) {
            process_.Reset(pi.hProcess);
            CloseHandle(pi.hThread);
        }
    }
    ~Probe() {
        if (Running()) TerminateProcess(process_.Get(), 9);
        WaitForSingleObject(process_.Get(), 5000);
    }
    bool Ready() const {
        return process_ && Eventually([&] { return Log().find("window") != std::string::npos; });
    }
    bool Running() const {
        return process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT;
    }
    bool Ended() const { return Eventually([&] { return !Running(); }); }
    std::string Log() const { return ReadText(log_); }
    bool Logged(const std::string& line) const {
        return Eventually([&] { return Log().find(line + "\r\n") != std::string::npos; });
    }
    const std::string& Exe() const { return exe_; }

private:
    std::string exe_, log_;
    UniqueHandle process_;
};

// The program and its decoy: same file name, different folders.
class ProcessesWin : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InstallWin32Platform(); }
    void SetUp() override {
        ASSERT_TRUE(PathExists(ProbePath())) << ProbePath();
        ASSERT_TRUE(program_.Ready());
        ASSERT_TRUE(decoy_.Ready());
    }
    void TearDown() override {
        EXPECT_TRUE(decoy_.Running()) << "the decoy was touched";
        EXPECT_EQ(decoy_.Log().find("close"), std::string::npos) << decoy_.Log();
        EXPECT_EQ(decoy_.Log().find("quit"), std::string::npos) << decoy_.Log();
        EXPECT_EQ(decoy_.Log().find("message"), std::string::npos) << decoy_.Log();
    }
    ScratchFolder programDir_{"procs_app"}, decoyDir_{"procs_decoy"};
    // The decoy starts last, so it is the later copy in every list.
    Probe program_{programDir_}, decoy_{decoyDir_};
};

TEST_F(ProcessesWin, FindsTheProgramByItsPathOnly) {
    EXPECT_TRUE(IsProgramRunning(program_.Exe()));
    EXPECT_TRUE(IsProgramRunning("\"" + program_.Exe() + "\""));
    EXPECT_FALSE(IsProgramRunning(programDir_ / "other.exe"));
    EXPECT_FALSE(IsProgramRunning(""));
    EXPECT_NE(FindMainWindow(program_.Exe(), true), FindMainWindow(decoy_.Exe(), true));
    char title[64] = {};
    GetWindowTextA(FindMainWindow(program_.Exe(), true), title, sizeof title);
    EXPECT_STREQ(title, "Window Probe");
}

TEST_F(ProcessesWin, CloseSendsWmCloseWith15And255) {
    EXPECT_TRUE(CloseProgram(program_.Exe(), true, 5000));
    EXPECT_TRUE(program_.Logged("close wParam=15 lParam=255"));
    EXPECT_TRUE(program_.Ended());
    EXPECT_FALSE(IsProgramRunning(program_.Exe()));
}

TEST_F(ProcessesWin, QuitPostsWmQuitWith15And255) {
    EXPECT_TRUE(QuitProgram(program_.Exe(), true));
    EXPECT_TRUE(program_.Logged("quit wParam=15 lParam=255"));
    EXPECT_TRUE(program_.Ended());
    EXPECT_TRUE(WaitProgramEnd(program_.Exe(), 0));
}

TEST_F(ProcessesWin, TerminateEndsTheProgramOnly) {
    EXPECT_TRUE(TerminateProgram(program_.Exe(), true));
    EXPECT_TRUE(program_.Ended());
    EXPECT_FALSE(TerminateProgram(program_.Exe(), true));
}

TEST_F(ProcessesWin, PostProcessMessageReachesTheProgramsWindow) {
    EXPECT_TRUE(PostProcessMessage(program_.Exe(), true, WM_USER + 7, 1, 2));
    EXPECT_TRUE(program_.Logged("message " + std::to_string(WM_USER + 7) + " wParam=1 lParam=2"));
    EXPECT_FALSE(PostProcessMessage(programDir_ / "other.exe", true, WM_USER + 7, 1, 2));
}

TEST_F(ProcessesWin, WaitProgramEndGivesUpOnAProgramThatIgnoresClose) {
    ScratchFolder stubbornDir("procs_stubborn");
    Probe stubborn(stubbornDir, "/ignoreclose");
    ASSERT_TRUE(stubborn.Ready());
    EXPECT_TRUE(CloseProgram(stubborn.Exe(), true, 0));
    EXPECT_TRUE(stubborn.Logged("close wParam=15 lParam=255"));
    const DWORD start = GetTickCount();
    EXPECT_FALSE(WaitProgramEnd(stubborn.Exe(), 700));
    EXPECT_GE(GetTickCount() - start, 650u);
    EXPECT_TRUE(stubborn.Running());
    EXPECT_TRUE(program_.Running());
}

TEST(RunWithPipesWin, CapturesOutputAndReportsAProgramThatDoesNotStart) {
    std::string errors, output;
    uint32_t exitCode = 99;
    EXPECT_TRUE(RunWithPipes(SystemDllPath("cmd.exe"), "/c echo piped", SW_HIDE, nullptr,
                             nullptr, 1, errors, output, exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_NE(output.find("piped"), std::string::npos) << output;

    struct Seen {
        std::string text;
    } seen;
    auto collect = [](void* user, const std::string& chunk, bool&) {
        static_cast<Seen*>(user)->text += chunk;
    };
    errors.clear();
    output.clear();
    const std::string missing = "C:\\no such folder\\missing.exe";
    EXPECT_FALSE(RunWithPipes(missing, "/x", SW_HIDE, collect, &seen, 1, errors, output,
                              exitCode));
    EXPECT_EQ(exitCode, 21u);
    EXPECT_EQ(errors.rfind("\"" + missing + "\" /x --- ", 0), 0u) << errors;
    EXPECT_EQ(seen.text, errors + "\r\n");
}

// A program that does not end by itself (the probe waits for a close) is ended at the limit.
TEST(RunWithPipesWin, AProgramPastTheTimeLimitIsEnded) {
    ScratchFolder dir("pipes-limit");
    const std::string probe = dir / "probe.exe";
    ASSERT_TRUE(CopyFileA(ProbePath().c_str(), probe.c_str(), FALSE));
    std::string errors, output;
    uint32_t exitCode = 0;
    const DWORD started = GetTickCount();
    EXPECT_FALSE(RunWithPipes(probe, "\"" + (dir / "probe.log") + "\" /ignoreclose", SW_HIDE,
                              nullptr, nullptr, 1, errors, output, exitCode, 1500));
    EXPECT_EQ(exitCode, 255u);
    EXPECT_GE(GetTickCount() - started, 1500u);
    EXPECT_LT(GetTickCount() - started, 15000u);
    const std::string log = ReadText(dir / "probe.log");
    EXPECT_NE(log.find("start"), std::string::npos) << log;
    EXPECT_EQ(log.find("exit"), std::string::npos) << "ended, not left to end: " << log;
}

}  // namespace
}  // namespace zv
