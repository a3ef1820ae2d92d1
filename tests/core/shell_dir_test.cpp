#include "run_dirs_fixture.h"

namespace zv {
namespace {

using rundir_fixture::M;
using rundir_fixture::RunDirsTest;

using ShellDirs = RunDirsTest;

constexpr int kCreate = kCsidlFlagCreate;

TEST_F(ShellDirs, ProfileFoldersFromTheDocumentsFolder) {
    M().shfolder[kCsidlPersonal | kCreate] = "C:\\Users\\ann\\Documents";
    const std::string allUsers = "C:\\Documents and Settings\\All Users";
    M().shfolder[kCsidlCommonAppData | kCreate] = allUsers + "\\Application Data";
    for (const std::string& f :
         {std::string("C:\\Users\\ann\\Documents"), std::string("C:\\Users\\ann"),
          std::string("C:\\Users"), allUsers + "\\Application Data", allUsers})
        Exists(f);
    EXPECT_EQ(UserDir(false), "C:\\Users\\ann");
    EXPECT_EQ(UserDir(true), "C:\\Users\\ann\\");
    EXPECT_EQ(DocumentsAndSettingsDir(false), "C:\\Users");
    EXPECT_EQ(MyDocumentsDir(false), "C:\\Users\\ann\\Documents");
    EXPECT_EQ(AllUsersDir(false), allUsers);
    EXPECT_EQ(AllUsersAppDataDir(false), allUsers + "\\Application Data");
    // Every shell folder is asked for with the flag that lets the system create it.
    for (int csidl : M().asked) EXPECT_TRUE(csidl & kCreate) << csidl;
}

TEST_F(ShellDirs, FallbacksWithoutTheShell) {
    struct Row {
        const char* what;
        bool profileExists;
        std::string (*folder)(bool);
        const char* expected;
    } rows[] = {
        {"app data, profile", true, &UserAppDataDir,
         "C:\\Windows\\Profiles\\Ann Smith\\Application Data"},
        {"app data, no profile", false, &UserAppDataDir, "C:\\Windows\\Application Data"},
        {"local app data", false, &UserLocalAppDataDir, "C:\\Windows\\Application Data"},
        {"documents, profile", true, &MyDocumentsDir,
         "C:\\Windows\\Profiles\\Ann Smith\\My Documents"},
        {"user dir, profile", true, &UserDir, "C:\\Windows\\Profiles\\Ann Smith"},
        {"user dir, no profile", false, &UserDir, "C:\\Windows"},
        {"profiles root", true, &DocumentsAndSettingsDir, "C:\\Windows\\Profiles\\Ann Smith"},
        {"all users", false, &AllUsersDir, "C:\\Windows"},
        {"all users app data", false, &AllUsersAppDataDir, "C:\\Windows\\Application Data"},
        {"all users documents", false, &AllUsersDocumentsDir, "C:\\Windows\\Documents"},
        {"all users start menu", false, &AllUsersStartMenuDir, "C:\\Windows\\Start Menu"},
        {"all users programs", false, &AllUsersStartProgramMenuDir,
         "C:\\Windows\\Start Menu\\Programs"},
        {"all users desktop", false, &AllUsersDesktopDir, "C:\\Windows\\Desktop"},
        {"fonts", false, &FontDir, "C:\\Windows\\Fonts"},
        {"program files: none", false, &ProgramFilesDir, ""},
        {"common files: none", false, &CommonFilesDir, ""},
        {"start menu: none", false, &StartMenuDir, ""},
    };
    for (const Row& row : rows) {
        M().folders.erase(AsciiUpper("C:\\Windows\\Profiles\\Ann Smith"));
        if (row.profileExists) Exists("C:\\Windows\\Profiles\\Ann Smith");
        EXPECT_EQ(row.folder(false), row.expected) << row.what;
    }
}

TEST_F(ShellDirs, StartMenuAndDesktopTryTheUserThenAllUsers) {
    Exists("C:\\Windows\\Profiles\\Ann Smith");
    // Neither candidate exists: the last one as built.
    EXPECT_EQ(UserStartMenuDir(false), "C:\\Windows\\Start Menu");
    Exists("C:\\Windows\\Profiles\\Ann Smith\\Start Menu\\Programs");
    EXPECT_EQ(UserStartProgramMenuDir(true),
              "C:\\Windows\\Profiles\\Ann Smith\\Start Menu\\Programs\\");
    Exists("C:\\Windows\\Desktop");
    EXPECT_EQ(UserDesktopDir(false), "C:\\Windows\\Desktop");
    // The shell's answer counts only when that folder exists.
    M().shell[kCsidlDesktopDirectory] = "D:\\Desk";
    EXPECT_EQ(UserDesktopDir(false), "C:\\Windows\\Desktop");
    Exists("D:\\Desk");
    EXPECT_EQ(UserDesktopDir(false), "D:\\Desk");
}

TEST_F(ShellDirs, SixteenBitSystemFolder) {
    EXPECT_EQ(WinSys16Dir(false), "C:\\Windows\\system32");  // neither candidate exists
    Exists("C:\\Windows\\system");
    EXPECT_EQ(WinSys16Dir(true), "C:\\Windows\\system\\");
    // Only the last "32" goes; when that folder is missing, the Windows folder's System.
    M().systemDir = "C:\\Win32\\sys32";
    Exists(M().systemDir);
    EXPECT_EQ(WinSys16Dir(false), "C:\\Windows\\System");
    Exists("C:\\Win32\\sys");
    EXPECT_EQ(WinSys16Dir(false), "C:\\Win32\\sys");
}

TEST_F(ShellDirs, RegistryFolders) {
    const std::string shell =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    M().registry[shell + "\nFonts"] = "D:\\Fonts";
    M().registry["SOFTWARE\\Microsoft\\Windows\\CurrentVersion\nProgramFilesDir"] =
        "C:\\Program Files";
    M().registry["SOFTWARE\\Microsoft\\Windows\\CurrentVersion\nCommonFilesDir"] =
        "C:\\Program Files\\Common Files\\";
    M().registry
        ["SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\nStart Menu"] =
        "C:\\Users\\ann\\Start Menu";
    EXPECT_EQ(FontDir(false), "C:\\Windows\\Fonts");  // named, but not there
    Exists("D:\\Fonts");
    EXPECT_EQ(FontDir(false), "D:\\Fonts");
    EXPECT_EQ(ProgramFilesDir(true), "C:\\Program Files\\");
    EXPECT_EQ(CommonFilesDir(false), "C:\\Program Files\\Common Files");
    EXPECT_EQ(StartMenuDir(false), "C:\\Users\\ann\\Start Menu");
}

TEST_F(ShellDirs, OriginFromTheSwitchOrTheRunningExecutable) {
    {
        ScopedCommandLine cmd("\"C:\\Temp\\X_Agent.exe\" /OriginExe=D:\\Setup\\Setup.exe",
                              "C:\\Temp\\X_Agent.exe");
        ResetOriginCache();
        EXPECT_EQ(OriginExe(), "D:\\Setup\\Setup.exe");
        EXPECT_EQ(OriginDir(), "D:\\Setup");
    }
    ScopedCommandLine cmd("\"C:\\Temp\\X_Agent.exe\"", "C:\\Temp\\X_Agent.exe");
    ResetOriginCache();
    EXPECT_EQ(OriginExe(), "C:\\Temp\\X_Agent.exe");
    EXPECT_EQ(OriginDir(), "C:\\Temp");
}

}  // namespace
}  // namespace zv
