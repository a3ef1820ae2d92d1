#include <gtest/gtest.h>
#include <windows.h>

#include <functional>

#include "utils/self_delete.h"
#include "utils/text.h"
#include "utils/win/files_win.h"
#include "stub/win/win32_platform.h"
#include "utils/win/win_file.h"
#include "win_test_util.h"

namespace zv {
namespace {

std::string HelperPath() { return TestProgramPath("self_delete_helper.exe"); }

// Runs a copy of the helper from folder and waits for it to end.
void RunCopy(const std::string& exe, const std::string& arguments) {
    ASSERT_TRUE(CopyFileA(HelperPath().c_str(), exe.c_str(), FALSE)) << HelperPath();
    // A read-only copy (as from a CD) must not keep the batch looping.
    SetFileAttributesA(exe.c_str(), FILE_ATTRIBUTE_READONLY);
    std::string commandLine = "\"" + exe + "\" " + arguments;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                               CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi));
    UniqueHandle process(pi.hProcess), thread(pi.hThread);
    ASSERT_EQ(WaitForSingleObject(process.Get(), 30000), WAIT_OBJECT_0);
}

// The batch runs after the process has gone; give it time to finish.
bool Eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 600; ++i) {
        if (condition()) return true;
        Sleep(50);
    }
    return condition();
}

class SelfDeleteWin : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InstallWin32Platform(); }
    const std::string batch_ = SelfDeleteBatchPath(TempFolder());
};

TEST_F(SelfDeleteWin, ExecutableGoesFolderStays) {
    ScratchFolder dir("selfdel");
    const std::string exe = dir / "X_Agent.exe";
    RunCopy(exe, "");
    EXPECT_TRUE(Eventually([&] { return !PathExists(exe) && !PathExists(batch_); }));
    EXPECT_FALSE(PathExists(exe));
    EXPECT_FALSE(PathExists(batch_));
    EXPECT_TRUE(PathExists(dir.Path()));
}

TEST_F(SelfDeleteWin, ExecutableAndItsFolderGo) {
    ScratchFolder dir("selfdel");
    const std::string folder = dir / "span 100%";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string exe = folder + "\\Setup.exe";
    RunCopy(exe, "/folder");
    EXPECT_TRUE(Eventually([&] { return !PathExists(folder) && !PathExists(batch_); }));
    EXPECT_FALSE(PathExists(exe));
    EXPECT_FALSE(PathExists(folder));
    EXPECT_FALSE(PathExists(batch_));
}

}  // namespace
}  // namespace zv
