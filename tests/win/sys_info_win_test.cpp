#include <gtest/gtest.h>
#include <windows.h>

#include "utils/text.h"
#include "utils/win/sys_info_win.h"
#include "stub/win/win32_platform.h"

namespace zv {
namespace {

class SysInfoWin : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InstallWin32Platform();
    }
};

// The test prefix is a 32-bit Windows 7 (what Wine reports unless told otherwise).
TEST_F(SysInfoWin, WineReportsWindows7) {
    const OSInfo info = GetOSInfo();
    EXPECT_EQ(info.versionText, "6.1");
    EXPECT_EQ(info.name, "7");
    EXPECT_EQ(info.id, 1024u);
    EXPECT_EQ(GetOSId(), 1024u);
    EXPECT_GT(info.build, 0u);
    EXPECT_TRUE(IsNT());
    EXPECT_FALSE(IsXP());
    EXPECT_FALSE(IsWin8OrLater());
    EXPECT_FALSE(IsWindows64());
    EXPECT_FALSE(IsServer());
    EXPECT_EQ(&GetOSVersionInfo(), &GetOSVersionInfo());
}

TEST_F(SysInfoWin, Names) {
    const std::string user = GetLoggedUserName();
    EXPECT_FALSE(user.empty());
    EXPECT_FALSE(GetComputerNameText().empty());
    EXPECT_EQ(WindowsVersionKey(), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
    // Wine's registry holds an empty owner: the logged-on user stands in.
    const std::string owner = GetRegisteredOwner();
    EXPECT_EQ(owner, user);
    EXPECT_EQ(GetRegisteredOrganization(), "");
    // The local account's domain is the computer itself.
    EXPECT_TRUE(SameText(GetDomainName(), GetComputerNameText()));
}

TEST_F(SysInfoWin, CentresInTheWorkArea) {
    RECT area{};
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0));
    const ScreenPoint p = CenterInWorkArea(200, 100);
    EXPECT_EQ(p.left - area.left, area.right - (p.left + 200) + ((area.right - area.left) % 2));
    EXPECT_GE(p.left, area.left);
    EXPECT_GE(p.top, area.top);
    EXPECT_LE(p.top + 100, area.bottom);
}

}  // namespace
}  // namespace zv
