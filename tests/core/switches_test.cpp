#include <gtest/gtest.h>

#include <string>

#include "utils/platform.h"
#include "utils/switches.h"

namespace zv {
namespace {

const char* const kExe = "C:\\Tools\\setup.exe";

TEST(ParamsText, ProgramNameIsDroppedHoweverItIsWritten) {
    struct Case {
        const char* cmd;
        const char* params;
    } cases[] = {
        {"\"C:\\Tools\\setup.exe\" /SpanCdLvl=2", "/SpanCdLvl=2"},
        {"\"C:\\TOOLS\\SETUP.EXE\"  /a /b ", "/a /b"},
        {"C:\\Tools\\setup.exe /x", "/x"},
        {"setup /x", "setup /x"},  // name not found: nothing is dropped
        {"\"C:\\Tools\\setup.exe\"", ""},
        {"\"C:\\Tools\\setup.exe\"\t", ""},
        {"C:\\Tools\\setup.exe\"", ""},  // lone leftover character
        {"setup.exe", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        ScopedCommandLine cl(c.cmd, kExe);
        EXPECT_EQ(GetParamsText(), c.params) << c.cmd;
    }
}

TEST(ParamsText, EmptyExePathDropsNothing) {
    ScopedCommandLine cl("\"x\" /a", "");
    EXPECT_EQ(GetParamsText(), "\"x\" /a");
}

TEST(SwitchValue, ReadsValuesFromTheCommandLine) {
    ScopedCommandLine cl(
        "\"C:\\Tools\\setup.exe\" /Dir=C:\\Program Files\\X /q=\"quoted value\" /Empty= "
        "/spaced =7 /last=end  ",
        kExe);
    struct Case {
        const char* name;
        const char* def;
        const char* value;
    } cases[] = {
        {"/Dir=", "d", "C:\\Program Files\\X"},
        {"/DIR=", "d", "C:\\Program Files\\X"},
        {"  /dir=  ", "d", "C:\\Program Files\\X"},
        {"/q=", "d", "quoted value"},
        {"/Empty=", "d", ""},  // given but empty: not the default
        {"/Missing=", "d", "d"},
        {"/spaced=", "d", "7"},
        {"/last=", "d", "end"},
        {"/Di=", "d", "d"},
    };
    for (const auto& c : cases) EXPECT_EQ(GetSwitchValue(c.name, c.def), c.value) << c.name;
}

TEST(SwitchValue, DashNamesUseDashAsSwitchCharacter) {
    ScopedCommandLine cl("setup.exe -Mode=fast /Other=1 -x=y/z", kExe);
    EXPECT_EQ(GetSwitchValue("-Mode=", "d"), "fast /Other=1");
    EXPECT_EQ(GetSwitchValue("-x=", "d"), "y/z");
    EXPECT_EQ(GetSwitchValue("/Other=", "d"), "1 -x=y/z");
}

TEST(SwitchInt, NumbersCaseAndDefaults) {
    struct Case {
        const char* cmd;
        int64_t value;
    } cases[] = {
        {"\"C:\\Tools\\setup.exe\" /SpanCdLvl=2", 2},
        {"\"C:\\Tools\\setup.exe\"", 1},
        {"\"C:\\Tools\\setup.exe\" /SpanCdLvl=", 1},
        {"\"C:\\Tools\\setup.exe\" /spancdlvl=3", 3},
        {"\"C:\\Tools\\setup.exe\" /SpanCdLvl=-4 /x", -4},
        {"\"C:\\Tools\\setup.exe\" /SpanCdLvl=2x", 1},
        {"\"C:\\Tools\\setup.exe\" /SpanCdLvl=99999999999999999999", 1},
        {"\"C:\\Tools\\setup.exe\" /SpanCdLvl=9223372036854775807", INT64_MAX},
        {"\"C:\\Tools\\setup.exe\" /SpanCdLvlX=5", 1},
    };
    for (const auto& c : cases) {
        ScopedCommandLine cl(c.cmd, kExe);
        EXPECT_EQ(GetSwitchInt("/SpanCdLvl=", 1), c.value) << c.cmd;
    }
}

TEST(HasSwitch, WholeWordsCaseInsensitive) {
    struct Case {
        const char* cmd;
        const char* word;
        bool has;
    } cases[] = {
        {"\"C:\\Tools\\setup.exe\" /AutoUpdateProgX", "/AutoUpdateProg", false},
        {"\"C:\\Tools\\setup.exe\" /autoupdateprog", "/AutoUpdateProg", true},
        {"\"C:\\Tools\\setup.exe\" /a /AutoUpdateProg /b", " /AutoUpdateProg ", true},
        {"\"C:\\Tools\\setup.exe\"", "/AutoUpdateProg", false},
        {"\"C:\\Tools\\setup.exe\" /a", "", false},
        {"\"C:\\Tools\\setup.exe\" /a", "   ", false},
    };
    for (const auto& c : cases) {
        ScopedCommandLine cl(c.cmd, kExe);
        EXPECT_EQ(HasSwitch(c.word), c.has) << c.cmd << " / " << c.word;
    }
}

}  // namespace
}  // namespace zv
