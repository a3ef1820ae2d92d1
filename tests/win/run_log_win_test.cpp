#include <gtest/gtest.h>
#include <windows.h>

#include "utils/files.h"
#include "utils/platform.h"
#include "utils/run_log.h"
#include "utils/text.h"
#include "stub/win/win32_platform.h"
#include "win_test_util.h"

namespace zv {
namespace {

TEST(RunLogWin, LinesGoBesideTheExecutableAndAccumulate) {
    InstallWin32Platform();
    ScratchFolder dir("runlog");
    const std::string exe = dir / "Agent.exe";
    const std::string log = dir / "X_Agent.log";
    PutFile(log, "earlier run\r\n");
    ResetRunLog();
    {
        ScopedCommandLine cmd("\"" + exe + "\" /x", exe);
        StartRunLog(true, false, exe, "\"" + exe + "\" /x", "1.0.0.0");
        EndRunLog(exe);
    }
    ResetRunLog();
    const std::string text = ReadFilePart(log);
    ASSERT_EQ(text.compare(0, 13, "earlier run\r\n"), 0) << text;
    const std::string thread = PadLeft(IntText(GetCurrentThreadId()), 5, ' ');
    const std::string first = text.substr(13, text.find("\r\n", 13) - 13);
    // "dd/mm/yy HH:NN:SS" with the locale's separators, then the thread and the indent.
    ASSERT_EQ(first.size(), 17u + 1 + thread.size() + 3) << first;
    EXPECT_EQ(first.substr(17), " " + thread + "   ");
    EXPECT_NE(text.find(thread + "   === START === " + exe + "\r\n"), std::string::npos);
    EXPECT_NE(text.find(thread + "   Agent Version=1.0.0.0\r\n"), std::string::npos);
    EXPECT_NE(text.find(thread + "   === EXIT === " + exe + "\r\n"), std::string::npos);
    size_t lines = 0;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2))
        ++lines;
    EXPECT_EQ(lines, 1u + 7u);
}

}  // namespace
}  // namespace zv
