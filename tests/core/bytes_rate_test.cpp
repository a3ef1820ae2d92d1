#include <gtest/gtest.h>

#include "inet/bytes_rate.h"

namespace zv {
namespace {

uint32_t g_now = 0;
uint32_t FakeTick() { return g_now; }

TEST(BytesRate, NoRateUntilFiveSamplesThenAtMostEvery500ms) {
    g_now = 10000;
    TBytesRate meter(false, false, &FakeTick);
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(meter.TransferText(50000, i * 1000, 1000), std::to_string(i * 1000) + "/50000 BytesArr")
            << i;
        g_now += 100;
    }
    // Fifth call: the window spans 400 ms and the four newest reads hold 4024 bytes.
    std::string fifth = meter.TransferText(50000, 5000, 1024);
    EXPECT_EQ(fifth, "5000/50000 BytesArr   -   9.82 KB/Sec");
    // Within 500 ms of the last computation the rate text stays as it was.
    g_now += 100;
    EXPECT_EQ(meter.TransferText(50000, 9000, 4000), "9000/50000 BytesArr   -   9.82 KB/Sec");
    g_now += 500;
    EXPECT_NE(meter.TransferText(50000, 13000, 4000), "13000/50000 BytesArr   -   9.82 KB/Sec");
}

TEST(BytesRate, UnitsFollowTheModes) {
    g_now = 1;
    struct Case {
        int64_t size;
        const char* expected;
    } cases[] = {
        {102400, "0/102400 BytesArr"},
        {102401, "0.0/100.0 KB"},
        {10485760, "0.0/10,240.0 KB"},
        {10485761, "0.0/10.0 MB"},
    };
    for (const auto& c : cases) {
        TBytesRate meter(c.size > 102400, c.size > 10485760, &FakeTick);
        EXPECT_EQ(meter.TransferText(c.size, 0, 0), c.expected) << c.size;
    }
}

TEST(BytesRate, PushSampleSpanAndSum) {
    std::array<uint32_t, 5> ticks{1, 2, 3, 4, 5};
    EXPECT_EQ(TBytesRate::PushSample(ticks, TBytesRate::SampleMode::Span, 12u), 10);
    std::array<int32_t, 5> bytes{100, 1, 2, 3, 4};
    EXPECT_EQ(TBytesRate::PushSample(bytes, TBytesRate::SampleMode::Sum, 10), 19);
}

}  // namespace
}  // namespace zv
