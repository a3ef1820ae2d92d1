#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

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

// A test prefix reports a 32-bit Windows 7 (what Wine reports unless told otherwise), or Windows XP
// when scripts/test-winxp.sh runs the tests (it sets ZV_WINE_VERSION=winxp).
TEST_F(SysInfoWin, WineReportsThePrefixsVersion) {
    struct Row {
        const char* wineVersion;
        const char* versionText;
        const char* name;
        uint32_t id;
        bool xp;
    };
    const Row rows[] = {{"win7", "6.1", "7", 1024u, false}, {"winxp", "5.1", "XP", 32u, true}};
    const char* asked = std::getenv("ZV_WINE_VERSION");
    const std::string wanted = asked && *asked ? asked : "win7";
    const Row* row = nullptr;
    for (const Row& r : rows)
        if (wanted == r.wineVersion) row = &r;
    ASSERT_NE(row, nullptr) << "no expectations for ZV_WINE_VERSION=" << wanted;

    const OSInfo info = GetOSInfo();
    EXPECT_EQ(info.versionText, row->versionText);
    EXPECT_EQ(info.name, row->name);
    EXPECT_EQ(info.id, row->id);
    EXPECT_EQ(GetOSId(), row->id);
    EXPECT_GT(info.build, 0u);
    EXPECT_TRUE(IsNT());
    EXPECT_EQ(IsXP(), row->xp);
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
