#include <gtest/gtest.h>

#include "pack_clock.h"
#include "pack_test_util.h"

namespace zv::pack {
namespace {

class PackClock : public ::testing::Test {
protected:
    void SetUp() override { test::UseUtc(); }
};

TEST_F(PackClock, PackageTimeCountsSecondsFrom1899_12_30) {
    EXPECT_EQ(PackageTimeFromUnix(0), 25569LL * 86400);
    EXPECT_EQ(PackageTimeFromUnix(1700000000), 25569LL * 86400 + 1700000000);
    CivilTime t = CivilFromPackageTime(PackageTimeFromUnix(951825600));  // 2000-02-29 12:00:00
    EXPECT_EQ(FormatCivil(t), "2000-02-29 12:00:00");
    EXPECT_EQ(FormatCivil(CivilFromPackageTime(0)), "1899-12-30 00:00:00");
    EXPECT_EQ(FormatCivil(CivilFromPackageTime(-1)), "1899-12-29 23:59:59");
}

TEST_F(PackClock, DosDateTimeKeepsEvenSecondsAndClampsToItsRange) {
    struct Case {
        int64_t unix;
        const char* expect;
    } cases[] = {
        {951831959, "2000-02-29 13:45:58"},  // odd second drops to the even one below
        {315532800, "1980-01-01 00:00:00"},
        {0, "1980-01-01 00:00:00"},            // before 1980: the first DOS date
        {4354819199LL, "2107-12-31 23:59:58"},  // 2107-12-31 23:59:59
        {4354819200LL, "2107-12-31 23:59:58"},  // beyond 2107
    };
    for (const auto& c : cases) {
        CivilTime t;
        ASSERT_TRUE(CivilFromDosDateTime(DosDateTimeFromUnix(c.unix), t)) << c.unix;
        EXPECT_EQ(FormatCivil(t), c.expect) << c.unix;
    }
    // An item header date as the stub writes it back with the file system's date calls.
    CivilTime t;
    ASSERT_TRUE(CivilFromDosDateTime(1502447781u, t));
    EXPECT_EQ(FormatCivil(t), "2024-12-13 17:05:10");
}

TEST_F(PackClock, DosDateTimeRefusesImpossibleFields) {
    CivilTime t;
    EXPECT_FALSE(CivilFromDosDateTime(0, t));                     // month 0, day 0
    EXPECT_FALSE(CivilFromDosDateTime((44u << 25 | 2u << 21 | 30u << 16), t));  // 2024-02-30
    EXPECT_FALSE(CivilFromDosDateTime((44u << 25 | 1u << 21 | 1u << 16 | 24u << 11), t));
    EXPECT_TRUE(CivilFromDosDateTime((44u << 25 | 2u << 21 | 29u << 16), t));   // 2024-02-29
}

TEST(ParseEpoch, AcceptsDecimalSecondsOnly) {
    int64_t v = 0;
    EXPECT_TRUE(ParseEpoch("1700000000", v));
    EXPECT_EQ(v, 1700000000);
    for (const char* bad : {"", "-1", "1e9", " 5", "99999999999999999999"})
        EXPECT_FALSE(ParseEpoch(bad, v)) << bad;
    EXPECT_FALSE(ParseEpoch(nullptr, v));
}

}  // namespace
}  // namespace zv::pack
