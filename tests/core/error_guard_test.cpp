#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "error.h"

namespace zv {
namespace {

std::string g_trace;
void Collect(const std::string& chunk) { g_trace += chunk; }

// What a boundary gives back and traces for each way the code behind it can end.
TEST(GuardBoundary, TurnsAnythingThrownIntoTheFallbackAndOneTraceLine) {
    struct Case {
        const char* what;
        int (*body)();
        int result;
        const char* traced;  // empty: nothing traced
    } cases[] = {
        {"returns", [] { return 7; }, 7, ""},
        {"std::exception", []() -> int { throw std::runtime_error("disk on fire"); }, -1, "disk on fire"},
        {"anything else", []() -> int { throw 42; }, -1, "unknown exception"},
    };
    TraceStream::Sink old = TraceOut().SetSink(&Collect);
    for (const auto& c : cases) {
        g_trace.clear();
        EXPECT_EQ(GuardBoundary("TestProc", -1, c.body), c.result) << c.what;
        TraceOut().WriteLine();  // flush
        if (*c.traced) {
            EXPECT_NE(g_trace.find("TestProc"), std::string::npos) << c.what << ": " << g_trace;
            EXPECT_NE(g_trace.find(c.traced), std::string::npos) << c.what << ": " << g_trace;
        } else {
            EXPECT_EQ(g_trace.find("TestProc"), std::string::npos) << c.what << ": " << g_trace;
        }
    }
    bool ran = false;
    GuardBoundary("VoidProc", [&] {
        ran = true;
        throw 1;
    });
    EXPECT_TRUE(ran);
    TraceOut().SetSink(old);
}

}  // namespace
}  // namespace zv
