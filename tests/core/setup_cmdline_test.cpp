#include "package/setup_cmdline.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

struct EngineCase {
    const char* what;
    const char* destination;
    const char* mainFile;
    const char* tail;
    bool agent;
    const char* expected;
};

TEST(EngineCommandLine, Cases) {
    const EngineCase cases[] = {
        {"plain run", "C:\\T\\SETUP_1", "Engine.exe*", "", false,
         "C:\\T\\SETUP_1\\Engine.exe /TH_ID=_4711 /OriginExe=\"C:\\D\\Setup.exe\""},
        {"relaunched copy keeps its origin and drops the span switches", "C:\\T\\SETUP_1",
         "Engine.exe*",
         "/SpanCdLvl=2 /SpanDiskFName1=\"E:\\Setup.exe.001\" /OriginExe=\"E:\\Setup.exe\"", false,
         "C:\\T\\SETUP_1\\Engine.exe /OriginExe=\"E:\\Setup.exe\" /TH_ID=_4711"},
        {"arguments after the star follow the stub's own", "C:\\T\\SETUP_1", "Engine.exe* /x",
         "/lang=de", false,
         "C:\\T\\SETUP_1\\Engine.exe /lang=de /x /TH_ID=_4711 /OriginExe=\"C:\\D\\Setup.exe\""},
        {"agent", "C:\\T\\SETUP_1", "Engine.exe*", "", true,
         "C:\\T\\SETUP_1\\Engine.exe /TH_ID=_4711 /OriginExe=\"C:\\D\\Setup.exe\" /AutoUpdateProg"},
        {"main file without a star", "C:\\T\\SETUP_1\\", " Engine.exe ", "", false,
         "C:\\T\\SETUP_1\\Engine.exe /TH_ID=_4711 /OriginExe=\"C:\\D\\Setup.exe\""},
        {"span switch last", "C:\\T\\SETUP_1", "Engine.exe*", "/a /SpanCdLvl=2", false,
         "C:\\T\\SETUP_1\\Engine.exe /a /TH_ID=_4711 /OriginExe=\"C:\\D\\Setup.exe\""},
        {"origin given in another letter case is not doubled", "C:\\T\\SETUP_1", "Engine.exe*",
         "/originexe=\"F:\\S.exe\"", false,
         "C:\\T\\SETUP_1\\Engine.exe /originexe=\"F:\\S.exe\" /TH_ID=_4711"},
        {"folder with blanks is quoted", "C:\\Documents and Settings\\u\\Temp\\SETUP_1",
         "Engine.exe*", "", false,
         "\"C:\\Documents and Settings\\u\\Temp\\SETUP_1\\Engine.exe\" /TH_ID=_4711 "
         "/OriginExe=\"C:\\D\\Setup.exe\""},
    };
    for (const EngineCase& c : cases) {
        EngineCommand in;
        in.destination = c.destination;
        in.mainFile = c.mainFile;
        in.argumentTail = c.tail;
        in.threadTag = ThreadTag(4711);
        in.stubPath = "C:\\D\\Setup.exe";
        in.isAgent = c.agent;
        EXPECT_EQ(BuildEngineCommandLine(in), c.expected) << c.what;
    }
}

TEST(RemoveSwitch, Cases) {
    struct Case {
        const char* line;
        const char* name;
        const char* expected;
    } cases[] = {
        {"E.exe /a /b", "/SpanCdLvl=", "E.exe /a /b"},
        {"E.exe /SpanCdLvl=2 /b", "/SpanCdLvl=", "E.exe /b"},
        {"E.exe /b /SpanCdLvl=2", "/SpanCdLvl=", "E.exe /b "},
        {"E.exe /spancdlvl=2 /b", "/SpanCdLvl=", "E.exe /b"},
        // An unquoted value ends at the next "/", whatever it belongs to.
        {"E.exe /SpanDiskFName1=E:/cd/S.001 /b", "/SpanDiskFName1=", "E.exe /cd/S.001 /b"},
        // A quoted value goes whole.
        {"E.exe /SpanDiskFName1=\"E:/cd/S.001\" /b", "/SpanDiskFName1=", "E.exe /b"},
        {"E.exe /SpanDiskFName1=\"E:/cd/S.001 /b", "/SpanDiskFName1=", "E.exe "},
    };
    for (const Case& c : cases) EXPECT_EQ(RemoveSwitch(c.line, c.name), c.expected) << c.line;
}

TEST(MainFile, SplitsAtFirstStar) {
    EXPECT_EQ(SplitMainFile("Engine.exe*").program, "Engine.exe");
    EXPECT_EQ(SplitMainFile("Engine.exe* /x *y").extra, "/x *y");
    EXPECT_EQ(SplitMainFile("Engine.exe").extra, "");
}

TEST(Relaunch, CommandLine) {
    const std::string copy = TempCopyPath("C:\\T\\SETUP_1", "E:\\Setup.exe");
    EXPECT_EQ(copy, "C:\\T\\SETUP_1\\Y_Setup.exe");
    EXPECT_EQ(RelaunchCommandLine(copy, "", "E:\\Setup.exe"),
              "C:\\T\\SETUP_1\\Y_Setup.exe /SpanCdLvl=2 /SpanDiskFName1=\"E:\\Setup.exe.001\" "
              "/OriginExe=\"E:\\Setup.exe\"");
    EXPECT_EQ(RelaunchCommandLine("C:\\My Temp\\Y_S.exe", "/hide", "E:\\S.exe"),
              "\"C:\\My Temp\\Y_S.exe\" /hide /SpanCdLvl=2 /SpanDiskFName1=\"E:\\S.exe.001\" "
              "/OriginExe=\"E:\\S.exe\"");
}

TEST(Names, AtomAndDialogClass) {
    EXPECT_EQ(SetupAtomName(ThreadTag(4711)), "AutoUpdateAtomTokenByZolvex_4711");
    EXPECT_EQ(EngineDialogClass(ThreadTag(4711)), ".SDialog_Class_Name._4711");
}

}  // namespace
}  // namespace zv
