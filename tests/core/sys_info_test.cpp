#include <gtest/gtest.h>

#include "utils/sys_info.h"

namespace zv {
namespace {

TEST(OSNames, WholeTable) {
    struct Case {
        uint32_t platform, major, minor, build;
        bool windows64, server;
        const char* version;
        const char* name;
        uint32_t id;
    } cases[] = {
        {kPlatformWin32s, 3, 11, 0, false, false, "3.11", "32S", 0},
        {kPlatformWindows, 4, 0, 950, false, false, "4.0", "95", 1},
        {kPlatformWindows, 4, 10, 2222, false, false, "4.10", "98", 2},
        {kPlatformWindows, 4, 10, 3000, false, false, "4.90", "ME", 4},
        {kPlatformWindows, 4, 90, 3000, false, false, "4.90", "ME", 4},
        {kPlatformWindows, 4, 20, 0, false, false, "4.20", "9x", 1},
        {kPlatformNT, 4, 0, 1381, false, false, "4.0", "NT", 8},
        {kPlatformNT, 5, 0, 2195, false, false, "5.0", "2000", 16},
        {kPlatformNT, 5, 1, 2600, false, false, "5.1", "XP", 32},
        {kPlatformNT, 5, 2, 3790, false, false, "5.2", "2003", 64},
        {kPlatformNT, 5, 2, 3790, true, false, "5.2", "XP.64", 256},
        {kPlatformNT, 6, 0, 6002, false, false, "6.0", "Vista", 128},
        {kPlatformNT, 6, 0, 6002, true, false, "6.0", "Vista.64", 512},
        {kPlatformNT, 6, 0, 6002, false, true, "6.0", "2008", 4096},
        {kPlatformNT, 6, 0, 6002, true, true, "6.0", "2008.64", 8192},
        {kPlatformNT, 6, 1, 7601, false, false, "6.1", "7", 1024},
        {kPlatformNT, 6, 1, 7601, true, false, "6.1", "7.64", 2048},
        {kPlatformNT, 6, 1, 7601, true, true, "6.1", "2008R2.64", 16384},
        {kPlatformNT, 6, 1, 7601, false, true, "6.1", "7", 1024},
        {kPlatformNT, 6, 2, 9200, false, false, "6.2", "8", 32768},
        {kPlatformNT, 6, 2, 9200, true, false, "6.2", "8.64", 65536},
        {kPlatformNT, 6, 2, 9200, true, true, "6.2", "2012.64", 131072},
        {kPlatformNT, 6, 3, 9600, false, false, "6.3", "8.1", 262144},
        {kPlatformNT, 6, 3, 9600, true, false, "6.3", "8.1.64", 524288},
        {kPlatformNT, 6, 3, 9600, true, true, "6.3", "2012R2.64", 1048576},
        {kPlatformNT, 10, 0, 19045, false, false, "10.0", "10", 2097152},
        {kPlatformNT, 10, 0, 19045, true, false, "10.0", "10.64", 4194304},
        {kPlatformNT, 10, 0, 20348, true, true, "10.0", "10.64", 4194304},
        {kPlatformNT, 7, 0, 0, false, false, "7.0", "NTx", 8},
    };
    for (const Case& c : cases) {
        OSVersionRecord v;
        v.platformId = c.platform;
        v.major = c.major;
        v.minor = c.minor;
        v.build = c.build;
        v.servicePack = " Service Pack 1 ";
        OSInfo info = ClassifyOS(v, c.windows64, c.server);
        EXPECT_EQ(info.versionText, c.version) << c.name;
        EXPECT_EQ(info.name, c.name) << c.version;
        EXPECT_EQ(info.id, c.id) << c.name;
        EXPECT_EQ(info.build, c.build);
        EXPECT_EQ(info.servicePack, "Service Pack 1");
    }
}

TEST(OSVersionCorrection, KernelProductVersionWinsOverACompatibilityAnswer) {
    OSVersionRecord reported;
    reported.platformId = kPlatformNT;
    reported.major = 6;
    reported.minor = 3;
    reported.build = 9600;
    OSVersionRecord v = CorrectReportedVersion(reported, "10.0.19041.1");
    EXPECT_EQ(v.major, 10u);
    EXPECT_EQ(v.minor, 0u);
    EXPECT_EQ(v.build, 19041u);
    EXPECT_EQ(ClassifyOS(v, true, false).name, "10.64");

    EXPECT_EQ(CorrectReportedVersion(reported, "6.3.9600.17415").build, 9600u);
    EXPECT_EQ(CorrectReportedVersion(reported, "10, 0, 17763, 1").build, 17763u);
    // No readable product version: keep what the system said.
    EXPECT_EQ(CorrectReportedVersion(reported, "").major, 6u);
    EXPECT_EQ(CorrectReportedVersion(reported, "").minor, 3u);
    // Only minor versions above 2 are corrected.
    reported.minor = 2;
    EXPECT_EQ(CorrectReportedVersion(reported, "10.0.19041.1").major, 6u);
    reported.major = 5;
    reported.minor = 3;
    EXPECT_EQ(CorrectReportedVersion(reported, "10.0.19041.1").major, 5u);
}

TEST(OSVersionCorrection, Windows8OrLaterIsANumericComparison) {
    for (const char* yes : {"6.2", "6.3", "10.0", "6,2", "7.0"})
        EXPECT_TRUE(VersionTextAtLeast8(yes)) << yes;
    for (const char* no : {"6.1", "6.0", "5.2", "4.10", "6.19", "", "x.y"})
        EXPECT_FALSE(VersionTextAtLeast8(no)) << no;
}

TEST(CenterInArea, HalvesRoundTowardZero) {
    ScreenPoint p = CenterInArea(0, 0, 1024, 738, 200, 100);
    EXPECT_EQ(p.left, 412);
    EXPECT_EQ(p.top, 319);
    p = CenterInArea(100, 30, 1124, 768, 201, 101);
    EXPECT_EQ(p.left, 100 + 411);
    EXPECT_EQ(p.top, 30 + 318);
    p = CenterInArea(0, 0, 1024, 738, 1100, 801);
    EXPECT_EQ(p.left, -38);
    EXPECT_EQ(p.top, -31);
}

}  // namespace
}  // namespace zv
