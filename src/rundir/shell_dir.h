// Standard folders of the user and of all users, the system's own folders, and the folder of the
// executable this one was copied from. The shell answers where the system offers it; otherwise
// the folder is built from the Windows folder, so the same names work on every Windows. Every
// function returns a path or "" and never creates, checks access to or reports anything.
#pragma once
#include <string>

namespace zv {

// Shell folder ids as the system numbers them.
constexpr int kCsidlPrograms = 2, kCsidlPersonal = 5, kCsidlStartMenu = 11,
              kCsidlDesktopDirectory = 16, kCsidlCommonStartMenu = 22,
              kCsidlCommonPrograms = 23, kCsidlCommonDesktopDirectory = 25, kCsidlAppData = 26,
              kCsidlLocalAppData = 28, kCsidlCommonAppData = 35, kCsidlCommonDocuments = 46;
constexpr int kCsidlFlagCreate = 0x8000;

// What they ask of the system comes from the platform (utils/platform.h). Natively nothing is
// known (empty texts, paths taken as full) until a test installs its own answers.
std::string GetSpecialFolder(int csidl);
std::string GetFolderPath(int csidl);
// WinDir\Profiles\<user name> when that exists, else the Windows folder.
std::string ProfilesFallback(bool addBackslash);

std::string WinDir(bool addBackslash);
std::string WinSysDir(bool addBackslash);
std::string WinSys16Dir(bool addBackslash);
std::string UserDir(bool addBackslash);
std::string DocumentsAndSettingsDir(bool addBackslash);
std::string AllUsersDir(bool addBackslash);
std::string UserAppDataDir(bool addBackslash);
std::string UserLocalAppDataDir(bool addBackslash);
std::string AllUsersAppDataDir(bool addBackslash);
std::string MyDocumentsDir(bool addBackslash);
std::string AllUsersDocumentsDir(bool addBackslash);
std::string UserStartMenuDir(bool addBackslash);
std::string AllUsersStartMenuDir(bool addBackslash);
std::string UserStartProgramMenuDir(bool addBackslash);
std::string AllUsersStartProgramMenuDir(bool addBackslash);
std::string UserDesktopDir(bool addBackslash);
std::string AllUsersDesktopDir(bool addBackslash);
std::string FontDir(bool addBackslash);
std::string ProgramFilesDir(bool addBackslash);
std::string CommonFilesDir(bool addBackslash);
std::string StartMenuDir(bool addBackslash);

// "/OriginExe=" of the command line (kept once found), else the running executable; and its
// folder without trailing backslash.
std::string OriginExe();
std::string OriginDir();
void ResetOriginCache();   // tests

}  // namespace zv
