// The rewrite of C99 printf formats for msvcrt.dll that the shipped Windows programs' snprintf
// relies on (src/stub/runtime/printf_on_msvcrt.cpp).
#include "stub/runtime/msvcrt_format.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

TEST(MsvcrtFormat, RewritesC99LengthModifiersAndRefusesWhatMsvcrtPrintsDifferently) {
    struct Case {
        const char* format;
        bool ok;
        const char* rewritten;
    } cases[] = {
        {"plain text", true, "plain text"},
        {"", true, ""},
        {"%d%% done", true, "%d%% done"},
        {"%.*f MB", true, "%.*f MB"},
        {"%.2f", true, "%.2f"},
        {"\\StringFileInfo\\%.4x%.4x\\", true, "\\StringFileInfo\\%.4x%.4x\\"},
        {"0x%llX", true, "0x%I64X"},
        {"%-12lld|%+05llu", true, "%-12I64d|%+05I64u"},
        {"%jd", true, "%I64d"},
        {"%zu of %td", true, "%u of %d"},
        {"%hhx %hd %ld %s %c %p", true, "%hx %hd %ld %s %c %p"},
        {"%*.*s", true, "%*.*s"},
        {"%Lf", false, nullptr},   // long double is 80 bits here, 64 in msvcrt
        {"%a", false, nullptr},    // hex floats: not in msvcrt.dll
        {"%n", false, nullptr},
        {"trailing %", false, nullptr},
        {"%5", false, nullptr},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(MsvcrtFormat(c.format, out), c.ok) << c.format;
        if (c.ok) {
            EXPECT_EQ(out, c.rewritten) << c.format;
        }
    }
}

}  // namespace
}  // namespace zv
