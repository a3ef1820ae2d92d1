#include "rundir/run_time_dir.h"

#include "run_dirs_fixture.h"
#include "utils/platform.h"

namespace zv {
namespace {

using rundir_fixture::M;
using rundir_fixture::RunDirsTest;

// 2003-12-06 07:15:02.25
constexpr double kSixthOfDecember2003 = 37961.0 + (7 * 3600 + 15 * 60 + 2.25) / 86400.0;
double Now() { return kSixthOfDecember2003; }
char Slash() { return '/'; }
char Colon() { return ':'; }
bool Lead81(char c) { return uint8_t(c) == 0x81; }

class Macros : public RunDirsTest {
protected:
    void SetUp() override {
        RunDirsTest::SetUp();
        Platform env;
        env.now = &Now;
        env.dateSeparator = &Slash;
        env.timeSeparator = &Colon;
        savedHost_ = SetPlatform(env);
        SetInstallDirs("C:\\Prog", "C:\\Shared", "D:\\Aux");
    }
    void TearDown() override {
        SetInstallDirs("", "", "");
        SetPlatform(savedHost_);
        RunDirsTest::TearDown();
    }
    static std::string Agent(const std::string& text) {
        return ExpandMacros(text, "\\", true, true);
    }

private:
    Platform savedHost_;
};

TEST_F(Macros, FolderMacrosAndTheBackslashRule) {
    struct Row {
        const char* text;
        const char* expected;
    } rows[] = {
        {"<InstallDir>", "C:\\Prog"},
        {"<InstallDir>\\App.exe", "C:\\Prog\\App.exe"},
        {"<INSTALLDIR>bin\\x.exe", "C:\\Prog\\bin\\x.exe"},
        {"<InstallDir> /S", "C:\\Prog /S"},
        {"\"<InstallDir>\\App.exe\" /S", "\"C:\\Prog\\App.exe\" /S"},
        {"|<WinDir>|<InstallDir>|", "|C:\\Windows|C:\\Prog|"},
        {"<Application Folder> <InstallDir>", "C:\\Prog "},
        {"<InstallCommonDir>\\a;<InstallAuxDir>", "C:\\Shared\\a;D:\\Aux"},
        {"<WinSysDir>\\x.dll", "C:\\Windows\\system32\\x.dll"},
        {"<InstallDrive>x <WinDisk>", "C:\\x C:"},
        {"<TempDir>\\t.tmp", "C:\\Temp\\t.tmp"},
        {"<RunTimeDir_3>x", "\\x"},
        {"<UnInstallExePath>|<AbsoluteDir>", "|"},
        {"<Foo>\\<InstallDir>", "<Foo>\\C:\\Prog"},
        {"plain text, no macros", "plain text, no macros"},
    };
    for (const Row& row : rows) EXPECT_EQ(Agent(row.text), row.expected) << row.text;
}

TEST_F(Macros, ValueMacrosComeFirstAndAlsoWithoutFolders) {
    EXPECT_EQ(Agent("<UserName>/<LoggedUserName>/<CompanyName>/<ComputerName>/"
                    "<CurrentDomainName>"),
              "Ann Smith/ann/Velmorra Ltd/DESK1/HOME");
    EXPECT_EQ(Agent("[<LastExecutableExitCode>|<ReqFreeDiskSpaceMB>|<ProjectName>"
                    "<SelectedLanguage>]"),
              "[0|0|]");
    EXPECT_EQ(ExpandMacros("<UserName> <InstallDir>", "\\", false, false),
              "Ann Smith <InstallDir>");
}

TEST_F(Macros, OnlyAskedFoldersAreAskedFor) {
    // Asking the shell with the create flag may create folders: absent macros ask nothing.
    Agent("<InstallDir>\\App.exe <WinDir>");
    EXPECT_TRUE(M().asked.empty());
    Agent("<MyDocumentsDir>");
    EXPECT_FALSE(M().asked.empty());
}

TEST_F(Macros, DateMacro) {
    EXPECT_EQ(Agent("log_<Date=6>.txt"), "log_2003-12-06.txt");
    EXPECT_EQ(Agent("<DATE=0>"), "1435");
    EXPECT_EQ(Agent("<Date=9>"), "<Date=9>");
    EXPECT_EQ(Agent("<Date=6"), "<Date=6");
    EXPECT_EQ(Agent("<Date=1>-<Date=2>"), "06-12-03-<Date=2>");

    const DateParts now = DecodeDateTime(kSixthOfDecember2003);
    const struct {
        char code;
        const char* text;
    } rows[] = {
        {'#', "06/December/2003"},
        {'0', "1435"},
        {'1', "06-12-03"},
        {'2', "12-06-03"},
        {'3', "03-12-06"},
        {'4', "06-12-2003"},
        {'5', "12-06-2003"},
        {'6', "2003-12-06"},
        {'7', "2003-12-06 07:15:02"},
        {'8', ""},
    };
    for (const auto& row : rows) EXPECT_EQ(DateMacroText(row.code, now), row.text) << row.code;
}

TEST_F(Macros, DotsResolvedWholeOrPerListItem) {
    EXPECT_EQ(Agent("<InstallDir>\\..\\Other\\x.exe"), "C:\\Other\\x.exe");
    EXPECT_EQ(Agent("|<InstallDir>\\..\\a|C:\\b|"), "|C:\\a|C:\\b|");
    EXPECT_EQ(ExpandMacros("C:\\a\\..\\b", "\\", true, true), "C:\\b");
    EXPECT_EQ(ExpandMacros("C:\\a\\..\\b", "\\", false, true), "C:\\a\\..\\b");
    EXPECT_EQ(ExpandMacros(",C:\\a\\..\\b,C:\\c,D:\\d\\..\\e,", "\\", true, true),
              ",C:\\b,C:\\c,D:\\e,");
    // A long list (a running-process list from a file) is resolved item by item all the same.
    std::string list = "|", resolved = "|";
    for (int i = 0; i < 3000; ++i) {
        list += "C:\\x\\..\\y" + std::to_string(i) + "|";
        resolved += "C:\\y" + std::to_string(i) + "|";
    }
    EXPECT_TRUE(ExpandMacros(list, "\\", true, true) == resolved);
}

TEST(CollapseBackslashes, Table) {
    const struct {
        const char* path;
        const char* expected;
    } rows[] = {
        {"", ""},
        {"\\\\", "\\\\"},
        {"C:\\Prog\\\\x.exe", "C:\\Prog\\x.exe"},
        {"C:\\a\\\\\\\\b", "C:\\a\\b"},
        {"\\\\server\\share", "\\\\server\\share"},  // the first character is never touched
        {"C:\\a\\\\", "C:\\a\\\\"},                  // nor the last pair
        {"|C:\\a\\\\b|\\\\srv\\x|", "|C:\\a\\b|\\\\srv\\x|"},  // a list item's UNC start stays
    };
    for (const auto& row : rows) EXPECT_EQ(CollapseBackslashes(row.path), row.expected) << row.path;

    // 0x81 0x5C is one double-byte character: its trail byte is no backslash to collapse.
    LeadByteTest old = SetLeadByteTest(&Lead81);
    EXPECT_EQ(CollapseBackslashes("C:\\a\x81\\\\b"), "C:\\a\x81\\\\b");
    SetLeadByteTest(old);
    EXPECT_EQ(CollapseBackslashes("C:\\a\x81\\\\b"), "C:\\a\x81\\b");
}

}  // namespace
}  // namespace zv
